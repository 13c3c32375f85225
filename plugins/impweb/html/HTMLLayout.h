// The layout rules of the HTML-to-text engine: how tokens become lines. Line and paragraph breaks (at most
// one empty line between two text lines, none at the start, no trailing blanks), indentation of lists and
// quotes (two blanks per level, at most 32), list labels (decimal, letters, Roman numerals, "- "), table
// rows and cells, definition lists, preformatted text, skipped elements and link positions.
//
// Every routine works on the state of the running pass (HTML2Txt.h); the pass calls HandleHTMLText for a
// text token and HandleHTMLTag for a tag.
#pragma once

#include <cstdint>
#include <string>

#include "plugins/impweb/html/HTML2Txt.h"

// The widest indentation, in blanks, and the blanks one level adds.
constexpr int32_t kMaxIndent = 32;
constexpr int32_t kIndentStep = 2;

// Numbering styles of an ordered list.
enum : int32_t {
  kListDecimal = 0,
  kListLowerLetters = 1,
  kListUpperLetters = 2,
  kListLowerRoman = 3,
  kListUpperRoman = 4,
};

// Writes the current line to Dest behind the line breaks it waits for, without its trailing blanks.
void FlushHTMLLine(THTMLPassState& State);
void AddHTMLLineBreak(THTMLPassState& State);
void AddHTMLParagraphBreak(THTMLPassState& State);
void WriteHTMLIndent(THTMLPassState& State);
void IncHTMLIndent(THTMLPassState& State);
void DecHTMLIndent(THTMLPassState& State);
// Writes a word of 8-bit text (list labels and generated marks in a wide source are widened first).
void WriteHTMLWord(const std::string& Word, THTMLPassState& State);
void WriteHTMLWordWide(const std::u16string& Word, THTMLPassState& State);
// The label of list item Number in Style ("c", "IV", "12"); the decimal number where the style has none.
std::string HTMLListLabel(int32_t Number, int32_t Style);
void HandleHTMLTag(THTMLPassState& State);
void HandleHTMLText(THTMLPassState& State);
