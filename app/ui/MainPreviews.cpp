// The main window's previews: the hooks the preview windows reach this window through (status text,
// converters, passwords, the View menu), and opening the focused result, deferred while the converters
// are busy.
#include <QCheckBox>
#include <QTimer>
#include <QTreeView>

#include "app/IO.h"
#include "app/MainForm.h"
#include "app/MsgStr.h"
#include "app/ui/MainActions.h"
#include "app/ui/MainWindow.h"
#include "app/ui/PreviewHost.h"
#include "core/FileLayer.h"
#include "search/QVConvIntf.h"
#include "search/SrchRes.h"
#include "viewer/ui/PreviewForm.h"

void TMain::InstallPreviews() {
  PreviewHost_ = std::make_unique<TMainPreviewHost>();
  PreviewHost_->GetStatus = [this] { return Status_; };
  PreviewHost_->SetStatus = [this](const std::u16string& Text) { SetStatusText(Text, false); };
  PreviewHost_->Converters = [this] { return Converters_.get(); };
  // An item's password is asked for as in a search, with the item's archive as the archive's name.
  PreviewHost_->Password = [this](const std::string& ArcName, const std::string& ItemName,
                                  std::string& Password) {
    return Run_->ExtractionPassword(ArcName, Password, ItemName);
  };
  SetPreviewHost(PreviewHost_.get());
  TPreviewEnvironment Environment;
  Environment.MainWindow = this;
  Environment.Converters = Converters_.get();
  Environment.GetStatusText = PreviewHost_->GetStatus;
  Environment.SetStatusText = PreviewHost_->SetStatus;
  Environment.ExtractPassword = PreviewHost_->Password;
  Environment.AddPreviewMenuItem = [this](TPreview* W) {
    PreviewItems_[W] = PreviewMenu_->AddPreviewMenuItem(W->Model().GetCaption(), W);
  };
  Environment.RemovePreviewMenuItem = [this](TPreview* W) {
    auto It = PreviewItems_.find(W);
    if (It == PreviewItems_.end()) return;
    QAction* Item = It->second;
    PreviewItems_.erase(It);
    PreviewMenu_->RemovePreviewMenuItem(Item);
  };
  Environment.WindowMade = [this](QWidget* Window) { AddTranslatedWindow(Window); };
  SetPreviewEnvironment(Environment);
  // A preview asked for during a conversion opens once the converters are idle again, after the
  // conversion has returned.
  if (Converters_)
    Converters_->OnBusyChange = [this](TQVConverters*, bool Busy) {
      TFoundFileInfo Info;
      if (!PendingPreview_.BusyChanged(Busy, Info)) return;
      QTimer::singleShot(0, this, [this, Info] {
        UpdatePreviewPrintActions();
        PreviewResult(Info);
      });
    };
  // Hot links of the previews are dropped once the mouse has left them.
  auto* Idle = new QTimer(this);
  connect(Idle, &QTimer::timeout, this, [] {
    for (TPreview* W : PreviewWindows()) PreviewIdle(W);
  });
  Idle->start(250);
}

QAction* TMain::PreviewAction() const { return Commands_->ActionByIndex(maPreview); }

QAction* TMain::PrintAction() const { return Commands_->ActionByIndex(maPrint); }

void TMain::PreviewExec() {
  const QModelIndex Current = ResultView_->currentIndex();
  const bool Focused = Current.isValid() && Current.row() < Results().Count();
  TFoundFileInfo Info;
  if (Focused) Results().GetInfo(Current.row(), Info);
  switch (PendingPreview_.Request(Focused, Info, Converters_ && Converters_->Busy)) {
    case TPendingPreview::prDeferred:
      SetStatusMessage([] { return GetMsgW(TMsgIndex::Wait); }, false);
      UpdatePreviewPrintActions();
      break;
    case TPendingPreview::prOpenNow:
      PreviewResult(Info);
      break;
    case TPendingPreview::prIgnored:
      break;
  }
}

void TMain::PreviewResult(const TFoundFileInfo& Info) {
  TStreamScanner& Stream = Scanner_.Scanner;
  const TSearchResults& Table = Results();
  const bool Convert =
      PreviewConvert(Stream.IsPatternEmpty(), ConvToTextCheck_->isChecked(), Info, Table.Mode);
  const TPreviewSearchSettings Settings{Table.Logic, static_cast<uint8_t>(Table.Fuzzy ? 1 : 0),
                                        Table.CaseSensitive, Table.WholeWords};
  try {
    // The item's password may have been typed moments ago in the search: the stored ones come first.
    Run_->BeginExtraction();
    OpenPreview(Info, Convert, Stream.GetPattern(), Settings);
  } catch (const std::exception& E) {
    // A password question ended without a password: the user cancelled, no error.
    if (Run_->ExtractionRefused()) {
      Log(AddPeriod(FormatMsg(TMsgIndex::ExtractionCancelled_s, {Utf16ToUtf8(ResultFileName(Info))})), false,
          true);
      return;
    }
    Log(ExceptionLogLine(E.what()), false, true);
    ShowErrorText(Utf8ToUtf16(E.what()));
  }
}

void TMain::UpdatePreviewPrintActions() {
  const QModelIndex Current = ResultView_->currentIndex();
  PreviewAction()->setEnabled(!PendingPreview_.PreviewPending && Current.isValid() &&
                              Current.row() < Results().Count());
  PrintAction()->setEnabled(!Run_->Busy && Results().Count() > 0);
}
