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

char UpperAscii(char C) { return (C >= 'a' && C <= 'z') ? static_cast<char>(C - 'a' + 'A') : C; }

TDateTime EncodeDateTime(int64_t Y, int M, int D, int Hh, int Mm, int Ss) {
  return kUnixEpochDate + static_cast<double>(DaysFromCivil(Y, M, D)) + (Hh * 3600 + Mm * 60 + Ss) / 86400.0;
}

// A TDateTime as whole seconds since 1970 (rounded to the nearest second) and the leftover fraction of a
// second, so that conversions through time_t keep milliseconds.
bool ToUnixSeconds(TDateTime T, int64_t& Secs, double& Frac) {
  double S = (T - kUnixEpochDate) * kSecsPerDay;
  if (!std::isfinite(S) || std::fabs(S) > 1e15) return false;
  Secs = static_cast<int64_t>(std::floor(S));
  Frac = S - static_cast<double>(Secs);
  return true;
}

void ReadZoneOnce() {
  static std::once_flag Once;
  std::call_once(Once, [] { tzset(); });
}

size_t Utf8SequenceLength(const std::string& S, size_t P) {
  unsigned char C = static_cast<unsigned char>(S[P]);
  size_t N = C >= 0xF0 && C <= 0xF4 ? 4 : C >= 0xE0 ? 3 : C >= 0xC2 && C <= 0xDF ? 2 : 1;
  if (C >= 0xF5) N = 1;
  if (P + N > S.size()) return 1;
  for (size_t I = 1; I < N; ++I)
    if ((static_cast<unsigned char>(S[P + I]) & 0xC0) != 0x80) return 1;
  return N;
}

}  // namespace

// --- Paths and names ----------------------------------------------------------------------------------

std::string AppendPath(const std::string& Dir, const std::string& Name) {
  if (Dir.empty()) return "";
  return IncludeItemSeparator(Dir) + Name;
}

std::string IncludeItemSeparator(const std::string& S) {
  if (S.empty() || S.back() == kItemSeparator) return S;
  return S + kItemSeparator;
}

std::string BackslashesToSlashes(const std::string& S) {
  std::string Out = S;
  for (char& C : Out)
    if (C == kForeignSeparator) C = kItemSeparator;
  return Out;
}

std::string NormalizeNameSlashes(const std::string& S) {
  std::string Out = S;
  for (size_t I = 0; I < Out.size(); ++I) {
    unsigned char C = static_cast<unsigned char>(Out[I]);
    if ((C >= 0x80 && C <= 0x9F) || (C >= 0xE0 && C <= 0xFD)) {
      ++I;  // a double-byte character: its second byte is never a separator
    } else if (C == kForeignSeparator || C == 0xFF) {
      Out[I] = kItemSeparator;
    }
  }
  size_t First = Out.find_first_not_of(' ');
  if (First == std::string::npos) return "";
  size_t Last = Out.find_last_not_of(' ');
  return Out.substr(First, Last - First + 1);
}

std::string ConvertItemName(const std::string& Name, bool FromOem) {
  if (Name.empty()) return Name;
  std::string Converted = Name;
  if (FromOem) {
    // A single-byte page needs at most 3 UTF-8 bytes per byte.
    std::string Utf8(Name.size() * 3, '\0');
    int32_t N = qvnls::ConvertBufsDef(Name.data(), static_cast<int32_t>(Name.size()), Utf8.data(),
                                      static_cast<int32_t>(Utf8.size()), qvnls::GetOemCharset(),
                                      qvnls::kCharsetUtf8, '?');
    if (N >= 0) Converted = Utf8.substr(0, static_cast<size_t>(N));
  }
  return BackslashesToSlashes(Converted);
}

int32_t FirstDotPos(const std::string& Name) {
  size_t Dot = Name.find('.');
  return static_cast<int32_t>(Dot == std::string::npos ? Name.size() : Dot);
}

std::string TempBackupName(const std::string& Name) {
  std::string Ext;
  size_t LastDot = Name.rfind('.');
  if (LastDot != std::string::npos) Ext = Name.substr(LastDot + 1);
  if (Ext.size() >= 3) Ext.pop_back();
  return Name.substr(0, static_cast<size_t>(FirstDotPos(Name))) + ".~" + Ext;
}

bool FolderExists(const std::string& Name) {
  struct stat St;
  return !Name.empty() && stat(Name.c_str(), &St) == 0 && S_ISDIR(St.st_mode);
}

bool ForceDirectories(const std::string& Path) {
  if (Path.empty()) return false;
  for (size_t Pos = Path.find(kItemSeparator, 1);; Pos = Path.find(kItemSeparator, Pos + 1)) {
    std::string Part = Path.substr(0, Pos);
    if (!Part.empty() && Part.back() != kItemSeparator && mkdir(Part.c_str(), 0777) != 0 && errno != EEXIST)
      return false;
    if (Pos == std::string::npos) break;
  }
  return FolderExists(Path);
}

bool IsUncPath(const std::string& S) {
  return S.size() > 2 && S[0] == kItemSeparator && S[1] == kItemSeparator;
}

std::string GetTempPathString() {
  const std::string Dir = GetTempDir();
  return FolderExists(Dir) ? Dir : "";
}

void SplitAtDelimiter(std::string& S, char Delimiter, std::string& Head) {
  size_t Pos = S.find(Delimiter);
  if (Pos == std::string::npos) {
    Head = S;
    S.clear();
  } else {
    Head = S.substr(0, Pos);
    S.erase(0, Pos + 1);
  }
}

bool IsAllDigits(const std::string& S) {
  for (char C : S)
    if (C < '0' || C > '9') return false;
  return true;
}

// --- Numbers ------------------------------------------------------------------------------------------

int32_t Percent(double Total, double Part) {
  if (!(Total > 0)) return 0;
  double Value = std::round(Part * 100.0 / Total);
  if (!(Value >= 0)) return 0;  // negative or not a number
  return Value > 100 ? 100 : static_cast<int32_t>(Value);
}

uint32_t PercentOf(uint32_t Part, uint32_t Total) {
  if (Total == 0) return 0;
  uint64_t Value = (uint64_t{Part} * 100 + Total / 2) / Total;
  return Value > 100 ? 100 : static_cast<uint32_t>(Value);
}

uint32_t MinUnsigned(uint32_t A, uint32_t B) { return A < B ? A : B; }

uint32_t SwapWords(uint32_t X) { return (X << 16) | (X >> 16); }

int64_t OctalToInt(const std::string& S) {
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  int64_t Value = 0;
  for (char C : S) {
    if (C < '0' || C > '7') continue;
    if (Value > (kMax >> 3)) return kMax;
    Value = Value * 8 + (C - '0');
  }
  return Value;
}

// --- Dates --------------------------------------------------------------------------------------------

TDateTime DefaultArchiveDate() { return EncodeDateTime(1980, 1, 1, 0, 1, 0); }

TDateTime DosDateTimeToDateTime(uint32_t X) {
  int Year = 1980 + static_cast<int>(X >> 25);
  int Month = static_cast<int>((X >> 21) & 0x0F);
  int Day = static_cast<int>((X >> 16) & 0x1F);
  int Hour = static_cast<int>((X >> 11) & 0x1F);
  int Minute = static_cast<int>((X >> 5) & 0x3F);
  int Second = static_cast<int>(X & 0x1F) * 2;
  if (X == 0 || Month < 1 || Month > 12 || Day < 1 || Day > DaysInMonth(Year, Month) || Hour > 23 ||
      Minute > 59 || Second > 59)
    return DefaultArchiveDate();
  return EncodeDateTime(Year, Month, Day, Hour, Minute, Second);
}

TDateTime UnixToUtcDateTime(int64_t Seconds) {
  if (Seconds == 0) return DefaultArchiveDate();
  // Floor division keeps times before 1970 on their own day.
  int64_t Days = Seconds / kSecsPerDay;
  int64_t Rest = Seconds % kSecsPerDay;
  if (Rest < 0) {
    Rest += kSecsPerDay;
    --Days;
  }
  return kUnixEpochDate + static_cast<double>(Days) + static_cast<double>(Rest) / kSecsPerDay;
}

TDateTime UnixToDateTime(int64_t Seconds) {
  if (Seconds == 0) return DefaultArchiveDate();
  return UtcToLocal(UnixToUtcDateTime(Seconds));
}

TDateTime UtcToLocal(TDateTime T) {
  int64_t Secs;
  double Frac;
  if (!ToUnixSeconds(T, Secs, Frac)) return T;
  ReadZoneOnce();
  time_t Tt = static_cast<time_t>(Secs);
  struct tm Local;
  if (localtime_r(&Tt, &Local) == nullptr) return T;
  return T + static_cast<double>(Local.tm_gmtoff) / kSecsPerDay;
}

bool IsDaylightTime(TDateTime T) {
  int64_t Secs;
  double Frac;
  if (!ToUnixSeconds(T, Secs, Frac)) return false;
  ReadZoneOnce();
  int64_t Days = Secs / kSecsPerDay, Rest = Secs % kSecsPerDay;
  if (Rest < 0) {
    Rest += kSecsPerDay;
    --Days;
  }
  int64_t Y;
  int M, D;
  CivilFromDays(Days, Y, M, D);
  if (Y < 1900 || Y > 9999) return false;
  struct tm Wall = {};
  Wall.tm_year = static_cast<int>(Y - 1900);
  Wall.tm_mon = M - 1;
  Wall.tm_mday = D;
  Wall.tm_hour = static_cast<int>(Rest / 3600);
  Wall.tm_min = static_cast<int>(Rest / 60 % 60);
  Wall.tm_sec = static_cast<int>(Rest % 60);
  Wall.tm_isdst = -1;
  if (mktime(&Wall) == static_cast<time_t>(-1)) return false;
  return Wall.tm_isdst > 0;
}

TDateTime AddMonths(int32_t Months, TDateTime T) {
  if (!std::isfinite(T) || std::fabs(T) > 1e9) return T;
  double Day = std::floor(T);
  double Time = T - Day;
  int64_t Y;
  int M, D;
  CivilFromDays(static_cast<int64_t>(Day - kUnixEpochDate), Y, M, D);
  int64_t Total = Y * 12 + (M - 1) + Months;
  int64_t Ny = Total >= 0 ? Total / 12 : (Total - 11) / 12;
  int Nm = static_cast<int>(Total - Ny * 12) + 1;
  int Nd = D > DaysInMonth(Ny, Nm) ? DaysInMonth(Ny, Nm) : D;
  return kUnixEpochDate + static_cast<double>(DaysFromCivil(Ny, Nm, Nd)) + Time;
}

// --- Masks --------------------------------------------------------------------------------------------

TInternalMask::TInternalMask(const std::string& Mask) {
  bool Star = false;
  for (char C : Mask) {
    if (C == '*') {
      Star = true;
      continue;
    }
    if (C == '?' && Star) continue;  // "*?" is the same as "*"
    TMaskItem Item;
    Item.Star = Star;
    Item.Kind = C == '?' ? ikAnyChar : ikChar;
    Item.Char = C == '?' ? 0 : UpperAscii(C);
    Items.push_back(Item);
    Star = false;
  }
  TMaskItem End;
  End.Star = Star;
  Items.push_back(End);
  TrailingDot = !Mask.empty() && Mask.back() == '.';
}

bool TInternalMask::Matches(const std::string& Name) const {
  const std::string Subject = (TrailingDot && Name.find('.') == std::string::npos) ? Name + "." : Name;
  // Whether the item matches at p; the end item matches only at the end of the name.
  auto Fits = [&](const TMaskItem& Item, size_t P) -> bool {
    if (Item.Kind == ikChar && Item.Char == 0) return P == Subject.size();
    if (P >= Subject.size()) return false;
    unsigned char C = static_cast<unsigned char>(UpperAscii(Subject[P]));
    switch (Item.Kind) {
      case ikChar:
        return C == static_cast<unsigned char>(Item.Char);
      case ikAnyChar:
        return true;
      case ikSet:
        return Item.Set.test(C);
    }
    return false;
  };
  // How many bytes the item's match at p takes.
  auto Width = [&](const TMaskItem& Item, size_t P) -> size_t {
    if (Item.Kind == ikAnyChar) return Utf8SequenceLength(Subject, P);
    return (Item.Kind == ikChar && Item.Char == 0) ? 0 : 1;
  };

  struct Retry {
    size_t Pos;
    size_t Item;
  };
  std::vector<Retry> Retries;
  size_t Pos = 0, Index = 0;
  while (Index < Items.size()) {
    const TMaskItem& Item = Items[Index];
    bool Ok = true;
    if (Item.Star) {
      while (Pos <= Subject.size() && !Fits(Item, Pos)) ++Pos;
      Ok = Pos <= Subject.size();
      if (Ok && Pos < Subject.size()) Retries.push_back({Pos + 1, Index});
    } else {
      Ok = Fits(Item, Pos);
    }
    if (Ok) {
      Pos += Width(Item, Pos);
      ++Index;
      continue;
    }
    if (Retries.empty()) return false;
    Pos = Retries.back().Pos;
    Index = Retries.back().Item;
    Retries.pop_back();
  }
  return true;
}

bool MatchInternalMask(const std::string& Name, const std::string& Mask) {
  return TInternalMask(Mask).Matches(Name);
}
