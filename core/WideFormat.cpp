#include "core/WideFormat.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "core/FileLayer.h"

namespace {

// The directive quoted in an error message is cut to this many bytes.
constexpr size_t kMaxQuotedDirective = 31;
// Significant digits of the floating types: fixed notation shows at most this many, the rest are zeros.
constexpr int32_t kMaxFloatDigits = 18;
// Significant digits of e and g when the directive gives none (or more than kMaxFloatDigits).
constexpr int32_t kDefaultFloatDigits = 15;
// Decimals of f and n when the directive gives none.
constexpr int32_t kDefaultFixedDecimals = 2;
// Precision of d, u and x above this is ignored.
constexpr int32_t kMaxIntPrecision = 16;
// %p shows at least this many hexadecimal digits.
constexpr int32_t kPointerDigits = 8;

TFormatSettings& Settings() {
  static TFormatSettings S;
  return S;
}

// The length of S cut to at most N code units without splitting a character.
size_t CutLength(const std::u16string& S, size_t N) {
  if (N >= S.size()) return S.size();
  if (N > 0 && S[N - 1] >= 0xD800 && S[N - 1] <= 0xDBFF) --N;
  return N;
}

size_t CutLength(const std::string& S, size_t N) {
  if (N >= S.size()) return S.size();
  while (N > 0 && (static_cast<uint8_t>(S[N]) & 0xC0) == 0x80) --N;
  return N;
}

// ---- Numbers ----------------------------------------------------------------------------------------

std::u16string Widen(std::string_view Ascii) { return std::u16string(Ascii.begin(), Ascii.end()); }

std::string UnsignedText(uint64_t V, int Base) {
  char Buf[24];
  auto R = std::to_chars(Buf, Buf + sizeof(Buf), V, Base);
  std::string S(Buf, R.ptr);
  if (Base == 16)
    for (char& C : S) C = static_cast<char>(C >= 'a' && C <= 'f' ? C - 32 : C);
  return S;
}

// Digits with at least Precision of them (0..kMaxIntPrecision; otherwise ignored), after a "-".
std::u16string IntegerText(bool Negative, uint64_t Magnitude, int Base, int32_t Precision) {
  std::string Digits = UnsignedText(Magnitude, Base);
  if (Precision >= 0 && Precision <= kMaxIntPrecision && Digits.size() < static_cast<size_t>(Precision))
    Digits.insert(0, static_cast<size_t>(Precision) - Digits.size(), '0');
  return Widen((Negative ? "-" : "") + Digits);
}

// A value rounded to a number of significant digits: Digits[0] "." Digits[1..] x 10^Exponent. Zero has the
// digits "0..." and exponent 0.
struct TDecimal {
  bool Negative = false;
  std::string Digits;
  int32_t Exponent = 0;
};

TDecimal ToDecimal(long double V, int32_t Significant) {
  TDecimal D;
  D.Negative = std::signbit(V);
  char Buf[64];
  auto R =
      std::to_chars(Buf, Buf + sizeof(Buf), std::fabs(V), std::chars_format::scientific, Significant - 1);
  std::string_view T(Buf, static_cast<size_t>(R.ptr - Buf));
  size_t E = T.find('e');
  for (char C : T.substr(0, E))
    if (C != '.') D.Digits += C;
  std::from_chars(T.data() + E + (T[E + 1] == '+' ? 2 : 1), T.data() + T.size(), D.Exponent);
  return D;
}

bool AllZero(const std::string& Digits) { return Digits.find_first_not_of('0') == std::string::npos; }

// The fixed-notation digits of V with Decimals decimals: integer part and fraction, no sign, no point;
// at most kMaxFloatDigits significant digits, the rest zeros.
void FixedDigits(long double V, int32_t Decimals, std::string& IntPart, std::string& Fraction,
                 bool& Negative) {
  Negative = std::signbit(V);
  V = std::fabs(V);
  TDecimal D = ToDecimal(V, kMaxFloatDigits);
  const int64_t Needed = static_cast<int64_t>(D.Exponent) + 1 + Decimals;
  if (Needed <= kMaxFloatDigits) {
    // Exact rounding of the binary value at the last decimal.
    char Buf[128];
    auto R = std::to_chars(Buf, Buf + sizeof(Buf), V, std::chars_format::fixed, Decimals);
    std::string_view T(Buf, static_cast<size_t>(R.ptr - Buf));
    size_t P = T.find('.');
    IntPart = std::string(T.substr(0, P));
    Fraction = P == std::string_view::npos ? std::string() : std::string(T.substr(P + 1));
  } else {
    // More digits than the type holds: the significant digits, then zeros. The digit worth 10^P is
    // Digits[Exponent - P].
    auto DigitAt = [&D](int64_t P) {
      const int64_t Index = D.Exponent - P;
      return Index >= 0 && Index < static_cast<int64_t>(D.Digits.size()) ? D.Digits[Index] : '0';
    };
    IntPart.clear();
    Fraction.clear();
    for (int64_t P = std::max<int64_t>(D.Exponent, 0); P >= 0; --P) IntPart += DigitAt(P);
    for (int64_t P = -1; P >= -static_cast<int64_t>(Decimals); --P) Fraction += DigitAt(P);
  }
  if (AllZero(IntPart) && AllZero(Fraction)) Negative = false;
}

std::u16string Group(const std::string& IntPart, char16_t Separator) {
  std::u16string Out;
  for (size_t I = 0; I < IntPart.size(); ++I) {
    if (I > 0 && (IntPart.size() - I) % 3 == 0) Out += Separator;
    Out += static_cast<char16_t>(IntPart[I]);
  }
  return Out;
}

// Fixed notation without the sign: grouped or not, with the decimal separator.
std::u16string FixedText(const std::string& IntPart, const std::string& Fraction, bool Grouped) {
  const TFormatSettings& S = Settings();
  std::u16string Out = Grouped ? Group(IntPart, S.ThousandSeparator) : Widen(IntPart);
  if (!Fraction.empty()) Out += S.DecimalSeparator + Widen(Fraction);
  return Out;
}

std::u16string SpecialText(long double V) {
  if (std::isnan(V)) return u"NAN";
  return std::signbit(V) ? u"-INF" : u"INF";
}

std::u16string ExponentText(long double V, int32_t Precision) {
  if (!std::isfinite(V)) return SpecialText(V);
  if (Precision < 1) Precision = 1;
  TDecimal D = ToDecimal(V, Precision);
  std::u16string Out = D.Negative && !AllZero(D.Digits) ? u"-" : u"";
  Out += static_cast<char16_t>(D.Digits[0]);
  if (D.Digits.size() > 1) Out += Settings().DecimalSeparator + Widen(D.Digits.substr(1));
  std::string Exp = std::to_string(D.Exponent < 0 ? -D.Exponent : D.Exponent);
  if (Exp.size() < 3) Exp.insert(0, 3 - Exp.size(), '0');
  Out += Widen((D.Exponent < 0 ? "E-" : "E+") + Exp);
  return Out;
}

std::u16string GeneralText(long double V, int32_t Precision) {
  if (!std::isfinite(V)) return SpecialText(V);
  if (Precision < 1) Precision = 1;
  if (V == 0) return u"0";
  TDecimal D = ToDecimal(V, Precision);
  while (D.Digits.size() > 1 && D.Digits.back() == '0') D.Digits.pop_back();
  const int32_t Count = static_cast<int32_t>(D.Digits.size());
  const char16_t Point = Settings().DecimalSeparator;
  std::u16string Out = D.Negative ? u"-" : u"";
  if (D.Exponent < Precision && D.Exponent >= -5) {
    // Fixed: the shorter form while the integer digits fit the precision and the value is >= 0.00001.
    if (D.Exponent < 0) {
      Out += u"0";
      Out += Point;
      Out.append(static_cast<size_t>(-D.Exponent - 1), u'0');
      Out += Widen(D.Digits);
    } else {
      for (int32_t I = 0; I <= D.Exponent; ++I) Out += static_cast<char16_t>(I < Count ? D.Digits[I] : '0');
      if (Count > D.Exponent + 1) Out += Point + Widen(D.Digits.substr(static_cast<size_t>(D.Exponent) + 1));
    }
  } else {
    Out += static_cast<char16_t>(D.Digits[0]);
    if (Count > 1) Out += Point + Widen(D.Digits.substr(1));
    Out += u"E" + Widen(std::to_string(D.Exponent));
  }
  return Out;
}

std::u16string CurrencyText(long double V, int32_t Decimals) {
  if (!std::isfinite(V)) return SpecialText(V);
  const TFormatSettings& S = Settings();
  std::string IntPart, Fraction;
  bool Negative;
  FixedDigits(V, Decimals, IntPart, Fraction, Negative);
  const std::u16string N = FixedText(IntPart, Fraction, true);
  const std::u16string& C = S.CurrencyString;
  if (!Negative) {
    switch (S.CurrencyFormat) {
      case 1:
        return N + C;
      case 2:
        return C + u" " + N;
      case 3:
        return N + u" " + C;
      default:
        return C + N;
    }
  }
  switch (S.NegCurrFormat) {
    case 1:
      return u"-" + C + N;
    case 2:
      return C + u"-" + N;
    case 3:
      return C + N + u"-";
    case 4:
      return u"(" + N + C + u")";
    case 5:
      return u"-" + N + C;
    case 6:
      return N + u"-" + C;
    case 7:
      return N + C + u"-";
    case 8:
      return u"-" + N + u" " + C;
    case 9:
      return u"-" + C + u" " + N;
    case 10:
      return N + u" " + C + u"-";
    case 11:
      return C + u" " + N + u"-";
    case 12:
      return C + u" -" + N;
    case 13:
      return N + u"- " + C;
    case 14:
      return u"(" + C + u" " + N + u")";
    case 15:
      return u"(" + N + u" " + C + u")";
    default:
      return u"(" + C + N + u")";
  }
}

// ---- The directive engine, over 8-bit (UTF-8) or UTF-16 text ---------------------------------------

template <typename C>
class TFormatter {
 public:
  using TString = std::basic_string<C>;

  TFormatter(const C* Fmt, size_t Len, const TFormatArgs& Args) : Fmt_(Fmt), Len_(Len), Args_(Args) {}

  TString Run() {
    size_t I = 0;
    while (I < Len_) {
      const C Ch = Fmt_[I];
      if (Ch != C('%')) {
        Out_ += Ch;
        ++I;
        continue;
      }
      Start_ = I++;
      if (I < Len_ && Fmt_[I] == C('%')) {
        Out_ += Ch;
        ++I;
        continue;
      }
      I = Directive(I);
    }
    return std::move(Out_);
  }

 private:
  static constexpr int32_t kNone = -1;

  [[noreturn]] void Fail(size_t At, bool Missing) const {
    // The directive from its "%" up to the character at which the failure was found.
    size_t End = At < Len_ ? At + 1 : Len_;
    if constexpr (std::is_same_v<C, char>)  // the whole of a UTF-8 character
      while (End < Len_ && (static_cast<uint8_t>(Fmt_[End]) & 0xC0) == 0x80) ++End;
    std::string Text;
    if constexpr (std::is_same_v<C, char>)
      Text.assign(Fmt_ + Start_, End - Start_);
    else
      Text = Utf16ToUtf8(std::u16string(Fmt_ + Start_, End - Start_));
    Text.resize(CutLength(Text, kMaxQuotedDirective));
    throw EConvertError(Missing ? "No argument for format '" + Text + "'"
                                : "Format '" + Text + "' invalid or incompatible with argument");
  }

  const TFormatArg& NextArg(size_t At) {
    if (ArgIndex_ >= Args_.size()) Fail(At, true);
    return Args_[ArgIndex_++];
  }

  // A decimal number or "*" at I into V; false when neither. Decimal values above kMaxFormatWidth give
  // kMaxFormatWidth + 1.
  bool Number(size_t& I, int32_t& V) {
    if (I < Len_ && Fmt_[I] == C('*')) {
      const TFormatArg& A = NextArg(I);
      const bool Integral = A.Kind == TFormatArg::TKind::Integer || A.Kind == TFormatArg::TKind::Int64;
      if (!Integral || A.Int < INT32_MIN || A.Int > INT32_MAX) Fail(I, false);
      ++I;
      V = static_cast<int32_t>(A.Int);
      return true;
    }
    if (I >= Len_ || Fmt_[I] < C('0') || Fmt_[I] > C('9')) return false;
    V = 0;
    while (I < Len_ && Fmt_[I] >= C('0') && Fmt_[I] <= C('9')) {
      if (V <= kMaxFormatWidth) V = V * 10 + static_cast<int32_t>(Fmt_[I] - C('0'));
      ++I;
    }
    if (V > kMaxFormatWidth) V = kMaxFormatWidth + 1;
    return true;
  }

  size_t Directive(size_t I) {
    bool Left = false;
    int32_t Width = 0;
    int32_t Precision = kNone;
    int32_t First = 0;
    bool HasFirst = Number(I, First);
    if (I < Len_ && Fmt_[I] == C(':')) {
      if (!HasFirst || First < 0 || First > kMaxFormatWidth) Fail(I, false);
      ArgIndex_ = static_cast<size_t>(First);
      ++I;
      HasFirst = false;
    }
    if (!HasFirst) {
      if (I < Len_ && Fmt_[I] == C('-')) {
        Left = true;
        ++I;
      }
      Number(I, Width);
    } else {
      Width = First;
    }
    if (Width < 0) {  // a negative width from "*" left-justifies
      Left = true;
      Width = Width == INT32_MIN ? INT32_MAX : -Width;
    }
    if (Width > kMaxFormatWidth) Fail(I, false);
    if (I < Len_ && Fmt_[I] == C('.')) {
      ++I;
      Precision = 0;
      Number(I, Precision);
      if (Precision < 0) Precision = kNone;  // a negative precision from "*" counts as none
    }
    if (I >= Len_) Fail(I, false);
    const C Type = Fmt_[I] >= C('A') && Fmt_[I] <= C('Z') ? static_cast<C>(Fmt_[I] + 32) : Fmt_[I];
    if (std::char_traits<char>::find("duxpefgnms", 10, static_cast<char>(Type)) == nullptr || Type > 127)
      Fail(I, false);
    const TFormatArg& A = NextArg(I);
    TString Piece = Convert(static_cast<char>(Type), A, Precision, I);
    if (Piece.size() < static_cast<size_t>(Width)) {
      const size_t Pad = static_cast<size_t>(Width) - Piece.size();
      if (Left)
        Piece.append(Pad, C(' '));
      else
        Piece.insert(0, Pad, C(' '));
    }
    Out_ += Piece;
    return I + 1;
  }

  static TString FromWide(const std::u16string& S) {
    if constexpr (std::is_same_v<C, char>)
      return Utf16ToUtf8(S);
    else
      return S;
  }

  static TString FromNarrow(const std::string& S) {
    if constexpr (std::is_same_v<C, char>)
      return S;
    else
      return Utf8ToUtf16(S);
  }

  TString Convert(char Type, const TFormatArg& A, int32_t Precision, size_t At) const {
    using K = TFormatArg::TKind;
    switch (Type) {
      case 'd':
      case 'u':
      case 'x': {
        if (A.Kind != K::Integer && A.Kind != K::Int64 && A.Kind != K::UInt64) Fail(At, false);
        const int Base = Type == 'x' ? 16 : 10;
        if (Type == 'd' && A.Kind != K::UInt64) {
          const uint64_t Magnitude =
              A.Int < 0 ? 0 - static_cast<uint64_t>(A.Int) : static_cast<uint64_t>(A.Int);
          return FromWide(IntegerText(A.Int < 0, Magnitude, Base, Precision));
        }
        // Unsigned: a 32-bit integer is taken as its 32 bits.
        const uint64_t Bits =
            A.Kind == K::Integer ? static_cast<uint32_t>(A.Int) : static_cast<uint64_t>(A.Int);
        return FromWide(IntegerText(false, Bits, Base, Precision));
      }
      case 'p': {
        if (A.Kind != K::Pointer) Fail(At, false);
        return FromWide(IntegerText(false, reinterpret_cast<uintptr_t>(A.Ptr), 16, kPointerDigits));
      }
      case 's': {
        TString Text;
        switch (A.Kind) {
          case K::Char:
          case K::String:
          case K::PChar:
            Text = FromNarrow(A.Text);
            break;
          case K::WideChar:
          case K::WideString:
          case K::PWideChar:
            Text = FromWide(A.WideText);
            break;
          default:
            Fail(At, false);
        }
        if (Precision != kNone) Text.resize(CutLength(Text, static_cast<size_t>(Precision)));
        return Text;
      }
      default:
        break;
    }
    // e f g n m
    if (A.Kind != K::Floating && A.Kind != K::Currency) Fail(At, false);
    const long double V = A.Kind == K::Currency ? static_cast<long double>(A.Int) / 10000 : A.Float;
    const bool Missing = Precision == kNone || Precision > kMaxFloatDigits;
    switch (Type) {
      case 'e':
        return FromWide(ExponentText(V, Missing ? kDefaultFloatDigits : Precision));
      case 'g':
        return FromWide(GeneralText(V, Missing ? kDefaultFloatDigits : Precision));
      case 'm':
        return FromWide(CurrencyText(V, Missing ? Settings().CurrencyDecimals : Precision));
      default:
        break;
    }
    if (!std::isfinite(V)) return FromWide(SpecialText(V));
    std::string IntPart, Fraction;
    bool Negative;
    FixedDigits(V, Missing ? kDefaultFixedDecimals : Precision, IntPart, Fraction, Negative);
    return FromWide((Negative ? u"-" : u"") + FixedText(IntPart, Fraction, Type == 'n'));
  }

  const C* Fmt_;
  size_t Len_;
  const TFormatArgs& Args_;
  size_t ArgIndex_ = 0;
  size_t Start_ = 0;  // the "%" of the directive being read
  TString Out_;
};

}  // namespace

const TFormatSettings& GetFormatSettings() { return Settings(); }

void SetFormatSettings(const TFormatSettings& NewSettings) { Settings() = NewSettings; }

int32_t WideFormatBuf(char16_t* Buffer, int32_t BufLen, const char16_t* Format, int32_t FmtLen,
                      const TFormatArgs& Args) {
  if (!Format || FmtLen < 0) FmtLen = 0;
  std::u16string Text = TFormatter<char16_t>(Format, static_cast<size_t>(FmtLen), Args).Run();
  if (!Buffer || BufLen <= 0) return 0;
  const size_t N = std::min(Text.size(), static_cast<size_t>(BufLen));
  std::memcpy(Buffer, Text.data(), N * sizeof(char16_t));
  return static_cast<int32_t>(N);
}

void WideFmtStr(std::u16string& Result, const std::u16string& Format, const TFormatArgs& Args) {
  Result = TFormatter<char16_t>(Format.data(), Format.size(), Args).Run();
}

std::u16string WideFormat(const std::u16string& Format, const TFormatArgs& Args) {
  std::u16string Result;
  WideFmtStr(Result, Format, Args);
  return Result;
}

std::string Format(const std::string& Format, const TFormatArgs& Args) {
  return TFormatter<char>(Format.data(), Format.size(), Args).Run();
}
