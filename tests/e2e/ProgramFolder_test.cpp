// The program folder as the build lays it out: the program with its converter plug-ins, the conversion
// server, archive libraries, language files and help documents side by side; and the built program, started
// from there with a fresh home folder, loads all five converters and binds the three archive libraries.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "tests/core/FileFixtures.h"

extern char** environ;

// Without the windowed program (SCRYLINE_GUI off) there is no program folder to check.
#ifdef SCRYLINE_PROGRAM_DIR
namespace {

namespace fs = std::filesystem;

const char* const kConverters[] = {"impcalc2.so", "impshow2.so", "impwrite.so",
                                   "impweb.so",   "imptag.so",   "impps.so"};
const char* const kArchiveLibraries[] = {"UnRar3.so", "cabinet.so", "UnAceV2.so"};

std::string ReadAll(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(In), {});
}

TEST(ProgramFolder, HoldsTheProgramItsPlugInsLibrariesLanguagesAndHelp) {
  const fs::path Dir = SCRYLINE_PROGRAM_DIR;
  std::vector<std::string> Files = {"Scryline",      "qvcnvsrv",     "qvsrchen.html", "qvsrchde.html",
                                    "qvsrchru.html", "qvsrchde.lng", "qvsrchru.lng"};
  Files.insert(Files.end(), std::begin(kConverters), std::end(kConverters));
  Files.insert(Files.end(), std::begin(kArchiveLibraries), std::end(kArchiveLibraries));
  for (const std::string& File : Files) EXPECT_TRUE(fs::is_regular_file(Dir / File)) << (Dir / File);
  // The conversion server is a program of the folder, beside the converters.
  EXPECT_EQ(access((Dir / "qvcnvsrv").c_str(), X_OK), 0);
  // Only the program's own plug-ins: the tests' converter libraries are built elsewhere.
  for (const auto& Entry : fs::directory_iterator(Dir)) {
    const std::string Name = Entry.path().filename().string();
    if (Name.rfind("imp", 0) == 0 && Entry.path().extension() == ".so") {
      EXPECT_NE(std::find(std::begin(kConverters), std::end(kConverters), Name), std::end(kConverters))
          << Name;
    }
  }
}

// Starts the program from the program folder with the "log" and "debug" options, a fresh home folder and
// the offscreen platform; ends it with SIGTERM (which closes its window as a user would, and then ends the
// program with that signal) once its log file exists, and answers the log.
std::string RunProgramLog(const std::string& Home) {
  const fs::path Program = fs::path(SCRYLINE_PROGRAM_DIR) / "Scryline";
  const fs::path LogFile = fs::path(SCRYLINE_PROGRAM_DIR) / "Scryline.log";
  std::error_code Error;
  fs::remove(LogFile, Error);

  std::vector<std::string> Env;
  for (char** E = environ; *E != nullptr; ++E) {
    const std::string V = *E;
    if (V.rfind("HOME=", 0) != 0 && V.rfind("XDG_CONFIG_HOME=", 0) != 0 &&
        V.rfind("QT_QPA_PLATFORM=", 0) != 0)
      Env.push_back(V);
  }
  Env.push_back("HOME=" + Home);
  Env.push_back("QT_QPA_PLATFORM=offscreen");
  std::vector<char*> EnvP;
  for (std::string& V : Env) EnvP.push_back(V.data());
  EnvP.push_back(nullptr);
  std::string Arg0 = Program.string(), Log = "-log", Debug = "-debug";
  char* Argv[] = {Arg0.data(), Log.data(), Debug.data(), nullptr};

  pid_t Pid = 0;
  if (posix_spawn(&Pid, Arg0.c_str(), nullptr, nullptr, Argv, EnvP.data()) != 0) return "(not started)";
  // The log file is made while the main window is created, after the termination handler is in place.
  // A generous bound: a sanitizer build on a loaded machine starts slowly.
  int Status = 0;
  bool Exited = false;
  for (int Waited = 0; Waited < 1200 && !fs::exists(LogFile); ++Waited) {
    if (waitpid(Pid, &Status, WNOHANG) == Pid) {
      Exited = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (!Exited) {
    kill(Pid, SIGTERM);
    for (int Waited = 0; Waited < 1200 && waitpid(Pid, &Status, WNOHANG) != Pid; ++Waited)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (kill(Pid, 0) == 0) {
      kill(Pid, SIGKILL);
      waitpid(Pid, &Status, 0);
      ADD_FAILURE() << "the program did not end on SIGTERM";
    }
  }
  // Ended by the signal, after its window closed: the signal's own status.
  EXPECT_FALSE(Exited) << "the program ended before it was signalled";
  EXPECT_TRUE(WIFSIGNALED(Status) && WTERMSIG(Status) == SIGTERM) << "status " << Status;
  std::string Text = ReadAll(LogFile.string());
  fs::remove(LogFile, Error);
  return Text;
}

TEST(ProgramFolder, BuiltProgramLoadsEveryConverterAndArchiveLibraryFromItsFolder) {
  TTempFolder Home;
  const std::string Log = RunProgramLog(Home.Path);
  for (const char* Name : kConverters)
    EXPECT_NE(Log.find(std::string("Converter \"") + Name + "\" loaded successfully"), std::string::npos)
        << Name << " in:\n"
        << Log;
  for (const char* Name : kArchiveLibraries)
    EXPECT_NE(Log.find(std::string("Archive library \"") + Name + "\" loaded from \"" + SCRYLINE_PROGRAM_DIR +
                       "/" + Name),
              std::string::npos)
        << Name << " in:\n"
        << Log;
  // The fresh home got the settings when the window closed.
  EXPECT_TRUE(fs::exists(fs::path(Home.Path) / ".config/Quorvane/QVSearch/Options.val"));
}

}  // namespace
#endif
