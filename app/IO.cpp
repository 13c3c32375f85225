#include "app/IO.h"

#include "app/Options.h"
#include "core/StrUtils.h"

std::function<int(TMessageDlgRequest& Request)> MessageDlgHandler;
std::function<void()> CloseMessageDlgHandler;
bool ReshowRequested = false;
bool MessageDlgOpen = false;

namespace {

int FirstButtonResult(TMsgDlgButtons Buttons) {
  if (Buttons & mbYes) return mrYes;
  if (Buttons & mbOK) return mrOk;
  if (Buttons & mbNo) return mrNo;
  return mrCancel;
}

}  // namespace

std::u16string MessageDlgCaption(TMsgDlgType DlgType) {
  switch (DlgType) {
    case mtWarning:
      return GetMsgW(TMsgIndex::Warning);
    case mtError:
      return GetMsgW(TMsgIndex::Error);
    case mtInformation:
      return GetMsgW(TMsgIndex::Information);
    case mtConfirmation:
      return GetMsgW(TMsgIndex::Confirmation);
    default:
      return std::u16string();
  }
}

int ShowMessageDlg(const std::u16string& Text, int32_t MsgIndex, const TFormatArgs& Args, int32_t HelpContext,
                   bool& DontAsk, bool ShowDontAsk, TMsgDlgButtons Buttons, TMsgDlgType DlgType,
                   int32_t ArgsHigh) {
  int Result = mrCancel;
  do {
    ReshowRequested = false;
    TMessageDlgRequest Request;
    // The catalogue text is read on every round, so a box shown again speaks the new language.
    if (MsgIndex >= 0) {
      auto Index = static_cast<TMsgIndex>(MsgIndex);
      Request.Text = ArgsHigh >= 0 ? FormatMsgW(Index, Args) : GetMsgW(Index);
    } else {
      Request.Text = Text;
    }
    Request.Text = WideAddPeriod(Request.Text);
    Request.Caption = MessageDlgCaption(DlgType);
    Request.DlgType = DlgType;
    Request.Buttons = HelpContext != 0 ? Buttons | mbHelp : Buttons;
    Request.HelpContext = HelpContext;
    Request.FromCatalogue = MsgIndex >= 0;
    Request.ShowDontAsk = ShowDontAsk;
    Request.DontAskText = GetMsgW(TMsgIndex::DontShowAgain);
    Request.DontAsk = DontAsk;
    MessageDlgOpen = Request.FromCatalogue;
    Result = MessageDlgHandler ? MessageDlgHandler(Request) : FirstButtonResult(Buttons);
    MessageDlgOpen = false;
    if (ShowDontAsk) DontAsk = Request.DontAsk;
  } while (ReshowRequested);
  return Result;
}

void ReshowMessageDlg() {
  if (!MessageDlgOpen) return;
  ReshowRequested = true;
  if (CloseMessageDlgHandler) CloseMessageDlgHandler();
}

int MsgDlgText(const std::u16string& Text, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int32_t HelpContext) {
  bool DontAsk = false;
  return ShowMessageDlg(Text, kNoMsgIndex, {}, HelpContext, DontAsk, false, Buttons, DlgType, kNoFormat);
}

int MsgDlgId(TMsgIndex MsgIndex, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int32_t HelpContext) {
  bool DontAsk = false;
  return ShowMessageDlg(std::u16string(), static_cast<int32_t>(MsgIndex), {}, HelpContext, DontAsk, false,
                        Buttons, DlgType, kNoFormat);
}

int MsgDlgFmt(TMsgIndex MsgIndex, const TFormatArgs& Args, int32_t HelpContext, TMsgDlgButtons Buttons,
              TMsgDlgType DlgType) {
  bool DontAsk = false;
  return ShowMessageDlg(std::u16string(), static_cast<int32_t>(MsgIndex), Args, HelpContext, DontAsk, false,
                        Buttons, DlgType, 0);
}

void ShowInfoMsg(TMsgIndex MsgIndex, int32_t HelpContext) {
  MsgDlgId(MsgIndex, mtInformation, mbOK, HelpContext);
}
void ShowWarningMsg(TMsgIndex MsgIndex, int32_t HelpContext) {
  MsgDlgId(MsgIndex, mtWarning, mbOK, HelpContext);
}
void ShowWarningFmt(TMsgIndex MsgIndex, const TFormatArgs& Args, int32_t HelpContext) {
  MsgDlgFmt(MsgIndex, Args, HelpContext, mbOK, mtWarning);
}
void ShowErrorText(const std::u16string& Text, int32_t HelpContext) {
  MsgDlgText(Text, mtError, mbOK, HelpContext);
}
void ShowErrorMsg(TMsgIndex MsgIndex, int32_t HelpContext) { MsgDlgId(MsgIndex, mtError, mbOK, HelpContext); }
void ShowErrorFmt(TMsgIndex MsgIndex, const TFormatArgs& Args, int32_t HelpContext) {
  MsgDlgFmt(MsgIndex, Args, HelpContext, mbOK, mtError);
}
bool AskYesNo(TMsgIndex MsgIndex, int32_t HelpContext) {
  return MsgDlgId(MsgIndex, mtConfirmation, mbYes | mbNo, HelpContext) == mrYes;
}
bool AskYesNoFmt(TMsgIndex MsgIndex, const TFormatArgs& Args, int32_t HelpContext) {
  return MsgDlgFmt(MsgIndex, Args, HelpContext, mbYes | mbNo, mtConfirmation) == mrYes;
}

bool AskYesNoOnce(TMsgIndex MsgIndex, int32_t Bit, bool DefaultAnswer, int32_t HelpContext) {
  bool Storable = Bit >= 0 && Bit <= kLastWarningBit;
  TViewOptions& ViewOptions = ProgramSettings().ViewOptions;
  if (Storable && (ViewOptions.WarningBits & (1u << Bit))) return DefaultAnswer;
  bool DontAsk = false;
  int Result = ShowMessageDlg(std::u16string(), static_cast<int32_t>(MsgIndex), {}, HelpContext, DontAsk,
                              true, mbYes | mbNo, mtConfirmation, kNoFormat);
  if (DontAsk && Storable)
    ViewOptions.WarningBits = static_cast<uint8_t>(ViewOptions.WarningBits | (1u << Bit));
  return Result == mrYes;
}
