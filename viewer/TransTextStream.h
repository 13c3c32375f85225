// TTransTextStream turns the lines of a TViewTextStream into display text: every line comes out as UTF-16
// in the chosen charset mode, with an optional end-of-line mark and visible glyphs for control characters.
// It also expands tabs for display, upper-cases buffers by the display charset and runs one block of a
// filtered byte search over its source (the viewer's find).
//
// Charset modes: cmUnicode (UTF-16LE, 2 bytes a character), cmOEM and cmANSI (the system's OEM and ANSI
// code pages, 1 byte a character). Positions are always byte offsets into the source stream.
//
// Ownership and threads: the source stream is borrowed (see TViewTextStream); one viewer owns the reader
// and uses it from one thread.
#pragma once

#include <cstdint>
#include <string>

#include "core/VStream.h"
#include "search/ViewTextStream.h"

// Charset modes of the viewer and its line sources.
constexpr uint8_t cmUnicode = 0;
constexpr uint8_t cmOEM = 2;
constexpr uint8_t cmANSI = 3;
// A mode below this reads 2 bytes a character.
constexpr uint8_t kFirst8BitMode = 2;
inline bool IsWideMode(uint8_t Mode) { return Mode < kFirst8BitMode; }

// Display glyphs of the codes 0..31 (TAB, 9, is expanded instead and never replaced).
extern const char16_t kControlGlyphs[32];
// The first cell of an expanded tab and a blank, when tabs and spaces are shown.
constexpr char16_t kVisibleTabGlyph = 0x00BB;
constexpr char16_t kVisibleSpaceGlyph = 0x00B7;

// Characters a line holds at most (the source is cut into pieces beyond it).
constexpr int32_t kViewerLineLength = 1024;
// Bytes one FindInSource call reads at most.
constexpr int32_t kFindBlockBytes = 32768;
// Tab sizes accepted.
constexpr int32_t kMinTabSize = 1;
constexpr int32_t kMaxTabSize = 16;

class TTransTextStream;

// The read filter put on the source stream for one search block: Next first, then bytes 128..255
// translated through Map (when set), then upper case by the display charset of Owner (when Upper).
class TSearchFilter : public TReadFilter {
 public:
  TSearchFilter(TReadFilter* Next, const uint8_t* Map, bool Upper, TTransTextStream* Owner)
      : Next(Next), Map(Map), Upper(Upper), Owner(Owner) {}
  void Apply(TVStream* Stream, void* Buf, int32_t Count) override;

  TReadFilter* Next;   // not owned
  const uint8_t* Map;  // 128 entries for the bytes 128..255, or null
  bool Upper;
  TTransTextStream* Owner;
};

class TTransTextStream : public TViewTextStream {
 public:
  // Lines of at most kViewerLineLength characters, mode cmANSI, tab size 8.
  explicit TTransTextStream(TVStream* Stream);

  // Line as UTF-16LE bytes (2 a character), with the end-of-line mark after a real line break and the
  // control glyphs when they are on. Positions stay those of the source.
  void ReadLine(std::string& Line) override;
  // The same line as UTF-16 text.
  void ReadText(std::u16string& Text);

  // Unchanged mode: nothing. Otherwise the encoding and source charset of the mode, the display charset
  // recomputed and the source stream's read filter set to none.
  virtual void SetCharsetMode(uint8_t Mode);
  uint8_t GetCharsetMode() const { return CharsetMode_; }
  uint8_t GetSourceCharset() const { return SourceCharset_; }
  uint8_t GetDisplayCharset() const { return DisplayCharset_; }

  // Upper-cases Count bytes in place: UTF-16 units in the 16-bit mode, else bytes by the display
  // charset's own upper case (a byte whose upper case is not in the charset stays).
  void UpperBuf(void* Buf, int32_t Count) const;
  // Bytes 128..255 of the source charset in the display charset (0 = no place there), or null.
  const uint8_t* TransMap() const;
  // Text of the source charset as UTF-16.
  std::u16string ToWide(const std::string& S) const;
  // The last column of the tab cell that holds Column (1-based).
  int32_t TabStop(int32_t Column) const { return ((Column - 1) / TabSize_ + 1) * TabSize_; }

  // Expands the tabs of one line for display. Attrs (when not empty) is padded to the text and each
  // tab's attribute repeated over its cells. Start and Len (a byte range, e.g. the selection) grow and
  // move with the inserted cells so that they keep covering the same characters; LineStart is the
  // line's byte position.
  void ExpandTabs(std::u16string& Text, std::string& Attrs, int32_t& Len, int32_t& Start,
                  int32_t LineStart) const;

  // One search block: FindBytes (Pattern, PatLen, BlockBytes) on the source stream through a
  // TSearchFilter (upper case and/or translation), the previous filter restored on every path.
  bool FindInSource(const void* Pattern, int32_t PatLen, bool UpperCase, bool Translate,
                    int32_t BlockBytes = kFindBlockBytes);

  // Whether the last line read carried the end-of-line mark.
  bool GetMarkAppended() const { return MarkAppended_; }

  uint8_t GetTabSize() const { return TabSize_; }
  bool ShowTabs = false;       // visible tabs and spaces
  bool ControlGlyphs = false;  // codes below 32 shown as glyphs
  char16_t EOLMark = 0;        // 0 = none

 protected:
  // Bytes of one source character in the current mode.
  int32_t SourceUnit() const { return IsWideMode(CharsetMode_) ? 2 : 1; }
  // The line of the base reader, converted, marked and with glyphs.
  void ReadTransLine(std::u16string& Text);

  uint8_t CharsetMode_ = cmANSI;
  uint8_t SourceCharset_;
  uint8_t DisplayCharset_;
  uint8_t TabSize_ = 8;
  bool MarkAppended_ = false;
};

// UTF-16 text to UTF-16LE bytes and back (the byte form is what TViewTextStream lines carry).
std::string WideToLineBytes(const std::u16string& Text);
std::u16string LineBytesToWide(const std::string& Bytes);
