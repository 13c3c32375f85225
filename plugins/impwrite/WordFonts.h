// The character sets of a Word 6/95 document's 8-bit text, by the fonts its runs are set in. Word 6/95
// stores no code page for its text; each font of its font table records a Windows character set (238
// Central European, 204 Cyrillic, ...), and each run of text names its font in its character formatting
// (sprmCFtc), or takes it from its paragraph's style, or from the style sheet's standard font. A document
// written in two scripts keeps each in the code page of its font.
//
// What the reader checks:
// - every table (font table, style sheet, the bin tables of character and paragraph formatting) lies
//   inside "WordDocument" and is read with its length capped at kMaxWordTableBytes;
// - a formatting page (512 bytes) lies inside the stream, and its run count fits the page;
// - a property's bytes lie inside its page or style; a property whose operator has no known length ends
//   the walk of that property, keeping what was read before it;
// - a chain of based-on styles ends after as many hops as there are styles.
// A damaged or missing table leaves the runs it would have named without a character set: the text is
// still read, in the document's charset. Nothing here raises.
//
// One thread at a time; a TWordFontCharsets belongs to one document.
#pragma once

#include <cstdint>
#include <vector>

class TCfbStream;

// The most bytes read for one table of the document's formatting.
constexpr uint32_t kMaxWordTableBytes = 1u << 20;

// The qvnls charset of a Windows font character set (the chs of a font), or 0 for the ANSI character set
// and for sets that name no 8-bit code page of their own (symbol, OEM, the East Asian sets).
uint8_t WordFontCharset(uint8_t FontCharset);

class TWordFontCharsets {
 public:
  // Reads the formatting of the Word 6/95 document whose "WordDocument" stream is Document (Size bytes)
  // and whose FIB is Fib (kFibSize bytes). Never raises.
  void Read(TCfbStream& Document, int64_t Size, const uint8_t* Fib);
  // The charset of the character stored at file position Position: 0 when its font names none.
  uint8_t At(uint32_t Position) const;
  // Whether any run of text names a charset.
  bool Any() const { return !Runs_.empty(); }

 private:
  struct TRun {
    uint32_t First, Last;  // file positions, Last not included
    uint8_t Charset;
  };
  std::vector<TRun> Runs_;  // ascending, not overlapping, only those with a charset
};
