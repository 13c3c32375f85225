#include "archive/arc/arlUnArc.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "archive/arc/arlArcMethods.h"
#include "tests/archive/tar/ReaderTestUtil.h"

using archivetest::Bytes;
using archivetest::TRunLog;

namespace {

std::string FixturePath(const std::string& Name) {
  return std::string(SCRYLINE_TEST_DATA) + "/arc/fixtures/" + Name;
}
Bytes Content(const std::string& Name) { return archivetest::Fixture("arc", "content/" + Name); }
Bytes Text(const std::string& S) { return Bytes(S.begin(), S.end()); }

struct TArcRun {
  TRunLog Log;
  std::map<std::string, int> Methods;  // the method of each item begun
};
TArcRun Extract(const std::string& Fixture) {
  TArcRun R;
  TUnArc D;
  D.OnBegin = [&R, &D](TZipCommon*, TArlBeginItem&) { R.Methods[D.Item.Name] = D.Item.Method; };
  R.Log = archivetest::ExtractAllToMemory(D, FixturePath(Fixture));
  return R;
}

using readertest::Good;

// Archives made by arc (stored, packed, squeezed, crunched with dynamic LZW, squashed) and by the encoder
// of make_fixtures.py (the old stored form and the three hashed crunch methods, checked with nomarch and
// arc): every entry decodes to its file and passes its CRC-16.
TEST(UnArc, EveryMethod) {
  struct TCase {
    const char* Fixture;
    std::map<std::string, int> Methods;        // item and its method
    std::map<std::string, std::string> Files;  // item and its content file, where the names differ
  };
  const TCase Cases[] = {
      {"basic.arc",
       {{"PACKED.DAT", 3}, {"RANDOM.BIN", 2}, {"RUNS.DAT", 8}, {"SKEW.TXT", 4}, {"TEXT.TXT", 8}},
       {}},
      {"squash.arc", {{"TEXT.TXT", 9}}, {}},
      {"crunch.arc",
       {{"RUNS.DAT", 1}, {"TEXT5.TXT", 5}, {"PACKED6.DAT", 6}, {"TEXT7.TXT", 7}},
       {{"TEXT5.TXT", "TEXT.TXT"}, {"PACKED6.DAT", "PACKED.DAT"}, {"TEXT7.TXT", "TEXT.TXT"}}},
  };
  for (const auto& C : Cases) {
    const TArcRun R = Extract(C.Fixture);
    EXPECT_TRUE(R.Log.Errors.empty()) << C.Fixture;
    EXPECT_EQ(R.Methods, C.Methods) << C.Fixture;
    EXPECT_EQ(Good(R.Log).size(), C.Methods.size()) << C.Fixture;
    for (const auto& [Name, Method] : C.Methods) {
      const auto* I = R.Log.Find(Name);
      ASSERT_NE(I, nullptr) << Name;
      const auto File = C.Files.count(Name) ? C.Files.at(Name) : Name;
      EXPECT_EQ(I->Data, Content(File)) << C.Fixture << " " << Name;
    }
  }
}

// A folder header opens a folder whose entries follow up to its end mark; the entries after it are
// listed too, and the folder itself is no item.
TEST(UnArc, FolderOfPak) {
  const TArcRun R = Extract("pak_folder.arc");
  EXPECT_TRUE(R.Log.Errors.empty());
  EXPECT_EQ(Good(R.Log), (std::vector<std::string>{"BEFORE.TXT", "SUB/IN.TXT", "AFTER.TXT"}));
  EXPECT_EQ(R.Log.Find("SUB/IN.TXT")->Data, Text("inside\n"));
}

TEST(UnArc, HostileArchives) {
  const readertest::THostileCase Cases[] = {
      {"arc_squeeze_empty_tree.arc", {"EMPTY.TXT"}, {}, 0},
      {"arc_squeeze_tree_too_big.arc", {"GOOD.TXT"}, {"BAD.TXT"}, errInvalidDecodeTree},
      {"arc_squeeze_child_outside.arc", {"GOOD.TXT"}, {"BAD.TXT"}, errInvalidDecodeTree},
      {"arc_lzw_width_13.arc", {"GOOD.TXT"}, {"BAD.TXT"}, errIncorrectBits},
      {"arc_lzw_code_beyond_free.arc", {"GOOD.TXT"}, {"BAD.TXT"}, errCorruptInput},
      {"arc_crunch_self_loop.arc", {"GOOD.TXT"}, {"BAD.TXT"}, errStackOverflow},
      {"arc_end_then_junk.arc", {"GOOD.TXT"}, {}, 0},
      {"arc_size_past_end.arc", {"GOOD.TXT"}, {"BIG.TXT"}, errReadingFile},
      {"arc_bad_second_marker.arc", {"GOOD.TXT"}, {}, errBadFileHeader},
      {"arc_unknown_method.arc", {"GOOD.TXT", "LAST.TXT"}, {}, errUnsupportedMethod},
  };
  for (const auto& C : Cases) readertest::ExpectCase(Extract(C.Fixture).Log, C);
  // What a failed LZW entry decoded before its bad code is delivered: "A".
  EXPECT_EQ(Extract("arc_lzw_code_beyond_free.arc").Log.Find("BAD.TXT")->Data, Text("A"));
}

TEST(UnArc, NameLeavingTheOutputFolderIsRefused) {
  TUnArc D;
  readertest::ExpectEscapeRefused(D, FixturePath("arc_name_escape.arc"), "ESC.TXT", "GOOD.TXT");
}

// The method decoders on their own, through sources of every chunk size, and cut at the declared size.
TEST(UnArc, MethodsInChunks) {
  const Bytes Archive = archivetest::ReadFile(FixturePath("basic.arc"));
  const Bytes Crunched = archivetest::ReadFile(FixturePath("crunch.arc"));
  struct TCase {
    const Bytes* Archive;
    std::string Name;
    std::string File;
  };
  const TCase Cases[] = {{&Archive, "PACKED.DAT", "PACKED.DAT"},
                         {&Archive, "SKEW.TXT", "SKEW.TXT"},
                         {&Archive, "TEXT.TXT", "TEXT.TXT"},
                         {&Crunched, "TEXT7.TXT", "TEXT.TXT"},
                         {&Crunched, "PACKED6.DAT", "PACKED.DAT"}};
  archivetest::TTempFolder Temp("unarc_chunks");
  for (const auto& C : Cases) {
    // Find the entry's header by walking the archive's headers.
    const auto Path = (Temp.Path / "a.arc").string();
    std::ofstream(Path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(C.Archive->data()),
               static_cast<std::streamsize>(C.Archive->size()));
    int32_t Error = 0;
    TFileStream32 S(Path, fmOpenRead, Error);
    TUnArc::THeader H;
    int64_t Pos = 0;
    while (TUnArc::ReadHeader(S, Pos, H) == TUnArc::rrOk && H.RawName != C.Name)
      Pos = H.DataPos + H.PackedSize;
    ASSERT_EQ(H.RawName, C.Name);
    const Bytes Packed(C.Archive->begin() + H.DataPos, C.Archive->begin() + H.DataPos + H.PackedSize);
    const Bytes Want = Content(C.File);
    for (size_t Chunk : {size_t{1}, size_t{7}, size_t{4096}}) {
      Bytes Out;
      EXPECT_EQ(DecodeArcMethod(H.Method, archivetest::SourceOver(Packed, Chunk), H.PackedSize,
                                H.UnpackedSize, archivetest::SinkInto(Out)),
                arOk);
      EXPECT_EQ(Out, Want) << C.Name << " " << Chunk;
    }
    Bytes Cut;
    EXPECT_EQ(DecodeArcMethod(H.Method, archivetest::SourceOver(Packed), H.PackedSize, 100,
                              archivetest::SinkInto(Cut)),
              arOk);
    EXPECT_EQ(Cut, Bytes(Want.begin(), Want.begin() + 100)) << C.Name;
  }
}

TEST(UnArc, DamagedArchivesAreSurvived) {
  const std::vector<std::string> Names = {"basic.arc", "squash.arc", "crunch.arc", "pak_folder.arc"};
  archivetest::ForEachDamagedArchive("arc", Names, [](const std::string& Path, const std::string& Name) {
    TUnArc D;
    const TRunLog Log = archivetest::ExtractAllToMemory(D, Path);
    for (const auto& I : Log.Items) EXPECT_LE(I.Data.size(), 13490u) << Name;  // the largest declared size
  });
}

}  // namespace
