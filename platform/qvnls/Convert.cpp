// Conversion between the charsets of the table: single-byte charsets through their byte maps, UTF-8
// through ICU's string functions, UTF-7 and the double-byte pages through ICU converters.
#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/ustring.h>

#include <array>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "platform/qvnls/CharsetTable.h"
#include "platform/qvnls/Qvnls.h"

namespace qvnls {

using detail::CharsetInfo;
using detail::FindCharset;
using detail::GetSingleByteMaps;
using detail::LoadUnit;
using detail::ResolveCharset;
using detail::SingleByteMaps;
using detail::StoreUnit;

namespace {

constexpr char16_t kReplacement = 0xFFFD;  // what undecodable bytes and lone surrogates become

struct ConverterCloser {
  void operator()(UConverter* C) const { ucnv_close(C); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

// Writes U+FFFD for bytes a converter cannot decode, whatever substitution its code page names.
void ReplaceUndecodable(const void*, UConverterToUnicodeArgs* Args, const char*, int32_t,
                        UConverterCallbackReason Reason, UErrorCode* Error) {
  if (Reason != UCNV_UNASSIGNED && Reason != UCNV_ILLEGAL && Reason != UCNV_IRREGULAR) return;
  *Error = U_ZERO_ERROR;
  ucnv_cbToUWriteUChars(Args, &kReplacement, 1, 0, Error);
}

enum class Direction { kDecode, kEncode };

// One open converter per charset, direction and thread, reset before each use (UTF-7 keeps state).
// Decoding and encoding use separate converters, so the substitution set for encoding never
// changes what decoding produces.
UConverter* ThreadConverter(const CharsetInfo& Info, Direction Way) {
  thread_local std::array<ConverterPtr, 256> Decoders;
  thread_local std::array<ConverterPtr, 256> Encoders;
  ConverterPtr& Slot = (Way == Direction::kDecode ? Decoders : Encoders)[Info.Code];
  if (!Slot) {
    UErrorCode Error = U_ZERO_ERROR;
    Slot.reset(ucnv_open(Info.IcuName, &Error));
    if (U_FAILURE(Error)) Slot.reset();
    if (Slot && Way == Direction::kDecode) {
      ucnv_setToUCallBack(Slot.get(), ReplaceUndecodable, nullptr, nullptr, nullptr, &Error);
      if (U_FAILURE(Error)) Slot.reset();
    }
  }
  if (Slot) ucnv_reset(Slot.get());
  return Slot.get();
}

bool ValidBuffer(const void* P, int32_t Bytes) { return Bytes >= 0 && (P != nullptr || Bytes == 0); }

// Decodes `Bytes` bytes of the charset of `Info` (not single-byte) into `Out`. False for a charset it cannot
// decode.
bool DecodeMultiByte(const void* Source, int32_t Bytes, const CharsetInfo& Info, std::u16string& Out) {
  Out.clear();
  if (Bytes == 0) return true;
  if (Info.Code == kCharsetUtf16LE) {
    Out.resize(Bytes / 2);
    for (int32_t I = 0; I < Bytes / 2; ++I) Out[I] = LoadUnit(Source, I);
    return true;
  }
  // Each source byte yields at most one unit in every multi-byte charset of the table; the retry
  // covers a converter that answers otherwise.
  int32_t Capacity = Bytes + 1;
  for (int Attempt = 0; Attempt < 2; ++Attempt) {
    Out.resize(Capacity);
    UErrorCode Error = U_ZERO_ERROR;
    int32_t Length = 0;
    if (Info.Code == kCharsetUtf8) {
      u_strFromUTF8WithSub(Out.data(), Capacity, &Length, static_cast<const char*>(Source), Bytes,
                           kReplacement, nullptr, &Error);
    } else {
      UConverter* Converter = ThreadConverter(Info, Direction::kDecode);
      if (Converter == nullptr) return false;
      Length =
          ucnv_toUChars(Converter, Out.data(), Capacity, static_cast<const char*>(Source), Bytes, &Error);
    }
    if (Error == U_BUFFER_OVERFLOW_ERROR || Length > Capacity) {
      Capacity = Length + 1;
      continue;
    }
    if (U_FAILURE(Error) && Error != U_STRING_NOT_TERMINATED_WARNING) return false;
    Out.resize(Length);
    return true;
  }
  return false;
}

// Encodes units into the charset of `Info` (not single-byte); a character it cannot hold becomes
// `DefaultChar`.
bool EncodeMultiByte(const char16_t* Units, int32_t Count, const CharsetInfo& Info, char DefaultChar,
                     std::string& Out) {
  Out.clear();
  if (Count == 0) return true;
  if (Info.Code == kCharsetUtf16LE) {
    Out.resize(2 * static_cast<size_t>(Count));
    for (int32_t I = 0; I < Count; ++I) StoreUnit(Out.data(), I, Units[I]);
    return true;
  }
  int32_t Capacity = Info.MaxBytes * Count + 8;
  for (int Attempt = 0; Attempt < 2; ++Attempt) {
    Out.resize(Capacity);
    UErrorCode Error = U_ZERO_ERROR;
    int32_t Length = 0;
    if (Info.Code == kCharsetUtf8) {
      u_strToUTF8WithSub(Out.data(), Capacity, &Length, Units, Count, kReplacement, nullptr, &Error);
    } else {
      UConverter* Converter = ThreadConverter(Info, Direction::kEncode);
      if (Converter == nullptr) return false;
      UErrorCode SubError = U_ZERO_ERROR;
      ucnv_setSubstChars(Converter, &DefaultChar, 1, &SubError);
      Length = ucnv_fromUChars(Converter, Out.data(), Capacity, Units, Count, &Error);
    }
    if (Error == U_BUFFER_OVERFLOW_ERROR || Length > Capacity) {
      Capacity = Length + 8;
      continue;
    }
    if (U_FAILURE(Error) && Error != U_STRING_NOT_TERMINATED_WARNING) return false;
    Out.resize(Length);
    return true;
  }
  return false;
}

// Decodes any charset of the table into `Out`; false for an unknown one.
bool Decode(const void* Source, int32_t Bytes, uint8_t Charset, std::u16string& Out) {
  if (const SingleByteMaps* Maps = GetSingleByteMaps(Charset)) {
    const auto* S = static_cast<const uint8_t*>(Source);
    Out.resize(Bytes);
    for (int32_t I = 0; I < Bytes; ++I) Out[I] = Maps->ToWide[S[I]];
    return true;
  }
  const CharsetInfo* Info = FindCharset(ResolveCharset(Charset));
  return Info != nullptr && DecodeMultiByte(Source, Bytes, *Info, Out);
}

bool Encode(const char16_t* Units, int32_t Count, uint8_t Charset, char DefaultChar, std::string& Out) {
  if (const SingleByteMaps* Maps = GetSingleByteMaps(Charset)) {
    Out.resize(Count);
    for (int32_t I = 0; I < Count; ++I) {
      uint8_t Byte = 0;
      Out[I] = Maps->Encode(Units[I], Byte) ? static_cast<char>(Byte) : DefaultChar;
    }
    return true;
  }
  const CharsetInfo* Info = FindCharset(ResolveCharset(Charset));
  return Info != nullptr && EncodeMultiByte(Units, Count, *Info, DefaultChar, Out);
}

// Copies a finished result into the caller's target.
int32_t Deliver(const void* Data, size_t Bytes, void* Target, int32_t TargetBytes) {
  if (Bytes > static_cast<size_t>(TargetBytes)) return kErrorTargetTooSmall;
  if (Bytes != 0) std::memcpy(Target, Data, Bytes);
  return static_cast<int32_t>(Bytes);
}

std::u16string LoadUnits(const void* Source, int32_t Count) {
  std::u16string Units(Count, u'\0');
  for (int32_t I = 0; I < Count; ++I) Units[I] = LoadUnit(Source, I);
  return Units;
}

}  // namespace

bool IsKnownCharset(uint8_t Charset) { return FindCharset(Charset) != nullptr; }

bool IsSingleByteCharset(uint8_t Charset) {
  const CharsetInfo* Info = FindCharset(Charset);
  return Info != nullptr && Info->MaxBytes == 1;
}

int32_t BufToWide(const void* Source, int32_t SourceBytes, void* Target, int32_t TargetBytes,
                  uint8_t Charset) {
  if (!ValidBuffer(Source, SourceBytes) || !ValidBuffer(Target, TargetBytes)) return kErrorArgument;
  if (const SingleByteMaps* Maps = GetSingleByteMaps(Charset)) {
    if (2 * static_cast<int64_t>(SourceBytes) > TargetBytes) return kErrorTargetTooSmall;
    const auto* S = static_cast<const uint8_t*>(Source);
    for (int32_t I = 0; I < SourceBytes; ++I) StoreUnit(Target, I, Maps->ToWide[S[I]]);
    return 2 * SourceBytes;
  }
  std::u16string Units;
  if (!Decode(Source, SourceBytes, Charset, Units)) return kErrorCharset;
  if (2 * Units.size() > static_cast<size_t>(TargetBytes)) return kErrorTargetTooSmall;
  for (size_t I = 0; I < Units.size(); ++I) StoreUnit(Target, static_cast<int32_t>(I), Units[I]);
  return static_cast<int32_t>(2 * Units.size());
}

int32_t WideToBuf(const void* Source, int32_t SourceBytes, void* Target, int32_t TargetBytes,
                  uint8_t Charset) {
  if (!ValidBuffer(Source, SourceBytes) || !ValidBuffer(Target, TargetBytes)) return kErrorArgument;
  const int32_t Count = SourceBytes / 2;
  if (const SingleByteMaps* Maps = GetSingleByteMaps(Charset)) {
    if (Count > TargetBytes) return kErrorTargetTooSmall;
    auto* T = static_cast<uint8_t*>(Target);
    for (int32_t I = 0; I < Count; ++I) {
      uint8_t Byte = 0;
      T[I] = Maps->Encode(LoadUnit(Source, I), Byte) ? Byte : 0;
    }
    return Count;
  }
  const std::u16string Units = LoadUnits(Source, Count);
  std::string Bytes;
  if (!Encode(Units.data(), Count, Charset, 0, Bytes)) return kErrorCharset;
  return Deliver(Bytes.data(), Bytes.size(), Target, TargetBytes);
}

int32_t ConvertBufsDef(const void* Source, int32_t SourceBytes, void* Target, int32_t TargetBytes,
                       uint8_t FromCharset, uint8_t ToCharset, char DefaultChar) {
  if (!ValidBuffer(Source, SourceBytes) || !ValidBuffer(Target, TargetBytes)) return kErrorArgument;
  FromCharset = ResolveCharset(FromCharset);
  ToCharset = ResolveCharset(ToCharset);
  if (!IsKnownCharset(FromCharset) || !IsKnownCharset(ToCharset)) return kErrorCharset;
  if (FromCharset == ToCharset) return Deliver(Source, SourceBytes, Target, TargetBytes);
  const SingleByteMaps* From = GetSingleByteMaps(FromCharset);
  const SingleByteMaps* To = GetSingleByteMaps(ToCharset);
  if (From != nullptr && To != nullptr) {
    if (SourceBytes > TargetBytes) return kErrorTargetTooSmall;
    const auto* S = static_cast<const uint8_t*>(Source);
    auto* T = static_cast<uint8_t*>(Target);
    for (int32_t I = 0; I < SourceBytes; ++I) {
      uint8_t Byte = 0;
      T[I] = To->Encode(From->ToWide[S[I]], Byte) ? Byte : static_cast<uint8_t>(DefaultChar);
    }
    return SourceBytes;
  }
  std::u16string Units;
  std::string Bytes;
  if (!Decode(Source, SourceBytes, FromCharset, Units) ||
      !Encode(Units.data(), static_cast<int32_t>(Units.size()), ToCharset, DefaultChar, Bytes))
    return kErrorCharset;
  return Deliver(Bytes.data(), Bytes.size(), Target, TargetBytes);
}

int32_t ConvertBufDef(void* Buffer, int32_t Bytes, uint8_t FromCharset, uint8_t ToCharset, char DefaultChar) {
  if (!ValidBuffer(Buffer, Bytes)) return kErrorArgument;
  const SingleByteMaps* From = GetSingleByteMaps(FromCharset);
  const SingleByteMaps* To = GetSingleByteMaps(ToCharset);
  if (From == nullptr || To == nullptr) return kErrorCharset;
  if (From == To) return Bytes;
  auto* B = static_cast<uint8_t*>(Buffer);
  for (int32_t I = 0; I < Bytes; ++I) {
    uint8_t Byte = 0;
    B[I] = To->Encode(From->ToWide[B[I]], Byte) ? Byte : static_cast<uint8_t>(DefaultChar);
  }
  return Bytes;
}

int32_t AdjustLineBreaksBufWide(const void* Source, int32_t SourceBytes, void* Target, int32_t TargetBytes) {
  if (!ValidBuffer(Source, SourceBytes) || !ValidBuffer(Target, TargetBytes)) return kErrorArgument;
  const int32_t Count = SourceBytes / 2;
  // First the size, so that a short target is refused before anything is written.
  int64_t Needed = 0;
  for (int32_t I = 0; I < Count; ++I) {
    const char16_t C = LoadUnit(Source, I);
    if (C == u'\r' && I + 1 < Count && LoadUnit(Source, I + 1) == u'\n') ++I;
    Needed += (C == u'\r' || C == u'\n') ? 2 : 1;
  }
  if (2 * Needed > TargetBytes) return kErrorTargetTooSmall;
  int32_t Out = 0;
  for (int32_t I = 0; I < Count; ++I) {
    const char16_t C = LoadUnit(Source, I);
    if (C == u'\r' || C == u'\n') {
      if (C == u'\r' && I + 1 < Count && LoadUnit(Source, I + 1) == u'\n') ++I;
      StoreUnit(Target, Out++, u'\r');
      StoreUnit(Target, Out++, u'\n');
    } else {
      StoreUnit(Target, Out++, C);
    }
  }
  return 2 * Out;
}

char16_t CharToWideChar(uint8_t Ch, uint8_t Charset) {
  if (const SingleByteMaps* Maps = GetSingleByteMaps(Charset))
    return Maps->Defined[Ch] ? Maps->ToWide[Ch] : 0;
  return IsKnownCharset(Charset) && Ch < 0x80 ? Ch : 0;
}

uint8_t WideCharToChar(char16_t Ch, uint8_t Charset) {
  if (const SingleByteMaps* Maps = GetSingleByteMaps(Charset)) {
    uint8_t Byte = 0;
    return Maps->Encode(Ch, Byte) ? Byte : 0;
  }
  return IsKnownCharset(Charset) && Ch < 0x80 ? static_cast<uint8_t>(Ch) : 0;
}

uint8_t UpperChar(uint8_t Ch, uint8_t Charset) {
  if (const SingleByteMaps* Maps = GetSingleByteMaps(Charset)) return Maps->Upper[Ch];
  if (!IsKnownCharset(Charset) || Ch >= 0x80) return 0;
  return (Ch >= 'a' && Ch <= 'z') ? static_cast<uint8_t>(Ch - 'a' + 'A') : Ch;
}

uint8_t ConvertChar(uint8_t Ch, uint8_t FromCharset, uint8_t ToCharset) {
  const char16_t Unit = CharToWideChar(Ch, FromCharset);
  if (Unit == 0 && Ch != 0) return 0;
  return WideCharToChar(Unit, ToCharset);
}

const uint8_t* GetTransMap(uint8_t FromCharset, uint8_t ToCharset) {
  FromCharset = ResolveCharset(FromCharset);
  ToCharset = ResolveCharset(ToCharset);
  const SingleByteMaps* From = GetSingleByteMaps(FromCharset);
  const SingleByteMaps* To = GetSingleByteMaps(ToCharset);
  if (From == nullptr || To == nullptr || FromCharset == ToCharset) return nullptr;
  constexpr int kHighBytes = 128;  // the map covers bytes 128-255
  static std::mutex Mutex;
  static std::map<std::pair<uint8_t, uint8_t>, std::unique_ptr<uint8_t[]>> Maps;
  std::lock_guard<std::mutex> Lock(Mutex);
  std::unique_ptr<uint8_t[]>& Map = Maps[{FromCharset, ToCharset}];
  if (!Map) {
    Map = std::make_unique<uint8_t[]>(kHighBytes);
    for (int I = 0; I < kHighBytes; ++I) {
      uint8_t Byte = 0;
      Map[I] = To->Encode(From->ToWide[kHighBytes + I], Byte) ? Byte : 0;
    }
  }
  return Map.get();
}

}  // namespace qvnls
