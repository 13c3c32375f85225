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
  static std::map<std::u16string, TVersionRecord> Records;
  return Records;
}

std::u16string BaseName(const std::u16string& Path) {
  size_t Slash = Path.rfind(u'/');
  return Slash == std::u16string::npos ? Path : Path.substr(Slash + 1);
}

bool StartsWithNoCase(const std::string& S, const char* Prefix) {
  size_t N = std::strlen(Prefix);
  if (S.size() < N) return false;
  for (size_t I = 0; I < N; ++I) {
    char A = S[I], B = Prefix[I];
    if (A >= 'a' && A <= 'z') A = static_cast<char>(A - 'a' + 'A');
    if (A != B) return false;
  }
  return true;
}

bool IsLowSurrogate(char16_t C) { return C >= 0xDC00 && C <= 0xDFFF; }
bool IsHighSurrogate(char16_t C) { return C >= 0xD800 && C <= 0xDBFF; }

}  // namespace

// zlib's crc32 is the same reflected CRC-32 (polynomial 0xEDB88320) with the register inverted on entry
// and on exit; inverting around it gives the plain register update, several bytes at a time.
uint32_t UpdateCrc32(uint32_t Crc, const void* Buf, int32_t Len) {
  if (Len <= 0) return Crc;
  return ~static_cast<uint32_t>(
      crc32(~Crc & 0xFFFFFFFFu, static_cast<const Bytef*>(Buf), static_cast<uInt>(Len)));
}

std::string TwoDigits(int N) {
  std::string S = std::to_string(N);
  return (N >= 0 && N <= 9) ? "0" + S : S;
}

std::string TimeToText(TDateTime Time) {
  if (!std::isfinite(Time)) Time = 0;
  // The time of day is the fraction's magnitude, also for dates before 1899-12-30.
  double Fraction = std::fabs(Time - std::trunc(Time));
  int64_t Ms = std::llround(Fraction * static_cast<double>(kMSecsPerDay)) % kMSecsPerDay;
  int64_t Minutes = Ms / kMSecsPerMinute;
  return TwoDigits(static_cast<int>(Minutes / 60)) + ":" + TwoDigits(static_cast<int>(Minutes % 60));
}

std::string VersionNumberToStr(uint32_t MS, uint32_t LS) {
  char Buf[48];
  std::snprintf(Buf, sizeof Buf, "%d.%d.%d.%d", static_cast<int>(MS >> 16), static_cast<int>(MS & 0xFFFF),
                static_cast<int>(LS >> 16), static_cast<int>(LS & 0xFFFF));
  return Buf;
}

// --- Version information ------------------------------------------------------------------------------

void RegisterVersionRecord(const std::u16string& ModuleName, TVersionRecord Record) {
  std::lock_guard<std::mutex> Lock(g_versionMutex);
  VersionRecords()[ModuleName] = std::move(Record);
}

TVersionInfo::TVersionInfo(std::u16string FileName) : FileName(std::move(FileName)) { ReadInfo(); }

void TVersionInfo::ReadInfo() {
  Valid = false;
  Record_.reset();
  std::lock_guard<std::mutex> Lock(g_versionMutex);
  auto It = VersionRecords().find(BaseName(FileName));
  if (It == VersionRecords().end()) return;
  Record_ = It->second;
  Valid = true;
}

std::optional<std::pair<uint16_t, uint16_t>> TVersionInfo::GetTranslation() const {
  if (!Valid) return std::nullopt;
  return Record_->Translation;
}

std::string TVersionInfo::GetTranslationStr() const {
  auto Translation = GetTranslation();
  if (!Translation) return "";
  char Buf[16];
  std::snprintf(Buf, sizeof Buf, "%.4X%.4X", static_cast<unsigned>(Translation->first),
                static_cast<unsigned>(Translation->second));
  return Buf;
}

const TFixedFileInfo* TVersionInfo::GetFixedInfo() const { return Valid ? &Record_->Fixed : nullptr; }

uint64_t TVersionInfo::GetFileVersionNumber() const {
  const TFixedFileInfo* Fixed = GetFixedInfo();
  return Fixed ? uint64_t{Fixed->FileVersionMS} << 32 | Fixed->FileVersionLS : 0;
}

uint64_t TVersionInfo::GetProductVersionNumber() const {
  const TFixedFileInfo* Fixed = GetFixedInfo();
  return Fixed ? uint64_t{Fixed->ProductVersionMS} << 32 | Fixed->ProductVersionLS : 0;
}

std::string TVersionInfo::GetVerValue(const std::string& Name) const {
  if (GetTranslationStr().empty()) return "";
  auto It = Record_->Strings.find(Name);
  return It == Record_->Strings.end() ? "" : Utf16ToUtf8(It->second);
}

std::string TVersionInfo::GetFileVersionStr() const {
  std::string S = GetVerValue("FileVersion");
  if (S.empty() && Valid) S = VersionNumberToStr(Record_->Fixed.FileVersionMS, Record_->Fixed.FileVersionLS);
  return S;
}

std::string TVersionInfo::GetProductVersionStr() const {
  std::string S = GetVerValue("ProductVersion");
  if (S.empty() && Valid)
    S = VersionNumberToStr(Record_->Fixed.ProductVersionMS, Record_->Fixed.ProductVersionLS);
  return S;
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
  std::string Rest = Path;
  TRegRoot Root = ParseRegRoot(Rest);
  return RegStore().OpenKey(Root, Rest, Create, Key, NewlyCreated) == TRegStatus::Ok;
}

}  // namespace

bool RegCreateKeyPath(const std::string& Path, TRegKey& Key, bool* NewlyCreated) {
  return OpenKeyPath(Path, true, Key, NewlyCreated);
}

bool RegOpenKeyPath(const std::string& Path, TRegKey& Key) { return OpenKeyPath(Path, false, Key, nullptr); }

bool RegReadKeyValue(const TRegKey& Key, const std::string& ValueName, void* Buf, uint32_t& Size,
                     uint32_t* ValueType) {
  TRegValue Value;
  if (RegStore().ReadValue(Key, ValueName, Value) != TRegStatus::Ok) return false;
  if (Value.Data.size() > UINT32_MAX) return false;
  uint32_t Room = Size;
  Size = static_cast<uint32_t>(Value.Data.size());
  if (ValueType != nullptr) *ValueType = Value.Type;
  if (Buf == nullptr) return true;
  if (Size > Room) return false;
  if (Size > 0) std::memcpy(Buf, Value.Data.data(), Size);
  return true;
}

bool RegReadValue(const std::string& Path, const std::string& ValueName, void* Buf, uint32_t& Size,
                  uint32_t* ValueType) {
  TRegKey Key;
  return OpenKeyPath(Path, false, Key, nullptr) && RegReadKeyValue(Key, ValueName, Buf, Size, ValueType);
}

bool RegWriteValue(const std::string& Path, const std::string& ValueName, const void* Data, uint32_t Size,
                   uint32_t ValueType) {
  TRegKey Key;
  return OpenKeyPath(Path, true, Key, nullptr) &&
         RegStore().WriteValue(Key, ValueName, ValueType, Data, Size) == TRegStatus::Ok;
}

// --- Fitting a text into a width ----------------------------------------------------------------------

std::u16string WideFitText(const TMeasureText& Measure, const std::u16string& Text, int MaxWidth) {
  static const std::u16string kEllipsis = u"\u2026";
  if (Text.empty() || Measure(Text) <= MaxWidth) return Text;
  int Room = MaxWidth - Measure(kEllipsis);
  if (Room <= 0) return u"";
  // Prefix lengths that do not split a surrogate pair, in increasing order; widths grow with length.
  std::vector<size_t> Cuts;
  for (size_t N = 0; N < Text.size(); ++N)
    if (N == 0 || !(IsLowSurrogate(Text[N]) && IsHighSurrogate(Text[N - 1]))) Cuts.push_back(N);
  size_t Lo = 0, Hi = Cuts.size() - 1;  // cuts[lo] fits (the empty prefix always does)
  while (Lo < Hi) {
    size_t Mid = (Lo + Hi + 1) / 2;
    if (Measure(Text.substr(0, Cuts[Mid])) <= Room)
      Lo = Mid;
    else
      Hi = Mid - 1;
  }
  return Text.substr(0, Cuts[Lo]) + kEllipsis;
}
