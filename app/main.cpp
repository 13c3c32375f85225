// Scryline's entry: checks the national-language layer, then shows the main window and runs the event
// loop.
#include <QApplication>
#include <QMessageBox>

#include "app/IO.h"
#include "app/MainForm.h"
#include "app/Startup.h"
#include "app/ui/MainWindow.h"
#include "app/ui/MessageDlg.h"
#include "core/FileLayer.h"
#include "platform/qvnls/Qvnls.h"

namespace {

// Every exception that reaches the event loop is logged and shown; the program goes on.
class TApplication : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* Receiver, QEvent* Event) override {
    try {
      return QApplication::notify(Receiver, Event);
    } catch (const std::exception& E) {
      Log(ExceptionLogLine(E.what()), false, true);
      ShowErrorText(Utf8ToUtf16(E.what()));
    }
    return false;
  }
};

}  // namespace

int main(int argc, char* argv[]) {
  TApplication application(argc, argv);
  if (auto error = CheckQvnlsVersion(qvnls::GetVersion())) {
    QMessageBox::critical(nullptr, QString(), QString::fromStdString(*error));
    return 1;
  }
  UseCharacterTypeLocale();
  QApplication::setApplicationName(kApplicationTitle);
  RegisterProgramVersion();
  InstallMessageDialogs();
  TMainCommandLine CommandLine = ParseMainCommandLine(argc, argv);
  // The program's own path, whatever argv[0] says (a relative name, a link).
  CommandLine.ProgramPath = QCoreApplication::applicationFilePath().toStdU16String();
  TMain Main(CommandLine, QCoreApplication::applicationDirPath().toStdString());
  Main.show();
  int Result = application.exec();
  CloseLogFile();
  return Result;
}
