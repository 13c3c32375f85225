#include "plugins/impwrite/MSWord2Txt.h"

#include <memory>
#include <vector>

#include "core/NumVector.h"
#include "core/VStream.h"
#include "platform/cfb/CompoundFile.h"
#include "platform/qvnls/Qvnls.h"
#include "plugins/common/VComUtil.h"
#include "plugins/frame/ConvCmmn.h"
#include "plugins/impwrite/Charmaps.h"

namespace {

constexpr char16_t kWordDocumentStream[] = u"WordDocument";
constexpr char16_t kCR = 0x0D;
constexpr char16_t kLF = 0x0A;
constexpr char16_t kOptionalHyphen = 0x1F;
constexpr char16_t kLineBreak = 0x0B;

// Piece-table blocks: a property block (type, u16 size, the bytes) or the piece table proper (type, u32
// length, the character positions, the piece descriptors).
constexpr uint8_t kBlockProperties = 1;
constexpr uint8_t kBlockPieceTable = 2;
// The smallest block header (type and four bytes), one character position, one piece descriptor.
constexpr int64_t kBlockHeader = 5;
constexpr uint32_t kPositionSize = 4;
constexpr uint32_t kDescriptorSize = 8;
// Bit 30 of a piece's file position: 8-bit characters at half the position (Word 97 and later).
constexpr uint32_t kPieceCompressed = 0x40000000u;
// The most bytes one piece may take: streams and the text hold at most 2^31 - 1 bytes.
constexpr uint64_t kMaxPieceBytes = 0x7FFFFFFF;

// Language identifiers: the primary language in the low 10 bits, the sublanguage above them.
constexpr uint16_t kPrimaryLanguageMask = 0x3FF;
// Languages whose code page is not the one of their primary language's first form.
struct TLanguagePage {
  uint16_t Language;
  int32_t CodePage;
};
constexpr TLanguagePage kSublanguagePages[] = {
    {0x0404, 950},   // Chinese (Taiwan): traditional characters
    {0x0C04, 950},   // Chinese (Hong Kong)
    {0x1404, 950},   // Chinese (Macao)
    {0x0C1A, 1251},  // Serbian in Cyrillic letters
    {0x082C, 1251},  // Azeri in Cyrillic letters
    {0x0843, 1251},  // Uzbek in Cyrillic letters
};

uint16_t Get16(const uint8_t* P) { return static_cast<uint16_t>(P[0] | P[1] << 8); }
uint32_t Get32(const uint8_t* P) {
  return static_cast<uint32_t>(P[0]) | static_cast<uint32_t>(P[1]) << 8 | static_cast<uint32_t>(P[2]) << 16 |
         static_cast<uint32_t>(P[3]) << 24;
}

uint32_t ReadStreamU32(TCfbStream& Stream) {
  uint8_t B[4];
  ReadOleStreamExact(Stream, B, sizeof B);
  return Get32(B);
}

// What one document's reading works with.
struct TWordContext {
  TCfbStream* Document = nullptr;  // "WordDocument"
  int64_t DocumentSize = 0;
  TVStream* Dest = nullptr;
  bool Unicode = false;  // Word 97 and later: UTF-16 output
  IConvProgress* Progress = nullptr;
  bool Cancelled = false;
};

// Count characters at Position of "WordDocument", 8-bit or UTF-16 (Wide), written with the character rules.
void ReadWordPiece(uint32_t Position, uint32_t Count, bool Wide, TWordContext& Context) {
  // Count never exceeds the stream's size (checked); the text must still fit a 31-bit stream.
  const uint64_t Bytes = static_cast<uint64_t>(Count) * (Wide ? 2 : 1);
  if (Bytes > kMaxPieceBytes) throw EDocInvalid();
  std::vector<uint8_t> Buffer(static_cast<std::size_t>(Bytes));
  SeekOleStream(*Context.Document, Position);
  if (Bytes > 0) ReadOleStreamExact(*Context.Document, Buffer.data(), static_cast<uint32_t>(Bytes));
  TVStream& Dest = *Context.Dest;
  if (!Context.Unicode) {
    for (uint8_t C : Buffer) WriteWordChar8(Dest, C);
  } else if (Wide) {
    for (uint32_t I = 0; I < Count; ++I) WriteWordChar16(Dest, Get16(&Buffer[2 * I]));
  } else {
    for (uint8_t C : Buffer) WriteWordChar16(Dest, Win1252ToWide(C));
  }
}

// Finds the piece table in the Length bytes at Start of Table and reads every piece it lists.
void ReadWordPieceTable(TCfbStream& Table, uint32_t Start, uint32_t Length, TWordContext& Context) {
  const int64_t End = static_cast<int64_t>(Start) + Length;
  int64_t At = Start;
  uint32_t Pieces = 0;
  while (End - At >= kBlockHeader) {
    uint8_t Header[kBlockHeader];
    SeekOleStream(Table, At);
    ReadOleStreamExact(Table, Header, sizeof Header);
    if (Header[0] == kBlockPieceTable) {
      const uint32_t PieceTableLength = Get32(Header + 1);
      if (PieceTableLength < kPositionSize ||
          (PieceTableLength - kPositionSize) % (kPositionSize + kDescriptorSize) != 0) {
        throw EDocInvalid();
      }
      Pieces = (PieceTableLength - kPositionSize) / (kPositionSize + kDescriptorSize);
      At += kBlockHeader;
      break;
    }
    if (Header[0] != kBlockProperties) throw EDocInvalid();
    At += 3 + Get16(Header + 1);
  }
  if (Pieces == 0) throw EDocInvalid();

  // The character counts, one per piece. Reading them one at a time keeps memory to what the stream
  // really holds, whatever count the length claims.
  TInt32Vector Counts;
  SeekOleStream(Table, At);
  uint32_t Previous = ReadStreamU32(Table);
  if (Previous != 0) throw EDocInvalid();
  int64_t Total = 0;
  for (uint32_t I = 0; I < Pieces; ++I) {
    const uint32_t Next = ReadStreamU32(Table);
    const int64_t Count = static_cast<int64_t>(Next) - Previous;
    Total += Count;
    // Pieces never overlap, so together they hold no more characters than the stream has bytes.
    if (Count < 0 || Count > Context.DocumentSize || Total > Context.DocumentSize) throw EDocInvalid();
    Counts.Add(static_cast<int32_t>(Count));
    Previous = Next;
  }

  // The descriptors follow the positions. The table may be "WordDocument" itself (Word 6/95), which
  // ReadWordPiece moves on, so each descriptor is read from its own place.
  int64_t Descriptor = At + static_cast<int64_t>(Pieces + 1) * kPositionSize;
  for (uint32_t I = 0; I < Pieces; ++I, Descriptor += kDescriptorSize) {
    if (Context.Progress != nullptr && !Context.Progress->Check()) {
      Context.Cancelled = true;
      return;
    }
    uint8_t Entry[kDescriptorSize];
    SeekOleStream(Table, Descriptor);
    ReadOleStreamExact(Table, Entry, sizeof Entry);
    const uint32_t Position = Get32(Entry + 2);
    const auto Count = static_cast<uint32_t>(Counts.Get(static_cast<int32_t>(I)));
    if (!Context.Unicode) {
      ReadWordPiece(Position, Count, false, Context);
    } else if ((Position & kPieceCompressed) != 0) {
      ReadWordPiece((Position & ~kPieceCompressed) / 2, Count, false, Context);
    } else {
      ReadWordPiece(Position, Count, true, Context);
    }
  }
}

// Opens the first of the two table-stream names that exists, the one the FIB names first.
std::unique_ptr<TCfbStream> OpenTableStream(TCfbStorage& Storage, bool OneTable) {
  const std::u16string Names[2] = {OneTable ? u"1Table" : u"0Table", OneTable ? u"0Table" : u"1Table"};
  for (const std::u16string& Name : Names) {
    std::unique_ptr<TCfbStream> Stream;
    if (Storage.OpenStream(Name, STGM_READ | STGM_SHARE_EXCLUSIVE, Stream) == S_OK) return Stream;
  }
  return nullptr;
}

}  // namespace

bool IsWordDocument(const std::string& FileName) {
  try {
    std::unique_ptr<TCfbStorage> Storage;
    if (StgOpenStorage(FileName, STGM_READ | STGM_SHARE_DENY_WRITE, Storage) != S_OK) return false;
    std::unique_ptr<TCfbStream> Stream;
    return Storage->OpenStream(kWordDocumentStream, STGM_READ | STGM_SHARE_EXCLUSIVE, Stream) == S_OK;
  } catch (...) {
    return false;
  }
}

uint8_t WordTextCharset(uint16_t Language, uint16_t TextCharset) {
  if (TextCharset != kFibCharsetWindows || (Language & kPrimaryLanguageMask) == 0) return 0;
  int32_t CodePage = qvnls::GetWindowsCodePage(Language);
  for (const TLanguagePage& Row : kSublanguagePages) {
    if (Row.Language == Language) CodePage = Row.CodePage;
  }
  return CodePage > 0 ? qvnls::WindowsCodePageToHTMLCharset(CodePage) : 0;
}

bool ReadWordDocument(const std::string& FileName, TVStream& Dest, bool& IsUnicode, uint8_t& Charset,
                      IConvProgress* Progress) {
  std::unique_ptr<TCfbStorage> Storage;
  ComCheck(StgOpenStorage(FileName, STGM_READ | STGM_SHARE_DENY_WRITE, Storage));
  return ReadWordStorage(*Storage, Dest, IsUnicode, Charset, Progress);
}

bool ReadWordDocument(const std::string& FileName, TVStream& Dest, bool& IsUnicode, IConvProgress* Progress) {
  uint8_t Charset = 0;
  return ReadWordDocument(FileName, Dest, IsUnicode, Charset, Progress);
}

bool ReadWordStorage(TCfbStorage& Storage, TVStream& Dest, bool& IsUnicode, IConvProgress* Progress) {
  uint8_t Charset = 0;
  return ReadWordStorage(Storage, Dest, IsUnicode, Charset, Progress);
}

bool ReadWordStorage(TCfbStorage& Storage, TVStream& Dest, bool& IsUnicode, uint8_t& Charset,
                     IConvProgress* Progress) {
  std::unique_ptr<TCfbStream> Document;
  ComCheck(Storage.OpenStream(kWordDocumentStream, STGM_READ | STGM_SHARE_EXCLUSIVE, Document));
  TWordContext Context;
  Context.Document = Document.get();
  Context.DocumentSize = static_cast<int64_t>(Document->Size());
  Context.Dest = &Dest;
  Context.Progress = Progress;

  uint8_t Fib[kFibSize];
  ReadOleStreamExact(*Document, Fib, sizeof Fib);
  const uint16_t Flags = Get16(Fib + kFibFlags);
  if ((Flags & kFibEncrypted) != 0) throw EDocEncrypted();

  std::unique_ptr<TCfbStream> Table = OpenTableStream(Storage, (Flags & kFibWhichTable) != 0);
  if (Table != nullptr) {
    IsUnicode = Context.Unicode = true;
    Charset = qvnls::kCharsetUtf16LE;
    ReadWordPieceTable(*Table, Get32(Fib + kFibPieceTable97), Get32(Fib + kFibPieceTable97 + 4), Context);
  } else {
    IsUnicode = Context.Unicode = false;
    Charset = WordTextCharset(Get16(Fib + kFibLanguage), Get16(Fib + kFibTextCharset));
    if ((Flags & kFibComplex) != 0) {
      ReadWordPieceTable(*Document, Get32(Fib + kFibPieceTable95), Get32(Fib + kFibPieceTable95 + 4),
                         Context);
    } else {
      const uint32_t First = Get32(Fib + kFibTextStart);
      const uint32_t Last = Get32(Fib + kFibTextEnd);
      if (Last < First || Last - First > Context.DocumentSize) throw EDocInvalid();
      ReadWordPiece(First, Last - First, false, Context);
    }
  }
  return !Context.Cancelled;
}

bool IsDroppedWordChar(char16_t C) { return C == kOptionalHyphen; }

char16_t MapWordChar(char16_t C) { return C == kLineBreak ? kCR : C; }

void WriteWordChar8(TVStream& Dest, uint8_t C) {
  if (IsDroppedWordChar(C)) return;
  const auto Mapped = static_cast<uint8_t>(MapWordChar(C));
  Dest.WriteByte(Mapped);
  if (Mapped == kCR) Dest.WriteByte(kLF);
}

void WriteWordChar16(TVStream& Dest, char16_t C) {
  if (C < 256) {
    if (IsDroppedWordChar(C)) return;
    C = MapWordChar(C);
  }
  Dest.WriteInt16(static_cast<int16_t>(C));
  if (C == kCR) Dest.WriteInt16(kLF);
}
