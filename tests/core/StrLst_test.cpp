#include "core/StrLst.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/VStream.h"
#include "platform/qvnls/Qvnls.h"

namespace {

class StrLstTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(qvnls::SetSystemCodePages(1252, 850)); }
  void TearDown() override { qvnls::ResetSystemCodePages(); }
};

std::string Bytes(TVMemStream& S) {
  return std::string(reinterpret_cast<const char*>(S.GetMemory()), static_cast<size_t>(S.GetSize()));
}

std::vector<std::u16string> Items(const TWideStrLst& L) {
  std::vector<std::u16string> V;
  for (int32_t I = 0; I < L.GetCount(); ++I) V.push_back(L.Get(I));
  return V;
}

std::vector<std::string> Items(const TStrLst& L) {
  std::vector<std::string> V;
  for (int32_t I = 0; I < L.GetCount(); ++I) V.push_back(L.Get(I));
  return V;
}

// UTF-16 in windows-1252, the Windows code page the tests set.
std::string WideToAnsiText(const std::u16string& W) {
  std::string S(W.size(), '\0');
  const int32_t N = qvnls::WideToBuf(W.data(), static_cast<int32_t>(W.size() * 2), S.data(),
                                     static_cast<int32_t>(S.size()), qvnls::kCharsetWin1252);
  S.resize(N < 0 ? 0 : static_cast<size_t>(N));
  return S;
}

template <typename TList, typename TString>
void Fill(TList& L, const std::vector<TString>& Strings) {
  L.Clear();
  for (const auto& S : Strings) L.Add(S);
}

// Runs F and answers the message of the exception it raised (empty when none).
template <typename TException = Exception>
std::string Raised(const std::function<void()>& F) {
  try {
    F();
  } catch (const TException& E) {
    return E.Message();
  }
  return {};
}

TEST_F(StrLstTest, WideElementsAreHeldCompactly) {
  TWideStrLst L;
  L.Add(u"abc");
  L.Add(u"äbc");
  L.Add(u"");
  const auto Ascii = reinterpret_cast<uintptr_t>(L.TPointerVector::Get(0));
  const auto Raw = reinterpret_cast<uintptr_t>(L.TPointerVector::Get(1));
  ASSERT_EQ(Ascii & 1, 0u);
  EXPECT_EQ(*reinterpret_cast<const std::string*>(Ascii), "abc");
  ASSERT_EQ(Raw & 1, 1u);
  EXPECT_EQ(reinterpret_cast<const std::u16string*>(Raw & ~uintptr_t{1})->size() * 2, 6u);
  EXPECT_EQ(L.TPointerVector::Get(2), nullptr);
  EXPECT_EQ(Items(L), (std::vector<std::u16string>{u"abc", u"äbc", u""}));

  std::u16string Decoded = u"stale";
  DecodeWideStrItem(Raw, Decoded);
  EXPECT_EQ(Decoded, u"äbc");
  DecodeWideStrItem(0, Decoded);
  EXPECT_EQ(Decoded, u"");
}

TEST_F(StrLstTest, StreamBytesAreExactAndReadBackEqual) {
  TWideStrLst Wide;
  Fill(Wide, std::vector<std::u16string>{u"abc", u"äbc", u""});
  TVMemStream S;
  Wide.WriteToStream(S);
  const std::string WideBytes(
      "\x03\x00\x00\x00"
      "\x03\x00\x00\x00"
      "a\x00"
      "b\x00"
      "c\x00"
      "\x03\x00\x00\x00"
      "\xE4\x00"
      "b\x00"
      "c\x00"
      "\x00\x00\x00\x00",
      28);
  EXPECT_EQ(Bytes(S), WideBytes);
  TWideStrLst WideBack;
  WideBack.Add(u"dropped by the read");
  S.Seek(0);
  WideBack.ReadFromStream(S);
  EXPECT_TRUE(WideBack.EqualTo(Wide));
  EXPECT_EQ(Items(WideBack), Items(Wide));

  TStrLst Narrow;
  Fill(Narrow, std::vector<std::string>{"ab", "", "\xE4"});
  TVMemStream N;
  Narrow.WriteToStream(N);
  EXPECT_EQ(Bytes(N), std::string("\x03\x00\x00\x00"
                                  "\x02\x00\x00\x00"
                                  "ab"
                                  "\x00\x00\x00\x00"
                                  "\x01\x00\x00\x00"
                                  "\xE4",
                                  19));
  TStrLst NarrowBack;
  N.Seek(0);
  NarrowBack.ReadFromStream(N);
  EXPECT_EQ(Items(NarrowBack), Items(Narrow));
}

TEST_F(StrLstTest, DamagedStreamsRaiseAndKeepWhatWasRead) {
  TWideStrLst Source;
  Fill(Source, std::vector<std::u16string>{u"one", u"two", u"three"});
  TVMemStream Whole;
  Source.WriteToStream(Whole);
  const std::string Good = Bytes(Whole);

  struct TCase {
    const char* Name;
    std::string Stream;
    std::string Message;
    std::vector<std::u16string> Kept;
  } Cases[] = {
      {"cut in the last string", Good.substr(0, Good.size() - 3), "Read after end error", {u"one", u"two"}},
      {"cut in the count", Good.substr(0, 2), "Read after end error", {}},
      {"count larger than the strings",
       std::string("\x7F\x00\x00\x00", 4) + Good.substr(4),
       "Read after end error",
       {u"one", u"two", u"three"}},
      {"negative count", std::string("\xFF\xFF\xFF\xFF", 4), "Wrong vector size (-1)", {}},
      {"string length beyond the end",
       std::string("\x01\x00\x00\x00\xFF\xFF\xFF\x7F", 8),
       "Read after end error",
       {}},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    TVMemStream S;
    S.Write(C.Stream.data(), static_cast<int32_t>(C.Stream.size()));
    S.Seek(0);
    TWideStrLst L;
    L.Add(u"old");
    const std::string Message = Raised([&] { L.ReadFromStream(S); });
    EXPECT_NE(Message.find(C.Message), std::string::npos) << Message;
    EXPECT_EQ(Items(L), C.Kept);
  }
}

// Every list class sorts and searches with the same comparison: after Sort, Find meets every item that
// is there and gives the insertion point of every item that is not.
TEST_F(StrLstTest, SortedFindsAgreeWithTheSortInEveryClass) {
  const std::vector<std::u16string> Present = {
      u"Zebra",  u"äpfel",   u"Apfel", u"öl",  u"Ölkanne", u"apfelbaum", u"Éclair", u"eclair",
      u"straße", u"Strasse", u"ж",     u"Жук", u"_under",  u"10",        u"9",      u""};
  const std::vector<std::u16string> Absent = {u"Äpfelchen", u"zz", u"éclairs", u"ЖУКИ", u"0", u"-"};

  auto WideCheck = [&](TWideStrLst& L) {
    Fill(L, Present);
    L.Sort();
    for (int32_t I = 1; I < L.GetCount(); ++I) EXPECT_LE(L.CompareStrings(L.Get(I - 1), L.Get(I)), 0);
    for (const auto& S : Present) {
      int32_t Index = -1;
      EXPECT_TRUE(L.Find(S, Index)) << std::string(S.begin(), S.end());
      EXPECT_EQ(L.CompareStrings(L.Get(Index), S), 0);
      EXPECT_GE(L.SortedIndexOf(S), 0);
    }
    for (const auto& S : Absent) {
      int32_t Index = -1;
      if (L.Find(S, Index)) continue;  // equal under this class's comparison (case ignored)
      if (Index > 0) {
        EXPECT_LT(L.CompareStrings(L.Get(Index - 1), S), 0);
      }
      if (Index < L.GetCount()) {
        EXPECT_GT(L.CompareStrings(L.Get(Index), S), 0);
      }
      EXPECT_EQ(L.SortedIndexOf(S), -1);
    }
  };
  TWideStrLst Plain;
  TCaseSensWideStrLst CaseSens;
  TWinSortWideStrLst WinSort;
  {
    SCOPED_TRACE("TWideStrLst");
    WideCheck(Plain);
  }
  {
    SCOPED_TRACE("TCaseSensWideStrLst");
    WideCheck(CaseSens);
  }
  {
    SCOPED_TRACE("TWinSortWideStrLst");
    WideCheck(WinSort);
  }

  auto NarrowCheck = [&](TStrLst& L) {
    std::vector<std::string> Narrow;
    for (const auto& S : Present) {
      if (S != u"ж" && S != u"Жук") Narrow.push_back(WideToAnsiText(S));
    }
    Fill(L, Narrow);
    L.Sort();
    for (int32_t I = 1; I < L.GetCount(); ++I) EXPECT_LE(L.CompareStrings(L.Get(I - 1), L.Get(I)), 0);
    for (const auto& S : Narrow) {
      int32_t Index = -1;
      EXPECT_TRUE(L.Find(S, Index)) << S;
      EXPECT_EQ(L.CompareStrings(L.Get(Index), S), 0);
    }
  };
  TStrLst NarrowPlain;
  TCaseSensStrLst NarrowCaseSens;
  {
    SCOPED_TRACE("TStrLst");
    NarrowCheck(NarrowPlain);
  }
  {
    SCOPED_TRACE("TCaseSensStrLst");
    NarrowCheck(NarrowCaseSens);
  }
}

TEST_F(StrLstTest, NonAsciiStringsSortApart) {
  TWideStrLst L;
  Fill(L, std::vector<std::u16string>{u"öl", u"äl"});
  L.Sort();
  EXPECT_EQ(Items(L), (std::vector<std::u16string>{u"äl", u"öl"}));
  EXPECT_LT(L.Compare(0, L.GetData() + 8), 0);
}

TEST_F(StrLstTest, FindMeetsTheMiddleEqualItem) {
  TStrLst L;
  Fill(L, std::vector<std::string>{"a", "b", "b", "c"});
  int32_t Index = -1;
  EXPECT_TRUE(L.Find("b", Index));
  EXPECT_EQ(Index, 1);
  EXPECT_FALSE(L.Find("bb", Index));
  EXPECT_EQ(Index, 3);
  EXPECT_FALSE(L.Find("0", Index));
  EXPECT_EQ(Index, 0);
  EXPECT_FALSE(L.Find("d", Index));
  EXPECT_EQ(Index, 4);
  EXPECT_EQ(L.IndexOfSortedRange("c", 0, 2), -1);
}

TEST_F(StrLstTest, CaseInLookups) {
  TStrLst Text;
  TCaseSensStrLst Str;
  Fill(Text, std::vector<std::string>{"x", "abc", "\xE4pfel", "abc"});
  Fill(Str, std::vector<std::string>{"x", "abc", "\xE4pfel", "abc"});
  EXPECT_EQ(Text.IndexOf("ABC"), 1);
  EXPECT_EQ(Text.IndexOf("\xC4PFEL"), 2);
  EXPECT_EQ(Text.LastIndexFrom(10, "ABC"), 3);
  EXPECT_EQ(Text.LastIndexFrom(2, "ABC"), 1);
  EXPECT_EQ(Text.IndexFrom(2, "abc"), 3);
  EXPECT_EQ(Str.IndexOf("ABC"), -1);
  EXPECT_EQ(Str.IndexOf("abc"), 1);

  TWideStrLst Wide;
  TCaseSensWideStrLst WideStr;
  Fill(Wide, std::vector<std::u16string>{u"Жук", u"äpfel"});
  Fill(WideStr, std::vector<std::u16string>{u"Жук", u"äpfel"});
  EXPECT_EQ(Wide.IndexOf(u"жУК"), 0);
  EXPECT_EQ(Wide.IndexOf(u"ÄPFEL"), 1);
  EXPECT_EQ(WideStr.IndexOf(u"ÄPFEL"), -1);
  EXPECT_EQ(Wide.Remove(u"ÄPFEL"), 1);
  EXPECT_EQ(Wide.Remove(u"ÄPFEL"), -1);
  EXPECT_EQ(Wide.GetCount(), 1);

  // Equality follows the list's own comparison.
  TStrLst Upper;
  Fill(Upper, std::vector<std::string>{"X", "ABC", "\xC4PFEL", "Abc"});
  EXPECT_TRUE(Text.EqualTo(Upper));
  TCaseSensStrLst StrUpper;
  Fill(StrUpper, std::vector<std::string>{"X", "ABC", "\xC4PFEL", "Abc"});
  EXPECT_FALSE(Str.EqualTo(StrUpper));
}

TEST_F(StrLstTest, GetDelimitedText) {
  TStrLst L;
  Fill(L, std::vector<std::string>{"x", "a b", "p,q"});
  EXPECT_EQ(L.GetDelimitedText(true, ',', {}), "x,\"a b\",\"p,q\"");
  EXPECT_EQ(L.GetDelimitedText(false, ';', {}), "x;'a b';p,q");
  EXPECT_EQ(L.GetDelimitedText(false, ';', CharSetOf(",")), "x;'a b';'p,q'");
  Fill(L, std::vector<std::string>{"it's", "", "say \"hi\""});
  EXPECT_EQ(L.GetDelimitedText(true, ',', {}), "\"it's\",\"\",\"say \"\"hi\"\"\"");
  L.Clear();
  EXPECT_EQ(L.GetDelimitedText(true, ',', {}), "");

  TWideStrLst W;
  Fill(W, std::vector<std::u16string>{u"x", u"é", u"p,q", u"a b", u"€"});
  EXPECT_EQ(W.GetDelimitedText(true, ',', {}), u"x,é,\"p,q\",\"a b\",€");
  // The set test sees the item in the Windows code page, where "€" is byte 0x80.
  EXPECT_EQ(W.GetDelimitedText(true, ',', CharSetOf("\x80")), u"x,é,\"p,q\",\"a b\",\"€\"");
}

TEST_F(StrLstTest, SetDelimitedText) {
  const TCharSet Comma = CharSetOf(",");
  struct TCase {
    const char* Name;
    std::u16string Text;
    char Quote;
    TCharSet Separators;
    bool KeepEmpty;
    std::vector<std::u16string> Items;
  } Cases[] = {
      {"quoted separator", u"a,'b,c',d", '\'', Comma, false, {u"a", u"b,c", u"d"}},
      {"double quotes", u"\"x y\",z", '"', Comma, false, {u"x y", u"z"}},
      {"empty dropped", u"a,,b", '"', Comma, false, {u"a", u"b"}},
      {"empty kept", u"a,,b", '"', Comma, true, {u"a", u"", u"b"}},
      {"trailing separator", u"a,", '"', Comma, false, {u"a"}},
      {"trailing separator kept", u"a,", '"', Comma, true, {u"a", u""}},
      {"quoted empty first", u"\"\",a", '"', Comma, false, {u"a"}},
      {"quoted empty last", u"a,\"\"", '"', Comma, false, {u"a"}},
      {"quoted empty last kept", u"a,\"\"", '"', Comma, true, {u"a", u""}},
      {"empty text", u"", '"', Comma, true, {}},
      {"several separators", u"a b;c", '"', CharSetOf(" ;"), false, {u"a", u"b", u"c"}},
      {"zero in the set is not U+0100",
       std::u16string(u"x\u0100y\0z", 5),
       '"',
       CharSetOf(std::string_view("\0", 1)),
       false,
       {u"x\u0100y", u"z"}},
      {"inner quotes stay", u"a'b,c", '"', Comma, false, {u"a'b", u"c"}},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    TWideStrLst L;
    L.Add(u"old");
    L.SetDelimitedText(C.Text, C.Quote, C.Separators, C.KeepEmpty);
    EXPECT_EQ(Items(L), C.Items);
  }
}

TEST_F(StrLstTest, ErrorsCarryTheClassName) {
  TPointerVector P;
  TStrLst S;
  TWideStrLst W;
  TVMemStream Stream;
  EXPECT_EQ(Raised<EVectorError>([&] { P.WriteToStream(Stream); }),
            "Class TPointerVector: Method not applicable");
  EXPECT_EQ(Raised<EVectorError>([&] { P.ReadFromStream(Stream); }),
            "Class TPointerVector: Method not applicable");
  TAutoFreeClassList A;
  EXPECT_EQ(Raised<EVectorError>([&] { A.WriteToStream(Stream); }),
            "Class TAutoFreeClassList: Method not applicable");
  EXPECT_EQ(Raised<EVectorError>([&] { S.Assign(P); }), "Class TStrLst: Assign error");
  EXPECT_EQ(Raised<EVectorError>([&] { W.Assign(S); }), "Class TWideStrLst: Assign error");
  EXPECT_EQ(Raised<EVectorError>([&] { S.EqualTo(W); }), "Class TStrLst: Incompatible classes");
  EXPECT_EQ(Raised<EVectorError>([&] { W.EqualTo(P); }), "Class TWideStrLst: Incompatible classes");
  EXPECT_EQ(Raised<EVectorError>([&] { S.Concat(P); }), "Class TStrLst: Assign error");
}

struct TCounted : TObject {
  explicit TCounted(int& Live) : Live(Live) { ++Live; }
  ~TCounted() override { --Live; }
  int& Live;
};

TEST_F(StrLstTest, ObjectOwnership) {
  int Live = 0;
  {
    TAutoFreeClassList Owner;
    Owner.Add(new TCounted(Live));
    Owner.Add(nullptr);
    Owner.Add(new TCounted(Live));
    EXPECT_EQ(Live, 2);
  }
  EXPECT_EQ(Live, 0);

  auto* Kept = new TCounted(Live);
  {
    TPointerVector Borrower;
    Borrower.Add(Kept);
    EXPECT_EQ(Borrower.IndexOf(Kept), 0);
    EXPECT_EQ(Borrower.Pop(), Kept);
    Borrower.Add(Kept);
  }
  EXPECT_EQ(Live, 1);
  TPointerVector Freer;
  Freer.Add(Kept);
  Freer.Add(nullptr);
  Freer.FreeItems();
  EXPECT_EQ(Live, 0);
  Freer.Clear();
}

// The leak and double-free checks of the test build watch every path that drops, copies or moves
// strings.
TEST_F(StrLstTest, StringsAreOwnedOnEveryPath) {
  TWideStrLst L;
  Fill(L, std::vector<std::u16string>{u"zero", u"één", u"two", u"three", u"vier", u"fünf", u"six"});
  L.Put(1, L.Get(1));
  L.Delete(0);
  L.DeleteRange(1, 2);
  EXPECT_EQ(Items(L), (std::vector<std::u16string>{u"één", u"vier", u"fünf", u"six"}));
  L.Move(0, 3);
  EXPECT_EQ(Items(L), (std::vector<std::u16string>{u"vier", u"fünf", u"six", u"één"}));
  L.CopyRange(1, L, 0, 2);  // overlapping copy within the list
  EXPECT_EQ(Items(L), (std::vector<std::u16string>{u"vier", u"vier", u"fünf", u"six"}));
  L.CopyRange(3, L, 0, 2);  // grows the list
  EXPECT_EQ(Items(L), (std::vector<std::u16string>{u"vier", u"vier", u"fünf", u"vier", u"vier", u"fünf"}));
  L.SetCount(2);
  L.SetCount(3);
  EXPECT_EQ(Items(L), (std::vector<std::u16string>{u"vier", u"vier", u""}));
  EXPECT_EQ(L.Pop(), u"");

  TWideStrLst Copy;
  Copy.Assign(L);
  Copy.Concat(Copy);
  EXPECT_EQ(Items(Copy), (std::vector<std::u16string>{u"vier", u"vier", u"vier", u"vier"}));
  std::vector<uint8_t> Buf(8);
  Copy.Put(0, u"ä");
  Copy.GetItemTo(0, Buf.data());
  Copy.PutItemFrom(3, Buf.data());
  Copy.PutItemFrom(0, Buf.data());  // onto the element the buffer refers to
  EXPECT_EQ(Items(Copy), (std::vector<std::u16string>{u"ä", u"vier", u"vier", u"ä"}));
  Copy.SetToDefault();
  EXPECT_EQ(Items(Copy), (std::vector<std::u16string>(4)));

  TStrLst N;
  Fill(N, std::vector<std::string>{"a", "b", "c", "d"});
  N.Put(0, N.Get(0));
  N.Move(3, 0);
  N.DeleteRange(2, 10);
  EXPECT_EQ(Items(N), (std::vector<std::string>{"d", "a"}));
  TStrLst M;
  M.Assign(N);
  M.Concat(N);
  M.Concat(M);
  EXPECT_EQ(M.GetCount(), 8);
  N.CopyRange(1, M, 0, 3);
  EXPECT_EQ(Items(N), (std::vector<std::string>{"d", "d", "a", "d", "a"}));
  EXPECT_EQ(N.Pop(), "a");
  N.SetToDefault();
  EXPECT_EQ(Items(N), (std::vector<std::string>(4)));
}

TEST_F(StrLstTest, CreateCompatibleMakesTheSameKind) {
  const std::vector<std::pair<std::unique_ptr<TPointerVector>, const char*>> Cases = [] {
    std::vector<std::pair<std::unique_ptr<TPointerVector>, const char*>> V;
    V.emplace_back(std::make_unique<TPointerVector>(), "TPointerVector");
    V.emplace_back(std::make_unique<TAutoFreeClassList>(), "TAutoFreeClassList");
    V.emplace_back(std::make_unique<TStrLst>(), "TStrLst");
    V.emplace_back(std::make_unique<TCaseSensStrLst>(), "TCaseSensStrLst");
    V.emplace_back(std::make_unique<TWideStrLst>(), "TWideStrLst");
    V.emplace_back(std::make_unique<TWinSortWideStrLst>(), "TWinSortWideStrLst");
    V.emplace_back(std::make_unique<TCaseSensWideStrLst>(), "TCaseSensWideStrLst");
    return V;
  }();
  for (const auto& [List, Name] : Cases) {
    const auto Made = List->CreateCompatible();
    EXPECT_STREQ(Made->ClassName(), Name);
    EXPECT_EQ(Made->GetCount(), 0);
  }
}

TEST_F(StrLstTest, AssignStrLstWidensWithTheWindowsCodePage) {
  TStrLst N;
  Fill(N, std::vector<std::string>{"caf\xE9", "", "\x80"});
  TWideStrLst W;
  W.Add(u"old");
  W.AssignStrLst(N);
  EXPECT_EQ(Items(W), (std::vector<std::u16string>{u"café", u"", u"€"}));
}

}  // namespace
