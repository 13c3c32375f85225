#include "core/WinUtils.h"

#include <zlib.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "core/FileLayer.h"

namespace {

constexpr int64_t kMSecsPerDay = 86400000;
constexpr int64_t kMSecsPerMinute = 60000;

std::mutex g_versionMutex;
std::map<std::u16string, TVersionRecord>& VersionRecords() {
  static std::map<std::u16string, TVersionRecord> records;
  return records;
}

std::u16string BaseName(const std::u16string& path) {
  size_t slash = path.rfind(u'/');
  return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

bool StartsWithNoCase(const std::string& s, const char* prefix) {
  size_t n = std::strlen(prefix);
  if (s.size() < n) return false;
  for (size_t i = 0; i < n; ++i) {
    char a = s[i], b = prefix[i];
    if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 'a' + 'A');
    if (a != b) return false;
  }
  return true;
}

bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }

}  // namespace

// zlib's crc32 is the same reflected CRC-32 (polynomial 0xEDB88320) with the register inverted on entry
// and on exit; inverting around it gives the plain register update, several bytes at a time.
uint32_t UpdateCrc32(uint32_t Crc, const void* Buf, int32_t Len) {
  if (Len <= 0) return Crc;
  return ~static_cast<uint32_t>(
      crc32(~Crc & 0xFFFFFFFFu, static_cast<const Bytef*>(Buf), static_cast<uInt>(Len)));
}

std::string TwoDigits(int N) {
  std::string s = std::to_string(N);
  return (N >= 0 && N <= 9) ? "0" + s : s;
}

std::string TimeToText(TDateTime Time) {
  if (!std::isfinite(Time)) Time = 0;
  // The time of day is the fraction's magnitude, also for dates before 1899-12-30.
  double fraction = std::fabs(Time - std::trunc(Time));
  int64_t ms = std::llround(fraction * static_cast<double>(kMSecsPerDay)) % kMSecsPerDay;
  int64_t minutes = ms / kMSecsPerMinute;
  return TwoDigits(static_cast<int>(minutes / 60)) + ":" + TwoDigits(static_cast<int>(minutes % 60));
}

std::string VersionNumberToStr(uint32_t MS, uint32_t LS) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%d.%d.%d.%d", static_cast<int>(MS >> 16), static_cast<int>(MS & 0xFFFF),
                static_cast<int>(LS >> 16), static_cast<int>(LS & 0xFFFF));
  return buf;
}

// --- Version information ------------------------------------------------------------------------------

void RegisterVersionRecord(const std::u16string& ModuleName, TVersionRecord Record) {
  std::lock_guard<std::mutex> lock(g_versionMutex);
  VersionRecords()[ModuleName] = std::move(Record);
}

TVersionInfo::TVersionInfo(std::u16string FileName) : FileName(std::move(FileName)) { ReadInfo(); }

void TVersionInfo::ReadInfo() {
  Valid = false;
  Record.reset();
  std::lock_guard<std::mutex> lock(g_versionMutex);
  auto it = VersionRecords().find(BaseName(FileName));
  if (it == VersionRecords().end()) return;
  Record = it->second;
  Valid = true;
}

std::optional<std::pair<uint16_t, uint16_t>> TVersionInfo::GetTranslation() const {
  if (!Valid) return std::nullopt;
  return Record->Translation;
}

std::string TVersionInfo::GetTranslationStr() const {
  auto translation = GetTranslation();
  if (!translation) return "";
  char buf[16];
  std::snprintf(buf, sizeof buf, "%.4X%.4X", static_cast<unsigned>(translation->first),
                static_cast<unsigned>(translation->second));
  return buf;
}

const TFixedFileInfo* TVersionInfo::GetFixedInfo() const { return Valid ? &Record->Fixed : nullptr; }

uint64_t TVersionInfo::GetFileVersionNumber() const {
  const TFixedFileInfo* fixed = GetFixedInfo();
  return fixed ? uint64_t{fixed->FileVersionMS} << 32 | fixed->FileVersionLS : 0;
}

uint64_t TVersionInfo::GetProductVersionNumber() const {
  const TFixedFileInfo* fixed = GetFixedInfo();
  return fixed ? uint64_t{fixed->ProductVersionMS} << 32 | fixed->ProductVersionLS : 0;
}

std::string TVersionInfo::GetVerValue(const std::string& Name) const {
  if (GetTranslationStr().empty()) return "";
  auto it = Record->Strings.find(Name);
  return it == Record->Strings.end() ? "" : Utf16ToUtf8(it->second);
}

std::string TVersionInfo::GetFileVersionStr() const {
  std::string s = GetVerValue("FileVersion");
  if (s.empty() && Valid) s = VersionNumberToStr(Record->Fixed.FileVersionMS, Record->Fixed.FileVersionLS);
  return s;
}

std::string TVersionInfo::GetProductVersionStr() const {
  std::string s = GetVerValue("ProductVersion");
  if (s.empty() && Valid)
    s = VersionNumberToStr(Record->Fixed.ProductVersionMS, Record->Fixed.ProductVersionLS);
  return s;
}

// --- Registry by key path -----------------------------------------------------------------------------

TRegRoot ParseRegRoot(std::string& Path) {
  static const std::pair<const char*, TRegRoot> kRoots[] = {
      {"HKEY_CLASSES_ROOT\\", TRegRoot::ClassesRoot},
      {"HKEY_CURRENT_USER\\", TRegRoot::CurrentUser},
      {"HKEY_LOCAL_MACHINE\\", TRegRoot::LocalMachine},
      {"HKEY_USERS\\", TRegRoot::Users},
  };
  for (const auto& [name, root] : kRoots) {
    if (StartsWithNoCase(Path, name)) {
      Path.erase(0, std::strlen(name));
      return root;
    }
  }
  return TRegRoot::CurrentUser;
}

namespace {

bool OpenKeyPath(const std::string& Path, bool Create, TRegKey& Key, bool* NewlyCreated) {
  std::string rest = Path;
  TRegRoot root = ParseRegRoot(rest);
  return RegStore().OpenKey(root, rest, Create, Key, NewlyCreated) == TRegStatus::Ok;
}

}  // namespace

bool RegCreateKeyPath(const std::string& Path, TRegKey& Key, bool* NewlyCreated) {
  return OpenKeyPath(Path, true, Key, NewlyCreated);
}

bool RegOpenKeyPath(const std::string& Path, TRegKey& Key) { return OpenKeyPath(Path, false, Key, nullptr); }

bool RegReadKeyValue(const TRegKey& Key, const std::string& ValueName, void* Buf, uint32_t& Size,
                     uint32_t* ValueType) {
  TRegValue value;
  if (RegStore().ReadValue(Key, ValueName, value) != TRegStatus::Ok) return false;
  if (value.Data.size() > UINT32_MAX) return false;
  uint32_t room = Size;
  Size = static_cast<uint32_t>(value.Data.size());
  if (ValueType != nullptr) *ValueType = value.Type;
  if (Buf == nullptr) return true;
  if (Size > room) return false;
  if (Size > 0) std::memcpy(Buf, value.Data.data(), Size);
  return true;
}

bool RegReadValue(const std::string& Path, const std::string& ValueName, void* Buf, uint32_t& Size,
                  uint32_t* ValueType) {
  TRegKey key;
  return OpenKeyPath(Path, false, key, nullptr) && RegReadKeyValue(key, ValueName, Buf, Size, ValueType);
}

bool RegWriteValue(const std::string& Path, const std::string& ValueName, const void* Data, uint32_t Size,
                   uint32_t ValueType) {
  TRegKey key;
  return OpenKeyPath(Path, true, key, nullptr) &&
         RegStore().WriteValue(key, ValueName, ValueType, Data, Size) == TRegStatus::Ok;
}

// --- Fitting a text into a width ----------------------------------------------------------------------

std::u16string WideFitText(const TMeasureText& Measure, const std::u16string& Text, int MaxWidth) {
  static const std::u16string kEllipsis = u"\u2026";
  if (Text.empty() || Measure(Text) <= MaxWidth) return Text;
  int room = MaxWidth - Measure(kEllipsis);
  if (room <= 0) return u"";
  // Prefix lengths that do not split a surrogate pair, in increasing order; widths grow with length.
  std::vector<size_t> cuts;
  for (size_t n = 0; n < Text.size(); ++n)
    if (n == 0 || !(IsLowSurrogate(Text[n]) && IsHighSurrogate(Text[n - 1]))) cuts.push_back(n);
  size_t lo = 0, hi = cuts.size() - 1;  // cuts[lo] fits (the empty prefix always does)
  while (lo < hi) {
    size_t mid = (lo + hi + 1) / 2;
    if (Measure(Text.substr(0, cuts[mid])) <= room)
      lo = mid;
    else
      hi = mid - 1;
  }
  return Text.substr(0, cuts[lo]) + kEllipsis;
}
