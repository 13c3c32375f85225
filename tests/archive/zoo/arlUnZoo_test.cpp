#include "archive/zoo/arlUnZoo.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "archive/zoo/arlZooLzw.h"
#include "tests/archive/tar/ReaderTestUtil.h"

using archivetest::Bytes;
using archivetest::TRunLog;

namespace {

std::string FixturePath(const std::string& Name) {
  return std::string(SCRYLINE_TEST_DATA) + "/zoo/fixtures/" + Name;
}
Bytes Content(const std::string& Name) { return archivetest::Fixture("zoo", "content/" + Name); }
Bytes Text(const std::string& S) { return Bytes(S.begin(), S.end()); }

struct TZooRun {
  TRunLog Log;
  std::map<std::string, int> Methods;
};
TZooRun Extract(const std::string& Fixture) {
  TZooRun R;
  TUnZoo D;
  D.OnBegin = [&R, &D](TZipCommon*, TArlBeginItem&) { R.Methods[D.Item.Name] = D.Item.Method; };
  R.Log = archivetest::ExtractAllToMemory(D, FixturePath(Fixture));
  return R;
}

using readertest::Good;

// A stored, an LZW and a static-Huffman entry (the -lh5- data of an LHA archive made by jlha); lsar
// passes the archive.
TEST(UnZoo, EveryMethod) {
  const TZooRun R = Extract("basic.zoo");
  EXPECT_TRUE(R.Log.Errors.empty());
  EXPECT_EQ(R.Log.Result, 3);
  EXPECT_EQ(Good(R.Log), (std::vector<std::string>{"STORED.TXT", "TEXT.TXT", "TEXT_LH5.TXT"}));
  EXPECT_EQ(R.Methods, (std::map<std::string, int>{{"STORED.TXT", 0}, {"TEXT.TXT", 1}, {"TEXT_LH5.TXT", 2}}));
  EXPECT_EQ(R.Log.Find("STORED.TXT")->Data, Content("STORED.TXT"));
  EXPECT_EQ(R.Log.Find("TEXT.TXT")->Data, Content("TEXT.TXT"));
  EXPECT_EQ(R.Log.Find("TEXT_LH5.TXT")->Data, Content("TEXT.TXT"));
}

// 2.2 million zero bytes: the LZW strings grow past 2000 bytes, and must unwind whole.
TEST(UnZoo, LongRunOfOneByte) {
  const TZooRun R = Extract("zoo_lzw_long_run.zoo");
  EXPECT_TRUE(R.Log.Errors.empty());
  ASSERT_EQ(Good(R.Log), std::vector<std::string>{"ZEROS.BIN"});
  EXPECT_EQ(R.Log.Items[0].Data, Bytes(2200000, 0));
}

TEST(UnZoo, HostileArchives) {
  const readertest::THostileCase Cases[] = {
      // The end code comes before the data's end: the bytes after it are not read.
      {"zoo_lzw_end_code_early.zoo", {"EARLY.TXT"}, {}, 0},
      {"zoo_negated_offset_bad.zoo", {}, {}, errBadFileHeader},
      // The second entry's next offset points back at the first: the walk ends there.
      {"zoo_chain_loop.zoo", {"GOOD.TXT", "SECOND.TXT"}, {}, errBadFileHeader},
      {"zoo_bad_entry_tag.zoo", {"GOOD.TXT"}, {}, errBadFileHeader},
      {"zoo_deleted_entry.zoo", {"GOOD.TXT"}, {}, 0},
      {"zoo_data_past_end.zoo", {"GOOD.TXT"}, {"TORN.TXT"}, errReadingFile},
      {"zoo_unknown_method.zoo", {"GOOD.TXT"}, {}, errUnsupportedMethod},
      {"zoo_lzw_code_beyond_free.zoo", {"GOOD.TXT"}, {"BAD.TXT"}, errCorruptInput},
  };
  for (const auto& C : Cases) readertest::ExpectCase(Extract(C.Fixture).Log, C);
  EXPECT_EQ(Extract("zoo_lzw_code_beyond_free.zoo").Log.Find("BAD.TXT")->Data, Text("A"));
}

TEST(UnZoo, NameLeavingTheOutputFolderIsRefused) {
  TUnZoo D;
  readertest::ExpectEscapeRefused(D, FixturePath("zoo_name_escape.zoo"), "ESC.TXT", "GOOD.TXT");
}

// The LZW decoder on its own: the entry's data through sources of every chunk size, and cut at a size.
TEST(UnZoo, LzwInChunks) {
  const Bytes Archive = archivetest::ReadFile(FixturePath("basic.zoo"));
  int32_t Error = 0;
  TFileStream32 S(FixturePath("basic.zoo"), fmOpenRead, Error);
  TUnZoo::TEntry E;
  ASSERT_EQ(TUnZoo::ReadEntry(S, 42, E), TUnZoo::rrOk);
  ASSERT_EQ(TUnZoo::ReadEntry(S, E.Next, E), TUnZoo::rrOk);
  ASSERT_EQ(E.Method, 1);
  const Bytes Packed(Archive.begin() + E.DataPos, Archive.begin() + E.DataPos + E.PackedSize);
  const Bytes Want = Content("TEXT.TXT");
  for (size_t Chunk : {size_t{1}, size_t{7}, size_t{4096}}) {
    TZooLzwDecoder D;
    Bytes Out;
    EXPECT_EQ(archivetest::DecodeWith(D, Packed, E.UnpackedSize, Out, Chunk), lrOk);
    EXPECT_EQ(Out, Want) << Chunk;
  }
  TZooLzwDecoder D;
  Bytes Cut;
  EXPECT_EQ(archivetest::DecodeWith(D, Packed, 100, Cut), lrOk);
  EXPECT_EQ(Cut, Bytes(Want.begin(), Want.begin() + 100));
  Bytes Short;
  EXPECT_EQ(archivetest::DecodeWith(D, Bytes(Packed.begin(), Packed.begin() + 50), E.UnpackedSize, Short),
            lrUnexpectedEnd);
  EXPECT_TRUE(std::equal(Short.begin(), Short.end(), Want.begin()));
}

TEST(UnZoo, DamagedArchivesAreSurvived) {
  archivetest::ForEachDamagedArchive(
      "zoo", {"basic.zoo"}, [](const std::string& Path, const std::string& Name) {
        TUnZoo D;
        const TRunLog Log = archivetest::ExtractAllToMemory(D, Path);
        for (const auto& I : Log.Items) EXPECT_LE(I.Data.size(), 5259u) << Name;  // the largest declared size
      });
  // Random LZW code streams.
  archivetest::ExpectDamageSurvived([] { return std::make_unique<TZooLzwDecoder>(); },
                                    archivetest::Fixture("zoo", "basic.zoo"), 5000);
}

}  // namespace
