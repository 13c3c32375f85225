// The text of a presentation's "PowerPoint Document" stream, read without interpreting its layout: the
// scanner walks the flat sequence of record headers, remembers the last container it entered and writes
// the text atoms found inside slide lists and text boxes. A line of 30 dashes separates two slides.
//
// Record header (8 bytes, little-endian): version and instance (u16; version 0xF marks a container),
// type (u16, only its low 12 bits count), body length (u32). A container's body is the records that
// follow it, so the scanner reads on into it; an atom's body is read or skipped whole. Lengths are
// unsigned and a skip only moves forward, so every header is read at a later position than the one
// before: the scan always comes to the end of the stream. A text atom longer than what is left of the
// stream ends the scan without being read.
//
// A presentation saved incrementally keeps the records it replaced (an earlier copy of a slide list or a
// slide, with its old text) in the stream. When the edit history can be read (ReadLiveRecordOffsets), the
// scan is limited to the records of the current edition, each walked in the same way, in stream order.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <utility>

class Stream;

// Record types, after masking to 12 bits.
constexpr uint16_t kPptSlide = 1006;                  // container
constexpr uint16_t kPptSlideListWithText = 4080;      // container
constexpr uint16_t kPptTextBox = 0xF00D & 0x0FFF;     // container of a shape's text
constexpr uint16_t kPptClientData = 0xF011 & 0x0FFF;  // container of a shape's client data
constexpr uint16_t kPptTextCharsAtom = 4000;          // UTF-16 text
constexpr uint16_t kPptCString = 4026;                // UTF-16 text
constexpr uint16_t kPptTextBytesAtom = 4008;          // 8-bit text: the first 256 code points
// The edit history: the "Current User" stream's atom, an edit, the persist directory of an edit.
constexpr uint16_t kPptCurrentUserAtom = 4086;
constexpr uint16_t kPptUserEditAtom = 4085;
constexpr uint16_t kPptPersistDirectoryAtom = 6002;

// One scan of one stream. Writes UTF-16 (ScanWide, into UTF-16LE bytes) or 8-bit text in the Windows code
// page (ScanAnsi; "?" for a character the page lacks). The stream must outlive the scanner.
class PptTextScanner {
 public:
  explicit PptTextScanner(Stream& S) : Stream_(S) {}

  // Limits the scan to the records that start at these offsets; an empty set scans the whole stream.
  void LimitToRecords(std::set<uint32_t> Offsets) { Records_ = std::move(Offsets); }

  void ScanWide(std::string& Out);
  void ScanAnsi(std::string& Out);

 private:
  template <bool Wide>
  void Scan(std::string& Out);
  // Walks the headers from the stream's position At until End.
  template <bool Wide>
  void ScanRecords(uint64_t At, uint64_t End, std::string& Out);
  template <bool Wide>
  void EnterContainer(uint16_t Type, std::string& Out);
  template <bool Wide>
  void ReadAtom(uint16_t Type, uint32_t Length, std::string& Out);

  Stream& Stream_;
  std::set<uint32_t> Records_;
  uint16_t LastContainer_ = 0;
  bool InTextScope_ = false;
  bool FirstSlide_ = true;
};

// Appends Count characters of Text (up to the first zero character), with every lone CR and every vertical
// tab (a line break inside a paragraph) made CR LF, then CR LF. The wide form writes UTF-16LE bytes.
void WritePptTextWide(std::string& Out, const std::u16string& Text, std::size_t Count);
void WritePptTextAnsi(std::string& Out, const std::string& Text, std::size_t Count);

// The offsets in Document ("PowerPoint Document") of the records the current edition uses: the entries
// of the persist directories of every edit, from the last one that CurrentUser ("Current User") names back
// to the first, a newer entry replacing an older one of the same identifier. Empty when the history is
// damaged (a record of the wrong type, an offset beyond the stream, an edit met twice) or names no record.
std::set<uint32_t> ReadLiveRecordOffsets(Stream& Document, Stream& CurrentUser);

// The text of a presentation file, as UTF-16LE bytes (Unicode) or 8-bit text.
bool ConvertPresentationFile(const std::string& FileName, bool Unicode, std::string& Text);
// Whether FileName is a compound file with a "PowerPoint Document" stream; raises on failure.
bool IsPresentationFile(const std::string& FileName);
