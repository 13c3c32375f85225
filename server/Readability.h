// Whether converted text can be read. An outside converter that meets a font whose character codes are
// glyph numbers (a subset font of a PDF turned into PostScript, a CID font, a Type 3 font with made-up
// glyph names) writes those numbers as characters: control characters where the numbers are small, and
// printable garbage ("#$%&' ()*+", capitals, accented letters) where they are larger.
//
// A page that loses its text loses search hits, while garbage left in costs little, so a page is judged
// unreadable only on evidence in its characters that they are not text, never on how its words look
// (vowels, case, length: URLs, keys in base64, hex dumps, part numbers, program code and words such as
// "Strc prst skrz krk" or Welsh "cwm" break every such rule):
// - control characters, C1 controls, replacement, private-use and unassigned characters, and dingbats side
//   by side (glyphs a converter named after a dingbat font's glyph names) make up a tenth of the page;
// - its distinct characters, in the order they first appear, climb the code points one by one, which is
//   how a subset font numbers its glyphs (a run written out in the text itself, "ABCD" or "0123", is no
//   such sign);
// - its letters are almost all accented Latin ones, which no language writes;
// - it has hardly any letters, and its ASCII and Latin-1 symbols are many different ones side by side.
// A weaker degree of the same evidence makes a page doubtful: its text is kept and the page named.
// Pages with too little text to judge are judged by their control characters alone; a blank page is
// readable (it has nothing to lose).
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

enum class TPageReadability : uint8_t {
  Readable,
  Doubtful,    // some signs of garbage, too few to leave the text out
  Unreadable,  // its characters are not text
};

// The verdict on the UTF-8 text of one page (see above).
TPageReadability JudgePage(std::string_view Utf8);

// Whether the UTF-8 text of one page is kept: readable or doubtful.
inline bool IsReadablePage(std::string_view Utf8) { return JudgePage(Utf8) != TPageReadability::Unreadable; }

// Whether UTF-8 text holds nothing but blanks.
bool IsBlankText(std::string_view Utf8);

// The verdict on the pages of UTF-8 text split at form feeds (the page breaks of a converter's output),
// numbered from 1: the pages that cannot be read, the pages kept though they may not be readable, and
// whether some kept page holds text.
struct TPageVerdict {
  std::vector<int32_t> Unreadable;
  std::vector<int32_t> Doubtful;
  bool AnyReadableText = false;
};
TPageVerdict JudgePages(std::string_view Utf8);
