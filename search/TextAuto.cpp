#include "search/TextAuto.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

#include "core/VStream.h"
#include "platform/qvnls/Qvnls.h"
#include "search/NLSProcsDyn.h"
#include "search/ViewTextStream.h"

namespace {

// Bytes examined at a time by IsTextStream, and the sample of ConvertTextCharset's detection and of its
// choice between the two 8-bit targets.
constexpr int32_t kTextBlockBytes = 4096;
// Line limit of the conversion reader; long lines are joined again before they are converted.
constexpr int32_t kConvertLineLimit = 512;

// The option word of DetermineCharsetEx that IsTextStream uses: UTF-8 and UTF-16 without a byte-order
// mark are recognised.
constexpr uint32_t kTextTestOptions = qvnls::kDetectUtf8 | qvnls::kDetectUtf16;

// The 8-bit targets of ConvertTextCharset: Cyrillic text goes to windows-1251, any other to windows-1252.
constexpr uint8_t kCyrillicTarget = qvnls::kCharsetWin1251;
constexpr uint8_t kWesternTarget = qvnls::kCharsetWin1252;

// Puts the stream back at a position when the scope ends, on every path. A failing seek on the way out
// of an exception is not allowed to replace that exception.
class TPositionKeeper {
 public:
  explicit TPositionKeeper(TVStream& Stream) : Stream_(Stream), Position_(Stream.GetPosition()) {}
  ~TPositionKeeper() {
    try {
      Stream_.Seek(Position_);
    } catch (...) {
    }
  }
  int32_t Saved() const { return Position_; }

 private:
  TVStream& Stream_;
  int32_t Position_;
};

// Restores a stream's Filter when the scope ends.
class TFilterKeeper {
 public:
  explicit TFilterKeeper(TVStream& Stream) : Stream_(Stream), Saved_(Stream.Filter) {}
  ~TFilterKeeper() { Stream_.Filter = Saved_; }

 private:
  TVStream& Stream_;
  TReadFilter* Saved_;
};

uint32_t DetectionWord(uint8_t Options, bool AtStart) {
  uint32_t Word = 0;
  if (AtStart) Word |= qvnls::kDetectStartOfStream;
  if (Options & kDetectFlagUtf8) Word |= qvnls::kDetectUtf8;
  if (Options & kDetectFlagUtf16) Word |= qvnls::kDetectUtf16;
  if (Options & kDetectFlagEightBit) Word |= qvnls::kDetectEightBit;
  if (Options & kDetectFlagCyrillic) Word |= (Options & kDetectFlagNarrow) ? 1u : qvnls::kDetectCyrillic;
  return Word;
}

// Control characters that text never holds: 0-8, 14-19, 22-25 and 28-31 (tab, the line breaks, 20, 21,
// 26 and 27 occur in real text files).
bool IsBinaryControl(uint32_t V) {
  return V <= 8 || (V >= 14 && V <= 19) || (V >= 22 && V <= 25) || (V >= 28 && V <= 31);
}

bool IsTextChar(uint32_t V) {
  return V >= 128 || (V >= '0' && V <= '9') || (V >= 'A' && V <= 'Z') || (V >= 'a' && V <= 'z');
}

bool HasPrefix(const std::string& S, const char* Prefix, size_t Len) {
  return S.size() >= Len && std::memcmp(S.data(), Prefix, Len) == 0;
}

// Which 8-bit target loses fewer characters of the first bytes of a Unicode source: both conversions are
// made on a copy of the sample, and windows-1251 wins only with fewer lost (zero) bytes.
uint8_t PickEightBitTarget(TVStream& Source, uint8_t FromCharset, bool BigEndian) {
  TVMemStream Sample;
  {
    TPositionKeeper Keep(Source);
    Source.Seek(0);
    Source.CopyBytesTo(Sample, kTextBlockBytes);
  }
  TVMemStream Cyrillic, Western;
  ConvertTextLines(Sample, Cyrillic, FromCharset, 0, BigEndian, kCyrillicTarget);
  ConvertTextLines(Sample, Western, FromCharset, 0, BigEndian, kWesternTarget);
  const int32_t LostCyrillic = qvnls::CountEqualToValue8(Cyrillic.GetMemory(), 0, Cyrillic.GetSize());
  const int32_t LostWestern = qvnls::CountEqualToValue8(Western.GetMemory(), 0, Western.GetSize());
  return LostCyrillic < LostWestern ? kCyrillicTarget : kWesternTarget;
}

}  // namespace

uint8_t DetectStreamCharset(TVStream& Stream, uint8_t Options, uint32_t& Details, int32_t MaxBytes) {
  TPositionKeeper Keep(Stream);
  const int32_t P = Keep.Saved();
  // UTF-16 is detected by its zero bytes, which sit at odd offsets of a stream of ASCII text in
  // UTF-16LE: the sample starts at an even offset.
  const int32_t Start = P % 2 != 0 ? P + 1 : P;
  const int32_t Size = Stream.GetSize();
  const int32_t Limit = MaxBytes > 0 ? MaxBytes : INT32_MAX;
  const int32_t Count = std::max(0, std::min(Size - std::min(Start, Size), Limit));

  std::string Block(static_cast<size_t>(Count), '\0');
  int32_t Read = 0;
  if (Count > 0) {
    Stream.Seek(Start);
    Read = Stream.Read(Block.data(), Count);
  }
  Details = DetectionWord(Options, P == 0);
  return qvnls::DetermineCharsetEx(Block.data(), Read, Details);
}

uint8_t GetStreamCharset(TVStream& Stream, uint8_t Options, int32_t MaxBytes) {
  uint32_t Details = 0;
  return DetectStreamCharset(Stream, Options, Details, MaxBytes);
}

bool IsTextStream(TVStream& Stream, int32_t MaxBytes) {
  TPositionKeeper Keep(Stream);
  const int32_t BlockBytes = (MaxBytes > 0 && MaxBytes < kTextBlockBytes) ? MaxBytes : kTextBlockBytes;
  std::string Block(static_cast<size_t>(BlockBytes), '\0');
  int32_t N = Stream.Read(Block.data(), BlockBytes);
  if (N <= 0) return false;

  const std::string Head = Block.substr(0, static_cast<size_t>(std::min(N, 3)));
  if (HasPrefix(Head, "\xFF\xFE", 2) || HasPrefix(Head, "\xFE\xFF", 2) ||
      HasPrefix(Head, "\xEF\xBB\xBF", 3)) {
    return true;
  }
  // A zero 16-bit unit occurs neither in 8-bit text nor in UTF-16 text.
  for (int32_t I = 0; I + 1 < N; I += 2) {
    if (Block[I] == 0 && Block[I + 1] == 0) return false;
  }

  uint32_t Details = kTextTestOptions;
  const bool Wide = qvnls::DetermineCharsetEx(Block.data(), N, Details) == qvnls::kCharsetUtf16LE;
  const bool BigEndian = (Details & qvnls::kDetectBigEndian) != 0;

  bool SeenText = false;
  int32_t Left = MaxBytes;  // meaningful only with MaxBytes > 0
  for (;;) {
    const auto* Bytes = reinterpret_cast<const uint8_t*>(Block.data());
    if (!Wide) {
      if (std::memchr(Bytes, 0, static_cast<size_t>(N)) != nullptr) return false;
      for (int32_t I = 0; I < N; ++I) {
        if (IsBinaryControl(Bytes[I])) return false;
        if (IsTextChar(Bytes[I])) SeenText = true;
      }
    } else {
      for (int32_t I = 0; I + 1 < N; I += 2) {
        const uint32_t Unit = BigEndian ? (Bytes[I] << 8 | Bytes[I + 1]) : (Bytes[I + 1] << 8 | Bytes[I]);
        if (IsBinaryControl(Unit)) return false;
        if (IsTextChar(Unit)) SeenText = true;
      }
    }

    int32_t Next = BlockBytes;
    if (MaxBytes > 0) {
      Left -= N;
      if (Left <= 0) break;
      Next = std::min(Next, Left);
    }
    N = Stream.Read(Block.data(), Next);
    if (N <= 0) break;
  }
  return SeenText;
}

void WriteConvertedLine(TVStream& Dest, const std::string& Line, uint8_t FromCharset, char DefaultChar,
                        uint8_t ToCharset) {
  const bool ToWide = ToCharset == qvnls::kCharsetUtf16LE;
  const bool FromWide = FromCharset == qvnls::kCharsetUtf16LE;
  if (FromWide && ToWide) {
    Dest.WriteText(Line);
  } else {
    std::string Out;
    if (FromWide || ToWide || FromCharset == qvnls::kCharsetUtf8) {
      std::u16string W;
      if (FromWide) {
        W.resize(Line.size() / 2);
        std::memcpy(W.data(), Line.data(), W.size() * 2);
      } else {
        W = CharsetToWide(Line, FromCharset);
      }
      if (ToWide) {
        Dest.WriteWideText(W);
      } else {
        Out = WideToCharset(W, ToCharset);
      }
    } else {
      Out = ConvertCharsetStr(Line, FromCharset, ToCharset);
    }
    if (DefaultChar != 0) std::replace(Out.begin(), Out.end(), '\0', DefaultChar);
    Dest.WriteText(Out);
  }
  if (ToWide) {
    Dest.WriteWideText(u"\r\n");
  } else {
    Dest.WriteText("\r\n");
  }
}

void ConvertTextLines(TVStream& Source, TVStream& Dest, uint8_t FromCharset, char DefaultChar, bool BigEndian,
                      uint8_t ToCharset) {
  TFilterKeeper KeepFilter(Source);
  TBigEndianFilter Swap(Source.Filter);
  if (BigEndian) Source.Filter = &Swap;

  TViewTextStream Reader(&Source, kConvertLineLimit);
  if (FromCharset == qvnls::kCharsetUtf16LE) Reader.SetEncoding(TViewTextStream::kEncodingUtf16);

  bool First = true;
  auto Emit = [&](std::string& Line) {
    if (First) {
      // A byte-order mark is no text of the first line.
      if (FromCharset == qvnls::kCharsetUtf16LE && HasPrefix(Line, "\xFF\xFE", 2)) Line.erase(0, 2);
      if (FromCharset == qvnls::kCharsetUtf8 && HasPrefix(Line, "\xEF\xBB\xBF", 3)) Line.erase(0, 3);
      First = false;
    }
    WriteConvertedLine(Dest, Line, FromCharset, DefaultChar, ToCharset);
    Line.clear();
  };

  std::string Line, Piece;
  bool Pending = false;
  while (!Reader.Eof()) {
    const int32_t Before = Reader.GetPosition();
    Reader.ReadLine(Piece);
    if (Reader.GetPosition() <= Before) break;  // no progress: nothing more can be read
    Line += Piece;
    Pending = true;
    if (!Reader.GetLineCut()) {
      Emit(Line);
      Pending = false;
    }
  }
  if (Pending) Emit(Line);
}

uint8_t ConvertTextCharset(TVStream& Source, TVStream& Dest, uint8_t FromCharset, bool ToUnicode,
                           uint8_t Flags) {
  bool BigEndian = false;
  if (FromCharset == 0) {
    uint32_t Details = 0;
    FromCharset = DetectStreamCharset(Source, Flags, Details, kTextBlockBytes);
    BigEndian = (Details & qvnls::kDetectBigEndian) != 0;
  }

  uint8_t Target = qvnls::kCharsetUtf16LE;
  if (!ToUnicode) {
    Target = kWesternTarget;
    if (Flags & kDetectFlagCyrillic) {
      switch (FromCharset) {
        case qvnls::kCharsetUtf8:
        case qvnls::kCharsetUtf16LE:
        case qvnls::kCharsetUtf7:
          Target = PickEightBitTarget(Source, FromCharset, BigEndian);
          break;
        case qvnls::kCharsetIso8859_5:
        case qvnls::kCharsetKoi8R:
        case qvnls::kCharsetKoi8U:
        case qvnls::kCharsetWin1251:
        case qvnls::kCharsetDos866:
          Target = kCyrillicTarget;
          break;
        default:
          break;
      }
    }
  }
  ConvertTextLines(Source, Dest, FromCharset, '?', BigEndian, Target);
  return Target;
}
