// The open and save file dialogs with one read-only line at the top that shows the folder the dialog is
// in, centred on the screen. The result commands use the save form to ask where an archive item goes.
// Main thread only.
#pragma once

#include <QFileDialog>
#include <string>

class QLineEdit;

class TExtFileDialog : public QFileDialog {
  Q_OBJECT
 public:
  // FileName with a folder opens in that folder with the name preset; a bare name opens in the current
  // folder. Filter: name filters separated by ";;".
  TExtFileDialog(bool Open, QWidget* Owner, const std::u16string& FileName, const QString& Filter,
                 int32_t FilterIndex, const QString& DefaultExt, const QString& Title);
  QLineEdit* FolderLine;
};

// Shows the dialog; true on OK with FileName and FilterIndex (1-based) set.
bool ExtFileDialog(bool Open, QWidget* Owner, std::u16string& FileName, int32_t& FilterIndex,
                   const QString& Filter, const QString& DefaultExt, const QString& Title);
// The save form (no owner; the overwrite question is the dialog's own).
bool ExtSaveDialog(std::u16string& FileName, const QString& Title, const QString& DefaultExt,
                   int32_t& FilterIndex, const QString& Filter);
