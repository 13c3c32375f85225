// A reader of RTF documents that keeps their text: paragraphs, line and page breaks, tabs and table cells,
// the characters of every font's code page and Unicode characters, field results and list numbers; it
// drops formatting, font and colour tables, style sheets, document information, pictures, objects,
// headers and footers, field instructions and every group marked "\*".
//
// Checks on hostile input: groups nest to at most kMaxRtfDepth levels (deeper ones are read as if flat,
// so the reader never recurses and never grows without bound); control words and their numbers are cut
// at fixed lengths; "\binN" skips at most what is left; unbalanced braces are tolerated; a "\ucN" skip
// stops at the end of its group. Input that does not start with "{\rtf" is taken as plain text.
//
// Text comes out as UTF-16 with CR LF line breaks. The reader polls Progress (when set) every
// kRtfPollBytes bytes; a false answer stops it. A reader object is used by one thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

constexpr int32_t kMaxRtfDepth = 4096;
constexpr size_t kRtfPollBytes = 32768;

// Reads Rtf into Text; false when Progress stopped it (Text then holds what was read so far).
bool RtfToUtf16(std::string_view Rtf, std::u16string& Text, const std::function<bool()>& Progress = nullptr);
