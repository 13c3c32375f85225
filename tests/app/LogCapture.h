// Test helpers of the main window's logic: the log caught as entries, and message boxes answered by a
// script, both restored when the helper goes.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "app/IO.h"
#include "app/MainForm.h"
#include "app/Options.h"

class TLogCapture {
 public:
  TLogCapture() {
    LogBuffer.clear();
    LogBufferShow = false;
    LogSeparatorPending = false;
    LogWindowSink = [this](const std::string& Text, bool Show) {
      Entries.push_back(Text);
      Shows.push_back(Show);
    };
  }
  ~TLogCapture() {
    LogWindowSink = nullptr;
    LogBuffer.clear();
    LogBufferShow = false;
    LogSeparatorPending = false;
  }
  // The entries that contain Part.
  int Count(const std::string& Part) const {
    int N = 0;
    for (const auto& E : Entries) N += E.find(Part) != std::string::npos;
    return N;
  }
  std::vector<std::string> Entries;
  std::vector<bool> Shows;
};

// Boxes answered in order from Answers (the first button when it runs out); every box shown is kept.
class TDialogScript {
 public:
  TDialogScript() {
    MessageDlgHandler = [this](TMessageDlgRequest& R) {
      Shown.push_back(R);
      int Answer = mrYes;
      if (!Answers.empty()) {
        Answer = Answers.front();
        Answers.pop_front();
      } else if (!(R.Buttons & mbYes)) {
        Answer = mrOk;
      }
      if (!TickDontAsk.empty()) {
        R.DontAsk = TickDontAsk.front();
        TickDontAsk.pop_front();
      }
      return Answer;
    };
  }
  ~TDialogScript() { MessageDlgHandler = nullptr; }
  std::deque<int> Answers;
  std::deque<bool> TickDontAsk;
  std::vector<TMessageDlgRequest> Shown;
};
