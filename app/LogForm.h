// The text side of the log window: the lines it holds, their length count and the limit beyond which
// the oldest lines go. The window (ui/LogWindow) shows these lines in a read-only text box.
// Main thread only.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

// The most characters the log keeps; every line counts 2 more for its line break.
constexpr int32_t kLogTextLimit = 131072;

class TLogText {
 public:
  explicit TLogText(int32_t Limit = kLogTextLimit) : Limit_(Limit) {}

  // Appends Text as one line (its own line breaks included); then, while the count exceeds the limit and
  // lines remain, drops the oldest line. Answers how many lines were dropped from the front.
  int32_t AddLine(const std::u16string& Text);
  void Clear();

  int32_t LogTextLength() const { return Length_; }
  const std::deque<std::u16string>& Lines() const { return Items_; }
  // The lines joined by LF, as the window shows them.
  std::u16string Text() const;

 private:
  int32_t Limit_;
  int64_t Length_ = 0;
  std::deque<std::u16string> Items_;
};
