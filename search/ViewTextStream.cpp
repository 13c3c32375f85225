#include "search/ViewTextStream.h"

#include <algorithm>
#include <string>

#include "core/VStream.h"
#include "platform/qvnls/Qvnls.h"
#include "search/NLSProcsDyn.h"

namespace {

constexpr char kCR = '\r';
constexpr char kLF = '\n';

// Whether the CR or LF byte at index I of Buf[0..N) ends a line.
//  8-bit: an LF always; a CR when a byte follows it and that byte is no LF (a CR at the very end of the
//  buffer is not taken: the next read decides).
//  UTF-16: only the low byte of a unit (even index) whose high byte follows and is 0; an LF unit always;
//  a CR unit when a whole unit follows it and that unit is no LF.
bool IsLineBreakAt(const char* Buf, int32_t N, int32_t I, bool Wide) {
  const char C = Buf[I];
  if (C != kCR && C != kLF) return false;
  if (!Wide) {
    if (C == kLF) return true;
    return I + 1 < N && Buf[I + 1] != kLF;
  }
  if (I % 2 != 0 || I + 1 >= N || Buf[I + 1] != 0) return false;
  if (C == kLF) return true;
  return I + 3 < N && !(Buf[I + 2] == kLF && Buf[I + 3] == 0);
}

}  // namespace

TViewTextStream::TViewTextStream(TVStream* Stream, int32_t MaxLineLength)
    : LineBytes(MaxLineLength), MaxLineLength(MaxLineLength), Stream(Stream) {
  // Pieces of long lines are cut at multiples of the limit; a limit of 0 has no multiples.
  if (MaxLineLength < 1 || MaxLineLength > kMaxLineLength) {
    throw EViewTextStream("Line length out of range (" + std::to_string(MaxLineLength) + ")");
  }
}

TViewTextStream::~TViewTextStream() {
  if (OwnsStream) delete Stream;
}

void TViewTextStream::UpdateLineBytes() { LineBytes = IsWide() ? MaxLineLength * 2 : MaxLineLength; }

void TViewTextStream::SetStream(TVStream* S) {
  if (S != Stream) {
    if (OwnsStream) delete Stream;
    Stream = S;
    OwnsStream = false;
  }
  if (Stream) SetPosition(0);
}

int32_t TViewTextStream::StreamSize() const {
  const int32_t Size = Stream ? Stream->GetSize() : 0;
  // The odd last byte of a UTF-16 stream is half a character: the text ends before it, so that it is no
  // line of its own and no position lies on it.
  return IsWide() ? Size & ~1 : Size;
}

int32_t TViewTextStream::SeekSource(int32_t P) {
  P = std::clamp(P, 0, StreamSize());
  if (IsWide()) P &= ~1;
  if (Stream) Stream->Seek(P);
  return P;
}

int32_t TViewTextStream::ReadText(char* Buf, int32_t Count, int32_t At) {
  return Stream->Read(Buf, std::clamp(StreamSize() - At, 0, Count));
}

void TViewTextStream::SetEncoding(uint8_t NewEncoding) {
  Encoding = NewEncoding;
  UpdateLineBytes();
  if (Stream) FindLineStart();
  RawLine.clear();
}

void TViewTextStream::SetPosition(int32_t P) {
  Position = std::clamp(P, 0, StreamSize());
  FindLineStart();
}

void TViewTextStream::GoToEnd() { SetPosition(StreamSize()); }

bool TViewTextStream::Eof() { return Position >= StreamSize(); }

void TViewTextStream::PrevLine() {
  Position = std::max(0, Position - (IsWide() ? 2 : 1));
  FindLineStart();
}

void TViewTextStream::FindLineStart() {
  LineCut = false;
  if (!Stream) {
    Position = 0;
    return;
  }
  // An odd offset in UTF-16 lies inside the character that starts one byte before it; on a line break it
  // belongs to the line that the break ends.
  const int32_t A = IsWide() ? Position & ~1 : Position;
  const int32_t Start = SeekSource(A - 2 * LineBytes);
  const int32_t Count = std::max(0, A - Start);
  // One byte more (a unit more in UTF-16) to see whether a CR just before A is followed by an LF.
  std::string Buf(static_cast<size_t>(Count) + (IsWide() ? 3 : 1), '\0');
  const int32_t N = ReadText(Buf.data(), static_cast<int32_t>(Buf.size()), Start);
  const int32_t BreakLen = IsWide() ? 2 : 1;

  bool Found = false;
  for (int32_t I = std::min(Count, N) - 1; I >= 0; --I) {
    if (!IsLineBreakAt(Buf.data(), N, I, IsWide())) continue;
    const int32_t L = Start + I + BreakLen;  // the line starts right after the break
    const int32_t C = A - L;
    Position = L;
    if (C >= LineBytes) {
      // A lies inside a long line: the second piece starts one limit after L, the later ones on
      // multiples of the limit. Both lie at or before A here.
      Position = L + LineBytes;
      const int64_t E = RoundToLineLen(static_cast<int64_t>(L) + 2 * LineBytes);
      if (E <= A) Position = static_cast<int32_t>(E);
      LineCut = true;
    }
    Found = true;
    break;
  }
  if (!Found) {
    if (A < LineBytes) {
      Position = 0;
    } else {
      Position = static_cast<int32_t>(RoundToLineLen(A));
      LineCut = true;
    }
  }
  Stream->Seek(std::min(Position, StreamSize()));
}

void TViewTextStream::ReadLine(std::string& Line) {
  Line.clear();
  if (!Stream) return;
  Position = SeekSource(Position);
  int32_t Limit =
      LineCut ? static_cast<int32_t>(RoundToLineLen(static_cast<int64_t>(Position) + LineBytes) - Position)
              : LineBytes;
  const bool Wide = IsWide();
  Line.resize(static_cast<size_t>(Limit) + (Wide ? 3 : 1));
  const int32_t N = ReadText(Line.data(), static_cast<int32_t>(Line.size()), Position);
  Limit = std::min(Limit, N);

  int32_t BreakAt = -1;
  for (int32_t I = 0; I < Limit; ++I) {
    if (IsLineBreakAt(Line.data(), N, I, Wide)) {
      BreakAt = I;
      break;
    }
  }

  if (BreakAt >= 0) {
    int32_t Keep = BreakAt;
    if (Line[BreakAt] == kLF) {
      // A CR right before the LF belongs to the break.
      if (!Wide && Keep >= 1 && Line[Keep - 1] == kCR) Keep -= 1;
      if (Wide && Keep >= 2 && Line[Keep - 2] == kCR && Line[Keep - 1] == 0) Keep -= 2;
    }
    Line.resize(static_cast<size_t>(Keep));
    Position += BreakAt + (Wide ? 2 : 1);
    LineCut = false;
  } else {
    LineCut = true;
    Line.resize(static_cast<size_t>(Limit));
    Position += Limit;
    // A CR at the cut is consumed with the piece; its LF, if any, starts the next one.
    if (!Wide && !Line.empty() && Line.back() == kCR) Line.pop_back();
    if (Wide && Line.size() >= 2 && Line[Line.size() - 2] == kCR && Line.back() == 0) {
      Line.resize(Line.size() - 2);
    }
  }

  if (Encoding == kEncodingUtf8 || Encoding == kEncodingUtf7) {
    RawLine = Line;
    const std::u16string W =
        CharsetToWide(RawLine, Encoding == kEncodingUtf8 ? qvnls::kCharsetUtf8 : qvnls::kCharsetUtf7);
    Line.assign(reinterpret_cast<const char*>(W.data()), W.size() * 2);
  }
}

bool TViewTextStream::LinesBack(int32_t N) {
  const int32_t Before = Position;
  for (int32_t I = 0; I < N && Position > 0; ++I) PrevLine();
  return Position != Before;
}

bool TViewTextStream::LinesForward(int32_t N) {
  const int32_t Before = Position;
  std::string Line;
  for (int32_t I = 0; I < N && !Eof(); ++I) ReadLine(Line);
  return Position != Before;
}
