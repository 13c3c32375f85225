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

TBusyIndicator::TBusyIndicator(QWidget* Parent) : QWidget(Parent), Timer_(new QTimer(this)) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  Timer_->setInterval(kStepMs);
  connect(Timer_, &QTimer::timeout, this, [this] {
    StartAngle_ = (StartAngle_ + kStepAngle) % (360 * 16);
    update();
  });
}

void TBusyIndicator::SetRunning(bool Run) {
  if (Run && !Timer_->isActive())
    Timer_->start();
  else if (!Run)
    Timer_->stop();
}

bool TBusyIndicator::Running() const { return Timer_->isActive(); }

void TBusyIndicator::paintEvent(QPaintEvent*) {
  QPainter P(this);
  P.setRenderHint(QPainter::Antialiasing);
  const int Side = std::min(width(), height());
  const int Pen = std::max(2, Side / 8);
  QRectF Box((width() - Side) / 2.0 + Pen, (height() - Side) / 2.0 + Pen, Side - 2.0 * Pen, Side - 2.0 * Pen);
  P.fillRect(rect(), palette().window());
  P.setPen(QPen(palette().highlight(), Pen, Qt::SolidLine, Qt::RoundCap));
  P.drawArc(Box, -StartAngle_, kArcSpan);
}
