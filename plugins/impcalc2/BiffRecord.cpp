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
  void Text(std::u16string& Out) const override { Out += book_.FormatNumber(value_, XF); }

 protected:
  void Parse(MemoryReader& R) override {
    ParseHeader(R);
    value_ = R.F64();
  }

 private:
  double value_ = 0;
};

class RkCell final : public BiffCell {
 public:
  using BiffCell::BiffCell;
  void Text(std::u16string& Out) const override { Out += book_.FormatNumber(DecodeRk(rk_), XF); }

 protected:
  void Parse(MemoryReader& R) override {
    ParseHeader(R);
    rk_ = R.U32();
  }

 private:
  uint32_t rk_ = 0;
};

class LabelSstCell final : public BiffCell {
 public:
  using BiffCell::BiffCell;
  void Text(std::u16string& Out) const override {
    if (const SharedStringTable* sst = book_.SharedStrings()) Out += sst->GetText(index_);
  }

 protected:
  void Parse(MemoryReader& R) override {
    ParseHeader(R);
    index_ = R.U32();
  }

 private:
  uint32_t index_ = 0;
};

// LABEL and RSTRING (whose formatting runs after the text are not used).
class LabelCell final : public BiffCell {
 public:
  using BiffCell::BiffCell;
  void Text(std::u16string& Out) const override { Out += text_; }

 protected:
  void Parse(MemoryReader& R) override {
    ParseHeader(R);
    text_ = ReadBiffString(R, book_.Biff8());
  }

 private:
  std::u16string text_;
};

class BoolErrCell final : public BiffCell {
 public:
  using BiffCell::BiffCell;
  void Text(std::u16string& Out) const override {
    if (is_error_) {
      Out += ErrorCodeText(value_);
    } else {
      for (char c : std::to_string(value_)) Out += static_cast<char16_t>(c);
    }
  }

 protected:
  void Parse(MemoryReader& R) override {
    ParseHeader(R);
    value_ = R.U8();
    is_error_ = R.U8() != 0;
  }

 private:
  uint8_t value_ = 0;
  bool is_error_ = false;
};

// The STRING record that carries the string result of the FORMULA before it.
class StringRecord final : public BiffRecord {
 public:
  using BiffRecord::BiffRecord;
  std::u16string Value;

 protected:
  void Parse(MemoryReader& R) override { Value = ReadBiffString(R, book_.Biff8()); }
};

class FormulaCell final : public BiffCell {
 public:
  using BiffCell::BiffCell;
  // The result is a string, whose text is in the STRING record that follows.
  bool HasStringResult() const { return !IsNumber() && result_[0] == kResultString; }
  void SetString(std::u16string Text) {
    string_ = std::move(Text);
    has_string_ = true;
  }

  void Text(std::u16string& Out) const override {
    if (IsNumber()) {
      double value;
      std::memcpy(&value, result_, sizeof value);
      Out += book_.FormatNumber(value, XF);
      return;
    }
    switch (result_[0]) {
      case kResultBoolean:
        for (char c : std::to_string(result_[2])) Out += static_cast<char16_t>(c);
        break;
      case kResultError:
        Out += ErrorCodeText(result_[2]);
        break;
      case kResultString:
        if (has_string_) Out += string_;
        break;
      default:
        break;  // an empty result
    }
  }

 protected:
  void Parse(MemoryReader& R) override {
    ParseHeader(R);
    R.Read(result_, sizeof result_);
    // Flags, reserved bytes and the formula itself are not needed for the text.
  }

 private:
  static constexpr uint8_t kResultString = 0;
  static constexpr uint8_t kResultBoolean = 1;
  static constexpr uint8_t kResultError = 2;
  // A result whose last two bytes are 0xFFFF is not a number; its first byte says what it is.
  bool IsNumber() const { return !(result_[6] == 0xFF && result_[7] == 0xFF); }

  uint8_t result_[8] = {};
  std::u16string string_;
  bool has_string_ = false;
};

class MulRkCell final : public BiffCell {
 public:
  using BiffCell::BiffCell;
  void Text(std::u16string& Out) const override {
    for (std::size_t i = 0; i < values_.size(); ++i) {
      if (i > 0) Out += kTab;
      Out += book_.FormatNumber(DecodeRk(values_[i].second), values_[i].first);
    }
  }

 protected:
  // Row, first column, (XF, RK) pairs, last column; a value for every column from the first to the last.
  void Parse(MemoryReader& R) override {
    Row = R.U16();
    FirstColumn = R.U16();
    if (R.Left() < 2 || (R.Left() - 2) % 6 != 0) R.Short();
    const std::size_t pairs = (R.Left() - 2) / 6;
    const uint8_t* last = R.Data() + R.Position() + pairs * 6;
    LastColumn = static_cast<uint16_t>(last[0] | (last[1] << 8));
    if (LastColumn < FirstColumn || LastColumn - FirstColumn + 1u != pairs) {
      throw EBiffError(MulRecordError(Id(), FirstColumn, LastColumn, pairs));
    }
    for (std::size_t i = 0; i < pairs; ++i) {
      const uint16_t xf = R.U16();
      values_.emplace_back(xf, R.U32());
    }
    XF = values_.front().first;
  }

 public:
  static std::string MulRecordError(uint16_t Id, uint16_t First, uint16_t Last, std::size_t Values) {
    char text[128];
    std::snprintf(text, sizeof text, "Record 0x%04X: columns %u to %u do not match its %zu values", Id, First,
                  Last, Values);
    return text;
  }

 private:
  std::vector<std::pair<uint16_t, uint32_t>> values_;
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
    const std::size_t xfs = (R.Left() - 2) / 2;
    const uint8_t* last = R.Data() + R.Position() + xfs * 2;
    LastColumn = static_cast<uint16_t>(last[0] | (last[1] << 8));
    if (LastColumn < FirstColumn || LastColumn - FirstColumn + 1u != xfs) {
      throw EBiffError(MulRkCell::MulRecordError(Id(), FirstColumn, LastColumn, xfs));
    }
    XF = R.U16();
  }
};

// A record read for its fields only (BOF, DIMENSIONS).
template <class Fields>
class FieldsRecord final : public BiffRecord {
 public:
  FieldsRecord(const Workbook& Book, uint16_t Id, Fields&& Read) : BiffRecord(Book, Id), read_(Read) {}

 protected:
  void Parse(MemoryReader& R) override { read_(R); }

 private:
  Fields read_;
};

template <class Fields>
uint16_t ReadFields(Stream& S, const Workbook& Book, uint16_t Id, Fields&& Read) {
  FieldsRecord<Fields> record(Book, Id, std::forward<Fields>(Read));
  return record.ReadBody(S);
}

}  // namespace

void MemoryReader::Short() const {
  char text[80];
  std::snprintf(text, sizeof text, "Record 0x%04X is shorter than its fields", id_);
  throw EBiffError(text);
}

const uint8_t* MemoryReader::Need(std::size_t Count) {
  if (Count > size_ - pos_) Short();
  const uint8_t* p = data_ + pos_;
  pos_ += Count;
  return p;
}

uint8_t MemoryReader::U8() { return *Need(1); }
uint16_t MemoryReader::U16() {
  const uint8_t* p = Need(2);
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t MemoryReader::U32() {
  const uint8_t* p = Need(4);
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
double MemoryReader::F64() {
  const uint8_t* p = Need(8);
  uint64_t bits = 0;
  for (int i = 7; i >= 0; --i) bits = (bits << 8) | p[i];
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}
void MemoryReader::Read(void* Buffer, std::size_t Count) { std::memcpy(Buffer, Need(Count), Count); }
void MemoryReader::Skip(std::size_t Count) { Need(Count); }

std::u16string ReadBiffString(MemoryReader& Reader, bool Biff8) {
  const uint16_t count = Reader.U16();
  if (!Biff8) {
    std::string bytes(count, '\0');
    Reader.Read(bytes.data(), count);
    return AnsiToWide(bytes);
  }
  const bool wide = Reader.U8() & 0x01;
  std::u16string text(count, u'\0');
  for (uint16_t i = 0; i < count; ++i) text[i] = wide ? static_cast<char16_t>(Reader.U16()) : Reader.U8();
  return text;
}

uint16_t BiffRecord::Skip(Stream& S) {
  S.Skip(ReadStreamUInt16(S));
  return ReadStreamUInt16(S);
}

uint16_t BiffRecord::ReadBody(Stream& S) {
  std::vector<uint8_t> body;
  uint16_t length = ReadStreamUInt16(S);
  body.resize(length);
  if (length > 0) S.Read(body.data(), length);
  segments_.assign(1, length);
  uint16_t next = ReadStreamUInt16(S);
  while (next == kBiffContinue) {
    length = ReadStreamUInt16(S);
    const std::size_t at = body.size();
    body.resize(at + length);
    if (length > 0) S.Read(body.data() + at, length);
    segments_.push_back(length);
    next = ReadStreamUInt16(S);
  }
  if (!body.empty()) {
    MemoryReader reader(body.data(), body.size(), id_);
    Parse(reader);
  }
  return next;
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
  uint16_t next = Cell->ReadBody(S);
  // A cell without even its row, column and XF was not parsed: it has no place in the sheet.
  std::size_t length = 0;
  for (uint16_t segment : Cell->Segments()) length += segment;
  if (length < kCellHeaderSize) MemoryReader(nullptr, 0, Id).Short();
  if (auto* formula = dynamic_cast<FormulaCell*>(Cell.get());
      formula != nullptr && formula->HasStringResult() && next == kBiffString) {
    StringRecord string(Book, next);
    next = string.ReadBody(S);
    formula->SetString(std::move(string.Value));
  }
  return next;
}

double DecodeRk(uint32_t Rk) {
  double value;
  if (Rk & 0x02) {
    // A signed 30-bit integer in bits 2-31.
    value = static_cast<double>(static_cast<int32_t>(Rk) >> 2);
  } else {
    const uint64_t bits = static_cast<uint64_t>(Rk & 0xFFFFFFFCu) << 32;
    std::memcpy(&value, &bits, sizeof value);
  }
  return (Rk & 0x01) ? value / 100 : value;
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
  bool read = false;
  const uint16_t next = ReadFields(S, Book, kBiffDimensions, [&](MemoryReader& R) {
    uint32_t first_row, last_row;
    if (Book.Biff8()) {
      first_row = R.U32();
      last_row = R.U32();
    } else {
      first_row = R.U16();
      last_row = R.U16();
    }
    const uint16_t first_column = R.U16();
    const uint16_t last_column = R.U16();
    if (last_column < first_column || last_row < first_row || last_column > kMaxSheetColumns) {
      throw EBiffError("Illegal table dimensions");
    }
    // Cells address rows 0 to 65535; rows beyond them can hold nothing.
    Dimensions.FirstRow = std::min(first_row, kMaxSheetRows);
    Dimensions.LastRowPlus1 = std::min(last_row, kMaxSheetRows);
    Dimensions.FirstColumn = first_column;
    Dimensions.LastColumnPlus1 = last_column;
    read = true;
  });
  if (!read) MemoryReader(nullptr, 0, kBiffDimensions).Short();
  return next;
}
