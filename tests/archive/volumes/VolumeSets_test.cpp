// Volume sets of the formats that span volumes (ACE, ARJ) read through the archive library's wrapper:
// sets whose names carry further dots or upper-case extensions are read whole, a missing volume is named
// with every item lost with it while the volumes that are there are still read, and an ACE archive cut
// short says so and names what it loses.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "archive/ArcLibIntf.h"
#include "archive/ArcScan.h"
#include "archive/ace/arlUnAce2.h"
#include "platform/qvnls/Qvnls.h"
#include "tests/TestFiles.h"
#include "tests/archive/lzh/DecoderRun.h"

namespace {

namespace fs = std::filesystem;

fs::path Fixture(const std::string& Folder, const std::string& Name) {
  return fs::path(SCRYLINE_TEST_DATA) / Folder / "fixtures" / Name;
}

// What one extract-all pass of the wrapper gave: the items that came out and the messages.
struct TPass {
  std::map<std::string, std::string> Items;
  std::vector<std::string> Messages;
  bool Has(const std::string& Message) const {
    return std::find(Messages.begin(), Messages.end(), Message) != Messages.end();
  }
  std::string AllMessages() const {
    std::string All;
    for (const auto& M : Messages) All += M + "\n";
    return All;
  }
};

TPass ReadAll(const fs::path& Archive, const std::string& Password = std::string()) {
  TPass Pass;
  TBaseArcLibWrapper W;
  std::string Msg;
  EXPECT_TRUE(W.SetArcName(Archive.string(), Msg)) << Msg;
  W.OnMessage = [&Pass](const std::string& M) { Pass.Messages.push_back(M); };
  W.OnPassword = [&Password](const std::string&, const std::string&, std::string& Given) {
    Given = Password;
    return !Password.empty();
  };
  W.ExtractAllMem((Archive.parent_path() / "out").string(),
                  [&Pass](TArcMemoryItem& Item, bool&) {
                    Pass.Items[Item.ItemName] =
                        std::string(static_cast<const char*>(Item.Block.get()), Item.Size);
                  },
                  nullptr,
                  [](TArcDecideItem& Item) {
                    Item.Decision = edToMemory;
                    return true;
                  });
  return Pass;
}

class VolumeSets : public ::testing::Test {
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
  // Copies the volumes (Folder/fixtures/<From><ext>) as <To><ext>, the extensions given in the copies'
  // case; answers the first copy.
  fs::path CopySet(const std::string& Folder, const std::string& From, const std::vector<std::string>& Exts,
                   const std::string& To, const std::vector<std::string>& ToExts) {
    for (size_t I = 0; I < Exts.size(); ++I)
      if (!ToExts[I].empty()) fs::copy_file(Fixture(Folder, From + Exts[I]), Temp_.Path / (To + ToExts[I]));
    return Temp_.Path / (To + ToExts[0]);
  }
  archivetest::TTempFolder Temp_{"volume_sets"};
};

const std::vector<std::string> kAceExts = {".ace", ".c00", ".c01"};
const std::vector<std::string> kArjExts = {".arj", ".a01", ".a02"};

// Every item of the set read whole, without a message: the reference for the renamed copies.
TEST_F(VolumeSets, NamesWithMoreDotsOrUpperCaseExtensionsAreReadWhole) {
  const TPass AceWhole = ReadAll(Fixture("ace", "multivolume.ace"));
  const TPass ArjWhole = ReadAll(Fixture("volumes", "my.set.arj"));
  ASSERT_EQ(AceWhole.Items.size(), 77u) << AceWhole.AllMessages();
  ASSERT_EQ(ArjWhole.Items.size(), 6u) << ArjWhole.AllMessages();
  ASSERT_TRUE(AceWhole.Messages.empty()) << AceWhole.AllMessages();
  ASSERT_TRUE(ArjWhole.Messages.empty()) << ArjWhole.AllMessages();
  struct TCase {
    bool Ace;
    const char* Name;
    std::vector<std::string> Exts;
  };
  const TCase Cases[] = {
      {true, "multi.vol", {".ace", ".c00", ".c01"}},     {true, "MULTI.VOL", {".ACE", ".C00", ".C01"}},
      {true, "backup.2024.x", {".ace", ".c00", ".c01"}}, {true, "set", {".ACE", ".C00", ".C01"}},
      {false, "backup.2024", {".arj", ".a01", ".a02"}},  {false, "A", {".ARJ", ".A01", ".A02"}},
      {false, "a.b", {".ARJ", ".A01", ".A02"}},          {false, "plain", {".arj", ".a01", ".a02"}},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(std::string(C.Name) + C.Exts[0]);
    const fs::path First = C.Ace ? CopySet("ace", "multivolume", kAceExts, C.Name, C.Exts)
                                 : CopySet("volumes", "my.set", kArjExts, C.Name, C.Exts);
    const TPass Pass = ReadAll(First);
    const TPass& Whole = C.Ace ? AceWhole : ArjWhole;
    EXPECT_EQ(Pass.Items, Whole.Items);
    EXPECT_TRUE(Pass.Messages.empty()) << Pass.AllMessages();
    for (const auto& E : C.Exts) fs::remove(Temp_.Path / (C.Name + E));
  }
}

// A missing volume is named, each item that went on in it is named as lost, and the items that begin in
// the volumes after it are read.
TEST_F(VolumeSets, AMissingVolumeIsNamedWithTheItemsLostAndTheRestIsRead) {
  const TPass ArjWhole = ReadAll(Fixture("volumes", "my.set.arj"));
  struct TCase {
    std::vector<std::string> Exts;  // "" for a volume left out
    std::vector<std::string> Read;
    std::vector<std::string> Messages;
  };
  const TCase Cases[] = {
      {{".arj", "", ".a02"},
       {"one.txt", "two.txt", "six.txt"},
       {"Volume \"my.set.a01\" not found", "three.txt: lost with the missing volume \"my.set.a01\"",
        "five.txt: lost with a missing volume"}},
      {{".arj", ".a01", ""},
       {"one.txt", "two.txt", "three.txt", "four.txt"},
       {"Volume \"my.set.a02\" not found", "five.txt: lost with the missing volume \"my.set.a02\""}},
  };
  for (const TCase& C : Cases) {
    const fs::path First = CopySet("volumes", "my.set", kArjExts, "my.set", C.Exts);
    SCOPED_TRACE(C.Exts[1] + C.Exts[2]);
    const TPass Pass = ReadAll(First);
    std::vector<std::string> Names;
    for (const auto& [Name, Data] : Pass.Items) {
      Names.push_back(Name);
      EXPECT_EQ(Data, ArjWhole.Items.at(Name)) << Name;
    }
    std::vector<std::string> Want = C.Read;
    std::sort(Want.begin(), Want.end());
    EXPECT_EQ(Names, Want);
    EXPECT_EQ(Pass.Messages, C.Messages);
    for (const auto& E : kArjExts) fs::remove(Temp_.Path / ("my.set" + E));
  }

  // An item that runs from the first volume through the missing one into the third is named once, with
  // the volume it was lost with, not again where its last part is met.
  const TPass SpanWhole = ReadAll(Fixture("volumes", "span.arj"));
  ASSERT_EQ(SpanWhole.Items.size(), 3u) << SpanWhole.AllMessages();
  const TPass Span = ReadAll(CopySet("volumes", "span", kArjExts, "span", {".arj", "", ".a02"}));
  EXPECT_EQ(Span.Messages, (std::vector<std::string>{"Volume \"span.a01\" not found",
                                                     "long.txt: lost with the missing volume \"span.a01\""}));
  EXPECT_EQ(Span.Items.size(), 2u);
  for (const char* Kept : {"head.txt", "tail.txt"})
    EXPECT_EQ(Span.Items.count(Kept) ? Span.Items.at(Kept) : "", SpanWhole.Items.at(Kept)) << Kept;

  // ACE: the middle volume of the three missing. The item that went on in it is lost by name; the set
  // is solid, so every item of the last volume, whose data refers to the missing one, is named as lost.
  const fs::path First = CopySet("ace", "multivolume", kAceExts, "multivolume", {".ace", "", ".c01"});
  const TPass Pass = ReadAll(First);
  EXPECT_TRUE(Pass.Has("Volume \"multivolume.c00\" not found")) << Pass.AllMessages();
  EXPECT_TRUE(Pass.Has("aclocal/libtool.m4: lost with the missing volume \"multivolume.c00\""))
      << Pass.AllMessages();
  EXPECT_EQ(Pass.Items.count("aclocal/lcmessage.m4"), 1u);
  for (const char* Later : {"aclocal/ltversion.m4", "aclocal/yad.m4"})
    EXPECT_TRUE(Pass.Has(std::string(Later) + ": lost with the data before it in the solid archive"))
        << Later;
  EXPECT_EQ(Pass.Messages.size(), 2u + 25u) << Pass.AllMessages();  // 25 items begin in .c01
}

// A later volume read on its own finds the set's first volume missing by name, in the case of its own
// extension; a volume with an earlier one beside it is read with that one.
TEST_F(VolumeSets, ALaterVolumeKnowsWhetherAnEarlierOneIsThere) {
  struct TCase {
    std::vector<std::string> Present;
    const char* Later;
    TArchiveKind Kind;
    bool Earlier;
    const char* First;
  };
  const TCase Cases[] = {
      {{"s.c01"}, "s.c01", akAce, false, "s.ace"},
      {{"S.C01"}, "S.C01", akAce, false, "S.ACE"},
      {{"s.c00", "s.c01"}, "s.c01", akAce, true, ""},
      {{"S.ACE", "s.c01"}, "s.c01", akAce, true, ""},
      {{"s.exe", "s.c00"}, "s.c00", akAce, true, ""},
      {{"my.set.a02", "other.a01"}, "my.set.a02", akArj, false, "my.set.arj"},
      {{"my.set.a01", "my.set.a02"}, "my.set.a02", akArj, true, ""},
      {{"b.r00", "b.r01"}, "b.r01", akRar, true, ""},
      {{"b.r01"}, "b.r01", akRar, false, "b.rar"},
      {{"b.s00", "b.r99"}, "b.s00", akRar, true, ""},
      {{"v.part02.rar", "v.part03.rar"}, "v.part03.rar", akRar, true, ""},
      {{"v.part02.rar"}, "v.part02.rar", akRar, false, "v.part01.rar"},
      {{"v.part2.rar"}, "v.part2.rar", akRar, false, "v.part1.rar"},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Later);
    const fs::path Dir = Temp_.Path / "later";
    fs::create_directories(Dir);
    for (const auto& P : C.Present) std::ofstream(Dir / P) << "x";
    std::string FirstName;
    EXPECT_EQ(EarlierVolumeExists((Dir / C.Later).string(), C.Kind, FirstName), C.Earlier);
    if (!C.Earlier) {
      EXPECT_EQ(fs::path(FirstName).filename().string(), C.First);
    }
    fs::remove_all(Dir);
  }
}

// ACE cut inside an item: the item is named as cut short, the archive as ending early from the cut on,
// and no check failure is reported on top.
TEST_F(VolumeSets, AnAceArchiveCutShortSaysSoAndNamesWhatItLoses) {
  const std::string Data = ReadFileBytes(Fixture("ace", "zdir.ace"));
  const fs::path Cut = Temp_.Path / "cut.ace";
  std::ofstream(Cut, std::ios::binary) << Data.substr(0, 9000);
  const TPass Pass = ReadAll(Cut);
  EXPECT_GE(Pass.Items.size(), 7u);
  ASSERT_EQ(Pass.Messages.size(), 2u) << Pass.AllMessages();
  EXPECT_EQ(Pass.Messages[0].rfind("Error reading file or unexpected end of file (", 0), 0u)
      << Pass.Messages[0];
  EXPECT_EQ(Pass.Messages[1], "Error reading file or unexpected end of file (entries from offset 9000 on)");
  EXPECT_EQ(Pass.AllMessages().find("CRC"), std::string::npos) << Pass.AllMessages();

  // A volume of a set cut short: the same reports, with the volume named; the next volume is read.
  const fs::path First = CopySet("ace", "multivolume", kAceExts, "multivolume", kAceExts);
  const std::string Middle = ReadFileBytes(Fixture("ace", "multivolume.c00"));
  std::ofstream(Temp_.Path / "multivolume.c00", std::ios::binary | std::ios::trunc)
      << Middle.substr(0, 40000);
  const TPass Set = ReadAll(First);
  EXPECT_TRUE(
      Set.Has("Error reading file or unexpected end of file (multivolume.c00: entries from offset 40000 on)"))
      << Set.AllMessages();
  EXPECT_TRUE(Set.Has("Error reading file or unexpected end of file (aclocal/libcurl.m4)"))
      << Set.AllMessages();
  EXPECT_EQ(Set.Items.count("aclocal/lib-link.m4"), 1u);
  // The next volume is read: the set is solid, so each item that begins there is named as lost.
  for (const char* Later : {"aclocal/ltversion.m4", "aclocal/yad.m4"})
    EXPECT_TRUE(Set.Has(std::string(Later) + ": lost with the data before it in the solid archive")) << Later;
}

// A wrong password is said to be one; an encrypted item without a password is reported once.
TEST_F(VolumeSets, AceEncryptedItemsAreReportedOnceAndForWhatWentWrong) {
  const TPass Wrong = ReadAll(Fixture("ace", "passwd2.ace"), "4321");
  EXPECT_EQ(Wrong.Messages, std::vector<std::string>{"Invalid password (passwd2.m4)"});
  const TPass None = ReadAll(Fixture("ace", "passwd2.ace"));
  EXPECT_EQ(None.Messages.size(), 1u) << None.AllMessages();
  const TPass Right = ReadAll(Fixture("ace", "passwd2.ace"), "1234");
  EXPECT_TRUE(Right.Messages.empty()) << Right.AllMessages();
  EXPECT_EQ(Right.Items.size(), 1u);
}

}  // namespace
