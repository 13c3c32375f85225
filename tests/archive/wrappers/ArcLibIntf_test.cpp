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
  std::vector<TListed> Out;
  EXPECT_TRUE(W.List([&Out](TArcListItem& Item, bool&) {
    Out.push_back({Item.ItemName, Item.SizeIncomplete, Item.Date, Item.Size});
    return true;
  }));
  return Out;
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
    auto W = std::make_unique<TBaseArcLibWrapper>();
    std::string Msg;
    EXPECT_TRUE(W->SetArcName(Copy(Name, As), Msg)) << Msg;
    W->OnMessage = [this](const std::string& M) { Messages_.push_back(M); };
    return W;
  }
  std::vector<std::string> Messages_;
};

// --- Opening
// ------------------------------------------------------------------------------------------------

TEST_F(ArcLibWrapper, SetArcNameNamesTheTypeOrSaysWhyNot) {
  WriteAll(Work_ / "junk.zip", std::string(300, 'j'));
  Copy("x.cab");
  struct TCase {
    std::string File;
    bool Opens;
    int TypeCode;
    std::string Msg;
  };
  const std::string W = Work_.string() + "/";
  const TCase Cases[] = {
      {Copy("x.zip"), true, atZip, ""},
      {Copy("x.jar"), true, atJar, ""},
      {Copy("x.arj"), true, atArj, ""},
      {Copy("x.lzh"), true, atLha, ""},
      {Copy("sfx.exe"), true, atZip, ""},  // a ZIP behind a stub keeps the plain ZIP code
      {Copy("x.tar"), true, atTar, ""},
      {Copy("x.tgz"), true, atGZip, ""},
      {Copy("x.arc"), true, atArc, ""},
      {Copy("x.pak"), true, atArc, ""},  // PAK is read by the ARC decoder and keeps its code
      {W + "missing.zip", false, 0, "File \"" + W + "missing.zip\" not found"},
      {W + "junk.zip", false, 0, "Archive \"" + W + "junk.zip\" is damaged or not supported"},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.File);
    TBaseArcLibWrapper Wrapper;
    std::string Msg;
    EXPECT_EQ(Wrapper.SetArcName(C.File, Msg), C.Opens);
    EXPECT_EQ(Wrapper.GetTypeCode(), C.TypeCode);
    EXPECT_EQ(Msg, C.Msg);
    EXPECT_EQ(Wrapper.GetArcName(), C.Opens ? C.File : std::string());
    EXPECT_EQ(Wrapper.GetDecoder() != nullptr, C.Opens);
  }
}

TEST_F(ArcLibWrapper, AceArchivesNeedTheAceLibrary) {
  std::string Ace(64, '\0');
  Ace.replace(7, 7, "**ACE**");
  WriteAll(Work_ / "x.ace", Ace);
  const bool Bound = LoadUnAceDll("");
  TBaseArcLibWrapper W;
  std::string Msg;
  EXPECT_EQ(W.SetArcName((Work_ / "x.ace").string(), Msg), Bound);
  EXPECT_EQ(Msg, Bound ? "" : "UnAceV2.dll not found");
  EXPECT_EQ(W.GetTypeCode(), Bound ? atAce : 0);
}

TEST_F(ArcLibWrapper, CabinetsOpenWhenTheCabinetLibraryIsBound) {
  const std::string Cab = Copy("x.cab");
  const bool Bound = LoadCabinetDll("");
  TBaseArcLibWrapper W;
  std::string Msg;
  EXPECT_EQ(W.SetArcName(Cab, Msg), Bound);
  if (Bound) {
    EXPECT_EQ(W.GetTypeCode(), atCab);
    EXPECT_EQ(TakeBlock(W.ExtractToMemory("a.txt", 26), 26), Source("a.txt"));
  } else {
    EXPECT_EQ(Msg, "Cabinet.dll not found");
  }
}

TEST_F(ArcLibWrapper, OperationsWithoutAnOpenArchiveRaise) {
  TBaseArcLibWrapper W;
  EXPECT_THROW(W.List([](TArcListItem&, bool&) { return true; }), EArcError);
  EXPECT_THROW(W.ExtractToMemory("a.txt", 26), EArcError);
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
    TRefusingWrapper W(reason);
    try {
      W.Open("x");
      ADD_FAILURE() << "Open did not raise";
    } catch (const Exception& E) {
      EXPECT_EQ(E.Message(), expected);
    }
  }
}

// --- Listing
// ------------------------------------------------------------------------------------------------

TEST_F(ArcLibWrapper, ListReportsEveryFileItemOnceWithDateAndSize) {
  for (const std::string Name : {"x.zip", "x.jar", "x.arj", "x.lzh", "sfx.exe", "x.tar"}) {
    SCOPED_TRACE(Name);
    auto W = OpenFixture(Name);
    const auto Items = ListAll(*W);
    ASSERT_EQ(Items.size(), 3u);  // the folder entry of the ZIP is not an item
    EXPECT_EQ(Items[0].Name, "a.txt");
    EXPECT_EQ(Items[0].Size, 26);
    EXPECT_EQ(Items[1].Name, "docs/b.txt");
    EXPECT_EQ(Items[1].Size, 18751);
    EXPECT_EQ(Items[2].Name, "empty.txt");
    EXPECT_EQ(Items[2].Size, 0);
    for (const auto& I : Items) {
      EXPECT_FALSE(I.SizeIncomplete);
      // ARJ archives made on Unix keep a Unix time where DOS ones keep a DOS stamp; it is not compared.
      if (Name != "x.arj") {
        EXPECT_NEAR(I.Date, kFixtureDate, 2.5 / 86400) << I.Name;
      }
    }
    EXPECT_TRUE(Messages_.empty());
    // Listing decodes nothing and leaves nothing behind.
    EXPECT_EQ(Entries(Work_), std::vector<std::string>{Name});
    fs::remove(Work_ / Name);
  }
}

TEST_F(ArcLibWrapper, OtherKindsListAndExtractTheirItems) {
  // A .tgz is one item, the TAR file, not the TAR's members; ARC keeps bare names.
  struct TCase {
    std::string Archive;
    std::vector<std::pair<std::string, int32_t>> Items;
    std::string Content;  // of the last item
  };
  const TCase Cases[] = {
      {"x.tgz", {{"x.tar", 22528}}, Fixture("x.tar")},
      {"x.arc", {{"a.txt", 26}, {"b.txt", 18751}}, Source("docs/b.txt")},
      {"x.tar", {{"a.txt", 26}, {"docs/b.txt", 18751}, {"empty.txt", 0}}, ""},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Archive);
    auto W = OpenFixture(C.Archive);
    std::vector<std::pair<std::string, int32_t>> Listed;
    for (const auto& I : ListAll(*W)) Listed.emplace_back(I.Name, I.Size);
    EXPECT_EQ(Listed, C.Items);
    const auto& [name, size] = C.Items.back();
    EXPECT_EQ(TakeBlock(W->ExtractToMemory(name, size), size), C.Content);
    std::string Path;
    W->ExtractItem((Dir_ / "out").string(), name, Path, size, nullptr, nullptr, false, "");
    EXPECT_EQ(ReadFileBytes(Path), C.Content);
    EXPECT_TRUE(Messages_.empty());
  }
}

// PAK archives (the detector's own type codes) are read by the ARC decoder. An archive whose first entry
// uses a PAK method opens; that entry is reported as of an unsupported method and the ARC-method entry
// after it is listed and comes out. A PAK folder lists the entries around and inside it.
TEST_F(ArcLibWrapper, PakArchivesGoToTheArcDecoder) {
  auto W = OpenFixture("x.pak");
  const auto Items = ListAll(*W);
  ASSERT_EQ(Items.size(), 1u);
  EXPECT_EQ(Items[0].Name, "a.txt");
  EXPECT_EQ(Items[0].Size, 26);
  EXPECT_NEAR(Items[0].Date, kFixtureDate, 2.5 / 86400);
  ASSERT_EQ(Messages_.size(), 1u);
  EXPECT_EQ(Messages_[0], "Unsupported compression method (c.txt, method 11)");
  EXPECT_EQ(TakeBlock(W->ExtractToMemory("a.txt", 26), 26), Source("a.txt"));

  auto F = OpenFixture("../arc/fixtures/pak_folder.arc", "pak_folder.arc");
  std::vector<std::string> Names;
  for (const auto& I : ListAll(*F)) Names.push_back(I.Name);
  EXPECT_EQ(Names, (std::vector<std::string>{"BEFORE.TXT", "SUB/IN.TXT", "AFTER.TXT"}));
  EXPECT_EQ(TakeBlock(F->ExtractToMemory("SUB/IN.TXT", 7), 7), "inside\n");
}

TEST_F(ArcLibWrapper, ListStopsWhenTheCallbackSaysSo) {
  auto W = OpenFixture("x.zip");
  int Calls = 0;
  EXPECT_FALSE(W->List([&Calls](TArcListItem&, bool& Stop) {
    Stop = ++Calls == 2;
    return true;
  }));
  EXPECT_EQ(Calls, 2);
  // The next run starts afresh.
  EXPECT_EQ(ListAll(*W).size(), 3u);
}

// --- One item
// ------------------------------------------------------------------------------------------------

TEST_F(ArcLibWrapper, ExtractItemWritesTheBareNameIntoTheFolder) {
  for (const std::string Name : {"x.zip", "x.jar", "x.arj", "x.lzh"}) {
    SCOPED_TRACE(Name);
    auto W = OpenFixture(Name);
    const fs::path Out = Dir_ / "out" / Name;
    std::string Path;
    TDateTime Date = 0;
    int32_t Size = -1;
    W->ExtractItem(Out.string(), "docs/b.txt", Path, -1, &Date, &Size, false, "");
    EXPECT_EQ(Path, (Out / "b.txt").string());
    EXPECT_EQ(ReadFileBytes(Path), Source("docs/b.txt"));
    EXPECT_EQ(Size, 18751);
    if (Name != "x.arj") {
      EXPECT_NEAR(Date, kFixtureDate, 2.5 / 86400);
    }
    EXPECT_EQ(Entries(Out), std::vector<std::string>{"b.txt"});
  }
}

TEST_F(ArcLibWrapper, ExtractItemToAnExplicitPathMakesItsFoldersAndSetsTheTime) {
  auto W = OpenFixture("x.zip");
  const fs::path Target = Dir_ / "deep" / "er" / "copy.txt";
  std::string Path;
  W->ExtractItem("", "a.txt", Path, 26, nullptr, nullptr, true, Target.string());
  EXPECT_EQ(Path, Target.string());
  EXPECT_EQ(ReadFileBytes(Target), Source("a.txt"));
  struct stat St {};
  ASSERT_EQ(::stat(Target.c_str(), &St), 0);
  std::tm Tm{};
  ::localtime_r(&St.st_mtime, &Tm);
  EXPECT_EQ(Tm.tm_year + 1900, 2020);
  EXPECT_EQ(Tm.tm_mon + 1, 5);
  EXPECT_EQ(Tm.tm_mday, 6);
}

TEST_F(ArcLibWrapper, ExtractItemFailuresRaiseWithTheReasonAndLeaveNoFile) {
  auto W = OpenFixture("x.zip");
  const std::string Arc = (Work_ / "x.zip").string();
  const fs::path Out = Dir_ / "out";
  struct TCase {
    std::string Item;
    int32_t Expected;
    std::string Message;
  };
  const TCase Cases[] = {
      {"a.txt", 25, "Can't extract \"a.txt\" from \"" + Arc + "\"."},  // the size does not match
      {"nothing.txt", -1, "Can't extract \"nothing.txt\" from \"" + Arc + "\"."},
      {"docs/..", -1, "Can't extract \"docs/..\" from \"" + Arc + "\". Invalid file name"},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Item);
    std::string Path;
    try {
      W->ExtractItem(Out.string(), C.Item, Path, C.Expected, nullptr, nullptr, false, "");
      ADD_FAILURE() << "no error";
    } catch (const EArcError& E) {
      EXPECT_EQ(E.Message(), C.Message);
    }
    EXPECT_TRUE(Entries(Out).empty());
  }
}

TEST_F(ArcLibWrapper, ExtractItemReplacesAnExistingFile) {
  auto W = OpenFixture("x.zip");
  const fs::path Out = Dir_ / "out";
  WriteAll(Out / "a.txt", "an older, longer content than the item has");
  std::string Path;
  W->ExtractItem(Out.string(), "a.txt", Path, -1, nullptr, nullptr, false, "");
  EXPECT_EQ(ReadFileBytes(Path), Source("a.txt"));
}

// An item the archive does not hold used to give an empty file at an explicit path, reported as extracted,
// and an existing file there was lost: now it raises, writes nothing and leaves that file as it was.
TEST_F(ArcLibWrapper, AMissingItemRaisesAndLeavesTheExplicitPathAsItWas) {
  std::vector<std::string> Names = {"x.zip", "x.jar", "x.arj", "x.lzh", "x.tar", "x.arc"};
  if (LoadCabinetDll("")) Names.push_back("x.cab");
  for (const auto& Name : Names) {
    SCOPED_TRACE(Name);
    auto W = OpenFixture(Name);
    const std::string Arc = (Work_ / Name).string();
    const std::string Expected = "Can't extract \"nothing.txt\" from \"" + Arc + "\".";
    const fs::path Out = Dir_ / ("out-" + Name);
    const fs::path Absent = Out / "absent.txt";
    const fs::path Kept = Out / "kept.txt";
    WriteAll(Kept, "a file that was here before");
    for (const fs::path& Target : {Absent, Kept}) {
      SCOPED_TRACE(Target.filename().string());
      std::string Path;
      try {
        W->ExtractItem("", "nothing.txt", Path, -1, nullptr, nullptr, false, Target.string());
        ADD_FAILURE() << "no error";
      } catch (const EArcError& E) {
        EXPECT_EQ(E.Message().rfind(Expected, 0), 0u) << E.Message();
      }
      EXPECT_EQ(Entries(Out), std::vector<std::string>{"kept.txt"});
      EXPECT_EQ(ReadFileBytes(Kept), "a file that was here before");
    }
    // A size that does not match leaves the existing file too; the right one replaces it.
    std::string Path;
    EXPECT_THROW(W->ExtractItem("", "a.txt", Path, 25, nullptr, nullptr, false, Kept.string()), EArcError);
    EXPECT_EQ(ReadFileBytes(Kept), "a file that was here before");
    W->ExtractItem("", "a.txt", Path, -1, nullptr, nullptr, false, Kept.string());
    EXPECT_EQ(ReadFileBytes(Kept), Source("a.txt"));
    EXPECT_EQ(Entries(Out), std::vector<std::string>{"kept.txt"});
    for (int32_t Size : {0, 26}) {
      try {
        W->ExtractToMemory("nothing.txt", Size);
        ADD_FAILURE() << "size " << Size << " accepted";
      } catch (const EArcError& E) {
        EXPECT_EQ(E.Message().rfind(Expected, 0), 0u) << E.Message();
      }
    }
  }
}

TEST_F(ArcLibWrapper, AnExplicitPathThatIsAFolderIsNotReplaced) {
  auto W = OpenFixture("x.zip");
  const fs::path Out = Dir_ / "out";
  fs::create_directories(Out / "taken" / "inner");
  std::string Path;
  try {
    W->ExtractItem("", "a.txt", Path, -1, nullptr, nullptr, false, (Out / "taken").string());
    ADD_FAILURE() << "no error";
  } catch (const EArcError& E) {
    EXPECT_EQ(E.Message(),
              "Can't extract \"a.txt\" from \"" + (Work_ / "x.zip").string() + "\". Is a directory");
  }
  EXPECT_EQ(Entries(Out), (std::vector<std::string>{"taken/", "taken/inner/"}));
}

TEST_F(ArcLibWrapper, ExtractToMemoryDeliversExactlyTheSizeAsked) {
  for (const std::string Name : {"x.zip", "x.jar", "x.arj", "x.lzh"}) {
    SCOPED_TRACE(Name);
    auto W = OpenFixture(Name);
    EXPECT_EQ(TakeBlock(W->ExtractToMemory("docs/b.txt", 18751), 18751), Source("docs/b.txt"));
    // An empty item is a block too.
    const TArcBlockPtr Empty = W->ExtractToMemory("empty.txt", 0);
    EXPECT_NE(Empty.get(), nullptr);
    for (int32_t Wrong : {-1, 0, 18750, 18752}) {
      try {
        W->ExtractToMemory("docs/b.txt", Wrong);
        ADD_FAILURE() << "size " << Wrong << " accepted";
      } catch (const EArcError& E) {
        EXPECT_EQ(E.Message().rfind("Can't extract \"docs/b.txt\" from \"", 0), 0u) << E.Message();
      }
    }
  }
}

// --- Passwords ---------------------------------------------------------------------------------------------

TEST_F(ArcLibWrapper, PasswordIsAskedAgainUntilRightOrRefused) {
  auto W = OpenFixture("pw.zip");
  std::vector<std::string> Asked;
  std::vector<std::string> Answers = {"wrong", "secret"};
  W->OnPassword = [&](const std::string& Arc, const std::string& Item, std::string& Password) {
    Asked.push_back(Item);
    EXPECT_EQ(Arc, (Work_ / "pw.zip").string());
    if (Answers.empty()) return false;
    Password = Answers.front();
    Answers.erase(Answers.begin());
    return true;
  };
  EXPECT_EQ(TakeBlock(W->ExtractToMemory("a.txt", 26), 26), Source("a.txt"));
  EXPECT_EQ(Asked, (std::vector<std::string>{"a.txt", "a.txt"}));

  // The password that worked is tried first next time: nothing is asked.
  std::string Path;
  W->ExtractItem((Dir_ / "out").string(), "docs/b.txt", Path, -1, nullptr, nullptr, false, "");
  EXPECT_EQ(ReadFileBytes(Path), Source("docs/b.txt"));
  EXPECT_EQ(Asked.size(), 2u);
}

TEST_F(ArcLibWrapper, RefusedPasswordFailsWithInvalidPassword) {
  auto W = OpenFixture("pw.zip");
  int Asked = 0;
  W->OnPassword = [&Asked](const std::string&, const std::string&, std::string&) {
    ++Asked;
    return false;
  };
  std::string Path;
  try {
    W->ExtractItem((Dir_ / "out").string(), "a.txt", Path, -1, nullptr, nullptr, false, "");
    ADD_FAILURE() << "no error";
  } catch (const EArcError& E) {
    EXPECT_EQ(E.Message(),
              "Can't extract \"a.txt\" from \"" + (Work_ / "pw.zip").string() + "\". Invalid password");
  }
  EXPECT_EQ(Asked, 1);
  EXPECT_TRUE(Entries(Dir_ / "out").empty());

  // Without a password event nothing is asked, and nothing is delivered in a pass either.
  W->OnPassword = nullptr;
  TDelivery D;
  W->ExtractAllMem((Dir_ / "all").string(), CollectMemory(D), CollectFiles(D), [](TArcDecideItem& Item) {
    Item.Decision = edToFile;
    return true;
  });
  EXPECT_TRUE(D.Memory.empty());
  EXPECT_TRUE(D.Files.empty());
  EXPECT_TRUE(Entries(Dir_ / "all").empty() || Entries(Dir_ / "all") == std::vector<std::string>{"docs/"});
  ASSERT_FALSE(Messages_.empty());
}

// --- Extract-all passes ------------------------------------------------------------------------------------

TEST_F(ArcLibWrapper, ExtractAllMemRoutesEachItemAsDecided) {
  for (const std::string Name : {"x.zip", "x.jar", "x.arj", "x.lzh"}) {
    SCOPED_TRACE(Name);
    auto W = OpenFixture(Name);
    const fs::path Out = Dir_ / ("out_" + Name);
    TDelivery D;
    std::vector<std::string> Offered;
    W->ExtractAllMem(Out.string(), CollectMemory(D), CollectFiles(D), [&](TArcDecideItem& Item) {
      Offered.push_back(Item.ItemName);
      EXPECT_FALSE(Item.SizeIncomplete);
      EXPECT_FALSE(Item.Continued);
      if (Name != "x.arj") {
        EXPECT_NEAR(Item.Date, kFixtureDate, 2.5 / 86400);
      }
      if (Item.ItemName == "a.txt") {
        EXPECT_EQ(Item.Size, 26);
        Item.Decision = edToMemory;
        return true;
      }
      if (Item.ItemName == "docs/b.txt") {
        // Preset to the folder and the stored path.
        EXPECT_EQ(Item.FileName, (Out / "docs" / "b.txt").string());
        Item.FileName = (Out / "moved.txt").string();
        return true;
      }
      return false;
    });
    EXPECT_EQ(Offered, (std::vector<std::string>{"a.txt", "docs/b.txt", "empty.txt"}));
    ASSERT_EQ(D.Memory.size(), 1u);
    EXPECT_EQ(D.Memory["a.txt"], Source("a.txt"));
    ASSERT_EQ(D.Files.size(), 1u);
    EXPECT_EQ(D.Files[(Out / "moved.txt").string()], Source("docs/b.txt"));
    EXPECT_EQ(D.FileSizes[(Out / "moved.txt").string()], 18751);
    EXPECT_TRUE(Messages_.empty());
    fs::remove_all(Out / "docs");  // the ZIP's folder entry makes no folder in a pass; ARJ's folders may
    EXPECT_TRUE(Entries(Out).empty());
  }
}

TEST_F(ArcLibWrapper, CancelFromDecideOrProgressStopsThePassAndLeavesNoFile) {
  auto ToFiles = [](TArcDecideItem& Item) {
    Item.Decision = edToFile;
    return true;
  };
  {
    auto W = OpenFixture("x.zip");
    TDelivery D;
    int Seen = 0;
    W->ExtractAllMem((Dir_ / "a").string(), CollectMemory(D), CollectFiles(D), [&](TArcDecideItem& Item) {
      if (++Seen == 2) Item.Decision = edCancel;
      return true;
    });
    EXPECT_EQ(Seen, 2);
    EXPECT_EQ(D.Files.size(), 1u);
    EXPECT_TRUE(Entries(Dir_ / "a").empty());
  }
  {
    // A progress answer of "stop" in the middle of the large item: it is not delivered, its file goes.
    auto W = OpenFixture("x.zip");
    int Polls = 0;
    W->OnProgress = [&Polls](int32_t, int32_t) { return ++Polls < 3; };
    TDelivery D;
    W->ExtractAllMem((Dir_ / "b").string(), CollectMemory(D), CollectFiles(D), ToFiles);
    EXPECT_GE(Polls, 3);
    EXPECT_FALSE(D.Files.count((Dir_ / "b" / "docs" / "b.txt").string()));
    EXPECT_FALSE(fs::exists(Dir_ / "b" / "docs" / "b.txt"));
    EXPECT_FALSE(W->List([](TArcListItem&, bool&) { return true; }));
  }
}

TEST_F(ArcLibWrapper, ExtractAllWritesStoredFoldersAndReportsEachFile) {
  auto W = OpenFixture("x.zip");
  const fs::path Out = Dir_ / "out";
  std::vector<std::string> Before;
  std::vector<std::string> Done;
  W->ExtractAll(
      Out.string(), [&Done](TArcFileItem& File, bool&) { Done.push_back(File.FileName); },
      [&Before](TArcListItem& Item, bool&) {
        Before.push_back(Item.ItemName);
        return Item.ItemName != "empty.txt";
      });
  EXPECT_EQ(Before, (std::vector<std::string>{"a.txt", "docs/b.txt", "empty.txt"}));
  EXPECT_EQ(Done, (std::vector<std::string>{(Out / "a.txt").string(), (Out / "docs/b.txt").string()}));
  EXPECT_EQ(ReadFileBytes(Out / "docs" / "b.txt"), Source("docs/b.txt"));
  EXPECT_EQ(Entries(Out), (std::vector<std::string>{"a.txt", "docs/", "docs/b.txt"}));
}

// --- Names that try to leave the destination ---------------------------------------------------------------

TEST_F(ArcLibWrapper, NamesThatLeaveTheFolderAreNeverWrittenOutsideIt) {
  auto W = OpenFixture("escape.zip");
  const fs::path Out = Dir_ / "box" / "out";
  fs::create_directories(Out);
  const auto Outside = [&] {
    std::vector<std::string> E = Entries(Dir_);
    std::vector<std::string> Rest;
    for (const auto& S : E)
      if (S.rfind("box/out", 0) != 0 && S.rfind("work", 0) != 0 && S.rfind("tmp", 0) != 0) Rest.push_back(S);
    return Rest;
  };
  const std::vector<std::string> ExpectedOutside = {"box/"};

  // A pass to files: the preset name keeps the item inside, by its bare name when its path leaves.
  TDelivery D;
  std::map<std::string, std::string> Presets;
  W->ExtractAllMem(Out.string(), CollectMemory(D), CollectFiles(D), [&](TArcDecideItem& Item) {
    Presets[Item.ItemName] = fs::relative(Item.FileName, Out).string();
    return true;
  });
  EXPECT_EQ(Presets, (std::map<std::string, std::string>{{"../evil1.txt", "evil1.txt"},
                                                         {"/abs/evil2.txt", "abs/evil2.txt"},
                                                         {"../../evil3.txt", "evil3.txt"},
                                                         {"sub/../../evil4.txt", "evil4.txt"},
                                                         {"ok/fine.txt", "ok/fine.txt"}}));
  EXPECT_EQ(D.Files.size(), 5u);
  EXPECT_EQ(Outside(), ExpectedOutside);

  // Files with their stored folders: names that leave are refused ("Invalid file name").
  std::vector<std::string> Written;
  W->ExtractAll(
      Out.string(),
      [&Written, &Out](TArcFileItem& File, bool&) {
        Written.push_back(fs::relative(File.FileName, Out).string());
      },
      nullptr);
  EXPECT_EQ(Written, (std::vector<std::string>{"abs/evil2.txt", "ok/fine.txt"}));
  EXPECT_EQ(Outside(), ExpectedOutside);
  EXPECT_FALSE(Messages_.empty());

  // One item: its bare name in the folder.
  std::string Path;
  W->ExtractItem(Out.string(), "../../evil3.txt", Path, -1, nullptr, nullptr, false, "");
  EXPECT_EQ(Path, (Out / "evil3.txt").string());
  EXPECT_EQ(ReadFileBytes(Path), "data of ..\\..\\evil3.txt\n");
  EXPECT_EQ(Outside(), ExpectedOutside);
}

// --- Volumes
// ------------------------------------------------------------------------------------------------

TEST_F(ArcLibWrapper, AnItemSpanningTwoVolumesIsListedAndDeliveredOnce) {
  Copy("vol.a01");
  const std::string Big = Source("big.bin");
  for (TExtractDecision Where : {edToMemory, edToFile}) {
    SCOPED_TRACE(static_cast<int>(Where));
    auto W = OpenFixture("vol.arj");
    const auto Items = ListAll(*W);
    ASSERT_EQ(Items.size(), 3u);
    EXPECT_EQ(Items[1].Name, "big.bin");
    EXPECT_TRUE(Items[1].SizeIncomplete);
    EXPECT_EQ(Items[2].Name, "big.bin");  // the last part, with the whole size
    EXPECT_FALSE(Items[2].SizeIncomplete);
    EXPECT_EQ(Items[2].Size, 12000);

    TDelivery D;
    std::vector<std::tuple<std::string, bool, int32_t, bool>> Asked;
    W->ExtractAllMem((Dir_ / "out").string(), CollectMemory(D), CollectFiles(D), [&](TArcDecideItem& Item) {
      Asked.emplace_back(Item.ItemName, Item.SizeIncomplete, Item.Size, Item.Continued);
      Item.Decision = Where;
      return Item.ItemName == "big.bin";
    });
    ASSERT_EQ(Asked.size(), 3u);
    EXPECT_EQ(Asked[1], std::make_tuple(std::string("big.bin"), true, 12000 - 2811, false));
    EXPECT_EQ(Asked[2], std::make_tuple(std::string("big.bin"), false, 12000, true));
    if (Where == edToMemory) {
      ASSERT_EQ(D.Memory.size(), 1u);
      EXPECT_EQ(D.Memory["big.bin"], Big);
    } else {
      ASSERT_EQ(D.Files.size(), 1u);
      EXPECT_EQ(D.Files.begin()->second, Big);
    }
    EXPECT_TRUE(Messages_.empty());

    std::string Path;
    W->ExtractItem((Dir_ / "one").string(), "big.bin", Path, -1, nullptr, nullptr, false, "");
    EXPECT_EQ(ReadFileBytes(Path), Big);
    EXPECT_EQ(TakeBlock(W->ExtractToMemory("big.bin", 12000), 12000), Big);
  }
}

TEST_F(ArcLibWrapper, MissingVolumeIsAskedForThenNamedInTheError) {
  auto W = OpenFixture("vol.arj");
  const std::string Elsewhere = (Dir_ / "moved" / "vol.a01").string();
  WriteAll(Elsewhere, Fixture("vol.a01"));
  std::vector<std::string> Asked;
  W->OnNextVolume = [&](std::string& Name) {
    Asked.push_back(Name);
    Name = Elsewhere;
    return true;
  };
  EXPECT_EQ(TakeBlock(W->ExtractToMemory("big.bin", 12000), 12000), Source("big.bin"));
  EXPECT_EQ(Asked, std::vector<std::string>{"vol.a01"});  // without the folder of the first volume

  // No answer: the volume is named, the item fails as lost with it, and a pass leaves no part of it
  // behind.
  fs::remove(Elsewhere);
  W->OnNextVolume = nullptr;
  try {
    W->ExtractToMemory("big.bin", 12000);
    ADD_FAILURE() << "no error";
  } catch (const EArcError& E) {
    EXPECT_NE(E.Message().find("big.bin: lost with the missing volume \"vol.a01\""), std::string::npos)
        << E.Message();
  }
  TDelivery D;
  Messages_.clear();
  W->ExtractAllMem((Dir_ / "out").string(), CollectMemory(D), CollectFiles(D),
                   [](TArcDecideItem&) { return true; });
  EXPECT_EQ(D.Files.size(), 1u);  // a.txt
  EXPECT_EQ(Entries(Dir_ / "out"), std::vector<std::string>{});
  EXPECT_EQ(Messages_, (std::vector<std::string>{"Volume \"vol.a01\" not found",
                                                 "big.bin: lost with the missing volume \"vol.a01\""}));
}

// --- Damage
// -------------------------------------------------------------------------------------------------

// Each item that cannot be read gets a message of its own naming it, once per run, and an item whose
// damage was reported gets no second message for its failed check.
TEST_F(ArcLibWrapper, EveryItemLeftUnreadIsNamedOnce) {
  // x.zip with a.txt and docs/b.txt in a method the reader does not know (12), in both headers.
  std::string Zip = Fixture("x.zip");
  for (size_t P = 0; P + 4 <= Zip.size(); ++P) {
    const std::string Sig = Zip.substr(P, 4);
    size_t Method = 0, NameLength = 0, Name = 0;
    if (Sig == std::string("PK\x03\x04", 4)) Method = P + 8, NameLength = P + 26, Name = P + 30;
    if (Sig == std::string("PK\x01\x02", 4)) Method = P + 10, NameLength = P + 28, Name = P + 46;
    if (Method == 0) continue;
    const size_t Length =
        static_cast<uint8_t>(Zip[NameLength]) | (static_cast<uint8_t>(Zip[NameLength + 1]) << 8);
    const std::string Stored = Zip.substr(Name, Length);
    if (Stored == "a.txt" || Stored == "docs/b.txt") Zip[Method] = 12, Zip[Method + 1] = 0;
  }
  WriteAll(Work_ / "methods.zip", Zip);
  TBaseArcLibWrapper W;
  std::string Msg;
  ASSERT_TRUE(W.SetArcName((Work_ / "methods.zip").string(), Msg)) << Msg;
  W.OnMessage = [this](const std::string& M) { Messages_.push_back(M); };
  TDelivery D;
  W.ExtractAllMem((Dir_ / "out").string(), CollectMemory(D), CollectFiles(D), [](TArcDecideItem& Item) {
    Item.Decision = edToMemory;
    return true;
  });
  EXPECT_EQ(D.Memory.count("empty.txt"), 1u);
  EXPECT_EQ(D.Memory.count("a.txt"), 0u);
  EXPECT_EQ(Messages_, (std::vector<std::string>{"Unsupported compression method (a.txt)",
                                                 "Unsupported compression method (docs/b.txt)"}));

  // A GZIP file damaged in its first block: one message for its one item, not a second for its check.
  std::string Tgz = Fixture("x.tgz");
  ASSERT_EQ(Tgz[3], 0);  // no stored name: the data follows the 10-byte header
  Tgz[10] = static_cast<char>(0xFF);
  WriteAll(Work_ / "bad.tgz", Tgz);
  TBaseArcLibWrapper G;
  ASSERT_TRUE(G.SetArcName((Work_ / "bad.tgz").string(), Msg)) << Msg;
  Messages_.clear();
  G.OnMessage = [this](const std::string& M) { Messages_.push_back(M); };
  G.ExtractAllMem((Dir_ / "out").string(), CollectMemory(D), CollectFiles(D), [](TArcDecideItem& Item) {
    Item.Decision = edToMemory;
    return true;
  });
  EXPECT_EQ(Messages_, std::vector<std::string>{"Corrupt input (bad.tar)"});
}

// A TAR entry too large to deliver (a 10 GB sparse file) is refused by name, and its data, whose size only
// its extended header gives, is passed over to the entry after it.
TEST_F(ArcLibWrapper, AnEntryTooLargeIsNamedAndTheNextIsRead) {
  auto W = OpenFixture("sparse_skip_entry.tar");
  TDelivery D;
  W->ExtractAllMem((Dir_ / "out").string(), CollectMemory(D), CollectFiles(D), [](TArcDecideItem& Item) {
    Item.Decision = edToMemory;
    return true;
  });
  EXPECT_EQ(D.Memory, (std::map<std::string, std::string>{{"b", "foo\n"}}));
  EXPECT_EQ(Messages_, std::vector<std::string>{"Can't extract \"a\": it holds 2 GB or more"});
}

TEST_F(ArcLibWrapper, DamagedDataIsReportedThroughTheWrapper) {
  // a.txt is stored: a flipped byte of its data fails the CRC check; the item still arrives, with a warning.
  std::string Zip = Fixture("x.zip");
  const size_t At = Zip.find("hello wrapper");
  ASSERT_NE(At, std::string::npos);
  Zip[At] = 'j';
  WriteAll(Work_ / "crc.zip", Zip);
  TBaseArcLibWrapper W;
  std::string Msg;
  ASSERT_TRUE(W.SetArcName((Work_ / "crc.zip").string(), Msg)) << Msg;
  W.OnMessage = [this](const std::string& M) { Messages_.push_back(M); };
  TDelivery D;
  W.ExtractAllMem((Dir_ / "out").string(), CollectMemory(D), CollectFiles(D), [](TArcDecideItem& Item) {
    Item.Decision = edToMemory;
    return Item.ItemName == "a.txt";
  });
  EXPECT_EQ(D.Memory["a.txt"], "jello wrapper\nsecond line\n");
  EXPECT_EQ(Messages_, std::vector<std::string>{"File fails CRC check (a.txt)"});

  // The archive cut in the middle of b.txt's data: the item cannot be had at its size.
  TBaseArcLibWrapper Cut;
  WriteAll(Work_ / "cut.lzh", Fixture("x.lzh").substr(0, 1200));
  ASSERT_TRUE(Cut.SetArcName((Work_ / "cut.lzh").string(), Msg)) << Msg;
  try {
    std::string Path;
    Cut.ExtractItem((Dir_ / "cut").string(), "docs/b.txt", Path, -1, nullptr, nullptr, false, "");
    ADD_FAILURE() << "no error";
  } catch (const EArcError& E) {
    EXPECT_EQ(
        E.Message().rfind("Can't extract \"docs/b.txt\" from \"" + (Work_ / "cut.lzh").string() + "\". ", 0),
        0u)
        << E.Message();
  }
  EXPECT_TRUE(Entries(Dir_ / "cut").empty());
}

}  // namespace
