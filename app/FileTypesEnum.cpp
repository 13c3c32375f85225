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
  List_.clear();
  ByExt_.clear();
  const std::vector<TFileTypeSource> Types = Source ? Source() : std::vector<TFileTypeSource>();
  for (const TFileTypeSource& T : Types) {
    if (T.Extension.empty()) continue;
    const std::string Ext = UpperAscii(T.Extension);
    const std::string Name = !T.TypeName.empty() ? T.TypeName : T.ClassName;
    if (Name.empty() || ByExt_.count(Ext) != 0) continue;
    ByExt_[Ext] = List_.size();
    List_.push_back({Ext, {Name, T.IconIndex}});
  }
  Ready = true;
}

void TFileTypesEnum::WaitReady() {
  if (!Ready) Enumerate();
}

const TFileTypeInfo* TFileTypesEnum::Find(const std::string& Ext) const {
  const auto It = ByExt_.find(UpperAscii(Ext));
  return It == ByExt_.end() ? nullptr : &List_[It->second].Info;
}

void TFileTypesEnum::Sort(int32_t Column, bool Descending) {
  std::stable_sort(List_.begin(), List_.end(), [&](const TEntry& A, const TEntry& B) {
    const std::string& X = Column == 2 ? A.Info.TypeName : A.Extension;
    const std::string& Y = Column == 2 ? B.Info.TypeName : B.Extension;
    return Descending ? Y < X : X < Y;
  });
  for (size_t I = 0; I < List_.size(); ++I) ByExt_[List_[I].Extension] = I;
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
  for (int32_t I = 0; I < Masks.GetCount(); ++I) Copy.Add(Masks.Get(I));
  NormalizeMaskList(Copy);
  Selected_.clear();
  AllTypes = Copy.GetCount() == 0;
  for (int32_t I = 0; I < Copy.GetCount(); ++I) {
    if (Copy.Get(I) == u"*.*") AllTypes = true;
    Selected_.push_back(Copy.Get(I));
  }
  SortMasks(Selected_);
}

void TFileTypeSelection::ChooseSelected() {
  AllTypes = false;
  Selected_.erase(std::remove(Selected_.begin(), Selected_.end(), u"*.*"), Selected_.end());
}

void TFileTypeSelection::AddMask(const std::u16string& MaskOrExt) {
  std::u16string Mask = MaskOrExt.find(u'.') == std::u16string::npos ? u"*." + MaskOrExt : MaskOrExt;
  for (const auto& M : Selected_)
    if (SameMask(M, Mask)) return;
  Selected_.insert(std::upper_bound(Selected_.begin(), Selected_.end(), Mask, PathDisplayLess), Mask);
}

bool TFileTypeSelection::RemoveMask(const std::u16string& Mask) {
  const auto It = std::find(Selected_.begin(), Selected_.end(), Mask);
  if (It == Selected_.end()) return false;
  Selected_.erase(It);
  return true;
}

bool TFileTypeSelection::IsTypeSelected(const std::string& Ext) const {
  const std::string Upper = UpperAscii(Ext);
  for (const auto& M : Selected_)
    if (MaskExtension(M) == Upper) return true;
  return false;
}

std::u16string TFileTypeSelection::MasksText() const {
  if (AllTypes) return u"*.*";
  TWideStrLst Items;
  for (const auto& M : Selected_) Items.Add(M);
  return JoinQuotedList(Items);
}

std::vector<TSelectedTypeRow> TFileTypeSelection::Rows(const TFileTypesEnum& Types) const {
  std::vector<TSelectedTypeRow> Rows;
  for (const auto& M : Selected_) {
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
  Masks_.clear();
  for (int32_t I = 0; I < Items.GetCount(); ++I) Masks_.push_back(Items.Get(I));
  SortMasks(Masks_);
}

std::u16string TMaskEditList::Text() const {
  TWideStrLst Items;
  for (const auto& M : Masks_) Items.Add(M);
  return JoinQuotedList(Items);
}

int32_t TMaskEditList::PutMask(const std::u16string& Typed, int32_t EditedIndex,
                               const std::function<bool()>& ConfirmAnyFile) {
  std::u16string Mask = Typed;
  NormalizeMask(Mask);
  if (Mask.empty()) return -1;
  if (Mask == u"*.*" && !(ConfirmAnyFile && ConfirmAnyFile())) return -1;
  if (EditedIndex >= 0 && EditedIndex < static_cast<int32_t>(Masks_.size()))
    Masks_.erase(Masks_.begin() + EditedIndex);
  for (size_t I = 0; I < Masks_.size(); ++I)
    if (SameMask(Masks_[I], Mask)) {
      Masks_[I] = Mask;
      return static_cast<int32_t>(I);
    }
  const auto It = Masks_.insert(std::upper_bound(Masks_.begin(), Masks_.end(), Mask, PathDisplayLess), Mask);
  return static_cast<int32_t>(It - Masks_.begin());
}

void TMaskEditList::Delete(int32_t Index) {
  if (Index >= 0 && Index < static_cast<int32_t>(Masks_.size())) Masks_.erase(Masks_.begin() + Index);
}
