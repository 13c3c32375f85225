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
    : LineBytes_(MaxLineLength), MaxLineLength_(MaxLineLength), Stream_(Stream) {
  // Pieces of long lines are cut at multiples of the limit; a limit of 0 has no multiples.
  if (MaxLineLength < 1 || MaxLineLength > kMaxLineLength) {
    throw EViewTextStream("Line length out of range (" + std::to_string(MaxLineLength) + ")");
  }
}

TViewTextStream::~TViewTextStream() {
  if (OwnsStream) delete Stream_;
}

void TViewTextStream::UpdateLineBytes() { LineBytes_ = IsWide() ? MaxLineLength_ * 2 : MaxLineLength_; }

void TViewTextStream::SetStream(TVStream* S) {
  if (S != Stream_) {
    if (OwnsStream) delete Stream_;
    Stream_ = S;
    OwnsStream = false;
  }
  if (Stream_) SetPosition(0);
}

int32_t TViewTextStream::StreamSize() const {
  const int32_t Size = Stream_ ? Stream_->GetSize() : 0;
  // The odd last byte of a UTF-16 stream is half a character: the text ends before it, so that it is no
  // line of its own and no position lies on it.
  return IsWide() ? Size & ~1 : Size;
}

int32_t TViewTextStream::SeekSource(int32_t P) {
  P = std::clamp(P, 0, StreamSize());
  if (IsWide()) P &= ~1;
  if (Stream_) Stream_->Seek(P);
  return P;
}

int32_t TViewTextStream::ReadText(char* Buf, int32_t Count, int32_t At) {
  return Stream_->Read(Buf, std::clamp(StreamSize() - At, 0, Count));
}

void TViewTextStream::SetEncoding(uint8_t NewEncoding) {
  Encoding_ = NewEncoding;
  UpdateLineBytes();
  if (Stream_) FindLineStart();
  RawLine_.clear();
}

void TViewTextStream::SetPosition(int32_t P) {
  Position_ = std::clamp(P, 0, StreamSize());
  FindLineStart();
}

void TViewTextStream::GoToEnd() { SetPosition(StreamSize()); }

bool TViewTextStream::Eof() { return Position_ >= StreamSize(); }

void TViewTextStream::PrevLine() {
  Position_ = std::max(0, Position_ - (IsWide() ? 2 : 1));
  FindLineStart();
}

void TViewTextStream::FindLineStart() {
  LineCut_ = false;
  if (!Stream_) {
    Position_ = 0;
    return;
  }
  // An odd offset in UTF-16 lies inside the character that starts one byte before it; on a line break it
  // belongs to the line that the break ends.
  const int32_t A = IsWide() ? Position_ & ~1 : Position_;
  const int32_t Start = SeekSource(A - 2 * LineBytes_);
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
    Position_ = L;
    if (C >= LineBytes_) {
      // A lies inside a long line: the second piece starts one limit after L, the later ones on
      // multiples of the limit. Both lie at or before A here.
      Position_ = L + LineBytes_;
      const int64_t E = RoundToLineLen(static_cast<int64_t>(L) + 2 * LineBytes_);
      if (E <= A) Position_ = static_cast<int32_t>(E);
      LineCut_ = true;
    }
    Found = true;
    break;
  }
  if (!Found) {
    if (A < LineBytes_) {
      Position_ = 0;
    } else {
      Position_ = static_cast<int32_t>(RoundToLineLen(A));
      LineCut_ = true;
    }
  }
  Stream_->Seek(std::min(Position_, StreamSize()));
}

void TViewTextStream::ReadLine(std::string& Line) {
  Line.clear();
  if (!Stream_) return;
  Position_ = SeekSource(Position_);
  int32_t Limit =
      LineCut_
          ? static_cast<int32_t>(RoundToLineLen(static_cast<int64_t>(Position_) + LineBytes_) - Position_)
          : LineBytes_;
  const bool Wide = IsWide();
  Line.resize(static_cast<size_t>(Limit) + (Wide ? 3 : 1));
  const int32_t N = ReadText(Line.data(), static_cast<int32_t>(Line.size()), Position_);
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
    Position_ += BreakAt + (Wide ? 2 : 1);
    LineCut_ = false;
  } else {
    LineCut_ = true;
    Line.resize(static_cast<size_t>(Limit));
    Position_ += Limit;
    // A CR at the cut is consumed with the piece; its LF, if any, starts the next one.
    if (!Wide && !Line.empty() && Line.back() == kCR) Line.pop_back();
    if (Wide && Line.size() >= 2 && Line[Line.size() - 2] == kCR && Line.back() == 0) {
      Line.resize(Line.size() - 2);
    }
  }

  if (Encoding_ == kEncodingUtf8 || Encoding_ == kEncodingUtf7) {
    RawLine_ = Line;
    const std::u16string W =
        CharsetToWide(RawLine_, Encoding_ == kEncodingUtf8 ? qvnls::kCharsetUtf8 : qvnls::kCharsetUtf7);
    Line.assign(reinterpret_cast<const char*>(W.data()), W.size() * 2);
  }
}

bool TViewTextStream::LinesBack(int32_t N) {
  const int32_t Before = Position_;
  for (int32_t I = 0; I < N && Position_ > 0; ++I) PrevLine();
  return Position_ != Before;
}

bool TViewTextStream::LinesForward(int32_t N) {
  const int32_t Before = Position_;
  std::string Line;
  for (int32_t I = 0; I < N && !Eof(); ++I) ReadLine(Line);
  return Position_ != Before;
}
