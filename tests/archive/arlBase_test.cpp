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
  for (int I = 0; I < 4; ++I) S += static_cast<char>((V >> (8 * I)) & 0xFF);
}

std::string BuildArchive(const std::vector<TTestItem>& Items) {
  std::string S;
  for (const auto& It : Items) {
    S += static_cast<char>(It.Name.size());
    S += It.Name;
    PutLE32(S, static_cast<uint32_t>(It.Data.size()));
    uint32_t Reg = UpdateCrc32(0xFFFFFFFF, It.Data.data(), static_cast<int32_t>(It.Data.size()));
    uint32_t Stored = (It.Flags & 2) ? Reg : ~Reg;
    if (It.BadCrc) Stored ^= 1;
    PutLE32(S, Stored);
    S += static_cast<char>(It.Flags);
    if (It.Flags & 1) S += std::string(12, 'E');
    S += It.Data;
  }
  return S;
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
      uint8_t Len = 0;
      if (Stream->Read(&Len, 1) != 1) return;
      const std::string Name = ReadHeaderBytes(Stream, Len);
      uint8_t Fixed[9];
      if (Name.size() != Len || Stream->Read(Fixed, 9) != 9) RaiseError(Name, errBadFileHeader);
      Item = TArlItem{};
      Item.Name = Name;
      Item.UnpackedSize = Item.PackedSize = GetLE32(Fixed);
      Item.Crc = GetLE32(Fixed + 4);
      Item.Flags = Fixed[8];
      Item.DosDateTime = kStamp;
      Item.Attributes = faArchive;
      const int64_t HeaderEnd = Stream->Position();
      const int64_t DataStart = HeaderEnd + ((Item.Flags & 1) ? kEncryptionHeaderSize : 0);
      const int64_t Next = DataStart + Item.PackedSize;
      if (Name == ThrowAt) throw EReadError();
      if (MatchFileSpec(Name, FileSpec, {}, true)) ExtractOne(*Stream, HeaderEnd, DataStart);
      if (GetCancel()) return;
      Stream->Seek(Next, soBeginning);
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
    Dir_ = arltest::MakeTestDir("arlbase");
    fs::create_directories(Dir_ / "out");
    Dec_.OnError = arltest::CollectReports(Reports_);
  }
  void TearDown() override { arltest::RemoveTestDir(Dir_); }

  void UseArchive(const std::vector<TTestItem>& Items) {
    const fs::path P = Dir_ / "test.tst";
    std::ofstream(P, std::ios::binary) << BuildArchive(Items);
    Dec_.SetArchiveFile(P.string());
    ASSERT_EQ(Dec_.ArchiveFile, P.string());
    Dec_.SetExtractDir((Dir_ / "out").string());
    Dec_.FileSpec = {"*.*"};
  }
  std::string Out(const std::string& Rel) const { return ReadFileBytes(Dir_ / "out" / Rel); }
  std::vector<int32_t> Codes() const {
    std::vector<int32_t> C;
    for (const auto& R : Reports_) C.push_back(R.Code);
    return C;
  }

  fs::path Dir_;
  TTestDecoder Dec_;
  std::vector<TReport> Reports_;
};

// --- Runs ---------------------------------------------------------------------------------------------

TEST_F(ArlBase, ExtractToFilesWritesEveryItemBelowTheOutputFolder) {
  UseArchive({{"a.txt", "alpha\n"},
              {"sub/deeper/b.txt", "beta\n"},
              {"README", "no extension"},
              {"raw.bin", "register stored", 2}});
  std::vector<std::string> Begun, Ended;
  Dec_.OnBegin = [&](TZipCommon*, TArlBeginItem& Item) { Begun.push_back(Item.FileName); };
  Dec_.OnEnd = [&](TZipCommon*, const std::string& Name, bool Ok) {
    if (Ok) Ended.push_back(Name);
  };
  int Activations = 0;
  Dec_.OnActivate = [&](TZipCommon*) { ++Activations; };
  Dec_.OnDeactivate = [&](TZipCommon*) { ++Activations; };
  EXPECT_EQ(Dec_.ExtractToFiles(), 4);
  EXPECT_EQ(Out("a.txt"), "alpha\n");
  EXPECT_EQ(Out("sub/deeper/b.txt"), "beta\n");
  EXPECT_EQ(Out("README"), "no extension");
  EXPECT_EQ(Out("raw.bin"), "register stored");  // a stored register passes as well as its complement
  EXPECT_EQ(Begun.size(), 4u);
  EXPECT_EQ(Begun[1], (Dir_ / "out" / "sub/deeper/b.txt").string());
  EXPECT_EQ(Ended.size(), 4u);
  EXPECT_EQ(Activations, 2);
  EXPECT_TRUE(Reports_.empty());
  // The stored date is the file's date.
  struct stat St {};
  ASSERT_EQ(::stat((Dir_ / "out" / "a.txt").c_str(), &St), 0);
  struct tm Lt {};
  localtime_r(&St.st_mtime, &Lt);
  EXPECT_EQ(Lt.tm_year + 1900, 2020);
  EXPECT_EQ(Lt.tm_hour, 7);
  EXPECT_EQ(Lt.tm_sec, 10);

  // Without the stored folders every item lands in the output folder itself.
  Dec_.UseStoredDirs = false;
  fs::remove_all(Dir_ / "out");
  EXPECT_EQ(Dec_.ExtractToFiles(), 4);
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
  EXPECT_EQ(Dec_.ExtractToFiles(), 3);
  EXPECT_FALSE(fs::exists(Dir_ / "evil.txt"));
  EXPECT_FALSE(fs::exists(Dir_ / "evil2.txt"));
  EXPECT_EQ(Out("abs.txt"), "root");
  EXPECT_EQ(Out("dos.txt"), "drive");
  EXPECT_EQ(Out("x/z.txt"), "zed");
  ASSERT_EQ(Reports_.size(), 3u);
  for (const auto& R : Reports_) EXPECT_EQ(R.Code, errInvalidFileName) << R.FileName;
  EXPECT_EQ(Reports_[0].FileName, "../evil.txt");
}

TEST_F(ArlBase, BuildOutputNameTable) {
  Dec_.ExtractDir = "/dest/";
  struct Row {
    const char* Item;
    bool Stored;
    const char* Out;
  };
  const Row Rows[] = {
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
  for (const auto& R : Rows) {
    Dec_.UseStoredDirs = R.Stored;
    EXPECT_EQ(Dec_.BuildOutputName(R.Item), R.Out) << R.Item;
  }
  // A relative output folder is taken from the current folder.
  Dec_.ExtractDir = "rel/";
  Dec_.UseStoredDirs = true;
  EXPECT_EQ(Dec_.BuildOutputName("a.txt"), fs::current_path().string() + "/rel/a.txt");
}

TEST_F(ArlBase, ExtractToMemoryStreamIndexesEachItem) {
  UseArchive({{"one.txt", "first item"}, {"two/two.txt", "second"}, {"empty.txt", ""}});
  TDecompMemoryStream Mem;
  EXPECT_EQ(Dec_.ExtractToMemoryStream(&Mem), 3);
  EXPECT_EQ(Mem.Position(), 0);
  ASSERT_EQ(Mem.Records.size(), 3u);
  EXPECT_EQ(Mem.Records[1].Name, "two/two.txt");
  EXPECT_EQ(Mem.Records[1].Start, 10u);
  EXPECT_EQ(Mem.Records[1].Size, 6u);
  EXPECT_EQ(Mem.Records[2].Size, 0u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(Mem.Memory()), static_cast<size_t>(Mem.GetSize())),
            "first itemsecond");
  EXPECT_FALSE(fs::exists(Dir_ / "out" / "one.txt"));

  EXPECT_EQ(Dec_.ExtractToMemoryStream(nullptr), 0);
  EXPECT_EQ(Codes(), std::vector<int32_t>{errNoMemoryStream});
}

TEST_F(ArlBase, ExtractToStreamTakesTheOneNameLiterally) {
  UseArchive({{"a*.txt", "star"}, {"ab.txt", "plain"}, {"x/[b].txt", "bracket"}});
  TMemoryStream32 Out;
  EXPECT_EQ(Dec_.ExtractToStream("a*.txt", &Out), 1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(Out.Memory()), static_cast<size_t>(Out.GetSize())), "star");
  EXPECT_EQ(Out.Position(), 0);
  EXPECT_EQ(Dec_.FileSpec, std::vector<std::string>{"*.*"});
  EXPECT_FALSE(Dec_.FileSpecLiteral);

  // A run that fails gives the selection back as well.
  Dec_.ThrowAt = "ab.txt";
  TMemoryStream32 Out2;
  EXPECT_EQ(Dec_.ExtractToStream("x/[b].txt", &Out2), 0);
  EXPECT_EQ(Dec_.FileSpec, std::vector<std::string>{"*.*"});
  EXPECT_EQ(Dec_.ExtractToStream("a*.txt", nullptr), 0);
  EXPECT_EQ(Codes(), (std::vector<int32_t>{errReadingFile, errNoFileStream}));
}

TEST_F(ArlBase, TestRunReportsCrcFailuresWithoutWriting) {
  UseArchive({{"good.txt", "fine"}, {"bad.txt", "damaged", 0, true}, {"good2.txt", "fine too"}});
  EXPECT_EQ(Dec_.TestArchive(), 0);  // a test run counts nothing: BeginItem is asked to pass only
  EXPECT_FALSE(fs::exists(Dir_ / "out" / "good.txt"));
  ASSERT_EQ(Reports_.size(), 1u);
  EXPECT_EQ(Reports_[0].Code, errCrcFailed);
  EXPECT_EQ(Reports_[0].FileName, "bad.txt");
  // With OnEnd the verdict goes there instead.
  Reports_.clear();
  std::vector<bool> Verdicts;
  Dec_.OnEnd = [&](TZipCommon*, const std::string&, bool Ok) { Verdicts.push_back(Ok); };
  Dec_.TestArchive();
  EXPECT_EQ(Verdicts, (std::vector<bool>{true, false, true}));
  EXPECT_TRUE(Reports_.empty());
}

TEST_F(ArlBase, FailuresThatAreNotReportedByTheDecoderAreReportedByTheRun) {
  // A failed write: the run ends with the error reported, not in silence.
  UseArchive({{"a.txt", std::string(100000, 'a')}, {"b.txt", "b"}});
  {
    TFaultyFileLayer Layer;
    TFileLayerScope Scope(Layer);
    Layer.FailFrom(TFileOp::Write, ENOSPC);
    EXPECT_EQ(Dec_.ExtractToFiles(), 1);
  }
  EXPECT_EQ(Codes(), std::vector<int32_t>{errWritingFile});
  // A torn archive raises a stream error inside the decoder.
  Reports_.clear();
  Dec_.ThrowAt = "b.txt";
  EXPECT_EQ(Dec_.ExtractToFiles(), 1);
  ASSERT_EQ(Reports_.size(), 1u);
  EXPECT_EQ(Reports_[0].Code, errReadingFile);
  EXPECT_EQ(Reports_[0].Extra, "Stream read error");
  // A memory block of the caller is never written past.
  Reports_.clear();
  Dec_.ThrowAt.clear();
  std::vector<uint8_t> Block(10);
  Dec_.OutputMode = omPointer;
  Dec_.OutPointer = Block.data();
  Dec_.OutPointerLeft = 10;
  EXPECT_EQ(Dec_.Execute(), 1);
  EXPECT_EQ(Codes(), std::vector<int32_t>{errWritingFile});
}

TEST_F(ArlBase, CancellingStopsTheRunAndTurnsReportsIntoUserCanceled) {
  UseArchive({{"1.txt", "1"}, {"2.txt", "2"}, {"3.txt", "3", 0, true}});
  Dec_.OnBegin = [&](TZipCommon* Sender, TArlBeginItem& Item) {
    if (Item.FileName.find("2.txt") != std::string::npos) Sender->SetCancel(true);
  };
  EXPECT_EQ(Dec_.ExtractToFiles(), 1);
  EXPECT_TRUE(fs::exists(Dir_ / "out" / "1.txt"));
  EXPECT_FALSE(fs::exists(Dir_ / "out" / "2.txt"));
  EXPECT_EQ(Codes(), std::vector<int32_t>{errUserCanceled});
  // A cancelled run raises "User canceled" whatever the error; the next run starts afresh.
  try {
    Dec_.RaiseError("x", errBadBlock);
    FAIL();
  } catch (const E_RAISE& E) {
    EXPECT_EQ(E.ErrorCode, errUserCanceled);
    EXPECT_TRUE(E.Reported);
  }
  Dec_.OnBegin = nullptr;
  Reports_.clear();
  EXPECT_EQ(Dec_.ExtractToFiles(), 3);
  EXPECT_EQ(Codes(), std::vector<int32_t>{errCrcFailed});
}

TEST_F(ArlBase, RunsWithoutAnArchiveOrWithAnUnreadableOne) {
  EXPECT_EQ(Dec_.ExtractToFiles(), 0);
  EXPECT_EQ(Codes(), std::vector<int32_t>{errFileNotFound});
  Reports_.clear();
  Dec_.ArchiveFile = (Dir_ / "gone" / "x.tst").string();
  EXPECT_EQ(Dec_.ExtractToFiles(), 0);
  ASSERT_EQ(Codes(), std::vector<int32_t>{errNotAccessible});
  EXPECT_EQ(Reports_[0].Extra, (Dir_ / "gone").string());
  Reports_.clear();
  Dec_.ArchiveFile = (Dir_ / "missing.tst").string();
  EXPECT_EQ(Dec_.ExtractToFiles(), 0);
  EXPECT_EQ(Codes(), std::vector<int32_t>{errOpeningFile});
}

TEST_F(ArlBase, ElapsedTimeIsReportedOnlyWhenAsked) {
  UseArchive({{"a.txt", "a"}});
  double Seconds = -1;
  Dec_.OnElapsedTime = [&](TZipCommon*, double S) { Seconds = S; };
  Dec_.ExtractToFiles();
  EXPECT_GE(Seconds, 0.0);
}

// --- Passwords ---------------------------------------------------------------------------------------------

TEST_F(ArlBase, AnAcceptedPasswordOpensWithoutAsking) {
  UseArchive({{"s1.txt", "secret one", 1}, {"s2.txt", "secret two", 1}});
  Dec_.AcceptedPasswords = {"other", "secret"};
  int Asked = 0;
  Dec_.OnGetPassword = [&](TZipCommon*, TArlPasswordQuery&) { ++Asked; };
  EXPECT_EQ(Dec_.ExtractToFiles(), 2);
  EXPECT_EQ(Asked, 0);
  EXPECT_EQ(Out("s2.txt"), "secret two");
}

TEST_F(ArlBase, AWrongPasswordIsAskedAgainAndTheRightOneIsKeptFirst) {
  UseArchive({{"s1.txt", "one", 1}, {"s2.txt", "two", 1}});
  Dec_.AcceptedPasswords = {"older"};
  std::vector<std::string> Answers = {"wrong", "secret"};
  size_t Next = 0;
  Dec_.OnGetPassword = [&](TZipCommon*, TArlPasswordQuery& Query) {
    EXPECT_EQ(Query.FileName, (Dir_ / "out" / "s1.txt").string());
    Query.Password = Answers.at(Next++);
  };
  EXPECT_EQ(Dec_.ExtractToFiles(), 2);
  EXPECT_EQ(Next, 2u);  // the second item opened with the password now in use
  EXPECT_EQ(Dec_.AcceptedPasswords, (std::vector<std::string>{"secret", "older"}));
  EXPECT_EQ(Codes(), std::vector<int32_t>{errInvalidPassword});
  // The next run does not ask: the accepted list is kept between runs.
  Reports_.clear();
  Next = 0;
  EXPECT_EQ(Dec_.ExtractToFiles(), 2);
  EXPECT_EQ(Next, 0u);
}

TEST_F(ArlBase, GivingUpOnAPasswordFailsTheItemOnce) {
  UseArchive({{"s1.txt", "one", 1}, {"plain.txt", "plain"}});
  int Asked = 0;
  Dec_.OnGetPassword = [&](TZipCommon*, TArlPasswordQuery& Query) {
    ++Asked;
    Query.Continue = false;
  };
  EXPECT_EQ(Dec_.ExtractToFiles(), 1);
  EXPECT_EQ(Asked, 1);
  EXPECT_FALSE(fs::exists(Dir_ / "out" / "s1.txt"));
  EXPECT_EQ(Out("plain.txt"), "plain");
  EXPECT_EQ(Codes(), std::vector<int32_t>{errInvalidPassword});
  // The attempts are limited.
  Reports_.clear();
  Dec_.PasswordAttempts = 2;
  Dec_.OnGetPassword = [&](TZipCommon*, TArlPasswordQuery& Query) { Query.Password = "nope"; };
  Dec_.ExtractToFiles();
  EXPECT_EQ(Codes(), (std::vector<int32_t>{errInvalidPassword, errInvalidPassword}));
  // Without the event nobody can be asked.
  Reports_.clear();
  Dec_.OnGetPassword = nullptr;
  Dec_.ExtractToFiles();
  ASSERT_EQ(Codes(), std::vector<int32_t>{errEventNotAssigned});
  EXPECT_EQ(Reports_[0].Extra, "OnGetPassword");
}

// --- Existing output files ---------------------------------------------------------------------------------

TEST_F(ArlBase, ExistingFilesAreReplacedRenamedOrSkipped) {
  UseArchive({{"a.txt", "new"}});
  std::ofstream(Dir_ / "out" / "a.txt") << "old";
  Dec_.ConfirmOverwrites = true;
  EXPECT_EQ(Dec_.ExtractToFiles(), 0);
  ASSERT_EQ(Codes(), std::vector<int32_t>{errEventNotAssigned});
  EXPECT_EQ(Reports_[0].Extra, "OnFileExists");
  EXPECT_EQ(Out("a.txt"), "old");

  Dec_.OnFileExists = [](TZipCommon*, TArlFileExists& Query) { Query.Skip = true; };
  EXPECT_EQ(Dec_.ExtractToFiles(), 0);
  EXPECT_EQ(Out("a.txt"), "old");

  Dec_.OnFileExists = [&](TZipCommon*, TArlFileExists& Query) {
    Query.NewName = (Dir_ / "out" / "renamed.txt").string();
  };
  EXPECT_EQ(Dec_.ExtractToFiles(), 1);
  EXPECT_EQ(Out("a.txt"), "old");
  EXPECT_EQ(Out("renamed.txt"), "new");

  // The same name in other letter case replaces; a read-only target is made writable first.
  fs::permissions(Dir_ / "out" / "a.txt", fs::perms::owner_read);
  Dec_.OnFileExists = [](TZipCommon*, TArlFileExists& Query) {
    Query.NewName = Query.FileName;
    for (auto& C : Query.NewName) C = static_cast<char>(std::toupper(static_cast<unsigned char>(C)));
  };
  EXPECT_EQ(Dec_.ExtractToFiles(), 1);
  EXPECT_EQ(Out("a.txt"), "new");
}

// --- Block services
// ------------------------------------------------------------------------------------------

TEST(ArlBlocks, ConvertLFWritesBareLineFeedsAsPairs) {
  TUnBase B;
  TDecompMemoryStream Mem;
  B.OutputMode = omMemory;
  B.OutMemoryStream = &Mem;
  B.ConvertLF = true;
  B.Crc32Reg = 0xFFFFFFFF;
  EXPECT_EQ(B.WriteBlock("a\nb\r\nc", 6, true, ckCrc32), 7);
  // A CR at the end of one block and the LF at the start of the next are one pair.
  EXPECT_EQ(B.WriteBlock("x\r", 2, true, ckCrc32), 2);
  EXPECT_EQ(B.WriteBlock("\ny\n", 3, true, ckCrc32), 4);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(Mem.Memory()), static_cast<size_t>(Mem.GetSize())),
            "a\r\nb\r\ncx\r\ny\r\n");
  // The CRC is that of the bytes as they came, so stored checksums still match.
  EXPECT_EQ(B.Crc32Reg, UpdateCrc32(0xFFFFFFFF, "a\nb\r\ncx\r\ny\n", 11));
}

TEST(ArlBlocks, ReadBlockFromMemoryAndPointerInputs) {
  TUnBase B;
  const char Data[] = "0123456789";
  B.InputMode = imPointer;
  B.InPointer = reinterpret_cast<const uint8_t*>(Data);
  B.InPointerLeft = 10;
  char Buf[16];
  EXPECT_EQ(B.ReadBlock(nullptr, Buf, 4, ckCrc16, false), 4);
  EXPECT_EQ(B.ReadBlock(nullptr, Buf, 16, ckNone, false), 6);
  EXPECT_EQ(std::string(Buf, 6), "456789");
  EXPECT_EQ(B.ReadBlock(nullptr, Buf, 16, ckNone, false), 0);
  uint16_t Crc = 0;
  CrcUpdate16("0123", 4, Crc);
  EXPECT_EQ(B.Crc16Reg, Crc);

  TMemoryStream32 In;
  In.WriteBuffer("abc", 3);
  In.SetPosition(0);
  B.InputMode = imMemory;
  B.InMemoryStream = &In;
  EXPECT_EQ(B.ReadBlock(nullptr, Buf, 16, ckNone, false), 3);
}

TEST(ArlBlocks, ArjPasswordsCycleAcrossBlocks) {
  TUnBase B;
  B.ArcType = atArj;
  B.Password = "key";
  uint8_t Data[5] = {0, 0, 0, 0, 0};
  B.DecryptBlock(true, Data, 2);
  B.DecryptBlock(true, Data + 2, 3);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(Data), 5), "keyke");
  uint8_t Plain[2] = {1, 2};
  B.DecryptBlock(false, Plain, 2);
  EXPECT_EQ(Plain[0], 1);
  B.ArcType = atZip;  // the ZIP family deciphers in its decoder
  B.DecryptBlock(true, Plain, 2);
  EXPECT_EQ(Plain[1], 2);
}

TEST(ArlBlocks, CheckCrcAcceptsTheRegisterOrItsComplement) {
  TUnBase B;
  B.Crc32Reg = 0x12345678;
  EXPECT_TRUE(B.CheckCrc(ckCrc32, 0x12345678));
  EXPECT_TRUE(B.CheckCrc(ckCrc32, ~0x12345678u));
  EXPECT_FALSE(B.CheckCrc(ckCrc32, 0x12345679));
  B.Crc16Reg = 0xBEEF;
  EXPECT_TRUE(B.CheckCrc(ckCrc16, 0xBEEF));
  EXPECT_TRUE(B.CheckCrc(ckCrc16, 0x4110));
  EXPECT_FALSE(B.CheckCrc(ckCrc16, 0xBEEE));
}

TEST(ArlBlocks, HeaderBytesDatesAndSmallRoutines) {
  TUnBase B;
  TMemoryStream32 In;
  const std::string LongName(300, 'n');
  In.WriteBuffer(LongName.data(), 300);
  In.SetPosition(0);
  EXPECT_EQ(B.ReadHeaderBytes(&In, 300).size(), 255u);
  EXPECT_EQ(In.Position(), 255);
  EXPECT_EQ(B.ReadHeaderBytes(&In, -5), "");

  EXPECT_DOUBLE_EQ(B.DosDateToDateTime(0), DefaultArchiveDate());
  EXPECT_DOUBLE_EQ(B.ItemDate(0), DefaultArchiveDate());
  B.NewestDate = kStamp;
  B.DateMode = dmNewest;
  EXPECT_DOUBLE_EQ(B.ItemDate(0), DosDateTimeToDateTime(kStamp));
  B.DateMode = dmNow;
  EXPECT_GT(B.ItemDate(0), DosDateTimeToDateTime(kStamp));

  EXPECT_EQ(TZipCommon::ShiftString(false, "abc", 1), "bcd");
  EXPECT_EQ(TZipCommon::ShiftString(true, std::string(1, '\x00'), 1), std::string(1, '\xFF'));
  EXPECT_EQ(ArlErrorText(errCrcFailed), "File fails CRC check");
  EXPECT_EQ(ArlErrorText(errUserCanceled), "User canceled");
  EXPECT_EQ(ArlErrorText(1), "");
  EXPECT_STREQ(E_RAISE(errBadFileHeader).what(), "Bad file header");

  TUnBaseHeaderObj Headers;
  const uint8_t Rec[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  Headers.Add(Rec, "extra", 5);
  Headers.Add(Rec, nullptr, 0);
  ASSERT_EQ(Headers.Count(), 2);
  EXPECT_EQ(Headers.Get(1)[11], 12);
  EXPECT_EQ(Headers.Extra(0).size(), 5u);
  EXPECT_TRUE(Headers.Extra(1).empty());
  Headers.Clear();
  EXPECT_EQ(Headers.Count(), 0);
}

TEST(ArlBlocks, ProgressPercentages) {
  TUnBase B;
  std::vector<std::pair<int, int>> Seen;
  B.OnProgress = [&](TZipCommon*, int32_t Item, int32_t Total) { Seen.emplace_back(Item, Total); };
  B.TotalPacked = 400;
  B.BytesToDo = 300;
  B.UpdateProgress(50, 400, 200);
  TArlItem Item;
  Item.PackedSize = 100;
  B.ProgressDone(Item);
  B.UpdateProgress(5, 0, 0);
  EXPECT_EQ(Seen, (std::vector<std::pair<int, int>>{{25, 25}, {100, 50}, {0, 0}}));
}

// --- Selection
// -----------------------------------------------------------------------------------------------

TEST(ArlMatchFileSpec, FoldersMasksAndExtensions) {
  TUnBase B;
  struct Row {
    const char* Item;
    std::vector<std::string> List;
    bool Recurse;
    bool Selected;
  };
  const Row Rows[] = {
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
  for (const auto& R : Rows)
    EXPECT_EQ(B.MatchFileSpec(R.Item, R.List, {}, R.Recurse), R.Selected) << R.Item << " / " << R.List.back();
  // Further masks must match as well.
  EXPECT_TRUE(B.MatchFileSpec("a.txt", {"*.*"}, {"*.doc", "*.txt"}, true));
  EXPECT_FALSE(B.MatchFileSpec("a.txt", {"*.*"}, {"*.doc"}, true));
  // Taken literally, an entry selects only the item of its exact name.
  B.FileSpecLiteral = true;
  EXPECT_TRUE(B.MatchFileSpec("a*.txt", {"a*.txt"}, {}, true));
  EXPECT_FALSE(B.MatchFileSpec("ab.txt", {"a*.txt"}, {}, true));
  EXPECT_FALSE(B.MatchFileSpec("A.TXT", {"a.txt"}, {}, true));
}

}  // namespace
