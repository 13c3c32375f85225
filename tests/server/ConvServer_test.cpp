// The command line, the dispatch, the error file and the exit code of a one-shot run.
#include "server/ConvServer.h"

#include <gtest/gtest.h>

#include "core/CmdLine.h"
#include "core/FileLayer.h"
#include "platform/registry/RegStore.h"
#include "server/ConvTemp.h"
#include "tests/server/ServerTestSupport.h"

namespace {

class ConvServerTest : public ::testing::Test {
 protected:
  TServerStateGuard Guard_;
  TTestDir Dir_;
};

TEST_F(ConvServerTest, ParsesRequests) {
  struct TCase {
    std::vector<std::string> Args;
    bool Ok;
    std::string Error;  // when not Ok
    TServerType Type = stRTF;
    std::string Source = "", Target = "";
    bool Unicode = false;
    int32_t Flags = 0;
  };
  const TCase Cases[] = {
      {{"-srv:pdf", "a.pdf", "a.txt"}, true, "", stPDF, "a.pdf", "a.txt", false, 0},
      {{"-SRV:WinWord", "x y.doc", "out", "-unicode", "-flags:1"},
       true,
       "",
       stWinWord,
       "x y.doc",
       "out",
       true,
       1},
      {{"-srv:\"PS\"", "/abs/in.ps", "/abs/out.txt"}, true, "", stPS, "/abs/in.ps", "/abs/out.txt", false, 0},
      {{"-srv:excel", "s", "t", "-flags:abc"}, true, "", stExcel, "s", "t", false, 0},
      {{"-srv:rtf", "s", "t", "-flags:-3"}, true, "", stRTF, "s", "t", false, -3},
      {{"-srv:msconv", "s", "t"}, true, "", stMSConv, "s", "t", false, 0},
      {{"-srv:powerpoint", "s", "t"}, true, "", stPowerPoint, "s", "t", false, 0},
      {{"-srv:html", "s", "t"}, false, "Illegal server type"},
      {{"s", "t"}, false, "Illegal server type"},
      {{"-srv:pdf"}, false, "No source file specified"},
      {{"-srv:pdf", "s"}, false, "No target file specified"},
      {{"-srv:pdf", "s", ""}, false, "No target file specified"},
  };
  for (const TCase& C : Cases) {
    std::vector<const char*> Argv{"qvcnvsrv"};
    for (const std::string& A : C.Args) Argv.push_back(A.c_str());
    TCommandLineParser Parser;
    Parser.ParseArgs(static_cast<int>(Argv.size()), Argv.data(), 1);
    std::string Source, Target;
    int32_t Flags = 99;
    bool Unicode = false;
    TServerType Type = stRTF;
    ClearLastErrorText();
    const bool Ok = ParseServerRequest(Parser, Source, Target, Flags, Unicode, Type);
    SCOPED_TRACE(C.Args.empty() ? std::string("(none)") : C.Args[0]);
    ASSERT_EQ(Ok, C.Ok);
    if (!Ok) {
      EXPECT_EQ(GetLastErrorText(), C.Error);
      continue;
    }
    EXPECT_EQ(Type, C.Type);
    EXPECT_EQ(Source, C.Source);
    EXPECT_EQ(Target, C.Target);
    EXPECT_EQ(Unicode, C.Unicode);
    EXPECT_EQ(Flags, C.Flags);
  }
}

TEST_F(ConvServerTest, FailuresWriteTheErrorFileAndExitWithOne) {
  const std::string Err = Dir_ / "err.txt";
  struct TCase {
    std::vector<std::string> Args;
    std::string Error;
  };
  const TCase Cases[] = {
      {{}, "Error in parameters"},
      {{"-srv:pdf", "in"}, "No target file specified"},
      {{"-srv:bogus", "in", "out"}, "Illegal server type"},
      {{"-unicode"}, "Illegal server type"},
      {{"-srv:excel", "-unicode", Dir_ / "in", Dir_ / "out"}, "Unicode not supported"},
  };
  WriteAll(Dir_ / "in", "text");
  for (const TCase& C : Cases) {
    std::vector<std::string> Args = C.Args;
    Args.push_back("-err:" + Err);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(RunServer(Args), 1);
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(ReadFileBytes(Err), C.Error);
  }
}

TEST_F(ConvServerTest, UsageGoesToStandardError) {
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(RunServer({}), 1);
  const std::string Usage = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(Usage.find("Quorvane Conversion Server"), std::string::npos);
  EXPECT_NE(Usage.find("Supported server types: RTF, MSConv, WinWord, Excel, PowerPoint, PS, PDF."),
            std::string::npos);
}

TEST_F(ConvServerTest, SuccessConvertsAndRemovesAnOldErrorFile) {
  const std::string Err = Dir_ / "err.txt";
  WriteAll(Err, "old failure");
  WriteAll(Dir_ / "in.doc", "words");
  std::string Source;
  bool Unicode = false;
  ServerBackend(stWinWord) = TCopyBackend{&Source, &Unicode};
  EXPECT_EQ(RunServer({"-srv:winword", Dir_ / "in.doc", Dir_ / "out.txt", "-unicode", "-err:" + Err}), 0);
  EXPECT_EQ(ReadFileBytes(Dir_ / "out.txt"), "converted:words");
  EXPECT_EQ(Source, Dir_ / "in.doc");
  EXPECT_TRUE(Unicode);
  EXPECT_FALSE(Exists(Err));
}

// A conversion that succeeds with a warning (pages left out) exits with 0 and leaves the warning in the
// error file, line breaks as CR LF; a later success without one deletes the file.
TEST_F(ConvServerTest, AWarningOfASuccessStaysInTheErrorFile) {
  const std::string Err = Dir_ / "err.txt";
  WriteAll(Dir_ / "in.ps", "x");
  ServerBackend(stPS) = [](const std::string&, const std::string& Target, bool) {
    WriteAll(Target, "text");
    ConversionWarning = "Page 2 left out\nfor a reason";
    return true;
  };
  EXPECT_EQ(RunServer({"-srv:ps", Dir_ / "in.ps", Dir_ / "out.txt", "-err:" + Err}), 0);
  EXPECT_EQ(ReadFileBytes(Dir_ / "out.txt"), "text");
  EXPECT_EQ(ReadFileBytes(Err), "Page 2 left out\r\nfor a reason");
  EXPECT_EQ(ConversionWarning, "");
  ServerBackend(stPS) = TCopyBackend{nullptr, nullptr};
  EXPECT_EQ(RunServer({"-srv:ps", Dir_ / "in.ps", Dir_ / "out.txt", "-err:" + Err}), 0);
  EXPECT_FALSE(Exists(Err));
}

TEST_F(ConvServerTest, BackendFailureTextReachesTheErrorFileWithCrLf) {
  const std::string Err = Dir_ / "err.txt";
  WriteAll(Dir_ / "in.ps", "x");
  ServerBackend(stPS) = [](const std::string&, const std::string&, bool) {
    SetLastErrorText("first\nsecond\r\nthird\rfourth");
    return false;
  };
  EXPECT_EQ(RunServer({"-srv:ps", Dir_ / "in.ps", Dir_ / "out.txt", "-err:" + Err}), 1);
  EXPECT_EQ(ReadFileBytes(Err), "first\r\nsecond\r\nthird\r\nfourth");
}

TEST_F(ConvServerTest, ABackendThatThrowsFailsCleanly) {
  WriteAll(Dir_ / "in.pdf", "x");
  ServerBackend(stPDF) = [](const std::string&, const std::string&, bool) -> bool {
    throw std::runtime_error("broken back-end");
  };
  EXPECT_FALSE(ConvertDocument(Dir_ / "in.pdf", Dir_ / "out.txt", stPDF, false));
  EXPECT_EQ(GetLastErrorText(), "broken back-end");
}

TEST_F(ConvServerTest, UnicodeOnlyForWinWord) {
  WriteAll(Dir_ / "in", "x");
  int Calls = 0;
  for (int32_t T = 0; T < kServerTypeCount; ++T)
    ServerBackend(static_cast<TServerType>(T)) = [&Calls](const std::string&, const std::string&, bool) {
      ++Calls;
      return true;
    };
  for (int32_t T = 0; T < kServerTypeCount; ++T) {
    const bool Ok = ConvertDocument(Dir_ / "in", Dir_ / "out", static_cast<TServerType>(T), true);
    EXPECT_EQ(Ok, T == stWinWord) << T;
    if (!Ok) {
      EXPECT_EQ(GetLastErrorText(), "Unicode not supported");
    }
  }
  EXPECT_EQ(Calls, 1);
}

// The source cannot be opened: a "QV" copy in the temporary folder is converted and deleted afterwards.
TEST_F(ConvServerTest, AnUnopenableSourceIsConvertedFromATemporaryCopy) {
  ASSERT_TRUE(SetTempFolderOverride(Dir_.Path));
  WriteAll(Dir_ / "locked.ps", "locked text");
  std::string Source;
  ServerBackend(stPS) = TCopyBackend{&Source, nullptr};
  TFaultyFileLayer Layer;
  Layer.FailCall(TFileOp::Open, 1, EBUSY);  // the hold of the source
  {
    TFileLayerScope Scope(Layer);
    ASSERT_TRUE(ConvertDocument(Dir_ / "locked.ps", Dir_ / "out.txt", stPS, false)) << GetLastErrorText();
  }
  EXPECT_EQ(std::filesystem::path(Source).parent_path(), std::filesystem::path(Dir_.Path));
  EXPECT_EQ(std::filesystem::path(Source).filename().string().substr(0, 2), "QV");
  EXPECT_FALSE(Exists(Source));
  EXPECT_EQ(ReadFileBytes(Dir_ / "out.txt"), "converted:locked text");
}

// A copy that fails leaves no empty "QV" file behind.
TEST_F(ConvServerTest, AFailedCopyReportsAndLeavesNoTemporaryFile) {
  TTestDir Temp;
  ASSERT_TRUE(SetTempFolderOverride(Temp.Path));
  ServerBackend(stPS) = TCopyBackend{nullptr, nullptr};
  EXPECT_FALSE(ConvertDocument(Dir_ / "missing.ps", Dir_ / "out.txt", stPS, false));
  EXPECT_EQ(GetLastErrorText(), "CopyFile error: No such file or directory");
  EXPECT_TRUE(std::filesystem::is_empty(Temp.Path));
}

// The command line reaches the built-in back-ends.
TEST_F(ConvServerTest, OneShotRunsOfTheBuiltInBackends) {
  WriteAll(Dir_ / "in.rtf", "{\\rtf1 one\\par two}");
  EXPECT_EQ(RunServer({"-srv:rtf", Dir_ / "in.rtf", Dir_ / "out.txt", "-err:" + Dir_ / "err.txt"}), 0);
  EXPECT_EQ(ReadFileBytes(Dir_ / "out.txt"), "one\r\ntwo");
  EXPECT_EQ(RunServer({"-srv:pdf", Dir_ / "in.rtf", Dir_ / "out.txt", "-err:" + Dir_ / "err.txt"}), 1);
  EXPECT_FALSE(ReadFileBytes(Dir_ / "err.txt").empty());
  EXPECT_FALSE(Exists(Dir_ / "out.txt"));
}

// The machine settings name the installed program; a "Temp" folder beside it is the temporary folder.
TEST_F(ConvServerTest, TheInstallationsTempFolderFromTheMachineSettings) {
  const std::string Key = Dir_ / "machine/Quorvane/Scopewise/1.0";
  std::filesystem::create_directories(Key);
  std::filesystem::create_directories(Dir_ / "install/Temp");
  const std::string Path = Dir_ / "install/qvsearch";
  std::string Value(4, '\0');
  Value[0] = static_cast<char>(REG_SZ);
  WriteAll(Key + "/@.val", Value + Path + std::string(1, '\0'));
  TRegStore Store(TRegStore::TRoots{Dir_ / "user", Dir_ / "machine"});
  SetRegStore(&Store);
  InitPluginTempFolder();
  SetRegStore(nullptr);
  std::string Folder;
  ASSERT_TRUE(GetPluginTempFolder(Folder));
  EXPECT_EQ(Folder, Dir_ / "install/Temp/");
}

TEST_F(ConvServerTest, TemporaryFolderAndNames) {
  std::string Folder;
  EXPECT_FALSE(SetTempFolderOverride(Dir_ / "absent"));
  ASSERT_TRUE(GetPluginTempFolder(Folder));
  EXPECT_NE(Folder, Dir_.Path + "/");
  ASSERT_TRUE(SetTempFolderOverride(Dir_.Path));
  ASSERT_TRUE(GetPluginTempFolder(Folder));
  EXPECT_EQ(Folder, Dir_.Path + "/");
  std::string Name;
  ASSERT_TRUE(MakePluginTempFile(Name));
  EXPECT_EQ(Name.substr(0, Folder.size() + 2), Folder + "QV");
  EXPECT_TRUE(Exists(Name));
  EXPECT_FALSE(MakeTempFileNameIn(Dir_ / "absent", "QV", Name));
  EXPECT_EQ(GetLastErrorText().substr(0, 23), "GetTempFileName error: ");
  // An override that disappears gives way to the system's folder.
  TTestDir Gone;
  ASSERT_TRUE(SetTempFolderOverride(Gone.Path));
  std::filesystem::remove_all(Gone.Path);
  ASSERT_TRUE(GetPluginTempFolder(Folder));
  EXPECT_NE(Folder, Gone.Path + "/");
}

}  // namespace
