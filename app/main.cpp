// Scryline's entry: checks the national-language layer, then shows the main window and runs the event
// loop.
#include <QApplication>
#include <QMessageBox>

#include "app/IO.h"
#include "app/MainForm.h"
#include "app/Startup.h"
#include "app/ui/MainWindow.h"
#include "app/ui/MessageDlg.h"
#include "core/EndingSignals.h"
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

// The main window while the event loop runs (main thread only).
TMain* RunningMain = nullptr;

// A termination request (SIGTERM, SIGINT, SIGHUP: a session ending, Ctrl+C in the terminal) closes the
// main window as the user would, which stops a search and saves the settings, and quits the event loop;
// the signal thread only posts that to the event loop. main then ends the process with the signal.
void RequestClose(int) {
  QMetaObject::invokeMethod(
      qApp,
      [] {
        if (RunningMain) RunningMain->close();
        QCoreApplication::quit();
      },
      Qt::QueuedConnection);
}

// The program from the application object to the end of the event loop; the exit status.
int RunProgram(int Argc, char* Argv[]) {
  TApplication Application(Argc, Argv);
  // A slow start (a loaded machine) does not use up the grace of a signal that comes while the window is
  // made: the program ends as soon as it can close its window.
  HoldEndingGrace(true);
  StartEndingSignals(RequestClose);
  // The request needs the application object: it is withdrawn before that goes.
  struct TWithdraw {
    ~TWithdraw() {
      HoldEndingGrace(false);
      StartEndingSignals(nullptr);
    }
  } Withdraw;
  if (auto Error = CheckQvnlsVersion(qvnls::GetVersion())) {
    QMessageBox::critical(nullptr, QString(), QString::fromStdString(*Error));
    return 1;
  }
  UseCharacterTypeLocale();
  QApplication::setApplicationName(kApplicationTitle);
  RegisterProgramVersion();
  InstallMessageDialogs();
  TMainCommandLine CommandLine = ParseMainCommandLine(Argc, Argv);
  // The program's own path, whatever argv[0] says (a relative name, a link).
  CommandLine.ProgramPath = QCoreApplication::applicationFilePath().toStdU16String();
  TMain Main(CommandLine, QCoreApplication::applicationDirPath().toStdString());
  RunningMain = &Main;
  Main.show();
  // A request that came while the window was made (its events were processed before the event loop ran,
  // when quitting does nothing) is carried out now; a later one reaches the event loop.
  int Result = 0;
  HoldEndingGrace(false);
  if (EndingRequested())
    Main.close();
  else
    Result = Application.exec();
  RunningMain = nullptr;
  CloseLogFile();
  return Result;
}

}  // namespace

int main(int argc, char* argv[]) {
  // Before any thread is made (the application object makes some): the ending signals are taken by the
  // signal thread alone.
  BlockEndingSignals();
  const int Result = RunProgram(argc, argv);
  EndProcessIfSignalled();  // after a signal: the temporary folders go and the process ends with it
  return Result;
}
