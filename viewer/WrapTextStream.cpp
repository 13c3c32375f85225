#include "viewer/WrapTextStream.h"

#include <algorithm>

namespace {

constexpr char16_t kTab = 9;
constexpr char16_t kBlank = 0x20;
// With word wrap a logical line is cut only every this many times the line limit.
constexpr int32_t kWrapLineFactor = 4;

bool IsHighSurrogate(char16_t C) { return C >= 0xD800 && C <= 0xDBFF; }
bool IsLowSurrogate(char16_t C) { return C >= 0xDC00 && C <= 0xDFFF; }

// Characters after which a word-wrapped line may break when it holds no blank or tab.
bool IsBreakPunctuation(char16_t C) {
  switch (C) {
    case u'!':
    case u'+':
    case u',':
    case u'-':
    case u'.':
    case u'/':
    case u':':
    case u';':
    case u'?':
    case u'@':
    case u'\\':
      return true;
    default:
      return false;
  }
}

}  // namespace

TWrapTextStream::TWrapTextStream(IFontMetrics* Metrics, TVStream* Stream)
    : TTransTextStream(Stream), Metrics_(Metrics) {}

void TWrapTextStream::UpdateLineBytes() {
  TTransTextStream::UpdateLineBytes();
  if (WordWrap_) LineBytes_ *= kWrapLineFactor;
}

void TWrapTextStream::DropSegments() {
  Segments_.clear();
  SegmentBytes_.clear();
  NextSegment_ = 0;
}

void TWrapTextStream::SetWrap(bool On) {
  if (On == WordWrap_) return;
  WordWrap_ = On;
  DropSegments();
  UpdateLineBytes();
  if (Stream_) SetPosition(Position_);
}

void TWrapTextStream::SetWrapWidth(int32_t Width) {
  if (Width == WrapWidth_) return;
  WrapWidth_ = Width;
  DropSegments();
  if (Stream_ && WordWrap_) SetPosition(Position_);
}

void TWrapTextStream::SetTabSize(int32_t N) {
  N = std::clamp(N, kMinTabSize, kMaxTabSize);
  if (N == TabSize_) return;
  TabSize_ = static_cast<uint8_t>(N);
  DropSegments();
  UpdateLineBytes();
  if (Stream_ && WordWrap_) SetPosition(Position_);
}

void TWrapTextStream::SetByteWidths(const int32_t (&Widths)[256]) {
  std::copy(std::begin(Widths), std::end(Widths), ByteWidths_);
  ByteWidthsSet_ = true;
  WidthCache_.clear();
  DropSegments();
}

int32_t TWrapTextStream::CharWidth(char32_t Ch) {
  if (Ch < 128 && ByteWidthsSet_) return ByteWidths_[Ch];
  const auto It = WidthCache_.find(Ch);
  if (It != WidthCache_.end()) return It->second;
  const int32_t W = Metrics_ ? Metrics_->CharWidth(Ch) : 0;
  // A failed measurement is not kept: the next call tries again.
  if (W > 0) WidthCache_.emplace(Ch, W);
  return std::max(W, 0);
}

int32_t TWrapTextStream::AdvanceWidth(char32_t Ch, int32_t& Column) {
  if (Ch == kTab) {
    const int32_t T = TabStop(Column);
    const int32_t W = ShowTabs ? CharWidth(kVisibleTabGlyph) + (T - Column) * CharWidth(kBlank)
                               : (T - Column + 1) * CharWidth(kBlank);
    Column = T + 1;
    return W;
  }
  const int32_t W = CharWidth(ShowTabs && Ch == kBlank ? kVisibleSpaceGlyph : Ch);
  ++Column;
  return W;
}

int32_t TWrapTextStream::AdvanceWidthAt(const std::u16string& Text, size_t I, int32_t& Column) {
  const char16_t C = Text[I];
  if (IsHighSurrogate(C) && I + 1 < Text.size() && IsLowSurrogate(Text[I + 1])) {
    const char32_t Cp = 0x10000 + ((static_cast<char32_t>(C) - 0xD800) << 10) + (Text[I + 1] - 0xDC00);
    return AdvanceWidth(Cp, Column);
  }
  if (IsLowSurrogate(C) && I > 0 && IsHighSurrogate(Text[I - 1])) return 0;
  return AdvanceWidth(C, Column);
}

int32_t TWrapTextStream::TextWidth(const std::u16string& Text) {
  int32_t Column = 1;
  int32_t W = 0;
  for (size_t I = 0; I < Text.size(); ++I) W += AdvanceWidthAt(Text, I, Column);
  return W;
}

bool TWrapTextStream::AtLineEnd() const { return !WordWrap_ || !HasSegmentsLeft(); }

void TWrapTextStream::SplitSegments(const std::u16string& Text) {
  DropSegments();
  const size_t N = Text.size();
  // Widths of every character at its column (columns run over the whole logical line).
  std::vector<int32_t> Widths(N);
  int32_t Column = 1;
  for (size_t I = 0; I < N; ++I) Widths[I] = AdvanceWidthAt(Text, I, Column);

  size_t S = 0;
  do {
    int64_t Sum = 0;
    size_t I = S;
    while (I < N && Sum + Widths[I] <= WrapWidth_) Sum += Widths[I++];
    size_t End = N;
    if (I < N) {
      if (Text[I] == kBlank || Text[I] == kTab) {
        End = I + 1;
      } else {
        End = 0;
        for (size_t J = I; J-- > S + 1;) {
          if (Text[J] == kBlank || Text[J] == kTab) {
            End = J + 1;
            break;
          }
        }
        if (End == 0) {
          for (size_t J = I; J-- > S + 1;) {
            if (IsBreakPunctuation(Text[J])) {
              End = J + 1;
              break;
            }
          }
        }
        if (End == 0) End = std::max(I, S + 1);
      }
      // Never between the two halves of a surrogate pair.
      if (End < N && IsLowSurrogate(Text[End]) && IsHighSurrogate(Text[End - 1])) {
        End = End - 1 > S ? End - 1 : End + 1;
      }
    }
    Segments_.push_back(Text.substr(S, End - S));
    SegmentBytes_.push_back(static_cast<int32_t>(End - S) * SourceUnit());
    S = End;
  } while (S < N);
  // The end-of-line mark is no source character.
  if (LogicalLineMarked_ && !SegmentBytes_.empty()) SegmentBytes_.back() -= SourceUnit();
}

int32_t TWrapTextStream::SegmentOffset(size_t Index) const {
  int32_t Offset = 0;
  for (size_t I = 0; I < Index && I < SegmentBytes_.size(); ++I) Offset += SegmentBytes_[I];
  return Offset;
}

void TWrapTextStream::BreakLine() {
  DropSegments();
  if (!Stream_) return;
  FindLineStart();
  LineStartPos_ = Position_;
  const bool StartCut = LineCut_;
  // Nothing starts at the end of the stream: no empty display line after the last one.
  if (Position_ >= StreamSize()) return;
  std::u16string Text;
  ReadTransLine(Text);
  LogicalLineCut_ = LineCut_;
  LogicalLineMarked_ = MarkAppended_;
  PosAfterLine_ = Position_;
  SplitSegments(Text);
  Position_ = LineStartPos_;
  LineCut_ = StartCut;
}

void TWrapTextStream::SetPosition(int32_t P) {
  // An odd byte in the 16-bit mode belongs to the character that starts one byte before it.
  if (IsWideMode(CharsetMode_)) P &= ~1;
  if (!WordWrap_) {
    TTransTextStream::SetPosition(P);
    return;
  }
  P = std::clamp(P, 0, StreamSize());
  Position_ = P;
  BreakLine();
  if (Segments_.empty()) return;
  const int32_t Rel = P - LineStartPos_;
  size_t K = 0;
  int32_t Offset = 0;
  while (K + 1 < Segments_.size() && Offset + SegmentBytes_[K] <= Rel) Offset += SegmentBytes_[K++];
  NextSegment_ = K;
  Position_ = LineStartPos_ + Offset;
}

void TWrapTextStream::PrevLine() {
  if (!WordWrap_) {
    TTransTextStream::PrevLine();
    return;
  }
  if (HasSegmentsLeft() && NextSegment_ > 0) {
    --NextSegment_;
    Position_ = LineStartPos_ + SegmentOffset(NextSegment_);
    return;
  }
  if (Position_ <= 0) {
    SetPosition(0);
    return;
  }
  TViewTextStream::PrevLine();
  BreakLine();
  if (Segments_.empty()) return;
  NextSegment_ = Segments_.size() - 1;
  Position_ = LineStartPos_ + SegmentOffset(NextSegment_);
}

void TWrapTextStream::ReadLine(std::string& Line) {
  if (!WordWrap_) {
    TTransTextStream::ReadLine(Line);
    return;
  }
  if (!HasSegmentsLeft()) BreakLine();
  if (!HasSegmentsLeft()) {
    Line.clear();
    MarkAppended_ = false;
    return;
  }
  Line = WideToLineBytes(Segments_[NextSegment_]);
  if (NextSegment_ + 1 == Segments_.size()) {
    Position_ = PosAfterLine_;
    LineCut_ = LogicalLineCut_;
    MarkAppended_ = LogicalLineMarked_;
    DropSegments();
  } else {
    Position_ += SegmentBytes_[NextSegment_];
    ++NextSegment_;
    MarkAppended_ = false;
  }
}

void TWrapTextStream::SetCharsetMode(uint8_t Mode) {
  if (Mode == CharsetMode_) return;
  TTransTextStream::SetCharsetMode(Mode);
  DropSegments();
  if (Stream_ && WordWrap_) SetPosition(Position_);
}

bool TWrapTextStream::Eof() { return TTransTextStream::Eof() && !HasSegmentsLeft(); }
