// The busy animation of the main window: a small turning arc drawn by the widget itself, shown over the
// toolbar's Start button or in the status bar while a search runs. Where it shows and whether it turns
// is decided by TBusyAnimation (app/MainCommands); this widget only draws.
//
// Owned by its parent widget. Main thread only.
#pragma once

#include <QWidget>

class QTimer;

class TBusyIndicator : public QWidget {
  Q_OBJECT
 public:
  explicit TBusyIndicator(QWidget* Parent = nullptr);

  // Turning or standing still (a still arc is still drawn while visible).
  void SetRunning(bool Run);
  bool Running() const;
  // The angle of the arc's start, in sixteenths of a degree (advances while running).
  int Angle() const { return StartAngle_; }

 protected:
  void paintEvent(QPaintEvent* Event) override;

 private:
  QTimer* Timer_;
  int StartAngle_ = 0;
};
