// "Select File Types": the file types known on the machine beside the selected ones, with saved type
// groups (the FileTypeGroups setting) and the mask editor. The selection rules come from
// TFileTypeSelection (app/FileTypesEnum); the types from the desktop's MIME database. Main thread only.
#pragma once

#include <QDialog>
#include <functional>

#include "app/FileTypesEnum.h"
#include "app/Options.h"
#include "app/ui/QtLang.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTreeWidget;
class QTreeWidgetItem;
class TWideStrLst;

// The types of the desktop's MIME database: each suffix once, upper-cased, the type's comment as its name.
std::vector<TFileTypeSource> MimeFileTypeSource();

class TSelectFileTypes : public QDialog {
  Q_OBJECT
 public:
  explicit TSelectFileTypes(QWidget* Parent = nullptr);
  // The window as the language layer sees it.
  TQtLangForm& LangForm() { return Lang_; }
  // True on OK with Masks replaced by the mask text split.
  bool Execute(TWideStrLst& Masks);

  // Asks a group's name (existing names offered); false on cancel. Unassigned: the input dialog.
  std::function<bool(std::u16string& Name, const std::vector<std::u16string>& Names)> AskGroupName;
  // Confirms a group's deletion. Unassigned: the program's question.
  std::function<bool(const std::u16string& Name)> ConfirmDelete;
  // Gives the masks editor its designed texts and the current language; unassigned: it stays in English.
  std::function<void(TQtLangForm&)> Localize;

  // Commands of the controls.
  void SetAllTypes(bool All);
  void CheckType(const std::string& Ext, bool Checked);
  void SaveGroup();
  void ChooseGroup(const std::u16string& Name);
  void DeleteGroup();
  void SortTypes(int32_t Column);
  // Drops: the selected types onto the selected list tick them; selected rows onto the type list untick.
  void DropTypesOnSelected();
  void DropRowsOnTypes();

  QTreeWidget* AllTypesList;
  QTreeWidget* SelTypesList;
  QLineEdit* MasksEdit;
  QRadioButton* AllRadio;
  QRadioButton* SelectedRadio;
  QComboBox* DefinedTypesCombo;
  QPushButton* SaveBtn;
  QPushButton* ClearBtn;
  QPushButton* EditMasksBtn;

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  // The program's settings, which the dialog shows and changes.
  TSettings& Settings_ = ProgramSettings();
  void FillAllTypes();
  void ShowSelection();
  void FillGroups();
  TFileTypeSelection Selection_;
  int32_t SortColumn_ = 1;  // 1 extension, 2 description; negative: descending
  bool Filling_ = false;
  TQtLangForm Lang_{this, "TSelectFileTypes"};
};
