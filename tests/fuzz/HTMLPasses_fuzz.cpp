// Fuzz target of the HTML-to-text engine: any bytes as a page, converted to UTF-16 and to 8-bit text,
// the links collected. Every link must point into the text made.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/Exception.h"
#include "core/VStream.h"
#include "plugins/impweb/html/HTMLLinks.h"
#include "plugins/impweb/html/HTMLPasses.h"

namespace {

class TLinks : public IHTMLLinks {
 public:
  struct TLink {
    std::u16string URL;
    int32_t Start;
    int32_t Length;
  };
  std::unique_ptr<IHTMLLinks> NewLinks() override { return std::make_unique<TLinks>(); }
  void Assign(IHTMLLinks& Source) override {
    Clear();
    for (int32_t I = 0; I < Source.Count(); ++I) {
      TLink L;
      Source.Get(I, L.URL, L.Start, L.Length);
      Links.push_back(L);
    }
  }
  void Clear() override { Links.clear(); }
  void Add(const std::u16string& URL, int32_t Start, int32_t Length) override {
    Links.push_back({URL, Start, Length});
  }
  int32_t Count() override { return static_cast<int32_t>(Links.size()); }
  bool Get(int32_t Index, std::u16string& URL, int32_t& Start, int32_t& Length) override {
    if (Index < 0 || Index >= Count()) return false;
    URL = Links[Index].URL;
    Start = Links[Index].Start;
    Length = Links[Index].Length;
    return true;
  }
  std::u16string GetText(int32_t Index) override { return Links[Index].URL; }
  std::vector<TLink> Links;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, std::size_t Size) {
  TVReadOnlyMemStream Source(Data, static_cast<int32_t>(Size));
  // UTF-16 output without the Cyrillic guess, and 8-bit output with it (where windows-1251 is tried
  // against windows-1252).
  for (bool Unicode : {true, false}) {
    const bool Cyrillic = !Unicode;
    TLinks Links;
    TVMemStream Dest;
    try {
      Source.Seek(0);
      ConvertHTML(Source, Dest, &Links, Unicode, Cyrillic, nullptr);
    } catch (const Exception&) {
      continue;
    }
    for (const TLinks::TLink& L : Links.Links)
      if (L.Start < 0 || L.Length < 0 || L.Start > Dest.GetSize())
        __builtin_trap();  // a link outside the text
  }
  return 0;
}
