// TStringList: the plain list of 8-bit strings with attached objects that the windows and the UTF-16 list
// base (TWideStrings) exchange items with; sorted or not, compared without case by the Windows code
// page's collation. TCSStringList compares with case, by byte order. Beside them, two small routines
// over such lists.
//
// Objects are untyped pointers that the list does not own. Indexes are checked: a bad one raises
// EStringListError "List index out of bounds (%d)". A list is used by one thread at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/Exception.h"

class TObject;

class EStringListError : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const noexcept override { return "EStringListError"; }
};

// What a sorted list does with a string it holds already.
enum class TDuplicates : uint8_t { dupIgnore, dupAccept, dupError };

class TStringList {
 public:
  TStringList() = default;
  virtual ~TStringList() = default;

  int32_t GetCount() const { return static_cast<int32_t>(Items_.size()); }
  const std::string& Get(int32_t Index) const;
  void Put(int32_t Index, const std::string& S);
  void* GetObject(int32_t Index) const;
  void PutObject(int32_t Index, void* Obj);

  // Appends, or in a sorted list inserts at the place Find gives (a string the list holds already is
  // ignored, accepted or refused after Duplicates). Answers the index.
  int32_t Add(const std::string& S) { return AddObject(S, nullptr); }
  int32_t AddObject(const std::string& S, void* Obj);
  // Not in a sorted list ("Operation not allowed on sorted list").
  void Insert(int32_t Index, const std::string& S) { InsertObject(Index, S, nullptr); }
  void InsertObject(int32_t Index, const std::string& S, void* Obj);
  void Delete(int32_t Index);
  void Clear();
  void Exchange(int32_t Index1, int32_t Index2);

  // Halving search of the sorted list: true with Index at an equal item (the leftmost one when
  // duplicates are accepted), false with Index at the insertion point.
  virtual bool Find(const std::string& S, int32_t& Index) const;
  // Find in a sorted list, else the first equal item; -1 when none.
  virtual int32_t IndexOf(const std::string& S) const;
  // Sorts a list that is not kept sorted (2 items or more), with change notification.
  virtual void Sort();

  bool GetSorted() const { return Sorted_; }
  // Turning sorting on sorts the list.
  void SetSorted(bool Value);
  TDuplicates Duplicates = TDuplicates::dupIgnore;

  // Called before and after every change of the items.
  std::function<void(TStringList& Sender)> OnChanging;
  std::function<void(TStringList& Sender)> OnChange;

 protected:
  // The comparison of Find, IndexOf and Sort: AnsiCompareText.
  virtual int CompareStrings(const std::string& S1, const std::string& S2) const;
  // Quicksort of L..R with the middle item as pivot; strings move with their objects.
  void QuickSort(int32_t L, int32_t R);
  void Changing();
  void Changed();
  void CheckIndex(int32_t Index, int32_t Limit) const;

  std::vector<std::pair<std::string, void*>> Items_;
  bool Sorted_ = false;
};

// Find, IndexOf and Sort with the case-sensitive byte comparison CompareStr.
class TCSStringList : public TStringList {
 protected:
  int CompareStrings(const std::string& S1, const std::string& S2) const override;
};

// Ordinal comparison of two 8-bit strings by unsigned byte values: negative, 0 or positive.
int CompareStr(const std::string& S1, const std::string& S2);

// Deletes every object of List; nothing for a null list. The pointers stay in the list.
void FreeListItems(std::vector<TObject*>* List);

// True for the same list; false when either is null or the counts differ; else whether every string is
// equal (with case) and, with WithObjects, every object too.
bool StringsEqual(const TStringList* A, const TStringList* B, bool WithObjects);
