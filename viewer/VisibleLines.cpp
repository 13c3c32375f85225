#include "viewer/VisibleLines.h"

void TVisibleLines::Add(const std::u16string& Text, int32_t Start, int32_t Length) {
  if (Lines_.empty()) Lines_.reserve(kReserve);
  TVisibleLine Line;
  Line.Text = Text;
  Line.Start = Start;
  Line.Length = Length;
  Lines_.push_back(std::move(Line));
}

void TVisibleLines::Clear() {
  Lines_.clear();
  FirstPos = 0;
  PosAfter = 0;
}

std::string TVisibleLines::GetAttributes(int32_t Index) const {
  const TVisibleLine& L = (*this)[Index];
  std::string A = L.Attrs;
  if (!A.empty() && A.size() < static_cast<size_t>(L.Length)) A.resize(static_cast<size_t>(L.Length), '\0');
  return A;
}

void TVisibleLines::SetAttributes(int32_t Index, const std::string& Attrs) { (*this)[Index].Attrs = Attrs; }

void TVisibleLines::ReplaceAttribute(uint8_t Old, uint8_t New) {
  for (TVisibleLine& L : Lines_) {
    for (char& C : L.Attrs) {
      if (static_cast<uint8_t>(C) == Old) C = static_cast<char>(New);
    }
  }
}
