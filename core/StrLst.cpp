#include "core/StrLst.h"

#include <algorithm>
#include <cstring>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/VStream.h"
#include "platform/qvnls/Qvnls.h"
#include "platform/qvnls/WinNls.h"

namespace {

const std::string kEmptyString;

// 8-bit text of the system Windows code page (qvnls charset 0) as UTF-16.
std::u16string AnsiToWideSys(const std::string& S) {
  if (S.empty()) return {};
  std::u16string W(S.size(), u'\0');
  const int32_t Bytes = static_cast<int32_t>(S.size());
  const int32_t Written = qvnls::BufToWide(S.data(), Bytes, W.data(), 2 * Bytes, qvnls::kCharsetNone);
  W.resize(Written < 0 ? 0 : static_cast<size_t>(Written) / 2);
  return W;
}

// UTF-16 in the system Windows code page; a character the page cannot hold becomes a zero byte.
std::string WideToAnsiSys(const std::u16string& W) {
  if (W.empty()) return {};
  std::string S(W.size(), '\0');
  const int32_t Chars = static_cast<int32_t>(W.size());
  const int32_t Written = qvnls::WideToBuf(W.data(), 2 * Chars, S.data(), Chars, qvnls::kCharsetNone);
  S.resize(Written < 0 ? 0 : static_cast<size_t>(Written));
  return S;
}

int Sign(int32_t V) { return V < 0 ? -1 : (V > 0 ? 1 : 0); }

// --- Elements of the wide list ------------------------------------------------------------------------

constexpr TWideStrItem kRawTag = 1;

bool IsAsciiText(const std::u16string& S) {
  return std::all_of(S.begin(), S.end(), [](char16_t C) { return C <= 127; });
}

TWideStrItem MakeWideItem(const std::u16string& S) {
  if (S.empty()) return 0;
  if (IsAsciiText(S)) return reinterpret_cast<TWideStrItem>(new std::string(S.begin(), S.end()));
  return reinterpret_cast<TWideStrItem>(new std::u16string(S)) | kRawTag;
}

void FreeWideItem(TWideStrItem V) {
  if (V == 0) return;
  if (V & kRawTag) {
    delete reinterpret_cast<std::u16string*>(V & ~kRawTag);
  } else {
    delete reinterpret_cast<std::string*>(V);
  }
}

const std::u16string* RawWide(TWideStrItem V) {
  return reinterpret_cast<const std::u16string*>(V & ~kRawTag);
}

// --- Algorithms shared by the 8-bit and the UTF-16 list ---------------------------------------------------
// TList is TStrLst or TWideStrLst; each compares with its own CompareStrings, which also drives its sort.

template <typename TList, typename TString>
int32_t IndexFromOf(const TList& L, int32_t StartIndex, const TString& S) {
  for (int32_t I = std::max(StartIndex, 0); I < L.GetCount(); ++I) {
    if (L.CompareStrings(L.Get(I), S) == 0) return I;
  }
  return -1;
}

template <typename TList, typename TString>
int32_t LastIndexFromOf(const TList& L, int32_t StartIndex, const TString& S) {
  for (int32_t I = std::min(StartIndex, L.GetCount() - 1); I >= 0; --I) {
    if (L.CompareStrings(L.Get(I), S) == 0) return I;
  }
  return -1;
}

// Halving search; stops at the first equal element met.
template <typename TList, typename TString>
bool FindInRangeOf(const TList& List, const TString& S, int32_t L, int32_t R, int32_t& Index) {
  bool Found = false;
  while (R >= L) {
    const int32_t M = L + (R - L) / 2;
    const int C = List.CompareStrings(List.Get(M), S);
    if (C < 0) {
      L = M + 1;
    } else {
      R = M - 1;
      if (C == 0) {
        Found = true;
        L = M;
      }
    }
  }
  Index = L;
  return Found;
}

template <typename TList>
void AssignOf(TList& Dest, const TVector& Source) {
  const auto* From = dynamic_cast<const TList*>(&Source);
  if (From == nullptr) Dest.Error("Assign error");
  if (From == &Dest) return;
  Dest.SetCount(From->GetCount());
  for (int32_t I = 0; I < Dest.GetCount(); ++I) Dest.Put(I, From->Get(I));
}

template <typename TList>
void CopyRangeOf(TList& Dest, int32_t DestIndex, const TVector& Source, int32_t FromIndex, int32_t ToIndex) {
  const auto* From = dynamic_cast<const TList*>(&Source);
  if (From == nullptr) Dest.Error("Assign error");
  if (ToIndex < FromIndex) return;
  // Copies first: the source may be this list, with the ranges overlapping.
  std::vector<std::remove_cvref_t<decltype(From->Get(0))>> Strings;
  for (int32_t I = FromIndex; I <= ToIndex; ++I) Strings.push_back(From->Get(I));
  const int64_t Needed = static_cast<int64_t>(DestIndex) + static_cast<int64_t>(Strings.size());
  if (Needed > INT32_MAX) Dest.Error("Wrong vector size (%d)", {Needed});
  if (Dest.GetCount() < Needed) Dest.SetCount(static_cast<int32_t>(Needed));
  for (size_t I = 0; I < Strings.size(); ++I) Dest.Put(DestIndex + static_cast<int32_t>(I), Strings[I]);
}

template <typename TList>
bool EqualToOf(const TList& L, const TVector& Vector) {
  const auto* Other = dynamic_cast<const TList*>(&Vector);
  if (Other == nullptr) L.Error("Incompatible classes");
  if (Other->GetCount() != L.GetCount()) return false;
  for (int32_t I = 0; I < L.GetCount(); ++I) {
    if (L.CompareStrings(L.Get(I), Other->Get(I)) != 0) return false;
  }
  return true;
}

template <typename TList>
void MoveOf(TList& L, int32_t CurIndex, int32_t NewIndex) {
  if (CurIndex == NewIndex) return;
  const auto S = L.Get(CurIndex);
  L.Delete(CurIndex);
  L.Insert(NewIndex, S);
}

template <typename TList>
void ConcatOf(TList& L, const TPointerVector& Source) {
  const auto* From = dynamic_cast<const TList*>(&Source);
  if (From == nullptr) L.Error("Assign error");
  const int32_t N = From->GetCount();  // the source may be this list
  for (int32_t I = 0; I < N; ++I) L.Add(std::remove_cvref_t<decltype(From->Get(I))>(From->Get(I)));
}

}  // namespace

int AnsiCompareText(const std::string& S1, const std::string& S2) {
  const std::u16string W1 = AnsiToWideSys(S1), W2 = AnsiToWideSys(S2);
  return Sign(qvnls::CompareTextBufWide(W1.data(), W2.data(), static_cast<int32_t>(W1.size()),
                                        static_cast<int32_t>(W2.size())));
}

int AnsiCompareStr(const std::string& S1, const std::string& S2) {
  const std::u16string W1 = AnsiToWideSys(S1), W2 = AnsiToWideSys(S2);
  return Sign(qvnls::CompareStrBufWide(W1.data(), W2.data(), static_cast<int32_t>(W1.size()),
                                       static_cast<int32_t>(W2.size())));
}

void DecodeWideStrItem(TWideStrItem Item, std::u16string& S) {
  if (Item == 0) {
    S.clear();
  } else if (Item & kRawTag) {
    S = *RawWide(Item);
  } else {
    const auto* Narrow = reinterpret_cast<const std::string*>(Item);
    S.assign(Narrow->begin(), Narrow->end());
  }
}

// ---------------------------------------------------------------------------------------------------------
// TPointerVector

void TPointerVector::InitMemory(int32_t ByteOffset, int32_t N) {
  if (N > 0) std::fill_n(reinterpret_cast<void**>(Data_ + ByteOffset), N, nullptr);
}

void TPointerVector::WriteToStream(TVStream&) const { Error("Method not applicable"); }

void TPointerVector::ReadFromStream(TVStream&) { Error("Method not applicable"); }

void TPointerVector::Assign(const TVector& Source) {
  if (dynamic_cast<const TPointerVector*>(&Source) == nullptr) Error("Assign error");
  BlockAssign(Source);
}

int TPointerVector::Compare(int32_t Index, const void* Value) const {
  const auto A = reinterpret_cast<intptr_t>(Get(Index));
  intptr_t B;
  std::memcpy(&B, Value, sizeof B);
  return A < B ? -1 : (A > B ? 1 : 0);
}

void TPointerVector::Exchange(int32_t Index1, int32_t Index2) {
  auto* Items = reinterpret_cast<void**>(Data_);
  std::swap(Items[Index1], Items[Index2]);
}

std::unique_ptr<TPointerVector> TPointerVector::CreateCompatible() const {
  return std::make_unique<TPointerVector>();
}

void TPointerVector::PutItemFrom(int32_t Index, const void* Buf) {
  void* Item;
  std::memcpy(&Item, Buf, sizeof Item);
  TPointerVector::Put(Index, Item);
}

void TPointerVector::SetToDefault() { InitMemory(0, Count_); }

void TPointerVector::Concat(const TPointerVector& Source) {
  const int32_t N = Source.Count_;  // the source may be this vector
  for (int32_t I = 0; I < N; ++I) TPointerVector::Add(Source.TPointerVector::Get(I));
}

void TPointerVector::Insert(int32_t Index, void* Item) {
  InsertGap(Index);
  TPointerVector::Put(Index, Item);
}

int32_t TPointerVector::Add(void* Item) {
  const int32_t Index = Count_;
  TPointerVector::Insert(Index, Item);
  return Index;
}

int32_t TPointerVector::IndexFrom(int32_t StartIndex, const void* Item) const {
  return RawIndexFrom(StartIndex, static_cast<uint64_t>(reinterpret_cast<uintptr_t>(Item)));
}

void* TPointerVector::Pop() {
  void* Item = TPointerVector::Get(Count_ - 1);
  TVector::Delete(Count_ - 1);
  return Item;
}

void TPointerVector::FreeItems() {
  for (int32_t I = 0; I < Count_; ++I) delete static_cast<TObject*>(TPointerVector::Get(I));
}

// ---------------------------------------------------------------------------------------------------------
// TAutoFreeClassList

TAutoFreeClassList::~TAutoFreeClassList() { FreeItems(); }

std::unique_ptr<TPointerVector> TAutoFreeClassList::CreateCompatible() const {
  return std::make_unique<TAutoFreeClassList>();
}

// ---------------------------------------------------------------------------------------------------------
// TStrLst

TStrLst::~TStrLst() { ReleaseFrom(0); }

int TStrLst::CompareStrings(const std::string& S1, const std::string& S2) const {
  return AnsiCompareText(S1, S2);
}

const std::string& TStrLst::Get(int32_t Index) const {
  const std::string* S = Item(Index);
  return S ? *S : kEmptyString;
}

void TStrLst::Put(int32_t Index, const std::string& S) {
  // The copy is made before the old string goes: S may be that string.
  std::string* Copy = S.empty() ? nullptr : new std::string(S);
  delete Item(Index);
  TPointerVector::Put(Index, Copy);
}

void TStrLst::Insert(int32_t Index, const std::string& S) {
  std::unique_ptr<std::string> Copy(S.empty() ? nullptr : new std::string(S));
  InsertGap(Index);
  TPointerVector::Put(Index, Copy.release());
}

int32_t TStrLst::Add(const std::string& S) {
  const int32_t Index = Count_;
  Insert(Index, S);
  return Index;
}

void TStrLst::Move(int32_t CurIndex, int32_t NewIndex) { MoveOf(*this, CurIndex, NewIndex); }

int32_t TStrLst::IndexFrom(int32_t StartIndex, const std::string& S) const {
  return IndexFromOf(*this, StartIndex, S);
}

int32_t TStrLst::LastIndexFrom(int32_t StartIndex, const std::string& S) const {
  return LastIndexFromOf(*this, StartIndex, S);
}

void TStrLst::ReleaseFrom(int32_t Index) {
  for (int32_t I = std::max(Index, 0); I < Count_; ++I) {
    delete Item(I);
    TPointerVector::Put(I, nullptr);
  }
}

bool TStrLst::FindInRange(const std::string& S, int32_t L, int32_t R, int32_t& Index) const {
  return FindInRangeOf(*this, S, L, R, Index);
}

int32_t TStrLst::IndexOfSortedRange(const std::string& S, int32_t L, int32_t R) const {
  int32_t Index;
  return FindInRange(S, L, R, Index) ? Index : -1;
}

std::string TStrLst::Pop() {
  std::string S = Get(Count_ - 1);
  Delete(Count_ - 1);
  return S;
}

std::string TStrLst::GetDelimitedText(bool DoubleQuote, char Delimiter, const TCharSet& SpecialChars) const {
  TCharSet Set = SpecialChars;
  Set.set(static_cast<uint8_t>(Delimiter));
  std::string Result;
  for (int32_t I = 0; I < Count_; ++I) {
    if (I > 0) Result += Delimiter;
    const std::string& S = Get(I);
    if (ContainsCharIn(S, Set)) {
      Result += DoubleQuote ? DoubleQuoteStr(S) : SingleQuoteStr(S);
    } else {
      Result += DoubleQuote ? DoubleQuoteIfNeeded(S) : SingleQuoteIfNeeded(S);
    }
  }
  return Result;
}

void TStrLst::SetCount(int32_t N) {
  if (N >= 0 && N < Count_) ReleaseFrom(N);
  TVector::SetCount(N);
}

void TStrLst::Delete(int32_t Index) {
  delete Item(Index);
  TPointerVector::Put(Index, nullptr);
  TVector::Delete(Index);
}

void TStrLst::DeleteRange(int32_t Index, int32_t N) {
  if (N <= 0) return;
  const int32_t End = std::min(Index + N, Count_);
  for (int32_t I = Index; I < End; ++I) {
    delete Item(I);
    TPointerVector::Put(I, nullptr);
  }
  TVector::DeleteRange(Index, N);
}

void TStrLst::Clear() {
  ReleaseFrom(0);
  TVector::Clear();
}

void TStrLst::Assign(const TVector& Source) { AssignOf<TStrLst>(*this, Source); }

void TStrLst::CopyRange(int32_t DestIndex, const TVector& Source, int32_t FromIndex, int32_t ToIndex) {
  CopyRangeOf<TStrLst>(*this, DestIndex, Source, FromIndex, ToIndex);
}

bool TStrLst::EqualTo(const TVector& Vector) const { return EqualToOf<TStrLst>(*this, Vector); }

void TStrLst::WriteToStream(TVStream& Stream) const {
  Stream.WriteInt32(Count_);
  for (int32_t I = 0; I < Count_; ++I) Stream.WriteString(Get(I));
}

void TStrLst::ReadFromStream(TVStream& Stream) {
  Clear();
  const int32_t N = Stream.ReadInt32();
  if (N < 0) Error("Wrong vector size (%d)", {N});
  for (int32_t I = 0; I < N; ++I) Add(Stream.ReadString());
}

int TStrLst::Compare(int32_t Index, const void* Value) const {
  const std::string* S;
  std::memcpy(&S, Value, sizeof S);
  return CompareStrings(Get(Index), S ? *S : kEmptyString);
}

std::unique_ptr<TPointerVector> TStrLst::CreateCompatible() const { return std::make_unique<TStrLst>(); }

void TStrLst::PutItemFrom(int32_t Index, const void* Buf) {
  const std::string* S;
  std::memcpy(&S, Buf, sizeof S);
  Put(Index, S ? *S : kEmptyString);
}

void TStrLst::SetToDefault() { ReleaseFrom(0); }

void TStrLst::Concat(const TPointerVector& Source) { ConcatOf<TStrLst>(*this, Source); }

int TCaseSensStrLst::CompareStrings(const std::string& S1, const std::string& S2) const {
  return AnsiCompareStr(S1, S2);
}

std::unique_ptr<TPointerVector> TCaseSensStrLst::CreateCompatible() const {
  return std::make_unique<TCaseSensStrLst>();
}

// ---------------------------------------------------------------------------------------------------------
// TWideStrLst

TWideStrLst::~TWideStrLst() { ReleaseFrom(0); }

int TWideStrLst::CompareStrBuf(const char16_t* P1, const char16_t* P2, int32_t Len1, int32_t Len2) const {
  return Sign(qvnls::CompareTextBufWide(P1, P2, Len1, Len2));
}

int TWideStrLst::CompareStrings(const std::u16string& S1, const std::u16string& S2) const {
  return CompareStrBuf(S1.data(), S2.data(), static_cast<int32_t>(S1.size()),
                       static_cast<int32_t>(S2.size()));
}

std::u16string TWideStrLst::Get(int32_t Index) const {
  std::u16string S;
  DecodeWideStrItem(Item(Index), S);
  return S;
}

void TWideStrLst::Put(int32_t Index, const std::u16string& S) {
  const TWideStrItem New = MakeWideItem(S);
  FreeWideItem(Item(Index));
  SetItem(Index, New);
}

void TWideStrLst::Insert(int32_t Index, const std::u16string& S) {
  const TWideStrItem New = MakeWideItem(S);
  try {
    InsertGap(Index);
  } catch (...) {
    FreeWideItem(New);
    throw;
  }
  SetItem(Index, New);
}

int32_t TWideStrLst::Add(const std::u16string& S) {
  const int32_t Index = Count_;
  Insert(Index, S);
  return Index;
}

void TWideStrLst::Move(int32_t CurIndex, int32_t NewIndex) { MoveOf(*this, CurIndex, NewIndex); }

int32_t TWideStrLst::IndexFrom(int32_t StartIndex, const std::u16string& S) const {
  return IndexFromOf(*this, StartIndex, S);
}

int32_t TWideStrLst::LastIndexFrom(int32_t StartIndex, const std::u16string& S) const {
  return LastIndexFromOf(*this, StartIndex, S);
}

int32_t TWideStrLst::Remove(const std::u16string& S) {
  const int32_t Index = IndexOf(S);
  if (Index >= 0) Delete(Index);
  return Index;
}

void TWideStrLst::ReleaseFrom(int32_t Index) {
  for (int32_t I = std::max(Index, 0); I < Count_; ++I) {
    FreeWideItem(Item(I));
    SetItem(I, 0);
  }
}

bool TWideStrLst::FindInRange(const std::u16string& S, int32_t L, int32_t R, int32_t& Index) const {
  return FindInRangeOf(*this, S, L, R, Index);
}

int32_t TWideStrLst::IndexOfSortedRange(const std::u16string& S, int32_t L, int32_t R) const {
  int32_t Index;
  return FindInRange(S, L, R, Index) ? Index : -1;
}

std::u16string TWideStrLst::Pop() {
  std::u16string S = Get(Count_ - 1);
  Delete(Count_ - 1);
  return S;
}

std::u16string TWideStrLst::GetDelimitedText(bool DoubleQuote, char Delimiter,
                                             const TCharSet& SpecialChars) const {
  TCharSet Set = SpecialChars;
  Set.set(static_cast<uint8_t>(Delimiter));
  std::u16string Result;
  for (int32_t I = 0; I < Count_; ++I) {
    if (I > 0) Result += static_cast<char16_t>(static_cast<uint8_t>(Delimiter));
    const std::u16string S = Get(I);
    if (ContainsCharIn(WideToAnsiSys(S), Set)) {
      Result += DoubleQuote ? WideDoubleQuoteStr(S) : WideSingleQuoteStr(S);
    } else {
      Result += DoubleQuote ? WideDoubleQuoteIfNeeded(S) : WideSingleQuoteIfNeeded(S);
    }
  }
  return Result;
}

void TWideStrLst::SetDelimitedText(const std::u16string& S, char QuoteChar, const TCharSet& Separators,
                                   bool KeepEmpty) {
  Clear();
  const char16_t Quote = static_cast<char16_t>(static_cast<uint8_t>(QuoteChar));
  std::u16string Piece;
  bool InQuotes = false;
  // An empty piece is one that is empty once its quotes are gone, in the middle and at the end alike.
  auto AddPiece = [&] {
    const std::u16string Unquoted = WideUnquoteStr(Piece);
    if (KeepEmpty || !Unquoted.empty()) Add(Unquoted);
    Piece.clear();
  };
  for (char16_t C : S) {
    const bool Separator = C < 256 && Separators.test(C);
    if (InQuotes || !Separator) {
      if (C == Quote) InQuotes = !InQuotes;
      Piece += C;
    } else {
      AddPiece();
    }
  }
  if (!S.empty()) AddPiece();
}

void TWideStrLst::AssignStrLst(const TStrLst& Source) {
  Clear();
  SetCount(Source.GetCount());
  for (int32_t I = 0; I < Count_; ++I) Put(I, AnsiToWideSys(Source.Get(I)));
}

void TWideStrLst::SetCount(int32_t N) {
  if (N >= 0 && N < Count_) ReleaseFrom(N);
  TVector::SetCount(N);
}

void TWideStrLst::Delete(int32_t Index) {
  FreeWideItem(Item(Index));
  SetItem(Index, 0);
  TVector::Delete(Index);
}

void TWideStrLst::DeleteRange(int32_t Index, int32_t N) {
  if (N <= 0) return;
  const int32_t End = std::min(Index + N, Count_);
  for (int32_t I = Index; I < End; ++I) {
    FreeWideItem(Item(I));
    SetItem(I, 0);
  }
  TVector::DeleteRange(Index, N);
}

void TWideStrLst::Clear() {
  ReleaseFrom(0);
  TVector::Clear();
}

void TWideStrLst::Assign(const TVector& Source) { AssignOf<TWideStrLst>(*this, Source); }

void TWideStrLst::CopyRange(int32_t DestIndex, const TVector& Source, int32_t FromIndex, int32_t ToIndex) {
  CopyRangeOf<TWideStrLst>(*this, DestIndex, Source, FromIndex, ToIndex);
}

bool TWideStrLst::EqualTo(const TVector& Vector) const { return EqualToOf<TWideStrLst>(*this, Vector); }

void TWideStrLst::WriteToStream(TVStream& Stream) const {
  Stream.WriteInt32(Count_);
  for (int32_t I = 0; I < Count_; ++I) Stream.WriteWideString(Get(I));
}

void TWideStrLst::ReadFromStream(TVStream& Stream) {
  Clear();
  const int32_t N = Stream.ReadInt32();
  if (N < 0) Error("Wrong vector size (%d)", {N});
  for (int32_t I = 0; I < N; ++I) Add(Stream.ReadWideString());
}

int TWideStrLst::Compare(int32_t Index, const void* Value) const {
  TWideStrItem Other;
  std::memcpy(&Other, Value, sizeof Other);
  const TWideStrItem Mine = Item(Index);
  if ((Mine & kRawTag) && (Other & kRawTag)) {
    const std::u16string* A = RawWide(Mine);
    const std::u16string* B = RawWide(Other);
    return CompareStrBuf(A->data(), B->data(), static_cast<int32_t>(A->size()),
                         static_cast<int32_t>(B->size()));
  }
  std::u16string A, B;
  DecodeWideStrItem(Mine, A);
  DecodeWideStrItem(Other, B);
  return CompareStrings(A, B);
}

std::unique_ptr<TPointerVector> TWideStrLst::CreateCompatible() const {
  return std::make_unique<TWideStrLst>();
}

void TWideStrLst::PutItemFrom(int32_t Index, const void* Buf) {
  TWideStrItem Other;
  std::memcpy(&Other, Buf, sizeof Other);
  std::u16string S;
  DecodeWideStrItem(Other, S);
  Put(Index, S);
}

void TWideStrLst::SetToDefault() { ReleaseFrom(0); }

void TWideStrLst::Concat(const TPointerVector& Source) { ConcatOf<TWideStrLst>(*this, Source); }

int TWinSortWideStrLst::CompareStrBuf(const char16_t* P1, const char16_t* P2, int32_t Len1,
                                      int32_t Len2) const {
  return CompareStringW(qvnls::kLocaleUserDefault, NORM_IGNORECASE, P1, Len1, P2, Len2) - CSTR_EQUAL;
}

std::unique_ptr<TPointerVector> TWinSortWideStrLst::CreateCompatible() const {
  return std::make_unique<TWinSortWideStrLst>();
}

int TCaseSensWideStrLst::CompareStrBuf(const char16_t* P1, const char16_t* P2, int32_t Len1,
                                       int32_t Len2) const {
  return Sign(qvnls::CompareStrBufWide(P1, P2, Len1, Len2));
}

std::unique_ptr<TPointerVector> TCaseSensWideStrLst::CreateCompatible() const {
  return std::make_unique<TCaseSensWideStrLst>();
}
