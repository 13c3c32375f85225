// Where the back-ends put the text that an outside converter produces: UTF-8 in chunks of any size, out
// as 8-bit text in the system's ANSI code page with CR LF line ends.
//
// Line ends: an LF not preceded by CR becomes CR LF and a form feed (a page break) becomes CR LF; the
// last byte of one chunk counts as the byte before the next chunk's first, so a CR LF split between two
// chunks stays one line end. A UTF-8 sequence split between chunks is held back until it is complete;
// a character that the code page cannot hold becomes "?".
//
// The sink writes to a stream it does not own; one thread uses it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class TVStream;

class TAnsiTextSink {
 public:
  explicit TAnsiTextSink(TVStream& Dest) : Dest(Dest) {}
  void Write(std::string_view Utf8);
  // Writes what is held back (an incomplete sequence at the very end becomes "?").
  void Finish();
  int64_t BytesWritten() const { return Written; }

 private:
  void Put(std::string_view Utf8);
  TVStream& Dest;
  std::string Pending;  // the start of a UTF-8 sequence that the next chunk completes
  char Last = '\0';
  int64_t Written = 0;
};

// Writes the UTF-8 file Utf8File (a byte-order mark at its start dropped) through a sink to Dest, in
// chunks; answers the bytes written. The stream's exceptions pass.
int64_t WriteUtf8FileAsAnsi(const std::string& Utf8File, TVStream& Dest);

// Converts whole UTF-8 text into the system's ANSI code page ("?" for what it cannot hold).
std::string Utf8ToAnsi(std::string_view Utf8);
