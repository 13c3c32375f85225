#include "app/MainCommands.h"

#include <gtest/gtest.h>

#include "app/MsgStr.h"
#include "app/MultiLan.h"
#include "core/FileLayer.h"
#include "core/NumVector.h"
#include "core/StrLst.h"
#include "tests/app/AppFixtures.h"

TEST(MainCommands, ActionIndexesUseTheLowSevenBitsAndStopAtTen) {
  EXPECT_EQ(ActionByIndex(0), maSearchStart);
  EXPECT_EQ(ActionByIndex(10), maExit);
  EXPECT_EQ(ActionByIndex(0x80 + 6), maPreview);
  EXPECT_EQ(ActionByIndex(11), -1);
  EXPECT_EQ(ActionByIndex(127), -1);
  EXPECT_EQ(ActionCaptionMsg(maExit), TMsgIndex::Exit);
  EXPECT_EQ(ActionHintMsg(maSearchStart), TMsgIndex::SearchStartHint);
  EXPECT_EQ(ActionHintMsg(maExit), TMsgIndex::ExitHint);
}

TEST(MainCommands, MessagesRunOnlyWithTheirMagicAndAValidAction) {
  struct Case {
    TAppMessage Message;
    TAppMessageKind Kind;
    int32_t Action;
  } Cases[] = {
      {MakeRunActionMessage(maPrint), amRunAction, maPrint},
      {{WM_RUNACTION, 0x1234, maPrint}, amIgnored, -1},
      // An index past the actions, as a damaged toolbar setting could post, names nothing to run.
      {MakeRunActionMessage(11), amIgnored, -1},
      {MakeRunActionMessage(-1), amIgnored, -1},
      {MakeUserInterruptMessage(), amUserInterrupt, -1},
      {{WM_USERINTERRUPT, kRunActionMagic, 0}, amIgnored, -1},
      {MakeFillFromHistoryMessage(), amFillFromHistory, -1},
      {{WM_FILLFROMHISTORY, 0, 0}, amIgnored, -1},
      {{WM_LANGUAGECHANGED, 0, 0}, amLanguageChanged, -1},
      {{kWmUser + 2, 0, 0}, amIgnored, -1},
  };
  for (const Case& C : Cases) {
    const TAppMessageDecision D = DecodeAppMessage(C.Message);
    EXPECT_EQ(D.Kind, C.Kind) << C.Message.Msg << " " << C.Message.LParam;
    EXPECT_EQ(D.Action, C.Action);
  }
}

TEST(MainCommands, HookKeys) {
  auto Key = [](TAppKey K, auto&& Tweak) {
    TAppKeyState S;
    S.Key = K;
    S.MainWindowActive = true;
    S.LanguageCount = 3;
    Tweak(S);
    return DecideAppKey(S);
  };
  auto None = [](TAppKeyState&) {};
  EXPECT_EQ(Key(akEnter, None).Kind, kaStartSearch);
  EXPECT_EQ(Key(akF3, None).Kind, kaStartSearch);
  EXPECT_EQ(Key(akEnter, [](TAppKeyState& S) { S.Ctrl = true; }).Kind, kaNotHandled);
  EXPECT_EQ(Key(akEnter, [](TAppKeyState& S) { S.FocusOnButton = true; }).Kind, kaNotHandled);
  EXPECT_EQ(Key(akEnter, [](TAppKeyState& S) { S.MainWindowActive = false; }).Kind, kaNotHandled);
  // Alt+Enter shows a plain file's properties, and does nothing on an archive item.
  auto AltEnter = [&](bool InArchive) {
    return Key(akEnter, [&](TAppKeyState& S) {
      S.Alt = S.ResultsFocused = S.RowFocused = true;
      S.FocusedRowInArchive = InArchive;
    });
  };
  EXPECT_EQ(AltEnter(false).Kind, kaShowProperties);
  EXPECT_EQ(AltEnter(true).Kind, kaSwallow);
  // Ctrl+Alt+Fn selects language n - 1 when it exists, in any window.
  auto Language = [&](int32_t Fn) {
    return Key(akFunction, [&](TAppKeyState& S) {
      S.FunctionNumber = Fn;
      S.Ctrl = S.Alt = true;
      S.MainWindowActive = false;
    });
  };
  EXPECT_EQ(Language(1).Kind, kaSelectLanguage);
  EXPECT_EQ(Language(1).Language, 0);
  EXPECT_EQ(Language(3).Language, 2);
  EXPECT_EQ(Language(5).Kind, kaSwallow);
  EXPECT_EQ(Key(akF3, [](TAppKeyState& S) { S.Ctrl = S.Alt = true; }).Language, 2);
  // F1 asks for help in any window of the program, but not with Ctrl or Alt held; other keys do not.
  auto F = [&](int32_t Fn, bool Ctrl, bool Alt, bool MainActive) {
    return Key(akFunction, [&](TAppKeyState& S) {
      S.FunctionNumber = Fn;
      S.Ctrl = Ctrl;
      S.Alt = Alt;
      S.MainWindowActive = MainActive;
    });
  };
  EXPECT_EQ(F(1, false, false, true).Kind, kaHelp);
  EXPECT_EQ(F(1, false, false, false).Kind, kaHelp);
  EXPECT_EQ(F(1, true, false, true).Kind, kaNotHandled);
  EXPECT_EQ(F(1, false, true, true).Kind, kaNotHandled);
  EXPECT_EQ(F(2, false, false, true).Kind, kaNotHandled);
}

TEST(MainCommands, EnablingRules) {
  TMainState Idle;
  Idle.TableEmpty = false;
  Idle.RowFocused = true;
  Idle.ConvertersLoaded = true;
  Idle.DirectScan = true;
  Idle.DateFilter = true;
  TMainEnables E = ComputeMainEnables(Idle);
  EXPECT_TRUE(E.Actions[maSearchStart] && E.Actions[maSearchFiles] && E.Actions[maPrint] &&
              E.Actions[maPreview]);
  EXPECT_FALSE(E.Actions[maSearchStop] || E.Actions[maSearchPause]);
  EXPECT_TRUE(E.SearchInResults && E.Charsets && E.Inputs && E.DateEdits && E.ConvertToText && E.Filters);
  EXPECT_FALSE(E.SizeEdits);

  TMainState Busy = Idle;
  Busy.Busy = true;
  E = ComputeMainEnables(Busy);
  EXPECT_TRUE(E.Actions[maSearchStop] && E.Actions[maSearchPause] && E.Actions[maPreview]);
  EXPECT_FALSE(E.Actions[maSearchStart] || E.Actions[maPrint] || E.SearchControls || E.Inputs || E.Charsets ||
               E.Filters || E.DateEdits);

  TMainState InResults = Idle;
  InResults.SearchInResults = true;
  E = ComputeMainEnables(InResults);
  EXPECT_FALSE(E.Inputs || E.DateEdits);
  EXPECT_TRUE(E.SearchControls);

  TMainState Empty;
  E = ComputeMainEnables(Empty);
  EXPECT_FALSE(E.Actions[maPrint] || E.Actions[maPreview] || E.SearchInResults || E.Charsets);
  EXPECT_TRUE(E.UntickConvert);
  EXPECT_FALSE(E.ConvertToText || E.Filters);

  TMainState Pending = Idle;
  Pending.PreviewPending = true;
  EXPECT_FALSE(ComputeMainEnables(Pending).Actions[maPreview]);
}

TEST(MainCommands, FilesArchivesAndScanModeRules) {
  bool Files = false, Archives = false;
  SetFilesArchives(Files, Archives);
  EXPECT_TRUE(Files);
  EXPECT_FALSE(Archives);
  // Unticking the only ticked box ticks the other one.
  Files = false, Archives = false;
  ClickFilesArchives(true, Files, Archives);
  EXPECT_TRUE(Archives);
  EXPECT_FALSE(Files);
  Files = false, Archives = false;
  ClickFilesArchives(false, Files, Archives);
  EXPECT_TRUE(Files);
  EXPECT_FALSE(Archives);

  bool Convert = false;
  DirectScanClicked(false, Convert);
  EXPECT_TRUE(Convert);
  bool Direct = false;
  ConvToTextClicked(false, Direct);
  EXPECT_TRUE(Direct);
  Direct = false;
  ConvToTextClicked(true, Direct);
  EXPECT_FALSE(Direct);
}

TEST(MainCommands, ToolbarPlan) {
  TInt8Vector Buttons;
  EXPECT_FALSE(PlanToolbar(Buttons, false, true, false, false).Visible);

  for (int8_t Tag : {5, 0, 2, 3, 4, 11}) Buttons.Add(Tag);
  TToolbarPlan P = PlanToolbar(Buttons, true, true, false, false);
  ASSERT_TRUE(P.Visible);
  ASSERT_EQ(P.Buttons.size(), 5u);  // 11 names no action
  EXPECT_EQ(P.StartButton, 1);
  EXPECT_EQ(P.Buttons[2].Image, kImagePausePressed);
  EXPECT_TRUE(P.Buttons[2].Down && P.Buttons[2].CheckStyle);
  EXPECT_EQ(P.Buttons[3].Image, kImageFilesPressed);
  EXPECT_EQ(P.Buttons[4].Image, maSearchArchives);  // released
  EXPECT_FALSE(P.Buttons[0].CheckStyle);
  // A low-colour screen keeps the normal images of pressed buttons.
  P = PlanToolbar(Buttons, true, true, true, true);
  EXPECT_EQ(P.Buttons[2].Image, maSearchPause);
  EXPECT_EQ(P.Buttons[3].Image, maSearchFiles);
  EXPECT_TRUE(P.Buttons[3].Down);
}

TEST(MainCommands, BusyAnimationPlace) {
  TBusyAnimation A(0);
  A.HasStartButton = true;
  EXPECT_FALSE(A.ShowBusyAnimation(true));
  EXPECT_EQ(A.Place(), apStartButton);
  EXPECT_FALSE(A.Playing());
  EXPECT_FALSE(A.SetAnimationActive(true));
  EXPECT_TRUE(A.Playing());
  // Paused, the Start button shows no animation; the status bar does.
  A.Paused = true;
  A.ShowBusyAnimation(true);
  EXPECT_EQ(A.Place(), apNone);
  A.SetAnimationMode(1);
  EXPECT_EQ(A.Place(), apStatusBar);
  EXPECT_TRUE(A.Playing());
  A.SetAnimationMode(2);
  EXPECT_EQ(A.Place(), apNone);
  EXPECT_TRUE(A.Shown);
  // Not shown and not paused: a new mode keeps it hidden.
  TBusyAnimation B(0);
  B.SetAnimationMode(1);
  EXPECT_EQ(B.Place(), apNone);
  TBusyAnimation NoButton(0);
  NoButton.ShowBusyAnimation(true);
  EXPECT_EQ(NoButton.Place(), apNone);
}

TEST(MainCommands, SmallRules) {
  EXPECT_EQ(SearchMenuStartCaption(u"&Start"), u"&Start\tF3");
  EXPECT_EQ(SearchMenuStartCaption(u"&Start\tF3"), u"&Start\tF3");
  TWideStrLst List;
  EXPECT_EQ(FillFromHistoryText(u"", List), u"");
  List.Add(u"/a b");
  List.Add(u"/c");
  EXPECT_EQ(FillFromHistoryText(u"", List), u"\"/a b\";/c");
  EXPECT_EQ(FillFromHistoryText(u"/x", List), u"/x");
  EXPECT_TRUE(HelpKeysAllowed(false, false));
  EXPECT_FALSE(HelpKeysAllowed(true, false));
}

TEST(MainCommands, HelpFileFallsBackToEnglishAndWarnsOnlyWhenNoneIsThere) {
  std::vector<std::u16string> Warnings;
  auto Warn = [&](const std::u16string& W) { Warnings.push_back(W); };
  auto Present = [](std::vector<std::u16string> Files) {
    return
        [Files](const std::u16string& F) { return std::find(Files.begin(), Files.end(), F) != Files.end(); };
  };
  bool Checked = false;
  // The catalogue's own (English) document.
  EXPECT_EQ(ChooseHelpFile(Checked, u"/opt/s/", Present({u"/opt/s/qvsrchen.html"}), Warn),
            u"/opt/s/qvsrchen.html");
  EXPECT_TRUE(Warnings.empty());

  // A language whose document is there gets it; one without gets the English document, silently.
  TTempFolder Folder;
  WriteFileBytes(Folder / "qvsrchde.lng", "[!Meta]\nLanguage=DE, 0\n[$]\nHelpFile=qvsrchde.html\n");
  TMultiLang Langs;
  Langs.AddLanguage("English", 1);
  const int32_t German = Langs.LoadLanguageFile(Utf8ToUtf16(Folder / "qvsrchde.lng"));
  Langs.SetLanguageIndex(German);
  SetMsgLanguages(&Langs);
  Checked = false;
  EXPECT_EQ(
      ChooseHelpFile(Checked, u"/opt/s/", Present({u"/opt/s/qvsrchde.html", u"/opt/s/qvsrchen.html"}), Warn),
      u"/opt/s/qvsrchde.html");
  Checked = false;
  EXPECT_EQ(ChooseHelpFile(Checked, u"/opt/s/", Present({u"/opt/s/qvsrchen.html"}), Warn),
            u"/opt/s/qvsrchen.html");
  EXPECT_TRUE(Warnings.empty());

  // Neither: one warning per language change, naming the language's file.
  Checked = false;
  ChooseHelpFile(Checked, u"/opt/s/", Present({}), Warn);
  ChooseHelpFile(Checked, u"/opt/s/", Present({}), Warn);
  ASSERT_EQ(Warnings.size(), 1u);
  EXPECT_NE(Warnings[0].find(u"/opt/s/qvsrchde.html"), std::u16string::npos);
  Checked = false;
  ChooseHelpFile(Checked, u"/opt/s/", Present({}), Warn);
  EXPECT_EQ(Warnings.size(), 2u);
  SetMsgLanguages(nullptr);
}
