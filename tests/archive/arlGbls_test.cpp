#include "archive/arlGbls.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

#include "platform/qvnls/Qvnls.h"

namespace {

namespace fs = std::filesystem;

// A TDateTime built independently of the code under test: days from 1899-12-30 by the Gregorian rule.
TDateTime Date(int Y, int M, int D, int Hh = 0, int Mm = 0, int Ss = 0) {
  struct tm T = {};
  T.tm_year = Y - 1900;
  T.tm_mon = M - 1;
  T.tm_mday = D;
  T.tm_hour = Hh;
  T.tm_min = Mm;
  T.tm_sec = Ss;
  return 25569.0 + static_cast<double>(timegm(&T)) / 86400.0;
}

// Compares dates to a tenth of a second.
#define EXPECT_DATE(actual, expected) EXPECT_NEAR((actual), (expected), 0.1 / 86400)

TEST(InternalMask, Table) {
  struct Case {
    const char* Mask;
    const char* Name;
    bool Match;
  };
  const Case Cases[] = {
      {"*.TXT", "readme.txt", true},
      {"read??.txt", "read1.txt", false},
      {"read??.txt", "read12.txt", true},
      {"*.", "README", true},
      {"*.", "readme.txt", false},
      {"a*b*c", "aXbYbZc", true},  // backtracks over the first b
      {"a*b*c", "aXbYbZ", false},
      {"*?", "", true},  // the "?" after the star adds nothing
      {"?", "", false},
      {"*", "", true},
      {"", "", true},
      {"", "a", false},
      {"*.*", "noext", false},
      {"[a].txt", "[A].TXT", true},  // "[" is an ordinary character
      {"[a].txt", "a.txt", false},
      {"?.txt", "\xC3\xA4.txt", true},  // "?" takes a whole UTF-8 character
      {"??.txt", "\xC3\xA4.txt", false},
      {"\xC3\xA4*", "\xC3\xA4rger", true},
      {"*x", "x*x", true},
      {"*a*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
  };
  for (const Case& C : Cases)
    EXPECT_EQ(MatchInternalMask(C.Name, C.Mask), C.Match) << C.Mask << " / " << C.Name;
}

TEST(InternalMask, SetItemsMatchUpperCasedBytes) {
  TInternalMask Mask("x");
  Mask.Items[0].Kind = TInternalMask::ikSet;
  Mask.Items[0].Set.set('A');
  Mask.Items[0].Set.set('B');
  EXPECT_TRUE(Mask.Matches("a"));
  EXPECT_TRUE(Mask.Matches("B"));
  EXPECT_FALSE(Mask.Matches("c"));
  EXPECT_FALSE(Mask.Matches(""));
}

TEST(ArcPaths, NamesAndSeparators) {
  EXPECT_EQ(AppendPath("", "x"), "");
  EXPECT_EQ(AppendPath("/tmp", "x"), "/tmp/x");
  EXPECT_EQ(AppendPath("/tmp/", "x"), "/tmp/x");
  EXPECT_EQ(IncludeItemSeparator(""), "");
  EXPECT_EQ(IncludeItemSeparator("a"), "a/");
  EXPECT_EQ(IncludeItemSeparator("a/"), "a/");
  EXPECT_EQ(BackslashesToSlashes("a\\b\\c"), "a/b/c");
  EXPECT_EQ(NormalizeNameSlashes("  dir\\sub\xFF"
                                 "file.txt "),
            "dir/sub/file.txt");
  // The second byte of a double-byte character is kept even when it looks like a separator.
  EXPECT_EQ(NormalizeNameSlashes("\x81\\x\\y"), "\x81\\x/y");
  EXPECT_EQ(NormalizeNameSlashes("\xE0\xFF"), "\xE0\xFF");
  EXPECT_EQ(NormalizeNameSlashes("   "), "");
  EXPECT_EQ(ConvertItemName("", true), "");
  EXPECT_EQ(ConvertItemName("a\\b", false), "a/b");
  // From the OEM page (850: byte 84 is a-umlaut) to UTF-8.
  ASSERT_TRUE(qvnls::SetSystemCodePages(1252, 850));
  EXPECT_EQ(ConvertItemName("\x84rger\\x", true), "\xC3\xA4rger/x");
  qvnls::ResetSystemCodePages();

  EXPECT_EQ(FirstDotPos("a.b.c"), 1);
  EXPECT_EQ(FirstDotPos("abc"), 3);
  struct Case {
    const char* Name;
    const char* Backup;
  };
  const Case Backups[] = {
      {"file.txt", "file.~tx"}, {"file.ab", "file.~ab"}, {"readme", "readme.~"},
      {"a.b.html", "a.~htm"},   {"name.", "name.~"},     {".profile", ".~profil"},
  };
  for (const Case& C : Backups) EXPECT_EQ(TempBackupName(C.Name), C.Backup) << C.Name;

  EXPECT_TRUE(IsUncPath("//server/share"));
  EXPECT_FALSE(IsUncPath("//"));
  EXPECT_FALSE(IsUncPath("/usr"));

  std::string S = "key=value=more";
  std::string Head;
  SplitAtDelimiter(S, '=', Head);
  EXPECT_EQ(Head, "key");
  EXPECT_EQ(S, "value=more");
  S = "plain";
  SplitAtDelimiter(S, '=', Head);
  EXPECT_EQ(Head, "plain");
  EXPECT_EQ(S, "");

  EXPECT_TRUE(IsAllDigits(""));
  EXPECT_TRUE(IsAllDigits("0123"));
  EXPECT_FALSE(IsAllDigits("12a"));
}

TEST(ArcPaths, ForceDirectoriesAndTempFolder) {
  fs::path Base = fs::temp_directory_path() / ("arlgbls-" + std::to_string(::getpid()));
  std::string Deep = (Base / "a b" / "c:d" / "e").string();
  EXPECT_TRUE(ForceDirectories(Deep));
  EXPECT_TRUE(FolderExists(Deep));
  EXPECT_TRUE(ForceDirectories(Deep));  // already there
  std::string File = (Base / "plain").string();
  FILE* F = fopen(File.c_str(), "w");
  ASSERT_NE(F, nullptr);
  fclose(F);
  EXPECT_FALSE(ForceDirectories(File + "/below"));
  EXPECT_FALSE(FolderExists(File));
  fs::remove_all(Base);

  std::string Temp = GetTempPathString();
  ASSERT_FALSE(Temp.empty());
  EXPECT_EQ(Temp.back(), '/');
}

TEST(ArcNumbers, PercentSwapAndOctal) {
  EXPECT_EQ(Percent(0, 5), 0);
  EXPECT_EQ(Percent(3, 5), 100);
  EXPECT_EQ(Percent(200, 50), 25);
  EXPECT_EQ(Percent(3, 1), 33);
  EXPECT_EQ(Percent(3, 2), 67);
  EXPECT_EQ(Percent(10, -1), 0);
  EXPECT_EQ(Percent(-10, 1), 0);
  EXPECT_EQ(Percent(NAN, 1), 0);
  EXPECT_EQ(PercentOf(1, 3), 33u);
  EXPECT_EQ(PercentOf(5, 0), 0u);
  EXPECT_EQ(PercentOf(0xFFFFFFFF, 0xFFFFFFFF), 100u);
  EXPECT_EQ(PercentOf(7, 3), 100u);
  EXPECT_EQ(MinUnsigned(3, 0xFFFFFFFF), 3u);
  EXPECT_EQ(SwapWords(0x12345678), 0x56781234u);

  // Non-digits are skipped, not taken as the end of the field.
  EXPECT_EQ(OctalToInt("0000644 "), 420);
  EXPECT_EQ(OctalToInt(std::string(" 644\0", 5)), 420);
  EXPECT_EQ(OctalToInt(std::string("6 4\0"
                                   "4",
                                   5)),
            420);
  EXPECT_EQ(OctalToInt(""), 0);
  EXPECT_EQ(OctalToInt("98"), 0);
  EXPECT_EQ(OctalToInt(std::string(40, '7')), INT64_MAX);
}

TEST(ArcDates, DosStamps) {
  EXPECT_DATE(DosDateTimeToDateTime(0), Date(1980, 1, 1, 0, 1, 0));
  // 2004-06-15 13:45:58: year 24, month 6, day 15, hour 13, minute 45, 29 two-second units.
  const uint32_t Stamp = (24u << 25) | (6u << 21) | (15u << 16) | (13u << 11) | (45u << 5) | 29u;
  EXPECT_DATE(DosDateTimeToDateTime(Stamp), Date(2004, 6, 15, 13, 45, 58));
  const uint32_t Invalid[] = {
      (24u << 25) | (13u << 21) | (1u << 16),                // month 13
      (24u << 25) | (2u << 21) | (30u << 16),                // 30 February
      (24u << 25) | (6u << 21) | (15u << 16) | 30u,          // 60 seconds
      (24u << 25) | (6u << 21) | (15u << 16) | (24u << 11),  // hour 24
      (24u << 25) | (6u << 21),                              // day 0
  };
  for (uint32_t X : Invalid)
    EXPECT_DATE(DosDateTimeToDateTime(X), Date(1980, 1, 1, 0, 1, 0)) << std::hex << X;
}

// Sets TZ for one test and restores it afterwards.
class ZoneTest : public ::testing::Test {
 protected:
  void SetZone(const char* Tz) {
    setenv("TZ", Tz, 1);
    tzset();
  }
  void TearDown() override {
    if (Had_)
      setenv("TZ", Saved_.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }

 private:
  bool Had_ = std::getenv("TZ") != nullptr;
  std::string Saved_ = Had_ ? std::getenv("TZ") : "";
};

TEST_F(ZoneTest, UnixStamps) {
  SetZone("UTC0");
  EXPECT_DATE(UnixToUtcDateTime(86399), Date(1970, 1, 1, 23, 59, 59));
  EXPECT_DATE(UnixToDateTime(86399), Date(1970, 1, 1, 23, 59, 59));
  EXPECT_DATE(UnixToDateTime(0), Date(1980, 1, 1, 0, 1, 0));
  // 2100 is not a leap year: 2100-03-01 follows 2100-02-28.
  EXPECT_DATE(UnixToDateTime(4107542400), Date(2100, 3, 1));
  // A time before 1970 stays before 1970.
  EXPECT_DATE(UnixToDateTime(-1), Date(1969, 12, 31, 23, 59, 59));
  EXPECT_DATE(UnixToDateTime(-86400 * 366), Date(1968, 12, 31));
}

TEST_F(ZoneTest, LocalTimeWithDaylightSaving) {
  // Central European time: UTC+1, and UTC+2 from the last Sunday of March to the last of October.
  SetZone("CET-1CEST,M3.5.0,M10.5.0/3");
  EXPECT_DATE(UtcToLocal(Date(2021, 7, 1, 12, 0, 0)), Date(2021, 7, 1, 14, 0, 0));
  EXPECT_DATE(UtcToLocal(Date(2021, 1, 15, 23, 30, 0)), Date(2021, 1, 16, 0, 30, 0));
  EXPECT_DATE(UnixToDateTime(1625140800), Date(2021, 7, 1, 14, 0, 0));  // 2021-07-01 12:00 UTC
  EXPECT_TRUE(IsDaylightTime(Date(2021, 7, 1, 12, 0, 0)));
  EXPECT_FALSE(IsDaylightTime(Date(2021, 12, 1, 12, 0, 0)));
  EXPECT_FALSE(IsDaylightTime(Date(2021, 3, 28, 1, 59, 0)));
  EXPECT_TRUE(IsDaylightTime(Date(2021, 3, 28, 3, 0, 0)));
  // Southern hemisphere: daylight time over the turn of the year.
  SetZone("AEST-10AEDT,M10.1.0,M4.1.0/3");
  EXPECT_TRUE(IsDaylightTime(Date(2021, 1, 10, 12, 0, 0)));
  EXPECT_FALSE(IsDaylightTime(Date(2021, 7, 10, 12, 0, 0)));
  SetZone("UTC0");
  EXPECT_FALSE(IsDaylightTime(Date(2021, 7, 1, 12, 0, 0)));
}

TEST(ArcDates, AddMonths) {
  struct Case {
    int32_t Months;
    TDateTime From;
    TDateTime To;
  };
  const Case Cases[] = {
      {1, Date(2023, 1, 31, 6, 30), Date(2023, 2, 28, 6, 30)},
      {1, Date(2024, 1, 31), Date(2024, 2, 29)},
      {-1, Date(2024, 3, 31), Date(2024, 2, 29)},
      {12, Date(2023, 5, 10), Date(2024, 5, 10)},
      {-13, Date(2024, 1, 15), Date(2022, 12, 15)},
      {1, Date(1900, 1, 31), Date(1900, 2, 28)},  // 1900 is not a leap year
      {0, Date(2024, 2, 29), Date(2024, 2, 29)},
  };
  for (const Case& C : Cases) EXPECT_DATE(AddMonths(C.Months, C.From), C.To) << C.Months;
}

}  // namespace
