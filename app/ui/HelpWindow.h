// The help document: handed to the desktop's program for it (xdg-open, which runs on its own), and shown
// in a window of the program's own when no program opens it (no xdg-open, no browser, a failed start), so
// that help is always there. The help is HTML, which the window's text browser shows with its links; the
// window closes with Escape or Ctrl+W, also where no window manager gives it a title bar.
//
// Main thread only. The help window is made on first use and lives until its owner goes.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>

class QTextBrowser;

class THelpWindow : public QWidget {
  Q_OBJECT
 public:
  explicit THelpWindow(QWidget* Parent = nullptr);
  // Shows File (an HTML document) and brings the window up.
  void ShowDocument(const QString& File);
  QTextBrowser* Browser() const { return Browser_; }

 private:
  QTextBrowser* Browser_;
};

// Asks the desktop's opener to show File. Fallback runs when it cannot start or ends with an error (the
// exit status is awaited without blocking the windows).
void OpenWithDesktopOrElse(const QString& File, std::function<void()> Fallback);
// The program's own help window showing File; one window, owned by Owner, or by the open modal dialog
// while one is up (a window beside a modal dialog would take no input).
THelpWindow* ShowHelpWindow(const QString& File, QWidget* Owner);
// The help window shown last, if it is still open (for tests).
THelpWindow* OpenHelpWindow();
