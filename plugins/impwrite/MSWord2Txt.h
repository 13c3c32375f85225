// The text of a Word document stored as a compound file: Word 97 and later (the text described by a piece
// table in the table stream, pieces of 8-bit or UTF-16 characters) and Word 6/95 (8-bit text in the
// "WordDocument" stream, simple or in pieces). The text comes out as it is stored, with three changes:
// optional hyphens (0x1F) are dropped, manual line breaks (0x0B) become paragraph marks, and every
// paragraph mark (CR) is followed by LF. Every other character, the document's field and object marks
// included, is written unchanged.
//
// What the reader checks:
// - the File Information Block is read whole (426 bytes); a shorter stream fails as a short read;
// - the piece-table walk stays inside the area the FIB gives, and each block inside the table stream;
// - the piece table's length is 4 plus a whole number of 12-byte entries, with at least one piece;
// - character positions start at 0 and never go back; no piece and not all pieces together hold more
//   characters than the "WordDocument" stream has bytes, so the text is bounded by the file;
// - each piece is read exactly from "WordDocument": a piece that points past its end fails as a short read;
// - the simple Word 6/95 text range must not end before it starts.
// A failed check raises EDocInvalid ("Invalid document"); storage failures raise EComError.
//
// One thread at a time; the reader keeps no state between documents.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/Exception.h"

class IConvProgress;
class TCfbStorage;
class TCfbStream;
class TVStream;

class EDocInvalid : public Exception {
 public:
  EDocInvalid() : Exception("Invalid document") {}
  const char* ClassName() const noexcept override { return "EDocInvalid"; }
};

class EDocEncrypted : public Exception {
 public:
  EDocEncrypted() : Exception("Document encrypted") {}
  const char* ClassName() const noexcept override { return "EDocEncrypted"; }
};

// The File Information Block: its size and the fields the reader uses (byte offsets).
constexpr uint32_t kFibSize = 426;
constexpr uint32_t kFibLanguage = 6;  // the document's language identifier (lid)
constexpr uint32_t kFibFlags = 10;
constexpr uint32_t kFibTextCharset = 20;    // Word 6/95: what the 8-bit text is stored in (chse)
constexpr uint32_t kFibTextStart = 24;      // fcMin, Word 6/95 simple documents
constexpr uint32_t kFibTextEnd = 28;        // fcMac
constexpr uint32_t kFibPieceTable95 = 352;  // position and length in "WordDocument"
constexpr uint32_t kFibPieceTable97 = 418;  // position and length in the table stream
constexpr uint16_t kFibComplex = 0x0004;    // Word 6/95 text in pieces
constexpr uint16_t kFibEncrypted = 0x0100;
constexpr uint16_t kFibWhichTable = 0x0200;  // the table stream is "1Table", else "0Table"
// Values of the text charset field: the Windows code page of the document's language, or a Macintosh
// character set.
constexpr uint16_t kFibCharsetWindows = 0;
constexpr uint16_t kFibCharsetMacintosh = 256;

// A stretch of a Word 6/95 document's 8-bit text that its fonts put in one charset: from byte Start of the
// text read on (to the next stretch's start or the end). Charset 0: the fonts name none.
struct TWordCharsetRun {
  int32_t Start;
  uint8_t Charset;
};

// A compound file whose "WordDocument" stream opens. Never raises: any failure answers false.
bool IsWordDocument(const std::string& FileName);

// Reads the document FileName (a path in the system's bytes) into Dest: UTF-16LE units when IsUnicode
// comes back true (Word 97 and later), else 8-bit text in the document's code page (Word 6/95).
// Charset comes back with the charset of the text: UTF-16LE for Word 97 and later; for Word 6/95 the one
// its FIB records (WordTextCharset), 0 when it records none. Progress, when not null, is polled once per
// piece. Answers false when it said stop.
bool ReadWordDocument(const std::string& FileName, TVStream& Dest, bool& IsUnicode, uint8_t& Charset,
                      IConvProgress* Progress);
bool ReadWordDocument(const std::string& FileName, TVStream& Dest, bool& IsUnicode, IConvProgress* Progress);
// The same, and for a Word 6/95 document the charsets of its fonts (TWordFontCharsets), stretch by stretch
// of the text read, in Runs (left empty for Word 97 and later).
bool ReadWordDocument(const std::string& FileName, TVStream& Dest, bool& IsUnicode, uint8_t& Charset,
                      std::vector<TWordCharsetRun>& Runs, IConvProgress* Progress);
// The same over a compound file that is already open.
bool ReadWordStorage(TCfbStorage& Storage, TVStream& Dest, bool& IsUnicode, uint8_t& Charset,
                     IConvProgress* Progress);
bool ReadWordStorage(TCfbStorage& Storage, TVStream& Dest, bool& IsUnicode, IConvProgress* Progress);
bool ReadWordStorage(TCfbStorage& Storage, TVStream& Dest, bool& IsUnicode, uint8_t& Charset,
                     std::vector<TWordCharsetRun>& Runs, IConvProgress* Progress);

// The charset (a qvnls code) of a Word 6/95 document's 8-bit text as its FIB records it: with the text in
// a Windows code page (TextCharset kFibCharsetWindows), the code page of the document's language
// Language when that is not the Western page (Windows-1252); 0 when the language is Western (English
// names no code page: the text may be in any, so the system's is taken), neutral or unknown, or the text
// is in a Macintosh character set.
uint8_t WordTextCharset(uint16_t Language, uint16_t TextCharset);

// Whether the character is dropped from the text (the optional hyphen), and what it becomes (a manual
// line break becomes a paragraph mark); both for characters below 256.
bool IsDroppedWordChar(char16_t C);
char16_t MapWordChar(char16_t C);
// Write one character with the rules above: an 8-bit byte, or one UTF-16 unit (little-endian).
void WriteWordChar8(TVStream& Dest, uint8_t C);
void WriteWordChar16(TVStream& Dest, char16_t C);
