// The events of a file walked whole on a worker thread, and their replay on the walk's thread.
//
// A scan-ahead worker walks a whole file (an archive and everything in it) with a file scanner of its own,
// the shadow, whose events are recorded here instead of reaching the owner. The walk's thread replays
// them through the owner's scanner, in order, when it comes to the file, so that the owner sees exactly
// what a walk on its own thread would have shown; the worker may run ahead of the replay, and the replay
// takes events as they come.
//
// Questions: the shadow takes yes for the answer to OnAcceptFile, and the shadow's own FilterFileAhead
// answer to OnFilterFile; both are asked again on replay. A password is asked on the owner's thread while
// the worker waits for the answer. Work that must run on the owner's thread (archive kinds whose libraries
// keep process-wide state) is handed to it in the same way: the worker waits while the owner runs it, and
// the events of that work go straight to the owner.
//
// Another answer: when the owner answers stop to a replayed event, or answers a question otherwise than the
// worker took it, what the worker did from there on is not what the owner's walk would do. The worker is
// cancelled, and the file is walked again on the owner's thread (Replay's Rerun) with the owner's answers
// given again and the events the owner has seen held back, so that from that event on the owner gets
// what its own walk gives (the rest of the archive, or a stop winding up).
//
// Bounds: while the owner is not replaying a recording, the recordings of one scan-ahead hold at most
// kMaxEventsAhead events together (their shared count), and a worker waits beyond that; a recording the
// owner replays holds at most kMaxEventsQueued.
//
// Threads: one worker records (Record, the shadow's events, Finish), the owner's thread replays (Replay)
// and anyone may Cancel.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "search/FileScan.h"

class TScanRecording {
 public:
  // Recorded events, of all recordings sharing a count, that wait for an owner that is elsewhere.
  static constexpr int64_t kMaxEventsAhead = 1 << 18;
  // Events of a recording the owner replays now that may wait for it.
  static constexpr size_t kMaxEventsQueued = 4096;

  // Ahead counts the events of the recordings that share it; it must outlive this recording.
  explicit TScanRecording(std::atomic<int64_t>& Ahead) : Ahead_(Ahead) {}
  ~TScanRecording();
  TScanRecording(const TScanRecording&) = delete;
  TScanRecording& operator=(const TScanRecording&) = delete;

  // --- The worker's side --------------------------------------------------------------------------------

  // Points Shadow's events at this recording; Shadow must not be used after Finish until Record again.
  // FilterAhead, when assigned, is the shadow's answer to OnFilterFile (yes otherwise).
  void Record(TFileScanner& Shadow, const std::function<bool(const TFilterFileInfo&)>& FilterAhead);
  // The walk of the file has ended: the shadow's last count of scanned files and archive go with it.
  void Finish(TFileScanner& Shadow);
  // Runs Work on the owner's thread and answers its answer (false, without running it, when the
  // recording is cancelled).
  bool RunOnOwner(const std::function<bool()>& Work);

  // --- The owner's side ---------------------------------------------------------------------------------

  // Replays the events through Owner's events until the worker has finished, and answers true. When the
  // owner answers stop or answers a question otherwise, the worker is cancelled and the answer is that of
  // Rerun, which walks the file again on this thread with the recording it is given (false: stop). While
  // no event waits, Help is called (when assigned) for work of its own, until it answers false (none).
  bool Replay(TFileScanner& Owner, const std::function<bool(TScanRecording& Again)>& Rerun,
              const std::function<bool()>& Help = nullptr);
  // Nothing will be replayed any more: the worker's waits end, its events are dropped and the shadow's
  // progress events answer stop.
  void Cancel();
  bool Cancelled() const { return Cancelled_.load(std::memory_order_relaxed); }

 private:
  enum TKind : uint8_t {
    reFound,
    reError,
    reProgress,
    reStreamProgress,
    reAccept,
    reFilter,
    rePassword,   // the worker waits for the owner's answer
    reOwnerWork,  // runs on the owner's thread while the worker waits
  };
  // A question the worker waits on: a password or work for the owner's thread.
  struct TQuestion {
    std::string ArcFileName, ArcName, ItemName, Password;
    const std::function<bool()>* Work = nullptr;
    bool Answer = false;
    bool Answered = false;
  };
  struct TEvent {
    TKind Kind = reProgress;
    uint8_t Detail = 0;   // the progress kind, the error kind or the encoding of a hit
    bool Flag = false;    // a hit in an archive; a filtered size that is incomplete
    bool Taken = true;    // the answer the worker took to an accept or filter question
    int32_t Number = 0;   // the system error code, or the stream position
    int32_t Scanned = 0;  // files scanned since the event before
    int64_t Size = 0;
    TDateTime Date = 0;
    std::u16string Name;
    std::string Text;
    std::vector<std::string> ItemPath;
    TQVConverter* Converter = nullptr;
    TQuestion* Question = nullptr;
  };

  // Adds Event (the worker's thread); waits while too many events wait.
  void Push(TEvent&& Event);
  // Asks Question of the owner and waits for the answer; false when cancelled.
  bool Ask(TEvent&& Event, TQuestion& Question);
  // Files the shadow has scanned since they were last told.
  int32_t TakeScanned();
  // Owner's side of one event; false when the rest of the file is to be walked again.
  bool ReplayOne(TFileScanner& Owner, TEvent& Event);
  // Gives Event to Owner's events (or, while a walk again holds back what the owner has seen, takes the
  // answer given before) and answers the owner's answer: false for a stop, a no or no password. Every
  // answer is kept for a walk again.
  bool Deliver(TFileScanner& Owner, TEvent& Event, TQuestion* Question = nullptr);
  void Answer(TQuestion& Question, bool Value);
  // Whether the owner runs work of this recording now, on its own thread: then the shadow's events go
  // straight to Direct_.
  bool Direct() const { return Direct_ != nullptr; }

  std::atomic<int64_t>& Ahead_;
  std::mutex Lock_;
  std::condition_variable Changed_;  // events came, were taken, a question was answered, or a cancel
  std::deque<TEvent> Events_;        // guarded by Lock_
  bool Finished_ = false;            // guarded by Lock_
  bool Attached_ = false;            // the owner replays (guarded by Lock_)
  bool OwnerWaits_ = false;          // guarded by Lock_
  bool WorkerWaits_ = false;         // guarded by Lock_
  std::atomic<bool> Cancelled_{false};
  int64_t Counted_ = 0;  // events of Events_ in Ahead_ (guarded by Lock_)

  // The worker's own.
  TFileScanner* Shadow_ = nullptr;
  int32_t ScannedTold_ = 0;
  // Set by the owner while it runs the worker's work (the worker waits meanwhile), and for a walk again.
  TFileScanner* Direct_ = nullptr;
  // Given with Finish.
  int32_t FinalScanned_ = 0;
  std::string FinalArchive_;

  // The owner's answers to the events it has been given, in order; in a walk again, the first Suppress_
  // of them are given again (from Answers_[Given_]) and their events held back.
  struct TAnswer {
    bool Yes = true;
    std::string Password;
  };
  std::vector<TAnswer> Answers_;
  size_t Suppress_ = 0;
  size_t Given_ = 0;
};
