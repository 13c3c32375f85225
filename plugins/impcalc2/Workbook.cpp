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
  table_.clear();
  rows_ = Rows;
  columns_ = Columns;
}

void Sheet::Clear() { Resize(0, 0); }

void Sheet::Place(std::unique_ptr<BiffCell> Cell) {
  const int64_t row = static_cast<int64_t>(Cell->Row) - first_row_;
  const int64_t column = static_cast<int64_t>(Cell->FirstColumn) - first_column_;
  const int64_t last_column = static_cast<int64_t>(Cell->LastColumn) - first_column_;
  if (row < 0 || column < 0 || row >= kMaxSheetRows || last_column >= kMaxSheetColumns) {
    throw EBiffError("invalid vector<T> subscript");
  }
  // A cell past the table's end makes it grow.
  if (row >= rows_) rows_ = static_cast<uint32_t>(row) + 1;
  if (last_column >= columns_) columns_ = static_cast<uint32_t>(last_column) + 1;
  auto& slots = table_[static_cast<uint32_t>(row)];
  if (slots.size() <= static_cast<std::size_t>(column)) slots.resize(columns_);
  auto& slot = slots[static_cast<std::size_t>(column)];
  if (slot != nullptr) throw EBiffError("Trying to overwrite record");
  slot = std::move(Cell);
}

uint16_t Sheet::Read(Stream& S, uint16_t Id) {
  while (Id != kBiffDimensions && !IsCellRecordId(Id)) {
    if (Id == kBiffEof) throw EBiffError("Bad sheet: dimensions not found");
    Id = BiffRecord::Skip(S);
  }
  if (Id == kBiffDimensions) {
    SheetDimensions dims;
    Id = ReadDimensions(S, book_, dims);
    first_row_ = dims.FirstRow;
    first_column_ = dims.FirstColumn;
    Resize(dims.LastRowPlus1 - dims.FirstRow, static_cast<uint32_t>(dims.LastColumnPlus1 - dims.FirstColumn));
  } else {
    // Cells before any DIMENSIONS: the table starts empty at the first row and column.
    first_row_ = 0;
    first_column_ = 0;
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
    std::unique_ptr<BiffCell> cell;
    const uint16_t next = RecordFactory(Id, S, book_, cell);
    if (cell != nullptr) {
      Id = next;
      Place(std::move(cell));
    } else {
      Id = BiffRecord::Skip(S);
    }
  }
  return ReadEof(S);
}

std::u16string Sheet::RowText(const std::vector<std::unique_ptr<BiffCell>>& Slots) {
  std::u16string text;
  for (uint32_t c = 0; c < Slots.size(); ++c) {
    if (const BiffCell* cell = Slots[c].get()) {
      cell->Text(text);
      c += cell->LastColumn - cell->FirstColumn;
    }
    text += u'\t';
  }
  while (!text.empty() && text.back() == u'\t') text.pop_back();
  return text;
}

template <class Text, class Convert>
bool Sheet::WriteText(Text& Out, IConvProgress* Check, Convert&& ToOutput) const {
  auto next = table_.begin();
  for (uint32_t r = 0; r < rows_; ++r) {
    if (Check != nullptr && !Check->Check()) return false;
    if (next == table_.end() || next->first != r) {
      // A row without cells: only its line end (sheets are often declared far larger than they are).
      CheckTextSize((Out.size() + 2) * sizeof(typename Text::value_type));
      AppendLineEnd(Out);
      continue;
    }
    const Text row = ToOutput(RowText(next->second));
    ++next;
    CheckTextSize((Out.size() + row.size() + 2) * sizeof(typename Text::value_type));
    Out += row;
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
  sheets_.clear();
  xf_formats_.clear();
  sst_.reset();
}

std::u16string Workbook::FormatNumber(double Value, uint16_t XF) const {
  const uint16_t format = XF < xf_formats_.size() ? xf_formats_[XF] : 0;
  return Widen(FormatNumberByIndex(Value, format));
}

uint16_t Workbook::ReadXF(Stream& S) {
  uint16_t id;
  do {
    const uint16_t length = ReadStreamUInt16(S);
    // Font index (u16), format index (u16), then fields that are not needed.
    if (length < 4) MemoryReader(nullptr, 0, kBiffXF).Short();
    ReadStreamUInt16(S);
    xf_formats_.push_back(ReadStreamUInt16(S));
    S.Skip(length - 4u);
    id = ReadStreamUInt16(S);
  } while (id == kBiffXF);
  return id;
}

uint16_t Workbook::ReadSharedStrings(Stream& S) {
  auto table = std::make_unique<SharedStringTable>(*this, kBiffSST);
  const uint16_t next = table->ReadBody(S);
  sst_ = std::move(table);
  return next;
}

bool Workbook::Read(Stream& S, IConvProgress* Check) {
  S.Seek(0);
  uint16_t id = ReadStreamUInt16(S);
  if (id != kBiffBof) throw EBiffError("Wrong stream type");
  BofInfo bof;
  id = ReadBof(S, *this, bof);
  biff8_ = IsBiff8(bof);
  try {
    for (;;) {
      if (Check != nullptr && !Check->Check()) return false;
      switch (id) {
        case kBiffEof:
          id = ReadEof(S);
          break;
        case kBiffFilePass:
          throw EBiffError("File is password-protected");
        case kBiffXF:
          id = ReadXF(S);
          break;
        case kBiffSST:
          id = ReadSharedStrings(S);
          break;
        case kBiffBof:
          id = ReadBof(S, *this, bof);
          if (IsWorksheetBof(bof)) {
            // Appended first, so that a sheet the stream ends inside keeps what was read of it.
            sheets_.push_back(std::make_unique<Sheet>(*this));
            id = sheets_.back()->Read(S, id);
          }
          break;
        default:
          id = BiffRecord::Skip(S);
          break;
      }
    }
  } catch (const Stream_eof&) {
    return true;
  }
}

template <class Text, class Write>
bool Workbook::WriteText(Text& Out, IConvProgress* Check, Write&& WriteSheet) const {
  if (sheets_.empty()) {
    throw EBiffError("There are no worksheets in this workbook: charts, macros, etc. are not supported");
  }
  for (std::size_t i = 0; i < sheets_.size(); ++i) {
    if (i > 0) {
      Out.append(kSheetSeparatorDashes, static_cast<typename Text::value_type>('-'));
      AppendLineEnd(Out);
    }
    if (!WriteSheet(*sheets_[i], Out, Check)) return false;
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
  Workbook book;
  {
    std::unique_ptr<Storage> storage = OpenStorage(FileName);
    std::unique_ptr<Stream> stream = OpenWorkbookStream(*storage);
    if (!book.Read(*stream, Progress)) return false;
  }
  if (Unicode) {
    std::u16string wide;
    if (!book.WriteTextWide(wide, Progress)) return false;
    book.Destroy();
    // UTF-16LE bytes: the units as they lie in memory on a little-endian machine.
    static_assert(std::endian::native == std::endian::little);
    Text.resize(wide.size() * 2);
    if (!wide.empty()) std::memcpy(Text.data(), wide.data(), Text.size());
    return true;
  }
  return book.WriteTextAnsi(Text, Progress);
}

bool IsWorkbookFile(const std::string& FileName) {
  std::unique_ptr<Storage> storage = OpenStorage(FileName);
  return OpenWorkbookStream(*storage) != nullptr;
}
