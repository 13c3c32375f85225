// The search run: the checks before a search with their messages and focus, the set-up of the scanners,
// a search over a tree with Stop and Pause, the search within results, the filters, the error lines and
// the archive passwords, driven through a host without windows.
#include "app/SearchRun.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
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
    WriteFileBytes(Tree_ / "a.txt", "say hello world");
    WriteFileBytes(Tree_ / "b.txt", "nothing here");
    ASSERT_EQ(mkdir((Tree_ / "sub").c_str(), 0755), 0);
    WriteFileBytes(Tree_ / "sub/c.txt", "hello again");
    WriteFileBytes(Tree_ / "sub/d.log", "hello in a log");
    Run_.BindScanner();
    Fields_.Pattern = u"hello";
    Fields_.Paths = Utf8ToUtf16(Tree_.Path);
    Fields_.Masks = u"*.txt";
  }
  void TearDown() override { SetDefaultOptions(); }

  std::vector<std::string> Names() {
    std::vector<std::string> Result;
    for (int32_t I = 0; I < Run_.Results().Count(); ++I)
      Result.push_back(Utf16ToUtf8(Run_.Results().GetFullName(I)).substr(Tree_.Path.size()));
    return Result;
  }
  // The messages of the boxes shown, as their texts.
  std::vector<std::u16string> Boxes() const {
    std::vector<std::u16string> Texts;
    for (const auto& R : Dialogs_.Shown) Texts.push_back(R.Text);
    return Texts;
  }
  static std::u16string Msg(TMsgIndex Index) { return WideAddPeriod(GetMsgW(Index)); }

  TTempFolder Tree_;
  TLogCapture Logged_;
  TDialogScript Dialogs_;
  TFakeHost Host_;
  TFileScanner Scanner_;
  TSearchRun Run_{Scanner_, Host_, ProgramSettings()};
  TSearchFields Fields_;
};

TEST_F(SearchRunTest, SearchFillsTheResultsAndReports) {
  Run_.RunSearch(Fields_);
  EXPECT_EQ(Names(), (std::vector<std::string>{"/a.txt", "/sub/c.txt"}));
  EXPECT_EQ(Run_.FoundCount, 2);
  EXPECT_FALSE(Run_.Busy);
  EXPECT_EQ(Host_.Saves, 1);
  EXPECT_GT(Host_.Pumps, 0);
  ASSERT_GE(Logged_.Entries.size(), 2u);
  EXPECT_EQ(Logged_.Entries.front().rfind(">>> " + GetMsg(TMsgIndex::SrchStart) + " ", 0), 0u);
  EXPECT_EQ(Logged_.Entries.back().rfind("<<< " + GetMsg(TMsgIndex::SrchFin) + " ", 0), 0u);
  EXPECT_EQ(Host_.Status, FormatMsgW(TMsgIndex::SrchStat_dd, {Scanner_.FilesScanned, 2}) + u".");
  EXPECT_TRUE(Dialogs_.Shown.empty());
  EXPECT_EQ(Scanner_.Mode, smMatchName | smScanContents);
  EXPECT_EQ(Scanner_.Scope, ssFilesAndArchives);
}

TEST_F(SearchRunTest, ElapsedTimeEndsTheLastLineInTimeMode) {
  Run_.TimeMode = true;
  Host_.TickStep = 250;
  Run_.RunSearch(Fields_);
  const std::string& Last = Logged_.Entries.back();
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
    TSearchFields F = Fields_;
    C.Change(F);
    Dialogs_.Shown.clear();
    Dialogs_.Answers.assign(C.Answers.begin(), C.Answers.end());
    Host_.Focus = sbNone;
    Logged_.Entries.clear();
    Run_.RunSearch(F);
    EXPECT_EQ(Boxes(), C.Boxes);
    EXPECT_EQ(Host_.Focus, C.Focus);
    EXPECT_TRUE(Logged_.Entries.empty()) << "no search started";
    EXPECT_EQ(Host_.Saves, 0);
  }
  for (auto& Info : ArcInfos) Info.Enabled = true;
}

// The search dialog has asked about an empty pattern and an all-files mask before the run starts; the
// run used to ask both again, so the user answered each question twice.
TEST_F(SearchRunTest, DialogStyleAsksNothingTheDialogAsked) {
  Fields_.CheckedByDialog = true;
  Fields_.Pattern = u"";
  Fields_.Masks = u"  *.*  ";
  Fields_.Paths = u"  " + Fields_.Paths + u" ";
  Run_.RunSearch(Fields_);
  EXPECT_TRUE(Dialogs_.Shown.empty()) << Utf16ToUtf8(Boxes().empty() ? u"" : Boxes()[0]);
  EXPECT_EQ(Logged_.Count(">>> "), 1) << "the search ran";
  EXPECT_EQ(Fields_.Masks, u"*.*");
  EXPECT_EQ(Fields_.Paths, Utf8ToUtf16(Tree_.Path));
  // In the panel style the same run asks both questions, once each.
  Fields_.CheckedByDialog = false;
  Dialogs_.Answers = {mrYes, mrYes};
  Run_.RunSearch(Fields_);
  EXPECT_EQ(Boxes(), (std::vector<std::u16string>{Msg(TMsgIndex::AskNoFileTypes),
                                                  Msg(TMsgIndex::AskSearchIfEmptyPattern)}));
}

TEST_F(SearchRunTest, EmptyPatternInResultsEndsSilently) {
  Fields_.Pattern = u"   ";
  Fields_.Fuzzy = true;
  Fields_.InResults = true;
  Run_.RunSearch(Fields_);
  EXPECT_TRUE(Dialogs_.Shown.empty());
  EXPECT_TRUE(Logged_.Entries.empty());
}

TEST_F(SearchRunTest, PatternOfTheLongestLengthIsSearched) {
  Fields_.Pattern = std::u16string(kMaxPatternLength, u'x');
  Run_.RunSearch(Fields_);
  EXPECT_EQ(Logged_.Count(">>> "), 1);
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
    Fields_.Pattern = u" hello ";
    Fields_.Fuzzy = C.Fuzzy;
    Fields_.LogicIndex = C.Logic;
    Run_.RunSearch(Fields_);
    EXPECT_EQ(Scanner_.Scanner.GetPattern(), C.Searched);
    EXPECT_EQ(Scanner_.Scanner.GetLogic(), LogicOfIndex(C.Logic));
  }
}

TEST_F(SearchRunTest, FallbacksSwitchBoxesOnAndWarn) {
  // Neither direct scan nor conversion: direct scan comes on.
  Fields_.DirectScan = false;
  Fields_.ConvertToText = false;
  // No charset: ANSI comes on, the scanner gets the empty set.
  Fields_.Ansi = false;
  Run_.RunSearch(Fields_);
  EXPECT_TRUE(Host_.Shown.DirectScan);
  EXPECT_TRUE(Host_.Shown.Ansi);
  EXPECT_EQ(Scanner_.Encodings, 0);
  EXPECT_EQ(Run_.FoundCount, 2);

  // Both kinds off: plain files come on. Archives on with every kind off: a warning, and the search runs.
  Fields_.PlainFiles = false;
  Fields_.Archives = false;
  Run_.RunSearch(Fields_);
  EXPECT_TRUE(Host_.Shown.PlainFiles);
  EXPECT_EQ(Scanner_.Scope, ssFilesOnly);
  for (auto& Info : ArcInfos) Info.Enabled = false;
  Fields_.PlainFiles = true;
  Fields_.Archives = true;
  Dialogs_.Shown.clear();
  Run_.RunSearch(Fields_);
  EXPECT_EQ(Boxes(), (std::vector<std::u16string>{Msg(TMsgIndex::ArcAllDisabled)}));
  EXPECT_EQ(Dialogs_.Shown[0].DlgType, mtWarning);
  EXPECT_EQ(Run_.FoundCount, 2);
}

TEST_F(SearchRunTest, DontAskAgainKeepsAnsweringYes) {
  Fields_.Pattern = u"";
  Dialogs_.Answers = {mrNo};
  Dialogs_.TickDontAsk = {true};
  Run_.RunSearch(Fields_);
  EXPECT_EQ(Host_.Focus, sbPattern);
  EXPECT_EQ(Logged_.Count(">>> "), 0);
  // The ticked box stored the bit: the next empty-pattern search runs without asking.
  Dialogs_.Shown.clear();
  Run_.RunSearch(Fields_);
  EXPECT_TRUE(Dialogs_.Shown.empty());
  EXPECT_EQ(Logged_.Count(">>> "), 1);
  // Every file that passes the masks is a hit, and the report counts 0 scanned files.
  EXPECT_EQ(Names(), (std::vector<std::string>{"/a.txt", "/b.txt", "/sub/c.txt"}));
  EXPECT_EQ(Host_.Status, FormatMsgW(TMsgIndex::SrchStat_dd, {0, 3}) + u".");
}

TEST_F(SearchRunTest, EndMessages) {
  Fields_.Pattern = u"absent";
  Run_.RunSearch(Fields_);
  EXPECT_EQ(Boxes(), (std::vector<std::u16string>{Msg(TMsgIndex::SrchPatNotFound)}));

  // Archives only, and no archive anywhere: no supported archive was found.
  Dialogs_.Shown.clear();
  Fields_.PlainFiles = false;
  Run_.RunSearch(Fields_);
  EXPECT_EQ(Boxes(), (std::vector<std::u16string>{Msg(TMsgIndex::SrchNoSupArcFound)}));
}

TEST_F(SearchRunTest, StopEndsTheSearchWithOneInterruptAndNoClosingLine) {
  Host_.OnPump = [&](int Pump) {
    if (Pump == 3) Run_.SearchStopExec();
  };
  Run_.RunSearch(Fields_);
  EXPECT_EQ(Host_.Interrupts, 1);
  EXPECT_EQ(Logged_.Count("<<< "), 0);
  EXPECT_FALSE(Run_.StopRequested) << "reset when the search ends";
  EXPECT_FALSE(Run_.Busy);
  EXPECT_TRUE(Dialogs_.Shown.empty()) << "a stopped search reports no 'not found'";
  EXPECT_EQ(TSearchRun::UserInterruptLine(0).rfind("<<< " + GetMsg(TMsgIndex::UserInterrupt) + " ", 0), 0u);
}

TEST_F(SearchRunTest, PauseWaitsAndResumes) {
  Host_.OnPump = [&](int Pump) {
    if (Pump == 2) Run_.SearchPauseExec();
  };
  // The user presses Pause again while the search waits.
  Host_.OnWait = [&] {
    EXPECT_TRUE(Run_.Paused);
    Run_.SearchPauseExec();
  };
  Run_.RunSearch(Fields_);
  EXPECT_EQ(Host_.Waits, 1);
  EXPECT_FALSE(Run_.Paused);
  EXPECT_EQ(Run_.FoundCount, 2);
  EXPECT_EQ(Logged_.Count("<<< "), 1);
}

TEST_F(SearchRunTest, StopDuringThePauseEndsTheSearch) {
  Host_.OnPump = [&](int Pump) {
    if (Pump == 2) Run_.SearchPauseExec();
  };
  Host_.OnWait = [&] { Run_.SearchStopExec(); };
  Run_.RunSearch(Fields_);
  EXPECT_FALSE(Run_.Paused);
  EXPECT_EQ(Logged_.Count("<<< "), 0);
  EXPECT_EQ(Host_.Interrupts, 1);
}

TEST_F(SearchRunTest, SearchInResultsNarrowsTheRows) {
  Run_.RunSearch(Fields_);
  ASSERT_EQ(Run_.Results().Count(), 2);
  WriteFileBytes(Tree_ / "extra.txt", "hello again, not in the results");
  Fields_.Pattern = u"again";
  Fields_.InResults = true;
  Run_.RunSearch(Fields_);
  EXPECT_EQ(Names(), (std::vector<std::string>{"/sub/c.txt"}));
  // The duplicate filter is back for the next search.
  EXPECT_TRUE(static_cast<bool>(Scanner_.OnAcceptFile));
}

TEST_F(SearchRunTest, OverlappingRootsGiveEachFileOnce) {
  Fields_.Paths = Utf8ToUtf16(Tree_.Path + " " + Tree_.Path + "/sub " + Tree_.Path + "/sub/c.txt");
  Run_.RunSearch(Fields_);
  EXPECT_EQ(Names(), (std::vector<std::string>{"/a.txt", "/sub/c.txt"}));
}

TEST_F(SearchRunTest, ExcludedFoldersAreSkippedAndLogged) {
  ProgramSettings().ExcludedDirs.Add(Utf8ToUtf16(Tree_.Path + "/sub/"));
  // A folder that differs only in case is another folder here.
  ProgramSettings().ExcludedDirs.Add(Utf8ToUtf16(Tree_.Path + "/SUB2/"));
  ASSERT_EQ(mkdir((Tree_ / "sub2").c_str(), 0755), 0);
  WriteFileBytes(Tree_ / "sub2/e.txt", "hello");
  Run_.RunSearch(Fields_);
  EXPECT_EQ(Names(), (std::vector<std::string>{"/a.txt", "/sub2/e.txt"}));
  EXPECT_EQ(Logged_.Count(FormatMsg(TMsgIndex::DirExcluded_s, {Tree_.Path + "/sub"})), 1);
}

TEST_F(SearchRunTest, DateAndSizeFilter) {
  Run_.UseDateFilter = true;
  Run_.DateFrom = 45000;
  Run_.DateTo = 45010;
  Run_.UseSizeFilter = true;
  Run_.SizeFrom = 100;
  Run_.SizeTo = 1000;
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
    EXPECT_EQ(Run_.FileScanFilterFile(u"/x", C.SizeIncomplete, C.Date, C.Size), C.Accepted)
        << C.Date << " " << C.Size;
  // Open bounds reject nothing.
  Run_.DateFrom = Run_.DateTo = 0;
  Run_.SizeFrom = Run_.SizeTo = -1;
  EXPECT_TRUE(Run_.FileScanFilterFile(u"/x", false, 1, 0));
}

TEST_F(SearchRunTest, SwappedBoundsAreOrderedBeforeTheSearch) {
  Fields_.FilterOn = Fields_.SizeFilterOn = Fields_.DateFilterOn = true;
  Fields_.SizeFromText = u"10";
  Fields_.SizeToText = u"1";
  Fields_.SizeUnits = suMegabytes;
  Fields_.DateFrom = 45010;
  Fields_.DateTo = 45000;
  Fields_.Pattern = u"absent";
  Run_.RunSearch(Fields_);
  EXPECT_EQ(Run_.SizeFrom, 1048576);
  EXPECT_EQ(Run_.SizeTo, 10 * 1048576);
  EXPECT_EQ(Run_.DateFrom, 45000);
  EXPECT_EQ(Run_.DateTo, 45010);
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
      {sekConvertWarning, "Page 2 left out", 0, false,
       FormatMsg(TMsgIndex::WarnSearchIn_s, {std::string("/d/f.bin")}) + ".\r\nPage 2 left out."},
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
  Run_.FileScanError(u"/x", "", 0, sekTooLarge);
  Run_.FileScanError(u"/y", "", 0, sekEmptyFile);  // not in debug mode: nothing
  Run_.FileScanError(u"", "", 0, sekAborted);
  Run_.FileScanError(u"", "", 0, sekAborted);
  EXPECT_TRUE(Run_.ErrorsLogged);
  ASSERT_EQ(Logged_.Entries.size(), 1u);
  EXPECT_EQ(Logged_.Entries[0], "---\r\n" + FormatMsg(TMsgIndex::FileTooLarge_s, {std::string("/x")}) + ".");
  EXPECT_TRUE(Logged_.Shows[0]);
  EXPECT_EQ(Host_.Interrupts, 1);
}

TEST_F(SearchRunTest, PasswordsAreOfferedNewestFirstPerItem) {
  Host_.PasswordAnswer = {true, "first", 0};
  std::string P;
  // No stored password: the question, and the answer is stored.
  EXPECT_TRUE(Run_.FileScanPassword("/t/a.zip", "/t/a.zip", P, "x.txt"));
  EXPECT_EQ(P, "first");
  Host_.PasswordAnswer = {true, "second", 0};
  EXPECT_TRUE(Run_.FileScanPassword("/t/a.zip", "/t/a.zip", P, "x.txt"));
  EXPECT_EQ(P, "second");
  EXPECT_EQ(Host_.Asked.size(), 2u);
  // The next item gets the stored ones again, newest first, before any question.
  std::vector<std::string> Offered;
  for (int I = 0; I < 2; ++I) {
    ASSERT_TRUE(Run_.FileScanPassword("/t/a.zip", "/t/a.zip", P, "y.txt"));
    Offered.push_back(P);
  }
  EXPECT_EQ(Offered, (std::vector<std::string>{"second", "first"}));
  EXPECT_EQ(Host_.Asked.size(), 2u);
  // Cancel: no password.
  Host_.PasswordAnswer = {false, "", 0};
  EXPECT_FALSE(Run_.FileScanPassword("/t/a.zip", "/t/a.zip", P, "y.txt"));
  // "Never ask": skipped from now on, and the flag is kept.
  Run_.RecentPasswords.Clear();
  Host_.PasswordAnswer = {true, "third", 2};
  EXPECT_FALSE(Run_.FileScanPassword("/t/b.zip", "/t/b.zip", P, "z.txt"));
  EXPECT_TRUE(ProgramSettings().ArchiveFlags.SkipProtectedArchives);
  EXPECT_FALSE(Run_.FileScanPassword("/t/c.zip", "/t/c.zip", P, "z.txt"));
}

// A password typed during the search was asked for again by the preview of the same item; a question the
// user cancelled was logged as an invalid password.
TEST_F(SearchRunTest, AnExtractionOffersTheStoredPasswordsFirstAndACancelIsLoggedAsSkipped) {
  std::string P;
  Host_.PasswordAnswer = {true, "typed", 0};
  ASSERT_TRUE(Run_.FileScanPassword("/t/a.zip", "/t/a.zip", P, "x.txt"));
  ASSERT_EQ(Host_.Asked.size(), 1u);
  Run_.BeginExtraction();
  ASSERT_TRUE(Run_.ExtractionPassword("/t/a.zip", P, "x.txt"));
  EXPECT_EQ(P, "typed");
  EXPECT_EQ(Host_.Asked.size(), 1u) << "the stored password came first";
  EXPECT_FALSE(Run_.ExtractionRefused());

  // Cancelled: the archive's "invalid password" report says the item was skipped without one. A
  // refusal by an archive that was given a password stays as it is.
  const std::string Skipped = GetMsg(TMsgIndex::NoPasswordGiven);
  Host_.PasswordAnswer = {false, "", 0};
  Run_.RecentPasswords.Clear();
  EXPECT_FALSE(Run_.FileScanPassword("/t/b.zip", "/t/b.zip", P, "y.txt"));
  Run_.FileScanError(u"/t/b.zip", "Invalid password (y.txt)", 0, sekArchiveWarning);
  Host_.PasswordAnswer = {true, "wrong", 0};
  EXPECT_TRUE(Run_.FileScanPassword("/t/c.zip", "/t/c.zip", P, "z.txt"));
  Run_.FileScanError(u"/t/c.zip", "Invalid password (z.txt)", 0, sekArchiveWarning);
  ASSERT_EQ(Logged_.Entries.size(), 2u);
  EXPECT_NE(Logged_.Entries[0].find(Skipped + " (y.txt)"), std::string::npos) << Logged_.Entries[0];
  EXPECT_EQ(Logged_.Entries[0].find("Invalid password"), std::string::npos) << Logged_.Entries[0];
  EXPECT_NE(Logged_.Entries[1].find("Invalid password (z.txt)"), std::string::npos) << Logged_.Entries[1];
}

// An archive asks again for an item whose password did not fit, and when its walk ends it reports the item
// once as having an invalid password, also when a later password opened it: the log said "Invalid password"
// for items that the next stored or typed password opened.
TEST_F(SearchRunTest, APasswordThatDidNotFitIsLoggedAsWhatHappened) {
  // A question for the item; the archive's report of it; another item's hit; a new walk of the archive.
  enum TStep { Ask, Refuse, Next, Walk };
  struct TCase {
    const char* Name;
    std::vector<std::string> Stored;       // newest first
    std::vector<TPasswordAnswer> Answers;  // of the questions, in order
    bool SkipProtected;
    std::vector<TStep> Steps;
    std::string Logged;  // the one line logged (empty: none)
    bool Error;          // ... as an error
  };
  const std::string Item = "x.txt", Arc = "/t/a.zip";
  const std::string StoredMisfit = FormatMsg(TMsgIndex::StoredPasswordDidNotFit_ss, {Item, Arc}) + ".";
  const std::string TypedMisfit = FormatMsg(TMsgIndex::TypedPasswordDidNotFit_ss, {Item, Arc}) + ".";
  const std::string Warning = FormatMsg(TMsgIndex::WarnSearchIn_s, {Arc}) + ".\r\n";
  const TCase Cases[] = {
      {"the first stored password opens it", {"s1"}, {}, false, {Ask}, "", false},
      {"a stored one, then another stored one",
       {"s2", "s1"},
       {},
       false,
       {Ask, Ask, Refuse},
       StoredMisfit,
       false},
      {"a stored one, then the typed one",
       {"s1"},
       {{true, "t", 0}},
       false,
       {Ask, Ask, Refuse},
       StoredMisfit,
       false},
      {"a typed one, then another typed one",
       {},
       {{true, "t1", 0}, {true, "t2", 0}},
       false,
       {Ask, Ask, Refuse},
       TypedMisfit,
       false},
      {"reported after the walk's other hits",
       {"s2", "s1"},
       {},
       false,
       {Ask, Ask, Next, Refuse},
       StoredMisfit,
       false},
      {"the one password given did not fit",
       {"s1"},
       {},
       false,
       {Ask, Refuse},
       Warning + "Invalid password (x.txt).",
       true},
      {"a new walk of the archive asks anew",
       {"s1"},
       {{true, "t", 0}},
       false,
       {Ask, Walk, Ask, Refuse},
       Warning + "Invalid password (x.txt).",
       true},
      {"a stored one, then the question cancelled",
       {"s1"},
       {{false, "", 0}},
       false,
       {Ask, Ask, Refuse},
       Warning + GetMsg(TMsgIndex::NoPasswordGiven) + " (x.txt).",
       true},
      {"protected archives skipped",
       {"s1"},
       {},
       true,
       {Ask, Refuse},
       Warning + GetMsg(TMsgIndex::ProtectedSkipped) + " (x.txt).",
       true},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    SetDefaultOptions();
    ProgramSettings().ArchiveFlags.SkipProtectedArchives = C.SkipProtected;
    TLogCapture Logged;
    TFakeHost Host;
    TFileScanner Scanner;
    TSearchRun Run(Scanner, Host, ProgramSettings());
    for (auto It = C.Stored.rbegin(); It != C.Stored.rend(); ++It) Run.RecentPasswords.Insert(0, *It);
    size_t Answer = 0;
    for (const TStep Step : C.Steps) {
      std::string P;
      if (Step == Ask) {
        if (Answer < C.Answers.size() && Run.PasswordTries >= Run.RecentPasswords.GetCount())
          Host.PasswordAnswer = C.Answers[Answer++];
        Run.FileScanPassword(Arc, Arc, P, Item);
      } else if (Step == Refuse) {
        Run.FileScanError(Utf8ToUtf16(Arc), "Invalid password (x.txt)", 0, sekArchiveWarning);
      } else if (Step == Next) {
        TFoundFileInfo Other;
        Other.Name = u"/t/a.zip|other.txt";
        Run.FileScanFound(Other);
      } else {
        Run.FileScanProgress(Utf8ToUtf16(Arc), spkArchive);
      }
    }
    EXPECT_EQ(Answer, C.Answers.size()) << "every question asked";
    if (C.Logged.empty()) {
      EXPECT_TRUE(Logged.Entries.empty()) << Logged.Entries[0];
      continue;
    }
    ASSERT_EQ(Logged.Entries.size(), 1u) << Logged.Entries.back();
    EXPECT_EQ(Logged.Entries[0], "---\r\n" + C.Logged);
    EXPECT_EQ(Run.ErrorsLogged, C.Error);
  }
}

// A search ended by an exception left the status line and "Search in results" as they were before it.
TEST_F(SearchRunTest, ASearchEndedByAnExceptionEndsLikeAnyOther) {
  Fields_.InResults = false;
  Scanner_.OnEnterFolder = [](const std::u16string&) -> bool { throw std::runtime_error("Disk on fire"); };
  Host_.Status = u"before";
  Host_.Shown.InResults = true;
  Run_.RunSearch(Fields_);
  EXPECT_FALSE(Run_.Busy);
  EXPECT_EQ(Host_.Status, FormatMsgW(TMsgIndex::SrchStat_dd, {Scanner_.FilesScanned, 0}) + u".");
  EXPECT_FALSE(Host_.Shown.InResults) << "no rows: nothing to search in";
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].rfind(u"Disk on fire", 0), 0u);
  EXPECT_EQ(Logged_.Count("<<< "), 0);
  EXPECT_EQ(Logged_.Count("Disk on fire"), 1);
}

TEST_F(SearchRunTest, AtMostTenPasswordsAreKept) {
  std::string P;
  for (int I = 0; I < 11; ++I) {
    Host_.PasswordAnswer = {true, "p" + std::to_string(I), 0};
    ASSERT_TRUE(Run_.FileScanPassword("/a.zip", "/a.zip", P, "item" + std::to_string(I)));
    // Each new item first gets every stored password; the script answers the question after them.
    while (P != "p" + std::to_string(I))
      ASSERT_TRUE(Run_.FileScanPassword("/a.zip", "/a.zip", P, "item" + std::to_string(I)));
  }
  ASSERT_EQ(Run_.RecentPasswords.GetCount(), kMaxRecentPasswords);
  EXPECT_EQ(Run_.RecentPasswords.Get(0), "p10");
  EXPECT_EQ(Run_.RecentPasswords.Get(9), "p1");
}

TEST_F(SearchRunTest, FoundHitsClearTheSortMarkAndRefreshAtMostEvery100ms) {
  Host_.TickStep = 10;
  TFoundFileInfo Info;
  for (int I = 0; I < 30; ++I) {
    Info.Name = u"/f" + Utf8ToUtf16(std::to_string(I));
    Run_.FileScanFound(Info);
  }
  EXPECT_EQ(Run_.FoundCount, 30);
  EXPECT_EQ(Host_.SortMarksCleared, 30);
  // 30 hits 10 ms apart: about one refresh per 100 ms.
  EXPECT_GE(Host_.Refreshes, 2);
  EXPECT_LE(Host_.Refreshes, 4);
  Run_.RefreshCount(true);
  EXPECT_EQ(Run_.Results().Count(), 30);
}

}  // namespace
