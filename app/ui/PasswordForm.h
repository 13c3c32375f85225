// "Enter Password": asks for the password of a protected archive item during a search, and how later
// protected items are treated (0 ask next time, 1 use stored passwords only, 2 skip protected items).
// No password stays in the window after it closes. Main thread only.
#pragma once

#include <QDialog>
#include <string>

#include "app/ui/QtLang.h"

class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QPlainTextEdit;

class TEnterPassword : public QDialog {
  Q_OBJECT
 public:
  explicit TEnterPassword(QWidget* Parent = nullptr);
  // True on OK, with Mode and Password set; on Cancel Password is empty and Mode untouched.
  bool Execute(const std::u16string& ItemName, const std::u16string& ArchiveName, int32_t& Mode,
               std::u16string& Password);
  // Formats the question again (after an interface-language change).
  void LanguageChanged();
  TQtLangForm& LangForm() { return Lang_; }

  QLineEdit* PWDEdit;
  QPlainTextEdit* MsgMemo;
  QCheckBox* ShowPWDCheck;
  QButtonGroup* AskModeRadio;

 private:
  std::u16string Item_, Archive_;
  TQtLangForm Lang_;
};
