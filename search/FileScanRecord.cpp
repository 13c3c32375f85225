#include "search/FileScanRecord.h"

#include <chrono>
#include <utility>

namespace {

// How long a worker that is too far ahead sleeps before it looks at the shared count again: the owner
// does not wake it, since it takes events from another recording.
constexpr int kAheadWaitMs = 2;

}  // namespace

TScanRecording::~TScanRecording() { Ahead_.fetch_sub(Counted_, std::memory_order_relaxed); }

// --- The worker's side -------------------------------------------------------------------------------------

void TScanRecording::Record(TFileScanner& Shadow,
                            const std::function<bool(const TFilterFileInfo&)>& FilterAhead) {
  Shadow_ = &Shadow;
  ScannedTold_ = Shadow.FilesScanned;
  // Each event is recorded, or, while the owner runs the walk's work on its thread, given to the owner
  // at once.
  auto Note = [this](TEvent&& Event, TQuestion* Question = nullptr) {
    if (Direct()) {
      Event.Scanned = TakeScanned();
      return Deliver(*Direct_, Event, Question);
    }
    if (Question != nullptr) return Ask(std::move(Event), *Question);
    Push(std::move(Event));
    return true;
  };
  Shadow.OnFound = [Note](const TFoundFileInfo& Info) {
    TEvent Event;
    Event.Kind = reFound;
    Event.Name = Info.Name;
    Event.Size = Info.Size;
    Event.Date = Info.Date;
    Event.Converter = Info.Converter;
    Event.Detail = Info.Encoding;
    Event.Flag = Info.InArchive;
    Event.ItemPath = Info.ItemPath;
    Note(std::move(Event));
  };
  Shadow.OnError = [Note](const TScanError& Error) {
    TEvent Event;
    Event.Kind = reError;
    Event.Name = Error.Name;
    Event.Text = Error.Text;
    Event.Number = Error.OSCode;
    Event.Detail = Error.Kind;
    Note(std::move(Event));
  };
  Shadow.OnProgress = [this, Note](const std::u16string& Name, TScanProgressKind Kind) {
    if (Cancelled()) return false;
    TEvent Event;
    Event.Kind = reProgress;
    Event.Name = Name;
    Event.Detail = Kind;
    return Note(std::move(Event));
  };
  Shadow.Scanner.OnProgress = [this, Note](int32_t Position) {
    if (Cancelled()) return false;
    // The scan of a name is not one the owner would stop at: it is not asked.
    if (Shadow_->ScanningName().empty()) return true;
    TEvent Event;
    Event.Kind = reStreamProgress;
    Event.Name = Shadow_->ScanningName();
    Event.Number = Position;
    return Note(std::move(Event));
  };
  Shadow.OnAcceptFile = [Note](const std::u16string& FileName) {
    TEvent Event;
    Event.Kind = reAccept;
    Event.Name = FileName;
    return Note(std::move(Event));
  };
  Shadow.OnFilterFile = [this, Note, FilterAhead](const TFilterFileInfo& File) {
    TEvent Event;
    Event.Kind = reFilter;
    Event.Name = File.FileName;
    Event.Flag = File.SizeIncomplete;
    Event.Date = File.Date;
    Event.Size = File.Size;
    // Given to the owner at once, or recorded with the answer the walk goes on with.
    const bool Taken = Direct() || !FilterAhead || FilterAhead(File);
    Event.Taken = Taken;
    return Note(std::move(Event)) && Taken;
  };
  Shadow.OnPassword = [Note](TScanPasswordQuery& Query) {
    TQuestion Question;
    Question.ArcFileName = Query.ArcFileName;
    Question.ArcName = Query.ArcName;
    Question.ItemName = Query.ItemName;
    TEvent Event;
    Event.Kind = rePassword;
    if (!Note(std::move(Event), &Question)) return false;
    Query.Password = Question.Password;
    return true;
  };
}

void TScanRecording::Finish(TFileScanner& Shadow) {
  if (Direct()) {
    // A walk again on the owner's thread: its last count and archive are the owner's at once.
    if (Suppress_ == 0) Direct_->FilesScanned += TakeScanned();
    Direct_->CurrentArchive = Shadow.CurrentArchive;
    return;
  }
  std::lock_guard<std::mutex> Guard(Lock_);
  FinalScanned_ = Shadow.FilesScanned - ScannedTold_;
  FinalArchive_ = Shadow.CurrentArchive;
  Finished_ = true;
  if (OwnerWaits_) Changed_.notify_all();
}

bool TScanRecording::RunOnOwner(const std::function<bool()>& Work) {
  if (Direct()) return Work();
  TQuestion Question;
  Question.Work = &Work;
  TEvent Event;
  Event.Kind = reOwnerWork;
  return Ask(std::move(Event), Question);
}

int32_t TScanRecording::TakeScanned() {
  const int32_t Scanned = Shadow_->FilesScanned - ScannedTold_;
  ScannedTold_ = Shadow_->FilesScanned;
  return Scanned;
}

void TScanRecording::Push(TEvent&& Event) {
  if (Cancelled()) return;
  Event.Scanned = TakeScanned();
  std::unique_lock<std::mutex> Guard(Lock_);
  Events_.push_back(std::move(Event));
  if (!Attached_) {
    ++Counted_;
    Ahead_.fetch_add(1, std::memory_order_relaxed);
  }
  if (OwnerWaits_) Changed_.notify_all();
  // Too far ahead of an owner that is elsewhere, or of the owner that replays this recording: wait until
  // the owner has taken events.
  for (;;) {
    if (Cancelled()) return;
    if (Attached_) {
      if (Events_.size() <= kMaxEventsQueued) return;
      WorkerWaits_ = true;
      Changed_.wait(Guard);
      WorkerWaits_ = false;
    } else {
      if (Ahead_.load(std::memory_order_relaxed) <= kMaxEventsAhead) return;
      WorkerWaits_ = true;
      Changed_.wait_for(Guard, std::chrono::milliseconds(kAheadWaitMs));
      WorkerWaits_ = false;
    }
  }
}

bool TScanRecording::Ask(TEvent&& Event, TQuestion& Question) {
  Event.Question = &Question;
  Push(std::move(Event));
  std::unique_lock<std::mutex> Guard(Lock_);
  WorkerWaits_ = true;
  Changed_.wait(Guard, [&] { return Question.Answered || Cancelled(); });
  WorkerWaits_ = false;
  // A cancel that came first leaves the question unanswered, and the owner never looks at it again.
  return Question.Answered && Question.Answer;
}

// --- The owner's side --------------------------------------------------------------------------------------

void TScanRecording::Cancel() {
  {
    std::lock_guard<std::mutex> Guard(Lock_);
    Cancelled_.store(true);
  }
  Changed_.notify_all();
}

void TScanRecording::Answer(TQuestion& Question, bool Value) {
  {
    std::lock_guard<std::mutex> Guard(Lock_);
    Question.Answer = Value;
    Question.Answered = true;
  }
  Changed_.notify_all();
}

bool TScanRecording::Replay(TFileScanner& Owner, const std::function<bool(TScanRecording& Again)>& Rerun,
                            const std::function<bool()>& Help) {
  std::deque<TEvent> Batch;
  {
    std::lock_guard<std::mutex> Guard(Lock_);
    Attached_ = true;
    Ahead_.fetch_sub(Counted_, std::memory_order_relaxed);
    Counted_ = 0;
  }
  Changed_.notify_all();
  for (;;) {
    bool Done = false;
    {
      std::unique_lock<std::mutex> Guard(Lock_);
      // Nothing to replay yet: the owner's thread does other work ahead while there is some.
      while (Events_.empty() && !Finished_ && Help) {
        Guard.unlock();
        const bool Helped = Help();
        Guard.lock();
        if (!Helped) break;
      }
      OwnerWaits_ = true;
      Changed_.wait(Guard, [&] { return !Events_.empty() || Finished_; });
      OwnerWaits_ = false;
      Batch.swap(Events_);
      Done = Finished_ && Batch.empty();
      if (WorkerWaits_) Changed_.notify_all();
    }
    if (Done) break;
    for (TEvent& Event : Batch) {
      if (ReplayOne(Owner, Event)) continue;
      // Questions still in the batch are left unanswered: the cancel ends the worker's wait.
      Cancel();
      // The walk again begins once the worker has wound up: the two never hold the same inner archive
      // at once, and the worker stops at its next event.
      {
        std::unique_lock<std::mutex> Guard(Lock_);
        OwnerWaits_ = true;
        Changed_.wait(Guard, [&] { return Finished_; });
        OwnerWaits_ = false;
      }
      TScanRecording Again(Ahead_);
      Again.Answers_ = std::move(Answers_);
      Again.Suppress_ = Again.Answers_.size();
      Again.Direct_ = &Owner;
      return Rerun(Again);
    }
    Batch.clear();
  }
  Owner.FilesScanned += FinalScanned_;
  Owner.CurrentArchive = FinalArchive_;
  return true;
}

bool TScanRecording::ReplayOne(TFileScanner& Owner, TEvent& Event) {
  switch (Event.Kind) {
    case reAccept:
    case reFilter:
      return Deliver(Owner, Event) == Event.Taken;
    case rePassword: {
      TQuestion& Question = *Event.Question;
      Answer(Question, Deliver(Owner, Event, &Question));
      return true;
    }
    case reOwnerWork: {
      TQuestion& Question = *Event.Question;
      Owner.FilesScanned += Event.Scanned;
      // The worker waits for the answer: its shadow is the owner's to use until then.
      Direct_ = &Owner;
      const bool GoOn = (*Question.Work)();
      Owner.FilesScanned += TakeScanned();
      Direct_ = nullptr;
      Answer(Question, GoOn);
      return GoOn;
    }
    default:
      return Deliver(Owner, Event);
  }
}

bool TScanRecording::Deliver(TFileScanner& Owner, TEvent& Event, TQuestion* Question) {
  if (Suppress_ > 0) {
    // The owner has seen this event already: its answer is given again.
    --Suppress_;
    const TAnswer& Given = Answers_[Given_++];
    if (Question != nullptr) Question->Password = Given.Password;
    return Given.Yes;
  }
  Owner.FilesScanned += Event.Scanned;
  bool Yes = true;
  switch (Event.Kind) {
    case reFound:
      if (Owner.OnFound) {
        TFoundFileInfo Info;
        Info.Name = std::move(Event.Name);
        Info.Size = Event.Size;
        Info.Date = Event.Date;
        Info.Converter = Event.Converter;
        Info.Encoding = static_cast<TScanEncoding>(Event.Detail);
        Info.InArchive = Event.Flag;
        Info.ItemPath = std::move(Event.ItemPath);
        Owner.OnFound(Info);
      }
      break;
    case reError:
      Owner.DoError(Event.Name, Event.Text, Event.Number, static_cast<TScanErrorKind>(Event.Detail));
      break;
    case reProgress:
      // The stop's own report comes from the walk again.
      Yes = !Owner.OnProgress || Owner.OnProgress(Event.Name, static_cast<TScanProgressKind>(Event.Detail));
      break;
    case reStreamProgress:
      Yes = !Owner.Scanner.OnProgress || Owner.Scanner.OnProgress(Event.Number);
      break;
    case reAccept:
      Yes = !Owner.OnAcceptFile || Owner.OnAcceptFile(Event.Name);
      break;
    case reFilter:
      Yes = !Owner.OnFilterFile ||
            Owner.OnFilterFile(TFilterFileInfo{Event.Name, Event.Flag, Event.Date, Event.Size});
      break;
    case rePassword:
      Yes = false;
      if (Owner.OnPassword && Question != nullptr) {
        TScanPasswordQuery Query{Question->ArcFileName, Question->ArcName, Question->ItemName,
                                 Question->Password};
        Yes = Owner.OnPassword(Query);
      }
      break;
    case reOwnerWork:
      break;
  }
  TAnswer Given;
  Given.Yes = Yes;
  if (Question != nullptr) Given.Password = Question->Password;
  Answers_.push_back(std::move(Given));
  return Yes;
}
