#include "plugins/impweb/html/HTMLPasses.h"

#include <memory>
#include <string>

#include "core/MemUtils.h"
#include "core/VStream.h"
#include "platform/qvnls/Qvnls.h"
#include "plugins/frame/ConvCmmn.h"
#include "plugins/impweb/html/HTML2Txt.h"
#include "plugins/impweb/html/HTMLLayout.h"
#include "plugins/impweb/html/HTMLLinks.h"
#include "search/TextAuto.h"

namespace {

// Bytes the detection pass samples for a byte-order mark, UTF-8 and UTF-16.
constexpr int32_t kDetectSampleBytes = 4096;
// Detection options: UTF-16 and UTF-8 recognised without a byte-order mark.
constexpr uint8_t kDetectUnicode = kDetectFlagUtf16 | kDetectFlagUtf8;
// The Russian code pages the Cyrillic guess weighs: windows-1251, KOI8-R and IBM866.
constexpr uint32_t kRussianCandidates = qvnls::kRussianKoi8 | qvnls::kRussianDos;
// Progress is asked once per this many tokens (the token counter is one byte).
using TTokenCounter = uint8_t;

constexpr uint8_t kUtf8 = qvnls::kCharsetUtf8;
constexpr uint8_t kUtf16 = qvnls::kCharsetUtf16LE;
constexpr uint8_t kCyrillic = qvnls::kCharsetWin1251;
constexpr uint8_t kWestern = qvnls::kCharsetWin1252;

// Puts a stream's read filter back when the scope ends: a filter that a pass put on the caller's stream
// never outlives the pass.
class TFilterRestore {
 public:
  explicit TFilterRestore(TVStream& Stream) : Stream_(Stream), Saved_(Stream.Filter) {}
  ~TFilterRestore() { Stream_.Filter = Saved_; }
  TFilterRestore(const TFilterRestore&) = delete;
  TFilterRestore& operator=(const TFilterRestore&) = delete;

 private:
  TVStream& Stream_;
  TReadFilter* Saved_;
};

// The state every run over the tokens starts from.
void ResetPassState(THTMLPassState& S) {
  S.NoSeparator = S.LastWrittenWasBlank = S.AtLineStart = true;
  S.ConsecutiveBreaks = 1;
  S.AnythingWritten = S.InsideLink = S.PrevTextWasAttribute = S.AttributeText = false;
  S.TextEndedInBlank = S.Preformatted = S.Skip = false;
  S.PendingBreaks = S.IndentLevel = S.TableDepth = S.DefinitionListDepth = 0;
  S.Indent.clear();
  S.ListCounters.Clear();
  S.ListStyles.Clear();
  S.LinkStart = -1;
  S.Line.Empty();
  S.Line.Written = false;
  S.Comments = TCommentMemo();
  S.Pushed = -1;
}

// Moves Source past a byte-order mark of Charset at its position; without one it stays.
void SkipByteOrderMark(TVStream& Source, uint8_t Charset) {
  const int32_t P = Source.GetPosition();
  unsigned char Mark[3] = {};
  const int32_t N = Source.Read(Mark, 3);
  if (Charset == kUtf8 && N >= 3 && Mark[0] == 0xEF && Mark[1] == 0xBB && Mark[2] == 0xBF) {
    Source.Seek(P + 3);
  } else if (Charset == kUtf16 && N >= 2 && Mark[0] == 0xFF && Mark[1] == 0xFE) {
    Source.Seek(P + 2);
  } else {
    Source.Seek(P);
  }
}

// Whether a UTF-16 source is big-endian: by its byte-order mark or, without one, by where its zero
// bytes stand.
bool IsBigEndianUtf16(TVStream& Source) {
  uint32_t Details = 0;
  return DetectStreamCharset(Source, kDetectUnicode, Details, kDetectSampleBytes) == kUtf16 &&
         (Details & qvnls::kDetectBigEndian) != 0;
}

// The detection scan: the META charset, else 18 for a page of pure ASCII, else 0.
uint8_t ScanForCharset(THTMLPassState& S) {
  uint8_t Answer = 0;
  bool Ascii = true;
  while (NextHTMLToken(S)) {
    if (S.TokenKind == kTokenText) {
      if (Ascii && FindNonAscii(S.TokenText.data(), static_cast<int32_t>(S.TokenText.size())) != nullptr) {
        Ascii = false;
      }
    } else if (S.TagCode == kTagMetaCharset) {
      Answer = S.SourceCharset;
      break;
    }
  }
  return Ascii && Answer == 0 ? kWestern : Answer;
}

TVMemStream* AsEmptyMemStream(TVStream& Stream) {
  auto* Mem = dynamic_cast<TVMemStream*>(&Stream);
  return Mem != nullptr && Mem->GetSize() == 0 ? Mem : nullptr;
}

// Writes the text of Work to Dest, unless Work is Dest.
void MoveText(TVMemStream& Work, TVStream& Dest) {
  if (&Work == &Dest) return;
  Dest.Write(Work.GetMemory(), Work.GetSize());
}

int32_t CountZeros(TVMemStream& Text) {
  return qvnls::CountEqualToValue8(Text.GetMemory(), 0, Text.GetSize());
}

}  // namespace

uint8_t HTMLToTextPass(TVStream& Source, TVStream* Dest, IHTMLLinks* Links, uint8_t ReplacementChar,
                       bool DetectOnly, bool MetaCharset, uint8_t TargetCharset, uint8_t SourceCharset,
                       IConvProgress* Progress) {
  if (Links != nullptr) Links->Clear();
  const int32_t Start = Source.GetPosition();
  if (Source.GetSize() - Start <= 0) {
    // An empty page is an empty text, told apart from a cancel by a charset answer.
    if (DetectOnly) return kWestern;
    return SourceCharset != 0 ? SourceCharset : qvnls::GetAnsiCharset();
  }
  BuildHTMLDictionaries();

  TFilterRestore RestoreFilter(Source);
  TBigEndianFilter BigEndian(Source.Filter);
  if ((MetaCharset || SourceCharset == kUtf8 || SourceCharset == kUtf16) && Source.GetSize() - Start >= 2) {
    bool Swap = false;
    if (SourceCharset == 0) {
      uint32_t Details = 0;
      const uint8_t Found = DetectStreamCharset(Source, kDetectUnicode, Details, kDetectSampleBytes);
      if (Found == kUtf8 || Found == kUtf16) {
        if (DetectOnly) return Found;
        SourceCharset = Found;
        MetaCharset = false;
        Swap = Found == kUtf16 && (Details & qvnls::kDetectBigEndian) != 0;
      }
    } else if (SourceCharset == kUtf16) {
      // The byte order travels with the page, not with the charset code: ask the page.
      Swap = IsBigEndianUtf16(Source);
    }
    if (Swap) Source.Filter = &BigEndian;
    SkipByteOrderMark(Source, SourceCharset);
  }
  // A restart goes back behind the byte-order mark, never onto it.
  const int32_t TextStart = Source.GetPosition();

  THTMLPassState S;
  S.Source = std::make_unique<TVCharStreamOnStream>(&Source, false);
  S.ReplacementChar = ReplacementChar;
  S.DetectOnly = DetectOnly;
  S.MetaCharset = MetaCharset;
  S.TargetCharset = TargetCharset;
  S.SourceCharset = SourceCharset;
  S.Links = Links;
  S.Progress = Progress;
  S.Dest = Dest;
  S.WideSource = SourceCharset == kUtf16;
  S.UnicodeOutput = TargetCharset == kUtf16;
  S.LineBreak = S.UnicodeOutput ? std::string("\r\0\n\0", 4) : std::string("\r\n");

  if (DetectOnly || Dest == nullptr) {
    ResetPassState(S);
    const uint8_t Answer = ScanForCharset(S);
    Source.Seek(Start);
    return Answer;
  }

  const int32_t DestStart = Dest->GetPosition();
  for (;;) {
    ResetPassState(S);
    TTokenCounter Counter = 0;
    bool Restart = false;
    for (;;) {
      if (Counter++ == 0 && Progress != nullptr && !Progress->Check()) return 0;
      if (!NextHTMLToken(S)) break;
      if (S.TokenKind == kTokenText) {
        HandleHTMLText(S);
      } else if (S.TagCode == kTagMetaCharset && S.MetaCharset) {
        Restart = true;
        break;
      } else {
        HandleHTMLTag(S);
      }
    }
    if (!Restart) break;
    // The META tag named the charset: convert the page again from its start in that charset.
    S.MetaCharset = false;
    if (S.SourceCharset == kUtf16) S.SourceCharset = kUtf8;
    SeekHTMLSource(S, TextStart);
    Dest->SetSize(DestStart);
    Dest->Seek(DestStart);
    if (Links != nullptr) Links->Clear();
  }
  FlushHTMLLine(S);
  // The text ends with one line break; a page without any text stays empty.
  if (S.AnythingWritten) Dest->WriteText(S.LineBreak);
  return S.SourceCharset != 0 ? S.SourceCharset : qvnls::GetAnsiCharset();
}

uint8_t RunHTMLPass(TVStream& Source, TVStream& Dest, IHTMLLinks* Links, uint8_t ReplacementChar,
                    bool MetaCharset, uint8_t TargetCharset, uint8_t SourceCharset, IConvProgress* Progress) {
  return HTMLToTextPass(Source, &Dest, Links, ReplacementChar, false, MetaCharset, TargetCharset,
                        SourceCharset, Progress);
}

uint8_t DetectHTMLCharset(TVStream& Source, IConvProgress* Progress) {
  const uint8_t Charset = HTMLToTextPass(Source, nullptr, nullptr, '?', true, true, 0, 0, Progress);
  // ISO-8859-1 pages are read as windows-1252, its superset.
  return Charset == qvnls::kCharsetIso8859_1 ? kWestern : Charset;
}

uint8_t ConvertHTMLCharset(TVStream& Source, TVStream& Dest, IHTMLLinks* Links, bool Unicode, bool Cyrillic,
                           uint8_t Charset, IConvProgress* Progress) {
  const int32_t P = Source.GetPosition();
  TVMemStream* Work = AsEmptyMemStream(Dest);
  std::unique_ptr<TVMemStream> OwnWork;
  if (Work == nullptr) {
    OwnWork = std::make_unique<TVMemStream>();
    Work = OwnWork.get();
  }

  bool Declared = true;
  if (Charset == 0) {
    Charset = GetStreamCharset(Source,
                               Cyrillic ? kDetectFlagUtf8 | kDetectFlagEightBit | kDetectFlagCyrillic
                                        : kDetectFlagUtf8 | kDetectFlagEightBit,
                               0);
    Declared = false;
  }

  if (Declared && Cyrillic && (Charset == qvnls::kCharsetKoi8R || Charset == kCyrillic)) {
    // A Russian page is not taken at its word: its bytes are weighed among the Russian code pages.
    if (RunHTMLPass(Source, *Work, Links, '?', false, kCyrillic, kCyrillic, Progress) == 0) return 0;
    Source.Seek(P);
    Charset = kWestern;
    if (qvnls::TextIsPossiblyRussian(Work->GetMemory(), Work->GetSize())) {
      Charset = qvnls::DetermineRussianCharsetEx(Work->GetMemory(), Work->GetSize(), kRussianCandidates);
      // KOI8-U holds every letter of KOI8-R.
      if (Charset == qvnls::kCharsetKoi8R) Charset = qvnls::kCharsetKoi8U;
      if (!Unicode) {
        if (Charset != kCyrillic)
          qvnls::ConvertBufDef(Work->GetMemory(), Work->GetSize(), Charset, kCyrillic);
        MoveText(*Work, Dest);
        return kCyrillic;
      }
    }
    Work->SetSize(0);
    Work->Seek(0);
  }

  if (Unicode) {
    Source.Seek(P);
    return RunHTMLPass(Source, Dest, Links, '?', Charset == kUtf16, kUtf16, Charset, Progress) == 0 ? 0
                                                                                                    : kUtf16;
  }

  uint8_t Target = Charset;
  if (Charset >= kUtf8) {
    Target = Cyrillic ? kCyrillic : kWestern;
  } else if (Charset == qvnls::kCharsetIso8859_5 || Charset == qvnls::kCharsetKoi8R ||
             Charset == qvnls::kCharsetKoi8U || Charset == kCyrillic || Charset == qvnls::kCharsetDos866) {
    Target = kCyrillic;
  }
  // Characters the target cannot hold become zero bytes, so the two code pages can be compared by them.
  Source.Seek(P);
  if (RunHTMLPass(Source, *Work, Links, 0, Charset == kUtf16, Target, Charset, Progress) == 0) return 0;
  const int32_t Lost = CountZeros(*Work);
  if (Lost == 0) {
    MoveText(*Work, Dest);
    return Target;
  }

  const uint8_t Other = Target != kCyrillic ? kCyrillic : kWestern;
  TVMemStream Second;
  std::unique_ptr<IHTMLLinks> SecondLinks = Links != nullptr ? Links->NewLinks() : nullptr;
  Source.Seek(P);
  if (RunHTMLPass(Source, Second, SecondLinks.get(), 0, Charset == kUtf16, Other, Charset, Progress) == 0)
    return 0;

  TVMemStream* Kept = Work;
  uint8_t Answer = Target;
  if (CountZeros(Second) < Lost) {
    Kept = &Second;
    Answer = Other;
    if (Links != nullptr && SecondLinks != nullptr) Links->Assign(*SecondLinks);
  }
  ReplaceByte(Kept->GetMemory(), 0, '?', Kept->GetSize());
  if (Kept == &Second && Work == &Dest) {
    Dest.SetSize(0);
    Dest.Seek(0);
  }
  MoveText(*Kept, Dest);
  return Answer;
}

uint8_t ConvertHTML(TVStream& Source, TVStream& Dest, IHTMLLinks* Links, bool Unicode, bool Cyrillic,
                    IConvProgress* Progress) {
  const uint8_t Charset = DetectHTMLCharset(Source, nullptr);
  return ConvertHTMLCharset(Source, Dest, Links, Unicode, Cyrillic, Charset, Progress);
}
