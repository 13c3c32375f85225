#include "app/ui/GripForm.h"

#include <QEvent>

TGripForm::TGripForm(QWidget* Parent) : QDialog(Parent) { setSizeGripEnabled(true); }

void TGripForm::changeEvent(QEvent* Event) {
  // Restored, the grip is drawn again; maximized, there is no corner to drag.
  if (Event->type() == QEvent::WindowStateChange) setSizeGripEnabled(!isMaximized());
  QDialog::changeEvent(Event);
}
