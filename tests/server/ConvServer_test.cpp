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
  TServerStateGuard Guard;
  TTestDir Dir;
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
  const TCase cases[] = {
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
  for (const TCase& c : cases) {
    std::vector<const char*> argv{"qvcnvsrv"};
    for (const std::string& a : c.Args) argv.push_back(a.c_str());
    TCommandLineParser parser;
    parser.ParseArgs(static_cast<int>(argv.size()), argv.data(), 1);
    std::string source, target;
    int32_t flags = 99;
    bool unicode = false;
    TServerType type = stRTF;
    ClearLastErrorText();
    const bool ok = ParseServerRequest(parser, source, target, flags, unicode, type);
    SCOPED_TRACE(c.Args.empty() ? std::string("(none)") : c.Args[0]);
    ASSERT_EQ(ok, c.Ok);
    if (!ok) {
      EXPECT_EQ(GetLastErrorText(), c.Error);
      continue;
    }
    EXPECT_EQ(type, c.Type);
    EXPECT_EQ(source, c.Source);
    EXPECT_EQ(target, c.Target);
    EXPECT_EQ(unicode, c.Unicode);
    EXPECT_EQ(flags, c.Flags);
  }
}

TEST_F(ConvServerTest, FailuresWriteTheErrorFileAndExitWithOne) {
  const std::string err = Dir / "err.txt";
  struct TCase {
    std::vector<std::string> Args;
    std::string Error;
  };
  const TCase cases[] = {
      {{}, "Error in parameters"},
      {{"-srv:pdf", "in"}, "No target file specified"},
      {{"-srv:bogus", "in", "out"}, "Illegal server type"},
      {{"-unicode"}, "Illegal server type"},
      {{"-srv:excel", "-unicode", Dir / "in", Dir / "out"}, "Unicode not supported"},
  };
  WriteAll(Dir / "in", "text");
  for (const TCase& c : cases) {
    std::vector<std::string> args = c.Args;
    args.push_back("-err:" + err);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(RunServer(args), 1);
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(ReadFileBytes(err), c.Error);
  }
}

TEST_F(ConvServerTest, UsageGoesToStandardError) {
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(RunServer({}), 1);
  const std::string usage = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(usage.find("Quorvane Conversion Server"), std::string::npos);
  EXPECT_NE(usage.find("Supported server types: RTF, MSConv, WinWord, Excel, PowerPoint, PS, PDF."),
            std::string::npos);
}

TEST_F(ConvServerTest, SuccessConvertsAndRemovesAnOldErrorFile) {
  const std::string err = Dir / "err.txt";
  WriteAll(err, "old failure");
  WriteAll(Dir / "in.doc", "words");
  std::string source;
  bool unicode = false;
  ServerBackend(stWinWord) = TCopyBackend{&source, &unicode};
  EXPECT_EQ(RunServer({"-srv:winword", Dir / "in.doc", Dir / "out.txt", "-unicode", "-err:" + err}), 0);
  EXPECT_EQ(ReadFileBytes(Dir / "out.txt"), "converted:words");
  EXPECT_EQ(source, Dir / "in.doc");
  EXPECT_TRUE(unicode);
  EXPECT_FALSE(Exists(err));
}

TEST_F(ConvServerTest, BackendFailureTextReachesTheErrorFileWithCrLf) {
  const std::string err = Dir / "err.txt";
  WriteAll(Dir / "in.ps", "x");
  ServerBackend(stPS) = [](const std::string&, const std::string&, bool) {
    SetLastErrorText("first\nsecond\r\nthird\rfourth");
    return false;
  };
  EXPECT_EQ(RunServer({"-srv:ps", Dir / "in.ps", Dir / "out.txt", "-err:" + err}), 1);
  EXPECT_EQ(ReadFileBytes(err), "first\r\nsecond\r\nthird\r\nfourth");
}

TEST_F(ConvServerTest, ABackendThatThrowsFailsCleanly) {
  WriteAll(Dir / "in.pdf", "x");
  ServerBackend(stPDF) = [](const std::string&, const std::string&, bool) -> bool {
    throw std::runtime_error("broken back-end");
  };
  EXPECT_FALSE(ConvertDocument(Dir / "in.pdf", Dir / "out.txt", stPDF, false));
  EXPECT_EQ(GetLastErrorText(), "broken back-end");
}

TEST_F(ConvServerTest, UnicodeOnlyForWinWord) {
  WriteAll(Dir / "in", "x");
  int calls = 0;
  for (int32_t t = 0; t < kServerTypeCount; ++t)
    ServerBackend(static_cast<TServerType>(t)) = [&calls](const std::string&, const std::string&, bool) {
      ++calls;
      return true;
    };
  for (int32_t t = 0; t < kServerTypeCount; ++t) {
    const bool ok = ConvertDocument(Dir / "in", Dir / "out", static_cast<TServerType>(t), true);
    EXPECT_EQ(ok, t == stWinWord) << t;
    if (!ok) {
      EXPECT_EQ(GetLastErrorText(), "Unicode not supported");
    }
  }
  EXPECT_EQ(calls, 1);
}

// The source cannot be opened: a "QV" copy in the temporary folder is converted and deleted afterwards.
TEST_F(ConvServerTest, AnUnopenableSourceIsConvertedFromATemporaryCopy) {
  ASSERT_TRUE(SetTempFolderOverride(Dir.Path));
  WriteAll(Dir / "locked.ps", "locked text");
  std::string source;
  ServerBackend(stPS) = TCopyBackend{&source, nullptr};
  TFaultyFileLayer layer;
  layer.FailCall(TFileOp::Open, 1, EBUSY);  // the hold of the source
  {
    TFileLayerScope scope(layer);
    ASSERT_TRUE(ConvertDocument(Dir / "locked.ps", Dir / "out.txt", stPS, false)) << GetLastErrorText();
  }
  EXPECT_EQ(std::filesystem::path(source).parent_path(), std::filesystem::path(Dir.Path));
  EXPECT_EQ(std::filesystem::path(source).filename().string().substr(0, 2), "QV");
  EXPECT_FALSE(Exists(source));
  EXPECT_EQ(ReadFileBytes(Dir / "out.txt"), "converted:locked text");
}

// A copy that fails leaves no empty "QV" file behind.
TEST_F(ConvServerTest, AFailedCopyReportsAndLeavesNoTemporaryFile) {
  TTestDir temp;
  ASSERT_TRUE(SetTempFolderOverride(temp.Path));
  ServerBackend(stPS) = TCopyBackend{nullptr, nullptr};
  EXPECT_FALSE(ConvertDocument(Dir / "missing.ps", Dir / "out.txt", stPS, false));
  EXPECT_EQ(GetLastErrorText(), "CopyFile error: No such file or directory");
  EXPECT_TRUE(std::filesystem::is_empty(temp.Path));
}

// The command line reaches the built-in back-ends.
TEST_F(ConvServerTest, OneShotRunsOfTheBuiltInBackends) {
  WriteAll(Dir / "in.rtf", "{\\rtf1 one\\par two}");
  EXPECT_EQ(RunServer({"-srv:rtf", Dir / "in.rtf", Dir / "out.txt", "-err:" + Dir / "err.txt"}), 0);
  EXPECT_EQ(ReadFileBytes(Dir / "out.txt"), "one\r\ntwo");
  EXPECT_EQ(RunServer({"-srv:pdf", Dir / "in.rtf", Dir / "out.txt", "-err:" + Dir / "err.txt"}), 1);
  EXPECT_FALSE(ReadFileBytes(Dir / "err.txt").empty());
  EXPECT_FALSE(Exists(Dir / "out.txt"));
}

// The machine settings name the installed program; a "Temp" folder beside it is the temporary folder.
TEST_F(ConvServerTest, TheInstallationsTempFolderFromTheMachineSettings) {
  const std::string key = Dir / "machine/Quorvane/Scopewise/1.0";
  std::filesystem::create_directories(key);
  std::filesystem::create_directories(Dir / "install/Temp");
  const std::string path = Dir / "install/qvsearch";
  std::string value(4, '\0');
  value[0] = static_cast<char>(REG_SZ);
  WriteAll(key + "/@.val", value + path + std::string(1, '\0'));
  TRegStore store(TRegStore::TRoots{Dir / "user", Dir / "machine"});
  SetRegStore(&store);
  InitPluginTempFolder();
  SetRegStore(nullptr);
  std::string folder;
  ASSERT_TRUE(GetPluginTempFolder(folder));
  EXPECT_EQ(folder, Dir / "install/Temp/");
}

TEST_F(ConvServerTest, TemporaryFolderAndNames) {
  std::string folder;
  EXPECT_FALSE(SetTempFolderOverride(Dir / "absent"));
  ASSERT_TRUE(GetPluginTempFolder(folder));
  EXPECT_NE(folder, Dir.Path + "/");
  ASSERT_TRUE(SetTempFolderOverride(Dir.Path));
  ASSERT_TRUE(GetPluginTempFolder(folder));
  EXPECT_EQ(folder, Dir.Path + "/");
  std::string name;
  ASSERT_TRUE(MakePluginTempFile(name));
  EXPECT_EQ(name.substr(0, folder.size() + 2), folder + "QV");
  EXPECT_TRUE(Exists(name));
  EXPECT_FALSE(MakeTempFileNameIn(Dir / "absent", "QV", name));
  EXPECT_EQ(GetLastErrorText().substr(0, 23), "GetTempFileName error: ");
  // An override that disappears gives way to the system's folder.
  TTestDir gone;
  ASSERT_TRUE(SetTempFolderOverride(gone.Path));
  std::filesystem::remove_all(gone.Path);
  ASSERT_TRUE(GetPluginTempFolder(folder));
  EXPECT_NE(folder, gone.Path + "/");
}

}  // namespace
