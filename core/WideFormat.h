// The format engine: printf-style directives over a list of typed arguments. WideFormat produces UTF-16
// text (translated messages of the user interface); Format is the same engine with an 8-bit format and
// result, through which every library message is formatted (FormatIfPercent in StrUtils).
//
// Directive: "%" [Index ":"] ["-"] [Width] ["." Precision] Type, where Index, Width and Precision are
// decimal numbers or "*" (taken from the next argument, which must be an integer). "%%" gives "%".
// Types (upper or lower case): d u x (integers), p (pointer), e f g n m (floating and currency), s (text).
//
// Output never depends on the process locale: separators and the currency format come from the
// program-wide TFormatSettings, which the application fills from the user's settings at start-up.
// 8-bit text (arguments, the 8-bit format and result, the directive quoted in an error) is UTF-8.
//
// Thread use: formatting is reentrant; SetFormatSettings is called once at start-up, before any thread.
#pragma once

#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "core/Exception.h"

// A conversion failed: a directive that does not fit its argument, or an argument missing.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const noexcept override { return "EConvertError"; }
};

// A fixed-point currency value with four decimals: 12.5 is stored as 125000.
struct TCurrency {
  int64_t Value = 0;
};

// One typed argument. Text is copied, so an argument list may outlive the strings it was made from.
class TFormatArg {
 public:
  enum class TKind : uint8_t {
    Integer,     // signed 32-bit
    Int64,       // signed 64-bit
    UInt64,      // unsigned 64-bit
    Floating,    // long double
    Currency,    // TCurrency
    Pointer,     // an address
    Char,        // one 8-bit character
    WideChar,    // one UTF-16 code unit
    String,      // 8-bit text (std::string)
    WideString,  // UTF-16 text (std::u16string)
    PChar,       // zero-terminated 8-bit text; nullptr is empty
    PWideChar,   // zero-terminated UTF-16 text; nullptr is empty
    Boolean,     // accepted by no directive
  };

  template <typename T>
  requires std::is_integral_v<T> TFormatArg(
      T V) {  // NOLINT(google-explicit-constructor): arguments are listed in braces
    if constexpr (std::is_same_v<T, bool>) {
      Kind = TKind::Boolean;
      Int = V ? 1 : 0;
    } else if constexpr (std::is_same_v<T, char>) {
      Kind = TKind::Char;
      Text.assign(1, V);
    } else if constexpr (std::is_same_v<T, char16_t>) {
      Kind = TKind::WideChar;
      WideText.assign(1, V);
    } else if constexpr (std::is_signed_v<T>) {
      Kind = sizeof(T) <= 4 ? TKind::Integer : TKind::Int64;
      Int = V;
    } else if constexpr (sizeof(T) < 4) {
      Kind = TKind::Integer;
      Int = V;
    } else if constexpr (sizeof(T) == 4) {
      Kind = TKind::Int64;  // every 32-bit unsigned value fits
      Int = V;
    } else {
      Kind = TKind::UInt64;
      Int = static_cast<int64_t>(V);
    }
  }
  template <typename T>
  requires std::is_floating_point_v<T> TFormatArg(T V) : Kind(TKind::Floating), Float(V) {}
  TFormatArg(TCurrency V) : Kind(TKind::Currency), Int(V.Value) {}
  TFormatArg(const void* P) : Kind(TKind::Pointer), Ptr(P) {}
  TFormatArg(std::nullptr_t) : Kind(TKind::Pointer), Ptr(nullptr) {}
  TFormatArg(const char* S) : Kind(TKind::PChar), Text(S ? S : "") {}
  TFormatArg(const char16_t* S) : Kind(TKind::PWideChar), WideText(S ? S : u"") {}
  TFormatArg(std::string S) : Kind(TKind::String), Text(std::move(S)) {}
  TFormatArg(std::string_view S) : Kind(TKind::String), Text(S) {}
  TFormatArg(std::u16string S) : Kind(TKind::WideString), WideText(std::move(S)) {}
  TFormatArg(std::u16string_view S) : Kind(TKind::WideString), WideText(S) {}

  TKind Kind;
  int64_t Int = 0;            // Integer, Int64, UInt64 (the bits), Currency, Boolean
  long double Float = 0;      // Floating
  const void* Ptr = nullptr;  // Pointer
  std::string Text;           // Char, String, PChar
  std::u16string WideText;    // WideChar, WideString, PWideChar
};

using TFormatArgs = std::vector<TFormatArg>;

// The user's number and currency conventions. The defaults are fixed (not the process locale).
struct TFormatSettings {
  char16_t ThousandSeparator = u',';
  char16_t DecimalSeparator = u'.';
  std::u16string CurrencyString = u"$";
  // Position of the symbol for positive amounts: 0 "$1", 1 "1$", 2 "$ 1", 3 "1 $".
  uint8_t CurrencyFormat = 0;
  // Form of negative amounts, 0 to 15: ($1) -$1 $-1 $1- (1$) -1$ 1-$ 1$- -1 $ -$ 1 1 $- $ 1- $ -1 1- $
  // ($ 1) (1 $).
  uint8_t NegCurrFormat = 0;
  uint8_t CurrencyDecimals = 2;
};

const TFormatSettings& GetFormatSettings();
void SetFormatSettings(const TFormatSettings& Settings);

// The longest Width or Precision a directive may ask for; a larger one is an invalid directive, so a
// damaged message text cannot make the engine build a huge string.
constexpr int32_t kMaxFormatWidth = 32767;

// Writes at most BufLen UTF-16 characters of the formatted text into Buffer (no terminating NUL) and
// returns how many it wrote. Raises EConvertError.
int32_t WideFormatBuf(char16_t* Buffer, int32_t BufLen, const char16_t* Format, int32_t FmtLen,
                      const TFormatArgs& Args);
// The whole formatted text. Raises EConvertError.
void WideFmtStr(std::u16string& Result, const std::u16string& Format, const TFormatArgs& Args);
std::u16string WideFormat(const std::u16string& Format, const TFormatArgs& Args);
// The same engine over an 8-bit (UTF-8) format. Raises EConvertError.
std::string Format(const std::string& Format, const TFormatArgs& Args);
