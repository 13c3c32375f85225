// The RAR wrapper over UnRar3.so: listing and extracting hand-built stored archives (folders written by
// DOS and Unix archivers, DOS and Unicode names, a long name, a split set of the old naming, encrypted and
// solid items, a wrong CRC, a self-extractor, names that climb) and real compressed, Unicode,
// multi-volume and encrypted archives; missing volumes; the binding; damaged archives.
#include "archive/rar/RarIntf.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "archive/rar/UnRarDyn.h"
#include "platform/qvnls/Qvnls.h"
#include "tests/archive/lzh/DecoderRun.h"

namespace {

namespace fs = std::filesystem;
using archivetest::Bytes;

std::string FixturePath(const std::string& Name) {
  return std::string(SCRYLINE_TEST_DATA) + "/rar/fixtures/" + Name;
}

// A volume set is kept as "<Stem>.vol1.rar" ... ; a reader finds the later volumes only by their volume
// names, so the first Count volumes are copied into Dir as "<NewStem>.part<N>.rar", N with Digits digits.
// Returns the first volume's path.
std::string VolumeSetIn(const fs::path& Dir, const std::string& Stem, int Count, const std::string& NewStem,
                        int Digits) {
  auto Name = [&](int Volume) {
    std::string N = std::to_string(Volume);
    return NewStem + ".part" + std::string(Digits - N.size(), '0') + N + ".rar";
  };
  for (int Volume = 1; Volume <= Count; ++Volume)
    fs::copy_file(FixturePath(Stem + ".vol" + std::to_string(Volume) + ".rar"), Dir / Name(Volume));
  return (Dir / Name(1)).string();
}

const char kRar5SolidSet[] = "test_read_format_rar5_multiarchive_solid";
const char kRar4Set[] = "test_read_format_rar_multivolume";
const char kRar4SolidSet[] = "Rar.solid";    // cut between items, one item a volume
const char kRar4SolidCutSet[] = "solidcut";  // cut inside items

struct TListed {
  std::string Name;
  int32_t Size;
  TDateTime Date;
};

std::vector<TListed> ListOf(TBaseRarWrapper& W) {
  std::vector<TListed> Out;
  W.List([&](TArcListItem& Item, bool&) {
    Out.push_back({Item.ItemName, Item.Size, Item.Date});
    return true;
  });
  return Out;
}

std::vector<std::string> NamesOf(const std::vector<TListed>& L) {
  std::vector<std::string> N;
  for (const auto& I : L) N.push_back(I.Name);
  return N;
}

std::string Text(const void* Block, int32_t Size) {
  return std::string(static_cast<const char*>(Block), Size);
}

std::string Repeat(const std::string& S, int N) {
  std::string Out;
  for (int I = 0; I < N; ++I) Out += S;
  return Out;
}

// Every item of an archive through ExtractAllMem into memory: name -> content. Items above 1 MB are
// passed over, to keep the tests light.
constexpr int32_t kLargestTaken = 1 << 20;
std::map<std::string, std::string> AllToMemory(TBaseRarWrapper& W,
                                               std::vector<std::string>* Messages = nullptr,
                                               int64_t Largest = kLargestTaken) {
  std::map<std::string, std::string> Out;
  if (Messages) W.OnMessage = [Messages](const std::string& M) { Messages->push_back(M); };
  W.ExtractAllMem(
      "/nonexistent-destination",
      [&](TArcMemoryItem& Item, bool&) { Out[Item.ItemName] = Text(Item.Block.get(), Item.Size); }, nullptr,
      [Largest](TArcDecideItem& Item) {
        Item.Decision = edToMemory;
        return Item.Size <= Largest;
      });
  return Out;
}

class RarWrapper : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(qvnls::SetSystemCodePages(1252, 850));
    ASSERT_TRUE(LoadUnRarDll("")) << "UnRar3.so beside the test program";
  }
  void TearDown() override { qvnls::ResetSystemCodePages(); }
  std::unique_ptr<TBaseRarWrapper> Open(const std::string& Name) {
    auto W = std::make_unique<TBaseRarWrapper>();
    std::string Msg;
    EXPECT_TRUE(W->SetArcName(Name.front() == '/' ? Name : FixturePath(Name), Msg)) << Msg;
    return W;
  }
};

TEST_F(RarWrapper, ListsFilesNotFoldersWhateverSystemWroteThem) {
  TBaseRarWrapper W;
  std::string Msg;
  ASSERT_TRUE(W.SetArcName(FixturePath("plain.rar"), Msg)) << Msg;
  EXPECT_EQ(W.GetArcName(), FixturePath("plain.rar"));
  const auto L = ListOf(W);
  // docs and unixdir are folders; unix.txt (mode 0664, whose group-write bit is the DOS folder bit) is a
  // file; huge.txt declares more than the 32-bit sizes hold and is left out.
  EXPECT_EQ(NamesOf(L), (std::vector<std::string>{"readme.txt", "docs/n\u00fcte.txt", "empty.txt", "unix.txt",
                                                  "caf\u00e9\u4e2d.txt"}));
  EXPECT_EQ(L[0].Size, 3000);
  EXPECT_EQ(L[2].Size, 0);
  EXPECT_DOUBLE_EQ(L[0].Date, RarDosDateTime(((2021 - 1980) << 9) | (3 << 5) | 4, (5 << 11) | (6 << 5) | 4));
  EXPECT_NEAR(L[0].Date, 44259.2126, 0.0001);  // 2021-03-04 05:06:08
}

TEST_F(RarWrapper, ExtractsItemsToMemoryOnlyAtTheirExactSize) {
  auto WOwner = Open("plain.rar");
  TBaseRarWrapper& W = *WOwner;
  TArcBlockPtr B = W.ExtractToMemory("docs/n\u00fcte.txt", 13);
  ASSERT_NE(B.get(), nullptr);
  EXPECT_EQ(Text(B.get(), 13), "note in docs\n");
  B.reset();
  B = W.ExtractToMemory("caf\u00e9\u4e2d.txt", 13);
  EXPECT_EQ(Text(B.get(), 13), "unicode name\n");
  B.reset();
  B = W.ExtractToMemory("empty.txt", 0);
  EXPECT_NE(B.get(), nullptr);
  B.reset();
  for (int32_t Wrong : {2999, 3001}) EXPECT_THROW(W.ExtractToMemory("readme.txt", Wrong), EArcError) << Wrong;
  try {
    W.ExtractToMemory("missing.txt", 0);
    FAIL() << "an item that is not there";
  } catch (const EArcError& E) {
    EXPECT_EQ(E.Message(), "Can't extract \"missing.txt\" from \"" + FixturePath("plain.rar") + "\"");
  }
}

TEST_F(RarWrapper, ExtractsAnItemToAFolderUnderItsBareName) {
  archivetest::TTempFolder T("rar_item");
  auto WOwner = Open("plain.rar");
  TBaseRarWrapper& W = *WOwner;
  std::string Path;
  TDateTime Date = 0;
  int32_t Size = 0;
  W.ExtractItem(T.Path.string(), "docs/n\u00fcte.txt", Path, 13, &Date, &Size, false, "");
  EXPECT_EQ(Path, (T.Path / "n\u00fcte.txt").string());
  EXPECT_EQ(fs::file_size(Path), 13u);
  EXPECT_EQ(Size, 13);
  EXPECT_GT(Date, 0);
  // A size that does not match: the file is not left behind.
  EXPECT_THROW(W.ExtractItem(T.Path.string(), "readme.txt", Path, 10, nullptr, nullptr, false, ""),
               EArcError);
  EXPECT_FALSE(fs::exists(T.Path / "readme.txt"));
  // An explicit path.
  W.ExtractItem("", "readme.txt", Path, -1, nullptr, nullptr, false, (T.Path / "x" / "copy.txt").string());
  EXPECT_EQ(fs::file_size(T.Path / "x" / "copy.txt"), 3000u);
}

// An item the archive does not hold used to cost an existing file at the explicit path: now it raises and
// that file stays as it was; an absent path stays absent.
TEST_F(RarWrapper, AMissingItemRaisesAndLeavesTheExplicitPathAsItWas) {
  archivetest::TTempFolder T("rar_missing");
  auto WOwner = Open("plain.rar");
  TBaseRarWrapper& W = *WOwner;
  const fs::path Kept = T.Path / "kept.txt";
  std::ofstream(Kept) << "a file that was here before";
  for (const fs::path& Target : {T.Path / "absent.txt", Kept}) {
    SCOPED_TRACE(Target.filename().string());
    std::string Path;
    try {
      W.ExtractItem("", "missing.txt", Path, -1, nullptr, nullptr, false, Target.string());
      ADD_FAILURE() << "no error";
    } catch (const EArcError& E) {
      EXPECT_EQ(E.Message(), "Can't extract \"missing.txt\" from \"" + FixturePath("plain.rar") + "\"");
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(T.Path), fs::directory_iterator()), 1);
    EXPECT_EQ(fs::file_size(Kept), 27u);
  }
  std::string Path;
  EXPECT_THROW(W.ExtractItem("", "readme.txt", Path, 10, nullptr, nullptr, false, Kept.string()), EArcError);
  EXPECT_EQ(fs::file_size(Kept), 27u);
  W.ExtractItem("", "readme.txt", Path, -1, nullptr, nullptr, false, Kept.string());
  EXPECT_EQ(fs::file_size(Kept), 3000u);
  EXPECT_EQ(std::distance(fs::directory_iterator(T.Path), fs::directory_iterator()), 1);
}

TEST_F(RarWrapper, ReadsASplitSetThroughItsVolumes) {
  auto WOwner = Open("set.rar");
  TBaseRarWrapper& W = *WOwner;
  const auto L = ListOf(W);
  EXPECT_EQ(NamesOf(L), (std::vector<std::string>{"first.txt", "big.txt", "last.txt"}));
  EXPECT_EQ(L[1].Size, 34000);
  const std::string Big = Repeat("0123456789abcdef\n", 2000);
  TArcBlockPtr B = W.ExtractToMemory("big.txt", 34000);
  EXPECT_EQ(Text(B.get(), 34000), Big);
  B.reset();
  auto All = AllToMemory(W);
  EXPECT_EQ(All.size(), 3u);
  EXPECT_EQ(All["big.txt"], Big);
  EXPECT_EQ(All["last.txt"], "last volume\n");
}

TEST_F(RarWrapper, ListingALaterVolumeLeavesOutTheContinuedItem) {
  auto WOwner = Open("set.r00");
  TBaseRarWrapper& W = *WOwner;
  EXPECT_EQ(NamesOf(ListOf(W)), std::vector<std::string>{"last.txt"});
}

// set.rar and set.r00 copied into Dir without set.r01, and the first opened.
std::unique_ptr<TBaseRarWrapper> OpenFirstTwoVolumes(const fs::path& Dir) {
  fs::copy_file(FixturePath("set.rar"), Dir / "set.rar");
  fs::copy_file(FixturePath("set.r00"), Dir / "set.r00");
  auto W = std::make_unique<TBaseRarWrapper>();
  std::string Msg;
  EXPECT_TRUE(W->SetArcName((Dir / "set.rar").string(), Msg)) << Msg;
  return W;
}

TEST_F(RarWrapper, AMissingVolumeIsNamedWithoutItsFolder) {
  archivetest::TTempFolder T("rar_missing");
  auto WOwner = OpenFirstTwoVolumes(T.Path);
  TBaseRarWrapper& W = *WOwner;
  std::vector<std::string> Asked;
  W.OnNextVolume = [&](std::string& Name) {
    Asked.push_back(Name);
    return false;
  };
  // Listing ends where the set does: the items before the missing volume are there.
  EXPECT_EQ(NamesOf(ListOf(W)), (std::vector<std::string>{"first.txt", "big.txt"}));
  try {
    W.ExtractToMemory("big.txt", 34000);
    FAIL() << "the third part is missing";
  } catch (const EArcError& E) {
    EXPECT_NE(E.Message().find("Volume \"set.r01\" not found"), std::string::npos) << E.Message();
  }
  EXPECT_EQ(Asked.back(), "set.r01");
  // Answered from another folder, the set is complete.
  W.OnNextVolume = [](std::string& Name) {
    Name = FixturePath(Name);
    return true;
  };
  TArcBlockPtr B = W.ExtractToMemory("big.txt", 34000);
  ASSERT_NE(B.get(), nullptr);
  B.reset();
}

// A pass over every item goes on after a missing middle volume: the item that went on in it is named
// with the volume, and the item that begins in the volume after it is read.
TEST_F(RarWrapper, APassGoesOnFromTheVolumeAfterAMissingOne) {
  archivetest::TTempFolder T("rar_gap");
  fs::copy_file(FixturePath("set.rar"), T.Path / "set.rar");
  fs::copy_file(FixturePath("set.r01"), T.Path / "set.r01");
  TBaseRarWrapper W;
  std::string Msg;
  ASSERT_TRUE(W.SetArcName((T.Path / "set.rar").string(), Msg)) << Msg;
  std::vector<std::string> Messages, Blocks;
  W.OnMessage = [&Messages](const std::string& M) { Messages.push_back(M); };
  W.ExtractAllMem((T.Path / "out").string(),
                  [&Blocks](TArcMemoryItem& Item, bool&) { Blocks.push_back(Item.ItemName); }, nullptr,
                  [](TArcDecideItem& Item) {
                    Item.Decision = edToMemory;
                    return true;
                  });
  EXPECT_EQ(Blocks, (std::vector<std::string>{"first.txt", "last.txt"}));
  ASSERT_EQ(Messages.size(), 2u);
  EXPECT_NE(Messages[0].find("Can't extract \"big.txt\""), std::string::npos) << Messages[0];
  EXPECT_EQ(Messages[1], "Volume \"set.r00\" not found");
}

// Adds the name of every file header of one volume, read on its own, to Names.
void HeaderNamesIn(const std::string& Volume, std::set<std::string>& Names) {
  std::string Msg;
  TRarHandle H(RarOpenArchive(Volume, RAR_OM_LIST, Msg));
  ASSERT_NE(H.Handle, nullptr) << Msg;
  // No further volume is opened.
  UnRarEntries().SetCallback(
      H.Handle, [](uint32_t Msg, void*, intptr_t, intptr_t) { return Msg == RAR_MSG_CHANGE_VOLUME ? -1 : 1; },
      nullptr);
  for (;;) {
    TRarHeaderDataEx Header{};
    if (UnRarEntries().ReadHeaderEx(H.Handle, &Header) != RAR_SUCCESS) break;
    Names.insert(Header.FileName);
    UnRarEntries().ProcessFile(H.Handle, RAR_SKIP, nullptr, nullptr);
  }
}

// A set with a volume missing loses no item without a word: each item is read whole or named in exactly
// one message. An item that begins in the missing volume (or, for a set read from its second volume, in
// the first) is named by what is left of it in the volume after the gap; one that runs through the gap
// is named once, where it meets the gap; in a solid set, the items after the gap are named as lost with
// the data before them. RAR 4 and RAR 5 sets of stored items and solid RAR 4 and RAR 5 sets, each volume
// but the last left out in turn.
TEST_F(RarWrapper, EveryItemOfASetWithAVolumeMissingIsReadOrNamedOnce) {
  struct TSet {
    const char* Stem;
    int Count;
  };
  for (const TSet& Set :
       {TSet{"test_rar_multivolume_multiple_files", 6}, TSet{"test_read_format_rar5_multiarchive", 8},
        TSet{kRar5SolidSet, 4}, TSet{kRar4SolidSet, 6}, TSet{kRar4SolidCutSet, 6}}) {
    archivetest::TTempFolder WholeDir("rar_whole_set");
    const auto Whole = AllToMemory(*Open(VolumeSetIn(WholeDir.Path, Set.Stem, Set.Count, "set", 2)));
    ASSERT_GE(Whole.size(), 2u) << Set.Stem;
    for (int Missing = 1; Missing < Set.Count; ++Missing) {
      SCOPED_TRACE(std::string(Set.Stem) + " without volume " + std::to_string(Missing));
      archivetest::TTempFolder Dir("rar_gap_set");
      auto VolumeName = [](int N) {
        return std::string("set.part") + (N < 10 ? "0" : "") + std::to_string(N) + ".rar";
      };
      for (int N = 1; N <= Set.Count; ++N)
        if (N != Missing)
          fs::copy_file(FixturePath(std::string(Set.Stem) + ".vol" + std::to_string(N) + ".rar"),
                        Dir.Path / VolumeName(N));
      const fs::path First = Dir.Path / VolumeName(Missing == 1 ? 2 : 1);
      std::vector<std::string> Messages;
      std::map<std::string, std::string> Got;
      try {
        Got = AllToMemory(*Open(First.string()), &Messages);
      } catch (const EArcError& E) {
        Messages.push_back(E.Message());
      }
      std::string All;
      for (const auto& M : Messages) All += M + "\n";
      EXPECT_EQ(All.find("header broken"), std::string::npos) << All;
      EXPECT_EQ(All.find("CRC error"), std::string::npos) << All;  // nothing here is damaged
      // An item stored wholly inside the missing volume leaves no trace to name it by; every other item
      // has a header (of its first part or a later one) in a volume that is there.
      std::set<std::string> Traced;
      for (int N = 1; N <= Set.Count; ++N)
        if (N != Missing) HeaderNamesIn((Dir.Path / VolumeName(N)).string(), Traced);
      for (const auto& [Name, Content] : Whole) {
        if (Got.count(Name)) {
          EXPECT_TRUE(Got.at(Name) == Content) << Name;
          continue;
        }
        if (!Traced.count(Name)) continue;
        const std::string Named = "Can't extract \"" + Name + "\" from \"" + First.string() + "\". ";
        EXPECT_EQ(std::count_if(Messages.begin(), Messages.end(),
                                [&](const std::string& M) { return M.rfind(Named, 0) == 0; }),
                  1)
            << Name << " in:\n"
            << All;
      }
    }
  }
  // Without the third of six volumes: the item that runs from the first volume into the third is named
  // with the missing volume, the one that begins in the third and goes on into the fourth by what is left
  // of it there.
  archivetest::TTempFolder Dir("rar_gap_third");
  for (int N : {1, 2, 4, 5, 6})
    fs::copy_file(FixturePath("test_rar_multivolume_multiple_files.vol" + std::to_string(N) + ".rar"),
                  Dir.Path / ("set.part" + std::to_string(N) + ".rar"));
  const fs::path First = Dir.Path / "set.part1.rar";
  std::vector<std::string> Messages;
  AllToMemory(*Open(First.string()), &Messages);
  EXPECT_EQ(Messages, (std::vector<std::string>{"Can't extract \"LibarchiveAddingTest2.html\" from \"" +
                                                    First.string() + "\". Volume \"set.part3.rar\" not found",
                                                "Volume \"set.part3.rar\" not found",
                                                "Can't extract \"LibarchiveAddingTest.html\" from \"" +
                                                    First.string() + "\". It begins in a missing volume"}));
}

TEST_F(RarWrapper, AVolumeAnsweredTwiceEndsTheWalk) {
  // The answer names the second volume again: its part of big.txt asks for a third one, and the walk
  // must not go round in a circle.
  archivetest::TTempFolder T("rar_circle");
  auto WOwner = OpenFirstTwoVolumes(T.Path);
  TBaseRarWrapper& W = *WOwner;
  int Asked = 0;
  W.OnNextVolume = [&](std::string& Name) {
    ++Asked;
    Name = (T.Path / "set.r00").string();
    return true;
  };
  EXPECT_THROW(W.ExtractToMemory("big.txt", 34000), EArcError);
  EXPECT_LE(Asked, 4);
  // Split items reach their files across volumes too.
  archivetest::TTempFolder Out("rar_split_file");
  auto Full = Open("set.rar");
  std::string Path;
  Full->ExtractItem(Out.Path.string(), "big.txt", Path, 34000, nullptr, nullptr, false, "");
  EXPECT_EQ(fs::file_size(Path), 34000u);
}

TEST_F(RarWrapper, ExtractAllRoutesItemsAndNeverExtractsEmptyOnes) {
  archivetest::TTempFolder T("rar_all");
  auto WOwner = Open("plain.rar");
  TBaseRarWrapper& W = *WOwner;
  std::vector<std::string> Asked, Files, Blocks;
  W.ExtractAllMem(
      T.Path.string(),
      [&](TArcMemoryItem& Item, bool&) { Blocks.push_back(Item.ItemName + "=" + std::to_string(Item.Size)); },
      [&](TArcFileItem& File, bool&) {
        Files.push_back(fs::path(File.FileName).lexically_relative(T.Path).string() + "=" +
                        std::to_string(File.Size));
      },
      [&](TArcDecideItem& Item) {
        Asked.push_back(Item.ItemName);
        EXPECT_EQ(Item.FileName, (T.Path / Item.ItemName).string());
        Item.Decision = Item.ItemName == "readme.txt" ? edToMemory : edToFile;
        return true;
      });
  EXPECT_EQ(Asked.size(), 5u);
  EXPECT_EQ(Blocks, std::vector<std::string>{"readme.txt=3000"});
  EXPECT_EQ(Files,
            (std::vector<std::string>{"docs/n\u00fcte.txt=13", "unix.txt=16", "caf\u00e9\u4e2d.txt=13"}));
  EXPECT_FALSE(fs::exists(T.Path / "empty.txt"));

  // edCancel ends the pass at once.
  int Offered = 0;
  W.ExtractAllMem(T.Path.string(), nullptr, nullptr, [&](TArcDecideItem& Item) {
    ++Offered;
    Item.Decision = edCancel;
    return false;
  });
  EXPECT_EQ(Offered, 1);
}

TEST_F(RarWrapper, ANameThatClimbsIsWrittenInsideTheFolder) {
  archivetest::TTempFolder T("rar_climb");
  const fs::path Dest = T.Path / "out";
  auto WOwner = Open("climb.rar");
  TBaseRarWrapper& W = *WOwner;
  std::vector<std::string> Files;
  W.ExtractAll(
      Dest.string(), [&](TArcFileItem& File, bool&) { Files.push_back(File.FileName); }, nullptr);
  EXPECT_EQ(Files,
            (std::vector<std::string>{(Dest / "evil.txt").string(), (Dest / "sub" / "inner.txt").string()}));
  EXPECT_FALSE(fs::exists(T.Path / "evil.txt"));
}

TEST_F(RarWrapper, EncryptedItemsAreRefusedWithoutAskingOrDecoding) {
  for (const char* Name : {"enc.rar", "test_read_format_rar_encryption_data.rar"}) {
    SCOPED_TRACE(Name);
    auto WOwner = Open(Name);
    TBaseRarWrapper& W = *WOwner;
    int Asked = 0;
    W.OnPassword = [&](const std::string&, const std::string&, std::string&) {
      ++Asked;
      return false;
    };
    const auto L = ListOf(W);
    ASSERT_FALSE(L.empty());
    std::vector<std::string> Messages;
    const auto All = AllToMemory(W, &Messages);
    EXPECT_TRUE(All.empty() || All.count("open.txt"));
    EXPECT_FALSE(Messages.empty());
    for (const auto& M : Messages)
      EXPECT_NE(M.find("encrypted data cannot be decrypted"), std::string::npos) << M;
    try {
      W.ExtractToMemory(L[0].Name, L[0].Size);
      FAIL() << "an encrypted item was delivered";
    } catch (const EArcError& E) {
      EXPECT_NE(E.Message().find("encrypted data cannot be decrypted"), std::string::npos) << E.Message();
    }
    EXPECT_EQ(Asked, 0);
  }
}

TEST_F(RarWrapper, ArchivesItCannotReadAnswerWhy) {
  struct TCase {
    std::string File;
    std::string Reason;
  };
  const std::vector<TCase> Cases = {
      {FixturePath("test_read_format_rar_encryption_header.rar"), "archive headers are encrypted"},
      {FixturePath("../make_rar.py"), "file is not a valid RAR archive"},
      {FixturePath("missing.rar"), "file open error"},
  };
  for (const auto& C : Cases) {
    TBaseRarWrapper W;
    std::string Msg;
    EXPECT_FALSE(W.SetArcName(C.File, Msg));
    EXPECT_EQ(Msg, "UnRar error opening \"" + C.File + "\": " + C.Reason);
  }
}

TEST_F(RarWrapper, SolidItemsAreReadAndBadDataFailsItsItemOnly) {
  auto SolidOwner = Open("solid.rar");
  TBaseRarWrapper& Solid = *SolidOwner;
  TArcBlockPtr B = Solid.ExtractToMemory("two.txt", 26);
  ASSERT_NE(B.get(), nullptr);
  EXPECT_EQ(Text(B.get(), 26), "second of a solid archive\n");
  B.reset();
  auto BadOwner = Open("badcrc.rar");
  TBaseRarWrapper& Bad = *BadOwner;
  try {
    Bad.ExtractToMemory("bad.txt", 25);
    FAIL();
  } catch (const EArcError& E) {
    EXPECT_NE(E.Message().find("file CRC error"), std::string::npos) << E.Message();
  }
  B = Bad.ExtractToMemory("good.txt", 5);
  EXPECT_EQ(Text(B.get(), 5), "fine\n");
  B.reset();
}

// A pass that takes only the last items of a solid archive still decodes the ones it passes over, in
// the same forward walk, so the items it takes come whole (RAR 4 through unarr, RAR 5 through libarchive).
TEST_F(RarWrapper, APassOverASolidArchiveTakesAnyItemItChooses) {
  for (const std::string& Name :
       {std::string("Rar.solid.rar"), std::string("test_read_format_rar5_solid.rar")}) {
    SCOPED_TRACE(Name);
    auto WOwner = Open(Name);
    const auto Items = ListOf(*WOwner);
    ASSERT_GE(Items.size(), 3u);
    const TListed Last = Items.back();
    std::map<std::string, std::string> Got;
    std::vector<std::string> Messages;
    WOwner->OnMessage = [&](const std::string& M) { Messages.push_back(M); };
    WOwner->ExtractAllMem(
        "/nonexistent-destination",
        [&](TArcMemoryItem& Item, bool&) { Got[Item.ItemName] = Text(Item.Block.get(), Item.Size); }, nullptr,
        [&](TArcDecideItem& Item) {
          Item.Decision = edToMemory;
          return Item.ItemName == Last.Name;
        });
    EXPECT_TRUE(Messages.empty()) << Messages.front();
    ASSERT_EQ(Got.size(), 1u);
    EXPECT_EQ(Got.begin()->second.size(), static_cast<size_t>(Last.Size));
  }
}

// What no library here decodes is refused item by item, with a message naming the archive and the item:
// RAR 1.5 compression and encrypted RAR 5 data.
TEST_F(RarWrapper, ItemsNoLibraryDecodesAreEachNamed) {
  struct TCase {
    std::string Archive;
    std::string Reason;
    size_t Refused;
  };
  for (const TCase& C :
       {TCase{"Rar15.rar", "compression not supported", 3},
        TCase{"test_read_format_rar5_encrypted.rar", "encrypted data cannot be decrypted", 2}}) {
    SCOPED_TRACE(C.Archive);
    auto WOwner = Open(C.Archive);
    std::vector<std::string> Messages;
    const auto All = AllToMemory(*WOwner, &Messages);
    ASSERT_EQ(Messages.size(), C.Refused);
    for (const auto& M : Messages) {
      EXPECT_EQ(M.rfind("Can't extract \"", 0), 0u) << M;
      EXPECT_NE(M.find("\" from \"" + FixturePath(C.Archive) + "\""), std::string::npos) << M;
      EXPECT_NE(M.find(C.Reason), std::string::npos) << M;
    }
    EXPECT_EQ(All.size() + Messages.size(), NamesOf(ListOf(*WOwner)).size());
  }
}

TEST_F(RarWrapper, ReadsRar5NamesAndVolumeSets) {
  // A file, a hard link to it (which delivers the file's data) and a symbolic link (its target).
  auto UnicodeOwner = Open("test_read_format_rar5_unicode.rar");
  const auto L = ListOf(*UnicodeOwner);
  ASSERT_EQ(L.size(), 3u);
  EXPECT_EQ(L[0].Size, L[1].Size);
  EXPECT_NE(L[1].Name.find("\u24bd\u24d0\u24e1\u24d3 \u24c1\u24d8\u24dd\u24da"), std::string::npos);
  // Every item of the solid set, the one that spans volumes too; a set whose last volume is missing names it.
  archivetest::TTempFolder Whole("rar5_set");
  auto SetOwner = Open(VolumeSetIn(Whole.Path, kRar5SolidSet, 4, kRar5SolidSet, 2));
  const auto All = AllToMemory(*SetOwner);
  EXPECT_EQ(All.size(), 9u);
  EXPECT_EQ(All.at("elf-Linux-ARMv7-ls").size(), 90808u);
  archivetest::TTempFolder T("rar5_missing");
  auto ShortOwner = Open(VolumeSetIn(T.Path, kRar5SolidSet, 3, kRar5SolidSet, 2));
  std::vector<std::string> Asked;
  ShortOwner->OnNextVolume = [&](std::string& Name) {
    Asked.push_back(Name);
    return false;
  };
  // The pass names the missing volume (and the item lost with it) and ends, with no later volume there.
  std::vector<std::string> Messages;
  ShortOwner->OnMessage = [&Messages](const std::string& M) { Messages.push_back(M); };
  AllToMemory(*ShortOwner);
  EXPECT_NE(std::find(Messages.begin(), Messages.end(),
                      "Volume \"test_read_format_rar5_multiarchive_solid.part04.rar\" not found"),
            Messages.end());
  EXPECT_FALSE(Asked.empty());
}

// An archive cut short loses the items behind the cut, and says so: each item that is not delivered is
// named in a message, or the pass ends with an error that the archive ends early (or that a header is
// broken, where the cut falls in one), naming the archive.
TEST_F(RarWrapper, ATruncatedArchiveNamesWhatItLoses) {
  archivetest::TTempFolder T("rar_cut");
  for (const std::string& Name : {std::string("Rar2.rar"), std::string("test_read_format_rar5_solid.rar"),
                                  std::string("test_read_format_rar_multi_lzss_blocks.rar")}) {
    const auto Full = ListOf(*Open(Name));
    const auto Bytes = archivetest::ReadFile(FixturePath(Name));
    for (const size_t Tenths : {3u, 5u, 9u}) {
      SCOPED_TRACE(Name + " cut at " + std::to_string(Tenths) + "/10");
      const fs::path Cut = T.Path / ("cut" + std::to_string(Tenths) + "_" + Name);
      std::ofstream(Cut, std::ios::binary)
          .write(reinterpret_cast<const char*>(Bytes.data()),
                 static_cast<std::streamsize>(Bytes.size() * Tenths / 10));
      TBaseRarWrapper W;
      std::string Msg;
      ASSERT_TRUE(W.SetArcName(Cut.string(), Msg)) << Msg;
      std::vector<std::string> Messages;
      std::map<std::string, std::string> Got;
      std::string Raised;
      try {
        Got = AllToMemory(W, &Messages);
      } catch (const EArcError& E) {
        Raised = E.Message();
      }
      if (!Raised.empty()) {
        EXPECT_NE(Raised.find("\"" + Cut.string() + "\""), std::string::npos) << Raised;
        EXPECT_TRUE(Raised.find("ends early") != std::string::npos ||
                    Raised.find("broken") != std::string::npos)
            << Raised;
      }
      size_t Lost = 0;
      for (const auto& Item : Full) {
        if (Item.Size == 0 || Got.count(Item.Name)) continue;
        ++Lost;
        bool Named = false;
        for (const auto& M : Messages)
          Named = Named || M.find("\"" + Item.Name + "\" from") != std::string::npos;
        EXPECT_TRUE(Named || !Raised.empty()) << Item.Name << " vanished without a word";
      }
      EXPECT_GT(Lost, 0u);
    }
  }
}

// Decodes every item of Archive through the library in one pass: "size crc32" of each item that holds
// data, with the results that were not a success.
void DecodeEveryItem(const std::string& Archive, std::multiset<std::string>& Items,
                     std::vector<std::string>& Failed) {
  struct TSum {
    uint64_t Size = 0;
    uint32_t Crc = 0;
  } Sum;
  const TRarCallback Callback = [](uint32_t Msg, void* User, intptr_t P1, intptr_t P2) -> int {
    if (Msg == RAR_MSG_CHANGE_VOLUME) return P2 == 0 ? -1 : 1;
    auto* S = static_cast<TSum*>(User);
    S->Crc =
        static_cast<uint32_t>(::crc32(S->Crc, reinterpret_cast<const Bytef*>(P1), static_cast<uInt>(P2)));
    S->Size += static_cast<uint64_t>(P2);
    return 1;
  };
  std::string Msg;
  TRarHandle H(RarOpenArchive(Archive, RAR_OM_EXTRACT, Msg));
  ASSERT_NE(H.Handle, nullptr) << Msg;
  UnRarEntries().SetCallback(H.Handle, Callback, &Sum);
  for (;;) {
    TRarHeaderDataEx Header{};
    const int R = UnRarEntries().ReadHeaderEx(H.Handle, &Header);
    if (R == RAR_END_ARCHIVE) break;
    ASSERT_EQ(R, RAR_SUCCESS);
    // Folders, the later parts of split items and items declaring 2 GB or more (the wrapper leaves them out).
    if ((Header.FileAttr & RAR_ATTR_FOLDER) || (Header.Flags & RAR_FLAG_CONTINUED) || Header.UnpSizeHigh ||
        Header.UnpSize > static_cast<uint32_t>(INT32_MAX)) {
      UnRarEntries().ProcessFile(H.Handle, RAR_SKIP, nullptr, nullptr);
      continue;
    }
    Sum = TSum();
    const int E = UnRarEntries().ProcessFile(H.Handle, RAR_TEST, nullptr, nullptr);
    if (E != RAR_SUCCESS) Failed.push_back(std::string(Header.FileName) + ": " + std::to_string(E));
    char Line[64];
    std::snprintf(Line, sizeof Line, "%llu %08x", static_cast<unsigned long long>(Sum.Size), Sum.Crc);
    if (Sum.Size > 0) Items.insert(Line);
  }
}

// Every item of every readable fixture, large ones included, has the size and CRC-32 that an independent
// extractor gave it (fixtures/expected.txt, written by make_expected.py): RAR 2.0-5, solid archives,
// volume sets of both namings, self-extractors, and the large PPMd and LZSS items.
TEST_F(RarWrapper, EveryItemAgreesWithAnIndependentExtractor) {
  std::map<std::string, std::multiset<std::string>> Expected;
  std::ifstream List(FixturePath("expected.txt"));
  std::string Line;
  while (std::getline(List, Line)) {
    std::istringstream Fields(Line);
    std::string Archive, Size, Crc;
    Fields >> Archive >> Size >> Crc;
    Expected[Archive].insert(Size + " " + Crc);
  }
  ASSERT_GE(Expected.size(), 20u);
  // The volume sets are listed by their first kept volume and read under their volume names.
  archivetest::TTempFolder SetDir("rar_every");
  const std::map<std::string, std::string> Sets = {
      {std::string(kRar4Set) + ".vol1.rar", VolumeSetIn(SetDir.Path, kRar4Set, 4, "multivolume", 4)},
      {std::string(kRar5SolidSet) + ".vol1.rar",
       VolumeSetIn(SetDir.Path, kRar5SolidSet, 4, kRar5SolidSet, 2)},
      {std::string(kRar4SolidSet) + ".vol1.rar",
       VolumeSetIn(SetDir.Path, kRar4SolidSet, 6, kRar4SolidSet, 1)},
      {std::string(kRar4SolidCutSet) + ".vol1.rar",
       VolumeSetIn(SetDir.Path, kRar4SolidCutSet, 6, kRar4SolidCutSet, 1)}};
  for (const auto& [Archive, Items] : Expected) {
    SCOPED_TRACE(Archive);
    const auto Set = Sets.find(Archive);
    const std::string Path = Set != Sets.end() ? Set->second : FixturePath(Archive);
    std::multiset<std::string> Got;
    std::vector<std::string> Failed;
    DecodeEveryItem(Path, Got, Failed);
    EXPECT_TRUE(Failed.empty()) << Failed.front();
    EXPECT_EQ(Got, Items);
  }
}

TEST_F(RarWrapper, APassGoesOnAfterAnItemThatFails) {
  // bad.txt fails its CRC check: it is reported and not delivered, and good.txt after it still comes.
  auto WOwner = Open("badcrc.rar");
  std::vector<std::string> Messages;
  const auto All = AllToMemory(*WOwner, &Messages);
  EXPECT_EQ(All.size(), 1u);
  EXPECT_EQ(All.count("good.txt"), 1u);
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0],
            "Can't extract \"bad.txt\" from \"" + FixturePath("badcrc.rar") + "\". UnRar: file CRC error");
}

TEST_F(RarWrapper, ReadsLongNamesSelfExtractorsAndRealArchives) {
  auto LongOwner = Open("longname.rar");
  TBaseRarWrapper& Long = *LongOwner;
  const auto L = ListOf(Long);
  ASSERT_EQ(L.size(), 1u);
  EXPECT_EQ(L[0].Name.size(), 300u);
  TArcBlockPtr B = Long.ExtractToMemory(L[0].Name, 5);
  EXPECT_EQ(Text(B.get(), 5), "long\n");
  B.reset();

  auto SfxOwner = Open("sfx.exe");
  TBaseRarWrapper& Sfx = *SfxOwner;
  EXPECT_EQ(ListOf(Sfx).size(), 5u);

  // Compressed archives and a multi-volume set of the new naming, written by the RAR program. The set is
  // kept as vol1..vol4 and given its volume names (name.part0001.rar ...) in a temporary folder.
  archivetest::TTempFolder SetDir("rar_volumes");
  const std::string FirstVolume = VolumeSetIn(SetDir.Path, kRar4Set, 4, "multivolume", 4);
  for (const std::string& Name :
       {std::string("test_read_format_rar.rar"), std::string("test_read_format_rar_compress_normal.rar"),
        std::string("test_read_format_rar_unicode.rar"), FirstVolume,
        std::string("test_read_format_rar_sfx.exe")}) {
    SCOPED_TRACE(Name);
    auto WOwner = Open(Name);
    TBaseRarWrapper& W = *WOwner;
    const auto Items = ListOf(W);
    ASSERT_FALSE(Items.empty());
    std::vector<std::string> Messages;
    const auto All = AllToMemory(W, &Messages);
    EXPECT_TRUE(Messages.empty());
    size_t NonEmpty = 0;
    for (const auto& I : Items) {
      if (I.Size == 0 || I.Size > kLargestTaken) continue;
      ++NonEmpty;
      ASSERT_TRUE(All.count(I.Name)) << I.Name;
      EXPECT_EQ(All.at(I.Name).size(), static_cast<size_t>(I.Size)) << I.Name;
    }
    EXPECT_EQ(All.size(), NonEmpty);
  }
}

// Each item's size and CRC-32, to compare contents without printing them.
std::map<std::string, std::string> Sums(const std::map<std::string, std::string>& Items) {
  std::map<std::string, std::string> Out;
  for (const auto& [Name, Content] : Items)
    Out[Name] = std::to_string(Content.size()) + " " +
                std::to_string(::crc32(0, reinterpret_cast<const Bytef*>(Content.data()),
                                       static_cast<uInt>(Content.size())));
  return Out;
}

void WriteBytes(const fs::path& Path, const Bytes& Data) {
  std::ofstream(Path, std::ios::binary)
      .write(reinterpret_cast<const char*>(Data.data()), static_cast<std::streamsize>(Data.size()));
}

// A solid RAR 4 volume set is read like the solid archive it was cut from, every item of it: cut between
// items (one item a volume), cut inside items (new and old volume naming); a pass that takes only the last
// item still decodes the ones before it through their volumes.
TEST_F(RarWrapper, ASolidVolumeSetIsReadLikeTheArchiveItWasCutFrom) {
  const auto Whole = AllToMemory(*Open("Rar.solid.rar"));
  ASSERT_EQ(Whole.size(), 3u);
  archivetest::TTempFolder SetDir("rar_solid_sets");
  for (const std::string& First :
       {VolumeSetIn(SetDir.Path, kRar4SolidSet, 6, kRar4SolidSet, 1),
        VolumeSetIn(SetDir.Path, kRar4SolidCutSet, 6, kRar4SolidCutSet, 1), FixturePath("solidold.rar")}) {
    SCOPED_TRACE(First);
    auto WOwner = Open(First);
    std::vector<std::string> Messages;
    EXPECT_EQ(Sums(AllToMemory(*WOwner, &Messages)), Sums(Whole));
    EXPECT_TRUE(Messages.empty()) << Messages.front();
    TArcBlockPtr B = WOwner->ExtractToMemory("jpg/test.jpg", 40372);
    EXPECT_TRUE(Text(B.get(), 40372) == Whole.at("jpg/test.jpg"));
  }
}

// A RAR 5 self-extractor is read whatever the length of the program in front of the archive.
TEST_F(RarWrapper, Rar5SelfExtractorsAreReadWhateverTheirProgramsLength) {
  const auto Plain = AllToMemory(*Open("test_read_format_rar5_solid.rar"));
  ASSERT_FALSE(Plain.empty());
  const Bytes Archive = archivetest::ReadFile(FixturePath("test_read_format_rar5_solid.rar"));
  archivetest::TTempFolder T("rar5_sfx");
  for (const size_t Stub : {size_t(600), size_t(60000), size_t(64 * 1024 - 3), size_t(70000)}) {
    SCOPED_TRACE(Stub);
    Bytes Sfx(Stub, 0x90);
    Sfx[0] = 'M';
    Sfx[1] = 'Z';
    Sfx.insert(Sfx.end(), Archive.begin(), Archive.end());
    const fs::path Path = T.Path / ("sfx" + std::to_string(Stub) + ".exe");
    WriteBytes(Path, Sfx);
    std::vector<std::string> Messages;
    EXPECT_EQ(Sums(AllToMemory(*Open(Path.string()), &Messages)), Sums(Plain));
    EXPECT_TRUE(Messages.empty()) << Messages.front();
  }
}

// Damaged item data fails the CRC check and names its item, whatever decoded it: stored items of RAR 4 and
// RAR 5 (which libarchive delivers unchecked), compressed RAR 4 items (unarr); libunarr's complaints stay
// off the standard error.
TEST_F(RarWrapper, DamagedDataFailsItsItemWithAMessageAndNothingOnStandardError) {
  struct TCase {
    std::string Archive;
    size_t Offset;  // a byte of the item's data
    std::string Item;
  };
  const std::vector<TCase> Cases = {
      {"test_read_format_rar5_stored.rar", 0x50, "helloworld.txt"},
      {"test_read_format_rar.rar", 75, "test.txt"},
      {"test_read_format_rar_compress_normal.rar", 0x60, ""},
  };
  archivetest::TTempFolder T("rar_bad_data");
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Archive);
    const auto Names = NamesOf(ListOf(*Open(C.Archive)));
    const std::string Item = C.Item.empty() ? Names.front() : C.Item;
    Bytes Data = archivetest::ReadFile(FixturePath(C.Archive));
    ASSERT_LT(C.Offset, Data.size());
    Data[C.Offset] ^= 0x55;
    const fs::path Path = T.Path / C.Archive;
    WriteBytes(Path, Data);
    std::vector<std::string> Messages;
    ::testing::internal::CaptureStderr();
    std::map<std::string, std::string> Got;
    try {
      Got = AllToMemory(*Open(Path.string()), &Messages);
    } catch (const EArcError& E) {
      Messages.push_back(E.Message());
    }
    const std::string Stderr = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(Stderr, "");
    EXPECT_EQ(Got.count(Item), 0u);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0],
              "Can't extract \"" + Item + "\" from \"" + Path.string() + "\". UnRar: file CRC error");
  }
}

// An item whose compressed data asks the decoder for far more memory than decoding it can need (a filter
// program declaring about 1 GB of static data in a 55-byte item, which the decoding libraries would
// allocate and fill byte by byte) fails and is named, for the reason it fails: as it is (decoded by
// libunarr), and with an unpacking version libunarr does not take (30), which goes to libarchive.
TEST_F(RarWrapper, AnItemThatAsksForAbsurdMemoryFailsAndIsNamed) {
  archivetest::TTempFolder T("rar_demanding");
  const Bytes Original = archivetest::ReadFile(FixturePath("test_read_format_rar_unbound_staticdata.rar"));
  ASSERT_EQ(Original.size(), 125u);
  struct TCase {
    uint8_t Version;
    uint32_t Declared;  // the unpacked size the header declares; 0: as the file has it (4 bytes)
  };
  for (const TCase C : {TCase{29, 0}, TCase{30, 0}, TCase{29, 0x7F000000}, TCase{30, 0x50000000}}) {
    SCOPED_TRACE(std::to_string(C.Version) + " declaring " + std::to_string(C.Declared));
    // The item's header: at 20, 43 bytes, its unpacked size at 31, its unpacking version at 44. A large
    // declared size gives the decoder no more room for what it asks at once.
    Bytes Data = Original;
    Data[44] = C.Version;
    if (C.Declared != 0)
      for (int I = 0; I < 4; ++I) Data[31 + I] = static_cast<uint8_t>(C.Declared >> (8 * I));
    const uint32_t Crc = static_cast<uint32_t>(::crc32(0, Data.data() + 22, 43 - 2));
    Data[20] = static_cast<uint8_t>(Crc);
    Data[21] = static_cast<uint8_t>(Crc >> 8);
    const fs::path Path =
        T.Path / ("v" + std::to_string(C.Version) + "-" + std::to_string(C.Declared) + ".rar");
    WriteBytes(Path, Data);
    std::vector<std::string> Messages;
    // Every item is taken, whatever size it declares.
    const auto Got = AllToMemory(*Open(Path.string()), &Messages, INT64_MAX);
    EXPECT_TRUE(Got.empty());
    EXPECT_EQ(Messages, std::vector<std::string>{"Can't extract \"poc_b76.txt\" from \"" + Path.string() +
                                                 "\". UnRar: compressed data asks for more memory than the "
                                                 "file can need"});
  }
}

// The library repoints the decoding libraries' allocation slots at its own code; another user of those
// libraries in the process goes on working after the library is unloaded (in a child process, where a
// crash is a status).
TEST_F(RarWrapper, TheDecodingLibrariesWorkAfterTheLibraryIsUnloaded) {
  const pid_t Child = ::fork();
  if (Child == 0) {
    void* const Archive = ::dlopen("libarchive.so.13", RTLD_NOW | RTLD_GLOBAL);
    if (Archive == nullptr) ::_exit(2);
    const auto Open = FixturePath("test_read_format_rar_unbound_staticdata.rar");
    {
      TBaseRarWrapper W;
      std::string Msg;
      if (!W.SetArcName(Open, Msg)) ::_exit(3);
      std::vector<std::string> Messages;
      AllToMemory(W, &Messages, INT64_MAX);
    }
    UnloadUnRarDll();
    using TNew = void* (*)();
    using TFree = int (*)(void*);
    const auto New = reinterpret_cast<TNew>(::dlsym(Archive, "archive_read_new"));
    const auto Free = reinterpret_cast<TFree>(::dlsym(Archive, "archive_read_free"));
    if (New == nullptr || Free == nullptr) ::_exit(4);
    void* const Reader = New();
    ::_exit(Reader != nullptr && Free(Reader) == 0 ? 0 : 5);
  }
  int Status = 0;
  ASSERT_EQ(::waitpid(Child, &Status, 0), Child);
  EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0) << "status " << Status;
}

// A RAR 2-4 header that fails its CRC still names its item when it reads as a file header (a damaged
// type byte, a damaged name): the item is reported as having a broken header, and the walk goes on to the
// items after it. None of the damaged header's fields is believed before the item is named: flags that
// now say folder, a part continued from another volume or encrypted data, or a size of 2 GB or more,
// would otherwise make the item vanish without a word.
TEST_F(RarWrapper, AnItemWhoseHeaderIsDamagedIsNamedAndTheWalkGoesOn) {
  // test_read_format_rar.rar: the main header, then test.txt's header at 20 (type byte at 22, low flag
  // byte 0x20 at 23, the unpacked size's top byte at 34, name at 52), a link, then testdir/test.txt's
  // header at 148 (type byte at 150).
  struct TCase {
    size_t Offset;
    uint8_t Value;
    std::string Named;
  };
  const std::vector<TCase> Cases = {
      {22, 0x00, "test.txt"},
      {22, 0x75, "test.txt"},
      {22, 0x7A, "test.txt"},
      {22, 0x8B, "test.txt"},
      {52, 'b', "best.txt"},
      {150, 0x7B, "testdir/test.txt"},
      {150, 0x74 ^ 0x01, "testdir/test.txt"},
      {23, 0x20 | 0xE0, "test.txt"},  // a folder
      {23, 0x20 | 0x01, "test.txt"},  // continued from a volume before
      {23, 0x20 | 0x02, "test.txt"},  // continued in the next volume
      {23, 0x20 | 0x04, "test.txt"},  // encrypted
      {23, 0x20 | 0x10, "test.txt"},  // solid
      {34, 0x80, "test.txt"},         // 2 GB and more
  };
  const auto Whole = AllToMemory(*Open("test_read_format_rar.rar"));
  ASSERT_EQ(Whole.size(), 2u);
  const Bytes Original = archivetest::ReadFile(FixturePath("test_read_format_rar.rar"));
  archivetest::TTempFolder T("rar_bad_header");
  for (const TCase& C : Cases) {
    SCOPED_TRACE(std::to_string(C.Offset) + " = " + std::to_string(C.Value));
    Bytes Data = Original;
    Data[C.Offset] = C.Value;
    const fs::path Path = T.Path / "damaged.rar";
    WriteBytes(Path, Data);
    std::vector<std::string> Messages;
    const auto Got = AllToMemory(*Open(Path.string()), &Messages);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0],
              "Can't extract \"" + C.Named + "\" from \"" + Path.string() + "\". UnRar: file header broken");
    // The other item with data still comes.
    EXPECT_EQ(Got.size(), 1u);
    for (const auto& [Name, Content] : Got) EXPECT_TRUE(Content == Whole.at(Name)) << Name;
  }
}

TEST(RarBinding, AMissingLibraryAnswersEveryArchive) {
  UnloadUnRarDll();
  EXPECT_FALSE(LoadUnRarDll("/nonexistent/UnRar3.so"));
  TBaseRarWrapper W;
  std::string Msg;
  EXPECT_FALSE(W.SetArcName(FixturePath("plain.rar"), Msg));
  EXPECT_EQ(Msg, "Can't load dynamic link library \"UnRar3.so\"");
  EXPECT_EQ(RarOpenArchive(FixturePath("plain.rar"), RAR_OM_LIST, Msg), nullptr);
  EXPECT_EQ(Msg, "\"UnRar3.so\" not loaded");
  // A library without the ten entry points is not bound.
  UnloadUnRarDll();
  EXPECT_FALSE(LoadUnRarDll("libz.so.1"));
  UnloadUnRarDll();
  ASSERT_TRUE(LoadUnRarDll(""));
  EXPECT_GT(UnRarEntries().GetDllVersion(), 0);
}

TEST(RarTexts, ResultCodesAndStamps) {
  EXPECT_EQ(RarProcessErrorText(RAR_E_BAD_DATA, "a.rar"), "UnRar error processing \"a.rar\": file CRC error");
  EXPECT_EQ(RarProcessErrorText(RAR_E_BAD_HEADER, ""), "UnRar: file header broken");
  EXPECT_EQ(RarProcessErrorText(99, ""), "UnRar: code 99");
  EXPECT_EQ(RarOpenErrorText(77, "a.rar"), "UnRar error opening \"a.rar\": 77");
  EXPECT_EQ(RarDosDateTime(0, 0), 0);                                     // day 0
  EXPECT_GT(RarDosDateTime((1 << 5) | 30, 0), 0);                         // 30 January
  EXPECT_EQ(RarDosDateTime((2 << 5) | 30, 0), 0);                         // 30 February is not
  EXPECT_EQ(RarDosDateTime(((2021 - 1980) << 9) | (2 << 5) | 29, 0), 0);  // no 29 February in 2021
  EXPECT_EQ(RarDosDateTime((1 << 5) | 1, 24 << 11), 0);                   // hour 24
  EXPECT_GT(RarDosDateTime(((2020 - 1980) << 9) | (2 << 5) | 29, 0), 0);
}

TEST_F(RarWrapper, DamagedArchivesNeitherCrashNorHang) {
  const std::vector<std::string> Names = {"plain.rar",
                                          "set.rar",
                                          "enc.rar",
                                          "longname.rar",
                                          "test_read_format_rar.rar",
                                          "test_read_format_rar_compress_normal.rar",
                                          "test_read_format_rar_unicode.rar",
                                          "test_read_format_rar_invalid1.rar"};
  // What a run gives: whether it reported anything (a refusal, an exception or a message) and the
  // contents of the items, in name order.
  struct TOutcome {
    bool Reported = false;
    std::vector<std::string> Contents;
  };
  const auto Run = [](const std::string& Path) {
    TOutcome Out;
    TBaseRarWrapper W;
    std::string Msg;
    if (!W.SetArcName(Path, Msg)) {
      Out.Reported = true;
      return Out;
    }
    try {
      ListOf(W);
    } catch (const Exception&) {
      Out.Reported = true;
    }
    std::vector<std::string> Messages;
    try {
      for (const auto& [Name, Content] : AllToMemory(W, &Messages)) Out.Contents.push_back(Content);
    } catch (const Exception&) {
      Out.Reported = true;
    }
    Out.Reported = Out.Reported || !Messages.empty();
    return Out;
  };
  // Each damaged copy reports the damage unless it changed nothing that is read (the contents are
  // compared without their names, which a damaged but unchecked name field may change).
  std::map<std::string, TOutcome> Good;
  std::map<std::string, int> Copy;
  archivetest::ForEachDamagedArchive("rar", Names, [&](const std::string& Path, const std::string& Name) {
    if (!Good.count(Name)) Good[Name] = Run(FixturePath(Name));
    TOutcome Damaged = Run(Path);
    std::vector<std::string> Expected = Good[Name].Contents;
    std::sort(Expected.begin(), Expected.end());
    std::sort(Damaged.Contents.begin(), Damaged.Contents.end());
    EXPECT_TRUE(Damaged.Reported || Damaged.Contents == Expected) << Name << ", damaged copy " << Copy[Name];
    ++Copy[Name];
  });
}

}  // namespace
