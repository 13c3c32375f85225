// "Customize Toolbar": chooses and orders the main toolbar's buttons (the ToolbarButtons setting). The
// order rules come from TToolbarButtonList (app/OptionPages); every change rebuilds the main toolbar
// through RebuildToolbar at once. Main thread only.
#pragma once

#include <QDialog>
#include <QIcon>
#include <functional>

#include "app/Options.h"
#include "app/ui/QtLang.h"

class QListWidget;
class QPushButton;

class TCustomizeToolbar : public QDialog {
  Q_OBJECT
 public:
  explicit TCustomizeToolbar(QWidget* Parent = nullptr);
  // The window as the language layer sees it.
  TQtLangForm& LangForm() { return Lang_; }

  // Rebuilds the main toolbar after a change; the image of an action's button.
  std::function<void()> RebuildToolbar;
  std::function<QIcon(int32_t Action)> ActionIcon;

  // Refills both lists (on show and after every change).
  void FillLists();
  // The commands of the buttons and of double clicks and drops.
  void AddSelected(int32_t Index = -1);
  void RemoveSelected();
  void MoveSelected(bool Up);
  void MoveVisible(int32_t From, int32_t To);
  void Defaults();
  // Re-reads the captions (a language change).
  void LanguageChanged() { FillLists(); }

  QListWidget* AvailLst;
  QListWidget* VisLst;
  QPushButton* AddToVisBtn;
  QPushButton* DelFromVisBtn;
  QPushButton* VisUpBtn;
  QPushButton* VisDownBtn;

 protected:
  void showEvent(QShowEvent* Event) override;
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  // The program's settings, which the dialog shows and changes.
  TSettings& Settings_ = ProgramSettings();
  void UpdateButtons();
  void Changed();
  std::vector<int32_t> SelectedRows(QListWidget* List) const;
  bool Filling_ = false;
  TQtLangForm Lang_{this, "TCustomizeToolbar"};
};
