// The scan driver ended by a signal while it searches nested archives, or converts documents of archives
// from temporary copies: it ends with that signal's own status, within a bound, and leaves nothing of its
// own in its temporary folder, with one thread and with workers that extract inner archives when the signal
// comes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tests/TestFiles.h"
#include "tests/archive/ArchiveBytes.h"
#include "tests/archive/tar/TarBytes.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// How long one run may take before it counts as hung (the driver is then killed): a guard, not a measure.
constexpr auto kHangGuard = std::chrono::seconds(20);

using TEntries = std::vector<std::pair<std::string, std::string>>;

using arcbytes::StoredZip;

// A ustar archive of regular files, gzip-compressed.
std::string TarGz(const TEntries& Entries) {
  std::string Tar;
  for (const auto& [Name, Data] : Entries) Tar += tarbytes::Entry(Name, Data);
  return arcbytes::Gzip(Tar + tarbytes::End());
}

// About Bytes of text lines, one in eight with the word the runs search for.
std::string Text(uint32_t Seed, size_t Bytes) {
  static const char* const kWords[] = {"lamp",  "river",  "stone",  "cloud",
                                       "paper", "window", "garden", "clock"};
  std::string Out;
  uint32_t X = Seed * 2654435761u + 1;
  for (int Line = 0; Out.size() < Bytes; ++Line) {
    for (int W = 0; W < 10; ++W) {
      X = X * 1103515245u + 12345u;
      Out += kWords[(X >> 16) % 8];
      Out += ' ';
    }
    Out += Line % 8 == 0 ? "needle\n" : "\n";
  }
  return Out;
}

// A zip of texts with a zip inside it.
std::string InnerZip(uint32_t Seed) {
  TEntries Deep;
  for (uint32_t I = 0; I < 3; ++I)
    Deep.emplace_back("deep" + std::to_string(I) + ".txt", Text(Seed * 31 + I, 16384));
  TEntries Items;
  for (uint32_t I = 0; I < 6; ++I)
    Items.emplace_back("t" + std::to_string(I) + ".txt", Text(Seed * 17 + I, 49152));
  Items.emplace_back("deep.zip", StoredZip(Deep));
  return StoredZip(Items);
}

// Everything below Folder, as paths relative to it.
std::vector<std::string> Below(const fs::path& Folder) {
  std::vector<std::string> Out;
  std::error_code Ec;
  for (auto It = fs::recursive_directory_iterator(Folder, Ec);
       !Ec && It != fs::recursive_directory_iterator(); It.increment(Ec))
    Out.push_back(fs::relative(It->path(), Folder).string());
  return Out;
}

class ScanEndingSignal : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string Pattern = (fs::temp_directory_path() / "scan-ending-XXXXXX").string();
    Base_ = new fs::path(::mkdtemp(Pattern.data()));
    const fs::path Tree = *Base_ / "tree";
    fs::create_directories(Tree);
    // Every top-level archive holds inner archives, so that the walk extracts them all the time.
    for (uint32_t I = 0; I < 24; ++I) {
      TEntries Top{{"a.zip", InnerZip(I * 4)}, {"b.zip", InnerZip(I * 4 + 1)}};
      Top.emplace_back("c.tar.gz", TarGz({{"x.txt", Text(I, 65536)}, {"e.zip", InnerZip(I * 4 + 2)}}));
      const fs::path Folder = Tree / ("f" + std::to_string(I % 4));
      fs::create_directories(Folder);
      WriteFileBytes(Folder / ("top" + std::to_string(I) + ".zip"), StoredZip(Top));
    }
    // Archives of documents that the converters read from a temporary copy.
    const fs::path Fixtures = fs::path(SCRYLINE_TESTS_ROOT) / "e2e" / "fixtures";
    const fs::path Documents = *Base_ / "documents";
    for (int I = 0; I < 48; ++I) {
      const fs::path Folder = Documents / ("d" + std::to_string(I % 4));
      fs::create_directories(Folder);
      fs::copy_file(Fixtures / "pages.zip", Folder / ("p" + std::to_string(I) + ".zip"));
      fs::copy_file(Fixtures / "word.zip", Folder / ("w" + std::to_string(I) + ".zip"));
    }
  }

  static void TearDownTestSuite() {
    fs::remove_all(*Base_);
    delete Base_;
  }

  static fs::path* Base_;
};

fs::path* ScanEndingSignal::Base_ = nullptr;

// How one run ended.
struct TEnd {
  bool Hung = false;              // still running at the guard's end: killed
  bool EndedEarly = false;        // ended before it was signalled
  int Status = 0;                 // waitpid's status
  std::vector<std::string> Left;  // what it left in its temporary folder
};

// What a run waits for before it signals the driver: Count of the driver's temporary folders, or with a
// Prefix, of the files whose names begin with it (a converter's copies).
struct TWaitFor {
  size_t Count = 1;
  std::string Prefix;
};

// The distinct names seen below Root that count for Wait.
void Look(const fs::path& Root, const TWaitFor& Wait, std::set<std::string>& Seen) {
  std::error_code Ec;
  if (Wait.Prefix.empty()) {
    for (const auto& Entry : fs::directory_iterator(Root, Ec)) Seen.insert(Entry.path().filename().string());
    return;
  }
  for (auto It = fs::recursive_directory_iterator(Root, Ec); !Ec && It != fs::recursive_directory_iterator();
       It.increment(Ec)) {
    const std::string Name = It->path().filename().string();
    if (Name.compare(0, Wait.Prefix.size(), Wait.Prefix) == 0) Seen.insert(Name);
  }
}

// Starts the driver with Args (after the program's name) and Temp as its temporary folder, waits until what
// Wait names has been seen, sends it Signal, and waits for its end while reading what it prints.
TEnd SignalledRun(const std::vector<std::string>& DriverArgs, const fs::path& Temp, const TWaitFor& Wait,
                  int Signal) {
  TEnd End;
  fs::create_directories(Temp);
  int Out[2];
  EXPECT_EQ(::pipe2(Out, O_CLOEXEC), 0);
  posix_spawn_file_actions_t Actions;
  posix_spawn_file_actions_init(&Actions);
  posix_spawn_file_actions_adddup2(&Actions, Out[1], 1);
  posix_spawn_file_actions_addopen(&Actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<std::string> Env;
  for (char** E = environ; *E != nullptr; ++E)
    if (std::strncmp(*E, "TMPDIR=", 7) != 0) Env.emplace_back(*E);
  Env.push_back("TMPDIR=" + Temp.string());
  std::vector<char*> Envp;
  for (std::string& E : Env) Envp.push_back(E.data());
  Envp.push_back(nullptr);
  std::vector<std::string> Args = {SCRYLINE_SCAN_PROGRAM};
  Args.insert(Args.end(), DriverArgs.begin(), DriverArgs.end());
  std::vector<char*> Argv;
  for (std::string& A : Args) Argv.push_back(A.data());
  Argv.push_back(nullptr);
  pid_t Child = -1;
  const int Rc = ::posix_spawn(&Child, Argv[0], &Actions, nullptr, Argv.data(), Envp.data());
  posix_spawn_file_actions_destroy(&Actions);
  ::close(Out[1]);
  EXPECT_EQ(Rc, 0) << std::strerror(Rc);
  if (Rc != 0) {
    ::close(Out[0]);
    return End;
  }

  const auto Guard = std::chrono::steady_clock::now() + kHangGuard;
  auto Drain = [&](int WaitMs) {
    pollfd P{Out[0], POLLIN, 0};
    char Buffer[65536];
    if (::poll(&P, 1, WaitMs) > 0 && ::read(Out[0], Buffer, sizeof Buffer) <= 0) return false;
    return true;
  };
  // Until what Wait names has been seen, its output read all the while.
  const fs::path Root = Temp / "$qvsrch";
  std::set<std::string> Seen;
  bool Open = true;
  while (Seen.size() < Wait.Count) {
    if (Open) Open = Drain(1);
    Look(Root, Wait, Seen);
    if (::waitpid(Child, &End.Status, WNOHANG) == Child) {
      End.EndedEarly = true;
      ::close(Out[0]);
      return End;
    }
    if (std::chrono::steady_clock::now() > Guard) break;
  }
  ::kill(Child, Signal);
  while (Open && std::chrono::steady_clock::now() < Guard) Open = Drain(100);
  ::close(Out[0]);
  for (;;) {
    if (::waitpid(Child, &End.Status, WNOHANG) == Child) break;
    if (std::chrono::steady_clock::now() > Guard) {
      End.Hung = true;
      ::kill(Child, SIGKILL);
      ::waitpid(Child, &End.Status, 0);
      break;
    }
    ::usleep(1000);
  }
  End.Left = Below(Temp);
  return End;
}

// A run's case: what the driver searches, what the run waits for, and the signal.
struct TCase {
  std::vector<std::string> Args;
  TWaitFor Wait;
  int Signal;
};

void Check(const TCase& C, const fs::path& Temp) {
  std::string Line;
  for (const std::string& A : C.Args) Line += " " + A;
  SCOPED_TRACE("scan" + Line + ", signal " + std::to_string(C.Signal) + " after " +
               std::to_string(C.Wait.Count) + " " +
               (C.Wait.Prefix.empty() ? "folders" : C.Wait.Prefix + " files"));
  const TEnd End = SignalledRun(C.Args, Temp, C.Wait, C.Signal);
  ASSERT_FALSE(End.EndedEarly) << "the search ended before it was signalled: the tree is too small";
  EXPECT_FALSE(End.Hung);
  EXPECT_TRUE(WIFSIGNALED(End.Status) && WTERMSIG(End.Status) == C.Signal)
      << "exit status " << (WIFEXITED(End.Status) ? WEXITSTATUS(End.Status) : -1) << ", signal "
      << (WIFSIGNALED(End.Status) ? WTERMSIG(End.Status) : 0);
  EXPECT_EQ(End.Left, std::vector<std::string>{});
}

TEST_F(ScanEndingSignal, EndsWithTheSignalAndLeavesNoTemporaryFolder) {
  const std::string Tree = (*Base_ / "tree").string();
  const std::string Documents = (*Base_ / "documents").string();
  std::vector<TCase> Cases;
  for (const int Signal : {SIGINT, SIGTERM, SIGHUP}) {
    for (const std::string Threads : {"1", "8"}) {
      // Signalled at the first, the second and the third folder it makes: at different moments of the walk.
      for (size_t Folders = 1; Folders <= 3; ++Folders)
        Cases.push_back({{"-r", "-a", "-j", Threads, "needle", Tree}, {Folders, ""}, Signal});
      // While a converter reads the copy of a document from an archive.
      for (size_t Copies = 1; Copies <= 2; ++Copies)
        Cases.push_back({{"-r", "-a", "-t", "-j", Threads, "replaceMe", Documents}, {Copies, "QV"}, Signal});
    }
  }
  for (size_t I = 0; I < Cases.size(); ++I) Check(Cases[I], *Base_ / ("tmp" + std::to_string(I)));
}

}  // namespace
