// The base of the resizable dialogs: a size grip in the lower right corner that resizes the window, not
// drawn while the window is maximized.
#pragma once

#include <QDialog>
#include <QEvent>

class TGripForm : public QDialog {
  Q_OBJECT
 public:
  explicit TGripForm(QWidget* Parent = nullptr);

 protected:
  void changeEvent(QEvent* Event) override;
};
