// Holds the user's input back while a long job runs on the main thread (a conversion for a preview,
// a print job) and remembers an Escape key pressed meanwhile, so that the job can poll for it between
// its steps and nothing closes or reloads a window in the middle of it.
//
// Begin and End nest. Main thread only.
#pragma once

#include <QObject>

class TInputGuard : public QObject {
 public:
  void Begin();
  void End();
  // Lets pending events through the guard; true when Escape was pressed since the last call.
  bool EscapePressed();

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  int Depth_ = 0;
  bool Pressed_ = false;
};
