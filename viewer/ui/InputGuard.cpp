#include "viewer/ui/InputGuard.h"

#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>

void TInputGuard::Begin() {
  if (Depth++ == 0) QCoreApplication::instance()->installEventFilter(this);
}

void TInputGuard::End() {
  if (Depth > 0 && --Depth == 0) {
    QCoreApplication::instance()->removeEventFilter(this);
    Pressed = false;
  }
}

bool TInputGuard::EscapePressed() {
  QCoreApplication::processEvents();
  const bool Was = Pressed;
  Pressed = false;
  return Was;
}

bool TInputGuard::eventFilter(QObject* Watched, QEvent* Event) {
  switch (Event->type()) {
    case QEvent::KeyPress:
      if (static_cast<QKeyEvent*>(Event)->key() == Qt::Key_Escape) Pressed = true;
      return true;
    case QEvent::KeyRelease:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
      return true;
    case QEvent::Close:
      Event->ignore();
      return true;
    default:
      return QObject::eventFilter(Watched, Event);
  }
}
