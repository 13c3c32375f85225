#include "plugins/impwrite/WordFonts.h"

#include <algorithm>

#include "platform/cfb/CompoundFile.h"
#include "platform/qvnls/Qvnls.h"
#include "plugins/common/VComUtil.h"

namespace {

// Word 6/95 FIB fields (byte offsets): position and length of the style sheet, of the bin tables of
// character and paragraph formatting and of the font table, and how many pages each bin table covers
// (a fast-saved document may list fewer in its table; the rest follow the last one listed).
constexpr uint32_t kFibStyleSheet = 0x60;
constexpr uint32_t kFibCharBinTable = 0xB8;
constexpr uint32_t kFibParaBinTable = 0xC0;
constexpr uint32_t kFibFontTable = 0xD0;
constexpr uint32_t kFibCharPageCount = 0x18E;
constexpr uint32_t kFibParaPageCount = 0x190;

// A formatting page: run boundaries (u32 file positions), then one entry per run, the run count in its
// last byte. A character run's entry is one byte, a paragraph run's seven (the offset byte and the
// paragraph's height). An entry's byte gives the place of its properties in 2-byte words.
constexpr uint32_t kPageSize = 512;
constexpr uint32_t kCharEntrySize = 1;
constexpr uint32_t kParaEntrySize = 7;
// A bin-table entry: a u32 file position (n + 1 of them) and a u16 page number (n of them).
constexpr uint32_t kBinPositionSize = 4;
constexpr uint32_t kBinPageSize = 2;

// A font-table entry: its size less one, flags, weight (u16), the character set, ...
constexpr uint32_t kFontCharsetOffset = 4;
// The style sheet: its header's size (u16), then the header: style count, size of a style's fixed part,
// ..., and the standard font (the seventh u16).
constexpr uint32_t kStyleSheetCountOffset = 2;
constexpr uint32_t kStyleSheetBaseSizeOffset = 4;
constexpr uint32_t kStyleSheetStandardFontOffset = 14;
// A style's fixed part: its kind (low 4 bits) and based-on style (high 12 bits) in the second u16, its
// number of property sets (low 4 bits) in the third. 0xFFF: based on no style.
constexpr uint32_t kStyleKindOffset = 2;
constexpr uint32_t kStyleCountOffset = 4;
constexpr uint32_t kStyleFixedSize = 6;
constexpr uint16_t kNoStyle = 0xFFF;
constexpr uint16_t kParagraphStyle = 1;
constexpr uint16_t kCharacterStyle = 2;

// The property that names a run's font (sprmCFtc), with its 2-byte font index.
constexpr uint8_t kSprmFont = 93;
// Operand sizes of the character properties of Word 6/95; kVariable: a length byte comes first.
constexpr int kUnknownSize = -1;
constexpr int kVariable = -2;

int CharacterPropertySize(uint8_t Sprm) {
  switch (Sprm) {
    case 65:
    case 66:
    case 67:
    case 71:
    case 75:  // revision marks, field vanish, data, OLE 2 object
    case 85:
    case 86:
    case 87:
    case 88:
    case 89:
    case 90:
    case 91:
    case 92:  // bold ... vanish
    case 94:
    case 98:
    case 100:
    case 102:
    case 104:
    case 117:
    case 118:  // underline ... special
      return 1;
    case 69:
    case 72:
    case 80:
    case 93:
    case 96:
    case 97:
    case 99:
    case 101:
    case 107:
    case 109:
    case 110:
      return 2;
    case 73:
    case 95:  // character set, size and position
      return 3;
    case 70:  // revision date
      return 4;
    case 83:  // plain: back to the style's properties
      return 0;
    case 68:
    case 74:
    case 81:
    case 103:
    case 105:
    case 106:
    case 108:
      return kVariable;
    default:
      return kUnknownSize;
  }
}

uint16_t Get16(const uint8_t* P) { return static_cast<uint16_t>(P[0] | P[1] << 8); }
uint32_t Get32(const uint8_t* P) {
  return static_cast<uint32_t>(P[0]) | static_cast<uint32_t>(P[1]) << 8 | static_cast<uint32_t>(P[2]) << 16 |
         static_cast<uint32_t>(P[3]) << 24;
}

// Count bytes at Position of the stream, when they lie inside it and Count is at most the table cap.
bool ReadAt(TCfbStream& Stream, int64_t Size, uint32_t Position, uint32_t Count, std::vector<uint8_t>& Out) {
  if (Count > kMaxWordTableBytes || Position > Size || Count > Size - Position) return false;
  Out.resize(Count);
  if (Count == 0) return true;
  SeekOleStream(Stream, Position);
  ReadOleStreamExact(Stream, Out.data(), Count);
  return true;
}

// The font the character properties at P (Count bytes) set, or -1.
int32_t FontOfProperties(const uint8_t* P, std::size_t Count) {
  int32_t Font = -1;
  std::size_t I = 0;
  while (I < Count) {
    const uint8_t Sprm = P[I++];
    int Size = CharacterPropertySize(Sprm);
    if (Size == kVariable) {
      if (I >= Count) break;
      Size = P[I++];
    }
    if (Size < 0 || static_cast<std::size_t>(Size) > Count - I) break;
    if (Sprm == kSprmFont && Size == 2) Font = Get16(P + I);
    I += static_cast<std::size_t>(Size);
  }
  return Font;
}

struct TStyle {
  int32_t Base = -1;
  int32_t Font = -1;
};

struct TStyleSheet {
  std::vector<TStyle> Styles;
  int32_t StandardFont = 0;

  // The font of style Index, through the styles it is based on.
  int32_t FontOf(uint32_t Index) const {
    for (std::size_t Hops = 0; Index < Styles.size() && Hops <= Styles.size(); ++Hops) {
      const TStyle& Style = Styles[Index];
      if (Style.Font >= 0) return Style.Font;
      if (Style.Base < 0) break;
      Index = static_cast<uint32_t>(Style.Base);
    }
    return StandardFont;
  }
};

TStyleSheet ReadStyleSheet(const std::vector<uint8_t>& Data) {
  TStyleSheet Sheet;
  if (Data.size() < 2) return Sheet;
  const uint32_t HeaderSize = Get16(Data.data());
  if (Data.size() < 2 + static_cast<std::size_t>(HeaderSize) || HeaderSize < kStyleSheetBaseSizeOffset) {
    return Sheet;
  }
  const uint32_t Count = Get16(Data.data() + kStyleSheetCountOffset);
  const uint32_t FixedSize = Get16(Data.data() + kStyleSheetBaseSizeOffset);
  if (HeaderSize + 2 >= kStyleSheetStandardFontOffset + 2) {
    Sheet.StandardFont = Get16(Data.data() + kStyleSheetStandardFontOffset);
  }
  std::size_t At = 2 + HeaderSize;
  for (uint32_t I = 0; I < Count && Data.size() - At >= 2; ++I) {
    const uint32_t StyleSize = Get16(Data.data() + At);
    At += 2;
    TStyle Style;
    if (StyleSize > Data.size() - At) break;
    const uint8_t* S = Data.data() + At;
    At += StyleSize;
    if (StyleSize >= kStyleFixedSize && FixedSize >= kStyleFixedSize && FixedSize < StyleSize) {
      const uint16_t Kind = Get16(S + kStyleKindOffset) & 0xF;
      const uint16_t Base = Get16(S + kStyleKindOffset) >> 4;
      const uint16_t Sets = Get16(S + kStyleCountOffset) & 0xF;
      if (Base != kNoStyle) Style.Base = Base;
      // The name: a length byte, the letters and a zero byte; then the property sets, each at an even
      // offset with its u16 size: a paragraph style's second set and a character style's first are
      // character properties.
      std::size_t Offset = FixedSize + 1 + S[FixedSize] + 1;
      const uint16_t CharacterSet = Kind == kParagraphStyle ? 1 : Kind == kCharacterStyle ? 0 : 0xFFFF;
      for (uint16_t Set = 0; Set < Sets; ++Set) {
        Offset += Offset & 1;
        if (Offset + 2 > StyleSize) break;
        const uint16_t SetSize = Get16(S + Offset);
        Offset += 2;
        if (SetSize > StyleSize - Offset) break;
        if (Set == CharacterSet) Style.Font = FontOfProperties(S + Offset, SetSize);
        Offset += SetSize;
      }
    }
    Sheet.Styles.push_back(Style);
  }
  return Sheet;
}

// A run of one formatting page: file positions and, for a character run, the font it names (-1: none),
// for a paragraph run, its style.
struct TFormatRun {
  uint32_t First, Last;
  int32_t Value;
};

// The page numbers of a bin table (at FIB offset Field) and the pages that follow the last one listed
// up to the page count at CountField.
std::vector<uint32_t> ReadBinPages(TCfbStream& Document, int64_t Size, const uint8_t* Fib, uint32_t Field,
                                   uint32_t CountField) {
  std::vector<uint32_t> Pages;
  std::vector<uint8_t> Table;
  const uint32_t Length = Get32(Fib + Field + 4);
  if (Length < kBinPositionSize || !ReadAt(Document, Size, Get32(Fib + Field), Length, Table)) return Pages;
  const uint32_t N = (Length - kBinPositionSize) / (kBinPositionSize + kBinPageSize);
  for (uint32_t I = 0; I < N; ++I)
    Pages.push_back(Get16(Table.data() + (N + 1) * kBinPositionSize + I * kBinPageSize));
  const auto MaxPages = static_cast<uint32_t>(Size / kPageSize);
  const uint32_t Total = std::min<uint32_t>(Get16(Fib + CountField), MaxPages);
  while (!Pages.empty() && Pages.size() < Total) Pages.push_back(Pages.back() + 1);
  return Pages;
}

// The runs of the formatting pages Pages: character runs (EntrySize 1, the font) or paragraph runs
// (EntrySize 7, the style).
std::vector<TFormatRun> ReadFormatRuns(TCfbStream& Document, int64_t Size, const std::vector<uint32_t>& Pages,
                                       uint32_t EntrySize) {
  std::vector<TFormatRun> Runs;
  std::vector<uint8_t> Page;
  for (uint32_t Number : Pages) {
    if (Number > Size / kPageSize || !ReadAt(Document, Size, Number * kPageSize, kPageSize, Page)) continue;
    const uint32_t Count = Page[kPageSize - 1];
    if ((Count + 1) * kBinPositionSize + Count * EntrySize > kPageSize - 1) continue;
    for (uint32_t I = 0; I < Count; ++I) {
      TFormatRun Run{Get32(&Page[I * 4]), Get32(&Page[(I + 1) * 4]), EntrySize == kCharEntrySize ? -1 : 0};
      const uint32_t At = 2u * Page[(Count + 1) * kBinPositionSize + I * EntrySize];
      if (At != 0 && At < kPageSize - 1) {
        if (EntrySize == kCharEntrySize) {
          // The size byte, then the properties.
          const uint32_t Bytes = Page[At];
          if (At + 1 + Bytes <= kPageSize) Run.Value = FontOfProperties(&Page[At + 1], Bytes);
        } else if (Page[At] >= 1 && At + 3 <= kPageSize) {
          // The size in words, then the style (u16) and the paragraph properties.
          Run.Value = Get16(&Page[At + 1]);
        }
      }
      if (Run.First < Run.Last) Runs.push_back(Run);
    }
  }
  std::sort(Runs.begin(), Runs.end(),
            [](const TFormatRun& A, const TFormatRun& B) { return A.First < B.First; });
  return Runs;
}

// The run of Runs (ascending) that holds Position, or null.
const TFormatRun* RunAt(const std::vector<TFormatRun>& Runs, uint32_t Position) {
  auto It = std::upper_bound(Runs.begin(), Runs.end(), Position,
                             [](uint32_t P, const TFormatRun& Run) { return P < Run.First; });
  if (It == Runs.begin()) return nullptr;
  --It;
  return Position < It->Last ? &*It : nullptr;
}

}  // namespace

uint8_t WordFontCharset(uint8_t FontCharset) {
  switch (FontCharset) {
    case 238:
      return qvnls::kCharsetWin1250;  // Central European
    case 204:
      return qvnls::kCharsetWin1251;  // Cyrillic
    case 161:
      return qvnls::kCharsetWin1253;  // Greek
    case 162:
      return qvnls::kCharsetWin1254;  // Turkish
    case 177:
      return qvnls::kCharsetWin1255;  // Hebrew
    case 178:
      return qvnls::kCharsetWin1256;  // Arabic
    case 186:
      return qvnls::kCharsetWin1257;  // Baltic
    case 163:
      return qvnls::kCharsetWin1258;  // Vietnamese
    case 222:
      return qvnls::kCharsetWin874;  // Thai
    default:
      return qvnls::kCharsetNone;
  }
}

void TWordFontCharsets::Read(TCfbStream& Document, int64_t Size, const uint8_t* Fib) {
  Runs_.clear();
  try {
    // The character set of each font, by font index.
    std::vector<uint8_t> Data;
    if (!ReadAt(Document, Size, Get32(Fib + kFibFontTable), Get32(Fib + kFibFontTable + 4), Data)) return;
    std::vector<uint8_t> FontCharsets;
    if (Data.size() >= 2) {
      const std::size_t End = std::min<std::size_t>(Get16(Data.data()), Data.size());
      for (std::size_t At = 2; At < End;) {
        const std::size_t EntrySize = Data[At] + 1u;
        if (EntrySize > End - At) break;
        FontCharsets.push_back(EntrySize > kFontCharsetOffset ? WordFontCharset(Data[At + kFontCharsetOffset])
                                                              : 0);
        At += EntrySize;
      }
    }
    if (std::all_of(FontCharsets.begin(), FontCharsets.end(), [](uint8_t C) { return C == 0; })) return;

    TStyleSheet Sheet;
    if (ReadAt(Document, Size, Get32(Fib + kFibStyleSheet), Get32(Fib + kFibStyleSheet + 4), Data))
      Sheet = ReadStyleSheet(Data);
    const std::vector<TFormatRun> Characters =
        ReadFormatRuns(Document, Size, ReadBinPages(Document, Size, Fib, kFibCharBinTable, kFibCharPageCount),
                       kCharEntrySize);
    const std::vector<TFormatRun> Paragraphs =
        ReadFormatRuns(Document, Size, ReadBinPages(Document, Size, Fib, kFibParaBinTable, kFibParaPageCount),
                       kParaEntrySize);

    // Every place where a run of either kind starts or ends starts a stretch of one font.
    std::vector<uint32_t> Bounds;
    for (const std::vector<TFormatRun>* Runs : {&Characters, &Paragraphs}) {
      for (const TFormatRun& Run : *Runs) {
        Bounds.push_back(Run.First);
        Bounds.push_back(Run.Last);
      }
    }
    std::sort(Bounds.begin(), Bounds.end());
    Bounds.erase(std::unique(Bounds.begin(), Bounds.end()), Bounds.end());
    for (std::size_t I = 0; I + 1 < Bounds.size(); ++I) {
      const uint32_t First = Bounds[I];
      // The run's own font, else its paragraph style's.
      const TFormatRun* Character = RunAt(Characters, First);
      const TFormatRun* Paragraph = RunAt(Paragraphs, First);
      if (Character == nullptr && Paragraph == nullptr) continue;  // between runs: no text
      int32_t Font = Character != nullptr ? Character->Value : -1;
      if (Font < 0) {
        Font =
            Paragraph != nullptr ? Sheet.FontOf(static_cast<uint32_t>(Paragraph->Value)) : Sheet.StandardFont;
      }
      const uint8_t Charset = Font >= 0 && static_cast<std::size_t>(Font) < FontCharsets.size()
                                  ? FontCharsets[static_cast<std::size_t>(Font)]
                                  : 0;
      if (Charset == 0) continue;
      if (!Runs_.empty() && Runs_.back().Last == First && Runs_.back().Charset == Charset) {
        Runs_.back().Last = Bounds[I + 1];
      } else {
        Runs_.push_back({First, Bounds[I + 1], Charset});
      }
    }
  } catch (...) {
    // A table that cannot be read names no charset: the text is read all the same.
    Runs_.clear();
  }
}

uint8_t TWordFontCharsets::At(uint32_t Position) const {
  auto It = std::upper_bound(Runs_.begin(), Runs_.end(), Position,
                             [](uint32_t P, const TRun& Run) { return P < Run.First; });
  if (It == Runs_.begin()) return 0;
  --It;
  return Position < It->Last ? It->Charset : 0;
}
