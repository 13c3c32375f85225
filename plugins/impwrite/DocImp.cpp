#include "plugins/impwrite/DocImp.h"

#include <vector>

#include "core/VStream.h"
#include "platform/qvnls/Qvnls.h"
#include "plugins/impwrite/MSWord2Txt.h"
#include "search/TextAuto.h"

namespace {

// How the other form is made: 8-bit text is detected among the 8-bit pages with the Cyrillic guess
// limited to its first family, and UTF-16 goes to the 8-bit page that the Cyrillic guess picks.
constexpr uint8_t kConvertFlags = kDetectFlagEightBit | kDetectFlagCyrillic | kDetectFlagNarrow;
// How many bytes the charset of the stretches whose fonts name none is detected from.
constexpr int32_t kDetectBytes = 4096;

// The charset of each stretch of Word 6/95 text: its font's, else the document's Charset; where that is 0
// too, the one detected in the stretches that name none (the system's Windows page, or a Cyrillic one).
std::vector<uint8_t> RunCharsets(TVMemStream& Text, const std::vector<TWordCharsetRun>& Runs,
                                 uint8_t Charset) {
  const auto* Bytes = static_cast<const uint8_t*>(Text.GetMemory());
  if (Charset == qvnls::kCharsetNone) {
    TVMemStream Unnamed;
    for (std::size_t I = 0; I < Runs.size(); ++I) {
      const int32_t End = I + 1 < Runs.size() ? Runs[I + 1].Start : Text.GetSize();
      if (Runs[I].Charset == qvnls::kCharsetNone) Unnamed.Write(Bytes + Runs[I].Start, End - Runs[I].Start);
    }
    Unnamed.Seek(0);
    if (Unnamed.GetSize() > 0) Charset = GetStreamCharset(Unnamed, kConvertFlags, kDetectBytes);
    if (!qvnls::IsSingleByteCharset(Charset)) Charset = qvnls::GetAnsiCharset();
  }
  std::vector<uint8_t> Charsets;
  for (const TWordCharsetRun& Run : Runs) Charsets.push_back(Run.Charset != 0 ? Run.Charset : Charset);
  return Charsets;
}

// Text as UTF-16, each stretch of Runs from its charset in Charsets.
void WidenRuns(TVMemStream& Text, const std::vector<TWordCharsetRun>& Runs,
               const std::vector<uint8_t>& Charsets, TVMemStream& Dest) {
  const auto* Bytes = static_cast<const uint8_t*>(Text.GetMemory());
  std::vector<char16_t> Wide;
  for (std::size_t I = 0; I < Runs.size(); ++I) {
    const int32_t End = I + 1 < Runs.size() ? Runs[I + 1].Start : Text.GetSize();
    const int32_t Count = End - Runs[I].Start;
    if (Count <= 0) continue;
    Wide.resize(static_cast<std::size_t>(Count));
    const int32_t Got = qvnls::BufToWide(Bytes + Runs[I].Start, Count, Wide.data(), Count * 2, Charsets[I]);
    if (Got > 0) Dest.Write(Wide.data(), Got);
  }
}

}  // namespace

bool ConvertWordFile(const std::string& FileName, bool Unicode, IConvProgress* Progress, std::string& Text) {
  TVMemStream Output;
  bool IsUnicode = false;
  uint8_t Charset = qvnls::kCharsetNone;
  std::vector<TWordCharsetRun> Runs;
  if (!ReadWordDocument(FileName, Output, IsUnicode, Charset, Runs, Progress)) return false;
  TVMemStream Widened;
  TVMemStream* Read = &Output;
  bool FontsNameCharsets = false;
  for (const TWordCharsetRun& Run : Runs) FontsNameCharsets = FontsNameCharsets || Run.Charset != 0;
  if (!IsUnicode && FontsNameCharsets) {
    // Word 6/95 text whose fonts name charsets: in one charset it is converted as a whole like any 8-bit
    // text; in several, each stretch is taken to UTF-16 from its own.
    const std::vector<uint8_t> Charsets = RunCharsets(Output, Runs, Charset);
    bool Mixed = false;
    for (uint8_t C : Charsets) Mixed = Mixed || C != Charsets.front();
    if (!Mixed) {
      Charset = Charsets.front();
    } else {
      WidenRuns(Output, Runs, Charsets, Widened);
      Read = &Widened;
      IsUnicode = true;
      Charset = qvnls::kCharsetUtf16LE;
    }
  }
  // 8-bit text needs converting to UTF-16, and to 8-bit form too when it is in a page other than the
  // system's; text already in the form asked for stays as it was read.
  const bool Convert = Unicode != IsUnicode ||
                       (!Unicode && Charset != qvnls::kCharsetNone && Charset != qvnls::GetAnsiCharset());
  TVMemStream Converted;
  TVMemStream* Result = Read;
  if (Convert) {
    Read->Seek(0);
    if (Read == &Widened && !Unicode) {
      // Text of several scripts in 8-bit form: the system's page, which the text is searched in, with "?"
      // for the letters it lacks.
      ConvertTextLines(*Read, Converted, qvnls::kCharsetUtf16LE, '?', false, qvnls::GetAnsiCharset());
    } else {
      ConvertTextCharset(*Read, Converted, Charset, Unicode, kConvertFlags);
    }
    Result = &Converted;
  }
  Text.assign(reinterpret_cast<const char*>(Result->GetMemory()),
              static_cast<std::size_t>(Result->GetSize()));
  return true;
}
