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
#include <map>

#include "archive/cab/arlUnCab.h"
#include "archive/rar/UnRarDyn.h"
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
  std::map<std::string, std::string> Blocks, Files;
  TArcMemoryEvent KeepBlock() {
    return [this](TArcMemoryItem& Item, bool&) { Blocks[Item.ItemName] = TakeBlock(Item.Block, Item.Size); };
  }
  TArcFileEvent KeepFile() {
    return [this](TArcFileItem& File, bool&) {
      Files[fs::path(File.FileName).filename().string()] = ReadFileBytes(File.FileName);
      fs::remove(File.FileName);
    };
  }
  std::unique_ptr<TArchiver> OpenCopy(const std::string& Name, const std::string& As = "") {
    auto a = std::make_unique<TArchiver>();
    std::string msg;
    EXPECT_TRUE(a->Open(Copy(Name, As), msg)) << msg;
    return a;
  }
};

TEST_F(Archiver, OpenChoosesTheWrapperAndNamesTheKind) {
  WriteAll(Work / "junk.zip", std::string(300, 'j'));
  const std::string w = Work.string() + "/";
  struct TCase {
    std::string File;
    TArchiveKind Kind;
    std::string Msg;  // "" when it opens
  };
  const TCase cases[] = {
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
       LoadUnRarDll("") ? "UnRar error opening \"" + w + "x.rar\": file is not a valid RAR archive"
                        : "Can't load dynamic link library \"UnRar3.so\""},
      {w + "junk.zip", akNone, "Archive \"" + w + "junk.zip\" is damaged or not supported"},
      {w + "missing.zip", akNone, "No such file or directory"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.File);
    TArchiver a;
    std::string msg;
    EXPECT_EQ(a.Open(c.File, msg), c.Msg.empty());
    EXPECT_EQ(a.Kind, c.Kind);
    if (c.Msg.empty()) {
      EXPECT_EQ(a.GetArchiveName(), c.File);
      EXPECT_TRUE(a.SupportsExtractAll());
    } else {
      EXPECT_EQ(msg, c.Msg);
      EXPECT_EQ(a.GetArchiveName(), "");
      try {
        a.OpenChecked(c.File);
        ADD_FAILURE() << "OpenChecked did not raise";
      } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), c.Msg);
      }
    }
  }
}

TEST_F(Archiver, RarArchivesAndRarSelfExtractorsGoToTheRarWrapper) {
  if (!LoadUnRarDll("")) GTEST_SKIP() << "UnRar3.so is not bound";
  const fs::path peers = fs::path(SCRYLINE_TEST_DATA) / "arlbase";
  for (const std::string name : {"peer_rar.rar", "peer_rar_sfx.exe"}) {
    SCOPED_TRACE(name);
    WriteAll(Work / name, ReadFileBytes(peers / name));
    TArchiver a;
    std::string msg;
    ASSERT_TRUE(a.Open((Work / name).string(), msg)) << msg;
    EXPECT_EQ(a.Kind, akRar);
    ASSERT_TRUE(a.ListItems());
    EXPECT_GT(a.ItemCount(), 0);
  }
}

TEST_F(Archiver, ListItemsAsksTheFilterAndLeavesOutFirstPartsOfSpanningItems) {
  Copy("vol.a01");
  auto a = OpenCopy("vol.arj");
  std::vector<std::pair<std::string, bool>> filtered;
  a->OnItemFilter = [&filtered](TArcListItem& Item, bool&) {
    filtered.emplace_back(Item.ItemName, Item.SizeIncomplete);
    return true;
  };
  ASSERT_TRUE(a->ListItems());
  EXPECT_EQ(filtered, (std::vector<std::pair<std::string, bool>>{
                          {"a.txt", false}, {"big.bin", true}, {"big.bin", false}}));
  ASSERT_EQ(a->ItemCount(), 2);
  std::string name;
  TDateTime date = 0;
  int32_t size = 0;
  a->GetItem(1, name, date, size);
  EXPECT_EQ(name, "big.bin");
  EXPECT_EQ(size, 12000);
  EXPECT_THROW(a->GetItem(2, name, date, size), EArcError);
  EXPECT_THROW(a->GetItem(-1, name, date, size), EArcError);

  // A filter that refuses an item leaves it out; one that stops ends the listing.
  a->OnItemFilter = [](TArcListItem& Item, bool&) { return Item.ItemName != "a.txt"; };
  ASSERT_TRUE(a->ListItems());
  EXPECT_EQ(a->ItemCount(), 1);
  a->OnItemFilter = [](TArcListItem&, bool& Stop) {
    Stop = true;
    return true;
  };
  EXPECT_FALSE(a->ListItems());
}

TEST_F(Archiver, ItemsByIndexGoToTheTemporaryFolderOrToMemory) {
  std::string path;
  {
    auto a = OpenCopy("x.lzh");
    ASSERT_TRUE(a->ListItems());
    ASSERT_EQ(a->ItemCount(), 3);
    a->ExtractItemToTemp(1, 18751, path);
    // <temporary folder>/$qvsrch/<8-character tag>/b.txt
    const fs::path p(path);
    EXPECT_EQ(p.filename(), "b.txt");
    EXPECT_EQ(p.parent_path().parent_path(), Temp / kTempArchiveRootName);
    EXPECT_EQ(p.parent_path().filename().string().size(), 8u);
    EXPECT_EQ(ReadFileBytes(path), Source("docs/b.txt"));
    EXPECT_EQ(TakeBlock(a->ExtractItemToMemory(0, 26), 26), Source("a.txt"));
    EXPECT_EQ(TakeBlock(ExtractArchiveItemToMemory(*a, "docs/b.txt", 18751), 18751), Source("docs/b.txt"));
    fs::remove(path);
  }
  EXPECT_TRUE(Entries(Temp).empty());
}

TEST_F(Archiver, ExtractArchiveItemWritesTheNamedFile) {
  auto a = OpenCopy("x.arj");
  const fs::path target = Dir / "out" / "copy.txt";
  TDateTime date = 0;
  int32_t size = 0;
  ExtractArchiveItem(*a, "docs/b.txt", target.string(), &date, &size, true);
  EXPECT_EQ(ReadFileBytes(target), Source("docs/b.txt"));
  EXPECT_EQ(size, 18751);
  TArchiver closed;
  EXPECT_THROW(ExtractArchiveItem(closed, "a.txt", target.string()), EArcError);
}

TEST_F(Archiver, AMissingItemRaisesAndLeavesTheNamedFileAsItWas) {
  auto a = OpenCopy("x.zip");
  const fs::path out = Dir / "out";
  const fs::path kept = out / "kept.txt";
  WriteAll(kept, "a file that was here before");
  EXPECT_THROW(ExtractArchiveItem(*a, "nothing.txt", (out / "absent.txt").string()), EArcError);
  EXPECT_THROW(ExtractArchiveItem(*a, "nothing.txt", kept.string()), EArcError);
  EXPECT_EQ(Entries(out), std::vector<std::string>{"kept.txt"});
  EXPECT_EQ(ReadFileBytes(kept), "a file that was here before");
  EXPECT_THROW(ExtractArchiveItemToMemory(*a, "nothing.txt", 0), EArcError);
}

TEST_F(Archiver, ExtractAllDeliversEveryItemAndLeavesNothingBehind) {
  {
    auto a = OpenCopy("x.zip");
    a->OnFileDone = KeepFile();
    a->ExtractAll(KeepBlock(), DecideBySize(100));
    EXPECT_EQ(Blocks, (std::map<std::string, std::string>{{"a.txt", Source("a.txt")}, {"empty.txt", ""}}));
    EXPECT_EQ(Files, (std::map<std::string, std::string>{{"b.txt", Source("docs/b.txt")}}));
  }
  EXPECT_TRUE(Entries(Temp).empty());

  Files.clear();
  {
    auto a = OpenCopy("x.arj");
    a->OnItemFilter = [](TArcListItem& Item, bool&) { return Item.ItemName != "a.txt"; };
    a->OnFileDone = KeepFile();
    EXPECT_EQ(a->ExtractAllToTemp(), 2);
    EXPECT_EQ(a->GetExtractedFiles().size(), 2u);
    EXPECT_EQ(Files,
              (std::map<std::string, std::string>{{"b.txt", Source("docs/b.txt")}, {"empty.txt", ""}}));
  }
  EXPECT_TRUE(Entries(Temp).empty());
}

TEST_F(Archiver, ExtractAllMakesItsFolderOnlyForAnItemThatGoesToAFile) {
  auto a = OpenCopy("x.zip");
  a->ExtractAll(KeepBlock(), DecideBySize(1 << 20));
  EXPECT_EQ(Blocks.size(), 3u);
  EXPECT_TRUE(Entries(Temp).empty());  // every item went to memory: no root, no folder

  // The large item goes to a file at its preset name (with its stored folder) in the archiver's own
  // private folder.
  std::string delivered;
  a->OnFileDone = [&delivered](TArcFileItem& File, bool&) { delivered = File.FileName; };
  a->ExtractAll(KeepBlock(), DecideBySize(100));
  std::string folder;
  a->MakeTempFolder(0, folder);
  EXPECT_EQ(delivered, folder + "docs/b.txt");
  EXPECT_EQ(ReadFileBytes(delivered), Source("docs/b.txt"));
  struct stat st {};
  ASSERT_EQ(::stat(fs::path(folder).parent_path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  fs::remove(delivered);
  a.reset();
  EXPECT_TRUE(Entries(Temp).empty());
}

TEST_F(Archiver, TemporaryFoldersAreGoneAfterErrorsAndCancels) {
  // A damaged archive: the large item fails in the middle.
  WriteAll(Work / "cut.zip", Fixture("x.zip").substr(0, 1500));
  {
    TArchiver a;
    std::string msg;
    std::vector<std::string> messages;
    if (a.Open((Work / "cut.zip").string(), msg)) {
      a.SetMessageCallback([&messages](const std::string& M) { messages.push_back(M); });
      a.OnFileDone = KeepFile();
      a.ExtractAll(KeepBlock(), DecideBySize(0));
    }
  }
  EXPECT_TRUE(Entries(Temp).empty());
  Files.clear();
  Blocks.clear();

  // Cancelled from the progress event and from Decide.
  for (int how = 0; how < 2; ++how) {
    auto a = OpenCopy("x.lzh");
    if (how == 0) a->SetProgressCallback([](int32_t, int32_t) { return false; });
    a->OnFileDone = KeepFile();
    a->ExtractAll(KeepBlock(), [how](TArcDecideItem& Item) {
      Item.Decision = (how == 1 && Item.ItemName == "docs/b.txt") ? edCancel : edToFile;
      return true;
    });
    // Stopped at the first poll nothing arrives; stopped at b.txt only a.txt came before.
    EXPECT_EQ(Files.size(), how == 0 ? 0u : 1u);
    EXPECT_FALSE(Files.count("b.txt"));
    Files.clear();
    a.reset();
    EXPECT_TRUE(Entries(Temp).empty()) << how;
  }
}

TEST_F(Archiver, TwoArchiversUseTwoFoldersUnderOneRoot) {
  auto first = OpenCopy("x.zip");
  auto second = OpenCopy("x.lzh");
  std::string f1, f2;
  first->MakeTempFolder(0, f1);
  second->MakeTempFolder(0, f2);
  std::string again;
  first->MakeTempFolder(1000, again);
  EXPECT_EQ(again, f1);
  EXPECT_NE(f1, f2);
  const std::string root = (Temp / kTempArchiveRootName).string() + "/";
  EXPECT_EQ(fs::path(f1).parent_path().parent_path().string() + "/", root);
  EXPECT_EQ(fs::path(f2).parent_path().parent_path().string() + "/", root);
  EXPECT_EQ(TempArchiveRootList(), std::vector<std::string>{root});
  // Private: only this user may look inside.
  struct stat st {};
  ASSERT_EQ(::stat(root.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  first.reset();
  EXPECT_FALSE(fs::exists(f1));
  EXPECT_TRUE(fs::exists(root));
  second.reset();
  EXPECT_FALSE(fs::exists(root));
  EXPECT_TRUE(TempArchiveRootList().empty());
}

// The tag of a folder of the process Pid, as archivers name their folders (base 16, digits "a" to "p").
std::string FolderTagOf(pid_t Pid, const char* Rest) {
  std::string tag(6, 'a');
  for (int i = 5; i >= 0; --i, Pid >>= 4) tag[static_cast<size_t>(i)] = static_cast<char>('a' + (Pid & 15));
  return tag + Rest;
}

// What processes that no longer run left in the temporary root goes when this process first uses it;
// folders of running processes and names of any other form stay.
TEST_F(Archiver, FoldersOfEndedProcessesAreRemovedAtFirstUse) {
  const pid_t ended = ::fork();
  if (ended == 0) ::_exit(0);
  ASSERT_GT(ended, 0);
  ASSERT_EQ(::waitpid(ended, nullptr, 0), ended);
  const fs::path root = Temp / kTempArchiveRootName;
  const fs::path gone1 = root / FolderTagOf(ended, "aa"), gone2 = root / FolderTagOf(ended, "af.1");
  const fs::path live = root / FolderTagOf(::getppid(), "aa"), other = root / "notes";
  // A folder named as an older version named them.
  const fs::path older = root / "0001A2B3";
  WriteAll(gone1 / "inner" / "x.txt", "left behind");
  WriteAll(gone2 / "y.txt", "left behind");
  fs::create_directories(live);
  fs::create_directories(other);
  fs::create_directories(older);
  {
    auto a = OpenCopy("x.zip");
    std::string folder;
    a->MakeTempFolder(0, folder);
    EXPECT_EQ(fs::path(folder).parent_path().filename().string().substr(0, 6),
              FolderTagOf(::getpid(), "").substr(0, 6));
  }
  EXPECT_FALSE(fs::exists(gone1));
  EXPECT_FALSE(fs::exists(gone2));
  EXPECT_TRUE(fs::exists(live));
  EXPECT_TRUE(fs::exists(other));
  EXPECT_TRUE(fs::exists(older));
  fs::remove_all(root);
}

// A process ended by an interrupt, a termination or a hang-up removes its temporary folders first.
TEST_F(Archiver, EndingSignalRemovesTheProcessFolders) {
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
      TArchiver a;
      std::string folder;
      a.MakeTempFolder(0, folder);
      std::ofstream(folder + "extracted.bin") << "an inner archive";
      (void)!::write(ready[1], "x", 1);
      for (;;) ::pause();
    }
    ASSERT_GT(child, 0);
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_FALSE(Entries(Temp / kTempArchiveRootName).empty());
    ::kill(child, signal);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal;
    EXPECT_EQ(Entries(Temp / kTempArchiveRootName), std::vector<std::string>{}) << signal;
  }
  fs::remove_all(Temp / kTempArchiveRootName);
}

TEST_F(Archiver, ARootThatIsNotThisUsersOwnFolderIsNotUsed) {
  // Someone planted "$qvsrch" as a link to a folder of theirs.
  const fs::path planted = Dir / "planted";
  fs::create_directories(planted);
  fs::create_directory_symlink(planted, Temp / kTempArchiveRootName);
  {
    auto a = OpenCopy("x.zip");
    a->OnFileDone = KeepFile();
    a->ExtractAll(KeepBlock(), DecideBySize(0));
    EXPECT_EQ(Files.size(), 2u);
    EXPECT_EQ(Blocks.size(), 1u);
    std::string folder;
    a->MakeTempFolder(0, folder);
    EXPECT_EQ(fs::path(folder).parent_path().parent_path().filename().string(),
              std::string(kTempArchiveRootName) + "-" + std::to_string(::geteuid()));
  }
  EXPECT_TRUE(Entries(planted).empty());
  EXPECT_TRUE(fs::is_symlink(Temp / kTempArchiveRootName));
  EXPECT_FALSE(fs::exists(Temp / (std::string(kTempArchiveRootName) + "-" + std::to_string(::geteuid()))));
}

TEST_F(Archiver, FurtherVolumesComeFromTheListGivenToOpen) {
  const fs::path elsewhere = Dir / "other" / "vol.a01";
  WriteAll(elsewhere, Fixture("vol.a01"));
  TStrLst volumes;
  volumes.Add(elsewhere.string());
  {
    TArchiver a;
    std::string msg;
    ASSERT_TRUE(a.Open(Copy("vol.arj"), msg, &volumes)) << msg;
    a.ExtractAll(KeepBlock(), DecideBySize(1 << 20));
    EXPECT_EQ(Blocks["big.bin"], Source("big.bin"));
  }
  // Without the list the set ends at the first volume.
  Blocks.clear();
  {
    auto a = OpenCopy("vol.arj");
    std::vector<std::string> messages;
    a->SetMessageCallback([&messages](const std::string& M) { messages.push_back(M); });
    a->ExtractAll(KeepBlock(), DecideBySize(1 << 20));
    EXPECT_EQ(Blocks.size(), 1u);
    EXPECT_EQ(messages, std::vector<std::string>{"Volume \"vol.a01\" not found"});
  }
  EXPECT_TRUE(Entries(Temp).empty());
}

TEST_F(Archiver, CallbacksSetAfterOpeningReachTheWrapper) {
  auto a = OpenCopy("pw.zip");
  int asked = 0;
  a->SetPasswordCallback([&asked](const std::string&, const std::string&, std::string& Password) {
    ++asked;
    Password = "secret";
    return true;
  });
  ASSERT_TRUE(a->ListItems());
  EXPECT_EQ(TakeBlock(a->ExtractItemToMemory(0, 26), 26), Source("a.txt"));
  EXPECT_EQ(asked, 1);
}

TEST_F(Archiver, CachedAndSubArchiversDeleteTheirTemporaryFiles) {
  // A sub-archiver owns its volume copies; a cached one its archive file.
  const std::string inner = Copy("vol.arj", "inner/vol.arj");
  const std::string volume = Copy("vol.a01", "inner/vol.a01");
  TStrLst volumes;
  volumes.Add(volume);
  auto sub = std::make_unique<TSubArchiver>();
  std::string msg;
  ASSERT_TRUE(sub->Open(inner, msg, &volumes)) << msg;
  sub->Cached = true;
  EXPECT_EQ(sub->GetArchiveName(), inner);
  sub.reset();
  EXPECT_FALSE(fs::exists(inner));
  EXPECT_FALSE(fs::exists(volume));
  EXPECT_FALSE(fs::exists(Work / "inner"));

  auto plain = std::make_unique<TArchiver>();
  ASSERT_TRUE(plain->Open(Copy("x.zip"), msg)) << msg;
  plain.reset();
  EXPECT_TRUE(fs::exists(Work / "x.zip"));
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
  const std::string disk2 = (Dir / "set" / "DISK2.CAB").string();
  const std::string other = (Dir / "set" / "x.a01").string();
  TStrLst volumes;
  volumes.Add(other);
  volumes.Add(disk2);
  TVolumeArchiver a;
  std::string msg;
  ASSERT_TRUE(a.Open(Copy("x.cab"), msg, &volumes)) << msg;
  EXPECT_EQ(a.Kind, akCab);
  std::string name = "DISK2.CAB";
  EXPECT_TRUE(a.FindVolume(name));
  EXPECT_EQ(name, disk2);
  name = "disk2.cab";
  EXPECT_FALSE(a.FindVolume(name));

  // Other kinds match by extension, without case.
  TVolumeArchiver arj;
  ASSERT_TRUE(arj.Open(Copy("vol.arj"), msg, &volumes)) << msg;
  name = "vol.A01";
  EXPECT_TRUE(arj.FindVolume(name));
  EXPECT_EQ(name, other);
}

}  // namespace
