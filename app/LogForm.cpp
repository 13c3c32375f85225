#include "app/LogForm.h"

int32_t TLogText::AddLine(const std::u16string& Text) {
  Length_ += static_cast<int64_t>(Text.size()) + 2;
  Items_.push_back(Text);
  int32_t Dropped = 0;
  // The newest line stays even when it alone passes the limit: a reader sees what was logged last.
  while (Length_ > Limit_ && Items_.size() > 1) {
    Length_ -= static_cast<int64_t>(Items_.front().size()) + 2;
    Items_.pop_front();
    ++Dropped;
  }
  return Dropped;
}

void TLogText::Clear() {
  Items_.clear();
  Length_ = 0;
}

std::u16string TLogText::Text() const {
  std::u16string Result;
  for (const auto& Line : Items_) {
    if (!Result.empty()) Result += u'\n';
    Result += Line;
  }
  return Result;
}
