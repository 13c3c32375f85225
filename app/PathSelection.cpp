#include "app/PathSelection.h"

#include <algorithm>

#include "app/Utils.h"
#include "core/StrLst.h"
#include "core/WSSDic.h"

std::u16string NormalizeSelectedPath(const std::u16string& Path) {
  std::u16string P = Path;
  if (P.size() >= 2 && P.compare(P.size() - 2, 2, u"/.") == 0) P.pop_back();
  while (P.size() > 1 && P.back() == u'/') P.pop_back();
  return P;
}

static char16_t FoldCase(char16_t C) { return C >= u'A' && C <= u'Z' ? static_cast<char16_t>(C + 32) : C; }

bool PathDisplayLess(const std::u16string& A, const std::u16string& B) {
  const bool Less =
      std::lexicographical_compare(A.begin(), A.end(), B.begin(), B.end(),
                                   [](char16_t X, char16_t Y) { return FoldCase(X) < FoldCase(Y); });
  const bool Greater =
      std::lexicographical_compare(B.begin(), B.end(), A.begin(), A.end(),
                                   [](char16_t X, char16_t Y) { return FoldCase(X) < FoldCase(Y); });
  if (Less || Greater) return Less;
  return A < B;
}

void TPathSelection::SetPathsText(const std::u16string& Text) {
  TWideStrLst Items;
  SplitQuotedList(Items, Text);
  List_.clear();
  Checked_.clear();
  for (int32_t I = 0; I < Items.GetCount(); ++I) {
    const std::u16string P = NormalizeSelectedPath(Items.Get(I));
    if (!P.empty() && Checked_.insert(P).second) List_.push_back(P);
  }
  if (SortPaths) Sort();
}

std::u16string TPathSelection::PathsText() const {
  TWideStrLst Items;
  for (const auto& P : List_) Items.Add(P);
  return JoinQuotedList(Items);
}

std::u16string TPathSelection::SetText() const {
  TWideStrLst Items;
  for (const auto& P : Checked_) Items.Add(P);
  return JoinQuotedList(Items);
}

bool TPathSelection::Add(const std::u16string& Path) {
  const std::u16string P = NormalizeSelectedPath(Path);
  if (P.empty() || !Checked_.insert(P).second) return false;
  auto Where = List_.end();
  if (SortPaths)
    Where = std::find_if(List_.begin(), List_.end(), [&](const auto& E) { return PathDisplayLess(P, E); });
  List_.insert(Where, P);
  if (OnNodeCheck) OnNodeCheck(P, true);
  return true;
}

bool TPathSelection::Remove(const std::u16string& Path) {
  const std::u16string P = NormalizeSelectedPath(Path);
  if (Checked_.erase(P) == 0) return false;
  List_.erase(std::remove(List_.begin(), List_.end(), P), List_.end());
  if (OnNodeCheck) OnNodeCheck(P, false);
  return true;
}

void TPathSelection::Clear() {
  const std::vector<std::u16string> Old = List_;
  List_.clear();
  Checked_.clear();
  if (OnNodeCheck)
    for (const auto& P : Old) OnNodeCheck(P, false);
}

void TPathSelection::Sort() { std::stable_sort(List_.begin(), List_.end(), PathDisplayLess); }

std::u16string FindSavedSet(const TWideStrStrDic& Sets, const std::u16string& Text) {
  TWideStrLst Keys, Values;
  Sets.GetKeysAndValues(Keys, Values);
  for (int32_t I = 0; I < Keys.GetCount(); ++I)
    if (Values.Get(I) == Text) return Keys.Get(I);
  return {};
}

std::vector<std::u16string> SavedSetNames(const TWideStrStrDic& Sets) {
  TWideStrLst Keys, Values;
  Sets.GetKeysAndValues(Keys, Values);
  std::vector<std::u16string> Names;
  for (int32_t I = 0; I < Keys.GetCount(); ++I) Names.push_back(Keys.Get(I));
  return Names;
}

std::u16string DoubleAmpersands(const std::u16string& Text) {
  std::u16string R;
  for (char16_t C : Text) {
    R += C;
    if (C == u'&') R += u'&';
  }
  return R;
}
