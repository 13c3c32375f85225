// TViewTextStream reads a TVStream line by line from any byte position, forwards and backwards, holding
// no more than the line it hands out: the viewer pages through files of any size with it and the text
// conversion of the plug-ins reads its source with it.
//
// Lines end at LF, CR LF or a lone CR, in 8-bit text and in UTF-16LE (where only whole units count:
// a 0x0A byte that is the high byte of a character is no break; an odd offset lies inside the character
// that starts one byte before it; an odd-sized stream's text ends at its last whole character, the half
// character after it belongs to no line and no position lies on it). A line longer than the limit comes out
// in pieces: the first piece starts at the line start, the second ends at the next multiple of LineBytes
// after it, and every further piece spans LineBytes bytes on those absolute multiples. LineCut tells that
// the last piece read stopped at the limit, or that Position lies inside a long line.
//
// Positions are byte offsets in the stream; the reader keeps no buffer and reads what each call needs
// (a line: at most LineBytes + 3 bytes; a step back: at most 2 x LineBytes + 3 bytes).
//
// Ownership: the stream is borrowed unless OwnsStream is set, in which case the reader deletes it. One
// thread at a time.
#pragma once

#include <cstdint>
#include <string>

#include "core/Exception.h"

class TVStream;

// A reader made with a line limit outside 1..kMaxLineLength characters.
class EViewTextStream : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const noexcept override { return "EViewTextStream"; }
};

class TViewTextStream {
 public:
  // How the stream's bytes are read.
  static constexpr uint8_t kEncodingBytes = 0;  // bytes as stored
  static constexpr uint8_t kEncodingUtf8 = 1;   // charset 42, read as bytes, handed out as UTF-16
  static constexpr uint8_t kEncodingUtf7 = 2;   // charset 44, read as bytes, handed out as UTF-16
  static constexpr uint8_t kEncodingUtf16 = 3;  // UTF-16LE, 2 bytes a character
  // The largest line limit: a step back reads twice the limit in bytes, twice that again in UTF-16, and
  // that must stay a 32-bit count.
  static constexpr int32_t kMaxLineLength = 1 << 28;

  // MaxLineLength is the limit in characters; outside 1..kMaxLineLength raises EViewTextStream. Stream
  // may be null.
  TViewTextStream(TVStream* Stream, int32_t MaxLineLength);
  virtual ~TViewTextStream();
  TViewTextStream(const TViewTextStream&) = delete;
  TViewTextStream& operator=(const TViewTextStream&) = delete;

  // LineBytes := MaxLineLength, twice that for UTF-16.
  virtual void UpdateLineBytes();
  // A different stream replaces the old one (which is deleted when it was owned) and OwnsStream is
  // cleared; with a stream, SetPosition (0).
  virtual void SetStream(TVStream* S);
  // Moves to the start of the line (or piece) before Position.
  virtual void PrevLine();
  // P clamped to 0 .. the text's size (StreamSize), then moved back to the start of the line (or piece) that
  // holds it.
  virtual void SetPosition(int32_t P);
  // The line at Position as bytes without its break; Position moves past it. In the UTF-8 and UTF-7
  // encodings Line holds the UTF-16LE bytes of the decoded line and RawLine the bytes read.
  virtual void ReadLine(std::string& Line);
  // Position >= the text's size (true without a stream).
  virtual bool Eof();

  // Stores Encoding, updates LineBytes, re-aligns Position to a line start when a stream is set and
  // clears RawLine.
  void SetEncoding(uint8_t NewEncoding);
  void GoToStart() { SetPosition(0); }
  void GoToEnd();
  // Up to N times PrevLine while Position > 0; true when it moved.
  bool LinesBack(int32_t N);
  // Up to N times ReadLine while not at the end; true when it moved.
  bool LinesForward(int32_t N);

  int32_t GetPosition() const { return Position_; }
  int32_t GetLineBytes() const { return LineBytes_; }
  int32_t GetMaxLineLength() const { return MaxLineLength_; }
  bool GetLineCut() const { return LineCut_; }
  uint8_t GetEncoding() const { return Encoding_; }
  TVStream* GetStream() const { return Stream_; }
  const std::string& GetRawLine() const { return RawLine_; }

  // Set after SetStream when the reader is to delete the stream.
  bool OwnsStream = false;

 protected:
  // Moves Position to the start of the line, or of the piece of a long line, that contains it, and
  // positions the stream there.
  void FindLineStart();
  // P clamped to 0 .. size (even in UTF-16); the stream is positioned there. Answers P.
  int32_t SeekSource(int32_t P);
  // Reads up to Count bytes of the text into Buf from the stream, which stands at At, and never the half
  // character at the end of an odd-sized UTF-16 stream; answers the bytes read.
  int32_t ReadText(char* Buf, int32_t Count, int32_t At);
  // P rounded down to a multiple of LineBytes (P may lie beyond the 32-bit range while it is computed).
  int64_t RoundToLineLen(int64_t P) const { return P / LineBytes_ * LineBytes_; }
  bool IsWide() const { return Encoding_ == kEncodingUtf16; }
  // The size of the text: the stream's size, less the odd last byte of a UTF-16 stream (half a character).
  int32_t StreamSize() const;

  int32_t Position_ = 0;
  int32_t LineBytes_;
  int32_t MaxLineLength_;
  bool LineCut_ = false;
  uint8_t Encoding_ = kEncodingBytes;
  TVStream* Stream_ = nullptr;
  std::string RawLine_;
};
