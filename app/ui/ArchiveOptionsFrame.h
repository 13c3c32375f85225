// The "Archives" page of the options window: each archive kind on or off, archives inside archives,
// password-protected archives, and the size above which archives are skipped. The decisions come from
// TArchiveOptionsPage (app/OptionPages). Main thread only.
#pragma once

#include <QWidget>

#include "app/OptionPages.h"

class QCheckBox;
class QLineEdit;
class QListWidget;
class TMultiLang;

class TArchiveOptions : public QWidget {
  Q_OBJECT
 public:
  explicit TArchiveOptions(QWidget* Parent = nullptr);
  // Languages may be null; PasswordAskMode is the main window's and must outlive the page.
  void LoadPage(const TMultiLang* Languages, int32_t& PasswordAskMode);
  // Renames and re-checks the rows (a language change).
  void LoadArchiveList(const TMultiLang* Languages);
  void SavePage();
  // Leaving the size edit shows the corrected value.
  void NormalizeMaxSize();

  QListWidget* ArchivesCheckList;
  QCheckBox* ProcessSubArchivesCheck;
  QCheckBox* SkipEncryptedArchivesCheck;
  QLineEdit* MaxSizeEdit;

 private:
  TArchivePageValues Values() const;
  void ShowSkipState();
  TCheckState SkipState_ = csUnchecked;
  TArchiveOptionsPage Page_;
  int32_t* AskMode_ = nullptr;
};
