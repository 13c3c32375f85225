// The archiver: choosing the wrapper and the kind, listing with the item filter, extracting by index to a
// temporary file or to memory, the extract-all passes, further volumes from a list, and its temporary
// folders, which are private and gone after every path once the receiver has deleted what it was handed.
#include "archive/Archiver.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <functional>
#include <map>

#include "archive/cab/arlUnCab.h"
#include "archive/rar/UnRarDyn.h"
#include "core/EndingSignals.h"
#include "core/StrLst.h"
#include "tests/archive/wrappers/WrapperTestUtil.h"

namespace {

using namespace wraptest;

// Decide for a pass: memory for items up to MemoryUpTo bytes, a file otherwise.
TArcDecideEvent DecideBySize(int32_t MemoryUpTo) {
  return [MemoryUpTo](TArcDecideItem& Item) {
    Item.Decision = Item.Size <= MemoryUpTo ? edToMemory : edToFile;
    return true;
  };
}

class Archiver : public TWrapperTest {
 protected:
  // The pass's deliveries: blocks by item, files by name (deleted once read, as the search does).
  std::map<std::string, std::string> Blocks_, Files_;
  TArcMemoryEvent KeepBlock() {
    return [this](TArcMemoryItem& Item, bool&) { Blocks_[Item.ItemName] = TakeBlock(Item.Block, Item.Size); };
  }
  TArcFileEvent KeepFile() {
    return [this](TArcFileItem& File, bool&) {
      Files_[fs::path(File.FileName).filename().string()] = ReadFileBytes(File.FileName);
      fs::remove(File.FileName);
    };
  }
  std::unique_ptr<TArchiver> OpenCopy(const std::string& Name, const std::string& As = "") {
    auto A = std::make_unique<TArchiver>();
    std::string Msg;
    EXPECT_TRUE(A->Open(Copy(Name, As), Msg)) << Msg;
    return A;
  }
};

TEST_F(Archiver, OpenChoosesTheWrapperAndNamesTheKind) {
  WriteAll(Work_ / "junk.zip", std::string(300, 'j'));
  const std::string W = Work_.string() + "/";
  struct TCase {
    std::string File;
    TArchiveKind Kind;
    std::string Msg;  // "" when it opens
  };
  const TCase Cases[] = {
      {Copy("x.zip"), akZip, ""},
      {Copy("x.jar"), akJar, ""},
      {Copy("x.arj"), akArj, ""},
      {Copy("x.lzh"), akLzh, ""},
      // A ZIP behind a stub: the RAR wrapper is tried first and refuses; the library reads it as a ZIP.
      {Copy("sfx.exe"), akZip, ""},
      {Copy("x.tar"), akTar, ""},
      {Copy("x.tgz"), akGZip, ""},
      {Copy("x.arc"), akArc, ""},
      // A ".rar" is never given to the library, whatever it holds.
      {Copy("x.zip", "x.rar"), akNone,
       LoadUnRarDll("") ? "UnRar error opening \"" + W + "x.rar\": file is not a valid RAR archive"
                        : "Can't load dynamic link library \"UnRar3.so\""},
      {W + "junk.zip", akNone, "Archive \"" + W + "junk.zip\" is damaged or not supported"},
      {W + "missing.zip", akNone, "No such file or directory"},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.File);
    TArchiver A;
    std::string Msg;
    EXPECT_EQ(A.Open(C.File, Msg), C.Msg.empty());
    EXPECT_EQ(A.Kind, C.Kind);
    if (C.Msg.empty()) {
      EXPECT_EQ(A.GetArchiveName(), C.File);
    } else {
      EXPECT_EQ(Msg, C.Msg);
      EXPECT_EQ(A.GetArchiveName(), "");
      try {
        A.OpenChecked(C.File);
        ADD_FAILURE() << "OpenChecked did not raise";
      } catch (const Exception& E) {
        EXPECT_EQ(E.Message(), C.Msg);
      }
    }
  }
}

TEST_F(Archiver, RarArchivesAndRarSelfExtractorsGoToTheRarWrapper) {
  if (!LoadUnRarDll("")) GTEST_SKIP() << "UnRar3.so is not bound";
  const fs::path Peers = fs::path(SCRYLINE_TEST_DATA) / "arlbase";
  for (const std::string Name : {"peer_rar.rar", "peer_rar_sfx.exe"}) {
    SCOPED_TRACE(Name);
    WriteAll(Work_ / Name, ReadFileBytes(Peers / Name));
    TArchiver A;
    std::string Msg;
    ASSERT_TRUE(A.Open((Work_ / Name).string(), Msg)) << Msg;
    EXPECT_EQ(A.Kind, akRar);
    ASSERT_TRUE(A.ListItems());
    EXPECT_GT(A.ItemCount(), 0);
  }
}

TEST_F(Archiver, ListItemsAsksTheFilterAndLeavesOutFirstPartsOfSpanningItems) {
  Copy("vol.a01");
  auto A = OpenCopy("vol.arj");
  std::vector<std::pair<std::string, bool>> Filtered;
  A->OnItemFilter = [&Filtered](TArcListItem& Item, bool&) {
    Filtered.emplace_back(Item.ItemName, Item.SizeIncomplete);
    return true;
  };
  ASSERT_TRUE(A->ListItems());
  EXPECT_EQ(Filtered, (std::vector<std::pair<std::string, bool>>{
                          {"a.txt", false}, {"big.bin", true}, {"big.bin", false}}));
  ASSERT_EQ(A->ItemCount(), 2);
  std::string Name;
  TDateTime Date = 0;
  int32_t Size = 0;
  A->GetItem(1, Name, Date, Size);
  EXPECT_EQ(Name, "big.bin");
  EXPECT_EQ(Size, 12000);
  EXPECT_THROW(A->GetItem(2, Name, Date, Size), EArcError);
  EXPECT_THROW(A->GetItem(-1, Name, Date, Size), EArcError);

  // A filter that refuses an item leaves it out; one that stops ends the listing.
  A->OnItemFilter = [](TArcListItem& Item, bool&) { return Item.ItemName != "a.txt"; };
  ASSERT_TRUE(A->ListItems());
  EXPECT_EQ(A->ItemCount(), 1);
  A->OnItemFilter = [](TArcListItem&, bool& Stop) {
    Stop = true;
    return true;
  };
  EXPECT_FALSE(A->ListItems());
}

TEST_F(Archiver, ItemsByIndexGoToTheTemporaryFolderOrToMemory) {
  std::string Path;
  {
    auto A = OpenCopy("x.lzh");
    ASSERT_TRUE(A->ListItems());
    ASSERT_EQ(A->ItemCount(), 3);
    A->ExtractItemToTemp(1, 18751, Path);
    // <temporary folder>/$qvsrch/<8-character tag>/b.txt
    const fs::path P(Path);
    EXPECT_EQ(P.filename(), "b.txt");
    EXPECT_EQ(P.parent_path().parent_path(), Temp_ / kTempArchiveRootName);
    EXPECT_EQ(P.parent_path().filename().string().size(), 8u);
    EXPECT_EQ(ReadFileBytes(Path), Source("docs/b.txt"));
    EXPECT_EQ(TakeBlock(A->ExtractItemToMemory(0, 26), 26), Source("a.txt"));
    EXPECT_EQ(TakeBlock(ExtractArchiveItemToMemory(*A, "docs/b.txt", 18751), 18751), Source("docs/b.txt"));
    fs::remove(Path);
  }
  EXPECT_TRUE(Entries(Temp_).empty());
}

TEST_F(Archiver, ExtractArchiveItemWritesTheNamedFile) {
  auto A = OpenCopy("x.arj");
  const fs::path Target = Dir_ / "out" / "copy.txt";
  TDateTime Date = 0;
  int32_t Size = 0;
  ExtractArchiveItem(*A, "docs/b.txt", Target.string(), &Date, &Size, true);
  EXPECT_EQ(ReadFileBytes(Target), Source("docs/b.txt"));
  EXPECT_EQ(Size, 18751);
  TArchiver Closed;
  EXPECT_THROW(ExtractArchiveItem(Closed, "a.txt", Target.string()), EArcError);
}

TEST_F(Archiver, AMissingItemRaisesAndLeavesTheNamedFileAsItWas) {
  auto A = OpenCopy("x.zip");
  const fs::path Out = Dir_ / "out";
  const fs::path Kept = Out / "kept.txt";
  WriteAll(Kept, "a file that was here before");
  EXPECT_THROW(ExtractArchiveItem(*A, "nothing.txt", (Out / "absent.txt").string()), EArcError);
  EXPECT_THROW(ExtractArchiveItem(*A, "nothing.txt", Kept.string()), EArcError);
  EXPECT_EQ(Entries(Out), std::vector<std::string>{"kept.txt"});
  EXPECT_EQ(ReadFileBytes(Kept), "a file that was here before");
  EXPECT_THROW(ExtractArchiveItemToMemory(*A, "nothing.txt", 0), EArcError);
}

TEST_F(Archiver, ExtractAllDeliversEveryItemAndLeavesNothingBehind) {
  {
    auto A = OpenCopy("x.zip");
    A->OnFileDone = KeepFile();
    A->ExtractAll(KeepBlock(), DecideBySize(100));
    EXPECT_EQ(Blocks_, (std::map<std::string, std::string>{{"a.txt", Source("a.txt")}, {"empty.txt", ""}}));
    EXPECT_EQ(Files_, (std::map<std::string, std::string>{{"b.txt", Source("docs/b.txt")}}));
  }
  EXPECT_TRUE(Entries(Temp_).empty());

  Files_.clear();
  {
    auto A = OpenCopy("x.arj");
    A->OnItemFilter = [](TArcListItem& Item, bool&) { return Item.ItemName != "a.txt"; };
    A->OnFileDone = KeepFile();
    EXPECT_EQ(A->ExtractAllToTemp(), 2);
    EXPECT_EQ(A->GetExtractedFiles().size(), 2u);
    EXPECT_EQ(Files_,
              (std::map<std::string, std::string>{{"b.txt", Source("docs/b.txt")}, {"empty.txt", ""}}));
  }
  EXPECT_TRUE(Entries(Temp_).empty());
}

TEST_F(Archiver, ExtractAllMakesItsFolderOnlyForAnItemThatGoesToAFile) {
  auto A = OpenCopy("x.zip");
  A->ExtractAll(KeepBlock(), DecideBySize(1 << 20));
  EXPECT_EQ(Blocks_.size(), 3u);
  EXPECT_TRUE(Entries(Temp_).empty());  // every item went to memory: no root, no folder

  // The large item goes to a file at its preset name (with its stored folder) in the archiver's own
  // private folder.
  std::string Delivered;
  A->OnFileDone = [&Delivered](TArcFileItem& File, bool&) { Delivered = File.FileName; };
  A->ExtractAll(KeepBlock(), DecideBySize(100));
  std::string Folder;
  A->MakeTempFolder(0, Folder);
  EXPECT_EQ(Delivered, Folder + "docs/b.txt");
  EXPECT_EQ(ReadFileBytes(Delivered), Source("docs/b.txt"));
  struct stat St {};
  ASSERT_EQ(::stat(fs::path(Folder).parent_path().c_str(), &St), 0);
  EXPECT_EQ(St.st_mode & 0777, 0700u);
  fs::remove(Delivered);
  A.reset();
  EXPECT_TRUE(Entries(Temp_).empty());
}

TEST_F(Archiver, TemporaryFoldersAreGoneAfterErrorsAndCancels) {
  // A damaged archive: the large item fails in the middle.
  WriteAll(Work_ / "cut.zip", Fixture("x.zip").substr(0, 1500));
  {
    TArchiver A;
    std::string Msg;
    std::vector<std::string> Messages;
    if (A.Open((Work_ / "cut.zip").string(), Msg)) {
      A.SetMessageCallback([&Messages](const std::string& M) { Messages.push_back(M); });
      A.OnFileDone = KeepFile();
      A.ExtractAll(KeepBlock(), DecideBySize(0));
    }
  }
  EXPECT_TRUE(Entries(Temp_).empty());
  Files_.clear();
  Blocks_.clear();

  // Cancelled from the progress event and from Decide.
  for (int How = 0; How < 2; ++How) {
    auto A = OpenCopy("x.lzh");
    if (How == 0) A->SetProgressCallback([](int32_t, int32_t) { return false; });
    A->OnFileDone = KeepFile();
    A->ExtractAll(KeepBlock(), [How](TArcDecideItem& Item) {
      Item.Decision = (How == 1 && Item.ItemName == "docs/b.txt") ? edCancel : edToFile;
      return true;
    });
    // Stopped at the first poll nothing arrives; stopped at b.txt only a.txt came before.
    EXPECT_EQ(Files_.size(), How == 0 ? 0u : 1u);
    EXPECT_FALSE(Files_.count("b.txt"));
    Files_.clear();
    A.reset();
    EXPECT_TRUE(Entries(Temp_).empty()) << How;
  }
}

TEST_F(Archiver, TwoArchiversUseTwoFoldersUnderOneRoot) {
  auto First = OpenCopy("x.zip");
  auto Second = OpenCopy("x.lzh");
  std::string F1, F2;
  First->MakeTempFolder(0, F1);
  Second->MakeTempFolder(0, F2);
  std::string Again;
  First->MakeTempFolder(1000, Again);
  EXPECT_EQ(Again, F1);
  EXPECT_NE(F1, F2);
  const std::string Root = (Temp_ / kTempArchiveRootName).string() + "/";
  EXPECT_EQ(fs::path(F1).parent_path().parent_path().string() + "/", Root);
  EXPECT_EQ(fs::path(F2).parent_path().parent_path().string() + "/", Root);
  EXPECT_EQ(TempArchiveRootList(), std::vector<std::string>{Root});
  // Private: only this user may look inside.
  struct stat St {};
  ASSERT_EQ(::stat(Root.c_str(), &St), 0);
  EXPECT_EQ(St.st_mode & 0777, 0700u);

  First.reset();
  EXPECT_FALSE(fs::exists(F1));
  EXPECT_TRUE(fs::exists(Root));
  Second.reset();
  EXPECT_FALSE(fs::exists(Root));
  EXPECT_TRUE(TempArchiveRootList().empty());
}

// The tag of a folder of the process Pid, as archivers name their folders (base 16, digits "a" to "p").
std::string FolderTagOf(pid_t Pid, const char* Rest) {
  std::string Tag(6, 'a');
  for (int I = 5; I >= 0; --I, Pid >>= 4) Tag[static_cast<size_t>(I)] = static_cast<char>('a' + (Pid & 15));
  return Tag + Rest;
}

// What processes that no longer run left in the temporary root goes when this process first uses it;
// folders of running processes and names of any other form stay.
TEST_F(Archiver, FoldersOfEndedProcessesAreRemovedAtFirstUse) {
  const pid_t Ended = ::fork();
  if (Ended == 0) ::_exit(0);
  ASSERT_GT(Ended, 0);
  ASSERT_EQ(::waitpid(Ended, nullptr, 0), Ended);
  const fs::path Root = Temp_ / kTempArchiveRootName;
  const fs::path Gone1 = Root / FolderTagOf(Ended, "aa"), Gone2 = Root / FolderTagOf(Ended, "af.1");
  const fs::path Live = Root / FolderTagOf(::getppid(), "aa"), Other = Root / "notes";
  // A folder named as an older version named them.
  const fs::path Older = Root / "0001A2B3";
  WriteAll(Gone1 / "inner" / "x.txt", "left behind");
  WriteAll(Gone2 / "y.txt", "left behind");
  fs::create_directories(Live);
  fs::create_directories(Other);
  fs::create_directories(Older);
  {
    auto A = OpenCopy("x.zip");
    std::string Folder;
    A->MakeTempFolder(0, Folder);
    EXPECT_EQ(fs::path(Folder).parent_path().filename().string().substr(0, 6),
              FolderTagOf(::getpid(), "").substr(0, 6));
  }
  EXPECT_FALSE(fs::exists(Gone1));
  EXPECT_FALSE(fs::exists(Gone2));
  EXPECT_TRUE(fs::exists(Live));
  EXPECT_TRUE(fs::exists(Other));
  EXPECT_TRUE(fs::exists(Older));
  fs::remove_all(Root);
}

// A process ended by an interrupt, a termination or a hang-up removes its temporary folders first.
TEST_F(Archiver, EndingSignalRemovesTheProcessFolders) {
  for (const int Signal : {SIGTERM, SIGINT, SIGHUP}) {
    int Ready[2];
    ASSERT_EQ(::pipe(Ready), 0);
    const pid_t Child = ::fork();
    if (Child == 0) {
      TArchiver A;
      std::string Folder;
      A.MakeTempFolder(0, Folder);
      std::ofstream(Folder + "extracted.bin") << "an inner archive";
      (void)!::write(Ready[1], "x", 1);
      for (;;) ::pause();
    }
    ASSERT_GT(Child, 0);
    char C = 0;
    ASSERT_EQ(::read(Ready[0], &C, 1), 1);
    ::close(Ready[0]);
    ::close(Ready[1]);
    EXPECT_FALSE(Entries(Temp_ / kTempArchiveRootName).empty());
    ::kill(Child, Signal);
    int Status = 0;
    ASSERT_EQ(::waitpid(Child, &Status, 0), Child);
    EXPECT_TRUE(WIFSIGNALED(Status) && WTERMSIG(Status) == Signal) << Signal;
    EXPECT_EQ(Entries(Temp_ / kTempArchiveRootName), std::vector<std::string>{}) << Signal;
  }
  fs::remove_all(Temp_ / kTempArchiveRootName);
}

// Once the process is ending on a signal, no temporary folder or copy is made and no extraction starts,
// while the program winds up; its end then leaves nothing behind.
TEST_F(Archiver, NothingIsExtractedOnceTheProcessIsEnding) {
  const std::string Zip = Copy("x.zip");
  int Report[2];
  ASSERT_EQ(::pipe(Report), 0);
  const pid_t Child = ::fork();
  if (Child == 0) {
    BlockEndingSignals();
    StartEndingSignals(nullptr);
    TArchiver A;
    std::string Msg, Folder;
    if (!A.Open(Zip, Msg) || !A.ListItems()) ::_exit(2);
    A.MakeTempFolder(0, Folder);
    (void)!::write(Report[1], "r", 1);
    while (!EndingRequested()) ::usleep(200);
    auto Refused = [&](const std::function<void()>& Try) {
      try {
        Try();
      } catch (const EArcError&) {
        (void)!::write(Report[1], "y", 1);
        return;
      }
      (void)!::write(Report[1], "n", 1);
    };
    Refused([&] { A.MakeTempFolder(0, Folder); });
    Refused([&] { A.ExtractAll([](TArcMemoryItem&, bool&) {}, DecideBySize(0)); });
    Refused([&] { A.ExtractAllToTemp(); });
    Refused([&] {
      std::string Path;
      A.ExtractItemToTemp(0, -1, Path);
    });
    Refused([&] { A.ExtractItemToMemory(0, 1); });
    std::string Copied;
    errno = 0;
    const bool Made = MakeProcessTempFile("QV", "", 0, Copied);
    (void)!::write(Report[1], !Made && errno == ECANCELED ? "y" : "n", 1);
    ::close(Report[1]);
    EndProcessIfSignalled();
    ::_exit(3);
  }
  ASSERT_GT(Child, 0);
  ::close(Report[1]);
  char C = 0;
  ASSERT_EQ(::read(Report[0], &C, 1), 1);
  ::kill(Child, SIGTERM);
  std::string Said;
  while (::read(Report[0], &C, 1) == 1) Said += C;
  ::close(Report[0]);
  int Status = 0;
  ASSERT_EQ(::waitpid(Child, &Status, 0), Child);
  EXPECT_EQ(Said, "yyyyyy");
  EXPECT_TRUE(WIFSIGNALED(Status) && WTERMSIG(Status) == SIGTERM) << Status;
  EXPECT_EQ(Entries(Temp_ / kTempArchiveRootName), std::vector<std::string>{});
}

TEST_F(Archiver, ARootThatIsNotThisUsersOwnFolderIsNotUsed) {
  // Someone planted "$qvsrch" as a link to a folder of theirs.
  const fs::path Planted = Dir_ / "planted";
  fs::create_directories(Planted);
  fs::create_directory_symlink(Planted, Temp_ / kTempArchiveRootName);
  {
    auto A = OpenCopy("x.zip");
    A->OnFileDone = KeepFile();
    A->ExtractAll(KeepBlock(), DecideBySize(0));
    EXPECT_EQ(Files_.size(), 2u);
    EXPECT_EQ(Blocks_.size(), 1u);
    std::string Folder;
    A->MakeTempFolder(0, Folder);
    EXPECT_EQ(fs::path(Folder).parent_path().parent_path().filename().string(),
              std::string(kTempArchiveRootName) + "-" + std::to_string(::geteuid()));
  }
  EXPECT_TRUE(Entries(Planted).empty());
  EXPECT_TRUE(fs::is_symlink(Temp_ / kTempArchiveRootName));
  EXPECT_FALSE(fs::exists(Temp_ / (std::string(kTempArchiveRootName) + "-" + std::to_string(::geteuid()))));
}

TEST_F(Archiver, FurtherVolumesComeFromTheListGivenToOpen) {
  const fs::path Elsewhere = Dir_ / "other" / "vol.a01";
  WriteAll(Elsewhere, Fixture("vol.a01"));
  TStrLst Volumes;
  Volumes.Add(Elsewhere.string());
  {
    TArchiver A;
    std::string Msg;
    ASSERT_TRUE(A.Open(Copy("vol.arj"), Msg, &Volumes)) << Msg;
    A.ExtractAll(KeepBlock(), DecideBySize(1 << 20));
    EXPECT_EQ(Blocks_["big.bin"], Source("big.bin"));
  }
  // Without the list the set ends at the first volume.
  Blocks_.clear();
  {
    auto A = OpenCopy("vol.arj");
    std::vector<std::string> Messages;
    A->SetMessageCallback([&Messages](const std::string& M) { Messages.push_back(M); });
    A->ExtractAll(KeepBlock(), DecideBySize(1 << 20));
    EXPECT_EQ(Blocks_.size(), 1u);
    EXPECT_EQ(Messages, (std::vector<std::string>{"Volume \"vol.a01\" not found",
                                                  "big.bin: lost with the missing volume \"vol.a01\""}));
  }
  EXPECT_TRUE(Entries(Temp_).empty());
}

TEST_F(Archiver, CallbacksSetAfterOpeningReachTheWrapper) {
  auto A = OpenCopy("pw.zip");
  int Asked = 0;
  A->SetPasswordCallback([&Asked](const std::string&, const std::string&, std::string& Password) {
    ++Asked;
    Password = "secret";
    return true;
  });
  ASSERT_TRUE(A->ListItems());
  EXPECT_EQ(TakeBlock(A->ExtractItemToMemory(0, 26), 26), Source("a.txt"));
  EXPECT_EQ(Asked, 1);
}

TEST_F(Archiver, CachedAndSubArchiversDeleteTheirTemporaryFiles) {
  // A sub-archiver owns its volume copies; a cached one its archive file.
  const std::string Inner = Copy("vol.arj", "inner/vol.arj");
  const std::string Volume = Copy("vol.a01", "inner/vol.a01");
  TStrLst Volumes;
  Volumes.Add(Volume);
  auto Sub = std::make_unique<TSubArchiver>();
  std::string Msg;
  ASSERT_TRUE(Sub->Open(Inner, Msg, &Volumes)) << Msg;
  Sub->Cached = true;
  EXPECT_EQ(Sub->GetArchiveName(), Inner);
  Sub.reset();
  EXPECT_FALSE(fs::exists(Inner));
  EXPECT_FALSE(fs::exists(Volume));
  EXPECT_FALSE(fs::exists(Work_ / "inner"));

  auto Plain = std::make_unique<TArchiver>();
  ASSERT_TRUE(Plain->Open(Copy("x.zip"), Msg)) << Msg;
  Plain.reset();
  EXPECT_TRUE(fs::exists(Work_ / "x.zip"));
}

}  // namespace

namespace {

using namespace wraptest;

// The archiver with its volume question open to the test.
class TVolumeArchiver : public TArchiver {
 public:
  using TArchiver::FindVolume;
};

TEST_F(Archiver, CabinetVolumesAreFoundByTheEndOfTheirNameWithCase) {
  if (!LoadCabinetDll("")) GTEST_SKIP() << "cabinet.so is not bound";
  const std::string Disk2 = (Dir_ / "set" / "DISK2.CAB").string();
  const std::string Other = (Dir_ / "set" / "x.a01").string();
  TStrLst Volumes;
  Volumes.Add(Other);
  Volumes.Add(Disk2);
  TVolumeArchiver A;
  std::string Msg;
  ASSERT_TRUE(A.Open(Copy("x.cab"), Msg, &Volumes)) << Msg;
  EXPECT_EQ(A.Kind, akCab);
  std::string Name = "DISK2.CAB";
  EXPECT_TRUE(A.FindVolume(Name));
  EXPECT_EQ(Name, Disk2);
  Name = "disk2.cab";
  EXPECT_FALSE(A.FindVolume(Name));

  // Other kinds match by extension, without case.
  TVolumeArchiver Arj;
  ASSERT_TRUE(Arj.Open(Copy("vol.arj"), Msg, &Volumes)) << Msg;
  Name = "vol.A01";
  EXPECT_TRUE(Arj.FindVolume(Name));
  EXPECT_EQ(Name, Other);
}

}  // namespace
