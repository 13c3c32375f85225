// The TAR reader over a forward-only stream against the same reader over the archive's file, through the
// archive wrapper's extract-all run: every fixture of tests/archive/tar/fixtures (sparse files of every
// form, long names, pax records, hostile headers, torn tails) and copies of them cut short at every
// half block, fed in chunks of 1, 7, 4096 and 32768 bytes, give the same items with the same bytes,
// dates and check verdicts, and the same messages in the same order. Also the forward stream itself.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/ArcLibIntf.h"
#include "archive/arlForwardStream.h"
#include "archive/tar/arlUnTar.h"
#include "tests/TestFiles.h"
#include "tests/archive/tar/TarBytes.h"

namespace {

namespace fs = std::filesystem;
using Events = std::vector<std::string>;

const fs::path kFixtures = fs::path(SCRYLINE_TEST_DATA) / "tar" / "fixtures";

// A producer over Bytes that gives at most Step bytes a call, whatever it is asked.
TForwardStream::TProducer Producer(const std::string& Bytes, int32_t Step) {
  return [&Bytes, Step, At = size_t{0}](uint8_t* Buffer, int32_t Capacity) mutable -> int32_t {
    const auto N = static_cast<int32_t>(
        std::min<size_t>({static_cast<size_t>(Capacity), static_cast<size_t>(Step), Bytes.size() - At}));
    std::memcpy(Buffer, Bytes.data() + At, static_cast<size_t>(N));
    At += static_cast<size_t>(N);
    return N;
  };
}

// Every item (name, date, bytes) and every message of one extract-all run into memory, in order.
Events Run(TBaseArcLibWrapper& W) {
  Events Out;
  W.OnMessage = [&Out](const std::string& Msg) { Out.push_back("message " + Msg); };
  W.ExtractAllMem((fs::temp_directory_path() / "scry-tar-forward").string(),
                  [&Out](TArcMemoryItem& Item, bool&) {
                    const auto* P = static_cast<const char*>(Item.Block.get());
                    Out.push_back("item " + Item.ItemName + " date " + std::to_string(Item.Date) + " bytes " +
                                  std::string(P, P + Item.Size));
                  },
                  nullptr,
                  [](TArcDecideItem& Item) {
                    Item.Decision = edToMemory;
                    return true;
                  });
  return Out;
}

// The run over the file, or nothing when detection does not take it as a TAR (the walk would not either).
bool RunFile(const std::string& Path, Events& Out) {
  TBaseArcLibWrapper W;
  std::string Msg;
  if (!W.SetArcName(Path, Msg) || W.GetTypeCode() != atTar) return false;
  Out = Run(W);
  return true;
}

Events RunForward(const std::string& Bytes, int32_t Step) {
  TForwardStream Data(Producer(Bytes, Step), TUnBase::kCopyBlock, TUnTar::kForwardKeepBytes);
  TBaseArcLibWrapper W;
  std::string Msg;
  EXPECT_TRUE(W.SetArcStream(Data, "streamed.tar", Msg)) << Msg;
  return Run(W);
}

TEST(UnTarForward, SameItemsAndMessagesAsFromTheFile) {
  const fs::path Temp = fs::temp_directory_path() / ("scry-tar-fwd-" + std::to_string(::getpid()));
  fs::create_directories(Temp);
  int Compared = 0;
  for (const auto& E : fs::directory_iterator(kFixtures)) {
    if (E.path().extension() != ".tar") continue;
    const std::string Whole = ReadFileBytes(E.path());
    std::vector<size_t> Cuts{Whole.size()};
    for (size_t Cut = 256; Cut < Whole.size(); Cut += 256) Cuts.push_back(Cut);
    for (const size_t Cut : Cuts) {
      const std::string Bytes = Whole.substr(0, Cut);
      const fs::path Copy = Temp / E.path().filename();
      WriteFileBytes(Copy, Bytes);
      Events FromFile;
      if (!RunFile(Copy.string(), FromFile)) continue;
      ++Compared;
      // The reader names the archive by its file; the stream is named "streamed.tar".
      for (std::string& Line : FromFile)
        for (size_t At; (At = Line.find(Copy.string())) != std::string::npos;)
          Line.replace(At, Copy.string().size(), "streamed.tar");
      for (const int32_t Step : {1, 7, 4096, 32768}) {
        if (Step < 4096 && Cut % 1024 != 0 && Cut != Whole.size()) continue;  // the small steps less often
        EXPECT_EQ(RunForward(Bytes, Step), FromFile)
            << E.path().filename() << " cut at " << Cut << ", step " << Step;
      }
    }
  }
  fs::remove_all(Temp);
  EXPECT_GT(Compared, 100);
}

// An entry whose header claims more than the archive holds (its size field damaged, or the archive cut
// inside its data) comes out with the bytes there are, however much it claims, and the report about the
// archive says so: what the header claims, what the archive holds after it, and the entries whose headers
// follow in those bytes, which are lost with it. The same from the file and from a forward stream.
TEST(UnTarForward, AnEntryClaimingMoreThanTheArchiveHoldsIsNamedWithWhatItLoses) {
  using tarbytes::Entry;
  const std::string A = std::string(110, 'x') + " needle in a\n" + std::string(7, 'y');  // 130 bytes
  const std::string BC = Entry("b.txt", "needle in b\n") + Entry("c.txt", "needle in c\n");
  const std::string Lost = "; lost with it: b.txt, c.txt";
  struct TCase {
    const char* What;
    std::string Tar;
    std::string Report;  // after "\"a.txt\" is cut short: its header claims "
  };
  const TCase Cases[] = {
      {"8 GB in octal", Entry("a.txt", A, 8000000000) + BC + tarbytes::End(),
       "8000000000 bytes, and the archive holds 3584 after it" + Lost},
      {"8 GiB in base-256", Entry("a.txt", A, int64_t{1} << 33) + BC + tarbytes::End(),
       "8589934592 bytes, and the archive holds 3584 after it" + Lost},
      {"under 2 GB", Entry("a.txt", A, 300000) + BC + tarbytes::End(),
       "300000 bytes, and the archive holds 3584 after it" + Lost},
      {"after an entry", Entry("z.txt", "zz") + Entry("a.txt", A, 8000000000) + BC + tarbytes::End(),
       "8000000000 bytes, and the archive holds 3584 after it" + Lost},
      {"the last entry", Entry("b.txt", "needle in b\n") + Entry("a.txt", A, 8000000000),
       "8000000000 bytes, and the archive holds 512 after it"},
      {"cut inside its data",
       (Entry("b.txt", "needle in b\n") + Entry("a.txt", A)).substr(0, 1024 + 512 + 60),
       "130 bytes, and the archive holds 60 after it"},
      // The headers of a TAR stored in the entry are its data, not entries of the archive lost with it.
      {"cut inside a TAR it holds",
       (Entry("a.txt", A + std::string(512 - A.size(), '\0') + Entry("f1.txt", "inner\n") + tarbytes::End()) +
        Entry("z.txt", "after\n") + tarbytes::End())
           .substr(0, 512 + 1636),
       "2560 bytes, and the archive holds 1636 after it"},
  };
  const fs::path Temp = fs::temp_directory_path() / ("scry-tar-claim-" + std::to_string(::getpid()));
  fs::create_directories(Temp);
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.What);
    const fs::path File = Temp / "claim.tar";
    WriteFileBytes(File, C.Tar);
    Events FromFile;
    ASSERT_TRUE(RunFile(File.string(), FromFile));
    Events Messages;
    std::string FirstBytes;
    for (const std::string& E : FromFile) {
      if (E.rfind("message ", 0) == 0) Messages.push_back(E.substr(8));
      const size_t Bytes = E.find(" bytes ");
      if (E.rfind("item a.txt ", 0) == 0 && Bytes != std::string::npos) FirstBytes = E.substr(Bytes + 7, 130);
    }
    EXPECT_EQ(Messages, (Events{"Error reading file or unexpected end of file (\"a.txt\" is cut short: its "
                                "header claims " +
                                    C.Report + ")",
                                "Error reading file or unexpected end of file (a.txt)"}));
    // a.txt comes out with what the archive holds of it.
    EXPECT_GE(FirstBytes.size(), 60u);
    EXPECT_EQ(FirstBytes, A.substr(0, FirstBytes.size()));
    for (const int32_t Step : {7, 32768}) EXPECT_EQ(RunForward(C.Tar, Step), FromFile) << "step " << Step;
  }
  fs::remove_all(Temp);
}

TEST(ForwardStream, ReadsForwardAndStepsBackOnlyInsideWhatItKeeps) {
  std::string Bytes(100000, '\0');
  for (size_t I = 0; I < Bytes.size(); ++I) Bytes[I] = static_cast<char>(I * 31 % 251);
  std::vector<int32_t> Asked;
  auto Inner = Producer(Bytes, 5000);
  TForwardStream S(
      [&](uint8_t* Buffer, int32_t Capacity) {
        Asked.push_back(Capacity);
        return Inner(Buffer, Capacity);
      },
      8192, 20000);
  std::string Got(3000, '\0');
  ASSERT_EQ(S.Read(Got.data(), 3000), 3000);
  EXPECT_EQ(Got, Bytes.substr(0, 3000));
  // Forward over many chunks, then back inside the kept bytes.
  S.SetPosition(60000);
  S.SetPosition(45000);
  ASSERT_EQ(S.Read(Got.data(), 3000), 3000);
  EXPECT_EQ(Got, Bytes.substr(45000, 3000));
  // Back past the kept bytes, and to the end, are refused; the position stays.
  EXPECT_THROW(S.SetPosition(10000), EStreamError);
  EXPECT_THROW(S.Seek(0, soEnd), EStreamError);
  EXPECT_EQ(S.Position(), 48000);
  EXPECT_TRUE(S.Reaches(100000));
  EXPECT_FALSE(S.Reaches(100001));
  EXPECT_TRUE(S.Ended());
  // Past the end a read gives nothing; the producer was only ever asked for whole chunks.
  S.SetPosition(100000);
  EXPECT_EQ(S.Read(Got.data(), 10), 0);
  S.Drain();
  EXPECT_EQ(S.Produced(), 100000);
  for (const int32_t Capacity : Asked) EXPECT_EQ(Capacity, 8192);
}

}  // namespace
