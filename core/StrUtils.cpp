#include "core/StrUtils.h"

#include <unicode/uchar.h>

#include <algorithm>

#include "core/FileLayer.h"
#include "platform/qvnls/Qvnls.h"
#include "platform/qvnls/WinNls.h"

namespace {

constexpr char kCR = '\r';
constexpr char kLF = '\n';

bool IsBlankOrControl(char Ch) { return static_cast<uint8_t>(Ch) <= 32; }

std::string TrimBlanks(const std::string& S) {
  size_t B = 0;
  size_t E = S.size();
  while (B < E && IsBlankOrControl(S[B])) ++B;
  while (E > B && IsBlankOrControl(S[E - 1])) --E;
  return S.substr(B, E - B);
}

template <typename TString>
int32_t CountOf(typename TString::value_type Ch, const TString& S) {
  return static_cast<int32_t>(std::count(S.begin(), S.end(), Ch));
}

template <typename TString>
int32_t PosFrom(typename TString::value_type Ch, const TString& S, int32_t From) {
  if (From < 1) From = 1;
  if (static_cast<size_t>(From) > S.size()) return 0;
  size_t P = S.find(Ch, static_cast<size_t>(From) - 1);
  return P == TString::npos ? 0 : static_cast<int32_t>(P) + 1;
}

template <typename TString>
int32_t LastPos(typename TString::value_type Ch, const TString& S) {
  size_t P = S.rfind(Ch);
  return P == TString::npos ? 0 : static_cast<int32_t>(P) + 1;
}

template <typename TString>
TString WithPeriod(const TString& S) {
  if (S.empty()) return S;
  const auto Last = S.back();
  if (Last == '.' || Last == '!' || Last == '?') return S;
  return S + static_cast<typename TString::value_type>('.');
}

template <typename TString>
TString Quoted(const TString& S, typename TString::value_type Quote) {
  TString R(1, Quote);
  for (auto Ch : S) {
    R += Ch;
    if (Ch == Quote) R += Ch;
  }
  R += Quote;
  return R;
}

template <typename TString>
TString Unquoted(const TString& S) {
  if (S.size() < 2) return S;
  const auto Quote = S.front();
  if ((Quote != '\'' && Quote != '"') || S.back() != Quote) return S;
  TString R;
  const size_t End = S.size() - 1;  // the closing quote
  for (size_t I = 1; I < End; ++I) {
    R += S[I];
    if (S[I] == Quote && I + 1 < End && S[I + 1] == Quote) ++I;  // a doubled quote
  }
  return R;
}

int HexValue(char Ch) {
  if (Ch >= '0' && Ch <= '9') return Ch - '0';
  if (Ch >= 'a' && Ch <= 'f') return Ch - 'a' + 10;
  if (Ch >= 'A' && Ch <= 'F') return Ch - 'A' + 10;
  return -1;
}

// The 8-bit form of a separator character: UTF-8, like every 8-bit text that is shown.
std::string SeparatorText(char16_t Ch) { return Utf16ToUtf8(std::u16string(1, Ch)); }

}  // namespace

TCharSet CharSetOf(std::string_view Chars) {
  TCharSet Set;
  for (char Ch : Chars) Set.set(static_cast<uint8_t>(Ch));
  return Set;
}

int32_t CountChar(char Ch, const std::string& S) { return CountOf(Ch, S); }
int32_t WideCountChar(char16_t Ch, const std::u16string& S) { return CountOf(Ch, S); }
int32_t CharPos(char Ch, const std::string& S, int32_t From) { return PosFrom(Ch, S, From); }
int32_t WideCharPos(char16_t Ch, const std::u16string& S, int32_t From) { return PosFrom(Ch, S, From); }
int32_t LastCharPos(char Ch, const std::string& S) { return LastPos(Ch, S); }
int32_t WideLastCharPos(char16_t Ch, const std::u16string& S) { return LastPos(Ch, S); }

int32_t WideCharSetPos(const TCharSet& CharSet, const std::u16string& S, int32_t From) {
  if (From < 1) From = 1;
  for (size_t I = static_cast<size_t>(From) - 1; I < S.size(); ++I)
    if (WideCharInSet(S[I], CharSet)) return static_cast<int32_t>(I) + 1;
  return 0;
}

int32_t TextPos(const std::string& SubStr, const std::string& S) {
  if (SubStr.empty() || SubStr.size() > S.size()) return 0;
  std::string Sub = SubStr;
  std::string Text = S;
  CharUpperBuffA(Sub.data(), static_cast<uint32_t>(Sub.size()));
  CharUpperBuffA(Text.data(), static_cast<uint32_t>(Text.size()));
  size_t P = Text.find(Sub);
  return P == std::string::npos ? 0 : static_cast<int32_t>(P) + 1;
}

bool WideCharInSet(char16_t Ch, const TCharSet& CharSet) { return Ch < 256 && CharSet.test(Ch); }

bool ContainsCharIn(const std::string& S, const TCharSet& CharSet) {
  return std::any_of(S.begin(), S.end(), [&](char Ch) { return CharSet.test(static_cast<uint8_t>(Ch)); });
}

bool WideContainsCharIn(const std::u16string& S, const TCharSet& CharSet) {
  return std::any_of(S.begin(), S.end(), [&](char16_t Ch) { return WideCharInSet(Ch, CharSet); });
}

bool WideIsAscii(const std::u16string& S) {
  return std::all_of(S.begin(), S.end(), [](char16_t Ch) { return Ch <= 127; });
}

bool StartsWith(const std::string& S, const std::string& Prefix) { return S.starts_with(Prefix); }
bool EndsWith(const std::string& S, const std::string& Suffix) { return S.ends_with(Suffix); }
bool WideEndsWith(const std::u16string& S, const std::u16string& Suffix) { return S.ends_with(Suffix); }
char LastChar(const std::string& S) { return S.empty() ? '\0' : S.back(); }
char16_t WideLastChar(const std::u16string& S) { return S.empty() ? u'\0' : S.back(); }

std::string UpperFirstChar(const std::string& S) {
  std::string R = S;
  if (!R.empty()) CharUpperBuffA(R.data(), 1);
  return R;
}

std::string LowerFirstChar(const std::string& S) {
  std::string R = S;
  if (R.empty()) return R;
  // Through UTF-16: the lower case of the character, when the code page holds it.
  const uint8_t Charset = qvnls::GetAnsiCharset();
  const char16_t Wide = qvnls::CharToWideChar(static_cast<uint8_t>(R[0]), Charset);
  if (Wide == 0) return R;
  const UChar32 Lower = u_tolower(Wide);
  if (Lower == Wide || Lower > 0xFFFF) return R;
  const uint8_t Back = qvnls::WideCharToChar(static_cast<char16_t>(Lower), Charset);
  if (Back != 0) R[0] = static_cast<char>(Back);
  return R;
}

std::string AddCharIfMissing(const std::string& S, char Ch) {
  return S.empty() || S.back() == Ch ? S : S + Ch;
}

std::string AddPeriod(const std::string& S) { return WithPeriod(S); }
std::u16string WideAddPeriod(const std::u16string& S) { return WithPeriod(S); }

std::u16string WideTrim(const std::u16string& S) {
  size_t B = 0;
  size_t E = S.size();
  while (B < E && S[B] <= 32) ++B;
  while (E > B && S[E - 1] <= 32) --E;
  return S.substr(B, E - B);
}

std::string StrOfChar(char Ch, int32_t Count) {
  return Count <= 0 ? std::string() : std::string(static_cast<size_t>(Count), Ch);
}

std::string PadLeft(char Ch, const std::string& S, int32_t Width) {
  if (Width <= 0 || S.size() >= static_cast<size_t>(Width)) return S;
  return std::string(static_cast<size_t>(Width) - S.size(), Ch) + S;
}

std::string ReplaceAll(const std::string& S, const std::string& OldPattern, const std::string& NewPattern) {
  if (OldPattern.empty()) return S;
  std::string R;
  size_t From = 0;
  for (size_t P; (P = S.find(OldPattern, From)) != std::string::npos; From = P + OldPattern.size()) {
    R.append(S, From, P - From);
    R += NewPattern;
  }
  R.append(S, From);
  return R;
}

std::string ReplaceChar(const std::string& S, char OldCh, char NewCh) {
  std::string R = S;
  ReplaceCharInPlace(R, OldCh, NewCh);
  return R;
}

void ReplaceCharInPlace(std::string& S, char OldCh, char NewCh) {
  std::replace(S.begin(), S.end(), OldCh, NewCh);
}

std::string AnsiStrToOem(const std::string& S) {
  std::string R(S.size(), '\0');
  if (!S.empty()) CharToOemBuffA(S.data(), R.data(), static_cast<uint32_t>(S.size()));
  return R;
}

std::string OemStrToAnsi(const std::string& S) {
  std::string R(S.size(), '\0');
  if (!S.empty()) OemToCharBuffA(S.data(), R.data(), static_cast<uint32_t>(S.size()));
  return R;
}

std::string StripComment(const std::string& S, char CommentChar) {
  char Quote = 0;  // the quote character of the open quoted part, 0 outside quotes
  for (size_t I = 0; I < S.size(); ++I) {
    const char Ch = S[I];
    if (Quote == 0 && Ch == CommentChar) return TrimBlanks(S.substr(0, I));
    if (Ch == '"' || Ch == '\'') {
      if (Quote == 0)
        Quote = Ch;
      else if (Quote == Ch)
        Quote = 0;
    }
  }
  return TrimBlanks(S);
}

std::string DecodeEscapes(const std::string& S) {
  if (S.find('\\') == std::string::npos) return S;
  std::string R;
  R.reserve(S.size());
  size_t I = 0;
  while (I < S.size()) {
    const char Ch = S[I];
    if (Ch != '\\' || I + 1 >= S.size()) {  // ordinary text, or a backslash at the very end
      R += Ch;
      ++I;
      continue;
    }
    const char E = S[I + 1];
    I += 2;
    switch (E) {
      case '"':
      case '\'':
      case '?':
      case '\\':
        R += E;
        break;
      case 'a':
        R += '\a';
        break;
      case 'b':
        R += '\b';
        break;
      case 'f':
        R += '\f';
        break;
      case 'r':
        R += kCR;
        break;
      case 't':
        R += '\t';
        break;
      case 'v':
        R += '\v';
        break;
      case 'n':
        R += kCR;
        R += kLF;
        break;
      case 'x': {
        int Value = 0;
        size_t J = I;
        while (J < S.size() && HexValue(S[J]) >= 0 && Value * 16 + HexValue(S[J]) < 256)
          Value = Value * 16 + HexValue(S[J++]);
        if (J == I) {  // no hexadecimal digit: both characters stay
          R += '\\';
          R += 'x';
        } else {
          R += static_cast<char>(Value);
          I = J;
        }
        break;
      }
      default:
        if (E >= '0' && E <= '7') {
          int Value = E - '0';
          while (I < S.size() && S[I] >= '0' && S[I] <= '7' && Value * 8 + (S[I] - '0') < 256)
            Value = Value * 8 + (S[I++] - '0');
          R += static_cast<char>(Value);
        } else {  // an unknown escape: the backslash and the character both stay
          R += '\\';
          R += E;
        }
    }
  }
  return R;
}

std::string QuoteStr(const std::string& S, char Quote) { return Quoted(S, Quote); }
std::u16string WideQuoteStr(const std::u16string& S, char16_t Quote) { return Quoted(S, Quote); }
std::string SingleQuoteStr(const std::string& S) { return Quoted(S, '\''); }
std::string DoubleQuoteStr(const std::string& S) { return Quoted(S, '"'); }
std::u16string WideSingleQuoteStr(const std::u16string& S) { return Quoted(S, u'\''); }
std::u16string WideDoubleQuoteStr(const std::u16string& S) { return Quoted(S, u'"'); }

bool IsPlainToken(const std::string& S) {
  return !S.empty() && std::all_of(S.begin(), S.end(), [](char C) {
    const auto Ch = static_cast<uint8_t>(C);
    return Ch == '!' || (Ch >= '#' && Ch <= '&') || (Ch >= '(' && Ch <= '~');
  });
}

bool WideIsPlainToken(const std::u16string& S) {
  return !S.empty() &&
         std::all_of(S.begin(), S.end(), [](char16_t Ch) { return Ch > 32 && Ch != u'"' && Ch != u'\''; });
}

std::string SingleQuoteIfNeeded(const std::string& S) { return IsPlainToken(S) ? S : SingleQuoteStr(S); }
std::string DoubleQuoteIfNeeded(const std::string& S) { return IsPlainToken(S) ? S : DoubleQuoteStr(S); }
std::u16string WideSingleQuoteIfNeeded(const std::u16string& S) {
  return WideIsPlainToken(S) ? S : WideSingleQuoteStr(S);
}
std::u16string WideDoubleQuoteIfNeeded(const std::u16string& S) {
  return WideIsPlainToken(S) ? S : WideDoubleQuoteStr(S);
}

std::string UnquoteStr(const std::string& S) { return Unquoted(S); }
std::u16string WideUnquoteStr(const std::u16string& S) { return Unquoted(S); }

int32_t WideStrComp(const char16_t* P1, const char16_t* P2) {
  if (P1 == P2) return 0;
  if (!P1) P1 = u"";
  if (!P2) P2 = u"";
  while (*P1 && *P1 == *P2) {
    ++P1;
    ++P2;
  }
  return static_cast<int32_t>(*P1) - static_cast<int32_t>(*P2);
}

int32_t WideCompareOrdinal(const std::u16string& S1, const std::u16string& S2) {
  return WideStrComp(S1.c_str(), S2.c_str());
}

std::string IntToStrGrouped(int64_t Value) {
  const uint64_t Magnitude = Value < 0 ? 0 - static_cast<uint64_t>(Value) : static_cast<uint64_t>(Value);
  const std::string Digits = std::to_string(Magnitude);
  const std::string Separator = SeparatorText(GetFormatSettings().ThousandSeparator);
  std::string R = Value < 0 ? "-" : "";
  for (size_t I = 0; I < Digits.size(); ++I) {
    if (I > 0 && (Digits.size() - I) % 3 == 0) R += Separator;
    R += Digits[I];
  }
  return R;
}

std::string IntToRoman(int32_t N) {
  if (N < 1 || N > 5000) return {};
  static const char* const kThousands[] = {"", "M", "MM", "MMM", "MMMM", "MMMMM"};
  static const char* const kHundreds[] = {"", "C", "CC", "CCC", "CD", "D", "DC", "DCC", "DCCC", "CM"};
  static const char* const kTens[] = {"", "X", "XX", "XXX", "XL", "L", "LX", "LXX", "LXXX", "XC"};
  static const char* const kUnits[] = {"", "I", "II", "III", "IV", "V", "VI", "VII", "VIII", "IX"};
  return std::string(kThousands[N / 1000]) + kHundreds[N / 100 % 10] + kTens[N / 10 % 10] + kUnits[N % 10];
}

std::string FormatIfPercent(const std::string& Msg, const TFormatArgs& Args) {
  return Msg.find('%') == std::string::npos ? Msg : Format(Msg, Args);
}
