// The search run: the checks before a search with their messages and focus, the set-up of the scanners,
// a search over a tree with Stop and Pause, the search within results, the filters, the error lines and
// the archive passwords, driven through a host without windows.
#include "app/SearchRun.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/MsgStr.h"
#include "app/Options.h"
#include "app/Utils.h"
#include "archive/ArcScan.h"
#include "core/FileLayer.h"
#include "core/StrUtils.h"
#include "tests/app/AppFixtures.h"
#include "tests/app/LogCapture.h"

namespace {

class TFakeHost : public ISearchHost {
 public:
  void ProcessMessages() override {
    ++Pumps;
    if (OnPump) OnPump(Pumps);
  }
  void WaitUntil(const std::function<bool()>& Done) override {
    ++Waits;
    if (OnWait) OnWait();
    EXPECT_TRUE(Done()) << "the pause would wait for ever";
  }
  uint32_t TickCount() override { return Tick += TickStep; }
  void RefreshRowCount() override { ++Refreshes; }
  void ClearSortMark() override { ++SortMarksCleared; }
  void SetStatusText(const std::u16string& Text, bool AddPeriod) override {
    Status = AddPeriod && !Text.empty() && Text.back() != u'.' ? Text + u"." : Text;
  }
  void FocusBox(TSearchBox Box) override { Focus = Box; }
  void ShowFields(const TSearchFields& Fields) override { Shown = Fields; }
  void StateChanged() override { ++StateChanges; }
  void SaveSettings() override { ++Saves; }
  void PostUserInterrupt() override { ++Interrupts; }
  TPasswordAnswer AskPassword(const std::string& ItemName, const std::string& ArcName) override {
    Asked.push_back(ArcName + "|" + ItemName);
    TPasswordAnswer A = PasswordAnswer;
    return A;
  }

  std::function<void(int)> OnPump;
  std::function<void()> OnWait;
  int Pumps = 0, Waits = 0, Refreshes = 0, SortMarksCleared = 0, StateChanges = 0, Saves = 0, Interrupts = 0;
  uint32_t Tick = 0, TickStep = 1;
  std::u16string Status;
  TSearchBox Focus = sbNone;
  TSearchFields Shown;
  std::vector<std::string> Asked;
  TPasswordAnswer PasswordAnswer;
};

class SearchRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDefaultOptions();
    ProgramSettings().ExcludedDirs.Clear();
    ProgramSettings().ViewOptions.WarningBits = 0;
    for (auto& Info : ArcInfos) Info.Enabled = true;
    WriteFileBytes(Tree / "a.txt", "say hello world");
    WriteFileBytes(Tree / "b.txt", "nothing here");
    ASSERT_EQ(mkdir((Tree / "sub").c_str(), 0755), 0);
    WriteFileBytes(Tree / "sub/c.txt", "hello again");
    WriteFileBytes(Tree / "sub/d.log", "hello in a log");
    Run.BindScanner();
    Fields.Pattern = u"hello";
    Fields.Paths = Utf8ToUtf16(Tree.Path);
    Fields.Masks = u"*.txt";
  }
  void TearDown() override { SetDefaultOptions(); }

  std::vector<std::string> Names() {
    std::vector<std::string> Result;
    for (int32_t I = 0; I < Run.Results().Count(); ++I)
      Result.push_back(Utf16ToUtf8(Run.Results().GetFullName(I)).substr(Tree.Path.size()));
    return Result;
  }
  // The messages of the boxes shown, as their texts.
  std::vector<std::u16string> Boxes() const {
    std::vector<std::u16string> Texts;
    for (const auto& R : Dialogs.Shown) Texts.push_back(R.Text);
    return Texts;
  }
  static std::u16string Msg(TMsgIndex Index) { return WideAddPeriod(GetMsgW(Index)); }

  TTempFolder Tree;
  TLogCapture Logged;
  TDialogScript Dialogs;
  TFakeHost Host;
  TFileScanner Scanner;
  TSearchRun Run{Scanner, Host, ProgramSettings()};
  TSearchFields Fields;
};

TEST_F(SearchRunTest, SearchFillsTheResultsAndReports) {
  Run.RunSearch(Fields);
  EXPECT_EQ(Names(), (std::vector<std::string>{"/a.txt", "/sub/c.txt"}));
  EXPECT_EQ(Run.FoundCount, 2);
  EXPECT_FALSE(Run.Busy);
  EXPECT_EQ(Host.Saves, 1);
  EXPECT_GT(Host.Pumps, 0);
  ASSERT_GE(Logged.Entries.size(), 2u);
  EXPECT_EQ(Logged.Entries.front().rfind(">>> " + GetMsg(TMsgIndex::SrchStart) + " ", 0), 0u);
  EXPECT_EQ(Logged.Entries.back().rfind("<<< " + GetMsg(TMsgIndex::SrchFin) + " ", 0), 0u);
  EXPECT_EQ(Host.Status, FormatMsgW(TMsgIndex::SrchStat_dd, {Scanner.FilesScanned, 2}) + u".");
  EXPECT_TRUE(Dialogs.Shown.empty());
  EXPECT_EQ(Scanner.Mode, smMatchName | smScanContents);
  EXPECT_EQ(Scanner.Scope, ssFilesAndArchives);
}

TEST_F(SearchRunTest, ElapsedTimeEndsTheLastLineInTimeMode) {
  Run.TimeMode = true;
  Host.TickStep = 250;
  Run.RunSearch(Fields);
  const std::string& Last = Logged.Entries.back();
  ASSERT_GE(Last.size(), 4u);
  EXPECT_EQ(Last.substr(Last.size() - 3), " s)") << Last;
}

TEST_F(SearchRunTest, ChecksEndTheRunWithTheirMessageAndFocus) {
  struct Case {
    const char* Name;
    std::function<void(TSearchFields&)> Change;
    std::vector<int> Answers;
    std::vector<std::u16string> Boxes;
    TSearchBox Focus;
  };
  std::u16string Long(kMaxPatternLength + 1, u'x');
  const Case Cases[] = {
      {"empty paths",
       [](TSearchFields& F) { F.Paths = u"  "; },
       {},
       {Msg(TMsgIndex::SrchPathIsEmpty)},
       sbPaths},
      {"relative path refused",
       [](TSearchFields& F) { F.Paths = u"relative/dir"; },
       {mrNo},
       {WideAddPeriod(FormatMsgW(TMsgIndex::AskDelInvPaths_s, {std::u16string(u"relative/dir")}))},
       sbPaths},
      {"invalid mask refused",
       [](TSearchFields& F) { F.Masks = u"a|b"; },
       {mrNo},
       {WideAddPeriod(FormatMsgW(TMsgIndex::AskDelInvMasks_s, {std::u16string(u"a|b")}))},
       sbMasks},
      {"all files refused",
       [](TSearchFields& F) { F.Masks = u"*.*"; },
       {mrNo},
       {Msg(TMsgIndex::AskNoFileTypes)},
       sbMasks},
      {"empty pattern refused",
       [](TSearchFields& F) { F.Pattern = u""; },
       {mrNo},
       {Msg(TMsgIndex::AskSearchIfEmptyPattern)},
       sbPattern},
      {"pattern too long",
       [&](TSearchFields& F) { F.Pattern = Long; },
       {},
       {Msg(TMsgIndex::SrchPatTooLong)},
       sbPattern},
      {"convert only without converters",
       [](TSearchFields& F) {
         F.DirectScan = false;
         F.ConvertToText = true;
       },
       {},
       {Msg(TMsgIndex::ConvAllDisabled)},
       sbNone},
      {"archives only, every kind off",
       [](TSearchFields& F) {
         F.PlainFiles = false;
         for (auto& Info : ArcInfos) Info.Enabled = false;
       },
       {},
       {Msg(TMsgIndex::ArcAllDisabled)},
       sbNone},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    SetDefaultOptions();
    ProgramSettings().ViewOptions.WarningBits = 0;
    for (auto& Info : ArcInfos) Info.Enabled = true;
    TSearchFields F = Fields;
    C.Change(F);
    Dialogs.Shown.clear();
    Dialogs.Answers.assign(C.Answers.begin(), C.Answers.end());
    Host.Focus = sbNone;
    Logged.Entries.clear();
    Run.RunSearch(F);
    EXPECT_EQ(Boxes(), C.Boxes);
    EXPECT_EQ(Host.Focus, C.Focus);
    EXPECT_TRUE(Logged.Entries.empty()) << "no search started";
    EXPECT_EQ(Host.Saves, 0);
  }
  for (auto& Info : ArcInfos) Info.Enabled = true;
}

// The search dialog has asked about an empty pattern and an all-files mask before the run starts; the
// run used to ask both again, so the user answered each question twice.
TEST_F(SearchRunTest, DialogStyleAsksNothingTheDialogAsked) {
  Fields.CheckedByDialog = true;
  Fields.Pattern = u"";
  Fields.Masks = u"  *.*  ";
  Fields.Paths = u"  " + Fields.Paths + u" ";
  Run.RunSearch(Fields);
  EXPECT_TRUE(Dialogs.Shown.empty()) << Utf16ToUtf8(Boxes().empty() ? u"" : Boxes()[0]);
  EXPECT_EQ(Logged.Count(">>> "), 1) << "the search ran";
  EXPECT_EQ(Fields.Masks, u"*.*");
  EXPECT_EQ(Fields.Paths, Utf8ToUtf16(Tree.Path));
  // In the panel style the same run asks both questions, once each.
  Fields.CheckedByDialog = false;
  Dialogs.Answers = {mrYes, mrYes};
  Run.RunSearch(Fields);
  EXPECT_EQ(Boxes(), (std::vector<std::u16string>{Msg(TMsgIndex::AskNoFileTypes),
                                                  Msg(TMsgIndex::AskSearchIfEmptyPattern)}));
}

TEST_F(SearchRunTest, EmptyPatternInResultsEndsSilently) {
  Fields.Pattern = u"   ";
  Fields.Fuzzy = true;
  Fields.InResults = true;
  Run.RunSearch(Fields);
  EXPECT_TRUE(Dialogs.Shown.empty());
  EXPECT_TRUE(Logged.Entries.empty());
}

TEST_F(SearchRunTest, PatternOfTheLongestLengthIsSearched) {
  Fields.Pattern = std::u16string(kMaxPatternLength, u'x');
  Run.RunSearch(Fields);
  EXPECT_EQ(Logged.Count(">>> "), 1);
  EXPECT_EQ(Boxes(), (std::vector<std::u16string>{Msg(TMsgIndex::SrchPatNotFound)}));
}

TEST_F(SearchRunTest, BlanksAreTrimmedForFuzzyAndWordLogicsOnly) {
  struct Case {
    bool Fuzzy;
    int32_t Logic;
    std::u16string Searched;
  };
  const Case Cases[] = {
      {false, 0, u" hello "}, {true, 0, u"hello"}, {false, 1, u"hello"}, {false, 2, u"hello"}};
  for (const auto& C : Cases) {
    Fields.Pattern = u" hello ";
    Fields.Fuzzy = C.Fuzzy;
    Fields.LogicIndex = C.Logic;
    Run.RunSearch(Fields);
    EXPECT_EQ(Scanner.Scanner.GetPattern(), C.Searched);
    EXPECT_EQ(Scanner.Scanner.GetLogic(), LogicOfIndex(C.Logic));
  }
}

TEST_F(SearchRunTest, FallbacksSwitchBoxesOnAndWarn) {
  // Neither direct scan nor conversion: direct scan comes on.
  Fields.DirectScan = false;
  Fields.ConvertToText = false;
  // No charset: ANSI comes on, the scanner gets the empty set.
  Fields.Ansi = false;
  Run.RunSearch(Fields);
  EXPECT_TRUE(Host.Shown.DirectScan);
  EXPECT_TRUE(Host.Shown.Ansi);
  EXPECT_EQ(Scanner.Encodings, 0);
  EXPECT_EQ(Run.FoundCount, 2);

  // Both kinds off: plain files come on. Archives on with every kind off: a warning, and the search runs.
  Fields.PlainFiles = false;
  Fields.Archives = false;
  Run.RunSearch(Fields);
  EXPECT_TRUE(Host.Shown.PlainFiles);
  EXPECT_EQ(Scanner.Scope, ssFilesOnly);
  for (auto& Info : ArcInfos) Info.Enabled = false;
  Fields.PlainFiles = true;
  Fields.Archives = true;
  Dialogs.Shown.clear();
  Run.RunSearch(Fields);
  EXPECT_EQ(Boxes(), (std::vector<std::u16string>{Msg(TMsgIndex::ArcAllDisabled)}));
  EXPECT_EQ(Dialogs.Shown[0].DlgType, mtWarning);
  EXPECT_EQ(Run.FoundCount, 2);
}

TEST_F(SearchRunTest, DontAskAgainKeepsAnsweringYes) {
  Fields.Pattern = u"";
  Dialogs.Answers = {mrNo};
  Dialogs.TickDontAsk = {true};
  Run.RunSearch(Fields);
  EXPECT_EQ(Host.Focus, sbPattern);
  EXPECT_EQ(Logged.Count(">>> "), 0);
  // The ticked box stored the bit: the next empty-pattern search runs without asking.
  Dialogs.Shown.clear();
  Run.RunSearch(Fields);
  EXPECT_TRUE(Dialogs.Shown.empty());
  EXPECT_EQ(Logged.Count(">>> "), 1);
  // Every file that passes the masks is a hit, and the report counts 0 scanned files.
  EXPECT_EQ(Names(), (std::vector<std::string>{"/a.txt", "/b.txt", "/sub/c.txt"}));
  EXPECT_EQ(Host.Status, FormatMsgW(TMsgIndex::SrchStat_dd, {0, 3}) + u".");
}

TEST_F(SearchRunTest, EndMessages) {
  Fields.Pattern = u"absent";
  Run.RunSearch(Fields);
  EXPECT_EQ(Boxes(), (std::vector<std::u16string>{Msg(TMsgIndex::SrchPatNotFound)}));

  // Archives only, and no archive anywhere: no supported archive was found.
  Dialogs.Shown.clear();
  Fields.PlainFiles = false;
  Run.RunSearch(Fields);
  EXPECT_EQ(Boxes(), (std::vector<std::u16string>{Msg(TMsgIndex::SrchNoSupArcFound)}));
}

TEST_F(SearchRunTest, StopEndsTheSearchWithOneInterruptAndNoClosingLine) {
  Host.OnPump = [&](int Pump) {
    if (Pump == 3) Run.SearchStopExec();
  };
  Run.RunSearch(Fields);
  EXPECT_EQ(Host.Interrupts, 1);
  EXPECT_EQ(Logged.Count("<<< "), 0);
  EXPECT_FALSE(Run.StopRequested) << "reset when the search ends";
  EXPECT_FALSE(Run.Busy);
  EXPECT_TRUE(Dialogs.Shown.empty()) << "a stopped search reports no 'not found'";
  EXPECT_EQ(TSearchRun::UserInterruptLine(0).rfind("<<< " + GetMsg(TMsgIndex::UserInterrupt) + " ", 0), 0u);
}

TEST_F(SearchRunTest, PauseWaitsAndResumes) {
  Host.OnPump = [&](int Pump) {
    if (Pump == 2) Run.SearchPauseExec();
  };
  // The user presses Pause again while the search waits.
  Host.OnWait = [&] {
    EXPECT_TRUE(Run.Paused);
    Run.SearchPauseExec();
  };
  Run.RunSearch(Fields);
  EXPECT_EQ(Host.Waits, 1);
  EXPECT_FALSE(Run.Paused);
  EXPECT_EQ(Run.FoundCount, 2);
  EXPECT_EQ(Logged.Count("<<< "), 1);
}

TEST_F(SearchRunTest, StopDuringThePauseEndsTheSearch) {
  Host.OnPump = [&](int Pump) {
    if (Pump == 2) Run.SearchPauseExec();
  };
  Host.OnWait = [&] { Run.SearchStopExec(); };
  Run.RunSearch(Fields);
  EXPECT_FALSE(Run.Paused);
  EXPECT_EQ(Logged.Count("<<< "), 0);
  EXPECT_EQ(Host.Interrupts, 1);
}

TEST_F(SearchRunTest, SearchInResultsNarrowsTheRows) {
  Run.RunSearch(Fields);
  ASSERT_EQ(Run.Results().Count(), 2);
  WriteFileBytes(Tree / "extra.txt", "hello again, not in the results");
  Fields.Pattern = u"again";
  Fields.InResults = true;
  Run.RunSearch(Fields);
  EXPECT_EQ(Names(), (std::vector<std::string>{"/sub/c.txt"}));
  // The duplicate filter is back for the next search.
  EXPECT_TRUE(static_cast<bool>(Scanner.OnAcceptFile));
}

TEST_F(SearchRunTest, OverlappingRootsGiveEachFileOnce) {
  Fields.Paths = Utf8ToUtf16(Tree.Path + " " + Tree.Path + "/sub " + Tree.Path + "/sub/c.txt");
  Run.RunSearch(Fields);
  EXPECT_EQ(Names(), (std::vector<std::string>{"/a.txt", "/sub/c.txt"}));
}

TEST_F(SearchRunTest, ExcludedFoldersAreSkippedAndLogged) {
  ProgramSettings().ExcludedDirs.Add(Utf8ToUtf16(Tree.Path + "/sub/"));
  // A folder that differs only in case is another folder here.
  ProgramSettings().ExcludedDirs.Add(Utf8ToUtf16(Tree.Path + "/SUB2/"));
  ASSERT_EQ(mkdir((Tree / "sub2").c_str(), 0755), 0);
  WriteFileBytes(Tree / "sub2/e.txt", "hello");
  Run.RunSearch(Fields);
  EXPECT_EQ(Names(), (std::vector<std::string>{"/a.txt", "/sub2/e.txt"}));
  EXPECT_EQ(Logged.Count(FormatMsg(TMsgIndex::DirExcluded_s, {Tree.Path + "/sub"})), 1);
}

TEST_F(SearchRunTest, DateAndSizeFilter) {
  Run.UseDateFilter = true;
  Run.DateFrom = 45000;
  Run.DateTo = 45010;
  Run.UseSizeFilter = true;
  Run.SizeFrom = 100;
  Run.SizeTo = 1000;
  struct Case {
    TDateTime Date;
    int64_t Size;
    bool SizeIncomplete;
    bool Accepted;
  };
  const Case Cases[] = {
      {45005, 500, false, true},    {44999.9, 500, false, false}, {45010.75, 500, false, true},
      {45011.0, 500, false, false}, {45005, 99, false, false},    {45005, 99, true, true},
      {45005, 1001, true, false},   {45005, 1000, false, true},
  };
  for (const auto& C : Cases)
    EXPECT_EQ(Run.FileScanFilterFile(u"/x", C.SizeIncomplete, C.Date, C.Size), C.Accepted)
        << C.Date << " " << C.Size;
  // Open bounds reject nothing.
  Run.DateFrom = Run.DateTo = 0;
  Run.SizeFrom = Run.SizeTo = -1;
  EXPECT_TRUE(Run.FileScanFilterFile(u"/x", false, 1, 0));
}

TEST_F(SearchRunTest, SwappedBoundsAreOrderedBeforeTheSearch) {
  Fields.FilterOn = Fields.SizeFilterOn = Fields.DateFilterOn = true;
  Fields.SizeFromText = u"10";
  Fields.SizeToText = u"1";
  Fields.SizeUnits = suMegabytes;
  Fields.DateFrom = 45010;
  Fields.DateTo = 45000;
  Fields.Pattern = u"absent";
  Run.RunSearch(Fields);
  EXPECT_EQ(Run.SizeFrom, 1048576);
  EXPECT_EQ(Run.SizeTo, 10 * 1048576);
  EXPECT_EQ(Run.DateFrom, 45000);
  EXPECT_EQ(Run.DateTo, 45010);
}

TEST(ScanErrorLines, ByKind) {
  SetDefaultOptions();
  const std::u16string N = u"/d/f.bin";
  const std::string Q = "\"/d/f.bin\"";
  struct Case {
    TScanErrorKind Kind;
    std::string Text;
    int32_t OSCode;
    bool Debug;
    std::string Line;  // empty: nothing logged
  };
  const std::string Os = std::string(" ") + strerror(13);
  const Case Cases[] = {
      {sekPathNotFound, "ignored", 0, false,
       FormatMsg(TMsgIndex::PathNotExists_s, {std::string("/d/f.bin")}) + "."},
      {sekOpenFailed, "", 13, false, GetMsg(TMsgIndex::ErrOpenFile) + " " + Q + "." + Os + "."},
      {sekOpenFailed, "Class TVBufFileStream: denied", 13, false,
       GetMsg(TMsgIndex::ErrOpenFile) + " " + Q + "." + Os + "."},
      {sekScanFailed, "read error", 0, false, GetMsg(TMsgIndex::ErrScanFile) + " " + Q + ".\r\nread error."},
      {sekConvertFailed, "", 0, false, ""},
      {sekConvertFailed, "bad doc", 0, false,
       FormatMsg(TMsgIndex::FileConvError_s, {std::string("/d/f.bin")}) + ".\r\nbad doc."},
      {sekEmptyFile, "", 0, false, ""},
      {sekEmptyFile, "", 0, true, FormatMsg(TMsgIndex::FileIsEmpty_s, {std::string("/d/f.bin")}) + "."},
      {sekNotText, "", 0, false, ""},
      {sekArchiveUnsupported, "", 0, false, ""},
      {sekArchiveDisabled, "", 0, false, ""},
      {sekSubArchiveDisabled, "", 0, false, ""},
      {sekArchiveTooLarge, "", 0, false,
       FormatMsg(TMsgIndex::ArcTooLarge_sd,
                 {std::string("/d/f.bin"), ProgramSettings().MaxArchiveSize / 1048576}) +
           "."},
      {sekException, "boom", 0, false, GetMsg(TMsgIndex::Exception) + " (" + Q + ").\r\nboom."},
      // A text that names the file is the whole line, once.
      {sekException, "cannot read /D/F.BIN now", 0, false, "cannot read /D/F.BIN now."},
      {sekAborted, "", 0, false, ""},
  };
  for (const auto& C : Cases)
    EXPECT_EQ(ScanErrorLine(N, C.Text, C.OSCode, C.Kind, C.Debug, ProgramSettings()), C.Line)
        << int(C.Kind) << " " << C.Text;
  // An ordinary program that is no self-extracting archive: nothing.
  EXPECT_EQ(ScanErrorLine(u"/d/setup.EXE", "", 0, sekArchiveOpenFailed, true, ProgramSettings()), "");
  EXPECT_EQ(ScanErrorLine(u"/d/a.zip", "", 0, sekArchiveOpenFailed, false, ProgramSettings()),
            GetMsg(TMsgIndex::ErrOpenArc) + " \"/d/a.zip\".");
}

TEST_F(SearchRunTest, ErrorsAreLoggedShownAndFramed) {
  ProgramSettings().ViewOptions.LogWindow = true;
  Run.FileScanError(u"/x", "", 0, sekTooLarge);
  Run.FileScanError(u"/y", "", 0, sekEmptyFile);  // not in debug mode: nothing
  Run.FileScanError(u"", "", 0, sekAborted);
  Run.FileScanError(u"", "", 0, sekAborted);
  EXPECT_TRUE(Run.ErrorsLogged);
  ASSERT_EQ(Logged.Entries.size(), 1u);
  EXPECT_EQ(Logged.Entries[0], "---\r\n" + FormatMsg(TMsgIndex::FileTooLarge_s, {std::string("/x")}) + ".");
  EXPECT_TRUE(Logged.Shows[0]);
  EXPECT_EQ(Host.Interrupts, 1);
}

TEST_F(SearchRunTest, PasswordsAreOfferedNewestFirstPerItem) {
  Host.PasswordAnswer = {true, "first", 0};
  std::string P;
  // No stored password: the question, and the answer is stored.
  EXPECT_TRUE(Run.FileScanPassword("/t/a.zip", "/t/a.zip", P, "x.txt"));
  EXPECT_EQ(P, "first");
  Host.PasswordAnswer = {true, "second", 0};
  EXPECT_TRUE(Run.FileScanPassword("/t/a.zip", "/t/a.zip", P, "x.txt"));
  EXPECT_EQ(P, "second");
  EXPECT_EQ(Host.Asked.size(), 2u);
  // The next item gets the stored ones again, newest first, before any question.
  std::vector<std::string> Offered;
  for (int I = 0; I < 2; ++I) {
    ASSERT_TRUE(Run.FileScanPassword("/t/a.zip", "/t/a.zip", P, "y.txt"));
    Offered.push_back(P);
  }
  EXPECT_EQ(Offered, (std::vector<std::string>{"second", "first"}));
  EXPECT_EQ(Host.Asked.size(), 2u);
  // Cancel: no password.
  Host.PasswordAnswer = {false, "", 0};
  EXPECT_FALSE(Run.FileScanPassword("/t/a.zip", "/t/a.zip", P, "y.txt"));
  // "Never ask": skipped from now on, and the flag is kept.
  Run.RecentPasswords.Clear();
  Host.PasswordAnswer = {true, "third", 2};
  EXPECT_FALSE(Run.FileScanPassword("/t/b.zip", "/t/b.zip", P, "z.txt"));
  EXPECT_TRUE(ProgramSettings().ArchiveFlags.SkipProtectedArchives);
  EXPECT_FALSE(Run.FileScanPassword("/t/c.zip", "/t/c.zip", P, "z.txt"));
}

TEST_F(SearchRunTest, AtMostTenPasswordsAreKept) {
  std::string P;
  for (int I = 0; I < 11; ++I) {
    Host.PasswordAnswer = {true, "p" + std::to_string(I), 0};
    ASSERT_TRUE(Run.FileScanPassword("/a.zip", "/a.zip", P, "item" + std::to_string(I)));
    // Each new item first gets every stored password; the script answers the question after them.
    while (P != "p" + std::to_string(I))
      ASSERT_TRUE(Run.FileScanPassword("/a.zip", "/a.zip", P, "item" + std::to_string(I)));
  }
  ASSERT_EQ(Run.RecentPasswords.GetCount(), kMaxRecentPasswords);
  EXPECT_EQ(Run.RecentPasswords.Get(0), "p10");
  EXPECT_EQ(Run.RecentPasswords.Get(9), "p1");
}

TEST_F(SearchRunTest, FoundHitsClearTheSortMarkAndRefreshAtMostEvery100ms) {
  Host.TickStep = 10;
  TFoundFileInfo Info;
  for (int I = 0; I < 30; ++I) {
    Info.Name = u"/f" + Utf8ToUtf16(std::to_string(I));
    Run.FileScanFound(Info);
  }
  EXPECT_EQ(Run.FoundCount, 30);
  EXPECT_EQ(Host.SortMarksCleared, 30);
  // 30 hits 10 ms apart: about one refresh per 100 ms.
  EXPECT_GE(Host.Refreshes, 2);
  EXPECT_LE(Host.Refreshes, 4);
  Run.RefreshCount(true);
  EXPECT_EQ(Run.Results().Count(), 30);
}

}  // namespace
