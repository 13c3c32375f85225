#include "archive/arlGbls.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <mutex>

#include "core/CivilDate.h"
#include "core/VFileSys.h"
#include "platform/qvnls/Qvnls.h"

namespace {

// 1970-01-01 as a TDateTime.
constexpr double kUnixEpochDate = 25569.0;
constexpr int64_t kSecsPerDay = 86400;

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

TDateTime EncodeDateTime(int64_t y, int m, int d, int hh, int mm, int ss) {
  return kUnixEpochDate + static_cast<double>(DaysFromCivil(y, m, d)) + (hh * 3600 + mm * 60 + ss) / 86400.0;
}

// A TDateTime as whole seconds since 1970 (rounded to the nearest second) and the leftover fraction of a
// second, so that conversions through time_t keep milliseconds.
bool ToUnixSeconds(TDateTime t, int64_t& secs, double& frac) {
  double s = (t - kUnixEpochDate) * kSecsPerDay;
  if (!std::isfinite(s) || std::fabs(s) > 1e15) return false;
  secs = static_cast<int64_t>(std::floor(s));
  frac = s - static_cast<double>(secs);
  return true;
}

void ReadZoneOnce() {
  static std::once_flag once;
  std::call_once(once, [] { tzset(); });
}

size_t Utf8SequenceLength(const std::string& s, size_t p) {
  unsigned char c = static_cast<unsigned char>(s[p]);
  size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c <= 0xDF ? 2 : 1;
  if (c >= 0xF5) n = 1;
  if (p + n > s.size()) return 1;
  for (size_t i = 1; i < n; ++i)
    if ((static_cast<unsigned char>(s[p + i]) & 0xC0) != 0x80) return 1;
  return n;
}

}  // namespace

// --- Paths and names ----------------------------------------------------------------------------------

std::string AppendPath(const std::string& Dir, const std::string& Name) {
  if (Dir.empty()) return "";
  return IncludeBackslash(Dir) + Name;
}

std::string IncludeBackslash(const std::string& S) {
  if (S.empty() || S.back() == kItemSeparator) return S;
  return S + kItemSeparator;
}

std::string SlashesToBackslashes(const std::string& S) {
  std::string out = S;
  for (char& c : out)
    if (c == kForeignSeparator) c = kItemSeparator;
  return out;
}

std::string NormalizeNameSlashes(const std::string& S) {
  std::string out = S;
  for (size_t i = 0; i < out.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(out[i]);
    if ((c >= 0x80 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFD)) {
      ++i;  // a double-byte character: its second byte is never a separator
    } else if (c == kForeignSeparator || c == 0xFF) {
      out[i] = kItemSeparator;
    }
  }
  size_t first = out.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  size_t last = out.find_last_not_of(' ');
  return out.substr(first, last - first + 1);
}

std::string ConvertItemName(const std::string& Name, bool FromOem) {
  if (Name.empty()) return Name;
  std::string name = Name;
  if (FromOem) {
    // A single-byte page needs at most 3 UTF-8 bytes per byte.
    std::string utf8(Name.size() * 3, '\0');
    int32_t n = qvnls::ConvertBufsDef(Name.data(), static_cast<int32_t>(Name.size()), utf8.data(),
                                      static_cast<int32_t>(utf8.size()), qvnls::GetOemCharset(),
                                      qvnls::kCharsetUtf8, '?');
    if (n >= 0) name = utf8.substr(0, static_cast<size_t>(n));
  }
  return SlashesToBackslashes(name);
}

int32_t FirstDotPos(const std::string& Name) {
  size_t dot = Name.find('.');
  return static_cast<int32_t>(dot == std::string::npos ? Name.size() : dot);
}

std::string TempBackupName(const std::string& Name) {
  std::string ext;
  size_t lastDot = Name.rfind('.');
  if (lastDot != std::string::npos) ext = Name.substr(lastDot + 1);
  if (ext.size() >= 3) ext.pop_back();
  return Name.substr(0, static_cast<size_t>(FirstDotPos(Name))) + ".~" + ext;
}

bool FolderExists(const std::string& Name) {
  struct stat st;
  return !Name.empty() && stat(Name.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ForceDirectories(const std::string& Path) {
  if (Path.empty()) return false;
  for (size_t pos = Path.find(kItemSeparator, 1);; pos = Path.find(kItemSeparator, pos + 1)) {
    std::string part = Path.substr(0, pos);
    if (!part.empty() && part.back() != kItemSeparator && mkdir(part.c_str(), 0777) != 0 && errno != EEXIST)
      return false;
    if (pos == std::string::npos) break;
  }
  return FolderExists(Path);
}

bool IsUncPath(const std::string& S) {
  return S.size() > 2 && S[0] == kItemSeparator && S[1] == kItemSeparator;
}

std::string GetTempPathString() {
  const std::string dir = GetTempDir();
  return FolderExists(dir) ? dir : "";
}

void SplitAtDelimiter(std::string& S, char Delimiter, std::string& Head) {
  size_t pos = S.find(Delimiter);
  if (pos == std::string::npos) {
    Head = S;
    S.clear();
  } else {
    Head = S.substr(0, pos);
    S.erase(0, pos + 1);
  }
}

bool IsAllDigits(const std::string& S) {
  for (char c : S)
    if (c < '0' || c > '9') return false;
  return true;
}

// --- Numbers ------------------------------------------------------------------------------------------

int32_t Percent(double Total, double Part) {
  if (!(Total > 0)) return 0;
  double value = std::round(Part * 100.0 / Total);
  if (!(value >= 0)) return 0;  // negative or not a number
  return value > 100 ? 100 : static_cast<int32_t>(value);
}

uint32_t PercentOf(uint32_t Part, uint32_t Total) {
  if (Total == 0) return 0;
  uint64_t value = (uint64_t{Part} * 100 + Total / 2) / Total;
  return value > 100 ? 100 : static_cast<uint32_t>(value);
}

uint32_t MinUnsigned(uint32_t A, uint32_t B) { return A < B ? A : B; }

uint32_t SwapWords(uint32_t X) { return (X << 16) | (X >> 16); }

int64_t OctalToInt(const std::string& S) {
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  int64_t value = 0;
  for (char c : S) {
    if (c < '0' || c > '7') continue;
    if (value > (kMax >> 3)) return kMax;
    value = value * 8 + (c - '0');
  }
  return value;
}

// --- Dates --------------------------------------------------------------------------------------------

TDateTime DefaultArchiveDate() { return EncodeDateTime(1980, 1, 1, 0, 1, 0); }

TDateTime DosDateTimeToDateTime(uint32_t X) {
  int year = 1980 + static_cast<int>(X >> 25);
  int month = static_cast<int>((X >> 21) & 0x0F);
  int day = static_cast<int>((X >> 16) & 0x1F);
  int hour = static_cast<int>((X >> 11) & 0x1F);
  int minute = static_cast<int>((X >> 5) & 0x3F);
  int second = static_cast<int>(X & 0x1F) * 2;
  if (X == 0 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 ||
      minute > 59 || second > 59)
    return DefaultArchiveDate();
  return EncodeDateTime(year, month, day, hour, minute, second);
}

TDateTime UnixToUtcDateTime(int64_t Seconds) {
  if (Seconds == 0) return DefaultArchiveDate();
  // Floor division keeps times before 1970 on their own day.
  int64_t days = Seconds / kSecsPerDay;
  int64_t rest = Seconds % kSecsPerDay;
  if (rest < 0) {
    rest += kSecsPerDay;
    --days;
  }
  return kUnixEpochDate + static_cast<double>(days) + static_cast<double>(rest) / kSecsPerDay;
}

TDateTime UnixToDateTime(int64_t Seconds) {
  if (Seconds == 0) return DefaultArchiveDate();
  return UtcToLocal(UnixToUtcDateTime(Seconds));
}

TDateTime UtcToLocal(TDateTime T) {
  int64_t secs;
  double frac;
  if (!ToUnixSeconds(T, secs, frac)) return T;
  ReadZoneOnce();
  time_t tt = static_cast<time_t>(secs);
  struct tm local;
  if (localtime_r(&tt, &local) == nullptr) return T;
  return T + static_cast<double>(local.tm_gmtoff) / kSecsPerDay;
}

bool IsDaylightTime(TDateTime T) {
  int64_t secs;
  double frac;
  if (!ToUnixSeconds(T, secs, frac)) return false;
  ReadZoneOnce();
  int64_t days = secs / kSecsPerDay, rest = secs % kSecsPerDay;
  if (rest < 0) {
    rest += kSecsPerDay;
    --days;
  }
  int64_t y;
  int m, d;
  CivilFromDays(days, y, m, d);
  if (y < 1900 || y > 9999) return false;
  struct tm wall = {};
  wall.tm_year = static_cast<int>(y - 1900);
  wall.tm_mon = m - 1;
  wall.tm_mday = d;
  wall.tm_hour = static_cast<int>(rest / 3600);
  wall.tm_min = static_cast<int>(rest / 60 % 60);
  wall.tm_sec = static_cast<int>(rest % 60);
  wall.tm_isdst = -1;
  if (mktime(&wall) == static_cast<time_t>(-1)) return false;
  return wall.tm_isdst > 0;
}

TDateTime AddMonths(int32_t Months, TDateTime T) {
  if (!std::isfinite(T) || std::fabs(T) > 1e9) return T;
  double day = std::floor(T);
  double time = T - day;
  int64_t y;
  int m, d;
  CivilFromDays(static_cast<int64_t>(day - kUnixEpochDate), y, m, d);
  int64_t total = y * 12 + (m - 1) + Months;
  int64_t ny = total >= 0 ? total / 12 : (total - 11) / 12;
  int nm = static_cast<int>(total - ny * 12) + 1;
  int nd = d > DaysInMonth(ny, nm) ? DaysInMonth(ny, nm) : d;
  return kUnixEpochDate + static_cast<double>(DaysFromCivil(ny, nm, nd)) + time;
}

// --- Masks --------------------------------------------------------------------------------------------

TInternalMask::TInternalMask(const std::string& Mask) {
  bool star = false;
  for (char c : Mask) {
    if (c == '*') {
      star = true;
      continue;
    }
    if (c == '?' && star) continue;  // "*?" is the same as "*"
    TMaskItem item;
    item.Star = star;
    item.Kind = c == '?' ? ikAnyChar : ikChar;
    item.Char = c == '?' ? 0 : UpperAscii(c);
    Items.push_back(item);
    star = false;
  }
  TMaskItem end;
  end.Star = star;
  Items.push_back(end);
  TrailingDot = !Mask.empty() && Mask.back() == '.';
}

bool TInternalMask::Matches(const std::string& Name) const {
  const std::string name = (TrailingDot && Name.find('.') == std::string::npos) ? Name + "." : Name;
  // Whether the item matches at p; the end item matches only at the end of the name.
  auto fits = [&](const TMaskItem& item, size_t p) -> bool {
    if (item.Kind == ikChar && item.Char == 0) return p == name.size();
    if (p >= name.size()) return false;
    unsigned char c = static_cast<unsigned char>(UpperAscii(name[p]));
    switch (item.Kind) {
      case ikChar:
        return c == static_cast<unsigned char>(item.Char);
      case ikAnyChar:
        return true;
      case ikSet:
        return item.Set.test(c);
    }
    return false;
  };
  // How many bytes the item's match at p takes.
  auto width = [&](const TMaskItem& item, size_t p) -> size_t {
    if (item.Kind == ikAnyChar) return Utf8SequenceLength(name, p);
    return (item.Kind == ikChar && item.Char == 0) ? 0 : 1;
  };

  struct Retry {
    size_t pos;
    size_t item;
  };
  std::vector<Retry> retries;
  size_t pos = 0, index = 0;
  while (index < Items.size()) {
    const TMaskItem& item = Items[index];
    bool ok = true;
    if (item.Star) {
      while (pos <= name.size() && !fits(item, pos)) ++pos;
      ok = pos <= name.size();
      if (ok && pos < name.size()) retries.push_back({pos + 1, index});
    } else {
      ok = fits(item, pos);
    }
    if (ok) {
      pos += width(item, pos);
      ++index;
      continue;
    }
    if (retries.empty()) return false;
    pos = retries.back().pos;
    index = retries.back().item;
    retries.pop_back();
  }
  return true;
}

bool MatchInternalMask(const std::string& Name, const std::string& Mask) {
  return TInternalMask(Mask).Matches(Name);
}
