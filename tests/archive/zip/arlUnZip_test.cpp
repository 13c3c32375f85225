#include "archive/zip/arlUnZip.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "platform/qvnls/Qvnls.h"
#include "tests/archive/zip/ZipTestUtil.h"

namespace {

using namespace ziptest;
namespace fs = std::filesystem;

// The texts of mixed.zip, enc_*.zip and crc_check.zip.
const std::string kStored = "stored text, not compressed\n";
std::string Repeat(const std::string& Line, int N) {
  std::string S;
  for (int I = 0; I < N; ++I) S += Line;
  return S;
}
const std::string kDeflated = Repeat("deflated line of text that repeats\n", 200);
const std::string kEnc1 = "first secret entry\n";
const std::string kEnc2 = Repeat("second secret entry, deflated\n", 50);

struct Report {
  std::string Name;
  int32_t Code;
  bool operator==(const Report& O) const { return Name == O.Name && Code == O.Code; }
};
std::ostream& operator<<(std::ostream& Os, const Report& R) { return Os << R.Name << ":" << R.Code; }

// One run of a TUnZip with its reports and, for memory output, the items it wrote.
struct RunResult {
  int32_t Written = 0;
  std::vector<Report> Errors;
  std::vector<std::string> Extras;  // the first extra information of each report
  std::map<std::string, std::string> Items;
  std::vector<std::string> Texts;  // every item's text in the order written (names may repeat)
  int PasswordRequests = 0;
};

// A component on Path selecting every item, collecting the reports; Setup may change it before the run.
class ZipRun {
 public:
  explicit ZipRun(const std::string& Path) {
    Zip.SetArchiveFile(Path);
    Zip.FileSpec = {"*.*"};
    Zip.OnError = [this](TZipCommon*, const TArlErrorReport& Error) {
      R.Errors.push_back({Error.FileName, Error.ErrorCode});
      R.Extras.push_back(Error.ExtraInfo1);
    };
  }
  // Answers every password request with Answer (Continue false when Answer is empty).
  void AnswerPasswords(const std::string& Answer) {
    Zip.OnGetPassword = [this, Answer](TZipCommon*, TArlPasswordQuery& Query) {
      ++R.PasswordRequests;
      Query.Continue = !Answer.empty();
      Query.Password = Answer;
    };
  }
  RunResult ToMemory() {
    R = RunResult();
    TDecompMemoryStream M;
    R.Written = Zip.ExtractToMemoryStream(&M);
    for (const TDecompRecord& Rec : M.Records) {
      R.Items[Rec.Name] = std::string(reinterpret_cast<const char*>(M.Memory()) + Rec.Start, Rec.Size);
      R.Texts.push_back(R.Items[Rec.Name]);
    }
    return R;
  }
  RunResult ToFiles(const std::string& Dir) {
    R = RunResult();
    Zip.SetExtractDir(Dir);
    R.Written = Zip.ExtractToFiles();
    return R;
  }
  RunResult Test() {
    R = RunResult();
    R.Written = Zip.TestArchive();
    return R;
  }

  TUnZip Zip;
  RunResult R;
};

std::vector<Report> NoErrors() { return {}; }

// A folder under the temporary folder, removed with its content.
class TempDir {
 public:
  TempDir() {
    Path = fs::temp_directory_path() /
           ("zip_test_" + std::to_string(::getpid()) + "_" + std::to_string(Counter++));
    fs::remove_all(Path);
    fs::create_directories(Path);
  }
  ~TempDir() {
    std::error_code Ec;
    fs::remove_all(Path, Ec);
  }
  std::string Str() const { return Path.string() + "/"; }
  std::string File(const std::string& Name) const { return ToString(ReadFile((Path / Name).string())); }
  fs::path Path;

 private:
  static inline int Counter = 0;
};

// Writes Data as a file in Dir and answers its path.
std::string Put(const TempDir& Dir, const std::string& Name, const Bytes& Data) {
  const std::string Path = (Dir.Path / Name).string();
  WriteFile(Path, Data);
  return Path;
}

// --- Whole archives ------------------------------------------------------------------------------------

TEST(UnZip, StoredDeflatedAndEncryptedEntriesExtractToMemory) {
  ZipRun Run(FixturePath("mixed.zip"));
  ASSERT_EQ(Run.Zip.ArcType, atZip);
  Run.AnswerPasswords("secret");
  RunResult R = Run.ToMemory();
  EXPECT_EQ(R.Errors, NoErrors());
  EXPECT_EQ(R.Written, 4);
  EXPECT_EQ(R.Items["stored.txt"], kStored);
  EXPECT_EQ(R.Items["deflated.txt"], kDeflated);
  EXPECT_EQ(R.Items["enc1.txt"], kEnc1);
  EXPECT_EQ(R.Items["enc2.txt"], kEnc2);
  // The password that opened the first encrypted entry opens the second without a question.
  EXPECT_EQ(R.PasswordRequests, 1);
  EXPECT_EQ(Run.Zip.AcceptedPasswords, std::vector<std::string>{"secret"});
}

// What the writers of the ZIP world leave in local headers beside their central records: sizes of
// 0xFFFFFFFF with a ZIP64 block (Info-ZIP reading standard input, zip -fz, Python's force_zip64), sizes 0
// before a data descriptor (bsdtar), a local name that is not the central one (the 0x7075 fixture: an
// ASCII name beside a code-page name). Every entry is read, with the central record's name and sizes.
TEST(UnZip, EveryWriterIsRead) {
  const std::string A = "a needle from the writer\n";
  std::string B;
  for (int I = 1; I <= 60; ++I) B += "deflated line " + std::to_string(I) + " with a needle in it\n";
  const std::map<std::string, std::string> Pair = {{"a.txt", A}, {"b.txt", B}};
  struct Case {
    const char* File;
    std::map<std::string, std::string> Items;
  };
  const Case Cases[] = {
      {"stdin.zip", {{"-", "a needle from standard input\n"}}},
      {"zip_fz.zip", Pair},
      {"py_stored.zip", Pair},
      {"py_deflated.zip", Pair},
      {"py_zip64_stored.zip", Pair},
      {"py_zip64_deflated.zip", Pair},
      {"sevenzip.zip", Pair},
      {"bsdtar.zip", Pair},
      {"zip_pipe.zip", Pair},
      // Empty entries whose local headers defer their sizes to ZIP64 blocks of zeros, beside central
      // sizes of 0: the two agree.
      {"zip_fz_empty.zip", {{"empty.txt", ""}, {"dir/a.txt", A}}},
  };
  for (const Case& C : Cases) {
    ZipRun Run(FixturePath(std::string("writers/") + C.File));
    EXPECT_EQ(Run.Zip.ArcType, atZip) << C.File;
    // Found through the end record (through the ZIP64 end record for zip -fz), not the local walk.
    EXPECT_TRUE(Run.Zip.ZipFlags & zfCentralHeader) << C.File;
    RunResult R = Run.ToMemory();
    EXPECT_EQ(R.Errors, NoErrors()) << C.File;
    EXPECT_EQ(R.Items, C.Items) << C.File;
    EXPECT_EQ(R.Written, static_cast<int32_t>(C.Items.size())) << C.File;
  }
  // The Unicode path blocks of this fixture were made for the local names, so their CRCs do not match
  // the central names: the central names are kept, read in the OEM code page (a DOS host wrote them).
  ZipRun Run(FixturePath("writers/test_read_format_zip_7075_utf8_paths.zip"));
  RunResult R = Run.ToMemory();
  EXPECT_EQ(R.Errors, NoErrors());
  ASSERT_EQ(R.Items.size(), 4u);
  EXPECT_EQ(R.Written, 4);
  EXPECT_EQ(R.Items.begin()->first, "File 1.txt");
  int I = 1;
  for (const auto& [Name, Text] : R.Items) {
    EXPECT_EQ(Name.rfind("File " + std::to_string(I++), 0), 0u) << Name;
    EXPECT_EQ(Text, "Test file") << Name;
  }
}

// A Unicode path block whose CRC matches the stored name gives the entry its UTF-8 name.
TEST(UnZip, UnicodePathBlockNamesTheEntry) {
  Bytes Zip = ReadFixture("writers/py_stored.zip");
  // Python wrote a.txt with the UTF-8 flag clear and no extra fields: give its central record a block.
  const std::string Utf8 = "\xC3\xA4.txt";  // "ä.txt"
  size_t Central = 0;
  while (!(Le32(Zip, Central) == 0x02014B50 && Zip[Central + 46] == 'a')) ++Central;
  Bytes Block = {0x75, 0x70, static_cast<uint8_t>(5 + Utf8.size()), 0, 1};
  const uint32_t Crc = RefCrc32(std::string("a.txt"));
  for (int K = 0; K < 4; ++K) Block.push_back(static_cast<uint8_t>(Crc >> (8 * K)));
  Block.insert(Block.end(), Utf8.begin(), Utf8.end());
  Zip.insert(Zip.begin() + static_cast<std::ptrdiff_t>(Central + 46 + 5), Block.begin(), Block.end());
  Zip[Central + 30] = static_cast<uint8_t>(Block.size());
  // The end record's central directory size grows with the block.
  const size_t End = Zip.size() - 22;
  const uint32_t Size = Le32(Zip, End + 12) + static_cast<uint32_t>(Block.size());
  for (int K = 0; K < 4; ++K) Zip[End + 12 + K] = static_cast<uint8_t>(Size >> (8 * K));
  TempDir Dir;
  ZipRun Run(Put(Dir, "unicode.zip", Zip));
  RunResult R = Run.ToMemory();
  EXPECT_EQ(R.Errors, NoErrors());
  EXPECT_EQ(R.Items.count(Utf8), 1u);
  EXPECT_EQ(R.Items.count("b.txt"), 1u);
}

// zip -fz: every central record defers its uncompressed size to its ZIP64 block, and the end record
// its central directory's offset to the ZIP64 end record. Damage to those gives each entry a message
// that says what is wrong; the other entry is read.
TEST(UnZip, DamagedZip64Fields) {
  const Bytes Zip = ReadFixture("writers/zip_fz.zip");
  auto CentralOf = [](const Bytes& Z, const std::string& Name) {
    for (size_t P = 0; P + 46 <= Z.size(); ++P)
      if (Le32(Z, P) == 0x02014B50 &&
          std::string(Z.begin() + P + 46, Z.begin() + P + 46 + Name.size()) == Name)
        return P;
    return size_t{0};
  };
  auto Set32 = [](Bytes& Z, size_t At, uint32_t V) {
    for (int K = 0; K < 4; ++K) Z[At + K] = static_cast<uint8_t>(V >> (8 * K));
  };
  const size_t CentralB = CentralOf(Zip, "b.txt");
  ASSERT_NE(CentralB, 0u);
  const size_t BlockB = CentralB + 46 + 5;  // b.txt's ZIP64 block: tag 1, length 8, the uncompressed size
  ASSERT_EQ(Le16(Zip, BlockB), 1);
  ASSERT_EQ(Le16(Zip, BlockB + 2), 8);
  const size_t Locator = Zip.size() - 22 - 20;
  ASSERT_EQ(Le32(Zip, Locator), 0x07064B50u);
  LocalEntry LocalA;
  ASSERT_TRUE(FindLocal(Zip, "a.txt", LocalA));
  struct Case {
    const char* What;
    std::function<void(Bytes&)> Damage;
    std::vector<Report> Errors;
    std::string Extra;
    std::vector<std::string> Read;
  };
  const Case Cases[] = {
      {"block too short for the uncompressed size",
       [&](Bytes& Z) { Z[BlockB + 2] = 4; },
       {{"b.txt", errBadFileHeader}},
       "its ZIP64 extra field (4 bytes) is too short to hold the uncompressed size",
       {"a.txt"}},
      {"offset deferred to a block that does not hold it",
       [&](Bytes& Z) { Set32(Z, CentralB + 42, 0xFFFFFFFF); },
       {{"b.txt", errBadFileHeader}},
       "its ZIP64 extra field (8 bytes) is too short to hold the local header offset",
       {"a.txt"}},
      {"impossible uncompressed size",
       [&](Bytes& Z) { Z[BlockB + 4 + 7] = 0x40; },
       {{"b.txt", errBadFileHeader}},
       "its ZIP64 extra field gives an impossible uncompressed size of 4611686018427390115",
       {"a.txt"}},
      // A size the data does not hold: the data is read as far as it goes and the shortfall reported.
      {"uncompressed size beyond the data",
       [&](Bytes& Z) { Z[BlockB + 4 + 4] = 1; },
       {{"b.txt", errReadingFile}},
       "",
       {"a.txt", "b.txt"}},
      // The locator names no ZIP64 end record: the central directory cannot be found, and the local
      // headers (with their own ZIP64 blocks) are walked.
      {"locator that points nowhere",
       [&](Bytes& Z) { Set32(Z, Locator + 8, 7); },
       {},
       "",
       {"a.txt", "b.txt"}},
      {"local walk over a block too short for the sizes",
       [&](Bytes& Z) {
         Set32(Z, Locator + 8, 7);
         Z[LocalA.Header + 30 + 5 + 2] = 8;
       },
       {{"a.txt", errBadFileHeader}},
       "its ZIP64 extra field (8 bytes) is too short to hold the compressed size",
       {}},
  };
  for (const Case& C : Cases) {
    Bytes Bad = Zip;
    C.Damage(Bad);
    TempDir Dir;
    ZipRun Run(Put(Dir, "z64.zip", Bad));
    RunResult R = Run.ToMemory();
    EXPECT_EQ(R.Errors, C.Errors) << C.What;
    if (!C.Extra.empty() && !R.Extras.empty()) EXPECT_EQ(R.Extras.front(), C.Extra) << C.What;
    std::vector<std::string> Read;
    for (const auto& Item : R.Items) Read.push_back(Item.first);
    EXPECT_EQ(Read, C.Read) << C.What;
  }
}

TEST(UnZip, EncryptedEntriesFromOtherWriters) {
  struct Case {
    const char* Fixture;
    const char* Password;
    std::vector<std::string> Names;
  };
  const Case Cases[] = {
      // Without a data descriptor: the header's check byte is the CRC's high byte.
      {"crc_check.zip", "secret", {"enc1.txt", "enc2.txt"}},
      {"test_read_format_zip_traditional_encryption_data.zip", "12345678", {"bar.txt", "foo.txt"}},
  };
  for (const Case& C : Cases) {
    ZipRun Run(FixturePath(C.Fixture));
    Run.AnswerPasswords(C.Password);
    RunResult R = Run.ToMemory();
    EXPECT_EQ(R.Errors, NoErrors()) << C.Fixture;
    EXPECT_EQ(R.Written, static_cast<int32_t>(C.Names.size())) << C.Fixture;
    for (const std::string& Name : C.Names) EXPECT_FALSE(R.Items[Name].empty()) << C.Fixture << " " << Name;
  }
  ZipRun Run(FixturePath("crc_check.zip"));
  Run.AnswerPasswords("secret");
  RunResult R = Run.ToMemory();
  EXPECT_EQ(R.Items["enc1.txt"], kEnc1);
  EXPECT_EQ(R.Items["enc2.txt"], kEnc2);
}

TEST(UnZip, AFailedPasswordSkipsLaterEncryptedEntriesWithoutAsking) {
  ZipRun Run(FixturePath("mixed.zip"));
  Run.Zip.PasswordAttempts = 2;
  Run.AnswerPasswords("wrong");
  RunResult R = Run.ToMemory();
  EXPECT_EQ(R.PasswordRequests, 2);
  EXPECT_EQ(R.Written, 2);
  EXPECT_EQ(R.Items.size(), 2u);
  EXPECT_EQ(R.Items["stored.txt"], kStored);
  const std::vector<Report> Expected = {
      {"enc1.txt", errInvalidPassword}, {"enc1.txt", errInvalidPassword}, {"enc2.txt", errInvalidPassword}};
  EXPECT_EQ(R.Errors, Expected);

  // The next run asks again.
  R = Run.ToMemory();
  EXPECT_EQ(R.PasswordRequests, 2);
}

TEST(UnZip, GivingUpOnThePasswordSkipsTheEntry) {
  ZipRun Run(FixturePath("mixed.zip"));
  Run.AnswerPasswords("");
  RunResult R = Run.ToMemory();
  EXPECT_EQ(R.PasswordRequests, 1);
  EXPECT_EQ(R.Written, 2);
  const std::vector<Report> Expected = {{"enc1.txt", errInvalidPassword}, {"enc2.txt", errInvalidPassword}};
  EXPECT_EQ(R.Errors, Expected);
}

TEST(UnZip, OlderMethodsExtractThroughTheReader) {
  ZipRun Run(FixturePath("old_methods.zip"));
  RunResult R = Run.ToMemory();
  EXPECT_EQ(R.Errors, NoErrors());
  EXPECT_EQ(R.Written, 7);
  const std::string Text = R.Items["shrunk.txt"];
  EXPECT_EQ(Text.size(), 22806u);
  for (const auto& [Name, Data] : R.Items) EXPECT_EQ(Data, Text) << Name;
  R = Run.Test();
  EXPECT_EQ(R.Errors, NoErrors());
  EXPECT_EQ(R.Written, 7);
}

TEST(UnZip, UnsupportedMethodSkipsOnlyThatEntry) {
  ZipRun Run(FixturePath("method12.zip"));
  RunResult R = Run.ToMemory();
  EXPECT_EQ(R.Errors, (std::vector<Report>{{"deflated.txt", errUnsupportedMethod}}));
  EXPECT_EQ(R.Written, 1);
  EXPECT_EQ(R.Items.size(), 1u);
  EXPECT_EQ(R.Items["stored.txt"], kStored);
}

TEST(UnZip, LongNameIsCutTo255BytesAndTheNextHeaderStillFound) {
  ZipRun Run(FixturePath("longname.zip"));
  RunResult R = Run.ToMemory();
  EXPECT_EQ(R.Errors, NoErrors());
  ASSERT_EQ(R.Items.size(), 2u);
  const std::string Long = R.Items.begin()->first;
  EXPECT_EQ(Long.size(), 255u);
  EXPECT_EQ(Long.substr(0, 61), std::string(60, 'd') + "/");
  EXPECT_EQ(R.Items.begin()->second, "deep file\n");
  EXPECT_EQ(R.Items["stored.txt"], kStored);
}

TEST(UnZip, CentralCrcStandsInForAZeroLocalOne) {
  // Written by a streaming writer: the local header holds no CRC or sizes (a data descriptor follows).
  ZipRun Run(FixturePath("test_read_format_zip_length_at_end.zip"));
  RunResult R = Run.ToMemory();
  EXPECT_EQ(R.Errors, NoErrors());
  EXPECT_EQ(R.Items["hello.txt"], "hello\n");
}

TEST(UnZip, JarFolderIsCreatedAndFilesWrittenWithTheirDates) {
  TempDir Out;
  ZipRun Run(FixturePath("x.jar"));
  ASSERT_EQ(Run.Zip.ArcType, atJar);
  RunResult R = Run.ToFiles(Out.Str());
  EXPECT_EQ(R.Errors, NoErrors());
  EXPECT_EQ(R.Written, 2);  // folders are not counted
  EXPECT_TRUE(fs::is_directory(Out.Path / "META-INF"));
  EXPECT_EQ(Out.File("META-INF/MANIFEST.MF"), "Manifest-Version: 1.0\n");
  EXPECT_EQ(Out.File("stored.txt"), kStored);
  // 2020-01-02 03:04:06 as stored (local time of the extracting machine).
  struct stat St {};
  ASSERT_EQ(::stat((Out.Path / "stored.txt").c_str(), &St), 0);
  struct tm Tm {};
  localtime_r(&St.st_mtime, &Tm);
  EXPECT_EQ(Tm.tm_year + 1900, 2020);
  EXPECT_EQ(Tm.tm_mday, 2);
  EXPECT_EQ(Tm.tm_min, 4);
}

TEST(UnZip, NamesLeadingOutsideTheOutputFolderAreRefused) {
  TempDir Out;
  fs::create_directories(Out.Path / "out");
  ZipRun Run(FixturePath("traversal.zip"));
  RunResult R = Run.ToFiles((Out.Path / "out").string());
  EXPECT_EQ(R.Written, 1);
  EXPECT_EQ(Out.File("out/ok.txt"), "inside\n");
  EXPECT_FALSE(fs::exists(Out.Path / "escape.txt"));
  EXPECT_FALSE(fs::exists(Out.Path / "up.txt"));
  const std::vector<Report> Expected = {{"../escape.txt", errInvalidFileName},
                                        {"sub/../../up.txt", errInvalidFileName}};
  EXPECT_EQ(R.Errors, Expected);
}

TEST(UnZip, SelfExtractorWithoutCentralDirectoryIsWalkedByLocalHeaders) {
  // A 20000-byte stub ("MZ" and zeros: no overlay, no resources) before mixed.zip cut at its central
  // directory: detection finds the first local header by its scan, and the reader walks the local headers.
  // The encrypted entries carry data descriptors after their data: the walk must step over them to reach
  // enc2.txt (it used to stop at the first one and lose the entries behind it).
  const Bytes Zip = ReadFixture("mixed.zip");
  const uint32_t Central = Le32(Zip, Zip.size() - 22 + 16);
  Bytes Exe(20000, 0);
  Exe[0] = 'M';
  Exe[1] = 'Z';
  Exe.insert(Exe.end(), Zip.begin(), Zip.begin() + Central);
  TempDir Dir;
  ZipRun Run(Put(Dir, "setup.exe", Exe));
  ASSERT_EQ(Run.Zip.ArcType, atZipSfx);
  ASSERT_FALSE(Run.Zip.ZipFlags & zfCentralHeader);
  Run.AnswerPasswords("secret");
  RunResult R = Run.ToMemory();
  EXPECT_EQ(R.Errors, NoErrors());
  EXPECT_EQ(R.Written, 4);
  EXPECT_EQ(R.Items["deflated.txt"], kDeflated);
  EXPECT_EQ(R.Items["enc2.txt"], kEnc2);
}

TEST(UnZip, SpannedArchiveWithoutDiskEventsEndsTheRun) {
  // The last disk of a spanned set: mixed.zip's central directory and end record alone, the end record
  // naming disk 1 and the directory at offset 0 of it. Nobody supplies the disks.
  const Bytes Zip = ReadFixture("mixed.zip");
  const uint32_t Central = Le32(Zip, Zip.size() - 22 + 16);
  Bytes Last(Zip.begin() + Central, Zip.end());
  const size_t End = Last.size() - 22;
  Last[End + 4] = 1;  // this disk
  Last[End + 6] = 1;  // the disk where the central directory starts
  for (int I = 0; I < 4; ++I) Last[End + 16 + I] = 0;
  TempDir Dir;
  ZipRun Run(Put(Dir, "span.zip", Last));
  ASSERT_EQ(Run.Zip.ArcType, atZipMVol);
  RunResult R = Run.ToMemory();
  EXPECT_EQ(R.Written, 0);
  ASSERT_EQ(R.Errors.size(), 1u);
  EXPECT_EQ(R.Errors[0].Code, errEventNotAssigned);
  EXPECT_EQ(R.Extras[0], "OnGetZipLastDisk");
}

TEST(UnZip, OneItemToAStream) {
  ZipRun Run(FixturePath("old_methods.zip"));
  TMemoryStream32 Out;
  EXPECT_EQ(Run.Zip.ExtractToStream("imploded4k2.txt", &Out), 1);
  EXPECT_EQ(Run.R.Errors, NoErrors());
  EXPECT_EQ(Out.GetSize(), 22806);
  EXPECT_EQ(RefCrc32(Out.Memory(), static_cast<size_t>(Out.GetSize())), 0x656C1F97u);
  EXPECT_EQ(Run.Zip.FileSpec, std::vector<std::string>{"*.*"});
}

TEST(UnZip, CancellingStopsTheRun) {
  ZipRun Run(FixturePath("old_methods.zip"));
  Run.Zip.OnBegin = [&](TZipCommon* Sender, TArlBeginItem& Item) {
    if (Item.Index == 3) Sender->SetCancel(true);
  };
  RunResult R = Run.ToMemory();
  EXPECT_EQ(R.Written, 2);
  EXPECT_EQ(R.Items.size(), 2u);
  ASSERT_FALSE(R.Errors.empty());
  EXPECT_EQ(R.Errors.front().Code, errUserCanceled);
}

TEST(UnZip, ProgressRisesToAHundredPercent) {
  ZipRun Run(FixturePath("old_methods.zip"));
  std::vector<std::pair<int32_t, int32_t>> Steps;
  Run.Zip.OnProgress = [&](TZipCommon*, int32_t Item, int32_t Total) { Steps.emplace_back(Item, Total); };
  Run.ToMemory();
  ASSERT_FALSE(Steps.empty());
  for (size_t I = 1; I < Steps.size(); ++I) EXPECT_GE(Steps[I].second, Steps[I - 1].second);
  for (const auto& [Item, Total] : Steps) EXPECT_LE(Item, 100);
  EXPECT_EQ(Steps.back(), std::make_pair(100, 100));
}

// Sets the host system ("version made by", high byte) of every central record, and clears the UTF-8 flag
// (bit 11) of every local and central record when asked.
Bytes WithHost(Bytes Zip, uint8_t Host, bool ClearUtf8Flag) {
  for (size_t At = 0; At + 46 <= Zip.size(); ++At) {
    const uint32_t Sig = Le32(Zip, At);
    if (Sig == 0x02014B50) {
      Zip[At + 5] = Host;
      if (ClearUtf8Flag) Zip[At + 9] &= ~0x08;
    } else if (Sig == 0x04034B50 && ClearUtf8Flag) {
      Zip[At + 7] &= ~0x08;
    }
  }
  return Zip;
}

// A name is converted from the OEM code page when the archiver ran on a DOS, OS/2 or Windows host and did
// not flag the name as UTF-8; a name from any other host is kept as stored. The two fixtures hold the
// Russian "hello" in upper and lower case, in code page 866 (made on UNIX) and in UTF-8 with the flag.
TEST(UnZip, NamesFromTheOemCodePageWhenADosHostWroteThem) {
  ASSERT_TRUE(qvnls::SetSystemCodePages(1251, 866));
  const std::string Upper =
      "\xD0\x9F\xD0\xA0\xD0\x98\xD0\x92\xD0\x95\xD0\xA2";  // the Russian "hello", upper case
  const std::string Lower = "\xD0\xBF\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82";
  const std::string OemUpper = "\x8F\x90\x88\x82\x85\x92";  // the same in code page 866
  const std::string OemLower = "\xAF\xE0\xA8\xA2\xA5\xE2";
  constexpr uint8_t kFat = 0, kUnix = 3, kHpfs = 6, kNtfs = 10, kVfat = 14, kOsX = 19;
  struct TCase {
    const char* What;
    const char* Fixture;
    uint8_t Host;
    bool ClearUtf8Flag;
    std::string First, Second;
  } Cases[] = {
      {"code page 866 from MS-DOS", "test_read_format_zip_filename_cp866.zip", kFat, false, Upper, Lower},
      {"code page 866 from OS/2 HPFS", "test_read_format_zip_filename_cp866.zip", kHpfs, false, Upper, Lower},
      {"code page 866 from Windows NTFS", "test_read_format_zip_filename_cp866.zip", kNtfs, false, Upper,
       Lower},
      {"code page 866 from Windows VFAT", "test_read_format_zip_filename_cp866.zip", kVfat, false, Upper,
       Lower},
      {"bytes from UNIX", "test_read_format_zip_filename_cp866.zip", kUnix, false, OemUpper, OemLower},
      {"UTF-8 flagged from MS-DOS", "test_read_format_zip_filename_utf8_ru.zip", kFat, false, Upper, Lower},
      {"UTF-8 flagged from UNIX", "test_read_format_zip_filename_utf8_ru.zip", kUnix, false, Upper, Lower},
      {"UTF-8 unflagged from UNIX", "test_read_format_zip_filename_utf8_ru.zip", kUnix, true, Upper, Lower},
      {"UTF-8 unflagged from OS X", "test_read_format_zip_filename_utf8_ru.zip", kOsX, true, Upper, Lower},
  };
  TempDir Dir;
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.What);
    ZipRun Run(Put(Dir, "names.zip", WithHost(ReadFixture(C.Fixture), C.Host, C.ClearUtf8Flag)));
    RunResult R = Run.ToMemory();
    EXPECT_EQ(R.Errors, NoErrors());
    EXPECT_EQ(R.Items.size(), 2u);
    EXPECT_EQ(R.Items.count(C.First), 1u);
    EXPECT_EQ(R.Items.count(C.Second), 1u);
  }
  qvnls::ResetSystemCodePages();
}

// --- Damaged archives ----------------------------------------------------------------------------------

// Finds Name's local header in Zip and answers where its data starts.
size_t DataOf(const Bytes& Zip, const std::string& Name) {
  LocalEntry E;
  EXPECT_TRUE(FindLocal(Zip, Name, E)) << Name;
  return E.Data;
}

TEST(UnZip, CorruptDeflateFailsOnlyThatEntry) {
  Bytes Zip = ReadFixture("mixed.zip");
  const size_t At = DataOf(Zip, "deflated.txt");
  for (size_t I = 10; I < 20; ++I) Zip[At + I] ^= 0x5A;
  TempDir Dir;
  ZipRun Run(Put(Dir, "bad.zip", Zip));
  Run.AnswerPasswords("secret");
  RunResult R = Run.ToMemory();
  EXPECT_EQ(R.Errors, (std::vector<Report>{{"deflated.txt", errCrcFailed}}));
  EXPECT_EQ(R.Items["stored.txt"], kStored);
  EXPECT_EQ(R.Items["enc2.txt"], kEnc2);
}

TEST(UnZip, DataLongerThanDeclaredIsCutAndReported) {
  for (const char* Fixture : {"test_read_format_zip_size_exceeds_declared_stored.zip",
                              "test_read_format_zip_size_exceeds_declared_deflate.zip"}) {
    ZipRun Run(FixturePath(Fixture));
    RunResult R = Run.ToMemory();
    // The data beyond the declared size counts in the stored CRC: the check fails as well.
    EXPECT_EQ(R.Errors, (std::vector<Report>{{"first", errBadBlock}, {"first", errCrcFailed}})) << Fixture;
    EXPECT_EQ(R.Items["first"].size(), 10u) << Fixture;
    EXPECT_EQ(R.Items["second"], "hello world") << Fixture;
  }
}

TEST(UnZip, HeaderFaults) {
  const Bytes Zip = ReadFixture("mixed.zip");
  LocalEntry Enc1, Stored;
  ASSERT_TRUE(FindLocal(Zip, "enc1.txt", Enc1));
  ASSERT_TRUE(FindLocal(Zip, "stored.txt", Stored));
  const size_t Central = Le32(Zip, Zip.size() - 22 + 16);
  struct Case {
    const char* What;
    std::function<void(Bytes&)> Damage;
    std::vector<Report> Errors;
    int32_t Written;
    std::string Extra;  // what the first report says beside its code: where, and what is wrong
  };
  auto Set32 = [](Bytes& B, size_t At, uint32_t V) {
    for (int I = 0; I < 4; ++I) B[At + I] = static_cast<uint8_t>(V >> (8 * I));
  };
  const Case Cases[] = {
      {"local header without its signature",
       [&](Bytes& B) { B[Stored.Header + 2] = 9; },
       {{"stored.txt", errBadFileHeader}},
       3,
       "no local header at offset " + std::to_string(Stored.Header)},
      // The method decides how the data is decoded: a local header that gives another one is damage (a
      // local name or size unlike the central one is not: see ZipWriters).
      {"local header of another method",
       [&](Bytes& B) { B[Stored.Header + 8] = 8; },
       {{"stored.txt", errBadFileHeader}},
       3,
       "local header at offset " + std::to_string(Stored.Header) +
           " gives method 8, the central directory 0"},
      // Both size fields of enc1.txt below the 12-byte encryption header.
      {"encrypted entry shorter than its header",
       [&](Bytes& B) {
         Set32(B, Enc1.Header + 18, 5);
         for (size_t P = Central; P + 46 <= B.size(); ++P)
           if (Le32(B, P) == 0x02014B50 && std::string(B.begin() + P + 46, B.begin() + P + 54) == "enc1.txt")
             Set32(B, P + 20, 5);
       },
       {{"enc1.txt", errBadFileHeader}},
       3,
       "encrypted data shorter than its 12-byte header"},
      // The deflated entry declared twice as long as its data: the inflating loop ends with the data, and
      // the shortfall is reported although the CRC of what is there matches.
      {"declared size beyond the deflated data",
       [&](Bytes& B) {
         for (size_t P = Central; P + 46 <= B.size(); ++P)
           if (Le32(B, P) == 0x02014B50 &&
               std::string(B.begin() + P + 46, B.begin() + P + 58) == "deflated.txt")
             Set32(B, P + 24, 14000);
       },
       {{"deflated.txt", errReadingFile}},
       4,
       ""},
      // The central directory in the enciphered form: it cannot be read without its key.
      {"enciphered central header",
       [&](Bytes& B) { B[Central + 1] = 'L'; },
       {},
       0,
       "enciphered header at offset " + std::to_string(Central)},
      // The file cut inside a local header: the entries before it come out.
      {"cut inside a local header",
       [&](Bytes& B) { B.resize(std::max(Stored.Header, Enc1.Header) + 10); },
       {},
       -1,
       "entries from offset " + std::to_string(std::max(Stored.Header, Enc1.Header)) + " on"},
  };
  for (const Case& C : Cases) {
    Bytes Bad = Zip;
    C.Damage(Bad);
    TempDir Dir;
    ZipRun Run(Put(Dir, "bad.zip", Bad));
    Run.AnswerPasswords("secret");
    RunResult R = Run.ToMemory();
    if (C.Errors.empty()) {
      ASSERT_FALSE(R.Errors.empty()) << C.What;
      EXPECT_TRUE(R.Errors.front().Code == errBadFileHeader || R.Errors.front().Code == errReadingFile)
          << C.What;
    } else {
      EXPECT_EQ(R.Errors, C.Errors) << C.What;
    }
    if (C.Written >= 0) EXPECT_EQ(R.Written, C.Written) << C.What;
    if (!C.Extra.empty()) EXPECT_EQ(R.Extras.front(), C.Extra) << C.What;
  }
}

TEST(UnZip, LocalWalkWithHugeSizesEnds) {
  // Without its central directory, with the first entry's compressed size at 4 GB - 1: the walk jumps past
  // the end of the file and stops after the one entry, whose copy stops at its declared size; that the
  // entries behind it cannot be read is reported.
  Bytes Zip = ReadFixture("mixed.zip");
  Zip.resize(Le32(Zip, Zip.size() - 22 + 16));
  for (int I = 0; I < 4; ++I) Zip[18 + I] = 0xFF;
  TempDir Dir;
  ZipRun Run(Put(Dir, "huge.zip", Zip));
  ASSERT_FALSE(Run.Zip.ZipFlags & zfCentralHeader);
  RunResult R = Run.ToMemory();
  EXPECT_EQ(R.Items.size(), 1u);
  EXPECT_EQ(R.Items["stored.txt"], kStored);
  const std::string Path = (Dir.Path / "huge.zip").string();
  EXPECT_EQ(R.Errors, (std::vector<Report>{{Path, errReadingFile}, {"stored.txt", errBadBlock}}));
}

// Every good fixture, damaged a little many times over: the reader may report anything, but must neither
// crash, hang nor leak (run under the sanitizers).
TEST(UnZip, DamagedFixturesNeverCrash) {
  const char* const Fixtures[] = {"mixed.zip",
                                  "old_methods.zip",
                                  "crc_check.zip",
                                  "method12.zip",
                                  "longname.zip",
                                  "x.jar",
                                  "traversal.zip",
                                  "test_read_format_zip_traditional_encryption_data.zip",
                                  "test_read_format_zip_length_at_end.zip"};
  std::mt19937 Rng(77);
  TempDir Dir;
  for (const char* Fixture : Fixtures) {
    const Bytes Good = ReadFixture(Fixture);
    for (int Round = 0; Round < 25; ++Round) {
      Bytes Bad = Good;
      if (Round % 5 == 4) {
        Bad.resize(Rng() % Bad.size());
      } else {
        for (int I = 0; I <= Round % 4; ++I) Bad[Rng() % Bad.size()] ^= static_cast<uint8_t>(1 + Rng() % 255);
      }
      ZipRun Run(
          Put(Dir, std::string("damaged") + (std::string(Fixture).ends_with(".jar") ? ".jar" : ".zip"), Bad));
      Run.AnswerPasswords("secret");
      RunResult R = Run.ToMemory();
      size_t Total = 0;
      for (const auto& Item : R.Items) Total += Item.second.size();
      EXPECT_LE(Total, 200000u) << Fixture;
    }
  }
}

// --- Overlapping entries ---------------------------------------------------------------------------------

// A stored ZIP built by hand: each entry's local header at its given offset (or a central record pointing
// at another entry's local header), so that bodies can be made to overlap.
struct HandZip {
  Bytes File;
  Bytes Central;
  int32_t Count = 0;
  static void Put16(Bytes& B, uint32_t V) {
    B.push_back(static_cast<uint8_t>(V));
    B.push_back(static_cast<uint8_t>(V >> 8));
  }
  static void Put32(Bytes& B, uint32_t V) {
    Put16(B, V & 0xFFFF);
    Put16(B, V >> 16);
  }
  static uint32_t Crc(const Bytes& Data) {
    uint32_t C = 0xFFFFFFFF;
    CrcUpdate32(Data.data(), static_cast<int32_t>(Data.size()), C);
    return ~C;
  }
  // A stored local header and its data; answers its offset.
  uint32_t AddLocal(const std::string& Name, const Bytes& Data) {
    const auto At = static_cast<uint32_t>(File.size());
    const Bytes L = LocalBytes(Name, Data);
    File.insert(File.end(), L.begin(), L.end());
    return At;
  }
  static Bytes LocalBytes(const std::string& Name, const Bytes& Data) {
    Bytes B;
    Put32(B, 0x04034B50), Put16(B, 10), Put16(B, 0), Put16(B, 0), Put32(B, 0x00210000), Put32(B, Crc(Data));
    Put32(B, static_cast<uint32_t>(Data.size())), Put32(B, static_cast<uint32_t>(Data.size()));
    Put16(B, static_cast<uint32_t>(Name.size())), Put16(B, 0);
    B.insert(B.end(), Name.begin(), Name.end());
    B.insert(B.end(), Data.begin(), Data.end());
    return B;
  }
  void AddCentral(const std::string& Name, const Bytes& Data, uint32_t Offset) {
    Put32(Central, 0x02014B50), Put16(Central, 0x031E), Put16(Central, 10), Put16(Central, 0),
        Put16(Central, 0);
    Put32(Central, 0x00210000), Put32(Central, Crc(Data)), Put32(Central, static_cast<uint32_t>(Data.size()));
    Put32(Central, static_cast<uint32_t>(Data.size())), Put16(Central, static_cast<uint32_t>(Name.size()));
    Put16(Central, 0), Put16(Central, 0), Put16(Central, 0), Put16(Central, 0), Put32(Central, 0);
    Put32(Central, Offset);
    Central.insert(Central.end(), Name.begin(), Name.end());
    ++Count;
  }
  Bytes Finish() const {
    Bytes B = File;
    B.insert(B.end(), Central.begin(), Central.end());
    Put32(B, 0x06054B50), Put16(B, 0), Put16(B, 0), Put16(B, static_cast<uint32_t>(Count));
    Put16(B, static_cast<uint32_t>(Count)), Put32(B, static_cast<uint32_t>(Central.size()));
    Put32(B, static_cast<uint32_t>(File.size())), Put16(B, 0);
    return B;
  }
};

// Entries that share data (one body counted for many entries, the way a small file is made to inflate
// to a huge one) are refused as damaged; the first entry of an overlapping group and the entries apart
// from it come out. The local header must agree with its central record.
TEST(UnZip, OverlappingEntriesAreRefused) {
  const Bytes Hello = ToBytes("hello, overlapping world\n");
  const Bytes Apart = ToBytes("an entry of its own\n");
  struct Case {
    const char* What;
    std::function<Bytes()> Build;
    std::map<std::string, std::string> Items;
    std::vector<Report> Errors;
  };
  const Case Cases[] = {
      {"three central records of the same name at one local header",
       [&] {
         HandZip Z;
         const uint32_t At = Z.AddLocal("a.txt", Hello);
         const uint32_t Own = Z.AddLocal("own.txt", Apart);
         for (int I = 0; I < 3; ++I) Z.AddCentral("a.txt", Hello, At);
         Z.AddCentral("own.txt", Apart, Own);
         return Z.Finish();
       },
       {{"a.txt", ToString(Hello)}, {"own.txt", ToString(Apart)}},
       {{"a.txt", errBadFileHeader}}},
      {"central records of other names at one local header",
       [&] {
         HandZip Z;
         const uint32_t At = Z.AddLocal("a.txt", Hello);
         Z.AddCentral("a.txt", Hello, At);
         Z.AddCentral("b.txt", Hello, At);
         Z.AddCentral("c.txt", Hello, At);
         return Z.Finish();
       },
       {{"a.txt", ToString(Hello)}},
       {{"b.txt", errBadFileHeader}, {"c.txt", errBadFileHeader}}},
      // The stored data of the first entry holds the whole second entry, header and all.
      {"an entry inside another's data",
       [&] {
         HandZip Z;
         const Bytes Inner = HandZip::LocalBytes("inner.txt", Hello);
         const uint32_t Outer = Z.AddLocal("outer.bin", Inner);
         Z.AddCentral("outer.bin", Inner, Outer);
         Z.AddCentral("inner.txt", Hello, Outer + 30 + 9);
         return Z.Finish();
       },
       {{"outer.bin", ToString(HandZip::LocalBytes("inner.txt", Hello))}},
       {{"inner.txt", errBadFileHeader}}},
  };
  for (const Case& C : Cases) {
    TempDir Dir;
    ZipRun Run(Put(Dir, "overlap.zip", C.Build()));
    ASSERT_TRUE(Run.Zip.ZipFlags & zfCentralHeader) << C.What;
    RunResult R = Run.ToMemory();
    EXPECT_EQ(R.Items, C.Items) << C.What;
    std::vector<Report> Errors = R.Errors;
    // Three records of one name are refused once each: the name may repeat.
    Errors.erase(
        std::unique(Errors.begin(), Errors.end(),
                    [](const Report& A, const Report& B) { return A.Name == B.Name && A.Code == B.Code; }),
        Errors.end());
    EXPECT_EQ(Errors, C.Errors) << C.What;
  }
}

}  // namespace

namespace {

// --- Damaged central directories --------------------------------------------------------------------------

// Five stored entries f1.txt .. f5.txt, each with a text of its own.
Bytes FiveEntries() {
  HandZip Z;
  for (int I = 1; I <= 5; ++I) {
    const std::string Name = "f" + std::to_string(I) + ".txt";
    const Bytes Text = ToBytes("needle " + std::to_string(I) + " in a stored entry\n");
    Z.AddCentral(Name, Text, Z.AddLocal(Name, Text));
  }
  return Z.Finish();
}

// The positions of the central headers of Zip, in order.
std::vector<size_t> CentralHeaders(const Bytes& Zip) {
  std::vector<size_t> At;
  for (size_t P = 0; P + 4 <= Zip.size(); ++P)
    if (Le32(Zip, P) == 0x02014B50) At.push_back(P);
  return At;
}

void Set16(Bytes& B, size_t At, uint16_t V) {
  B[At] = static_cast<uint8_t>(V);
  B[At + 1] = static_cast<uint8_t>(V >> 8);
}
void Set32(Bytes& B, size_t At, uint32_t V) {
  for (int K = 0; K < 4; ++K) B[At + K] = static_cast<uint8_t>(V >> (8 * K));
}

// What one damaged archive gave: the items read with their texts, and the items that reports named
// (reports about the archive itself are counted apart).
struct DamageOutcome {
  std::map<std::string, std::string> Items;
  std::vector<std::string> Named;
  int ArchiveReports = 0;
};

DamageOutcome RunDamaged(const Bytes& Zip, const std::string& FileName = "damaged.zip") {
  TempDir Dir;
  const std::string Path = Put(Dir, FileName, Zip);
  ZipRun Run(Path);
  RunResult R = Run.ToMemory();
  DamageOutcome O;
  O.Items = R.Items;
  for (const Report& E : R.Errors) {
    if (E.Name == Path)
      ++O.ArchiveReports;
    else if (std::find(O.Named.begin(), O.Named.end(), E.Name) == O.Named.end())
      O.Named.push_back(E.Name);
  }
  std::sort(O.Named.begin(), O.Named.end());
  return O;
}

std::vector<std::string> Names(const std::map<std::string, std::string>& Items) {
  std::vector<std::string> N;
  for (const auto& Item : Items) N.push_back(Item.first);
  return N;
}

// One damaged byte or field of the central directory used to end its walk without a word, losing every
// entry behind it. Now each entry is either read (through the records behind the damage, or through its
// local header) or named, and an archive whose directory lists more entries than could be had says so.
TEST(UnZip, DamagedCentralDirectoryLosesNoEntryWithoutAWord) {
  const Bytes Good = FiveEntries();
  const std::vector<size_t> C = CentralHeaders(Good);
  ASSERT_EQ(C.size(), 5u);
  LocalEntry F4;
  ASSERT_TRUE(FindLocal(Good, "f4.txt", F4));
  const std::vector<std::string> All = {"f1.txt", "f2.txt", "f3.txt", "f4.txt", "f5.txt"};
  struct Case {
    const char* What;
    std::function<void(Bytes&)> Damage;
    std::vector<std::string> Read;
    std::vector<std::string> Named;
    bool ArchiveReport;  // a report about the archive itself (where, or how many entries are lost)
  };
  const Case Cases[] = {
      {"a name length that carries its record across the next one",
       [&](Bytes& B) { B[C[1] + 28] += 8; },
       All,
       {"f2.txt"},
       false},
      {"a name length that carries its record past the end of the file",
       [&](Bytes& B) { Set16(B, C[1] + 28, 0xFFFF); },
       All,
       {"f2.txt"},
       false},
      {"an extra field length that carries its record into the next one",
       [&](Bytes& B) { Set16(B, C[1] + 30, 3); },
       All,
       {},
       true},
      {"a comment length that carries its record past the end of the file",
       [&](Bytes& B) { Set16(B, C[1] + 32, 0x4000); },
       All,
       {},
       false},
      {"an end record's signature where a central header should be",
       [&](Bytes& B) { Set32(B, C[2], 0x06054B50); },
       All,
       {"f3.txt"},
       false},
      {"a damaged signature on the last central header",
       [&](Bytes& B) { B[C[4] + 2] = 9; },
       All,
       {"f5.txt"},
       false},
      {"a damaged signature, and the entry's local header damaged too",
       [&](Bytes& B) {
         B[C[3] + 1] = 'X';
         B[F4.Header + 3] = 9;
       },
       {"f1.txt", "f2.txt", "f3.txt", "f5.txt"},
       {"f4.txt"},
       false},
      {"a record run over by its predecessor, its local header damaged",
       [&](Bytes& B) {
         B[C[2] + 28] += 8;
         B[F4.Header + 3] = 9;
       },
       {"f1.txt", "f2.txt", "f3.txt", "f5.txt"},
       {"f3.txt", "f4.txt"},
       false},
      {"every central signature after the first damaged",
       [&](Bytes& B) {
         for (size_t I = 1; I < C.size(); ++I) B[C[I] + 1] = 'X';
       },
       All,
       {"f2.txt", "f3.txt", "f4.txt", "f5.txt"},
       true},
      // The end record's count says six: one entry is not to be found anywhere.
      {"a directory that lists more entries than it holds",
       [&](Bytes& B) {
         Set16(B, B.size() - 22 + 8, 6);
         Set16(B, B.size() - 22 + 10, 6);
       },
       All,
       {},
       true},
  };
  for (const Case& Cs : Cases) {
    SCOPED_TRACE(Cs.What);
    Bytes Bad = Good;
    Cs.Damage(Bad);
    const DamageOutcome O = RunDamaged(Bad);
    EXPECT_EQ(Names(O.Items), Cs.Read);
    for (const auto& [Name, Text] : O.Items)
      EXPECT_EQ(Text, "needle " + Name.substr(1, 1) + " in a stored entry\n") << Name;
    EXPECT_EQ(O.Named, Cs.Named);
    EXPECT_EQ(O.ArchiveReports > 0, Cs.ArchiveReport);
  }
}

// Every byte of the central directory and the end record damaged in turn (set to 0, to 0xFF, one bit
// flipped, raised by 8): each entry is read with its own text (perhaps under a damaged name), or a report
// names it. The texts tell the entries apart, whatever their names became.
TEST(UnZip, NoDamagedByteOfTheDirectoryLosesAnEntryWithoutAWord) {
  const Bytes Good = FiveEntries();
  const size_t Central = CentralHeaders(Good).front();
  TempDir Dir;
  const std::string Path = (Dir.Path / "byte.zip").string();
  for (size_t At = Central; At < Good.size(); ++At) {
    for (const uint8_t Value : {uint8_t{0}, uint8_t{0xFF}, static_cast<uint8_t>(Good[At] ^ 0x01),
                                static_cast<uint8_t>(Good[At] + 8)}) {
      if (Value == Good[At]) continue;
      Bytes Bad = Good;
      Bad[At] = Value;
      WriteFile(Path, Bad);
      ZipRun Run(Path);
      const RunResult R = Run.ToMemory();
      for (int I = 1; I <= 5; ++I) {
        const std::string Name = "f" + std::to_string(I) + ".txt";
        const std::string Text = "needle " + std::to_string(I) + " in a stored entry\n";
        const bool Read = std::find(R.Texts.begin(), R.Texts.end(), Text) != R.Texts.end();
        const bool Named =
            std::any_of(R.Errors.begin(), R.Errors.end(), [&](const Report& E) { return E.Name == Name; });
        EXPECT_TRUE(Read || Named) << Name << " lost without a word: byte " << At << " set to " << int{Value};
      }
    }
  }
}

// A streaming writer leaves the sizes of its local headers 0 and gives them in a data descriptor behind
// the data: an entry the central directory lost is measured by its descriptor, without a central
// directory (a self-extractor's local walk) as well.
TEST(UnZip, EntriesWrittenBeforeTheirSizesAreRecoveredByTheirDescriptors) {
  const Bytes Good = ReadFixture("writers/bsdtar.zip");
  const std::vector<size_t> C = CentralHeaders(Good);
  ASSERT_EQ(C.size(), 2u);
  LocalEntry A;
  ASSERT_TRUE(FindLocal(Good, "a.txt", A));
  ASSERT_TRUE(A.Flags & 8);
  ASSERT_EQ(A.CompressedSize, 0u);
  const std::string TextA = "a needle from the writer\n";
  {
    Bytes Bad = Good;
    Set16(Bad, C[0] + 28, 0xFFFF);
    const DamageOutcome O = RunDamaged(Bad);
    EXPECT_EQ(Names(O.Items), (std::vector<std::string>{"a.txt", "b.txt"}));
    EXPECT_EQ(O.Items.count("a.txt"), 1u);
    if (O.Items.count("a.txt")) {
      EXPECT_EQ(O.Items.at("a.txt"), TextA);
    }
    EXPECT_EQ(O.Named, std::vector<std::string>{"a.txt"});
  }
  {
    // The central directory's first signature gone: detection walks the local headers.
    Bytes Bad = Good;
    Bad[C[0] + 2] = 9;
    TempDir Dir;
    ZipRun Run(Put(Dir, "local.zip", Bad));
    ASSERT_FALSE(Run.Zip.ZipFlags & zfCentralHeader);
    RunResult R = Run.ToMemory();
    EXPECT_EQ(Names(R.Items), (std::vector<std::string>{"a.txt", "b.txt"}));
    EXPECT_EQ(R.Items["a.txt"], TextA);
    EXPECT_EQ(R.Items["b.txt"].size(), 2211u);
  }
}

// An entry refused for damage to its own fields is not read, so it must not stand in the way of the
// entries after it: its span used to be taken from a ZIP64 marker (4 GB) or a broken local header
// offset, and every later entry was refused as overlapping it.
TEST(UnZip, ARefusedEntryDoesNotTakeTheEntriesAfterIt) {
  const Bytes Text1 = ToBytes("first entry, needle\n");
  const Bytes Text2 = ToBytes("second entry, needle\n");
  const Bytes Text3 = ToBytes("third entry, needle\n");
  // f1.txt's central record defers both sizes to a ZIP64 block (uncompressed, then compressed).
  auto Build = [&](std::function<void(Bytes & Block)> DamageBlock) {
    HandZip Z;
    const uint32_t At1 = Z.AddLocal("f1.txt", Text1);
    const uint32_t At2 = Z.AddLocal("f2.txt", Text2);
    const uint32_t At3 = Z.AddLocal("f3.txt", Text3);
    Z.AddCentral("f1.txt", Text1, At1);
    Z.AddCentral("f2.txt", Text2, At2);
    Z.AddCentral("f3.txt", Text3, At3);
    Bytes Block = {1, 0, 16, 0};
    for (int K = 0; K < 2; ++K)
      for (int I = 0; I < 8; ++I) Block.push_back(I == 0 ? static_cast<uint8_t>(Text1.size()) : 0);
    DamageBlock(Block);
    Bytes Central = Z.Central;
    Set32(Central, 20, 0xFFFFFFFF);
    Set32(Central, 24, 0xFFFFFFFF);
    Set16(Central, 30, static_cast<uint16_t>(Block.size()));
    Central.insert(Central.begin() + 46 + 6, Block.begin(), Block.end());
    Z.Central = Central;
    return Z.Finish();
  };
  struct Case {
    const char* What;
    std::function<void(Bytes&)> DamageBlock;
    std::vector<std::string> Read;
  };
  const Case Cases[] = {
      {"sound block", [](Bytes&) {}, {"f1.txt", "f2.txt", "f3.txt"}},
      {"block too short for the compressed size", [](Bytes& B) { B[2] = 8; }, {"f2.txt", "f3.txt"}},
      {"impossible uncompressed size", [](Bytes& B) { B[4 + 7] = 0x40; }, {"f2.txt", "f3.txt"}},
      {"impossible compressed size", [](Bytes& B) { B[12 + 7] = 0x40; }, {"f2.txt", "f3.txt"}},
  };
  for (const Case& Cs : Cases) {
    SCOPED_TRACE(Cs.What);
    const DamageOutcome O = RunDamaged(Build(Cs.DamageBlock));
    EXPECT_EQ(Names(O.Items), Cs.Read);
    EXPECT_EQ(O.Named.size(), 3 - Cs.Read.size());
    if (O.Items.count("f3.txt")) {
      EXPECT_EQ(O.Items.at("f3.txt"), ToString(Text3));
    }
  }
  // A local header offset that points into the next entry's data: the entry is named, the next read.
  Bytes Bad = FiveEntries();
  const std::vector<size_t> C = CentralHeaders(Bad);
  LocalEntry F2;
  ASSERT_TRUE(FindLocal(Bad, "f2.txt", F2));
  Set32(Bad, C[0] + 42, static_cast<uint32_t>(F2.Data + 2));
  const DamageOutcome O = RunDamaged(Bad);
  EXPECT_EQ(Names(O.Items), (std::vector<std::string>{"f2.txt", "f3.txt", "f4.txt", "f5.txt"}));
  EXPECT_EQ(O.Named, std::vector<std::string>{"f1.txt"});
}

// The attributes and sizes of a central record against what the entry holds: an entry with the DOS
// folder bit but with data and no trailing "/" is a file; central sizes of 0 where the local header (or
// its data descriptor) gives the data are named and the data read; a folder stays a folder.
TEST(UnZip, CentralAttributesAndSizesAgainstTheEntry) {
  const Bytes Five = FiveEntries();
  const std::vector<size_t> C = CentralHeaders(Five);
  const Bytes Bsd = ReadFixture("writers/bsdtar.zip");
  const std::vector<size_t> BsdC = CentralHeaders(Bsd);
  struct Case {
    const char* What;
    const Bytes& Base;
    std::function<void(Bytes&)> Damage;
    std::vector<std::string> Read;
    std::vector<std::string> Named;
    std::string ReadF3;  // f3.txt's text when it is read
  };
  const std::string F3 = "needle 3 in a stored entry\n";
  const Case Cases[] = {
      {"a file with the folder bit",
       Five,
       [&](Bytes& B) { B[C[2] + 38] = 0x10; },
       {"f1.txt", "f2.txt", "f3.txt", "f4.txt", "f5.txt"},
       {},
       F3},
      {"central sizes 0, the local header's sound",
       Five,
       [&](Bytes& B) {
         Set32(B, C[2] + 20, 0);
         Set32(B, C[2] + 24, 0);
       },
       {"f1.txt", "f2.txt", "f3.txt", "f4.txt", "f5.txt"},
       {"f3.txt"},
       F3},
      {"central sizes 0 and the folder bit",
       Five,
       [&](Bytes& B) {
         Set32(B, C[2] + 20, 0);
         Set32(B, C[2] + 24, 0);
         B[C[2] + 38] = 0x10;
       },
       {"f1.txt", "f2.txt", "f3.txt", "f4.txt", "f5.txt"},
       {"f3.txt"},
       F3},
      {"central sizes 0, the local sizes beyond the directory",
       Five,
       [&](Bytes& B) {
         Set32(B, C[2] + 20, 0);
         Set32(B, C[2] + 24, 0);
         LocalEntry L;
         ASSERT_TRUE(FindLocal(B, "f3.txt", L));
         Set32(B, L.Header + 18, 0x7FFFFF);
       },
       {"f1.txt", "f2.txt", "f4.txt", "f5.txt"},
       {"f3.txt"},
       ""},
      {"central sizes 0 before a data descriptor",
       Bsd,
       [&](Bytes& B) {
         Set32(B, BsdC[1] + 20, 0);
         Set32(B, BsdC[1] + 24, 0);
       },
       {"a.txt", "b.txt"},
       {"b.txt"},
       ""},
  };
  for (const Case& Cs : Cases) {
    SCOPED_TRACE(Cs.What);
    Bytes Bad = Cs.Base;
    Cs.Damage(Bad);
    const DamageOutcome O = RunDamaged(Bad);
    EXPECT_EQ(Names(O.Items), Cs.Read);
    EXPECT_EQ(O.Named, Cs.Named);
    EXPECT_EQ(O.ArchiveReports, 0);
    if (!Cs.ReadF3.empty() && O.Items.count("f3.txt")) {
      EXPECT_EQ(O.Items.at("f3.txt"), Cs.ReadF3);
    }
    if (O.Items.count("b.txt")) {
      EXPECT_EQ(O.Items.at("b.txt").size(), 2211u);
    }
  }
  // A folder with the folder bit and no trailing "/" has no data: it is no item.
  HandZip Z;
  const Bytes Text = ToBytes("inside\n");
  Z.AddCentral("folder", {}, Z.AddLocal("folder", {}));
  Z.AddCentral("folder/a.txt", Text, Z.AddLocal("folder/a.txt", Text));
  Bytes Zip = Z.Finish();
  Zip[CentralHeaders(Zip)[0] + 38] = 0x10;
  const DamageOutcome O = RunDamaged(Zip);
  EXPECT_EQ(Names(O.Items), std::vector<std::string>{"folder/a.txt"});
  EXPECT_TRUE(O.Named.empty());
}

// Forwards to a stream and counts the bytes read through it.
class CountingStream : public TStream32 {
 public:
  explicit CountingStream(TStream32& Source) : Source_(Source) {}
  int32_t Read(void* Buffer, int32_t Count) override {
    const int32_t Got = Source_.Read(Buffer, Count);
    if (Got > 0) BytesRead += Got;
    return Got;
  }
  int32_t Write(const void*, int32_t) override { return -1; }
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override { return Source_.Seek(Offset, Origin); }
  int64_t BytesRead = 0;

 protected:
  bool Has64BitSeek() const override { return true; }

 private:
  TStream32& Source_;
};

// A TUnZip that counts the bytes its runs read of the archive.
class CountingUnZip : public TUnZip {
 public:
  int64_t BytesRead = 0;

 protected:
  void ExtractArchive(TStream32* Stream) override {
    if (!Stream) return TUnZip::ExtractArchive(Stream);
    CountingStream Counter(*Stream);
    TUnZip::ExtractArchive(&Counter);
    BytesRead += Counter.BytesRead;
  }
};

// A local header of a one-byte name written before its sizes (flag 8, sizes 0) with no data descriptor
// behind it; CRC as given.
Bytes StreamedLocal(const std::string& Name, uint32_t Crc = 0) {
  Bytes B = HandZip::LocalBytes(Name, {});
  Set16(B, 6, 8);
  Set32(B, 14, Crc);
  return B;
}

// Small hostile files made the reader scan the same bytes once per header or record, and report once per
// four bytes of junk: every one must end with a handful of reports, reading each byte of the file a few
// times at most.
TEST(UnZip, HostileArchivesCostWorkInProportionToTheirSize) {
  constexpr int kHeaders = 4000;
  struct Case {
    const char* What;
    std::function<Bytes()> Make;
    std::vector<std::string> FileSpec;
    std::vector<std::string> Read;  // items that must come out
  };
  const Bytes Text = ToBytes("a needle in a sound entry\n");
  const Case Cases[] = {
      {"a central directory of repeated central signatures",
       [&] {
         HandZip Z;
         Z.AddCentral("a.txt", Text, Z.AddLocal("a.txt", Text));
         Bytes B = Z.Finish();
         Bytes Junk;
         for (int I = 0; I < 64 * 1024; ++I) Junk.insert(Junk.end(), {'P', 'K', 1, 2});
         B.insert(B.end() - 22, Junk.begin(), Junk.end());
         Set32(B, B.size() - 22 + 12, static_cast<uint32_t>(B.size() - 22 - Z.File.size()));
         return B;
       },
       {"*.*"},
       {"a.txt"}},
      {"a gap of streamed headers without descriptors before a damaged directory",
       [&] {
         HandZip Z;
         const uint32_t At = Z.AddLocal("a.txt", Text);
         for (int I = 0; I < kHeaders; ++I) {
           const Bytes L = StreamedLocal("x");
           Z.File.insert(Z.File.end(), L.begin(), L.end());
         }
         Z.AddCentral("a.txt", Text, At);
         Z.Count = 2;  // one record lost
         return Z.Finish();
       },
       {"*.*"},
       {"a.txt"}},
      {"headers packed in each other's extra fields before a damaged directory",
       [&] {
         HandZip Z;
         const uint32_t At = Z.AddLocal("a.txt", Text);
         for (int I = 0; I < kHeaders; ++I) {
           Bytes L = StreamedLocal("x");
           Set16(L, 28, 0xFFFF);  // extra field length: the headers behind it
           if (I % 2) Set32(L, 18, 0xFFFFFFFF), Set32(L, 22, 0xFFFFFFFF), Set16(L, 6, 0);
           Z.File.insert(Z.File.end(), L.begin(), L.end());
         }
         Z.File.resize(Z.File.size() + 0x10000);
         Z.AddCentral("a.txt", Text, At);
         Z.Count = 2;
         return Z.Finish();
       },
       {"*.*"},
       {"a.txt"}},
      {"streamed headers without descriptors and without a directory",
       [&] {
         Bytes B;
         for (int I = 0; I < kHeaders; ++I) {
           const Bytes L = StreamedLocal("x");
           B.insert(B.end(), L.begin(), L.end());
         }
         const Bytes A = HandZip::LocalBytes("a.txt", Text);
         B.insert(B.end(), A.begin(), A.end());
         return B;
       },
       {"a.txt"},
       {"a.txt"}},
      {"central records of no data whose CRC and flag call for a descriptor there is not",
       [&] {
         HandZip Z;
         for (int I = 0; I < kHeaders; ++I) {
           const std::string Name = "e" + std::to_string(I);
           const uint32_t At = static_cast<uint32_t>(Z.File.size());
           const Bytes L = StreamedLocal(Name, 0x1234);
           Z.File.insert(Z.File.end(), L.begin(), L.end());
           const size_t Record = Z.Central.size();
           Z.AddCentral(Name, {}, At);
           Set16(Z.Central, Record + 8, 8);
           Set32(Z.Central, Record + 16, 0x1234);
         }
         Z.AddCentral("a.txt", Text, Z.AddLocal("a.txt", Text));
         return Z.Finish();
       },
       {"a.txt"},
       {"a.txt"}},
      {"central records of no data sharing a local header of a 64 KB extra field",
       [&] {
         HandZip Z;
         Bytes L = HandZip::LocalBytes("a.txt", {});
         Set16(L, 28, 0xFFFF);
         L.resize(L.size() + 0xFFFF);
         L.insert(L.end(), Text.begin(), Text.end());
         Set32(L, 14, HandZip::Crc(Text));
         Set32(L, 18, static_cast<uint32_t>(Text.size()));
         Set32(L, 22, static_cast<uint32_t>(Text.size()));
         Z.File = L;
         Z.AddCentral("a.txt", Text, 0);
         for (int I = 0; I < kHeaders; ++I) Z.AddCentral("e" + std::to_string(I), {}, 0);
         return Z.Finish();
       },
       {"a.txt"},
       {"a.txt"}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    const Bytes Zip = C.Make();
    TempDir Dir;
    const std::string Path = Put(Dir, "hostile.zip", Zip);
    CountingUnZip Unzip;
    Unzip.SetArchiveFile(Path);
    Unzip.FileSpec = C.FileSpec;
    std::vector<Report> Errors;
    Unzip.OnError = [&](TZipCommon*, const TArlErrorReport& Error) {
      Errors.push_back({Error.FileName, Error.ErrorCode});
    };
    TDecompMemoryStream M;
    Unzip.ExtractToMemoryStream(&M);
    std::map<std::string, std::string> Items;
    for (const TDecompRecord& Rec : M.Records)
      Items[Rec.Name] = std::string(reinterpret_cast<const char*>(M.Memory()) + Rec.Start, Rec.Size);
    for (const std::string& Name : C.Read) {
      EXPECT_EQ(Items.count(Name), 1u) << Name;
      if (Items.count(Name)) {
        EXPECT_EQ(Items.at(Name), ToString(Text));
      }
    }
    EXPECT_LE(Errors.size(), 3u) << ::testing::PrintToString(Errors);
    EXPECT_GT(Unzip.BytesRead, 0);
    EXPECT_LE(Unzip.BytesRead, 32 * static_cast<int64_t>(Zip.size())) << Zip.size();
  }
}

// An entry the damaged directory lost is recovered whatever its method: one this reader does not decode
// is named as unsupported, not merely counted among the entries that could not be read.
TEST(UnZip, ALostEntryOfAnUndecodedMethodIsNamed) {
  HandZip Z;
  const Bytes Text = ToBytes("a needle in a sound entry\n");
  const uint32_t A = Z.AddLocal("a.txt", Text);
  const uint32_t P = Z.AddLocal("p.txt", Text);
  Z.AddCentral("a.txt", Text, A);
  Z.AddCentral("p.txt", Text, P);
  Bytes Zip = Z.Finish();
  constexpr uint16_t kPpmd = 98;
  Set16(Zip, P + 8, kPpmd);
  const std::vector<size_t> C = CentralHeaders(Zip);
  ASSERT_EQ(C.size(), 2u);
  Set16(Zip, C[1] + 10, kPpmd);
  Set16(Zip, C[1] + 28, 0xFFFF);  // its name takes in the end record: the record leads nowhere
  TempDir Dir;
  ZipRun Run(Put(Dir, "lost.zip", Zip));
  const RunResult R = Run.ToMemory();
  EXPECT_EQ(Names(R.Items), std::vector<std::string>{"a.txt"});
  EXPECT_NE(std::find(R.Errors.begin(), R.Errors.end(), Report{"p.txt", errUnsupportedMethod}),
            R.Errors.end())
      << ::testing::PrintToString(R.Errors);
}

}  // namespace
