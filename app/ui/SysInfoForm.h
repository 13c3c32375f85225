// "System Information": the report of app/SysInfo in a read-only text box, rebuilt each time the window
// shows, and a button that copies it to the clipboard. Main thread only.
#pragma once

#include <QDialog>
#include <functional>

#include "app/SysInfo.h"
#include "app/ui/QtLang.h"

class QPlainTextEdit;

class TSysInfo : public QDialog {
  Q_OBJECT
 public:
  explicit TSysInfo(QWidget* Parent = nullptr);
  // The window as the language layer sees it.
  TQtLangForm& LangForm() { return Lang_; }
  // The facts of the report; unassigned: this system's, without converters.
  std::function<TSysInfoSources()> Sources;
  void BuildReport();
  QPlainTextEdit* InfoMemo;

 protected:
  void showEvent(QShowEvent* Event) override;

 private:
  TQtLangForm Lang_{this, "TSysInfo"};
};
