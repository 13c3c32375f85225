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
#include <vector>

class TVStream;

class TAnsiTextSink {
 public:
  explicit TAnsiTextSink(TVStream& Dest) : Dest_(Dest) {}
  void Write(std::string_view Utf8);
  // Writes what is held back (an incomplete sequence at the very end becomes "?").
  void Finish();
  int64_t BytesWritten() const { return Written_; }

 private:
  void Put(std::string_view Utf8);
  TVStream& Dest_;
  std::string Pending_;  // the start of a UTF-8 sequence that the next chunk completes
  char Last_ = '\0';
  int64_t Written_ = 0;
};

// Writes the UTF-8 file Utf8File (a byte-order mark at its start dropped) through a sink to Dest, in
// chunks; answers the bytes written. The stream's exceptions pass.
int64_t WriteUtf8FileAsAnsi(const std::string& Utf8File, TVStream& Dest);

// The error text of a conversion whose text is unreadable on every page (IsUnreadableTextFile).
constexpr const char* kUnreadableText =
    "The converted text is unreadable: the document's fonts do not say which characters they show";

// The note on pages left out of a conversion because their text is unreadable: "Page 2 left out: ..." or
// "Pages 2, 5 left out: ...".
std::string UnreadablePagesNote(const std::vector<int32_t>& Pages);
// The note on the pages of a conversion that were left out and those kept though their text may be
// unreadable ("...; Page 4 kept, though ..."); empty when there are neither.
std::string PagesNote(const std::vector<int32_t>& LeftOut, const std::vector<int32_t>& Doubtful);

// Whether the UTF-8 file Utf8File holds text that nobody can read: some page of it (pages end at form
// feeds) is unreadable (IsReadablePage) and no page holds readable text. An outside converter writes such
// text for a document whose fonts carry glyph numbers instead of character codes (PostScript made from a
// PDF, for one). An empty or blank file is not unreadable. The stream's exceptions pass.
bool IsUnreadableTextFile(const std::string& Utf8File);

// The whole UTF-8 file Utf8File. The stream's exceptions pass.
std::string ReadUtf8File(const std::string& Utf8File);

// Converts whole UTF-8 text into the system's ANSI code page ("?" for what it cannot hold).
std::string Utf8ToAnsi(std::string_view Utf8);
