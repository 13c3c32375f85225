#include "archive/tar/arlUnTar.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "archive/gzip/arlUnGZip.h"
#include "tests/archive/tar/ReaderTestUtil.h"

using archivetest::Bytes;
using archivetest::TRunLog;

namespace {

std::string FixturePath(const std::string& Name) {
  return std::string(SCRYLINE_TEST_DATA) + "/tar/fixtures/" + Name;
}

TRunLog Extract(const std::string& Fixture) {
  TUnTar D;
  return archivetest::ExtractAllToMemory(D, FixturePath(Fixture));
}

Bytes Text(const std::string& S) { return Bytes(S.begin(), S.end()); }

Bytes B513() {
  Bytes B(513);
  for (size_t I = 0; I < B.size(); ++I) B[I] = static_cast<uint8_t>((I * 7 + 3) % 256);
  return B;
}

const std::string kName100 = std::string(96, 'n') + ".txt";

using readertest::Good;

// A ustar archive made by tar: a folder, a 0-byte file, a 513-byte file, a short text and a file whose
// name fills the 100-byte field without a NUL. The folder is made, not listed.
TEST(UnTar, UstarArchiveFromTar) {
  const TRunLog Log = Extract("basic.tar");
  EXPECT_TRUE(Log.Errors.empty());
  EXPECT_EQ(Log.Result, 4);
  EXPECT_EQ(Good(Log), (std::vector<std::string>{"dir/empty.txt", "dir/b513.bin", "dir/a.txt", kName100}));
  EXPECT_TRUE(Log.Find("dir/empty.txt")->Data.empty());
  EXPECT_EQ(Log.Find("dir/b513.bin")->Data, B513());
  EXPECT_EQ(Log.Find("dir/a.txt")->Data, Text("Scryline finds text in tar archives.\n"));
  EXPECT_EQ(Log.Find(kName100)->Data, Text("exactly one hundred\n"));
}

// The 513-byte file takes two data blocks: its successor's header lies 1536 bytes after its own.
TEST(UnTar, NextHeaderFollowsTheDataPaddedToBlocks) {
  int32_t Error = 0;
  TFileStream32 S(FixturePath("basic.tar"), fmOpenRead, Error);
  ASSERT_EQ(Error, 0);
  TTarHeader H;
  ASSERT_EQ(ReadTarHeader(S, 1024, S.Size(), H), trOk);
  EXPECT_EQ(H.RawName, "dir/b513.bin");
  EXPECT_EQ(H.Size, 513);
  EXPECT_EQ(H.NextPos, 1024 + 1536);
  EXPECT_EQ(H.MTime, 1614834368);
  ASSERT_EQ(ReadTarHeader(S, 0, S.Size(), H), trOk);
  EXPECT_TRUE(H.IsFolder());
}

TEST(UnTar, NumericFields) {
  struct TCase {
    std::string Field;
    int64_t Value;
  };
  const TCase Cases[] = {
      {"00000001001\0", 513},
      {" 1001 \0\0\0\0\0\0", 513},                               // blanks and NULs around the digits
      {"77777777777\0", 8589934591},                             // the largest octal size of the field
      {std::string("\x80\0\0\0\0\0\0\0\0\0\x02\x01", 12), 513},  // base-256
      {std::string("\xbf\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff", 12), -1},  // beyond 63 bits
      {std::string("\xc0\0\0\0\0\0\0\0\0\0\0\x01", 12), -1},                      // negative base-256
      {std::string(12, '7'), 68719476735},
  };
  for (const auto& C : Cases)
    EXPECT_EQ(TarNumber(reinterpret_cast<const uint8_t*>(C.Field.data()), 12), C.Value) << C.Value;
  EXPECT_EQ(TarNumber(reinterpret_cast<const uint8_t*>("7777777777777777777777777"), 25), -1);
}

// Names longer than the header's field: a GNU long-name record, a POSIX extended header, the ustar
// prefix field.
TEST(UnTar, LongNames) {
  const std::string Deep = "deep/" + std::string(120, 'x') + ".txt";
  const std::string Prefixed = std::string(60, 'p') + "/" + std::string(60, 'q') + "/short.txt";
  struct TCase {
    const char* Fixture;
    std::string Name;
    std::string Content;
  };
  const TCase Cases[] = {
      {"gnu_longname.tar", Deep, "long name content\n"},
      {"pax_path.tar", Deep, "long name content\n"},
      {"ustar_prefix.tar", Prefixed, "prefix content\n"},
  };
  for (const auto& C : Cases) {
    const TRunLog Log = Extract(C.Fixture);
    EXPECT_TRUE(Log.Errors.empty()) << C.Fixture;
    ASSERT_EQ(Good(Log), std::vector<std::string>{C.Name}) << C.Fixture;
    EXPECT_EQ(Log.Items[0].Data, Text(C.Content)) << C.Fixture;
  }
}

// Links, FIFOs and global extended headers carry no content of their own and are not items.
TEST(UnTar, OnlyFilesAndFoldersAreItems) {
  const TRunLog Log = Extract("tar_link_fifo_pax_entries.tar");
  EXPECT_TRUE(Log.Errors.empty());
  EXPECT_EQ(Good(Log), (std::vector<std::string>{"one.txt", "two.txt"}));
}

// Hostile archives: what is read before the fault, and the one report the fault gives.
TEST(UnTar, HostileArchives) {
  const readertest::THostileCase Cases[] = {
      // The checksum's digits between a blank and NULs are read like any octal field.
      {"tar_checksum_blanks_nuls.tar", {"dir/empty.txt", "dir/b513.bin", "dir/a.txt", kName100}, {}, 0},
      // A size of 8 GiB in a 5 KiB file: the entry is the last one listed and its copy ends short.
      {"tar_size_past_end.tar", {"dir/empty.txt"}, {"dir/b513.bin"}, errReadingFile},
      // A base-256 size beyond 63 bits: the header is refused, and nothing after it is used.
      {"tar_size_base256_overflow.tar", {"dir/empty.txt"}, {}, errBadFileHeader},
      {"tar_torn_tail.tar", {"dir/empty.txt"}, {"dir/b513.bin"}, errReadingFile},
      {"tar_bad_second_header.tar", {}, {}, errBadFileHeader},
      // A long-name record of 70000 bytes is beyond the cap: nothing is listed.
      {"tar_longname_oversize.tar", {}, {}, errBadFileHeader},
  };
  for (const auto& C : Cases) readertest::ExpectCase(Extract(C.Fixture), C);
}

TEST(UnTar, ExtractsToFilesWithFoldersAndDates) {
  archivetest::TTempFolder Out("untar_files");
  TUnTar D;
  const TRunLog Log = archivetest::ExtractAllToFolder(D, FixturePath("basic.tar"), Out.Path);
  EXPECT_TRUE(Log.Errors.empty());
  EXPECT_EQ(Log.Result, 4);
  EXPECT_TRUE(std::filesystem::is_directory(Out.Path / "dir"));
  EXPECT_EQ(std::filesystem::file_size(Out.Path / "dir/b513.bin"), 513u);
  EXPECT_EQ(std::filesystem::file_size(Out.Path / "dir/empty.txt"), 0u);
  struct stat St {};
  ASSERT_EQ(::stat((Out.Path / "dir/a.txt").c_str(), &St), 0);
  // 2021-03-04 05:06:08 UTC, an even second (the file layer may set it a hair below)
  EXPECT_NEAR(static_cast<double>(St.st_mtim.tv_sec) + St.st_mtim.tv_nsec / 1e9, 1614834368.0, 0.01);
}

// One named item into a given stream, as the archive wrapper extracts an item to a path it chooses.
TEST(UnTar, OneItemIntoAStream) {
  TUnTar D;
  D.SetArchiveFile(FixturePath("basic.tar"));
  D.FileSpec = {"*.txt"};
  TMemoryStream32 Out;
  EXPECT_EQ(D.ExtractToStream("dir/b513.bin", &Out), 1);
  EXPECT_EQ(Bytes(Out.Memory(), Out.Memory() + Out.GetSize()), B513());
  EXPECT_EQ(D.FileSpec, std::vector<std::string>{"*.txt"});  // given back
}

TEST(UnTar, NameLeavingTheOutputFolderIsRefused) {
  TUnTar D;
  readertest::ExpectEscapeRefused(D, FixturePath("tar_name_escape.tar"), "escape.txt", "inside.txt");
}

// TARs written by other programs, inside compress files: the compress decoder gives the TAR, and the TAR
// decoder its members.
TEST(UnTar, PeerTarsInsideCompressFiles) {
  struct TCase {
    const char* Fixture;
    std::vector<std::string> Names;
  };
  const TCase Cases[] = {
      {"test_compat_mac-2.tar.Z", {"./._mydir", "./._myfile", "./myfile"}},
      {"test_read_format_gtar_redundant_L.tar.Z",
       {"storage/emulated/0/Android/data/" + std::string(88, 'x')}},
      {"test_read_format_ustar_filename_koi8r.tar.Z",
       {"\xd0\xd2\xc9\xd7\xc5\xd4", "\xf0\xf2\xe9\xf7\xe5\xf4"}},
  };
  archivetest::TTempFolder Temp("untar_peer");
  for (const auto& C : Cases) {
    TUnGZip Z;
    Z.OnNestedTarFile = [](TZipCommon*, const std::string&, bool& Extract) { Extract = false; };
    const TRunLog Outer = archivetest::ExtractAllToMemory(
        Z, std::string(SCRYLINE_TEST_DATA) + "/gzip/fixtures/peer/" + C.Fixture);
    ASSERT_EQ(Outer.Items.size(), 1u) << C.Fixture;
    ASSERT_TRUE(Outer.Passed(Outer.Items[0].Name)) << C.Fixture;
    const auto Tar = Temp.Path / "inner.tar";
    {
      std::ofstream F(Tar, std::ios::binary | std::ios::trunc);
      F.write(reinterpret_cast<const char*>(Outer.Items[0].Data.data()),
              static_cast<std::streamsize>(Outer.Items[0].Data.size()));
    }
    TUnTar T;
    const TRunLog Inner = archivetest::ExtractAllToMemory(T, Tar.string());
    EXPECT_TRUE(Inner.Errors.empty()) << C.Fixture;
    EXPECT_EQ(Good(Inner), C.Names) << C.Fixture;
  }
}

// Sparse files in the four forms GNU tar writes: each comes out under its real name with its full size,
// the stored stretches in place and zeros in the holes, and the entry after it is found.
TEST(UnTar, SparseFilesInEveryForm) {
  Bytes Sparse(999999, 0);
  const auto Put = [&Sparse](size_t At, const std::string& S) {
    std::copy(S.begin(), S.end(), Sparse.begin() + At);
  };
  Put(0, "sparse head marker\n");
  Put(300000, "sparse middle marker\n");
  Put(999980, "sparse tail marker\n");
  for (const char* Fixture :
       {"sparse_gnu.tar", "sparse_pax0.0.tar", "sparse_pax0.1.tar", "sparse_pax1.0.tar"}) {
    const TRunLog Log = Extract(Fixture);
    EXPECT_TRUE(Log.Errors.empty()) << Fixture;
    EXPECT_EQ(Good(Log), (std::vector<std::string>{"sparse.txt", "plain.txt"})) << Fixture;
    ASSERT_NE(Log.Find("sparse.txt"), nullptr) << Fixture;
    EXPECT_TRUE(Log.Find("sparse.txt")->Data == Sparse) << Fixture;
    ASSERT_NE(Log.Find("plain.txt"), nullptr) << Fixture;
    EXPECT_EQ(Log.Find("plain.txt")->Data, Text("a plain file after the sparse one\n")) << Fixture;
  }
}

// A sparse file's map that does not fit its sizes, or stored data cut short, fails that entry with a
// report naming it; nothing is written beyond the file's size.
TEST(UnTar, DamagedSparseFilesAreReported) {
  archivetest::TTempFolder Temp("tar_sparse_damage");
  const std::string Path = (Temp.Path / "bad.tar").string();
  const auto Write = [&Path](const Bytes& B) {
    std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
    Out.write(reinterpret_cast<const char*>(B.data()), static_cast<std::streamsize>(B.size()));
  };
  const auto RunOn = [&Path]() {
    TUnTar D;
    return archivetest::ExtractAllToMemory(D, Path);
  };
  // The format 1.0 map's first stretch made larger than the data stored.
  Bytes Pax = archivetest::Fixture("tar", "sparse_pax1.0.tar");
  const std::string Map = "4\n0\n4096\n";
  const auto At = std::search(Pax.begin(), Pax.end(), Map.begin(), Map.end());
  ASSERT_NE(At, Pax.end());
  const std::string Larger = "4\n0\n9999\n";
  std::copy(Larger.begin(), Larger.end(), At);
  Write(Pax);
  TRunLog Log = RunOn();
  EXPECT_EQ(Good(Log), std::vector<std::string>{"plain.txt"});
  EXPECT_TRUE(std::find(Log.Errors.begin(), Log.Errors.end(),
                        std::make_pair(std::string("sparse.txt"), int32_t{errBadFileHeader})) !=
              Log.Errors.end());

  // The old GNU form cut inside its stored data.
  Bytes Gnu = archivetest::Fixture("tar", "sparse_gnu.tar");
  Gnu.resize(512 + 4096 + 100);
  Write(Gnu);
  Log = RunOn();
  ASSERT_NE(Log.Find("sparse.txt"), nullptr);
  EXPECT_FALSE(Log.Passed("sparse.txt"));
  EXPECT_LE(Log.Find("sparse.txt")->Data.size(), 999999u);
  EXPECT_TRUE(Log.HasError(errReadingFile));
}

// Every fixture damaged a little: nothing may crash, hang or leak, and no item may hold more than the
// damaged file does.
TEST(UnTar, DamagedArchivesAreSurvived) {
  const std::vector<std::string> Names = {"basic.tar", "gnu_longname.tar", "pax_path.tar", "ustar_prefix.tar",
                                          "tar_link_fifo_pax_entries.tar"};
  archivetest::ForEachDamagedArchive("tar", Names, [](const std::string& Path, const std::string& Name) {
    TUnTar D;
    const TRunLog Log = archivetest::ExtractAllToMemory(D, Path);
    for (const auto& I : Log.Items) EXPECT_LE(I.Data.size(), std::filesystem::file_size(Path)) << Name;
  });
}

}  // namespace
