// The run timer of the archive library: measures a run without the time spent waiting for the user
// (a report or a question pauses it). Steady clock, so a change of the system time does not show.
#pragma once

#include <chrono>

class TarlTimer {
 public:
  using TClock = std::chrono::steady_clock;

  void Start();
  // Elapsed := seconds since Start, less the paused time; the timer stops.
  void Stop();
  // Pause and Resume nest by count: only the outermost pair moves the start forward.
  void Pause();
  void Resume();
  bool Running() const { return StartTick_ != TClock::time_point{}; }

  double Elapsed = 0;

 private:
  TClock::time_point StartTick_{};
  TClock::time_point PauseTick_{};
  int PauseDepth_ = 0;
};
