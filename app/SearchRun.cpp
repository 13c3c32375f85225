#include "app/SearchRun.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "app/IO.h"
#include "app/MainForm.h"
#include "app/MsgStr.h"
#include "app/Options.h"
#include "app/Utils.h"
#include "app/VVCLUtil.h"
#include "archive/ArcScan.h"
#include "archive/Archiver.h"
#include "core/FileLayer.h"
#include "core/StrUtils.h"
#include "search/QVConvIntf.h"

namespace {

// The file stream's own message already names the system error.
constexpr const char* kFileStreamClass = "TVBufFileStream";
// How an archive reports an encrypted item it got no fitting password for.
constexpr const char* kInvalidPasswordText = "Invalid password";

std::string Utf8(const std::u16string& S) { return Utf16ToUtf8(S); }

bool AnyArchiveKindEnabled() {
  for (int Kind = kFirstDecodedKind; Kind <= kLastDecodedKind; ++Kind)
    if (ArcInfos[static_cast<size_t>(Kind)].Enabled) return true;
  return false;
}

// Whether Name's extension is "exe" in any case.
bool HasExeExtension(const std::u16string& Name) {
  size_t Dot = Name.rfind(u'.');
  if (Dot == std::u16string::npos || Name.find(u'/', Dot) != std::u16string::npos) return false;
  std::u16string Ext = Name.substr(Dot + 1);
  if (Ext.size() != 3) return false;
  for (auto& C : Ext) C = static_cast<char16_t>(C >= u'A' && C <= u'Z' ? C + 32 : C);
  return Ext == u"exe";
}

bool ContainsWithoutCase(const std::string& Text, const std::string& Part) {
  return !Part.empty() && TextPos(Part, Text) > 0;
}

}  // namespace

TSearchLogic LogicOfIndex(int32_t Index) {
  if (Index == 0) return slAnyWord;
  if (Index == 1) return slAllWords;
  return slEntirePhrase;
}

TDateTime NowDateTime() {
  timespec Now{};
  clock_gettime(CLOCK_REALTIME, &Now);
  struct tm Local {};
  localtime_r(&Now.tv_sec, &Local);
  // Days since 1899-12-30 (the date origin), local time.
  double Seconds = static_cast<double>(Now.tv_sec) + static_cast<double>(Local.tm_gmtoff) + Now.tv_nsec / 1e9;
  return 25569.0 + Seconds / 86400.0;
}

std::string ScanErrorLine(const std::u16string& Name, const std::string& Text, int32_t OSCode,
                          TScanErrorKind Kind, bool DebugMode, const TSettings& Settings) {
  std::string N = Utf8(Name);
  std::string Details = Text;
  auto Plain = [&](TMsgIndex Msg) { return GetMsg(Msg) + " \"" + N + "\"."; };
  auto OsLine = [&](TMsgIndex Msg) {
    std::string Line = Plain(Msg);
    if (OSCode != 0) {
      Line += " ";
      Line += std::strerror(OSCode);
      if (Details.find(kFileStreamClass) != std::string::npos) Details.clear();
    }
    return Line;
  };
  std::string Line;
  switch (Kind) {
    case sekPathNotFound:
      Line = FormatMsg(TMsgIndex::PathNotExists_s, {N});
      Details.clear();
      break;
    case sekOpenFailed:
      Line = OsLine(TMsgIndex::ErrOpenFile);
      break;
    case sekConvertFailed:
      if (Text.empty()) return {};
      Line = FormatMsg(TMsgIndex::FileConvError_s, {N});
      break;
    case sekScanFailed:
      Line = OsLine(TMsgIndex::ErrScanFile);
      break;
    case sekEmptyFile:
      if (!DebugMode) return {};
      Line = FormatMsg(TMsgIndex::FileIsEmpty_s, {N});
      break;
    case sekNotText:
      if (!DebugMode) return {};
      Line = FormatMsg(TMsgIndex::FileNotText_s, {N});
      break;
    case sekTooLarge:
      Line = FormatMsg(TMsgIndex::FileTooLarge_s, {N});
      break;
    case sekTooLargeToConvert:
      Line = FormatMsg(TMsgIndex::FileTooLargeForConv_sd, {N, Settings.MaxConvertSize / 1048576});
      break;
    case sekArchiveOpenFailed:
      // A program that merely looks like a self-extracting archive is no error worth a line.
      if (HasExeExtension(Name)) return {};
      Line = Plain(TMsgIndex::ErrOpenArc);
      break;
    case sekSearchFailed:
      Line = Plain(TMsgIndex::ErrSearchIn);
      break;
    case sekArchiveWarning:
    case sekConvertWarning:
      Line = FormatMsg(TMsgIndex::WarnSearchIn_s, {N});
      break;
    case sekArchiveUnsupported:
      if (!DebugMode) return {};
      Line = FormatMsg(TMsgIndex::ArcUnsupported_s, {N});
      break;
    case sekArchiveDisabled:
      if (!DebugMode) return {};
      Line = FormatMsg(TMsgIndex::ArcDisabled_s, {N});
      break;
    case sekSubArchiveDisabled:
      if (!DebugMode) return {};
      Line = FormatMsg(TMsgIndex::SubArcDisabled_s, {N});
      break;
    case sekArchiveTooLarge:
      Line = FormatMsg(TMsgIndex::ArcTooLarge_sd, {N, Settings.MaxArchiveSize / 1048576});
      break;
    case sekException:
      if (ContainsWithoutCase(Text, N)) {
        // The text names the file already: it is the whole line, once.
        Line = Text;
        Details.clear();
      } else {
        Line = GetMsg(TMsgIndex::Exception);
        if (!N.empty()) Line += " (\"" + N + "\")";
      }
      break;
    default:
      return {};
  }
  if (!Details.empty()) Line = AddPeriod(Line) + "\r\n" + Details;
  return AddPeriod(Line);
}

TSearchRun::TSearchRun(TFileScanner& Scanner, ISearchHost& Host, TSettings& Settings)
    : Scanner(Scanner), Host_(Host), Settings_(Settings), Results_(std::make_unique<TSearchResults>()) {}

void TSearchRun::BindScanner() {
  Scanner.OnProgress = [this](const std::u16string& Name, TScanProgressKind Kind) {
    return FileScanProgress(Name, Kind);
  };
  Scanner.OnAcceptFile = [this](const std::u16string& FileName) { return FileScanAcceptFile(FileName); };
  Scanner.OnEnterFolder = [this](const std::u16string& Folder) { return FileScanEnterFolder(Folder); };
  Scanner.OnFilterFile = [this](const TFilterFileInfo& File) {
    return FileScanFilterFile(File.FileName, File.SizeIncomplete, File.Date, File.Size);
  };
  // The date and size filter reads only the search's settings, which stay as they are while it runs: the
  // workers that walk archives ahead may ask it too.
  Scanner.FilterFileAhead = Scanner.OnFilterFile;
  Scanner.OnFound = [this](const TFoundFileInfo& Info) { FileScanFound(Info); };
  Scanner.OnError = [this](const TScanError& Error) {
    FileScanError(Error.Name, Error.Text, Error.OSCode, Error.Kind);
  };
  Scanner.OnPassword = [this](TScanPasswordQuery& Query) {
    return FileScanPassword(Query.ArcFileName, Query.ArcName, Query.Password, Query.ItemName);
  };
  Scanner.Scanner.OnProgress = [this](int32_t Position) { return ScanProgress(Position); };
  if (Converters)
    Converters->OnProgress = [this](TQVConverter*, int32_t, int32_t) { return ConverterProgress(); };
}

void TSearchRun::SearchStartExec(TSearchFields& Fields) {
  if (Paused) {
    SearchPauseExec();
    return;
  }
  if (Busy) return;
  RunSearch(Fields);
}

bool TSearchRun::CheckFields(TSearchFields& F, std::u16string& Pattern, bool& Convert) {
  bool NoConverter = !Converters || Converters->EnabledCount() == 0;
  if (!F.DirectScan && F.ConvertToText && NoConverter) {
    ShowErrorMsg(TMsgIndex::ConvAllDisabled);
    return false;
  }
  Pattern = F.Pattern;
  if (F.Fuzzy || F.LogicIndex > 0) Pattern = WideTrim(Pattern);
  bool Empty = Pattern.empty();
  if (Empty && F.InResults) return false;
  // In the dialog style the search dialog has checked the paths, the masks and the empty pattern: the
  // boxes are taken as they stand, and nothing is asked a second time.
  const bool DialogStyle = F.CheckedByDialog;
  if (DialogStyle) {
    F.Paths = WideTrim(F.Paths);
    F.Masks = WideTrim(F.Masks);
  } else if (!F.InResults) {
    std::u16string Paths = WideTrim(F.Paths);
    if (!ValidatePathList(Paths)) {
      Host_.FocusBox(sbPaths);
      return false;
    }
    F.Paths = Paths;
    Host_.ShowFields(F);
    if (Paths.empty()) {
      ShowErrorMsg(TMsgIndex::SrchPathIsEmpty);
      Host_.FocusBox(sbPaths);
      return false;
    }
    std::u16string Masks = WideTrim(F.Masks);
    if (!ValidateMaskList(Masks)) {
      Host_.FocusBox(sbMasks);
      return false;
    }
    if (IsAllFilesMask(Masks) && !AskYesNoOnce(TMsgIndex::AskNoFileTypes, kAllFilesMaskBit, true)) {
      Host_.FocusBox(sbMasks);
      return false;
    }
    F.Masks = Masks;
    Host_.ShowFields(F);
  }
  if (!DialogStyle && Empty && !AskYesNoOnce(TMsgIndex::AskSearchIfEmptyPattern, kEmptyPatternBit, true)) {
    Host_.FocusBox(sbPattern);
    return false;
  }
  if (static_cast<int32_t>(Pattern.size()) > kMaxPatternLength) {
    ShowErrorMsg(TMsgIndex::SrchPatTooLong);
    Host_.FocusBox(sbPattern);
    return false;
  }
  UseDateFilter = F.FilterOn && F.DateFilterOn;
  DateFrom = F.DateFrom;
  DateTo = F.DateTo;
  if (DateFrom != 0 && DateTo != 0 && DateFrom > DateTo) std::swap(DateFrom, DateTo);
  UseSizeFilter = F.FilterOn && F.SizeFilterOn;
  SizeFrom = SizeTextToBytes(F.SizeFromText, F.SizeUnits);
  SizeTo = SizeTextToBytes(F.SizeToText, F.SizeUnits);
  if (SizeFrom >= 0 && SizeTo >= 0 && SizeFrom > SizeTo) std::swap(SizeFrom, SizeTo);

  Convert = F.ConvertToText;
  if (!F.DirectScan && !F.ConvertToText) F.DirectScan = true;
  if (F.ConvertToText && F.DirectScan && NoConverter) {
    ShowWarningMsg(TMsgIndex::ConvAllDisabled);
    Convert = false;
  }
  if (!F.PlainFiles && !F.Archives) {
    F.PlainFiles = true;
  } else if (F.Archives && !AnyArchiveKindEnabled()) {
    if (!F.PlainFiles) {
      ShowErrorMsg(TMsgIndex::ArcAllDisabled);
      return false;
    }
    ShowWarningMsg(TMsgIndex::ArcAllDisabled);
  }
  Host_.ShowFields(F);
  return true;
}

void TSearchRun::SetUpScanners(TSearchFields& F, const std::u16string& Pattern, bool Convert) {
  TStreamScanner& S = Scanner.Scanner;
  S.SetPattern(Pattern);
  S.SetLogic(LogicOfIndex(F.LogicIndex));
  S.Fuzzy = F.Fuzzy ? 1 : 0;
  S.SetCaseSensitive(F.CaseSensitive);
  S.WholeWords = F.WholeWords;
  Results_->Logic = S.GetLogic();
  Results_->Fuzzy = F.Fuzzy;
  Results_->CaseSensitive = F.CaseSensitive;
  Results_->WholeWords = F.WholeWords;

  Scanner.MaxScanSize = Settings_.MaxScanSize;
  Scanner.MaxConvertSize = Settings_.MaxConvertSize;
  Scanner.MaxArchiveSize = Settings_.MaxArchiveSize;
  Scanner.FilesScanned = 0;
  Scanner.SkipBinary = F.SkipBinary;
  Scanner.ScanNestedArchives = Settings_.ArchiveFlags.ProcessSubarchives;
  Scanner.Mode = smMatchName;
  if (F.DirectScan) Scanner.Mode |= smScanContents;
  if (Convert) Scanner.Mode |= smConvert;
  Results_->Mode = Scanner.Mode;
  TScanEncodings Encodings = 0;
  if (F.Ansi) Encodings |= kScanAnsi;
  if (F.Oem) Encodings |= kScanOem;
  if (F.Unicode) Encodings |= kScanUnicode;
  if (Encodings == 0) F.Ansi = true;  // the scanner searches ANSI for the empty set
  Scanner.Encodings = Encodings;
  Scanner.Scope = F.PlainFiles && F.Archives ? ssFilesAndArchives
                  : F.PlainFiles             ? ssFilesOnly
                                             : ssArchivesOnly;
}

void TSearchRun::RunSearch(TSearchFields& F) {
  std::u16string Pattern;
  bool Convert = false;
  if (!CheckFields(F, Pattern, Convert)) return;
  bool InResults = F.InResults;
  Host_.SaveSettings();
  StopRequested = false;
  Busy = true;
  InterruptLogged = ErrorsLogged = ProgressShown = false;
  bool Finished = false;
  try {
    Host_.StateChanged();
    if (!InResults) ClearResults();
    FoundCount = 0;
    PasswordTries = 0;
    PasswordTrials_.clear();
    Log(">>> " + GetMsg(TMsgIndex::SrchStart) + " " + Utf8(FormatDateTimeText(NowDateTime())));
    SetUpScanners(F, Pattern, Convert);
    Host_.ShowFields(F);
    uint32_t Start = Host_.TickCount();
    if (InResults) {
      std::unique_ptr<TSearchResults> Old = std::move(Results_);
      Results_ = std::make_unique<TSearchResults>();
      Results_->Logic = Old->Logic;
      Results_->Fuzzy = Old->Fuzzy;
      Results_->CaseSensitive = Old->CaseSensitive;
      Results_->WholeWords = Old->WholeWords;
      Results_->Mode = Old->Mode;
      RefreshCount(true);
      auto Accept = std::move(Scanner.OnAcceptFile);
      Scanner.OnAcceptFile = nullptr;  // every stored row is scanned again
      try {
        Finished = SearchInResults(*Old, Scanner);
      } catch (...) {
        Scanner.OnAcceptFile = std::move(Accept);
        throw;
      }
      Scanner.OnAcceptFile = std::move(Accept);
    } else {
      Finished = Scanner.Search(F.Paths, F.Masks, F.Subdirectories);
    }
    if (Finished) {
      std::string Line = "<<< " + GetMsg(TMsgIndex::SrchFin) + " " + Utf8(FormatDateTimeText(NowDateTime()));
      if (DebugMode || TimeMode) {
        uint32_t Elapsed = Host_.TickCount() - Start;
        char Seconds[32];
        std::snprintf(Seconds, sizeof Seconds, "%.2f", Elapsed / 1000.0);
        Line += std::string(" (") + Seconds + " s)";
      }
      Log(Line);
    }
  } catch (const std::exception& E) {
    // The animation stops before the error is shown; then the run ends as any other does (status line,
    // "Search in results" by the rows found so far).
    Finished = false;
    Busy = false;
    Host_.StateChanged();
    Log(ExceptionLogLine(E.what()), false, true);
    ShowErrorText(Utf8ToUtf16(E.what()));
  }
  Busy = false;
  StopRequested = false;
  RefreshCount(true);
  if (Pattern.empty()) Scanner.FilesScanned = 0;
  Host_.SetStatusMessage(
      [Scanned = Scanner.FilesScanned, Found = FoundCount] {
        return FormatMsgW(TMsgIndex::SrchStat_dd, {Scanned, Found});
      },
      true);
  Host_.StateChanged();
  if (Results_->Count() == 0) {
    F.InResults = false;
    Host_.ShowFields(F);
    if (Finished) {
      if (!F.PlainFiles && !ErrorsLogged && !ProgressShown)
        ShowInfoMsg(TMsgIndex::SrchNoSupArcFound);
      else if (!Pattern.empty())
        ShowInfoMsg(TMsgIndex::SrchPatNotFound);
    }
  }
}

void TSearchRun::SearchStopExec() {
  Host_.SetStatusMessage([] { return GetMsgW(TMsgIndex::Wait); }, false);
  StopRequested = true;
}

void TSearchRun::SearchPauseExec() {
  Paused = !Paused;
  Host_.StateChanged();
  if (!Paused) return;  // resumed: the waiting loop below ends
  Host_.WaitUntil([this] { return StopRequested || !Paused; });
  Paused = false;
  Host_.StateChanged();
}

void TSearchRun::AskStop() {
  if (AskYesNo(TMsgIndex::AskStopOperation)) StopRequested = true;
}

std::string TSearchRun::UserInterruptLine(TDateTime Now) {
  return "<<< " + GetMsg(TMsgIndex::UserInterrupt) + " " + Utf8(FormatDateTimeText(Now));
}

void TSearchRun::RefreshCount(bool Forced) {
  uint32_t Now = Host_.TickCount();
  if (!Forced) {
    uint32_t Passed = Now - LastRefreshTick;
    // The tick difference as an absolute value: a clock that went back still refreshes in time.
    if (static_cast<int32_t>(Passed) < 0) Passed = -Passed;
    if (Passed < kRefreshInterval) return;
  }
  Host_.RefreshRowCount();
  LastRefreshTick = Now;
}

void TSearchRun::ClearResults() {
  Results_->Clear();
  Host_.ClearSortMark();
  RefreshCount(true);
}

bool TSearchRun::ScanProgress(int32_t) {
  RefreshCount(false);
  Host_.ProcessMessages();
  LastPumpTick = Host_.TickCount();
  return !StopRequested;
}

bool TSearchRun::FileScanProgress(const std::u16string& Name, TScanProgressKind Kind) {
  bool Go = ScanProgress(0);
  if (Kind != spkPoll) {
    // A walk of the archive begins: its items' password questions start anew.
    if (Kind == spkArchive) PasswordTrials_.erase(Utf8(Name));
    if (Kind == spkArchive || Kind == spkFile) ProgressShown = true;
    Host_.SetStatusText(Name, false);
    if (DebugMode) {
      const char* Word = Kind == spkFolder ? "Directory" : Kind == spkArchive ? "Archive" : "File";
      Log(std::string(Word) + ": \"" + Utf8(Name) + "\".", false, true);
    }
  }
  return Go;
}

bool TSearchRun::ConverterProgress() {
  uint32_t Now = Host_.TickCount();
  if (Now - LastPumpTick > kRefreshInterval) {
    Host_.ProcessMessages();
    LastPumpTick = Now;
  }
  return !StopRequested;
}

bool TSearchRun::FileScanAcceptFile(const std::u16string& FileName) {
  return Results_->Storage.AddIfNew(FileName) != nullptr;
}

bool TSearchRun::FileScanEnterFolder(const std::u16string& Folder) {
  std::u16string F = Folder;
  if (F.empty() || F.back() != u'/') F += u'/';
  std::string F8 = Utf8(F);
  for (const std::string& Root : TempArchiveRootList())
    if (F8.compare(0, Root.size(), Root) == 0) return false;
  // Folders are told apart exactly: a.txt and A.txt, like Docs and docs, are two on this system.
  const TWideStrLst& ExcludedDirs = Settings_.ExcludedDirs;
  for (int32_t I = 0; I < ExcludedDirs.GetCount(); ++I) {
    if (ExcludedDirs.Get(I) == F) {
      Log(FormatMsg(TMsgIndex::DirExcluded_s, {Utf8(Folder)}), false, true);
      return false;
    }
  }
  return true;
}

TDateSizeFilter TSearchRun::DateSizeFilter() const {
  TDateSizeFilter Filter;
  if (UseDateFilter) {
    Filter.DateFrom = DateFrom;
    // The date boxes hold days: the last day counts whole, up to its midnight.
    if (DateTo != 0) Filter.DateBefore = DateTo + 1.0;
  }
  if (UseSizeFilter) {
    Filter.SizeFrom = SizeFrom;
    Filter.SizeTo = SizeTo;
  }
  return Filter;
}

bool TSearchRun::FileScanFilterFile(const std::u16string& FileName, bool SizeIncomplete, TDateTime Date,
                                    int64_t Size) {
  return DateSizeFilter().Passes(TFilterFileInfo{FileName, SizeIncomplete, Date, Size});
}

void TSearchRun::FileScanFound(const TFoundFileInfo& Info) {
  Results_->Add(Info);
  Host_.ClearSortMark();
  RefreshCount(false);
  ++FoundCount;
}

void TSearchRun::FileScanError(const std::u16string& Name, const std::string& Text, int32_t OSCode,
                               TScanErrorKind Kind) {
  if (Kind == sekAborted) {
    if (!InterruptLogged) {
      InterruptLogged = true;
      Host_.PostUserInterrupt();
    }
    return;
  }
  std::string Details = Text;
  // The archive reports an encrypted item that a password did not open as having an invalid password,
  // once, when its walk ends. The item's password questions tell what happened.
  const size_t Refusal = Kind == sekArchiveWarning ? Details.find(kInvalidPasswordText) : std::string::npos;
  if (Refusal != std::string::npos) {
    const std::string ArcName = Utf8(Name);
    // The item is named in parentheses after the words.
    const size_t Open = Details.find(" (", Refusal), Close = Details.rfind(')');
    const std::string ItemName = Open != std::string::npos && Close != std::string::npos && Close > Open + 2
                                     ? Details.substr(Open + 2, Close - Open - 2)
                                     : std::string();
    const TPasswordTrial* Trial = nullptr;
    if (const auto Arc = PasswordTrials_.find(ArcName); Arc != PasswordTrials_.end())
      if (const auto It = Arc->second.find(ItemName); It != Arc->second.end()) Trial = &It->second;
    if (Trial != nullptr && Trial->LastGiven && Trial->Questions > 1) {
      // Passwords that did not fit, and then one that opened the item: no error.
      Log(AddPeriod(FormatMsg(Trial->StoredMisfit ? TMsgIndex::StoredPasswordDidNotFit_ss
                                                  : TMsgIndex::TypedPasswordDidNotFit_ss,
                              {ItemName, ArcName})),
          false, true);
      return;
    }
    // An item the user gave no password for: the log says what happened instead.
    const bool NoneGiven = Trial != nullptr
                               ? !Trial->LastGiven
                               : !PasswordRefusedArchive_.empty() && ArcName == PasswordRefusedArchive_;
    const bool QuestionOff = Trial != nullptr ? Trial->QuestionOff : PasswordQuestionOff_;
    if (NoneGiven)
      Details.replace(Refusal, std::strlen(kInvalidPasswordText),
                      GetMsg(QuestionOff ? TMsgIndex::ProtectedSkipped : TMsgIndex::NoPasswordGiven));
  }
  std::string Line = ScanErrorLine(Name, Details, OSCode, Kind, DebugMode, Settings_);
  if (Line.empty()) return;
  ErrorsLogged = true;
  Log(Line, true, true);
}

bool TSearchRun::FileScanPassword(const std::string& ArcFileName, const std::string& ArcName,
                                  std::string& Password, const std::string& ItemName) {
  TPasswordTrial& Trial = PasswordTrials_[ArcName][ItemName];
  // The archive asks again for an item only when the password it was given did not fit.
  if (Trial.LastGiven) Trial.StoredMisfit = Trial.StoredMisfit || Trial.LastStored;
  ++Trial.Questions;
  bool Stored = false;
  const bool Given = OfferPassword(ArcFileName, ArcName, Password, ItemName, Stored);
  Trial.LastGiven = Given;
  Trial.LastStored = Stored;
  Trial.QuestionOff = !Given && Settings_.ArchiveFlags.SkipProtectedArchives;
  if (Given) {
    PasswordRefusedArchive_.clear();
  } else {
    PasswordRefusedArchive_ = ArcName;
    PasswordQuestionOff_ = Trial.QuestionOff;
  }
  return Given;
}

void TSearchRun::BeginExtraction() {
  // Each extraction starts from the newest stored password, also for an item whose password was just
  // typed during the search.
  PasswordTries = 0;
  ExtractionRefused_ = false;
}

bool TSearchRun::ExtractionPassword(const std::string& ArcName, std::string& Password,
                                    const std::string& ItemName) {
  bool Stored = false;
  const bool Given = OfferPassword(ArcName, ArcName, Password, ItemName, Stored);
  ExtractionRefused_ = !Given;
  return Given;
}

bool TSearchRun::OfferPassword(const std::string&, const std::string& ArcName, std::string& Password,
                               const std::string& ItemName, bool& Stored) {
  Stored = false;
  if (Settings_.ArchiveFlags.SkipProtectedArchives) return false;
  if (PasswordAskMode == 2) PasswordAskMode = 0;
  std::string Key = ArcName + "|" + ItemName;
  if (Key.size() != LastPasswordKey.size() || TextPos(Key, LastPasswordKey) != 1) {  // ANSI, without case
    LastPasswordKey = Key;
    PasswordTries = 0;
  }
  if (PasswordTries < RecentPasswords.GetCount()) {
    Password = RecentPasswords.Get(PasswordTries++);
    Stored = true;
    return true;
  }
  if (PasswordAskMode != 0) return false;
  TPasswordAnswer Answer = Host_.AskPassword(ItemName, ArcName);
  if (!Answer.Ok) return false;
  PasswordAskMode = Answer.AskMode;
  int32_t Existing = RecentPasswords.IndexOf(Answer.Password);
  if (Existing >= 0) {
    RecentPasswords.Delete(Existing);
  } else if (RecentPasswords.GetCount() >= kMaxRecentPasswords) {
    RecentPasswords.Delete(RecentPasswords.GetCount() - 1);
  }
  RecentPasswords.Insert(0, Answer.Password);
  Password = Answer.Password;
  // The stored password is tried next time first; this item already has it.
  PasswordTries = RecentPasswords.GetCount();
  if (PasswordAskMode == 2) {
    Settings_.ArchiveFlags.SkipProtectedArchives = true;
    return false;
  }
  return true;
}
