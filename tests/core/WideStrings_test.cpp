#include "core/WideStrings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/StrLst.h"
#include "core/VStream.h"
#include "platform/qvnls/Qvnls.h"
#include "tests/TestFiles.h"

namespace {

class WideStringsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(qvnls::SetSystemCodePages(1252, 850)); }
  void TearDown() override { qvnls::ResetSystemCodePages(); }
};

using TItems = std::vector<std::u16string>;

TItems Items(const TWideStrings& L) {
  TItems V;
  for (int32_t I = 0; I < L.GetCount(); ++I) V.push_back(L.Get(I));
  return V;
}

void Fill(TWideStrings& L, const TItems& Strings) {
  L.Clear();
  for (const auto& S : Strings) L.Add(S);
}

std::string Bytes(TVMemStream& S) {
  return std::string(reinterpret_cast<const char*>(S.GetMemory()), static_cast<size_t>(S.GetSize()));
}

void Load(TWideStrings& L, const std::string& Data) {
  TVMemStream S;
  S.Write(Data.data(), static_cast<int32_t>(Data.size()));
  S.Seek(0);
  L.LoadFromStream(S);
}

TEST_F(WideStringsTest, SetTextStrSplitsAtEveryBreak) {
  struct TCase {
    const char* Name;
    std::u16string Text;
    TItems Items;
  } Cases[] = {
      {"cr lf and lf", u"a\r\nb\nc", {u"a", u"b", u"c"}},
      {"final break adds nothing", u"a\r\n", {u"a"}},
      {"empty line before the end", u"a\r\n\r\n", {u"a", u""}},
      {"lone cr twice", u"\r\r\n", {u"", u""}},
      {"every break", u"1\u20282\u20293\v4\f5\r6\n7", {u"1", u"2", u"3", u"4", u"5", u"6", u"7"}},
      {"nul ends the text", std::u16string(u"a\nb\0c\nd", 7), {u"a", u"b"}},
      {"leading nul", std::u16string(u"\0a", 2), {}},
      {"empty", u"", {}},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    TWideStringList L;
    L.Add(u"old");
    L.SetTextStr(C.Text);
    EXPECT_EQ(Items(L), C.Items);
  }

  TWideStringList L;
  L.SetTextStr(u"one item");
  EXPECT_EQ(L.GetTextStr(), u"one item");
  Fill(L, {u"a", u"", u"b"});
  EXPECT_EQ(L.GetTextStr(), u"a\u2028\u2028b");
  TWideStringList Back;
  Back.SetTextStr(L.GetTextStr());
  EXPECT_EQ(Items(Back), Items(L));
}

TEST_F(WideStringsTest, CommaTextRoundTripsQuoting) {
  struct TCase {
    const char* Name;
    TItems Items;
    std::u16string Text;
  } Cases[] = {
      {"plain, comma, blank, empty", {u"a", u"b,c", u"x y", u""}, u"a,\"b,c\",\"x y\",\"\""},
      {"inner double quotes", {u"say \"hi\""}, u"\"say \"\"hi\"\"\""},
      {"quote and comma", {u"a\"b,c"}, u"\"a\"\"b,c\""},
      {"single quotes", {u"'q'", u"it's"}, u"\"'q'\",\"it's\""},
      {"non-ascii is plain", {u"é", u"Жук"}, u"é,Жук"},
      {"empty list", {}, u""},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    TWideStringList L;
    Fill(L, C.Items);
    EXPECT_EQ(L.GetCommaText(), C.Text);
    TWideStringList Back;
    Back.Add(u"old");
    Back.SetCommaText(C.Text);
    EXPECT_EQ(Items(Back), C.Items);
  }

  struct TParse {
    std::u16string Text;
    TItems Items;
  } Parses[] = {
      {u"a,\"b,c\",", {u"a", u"b,c", u""}},
      {u",", {u"", u""}},
      {u"a,,b", {u"a", u"", u"b"}},
      {u" x , y", {u" x ", u" y"}},
  };
  for (const auto& P : Parses) {
    TWideStringList L;
    L.SetCommaText(P.Text);
    EXPECT_EQ(Items(L), P.Items) << std::string(P.Text.begin(), P.Text.end());
  }
}

TEST_F(WideStringsTest, LoadRecognisesByteOrderMarks) {
  struct TCase {
    const char* Name;
    std::string Data;
    TItems Items;
    bool Unicode;
  } Cases[] = {
      {"big endian", std::string("\xFE\xFF\x00\x41", 4), {u"A"}, true},
      {"little endian",
       std::string("\xFF\xFE"
                   "A\0\r\0\n\0\x16\x04",
                   10),
       {u"A", u"Ж"},
       true},
      {"odd last byte",
       std::string("\xFF\xFE"
                   "A\0B",
                   5),
       {u"A"},
       true},
      {"8-bit", "caf\xE9\r\nx", {u"café", u"x"}, false},
      {"one byte", "A", {u"A"}, false},
      {"nothing", "", {}, false},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    TWideStringList L;
    L.Unicode = !C.Unicode;
    Load(L, C.Data);
    EXPECT_EQ(Items(L), C.Items);
    EXPECT_EQ(L.Unicode, C.Unicode);
  }
}

TEST_F(WideStringsTest, SaveWritesWhatLoadReadsBack) {
  TWideStringList L;
  Fill(L, {u"Жук", u"", u"tail"});
  TVMemStream S;
  L.SaveToStream(S);
  EXPECT_TRUE(L.Saved);
  EXPECT_EQ(Bytes(S).substr(0, 4), std::string("\xFF\xFE\x16\x04", 4));
  TWideStringList Back;
  S.Seek(0);
  Back.LoadFromStream(S);
  EXPECT_TRUE(Back.Equals(L));

  // 8-bit: one line per item, so that the text loads back as the same items.
  Fill(L, {u"café", u"", u"x"});
  L.Unicode = false;
  TVMemStream N;
  L.SaveToStream(N);
  EXPECT_EQ(Bytes(N), "caf\xE9\r\n\r\nx");
  N.Seek(0);
  Back.LoadFromStream(N);
  EXPECT_EQ(Items(Back), Items(L));
}

TEST_F(WideStringsTest, EightBitSaveAsksBeforeLosingCharacters) {
  struct TCase {
    const char* Name;
    bool Handler;
    bool Answer;
    std::string Written;
    bool Saved;
    int Asked;
  } Cases[] = {
      {"refused", true, false, "", false, 1},
      {"agreed", true, true, "a?", true, 1},
      {"nobody to ask", false, false, "a?", true, 0},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    TWideStringList L;
    L.Add(u"aЖ");
    L.Unicode = false;
    int Asked = 0;
    if (C.Handler) {
      L.OnQuerySave = [&](TWideStrings& Sender, bool& Proceed) {
        EXPECT_EQ(&Sender, &L);
        ++Asked;
        Proceed = C.Answer;
      };
    }
    TVMemStream S;
    L.SaveToStream(S);
    EXPECT_EQ(Bytes(S), C.Written);
    EXPECT_EQ(L.Saved, C.Saved);
    EXPECT_EQ(Asked, C.Asked);
  }

  // Characters below 256 are not lost: nobody is asked.
  TWideStringList L;
  L.Add(u"café");
  L.Unicode = false;
  bool Asked = false;
  L.OnQuerySave = [&](TWideStrings&, bool&) { Asked = true; };
  TVMemStream S;
  L.SaveToStream(S);
  EXPECT_FALSE(Asked);
}

class WideStringsFileTest : public WideStringsTest {
 protected:
  void SetUp() override {
    WideStringsTest::SetUp();
    Folder_ = std::filesystem::temp_directory_path() /
              ("scry_widestrings_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(Folder_);
  }
  void TearDown() override {
    std::filesystem::remove_all(Folder_);
    WideStringsTest::TearDown();
  }
  std::u16string Path(const char* Name) const {
    const std::string P = (Folder_ / Name).string();
    return std::u16string(P.begin(), P.end());
  }
  static std::string ReadFile(const std::u16string& Name) {
    return ReadFileBytes(std::string(Name.begin(), Name.end()));
  }
  std::filesystem::path Folder_;
};

// A save that is refused must leave the file as it was, not emptied.
TEST_F(WideStringsFileTest, RefusedSaveLeavesTheFileAlone) {
  const std::u16string Name = Path("list.txt");
  {
    std::ofstream Out(std::string(Name.begin(), Name.end()), std::ios::binary);
    Out << "keep me";
  }
  TWideStringList L;
  L.Add(u"Жук");
  L.Unicode = false;
  L.OnQuerySave = [](TWideStrings&, bool& Proceed) { Proceed = false; };
  L.SaveToFile(Name);
  EXPECT_FALSE(L.Saved);
  EXPECT_EQ(ReadFile(Name), "keep me");

  L.Unicode = true;
  L.SaveToFile(Name);
  EXPECT_TRUE(L.Saved);
  TWideStringList Back;
  Back.LoadFromFile(Name);
  EXPECT_TRUE(Back.Equals(L));
  EXPECT_TRUE(Back.Unicode);
}

TEST_F(WideStringsFileTest, LoadingAMissingFileRaisesTheSystemError) {
  TWideStringList L;
  try {
    L.LoadFromFile(Path("missing.txt"));
    FAIL() << "no exception";
  } catch (const EWin32Error& E) {
    EXPECT_EQ(E.ErrorCode, 2);
  }
}

TEST_F(WideStringsTest, LookupsMovesAndObjects) {
  TWideStringList L;
  int A = 0, B = 0;
  L.AddObject(u"Äpfel", &A);
  L.AddObject(u"Birne", &B);
  L.Add(u"Zitrone");
  EXPECT_EQ(L.IndexOf(u"äPFEL"), 0);
  EXPECT_EQ(L.IndexOf(u"Apfel"), -1);
  L.Exchange(0, 1);
  EXPECT_EQ(Items(L), (TItems{u"Birne", u"Äpfel", u"Zitrone"}));
  EXPECT_EQ(L.GetObject(0), &B);
  EXPECT_EQ(L.GetObject(1), &A);
  L.Move(0, 2);
  EXPECT_EQ(Items(L), (TItems{u"Äpfel", u"Zitrone", u"Birne"}));
  EXPECT_EQ(L.GetObject(2), &B);

  TWideStringList Other;
  Other.Assign(L);
  EXPECT_TRUE(Other.Equals(L));
  EXPECT_EQ(Other.GetObject(0), &A);
  Other.Put(0, u"äpfel");
  EXPECT_FALSE(Other.Equals(L));
  Other.AddWideStrings(Other);
  EXPECT_EQ(Other.GetCount(), 6);

  try {
    L.Get(5);
    FAIL() << "no exception";
  } catch (const EStringListError& E) {
    EXPECT_EQ(E.Message(), "List index out of bounds (5)");
  }
}

class TUpdateCounter : public TWideStringList {
 public:
  void SetUpdateState(bool Updating) override { States.push_back(Updating); }
  std::vector<bool> States;
};

TEST_F(WideStringsTest, BulkOperationsRunBetweenBeginAndEndUpdate) {
  TUpdateCounter L;
  L.SetTextStr(u"a\nb");
  L.SetCommaText(u"x,y");
  EXPECT_EQ(L.States, (std::vector<bool>{true, false, true, false}));
  L.States.clear();
  L.BeginUpdate();
  L.SetTextStr(u"c");
  Load(L, "d");
  L.EndUpdate();
  EXPECT_EQ(L.States, (std::vector<bool>{true, false}));
  EXPECT_EQ(L.GetUpdateCount(), 0);
}

TEST_F(WideStringsTest, EightBitListsUseTheLocaleCodePage) {
  TWideStringList L;
  L.SetLocale(0x0419);  // Russian: code page 1251
  int Obj = 0;
  L.AddObject(u"Жук", &Obj);
  L.Add(u"é");
  TStringList Narrow;
  L.AssignTo(Narrow);
  ASSERT_EQ(Narrow.GetCount(), 2);
  EXPECT_EQ(Narrow.Get(0), "\xC6\xF3\xEA");
  EXPECT_EQ(Narrow.Get(1), "?");  // no é in windows-1251
  EXPECT_EQ(Narrow.GetObject(0), &Obj);

  TWideStringList Back;
  Back.SetLocale(0x0419);
  Back.Assign(Narrow);
  EXPECT_EQ(Items(Back), (TItems{u"Жук", u"?"}));
  EXPECT_EQ(Back.GetObject(0), &Obj);

  EXPECT_EQ(LocaleAnsiCodePage(0x0419), 1251);
  EXPECT_EQ(LocaleAnsiCodePage(qvnls::kLocaleUserDefault), 1252);
  EXPECT_EQ(ConvertCodePage("\xC6", 1251, 866), "\x86");
  EXPECT_EQ(AnsiToWideCP("\x80", 1252), u"€");
  EXPECT_EQ(WideToAnsiCP(u"€ж", 65001), "\xE2\x82\xAC\xD0\xB6");
}

TEST_F(WideStringsTest, CaseSensitiveStringList) {
  TCSStringList CS;
  TStringList Plain;
  CS.Add("abc");
  Plain.Add("abc");
  EXPECT_EQ(CS.IndexOf("Abc"), -1);
  EXPECT_EQ(Plain.IndexOf("Abc"), 0);

  for (const char* S : {"b", "a", "B", "A", "b"}) CS.Add(S);
  CS.Sort();
  std::vector<std::string> Sorted;
  for (int32_t I = 0; I < CS.GetCount(); ++I) Sorted.push_back(CS.Get(I));
  EXPECT_EQ(Sorted, (std::vector<std::string>{"A", "B", "a", "abc", "b", "b"}));

  TCSStringList Dups;
  Dups.Duplicates = TDuplicates::dupAccept;
  Dups.SetSorted(true);
  for (const char* S : {"b", "a", "b", "c", "b", "B"}) Dups.Add(S);
  int32_t Index = -1;
  EXPECT_TRUE(Dups.Find("b", Index));
  EXPECT_EQ(Index, 2);  // the leftmost of the three "b"
  EXPECT_EQ(Dups.IndexOf("B"), 0);
  EXPECT_FALSE(Dups.Find("bb", Index));
  EXPECT_EQ(Index, 5);

  TStringList Once;
  Once.SetSorted(true);
  EXPECT_EQ(Once.Add("x"), 0);
  EXPECT_EQ(Once.Add("X"), 0);  // already there, case ignored
  Once.Duplicates = TDuplicates::dupError;
  EXPECT_THROW(Once.Add("x"), EStringListError);
  EXPECT_THROW(Once.Insert(0, "y"), EStringListError);
}

TEST_F(WideStringsTest, StringsEqualAndFreeListItems) {
  TStringList A, B;
  int O1 = 0, O2 = 0;
  A.AddObject("x", &O1);
  B.AddObject("x", &O2);
  EXPECT_TRUE(StringsEqual(&A, &A, true));
  EXPECT_TRUE(StringsEqual(&A, &B, false));
  EXPECT_FALSE(StringsEqual(&A, &B, true));
  EXPECT_FALSE(StringsEqual(&A, nullptr, false));
  EXPECT_TRUE(StringsEqual(nullptr, nullptr, false));
  B.PutObject(0, &O1);
  EXPECT_TRUE(StringsEqual(&A, &B, true));
  B.Put(0, "X");
  EXPECT_FALSE(StringsEqual(&A, &B, false));
  B.Add("y");
  EXPECT_FALSE(StringsEqual(&A, &B, false));

  struct TCounted : TObject {
    explicit TCounted(int& Live) : Live(Live) { ++Live; }
    ~TCounted() override { --Live; }
    int& Live;
  };
  int Live = 0;
  std::vector<TObject*> List{new TCounted(Live), nullptr, new TCounted(Live)};
  FreeListItems(&List);
  EXPECT_EQ(Live, 0);
  FreeListItems(nullptr);
}

}  // namespace
