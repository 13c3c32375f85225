#include "viewer/ui/InputGuard.h"

#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>

void TInputGuard::Begin() {
  if (Depth_++ == 0) QCoreApplication::instance()->installEventFilter(this);
}

void TInputGuard::End() {
  if (Depth_ > 0 && --Depth_ == 0) {
    QCoreApplication::instance()->removeEventFilter(this);
    Pressed_ = false;
  }
}

bool TInputGuard::EscapePressed() {
  QCoreApplication::processEvents();
  const bool Was = Pressed_;
  Pressed_ = false;
  return Was;
}

bool TInputGuard::eventFilter(QObject* Watched, QEvent* Event) {
  switch (Event->type()) {
    case QEvent::KeyPress:
      if (static_cast<QKeyEvent*>(Event)->key() == Qt::Key_Escape) Pressed_ = true;
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
