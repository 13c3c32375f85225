// Whether converted text can be read. An outside converter that meets a font whose character codes are
// glyph numbers (a subset font of a PDF turned into PostScript, a CID font) writes those numbers as
// characters: control characters where the numbers are small, and printable garbage ("#$%&' ()*+") or
// random letters where they are larger. Such text looks like text to a byte count, so each page is judged
// by what readable text of any language shows, without a dictionary:
// - hardly any control characters, C1 controls, replacement characters or private-use characters;
// - letters of the alphabetic scripts (Latin, Greek, Cyrillic) hold a share of vowels that languages
//   have (about a third to a half), not the fifth that random letters give nor the most that accented
//   Latin-1 letters give;
// - words keep one case (lower, upper or capitalised) rather than mixing it letter by letter;
// - words are letters or numbers, not letters broken by digits and stray symbols;
// - most characters are letters or digits, and blanks separate words of usual length.
// One strong sign, or two weak ones (a vowel share near the bounds, few letters and digits, long words),
// make a page unreadable. Pages with too little text to judge are
// judged by their control characters alone; a blank page is readable (it has nothing to lose).
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

// Whether the UTF-8 text of one page can be read (see above).
bool IsReadablePage(std::string_view Utf8);

// Whether UTF-8 text holds nothing but blanks.
bool IsBlankText(std::string_view Utf8);

// The verdict on the pages of UTF-8 text split at form feeds (the page breaks of a converter's output),
// numbered from 1: the pages that cannot be read, and whether some page holds readable text.
struct TPageVerdict {
  std::vector<int32_t> Unreadable;
  bool AnyReadableText = false;
};
TPageVerdict JudgePages(std::string_view Utf8);
