#include "archive/gzip/arlUnGZip.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "tests/archive/lzh/DecoderRun.h"

using archivetest::Bytes;
using archivetest::TRunLog;

namespace {

namespace fs = std::filesystem;

std::string FixturePath(const std::string& Name) {
  return std::string(SCRYLINE_TEST_DATA) + "/gzip/fixtures/" + Name;
}

// Runs a decoder with the nested-TAR question answered no (as the archive wrapper does), recording the
// size each item was begun with.
struct TGzRun {
  TRunLog Log;
  std::vector<int64_t> BegunSizes;
};
TGzRun Extract(const std::string& Path) {
  TGzRun R;
  TUnGZip D;
  D.OnNestedTarFile = [](TZipCommon*, const std::string&, bool& Extract) { Extract = false; };
  D.OnBegin = [&R, &D](TZipCommon*, TArlBeginItem&) { R.BegunSizes.push_back(D.Item.UnpackedSize); };
  R.Log = archivetest::ExtractAllToMemory(D, Path);
  return R;
}

Bytes Text(const std::string& S) { return Bytes(S.begin(), S.end()); }
Bytes Repeat(const std::string& S, int N) {
  std::string Out;
  for (int I = 0; I < N; ++I) Out += S;
  return Text(Out);
}
const Bytes kStory = Repeat("Once upon a time a gzip member held this story.\n", 40);

// What the two members of multi.gz hold together.
Bytes MultiContent() {
  Bytes Out = Repeat("first member: alpha\n", 30);
  const Bytes Second = Repeat("second member: omega\n", 30);
  Out.insert(Out.end(), Second.begin(), Second.end());
  return Out;
}

uint32_t Crc32Of(const Bytes& B) {
  return static_cast<uint32_t>(crc32(0, B.data(), static_cast<uInt>(B.size())));
}

// Files that decode whole, with the item's name, its size, and its CRC-32 (as zlib computes it) when
// the bytes are not written out here.
TEST(UnGZip, GoodFiles) {
  struct TCase {
    std::string Fixture;
    std::string Name;
    int64_t Size;
    uint32_t Crc;
  };
  const uint32_t Story = Crc32Of(kStory);
  const uint32_t Multi = Crc32Of(MultiContent());
  const TCase Cases[] = {
      {"named.gz", "story.txt", 1920, Story},
      {"noname_story.txt.gz", "noname_story.txt", 1920, Story},  // no stored name: the file's, less ".gz"
      {"gz_text_flag.gz", "story.txt", 1920, Story},
      {"gz_header_crc_comment.gz", "story.txt", 1920, Story},   // extra field, name, comment, header CRC
      {"gz_long_name.gz", std::string(255, 'L'), 1920, Story},  // the data starts after the whole name
      {"gz_trailing_garbage.gz", "story.txt", 1920, Story},
      {"multi.gz", "part1.txt", 1230, Multi},
      {"story16.Z", "story16", 1920, Story},
      {"clears12.Z", "clears12", 55401, 0xa49e7397},  // two clears at 12 bits
      {"peer/test_archive_string_conversion.txt.Z", "test_archive_string_conversion.txt", 363470, 0x282e2d69},
      {"peer/test_read_format_raw.data.Z", "test_read_format_raw.data", 4, 0x7e3265a8},
      {"peer/test_read_format_raw.data.gz", "test-file-name.data", 4, 0x7e3265a8},
      {"peer/test_compat_gzip_1.tgz", "test-split.taraa", 7168, 0x29928c33},  // junk after the member
      {"peer/test_compat_gzip_2.tgz", "test_compat_gzip_2.tar", 7168, 0x29928c33},
  };
  for (const TCase& C : Cases) {
    const TGzRun R = Extract(FixturePath(C.Fixture));
    EXPECT_TRUE(R.Log.Errors.empty()) << C.Fixture;
    ASSERT_EQ(R.Log.Items.size(), 1u) << C.Fixture;
    const auto& I = R.Log.Items[0];
    EXPECT_EQ(I.Name, C.Name) << C.Fixture;
    EXPECT_TRUE(R.Log.Passed(I.Name)) << C.Fixture;
    EXPECT_EQ(static_cast<int64_t>(I.Data.size()), C.Size) << C.Fixture;
    EXPECT_EQ(Crc32Of(I.Data), C.Crc) << C.Fixture;
    // The item is begun with its exact size, which neither a compress file nor a trailer of several
    // members tells.
    EXPECT_EQ(R.BegunSizes, std::vector<int64_t>{C.Size}) << C.Fixture;
  }
}

TEST(UnGZip, MembersFollowOneAnother) {
  const TGzRun R = Extract(FixturePath("multi.gz"));
  ASSERT_EQ(R.Log.Items.size(), 1u);
  EXPECT_EQ(R.Log.Items[0].Data, MultiContent());
}

// A file that decompresses to itself is one item like any other.
TEST(UnGZip, FileThatDecodesToItself) {
  const std::string Path = FixturePath("peer/test_read_too_many_filters.gz");
  const TGzRun R = Extract(Path);
  EXPECT_TRUE(R.Log.Errors.empty());
  ASSERT_EQ(R.Log.Items.size(), 1u);
  EXPECT_TRUE(R.Log.Passed(R.Log.Items[0].Name));
  EXPECT_EQ(R.Log.Items[0].Data, archivetest::ReadFile(Path));
}

// Damaged and hostile files: the one report each gives, and what is delivered before the fault.
TEST(UnGZip, HostileFiles) {
  struct TCase {
    const char* Fixture;
    int32_t Error;
    bool Item;        // an item is begun (and fails its check)
    size_t MaxBytes;  // at most this much of it is delivered
  };
  const TCase Cases[] = {
      {"gz_encrypted_flag.gz", errPasswordProtected, true, 0},
      {"gz_method_not_deflate.gz", errUnsupportedMethod, true, 0},
      {"gz_truncated.gz", errEofNotFound, true, 1920},
      {"gz_trailer_crc_bad.gz", errCrcFailed, true, 1920},
      {"gz_trailer_size_bad.gz", errCrcFailed, true, 1920},
      {"gz_name_unterminated.gz", errBadFileHeader, false, 0},
      {"compress_reserved_bits.Z", errIncompleteCodeSet, true, 0},
      {"compress_width_17.Z", errCorruptInput, true, 0},
      {"compress_first_code_not_literal.Z", errCorruptInput, true, 0},
      {"compress_code_beyond_free.Z", errCorruptInput, true, 2},
      {"peer/test_read_filter_gzip_recursive.gz", errCrcFailed, true, 408},
  };
  for (const auto& C : Cases) {
    const TGzRun R = Extract(FixturePath(C.Fixture));
    EXPECT_TRUE(R.Log.HasError(C.Error)) << C.Fixture;
    ASSERT_EQ(R.Log.Items.size(), C.Item ? 1u : 0u) << C.Fixture;
    if (!C.Item) continue;
    EXPECT_FALSE(R.Log.Passed(R.Log.Items[0].Name)) << C.Fixture;
    EXPECT_LE(R.Log.Items[0].Data.size(), C.MaxBytes) << C.Fixture;
  }
  // What was decoded before the fault is delivered.
  const TGzRun Cut = Extract(FixturePath("gz_truncated.gz"));
  ASSERT_EQ(Cut.Log.Items.size(), 1u);
  const Bytes& Got = Cut.Log.Items[0].Data;
  EXPECT_TRUE(std::equal(Got.begin(), Got.end(), kStory.begin()));
  const TGzRun Beyond = Extract(FixturePath("compress_code_beyond_free.Z"));
  EXPECT_EQ(Beyond.Log.Items[0].Data, Text("AB"));
}

// A GZIP file of Content under the stored name Name, made with zlib.
Bytes Gzip(const Bytes& Content, const std::string& Name) {
  z_stream Z{};
  EXPECT_EQ(deflateInit2(&Z, 9, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY), Z_OK);
  gz_header H{};
  std::string StoredName = Name;
  H.name = reinterpret_cast<Bytef*>(StoredName.data());
  deflateSetHeader(&Z, &H);
  Bytes Out(deflateBound(&Z, static_cast<uLong>(Content.size())) + 64 + Name.size());
  Z.next_in = const_cast<Bytef*>(Content.data());
  Z.avail_in = static_cast<uInt>(Content.size());
  Z.next_out = Out.data();
  Z.avail_out = static_cast<uInt>(Out.size());
  EXPECT_EQ(deflate(&Z, Z_FINISH), Z_STREAM_END);
  Out.resize(Z.total_out);
  deflateEnd(&Z);
  return Out;
}

// Damaged deflated data is reported once, by the walk that finds it, naming the entry; the entry is
// offered with what was decoded before the fault (however little) and fails its check. Damage in the
// first block leaves nothing before it: the entry must not pass for an empty file.
TEST(UnGZip, DamageIsReportedOnceWithTheBytesBeforeIt) {
  Bytes Content;
  for (int I = 0; Content.size() < 200000; ++I) {
    const std::string Line = "line " + std::to_string(I * 7919 % 100003) + " of the damaged story\n";
    Content.insert(Content.end(), Line.begin(), Line.end());
  }
  const Bytes Good = Gzip(Content, "story.txt");
  const size_t DataStart = 10 + std::string("story.txt").size() + 1;
  archivetest::TTempFolder Temp("gz_damage");
  struct TCase {
    const char* What;
    Bytes File;
    int32_t Error;
    size_t MinBefore;  // bytes that must come out before the fault
  };
  Bytes BadFirstBlock = Good;
  BadFirstBlock[DataStart] = 0xFF;  // block type 3 does not exist
  const Bytes Cut(Good.begin(), Good.begin() + static_cast<ptrdiff_t>(Good.size() / 2));
  const TCase Cases[] = {
      {"bad first block", BadFirstBlock, errCorruptInput, 0},
      {"cut in half", Cut, errEofNotFound, Content.size() / 4},
  };
  for (const auto& C : Cases) {
    const std::string Path = (Temp.Path / "damaged.gz").string();
    {
      std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
      Out.write(reinterpret_cast<const char*>(C.File.data()), static_cast<std::streamsize>(C.File.size()));
    }
    const TGzRun R = Extract(Path);
    ASSERT_EQ(R.Log.Errors.size(), 1u) << C.What;
    EXPECT_EQ(R.Log.Errors[0], std::make_pair(std::string("story.txt"), C.Error)) << C.What;
    ASSERT_EQ(R.Log.Items.size(), 1u) << C.What;
    EXPECT_FALSE(R.Log.Passed("story.txt")) << C.What;
    const Bytes& Got = R.Log.Items[0].Data;
    EXPECT_GE(Got.size(), C.MinBefore) << C.What;
    EXPECT_LT(Got.size(), Content.size()) << C.What;
    EXPECT_TRUE(std::equal(Got.begin(), Got.end(), Content.begin())) << C.What;
    ASSERT_EQ(R.BegunSizes.size(), 1u);
    EXPECT_EQ(R.BegunSizes[0], static_cast<int64_t>(Got.size())) << C.What;
    // An owner that declines the entry (an empty one, say) still hears of the damage.
    TUnGZip D;
    D.OnNestedTarFile = [](TZipCommon*, const std::string&, bool& Extract) { Extract = false; };
    TRunLog Declined;
    archivetest::Record(D, Declined);
    D.OnBegin = [](TZipCommon*, TArlBeginItem& Item) { Item.Continue = false; };
    D.SetArchiveFile(Path);
    D.FileSpec = {"*.*"};
    TDecompMemoryStream Out;
    EXPECT_EQ(D.ExtractToMemoryStream(&Out), 0) << C.What;
    EXPECT_EQ(Declined.Errors, R.Log.Errors) << C.What;
  }
  // The good file still comes out whole, from the bytes its walk kept.
  const std::string Path = (Temp.Path / "good.gz").string();
  {
    std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
    Out.write(reinterpret_cast<const char*>(Good.data()), static_cast<std::streamsize>(Good.size()));
  }
  const TGzRun R = Extract(Path);
  EXPECT_TRUE(R.Log.Errors.empty());
  ASSERT_EQ(R.Log.Items.size(), 1u);
  EXPECT_TRUE(R.Log.Passed("story.txt"));
  EXPECT_EQ(R.Log.Items[0].Data, Content);
}

// A GZIP file holding a TAR asks whether it is wanted as a TAR, once; without the event that is
// reported. The data is one item either way.
TEST(UnGZip, NestedTarQuestion) {
  TUnGZip D;
  std::vector<std::string> Asked;
  D.OnNestedTarFile = [&Asked](TZipCommon*, const std::string& Name, bool&) { Asked.push_back(Name); };
  TRunLog Log = archivetest::ExtractAllToMemory(D, FixturePath("basic.tgz"));
  EXPECT_EQ(Asked, std::vector<std::string>{"basic.tar"});
  ASSERT_EQ(Log.Items.size(), 1u);
  EXPECT_EQ(Log.Items[0].Data.size(), 4608u);
  EXPECT_TRUE(Log.Errors.empty());

  Asked.clear();
  archivetest::ExtractAllToMemory(D, FixturePath("named.gz"));
  EXPECT_TRUE(Asked.empty());

  TUnGZip Plain;
  Log = archivetest::ExtractAllToMemory(Plain, FixturePath("basic.tgz"));
  EXPECT_TRUE(Log.HasError(errEventNotAssigned));
  EXPECT_TRUE(Log.Passed("basic.tar"));
}

// Without a stored name the item is named after the file: its extension cut, ".tgz" and its kin made
// ".tar", and ".out" added to a name without extension, which would otherwise be extracted over the
// file itself.
TEST(UnGZip, NameWithoutStoredName) {
  archivetest::TTempFolder Temp("ungzip_names");
  const Bytes Data = archivetest::ReadFile(FixturePath("noname_story.txt.gz"));
  struct TCase {
    const char* File;
    const char* Item;
  };
  const TCase Cases[] = {
      {"x.tgz", "x.tar"}, {"x.TAZ", "x.tar"}, {"y.tar.gz", "y.tar"}, {"z.gz", "z"}, {"plain", "plain.out"}};
  for (const auto& C : Cases) {
    const fs::path P = Temp.Path / C.File;
    std::ofstream(P, std::ios::binary)
        .write(reinterpret_cast<const char*>(Data.data()), static_cast<std::streamsize>(Data.size()));
    const TGzRun R = Extract(P.string());
    ASSERT_EQ(R.Log.Items.size(), 1u) << C.File;
    EXPECT_EQ(R.Log.Items[0].Name, C.Item) << C.File;
  }
}

TEST(UnGZip, ExtractsToFilesWithTheStoredDate) {
  archivetest::TTempFolder Out("ungzip_files");
  TUnGZip D;
  D.OnNestedTarFile = [](TZipCommon*, const std::string&, bool&) {};
  const TRunLog Log = archivetest::ExtractAllToFolder(D, FixturePath("named.gz"), Out.Path);
  EXPECT_TRUE(Log.Errors.empty());
  EXPECT_EQ(Log.Result, 1);
  EXPECT_EQ(archivetest::ReadFile((Out.Path / "story.txt").string()), kStory);
  struct stat St {};
  ASSERT_EQ(::stat((Out.Path / "story.txt").c_str(), &St), 0);
  // The member's time, 2021-03-04 05:06:08 UTC (the file layer may set it a hair below).
  EXPECT_NEAR(static_cast<double>(St.st_mtim.tv_sec) + St.st_mtim.tv_nsec / 1e9, 1614834368.0, 0.01);
}

// The walk decodes the file once to learn its size; the owner may stop it through the progress event.
TEST(UnGZip, CountingCanBeStopped) {
  TUnGZip D;
  int Calls = 0;
  D.OnProgress = [&Calls](TZipCommon* Sender, int32_t, int32_t) {
    if (++Calls == 2) Sender->SetCancel(true);
  };
  const TRunLog Log =
      archivetest::ExtractAllToMemory(D, FixturePath("peer/test_archive_string_conversion.txt.Z"));
  EXPECT_LT(Calls, 10);  // the input already read is decoded; the whole file takes 23
  EXPECT_TRUE(Log.Items.empty());
  EXPECT_EQ(Log.Result, 0);
}

TEST(UnGZip, SelectionByName) {
  TUnGZip D;
  TRunLog Log;
  archivetest::Record(D, Log);
  D.SetArchiveFile(FixturePath("named.gz"));
  D.FileSpec = {"*.doc"};
  TDecompMemoryStream Out;
  EXPECT_EQ(D.ExtractToMemoryStream(&Out), 0);
  EXPECT_TRUE(Out.Records.empty());
  EXPECT_TRUE(Log.Errors.empty());
}

TEST(UnGZip, DamagedFilesAreSurvived) {
  const std::vector<std::string> Names = {"named.gz",  "multi.gz",  "basic.tgz", "gz_header_crc_comment.gz",
                                          "story16.Z", "clears12.Z"};
  const auto Run = [](const std::string& Path) {
    TUnGZip D;
    D.OnNestedTarFile = [](TZipCommon*, const std::string&, bool&) {};
    return archivetest::ExtractAllToMemory(D, Path);
  };
  // Each damaged copy that is still a GZIP file (1F 8B) reports the damage unless it changed nothing that is
  // read. A compress file keeps no check of its data, so damage there passes unless its codes break; and a
  // GZIP file cut where a member starts is a whole file of fewer members, as gzip sees it too.
  std::map<std::string, TRunLog> Good;
  std::map<std::string, int> Copy;
  archivetest::ForEachDamagedArchive("gzip", Names, [&](const std::string& Path, const std::string& Name) {
    if (!Good.count(Name)) Good[Name] = Run(FixturePath(Name));
    const Bytes Whole = archivetest::Fixture("gzip", Name);
    const size_t Size = std::filesystem::file_size(Path);
    const bool AtMember = Size < Whole.size() && Size + 3 <= Whole.size() && Whole[Size] == 0x1F &&
                          Whole[Size + 1] == 0x8B && Whole[Size + 2] == 8;
    if (Name.ends_with(".Z") || AtMember || !archivetest::KeepsSignature(Path, Whole, 2)) return;
    EXPECT_TRUE(archivetest::ReportedOrUnchanged(Run(Path), Good[Name]))
        << Name << ", damaged copy " << Copy[Name];
    ++Copy[Name];
  });
}

}  // namespace
