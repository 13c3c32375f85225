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
  Texts.clear();
  Starts.Clear();
  Lengths.Clear();
}

void THTMLLinks::Add(const std::u16string& Text, int32_t Start, int32_t Length) {
  Texts.push_back(Text);
  Starts.Add(Start);
  Lengths.Add(Length);
}

bool THTMLLinks::Get(int32_t Index, std::u16string& Text, int32_t& Start, int32_t& Length) {
  if (Index < 0 || Index >= GetCount()) return false;
  Text = Texts[static_cast<size_t>(Index)];
  Start = Starts.Get(Index);
  Length = Lengths.Get(Index);
  return true;
}

int32_t THTMLLinks::IndexOfStart(int32_t Start) const {
  for (int32_t I = 0; I < GetCount(); ++I) {
    if (Starts.Get(I) == Start) return I;
  }
  return -1;
}
