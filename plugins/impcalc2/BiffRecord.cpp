#include "plugins/impcalc2/BiffRecord.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "plugins/common/AnsiText.h"
#include "plugins/common/OleStorage.h"
#include "plugins/impcalc2/Workbook.h"

namespace {

constexpr char16_t kTab = u'\t';

// The first six bytes of every cell record: row, column, XF.
constexpr std::size_t kCellHeaderSize = 6;

class BlankCell final : public BiffCell {
 public:
  using BiffCell::BiffCell;
  void Text(std::u16string&) const override {}

 protected:
  void Parse(MemoryReader& R) override { ParseHeader(R); }
};

class NumberCell final : public BiffCell {
 public:
  using BiffCell::BiffCell;
  void Text(std::u16string& Out) const override { Out += Book_.FormatNumber(Value_, XF); }

 protected:
  void Parse(MemoryReader& R) override {
    ParseHeader(R);
    Value_ = R.F64();
  }

 private:
  double Value_ = 0;
};

class RkCell final : public BiffCell {
 public:
  using BiffCell::BiffCell;
  void Text(std::u16string& Out) const override { Out += Book_.FormatNumber(DecodeRk(Rk_), XF); }

 protected:
  void Parse(MemoryReader& R) override {
    ParseHeader(R);
    Rk_ = R.U32();
  }

 private:
  uint32_t Rk_ = 0;
};

class LabelSstCell final : public BiffCell {
 public:
  using BiffCell::BiffCell;
  void Text(std::u16string& Out) const override {
    if (const SharedStringTable* Sst = Book_.SharedStrings()) Out += Sst->GetText(Index_);
  }

 protected:
  void Parse(MemoryReader& R) override {
    ParseHeader(R);
    Index_ = R.U32();
  }

 private:
  uint32_t Index_ = 0;
};

// LABEL and RSTRING (whose formatting runs after the text are not used).
class LabelCell final : public BiffCell {
 public:
  using BiffCell::BiffCell;
  void Text(std::u16string& Out) const override { Out += Text_; }

 protected:
  void Parse(MemoryReader& R) override {
    ParseHeader(R);
    Text_ = ReadBiffString(R, Book_.Biff8());
  }

 private:
  std::u16string Text_;
};

class BoolErrCell final : public BiffCell {
 public:
  using BiffCell::BiffCell;
  void Text(std::u16string& Out) const override {
    if (IsError_) {
      Out += ErrorCodeText(Value_);
    } else {
      for (char C : std::to_string(Value_)) Out += static_cast<char16_t>(C);
    }
  }

 protected:
  void Parse(MemoryReader& R) override {
    ParseHeader(R);
    Value_ = R.U8();
    IsError_ = R.U8() != 0;
  }

 private:
  uint8_t Value_ = 0;
  bool IsError_ = false;
};

// The STRING record that carries the string result of the FORMULA before it.
class StringRecord final : public BiffRecord {
 public:
  using BiffRecord::BiffRecord;
  std::u16string Value;

 protected:
  void Parse(MemoryReader& R) override { Value = ReadBiffString(R, Book_.Biff8()); }
};

class FormulaCell final : public BiffCell {
 public:
  using BiffCell::BiffCell;
  // The result is a string, whose text is in the STRING record that follows.
  bool HasStringResult() const { return !IsNumber() && Result_[0] == kResultString; }
  void SetString(std::u16string Text) {
    String_ = std::move(Text);
    HasString_ = true;
  }

  void Text(std::u16string& Out) const override {
    if (IsNumber()) {
      double Value;
      std::memcpy(&Value, Result_, sizeof Value);
      Out += Book_.FormatNumber(Value, XF);
      return;
    }
    switch (Result_[0]) {
      case kResultBoolean:
        for (char C : std::to_string(Result_[2])) Out += static_cast<char16_t>(C);
        break;
      case kResultError:
        Out += ErrorCodeText(Result_[2]);
        break;
      case kResultString:
        if (HasString_) Out += String_;
        break;
      default:
        break;  // an empty result
    }
  }

 protected:
  void Parse(MemoryReader& R) override {
    ParseHeader(R);
    R.Read(Result_, sizeof Result_);
    // Flags, reserved bytes and the formula itself are not needed for the text.
  }

 private:
  static constexpr uint8_t kResultString = 0;
  static constexpr uint8_t kResultBoolean = 1;
  static constexpr uint8_t kResultError = 2;
  // A result whose last two bytes are 0xFFFF is not a number; its first byte says what it is.
  bool IsNumber() const { return !(Result_[6] == 0xFF && Result_[7] == 0xFF); }

  uint8_t Result_[8] = {};
  std::u16string String_;
  bool HasString_ = false;
};

class MulRkCell final : public BiffCell {
 public:
  using BiffCell::BiffCell;
  void Text(std::u16string& Out) const override {
    for (std::size_t I = 0; I < Values_.size(); ++I) {
      if (I > 0) Out += kTab;
      Out += Book_.FormatNumber(DecodeRk(Values_[I].second), Values_[I].first);
    }
  }

 protected:
  // Row, first column, (XF, RK) pairs, last column; a value for every column from the first to the last.
  void Parse(MemoryReader& R) override {
    Row = R.U16();
    FirstColumn = R.U16();
    if (R.Left() < 2 || (R.Left() - 2) % 6 != 0) R.Short();
    const std::size_t Pairs = (R.Left() - 2) / 6;
    const uint8_t* Last = R.Data() + R.Position() + Pairs * 6;
    LastColumn = static_cast<uint16_t>(Last[0] | (Last[1] << 8));
    if (LastColumn < FirstColumn || LastColumn - FirstColumn + 1u != Pairs) {
      throw EBiffError(MulRecordError(Id(), FirstColumn, LastColumn, Pairs));
    }
    for (std::size_t I = 0; I < Pairs; ++I) {
      const uint16_t Xf = R.U16();
      Values_.emplace_back(Xf, R.U32());
    }
    XF = Values_.front().first;
  }

 public:
  static std::string MulRecordError(uint16_t Id, uint16_t First, uint16_t Last, std::size_t Values) {
    char Text[128];
    std::snprintf(Text, sizeof Text, "Record 0x%04X: columns %u to %u do not match its %zu values", Id, First,
                  Last, Values);
    return Text;
  }

 private:
  std::vector<std::pair<uint16_t, uint32_t>> Values_;
};

class MulBlankCell final : public BiffCell {
 public:
  using BiffCell::BiffCell;
  void Text(std::u16string& Out) const override { Out.append(LastColumn - FirstColumn, kTab); }

 protected:
  // Row, first column, one XF per column, last column.
  void Parse(MemoryReader& R) override {
    Row = R.U16();
    FirstColumn = R.U16();
    if (R.Left() < 2 || (R.Left() - 2) % 2 != 0) R.Short();
    const std::size_t Xfs = (R.Left() - 2) / 2;
    const uint8_t* Last = R.Data() + R.Position() + Xfs * 2;
    LastColumn = static_cast<uint16_t>(Last[0] | (Last[1] << 8));
    if (LastColumn < FirstColumn || LastColumn - FirstColumn + 1u != Xfs) {
      throw EBiffError(MulRkCell::MulRecordError(Id(), FirstColumn, LastColumn, Xfs));
    }
    XF = R.U16();
  }
};

// A record read for its fields only (BOF, DIMENSIONS).
template <class Fields>
class FieldsRecord final : public BiffRecord {
 public:
  FieldsRecord(const Workbook& Book, uint16_t Id, Fields&& Read) : BiffRecord(Book, Id), Read_(Read) {}

 protected:
  void Parse(MemoryReader& R) override { Read_(R); }

 private:
  Fields Read_;
};

template <class Fields>
uint16_t ReadFields(Stream& S, const Workbook& Book, uint16_t Id, Fields&& Read) {
  FieldsRecord<Fields> Record(Book, Id, std::forward<Fields>(Read));
  return Record.ReadBody(S);
}

}  // namespace

void MemoryReader::Short() const {
  char Text[80];
  std::snprintf(Text, sizeof Text, "Record 0x%04X is shorter than its fields", Id_);
  throw EBiffError(Text);
}

const uint8_t* MemoryReader::Need(std::size_t Count) {
  if (Count > Size_ - Pos_) Short();
  const uint8_t* P = Data_ + Pos_;
  Pos_ += Count;
  return P;
}

uint8_t MemoryReader::U8() { return *Need(1); }
uint16_t MemoryReader::U16() {
  const uint8_t* P = Need(2);
  return static_cast<uint16_t>(P[0] | (P[1] << 8));
}
uint32_t MemoryReader::U32() {
  const uint8_t* P = Need(4);
  return static_cast<uint32_t>(P[0]) | (static_cast<uint32_t>(P[1]) << 8) |
         (static_cast<uint32_t>(P[2]) << 16) | (static_cast<uint32_t>(P[3]) << 24);
}
double MemoryReader::F64() {
  const uint8_t* P = Need(8);
  uint64_t Bits = 0;
  for (int I = 7; I >= 0; --I) Bits = (Bits << 8) | P[I];
  double Value;
  std::memcpy(&Value, &Bits, sizeof Value);
  return Value;
}
void MemoryReader::Read(void* Buffer, std::size_t Count) { std::memcpy(Buffer, Need(Count), Count); }
void MemoryReader::Skip(std::size_t Count) { Need(Count); }

std::u16string ReadBiffString(MemoryReader& Reader, bool Biff8) {
  const uint16_t Count = Reader.U16();
  if (!Biff8) {
    std::string Bytes(Count, '\0');
    Reader.Read(Bytes.data(), Count);
    return AnsiToWide(Bytes);
  }
  const bool Wide = Reader.U8() & 0x01;
  std::u16string Text(Count, u'\0');
  for (uint16_t I = 0; I < Count; ++I) Text[I] = Wide ? static_cast<char16_t>(Reader.U16()) : Reader.U8();
  return Text;
}

uint16_t BiffRecord::Skip(Stream& S) {
  S.Skip(ReadStreamUInt16(S));
  return ReadStreamUInt16(S);
}

uint16_t BiffRecord::ReadBody(Stream& S) {
  std::vector<uint8_t> Body;
  uint16_t Length = ReadStreamUInt16(S);
  Body.resize(Length);
  if (Length > 0) S.Read(Body.data(), Length);
  Segments_.assign(1, Length);
  uint16_t Next = ReadStreamUInt16(S);
  while (Next == kBiffContinue) {
    Length = ReadStreamUInt16(S);
    const std::size_t At = Body.size();
    Body.resize(At + Length);
    if (Length > 0) S.Read(Body.data() + At, Length);
    Segments_.push_back(Length);
    Next = ReadStreamUInt16(S);
  }
  if (!Body.empty()) {
    MemoryReader Reader(Body.data(), Body.size(), Id_);
    Parse(Reader);
  }
  return Next;
}

void BiffCell::ParseHeader(MemoryReader& Reader) {
  Row = Reader.U16();
  FirstColumn = LastColumn = Reader.U16();
  XF = Reader.U16();
}

bool IsCellRecordId(uint16_t Id) {
  switch (Id) {
    case kBiffFormula:
    case kBiffMulRk:
    case kBiffMulBlank:
    case kBiffRString:
    case kBiffLabel:
    case kBiffLabelSst:
    case kBiffBlank:
    case kBiffNumber:
    case kBiffBoolErr:
    case kBiffRk:
      return true;
    default:
      return false;
  }
}

uint16_t RecordFactory(uint16_t Id, Stream& S, const Workbook& Book, std::unique_ptr<BiffCell>& Cell) {
  Cell.reset();
  switch (Id) {
    case kBiffFormula:
      Cell = std::make_unique<FormulaCell>(Book, Id);
      break;
    case kBiffMulRk:
      Cell = std::make_unique<MulRkCell>(Book, Id);
      break;
    case kBiffMulBlank:
      Cell = std::make_unique<MulBlankCell>(Book, Id);
      break;
    case kBiffRString:
    case kBiffLabel:
      Cell = std::make_unique<LabelCell>(Book, Id);
      break;
    case kBiffLabelSst:
      Cell = std::make_unique<LabelSstCell>(Book, Id);
      break;
    case kBiffBlank:
      Cell = std::make_unique<BlankCell>(Book, Id);
      break;
    case kBiffNumber:
      Cell = std::make_unique<NumberCell>(Book, Id);
      break;
    case kBiffBoolErr:
      Cell = std::make_unique<BoolErrCell>(Book, Id);
      break;
    case kBiffRk:
      Cell = std::make_unique<RkCell>(Book, Id);
      break;
    default:
      return 0;
  }
  uint16_t Next = Cell->ReadBody(S);
  // A cell without even its row, column and XF was not parsed: it has no place in the sheet.
  std::size_t Length = 0;
  for (uint16_t Segment : Cell->Segments()) Length += Segment;
  if (Length < kCellHeaderSize) MemoryReader(nullptr, 0, Id).Short();
  if (auto* Formula = dynamic_cast<FormulaCell*>(Cell.get());
      Formula != nullptr && Formula->HasStringResult() && Next == kBiffString) {
    StringRecord String(Book, Next);
    Next = String.ReadBody(S);
    Formula->SetString(std::move(String.Value));
  }
  return Next;
}

double DecodeRk(uint32_t Rk) {
  double Value;
  if (Rk & 0x02) {
    // A signed 30-bit integer in bits 2-31.
    Value = static_cast<double>(static_cast<int32_t>(Rk) >> 2);
  } else {
    const uint64_t Bits = static_cast<uint64_t>(Rk & 0xFFFFFFFCu) << 32;
    std::memcpy(&Value, &Bits, sizeof Value);
  }
  return (Rk & 0x01) ? Value / 100 : Value;
}

const char16_t* ErrorCodeText(uint8_t Code) {
  switch (Code) {
    case 0:
      return u"#NULL!";
    case 7:
      return u"#DIV/0!";
    case 15:
      return u"#VALUE!";
    case 23:
      return u"#REF!";
    case 29:
      return u"#NAME?";
    case 36:
      return u"#NUM!";
    case 42:
      return u"#N/A";
    default:
      return u"#ERROR!";
  }
}

uint16_t ReadBof(Stream& S, const Workbook& Book, BofInfo& Info) {
  Info = BofInfo();
  return ReadFields(S, Book, kBiffBof, [&Info](MemoryReader& R) {
    Info.Version = R.U16();
    Info.Type = R.U16();
  });
}

uint16_t ReadEof(Stream& S) { return BiffRecord::Skip(S); }

uint16_t ReadDimensions(Stream& S, const Workbook& Book, SheetDimensions& Dimensions) {
  bool Read = false;
  const uint16_t Next = ReadFields(S, Book, kBiffDimensions, [&](MemoryReader& R) {
    uint32_t FirstRow, LastRow;
    if (Book.Biff8()) {
      FirstRow = R.U32();
      LastRow = R.U32();
    } else {
      FirstRow = R.U16();
      LastRow = R.U16();
    }
    const uint16_t FirstColumn = R.U16();
    const uint16_t LastColumn = R.U16();
    if (LastColumn < FirstColumn || LastRow < FirstRow || LastColumn > kMaxSheetColumns) {
      throw EBiffError("Illegal table dimensions");
    }
    // Cells address rows 0 to 65535; rows beyond them can hold nothing.
    Dimensions.FirstRow = std::min(FirstRow, kMaxSheetRows);
    Dimensions.LastRowPlus1 = std::min(LastRow, kMaxSheetRows);
    Dimensions.FirstColumn = FirstColumn;
    Dimensions.LastColumnPlus1 = LastColumn;
    Read = true;
  });
  if (!Read) MemoryReader(nullptr, 0, kBiffDimensions).Short();
  return Next;
}
