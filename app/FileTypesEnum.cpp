#include "app/FileTypesEnum.h"

#include <algorithm>
#include <cctype>

#include "app/PathSelection.h"
#include "app/Utils.h"
#include "core/FileLayer.h"
#include "core/StrLst.h"

namespace {

std::string UpperAscii(std::string S) {
  for (char& C : S) C = static_cast<char>(std::toupper(static_cast<unsigned char>(C)));
  return S;
}

// Masks match file names without case, so two masks that differ only in case are one mask.
bool SameMask(const std::u16string& A, const std::u16string& B) {
  auto Fold = [](char16_t C) { return C >= u'A' && C <= u'Z' ? static_cast<char16_t>(C + 32) : C; };
  return A.size() == B.size() && std::equal(A.begin(), A.end(), B.begin(),
                                            [&](char16_t X, char16_t Y) { return Fold(X) == Fold(Y); });
}

void SortMasks(std::vector<std::u16string>& Masks) {
  std::stable_sort(Masks.begin(), Masks.end(), PathDisplayLess);
}

}  // namespace

void TFileTypesEnum::Enumerate() {
  Ready = false;
  List.clear();
  ByExt.clear();
  const std::vector<TFileTypeSource> Types = Source ? Source() : std::vector<TFileTypeSource>();
  for (const TFileTypeSource& T : Types) {
    if (T.Extension.empty()) continue;
    const std::string Ext = UpperAscii(T.Extension);
    const std::string Name = !T.TypeName.empty() ? T.TypeName : T.ClassName;
    if (Name.empty() || ByExt.count(Ext) != 0) continue;
    ByExt[Ext] = List.size();
    List.push_back({Ext, {Name, T.IconIndex}});
  }
  Ready = true;
}

void TFileTypesEnum::WaitReady() {
  if (!Ready) Enumerate();
}

const TFileTypeInfo* TFileTypesEnum::Find(const std::string& Ext) const {
  const auto It = ByExt.find(UpperAscii(Ext));
  return It == ByExt.end() ? nullptr : &List[It->second].Info;
}

void TFileTypesEnum::Sort(int32_t Column, bool Descending) {
  std::stable_sort(List.begin(), List.end(), [&](const TEntry& A, const TEntry& B) {
    const std::string& X = Column == 2 ? A.Info.TypeName : A.Extension;
    const std::string& Y = Column == 2 ? B.Info.TypeName : B.Extension;
    return Descending ? Y < X : X < Y;
  });
  for (size_t i = 0; i < List.size(); ++i) ByExt[List[i].Extension] = i;
}

TFileTypesEnum& FileTypes() {
  static TFileTypesEnum Types;
  return Types;
}

std::string MaskExtension(const std::u16string& Mask) {
  if (Mask.size() < 3 || Mask.compare(0, 2, u"*.") != 0) return {};
  const std::u16string Ext = Mask.substr(2);
  if (Ext.find_first_of(u"*?") != std::u16string::npos) return {};
  return UpperAscii(Utf16ToUtf8(Ext));
}

void TFileTypeSelection::SetMasks(const TWideStrLst& Masks) {
  TWideStrLst Copy;
  for (int32_t i = 0; i < Masks.GetCount(); ++i) Copy.Add(Masks.Get(i));
  NormalizeMaskList(Copy);
  Selected.clear();
  AllTypes = Copy.GetCount() == 0;
  for (int32_t i = 0; i < Copy.GetCount(); ++i) {
    if (Copy.Get(i) == u"*.*") AllTypes = true;
    Selected.push_back(Copy.Get(i));
  }
  SortMasks(Selected);
}

void TFileTypeSelection::ChooseSelected() {
  AllTypes = false;
  Selected.erase(std::remove(Selected.begin(), Selected.end(), u"*.*"), Selected.end());
}

void TFileTypeSelection::AddMask(const std::u16string& MaskOrExt) {
  std::u16string Mask = MaskOrExt.find(u'.') == std::u16string::npos ? u"*." + MaskOrExt : MaskOrExt;
  for (const auto& M : Selected)
    if (SameMask(M, Mask)) return;
  Selected.insert(std::upper_bound(Selected.begin(), Selected.end(), Mask, PathDisplayLess), Mask);
}

bool TFileTypeSelection::RemoveMask(const std::u16string& Mask) {
  const auto It = std::find(Selected.begin(), Selected.end(), Mask);
  if (It == Selected.end()) return false;
  Selected.erase(It);
  return true;
}

bool TFileTypeSelection::IsTypeSelected(const std::string& Ext) const {
  const std::string Upper = UpperAscii(Ext);
  for (const auto& M : Selected)
    if (MaskExtension(M) == Upper) return true;
  return false;
}

std::u16string TFileTypeSelection::MasksText() const {
  if (AllTypes) return u"*.*";
  TWideStrLst Items;
  for (const auto& M : Selected) Items.Add(M);
  return JoinQuotedList(Items);
}

std::vector<TSelectedTypeRow> TFileTypeSelection::Rows(const TFileTypesEnum& Types) const {
  std::vector<TSelectedTypeRow> Rows;
  for (const auto& M : Selected) {
    const std::string Ext = MaskExtension(M);
    const TFileTypeInfo* Info = Ext.empty() ? nullptr : Types.Find(Ext);
    if (Info != nullptr)
      Rows.push_back({Utf8ToUtf16(Ext), Utf8ToUtf16(Info->TypeName), M});
    else
      Rows.push_back({M, u"Unknown", M});
  }
  std::stable_sort(Rows.begin(), Rows.end(),
                   [](const auto& A, const auto& B) { return PathDisplayLess(A.Display, B.Display); });
  return Rows;
}

void TMaskEditList::SetText(const std::u16string& Text) {
  TWideStrLst Items;
  SplitQuotedList(Items, Text);
  Masks.clear();
  for (int32_t i = 0; i < Items.GetCount(); ++i) Masks.push_back(Items.Get(i));
  SortMasks(Masks);
}

std::u16string TMaskEditList::Text() const {
  TWideStrLst Items;
  for (const auto& M : Masks) Items.Add(M);
  return JoinQuotedList(Items);
}

int32_t TMaskEditList::PutMask(const std::u16string& Typed, int32_t EditedIndex,
                               const std::function<bool()>& ConfirmAnyFile) {
  std::u16string Mask = Typed;
  NormalizeMask(Mask);
  if (Mask.empty()) return -1;
  if (Mask == u"*.*" && !(ConfirmAnyFile && ConfirmAnyFile())) return -1;
  if (EditedIndex >= 0 && EditedIndex < static_cast<int32_t>(Masks.size()))
    Masks.erase(Masks.begin() + EditedIndex);
  for (size_t i = 0; i < Masks.size(); ++i)
    if (SameMask(Masks[i], Mask)) {
      Masks[i] = Mask;
      return static_cast<int32_t>(i);
    }
  const auto It = Masks.insert(std::upper_bound(Masks.begin(), Masks.end(), Mask, PathDisplayLess), Mask);
  return static_cast<int32_t>(It - Masks.begin());
}

void TMaskEditList::Delete(int32_t Index) {
  if (Index >= 0 && Index < static_cast<int32_t>(Masks.size())) Masks.erase(Masks.begin() + Index);
}
