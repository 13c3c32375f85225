// "About": the borderless box with the program's picture, its build, the contact text with links, and a
// button to the system report. One box at a time; the main window's About command shows it modally.
// Main thread only.
#pragma once

#include <QDialog>
#include <functional>

#include "app/SysInfo.h"
#include "app/ui/QtLang.h"

class QLabel;
class QPushButton;
class TSysInfo;

class TAbout : public QDialog {
  Q_OBJECT
 public:
  explicit TAbout(QWidget* Parent = nullptr);
  // The contact text again (on show and after a language change).
  void LanguageChanged();
  TQtLangForm& LangForm() { return Lang_; }

  // The facts of the system report; unassigned: this system's.
  std::function<TSysInfoSources()> Sources;
  // Gives the system report window its designed texts and the current language when it is made;
  // unassigned: it stays in English.
  std::function<void(TQtLangForm&)> Localize;

  QLabel* LBuild;
  QLabel* PContact;
  QPushButton* OKBtn;
  QPushButton* SysInfoBtn;
  // Made at the first click on SysInfoBtn.
  TSysInfo* SysInfo = nullptr;

 protected:
  void showEvent(QShowEvent* Event) override;

 private:
  TQtLangForm Lang_;
};
