// "Select Paths": the folders to search, picked in a folder tree with check boxes or kept from the typed
// path text, with named path sets (the SavedPathSets setting). The list rules come from TPathSelection
// (app/PathSelection). Main thread only.
#pragma once

#include <QDialog>
#include <functional>

#include "app/MsgStr.h"
#include "app/Options.h"
#include "app/PathSelection.h"
#include "app/ui/QtLang.h"

class QCheckBox;
class QComboBox;
class QPushButton;
class QTreeWidget;
class TShTreeView;

// The input dialog that names a saved set (the existing names offered), and the question before one is
// deleted (the name with "&" doubled); both dialogs of saved sets use them.
bool AskSavedSetName(TMsgIndex CaptionMsg, TMsgIndex LabelMsg, std::u16string& Name,
                     const std::vector<std::u16string>& Names);
bool ConfirmDeleteSavedSet(TMsgIndex QuestionMsg, const std::u16string& Name);

class TSelectPaths : public QDialog {
  Q_OBJECT
 public:
  explicit TSelectPaths(QWidget* Parent = nullptr);
  // The window as the language layer sees it.
  TQtLangForm& LangForm() { return Lang_; }
  // True on OK with Paths replaced by the chosen list; the sub-folder and sort boxes go to the settings.
  bool Execute(std::u16string& Paths);

  // Asks a set's name (existing names offered); false on cancel. Unassigned: the input dialog.
  std::function<bool(std::u16string& Name, const std::vector<std::u16string>& Names)> AskSetName;
  std::function<bool(const std::u16string& Name)> ConfirmDelete;

  void SaveSet();
  void ChooseSet(const std::u16string& Name);
  void DeleteSet();
  void ClearAll();
  // Drops: the tree's selected folder onto the list adds it (when it has a box and is not ticked); the
  // list's selected rows onto the tree untick them.
  void DropTreeNodeOnList();
  void DropRowsOnTree();

  TShTreeView* ShellTree;
  QTreeWidget* PathList;
  QCheckBox* RecursCheck;
  QCheckBox* SortCheck;
  QComboBox* SavedPathsCombo;
  QPushButton* SaveBtn;

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  // The program's settings, which the dialog shows and changes.
  TSettings& Settings_ = ProgramSettings();
  void FillList();
  void FillSets();
  void ShowState();
  TPathSelection Selection_;
  bool Filling_ = false;
  TQtLangForm Lang_{this, "TSelectPaths"};
};
