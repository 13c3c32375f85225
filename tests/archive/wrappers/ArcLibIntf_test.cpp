// The archive library wrapper over real archives made with Debian's tools: opening and its messages,
// listing, one item to a file or to memory, and the extract-all runs to files and to memory with their
// per-item decisions, passwords, names that try to leave the destination, volumes, cancelling and damage.
#include "archive/ArcLibIntf.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <map>

#include "archive/ace/arlUnAce2.h"
#include "archive/cab/arlUnCab.h"
#include "tests/archive/wrappers/WrapperTestUtil.h"

namespace {

using namespace wraptest;

struct TListed {
  std::string Name;
  bool SizeIncomplete;
  TDateTime Date;
  int32_t Size;
};

std::vector<TListed> ListAll(TBaseArcLibWrapper& W) {
  std::vector<TListed> out;
  EXPECT_TRUE(W.List([&out](TArcListItem& Item, bool&) {
    out.push_back({Item.ItemName, Item.SizeIncomplete, Item.Date, Item.Size});
    return true;
  }));
  return out;
}

// 2020-05-06 07:08:10 as a TDateTime: the stamp of every fixture item.
const TDateTime kFixtureDate = 43957.0 + (7 * 3600 + 8 * 60 + 10) / 86400.0;

// What one extract-all pass delivered.
struct TDelivery {
  std::map<std::string, std::string> Memory;  // item name -> bytes
  std::map<std::string, std::string> Files;   // file name -> bytes (the file is deleted once read)
  std::map<std::string, int32_t> FileSizes;
  std::vector<std::string> Messages;
};

TArcMemoryEvent CollectMemory(TDelivery& D) {
  return [&D](TArcMemoryItem& Item, bool&) { D.Memory[Item.ItemName] = TakeBlock(Item.Block, Item.Size); };
}

TArcFileEvent CollectFiles(TDelivery& D) {
  return [&D](TArcFileItem& File, bool&) {
    D.Files[File.FileName] = ReadFileBytes(File.FileName);
    D.FileSizes[File.FileName] = File.Size;
    fs::remove(File.FileName);
  };
}

class ArcLibWrapper : public TWrapperTest {
 protected:
  std::unique_ptr<TBaseArcLibWrapper> OpenFixture(const std::string& Name, const std::string& As = "") {
    auto w = std::make_unique<TBaseArcLibWrapper>();
    std::string msg;
    EXPECT_TRUE(w->SetArcName(Copy(Name, As), msg)) << msg;
    w->OnMessage = [this](const std::string& M) { Messages.push_back(M); };
    return w;
  }
  std::vector<std::string> Messages;
};

// --- Opening
// ------------------------------------------------------------------------------------------------

TEST_F(ArcLibWrapper, SetArcNameNamesTheTypeOrSaysWhyNot) {
  WriteAll(Work / "junk.zip", std::string(300, 'j'));
  Copy("x.cab");
  struct TCase {
    std::string File;
    bool Opens;
    int TypeCode;
    std::string Msg;
  };
  const std::string w = Work.string() + "/";
  const TCase cases[] = {
      {Copy("x.zip"), true, atZip, ""},
      {Copy("x.jar"), true, atJar, ""},
      {Copy("x.arj"), true, atArj, ""},
      {Copy("x.lzh"), true, atLha, ""},
      {Copy("sfx.exe"), true, atZip, ""},  // a ZIP behind a stub keeps the plain ZIP code
      {Copy("x.tar"), true, atTar, ""},
      {Copy("x.tgz"), true, atGZip, ""},
      {Copy("x.arc"), true, atArc, ""},
      {Copy("x.pak"), true, atArc, ""},  // PAK is read by the ARC decoder and keeps its code
      {w + "missing.zip", false, 0, "File \"" + w + "missing.zip\" not found"},
      {w + "junk.zip", false, 0, "Archive \"" + w + "junk.zip\" is damaged or not supported"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.File);
    TBaseArcLibWrapper wrapper;
    std::string msg;
    EXPECT_EQ(wrapper.SetArcName(c.File, msg), c.Opens);
    EXPECT_EQ(wrapper.GetTypeCode(), c.TypeCode);
    EXPECT_EQ(msg, c.Msg);
    EXPECT_EQ(wrapper.GetArcName(), c.Opens ? c.File : std::string());
    EXPECT_EQ(wrapper.GetDecoder() != nullptr, c.Opens);
  }
}

TEST_F(ArcLibWrapper, AceArchivesNeedTheAceLibrary) {
  std::string ace(64, '\0');
  ace.replace(7, 7, "**ACE**");
  WriteAll(Work / "x.ace", ace);
  const bool bound = LoadUnAceDll("");
  TBaseArcLibWrapper w;
  std::string msg;
  EXPECT_EQ(w.SetArcName((Work / "x.ace").string(), msg), bound);
  EXPECT_EQ(msg, bound ? "" : "UnAceV2.dll not found");
  EXPECT_EQ(w.GetTypeCode(), bound ? atAce : 0);
}

TEST_F(ArcLibWrapper, CabinetsOpenWhenTheCabinetLibraryIsBound) {
  const std::string cab = Copy("x.cab");
  const bool bound = LoadCabinetDll("");
  TBaseArcLibWrapper w;
  std::string msg;
  EXPECT_EQ(w.SetArcName(cab, msg), bound);
  if (bound) {
    EXPECT_EQ(w.GetTypeCode(), atCab);
    EXPECT_EQ(TakeBlock(w.ExtractToMemory("a.txt", 26), 26), Source("a.txt"));
  } else {
    EXPECT_EQ(msg, "Cabinet.dll not found");
  }
}

TEST_F(ArcLibWrapper, OperationsWithoutAnOpenArchiveRaise) {
  TBaseArcLibWrapper w;
  EXPECT_THROW(w.List([](TArcListItem&, bool&) { return true; }), EArcError);
  EXPECT_THROW(w.ExtractToMemory("a.txt", 26), EArcError);
}

// A wrapper whose SetArcName fails with a given message.
class TRefusingWrapper : public TArcWrapper {
 public:
  explicit TRefusingWrapper(std::string Reason) : Reason(std::move(Reason)) {}
  const char* ClassName() const override { return "TRefusingWrapper"; }
  bool SetArcName(const std::string&, std::string& Msg) override {
    Msg = Reason;
    return false;
  }
  bool List(const TArcItemEvent&) override { return true; }
  void ExtractItem(const std::string&, const std::string&, std::string&, int32_t, TDateTime*, int32_t*, bool,
                   const std::string&) override {}
  void ExtractAll(const std::string&, const TArcFileEvent&, const TArcItemEvent&) override {}
  std::string GetArcName() override { return ""; }
  std::string Reason;
};

TEST_F(ArcLibWrapper, OpenRaisesTheReasonOrTheClassName) {
  for (const auto& [reason, expected] :
       {std::pair<std::string, std::string>{"no such thing", "no such thing"},
        {"", "TRefusingWrapper.SetArcName error"}}) {
    TRefusingWrapper w(reason);
    try {
      w.Open("x");
      ADD_FAILURE() << "Open did not raise";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), expected);
    }
  }
}

// --- Listing
// ------------------------------------------------------------------------------------------------

TEST_F(ArcLibWrapper, ListReportsEveryFileItemOnceWithDateAndSize) {
  for (const std::string name : {"x.zip", "x.jar", "x.arj", "x.lzh", "sfx.exe", "x.tar"}) {
    SCOPED_TRACE(name);
    auto w = OpenFixture(name);
    const auto items = ListAll(*w);
    ASSERT_EQ(items.size(), 3u);  // the folder entry of the ZIP is not an item
    EXPECT_EQ(items[0].Name, "a.txt");
    EXPECT_EQ(items[0].Size, 26);
    EXPECT_EQ(items[1].Name, "docs/b.txt");
    EXPECT_EQ(items[1].Size, 18751);
    EXPECT_EQ(items[2].Name, "empty.txt");
    EXPECT_EQ(items[2].Size, 0);
    for (const auto& i : items) {
      EXPECT_FALSE(i.SizeIncomplete);
      // ARJ archives made on Unix keep a Unix time where DOS ones keep a DOS stamp; it is not compared.
      if (name != "x.arj") {
        EXPECT_NEAR(i.Date, kFixtureDate, 2.5 / 86400) << i.Name;
      }
    }
    EXPECT_TRUE(Messages.empty());
    // Listing decodes nothing and leaves nothing behind.
    EXPECT_EQ(Entries(Work), std::vector<std::string>{name});
    fs::remove(Work / name);
  }
}

TEST_F(ArcLibWrapper, OtherKindsListAndExtractTheirItems) {
  // A .tgz is one item, the TAR file, not the TAR's members; ARC keeps bare names.
  struct TCase {
    std::string Archive;
    std::vector<std::pair<std::string, int32_t>> Items;
    std::string Content;  // of the last item
  };
  const TCase cases[] = {
      {"x.tgz", {{"x.tar", 22528}}, Fixture("x.tar")},
      {"x.arc", {{"a.txt", 26}, {"b.txt", 18751}}, Source("docs/b.txt")},
      {"x.tar", {{"a.txt", 26}, {"docs/b.txt", 18751}, {"empty.txt", 0}}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Archive);
    auto w = OpenFixture(c.Archive);
    std::vector<std::pair<std::string, int32_t>> listed;
    for (const auto& i : ListAll(*w)) listed.emplace_back(i.Name, i.Size);
    EXPECT_EQ(listed, c.Items);
    const auto& [name, size] = c.Items.back();
    EXPECT_EQ(TakeBlock(w->ExtractToMemory(name, size), size), c.Content);
    std::string path;
    w->ExtractItem((Dir / "out").string(), name, path, size, nullptr, nullptr, false, "");
    EXPECT_EQ(ReadFileBytes(path), c.Content);
    EXPECT_TRUE(Messages.empty());
  }
}

// PAK archives (the detector's own type codes) are read by the ARC decoder. An archive whose first entry
// uses a PAK method opens; that entry is reported as of an unsupported method and the ARC-method entry
// after it is listed and comes out. A PAK folder lists the entries around and inside it.
TEST_F(ArcLibWrapper, PakArchivesGoToTheArcDecoder) {
  auto w = OpenFixture("x.pak");
  const auto items = ListAll(*w);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].Name, "a.txt");
  EXPECT_EQ(items[0].Size, 26);
  EXPECT_NEAR(items[0].Date, kFixtureDate, 2.5 / 86400);
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0], "Unsupported compression method (c.txt, method 11)");
  EXPECT_EQ(TakeBlock(w->ExtractToMemory("a.txt", 26), 26), Source("a.txt"));

  auto f = OpenFixture("../arc/fixtures/pak_folder.arc", "pak_folder.arc");
  std::vector<std::string> names;
  for (const auto& i : ListAll(*f)) names.push_back(i.Name);
  EXPECT_EQ(names, (std::vector<std::string>{"BEFORE.TXT", "SUB/IN.TXT", "AFTER.TXT"}));
  EXPECT_EQ(TakeBlock(f->ExtractToMemory("SUB/IN.TXT", 7), 7), "inside\n");
}

TEST_F(ArcLibWrapper, ListStopsWhenTheCallbackSaysSo) {
  auto w = OpenFixture("x.zip");
  int calls = 0;
  EXPECT_FALSE(w->List([&calls](TArcListItem&, bool& Stop) {
    Stop = ++calls == 2;
    return true;
  }));
  EXPECT_EQ(calls, 2);
  // The next run starts afresh.
  EXPECT_EQ(ListAll(*w).size(), 3u);
}

// --- One item
// ------------------------------------------------------------------------------------------------

TEST_F(ArcLibWrapper, ExtractItemWritesTheBareNameIntoTheFolder) {
  for (const std::string name : {"x.zip", "x.jar", "x.arj", "x.lzh"}) {
    SCOPED_TRACE(name);
    auto w = OpenFixture(name);
    const fs::path out = Dir / "out" / name;
    std::string path;
    TDateTime date = 0;
    int32_t size = -1;
    w->ExtractItem(out.string(), "docs/b.txt", path, -1, &date, &size, false, "");
    EXPECT_EQ(path, (out / "b.txt").string());
    EXPECT_EQ(ReadFileBytes(path), Source("docs/b.txt"));
    EXPECT_EQ(size, 18751);
    if (name != "x.arj") {
      EXPECT_NEAR(date, kFixtureDate, 2.5 / 86400);
    }
    EXPECT_EQ(Entries(out), std::vector<std::string>{"b.txt"});
  }
}

TEST_F(ArcLibWrapper, ExtractItemToAnExplicitPathMakesItsFoldersAndSetsTheTime) {
  auto w = OpenFixture("x.zip");
  const fs::path target = Dir / "deep" / "er" / "copy.txt";
  std::string path;
  w->ExtractItem("", "a.txt", path, 26, nullptr, nullptr, true, target.string());
  EXPECT_EQ(path, target.string());
  EXPECT_EQ(ReadFileBytes(target), Source("a.txt"));
  struct stat st {};
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  std::tm tm{};
  ::localtime_r(&st.st_mtime, &tm);
  EXPECT_EQ(tm.tm_year + 1900, 2020);
  EXPECT_EQ(tm.tm_mon + 1, 5);
  EXPECT_EQ(tm.tm_mday, 6);
}

TEST_F(ArcLibWrapper, ExtractItemFailuresRaiseWithTheReasonAndLeaveNoFile) {
  auto w = OpenFixture("x.zip");
  const std::string arc = (Work / "x.zip").string();
  const fs::path out = Dir / "out";
  struct TCase {
    std::string Item;
    int32_t Expected;
    std::string Message;
  };
  const TCase cases[] = {
      {"a.txt", 25, "Can't extract \"a.txt\" from \"" + arc + "\"."},  // the size does not match
      {"nothing.txt", -1, "Can't extract \"nothing.txt\" from \"" + arc + "\"."},
      {"docs/..", -1, "Can't extract \"docs/..\" from \"" + arc + "\". Invalid file name"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Item);
    std::string path;
    try {
      w->ExtractItem(out.string(), c.Item, path, c.Expected, nullptr, nullptr, false, "");
      ADD_FAILURE() << "no error";
    } catch (const EArcError& e) {
      EXPECT_EQ(e.Message(), c.Message);
    }
    EXPECT_TRUE(Entries(out).empty());
  }
}

TEST_F(ArcLibWrapper, ExtractItemReplacesAnExistingFile) {
  auto w = OpenFixture("x.zip");
  const fs::path out = Dir / "out";
  WriteAll(out / "a.txt", "an older, longer content than the item has");
  std::string path;
  w->ExtractItem(out.string(), "a.txt", path, -1, nullptr, nullptr, false, "");
  EXPECT_EQ(ReadFileBytes(path), Source("a.txt"));
}

// An item the archive does not hold used to give an empty file at an explicit path, reported as extracted,
// and an existing file there was lost: now it raises, writes nothing and leaves that file as it was.
TEST_F(ArcLibWrapper, AMissingItemRaisesAndLeavesTheExplicitPathAsItWas) {
  std::vector<std::string> names = {"x.zip", "x.jar", "x.arj", "x.lzh", "x.tar", "x.arc"};
  if (LoadCabinetDll("")) names.push_back("x.cab");
  for (const auto& name : names) {
    SCOPED_TRACE(name);
    auto w = OpenFixture(name);
    const std::string arc = (Work / name).string();
    const std::string expected = "Can't extract \"nothing.txt\" from \"" + arc + "\".";
    const fs::path out = Dir / ("out-" + name);
    const fs::path absent = out / "absent.txt";
    const fs::path kept = out / "kept.txt";
    WriteAll(kept, "a file that was here before");
    for (const fs::path& target : {absent, kept}) {
      SCOPED_TRACE(target.filename().string());
      std::string path;
      try {
        w->ExtractItem("", "nothing.txt", path, -1, nullptr, nullptr, false, target.string());
        ADD_FAILURE() << "no error";
      } catch (const EArcError& e) {
        EXPECT_EQ(e.Message().rfind(expected, 0), 0u) << e.Message();
      }
      EXPECT_EQ(Entries(out), std::vector<std::string>{"kept.txt"});
      EXPECT_EQ(ReadFileBytes(kept), "a file that was here before");
    }
    // A size that does not match leaves the existing file too; the right one replaces it.
    std::string path;
    EXPECT_THROW(w->ExtractItem("", "a.txt", path, 25, nullptr, nullptr, false, kept.string()), EArcError);
    EXPECT_EQ(ReadFileBytes(kept), "a file that was here before");
    w->ExtractItem("", "a.txt", path, -1, nullptr, nullptr, false, kept.string());
    EXPECT_EQ(ReadFileBytes(kept), Source("a.txt"));
    EXPECT_EQ(Entries(out), std::vector<std::string>{"kept.txt"});
    for (int32_t size : {0, 26}) {
      try {
        w->ExtractToMemory("nothing.txt", size);
        ADD_FAILURE() << "size " << size << " accepted";
      } catch (const EArcError& e) {
        EXPECT_EQ(e.Message().rfind(expected, 0), 0u) << e.Message();
      }
    }
  }
}

TEST_F(ArcLibWrapper, AnExplicitPathThatIsAFolderIsNotReplaced) {
  auto w = OpenFixture("x.zip");
  const fs::path out = Dir / "out";
  fs::create_directories(out / "taken" / "inner");
  std::string path;
  try {
    w->ExtractItem("", "a.txt", path, -1, nullptr, nullptr, false, (out / "taken").string());
    ADD_FAILURE() << "no error";
  } catch (const EArcError& e) {
    EXPECT_EQ(e.Message(),
              "Can't extract \"a.txt\" from \"" + (Work / "x.zip").string() + "\". Is a directory");
  }
  EXPECT_EQ(Entries(out), (std::vector<std::string>{"taken/", "taken/inner/"}));
}

TEST_F(ArcLibWrapper, ExtractToMemoryDeliversExactlyTheSizeAsked) {
  for (const std::string name : {"x.zip", "x.jar", "x.arj", "x.lzh"}) {
    SCOPED_TRACE(name);
    auto w = OpenFixture(name);
    EXPECT_EQ(TakeBlock(w->ExtractToMemory("docs/b.txt", 18751), 18751), Source("docs/b.txt"));
    // An empty item is a block too.
    const TArcBlockPtr empty = w->ExtractToMemory("empty.txt", 0);
    EXPECT_NE(empty.get(), nullptr);
    for (int32_t wrong : {-1, 0, 18750, 18752}) {
      try {
        w->ExtractToMemory("docs/b.txt", wrong);
        ADD_FAILURE() << "size " << wrong << " accepted";
      } catch (const EArcError& e) {
        EXPECT_EQ(e.Message().rfind("Can't extract \"docs/b.txt\" from \"", 0), 0u) << e.Message();
      }
    }
  }
}

// --- Passwords ---------------------------------------------------------------------------------------------

TEST_F(ArcLibWrapper, PasswordIsAskedAgainUntilRightOrRefused) {
  auto w = OpenFixture("pw.zip");
  std::vector<std::string> asked;
  std::vector<std::string> answers = {"wrong", "secret"};
  w->OnPassword = [&](const std::string& Arc, const std::string& Item, std::string& Password) {
    asked.push_back(Item);
    EXPECT_EQ(Arc, (Work / "pw.zip").string());
    if (answers.empty()) return false;
    Password = answers.front();
    answers.erase(answers.begin());
    return true;
  };
  EXPECT_EQ(TakeBlock(w->ExtractToMemory("a.txt", 26), 26), Source("a.txt"));
  EXPECT_EQ(asked, (std::vector<std::string>{"a.txt", "a.txt"}));

  // The password that worked is tried first next time: nothing is asked.
  std::string path;
  w->ExtractItem((Dir / "out").string(), "docs/b.txt", path, -1, nullptr, nullptr, false, "");
  EXPECT_EQ(ReadFileBytes(path), Source("docs/b.txt"));
  EXPECT_EQ(asked.size(), 2u);
}

TEST_F(ArcLibWrapper, RefusedPasswordFailsWithInvalidPassword) {
  auto w = OpenFixture("pw.zip");
  int asked = 0;
  w->OnPassword = [&asked](const std::string&, const std::string&, std::string&) {
    ++asked;
    return false;
  };
  std::string path;
  try {
    w->ExtractItem((Dir / "out").string(), "a.txt", path, -1, nullptr, nullptr, false, "");
    ADD_FAILURE() << "no error";
  } catch (const EArcError& e) {
    EXPECT_EQ(e.Message(),
              "Can't extract \"a.txt\" from \"" + (Work / "pw.zip").string() + "\". Invalid password");
  }
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(Entries(Dir / "out").empty());

  // Without a password event nothing is asked, and nothing is delivered in a pass either.
  w->OnPassword = nullptr;
  TDelivery d;
  w->ExtractAllMem((Dir / "all").string(), CollectMemory(d), CollectFiles(d), [](TArcDecideItem& Item) {
    Item.Decision = edToFile;
    return true;
  });
  EXPECT_TRUE(d.Memory.empty());
  EXPECT_TRUE(d.Files.empty());
  EXPECT_TRUE(Entries(Dir / "all").empty() || Entries(Dir / "all") == std::vector<std::string>{"docs/"});
  ASSERT_FALSE(Messages.empty());
}

// --- Extract-all passes ------------------------------------------------------------------------------------

TEST_F(ArcLibWrapper, ExtractAllMemRoutesEachItemAsDecided) {
  for (const std::string name : {"x.zip", "x.jar", "x.arj", "x.lzh"}) {
    SCOPED_TRACE(name);
    auto w = OpenFixture(name);
    const fs::path out = Dir / ("out_" + name);
    TDelivery d;
    std::vector<std::string> offered;
    w->ExtractAllMem(out.string(), CollectMemory(d), CollectFiles(d), [&](TArcDecideItem& Item) {
      offered.push_back(Item.ItemName);
      EXPECT_FALSE(Item.SizeIncomplete);
      EXPECT_FALSE(Item.Continued);
      if (name != "x.arj") {
        EXPECT_NEAR(Item.Date, kFixtureDate, 2.5 / 86400);
      }
      if (Item.ItemName == "a.txt") {
        EXPECT_EQ(Item.Size, 26);
        Item.Decision = edToMemory;
        return true;
      }
      if (Item.ItemName == "docs/b.txt") {
        // Preset to the folder and the stored path.
        EXPECT_EQ(Item.FileName, (out / "docs" / "b.txt").string());
        Item.FileName = (out / "moved.txt").string();
        return true;
      }
      return false;
    });
    EXPECT_EQ(offered, (std::vector<std::string>{"a.txt", "docs/b.txt", "empty.txt"}));
    ASSERT_EQ(d.Memory.size(), 1u);
    EXPECT_EQ(d.Memory["a.txt"], Source("a.txt"));
    ASSERT_EQ(d.Files.size(), 1u);
    EXPECT_EQ(d.Files[(out / "moved.txt").string()], Source("docs/b.txt"));
    EXPECT_EQ(d.FileSizes[(out / "moved.txt").string()], 18751);
    EXPECT_TRUE(Messages.empty());
    fs::remove_all(out / "docs");  // the ZIP's folder entry makes no folder in a pass; ARJ's folders may
    EXPECT_TRUE(Entries(out).empty());
  }
}

TEST_F(ArcLibWrapper, CancelFromDecideOrProgressStopsThePassAndLeavesNoFile) {
  auto toFiles = [](TArcDecideItem& Item) {
    Item.Decision = edToFile;
    return true;
  };
  {
    auto w = OpenFixture("x.zip");
    TDelivery d;
    int seen = 0;
    w->ExtractAllMem((Dir / "a").string(), CollectMemory(d), CollectFiles(d), [&](TArcDecideItem& Item) {
      if (++seen == 2) Item.Decision = edCancel;
      return true;
    });
    EXPECT_EQ(seen, 2);
    EXPECT_EQ(d.Files.size(), 1u);
    EXPECT_TRUE(Entries(Dir / "a").empty());
  }
  {
    // A progress answer of "stop" in the middle of the large item: it is not delivered, its file goes.
    auto w = OpenFixture("x.zip");
    int polls = 0;
    w->OnProgress = [&polls](int32_t, int32_t) { return ++polls < 3; };
    TDelivery d;
    w->ExtractAllMem((Dir / "b").string(), CollectMemory(d), CollectFiles(d), toFiles);
    EXPECT_GE(polls, 3);
    EXPECT_FALSE(d.Files.count((Dir / "b" / "docs" / "b.txt").string()));
    EXPECT_FALSE(fs::exists(Dir / "b" / "docs" / "b.txt"));
    EXPECT_FALSE(w->List([](TArcListItem&, bool&) { return true; }));
  }
}

TEST_F(ArcLibWrapper, ExtractAllWritesStoredFoldersAndReportsEachFile) {
  auto w = OpenFixture("x.zip");
  const fs::path out = Dir / "out";
  std::vector<std::string> before;
  std::vector<std::string> done;
  w->ExtractAll(
      out.string(), [&done](TArcFileItem& File, bool&) { done.push_back(File.FileName); },
      [&before](TArcListItem& Item, bool&) {
        before.push_back(Item.ItemName);
        return Item.ItemName != "empty.txt";
      });
  EXPECT_EQ(before, (std::vector<std::string>{"a.txt", "docs/b.txt", "empty.txt"}));
  EXPECT_EQ(done, (std::vector<std::string>{(out / "a.txt").string(), (out / "docs/b.txt").string()}));
  EXPECT_EQ(ReadFileBytes(out / "docs" / "b.txt"), Source("docs/b.txt"));
  EXPECT_EQ(Entries(out), (std::vector<std::string>{"a.txt", "docs/", "docs/b.txt"}));
}

// --- Names that try to leave the destination ---------------------------------------------------------------

TEST_F(ArcLibWrapper, NamesThatLeaveTheFolderAreNeverWrittenOutsideIt) {
  auto w = OpenFixture("escape.zip");
  const fs::path out = Dir / "box" / "out";
  fs::create_directories(out);
  const auto outside = [&] {
    std::vector<std::string> e = Entries(Dir);
    std::vector<std::string> rest;
    for (const auto& s : e)
      if (s.rfind("box/out", 0) != 0 && s.rfind("work", 0) != 0 && s.rfind("tmp", 0) != 0) rest.push_back(s);
    return rest;
  };
  const std::vector<std::string> expectedOutside = {"box/"};

  // A pass to files: the preset name keeps the item inside, by its bare name when its path leaves.
  TDelivery d;
  std::map<std::string, std::string> presets;
  w->ExtractAllMem(out.string(), CollectMemory(d), CollectFiles(d), [&](TArcDecideItem& Item) {
    presets[Item.ItemName] = fs::relative(Item.FileName, out).string();
    return true;
  });
  EXPECT_EQ(presets, (std::map<std::string, std::string>{{"../evil1.txt", "evil1.txt"},
                                                         {"/abs/evil2.txt", "abs/evil2.txt"},
                                                         {"../../evil3.txt", "evil3.txt"},
                                                         {"sub/../../evil4.txt", "evil4.txt"},
                                                         {"ok/fine.txt", "ok/fine.txt"}}));
  EXPECT_EQ(d.Files.size(), 5u);
  EXPECT_EQ(outside(), expectedOutside);

  // Files with their stored folders: names that leave are refused ("Invalid file name").
  std::vector<std::string> written;
  w->ExtractAll(
      out.string(),
      [&written, &out](TArcFileItem& File, bool&) {
        written.push_back(fs::relative(File.FileName, out).string());
      },
      nullptr);
  EXPECT_EQ(written, (std::vector<std::string>{"abs/evil2.txt", "ok/fine.txt"}));
  EXPECT_EQ(outside(), expectedOutside);
  EXPECT_FALSE(Messages.empty());

  // One item: its bare name in the folder.
  std::string path;
  w->ExtractItem(out.string(), "../../evil3.txt", path, -1, nullptr, nullptr, false, "");
  EXPECT_EQ(path, (out / "evil3.txt").string());
  EXPECT_EQ(ReadFileBytes(path), "data of ..\\..\\evil3.txt\n");
  EXPECT_EQ(outside(), expectedOutside);
}

// --- Volumes
// ------------------------------------------------------------------------------------------------

TEST_F(ArcLibWrapper, AnItemSpanningTwoVolumesIsListedAndDeliveredOnce) {
  Copy("vol.a01");
  const std::string big = Source("big.bin");
  for (TExtractDecision where : {edToMemory, edToFile}) {
    SCOPED_TRACE(static_cast<int>(where));
    auto w = OpenFixture("vol.arj");
    const auto items = ListAll(*w);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[1].Name, "big.bin");
    EXPECT_TRUE(items[1].SizeIncomplete);
    EXPECT_EQ(items[2].Name, "big.bin");  // the last part, with the whole size
    EXPECT_FALSE(items[2].SizeIncomplete);
    EXPECT_EQ(items[2].Size, 12000);

    TDelivery d;
    std::vector<std::tuple<std::string, bool, int32_t, bool>> asked;
    w->ExtractAllMem((Dir / "out").string(), CollectMemory(d), CollectFiles(d), [&](TArcDecideItem& Item) {
      asked.emplace_back(Item.ItemName, Item.SizeIncomplete, Item.Size, Item.Continued);
      Item.Decision = where;
      return Item.ItemName == "big.bin";
    });
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_EQ(asked[1], std::make_tuple(std::string("big.bin"), true, 12000 - 2811, false));
    EXPECT_EQ(asked[2], std::make_tuple(std::string("big.bin"), false, 12000, true));
    if (where == edToMemory) {
      ASSERT_EQ(d.Memory.size(), 1u);
      EXPECT_EQ(d.Memory["big.bin"], big);
    } else {
      ASSERT_EQ(d.Files.size(), 1u);
      EXPECT_EQ(d.Files.begin()->second, big);
    }
    EXPECT_TRUE(Messages.empty());

    std::string path;
    w->ExtractItem((Dir / "one").string(), "big.bin", path, -1, nullptr, nullptr, false, "");
    EXPECT_EQ(ReadFileBytes(path), big);
    EXPECT_EQ(TakeBlock(w->ExtractToMemory("big.bin", 12000), 12000), big);
  }
}

TEST_F(ArcLibWrapper, MissingVolumeIsAskedForThenNamedInTheError) {
  auto w = OpenFixture("vol.arj");
  const std::string elsewhere = (Dir / "moved" / "vol.a01").string();
  WriteAll(elsewhere, Fixture("vol.a01"));
  std::vector<std::string> asked;
  w->OnNextVolume = [&](std::string& Name) {
    asked.push_back(Name);
    Name = elsewhere;
    return true;
  };
  EXPECT_EQ(TakeBlock(w->ExtractToMemory("big.bin", 12000), 12000), Source("big.bin"));
  EXPECT_EQ(asked, std::vector<std::string>{"vol.a01"});  // without the folder of the first volume

  // No answer: the item fails with the volume's name, and a pass leaves no part of it behind.
  fs::remove(elsewhere);
  w->OnNextVolume = nullptr;
  try {
    w->ExtractToMemory("big.bin", 12000);
    ADD_FAILURE() << "no error";
  } catch (const EArcError& e) {
    EXPECT_NE(e.Message().find("Volume \"vol.a01\" not found"), std::string::npos) << e.Message();
  }
  TDelivery d;
  Messages.clear();
  w->ExtractAllMem((Dir / "out").string(), CollectMemory(d), CollectFiles(d),
                   [](TArcDecideItem&) { return true; });
  EXPECT_EQ(d.Files.size(), 1u);  // a.txt
  EXPECT_EQ(Entries(Dir / "out"), std::vector<std::string>{});
  EXPECT_EQ(Messages, std::vector<std::string>{"Volume \"vol.a01\" not found"});
}

// --- Damage
// -------------------------------------------------------------------------------------------------

// Each item that cannot be read gets a message of its own naming it, once per run, and an item whose
// damage was reported gets no second message for its failed check.
TEST_F(ArcLibWrapper, EveryItemLeftUnreadIsNamedOnce) {
  // x.zip with a.txt and docs/b.txt in a method the reader does not know (12), in both headers.
  std::string zip = Fixture("x.zip");
  for (size_t p = 0; p + 4 <= zip.size(); ++p) {
    const std::string sig = zip.substr(p, 4);
    size_t method = 0, nameLength = 0, name = 0;
    if (sig == std::string("PK\x03\x04", 4)) method = p + 8, nameLength = p + 26, name = p + 30;
    if (sig == std::string("PK\x01\x02", 4)) method = p + 10, nameLength = p + 28, name = p + 46;
    if (method == 0) continue;
    const size_t length =
        static_cast<uint8_t>(zip[nameLength]) | (static_cast<uint8_t>(zip[nameLength + 1]) << 8);
    const std::string stored = zip.substr(name, length);
    if (stored == "a.txt" || stored == "docs/b.txt") zip[method] = 12, zip[method + 1] = 0;
  }
  WriteAll(Work / "methods.zip", zip);
  TBaseArcLibWrapper w;
  std::string msg;
  ASSERT_TRUE(w.SetArcName((Work / "methods.zip").string(), msg)) << msg;
  w.OnMessage = [this](const std::string& M) { Messages.push_back(M); };
  TDelivery d;
  w.ExtractAllMem((Dir / "out").string(), CollectMemory(d), CollectFiles(d), [](TArcDecideItem& Item) {
    Item.Decision = edToMemory;
    return true;
  });
  EXPECT_EQ(d.Memory.count("empty.txt"), 1u);
  EXPECT_EQ(d.Memory.count("a.txt"), 0u);
  EXPECT_EQ(Messages, (std::vector<std::string>{"Unsupported compression method (a.txt)",
                                                "Unsupported compression method (docs/b.txt)"}));

  // A GZIP file damaged in its first block: one message for its one item, not a second for its check.
  std::string tgz = Fixture("x.tgz");
  ASSERT_EQ(tgz[3], 0);  // no stored name: the data follows the 10-byte header
  tgz[10] = static_cast<char>(0xFF);
  WriteAll(Work / "bad.tgz", tgz);
  TBaseArcLibWrapper g;
  ASSERT_TRUE(g.SetArcName((Work / "bad.tgz").string(), msg)) << msg;
  Messages.clear();
  g.OnMessage = [this](const std::string& M) { Messages.push_back(M); };
  g.ExtractAllMem((Dir / "out").string(), CollectMemory(d), CollectFiles(d), [](TArcDecideItem& Item) {
    Item.Decision = edToMemory;
    return true;
  });
  EXPECT_EQ(Messages, std::vector<std::string>{"Corrupt input (bad.tar)"});
}

TEST_F(ArcLibWrapper, DamagedDataIsReportedThroughTheWrapper) {
  // a.txt is stored: a flipped byte of its data fails the CRC check; the item still arrives, with a warning.
  std::string zip = Fixture("x.zip");
  const size_t at = zip.find("hello wrapper");
  ASSERT_NE(at, std::string::npos);
  zip[at] = 'j';
  WriteAll(Work / "crc.zip", zip);
  TBaseArcLibWrapper w;
  std::string msg;
  ASSERT_TRUE(w.SetArcName((Work / "crc.zip").string(), msg)) << msg;
  w.OnMessage = [this](const std::string& M) { Messages.push_back(M); };
  TDelivery d;
  w.ExtractAllMem((Dir / "out").string(), CollectMemory(d), CollectFiles(d), [](TArcDecideItem& Item) {
    Item.Decision = edToMemory;
    return Item.ItemName == "a.txt";
  });
  EXPECT_EQ(d.Memory["a.txt"], "jello wrapper\nsecond line\n");
  EXPECT_EQ(Messages, std::vector<std::string>{"File fails CRC check (a.txt)"});

  // The archive cut in the middle of b.txt's data: the item cannot be had at its size.
  TBaseArcLibWrapper cut;
  WriteAll(Work / "cut.lzh", Fixture("x.lzh").substr(0, 1200));
  ASSERT_TRUE(cut.SetArcName((Work / "cut.lzh").string(), msg)) << msg;
  try {
    std::string path;
    cut.ExtractItem((Dir / "cut").string(), "docs/b.txt", path, -1, nullptr, nullptr, false, "");
    ADD_FAILURE() << "no error";
  } catch (const EArcError& e) {
    EXPECT_EQ(
        e.Message().rfind("Can't extract \"docs/b.txt\" from \"" + (Work / "cut.lzh").string() + "\". ", 0),
        0u)
        << e.Message();
  }
  EXPECT_TRUE(Entries(Dir / "cut").empty());
}

}  // namespace
