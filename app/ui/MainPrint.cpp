// The main window's printing of the results list: the print dialog, then the list on a printer page by
// page, with Escape and a failing printer ending the job.
#include <QApplication>
#include <QHeaderView>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QTreeView>

#include "app/MsgStr.h"
#include "app/Options.h"
#include "app/ResListPrint.h"
#include "app/Startup.h"
#include "app/ui/MainWindow.h"
#include "app/ui/ResListModel.h"
#include "viewer/ui/InputGuard.h"

namespace {

std::u16string U(const QString& S) { return S.toStdU16String(); }

// The results list on a printer: a painter over the whole sheet, Escape through the input guard.
class TPrinterSurface : public IResListPrintSurface {
 public:
  TPrinterSurface(QPrinter& Printer, const QFont& Font, TInputGuard& Guard)
      : Printer_(Printer), Font_(Font), Guard_(Guard) {}
  void BeginDocument() override {
    Printer_.setDocName(QString::fromUtf8(kApplicationTitle));
    Open_ = Painter_.begin(&Printer_);
    Failed_ = !Open_;
    if (Open_) Painter_.setFont(Font_);
  }
  void NewPage() override {
    if (Open_ && !Printer_.newPage()) Abort();
  }
  void EndDocument() override {
    if (Open_) Painter_.end();
    Open_ = false;
  }
  void AbortDocument() override { Abort(); }
  void SetBold(bool Bold) override {
    QFont F = Font_;
    F.setBold(Bold);
    Painter_.setFont(F);
  }
  int32_t TextWidth(const std::u16string& Text) override {
    return Painter_.fontMetrics().horizontalAdvance(QString::fromStdU16String(Text));
  }
  int32_t AverageCharWidth() override { return Painter_.fontMetrics().averageCharWidth(); }
  int32_t LineHeight() override { return Painter_.fontMetrics().height(); }
  void DrawText(int32_t X, int32_t Y, const std::u16string& Text) override {
    if (Open_) Painter_.drawText(X, Y + Painter_.fontMetrics().ascent(), QString::fromStdU16String(Text));
  }
  // A printer that failed (an error of the system's print service) ends the job quietly: the list
  // stops as if Escape had been pressed.
  bool EscapePressed() override { return Guard_.EscapePressed() || Failed_; }

 private:
  void Abort() {
    if (!Open_) return;
    Printer_.abort();
    Painter_.end();
    Open_ = false;
    Failed_ = true;
  }
  QPrinter& Printer_;
  QFont Font_;
  TInputGuard& Guard_;
  QPainter Painter_;
  bool Open_ = false;
  bool Failed_ = false;
};

}  // namespace

void TMain::PrintExec() {
  if (IsPrinting_) return;
  QPrinter Printer(QPrinter::HighResolution);
  Printer.setFullPage(true);  // coordinates from the sheet's corner: the margins are ours
  QPrintDialog Dialog(&Printer, this);
  Dialog.setOption(QAbstractPrintDialog::PrintToFile, true);
  if (Dialog.exec() != QDialog::Accepted) return;

  const std::u16string SavedStatus = Status_;
  IsPrinting_ = true;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  SetStatusText(GetMsgW(TMsgIndex::Printing) + u" " + GetMsgW(TMsgIndex::EscapeCancel), false);
  TInputGuard Guard;
  Guard.Begin();
  // Whatever happens, the window returns to its state before the print.
  struct TRestore {
    TMain& Main;
    TInputGuard& Guard;
    std::u16string Status;
    ~TRestore() {
      Guard.End();
      Main.IsPrinting_ = false;
      QApplication::restoreOverrideCursor();
      Main.SetStatusText(Status, true);
    }
  } Restore{*this, Guard, SavedStatus};
  {
    std::vector<TPrintColumnSpec> Columns;
    for (int I = 0; I < kResListColumnCount; ++I)
      if (!ResultView_->header()->isSectionHidden(I))
        Columns.push_back({I, ResultView_->header()->visualIndex(I), ResultView_->header()->sectionSize(I)});
    std::u16string Captions[4];
    for (int I = 0; I < 4; ++I)
      Captions[I] = U(Model_->headerData(I, Qt::Horizontal, Qt::DisplayRole).toString());
    TResListPrintJob Job;
    const QRect Page = Printer.pageLayout().fullRectPixels(Printer.resolution());
    Job.PageWidth = Page.width();
    Job.PageHeight = Page.height();
    // The margin in tenths of a millimetre, in printer pixels (254 tenths to the inch).
    Job.Margin =
        static_cast<int32_t>(static_cast<int64_t>(kPrintMarginTenthsMm) * Printer.resolution() / 254);
    Job.Copies = Printer.copyCount();
    Job.Collate = Printer.collateCopies();
    int32_t Passes = 1, PrinterCopies = 1;
    PrintCopies(Job, Passes, PrinterCopies);
    Printer.setCopyCount(PrinterCopies);
    TPrinterSurface Surface(Printer, ResultView_->font(), Guard);
    PrintResList(Results(), Columns, Captions, Job, Surface);
  }
}
