#include "archive/arlBase.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "archive/arlDisks.h"
#include "core/FileLayer.h"
#include "core/WinUtils.h"
#include "tests/TestFiles.h"
#include "tests/archive/arlTestSupport.h"

namespace {

namespace fs = std::filesystem;

// A small archive format of the tests, read by TTestDecoder through the frame. Each item:
//   name length (1 byte), name, size (4), stored CRC-32 (4), flags (1), then for flag 1 (encrypted) a
//   12-byte encryption header, then the data.
// The stored CRC is the usual CRC-32 (the complement of the register), or with flag 2 the register.
struct TTestItem {
  std::string Name;
  std::string Data;
  uint8_t Flags = 0;
  bool BadCrc = false;
};

void PutLE32(std::string& S, uint32_t V) {
  for (int i = 0; i < 4; ++i) S += static_cast<char>((V >> (8 * i)) & 0xFF);
}

std::string BuildArchive(const std::vector<TTestItem>& Items) {
  std::string s;
  for (const auto& it : Items) {
    s += static_cast<char>(it.Name.size());
    s += it.Name;
    PutLE32(s, static_cast<uint32_t>(it.Data.size()));
    uint32_t reg = UpdateCrc32(0xFFFFFFFF, it.Data.data(), static_cast<int32_t>(it.Data.size()));
    uint32_t stored = (it.Flags & 2) ? reg : ~reg;
    if (it.BadCrc) stored ^= 1;
    PutLE32(s, stored);
    s += static_cast<char>(it.Flags);
    if (it.Flags & 1) s += std::string(12, 'E');
    s += it.Data;
  }
  return s;
}

// 2020-05-06 07:08:10 as a packed DOS stamp.
constexpr uint32_t kStamp = (40u << 25) | (5u << 21) | (6u << 16) | (7u << 11) | (8u << 5) | 5u;

class TTestDecoder : public TUnBase {
 public:
  // An item of this name makes the decoder raise a stream error (a torn archive).
  std::string ThrowAt;
  int PasswordChecks = 0;

 protected:
  void ExtractArchive(TStream32* Stream) override {
    for (;;) {
      uint8_t len = 0;
      if (Stream->Read(&len, 1) != 1) return;
      const std::string name = ReadHeaderBytes(Stream, len);
      uint8_t fixed[9];
      if (name.size() != len || Stream->Read(fixed, 9) != 9) RaiseError(name, errBadFileHeader);
      Item = TArlItem{};
      Item.Name = name;
      Item.UnpackedSize = Item.PackedSize = GetLE32(fixed);
      Item.Crc = GetLE32(fixed + 4);
      Item.Flags = fixed[8];
      Item.DosDateTime = kStamp;
      Item.Attributes = faArchive;
      const int64_t headerEnd = Stream->Position();
      const int64_t dataStart = headerEnd + ((Item.Flags & 1) ? kEncryptionHeaderSize : 0);
      const int64_t next = dataStart + Item.PackedSize;
      if (name == ThrowAt) throw EReadError();
      if (MatchFileSpec(name, FileSpec, {}, true)) ExtractOne(*Stream, headerEnd, dataStart);
      if (GetCancel()) return;
      Stream->Seek(next, soBeginning);
    }
  }

  bool CheckPassword(const uint8_t* Header) override {
    ++PasswordChecks;
    return Header[0] == 'E' && Password == "secret";
  }

 private:
  void ExtractOne(TStream32& Stream, int64_t HeaderEnd, int64_t DataStart) {
    CurrentOutputName = IsFileOutput() ? BuildOutputName(Item.Name) : Item.Name;
    if (!BeginItem(OutputMode == omTest)) return;
    if ((Item.Flags & 1) && !VerifyPassword(Stream, HeaderEnd)) {
      --FileIndex;  // an item that could not be opened is not counted
      return;
    }
    Crc32Reg = 0xFFFFFFFF;
    if (!OpenOutput(Item.Name, CurrentOutputName)) return;
    Stream.Seek(DataStart, soBeginning);
    CopyStored(&Stream, Item.PackedSize, ckCrc32, false);
    CloseOutput(Item.Attributes, Item.DosDateTime, CurrentOutputName);
    CheckCrc(ckCrc32, Item.Crc);
  }
};

using arltest::TReport;

class ArlBase : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir = arltest::MakeTestDir("arlbase");
    fs::create_directories(Dir / "out");
    Dec.OnError = arltest::CollectReports(Reports);
  }
  void TearDown() override { arltest::RemoveTestDir(Dir); }

  void UseArchive(const std::vector<TTestItem>& Items) {
    const fs::path p = Dir / "test.tst";
    std::ofstream(p, std::ios::binary) << BuildArchive(Items);
    Dec.SetArchiveFile(p.string());
    ASSERT_EQ(Dec.ArchiveFile, p.string());
    Dec.SetExtractDir((Dir / "out").string());
    Dec.FileSpec = {"*.*"};
  }
  std::string Out(const std::string& Rel) const { return ReadFileBytes(Dir / "out" / Rel); }
  std::vector<int32_t> Codes() const {
    std::vector<int32_t> c;
    for (const auto& r : Reports) c.push_back(r.Code);
    return c;
  }

  fs::path Dir;
  TTestDecoder Dec;
  std::vector<TReport> Reports;
};

// --- Runs ---------------------------------------------------------------------------------------------

TEST_F(ArlBase, ExtractToFilesWritesEveryItemBelowTheOutputFolder) {
  UseArchive({{"a.txt", "alpha\n"},
              {"sub/deeper/b.txt", "beta\n"},
              {"README", "no extension"},
              {"raw.bin", "register stored", 2}});
  std::vector<std::string> begun, ended;
  Dec.OnBegin = [&](TZipCommon*, TArlBeginItem& Item) { begun.push_back(Item.FileName); };
  Dec.OnEnd = [&](TZipCommon*, const std::string& Name, bool Ok) {
    if (Ok) ended.push_back(Name);
  };
  int activations = 0;
  Dec.OnActivate = [&](TZipCommon*) { ++activations; };
  Dec.OnDeactivate = [&](TZipCommon*) { ++activations; };
  EXPECT_EQ(Dec.ExtractToFiles(), 4);
  EXPECT_EQ(Out("a.txt"), "alpha\n");
  EXPECT_EQ(Out("sub/deeper/b.txt"), "beta\n");
  EXPECT_EQ(Out("README"), "no extension");
  EXPECT_EQ(Out("raw.bin"), "register stored");  // a stored register passes as well as its complement
  EXPECT_EQ(begun.size(), 4u);
  EXPECT_EQ(begun[1], (Dir / "out" / "sub/deeper/b.txt").string());
  EXPECT_EQ(ended.size(), 4u);
  EXPECT_EQ(activations, 2);
  EXPECT_TRUE(Reports.empty());
  // The stored date is the file's date.
  struct stat st {};
  ASSERT_EQ(::stat((Dir / "out" / "a.txt").c_str(), &st), 0);
  struct tm lt {};
  localtime_r(&st.st_mtime, &lt);
  EXPECT_EQ(lt.tm_year + 1900, 2020);
  EXPECT_EQ(lt.tm_hour, 7);
  EXPECT_EQ(lt.tm_sec, 10);

  // Without the stored folders every item lands in the output folder itself.
  Dec.UseStoredDirs = false;
  fs::remove_all(Dir / "out");
  EXPECT_EQ(Dec.ExtractToFiles(), 4);
  EXPECT_EQ(Out("b.txt"), "beta\n");
}

TEST_F(ArlBase, StoredNamesNeverLeaveTheOutputFolder) {
  // Stored names that climb out with ".." are refused; a root or drive in front is dropped.
  UseArchive({{"../evil.txt", "x"},
              {"a/../../evil2.txt", "x"},
              {"/abs.txt", "root"},
              {"C:/dos.txt", "drive"},
              {"x/./y/../z.txt", "zed"},
              {"..", "x"}});
  EXPECT_EQ(Dec.ExtractToFiles(), 3);
  EXPECT_FALSE(fs::exists(Dir / "evil.txt"));
  EXPECT_FALSE(fs::exists(Dir / "evil2.txt"));
  EXPECT_EQ(Out("abs.txt"), "root");
  EXPECT_EQ(Out("dos.txt"), "drive");
  EXPECT_EQ(Out("x/z.txt"), "zed");
  ASSERT_EQ(Reports.size(), 3u);
  for (const auto& r : Reports) EXPECT_EQ(r.Code, errInvalidFileName) << r.FileName;
  EXPECT_EQ(Reports[0].FileName, "../evil.txt");
}

TEST_F(ArlBase, BuildOutputNameTable) {
  Dec.ExtractDir = "/dest/";
  struct Row {
    const char* Item;
    bool Stored;
    const char* Out;
  };
  const Row rows[] = {
      {"a.txt", true, "/dest/a.txt"},
      {"d/e/a.txt", true, "/dest/d/e/a.txt"},
      {"d/e/a.txt", false, "/dest/a.txt"},
      {"//x//y.txt", true, "/dest/x/y.txt"},
      {"d/../a.txt", true, "/dest/a.txt"},
      {"d/../../a.txt", true, ""},
      {"d/../../a.txt", false, "/dest/a.txt"},
      {"folder/", true, "/dest/folder/"},
      {"..", false, ""},
      {"", true, ""},
  };
  for (const auto& r : rows) {
    Dec.UseStoredDirs = r.Stored;
    EXPECT_EQ(Dec.BuildOutputName(r.Item), r.Out) << r.Item;
  }
  // A relative output folder is taken from the current folder.
  Dec.ExtractDir = "rel/";
  Dec.UseStoredDirs = true;
  EXPECT_EQ(Dec.BuildOutputName("a.txt"), fs::current_path().string() + "/rel/a.txt");
}

TEST_F(ArlBase, ExtractToMemoryStreamIndexesEachItem) {
  UseArchive({{"one.txt", "first item"}, {"two/two.txt", "second"}, {"empty.txt", ""}});
  TDecompMemoryStream mem;
  EXPECT_EQ(Dec.ExtractToMemoryStream(&mem), 3);
  EXPECT_EQ(mem.Position(), 0);
  ASSERT_EQ(mem.Records.size(), 3u);
  EXPECT_EQ(mem.Records[1].Name, "two/two.txt");
  EXPECT_EQ(mem.Records[1].Start, 10u);
  EXPECT_EQ(mem.Records[1].Size, 6u);
  EXPECT_EQ(mem.Records[2].Size, 0u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(mem.Memory()), static_cast<size_t>(mem.GetSize())),
            "first itemsecond");
  EXPECT_FALSE(fs::exists(Dir / "out" / "one.txt"));

  EXPECT_EQ(Dec.ExtractToMemoryStream(nullptr), 0);
  EXPECT_EQ(Codes(), std::vector<int32_t>{errNoMemoryStream});
}

TEST_F(ArlBase, ExtractToStreamTakesTheOneNameLiterally) {
  UseArchive({{"a*.txt", "star"}, {"ab.txt", "plain"}, {"x/[b].txt", "bracket"}});
  TMemoryStream32 out;
  EXPECT_EQ(Dec.ExtractToStream("a*.txt", &out), 1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out.Memory()), static_cast<size_t>(out.GetSize())), "star");
  EXPECT_EQ(out.Position(), 0);
  EXPECT_EQ(Dec.FileSpec, std::vector<std::string>{"*.*"});
  EXPECT_FALSE(Dec.FileSpecLiteral);

  // A run that fails gives the selection back as well.
  Dec.ThrowAt = "ab.txt";
  TMemoryStream32 out2;
  EXPECT_EQ(Dec.ExtractToStream("x/[b].txt", &out2), 0);
  EXPECT_EQ(Dec.FileSpec, std::vector<std::string>{"*.*"});
  EXPECT_EQ(Dec.ExtractToStream("a*.txt", nullptr), 0);
  EXPECT_EQ(Codes(), (std::vector<int32_t>{errReadingFile, errNoFileStream}));
}

TEST_F(ArlBase, TestRunReportsCrcFailuresWithoutWriting) {
  UseArchive({{"good.txt", "fine"}, {"bad.txt", "damaged", 0, true}, {"good2.txt", "fine too"}});
  EXPECT_EQ(Dec.TestArchive(), 0);  // a test run counts nothing: BeginItem is asked to pass only
  EXPECT_FALSE(fs::exists(Dir / "out" / "good.txt"));
  ASSERT_EQ(Reports.size(), 1u);
  EXPECT_EQ(Reports[0].Code, errCrcFailed);
  EXPECT_EQ(Reports[0].FileName, "bad.txt");
  // With OnEnd the verdict goes there instead.
  Reports.clear();
  std::vector<bool> verdicts;
  Dec.OnEnd = [&](TZipCommon*, const std::string&, bool Ok) { verdicts.push_back(Ok); };
  Dec.TestArchive();
  EXPECT_EQ(verdicts, (std::vector<bool>{true, false, true}));
  EXPECT_TRUE(Reports.empty());
}

TEST_F(ArlBase, FailuresThatAreNotReportedByTheDecoderAreReportedByTheRun) {
  // A failed write: the run ends with the error reported, not in silence.
  UseArchive({{"a.txt", std::string(100000, 'a')}, {"b.txt", "b"}});
  {
    TFaultyFileLayer layer;
    TFileLayerScope scope(layer);
    layer.FailFrom(TFileOp::Write, ENOSPC);
    EXPECT_EQ(Dec.ExtractToFiles(), 1);
  }
  EXPECT_EQ(Codes(), std::vector<int32_t>{errWritingFile});
  // A torn archive raises a stream error inside the decoder.
  Reports.clear();
  Dec.ThrowAt = "b.txt";
  EXPECT_EQ(Dec.ExtractToFiles(), 1);
  ASSERT_EQ(Reports.size(), 1u);
  EXPECT_EQ(Reports[0].Code, errReadingFile);
  EXPECT_EQ(Reports[0].Extra, "Stream read error");
  // A memory block of the caller is never written past.
  Reports.clear();
  Dec.ThrowAt.clear();
  std::vector<uint8_t> block(10);
  Dec.OutputMode = omPointer;
  Dec.OutPointer = block.data();
  Dec.OutPointerLeft = 10;
  EXPECT_EQ(Dec.Execute(), 1);
  EXPECT_EQ(Codes(), std::vector<int32_t>{errWritingFile});
}

TEST_F(ArlBase, CancellingStopsTheRunAndTurnsReportsIntoUserCanceled) {
  UseArchive({{"1.txt", "1"}, {"2.txt", "2"}, {"3.txt", "3", 0, true}});
  Dec.OnBegin = [&](TZipCommon* Sender, TArlBeginItem& Item) {
    if (Item.FileName.find("2.txt") != std::string::npos) Sender->SetCancel(true);
  };
  EXPECT_EQ(Dec.ExtractToFiles(), 1);
  EXPECT_TRUE(fs::exists(Dir / "out" / "1.txt"));
  EXPECT_FALSE(fs::exists(Dir / "out" / "2.txt"));
  EXPECT_EQ(Codes(), std::vector<int32_t>{errUserCanceled});
  // A cancelled run raises "User canceled" whatever the error; the next run starts afresh.
  try {
    Dec.RaiseError("x", errBadBlock);
    FAIL();
  } catch (const E_RAISE& e) {
    EXPECT_EQ(e.ErrorCode, errUserCanceled);
    EXPECT_TRUE(e.Reported);
  }
  Dec.OnBegin = nullptr;
  Reports.clear();
  EXPECT_EQ(Dec.ExtractToFiles(), 3);
  EXPECT_EQ(Codes(), std::vector<int32_t>{errCrcFailed});
}

TEST_F(ArlBase, RunsWithoutAnArchiveOrWithAnUnreadableOne) {
  EXPECT_EQ(Dec.ExtractToFiles(), 0);
  EXPECT_EQ(Codes(), std::vector<int32_t>{errFileNotFound});
  Reports.clear();
  Dec.ArchiveFile = (Dir / "gone" / "x.tst").string();
  EXPECT_EQ(Dec.ExtractToFiles(), 0);
  ASSERT_EQ(Codes(), std::vector<int32_t>{errNotAccessible});
  EXPECT_EQ(Reports[0].Extra, (Dir / "gone").string());
  Reports.clear();
  Dec.ArchiveFile = (Dir / "missing.tst").string();
  EXPECT_EQ(Dec.ExtractToFiles(), 0);
  EXPECT_EQ(Codes(), std::vector<int32_t>{errOpeningFile});
}

TEST_F(ArlBase, ElapsedTimeIsReportedOnlyWhenAsked) {
  UseArchive({{"a.txt", "a"}});
  double seconds = -1;
  Dec.OnElapsedTime = [&](TZipCommon*, double S) { seconds = S; };
  Dec.ExtractToFiles();
  EXPECT_GE(seconds, 0.0);
}

// --- Passwords ---------------------------------------------------------------------------------------------

TEST_F(ArlBase, AnAcceptedPasswordOpensWithoutAsking) {
  UseArchive({{"s1.txt", "secret one", 1}, {"s2.txt", "secret two", 1}});
  Dec.AcceptedPasswords = {"other", "secret"};
  int asked = 0;
  Dec.OnGetPassword = [&](TZipCommon*, TArlPasswordQuery&) { ++asked; };
  EXPECT_EQ(Dec.ExtractToFiles(), 2);
  EXPECT_EQ(asked, 0);
  EXPECT_EQ(Out("s2.txt"), "secret two");
}

TEST_F(ArlBase, AWrongPasswordIsAskedAgainAndTheRightOneIsKeptFirst) {
  UseArchive({{"s1.txt", "one", 1}, {"s2.txt", "two", 1}});
  Dec.AcceptedPasswords = {"older"};
  std::vector<std::string> answers = {"wrong", "secret"};
  size_t next = 0;
  Dec.OnGetPassword = [&](TZipCommon*, TArlPasswordQuery& Query) {
    EXPECT_EQ(Query.FileName, (Dir / "out" / "s1.txt").string());
    Query.Password = answers.at(next++);
  };
  EXPECT_EQ(Dec.ExtractToFiles(), 2);
  EXPECT_EQ(next, 2u);  // the second item opened with the password now in use
  EXPECT_EQ(Dec.AcceptedPasswords, (std::vector<std::string>{"secret", "older"}));
  EXPECT_EQ(Codes(), std::vector<int32_t>{errInvalidPassword});
  // The next run does not ask: the accepted list is kept between runs.
  Reports.clear();
  next = 0;
  EXPECT_EQ(Dec.ExtractToFiles(), 2);
  EXPECT_EQ(next, 0u);
}

TEST_F(ArlBase, GivingUpOnAPasswordFailsTheItemOnce) {
  UseArchive({{"s1.txt", "one", 1}, {"plain.txt", "plain"}});
  int asked = 0;
  Dec.OnGetPassword = [&](TZipCommon*, TArlPasswordQuery& Query) {
    ++asked;
    Query.Continue = false;
  };
  EXPECT_EQ(Dec.ExtractToFiles(), 1);
  EXPECT_EQ(asked, 1);
  EXPECT_FALSE(fs::exists(Dir / "out" / "s1.txt"));
  EXPECT_EQ(Out("plain.txt"), "plain");
  EXPECT_EQ(Codes(), std::vector<int32_t>{errInvalidPassword});
  // The attempts are limited.
  Reports.clear();
  Dec.PasswordAttempts = 2;
  Dec.OnGetPassword = [&](TZipCommon*, TArlPasswordQuery& Query) { Query.Password = "nope"; };
  Dec.ExtractToFiles();
  EXPECT_EQ(Codes(), (std::vector<int32_t>{errInvalidPassword, errInvalidPassword}));
  // Without the event nobody can be asked.
  Reports.clear();
  Dec.OnGetPassword = nullptr;
  Dec.ExtractToFiles();
  ASSERT_EQ(Codes(), std::vector<int32_t>{errEventNotAssigned});
  EXPECT_EQ(Reports[0].Extra, "OnGetPassword");
}

// --- Existing output files ---------------------------------------------------------------------------------

TEST_F(ArlBase, ExistingFilesAreReplacedRenamedOrSkipped) {
  UseArchive({{"a.txt", "new"}});
  std::ofstream(Dir / "out" / "a.txt") << "old";
  Dec.ConfirmOverwrites = true;
  EXPECT_EQ(Dec.ExtractToFiles(), 0);
  ASSERT_EQ(Codes(), std::vector<int32_t>{errEventNotAssigned});
  EXPECT_EQ(Reports[0].Extra, "OnFileExists");
  EXPECT_EQ(Out("a.txt"), "old");

  Dec.OnFileExists = [](TZipCommon*, TArlFileExists& Query) { Query.Skip = true; };
  EXPECT_EQ(Dec.ExtractToFiles(), 0);
  EXPECT_EQ(Out("a.txt"), "old");

  Dec.OnFileExists = [&](TZipCommon*, TArlFileExists& Query) {
    Query.NewName = (Dir / "out" / "renamed.txt").string();
  };
  EXPECT_EQ(Dec.ExtractToFiles(), 1);
  EXPECT_EQ(Out("a.txt"), "old");
  EXPECT_EQ(Out("renamed.txt"), "new");

  // The same name in other letter case replaces; a read-only target is made writable first.
  fs::permissions(Dir / "out" / "a.txt", fs::perms::owner_read);
  Dec.OnFileExists = [](TZipCommon*, TArlFileExists& Query) {
    Query.NewName = Query.FileName;
    for (auto& c : Query.NewName) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  };
  EXPECT_EQ(Dec.ExtractToFiles(), 1);
  EXPECT_EQ(Out("a.txt"), "new");
}

// --- Block services
// ------------------------------------------------------------------------------------------

TEST(ArlBlocks, ConvertLFWritesBareLineFeedsAsPairs) {
  TUnBase b;
  TDecompMemoryStream mem;
  b.OutputMode = omMemory;
  b.OutMemoryStream = &mem;
  b.ConvertLF = true;
  b.Crc32Reg = 0xFFFFFFFF;
  EXPECT_EQ(b.WriteBlock("a\nb\r\nc", 6, true, ckCrc32), 7);
  // A CR at the end of one block and the LF at the start of the next are one pair.
  EXPECT_EQ(b.WriteBlock("x\r", 2, true, ckCrc32), 2);
  EXPECT_EQ(b.WriteBlock("\ny\n", 3, true, ckCrc32), 4);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(mem.Memory()), static_cast<size_t>(mem.GetSize())),
            "a\r\nb\r\ncx\r\ny\r\n");
  // The CRC is that of the bytes as they came, so stored checksums still match.
  EXPECT_EQ(b.Crc32Reg, UpdateCrc32(0xFFFFFFFF, "a\nb\r\ncx\r\ny\n", 11));
}

TEST(ArlBlocks, ReadBlockFromMemoryAndPointerInputs) {
  TUnBase b;
  const char data[] = "0123456789";
  b.InputMode = imPointer;
  b.InPointer = reinterpret_cast<const uint8_t*>(data);
  b.InPointerLeft = 10;
  char buf[16];
  EXPECT_EQ(b.ReadBlock(nullptr, buf, 4, ckCrc16, false), 4);
  EXPECT_EQ(b.ReadBlock(nullptr, buf, 16, ckNone, false), 6);
  EXPECT_EQ(std::string(buf, 6), "456789");
  EXPECT_EQ(b.ReadBlock(nullptr, buf, 16, ckNone, false), 0);
  uint16_t crc = 0;
  CrcUpdate16("0123", 4, crc);
  EXPECT_EQ(b.Crc16Reg, crc);

  TMemoryStream32 in;
  in.WriteBuffer("abc", 3);
  in.SetPosition(0);
  b.InputMode = imMemory;
  b.InMemoryStream = &in;
  EXPECT_EQ(b.ReadBlock(nullptr, buf, 16, ckNone, false), 3);
}

TEST(ArlBlocks, ArjPasswordsCycleAcrossBlocks) {
  TUnBase b;
  b.ArcType = atArj;
  b.Password = "key";
  uint8_t data[5] = {0, 0, 0, 0, 0};
  b.DecryptBlock(true, data, 2);
  b.DecryptBlock(true, data + 2, 3);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(data), 5), "keyke");
  uint8_t plain[2] = {1, 2};
  b.DecryptBlock(false, plain, 2);
  EXPECT_EQ(plain[0], 1);
  b.ArcType = atZip;  // the ZIP family deciphers in its decoder
  b.DecryptBlock(true, plain, 2);
  EXPECT_EQ(plain[1], 2);
}

TEST(ArlBlocks, CheckCrcAcceptsTheRegisterOrItsComplement) {
  TUnBase b;
  b.Crc32Reg = 0x12345678;
  EXPECT_TRUE(b.CheckCrc(ckCrc32, 0x12345678));
  EXPECT_TRUE(b.CheckCrc(ckCrc32, ~0x12345678u));
  EXPECT_FALSE(b.CheckCrc(ckCrc32, 0x12345679));
  b.Crc16Reg = 0xBEEF;
  EXPECT_TRUE(b.CheckCrc(ckCrc16, 0xBEEF));
  EXPECT_TRUE(b.CheckCrc(ckCrc16, 0x4110));
  EXPECT_FALSE(b.CheckCrc(ckCrc16, 0xBEEE));
}

TEST(ArlBlocks, HeaderBytesDatesAndSmallRoutines) {
  TUnBase b;
  TMemoryStream32 in;
  const std::string longName(300, 'n');
  in.WriteBuffer(longName.data(), 300);
  in.SetPosition(0);
  EXPECT_EQ(b.ReadHeaderBytes(&in, 300).size(), 255u);
  EXPECT_EQ(in.Position(), 255);
  EXPECT_EQ(b.ReadHeaderBytes(&in, -5), "");

  EXPECT_DOUBLE_EQ(b.DosDateToDateTime(0), DefaultArchiveDate());
  EXPECT_DOUBLE_EQ(b.ItemDate(0), DefaultArchiveDate());
  b.NewestDate = kStamp;
  b.DateMode = dmNewest;
  EXPECT_DOUBLE_EQ(b.ItemDate(0), DosDateTimeToDateTime(kStamp));
  b.DateMode = dmNow;
  EXPECT_GT(b.ItemDate(0), DosDateTimeToDateTime(kStamp));

  EXPECT_EQ(TZipCommon::ShiftString(false, "abc", 1), "bcd");
  EXPECT_EQ(TZipCommon::ShiftString(true, std::string(1, '\x00'), 1), std::string(1, '\xFF'));
  EXPECT_EQ(ArlErrorText(errCrcFailed), "File fails CRC check");
  EXPECT_EQ(ArlErrorText(errUserCanceled), "User canceled");
  EXPECT_EQ(ArlErrorText(1), "");
  EXPECT_STREQ(E_RAISE(errBadFileHeader).what(), "Bad file header");

  TUnBaseHeaderObj headers;
  const uint8_t rec[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  headers.Add(rec, "extra", 5);
  headers.Add(rec, nullptr, 0);
  ASSERT_EQ(headers.Count(), 2);
  EXPECT_EQ(headers.Get(1)[11], 12);
  EXPECT_EQ(headers.Extra(0).size(), 5u);
  EXPECT_TRUE(headers.Extra(1).empty());
  headers.Clear();
  EXPECT_EQ(headers.Count(), 0);
}

TEST(ArlBlocks, ProgressPercentages) {
  TUnBase b;
  std::vector<std::pair<int, int>> seen;
  b.OnProgress = [&](TZipCommon*, int32_t Item, int32_t Total) { seen.emplace_back(Item, Total); };
  b.TotalPacked = 400;
  b.BytesToDo = 300;
  b.UpdateProgress(50, 400, 200);
  TArlItem item;
  item.PackedSize = 100;
  b.ProgressDone(item);
  b.UpdateProgress(5, 0, 0);
  EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{25, 25}, {100, 50}, {0, 0}}));
}

// --- Selection
// -----------------------------------------------------------------------------------------------

TEST(ArlMatchFileSpec, FoldersMasksAndExtensions) {
  TUnBase b;
  struct Row {
    const char* Item;
    std::vector<std::string> List;
    bool Recurse;
    bool Selected;
  };
  const Row rows[] = {
      {"a.txt", {"*.*"}, true, true},
      {"README", {"*.*"}, true, true},  // "*.*" selects names without extension too
      {"dir/sub/a.txt", {"*.*"}, true, true},
      {"dir/sub/a.txt", {"*.*"}, false, false},
      {"dir/sub/a.txt", {"DIR/*.TXT"}, true, true},  // folders and names without case
      {"dir/sub/a.txt", {"dir/sub/*.txt"}, false, true},
      {"other/a.txt", {"dir/*.txt"}, true, false},
      {"dir/a.txt", {"x/*.txt", "dir/*.txt"}, false, true},  // a later entry of another folder still counts
      {"a.txt", {"", "b.txt"}, true, false},
      {"readme", {"readme"}, true, true},
      {"readme.txt", {"readme"}, true, false},
      {"a.txt", {"?.txt"}, true, true},
      {"ab.txt", {"?.txt"}, true, false},
      {"x/[b].txt", {"x/[b].txt"}, false, true},
  };
  for (const auto& r : rows)
    EXPECT_EQ(b.MatchFileSpec(r.Item, r.List, {}, r.Recurse), r.Selected) << r.Item << " / " << r.List.back();
  // Further masks must match as well.
  EXPECT_TRUE(b.MatchFileSpec("a.txt", {"*.*"}, {"*.doc", "*.txt"}, true));
  EXPECT_FALSE(b.MatchFileSpec("a.txt", {"*.*"}, {"*.doc"}, true));
  // Taken literally, an entry selects only the item of its exact name.
  b.FileSpecLiteral = true;
  EXPECT_TRUE(b.MatchFileSpec("a*.txt", {"a*.txt"}, {}, true));
  EXPECT_FALSE(b.MatchFileSpec("ab.txt", {"a*.txt"}, {}, true));
  EXPECT_FALSE(b.MatchFileSpec("A.TXT", {"a.txt"}, {}, true));
}

}  // namespace
