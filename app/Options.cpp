#include "app/Options.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <tuple>
#include <type_traits>
#include <utility>

#include "archive/ArcScan.h"
#include "core/FileLayer.h"
#include "core/VFileSys.h"
#include "core/VStream.h"
#include "search/FileScan.h"

TSettings& ProgramSettings() {
  static TSettings Settings;
  return Settings;
}

namespace {
// The preview windows read and store their settings in the program's settings object, from the start.
[[maybe_unused]] const bool PreviewSettingsBound =
    (BindPreviewSettings(ProgramSettings().ViewOptions, ProgramSettings().ViewerFont,
                         ProgramSettings().ViewerOffsetFont),
     true);
std::string DefaultFontName;
std::function<bool(const std::string& Name)> IsScreenFontInstalled;
}  // namespace

const std::string& DefaultMainFontName() { return DefaultFontName; }

void SetScreenFontCheck(std::function<bool(const std::string& Name)> Installed) {
  IsScreenFontInstalled = std::move(Installed);
}

const std::array<const char*, 5> kMainFontCandidates = {"DejaVu Sans", "Liberation Sans", "Noto Sans",
                                                        "FreeSans", "Sans"};

namespace {

// The results list's default columns (Name, Path, Size, Date/Time).
constexpr int32_t kDefaultColumnWidths[kResListColumnCount] = {108, 140, 60, 84};
// The viewer font's height of both presets and the main font's, in pixels (negative: character height).
constexpr int32_t kMainFontHeight = -11;
constexpr uint8_t kDefaultTabSize = 8;
constexpr uint8_t kMaxTabSize = 16;
constexpr uint8_t kMaxGutterWidth = 64;

bool FontInstalled(const std::string& Name) { return !IsScreenFontInstalled || IsScreenFontInstalled(Name); }

// The folder searched when no path was ever given: the user's home folder.
std::u16string DefaultSearchPath() {
  const char* Home = std::getenv("HOME");
  std::string Path = Home != nullptr && *Home != '\0' ? Home : "/";
  if (Path.back() != '/') Path += '/';
  return Utf8ToUtf16(Path);
}

void WriteInt64(TVStream& S, int64_t V) {
  uint8_t B[8];
  for (int I = 0; I < 8; ++I) B[I] = static_cast<uint8_t>(static_cast<uint64_t>(V) >> (8 * I));
  S.Write(B, 8);
}

int64_t ReadInt64(TVStream& S) {
  uint8_t B[8];
  S.ReadBuffer(B, 8);
  uint64_t V = 0;
  for (int I = 7; I >= 0; --I) V = V << 8 | B[I];
  return static_cast<int64_t>(V);
}

void WriteDouble(TVStream& S, double D) {
  int64_t Bits;
  std::memcpy(&Bits, &D, sizeof Bits);
  WriteInt64(S, Bits);
}

double ReadDouble(TVStream& S) {
  const int64_t Bits = ReadInt64(S);
  double D;
  std::memcpy(&D, &Bits, sizeof D);
  return D;
}

void WriteBool(TVStream& S, bool B) { S.WriteByte(B ? 1 : 0); }

void WriteRect(TVStream& S, const TRect32& R) {
  S.WriteInt32(R.Left);
  S.WriteInt32(R.Top);
  S.WriteInt32(R.Right);
  S.WriteInt32(R.Bottom);
}

void ReadRect(TVStream& S, TRect32& R) {
  R.Left = S.ReadInt32();
  R.Top = S.ReadInt32();
  R.Right = S.ReadInt32();
  R.Bottom = S.ReadInt32();
}

void WriteColor(TVStream& S, TColor C) { S.WriteInt32(static_cast<int32_t>(C)); }
TColor ReadColor(TVStream& S) { return static_cast<TColor>(S.ReadInt32()); }

void CopyDic(TWideStrStrDic& Dest, const TWideStrStrDic& Source) {
  TWideStrLst Keys, Values;
  Source.GetKeysAndValues(Keys, Values);
  Dest.Clear();
  for (int32_t I = 0; I < Keys.GetCount(); ++I) Dest.Put(Keys.Get(I), Values.Get(I));
}

bool DicEqual(const TWideStrStrDic& A, const TWideStrStrDic& B) {
  TWideStrLst KA, VA, KB, VB;
  A.GetKeysAndValues(KA, VA);
  B.GetKeysAndValues(KB, VB);
  if (KA.GetCount() != KB.GetCount()) return false;
  for (int32_t I = 0; I < KA.GetCount(); ++I)
    if (KA.Get(I) != KB.Get(I) || VA.Get(I) != VB.Get(I)) return false;
  return true;
}

bool WideListEqual(const TWideStrLst& A, const TWideStrLst& B) {
  if (A.GetCount() != B.GetCount()) return false;
  for (int32_t I = 0; I < A.GetCount(); ++I)
    if (A.Get(I) != B.Get(I)) return false;
  return true;
}

// Values outside their range brought back into it (see the header).
void SanitizeSettings(TSettings& S) {
  if (S.SearchOptions.LogicIndex > 2) S.SearchOptions.LogicIndex = 0;
  if (S.FileOptions.SizeUnits > 2) S.FileOptions.SizeUnits = 0;
  TViewOptions& V = S.ViewOptions;
  if (V.InterfaceStyle > 1) V.InterfaceStyle = 1;
  if (V.Animation > 2) V.Animation = 0;
  if (V.PageMode > 2) V.PageMode = 0;
  if (V.GutterWidth > kMaxGutterWidth) V.GutterWidth = kMaxGutterWidth;
  if (V.TabSize < 1 || V.TabSize > kMaxTabSize) V.TabSize = kDefaultTabSize;
  // Toolbar entries that name no action, or an action already on the bar, are dropped.
  bool Seen[kLastToolbarAction + 1] = {};
  for (int32_t I = S.ToolbarButtons.GetCount() - 1; I >= 0; --I) {
    const int8_t A = S.ToolbarButtons.Get(I);
    if (A < 0 || A > kLastToolbarAction) S.ToolbarButtons.Delete(I);
  }
  for (int32_t I = 0; I < S.ToolbarButtons.GetCount();) {
    const int8_t A = S.ToolbarButtons.Get(I);
    if (Seen[A]) {
      S.ToolbarButtons.Delete(I);
    } else {
      Seen[A] = true;
      ++I;
    }
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------
// Copies and defaults

namespace {

// Every field of TSettings in declaration order, as a tuple of references. The structured binding names
// each field: a field added to TSettings and not here stops the build, so the copy and the comparison
// below cannot leave it out.
template <typename TSet>
auto SettingsFields(TSet& S) {
  auto& [SearchOptions, ScanOptions, FileOptions, ViewOptions, ArchiveFlags, ViewerFont, ViewerOffsetFont,
         MainFont, SearchPaths, ExcludedDirs, SearchMasks, FileTypeGroups, SavedPathSets, ToolbarButtons,
         MaxScanSize, MaxConvertSize, DisabledConverters, MaxArchiveSize, ArchiveKinds, ResListColumns] = S;
  return std::tie(SearchOptions, ScanOptions, FileOptions, ViewOptions, ArchiveFlags, ViewerFont,
                  ViewerOffsetFont, MainFont, SearchPaths, ExcludedDirs, SearchMasks, FileTypeGroups,
                  SavedPathSets, ToolbarButtons, MaxScanSize, MaxConvertSize, DisabledConverters,
                  MaxArchiveSize, ArchiveKinds, ResListColumns);
}

// Calls Fn on each pair of fields of A and B.
template <typename TA, typename TB, typename TFn>
void ForEachSettingsField(TA& A, TB& B, TFn&& Fn) {
  auto FieldsA = SettingsFields(A);
  auto FieldsB = SettingsFields(B);
  [&]<size_t... I>(std::index_sequence<I...>) { (Fn(std::get<I>(FieldsA), std::get<I>(FieldsB)), ...); }
  (std::make_index_sequence<std::tuple_size_v<decltype(FieldsA)>>{});
}

// One field copied: dictionaries entry by entry, the lists and vectors (which cannot be copied by
// assignment) by Assign, every record and number by assignment.
template <typename T>
void CopyField(T& Dest, const T& Source) {
  if constexpr (std::is_same_v<T, TWideStrStrDic>)
    CopyDic(Dest, Source);
  else if constexpr (std::is_base_of_v<TVectorObject, T>)
    Dest.Assign(Source);
  else
    Dest = Source;
}

// One field compared: lists and dictionaries item by item, the rest by their comparison.
template <typename T>
bool FieldEqual(const T& A, const T& B) {
  if constexpr (std::is_same_v<T, TWideStrStrDic>) {
    return DicEqual(A, B);
  } else if constexpr (std::is_base_of_v<TWideStrLst, T>) {
    return WideListEqual(A, B);
  } else if constexpr (std::is_base_of_v<TVectorObject, T>) {
    if (A.GetCount() != B.GetCount()) return false;
    for (int32_t I = 0; I < A.GetCount(); ++I)
      if (A.Get(I) != B.Get(I)) return false;
    return true;
  } else {
    return A == B;
  }
}

}  // namespace

void AssignSettings(TSettings& Dest, const TSettings& Source) {
  if (&Dest == &Source) return;
  ForEachSettingsField(Dest, Source, [](auto& D, const auto& S) { CopyField(D, S); });
}

bool SettingsEqual(const TSettings& A, const TSettings& B) {
  bool Equal = true;
  ForEachSettingsField(A, B, [&Equal](const auto& FieldA, const auto& FieldB) {
    Equal = Equal && FieldEqual(FieldA, FieldB);
  });
  return Equal;
}

void SetDefaultOptions(TSettings& S) {
  S.SearchOptions = TSearchOptions{};
  S.ScanOptions = TScanOptions{true, true, false, true, true, true};
  S.FileOptions = TFileOptions{};
  S.FileOptions.PlainFiles = S.FileOptions.Archives = S.FileOptions.Subdirectories = true;
  S.FileOptions.SortDirectories = true;
  S.FileOptions.SizeFrom = S.FileOptions.SizeTo = -1;
  S.ArchiveFlags = TArchiveFlags{true, false};

  S.ViewOptions = TViewOptions{};
  TViewOptions& V = S.ViewOptions;
  V.InterfaceStyle = 1;
  V.StatusBar = V.DetectLinks = true;
  V.LargeButtons = V.ButtonCaptions = V.FlatToolbar = V.ToolTips = true;
  S.ToolbarButtons.Clear();
  for (int8_t A = 0; A <= kLastToolbarAction; ++A) S.ToolbarButtons.Add(A);
  LoadViewerColorPreset1(S);
  V.TabSize = kDefaultTabSize;

  S.SearchPaths.Clear();
  S.SearchPaths.Add(DefaultSearchPath());
  S.ExcludedDirs.Clear();
  S.SearchMasks.Clear();
  S.FileTypeGroups.Clear();
  S.SavedPathSets.Clear();
  S.DisabledConverters.Clear();
  S.MaxScanSize = TFileScanner::kDefaultMaxScanSize;
  S.MaxConvertSize = TFileScanner::kDefaultMaxConvertSize;
  S.MaxArchiveSize = TFileScanner::kDefaultMaxArchiveSize;
  S.ArchiveKinds.fill(true);
  for (int32_t I = 0; I < kResListColumnCount; ++I)
    S.ResListColumns[static_cast<size_t>(I)] = {kDefaultColumnWidths[I], I};

  std::string FontName;
  for (const char* Candidate : kMainFontCandidates) {
    if (FontInstalled(Candidate)) {
      FontName = Candidate;
      break;
    }
  }
  if (&S == &ProgramSettings()) DefaultFontName = FontName;
  S.MainFont = TFontRec{1, clWindowText, kMainFontHeight, FontName, 0};
  AddDefaultFileTypeGroups(S);
}

void SetDefaultOptions() { SetDefaultOptions(ProgramSettings()); }

void LoadViewerColorPreset1(TSettings& S) {
  LoadViewerColorPreset1(S.ViewOptions, S.ViewerFont, S.ViewerOffsetFont);
}

void LoadViewerColorPreset2(TSettings& S) {
  LoadViewerColorPreset2(S.ViewOptions, S.ViewerFont, S.ViewerOffsetFont);
}

void AddFileTypeGroup(const std::u16string& Name, const std::u16string& Masks, TSettings& S) {
  if (!S.FileTypeGroups.Exists(Name)) S.FileTypeGroups.Put(Name, Masks);
}

void AddDefaultFileTypeGroups(TSettings& S) {
  AddFileTypeGroup(u"Text Documents", u"*.ASP;*.DOC;*.HTM*;*.PDF;*.PPT;*.PS;*.SHTM*;*.TXT;*.WPD;*.WRI;*.XLS",
                   S);
  AddFileTypeGroup(u"MS Office Documents", u"*.DOC;*.PPT;*.RTF;*.WRI;*.XLS", S);
}

// ---------------------------------------------------------------------------------------------------------
// The value

void WriteFontRec(TVStream& Stream, const TFontRec& Rec) {
  Stream.WriteByte(Rec.Charset);
  WriteColor(Stream, Rec.Color);
  Stream.WriteInt32(Rec.Height);
  Stream.WriteString(Rec.Name);
  Stream.WriteByte(Rec.Style);
}

void ReadFontRec(TVStream& Stream, TFontRec& Rec) {
  Rec.Charset = Stream.ReadByte();
  Rec.Color = ReadColor(Stream);
  Rec.Height = Stream.ReadInt32();
  Rec.Name = Stream.ReadString();
  Rec.Style = Stream.ReadByte();
}

std::string EncodeOptions(const TSettings& S) {
  TVMemStream M;
  M.WriteInt32(kOptionsVersion);
  M.WriteInt32(kOptionsVersion);  // the oldest reader that understands this layout
  M.WriteInt32(0);                // the CRC, filled in below

  const TSearchOptions& SO = S.SearchOptions;
  WriteBool(M, SO.Fuzzy);
  WriteBool(M, SO.CaseSensitive);
  WriteBool(M, SO.WholeWords);
  M.WriteByte(SO.LogicIndex);
  const TScanOptions& SC = S.ScanOptions;
  for (bool B : {SC.DirectScan, SC.ANSI, SC.OEM, SC.Unicode, SC.ConvertToText, SC.SkipBinary})
    WriteBool(M, B);
  const TFileOptions& F = S.FileOptions;
  for (bool B : {F.PlainFiles, F.Archives, F.Subdirectories, F.SortDirectories, F.FilterOn, F.DateFilterOn,
                 F.SizeFilterOn})
    WriteBool(M, B);
  M.WriteByte(F.SizeUnits);
  WriteDouble(M, F.DateFrom);
  WriteDouble(M, F.DateTo);
  WriteInt64(M, F.SizeFrom);
  WriteInt64(M, F.SizeTo);

  const TViewOptions& V = S.ViewOptions;
  WriteRect(M, V.MainRect);
  M.WriteByte(V.InterfaceStyle);
  WriteBool(M, V.LogWindow);
  WriteBool(M, V.StatusBar);
  WriteBool(M, V.Maximized);
  M.WriteByte(V.LanguageIndex);
  M.WriteByte(V.Animation);
  WriteRect(M, V.PreviewRect);
  for (bool B : {V.PreviewMaximized, V.WrapText, V.ShowEOL, V.ShowTabs, V.DetectLinks}) WriteBool(M, B);
  M.WriteByte(V.GutterWidth);
  M.WriteByte(V.TabSize);
  M.WriteByte(V.PageMode);
  for (TColor C : {V.Background, V.SelectedText, V.Selection, V.Gutter, V.HitBack, V.HitText,
                   V.CurrentHitBack, V.CurrentHitText})
    WriteColor(M, C);
  for (bool B : {V.LargeButtons, V.ButtonCaptions, V.FlatToolbar, V.ToolTips}) WriteBool(M, B);
  M.WriteByte(V.WarningBits);

  WriteFontRec(M, S.ViewerFont);
  WriteFontRec(M, S.ViewerOffsetFont);
  WriteFontRec(M, S.MainFont);
  S.SearchPaths.WriteToStream(M);
  S.ExcludedDirs.WriteToStream(M);
  S.SearchMasks.WriteToStream(M);
  S.FileTypeGroups.SaveToStream(M);
  S.SavedPathSets.SaveToStream(M);
  S.ToolbarButtons.WriteToStream(M);
  M.WriteInt32(S.MaxScanSize);
  M.WriteInt32(S.MaxConvertSize);
  S.DisabledConverters.WriteToStream(M);
  M.WriteInt32(S.MaxArchiveSize);
  for (bool B : S.ArchiveKinds) WriteBool(M, B);
  WriteBool(M, S.ArchiveFlags.ProcessSubarchives);
  WriteBool(M, S.ArchiveFlags.SkipProtectedArchives);
  for (const TResListColumn& C : S.ResListColumns) {
    M.WriteInt32(C.Width);
    M.WriteInt32(C.Position);
  }

  std::string Value(reinterpret_cast<const char*>(M.GetMemory()), static_cast<size_t>(M.GetSize()));
  const uint32_t Crc = UpdateCrc32(0xFFFFFFFF, Value.data() + kOptionsHeaderBytes,
                                   static_cast<int32_t>(Value.size()) - kOptionsHeaderBytes);
  for (int I = 0; I < 4; ++I) Value[8 + static_cast<size_t>(I)] = static_cast<char>(Crc >> (8 * I));
  return Value;
}

namespace {

int32_t Int32At(const std::string& Value, size_t Offset) {
  uint32_t V = 0;
  for (int I = 3; I >= 0; --I) V = V << 8 | static_cast<uint8_t>(Value[Offset + static_cast<size_t>(I)]);
  return static_cast<int32_t>(V);
}

}  // namespace

TOptionsCheck CheckOptionsValue(const std::string& Value) {
  if (Value.size() < static_cast<size_t>(kOptionsHeaderBytes)) return TOptionsCheck::TooShort;
  if (Int32At(Value, 0) < kOldestOptionsVersion) return TOptionsCheck::OldVersion;
  if (Int32At(Value, 4) > kOptionsVersion) return TOptionsCheck::NewerReader;
  const uint32_t Crc = UpdateCrc32(0xFFFFFFFF, Value.data() + kOptionsHeaderBytes,
                                   static_cast<int32_t>(Value.size()) - kOptionsHeaderBytes);
  if (static_cast<uint32_t>(Int32At(Value, 8)) != Crc) return TOptionsCheck::BadCrc;
  return TOptionsCheck::Ok;
}

void DecodeOptions(const std::string& Value, TSettings& S) {
  const int32_t Version = Int32At(Value, 0);
  TVReadOnlyMemStream M(Value.data(), static_cast<int32_t>(Value.size()));
  M.Seek(kOptionsHeaderBytes);

  TSearchOptions& SO = S.SearchOptions;
  SO.Fuzzy = M.ReadBool();
  SO.CaseSensitive = M.ReadBool();
  SO.WholeWords = M.ReadBool();
  SO.LogicIndex = M.ReadByte();
  TScanOptions& SC = S.ScanOptions;
  for (bool* B : {&SC.DirectScan, &SC.ANSI, &SC.OEM, &SC.Unicode, &SC.ConvertToText, &SC.SkipBinary})
    *B = M.ReadBool();
  TFileOptions& F = S.FileOptions;
  for (bool* B : {&F.PlainFiles, &F.Archives, &F.Subdirectories, &F.SortDirectories, &F.FilterOn,
                  &F.DateFilterOn, &F.SizeFilterOn})
    *B = M.ReadBool();
  F.SizeUnits = M.ReadByte();
  F.DateFrom = ReadDouble(M);
  F.DateTo = ReadDouble(M);
  F.SizeFrom = ReadInt64(M);
  F.SizeTo = ReadInt64(M);

  TViewOptions& V = S.ViewOptions;
  ReadRect(M, V.MainRect);
  V.InterfaceStyle = M.ReadByte();
  V.LogWindow = M.ReadBool();
  V.StatusBar = M.ReadBool();
  V.Maximized = M.ReadBool();
  V.LanguageIndex = M.ReadByte();
  V.Animation = M.ReadByte();
  ReadRect(M, V.PreviewRect);
  for (bool* B : {&V.PreviewMaximized, &V.WrapText, &V.ShowEOL, &V.ShowTabs, &V.DetectLinks})
    *B = M.ReadBool();
  V.GutterWidth = M.ReadByte();
  V.TabSize = M.ReadByte();
  V.PageMode = M.ReadByte();
  for (TColor* C : {&V.Background, &V.SelectedText, &V.Selection, &V.Gutter, &V.HitBack, &V.HitText,
                    &V.CurrentHitBack, &V.CurrentHitText})
    *C = ReadColor(M);
  for (bool* B : {&V.LargeButtons, &V.ButtonCaptions, &V.FlatToolbar, &V.ToolTips}) *B = M.ReadBool();
  V.WarningBits = M.ReadByte();

  ReadFontRec(M, S.ViewerFont);
  ReadFontRec(M, S.ViewerOffsetFont);
  ReadFontRec(M, S.MainFont);
  if (!FontInstalled(S.MainFont.Name)) S.MainFont.Name = DefaultFontName;

  S.SearchPaths.ReadFromStream(M);
  if (S.SearchPaths.GetCount() == 0) S.SearchPaths.Add(DefaultSearchPath());
  S.ExcludedDirs.ReadFromStream(M);
  S.SearchMasks.ReadFromStream(M);
  S.FileTypeGroups.LoadFromStream(M);
  AddDefaultFileTypeGroups(S);  // the built-in groups come back when they were deleted
  S.SavedPathSets.LoadFromStream(M);
  S.ToolbarButtons.ReadFromStream(M);
  S.MaxScanSize = M.ReadInt32();
  S.MaxConvertSize = M.ReadInt32();
  S.DisabledConverters.ReadFromStream(M);
  S.MaxArchiveSize = M.ReadInt32();
  for (size_t I = 0; I < S.ArchiveKinds.size(); ++I) {
    // A value older than the JAR kind has eleven flags: JAR keeps its current value.
    if (I + 1 == akJar && Version < kJarFlagVersion) continue;
    S.ArchiveKinds[I] = M.ReadBool();
  }
  S.ArchiveFlags.ProcessSubarchives = M.ReadBool();
  S.ArchiveFlags.SkipProtectedArchives = M.ReadBool();

  std::array<TResListColumn, kResListColumnCount> Columns;
  bool Taken[kResListColumnCount] = {};
  bool Permutation = true;
  for (TResListColumn& C : Columns) {
    C.Width = std::clamp(M.ReadInt32(), 0, kMaxResListColumnWidth);
    C.Position = M.ReadInt32();
    if (C.Position < 0 || C.Position >= kResListColumnCount || Taken[C.Position])
      Permutation = false;
    else
      Taken[C.Position] = true;
  }
  for (size_t I = 0; I < Columns.size(); ++I) {
    S.ResListColumns[I].Width = Columns[I].Width;
    if (Permutation) S.ResListColumns[I].Position = Columns[I].Position;
  }
  SanitizeSettings(S);
}

// ---------------------------------------------------------------------------------------------------------
// The registry

bool SaveOptions() {
  TRegKey Key;
  if (!RegCreateKeyPath(kProgramRegKey, Key)) return false;
  TSettings& Settings = ProgramSettings();
  for (int K = kFirstDecodedKind; K <= kLastDecodedKind; ++K)
    Settings.ArchiveKinds[static_cast<size_t>(K - 1)] = ArcInfos[static_cast<size_t>(K)].Enabled;
  const std::string Value = EncodeOptions(Settings);
  return RegWriteValue(kProgramRegKey, "Options", Value.data(), static_cast<uint32_t>(Value.size()),
                       REG_BINARY);
}

std::string SettingsFolder() {
  // The store keeps "Software\A\B" of the current user in the folder A/B under its root.
  std::string Folder = RegStore().Roots().CurrentUser;
  std::string Path = kProgramRegKey;
  const std::string kSoftware = "Software\\";
  if (Path.compare(0, kSoftware.size(), kSoftware) == 0) Path.erase(0, kSoftware.size());
  for (char& C : Path)
    if (C == '\\') C = '/';
  return Folder + "/" + Path;
}

bool LoadOptions() {
  TRegKey Key;
  bool Created = false;
  if (!RegCreateKeyPath(kProgramRegKey, Key, &Created)) return false;
  // What an interrupted write of an earlier run left behind goes before anything is written now.
  RegStore().RemoveTemporaries(Key);
  std::string Path = ModuleFileName(nullptr);
  RegWriteValue(kProgramRegKey, "Path", Path.c_str(), static_cast<uint32_t>(Path.size() + 1), REG_SZ);
  if (Created) return false;

  std::string Name = "Options";
  uint32_t Size = 0;
  if (!RegReadKeyValue(Key, Name, nullptr, Size) || Size > kMaxOptionsBytes) {
    Name.clear();  // the key's default value
    if (!RegReadKeyValue(Key, Name, nullptr, Size) || Size > kMaxOptionsBytes) return false;
  }
  std::string Value(Size, '\0');
  if (!RegReadKeyValue(Key, Name, Value.data(), Size)) return false;
  Value.resize(Size);
  if (CheckOptionsValue(Value) != TOptionsCheck::Ok) return false;

  // Decoded into a copy of the current settings, which are replaced only when the whole value was read.
  TSettings& Settings = ProgramSettings();
  TSettings Scratch;
  AssignSettings(Scratch, Settings);
  for (int K = kFirstDecodedKind; K <= kLastDecodedKind; ++K)
    Scratch.ArchiveKinds[static_cast<size_t>(K - 1)] = ArcInfos[static_cast<size_t>(K)].Enabled;
  DecodeOptions(Value, Scratch);
  AssignSettings(Settings, Scratch);
  for (int K = kFirstDecodedKind; K <= kLastDecodedKind; ++K)
    ArcInfos[static_cast<size_t>(K)].Enabled = Scratch.ArchiveKinds[static_cast<size_t>(K - 1)];
  DefaultFontName = Settings.MainFont.Name;
  return true;
}

namespace {
// The settings have their defaults from the start.
const bool kDefaultsSet = (SetDefaultOptions(), true);
}  // namespace
