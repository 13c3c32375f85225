// The list classes of the core library, all on the pointer-sized raw-storage vector:
//   TPointerVector       a growable array of pointers (owns nothing but its array)
//   TAutoFreeClassList   the same, owning its objects (deleted with the list)
//   TStrLst              8-bit strings, compared without case (TCaseSensStrLst: with case)
//   TWideStrLst          UTF-16 strings held compactly, compared without case (TWinSortWideStrLst: by the
//                        system's collation; TCaseSensWideStrLst: with case)
// The string lists own their strings. Every sort (the quicksort of the vector base) and every lookup of a
// list use the one comparison of its class, so a list sorted with Sort is searched with Find correctly.
//
// Stream format of the string lists (no element-size field, unlike the other vectors):
//   Int32 Count, then Count strings: WriteString (8-bit: Int32 byte count, bytes) or WriteWideString
//   (UTF-16: Int32 unit count, UTF-16LE units).
//
// No operation checks an index against the count: callers keep indexes in 0..Count - 1. A list is used by
// one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/StrUtils.h"
#include "core/Vector.h"

// The root of the objects that a pointer vector may own or free (TAutoFreeClassList, FreeItems).
class TObject {
 public:
  virtual ~TObject() = default;
};

// 8-bit text of the Windows code page compared by collation, without case (Text) or with case (Str):
// negative, 0 or positive. Both orders are total: 0 only for texts equal after upper-casing (Text) or
// identical (Str).
int AnsiCompareText(const std::string& S1, const std::string& S2);
int AnsiCompareStr(const std::string& S1, const std::string& S2);

class TPointerVector : public TBase64Vector {
 public:
  TPointerVector() = default;
  const char* ClassName() const override { return "TPointerVector"; }

  // New slots are null.
  void InitMemory(int32_t ByteOffset, int32_t N) override;
  // Raw pointers are never persisted: "Method not applicable".
  void WriteToStream(TVStream& Stream) const override;
  void ReadFromStream(TVStream& Stream) override;
  // Only from another TPointerVector ("Assign error" otherwise); the pointers are copied.
  void Assign(const TVector& Source) override;
  // The element and the pointer in Value compared as signed numbers: -1, 0 or 1.
  int Compare(int32_t Index, const void* Value) const override;
  void Exchange(int32_t Index1, int32_t Index2) override;

  // A new, empty list of the same kind.
  virtual std::unique_ptr<TPointerVector> CreateCompatible() const;
  // Element Index takes the item held in Buf, a buffer filled by GetItemTo (string lists: a copy of the
  // string that item holds).
  virtual void PutItemFrom(int32_t Index, const void* Buf);
  // Every element becomes null (string lists: empty).
  virtual void SetToDefault();
  // Appends Source's elements (string lists: copies of its strings).
  virtual void Concat(const TPointerVector& Source);

  void* Get(int32_t Index) const { return reinterpret_cast<void* const*>(Data_)[Index]; }
  void Put(int32_t Index, void* Item) { reinterpret_cast<void**>(Data_)[Index] = Item; }
  void Insert(int32_t Index, void* Item);
  int32_t Add(void* Item);
  // First index >= StartIndex holding Item, or -1.
  int32_t IndexFrom(int32_t StartIndex, const void* Item) const;
  int32_t IndexOf(const void* Item) const { return IndexFrom(0, Item); }
  // The last element, removed. Count must be above 0.
  void* Pop();
  // Deletes every element as a TObject (null elements allowed). The pointers stay in the vector and
  // dangle: clear or destroy it next.
  void FreeItems();
};

// A pointer vector that owns TObject elements: they are deleted with the list. Deleting or replacing an
// element does not delete its object.
class TAutoFreeClassList : public TPointerVector {
 public:
  ~TAutoFreeClassList() override;
  const char* ClassName() const override { return "TAutoFreeClassList"; }
  std::unique_ptr<TPointerVector> CreateCompatible() const override;
};

class TStrLst : public TPointerVector {
 public:
  TStrLst() = default;
  ~TStrLst() override;
  const char* ClassName() const override { return "TStrLst"; }

  // The class's comparison (no instance data): AnsiCompareText.
  virtual int CompareStrings(const std::string& S1, const std::string& S2) const;
  virtual void Insert(int32_t Index, const std::string& S);
  virtual int32_t Add(const std::string& S);
  // Nothing when equal; else the string moves from CurIndex to NewIndex.
  virtual void Move(int32_t CurIndex, int32_t NewIndex);
  // First index >= StartIndex whose string compares equal to S, else -1.
  virtual int32_t IndexFrom(int32_t StartIndex, const std::string& S) const;
  // Last index <= StartIndex (at most Count - 1) whose string compares equal to S, else -1.
  virtual int32_t LastIndexFrom(int32_t StartIndex, const std::string& S) const;

  // The string at Index; valid until the element changes.
  const std::string& Get(int32_t Index) const;
  void Put(int32_t Index, const std::string& S);
  int32_t IndexOf(const std::string& S) const { return IndexFrom(0, S); }
  // Every element from Index on becomes empty.
  void ReleaseFrom(int32_t Index);
  // Halving search of the range L..R, which must be sorted with this class's comparison. True when an
  // equal element was met (Index: that element, not necessarily the leftmost of several equal ones);
  // false with Index at the insertion point.
  bool FindInRange(const std::string& S, int32_t L, int32_t R, int32_t& Index) const;
  bool Find(const std::string& S, int32_t& Index) const { return FindInRange(S, 0, Count_ - 1, Index); }
  int32_t IndexOfSortedRange(const std::string& S, int32_t L, int32_t R) const;
  int32_t SortedIndexOf(const std::string& S) const { return IndexOfSortedRange(S, 0, Count_ - 1); }
  // The last string, removed. Count must be above 0.
  std::string Pop();
  // The items joined with Delimiter; an item holding Delimiter or a character of SpecialChars is always
  // quoted, any other when it is not a plain token. Double or single quotes.
  std::string GetDelimitedText(bool DoubleQuote, char Delimiter, const TCharSet& SpecialChars) const;

  // Vector operations that release the strings they drop, copy the strings they copy, and compare with
  // the class's comparison.
  void SetCount(int32_t N) override;
  void Delete(int32_t Index) override;
  void DeleteRange(int32_t Index, int32_t N) override;
  void Clear() override;
  // Source must be a TStrLst (or descendant), else "Assign error".
  void Assign(const TVector& Source) override;
  void CopyRange(int32_t DestIndex, const TVector& Source, int32_t FromIndex, int32_t ToIndex) override;
  // Source must be a TStrLst, else "Incompatible classes"; equal counts and every pair equal under this
  // list's comparison.
  bool EqualTo(const TVector& Vector) const override;
  void WriteToStream(TVStream& Stream) const override;
  // Clears the list, then adds each stored string; a stream that ends early raises "Read after end error"
  // and keeps the strings read so far.
  void ReadFromStream(TVStream& Stream) override;
  int Compare(int32_t Index, const void* Value) const override;
  std::unique_ptr<TPointerVector> CreateCompatible() const override;
  void PutItemFrom(int32_t Index, const void* Buf) override;
  void SetToDefault() override;
  void Concat(const TPointerVector& Source) override;

 private:
  std::string* Item(int32_t Index) const { return static_cast<std::string*>(TPointerVector::Get(Index)); }
};

class TCaseSensStrLst : public TStrLst {
 public:
  const char* ClassName() const override { return "TCaseSensStrLst"; }
  // AnsiCompareStr.
  int CompareStrings(const std::string& S1, const std::string& S2) const override;
  std::unique_ptr<TPointerVector> CreateCompatible() const override;
};

// One element of a TWideStrLst, as held in the vector:
//   0                      the empty string
//   std::string*, bit 0 0  a string whose every unit is 127 or below, one byte per unit
//   std::u16string*, bit 0 set (clear it to get the pointer)  any other string, its UTF-16 units
// Heap blocks are at least 8-byte aligned, so bit 0 is free for the tag.
using TWideStrItem = uintptr_t;
// Decodes one element value.
void DecodeWideStrItem(TWideStrItem Item, std::u16string& S);

class TWideStrLst : public TPointerVector {
 public:
  TWideStrLst() = default;
  ~TWideStrLst() override;
  const char* ClassName() const override { return "TWideStrLst"; }

  // Count := Source's count; each 8-bit string widened with the system Windows code page.
  virtual void AssignStrLst(const TStrLst& Source);
  // The class's comparison of two runs of UTF-16 units (no instance data): qvnls CompareTextBufWide.
  virtual int CompareStrBuf(const char16_t* P1, const char16_t* P2, int32_t Len1, int32_t Len2) const;
  virtual void Insert(int32_t Index, const std::u16string& S);
  virtual int32_t Add(const std::u16string& S);
  virtual void Move(int32_t CurIndex, int32_t NewIndex);
  virtual int32_t IndexFrom(int32_t StartIndex, const std::u16string& S) const;
  virtual int32_t LastIndexFrom(int32_t StartIndex, const std::u16string& S) const;

  // CompareStrBuf over both strings: the list's comparison.
  int CompareStrings(const std::u16string& S1, const std::u16string& S2) const;
  std::u16string Get(int32_t Index) const;
  void Put(int32_t Index, const std::u16string& S);
  int32_t IndexOf(const std::u16string& S) const { return IndexFrom(0, S); }
  // IndexOf, and the element deleted when found; the index or -1.
  int32_t Remove(const std::u16string& S);
  void ReleaseFrom(int32_t Index);
  bool FindInRange(const std::u16string& S, int32_t L, int32_t R, int32_t& Index) const;
  bool Find(const std::u16string& S, int32_t& Index) const { return FindInRange(S, 0, Count_ - 1, Index); }
  int32_t IndexOfSortedRange(const std::u16string& S, int32_t L, int32_t R) const;
  int32_t SortedIndexOf(const std::u16string& S) const { return IndexOfSortedRange(S, 0, Count_ - 1); }
  std::u16string Pop();
  // As TStrLst::GetDelimitedText; the set test is made on the item in the system Windows code page.
  std::u16string GetDelimitedText(bool DoubleQuote, char Delimiter, const TCharSet& SpecialChars) const;
  // Clears the list and fills it from S, split at the Separators (units below 256 only) outside
  // QuoteChar quotes; each piece loses a pair of quotes around it (WideUnquoteStr). Empty pieces are
  // kept only with KeepEmpty.
  void SetDelimitedText(const std::u16string& S, char QuoteChar, const TCharSet& Separators, bool KeepEmpty);

  void SetCount(int32_t N) override;
  void Delete(int32_t Index) override;
  void DeleteRange(int32_t Index, int32_t N) override;
  void Clear() override;
  // Source must be a TWideStrLst (or descendant), else "Assign error".
  void Assign(const TVector& Source) override;
  void CopyRange(int32_t DestIndex, const TVector& Source, int32_t FromIndex, int32_t ToIndex) override;
  // Source must be a TWideStrLst, else "Incompatible classes".
  bool EqualTo(const TVector& Vector) const override;
  void WriteToStream(TVStream& Stream) const override;
  void ReadFromStream(TVStream& Stream) override;
  // Two raw UTF-16 elements are compared in place; otherwise both are decoded first.
  int Compare(int32_t Index, const void* Value) const override;
  std::unique_ptr<TPointerVector> CreateCompatible() const override;
  void PutItemFrom(int32_t Index, const void* Buf) override;
  void SetToDefault() override;
  void Concat(const TPointerVector& Source) override;

 private:
  TWideStrItem Item(int32_t Index) const { return reinterpret_cast<const TWideStrItem*>(Data_)[Index]; }
  void SetItem(int32_t Index, TWideStrItem V) { reinterpret_cast<TWideStrItem*>(Data_)[Index] = V; }
};

// Sorted and searched by the system's collation without case (CompareStringW with the user's locale and
// NORM_IGNORECASE).
class TWinSortWideStrLst : public TWideStrLst {
 public:
  const char* ClassName() const override { return "TWinSortWideStrLst"; }
  int CompareStrBuf(const char16_t* P1, const char16_t* P2, int32_t Len1, int32_t Len2) const override;
  std::unique_ptr<TPointerVector> CreateCompatible() const override;
};

// Compared with case: qvnls CompareStrBufWide.
class TCaseSensWideStrLst : public TWideStrLst {
 public:
  const char* ClassName() const override { return "TCaseSensWideStrLst"; }
  int CompareStrBuf(const char16_t* P1, const char16_t* P2, int32_t Len1, int32_t Len2) const override;
  std::unique_ptr<TPointerVector> CreateCompatible() const override;
};
