// Line-oriented reading and writing of 8-bit text over a TVStream, over a named file, or over the console
// (standard input and output) when no stream is given. Lines are separated by LF; a CR before the LF is
// dropped on reading; every written line ends with CR LF. The bytes are taken as they are: no code-page
// conversion happens here.
//
// The application reads its interface-language files with TFilteredTextStream (comment and blank lines
// skipped) and writes its log with TTextStream.
//
// Reading goes through one buffer of at most BufSize bytes (at least 256), so a line may be at most the
// rest of one buffer plus one whole buffer long ("line is too long <n>" beyond); the last line of the
// stream is returned whole even when it has no LF and crosses the buffer's end.
//
// Writing holds one line back: a line reaches the stream when the next one is written, at FlushLine or
// at Close. Call Close to learn whether the output was written; the destructor never throws and reports
// output it could not write through ReportLostOutput (VFileStream.h).
//
// A text stream is used by one thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/Exception.h"
#include "core/VStream.h"

enum TTextStreamMode { tsmRead = 0, tsmRewrite = 1, tsmAppend = 2 };

// The message is the text itself, without a class prefix.
class ETextStream : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const noexcept override { return "ETextStream"; }
};

class TTextStreamOnStream {
 public:
  // The smallest read buffer a reader may ask for.
  static constexpr int32_t kMinBufSize = 256;

  // Stream nullptr means the console. With a stream: tsmRead reads it from the start; tsmRewrite empties
  // it and writes from 0; tsmAppend writes after its content, first ending an unfinished last line with
  // CR LF. BufSize below kMinBufSize is a programming error (raised). When OwnsStream, the stream is
  // deleted with this object, also when this constructor raises.
  TTextStreamOnStream(TVStream* Stream, bool OwnsStream, TTextStreamMode Mode, int32_t BufSize);
  virtual ~TTextStreamOnStream();
  TTextStreamOnStream(const TTextStreamOnStream&) = delete;
  TTextStreamOnStream& operator=(const TTextStreamOnStream&) = delete;

  // The next line. "Method not applicable" in a write mode, "Read after end error" at the end.
  virtual void ReadLine(std::string& Line);
  // True in the write modes; otherwise true when every byte has been read (the console: end of input).
  bool Eof();
  // Writes the waiting line, then makes S the waiting line.
  void WriteLine(const std::string& S);
  // Writes the waiting line, if any.
  void FlushLine();
  // Writes the waiting line and releases the stream (closing an owned file); raises when the output could
  // not be written, after releasing everything. Afterwards the object is only destroyed.
  void Close();

  int32_t GetLineCount() const { return LineCount_; }
  const std::string& GetLine() const { return Line_; }
  TVStream* GetStream() const { return Stream_; }

 protected:
  TVStream* Stream_ = nullptr;
  bool OwnsStream_ = false;
  bool HasStream_ = false;
  bool Writing_ = false;
  bool LinePending_ = false;
  std::string Line_;
  int32_t LineCount_ = 0;
  int32_t Pos_ = 0;     // stream position of the next byte to read, or where the next line goes
  int32_t BufPos_ = 0;  // stream offset of Buf[0]
  int32_t BufLen_ = 0;  // valid bytes in Buf
  int32_t BufSize_ = 0;
  std::unique_ptr<char[]> Buf_;

 private:
  void Init(TTextStreamMode Mode, int32_t RequestedBufSize);
  // Reads up to BufSize bytes at Offset into the buffer; returns the count.
  int32_t Fill(int32_t Offset);
  void ReleaseStream();
  bool Closed_ = false;
};

// A text stream over a named file that it opens and owns: tsmRead opens the file for reading (others
// may read), tsmRewrite creates or truncates it, tsmAppend opens it for reading and writing when it
// exists and creates it otherwise. An empty name means the console. A missing file raises the file
// stream's "Can't open file".
class TTextStream : public TTextStreamOnStream {
 public:
  TTextStream(const std::u16string& FileName, TTextStreamMode Mode, int32_t BufSize);
  // FileName is UTF-8.
  TTextStream(const std::string& FileName, TTextStreamMode Mode, int32_t BufSize);

 private:
  static TVStream* OpenFile(const std::u16string& FileName, TTextStreamMode Mode);
};

// Skips blank lines and comment lines: each line is cut at the first CommentChar outside single or double
// quotes and trimmed, and lines that end up empty are skipped.
class TFilteredTextStream : public TTextStream {
 public:
  TFilteredTextStream(const std::u16string& FileName, TTextStreamMode Mode, int32_t BufSize);
  // The next line that is not empty after its comment is cut; empty only when the stream ended on a
  // comment or blank line.
  void ReadLine(std::string& Line) override;

  char CommentChar = ';';
};
