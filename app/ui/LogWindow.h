// The log window: a tool window with the log's lines in a read-only text box, and a pop-up menu to close
// it, copy the text to the clipboard, clear it and keep it on top. New lines never move a reader's place.
// Made once, on first use, and kept until the program ends. Main thread only.
#pragma once

#include <QDialog>

#include "app/LogForm.h"

class QPlainTextEdit;
class QAction;

class TLog : public QDialog {
  Q_OBJECT
 public:
  explicit TLog(QWidget* Parent = nullptr);
  // Appends Text (its line breaks CR LF or LF) as a line; Show makes the window visible.
  void AddLine(const std::string& Text, bool Show);
  void Clear();
  const TLogText& Lines() const { return Log_; }
  QPlainTextEdit* Memo() const { return Edit_; }

 private:
  TLogText Log_;
  QPlainTextEdit* Edit_;
  QAction* StayOnTop_;
};
