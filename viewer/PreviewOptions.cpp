#include "viewer/PreviewOptions.h"

#include <algorithm>
#include <climits>

bool ParseIntText(const std::u16string& Text, int32_t& Value) {
  size_t I = 0;
  size_t End = Text.size();
  while (I < End && Text[I] == u' ') ++I;
  while (End > I && Text[End - 1] == u' ') --End;
  bool Negative = false;
  if (I < End && (Text[I] == u'-' || Text[I] == u'+')) Negative = Text[I++] == u'-';
  if (I == End) return false;
  int64_t V = 0;
  for (; I < End; ++I) {
    if (Text[I] < u'0' || Text[I] > u'9') return false;
    V = V * 10 + (Text[I] - u'0');
    if (V > static_cast<int64_t>(INT32_MAX) + 1) return false;
  }
  if (Negative) V = -V;
  if (V < INT32_MIN || V > INT32_MAX) return false;
  Value = static_cast<int32_t>(V);
  return true;
}

bool CommitNumberText(const std::u16string& Text, int32_t Lo, int32_t Hi, uint8_t& Value) {
  int32_t N = 0;
  if (!ParseIntText(Text, N)) return false;
  const uint8_t New = static_cast<uint8_t>(std::clamp(N, Lo, Hi));
  if (New == Value) return false;
  Value = New;
  return true;
}

bool CommitPreviewEdits(TViewOptions& Options, const std::u16string& TabText,
                        const std::u16string& GutterText, int32_t PageIndex) {
  bool Changed = CommitNumberText(TabText, kMinPreviewTabSize, kMaxPreviewTabSize, Options.TabSize);
  Changed =
      CommitNumberText(GutterText, kMinPreviewGutter, kMaxPreviewGutter, Options.GutterWidth) || Changed;
  if (PageIndex >= 0 && PageIndex < kPreviewPageModes && PageIndex != Options.PageMode) {
    Options.PageMode = static_cast<uint8_t>(PageIndex);
    Changed = true;
  }
  return Changed;
}
