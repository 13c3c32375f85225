// The signals that end a process (SIGINT, SIGTERM, SIGHUP: Ctrl+C, a termination request, a closed
// terminal), taken on a thread of their own so that the process ends through its normal paths.
//
// A program blocks the three signals first thing in main (BlockEndingSignals), before it makes any
// thread, so that every thread inherits the mask, and then starts the signal thread (StartEndingSignals)
// with what it does to stop its work (ask the search to stop, quit the event loop). When a signal comes,
// the signal thread marks the process as ending (EndingRequested, which long loops poll), runs the stop
// request, and waits: the program winds its work up, its destructors remove what it made, and at the end
// of main EndProcessIfSignalled runs the ending's clean-ups and ends the process with the signal's own
// status. A program that does not get there within kEndingGraceMs (or a second signal) is ended by the
// signal thread itself: it runs the clean-ups and ends the process with the signal.
//
// Libraries that leave something behind call WatchEndingSignals: in a process whose program did not start
// the signal thread, it installs a handler (async-signal-safe: it writes one byte to a pipe) for each of
// the signals that still has its default action, and starts the signal thread, which then waits until no
// work that writes temporary files runs (TTempWork; such work does not start once the process is ending),
// runs the clean-ups and ends the process with the signal. A signal the program handles itself is left
// alone.
//
// Children: a child made by fork gets the mask and the actions the process had before (a handler of pipe
// installed here is reset to the default action) through a fork handler, and its own ending state; a
// child that does not come from fork() (posix_spawn, clone) must be given them by its maker
// (RestoreSignalsInChild is async-signal-safe and may be called between fork and exec).
//
// Threads: every routine may be called on any thread.
#pragma once

#include <functional>

// How long the signal thread waits for the program to end by itself before it ends the process.
constexpr int kEndingGraceMs = 5000;

// Blocks SIGINT, SIGTERM and SIGHUP on the calling thread (and so on every thread it makes from now on),
// remembering the mask it had for children.
void BlockEndingSignals();

// Starts the signal thread (once) and makes OnEnding (may be unassigned) what a signal runs on it first,
// replacing an earlier one; OnEnding gets the signal's number, must not block and must not end the process.
// The program then ends the process itself: it calls EndProcessIfSignalled on its way out.
void StartEndingSignals(std::function<void(int Signal)> OnEnding);

// While held, the grace of a signal does not run: for a program's start-up, before it can act on the
// request (its window is made while its event loop does not run yet). The grace counts from the release; a
// second signal still ends the process at once.
void HoldEndingGrace(bool Held);

// For libraries: makes sure a signal that ends the process runs the ending's clean-ups first (see above).
void WatchEndingSignals();

// True once an ending signal has come (the process is ending).
bool EndingRequested();
// That signal's number; 0 when none came.
int EndingSignal();

// Adds a clean-up that the ending runs before the process ends (at most a few; each added once). It runs on
// the signal thread or on the thread that calls EndProcessIfSignalled, while other threads may still run.
void AddEndingCleanup(void (*Cleanup)());

// When an ending signal came: forgets OnEnding, runs the clean-ups and ends the process with the signal
// (does not return). Otherwise forgets OnEnding and returns. For the end of main, after the program's
// objects are gone.
void EndProcessIfSignalled();

// Work that writes into the process's temporary folders: the signal thread of a process without a program
// of its own to end it waits until none runs before it removes them. Entering fails once the process is
// ending (no such work starts then).
class TTempWork {
 public:
  TTempWork();
  ~TTempWork();
  TTempWork(const TTempWork&) = delete;
  TTempWork& operator=(const TTempWork&) = delete;
  // False: the process is ending and the work must not start (or go on, after Resume).
  bool Entered() const { return Entered_; }
  // The work is left while the caller runs something that writes no temporary files (its owner's
  // callbacks, which may take long), and entered again: Resume answers Entered().
  void Pause();
  bool Resume();

 private:
  bool Entered_ = false;
};

// In a child between fork and exec: the signal mask and the signal actions the process had before it
// blocked the ending signals or installed its handler. Async-signal-safe.
void RestoreSignalsInChild();
