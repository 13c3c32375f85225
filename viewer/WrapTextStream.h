// TWrapTextStream splits each logical line of a TTransTextStream into display lines (segments) that fit
// a pixel width, and moves through the segments as if they were lines: ReadLine hands out one segment,
// PrevLine steps back one segment, SetPosition lands on the start of the segment that holds a position.
// Without word wrap it reads whole lines like its base.
//
// Widths: the bytes 0..127 come from a 256-entry table the viewer fills from its font metrics; other
// characters are measured through IFontMetrics once and cached. A surrogate pair is one character of one
// width and never split between segments.
//
// Ownership: Metrics is borrowed and must outlive the reader (it may be null: every width is then 0).
// One thread at a time.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "viewer/FontMetrics.h"
#include "viewer/TransTextStream.h"

class TWrapTextStream : public TTransTextStream {
 public:
  TWrapTextStream(IFontMetrics* Metrics, TVStream* Stream);

  void UpdateLineBytes() override;
  void PrevLine() override;
  void SetPosition(int32_t P) override;
  void ReadLine(std::string& Line) override;
  bool Eof() override;
  // A new mode drops the segments and lands on the start of the display line that holds the position.
  void SetCharsetMode(uint8_t Mode) override;

  // Word wrap on or off; off drops the segments. The byte limit of a logical line follows.
  void SetWrap(bool On);
  bool GetWrap() const { return WordWrap_; }
  // Pixels a display line may take (the viewer sets its text-area width less 1).
  void SetWrapWidth(int32_t Width);
  int32_t GetWrapWidth() const { return WrapWidth_; }
  // 0 becomes 1, above kMaxTabSize becomes kMaxTabSize; a change drops the segments.
  void SetTabSize(int32_t N);

  void SetMetrics(IFontMetrics* M) { Metrics_ = M; }
  IFontMetrics* GetMetrics() const { return Metrics_; }
  // The byte-width table (pixel widths of the byte values in the text font); clears the width cache.
  void SetByteWidths(const int32_t (&Widths)[256]);
  void ClearWidthCache() { WidthCache_.clear(); }

  // Pixel width of one character (a code point).
  int32_t CharWidth(char32_t Ch);
  // Width of Ch at Column, and Column moved on: a TAB runs to its tab stop (U+00BB plus blanks with
  // visible tabs, else blanks), a blank with visible tabs measures as U+00B7.
  int32_t AdvanceWidth(char32_t Ch, int32_t& Column);
  // The width of Text[I] at Column (moving Column): a high surrogate followed by its low one measures
  // the whole pair, the low one then 0 without moving Column.
  int32_t AdvanceWidthAt(const std::u16string& Text, size_t I, int32_t& Column);
  // The width of a whole line measured from column 1 (tabs at their stops).
  int32_t TextWidth(const std::u16string& Text);

  // True without word wrap, or when no segment of the current logical line is left.
  bool AtLineEnd() const;

 protected:
  // Breaks the logical line that holds Position into segments; Position goes to its start.
  void BreakLine();
  // Cuts Text into segments that fit WrapWidth.
  void SplitSegments(const std::u16string& Text);
  // Source bytes of the segments before Index.
  int32_t SegmentOffset(size_t Index) const;
  bool HasSegmentsLeft() const { return NextSegment_ < Segments_.size(); }
  void DropSegments();

  IFontMetrics* Metrics_;
  bool WordWrap_ = false;
  int32_t WrapWidth_ = 0;
  int32_t ByteWidths_[256] = {};
  bool ByteWidthsSet_ = false;
  std::unordered_map<char32_t, int32_t> WidthCache_;

  // The current logical line: its segments and their lengths in source bytes, the next one to hand
  // out, where the line starts and ends, and whether it was cut at the length limit.
  std::vector<std::u16string> Segments_;
  std::vector<int32_t> SegmentBytes_;
  size_t NextSegment_ = 0;
  int32_t LineStartPos_ = 0;
  int32_t PosAfterLine_ = 0;
  bool LogicalLineCut_ = false;
  bool LogicalLineMarked_ = false;
};
