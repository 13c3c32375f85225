// File-name conversion between the bytes of a Linux name and UTF-16: every byte string survives the round
// trip, and the file routines find a file again by its converted name.
#include "core/FileLayer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <random>
#include <string>

#include "core/StrLst.h"
#include "core/VFileStream.h"
#include "core/VFileSys.h"
#include "tests/core/FileFixtures.h"

namespace {

struct TNameCase {
  const char* What;
  std::string Bytes;
  std::u16string Wide;
};

const TNameCase kNameCases[] = {
    {"empty", "", u""},
    {"ASCII with a folder", "dir/a b.txt", u"dir/a b.txt"},
    {"two-byte character", "caf\xC3\xA9", u"caf\u00E9"},
    {"three-byte character", "\xE2\x82\xAC.txt", u"\u20AC.txt"},
    {"outside the BMP: a surrogate pair", "\xF0\x9F\x98\x80!", u"\U0001F600!"},
    {"highest code point", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
    {"byte 0xFF",
     "a\xFF"
     "b",
     u"a\xDCFF"
     "b"},
    {"lone continuation byte 0x80", "\x80", u"\xDC80"},
    {"three-byte sequence cut short", "x\xE2\x82y", u"x\xDCE2\xDC82y"},
    {"sequence cut short at the end", "x\xF0\x9F\x98", u"x\xDCF0\xDC9F\xDC98"},
    {"over-long form of /",
     "a\xC0\xAF"
     "b",
     u"a\xDCC0\xDCAF"
     "b"},
    {"three-byte over-long form of /", "\xE0\x80\xAF", u"\xDCE0\xDC80\xDCAF"},
    {"encoded surrogate", "\xED\xA0\x80", u"\xDCED\xDCA0\xDC80"},
    {"encoded escape itself", "\xED\xB2\x80", u"\xDCED\xDCB2\xDC80"},
    {"above U+10FFFF", "\xF4\x90\x80\x80", u"\xDCF4\xDC90\xDC80\xDC80"},
    {"five-byte lead", "\xF8\x88\x80\x80\x80", u"\xDCF8\xDC88\xDC80\xDC80\xDC80"},
    {"Latin-1 name",
     "Gr\xFC\xDF"
     "e",
     u"Gr\xDCFC\xDCDF"
     "e"},
    {"valid after invalid", "\xFF\xC3\xA9\xFE", u"\xDCFF\u00E9\xDCFE"},
    {"pair then escape", "\xF0\x9F\x98\x80\xFF", u"\U0001F600\xDCFF"},
};

TEST(FileNameConversion, BytesAndUtf16BothWays) {
  for (const TNameCase& C : kNameCases) {
    EXPECT_EQ(Utf8ToUtf16(C.Bytes), C.Wide) << C.What;
    EXPECT_EQ(Utf16ToUtf8(C.Wide), C.Bytes) << C.What;
  }
}

// UTF-16 that no name converts to has no bytes to give back: it becomes U+FFFD, never an ASCII byte (an
// escape below U+DC80 would otherwise give "/" or NUL).
TEST(FileNameConversion, SurrogatesWithoutBytesBecomeReplacement) {
  const std::string kReplacement = "\xEF\xBF\xBD";
  const struct {
    std::u16string Wide;
    std::string Bytes;
  } Cases[] = {
      {u"a\xD800", "a" + kReplacement},
      {u"\xD800"
       "b",
       kReplacement + "b"},
      {u"\xDBFF\xDBFF", kReplacement + kReplacement},
      {u"\xDC2F", kReplacement},  // below the escapes: not "/"
      {u"\xDC00", kReplacement},
      {u"\xDD00", kReplacement},  // above them
      {u"\xDFFF", kReplacement},
      {u"\xD800\xDC80", "\xF0\x90\x82\x80"},  // a high surrogate before an escape is a pair
  };
  for (const auto& C : Cases) EXPECT_EQ(Utf16ToUtf8(C.Wide), C.Bytes);
}

// Every name of up to two bytes and many longer ones come back byte for byte, and what they convert to
// holds no unpaired surrogate other than an escape.
TEST(FileNameConversion, EveryByteStringRoundTrips) {
  auto Check = [](const std::string& Bytes) {
    const std::u16string Wide = Utf8ToUtf16(Bytes);
    for (size_t I = 0; I < Wide.size(); ++I) {
      const char16_t C = Wide[I];
      if (C >= 0xD800 && C <= 0xDBFF) {
        if (I + 1 >= Wide.size() || Wide[I + 1] < 0xDC00 || Wide[I + 1] > 0xDFFF) return false;
        ++I;
      } else if (C >= 0xDC00 && C <= 0xDFFF && (C < 0xDC80 || C > 0xDCFF)) {
        return false;
      }
    }
    return Utf16ToUtf8(Wide) == Bytes;
  };
  for (int A = 0; A < 256; ++A) {
    ASSERT_TRUE(Check(std::string(1, static_cast<char>(A)))) << A;
    for (int B = 0; B < 256; ++B)
      ASSERT_TRUE(Check({static_cast<char>(A), static_cast<char>(B)})) << A << " " << B;
  }
  // Longer strings, drawn mostly from lead and continuation bytes so that sequences start, break off and
  // run together.
  std::mt19937 Random(20261210);
  const unsigned char kBytes[] = {'a',  '/',  0x7F, 0x80, 0x8F, 0x9F, 0xA0, 0xBF, 0xC0, 0xC1, 0xC2,
                                  0xDF, 0xE0, 0xE2, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xF8, 0xFE, 0xFF};
  for (int N = 0; N < 20000; ++N) {
    std::string Bytes(1 + Random() % 10, '\0');
    for (char& Ch : Bytes) Ch = static_cast<char>(kBytes[Random() % sizeof kBytes]);
    ASSERT_TRUE(Check(Bytes)) << testing::PrintToString(Bytes);
  }
}

// A folder and a file whose names are not UTF-8, reached by their UTF-16 names through the file routines.
class FileNamesOnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(mkdir(FolderBytes().c_str(), 0755), 0);
    WriteFileBytes(FileBytes(), "abcdef");
    ASSERT_TRUE(SetFileWriteTime(FileBytes(), kWritten));
  }
  std::string FolderBytes() const { return Temp_ / "d\xFF"; }
  std::string FileBytes() const { return FolderBytes() + "/f\x80\xE2\x82.txt"; }

  static constexpr TDateTime kWritten = 46000.5;  // a whole second, in 2025
  TTempFolder Temp_;
};

TEST_F(FileNamesOnDisk, ListedStatedOpenedCopiedAndDeleted) {
  const std::u16string Folder = Utf8ToUtf16(FolderBytes());
  const std::u16string File = Utf8ToUtf16(FileBytes());
  EXPECT_TRUE(WideDirExists(Folder));
  EXPECT_TRUE(WideFileExists(File));

  TWideStrLst Subdirs;
  ASSERT_EQ(WideListSubdirs(Subdirs, Utf8ToUtf16(Temp_.Path), u"*"), 1);
  EXPECT_EQ(Utf16ToUtf8(Subdirs.Get(0)), "d\xFF");
  TWideStrLst Files;
  ASSERT_EQ(WideListFiles(Files, Folder, u"*.txt", false), 1);
  EXPECT_EQ(Files.Get(0), File);

  int64_t Size = -1;
  TDateTime Written = 0;
  ASSERT_TRUE(WideGetFileInfo(File, &Size, &Written, nullptr, nullptr, nullptr));
  EXPECT_EQ(Size, 6);
  TDateTime Expected = 0;
  ASSERT_TRUE(GetFileInfo(FileBytes(), nullptr, &Expected, nullptr, nullptr, nullptr));
  EXPECT_EQ(Written, Expected);

  char Head[3] = {};
  ASSERT_TRUE(WideReadFileBytes(File, Head, 3, 1));
  EXPECT_EQ(std::string(Head, 3), "bcd");
  {
    TVFileStream Stream(File, fmOpenRead);
    EXPECT_EQ(Stream.GetSize(), 6);
  }

  // A name given relative to a folder part made absolute keeps its bytes.
  EXPECT_EQ(Utf16ToUtf8(WideExpandFileName(Utf8ToUtf16(FolderBytes() + "/./x/../f\x80\xE2\x82.txt"))),
            FileBytes());

  const std::u16string Copy = Folder + u"/c\xDCFE";
  ASSERT_TRUE(WideCopyFile(File, Copy, true));
  EXPECT_EQ(ReadFileBytes(FolderBytes() + "/c\xFE"), "abcdef");
  EXPECT_FALSE(WideCopyFile(File, Copy, true));  // there already
  EXPECT_TRUE(ForceDeleteFile(Utf16ToUtf8(Copy)));
  EXPECT_FALSE(FileExists(FolderBytes() + "/c\xFE"));
}

// Temporary files go to $TMPDIR, whose name need not be UTF-8 either.
TEST_F(FileNamesOnDisk, TemporaryFileInAFolderThatIsNotUtf8) {
  const char* Old = std::getenv("TMPDIR");
  const std::string Saved = Old != nullptr ? Old : "";
  setenv("TMPDIR", FolderBytes().c_str(), 1);
  std::string Name;
  const bool Made = MakeTempFileName(Name, "QVX", 0);
  const std::u16string WideTemp = WideGetTempDir();
  if (Old != nullptr)
    setenv("TMPDIR", Saved.c_str(), 1);
  else
    unsetenv("TMPDIR");
  ASSERT_TRUE(Made);
  EXPECT_EQ(Name.compare(0, FolderBytes().size() + 4, FolderBytes() + "/QVX"), 0) << Name;
  EXPECT_TRUE(WideFileExists(Utf8ToUtf16(Name)));
  EXPECT_EQ(Utf16ToUtf8(WideTemp), FolderBytes() + "/");
}

}  // namespace
