#include "viewer/HTMLLink.h"

std::unique_ptr<IHTMLLinks> THTMLLinks::NewLinks() { return std::make_unique<THTMLLinks>(); }

void THTMLLinks::Assign(IHTMLLinks& Source) {
  if (&Source == this) return;
  Clear();
  std::u16string Text;
  int32_t Start = 0;
  int32_t Length = 0;
  const int32_t N = Source.Count();
  for (int32_t I = 0; I < N; ++I) {
    if (Source.Get(I, Text, Start, Length)) Add(Text, Start, Length);
  }
}

void THTMLLinks::Clear() {
  Texts_.clear();
  Starts_.Clear();
  Lengths_.Clear();
}

void THTMLLinks::Add(const std::u16string& Text, int32_t Start, int32_t Length) {
  Texts_.push_back(Text);
  Starts_.Add(Start);
  Lengths_.Add(Length);
}

bool THTMLLinks::Get(int32_t Index, std::u16string& Text, int32_t& Start, int32_t& Length) {
  if (Index < 0 || Index >= GetCount()) return false;
  Text = Texts_[static_cast<size_t>(Index)];
  Start = Starts_.Get(Index);
  Length = Lengths_.Get(Index);
  return true;
}

int32_t THTMLLinks::IndexOfStart(int32_t Start) const {
  for (int32_t I = 0; I < GetCount(); ++I) {
    if (Starts_.Get(I) == Start) return I;
  }
  return -1;
}
