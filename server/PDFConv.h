// The "pdf" back-end: the outside program pdftotext (found beside the server, else on $PATH) turns a PDF
// file into text, which is written to the target in the system's ANSI code page with CR LF line ends.
//
// The program runs as a child process that writes the text to a temporary file and whose standard error
// is caught through a pipe; its first line of complaint becomes the error text of a failed run. A run is
// bounded by PdfToTextTimeoutMs and ends early when the progress callback (polled while it runs) cancels.
// One thread.
#pragma once

#include <cstdint>
#include <string>

// Longest time one pdftotext run may take before it is ended (tests shorten it).
extern int32_t PdfToTextTimeoutMs;
constexpr int32_t kDefaultPdfToTextTimeoutMs = 120000;

// Converts the PDF file Source into the text file Target; false with the error text set on failure.
bool ConvertPDF(const std::string& Source, const std::string& Target);
