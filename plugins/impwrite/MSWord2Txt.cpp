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
  uint8_t b[4];
  ReadOleStreamExact(Stream, b, sizeof b);
  return Get32(b);
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
  const uint64_t bytes = static_cast<uint64_t>(Count) * (Wide ? 2 : 1);
  if (bytes > kMaxPieceBytes) throw EDocInvalid();
  std::vector<uint8_t> buffer(static_cast<std::size_t>(bytes));
  SeekOleStream(*Context.Document, Position);
  if (bytes > 0) ReadOleStreamExact(*Context.Document, buffer.data(), static_cast<uint32_t>(bytes));
  TVStream& dest = *Context.Dest;
  if (!Context.Unicode) {
    for (uint8_t c : buffer) WriteWordChar8(dest, c);
  } else if (Wide) {
    for (uint32_t i = 0; i < Count; ++i) WriteWordChar16(dest, Get16(&buffer[2 * i]));
  } else {
    for (uint8_t c : buffer) WriteWordChar16(dest, Win1252ToWide(c));
  }
}

// Finds the piece table in the Length bytes at Start of Table and reads every piece it lists.
void ReadWordPieceTable(TCfbStream& Table, uint32_t Start, uint32_t Length, TWordContext& Context) {
  const int64_t end = static_cast<int64_t>(Start) + Length;
  int64_t at = Start;
  uint32_t pieces = 0;
  while (end - at >= kBlockHeader) {
    uint8_t header[kBlockHeader];
    SeekOleStream(Table, at);
    ReadOleStreamExact(Table, header, sizeof header);
    if (header[0] == kBlockPieceTable) {
      const uint32_t length = Get32(header + 1);
      if (length < kPositionSize || (length - kPositionSize) % (kPositionSize + kDescriptorSize) != 0) {
        throw EDocInvalid();
      }
      pieces = (length - kPositionSize) / (kPositionSize + kDescriptorSize);
      at += kBlockHeader;
      break;
    }
    if (header[0] != kBlockProperties) throw EDocInvalid();
    at += 3 + Get16(header + 1);
  }
  if (pieces == 0) throw EDocInvalid();

  // The character counts, one per piece. Reading them one at a time keeps memory to what the stream
  // really holds, whatever count the length claims.
  TInt32Vector counts;
  SeekOleStream(Table, at);
  uint32_t previous = ReadStreamU32(Table);
  if (previous != 0) throw EDocInvalid();
  int64_t total = 0;
  for (uint32_t i = 0; i < pieces; ++i) {
    const uint32_t next = ReadStreamU32(Table);
    const int64_t count = static_cast<int64_t>(next) - previous;
    total += count;
    // Pieces never overlap, so together they hold no more characters than the stream has bytes.
    if (count < 0 || count > Context.DocumentSize || total > Context.DocumentSize) throw EDocInvalid();
    counts.Add(static_cast<int32_t>(count));
    previous = next;
  }

  // The descriptors follow the positions. The table may be "WordDocument" itself (Word 6/95), which
  // ReadWordPiece moves on, so each descriptor is read from its own place.
  int64_t descriptor = at + static_cast<int64_t>(pieces + 1) * kPositionSize;
  for (uint32_t i = 0; i < pieces; ++i, descriptor += kDescriptorSize) {
    if (Context.Progress != nullptr && !Context.Progress->Check()) {
      Context.Cancelled = true;
      return;
    }
    uint8_t entry[kDescriptorSize];
    SeekOleStream(Table, descriptor);
    ReadOleStreamExact(Table, entry, sizeof entry);
    const uint32_t position = Get32(entry + 2);
    const auto count = static_cast<uint32_t>(counts.Get(static_cast<int32_t>(i)));
    if (!Context.Unicode) {
      ReadWordPiece(position, count, false, Context);
    } else if ((position & kPieceCompressed) != 0) {
      ReadWordPiece((position & ~kPieceCompressed) / 2, count, false, Context);
    } else {
      ReadWordPiece(position, count, true, Context);
    }
  }
}

// Opens the first of the two table-stream names that exists, the one the FIB names first.
std::unique_ptr<TCfbStream> OpenTableStream(TCfbStorage& Storage, bool OneTable) {
  const std::u16string names[2] = {OneTable ? u"1Table" : u"0Table", OneTable ? u"0Table" : u"1Table"};
  for (const std::u16string& name : names) {
    std::unique_ptr<TCfbStream> stream;
    if (Storage.OpenStream(name, STGM_READ | STGM_SHARE_EXCLUSIVE, stream) == S_OK) return stream;
  }
  return nullptr;
}

}  // namespace

bool IsWordDocument(const std::string& FileName) {
  try {
    std::unique_ptr<TCfbStorage> storage;
    if (StgOpenStorage(FileName, STGM_READ | STGM_SHARE_DENY_WRITE, storage) != S_OK) return false;
    std::unique_ptr<TCfbStream> stream;
    return storage->OpenStream(kWordDocumentStream, STGM_READ | STGM_SHARE_EXCLUSIVE, stream) == S_OK;
  } catch (...) {
    return false;
  }
}

uint8_t WordTextCharset(uint16_t Language, uint16_t TextCharset) {
  if (TextCharset != kFibCharsetWindows || (Language & kPrimaryLanguageMask) == 0) return 0;
  int32_t code_page = qvnls::GetWindowsCodePage(Language);
  for (const TLanguagePage& row : kSublanguagePages) {
    if (row.Language == Language) code_page = row.CodePage;
  }
  return code_page > 0 ? qvnls::WindowsCodePageToHTMLCharset(code_page) : 0;
}

bool ReadWordDocument(const std::string& FileName, TVStream& Dest, bool& IsUnicode, uint8_t& Charset,
                      IConvProgress* Progress) {
  std::unique_ptr<TCfbStorage> storage;
  ComCheck(StgOpenStorage(FileName, STGM_READ | STGM_SHARE_DENY_WRITE, storage));
  return ReadWordStorage(*storage, Dest, IsUnicode, Charset, Progress);
}

bool ReadWordDocument(const std::string& FileName, TVStream& Dest, bool& IsUnicode, IConvProgress* Progress) {
  uint8_t charset = 0;
  return ReadWordDocument(FileName, Dest, IsUnicode, charset, Progress);
}

bool ReadWordStorage(TCfbStorage& Storage, TVStream& Dest, bool& IsUnicode, IConvProgress* Progress) {
  uint8_t charset = 0;
  return ReadWordStorage(Storage, Dest, IsUnicode, charset, Progress);
}

bool ReadWordStorage(TCfbStorage& Storage, TVStream& Dest, bool& IsUnicode, uint8_t& Charset,
                     IConvProgress* Progress) {
  std::unique_ptr<TCfbStream> document;
  ComCheck(Storage.OpenStream(kWordDocumentStream, STGM_READ | STGM_SHARE_EXCLUSIVE, document));
  TWordContext context;
  context.Document = document.get();
  context.DocumentSize = static_cast<int64_t>(document->Size());
  context.Dest = &Dest;
  context.Progress = Progress;

  uint8_t fib[kFibSize];
  ReadOleStreamExact(*document, fib, sizeof fib);
  const uint16_t flags = Get16(fib + kFibFlags);
  if ((flags & kFibEncrypted) != 0) throw EDocEncrypted();

  std::unique_ptr<TCfbStream> table = OpenTableStream(Storage, (flags & kFibWhichTable) != 0);
  if (table != nullptr) {
    IsUnicode = context.Unicode = true;
    Charset = qvnls::kCharsetUtf16LE;
    ReadWordPieceTable(*table, Get32(fib + kFibPieceTable97), Get32(fib + kFibPieceTable97 + 4), context);
  } else {
    IsUnicode = context.Unicode = false;
    Charset = WordTextCharset(Get16(fib + kFibLanguage), Get16(fib + kFibTextCharset));
    if ((flags & kFibComplex) != 0) {
      ReadWordPieceTable(*document, Get32(fib + kFibPieceTable95), Get32(fib + kFibPieceTable95 + 4),
                         context);
    } else {
      const uint32_t first = Get32(fib + kFibTextStart);
      const uint32_t last = Get32(fib + kFibTextEnd);
      if (last < first || last - first > context.DocumentSize) throw EDocInvalid();
      ReadWordPiece(first, last - first, false, context);
    }
  }
  return !context.Cancelled;
}

bool IsDroppedWordChar(char16_t C) { return C == kOptionalHyphen; }

char16_t MapWordChar(char16_t C) { return C == kLineBreak ? kCR : C; }

void WriteWordChar8(TVStream& Dest, uint8_t C) {
  if (IsDroppedWordChar(C)) return;
  const auto c = static_cast<uint8_t>(MapWordChar(C));
  Dest.WriteByte(c);
  if (c == kCR) Dest.WriteByte(kLF);
}

void WriteWordChar16(TVStream& Dest, char16_t C) {
  if (C < 256) {
    if (IsDroppedWordChar(C)) return;
    C = MapWordChar(C);
  }
  Dest.WriteInt16(static_cast<int16_t>(C));
  if (C == kCR) Dest.WriteInt16(kLF);
}
