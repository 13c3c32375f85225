#include "core/StringList.h"

#include <algorithm>

#include "core/StrLst.h"
#include "core/StrUtils.h"

const std::string& TStringList::Get(int32_t Index) const {
  CheckIndex(Index, GetCount());
  return Items_[static_cast<size_t>(Index)].first;
}

void TStringList::Put(int32_t Index, const std::string& S) {
  if (Sorted_) throw EStringListError("Operation not allowed on sorted list");
  CheckIndex(Index, GetCount());
  Changing();
  Items_[static_cast<size_t>(Index)].first = S;
  Changed();
}

void* TStringList::GetObject(int32_t Index) const {
  CheckIndex(Index, GetCount());
  return Items_[static_cast<size_t>(Index)].second;
}

void TStringList::PutObject(int32_t Index, void* Obj) {
  CheckIndex(Index, GetCount());
  Changing();
  Items_[static_cast<size_t>(Index)].second = Obj;
  Changed();
}

int32_t TStringList::AddObject(const std::string& S, void* Obj) {
  int32_t Index = GetCount();
  if (Sorted_ && Find(S, Index)) {
    if (Duplicates == TDuplicates::dupIgnore) return Index;
    if (Duplicates == TDuplicates::dupError) throw EStringListError("String list does not allow duplicates");
  }
  Changing();
  Items_.insert(Items_.begin() + Index, {S, Obj});
  Changed();
  return Index;
}

void TStringList::InsertObject(int32_t Index, const std::string& S, void* Obj) {
  if (Sorted_) throw EStringListError("Operation not allowed on sorted list");
  CheckIndex(Index, GetCount() + 1);
  Changing();
  Items_.insert(Items_.begin() + Index, {S, Obj});
  Changed();
}

void TStringList::Delete(int32_t Index) {
  CheckIndex(Index, GetCount());
  Changing();
  Items_.erase(Items_.begin() + Index);
  Changed();
}

void TStringList::Clear() {
  if (Items_.empty()) return;
  Changing();
  Items_.clear();
  Changed();
}

void TStringList::Exchange(int32_t Index1, int32_t Index2) {
  CheckIndex(Index1, GetCount());
  CheckIndex(Index2, GetCount());
  Changing();
  std::swap(Items_[static_cast<size_t>(Index1)], Items_[static_cast<size_t>(Index2)]);
  Changed();
}

bool TStringList::Find(const std::string& S, int32_t& Index) const {
  bool Found = false;
  int32_t L = 0;
  int32_t H = GetCount() - 1;
  while (L <= H) {
    const int32_t I = L + (H - L) / 2;
    const int C = CompareStrings(Items_[static_cast<size_t>(I)].first, S);
    if (C < 0) {
      L = I + 1;
    } else {
      H = I - 1;
      if (C == 0) {
        Found = true;
        if (Duplicates != TDuplicates::dupAccept) L = I;
      }
    }
  }
  Index = L;
  return Found;
}

int32_t TStringList::IndexOf(const std::string& S) const {
  if (Sorted_) {
    int32_t Index;
    return Find(S, Index) ? Index : -1;
  }
  for (int32_t I = 0; I < GetCount(); ++I) {
    if (CompareStrings(Items_[static_cast<size_t>(I)].first, S) == 0) return I;
  }
  return -1;
}

void TStringList::Sort() {
  if (Sorted_ || GetCount() < 2) return;
  Changing();
  QuickSort(0, GetCount() - 1);
  Changed();
}

void TStringList::SetSorted(bool Value) {
  if (Value == Sorted_) return;
  if (Value) Sort();
  Sorted_ = Value;
}

int TStringList::CompareStrings(const std::string& S1, const std::string& S2) const {
  return AnsiCompareText(S1, S2);
}

void TStringList::QuickSort(int32_t L, int32_t R) {
  int32_t I;
  do {
    I = L;
    int32_t J = R;
    // The pivot is a copy: items move while the range is partitioned.
    const std::string Pivot = Items_[static_cast<size_t>(L + (R - L) / 2)].first;
    do {
      while (CompareStrings(Items_[static_cast<size_t>(I)].first, Pivot) < 0) ++I;
      while (CompareStrings(Items_[static_cast<size_t>(J)].first, Pivot) > 0) --J;
      if (I <= J) {
        std::swap(Items_[static_cast<size_t>(I)], Items_[static_cast<size_t>(J)]);
        ++I;
        --J;
      }
    } while (I <= J);
    if (L < J) QuickSort(L, J);
    L = I;
  } while (I < R);
}

void TStringList::Changing() {
  if (OnChanging) OnChanging(*this);
}

void TStringList::Changed() {
  if (OnChange) OnChange(*this);
}

void TStringList::CheckIndex(int32_t Index, int32_t Limit) const {
  if (Index < 0 || Index >= Limit)
    throw EStringListError(FormatIfPercent("List index out of bounds (%d)", {Index}));
}

int TCSStringList::CompareStrings(const std::string& S1, const std::string& S2) const {
  return CompareStr(S1, S2);
}

int CompareStr(const std::string& S1, const std::string& S2) {
  // std::string compares through char_traits<char>, which orders by unsigned byte values.
  const int C = S1.compare(S2);
  return C < 0 ? -1 : (C > 0 ? 1 : 0);
}

void FreeListItems(std::vector<TObject*>* List) {
  if (List == nullptr) return;
  for (TObject* Obj : *List) delete Obj;
}

bool StringsEqual(const TStringList* A, const TStringList* B, bool WithObjects) {
  if (A == B) return true;
  if (A == nullptr || B == nullptr || A->GetCount() != B->GetCount()) return false;
  for (int32_t I = 0; I < A->GetCount(); ++I) {
    if (A->Get(I) != B->Get(I)) return false;
    if (WithObjects && A->GetObject(I) != B->GetObject(I)) return false;
  }
  return true;
}
