#include "search/NLSProcsDyn.h"

#include "platform/qvnls/Qvnls.h"
#include "platform/qvnls/WinNls.h"

TWideCompareTextFunc WideCompareTextFunc = lstrcmpiW;
TWideCompareStringFunc WideCompareStringFunc = CompareStringW;

void InitWideCompareFuncs() {
  WideCompareTextFunc = lstrcmpiW;
  WideCompareStringFunc = CompareStringW;
}

void InitWideCompareText() { WideCompareTextFunc = lstrcmpiW; }

int32_t CharsetMaxBytesPerChar(uint8_t Charset) {
  switch (Charset) {
    case qvnls::kCharsetUtf8:
      return 3;  // a surrogate pair takes 4 bytes for 2 units, every other unit at most 3
    case qvnls::kCharsetUtf7:
      return 5;  // a shifted run: "+" and base64 of each unit, "-" to close
    case qvnls::kCharsetUtf16LE:
    case qvnls::kCharsetShiftJis:
    case qvnls::kCharsetGbk:
    case qvnls::kCharsetEucKr:
    case qvnls::kCharsetBig5:
      return 2;
    default:
      return 1;
  }
}

std::string GetHTMLCharsetName(uint8_t Charset) {
  char Buffer[256];  // the layer's names are short; 256 is the buffer size its callers have always used
  if (!qvnls::GetHTMLCharsetNameBuf(Charset, Buffer, sizeof Buffer)) return {};
  return Buffer;
}

uint8_t GetHTMLCharset(const std::string& Name) { return qvnls::GetHTMLCharsetP(Name.c_str()); }

std::u16string CharsetToWide(const std::string& S, uint8_t Charset) {
  if (S.empty()) return {};
  // One source byte never gives more than one UTF-16 unit.
  std::u16string W(S.size(), u'\0');
  const int32_t Bytes = static_cast<int32_t>(S.size());
  const int32_t Written = qvnls::BufToWide(S.data(), Bytes, W.data(), 2 * Bytes, Charset);
  if (Written < 0) return {};
  W.resize(static_cast<size_t>(Written) / 2);
  return W;
}

std::string WideToCharset(const std::u16string& W, uint8_t Charset) {
  if (W.empty()) return {};
  const int32_t Chars = static_cast<int32_t>(W.size());
  const int32_t Room = Chars * CharsetMaxBytesPerChar(Charset);
  std::string S(static_cast<size_t>(Room), '\0');
  const int32_t Written = qvnls::WideToBuf(W.data(), 2 * Chars, S.data(), Room, Charset);
  S.resize(Written < 0 ? 0 : static_cast<size_t>(Written));
  return S;
}

std::u16string WideUpperStr(const std::u16string& W) {
  std::u16string Upper(W);
  qvnls::WideUpperBuf(Upper.data(), static_cast<int32_t>(Upper.size()));
  return Upper;
}

std::string CharsetUpperCase(const std::string& S, uint8_t Charset) {
  return WideToCharset(WideUpperStr(CharsetToWide(S, Charset)), Charset);
}

std::string ConvertCharsetStr(const std::string& S, uint8_t FromCharset, uint8_t ToCharset) {
  if (FromCharset == ToCharset || S.empty()) return S;
  const int32_t Bytes = static_cast<int32_t>(S.size());
  // Each source byte gives at most one UTF-16 unit, and each unit at most the target's widest form.
  const int32_t Room = Bytes * CharsetMaxBytesPerChar(ToCharset);
  std::string Result(static_cast<size_t>(Room), '\0');
  const int32_t Written =
      qvnls::ConvertBufsDef(S.data(), Bytes, Result.data(), Room, FromCharset, ToCharset, 0);
  if (Written < 0) return {};
  Result.resize(static_cast<size_t>(Written));
  return Result;
}

std::u16string AdjustLineBreaksWide(const std::u16string& W) {
  if (W.empty()) return {};
  const int32_t Chars = static_cast<int32_t>(W.size());
  // A lone CR or LF becomes two units: at most twice the length.
  std::u16string Result(2 * W.size(), u'\0');
  const int32_t Written = qvnls::AdjustLineBreaksBufWide(W.data(), 2 * Chars, Result.data(), 4 * Chars);
  Result.resize(Written < 0 ? 0 : static_cast<size_t>(Written) / 2);
  return Result;
}
