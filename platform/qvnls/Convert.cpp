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
  void operator()(UConverter* c) const { ucnv_close(c); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

// Writes U+FFFD for bytes a converter cannot decode, whatever substitution its code page names.
void ReplaceUndecodable(const void*, UConverterToUnicodeArgs* args, const char*, int32_t,
                        UConverterCallbackReason reason, UErrorCode* error) {
  if (reason != UCNV_UNASSIGNED && reason != UCNV_ILLEGAL && reason != UCNV_IRREGULAR) return;
  *error = U_ZERO_ERROR;
  ucnv_cbToUWriteUChars(args, &kReplacement, 1, 0, error);
}

enum class Direction { kDecode, kEncode };

// One open converter per charset, direction and thread, reset before each use (UTF-7 keeps state).
// Decoding and encoding use separate converters, so the substitution set for encoding never
// changes what decoding produces.
UConverter* ThreadConverter(const CharsetInfo& info, Direction direction) {
  thread_local std::array<ConverterPtr, 256> decoders;
  thread_local std::array<ConverterPtr, 256> encoders;
  ConverterPtr& slot = (direction == Direction::kDecode ? decoders : encoders)[info.code];
  if (!slot) {
    UErrorCode error = U_ZERO_ERROR;
    slot.reset(ucnv_open(info.icuName, &error));
    if (U_FAILURE(error)) slot.reset();
    if (slot && direction == Direction::kDecode) {
      ucnv_setToUCallBack(slot.get(), ReplaceUndecodable, nullptr, nullptr, nullptr, &error);
      if (U_FAILURE(error)) slot.reset();
    }
  }
  if (slot) ucnv_reset(slot.get());
  return slot.get();
}

bool ValidBuffer(const void* p, int32_t bytes) { return bytes >= 0 && (p != nullptr || bytes == 0); }

// Decodes `bytes` of `charset` (not single-byte) into `out`. False for a charset it cannot decode.
bool DecodeMultiByte(const void* source, int32_t bytes, const CharsetInfo& info, std::u16string& out) {
  out.clear();
  if (bytes == 0) return true;
  if (info.code == kCharsetUtf16LE) {
    out.resize(bytes / 2);
    for (int32_t i = 0; i < bytes / 2; ++i) out[i] = LoadUnit(source, i);
    return true;
  }
  // Each source byte yields at most one unit in every multi-byte charset of the table; the retry
  // covers a converter that answers otherwise.
  int32_t capacity = bytes + 1;
  for (int attempt = 0; attempt < 2; ++attempt) {
    out.resize(capacity);
    UErrorCode error = U_ZERO_ERROR;
    int32_t length = 0;
    if (info.code == kCharsetUtf8) {
      u_strFromUTF8WithSub(out.data(), capacity, &length, static_cast<const char*>(source), bytes,
                           kReplacement, nullptr, &error);
    } else {
      UConverter* converter = ThreadConverter(info, Direction::kDecode);
      if (converter == nullptr) return false;
      length =
          ucnv_toUChars(converter, out.data(), capacity, static_cast<const char*>(source), bytes, &error);
    }
    if (error == U_BUFFER_OVERFLOW_ERROR || length > capacity) {
      capacity = length + 1;
      continue;
    }
    if (U_FAILURE(error) && error != U_STRING_NOT_TERMINATED_WARNING) return false;
    out.resize(length);
    return true;
  }
  return false;
}

// Encodes units into `charset` (not single-byte); a character it cannot hold becomes `defaultChar`.
bool EncodeMultiByte(const char16_t* units, int32_t count, const CharsetInfo& info, char defaultChar,
                     std::string& out) {
  out.clear();
  if (count == 0) return true;
  if (info.code == kCharsetUtf16LE) {
    out.resize(2 * static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) StoreUnit(out.data(), i, units[i]);
    return true;
  }
  int32_t capacity = info.maxBytes * count + 8;
  for (int attempt = 0; attempt < 2; ++attempt) {
    out.resize(capacity);
    UErrorCode error = U_ZERO_ERROR;
    int32_t length = 0;
    if (info.code == kCharsetUtf8) {
      u_strToUTF8WithSub(out.data(), capacity, &length, units, count, kReplacement, nullptr, &error);
    } else {
      UConverter* converter = ThreadConverter(info, Direction::kEncode);
      if (converter == nullptr) return false;
      UErrorCode subError = U_ZERO_ERROR;
      ucnv_setSubstChars(converter, &defaultChar, 1, &subError);
      length = ucnv_fromUChars(converter, out.data(), capacity, units, count, &error);
    }
    if (error == U_BUFFER_OVERFLOW_ERROR || length > capacity) {
      capacity = length + 8;
      continue;
    }
    if (U_FAILURE(error) && error != U_STRING_NOT_TERMINATED_WARNING) return false;
    out.resize(length);
    return true;
  }
  return false;
}

// Decodes any charset of the table into `out`; false for an unknown one.
bool Decode(const void* source, int32_t bytes, uint8_t charset, std::u16string& out) {
  if (const SingleByteMaps* maps = GetSingleByteMaps(charset)) {
    const auto* s = static_cast<const uint8_t*>(source);
    out.resize(bytes);
    for (int32_t i = 0; i < bytes; ++i) out[i] = maps->toWide[s[i]];
    return true;
  }
  const CharsetInfo* info = FindCharset(ResolveCharset(charset));
  return info != nullptr && DecodeMultiByte(source, bytes, *info, out);
}

bool Encode(const char16_t* units, int32_t count, uint8_t charset, char defaultChar, std::string& out) {
  if (const SingleByteMaps* maps = GetSingleByteMaps(charset)) {
    out.resize(count);
    for (int32_t i = 0; i < count; ++i) {
      uint8_t byte = 0;
      out[i] = maps->Encode(units[i], byte) ? static_cast<char>(byte) : defaultChar;
    }
    return true;
  }
  const CharsetInfo* info = FindCharset(ResolveCharset(charset));
  return info != nullptr && EncodeMultiByte(units, count, *info, defaultChar, out);
}

// Copies a finished result into the caller's target.
int32_t Deliver(const void* data, size_t bytes, void* target, int32_t targetBytes) {
  if (bytes > static_cast<size_t>(targetBytes)) return kErrorTargetTooSmall;
  if (bytes != 0) std::memcpy(target, data, bytes);
  return static_cast<int32_t>(bytes);
}

std::u16string LoadUnits(const void* source, int32_t count) {
  std::u16string units(count, u'\0');
  for (int32_t i = 0; i < count; ++i) units[i] = LoadUnit(source, i);
  return units;
}

}  // namespace

bool IsKnownCharset(uint8_t charset) { return FindCharset(charset) != nullptr; }

bool IsSingleByteCharset(uint8_t charset) {
  const CharsetInfo* info = FindCharset(charset);
  return info != nullptr && info->maxBytes == 1;
}

int32_t BufToWide(const void* source, int32_t sourceBytes, void* target, int32_t targetBytes,
                  uint8_t charset) {
  if (!ValidBuffer(source, sourceBytes) || !ValidBuffer(target, targetBytes)) return kErrorArgument;
  if (const SingleByteMaps* maps = GetSingleByteMaps(charset)) {
    if (2 * static_cast<int64_t>(sourceBytes) > targetBytes) return kErrorTargetTooSmall;
    const auto* s = static_cast<const uint8_t*>(source);
    for (int32_t i = 0; i < sourceBytes; ++i) StoreUnit(target, i, maps->toWide[s[i]]);
    return 2 * sourceBytes;
  }
  std::u16string units;
  if (!Decode(source, sourceBytes, charset, units)) return kErrorCharset;
  if (2 * units.size() > static_cast<size_t>(targetBytes)) return kErrorTargetTooSmall;
  for (size_t i = 0; i < units.size(); ++i) StoreUnit(target, static_cast<int32_t>(i), units[i]);
  return static_cast<int32_t>(2 * units.size());
}

int32_t WideToBuf(const void* source, int32_t sourceBytes, void* target, int32_t targetBytes,
                  uint8_t charset) {
  if (!ValidBuffer(source, sourceBytes) || !ValidBuffer(target, targetBytes)) return kErrorArgument;
  const int32_t count = sourceBytes / 2;
  if (const SingleByteMaps* maps = GetSingleByteMaps(charset)) {
    if (count > targetBytes) return kErrorTargetTooSmall;
    auto* t = static_cast<uint8_t*>(target);
    for (int32_t i = 0; i < count; ++i) {
      uint8_t byte = 0;
      t[i] = maps->Encode(LoadUnit(source, i), byte) ? byte : 0;
    }
    return count;
  }
  const std::u16string units = LoadUnits(source, count);
  std::string bytes;
  if (!Encode(units.data(), count, charset, 0, bytes)) return kErrorCharset;
  return Deliver(bytes.data(), bytes.size(), target, targetBytes);
}

int32_t ConvertBufsDef(const void* source, int32_t sourceBytes, void* target, int32_t targetBytes,
                       uint8_t fromCharset, uint8_t toCharset, char defaultChar) {
  if (!ValidBuffer(source, sourceBytes) || !ValidBuffer(target, targetBytes)) return kErrorArgument;
  fromCharset = ResolveCharset(fromCharset);
  toCharset = ResolveCharset(toCharset);
  if (!IsKnownCharset(fromCharset) || !IsKnownCharset(toCharset)) return kErrorCharset;
  if (fromCharset == toCharset) return Deliver(source, sourceBytes, target, targetBytes);
  const SingleByteMaps* from = GetSingleByteMaps(fromCharset);
  const SingleByteMaps* to = GetSingleByteMaps(toCharset);
  if (from != nullptr && to != nullptr) {
    if (sourceBytes > targetBytes) return kErrorTargetTooSmall;
    const auto* s = static_cast<const uint8_t*>(source);
    auto* t = static_cast<uint8_t*>(target);
    for (int32_t i = 0; i < sourceBytes; ++i) {
      uint8_t byte = 0;
      t[i] = to->Encode(from->toWide[s[i]], byte) ? byte : static_cast<uint8_t>(defaultChar);
    }
    return sourceBytes;
  }
  std::u16string units;
  std::string bytes;
  if (!Decode(source, sourceBytes, fromCharset, units) ||
      !Encode(units.data(), static_cast<int32_t>(units.size()), toCharset, defaultChar, bytes))
    return kErrorCharset;
  return Deliver(bytes.data(), bytes.size(), target, targetBytes);
}

int32_t ConvertBufDef(void* buffer, int32_t bytes, uint8_t fromCharset, uint8_t toCharset, char defaultChar) {
  if (!ValidBuffer(buffer, bytes)) return kErrorArgument;
  const SingleByteMaps* from = GetSingleByteMaps(fromCharset);
  const SingleByteMaps* to = GetSingleByteMaps(toCharset);
  if (from == nullptr || to == nullptr) return kErrorCharset;
  if (from == to) return bytes;
  auto* b = static_cast<uint8_t*>(buffer);
  for (int32_t i = 0; i < bytes; ++i) {
    uint8_t byte = 0;
    b[i] = to->Encode(from->toWide[b[i]], byte) ? byte : static_cast<uint8_t>(defaultChar);
  }
  return bytes;
}

int32_t AdjustLineBreaksBufWide(const void* source, int32_t sourceBytes, void* target, int32_t targetBytes) {
  if (!ValidBuffer(source, sourceBytes) || !ValidBuffer(target, targetBytes)) return kErrorArgument;
  const int32_t count = sourceBytes / 2;
  // First the size, so that a short target is refused before anything is written.
  int64_t needed = 0;
  for (int32_t i = 0; i < count; ++i) {
    const char16_t c = LoadUnit(source, i);
    if (c == u'\r' && i + 1 < count && LoadUnit(source, i + 1) == u'\n') ++i;
    needed += (c == u'\r' || c == u'\n') ? 2 : 1;
  }
  if (2 * needed > targetBytes) return kErrorTargetTooSmall;
  int32_t out = 0;
  for (int32_t i = 0; i < count; ++i) {
    const char16_t c = LoadUnit(source, i);
    if (c == u'\r' || c == u'\n') {
      if (c == u'\r' && i + 1 < count && LoadUnit(source, i + 1) == u'\n') ++i;
      StoreUnit(target, out++, u'\r');
      StoreUnit(target, out++, u'\n');
    } else {
      StoreUnit(target, out++, c);
    }
  }
  return 2 * out;
}

char16_t CharToWideChar(uint8_t ch, uint8_t charset) {
  if (const SingleByteMaps* maps = GetSingleByteMaps(charset))
    return maps->defined[ch] ? maps->toWide[ch] : 0;
  return IsKnownCharset(charset) && ch < 0x80 ? ch : 0;
}

uint8_t WideCharToChar(char16_t ch, uint8_t charset) {
  if (const SingleByteMaps* maps = GetSingleByteMaps(charset)) {
    uint8_t byte = 0;
    return maps->Encode(ch, byte) ? byte : 0;
  }
  return IsKnownCharset(charset) && ch < 0x80 ? static_cast<uint8_t>(ch) : 0;
}

uint8_t UpperChar(uint8_t ch, uint8_t charset) {
  if (const SingleByteMaps* maps = GetSingleByteMaps(charset)) return maps->upper[ch];
  if (!IsKnownCharset(charset) || ch >= 0x80) return 0;
  return (ch >= 'a' && ch <= 'z') ? static_cast<uint8_t>(ch - 'a' + 'A') : ch;
}

uint8_t ConvertChar(uint8_t ch, uint8_t fromCharset, uint8_t toCharset) {
  const char16_t unit = CharToWideChar(ch, fromCharset);
  if (unit == 0 && ch != 0) return 0;
  return WideCharToChar(unit, toCharset);
}

const uint8_t* GetTransMap(uint8_t fromCharset, uint8_t toCharset) {
  fromCharset = ResolveCharset(fromCharset);
  toCharset = ResolveCharset(toCharset);
  const SingleByteMaps* from = GetSingleByteMaps(fromCharset);
  const SingleByteMaps* to = GetSingleByteMaps(toCharset);
  if (from == nullptr || to == nullptr || fromCharset == toCharset) return nullptr;
  constexpr int kHighBytes = 128;  // the map covers bytes 128-255
  static std::mutex mutex;
  static std::map<std::pair<uint8_t, uint8_t>, std::unique_ptr<uint8_t[]>> maps;
  std::lock_guard<std::mutex> lock(mutex);
  std::unique_ptr<uint8_t[]>& map = maps[{fromCharset, toCharset}];
  if (!map) {
    map = std::make_unique<uint8_t[]>(kHighBytes);
    for (int i = 0; i < kHighBytes; ++i) {
      uint8_t byte = 0;
      map[i] = to->Encode(from->toWide[kHighBytes + i], byte) ? byte : 0;
    }
  }
  return map.get();
}

}  // namespace qvnls
