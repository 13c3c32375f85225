// Message boxes: texts, captions, the don't-ask-again bits and the re-show after a language change; the
// log window's text limit.
#include "app/IO.h"

#include <gtest/gtest.h>

#include "app/LogForm.h"
#include "app/Options.h"
#include "core/StrUtils.h"
#include "tests/app/LogCapture.h"

namespace {

TEST(MessageDlg, CatalogueTextCaptionAndButtons) {
  TDialogScript Script;
  ShowErrorFmt(TMsgIndex::PathNotExists_s, {std::u16string(u"/x")});
  ASSERT_EQ(Script.Shown.size(), 1u);
  const auto& R = Script.Shown[0];
  EXPECT_EQ(R.Text, WideAddPeriod(FormatMsgW(TMsgIndex::PathNotExists_s, {std::u16string(u"/x")})));
  EXPECT_EQ(R.Caption, GetMsgW(TMsgIndex::Error));
  EXPECT_EQ(R.Buttons, mbOK);
  EXPECT_TRUE(R.FromCatalogue);
  EXPECT_FALSE(R.ShowDontAsk);

  Script.Answers = {mrNo};
  EXPECT_FALSE(AskYesNo(TMsgIndex::AskStopOperation, 5));
  EXPECT_EQ(Script.Shown[1].Caption, GetMsgW(TMsgIndex::Confirmation));
  EXPECT_EQ(Script.Shown[1].Buttons, mbYes | mbNo | mbHelp) << "a help context adds Help";

  MsgDlgText(u"plain", mtCustom, mbOK);
  EXPECT_EQ(Script.Shown[2].Text, u"plain.");
  EXPECT_TRUE(Script.Shown[2].Caption.empty());
  EXPECT_FALSE(Script.Shown[2].FromCatalogue);
}

TEST(MessageDlg, AskOnceStoresTheTickedBitWhateverTheAnswer) {
  struct Case {
    uint8_t Bits;
    int32_t Bit;
    bool Default;
    int Answer;
    bool Tick;
    bool Result;
    bool Asked;
    uint8_t BitsAfter;
  };
  const Case Cases[] = {
      {0, 0, true, mrYes, false, true, true, 0},
      {0, 0, true, mrNo, true, false, true, 1},   // No now, the default later
      {1, 0, true, mrNo, false, true, false, 1},  // bit set: no box
      {2, 1, false, mrYes, false, false, false, 2},
      {0, 8, true, mrNo, true, false, true, 0},  // bit 8 is never stored
  };
  for (const auto& C : Cases) {
    TDialogScript Script;
    Script.Answers = {C.Answer};
    Script.TickDontAsk = {C.Tick};
    ProgramSettings().ViewOptions.WarningBits = C.Bits;
    EXPECT_EQ(AskYesNoOnce(TMsgIndex::AskNoFileTypes, C.Bit, C.Default), C.Result);
    EXPECT_EQ(!Script.Shown.empty(), C.Asked);
    if (C.Asked) {
      EXPECT_TRUE(Script.Shown[0].ShowDontAsk);
    }
    EXPECT_EQ(ProgramSettings().ViewOptions.WarningBits, C.BitsAfter);
  }
  ProgramSettings().ViewOptions.WarningBits = 0;
}

TEST(MessageDlg, LanguageChangeReshowsCatalogueBoxesOnly) {
  int Rounds = 0;
  MessageDlgHandler = [&](TMessageDlgRequest& R) {
    // The user switches the language while the first round is open.
    if (++Rounds == 1) ReshowMessageDlg();
    return R.Buttons & mbYes ? mrYes : mrOk;
  };
  ShowInfoMsg(TMsgIndex::SrchPatNotFound);
  EXPECT_EQ(Rounds, 2);
  Rounds = 0;
  MsgDlgText(u"not from the catalogue", mtInformation, mbOK);
  EXPECT_EQ(Rounds, 1);
  EXPECT_FALSE(ReshowRequested);
  MessageDlgHandler = nullptr;
}

TEST(LogText, OldestLinesGoFirstPastTheLimit) {
  TLogText Log(30);                          // each line counts its length + 2
  EXPECT_EQ(Log.AddLine(u"0123456789"), 0);  // 12
  EXPECT_EQ(Log.AddLine(u"abcdefghij"), 0);  // 24
  EXPECT_EQ(Log.AddLine(u"KLMNOPQRST"), 1);  // 36 > 30: the first goes
  EXPECT_EQ(Log.LogTextLength(), 24);
  EXPECT_EQ(Log.Text(), u"abcdefghij\nKLMNOPQRST");
  // A line longer than the limit alone still stays, as the newest.
  EXPECT_EQ(Log.AddLine(std::u16string(40, u'x')), 2);
  EXPECT_EQ(Log.Lines().size(), 1u);
  Log.Clear();
  EXPECT_EQ(Log.LogTextLength(), 0);
  EXPECT_EQ(kLogTextLimit, 131072);
}

}  // namespace
