// The program's one way of showing a message: a message box whose text usually comes from the message
// catalogue, with translated caption and buttons, an optional "don't show again" box whose answer is a
// bit of the settings, and a re-show in the new language when the user switches languages while a
// catalogue box is open.
//
// The decisions (text, caption, the don't-ask bits, the re-show loop) live here; the box itself is drawn
// by the window layer through MessageDlgHandler, so that tests answer the boxes without a display.
// Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "app/MsgStr.h"
#include "core/WideFormat.h"

enum TMsgDlgType : uint8_t {
  mtWarning = 0,
  mtError = 1,
  mtInformation = 2,
  mtConfirmation = 3,
  mtCustom = 4
};

// Buttons, a set of bits.
using TMsgDlgButtons = uint32_t;
constexpr TMsgDlgButtons mbYes = 1, mbNo = 2, mbOK = 4, mbCancel = 8, mbHelp = 0x400;
// Modal results.
constexpr int mrOk = 1, mrCancel = 2, mrYes = 6, mrNo = 7;

// No catalogue message (the text is given), and no formatting.
constexpr int32_t kNoMsgIndex = -1;
constexpr int32_t kNoFormat = -1;
// The highest don't-show-again bit that the settings keep.
constexpr int32_t kLastWarningBit = 7;

// One box as the window layer shows it.
struct TMessageDlgRequest {
  std::u16string Caption;  // empty: the application title
  std::u16string Text;     // final period ensured
  TMsgDlgType DlgType = mtInformation;
  TMsgDlgButtons Buttons = mbOK;
  int32_t HelpContext = 0;
  bool FromCatalogue = false;  // a catalogue box is re-shown after a language change
  bool ShowDontAsk = false;
  std::u16string DontAskText;
  bool DontAsk = false;  // in: the box's start state; out: its state when closed
};

// Shows the box modally and answers the modal result. Unassigned: every box answers its first button
// (Yes, OK) without being shown, so that code runs without a window layer.
extern std::function<int(TMessageDlgRequest& Request)> MessageDlgHandler;
// Closes the open box (the window layer's); used by ReshowMessageDlg.
extern std::function<void()> CloseMessageDlgHandler;

// The open catalogue box is to be shown again after it closed (a language change).
extern bool ReshowRequested;
// A catalogue box is open.
extern bool MessageDlgOpen;

// The caption of a box of DlgType: the catalogue's Warning, Error, Information or Confirmation; empty for
// a custom box.
std::u16string MessageDlgCaption(TMsgDlgType DlgType);

// Shows a box: Text, or the catalogue text MsgIndex formatted with Args when ArgsHigh >= 0. DontAsk is the
// don't-show-again box's state in and out. Shown again in the current language as long as
// ReshowRequested is set when it closes.
int ShowMessageDlg(const std::u16string& Text, int32_t MsgIndex, const TFormatArgs& Args, int32_t HelpContext,
                   bool& DontAsk, bool ShowDontAsk, TMsgDlgButtons Buttons, TMsgDlgType DlgType,
                   int32_t ArgsHigh);
// Run after every language change: an open catalogue box closes and comes back in the new language.
void ReshowMessageDlg();

int MsgDlgText(const std::u16string& Text, TMsgDlgType DlgType, TMsgDlgButtons Buttons,
               int32_t HelpContext = 0);
int MsgDlgId(TMsgIndex MsgIndex, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int32_t HelpContext = 0);
int MsgDlgFmt(TMsgIndex MsgIndex, const TFormatArgs& Args, int32_t HelpContext, TMsgDlgButtons Buttons,
              TMsgDlgType DlgType);
void ShowInfoMsg(TMsgIndex MsgIndex, int32_t HelpContext = 0);
void ShowWarningMsg(TMsgIndex MsgIndex, int32_t HelpContext = 0);
void ShowWarningFmt(TMsgIndex MsgIndex, const TFormatArgs& Args, int32_t HelpContext = 0);
void ShowErrorText(const std::u16string& Text, int32_t HelpContext = 0);
void ShowErrorMsg(TMsgIndex MsgIndex, int32_t HelpContext = 0);
void ShowErrorFmt(TMsgIndex MsgIndex, const TFormatArgs& Args, int32_t HelpContext = 0);
bool AskYesNo(TMsgIndex MsgIndex, int32_t HelpContext = 0);
bool AskYesNoFmt(TMsgIndex MsgIndex, const TFormatArgs& Args, int32_t HelpContext = 0);
// When Bit (0..7) of WarningBits is set: DefaultAnswer without a box. Else the question with the
// don't-show-again box; ticked, the bit is set whatever the answer.
bool AskYesNoOnce(TMsgIndex MsgIndex, int32_t Bit, bool DefaultAnswer, int32_t HelpContext = 0);
