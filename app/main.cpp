// Scryline's entry: checks the national-language layer, then shows the main window and runs the event
// loop.
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QSocketNotifier>
#include <csignal>
#include <functional>

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

// A termination request (SIGTERM, SIGINT, SIGHUP: a session ending, Ctrl+C in the terminal) closes the
// main window as the user would, so the settings are saved; the signal handler only writes one byte to a
// pipe, which the event loop reads.
int SignalPipe[2] = {-1, -1};

void OnTerminationSignal(int) {
  const char Byte = 1;
  [[maybe_unused]] ssize_t Written = ::write(SignalPipe[1], &Byte, 1);
}

void InstallTerminationHandler(const std::function<void()>& Close) {
  if (::pipe2(SignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  auto* Notifier = new QSocketNotifier(SignalPipe[0], QSocketNotifier::Read, qApp);
  QObject::connect(Notifier, &QSocketNotifier::activated, qApp, [Close] {
    char Bytes[16];
    while (::read(SignalPipe[0], Bytes, sizeof Bytes) > 0) {
    }
    Close();
  });
  struct sigaction Action {};
  Action.sa_handler = OnTerminationSignal;
  sigemptyset(&Action.sa_mask);
  Action.sa_flags = SA_RESTART;
  for (int Signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(Signal, &Action, nullptr);
}

}  // namespace

int main(int argc, char* argv[]) {
  TApplication Application(argc, argv);
  if (auto Error = CheckQvnlsVersion(qvnls::GetVersion())) {
    QMessageBox::critical(nullptr, QString(), QString::fromStdString(*Error));
    return 1;
  }
  UseCharacterTypeLocale();
  QApplication::setApplicationName(kApplicationTitle);
  RegisterProgramVersion();
  InstallMessageDialogs();
  TMain* MainWindow = nullptr;
  InstallTerminationHandler([&MainWindow] {
    if (MainWindow) MainWindow->close();
    QCoreApplication::quit();
  });
  TMainCommandLine CommandLine = ParseMainCommandLine(argc, argv);
  // The program's own path, whatever argv[0] says (a relative name, a link).
  CommandLine.ProgramPath = QCoreApplication::applicationFilePath().toStdU16String();
  TMain Main(CommandLine, QCoreApplication::applicationDirPath().toStdString());
  MainWindow = &Main;
  Main.show();
  int Result = Application.exec();
  MainWindow = nullptr;
  CloseLogFile();
  return Result;
}
