#include "plugins/impcalc2/Workbook.h"

#include <bit>
#include <cstring>
#include <limits>

#include "plugins/common/AnsiText.h"
#include "plugins/common/OleStorage.h"
#include "plugins/impcalc2/NumberFormat.h"

namespace {

constexpr std::size_t kSheetSeparatorDashes = 30;
// The most bytes a text may have: the result block counts its size in 32 bits and adds a terminator.
constexpr std::size_t kMaxTextBytes = static_cast<std::size_t>(std::numeric_limits<int32_t>::max()) - 2;

void CheckTextSize(std::size_t Bytes) {
  if (Bytes > kMaxTextBytes) throw EBiffError(kTextTooLarge);
}

std::u16string Widen(const std::string& Ascii) { return std::u16string(Ascii.begin(), Ascii.end()); }

template <class Text>
void AppendLineEnd(Text& Out) {
  Out += static_cast<typename Text::value_type>('\r');
  Out += static_cast<typename Text::value_type>('\n');
}

}  // namespace

void Sheet::Resize(uint32_t Rows, uint32_t Columns) {
  Table_.clear();
  Rows_ = Rows;
  Columns_ = Columns;
}

void Sheet::Clear() { Resize(0, 0); }

void Sheet::Place(std::unique_ptr<BiffCell> Cell) {
  const int64_t Row = static_cast<int64_t>(Cell->Row) - FirstRow_;
  const int64_t Column = static_cast<int64_t>(Cell->FirstColumn) - FirstColumn_;
  const int64_t LastColumn = static_cast<int64_t>(Cell->LastColumn) - FirstColumn_;
  if (Row < 0 || Column < 0 || Row >= kMaxSheetRows || LastColumn >= kMaxSheetColumns) {
    throw EBiffError("invalid vector<T> subscript");
  }
  // A cell past the table's end makes it grow.
  if (Row >= Rows_) Rows_ = static_cast<uint32_t>(Row) + 1;
  if (LastColumn >= Columns_) Columns_ = static_cast<uint32_t>(LastColumn) + 1;
  auto& Slots = Table_[static_cast<uint32_t>(Row)];
  if (Slots.size() <= static_cast<std::size_t>(Column)) Slots.resize(Columns_);
  auto& Slot = Slots[static_cast<std::size_t>(Column)];
  if (Slot != nullptr) throw EBiffError("Trying to overwrite record");
  Slot = std::move(Cell);
}

uint16_t Sheet::Read(Stream& S, uint16_t Id) {
  while (Id != kBiffDimensions && !IsCellRecordId(Id)) {
    if (Id == kBiffEof) throw EBiffError("Bad sheet: dimensions not found");
    Id = BiffRecord::Skip(S);
  }
  if (Id == kBiffDimensions) {
    SheetDimensions Dims;
    Id = ReadDimensions(S, Book_, Dims);
    FirstRow_ = Dims.FirstRow;
    FirstColumn_ = Dims.FirstColumn;
    Resize(Dims.LastRowPlus1 - Dims.FirstRow, static_cast<uint32_t>(Dims.LastColumnPlus1 - Dims.FirstColumn));
  } else {
    // Cells before any DIMENSIONS: the table starts empty at the first row and column.
    FirstRow_ = 0;
    FirstColumn_ = 0;
    Resize(0, 0);
  }
  while (Id != kBiffEof) {
    if (Id == kBiffBof) {
      // An embedded sub-stream (a chart on the sheet): skipped up to and with its EOF.
      Id = BiffRecord::Skip(S);
      while (Id != kBiffEof) Id = BiffRecord::Skip(S);
      Id = BiffRecord::Skip(S);
      continue;
    }
    std::unique_ptr<BiffCell> Cell;
    const uint16_t Next = RecordFactory(Id, S, Book_, Cell);
    if (Cell != nullptr) {
      Id = Next;
      Place(std::move(Cell));
    } else {
      Id = BiffRecord::Skip(S);
    }
  }
  return ReadEof(S);
}

std::u16string Sheet::RowText(const std::vector<std::unique_ptr<BiffCell>>& Slots) {
  std::u16string Text;
  for (uint32_t C = 0; C < Slots.size(); ++C) {
    if (const BiffCell* Cell = Slots[C].get()) {
      Cell->Text(Text);
      C += Cell->LastColumn - Cell->FirstColumn;
    }
    Text += u'\t';
  }
  while (!Text.empty() && Text.back() == u'\t') Text.pop_back();
  return Text;
}

template <class Text, class Convert>
bool Sheet::WriteText(Text& Out, IConvProgress* Check, Convert&& ToOutput) const {
  auto Next = Table_.begin();
  for (uint32_t R = 0; R < Rows_; ++R) {
    if (Check != nullptr && !Check->Check()) return false;
    if (Next == Table_.end() || Next->first != R) {
      // A row without cells: only its line end (sheets are often declared far larger than they are).
      CheckTextSize((Out.size() + 2) * sizeof(typename Text::value_type));
      AppendLineEnd(Out);
      continue;
    }
    const Text Row = ToOutput(RowText(Next->second));
    ++Next;
    CheckTextSize((Out.size() + Row.size() + 2) * sizeof(typename Text::value_type));
    Out += Row;
    AppendLineEnd(Out);
  }
  return true;
}

bool Sheet::WriteTextWide(std::u16string& Out, IConvProgress* Check) const {
  return WriteText(Out, Check, [](std::u16string Row) { return Row; });
}

bool Sheet::WriteTextAnsi(std::string& Out, IConvProgress* Check) const {
  return WriteText(Out, Check, [](const std::u16string& Row) { return WideToAnsi(Row); });
}

Workbook::~Workbook() = default;

void Workbook::Destroy() {
  Sheets_.clear();
  XfFormats_.clear();
  Sst_.reset();
}

std::u16string Workbook::FormatNumber(double Value, uint16_t XF) const {
  const uint16_t Format = XF < XfFormats_.size() ? XfFormats_[XF] : 0;
  return Widen(FormatNumberByIndex(Value, Format));
}

uint16_t Workbook::ReadXF(Stream& S) {
  uint16_t Id;
  do {
    const uint16_t Length = ReadStreamUInt16(S);
    // Font index (u16), format index (u16), then fields that are not needed.
    if (Length < 4) MemoryReader(nullptr, 0, kBiffXF).Short();
    ReadStreamUInt16(S);
    XfFormats_.push_back(ReadStreamUInt16(S));
    S.Skip(Length - 4u);
    Id = ReadStreamUInt16(S);
  } while (Id == kBiffXF);
  return Id;
}

uint16_t Workbook::ReadSharedStrings(Stream& S) {
  auto Table = std::make_unique<SharedStringTable>(*this, kBiffSST);
  const uint16_t Next = Table->ReadBody(S);
  Sst_ = std::move(Table);
  return Next;
}

bool Workbook::Read(Stream& S, IConvProgress* Check) {
  S.Seek(0);
  uint16_t Id = ReadStreamUInt16(S);
  if (Id != kBiffBof) throw EBiffError("Wrong stream type");
  BofInfo Bof;
  Id = ReadBof(S, *this, Bof);
  Biff8_ = IsBiff8(Bof);
  try {
    for (;;) {
      if (Check != nullptr && !Check->Check()) return false;
      switch (Id) {
        case kBiffEof:
          Id = ReadEof(S);
          break;
        case kBiffFilePass:
          throw EBiffError("File is password-protected");
        case kBiffXF:
          Id = ReadXF(S);
          break;
        case kBiffSST:
          Id = ReadSharedStrings(S);
          break;
        case kBiffBof:
          Id = ReadBof(S, *this, Bof);
          if (IsWorksheetBof(Bof)) {
            // Appended first, so that a sheet the stream ends inside keeps what was read of it.
            Sheets_.push_back(std::make_unique<Sheet>(*this));
            Id = Sheets_.back()->Read(S, Id);
          }
          break;
        default:
          Id = BiffRecord::Skip(S);
          break;
      }
    }
  } catch (const Stream_eof&) {
    return true;
  }
}

template <class Text, class Write>
bool Workbook::WriteText(Text& Out, IConvProgress* Check, Write&& WriteSheet) const {
  if (Sheets_.empty()) {
    throw EBiffError("There are no worksheets in this workbook: charts, macros, etc. are not supported");
  }
  for (std::size_t I = 0; I < Sheets_.size(); ++I) {
    if (I > 0) {
      Out.append(kSheetSeparatorDashes, static_cast<typename Text::value_type>('-'));
      AppendLineEnd(Out);
    }
    if (!WriteSheet(*Sheets_[I], Out, Check)) return false;
  }
  return true;
}

bool Workbook::WriteTextWide(std::u16string& Out, IConvProgress* Check) const {
  return WriteText(Out, Check,
                   [](const Sheet& S, std::u16string& O, IConvProgress* C) { return S.WriteTextWide(O, C); });
}

bool Workbook::WriteTextAnsi(std::string& Out, IConvProgress* Check) const {
  return WriteText(Out, Check,
                   [](const Sheet& S, std::string& O, IConvProgress* C) { return S.WriteTextAnsi(O, C); });
}

namespace {

// The workbook stream of an opened storage: "workbook", else "book" (whose failure is the one reported).
std::unique_ptr<Stream> OpenWorkbookStream(Storage& Store) {
  try {
    return Store.OpenStream(u"workbook");
  } catch (const EOleStorage&) {
    return Store.OpenStream(u"book");
  }
}

}  // namespace

bool ConvertWorkbookFile(const std::string& FileName, bool Unicode, IConvProgress* Progress,
                         std::string& Text) {
  Workbook Book;
  {
    std::unique_ptr<Storage> Storage = OpenStorage(FileName);
    std::unique_ptr<Stream> Stream = OpenWorkbookStream(*Storage);
    if (!Book.Read(*Stream, Progress)) return false;
  }
  if (Unicode) {
    std::u16string Wide;
    if (!Book.WriteTextWide(Wide, Progress)) return false;
    Book.Destroy();
    // UTF-16LE bytes: the units as they lie in memory on a little-endian machine.
    static_assert(std::endian::native == std::endian::little);
    Text.resize(Wide.size() * 2);
    if (!Wide.empty()) std::memcpy(Text.data(), Wide.data(), Text.size());
    return true;
  }
  return Book.WriteTextAnsi(Text, Progress);
}

bool IsWorkbookFile(const std::string& FileName) {
  std::unique_ptr<Storage> Storage = OpenStorage(FileName);
  return OpenWorkbookStream(*Storage) != nullptr;
}
