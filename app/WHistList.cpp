#include "app/WHistList.h"

#include <algorithm>

#include "app/Options.h"
#include "core/WideStrings.h"
#include "core/WinUtils.h"

void AddToHistory(TWideStrings& Items, const std::u16string& Text, bool CaseSensitive) {
  if (Text.empty()) return;
  int32_t Found = -1;
  if (CaseSensitive) {
    for (int32_t I = 0; I < Items.GetCount() && Found < 0; ++I)
      if (Items.Get(I) == Text) Found = I;
  } else {
    Found = Items.IndexOf(Text);
  }
  if (Found >= 0)
    Items.Delete(Found);
  else if (Items.GetCount() >= kMaxHistoryItems)
    Items.Delete(Items.GetCount() - 1);
  Items.Insert(0, Text);
}

void LoadHistory(const std::string& KeyPath, const std::string& ValueName, TWideStrings& Items) {
  TRegKey Key;
  TRegValue Value;
  std::string Path = KeyPath;
  const TRegRoot Root = ParseRegRoot(Path);
  if (RegStore().OpenKey(Root, Path, false, Key) != TRegStatus::Ok ||
      RegStore().ReadValue(Key, ValueName, Value) != TRegStatus::Ok) {
    Items.Clear();
    return;
  }
  size_t Bytes = std::min<size_t>(Value.Data.size(), kMaxHistoryBytes) & ~size_t{1};
  std::u16string Text;
  for (size_t I = 0; I < Bytes; I += 2) {
    const char16_t Unit = static_cast<char16_t>(static_cast<uint8_t>(Value.Data[I]) |
                                                static_cast<uint8_t>(Value.Data[I + 1]) << 8);
    if (Unit == 0) break;
    Text += Unit;
  }
  Items.SetCommaText(Text);
}

bool SaveHistory(const std::string& KeyPath, const std::string& ValueName, const TWideStrings& Items) {
  const std::u16string Text = Items.GetCommaText();
  std::string Bytes;
  Bytes.reserve(Text.size() * 2);
  for (char16_t Unit : Text) {
    Bytes += static_cast<char>(Unit & 0xFF);
    Bytes += static_cast<char>(Unit >> 8);
  }
  return RegWriteValue(KeyPath, ValueName, Bytes.data(), static_cast<uint32_t>(Bytes.size()), REG_BINARY);
}

void LoadComboHistory(TWideStrings& Items, const std::u16string& Text, const std::string& ValueName) {
  LoadHistory(kProgramRegKey, ValueName, Items);
  if (Items.GetCount() == 0 && !Text.empty()) Items.Add(Text);
}

bool SaveComboHistory(TWideStrings& Items, std::u16string& Text, const std::string& ValueName,
                      bool CaseSensitive) {
  const std::u16string Current = Text;
  AddToHistory(Items, Current, CaseSensitive);
  Text = Current;  // a box may clear its text while its items change
  return SaveHistory(kProgramRegKey, ValueName, Items);
}
