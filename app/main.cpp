// Scryline's entry: checks the national-language layer, then shows the main window.
#include <QApplication>
#include <QMainWindow>
#include <QMessageBox>

#include "app/Startup.h"
#include "platform/qvnls/Qvnls.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  if (auto error = CheckQvnlsVersion(qvnls::GetVersion())) {
    QMessageBox::critical(nullptr, QString(), QString::fromStdString(*error));
    return 1;
  }
  QApplication::setApplicationName(kApplicationTitle);
  QMainWindow main;
  main.setWindowTitle(kApplicationTitle);
  main.resize(800, 560);
  main.show();
  return application.exec();
}
