// "Properties" of a found file (Alt+Enter on a plain file in the results list): what the file system
// knows of it (name, folder, size, dates, owner and group, permissions, type), read when the window is
// made. The window is modeless and goes when it is closed. Main thread only.
#pragma once

#include <QDialog>

#include "app/ResultCommands.h"
#include "app/ui/QtLang.h"

class QFormLayout;
class QLabel;

class TFilePropertiesForm : public QDialog {
  Q_OBJECT
 public:
  explicit TFilePropertiesForm(QWidget* Parent = nullptr);
  // The window as the language layer sees it.
  TQtLangForm& LangForm() { return Lang_; }
  // Shows the properties of the file at Path; false, with the reason shown as an error, when they cannot
  // be read.
  bool ShowFile(const std::u16string& Path);
  // The value shown in the row of a label ("NameLabel", "SizeLabel", ...), for tests.
  QString Value(const char* LabelName) const;

 private:
  // One row: a named caption and its value.
  QLabel* AddRow(const char* Name, const char* Caption);

  TQtLangForm Lang_{this, "TFileProperties"};
  QFormLayout* Rows_;
  QLabel *Name_, *Folder_, *Type_, *Size_, *Modified_, *Created_, *Accessed_, *Owner_, *Permissions_,
      *Target_;
};
