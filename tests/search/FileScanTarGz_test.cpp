// The TAR inside a GZIP file read as it is inflated, against the way through a temporary file that every
// other inner archive takes: over .tar.gz files of GNU tar, Python's tarfile and bsdtar (tests/search/targz,
// see its README), several GZIP members, a GZIP of text, a .tar.gz inside a ZIP, and copies cut short or
// damaged in the GZIP data, in its trailer and in the TAR inside, both walks give the same events (hits
// with every field, errors with their texts, archives and items entered) in the same order, with items
// in memory and in temporary files. The stream needs no temporary folder for the TAR.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "archive/ArcNested.h"
#include "archive/Archiver.h"
#include "search/FileScanArc.h"
#include "tests/TestFiles.h"
#include "tests/archive/ArchiveBytes.h"
#include "tests/archive/tar/TarBytes.h"
#include "tests/search/FileScanTree.h"

namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

const fs::path kFixtures = fs::path(SCRYLINE_TEST_DATA) / "targz";

// The fixtures that hold the test tree (every one but the text and the TAR whose name does not say so).
const char* const kTarGz[] = {"gnu.tar.gz", "gnu_pax.tgz",        "py_pax.tar.gz",     "py_gnu.tar.gz",
                              "bsd.tar.gz", "multi_large.tar.gz", "multi_small.tar.gz"};

using arcbytes::Gzip;

// GZIP (window bits 31) or raw inflate of a whole buffer with zlib, for making damaged copies.
std::string Gunzip(const std::string& Data) {
  z_stream Z{};
  inflateInit2(&Z, 31);
  std::string Out;
  char Buffer[65536];
  Z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Data.data()));
  Z.avail_in = static_cast<uInt>(Data.size());
  int R = Z_OK;
  while (R == Z_OK) {
    Z.next_out = reinterpret_cast<Bytef*>(Buffer);
    Z.avail_out = sizeof Buffer;
    R = inflate(&Z, Z_NO_FLUSH);
    Out.append(Buffer, sizeof Buffer - Z.avail_out);
  }
  inflateEnd(&Z);
  return Out;
}

class FileScanTarGz : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* Old = std::getenv("TMPDIR");
    HadTmp_ = Old != nullptr;
    if (HadTmp_) OldTmp_ = Old;
    Temp_ = Tree_.Path("tmp");
    fs::create_directories(Temp_);
    ::setenv("TMPDIR", Temp_.c_str(), 1);
  }
  void TearDown() override {
    ClearArchiveCache();
    std::error_code Ec;
    Names Left;
    for (const auto& E : fs::recursive_directory_iterator(Temp_, Ec)) Left.push_back(E.path().string());
    EXPECT_EQ(Left, Names{});
    if (HadTmp_)
      ::setenv("TMPDIR", OldTmp_.c_str(), 1);
    else
      ::unsetenv("TMPDIR");
  }

  // Every event of one search of d/Name, in order, paths relative to the tree.
  Names Walk(const std::string& Name, bool Stream, bool LowMemory = false) {
    TArchiveWalk Archives;
    Archives.StreamTarInGzip = Stream;
    Archives.MemoryCheck = [LowMemory](int64_t) { return !LowMemory; };
    TFileScanner Scanner;
    Scanner.Archives = &Archives;
    Scanner.ScanNestedArchives = true;
    Scanner.Scanner.SetPattern(u"needle");
    Names Events;
    const std::string Root = Tree_.Root;
    auto Shown = [&Root](std::string Text) {
      for (size_t At; (At = Text.find(Root)) != std::string::npos;) Text.replace(At, Root.size(), "<tree>");
      return Text;
    };
    Scanner.OnFound = [&](const TFoundFileInfo& Info) {
      std::string Parts;
      for (const std::string& P : Info.ItemPath) Parts += "[" + Shown(P) + "]";
      Events.push_back("found " + Shown(Utf16ToUtf8(Info.Name)) + " size " + std::to_string(Info.Size) +
                       " date " + std::to_string(Info.Date) + " encoding " + std::to_string(Info.Encoding) +
                       " in archive " + std::to_string(Info.InArchive) + " parts " + Parts);
    };
    Scanner.OnError = [&](const TScanError& Error) {
      Events.push_back("error " + Shown(Utf16ToUtf8(Error.Name)) + " kind " + std::to_string(Error.Kind) +
                       " os " + std::to_string(Error.OSCode) + ": " + Shown(Error.Text));
    };
    Scanner.OnProgress = [&](const std::u16string& Name, TScanProgressKind Kind) {
      if (!Name.empty()) Events.push_back("enter " + std::to_string(Kind) + " " + Shown(Utf16ToUtf8(Name)));
      return true;
    };
    const bool Completed = Scanner.Search(Tree_.Roots("d/" + Name), u"", false);
    Events.push_back(Completed ? "completed" : "stopped");
    ClearArchiveCache();
    return Events;
  }

  // Both walks of Bytes as d/Name, with items in memory and in temporary files, must agree.
  void ExpectSameWalks(const std::string& Name, const std::string& Bytes) {
    Tree_.File("d/" + Name, Bytes);
    for (const bool LowMemory : {false, true}) {
      const Names ThroughFile = Walk(Name, false, LowMemory);
      EXPECT_EQ(Walk(Name, true, LowMemory), ThroughFile) << Name << (LowMemory ? ", low memory" : "");
    }
    fs::remove(Tree_.Path("d/" + Name));
  }

  // The hits among Events, by name.
  static Names Hits(const Names& Events) {
    Names Out;
    for (const std::string& E : Events)
      if (E.rfind("found ", 0) == 0) Out.push_back(E.substr(6, E.find(" size ") - 6));
    return Out;
  }

  TScanTree Tree_;
  std::string Temp_;
  bool HadTmp_ = false;
  std::string OldTmp_;
};

TEST_F(FileScanTarGz, SameEventsAsThroughATemporaryFile) {
  for (const auto& E : fs::directory_iterator(kFixtures)) {
    const std::string Name = E.path().filename().string();
    if (E.path().extension() == ".md" || E.path().extension() == ".sh") continue;
    ExpectSameWalks(Name, ReadFileBytes(E.path()));
  }
  // What both find: every hit of the tree, the nested ZIP's among them.
  Tree_.File("d/bsd.tar.gz", ReadFileBytes(kFixtures / "bsd.tar.gz"));
  const std::string In = "<tree>/d/bsd.tar.gz|bsd.tar|";
  EXPECT_EQ(Hits(Walk("bsd.tar.gz", true)),
            (Names{In + "top.txt", In + "sub/dir/deep.txt", In + "long/" + std::string(120, 'n') + ".txt",
                   In + "big.txt", In + "inner.zip|hit.txt"}));
  Tree_.File("d/outer.zip", ReadFileBytes(kFixtures / "outer.zip"));
  EXPECT_EQ(Hits(Walk("outer.zip", true)).size(), 5u);
}

// A GZIP cut short anywhere (in a header, in the deflated data, in the trailer) or damaged in its data or
// trailer: the same events, the GZIP's fault reported as the count reports it.
TEST_F(FileScanTarGz, DamagedGzipGivesTheSameEvents) {
  for (const char* Fixture : {"gnu.tar.gz", "py_pax.tar.gz", "multi_large.tar.gz"}) {
    const std::string Good = ReadFileBytes(kFixtures / Fixture);
    const size_t N = Good.size();
    for (const size_t Cut :
         {size_t{5}, size_t{12}, N / 8, N / 4, N / 2, 3 * N / 4, N - 9, N - 8, N - 4, N - 1})
      ExpectSameWalks("cut" + std::to_string(Cut) + "_" + Fixture, Good.substr(0, Cut));
    for (const size_t At : {N / 3, N / 2, N - 8, N - 6, N - 3}) {
      std::string Bad = Good;
      Bad[At] = static_cast<char>(Bad[At] ^ 0x5A);
      ExpectSameWalks("flip" + std::to_string(At) + "_" + Fixture, Bad);
    }
  }
}

// The TAR inside damaged and compressed whole: cut inside a header, inside an entry's data and on a block
// boundary, a header whose checksum fails, a TAR of zero blocks only.
TEST_F(FileScanTarGz, DamagedTarGivesTheSameEvents) {
  const std::string Tar = Gunzip(ReadFileBytes(kFixtures / "gnu.tar.gz"));
  ASSERT_GT(Tar.size(), 20000u);
  for (const size_t Cut : {size_t{100}, size_t{512}, size_t{1000}, size_t{2048}, size_t{5000}, Tar.size() / 2,
                           Tar.size() - 10240, Tar.size() - 1024, Tar.size() - 700})
    ExpectSameWalks("tarcut" + std::to_string(Cut) + ".tar.gz", Gzip(Tar.substr(0, Cut)));
  for (const size_t Block : {size_t{0}, size_t{3}, size_t{6}}) {
    std::string Bad = Tar;
    Bad[Block * 512 + 10] = static_cast<char>(Bad[Block * 512 + 10] ^ 0x20);
    ExpectSameWalks("tarbad" + std::to_string(Block) + ".tar.gz", Gzip(Bad));
  }
  ExpectSameWalks("zeros.tar.gz", Gzip(std::string(10240, '\0')));
}

// A TAR entry that claims 8 GB in an archive of a few blocks (the entries after it lie in what it claims):
// searched with the bytes there are, and reported as cut short with the entries lost after it named; the
// same from the stream as through a temporary file, and from the TAR alone.
TEST_F(FileScanTarGz, EntryClaimingMoreThanTheArchiveHoldsIsSearchedAndNamesWhatItLoses) {
  const std::string Tar = tarbytes::Entry("a.txt", "the needle of a", 8000000000) +
                          tarbytes::Entry("b.txt", "the needle of b") + tarbytes::Entry("c.txt", "c") +
                          tarbytes::End();
  ExpectSameWalks("claim.tar.gz", Gzip(Tar));
  for (const std::string Name : {"claim.tar.gz", "claim.tar"}) {
    SCOPED_TRACE(Name);
    Tree_.File("d/" + Name, Name == "claim.tar" ? Tar : Gzip(Tar));
    const Names Events = Walk(Name, true);
    const std::string In = Name == "claim.tar" ? "<tree>/d/claim.tar|" : "<tree>/d/claim.tar.gz|claim.tar|";
    EXPECT_EQ(Hits(Events), Names{In + "a.txt"});
    const std::string Said =
        "(\"a.txt\" is cut short: its header claims 8000000000 bytes, and the archive "
        "holds 3584 after it; lost with it: b.txt, c.txt)";
    EXPECT_EQ(std::count_if(Events.begin(), Events.end(),
                            [&Said](const std::string& E) { return E.find(Said) != std::string::npos; }),
              1);
    for (const std::string& E : Events) EXPECT_EQ(E.find("2 GB"), std::string::npos) << E;
  }
}

// The stream needs no temporary folder: with none usable, the TAR of a .tar.gz is still searched (only
// the ZIP inside it, which needs a file, is reported), where the temporary file's way loses it whole.
// A TAR that the stream does not take (its last GZIP member declares less than what the first 64 KB
// hold) still goes that way.
TEST_F(FileScanTarGz, TarIsReadWithoutATemporaryFolder) {
  Names Blocks;
  for (const std::string& Root :
       {std::string(kTempArchiveRootName), kTempArchiveRootName + ("-" + std::to_string(::geteuid()))}) {
    Blocks.push_back(Temp_ + "/" + Root);
    std::ofstream(Blocks.back()) << "in the way";
  }
  for (const char* Fixture : kTarGz) {
    Tree_.File(std::string("d/") + Fixture, ReadFileBytes(kFixtures / Fixture));
    const Names Streamed = Walk(Fixture, true);
    const Names Hits = FileScanTarGz::Hits(Streamed);
    const bool Taken = std::string(Fixture) != "multi_small.tar.gz";
    EXPECT_EQ(Hits.size(), Taken ? 4u : 0u) << Fixture;
    const std::string Failure = " kind " + std::to_string(sekException) + " ";
    size_t Errors = 0;
    for (const std::string& E : Streamed)
      Errors += E.rfind("error ", 0) == 0 && E.find(Failure) != std::string::npos;
    EXPECT_EQ(Errors, 1u) << Fixture;  // the ZIP, or the TAR that took the file's way
    EXPECT_TRUE(FileScanTarGz::Hits(Walk(Fixture, false)).empty()) << Fixture;
  }
  for (const std::string& Block : Blocks) fs::remove(Block);
}

// The inner-archive cache: a streamed TAR has no file, so it is never put into the cache while it is
// walked (a preview then extracts it itself, as for any archive not cached); a TAR that a preview put
// into the cache before the search is walked from the cache's file, which stays the cache's.
TEST_F(FileScanTarGz, StreamedTarStaysOutOfTheCacheAndACachedOneIsUsed) {
  Tree_.File("d/gnu.tar.gz", ReadFileBytes(kFixtures / "gnu.tar.gz"));
  const std::string Key = Tree_.Path("d/gnu.tar.gz") + "|gnu.tar";
  TArchiveWalk Archives;
  TFileScanner Scanner;
  Scanner.Archives = &Archives;
  Scanner.ScanNestedArchives = true;
  Scanner.Scanner.SetPattern(u"needle");
  Names Hits, Cached;
  size_t Items = 0;  // the TAR's items entered
  Scanner.OnFound = [&](const TFoundFileInfo& Info) { Hits.push_back(Tree_.Relative(Info.Name)); };
  Scanner.OnProgress = [&](const std::u16string& Name, TScanProgressKind Kind) {
    if (Kind == spkFile && Utf16ToUtf8(Name).rfind(Key + "|", 0) == 0) {
      ++Items;
      TArchiveCacheLock Lock;
      if (FindCachedArchive(Key) != nullptr) Cached.push_back(Tree_.Relative(Name));
    }
    return true;
  };
  ASSERT_TRUE(Scanner.Search(Tree_.Roots("d/gnu.tar.gz"), u"", false));
  EXPECT_EQ(Hits.size(), 5u);
  EXPECT_GT(Items, 5u);
  EXPECT_EQ(Cached, Names{});
  {
    TArchiveCacheLock Lock;
    EXPECT_EQ(ArchiveCacheCount(), 0);
  }

  // A preview of an item puts the TAR into the cache; the next search walks the cache's copy.
  TArcBlockPtr Top(ExtractArchivePathToMemory(Key + "|./top.txt", 20, nullptr));
  EXPECT_EQ(std::string(static_cast<const char*>(Top.get()), 20), "a needle at the top\n");
  std::string CachedFile;
  {
    TArchiveCacheLock Lock;
    TArchiver* InCache = FindCachedArchive(Key).get();
    ASSERT_NE(InCache, nullptr);
    CachedFile = InCache->GetArchiveName();
  }
  const Names Streamed = Hits;
  Hits.clear();
  const size_t ItemsStreamed = std::exchange(Items, 0);
  ASSERT_TRUE(Scanner.Search(Tree_.Roots("d/gnu.tar.gz"), u"", false));
  EXPECT_EQ(Hits, Streamed);
  EXPECT_EQ(Cached.size(), ItemsStreamed);
  EXPECT_TRUE(fs::exists(CachedFile));
}

}  // namespace
