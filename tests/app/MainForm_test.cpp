#include "app/MainForm.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/MsgStr.h"
#include "app/Options.h"
#include "core/FileLayer.h"
#include "core/StrLst.h"
#include "core/VFileSys.h"
#include "platform/registry/RegStore.h"
#include "search/QVConvIntf.h"
#include "tests/app/AppFixtures.h"
#include "tests/app/LogCapture.h"

namespace {

TEST(MainLog, SeparatorFramesAnEntryWithoutDoubling) {
  // Each row: entries logged with their separator flag, and the text that each reaches the window with.
  struct Case {
    std::vector<std::pair<std::string, bool>> Logged;
    std::vector<std::string> Expected;
  };
  const Case Cases[] = {
      {{{"a", false}, {"b", true}, {"c", false}}, {"a", "---\r\nb", "---\r\nc"}},
      {{{"a", true}, {"b", true}, {"c", false}}, {"---\r\na", "---\r\nb", "---\r\nc"}},
      {{{"a", false}, {"b", false}}, {"a", "b"}},
  };
  for (const auto& C : Cases) {
    TLogCapture Capture;
    for (const auto& [Text, Separator] : C.Logged) Log(Text, false, Separator);
    EXPECT_EQ(Capture.Entries, C.Expected);
  }
}

TEST(MainLog, LineBreaksBecomeCrLf) {
  TLogCapture Capture;
  Log("one\ntwo\rthree\r\nfour");
  ASSERT_EQ(Capture.Entries.size(), 1u);
  EXPECT_EQ(Capture.Entries[0], "one\r\ntwo\r\nthree\r\nfour");
}

TEST(MainLog, BufferedUntilTheWindowTakesItWithTheShowRequestKept) {
  TLogCapture Capture;
  LogWindowSink = nullptr;
  ProgramSettings().ViewOptions.LogWindow = true;
  Log("first", false);
  Log("second", true);
  EXPECT_EQ(LogBuffer, "first\r\nsecond");
  EXPECT_TRUE(LogBufferShow);
  std::vector<std::pair<std::string, bool>> Got;
  LogWindowSink = [&](const std::string& Text, bool Show) { Got.emplace_back(Text, Show); };
  FlushLogBuffer();
  ASSERT_EQ(Got.size(), 1u);
  EXPECT_EQ(Got[0].first, "first\r\nsecond");
  EXPECT_TRUE(Got[0].second);
  EXPECT_TRUE(LogBuffer.empty());

  // With the log window switched off, no entry asks to show it.
  ProgramSettings().ViewOptions.LogWindow = false;
  Got.clear();
  Log("third", true);
  ASSERT_EQ(Got.size(), 1u);
  EXPECT_FALSE(Got[0].second);
}

TEST(MainLog, LogFileIsRecreatedAndGetsEveryEntry) {
  TTempFolder Folder;
  std::string Name = Folder / "Scryline.log";
  WriteFileBytes(Name, "old content\r\n");
  TLogCapture Capture;
  OpenLogFile(Name);
  Log("entry one");
  Log("entry two", false, true);
  CloseLogFile();
  EXPECT_EQ(ReadFileBytes(Name), "entry one\r\n---\r\nentry two\r\n");

  // A log file that cannot be made is no error: logging goes on without it.
  OpenLogFile(Folder / "missing/folder/x.log");
  EXPECT_EQ(LogFile, nullptr);
  Log("still logged");
  EXPECT_EQ(Capture.Entries.back(), "---\r\nstill logged");
}

TEST(MainCommandLine, OptionsTable) {
  struct Case {
    std::vector<const char*> Args;
    std::u16string Text, Path, Mask;
    bool Debug, Time, Mem, LogFile;
  };
  const Case Cases[] = {
      {{"/opt/scry/Scryline"}, u"", u"", u"", false, false, false, false},
      {{"/opt/scry/Scryline", "-text:\"a b\"", "-path:\"/x y\"", "-MASK:*.txt"},
       u"a b",
       u"\"/x y\"",
       u"*.txt",
       false,
       false,
       false,
       false},
      {{"/opt/scry/Scryline", "-debug", "-log"}, u"", u"", u"", true, false, true, true},
      {{"/opt/scry/Scryline", "-time", "-mem", "/home/user/notes"}, u"", u"", u"", false, true, true, false},
      {{"/opt/scry/Scryline", "-text:", "-mask:\"\""}, u"", u"", u"", false, false, false, false},
  };
  for (const auto& C : Cases) {
    TMainCommandLine L = ParseMainCommandLine(static_cast<int>(C.Args.size()), C.Args.data());
    SCOPED_TRACE(C.Args.size() > 1 ? C.Args[1] : "none");
    EXPECT_EQ(L.ProgramPath, u"/opt/scry/Scryline");
    EXPECT_EQ(L.Text, C.Text);
    EXPECT_EQ(L.Path, C.Path);
    EXPECT_EQ(L.Mask, C.Mask);
    EXPECT_EQ(L.DebugMode, C.Debug);
    EXPECT_EQ(L.TimeMode, C.Time);
    EXPECT_EQ(L.MemoryMode, C.Mem);
    EXPECT_EQ(L.LogToFile, C.LogFile);
  }
}

TEST(MainCommandLine, LogFileNameReplacesTheExtension) {
  EXPECT_EQ(LogFileNameFor(u"/opt/scry/Scryline"), u"/opt/scry/Scryline.log");
  EXPECT_EQ(LogFileNameFor(u"/opt/scry/Scryline.bin"), u"/opt/scry/Scryline.log");
  EXPECT_EQ(LogFileNameFor(u"/opt/v1.2/Scryline"), u"/opt/v1.2/Scryline.log");
  EXPECT_EQ(LogFileNameFor(u"/opt/scry/.hidden"), u"/opt/scry/.hidden.log");
}

TEST(MainStatus, TextPeriodAndMemoryFigure) {
  EXPECT_EQ(StatusLineText(u"Searching", false, false, 0), u"Searching");
  EXPECT_EQ(StatusLineText(u"Done", true, false, 0), u"Done.");
  EXPECT_EQ(StatusLineText(u"Done!", true, false, 0), u"Done!");
  EXPECT_EQ(StatusLineText(u"/a/b", false, true, 12345), u"/a/b. Memory allocated: 12345.");
}

TEST(MainStartup, ErrorAndExceptionLines) {
  EXPECT_EQ(StartupErrorLine(static_cast<int32_t>(TMsgIndex::ErrLoadOpt_s), "Read after end error"),
            FormatMsg(TMsgIndex::ErrLoadOpt_s, {std::string("read after end error")}));
  EXPECT_EQ(ExceptionLogLine("disk full"), GetMsg(TMsgIndex::Exception) + ". Disk full.");
}

TEST(MainStartup, LoadConvertersLogsEachFileOrTheEmptyFolder) {
  TTempFolder Folder;
  {
    TLogCapture Capture;
    TQVConverters Converters;
    EXPECT_EQ(LoadConverters(Converters, Folder.Path + "/", TStrLst()), 0);
    ASSERT_EQ(Capture.Entries.size(), 1u);
    EXPECT_EQ(Capture.Entries[0], FormatMsg(TMsgIndex::ConvNotFoundIn_s, {Folder.Path}));
  }
  // A file with the plug-in name that is no library: its own line, and the host keeps nothing.
  WriteFileBytes(Folder / "impbad.so", "not a library");
  WriteFileBytes(Folder / "other.so", "ignored: not a plug-in name");
  TLogCapture Capture;
  TQVConverters Converters;
  EXPECT_EQ(LoadConverters(Converters, Folder.Path, TStrLst()), 0);
  ASSERT_EQ(Capture.Entries.size(), 1u);
  std::string Expected =
      FormatMsg(TMsgIndex::ConvCantLoad_ss, {Folder / "impbad.so", Converters.LastLoadError});
  EXPECT_EQ(Capture.Entries[0].substr(0, Expected.size() - 1), Expected.substr(0, Expected.size() - 1));
  EXPECT_EQ(Converters.Count(), 0);
}

#ifdef SCRYLINE_TEST_PLUGINS
TEST(MainStartup, DisabledPluginIsLoggedAsLoadedAndDisabled) {
  TLogCapture Capture;
  TQVConverters Converters;
  TStrLst Files;
  ListFiles(Files, SCRYLINE_TEST_PLUGINS, kConverterMask, false);
  ASSERT_GT(Files.GetCount(), 0);
  Files.Sort();
  std::string First = Utf16ToUtf8(WideExtractFileName(Utf8ToUtf16(Files.Get(0))));
  TStrLst Disabled;
  Disabled.Add(First);
  LoadConverters(Converters, SCRYLINE_TEST_PLUGINS, Disabled);
  ASSERT_FALSE(Capture.Entries.empty());
  std::string Loaded = FormatMsg(TMsgIndex::ConvLoaded_s, {First});
  EXPECT_EQ(Capture.Entries[0].rfind(Loaded, 0), 0u) << Capture.Entries[0];
  EXPECT_NE(Capture.Entries[0].find(" " + GetMsg(TMsgIndex::Disabled)), std::string::npos)
      << Capture.Entries[0];
}
#endif

}  // namespace

namespace {

// A machine key written the way the store keeps it: a folder per key, "<name>.val" holding the type as
// 4 bytes and then the value's bytes.
void WriteMachineValue(const std::string& Root, const std::string& Bytes) {
  std::filesystem::create_directories(Root + "/Quorvane");
  WriteFileBytes(Root + "/Quorvane/SharedFilesDir.val", std::string("\x01\0\0\0", 4) + Bytes);
}

TEST(MainStartup, SharedFilesDirFromTheMachineKey) {
  TTempFolder User, Machine;
  TRegStore Store({User.Path, Machine.Path});
  SetRegStore(&Store);
  EXPECT_EQ(ReadSharedFilesDir(), "");
  WriteMachineValue(Machine.Path, std::string("/opt/quorvane\0junk", 18));
  EXPECT_EQ(ReadSharedFilesDir(), "/opt/quorvane/");
  WriteMachineValue(Machine.Path, std::string(300, 'a'));
  EXPECT_EQ(ReadSharedFilesDir().size(), 262u) << "at most 261 bytes, and the separator";
  SetRegStore(nullptr);
}

TEST(MainStartup, ProgramFolderIsSearchedOnlyWithoutSharedPlugins) {
  TTempFolder Shared, Program;
  {
    // No shared folder: the program folder alone.
    TLogCapture Capture;
    TQVConverters Converters;
    LoadStartupConverters(Converters, "", Program.Path + "/", TStrLst());
    EXPECT_EQ(Capture.Entries,
              (std::vector<std::string>{FormatMsg(TMsgIndex::ConvNotFoundIn_s, {Program.Path})}));
  }
  {
    // A shared folder without plug-ins: both are looked at.
    TLogCapture Capture;
    TQVConverters Converters;
    LoadStartupConverters(Converters, Shared.Path + "/", Program.Path + "/", TStrLst());
    EXPECT_EQ(Capture.Entries,
              (std::vector<std::string>{FormatMsg(TMsgIndex::ConvNotFoundIn_s, {Shared.Path}),
                                        FormatMsg(TMsgIndex::ConvNotFoundIn_s, {Program.Path})}));
  }
#ifdef SCRYLINE_TEST_PLUGINS
  {
    // Plug-ins in the shared folder: the program folder is not searched.
    TLogCapture Capture;
    TQVConverters Converters;
    LoadStartupConverters(Converters, std::string(SCRYLINE_TEST_PLUGINS) + "/", Program.Path + "/",
                          TStrLst());
    EXPECT_GT(Converters.Count(), 0);
    EXPECT_EQ(Capture.Count(Program.Path), 0);
  }
#endif
}

}  // namespace

TEST(MainStartup, ExcludedFoldersOfAFirstRunAndOfStoredSettings) {
  TWideStrLst Dirs;
  PrepareExcludedDirs(Dirs, true, u"/tmp/");
  std::vector<std::u16string> Got;
  for (int32_t I = 0; I < Dirs.GetCount(); ++I) Got.push_back(Dirs.Get(I));
  EXPECT_EQ(Got, (std::vector<std::u16string>{u"/dev/", u"/proc/", u"/sys/", u"/tmp/"}));
  // Stored settings are taken as they are, each entry with its trailing "/" and the list sorted.
  TWideStrLst Stored;
  Stored.Add(u"/srv/b");
  Stored.Add(u"/srv/a/");
  PrepareExcludedDirs(Stored, false, u"/tmp/");
  ASSERT_EQ(Stored.GetCount(), 2);
  EXPECT_EQ(Stored.Get(0), u"/srv/a/");
  EXPECT_EQ(Stored.Get(1), u"/srv/b/");
}
