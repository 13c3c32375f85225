#include "archive/arlTimer.h"

void TarlTimer::Start() {
  StartTick_ = TClock::now();
  PauseDepth_ = 0;
  Elapsed = 0;
}

void TarlTimer::Stop() {
  if (!Running()) return;
  if (PauseDepth_ > 0) {
    PauseDepth_ = 1;
    Resume();
  }
  Elapsed = std::chrono::duration<double>(TClock::now() - StartTick_).count();
  StartTick_ = TClock::time_point{};
}

void TarlTimer::Pause() {
  if (!Running()) return;
  if (PauseDepth_++ == 0) PauseTick_ = TClock::now();
}

void TarlTimer::Resume() {
  if (!Running() || PauseDepth_ == 0) return;
  if (--PauseDepth_ == 0) StartTick_ += TClock::now() - PauseTick_;
}
