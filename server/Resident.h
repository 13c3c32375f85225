// Resident mode of the conversion server: the loop that serves a client's requests over the channel of
// AsyncComm.h, and the progress routine that the back-ends call while a conversion runs.
//
// The client starts "qvcnvsrv -resident -map:<M> -pid:<client pid>" after it has created the block M.
// It then sends lines: "ver" (answered "21010"), "exit" (ends the server), or a request in the syntax of
// ConvServer.h without the program name, answered "+" (followed by the conversion's warning, when it has
// one: pages left out, for one) or "-" followed by the error text. While a
// conversion runs the server sends "%<current>%<total>" at most every 250 ms and waits up to 5 s for the
// client's answer; "-" cancels the conversion. The progress block is updated on every report.
#pragma once

#include <cstdint>

class TCommandLineParser;

// Serves the client named on Parser's command line until "exit" (true) or a channel failure (false,
// error text set).
bool RunResidentLoop(TCommandLineParser& Parser);

// The progress callback of the back-ends (the converter callback type). Kind and UserData are not used.
// Answers 0 to cancel and 1 to go on; without a channel it writes and sends nothing and answers 1.
int32_t ReportProgress(int32_t Kind, int32_t Current, int32_t Total, void* UserData);

// The answer to a progress message that cancels (also the mark of a failed request), the mark of a request
// that succeeded, and the version the server gives for "ver".
inline constexpr const char* kCancelAnswer = "-";
inline constexpr const char* kSuccessAnswer = "+";
inline constexpr const char* kServerVersion = "21010";
// Least time between two progress messages, and how long the server waits for their answer.
constexpr uint32_t kProgressMessageIntervalMs = 250;
constexpr int32_t kProgressAnswerWaitMs = 5000;
