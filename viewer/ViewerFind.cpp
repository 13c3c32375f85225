// TFileViewer64: text search in the shown stream and copying the selection.
//
// Find reads the stream in overlapping blocks through a filter that folds case and translates the
// source charset into the display charset, so that it never holds more than one block and the pattern.
// The pattern comes as UTF-16: it is searched as it is in the 16-bit mode, and in an 8-bit mode a
// pattern the display charset cannot hold finds nothing (it must not match stand-in "?" bytes). Both the
// pattern and the text are folded by the same byte rule.
#include <algorithm>
#include <climits>

#include "platform/qvnls/Qvnls.h"
#include "search/NLSProcsDyn.h"
#include "viewer/Viewer64.h"

namespace {

// Bytes one copy read takes.
constexpr int32_t kCopyBlockBytes = 32768;

const char* const kSelectionTooLarge = "The selection is too large";
const char* const kCantOpenClipboard = "Can't open clipboard";

// Restores a flag on every path.
struct TFlagGuard {
  bool& Flag;
  bool Saved;
  explicit TFlagGuard(bool& F) : Flag(F), Saved(F) { Flag = true; }
  ~TFlagGuard() { Flag = Saved; }
};

}  // namespace

char16_t TFileViewer64::SourceCharAt(int32_t Pos) {
  TVStream* S = Window_.get();
  uint8_t B[2] = {0, 0};
  S->Seek(Pos);
  const int32_t N = S->Read(B, Unit());
  if (N < Unit()) return 0;
  if (Unit() == 2) return static_cast<char16_t>(B[0] | (B[1] << 8));
  const std::u16string W = Source_->ToWide(std::string(1, static_cast<char>(B[0])));
  return W.empty() ? 0 : W[0];
}

bool TFileViewer64::IsWholeWordAt(int32_t Pos, int32_t PatBytes) {
  const int32_t Size = Window_->GetSize();
  if (Pos >= Unit() && qvnls::UnicodeIsAlphaNum(SourceCharAt(Pos - Unit()))) return false;
  const int64_t After = static_cast<int64_t>(Pos) + PatBytes;
  if (After + Unit() <= Size && qvnls::UnicodeIsAlphaNum(SourceCharAt(static_cast<int32_t>(After))))
    return false;
  return true;
}

int32_t TFileViewer64::Find(const std::u16string& Text, bool MatchCase, bool WholeWord) {
  if (!IsOpen() || Text.empty()) return 1;
  const bool Wide = IsWideMode(GetCharsetMode());
  std::string Pattern;
  if (Wide) {
    Pattern = WideToLineBytes(Text);
  } else {
    Pattern = WideToCharset(Text, GetDisplayCharset());
    bool Holds = Pattern.size() == Text.size();
    for (size_t I = 0; Holds && I < Text.size(); ++I) Holds = Pattern[I] != 0 || Text[I] == 0;
    if (!Holds) {
      if (ClearSelection()) RepaintAttributes();
      return 1;
    }
  }
  if (!MatchCase) Source_->UpperBuf(Pattern.data(), static_cast<int32_t>(Pattern.size()));
  const int32_t PatBytes = static_cast<int32_t>(Pattern.size());

  // The search moves only the stream, never the line source: the top stays where it is on every path.
  TFlagGuard BusyGuard(Busy_);
  const int32_t Top = GetPosition();

  // From after a selection that is at least partly on the page, else from the top.
  int64_t Pos = Top;
  if (SelStart_ >= 0 && SelLength_ > 0 && SelStart_ + SelLength_ > Top &&
      SelStart_ < PositionAtHeight(ClientHeight_ - LineHeight_ / 2)) {
    Pos = static_cast<int64_t>(SelStart_) + SelLength_;
  }
  const int32_t Size = Window_->GetSize();
  // Blocks overlap by the pattern less one character; a pattern longer than half a block gets blocks
  // of twice its length, so that every block moves the search on (and the pattern fits one block).
  const int32_t Block = static_cast<int32_t>(
      std::min<int64_t>(std::max<int64_t>(kFindBlockBytes, 2 * static_cast<int64_t>(PatBytes)), INT32_MAX));
  int32_t Found = -1;
  while (Pos + PatBytes <= Size) {
    // Blocks in the 16-bit mode start on whole characters, so that the filter folds whole units.
    if (Wide && (Pos & 1)) ++Pos;
    const int32_t BlockStart = static_cast<int32_t>(Pos);
    Window_->Seek(BlockStart);
    if (!Source_->FindInSource(Pattern.data(), PatBytes, !MatchCase, !Wide, Block)) {
      Pos = static_cast<int64_t>(BlockStart) + Block - PatBytes + 1 + (Wide ? 1 : 0);
      continue;
    }
    const int32_t M = Window_->GetPosition();
    if (Wide && (M & 1)) {
      Pos = static_cast<int64_t>(M) + 1;
      continue;
    }
    if (WholeWord && !IsWholeWordAt(M, PatBytes)) {
      Pos = static_cast<int64_t>(M) + Unit();
      continue;
    }
    Found = M;
    break;
  }

  if (Found < 0) {
    if (ClearSelection()) RepaintAttributes();
    return 1;
  }
  SelStart_ = Found;
  SelLength_ = PatBytes;
  const bool OnPage = Found >= Top && Found < PositionAtHeight(ClientHeight_ - LineHeight_ / 2);
  if (!OnPage) SetTopPosition(Found);
  const int32_t Target = HorzTarget(Found);
  UpdateScrollBars();
  if (Target >= 0) SetHorzPosition(Target);
  Redraw(true);
  return 0;
}

// ---- Copy -------------------------------------------------------------------------------------------

void TFileViewer64::BuildCopy(std::u16string& Wide, std::string& Narrow) {
  Wide.clear();
  Narrow.clear();
  if (!IsOpen() || SelStart_ < 0 || SelLength_ <= 0) return;
  TVStream* S = Window_.get();
  const bool WideMode = IsWideMode(GetCharsetMode());
  int64_t From = SelStart_;
  int64_t To = std::min<int64_t>(static_cast<int64_t>(SelStart_) + SelLength_, S->GetSize());
  if (WideMode) {
    // Whole characters only: an odd start or end takes the character that holds it, and the odd last
    // byte of an odd-sized stream is no character.
    From &= ~int64_t{1};
    To = std::min<int64_t>((To + 1) & ~int64_t{1}, S->GetSize() & ~int32_t{1});
  }
  if (To <= From) return;

  const uint8_t Display = GetDisplayCharset();
  const uint8_t* Map = WideMode ? nullptr : Source_->TransMap();
  const int32_t Saved = S->GetPosition();
  struct TRestorePos {
    TVStream* S;
    int32_t P;
    ~TRestorePos() {
      try {
        S->Seek(P);
      } catch (...) {
      }
    }
  } Restore{S, Saved};

  // A line feed not preceded by a carriage return gets one, in both forms, also across blocks.
  auto PutWide = [&](char16_t C) {
    if (C == u'\n' && (Wide.empty() || Wide.back() != u'\r')) Wide.push_back(u'\r');
    Wide.push_back(C);
  };
  auto PutNarrow = [&](char C) {
    if (C == '\n' && (Narrow.empty() || Narrow.back() != '\r')) Narrow.push_back('\r');
    Narrow.push_back(C);
  };

  std::string Block;
  S->Seek(static_cast<int32_t>(From));
  int64_t Left = To - From;
  while (Left > 0) {
    const int32_t Want = static_cast<int32_t>(std::min<int64_t>(Left, kCopyBlockBytes));
    Block.resize(static_cast<size_t>(Want));
    const int32_t N = S->Read(Block.data(), Want);
    if (N <= 0) break;
    Left -= N;
    if (WideMode) {
      for (int32_t I = 0; I + 1 < N; I += 2) {
        char16_t C =
            static_cast<char16_t>(static_cast<uint8_t>(Block[I]) | (static_cast<uint8_t>(Block[I + 1]) << 8));
        if (C == 0) C = u' ';
        PutWide(C);
        char B = C < 128 ? static_cast<char>(C) : static_cast<char>(qvnls::WideCharToChar(C, Display));
        if (B == 0) B = '?';
        PutNarrow(B);
      }
    } else {
      for (int32_t I = 0; I < N; ++I) {
        uint8_t B = static_cast<uint8_t>(Block[I]);
        if (B == 0) B = ' ';
        if (B >= 128 && Map) {
          B = Map[B - 128];
          if (B == 0) B = '?';
        }
        char16_t C = B < 128 ? static_cast<char16_t>(B) : qvnls::CharToWideChar(B, Display);
        if (C == 0) C = u'?';
        PutWide(C);
        PutNarrow(static_cast<char>(B));
      }
    }
  }
  if (!Wide.empty() && Wide.back() == u'\r') Wide.push_back(u'\n');
  if (!Narrow.empty() && Narrow.back() == '\r') Narrow.push_back('\n');
}

void TFileViewer64::CopyToClipboard(int32_t Kind) {
  if (Kind != 0 || !IsOpen() || SelStart_ < 0 || SelLength_ <= 0) return;
  // 2 bytes a byte for the UTF-16 form and 1 for the 8-bit form, counted in 64 bits.
  const int64_t Needed = 3 * static_cast<int64_t>(SelLength_);
  const int64_t Physical = PhysicalMemorySize ? PhysicalMemorySize() : INT64_MAX;
  if (Physical > 0 && Needed > Physical) throw EFileViewer(kSelectionTooLarge);
  if (!Clipboard || !Clipboard->Open()) throw EFileViewer(kCantOpenClipboard);
  struct TCloser {
    IViewerClipboard* C;
    ~TCloser() { C->Close(); }
  } Closer{Clipboard};
  TFlagGuard BusyGuard(Busy_);
  std::u16string Wide;
  std::string Narrow;
  BuildCopy(Wide, Narrow);
  Clipboard->Empty();
  Clipboard->SetUnicodeText(Wide);
  Clipboard->SetText(Narrow, GetDisplayCharset());
}
