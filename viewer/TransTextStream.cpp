#include "viewer/TransTextStream.h"

#include <cstring>
#include <memory>

#include "platform/qvnls/Qvnls.h"
#include "search/NLSProcsDyn.h"

const char16_t kControlGlyphs[32] = {0x0000, 0x263A, 0x263B, 0x2665, 0x2666, 0x2663, 0x2660, 0x25CF,
                                     0x25D8, 0x25CB, 0x25D9, 0x2642, 0x2640, 0x266A, 0x266B, 0x263C,
                                     0x25BA, 0x25C4, 0x2195, 0x203C, 0x00B6, 0x00A7, 0x2584, 0x21A8,
                                     0x2191, 0x2193, 0x2192, 0x2190, 0x221F, 0x2194, 0x25B2, 0x25BC};

namespace {

constexpr char16_t kTab = 9;
constexpr char16_t kBlank = 0x20;

// The charset of each 8-bit mode: the system's OEM or ANSI code page.
uint8_t ModeCharset(uint8_t Mode) {
  if (IsWideMode(Mode)) return qvnls::kCharsetNone;
  return Mode == cmOEM ? qvnls::GetOemCharset() : qvnls::GetAnsiCharset();
}

}  // namespace

std::string WideToLineBytes(const std::u16string& Text) {
  std::string Bytes(Text.size() * 2, '\0');
  for (size_t I = 0; I < Text.size(); ++I) {
    Bytes[2 * I] = static_cast<char>(Text[I] & 0xFF);
    Bytes[2 * I + 1] = static_cast<char>(Text[I] >> 8);
  }
  return Bytes;
}

std::u16string LineBytesToWide(const std::string& Bytes) {
  std::u16string Text(Bytes.size() / 2, u'\0');
  for (size_t I = 0; I < Text.size(); ++I) {
    Text[I] = static_cast<char16_t>(static_cast<uint8_t>(Bytes[2 * I]) |
                                    (static_cast<uint8_t>(Bytes[2 * I + 1]) << 8));
  }
  return Text;
}

// ---- TSearchFilter ----------------------------------------------------------------------------------

void TSearchFilter::Apply(TVStream* Stream, void* Buf, int32_t Count) {
  if (Next) Next->Apply(Stream, Buf, Count);
  auto* B = static_cast<uint8_t*>(Buf);
  if (Map) {
    for (int32_t I = 0; I < Count; ++I) {
      if (B[I] >= 128) B[I] = Map[B[I] - 128];
    }
  }
  if (Upper && Owner) Owner->UpperBuf(Buf, Count);
}

// ---- TTransTextStream -------------------------------------------------------------------------------

TTransTextStream::TTransTextStream(TVStream* Stream)
    : TViewTextStream(Stream, kViewerLineLength),
      SourceCharset_(ModeCharset(cmANSI)),
      DisplayCharset_(qvnls::CharsetToWindows(SourceCharset_)) {}

void TTransTextStream::SetCharsetMode(uint8_t Mode) {
  if (Mode == CharsetMode_) return;
  CharsetMode_ = Mode;
  SourceCharset_ = ModeCharset(Mode);
  SetEncoding(IsWideMode(Mode) ? kEncodingUtf16 : kEncodingBytes);
  DisplayCharset_ = qvnls::CharsetToWindows(SourceCharset_);
  if (Stream_) Stream_->Filter = nullptr;
}

std::u16string TTransTextStream::ToWide(const std::string& S) const {
  return CharsetToWide(S, SourceCharset_);
}

const uint8_t* TTransTextStream::TransMap() const {
  return qvnls::GetTransMap(SourceCharset_, DisplayCharset_);
}

void TTransTextStream::UpperBuf(void* Buf, int32_t Count) const {
  auto* B = static_cast<uint8_t*>(Buf);
  if (IsWideMode(CharsetMode_)) {
    // Units may lie at any address: fold them through the table one by one.
    const char16_t* Table = qvnls::WideUpperTable();
    for (int32_t I = 0; I + 1 < Count; I += 2) {
      const char16_t U = static_cast<char16_t>(Table[B[I] | (B[I + 1] << 8)]);
      B[I] = static_cast<uint8_t>(U & 0xFF);
      B[I + 1] = static_cast<uint8_t>(U >> 8);
    }
    return;
  }
  // One rule for the text and for the pattern: the charset's own upper case of each byte, the byte
  // itself when that upper case is not in the charset. (A fixed "minus 32" for the upper half would make
  // y-diaeresis of windows-1252 the sharp s.)
  for (int32_t I = 0; I < Count; ++I) {
    const uint8_t U = qvnls::UpperChar(B[I], DisplayCharset_);
    if (U != 0) B[I] = U;
  }
}

void TTransTextStream::ReadTransLine(std::u16string& Text) {
  std::string Raw;
  TViewTextStream::ReadLine(Raw);
  const bool RealBreak = !LineCut_;
  if (IsWideMode(CharsetMode_)) {
    Text = LineBytesToWide(Raw);
  } else {
    Text = ToWide(Raw);
  }
  MarkAppended_ = RealBreak && EOLMark != 0;
  if (MarkAppended_) Text.push_back(EOLMark);
  if (ControlGlyphs) {
    for (char16_t& C : Text) {
      if (C < 32 && C != kTab) C = kControlGlyphs[C];
    }
  }
}

void TTransTextStream::ReadLine(std::string& Line) {
  std::u16string Text;
  ReadTransLine(Text);
  Line = WideToLineBytes(Text);
}

void TTransTextStream::ReadText(std::u16string& Text) {
  std::string Line;
  ReadLine(Line);
  Text = LineBytesToWide(Line);
}

void TTransTextStream::ExpandTabs(std::u16string& Text, std::string& Attrs, int32_t& Len, int32_t& Start,
                                  int32_t LineStart) const {
  if (!Attrs.empty() && Attrs.size() < Text.size()) Attrs.resize(Text.size(), '\0');
  const int32_t Unit = SourceUnit();
  std::u16string Out;
  std::string OutAttrs;
  Out.reserve(Text.size());
  int32_t Column = 1;
  for (size_t I = 0; I < Text.size(); ++I) {
    const char16_t C = Text[I];
    const char A = Attrs.empty() ? '\0' : Attrs[I];
    if (C == kTab) {
      const int32_t T = TabStop(Column);
      const int32_t Cells = T - Column + 1;
      // The tab's position in the expanded line, in source units, so that ranges already moved by
      // earlier tabs compare in the same terms.
      const int32_t P = LineStart + static_cast<int32_t>(Out.size()) * Unit + 1;
      Out.push_back(ShowTabs ? kVisibleTabGlyph : kBlank);
      Out.append(static_cast<size_t>(Cells - 1), kBlank);
      if (!Attrs.empty()) OutAttrs.append(static_cast<size_t>(Cells), A);
      const int32_t E = (Cells - 1) * Unit;
      if (static_cast<int64_t>(Start) + Len >= P) {
        if (Start < P) {
          Len += E;
        } else {
          Start += E;
        }
      }
      Column = T + 1;
      continue;
    }
    Out.push_back(ShowTabs && C == kBlank ? kVisibleSpaceGlyph : C);
    if (!Attrs.empty()) OutAttrs.push_back(A);
    ++Column;
  }
  Text = std::move(Out);
  if (!Attrs.empty()) Attrs = std::move(OutAttrs);
}

bool TTransTextStream::FindInSource(const void* Pattern, int32_t PatLen, bool UpperCase, bool Translate,
                                    int32_t BlockBytes) {
  if (!Stream_) return false;
  if (!UpperCase && !Translate) return Stream_->FindBytes(Pattern, PatLen, BlockBytes);
  TReadFilter* const Previous = Stream_->Filter;
  auto Filter = std::make_unique<TSearchFilter>(Previous, Translate ? TransMap() : nullptr, UpperCase, this);
  Stream_->Filter = Filter.get();
  struct Restore {
    TVStream* S;
    TReadFilter* F;
    ~Restore() { S->Filter = F; }
  } Guard{Stream_, Previous};
  return Stream_->FindBytes(Pattern, PatLen, BlockBytes);
}
