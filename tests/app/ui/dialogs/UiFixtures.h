// Helpers of the dialog tests: act on the modal window a call is about to open, and look up controls.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

// Runs Act on the next modal window once it is shown, then accepts (Accept) or rejects it.
inline void WhenModal(std::function<void(QDialog*)> Act, bool Accept) {
  auto* Poll = new QTimer(qApp);
  Poll->setInterval(5);
  QObject::connect(Poll, &QTimer::timeout, Poll, [Poll, Act, Accept] {
    auto* D = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (D == nullptr || !D->isVisible()) return;
    Poll->stop();
    Poll->deleteLater();
    if (Act) Act(D);
    if (Accept)
      D->accept();
    else
      D->reject();
  });
  Poll->start();
}

// The names a language file uses for a window's controls are all present under it.
inline void ExpectObjectNames(const QObject* Window, const std::vector<const char*>& Names) {
  for (const char* Name : Names)
    EXPECT_NE(Window->findChild<QObject*>(Name), nullptr) << "missing control " << Name;
}
