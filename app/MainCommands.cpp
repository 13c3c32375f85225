#include "app/MainCommands.h"

#include "app/Utils.h"
#include "core/NumVector.h"
#include "core/StrLst.h"

const TMainActionInfo MainActionTable[kMainActionCount] = {
    {"actSearchStart", "Start", ""},  // Enter and F3 come through the hook
    {"actSearchStop", "Stop", ""},
    {"actSearchPause", "Pause", ""},
    {"actSearchFiles", "", ""},
    {"actSearchArchives", "", ""},
    {"actShowLog", "Show Log", "Ctrl+L"},
    {"actPreview", "Preview", "Ctrl+W"},
    {"actPrint", "Print", "Ctrl+P"},
    {"actOptions", "Options", "F9"},
    {"actHelp", "Help", "F1"},  // shown in the menu; the key itself comes through the hook
    {"actExit", "Exit", ""},
};

int32_t ActionByIndex(int32_t Index) {
  const int32_t Low = Index & 0x7F;  // the tag's low 7 bits name the action
  return Low < kMainActionCount ? Low : -1;
}

TMsgIndex ActionCaptionMsg(int32_t Index) {
  return static_cast<TMsgIndex>(static_cast<int32_t>(TMsgIndex::SearchStart) + Index);
}

TMsgIndex ActionHintMsg(int32_t Index) {
  return static_cast<TMsgIndex>(static_cast<int32_t>(TMsgIndex::SearchStartHint) + Index);
}

TAppMessage MakeRunActionMessage(int32_t Action) { return {WM_RUNACTION, kRunActionMagic, Action}; }
TAppMessage MakeUserInterruptMessage() { return {WM_USERINTERRUPT, kUserInterruptMagic, 0}; }
TAppMessage MakeFillFromHistoryMessage() { return {WM_FILLFROMHISTORY, kFillFromHistoryMagic, 0}; }

TAppMessageDecision DecodeAppMessage(const TAppMessage& M) {
  TAppMessageDecision D;
  switch (M.Msg) {
    case WM_LANGUAGECHANGED:
      if (M.WParam == 0) D.Kind = amLanguageChanged;
      break;
    case WM_RUNACTION:
      // Only the indexes of real actions run; any other number would name no action at all.
      if (M.WParam == kRunActionMagic && M.LParam >= 0 && M.LParam < kMainActionCount) {
        D.Kind = amRunAction;
        D.Action = static_cast<int32_t>(M.LParam);
      }
      break;
    case WM_USERINTERRUPT:
      if (M.WParam == kUserInterruptMagic) D.Kind = amUserInterrupt;
      break;
    case WM_FILLFROMHISTORY:
      if (M.WParam == kFillFromHistoryMagic) D.Kind = amFillFromHistory;
      break;
    default:
      break;
  }
  return D;
}

TAppKeyAction DecideAppKey(const TAppKeyState& S) {
  TAppKeyAction A;
  const int32_t Fn = S.Key == akF3 ? 3 : S.Key == akFunction ? S.FunctionNumber : 0;
  if (S.Ctrl && S.Alt && Fn >= 1 && Fn <= 12) {
    // Ctrl+Alt+F1 selects language 0, F2 language 1, ...; a key past the languages does nothing.
    A.Kind = kaSwallow;
    if (Fn - 1 < S.LanguageCount) {
      A.Kind = kaSelectLanguage;
      A.Language = Fn - 1;
    }
    return A;
  }
  // F1 asks for help in every window of the program; with Ctrl or Alt held it is a language key.
  if (S.Key == akFunction && Fn == 1) {
    if (HelpKeysAllowed(S.Ctrl, S.Alt)) A.Kind = kaHelp;
    return A;
  }
  if (!S.MainWindowActive) return A;
  if (S.Key == akEnter) {
    if (S.Ctrl || S.FocusOnButton) return A;
    A.Kind = kaSwallow;
    if (!S.Alt)
      A.Kind = kaStartSearch;
    else if (S.ResultsFocused && S.RowFocused && !S.FocusedRowInArchive)
      A.Kind = kaShowProperties;
    return A;
  }
  if (S.Key == akF3) A.Kind = kaStartSearch;
  return A;
}

TMainEnables ComputeMainEnables(const TMainState& S) {
  TMainEnables E;
  const bool Idle = !S.Busy;
  E.Actions[maSearchStart] = Idle;
  E.Actions[maSearchFiles] = Idle;
  E.Actions[maSearchArchives] = Idle;
  E.Actions[maSearchStop] = S.Busy;
  E.Actions[maSearchPause] = S.Busy;
  E.Actions[maPreview] = S.RowFocused && !S.PreviewPending;
  E.Actions[maPrint] = Idle && !S.TableEmpty;
  E.Actions[maShowLog] = E.Actions[maOptions] = E.Actions[maHelp] = E.Actions[maExit] = true;
  E.SearchControls = Idle;
  E.SearchInResults = Idle && !S.TableEmpty;
  E.Charsets = S.DirectScan && E.SearchControls;
  // "Search in results" keeps the folder inputs off: the search reads the table instead.
  E.Inputs = Idle && !S.SearchInResults;
  E.DateEdits = E.Inputs && S.DateFilter;
  E.SizeEdits = E.Inputs && S.SizeFilter;
  E.UntickConvert = !S.ConvertersLoaded;
  E.ConvertToText = S.ConvertersLoaded && Idle;
  E.Filters = E.ConvertToText;
  return E;
}

void SetFilesArchives(bool& Files, bool& Archives) {
  if (!Files && !Archives) Files = true;
}

void ClickFilesArchives(bool ClickedFiles, bool& Files, bool& Archives) {
  if (!Files && !Archives) (ClickedFiles ? Archives : Files) = true;
  SetFilesArchives(Files, Archives);
}

void DirectScanClicked(bool DirectScan, bool& ConvertToText) {
  if (!DirectScan && !ConvertToText) ConvertToText = true;
}

void ConvToTextClicked(bool ConvertToText, bool& DirectScan) {
  if (!ConvertToText && !DirectScan) DirectScan = true;
}

int32_t ToolButtonImage(int32_t Tag, bool Down, bool LowColor) {
  if (!Down || LowColor) return Tag;
  switch (Tag) {
    case maSearchPause:
      return kImagePausePressed;
    case maSearchFiles:
      return kImageFilesPressed;
    case maSearchArchives:
      return kImageArchivesPressed;
    default:
      return Tag;
  }
}

TToolbarPlan PlanToolbar(const TInt8Vector& Buttons, bool Paused, bool Files, bool Archives, bool LowColor) {
  TToolbarPlan P;
  for (int32_t I = 0; I < Buttons.GetCount(); ++I) {
    const int32_t Tag = Buttons.Get(I);
    if (Tag < 0 || Tag >= kMainActionCount) continue;  // names no action: no button
    TToolButtonPlan B;
    B.Tag = Tag;
    B.CheckStyle = Tag == maSearchPause || Tag == maSearchFiles || Tag == maSearchArchives;
    B.Down = (Tag == maSearchPause && Paused) || (Tag == maSearchFiles && Files) ||
             (Tag == maSearchArchives && Archives);
    B.Image = ToolButtonImage(Tag, B.Down, LowColor);
    if (Tag == maSearchStart && P.StartButton < 0) P.StartButton = static_cast<int32_t>(P.Buttons.size());
    P.Buttons.push_back(B);
  }
  P.Visible = !P.Buttons.empty();
  return P;
}

TAnimationPlace TBusyAnimation::WantedPlace(bool Show) const {
  if (!Show || Mode == 2) return apNone;
  if (Mode == 1) return apStatusBar;
  if (Mode == 0 && !Paused && HasStartButton) return apStartButton;
  return apNone;
}

bool TBusyAnimation::ShowBusyAnimation(bool Show) {
  const bool Previous = Shown;
  Shown = Show;
  CurrentPlace_ = WantedPlace(Show);
  SetAnimationActive(Running);
  return Previous;
}

bool TBusyAnimation::SetAnimationActive(bool Run) {
  const bool Previous = Running;
  Running = Run;
  return Previous;
}

void TBusyAnimation::SetAnimationMode(uint8_t NewMode) {
  if (NewMode == Mode) return;
  const bool WasShown = ShowBusyAnimation(false);
  Mode = NewMode;
  ShowBusyAnimation(WasShown || (Paused && NewMode == 1));
}

std::u16string SearchMenuStartCaption(const std::u16string& Caption) {
  if (Caption.find(u'\t') != std::u16string::npos) return Caption;
  return Caption + u"\tF3";
}

std::u16string FillFromHistoryText(const std::u16string& BoxText, const TWideStrLst& List) {
  if (!BoxText.empty() || List.GetCount() == 0) return BoxText;
  return JoinQuotedList(List);
}

std::u16string ChooseHelpFile(bool& HelpChecked, const std::u16string& ProgramDir,
                              const std::function<bool(const std::u16string&)>& Exists,
                              const std::function<void(const std::u16string&)>& Warn) {
  std::u16string File = ProgramDir + GetMsgW(TMsgIndex::HelpFile);
  const char* Default = MsgDefault(TMsgIndex::HelpFile);
  const std::u16string English =
      ProgramDir + std::u16string(Default, Default + std::char_traits<char>::length(Default));
  if (!Exists || Exists(File)) {
    HelpChecked = true;
    return File;
  }
  // A language without a help document of its own shows the English one.
  if (English != File && Exists(English)) {
    HelpChecked = true;
    return English;
  }
  if (!HelpChecked && Warn) Warn(FormatMsgW(TMsgIndex::HelpNotFound_s, {File}));
  HelpChecked = true;
  return English;
}
