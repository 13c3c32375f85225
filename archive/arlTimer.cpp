#include "archive/arlTimer.h"

void TarlTimer::Start() {
  StartTick = TClock::now();
  PauseDepth = 0;
  Elapsed = 0;
}

void TarlTimer::Stop() {
  if (!Running()) return;
  if (PauseDepth > 0) {
    PauseDepth = 1;
    Resume();
  }
  Elapsed = std::chrono::duration<double>(TClock::now() - StartTick).count();
  StartTick = TClock::time_point{};
}

void TarlTimer::Pause() {
  if (!Running()) return;
  if (PauseDepth++ == 0) PauseTick = TClock::now();
}

void TarlTimer::Resume() {
  if (!Running() || PauseDepth == 0) return;
  if (--PauseDepth == 0) StartTick += TClock::now() - PauseTick;
}
