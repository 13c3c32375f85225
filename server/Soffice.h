// The office suite on this system: LibreOffice run headless as a child process ("soffice --convert-to"),
// which stands in for the office applications that the office back-ends and the text-import converter
// drive. Each conversion is one run into a fresh folder; the runs share a private user profile in the
// server's temporary folder, so that they never reach a user's running office nor wait for its lock.
// The profile lasts as long as the server and is removed by DoneOffice.
//
// A run is bounded by OfficeTimeoutMs and ends early when the progress callback cancels. A run that
// ends abnormally (a signal, or an exit code without output) is tried once more, as the office
// automation retries an automation error; a run that ends normally without output fails at once with
// the office's "Error:" line. One thread.
#pragma once

#include <cstdint>
#include <string>

// The office program; empty: "soffice" beside the server, else on $PATH.
extern std::string OfficeProgram;
// Longest time one office run may take.
extern int32_t OfficeTimeoutMs;
constexpr int32_t kDefaultOfficeTimeoutMs = 120000;

// A conversion's output: a folder of its own (removed with the object) and the file made there.
class TOfficeOutput {
 public:
  TOfficeOutput() = default;
  ~TOfficeOutput();
  TOfficeOutput(const TOfficeOutput&) = delete;
  TOfficeOutput& operator=(const TOfficeOutput&) = delete;
  std::string Folder;
  std::string File;
};

// Converts Source with the office's filter FilterSpec ("txt:Text (encoded):UTF8,CRLF", "pdf", ...).
// False with the error text set when the office is missing, fails, times out or the callback cancels
// ("User canceled"). ProgressStep (of 10) is reported while the office runs.
bool OfficeConvert(const std::string& Source, const std::string& FilterSpec, TOfficeOutput& Output,
                   int32_t ProgressStep = 4);

// Reports step Step of 10 through the progress callback; false (error text "User canceled") when it
// cancels.
bool OfficeProgress(int32_t Step);

// Removes the private profile (program end).
void DoneOffice();

inline constexpr const char* kOfficeNotFound = "Can't find the office program \"soffice\".";
