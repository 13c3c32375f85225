// The ACE decoder: its own header walk, the binding (missing library, the library built here on real
// archives), and the steering of a library through its callbacks, played by an in-process stand-in:
// selected and unselected entries written to files, entries tested into memory, CRC results, password
// requests, a second run refused while one is active, and a failed initialisation.
#include "archive/ace/arlUnAce2.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/qvnls/Qvnls.h"
#include "tests/TestFiles.h"
#include "tests/archive/lzh/DecoderRun.h"

namespace {

namespace fs = std::filesystem;
using archivetest::TRunLog;

std::string FixturePath() { return std::string(SCRYLINE_TEST_DATA) + "/ace/fixtures/entries.ace"; }

// --- A stand-in for the library
// -----------------------------------------------------------------------------

struct TFakeEntry {
  std::string Name;
  std::string Data;
  uint32_t Attributes = 0x20;
  bool CrcOk = true;
  bool Encrypted = false;
};

struct TFake {
  std::vector<TFakeEntry> Entries;
  int InitResult = 0;
  int Calls = 0;
  std::string ExpectedPassword = "secret";
  TAceInitData* Global = nullptr;
  std::vector<std::string> Written;  // targets the stand-in wrote
  int32_t AskVolume = 0;             // a volume number the test call asks for first
  int VolumeAnswer = -1;
  std::string VolumeGiven;
} Fake;

int Call(TAceCallback C, uint32_t Type, uint32_t Code, uint32_t Operation, TAceFileData* File,
         TAceProgressData* Progress = nullptr, int32_t CrcOk = 0) {
  TAceCallbackRecord R{};
  R.Type = Type;
  R.Code = Code;
  R.Operation = Operation;
  R.Global = Fake.Global;
  R.File = File;
  R.Progress = Progress;
  R.CrcOk = CrcOk;
  return C(&R);
}

int FakeInit(TAceInitData* D) {
  ++Fake.Calls;
  Fake.Global = D;
  return Fake.InitResult;
}
int FakeReadArchiveData(const char*, TAceArchiveData*) { return ++Fake.Calls, 0; }
int FakeList(const char*, void*) { return ++Fake.Calls, 0; }

// Asks for the password of an encrypted entry; true when the answer opens it.
bool Unlock(TFakeEntry& E, TAceFileData& F, uint32_t Operation) {
  if (!E.Encrypted) return true;
  if (Call(Fake.Global->Request, ACE_REQUEST_FILE, ACE_CODE_PASSWORD, Operation, &F) != ACE_CALLBACK_OK)
    return false;
  return Fake.Global->Password && Fake.ExpectedPassword == Fake.Global->Password;
}

int FakeTest(const char* Archive, TAceTestData*) {
  ++Fake.Calls;
  if (Fake.AskVolume > 0) {
    char Buffer[ACE_NAME_SIZE] = {};
    std::strncpy(Buffer, Archive, ACE_NAME_SIZE - 1);
    TAceArchiveData A{Buffer, Fake.AskVolume};
    TAceCallbackRecord R{};
    R.Type = ACE_REQUEST_VOLUME;
    R.Code = ACE_CODE_NEXT_VOLUME;
    R.Operation = ACE_OPERATION_TEST;
    R.Global = Fake.Global;
    R.Archive = &A;
    Fake.VolumeAnswer = Fake.Global->Request(&R);
    Fake.VolumeGiven = Buffer;
  }
  for (auto& E : Fake.Entries) {
    TAceFileData F{E.Name.c_str(),
                   E.Name.c_str(),
                   static_cast<int64_t>(E.Data.size()),
                   static_cast<int64_t>(E.Data.size()),
                   0,
                   E.Attributes,
                   0};
    if (Call(Fake.Global->State, ACE_STATE_ENTRY, ACE_CODE_ENTRY_START, ACE_OPERATION_TEST, &F) ==
        ACE_CALLBACK_CANCEL)
      return 0;
    if (!Unlock(E, F, ACE_OPERATION_TEST)) continue;
    TAceProgressData P{reinterpret_cast<const uint8_t*>(E.Data.data()), static_cast<uint32_t>(E.Data.size())};
    if (!E.Data.empty()) Call(Fake.Global->State, ACE_STATE_PROGRESS, 0, ACE_OPERATION_TEST, &F, &P);
    Call(Fake.Global->State, ACE_STATE_CRC, 0, ACE_OPERATION_TEST, &F, nullptr, E.CrcOk);
  }
  return 0;
}

int FakeExtract(const char*, TAceExtractData* X) {
  ++Fake.Calls;
  for (auto& E : Fake.Entries) {
    TAceFileData F{E.Name.c_str(),
                   E.Name.c_str(),
                   static_cast<int64_t>(E.Data.size()),
                   static_cast<int64_t>(E.Data.size()),
                   0,
                   E.Attributes,
                   0};
    if (Call(Fake.Global->State, ACE_STATE_ENTRY, ACE_CODE_ENTRY_START, ACE_OPERATION_EXTRACT, &F) ==
        ACE_CALLBACK_CANCEL)
      continue;
    if (E.Attributes & 0x10) continue;
    const fs::path Target = fs::path(X->DestinationFolder) / E.Name;
    // The library writes every entry it meets, asking first when its target exists.
    if (fs::exists(Target) && Call(Fake.Global->Request, ACE_REQUEST_FILE, ACE_CODE_OVERWRITE,
                                   ACE_OPERATION_EXTRACT, &F) != ACE_CALLBACK_OK)
      continue;
    if (!Unlock(E, F, ACE_OPERATION_EXTRACT)) continue;
    fs::create_directories(Target.parent_path());
    std::ofstream(Target, std::ios::binary) << E.Data;
    Fake.Written.push_back(E.Name);
    Call(Fake.Global->State, ACE_STATE_CRC, 0, ACE_OPERATION_EXTRACT, &F, nullptr, E.CrcOk);
  }
  return 0;
}

class UnAce : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(qvnls::SetSystemCodePages(1252, 850));
    Fake = TFake();
    BindUnAceEntries({FakeInit, FakeReadArchiveData, FakeList, FakeTest, FakeExtract});
  }
  void TearDown() override {
    UnloadUnAceDll();
    qvnls::ResetSystemCodePages();
  }
};

TEST_F(UnAce, ReadsItsOwnHeaders) {
  TUnAce D;
  D.SetArchiveFile(FixturePath());
  ASSERT_EQ(D.ArcType, atAce);
  const auto H = D.ReadHeaders();
  ASSERT_EQ(H.size(), 5u);
  EXPECT_EQ(H[0].Name, "emptydir");
  EXPECT_EQ(H[0].Attributes, 0x10u);
  EXPECT_EQ(H[2].Name, "full/b.txt");
  EXPECT_EQ(H[2].Size, 4);
  EXPECT_EQ(H[4].Name, "n\u00fc.txt");
}

TEST_F(UnAce, TestsSelectedEntriesIntoMemoryWithTheirCrcResults) {
  Fake.Entries = {{"dir", "", 0x10}, {"a.txt", "alpha"}, {"b.txt", "beta", 0x20, false}, {"c.txt", "gamma"}};
  TUnAce D;
  D.FileSpec = {"*.*"};
  TRunLog Log = archivetest::ExtractAllToMemory(D, FixturePath());
  ASSERT_EQ(Log.Items.size(), 3u);
  EXPECT_EQ(std::string(Log.Items[0].Data.begin(), Log.Items[0].Data.end()), "alpha");
  EXPECT_EQ(Log.Items[2].Name, "c.txt");
  EXPECT_TRUE(Log.Passed("a.txt"));
  EXPECT_FALSE(Log.Passed("b.txt"));
  EXPECT_EQ(Log.Result, 3);
}

TEST_F(UnAce, WritesOnlySelectedEntriesAndMakesEmptyFolders) {
  Fake.Entries = {{"a.txt", "alpha"}, {"b.txt", "beta"}};
  archivetest::TTempFolder Out("unace_files");
  TUnAce D;
  TRunLog Log;
  archivetest::Record(D, Log);
  D.SetArchiveFile(FixturePath());
  D.FileSpec = {"a.txt"};
  D.SetExtractDir(Out.Path.string());
  EXPECT_EQ(D.ExtractToFiles(), 1);
  EXPECT_TRUE(Log.Errors.empty());
  EXPECT_EQ(Fake.Written, std::vector<std::string>{"a.txt"});
  EXPECT_TRUE(fs::exists(Out.Path / "a.txt"));
  EXPECT_FALSE(fs::exists(Out.Path / "b.txt"));  // neither written nor left as an empty placeholder
  // The archive's own headers name a folder without files, which is made; "full" holds a file.
  EXPECT_TRUE(fs::is_directory(Out.Path / "emptydir"));
  EXPECT_FALSE(fs::exists(Out.Path / "full"));
}

TEST_F(UnAce, AnEntryWhosePasswordIsRefusedFailsAlone) {
  Fake.Entries = {{"locked.txt", "hidden", 0x20, true, true}, {"open.txt", "plain"}};
  TUnAce D;
  D.OnGetPassword = [](TZipCommon*, TArlPasswordQuery& Query) { Query.Continue = false; };
  TRunLog Log = archivetest::ExtractAllToMemory(D, FixturePath());
  EXPECT_TRUE(Log.HasError(errInvalidPassword));
  ASSERT_EQ(Log.Items.size(), 2u);  // the locked entry was begun and got nothing
  EXPECT_TRUE(Log.Items[0].Data.empty());
  EXPECT_FALSE(Log.Passed("locked.txt"));
  EXPECT_TRUE(Log.Passed("open.txt"));

  TUnAce Right;
  Right.OnGetPassword = [](TZipCommon*, TArlPasswordQuery& Query) { Query.Password = "secret"; };
  Log = archivetest::ExtractAllToMemory(Right, FixturePath());
  EXPECT_TRUE(Log.Errors.empty());
  EXPECT_TRUE(Log.Passed("locked.txt"));
}

TEST_F(UnAce, ASecondRunIsRefusedWhileOneIsActive) {
  Fake.Entries = {{"a.txt", "alpha"}};
  TUnAce Outer;
  std::vector<archivetest::TRunLog> Inner;
  Outer.OnProgress = [&](TZipCommon*, int32_t, int32_t) {
    if (!Inner.empty()) return;
    Inner.emplace_back();
    TUnAce Second;
    Inner.back() = archivetest::ExtractAllToMemory(Second, FixturePath());
  };
  TRunLog Log = archivetest::ExtractAllToMemory(Outer, FixturePath());
  ASSERT_EQ(Inner.size(), 1u);
  EXPECT_TRUE(Inner[0].HasError(0));
  EXPECT_TRUE(Inner[0].Items.empty());
  EXPECT_EQ(Log.Items.size(), 1u);
}

TEST_F(UnAce, AFailedInitialisationIsReportedAndReleasesTheRun) {
  Fake.InitResult = 7;
  TUnAce D;
  std::vector<std::string> Texts;
  D.OnError = [&](TZipCommon*, const TArlErrorReport& Error) { Texts.push_back(Error.ExtraInfo1); };
  D.SetArchiveFile(FixturePath());
  D.FileSpec = {"*.*"};
  TDecompMemoryStream Out;
  D.ExtractToMemoryStream(&Out);
  EXPECT_EQ(Texts, std::vector<std::string>{"Unable to initialize \"UnAceV2.so\". Error code: 7"});
  Fake.InitResult = 0;
  Fake.Entries = {{"a.txt", "alpha"}};
  TUnAce Next;
  EXPECT_EQ(archivetest::ExtractAllToMemory(Next, FixturePath()).Items.size(), 1u);  // not refused as busy
}

TEST_F(UnAce, ANextVolumeIsFoundInTheCaseItWasWritten) {
  archivetest::TTempFolder T("unace_volume");
  fs::copy_file(FixturePath(), T.Path / "set.ace");
  fs::copy_file(FixturePath(), T.Path / "set.c00");
  Fake.AskVolume = 1;
  TUnAce D;
  std::vector<std::string> Offered;
  D.OnNextVolumeFile = [&](TZipCommon*, TArlNextVolume& Request) {
    Offered.push_back(fs::path(Request.FileName).filename().string());
    Request.Cancel = !Request.Exists;
  };
  archivetest::ExtractAllToMemory(D, (T.Path / "set.ace").string());
  EXPECT_EQ(Offered, std::vector<std::string>{"set.c00"});
  EXPECT_EQ(Fake.VolumeAnswer, ACE_CALLBACK_OK);
  EXPECT_EQ(Fake.VolumeGiven, (T.Path / "set.c00").string());

  // Without the event the request is refused and reported.
  TUnAce Plain;
  TRunLog Log = archivetest::ExtractAllToMemory(Plain, (T.Path / "set.ace").string());
  EXPECT_TRUE(Log.HasError(errEventNotAssigned));
  EXPECT_EQ(Fake.VolumeAnswer, ACE_CALLBACK_CANCEL);
}

TEST(UnAceBinding, WithoutTheLibraryNothingIsCalled) {
  UnloadUnAceDll();
  EXPECT_FALSE(LoadUnAceDll("/nonexistent/UnAceV2.so"));
  TUnAce D;
  TRunLog Log = archivetest::ExtractAllToMemory(D, FixturePath());
  ASSERT_EQ(Log.Errors.size(), 1u);
  EXPECT_EQ(Log.Errors[0].second, errUnAceDll);
  EXPECT_EQ(ArlErrorText(errUnAceDll), "UnAceV2.dll not found");
  UnloadUnAceDll();
}

// --- The library built here, on real archives --------------------------------------------------------------

std::string Fixture(const std::string& Name) {
  return std::string(SCRYLINE_TEST_DATA) + "/ace/fixtures/" + Name;
}

// NAME.sums: "crc32 size name" of every item whose md5 matched the list published with the archive.
struct TSum {
  uint32_t Crc;
  size_t Size;
};
std::map<std::string, TSum> Sums(const std::string& Archive) {
  std::map<std::string, TSum> Out;
  std::ifstream In(Fixture(Archive + ".sums"));
  std::string Line;
  while (std::getline(In, Line)) {
    std::istringstream L(Line);
    std::string Crc, Name;
    size_t Size = 0;
    L >> Crc >> Size;
    std::getline(L >> std::ws, Name);
    Out[Name] = {static_cast<uint32_t>(std::stoul(Crc, nullptr, 16)), Size};
  }
  return Out;
}

uint32_t Crc32Of(const archivetest::Bytes& Data) {
  return static_cast<uint32_t>(crc32(0, Data.data(), static_cast<uInt>(Data.size())));
}

class UnAceLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(qvnls::SetSystemCodePages(1252, 850));
    UnloadUnAceDll();
    ASSERT_TRUE(LoadUnAceDll("")) << "UnAceV2.so beside the test program";
  }
  void TearDown() override {
    UnloadUnAceDll();
    qvnls::ResetSystemCodePages();
  }
  static void Answer(TUnAce& D) {
    D.OnGetPassword = [](TZipCommon*, TArlPasswordQuery& Query) { Query.Password = "1234"; };
    D.OnNextVolumeFile = [](TZipCommon*, TArlNextVolume& Request) { Request.Cancel = !Request.Exists; };
  }
};

TEST_F(UnAceLibrary, EveryItemOfTheRealArchivesDecodesToItsPublishedContent) {
  // ACE 1.0 single items, folders, a three-volume set and an item encrypted by ACE 1.2; ACE 2.0 folders
  // (delta, exe and picture modes), a two-volume set and an encrypted item. Passwords are given through
  // the password request, as the program gives them.
  const std::pair<const char*, const char*> Archives[] = {
      {"onefile.ace", "1234"}, {"Patch.ace", "1234"}, {"zdir.ace", "1234"},      {"multivolume.ace", "1234"},
      {"passwd.ace", "pass"},  {"dir2.ace", "1234"},  {"multivol2.ace", "1234"}, {"passwd2.ace", "1234"}};
  for (const auto& ArchiveAndPassword : Archives) {
    const char* const Archive = ArchiveAndPassword.first;
    const char* const Password = ArchiveAndPassword.second;
    SCOPED_TRACE(Archive);
    const auto Expected = Sums(Archive);
    ASSERT_FALSE(Expected.empty());
    TUnAce D;
    Answer(D);
    D.OnGetPassword = [Password](TZipCommon*, TArlPasswordQuery& Query) { Query.Password = Password; };
    const TRunLog Log = archivetest::ExtractAllToMemory(D, Fixture(Archive));
    for (const auto& [Name, Sum] : Expected) {
      SCOPED_TRACE(Name);
      const auto* Item = Log.Find(Name);
      ASSERT_NE(Item, nullptr);
      EXPECT_EQ(Item->Data.size(), Sum.Size);
      EXPECT_EQ(Crc32Of(Item->Data), Sum.Crc);
      EXPECT_TRUE(Log.Passed(Name));
    }
  }
}

TEST_F(UnAceLibrary, ExtractsToFilesWithFoldersAndAcrossVolumes) {
  archivetest::TTempFolder Out("unace_real_files");
  TUnAce D;
  Answer(D);
  TRunLog Log;
  archivetest::Record(D, Log);
  D.SetArchiveFile(Fixture("multivolume.ace"));
  D.FileSpec = {"*.*"};
  D.SetExtractDir(Out.Path.string());
  D.ExtractToFiles();
  EXPECT_TRUE(Log.Errors.empty());
  size_t Files = 0;
  for (const auto& [Name, Sum] : Sums("multivolume.ace")) {
    SCOPED_TRACE(Name);
    const std::string File = ReadFileBytes(Out.Path / Name);
    const archivetest::Bytes Data(File.begin(), File.end());
    EXPECT_EQ(Data.size(), Sum.Size);
    EXPECT_EQ(Crc32Of(Data), Sum.Crc);
    ++Files;
  }
  EXPECT_EQ(Files, 77u);
}

TEST_F(UnAceLibrary, NamesThatLeaveTheOutputFolderAreRefusedAndNothingIsWritten) {
  for (const char* Archive : {"dirtraversal1.ace", "dirtraversal2.ace"}) {
    SCOPED_TRACE(Archive);
    archivetest::TTempFolder Root("unace_traversal");
    const fs::path Out = Root.Path / "a" / "b" / "c" / "d" / "e" / "f" / "g" / "h";
    fs::create_directories(Out);
    TUnAce D;
    TRunLog Log;
    archivetest::Record(D, Log);
    D.SetArchiveFile(Fixture(Archive));
    D.FileSpec = {"*.*"};
    D.SetExtractDir(Out.string());
    D.ExtractToFiles();
    // Refused by name, or (these exploit copies carry a main header whose size misses the next block)
    // as a bad header; either way an error and no file.
    EXPECT_TRUE(Log.HasError(errInvalidFileName) || Log.HasError(errBadFileHeader));
    EXPECT_FALSE(fs::exists("/tmp/unace-dir-traversal"));
    size_t Entries = 0;
    for (auto It = fs::recursive_directory_iterator(Root.Path); It != fs::recursive_directory_iterator();
         ++It)
      Entries += It->is_regular_file();
    EXPECT_EQ(Entries, 0u);
    // Tested into memory, the item is refused the same way.
    TUnAce M;
    const TRunLog Memory = archivetest::ExtractAllToMemory(M, Fixture(Archive));
    EXPECT_TRUE(Memory.HasError(errInvalidFileName) || Memory.HasError(errBadFileHeader));
  }
}

TEST_F(UnAceLibrary, AHeaderThatReadsPastItsBlockIsAnError) {
  TUnAce D;
  const TRunLog Log = archivetest::ExtractAllToMemory(D, Fixture("out_of_bounds.ace"));
  EXPECT_TRUE(Log.Items.empty());
  EXPECT_FALSE(Log.Errors.empty());
}

TEST_F(UnAceLibrary, TheSelfMadeArchiveIsReadWithItsFoldersAndDosName) {
  TUnAce D;
  const TRunLog Log = archivetest::ExtractAllToMemory(D, FixturePath());
  EXPECT_TRUE(Log.Errors.empty());
  ASSERT_NE(Log.Find("full/b.txt"), nullptr);
  EXPECT_EQ(std::string(Log.Find("full/b.txt")->Data.begin(), Log.Find("full/b.txt")->Data.end()), "bee\n");
  EXPECT_TRUE(Log.Passed("n\u00fc.txt"));
}

TEST_F(UnAceLibrary, EncryptedItemsAskForTheirPasswordAndFailAloneWithoutIt) {
  // The right password: asked once, for the encrypted item, by its name.
  std::vector<std::string> Asked;
  TUnAce D;
  D.OnGetPassword = [&](TZipCommon*, TArlPasswordQuery& Query) {
    Asked.push_back(Query.FileName);
    Query.Password = "1234";
  };
  TRunLog Log = archivetest::ExtractAllToMemory(D, Fixture("locked.ace"));
  EXPECT_EQ(Asked, std::vector<std::string>{"locked.txt"});
  EXPECT_TRUE(Log.Errors.empty());
  ASSERT_NE(Log.Find("locked.txt"), nullptr);
  EXPECT_EQ(std::string(Log.Find("locked.txt")->Data.begin(), Log.Find("locked.txt")->Data.end()),
            "the hidden text, found with its password\n");
  EXPECT_TRUE(Log.Passed("open.txt"));

  // A wrong password fails that item's check by name; the plain item is read.
  TUnAce Wrong;
  Wrong.OnGetPassword = [](TZipCommon*, TArlPasswordQuery& Query) { Query.Password = "4321"; };
  Log = archivetest::ExtractAllToMemory(Wrong, Fixture("locked.ace"));
  EXPECT_FALSE(Log.Passed("locked.txt"));
  EXPECT_TRUE(Log.Passed("open.txt"));

  // Refusing to give one reports the item and goes on.
  TUnAce Refused;
  Refused.OnGetPassword = [](TZipCommon*, TArlPasswordQuery& Query) { Query.Continue = false; };
  Log = archivetest::ExtractAllToMemory(Refused, Fixture("locked.ace"));
  EXPECT_TRUE(Log.HasError(errInvalidPassword));
  EXPECT_TRUE(Log.Passed("open.txt"));

  // A wrong password for the real encrypted archive: the item is reported by its name as having an
  // invalid password (not as a failed check), and nothing else goes wrong.
  TUnAce WrongReal;
  WrongReal.OnGetPassword = [](TZipCommon*, TArlPasswordQuery& Query) { Query.Password = "4321"; };
  std::vector<std::pair<std::string, int32_t>> Errors;
  WrongReal.OnError = [&Errors](TZipCommon*, const TArlErrorReport& Error) {
    Errors.emplace_back(Error.FileName, Error.ErrorCode);
  };
  WrongReal.SetArchiveFile(Fixture("passwd2.ace"));
  WrongReal.FileSpec = {"*.*"};
  TDecompMemoryStream Out;
  WrongReal.ExtractToMemoryStream(&Out);
  EXPECT_EQ(Errors, (std::vector<std::pair<std::string, int32_t>>{{"passwd2.m4", errInvalidPassword}}));

  // The ACE 1.2 sample with the password of the ACE 2.0 one: its item fails by name, without a crash.
  TUnAce Old;
  Answer(Old);
  Log = archivetest::ExtractAllToMemory(Old, Fixture("passwd.ace"));
  EXPECT_FALSE(Log.Passed("passwd.m4"));
}

TEST_F(UnAceLibrary, TruncatedAndDamagedCopiesEndCleanly) {
  // Every fixture cut at many lengths and with bytes changed: the run ends, and reports the damage unless
  // it changed nothing that is read.
  std::map<std::string, TRunLog> Good;
  std::map<std::string, int> Copy;
  archivetest::ForEachDamagedArchive("ace",
                                     {"entries.ace", "locked.ace", "onefile.ace", "Patch.ace", "zdir.ace",
                                      "dir2.ace", "passwd.ace", "passwd2.ace", "out_of_bounds.ace"},
                                     [&Good, &Copy](const std::string& Path, const std::string& Name) {
                                       if (!Good.count(Name)) {
                                         TUnAce Whole;
                                         Answer(Whole);
                                         Good[Name] = archivetest::ExtractAllToMemory(Whole, Fixture(Name));
                                       }
                                       TUnAce Damaged;
                                       Answer(Damaged);
                                       const TRunLog Log = archivetest::ExtractAllToMemory(Damaged, Path);
                                       EXPECT_TRUE(archivetest::ReportedOrUnchanged(Log, Good[Name]))
                                           << Name << ", damaged copy " << Copy[Name];
                                       ++Copy[Name];
                                       Damaged.ReadHeaders();
                                     });
}

}  // namespace
