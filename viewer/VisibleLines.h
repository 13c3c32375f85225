// TVisibleLines: the display lines a viewer shows now, in display order, each with its UTF-16 text, its
// attribute string (one code a character, empty when nothing is marked), its start position in the
// source, its length in characters (an end-of-line mark on the line is not counted) and, built on demand,
// the cumulative pixel widths of its characters for hit tests. It also keeps the position of the first
// line and the position just after the last one.
//
// Owned by one viewer; rebuilt from the stream before every paint.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Attribute codes of marked characters (0 = plain). The viewer stores and paints them; its hosts choose.
constexpr uint8_t vaNone = 0;
constexpr uint8_t vaLink = 1;
constexpr uint8_t vaHotLink = 2;
constexpr uint8_t vaURL = 3;
constexpr uint8_t vaHotURL = 4;
constexpr uint8_t vaHit = 100;
constexpr uint8_t vaCurrentHit = 101;

struct TVisibleLine {
  std::u16string Text;
  std::string Attrs;
  int32_t Start = 0;
  int32_t Length = 0;
  // Right edge of each character of Text, from the line's left end (empty until a hit test needs it).
  std::vector<int32_t> Widths;
  // Column counter for tab expansion; every line starts at column 1.
  int32_t Column = 1;
};

class TVisibleLines {
 public:
  // Room for kReserve lines is reserved when the first line is added.
  static constexpr size_t kReserve = 64;

  void Add(const std::u16string& Text, int32_t Start, int32_t Length);
  void Clear();
  int32_t Count() const { return static_cast<int32_t>(Lines_.size()); }
  // The line's attribute string padded with 0 to its length (empty when nothing is marked).
  std::string GetAttributes(int32_t Index) const;
  void SetAttributes(int32_t Index, const std::string& Attrs);
  // Every Old code becomes New, in every line.
  void ReplaceAttribute(uint8_t Old, uint8_t New);

  TVisibleLine& operator[](int32_t Index) { return Lines_[static_cast<size_t>(Index)]; }
  const TVisibleLine& operator[](int32_t Index) const { return Lines_[static_cast<size_t>(Index)]; }

  int32_t FirstPos = 0;  // start of the first line
  int32_t PosAfter = 0;  // the position just after the last line

 private:
  std::vector<TVisibleLine> Lines_;
};
