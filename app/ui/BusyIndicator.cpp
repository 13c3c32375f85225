#include "app/ui/BusyIndicator.h"

#include <QPainter>
#include <QTimer>

namespace {

// One step every 60 ms, 30 degrees a step: a turn in 0.72 s.
constexpr int kStepMs = 60;
constexpr int kStepAngle = 30 * 16;
// The arc covers three quarters of the circle.
constexpr int kArcSpan = 270 * 16;

}  // namespace

TBusyIndicator::TBusyIndicator(QWidget* Parent) : QWidget(Parent), Timer(new QTimer(this)) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  Timer->setInterval(kStepMs);
  connect(Timer, &QTimer::timeout, this, [this] {
    StartAngle = (StartAngle + kStepAngle) % (360 * 16);
    update();
  });
}

void TBusyIndicator::SetRunning(bool Run) {
  if (Run && !Timer->isActive())
    Timer->start();
  else if (!Run)
    Timer->stop();
}

bool TBusyIndicator::Running() const { return Timer->isActive(); }

void TBusyIndicator::paintEvent(QPaintEvent*) {
  QPainter P(this);
  P.setRenderHint(QPainter::Antialiasing);
  const int Side = std::min(width(), height());
  const int Pen = std::max(2, Side / 8);
  QRectF Box((width() - Side) / 2.0 + Pen, (height() - Side) / 2.0 + Pen, Side - 2.0 * Pen, Side - 2.0 * Pen);
  P.fillRect(rect(), palette().window());
  P.setPen(QPen(palette().highlight(), Pen, Qt::SolidLine, Qt::RoundCap));
  P.drawArc(Box, -StartAngle, kArcSpan);
}
