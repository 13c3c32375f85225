#include "app/WHistList.h"

#include <gtest/gtest.h>

#include "app/Options.h"
#include "core/WideStrings.h"
#include "tests/app/AppFixtures.h"

namespace {

std::vector<std::u16string> ItemsOf(const TWideStrings& L) {
  std::vector<std::u16string> R;
  for (int32_t I = 0; I < L.GetCount(); ++I) R.push_back(L.Get(I));
  return R;
}

void Fill(TWideStrings& L, const std::vector<std::u16string>& Items) {
  L.Clear();
  for (const auto& S : Items) L.Add(S);
}

TEST(History, TheNewestEntryComesFirstAndOnce) {
  struct TCase {
    std::vector<std::u16string> Before;
    const char16_t* Text;
    bool CaseSensitive;
    std::vector<std::u16string> After;
  } Cases[] = {
      {{u"ABC", u"x"}, u"abc", false, {u"abc", u"x"}},         // paths and masks: without case
      {{u"ABC", u"x"}, u"abc", true, {u"abc", u"ABC", u"x"}},  // the pattern: with case
      {{u"a", u"b", u"c"}, u"c", true, {u"c", u"a", u"b"}},
      {{u"a", u"b"}, u"", false, {u"a", u"b"}},  // an empty text is not kept
      {{}, u"\u00C4rger", false, {u"\u00C4rger"}},
      {{u"\u00E4rger", u"y"}, u"\u00C4RGER", false, {u"\u00C4RGER", u"y"}},
  };
  for (const auto& C : Cases) {
    TWideStringList L;
    Fill(L, C.Before);
    AddToHistory(L, C.Text, C.CaseSensitive);
    EXPECT_EQ(ItemsOf(L), C.After);
  }
}

TEST(History, The33rdEntryDropsTheOldest) {
  TWideStringList L;
  for (int I = 1; I <= kMaxHistoryItems; ++I) {
    const std::string N = std::to_string(I);
    AddToHistory(L, u"entry " + std::u16string(N.begin(), N.end()), false);
  }
  ASSERT_EQ(L.GetCount(), 32);
  const std::u16string Oldest = L.Get(31), Second = L.Get(30);
  AddToHistory(L, u"new", false);
  EXPECT_EQ(L.GetCount(), 32);
  EXPECT_EQ(L.Get(0), u"new");
  EXPECT_EQ(L.Get(31), Second);
  EXPECT_EQ(L.IndexOf(Oldest), -1);
  AddToHistory(L, Second, false);  // a known entry moves up and nothing else drops
  EXPECT_EQ(L.GetCount(), 32);
  EXPECT_EQ(L.Get(0), Second);
}

class HistoryInRegistry : public ::testing::Test {
 protected:
  std::string Raw(const std::string& Name) {
    TRegKey Key;
    TRegValue V;
    EXPECT_EQ(RegStore().OpenKey(TRegRoot::CurrentUser, kProgramRegKey, false, Key), TRegStatus::Ok);
    EXPECT_EQ(RegStore().ReadValue(Key, Name, V), TRegStatus::Ok);
    EXPECT_EQ(V.Type, REG_BINARY);
    return V.Data;
  }
  void WriteRaw(const std::string& Name, const std::string& Bytes) {
    ASSERT_TRUE(
        RegWriteValue(kProgramRegKey, Name, Bytes.data(), static_cast<uint32_t>(Bytes.size()), REG_BINARY));
  }
  static std::string Utf16Le(const std::u16string& S) {
    std::string B;
    for (char16_t C : S) {
      B += static_cast<char>(C & 0xFF);
      B += static_cast<char>(C >> 8);
    }
    return B;
  }

  TRegistrySandbox Registry_;
};

TEST_F(HistoryInRegistry, ListsAreStoredAsUtf16CommaTextAndReadBack) {
  TWideStringList L;
  Fill(L, {u"plain", u"a,b", u"say \"hi\"", u"two words", u"\u0434\u0430", u""});
  ASSERT_TRUE(SaveHistory(kProgramRegKey, "Pattern", L));
  const std::string Bytes = Raw("Pattern");
  EXPECT_EQ(Bytes, Utf16Le(u"plain,\"a,b\",\"say \"\"hi\"\"\",\"two words\",\u0434\u0430,\"\""));

  TWideStringList Back;
  Back.Add(u"stale");
  LoadHistory(kProgramRegKey, "Pattern", Back);
  EXPECT_EQ(ItemsOf(Back), ItemsOf(L));

  LoadHistory(kProgramRegKey, "Missing", Back);
  EXPECT_EQ(Back.GetCount(), 0);
  LoadHistory("Software\\Nobody\\Here", "Pattern", Back);
  EXPECT_EQ(Back.GetCount(), 0);
}

TEST_F(HistoryInRegistry, DamagedValuesAreCutCleanly) {
  struct TCase {
    std::string Bytes;
    std::vector<std::u16string> Items;
  } Cases[] = {
      {Utf16Le(u"a,b") + "c", {u"a", u"b"}},                                    // an odd last byte
      {Utf16Le(u"a,b") + std::string(2, '\0') + Utf16Le(u",c"), {u"a", u"b"}},  // a NUL ends the text
      {Utf16Le(u"x,\"open"), {u"x", u"\"open"}},                                // an unclosed quote
      {"", {}},
  };
  for (const auto& C : Cases) {
    WriteRaw("Masks", C.Bytes);
    TWideStringList L;
    LoadHistory(kProgramRegKey, "Masks", L);
    EXPECT_EQ(ItemsOf(L), C.Items) << C.Bytes.size();
  }
  // Only the first 0x8000 bytes of a longer value are read.
  std::u16string Long(kMaxHistoryBytes / 2 - 2, u'x');
  WriteRaw("Masks", Utf16Le(Long + u",yz,more"));
  TWideStringList L;
  LoadHistory(kProgramRegKey, "Masks", L);
  EXPECT_EQ(ItemsOf(L), (std::vector<std::u16string>{Long, u"y"}));
}

TEST_F(HistoryInRegistry, BoxesKeepTheirTextAndSaveTheirItems) {
  TWideStringList Items;
  LoadComboHistory(Items, u"typed", "Paths");
  EXPECT_EQ(ItemsOf(Items), std::vector<std::u16string>{u"typed"});
  LoadComboHistory(Items, u"", "Paths");
  EXPECT_EQ(Items.GetCount(), 0);

  Fill(Items, {u"/b", u"/A"});
  std::u16string Text = u"/a";
  ASSERT_TRUE(SaveComboHistory(Items, Text, "Paths", false));
  EXPECT_EQ(Text, u"/a");
  EXPECT_EQ(Raw("Paths"), Utf16Le(u"/a,/b"));
  LoadComboHistory(Items, u"ignored", "Paths");
  EXPECT_EQ(ItemsOf(Items), (std::vector<std::u16string>{u"/a", u"/b"}));
}

}  // namespace
