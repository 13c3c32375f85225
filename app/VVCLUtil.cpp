#include "app/VVCLUtil.h"

#include <algorithm>

#include "app/IO.h"
#include "app/Utils.h"
#include "core/StrLst.h"
#include "core/StrUtils.h"
#include "core/WinUtils.h"

void ClampToRange(int32_t& Value, int32_t Limit) {
  if (Value > Limit)
    Value = Limit;
  else if (Value < 0)
    Value = 0;
}

void ClampToScreen(int32_t& Left, int32_t& Top, int32_t Width, int32_t Height, int32_t ScreenWidth,
                   int32_t ScreenHeight) {
  ClampToRange(Left, ScreenWidth - Width);
  ClampToRange(Top, ScreenHeight - Height);
}

void FitRectToScreen(TRect32& Rect, int32_t ScreenWidth, int32_t ScreenHeight) {
  int32_t Width =
      std::clamp(Rect.Right - Rect.Left, kMinFitWidth, std::max(kMinFitWidth, ScreenWidth + kFitOversize));
  int32_t Height =
      std::clamp(Rect.Bottom - Rect.Top, kMinFitHeight, std::max(kMinFitHeight, ScreenHeight + kFitOversize));
  int32_t Left = Rect.Left, Top = Rect.Top;
  ClampToScreen(Left, Top, Width, Height, ScreenWidth, ScreenHeight);
  Rect = {Left, Top, Left + Width, Top + Height};
}

int32_t ClampSplitter(int32_t Total, int32_t Minimum, int32_t Reserve, int32_t Value) {
  Value = std::min(Value, Total - Reserve);
  return std::max(Value, Minimum);
}

std::vector<std::u16string> LogicComboItems(bool AllowPhrase, int32_t& Index) {
  std::vector<std::u16string> Items{GetMsgW(TMsgIndex::OrLogic), GetMsgW(TMsgIndex::AndLogic)};
  if (AllowPhrase) Items.push_back(GetMsgW(TMsgIndex::EntirePhrase));
  if (Index < 0 || Index >= static_cast<int32_t>(Items.size())) Index = 0;
  return Items;
}

namespace {

// The walk both validations share: Invalid tells an invalid item, Question is asked once.
bool ValidateList(std::u16string& Text, bool (*Invalid)(const std::u16string&), TMsgIndex Question,
                  bool Masks) {
  TWideStrLst List;
  SplitQuotedList(List, Text);
  bool Asked = false;
  for (int32_t I = 0; I < List.GetCount();) {
    if (!Invalid(List.Get(I))) {
      ++I;
      continue;
    }
    if (!Asked) {
      if (MsgDlgFmt(Question, {List.Get(I)}, 0, mbYes | mbNo, mtError) != mrYes) return false;
      Asked = true;
    }
    List.Delete(I);
  }
  if (Masks) NormalizeMaskList(List);
  Text = JoinQuotedList(List);
  return true;
}

bool IsInvalidMask(const std::u16string& Mask) {
  return Mask.find_first_of(u"\"/:<>\\|") != std::u16string::npos;
}

bool IsInvalidPath(const std::u16string& Path) { return !IsAbsolutePath(Path); }

}  // namespace

bool ValidateMaskList(std::u16string& Text) {
  return ValidateList(Text, IsInvalidMask, TMsgIndex::AskDelInvMasks_s, true);
}

bool ValidatePathList(std::u16string& Text) {
  return ValidateList(Text, IsInvalidPath, TMsgIndex::AskDelInvPaths_s, false);
}

std::u16string NormalizeSizeEditText(const std::u16string& Text) {
  int64_t Value = SizeTextToBytes(Text, suBytes);
  if (Value < 0) return std::u16string();
  std::string Digits = std::to_string(Value);
  return std::u16string(Digits.begin(), Digits.end());
}

std::u16string LinkTarget(const std::u16string& Text, const std::u16string& ProgramDir) {
  if (Text.find(u'@') != std::u16string::npos) return u"mailto:" + Text;
  if (Text.rfind(u"www.", 0) == 0) return u"http://" + Text;
  if (Text.find(u'/') != std::u16string::npos) return Text;
  return ProgramDir + Text;
}

std::string FirstAvailableFont(const std::vector<std::string>& Names,
                               const std::function<bool(const std::string&)>& Installed) {
  for (const auto& Name : Names)
    if (Installed(Name)) return Name;
  return std::string();
}

bool GetFileVersionText(const std::u16string& FileName, std::string& Version, std::string& Build) {
  TVersionInfo Info(FileName);
  if (!Info.Valid) return false;
  Version = Info.GetFileVersionStr();
  Build = Info.GetProductVersionStr();
  return true;
}
