#include "app/Options.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <utility>
#include <vector>

#include "archive/ArcScan.h"
#include "core/FileLayer.h"
#include "core/VStream.h"
#include "tests/app/AppFixtures.h"

namespace {

// The CRC of the value computed bit by bit (reflected polynomial 0xEDB88320, started at 0xFFFFFFFF, no
// final inversion), apart from the table-driven routine the program uses.
uint32_t ReferenceCrc(const std::string& Bytes, size_t From) {
  uint32_t Crc = 0xFFFFFFFF;
  for (size_t I = From; I < Bytes.size(); ++I) {
    Crc ^= static_cast<uint8_t>(Bytes[I]);
    for (int B = 0; B < 8; ++B) Crc = Crc & 1 ? (Crc >> 1) ^ 0xEDB88320 : Crc >> 1;
  }
  return Crc;
}

// Little-endian bytes written field by field, as the value's table lays them out.
struct TBytes {
  std::string B;
  TBytes& U8(int V) {
    B += static_cast<char>(V);
    return *this;
  }
  TBytes& I32(int64_t V) {
    for (int I = 0; I < 4; ++I) B += static_cast<char>(static_cast<uint64_t>(V) >> (8 * I));
    return *this;
  }
  TBytes& I64(int64_t V) {
    for (int I = 0; I < 8; ++I) B += static_cast<char>(static_cast<uint64_t>(V) >> (8 * I));
    return *this;
  }
  TBytes& F64(double D) {
    int64_t Bits;
    std::memcpy(&Bits, &D, 8);
    return I64(Bits);
  }
  TBytes& Str(const std::string& S) {
    I32(static_cast<int64_t>(S.size()));
    B += S;
    return *this;
  }
  TBytes& WStr(const std::u16string& S) {
    I32(static_cast<int64_t>(S.size()));
    for (char16_t C : S) U8(C & 0xFF).U8(C >> 8);
    return *this;
  }
  TBytes& Font(int Charset, uint32_t Color, int32_t Height, const std::string& Name, int Style) {
    return U8(Charset).I32(Color).I32(Height).Str(Name).U8(Style);
  }
  TBytes& Raw(const std::string& S) {
    B += S;
    return *this;
  }
};

// A whole value: the header with the reference CRC over Body.
std::string Value(const std::string& Body, int32_t Version = kOptionsVersion,
                  int32_t MinReader = kOptionsVersion) {
  TBytes H;
  H.I32(Version).I32(MinReader).I32(ReferenceCrc(Body, 0));
  return H.B + Body;
}

// Settings unlike the defaults in every field the value holds.
void FillSample(TSettings& S) {
  SetDefaultOptions(S);
  S.SearchOptions = {true, false, true, 2};
  S.ScanOptions = {false, true, true, false, true, false};
  S.FileOptions = {false, true, false, true, true, true, false, 2, 45000.5, 45100.25, 1024, 1 << 30};
  TViewOptions& V = S.ViewOptions;
  V.MainRect = {10, 20, 810, 620};
  V.InterfaceStyle = 0;
  V.LogWindow = true;
  V.StatusBar = false;
  V.Maximized = true;
  V.LanguageIndex = 3;
  V.Animation = 2;
  V.PreviewRect = {-5, 0, 300, 400};
  V.PreviewMaximized = true;
  V.WrapText = false;
  V.ShowEOL = true;
  V.ShowTabs = true;
  V.DetectLinks = false;
  V.GutterWidth = 64;
  V.TabSize = 4;
  V.PageMode = 2;
  V.Background = RGBColor(1, 2, 3);
  V.SelectedText = clWindowText;
  V.Selection = RGBColor(0, 128, 0);
  V.Gutter = clBtnFace;
  V.HitBack = RGBColor(0, 128, 128);
  V.HitText = RGBColor(255, 255, 255);
  V.CurrentHitBack = RGBColor(255, 0, 0);
  V.CurrentHitText = RGBColor(9, 9, 9);
  V.LargeButtons = false;
  V.ButtonCaptions = true;
  V.FlatToolbar = false;
  V.ToolTips = true;
  V.WarningBits = 3;
  S.ArchiveFlags = {false, true};
  S.ViewerFont = {204, RGBColor(255, 255, 0), -13, "Mono", fsBold};
  S.ViewerOffsetFont = {0, 0, 12, "", fsItalic | fsStrikeOut};
  S.MainFont = {1, clWindowText, -11, "Sans", 0};
  S.SearchPaths.Clear();
  S.SearchPaths.Add(u"/home/\u00FCser/docs/");
  S.SearchPaths.Add(u"/srv/\u0434\u0430\u043D\u043D\u044B\u0435/");
  S.ExcludedDirs.Add(u"/proc/");
  S.SearchMasks.Add(u"*.txt");
  S.SearchMasks.Add(u"*.\u65E5\u672C");
  S.FileTypeGroups.Put(u"Mine", u"*.a;*.b");
  S.SavedPathSets.Put(u"Work", u"/w;/x y");
  S.SavedPathSets.Put(u"Home", u"/h");
  S.ToolbarButtons.Clear();
  for (int8_t A : {3, 0, 10}) S.ToolbarButtons.Add(A);
  S.MaxScanSize = 1000;
  S.MaxConvertSize = 2000;
  S.DisabledConverters.Add("impweb.so");
  S.DisabledConverters.Add("imptag.so");
  S.MaxArchiveSize = 3000;
  S.ArchiveKinds = {true, false, true, false, true, false, false, true, false, true, false, true};
  S.ResListColumns = {{{200, 1}, {150, 0}, {0, 3}, {640, 2}}};
}

// The value of FillSample's settings, field by field from the layout table.
std::string SampleBody(bool WithJarFlag = true) {
  TBytes B;
  B.U8(1).U8(0).U8(1).U8(2);                                      // 12 SearchOptions
  B.U8(0).U8(1).U8(1).U8(0).U8(1).U8(0);                          // 16 ScanOptions
  B.U8(0).U8(1).U8(0).U8(1).U8(1).U8(1).U8(0).U8(2);              // 22 FileOptions
  B.F64(45000.5).F64(45100.25).I64(1024).I64(1 << 30);            // 30, 46
  B.I32(10).I32(20).I32(810).I32(620);                            // 62 MainRect
  B.U8(0).U8(1).U8(0).U8(1).U8(3).U8(2);                          // 78 .. 83
  B.I32(-5).I32(0).I32(300).I32(400);                             // 84 PreviewRect
  B.U8(1).U8(0).U8(1).U8(1).U8(0).U8(64).U8(4).U8(2);             // 100 .. 107
  B.I32(0x030201).I32(0x80000008).I32(0x008000).I32(0x8000000F);  // 108 colours
  B.I32(0x808000).I32(0xFFFFFF).I32(0x0000FF).I32(0x090909);
  B.U8(0).U8(1).U8(0).U8(1).U8(3);  // 140 .. 144
  EXPECT_EQ(B.B.size(), 145u - 12u);
  B.Font(204, 0x00FFFF, -13, "Mono", 1).Font(0, 0, 12, "", 10).Font(1, 0x80000008, -11, "Sans", 0);
  B.I32(2).WStr(u"/home/\u00FCser/docs/").WStr(u"/srv/\u0434\u0430\u043D\u043D\u044B\u0435/");
  B.I32(1).WStr(u"/proc/");
  B.I32(2).WStr(u"*.txt").WStr(u"*.\u65E5\u672C");
  // Dictionaries in key order (the two built-in groups are always there).
  B.I32(3).WStr(u"MS Office Documents").WStr(u"*.DOC;*.PPT;*.RTF;*.WRI;*.XLS");
  B.WStr(u"Mine").WStr(u"*.a;*.b");
  B.WStr(u"Text Documents").WStr(u"*.ASP;*.DOC;*.HTM*;*.PDF;*.PPT;*.PS;*.SHTM*;*.TXT;*.WPD;*.WRI;*.XLS");
  B.I32(2).WStr(u"Home").WStr(u"/h").WStr(u"Work").WStr(u"/w;/x y");
  B.I32(3).I32(1).U8(3).U8(0).U8(10).U8(0);  // ToolbarButtons: count, element size, bytes, default
  B.I32(1000).I32(2000);
  B.I32(2).Str("impweb.so").Str("imptag.so");
  B.I32(3000);
  for (int K = 1; K <= 12; ++K) {
    if (K == 7 && !WithJarFlag) continue;
    B.U8(K == 1 || K == 3 || K == 5 || K == 8 || K == 10 || K == 12);
  }
  B.U8(0).U8(1);  // ArchiveFlags
  B.I32(200).I32(1).I32(150).I32(0).I32(0).I32(3).I32(640).I32(2);
  return B.B;
}

class Settings : public ::testing::Test {
 protected:
  void SetUp() override {
    AssignSettings(Saved_, ProgramSettings());
    for (int K = 1; K <= 12; ++K)
      SavedKinds_[static_cast<size_t>(K - 1)] = ArcInfos[static_cast<size_t>(K)].Enabled;
  }
  void TearDown() override {
    // Every font counts as installed again, and the default font is the one of the program's start.
    SetScreenFontCheck(nullptr);
    SetDefaultOptions();
    AssignSettings(ProgramSettings(), Saved_);
    for (int K = 1; K <= 12; ++K)
      ArcInfos[static_cast<size_t>(K)].Enabled = SavedKinds_[static_cast<size_t>(K - 1)];
  }

  TSettings Saved_;
  std::array<bool, 12> SavedKinds_{};
};

TEST_F(Settings, DefaultsAreLaidOutAtTheirOffsets) {
  TSettings S;
  SetDefaultOptions(S);
  const std::string V = EncodeOptions(S);
  TBytes Fixed;
  Fixed.U8(0).U8(0).U8(0).U8(0);              // exact, no case, no whole words, logic 0
  Fixed.U8(1).U8(1).U8(0).U8(1).U8(1).U8(1);  // direct, ANSI, no OEM, Unicode, convert, skip binary
  Fixed.U8(1).U8(1).U8(1).U8(1).U8(0).U8(0).U8(0).U8(0);
  Fixed.F64(0).F64(0).I64(-1).I64(-1);
  Fixed.I32(0).I32(0).I32(0).I32(0);
  Fixed.U8(1).U8(0).U8(1).U8(0).U8(0).U8(0);  // dialog style, no log, status bar, ...
  Fixed.I32(0).I32(0).I32(0).I32(0);
  Fixed.U8(0).U8(1).U8(0).U8(0).U8(1).U8(0).U8(8).U8(0);  // wrap (preset 1), links, tab size 8
  Fixed.I32(0x80000005).I32(0xFFFFFF).I32(0x8000000D).I32(0x8000000F);
  Fixed.I32(0x8000000D).I32(0xFFFFFF).I32(0x0000FF).I32(0xFFFFFF);
  Fixed.U8(1).U8(1).U8(1).U8(1).U8(0);
  Fixed.Font(1, 0x80000008, -13, kViewerFontName, 0).Font(1, 0x80000008, -13, kViewerFontName, 0);
  ASSERT_GT(V.size(), 12 + Fixed.B.size());
  EXPECT_EQ(V.substr(12, Fixed.B.size()), Fixed.B);
  TBytes Header;
  Header.I32(20920).I32(20920).I32(ReferenceCrc(V, 12));
  EXPECT_EQ(V.substr(0, 12), Header.B);
  // The tail: kArchiveKindFlags archive flags on, ArchiveFlags 1 0, the columns 108/140/60/84 in order.
  TBytes Tail;
  Tail.I32(134217728);
  for (int K = 0; K < kArchiveKindFlags; ++K) Tail.U8(1);
  Tail.U8(1).U8(0).I32(108).I32(0).I32(140).I32(1).I32(60).I32(2).I32(84).I32(3);
  EXPECT_EQ(V.substr(V.size() - Tail.B.size()), Tail.B);
  EXPECT_EQ(CheckOptionsValue(V), TOptionsCheck::Ok);
}

TEST_F(Settings, EverySettingIsWrittenByteForByteAndReadBackEqual) {
  TSettings S;
  FillSample(S);
  const std::string V = EncodeOptions(S);
  EXPECT_EQ(V, Value(SampleBody()));

  TSettings Back;
  SetDefaultOptions(Back);
  ASSERT_EQ(CheckOptionsValue(V), TOptionsCheck::Ok);
  DecodeOptions(V, Back);
  EXPECT_TRUE(SettingsEqual(S, Back));
  EXPECT_EQ(EncodeOptions(Back), V);
}

// The copy and the comparison name no field by hand: a change to any one field is seen by the comparison,
// and the copy takes it over.
TEST_F(Settings, CopyAndComparisonCoverEveryField) {
  TSettings S, Copy;
  FillSample(S);
  AssignSettings(Copy, S);
  ASSERT_TRUE(SettingsEqual(Copy, S));
  const std::vector<std::pair<const char*, std::function<void(TSettings&)>>> Changes = {
      {"SearchOptions", [](TSettings& T) { T.SearchOptions.WholeWords = !T.SearchOptions.WholeWords; }},
      {"ScanOptions", [](TSettings& T) { T.ScanOptions.OEM = !T.ScanOptions.OEM; }},
      {"FileOptions", [](TSettings& T) { T.FileOptions.SizeTo += 1; }},
      {"ViewOptions", [](TSettings& T) { T.ViewOptions.TabSize += 1; }},
      {"ArchiveFlags", [](TSettings& T) { T.ArchiveFlags.SkipProtectedArchives ^= true; }},
      {"ViewerFont", [](TSettings& T) { T.ViewerFont.Height += 1; }},
      {"ViewerOffsetFont", [](TSettings& T) { T.ViewerOffsetFont.Name += "x"; }},
      {"MainFont", [](TSettings& T) { T.MainFont.Style ^= 1; }},
      {"SearchPaths", [](TSettings& T) { T.SearchPaths.Add(u"/elsewhere/"); }},
      {"ExcludedDirs", [](TSettings& T) { T.ExcludedDirs.Add(u"/skip/"); }},
      {"SearchMasks", [](TSettings& T) { T.SearchMasks.Add(u"*.zz"); }},
      {"FileTypeGroups", [](TSettings& T) { T.FileTypeGroups.Put(u"New", u"*.new"); }},
      {"SavedPathSets", [](TSettings& T) { T.SavedPathSets.Put(u"Set", u"/set/"); }},
      {"ToolbarButtons", [](TSettings& T) { T.ToolbarButtons.Add(0); }},
      {"MaxScanSize", [](TSettings& T) { T.MaxScanSize += 1; }},
      {"MaxConvertSize", [](TSettings& T) { T.MaxConvertSize += 1; }},
      {"DisabledConverters", [](TSettings& T) { T.DisabledConverters.Add("impnew.so"); }},
      {"MaxArchiveSize", [](TSettings& T) { T.MaxArchiveSize += 1; }},
      {"ArchiveKinds", [](TSettings& T) { T.ArchiveKinds[11] = !T.ArchiveKinds[11]; }},
      {"ResListColumns", [](TSettings& T) { T.ResListColumns[3].Width += 1; }},
  };
  for (const auto& [Field, Change] : Changes) {
    SCOPED_TRACE(Field);
    TSettings Changed;
    AssignSettings(Changed, S);
    Change(Changed);
    EXPECT_FALSE(SettingsEqual(Changed, S));
    AssignSettings(Copy, Changed);
    EXPECT_TRUE(SettingsEqual(Copy, Changed));
  }
}

TEST_F(Settings, ValuesFailingTheHeaderTestsAreRefused) {
  TSettings S;
  FillSample(S);
  const std::string Good = EncodeOptions(S);
  const std::string Body = Good.substr(12);
  struct TCase {
    std::string V;
    TOptionsCheck Check;
  } Cases[] = {
      {Good, TOptionsCheck::Ok},
      {Good.substr(0, 11), TOptionsCheck::TooShort},
      {"", TOptionsCheck::TooShort},
      {Value(Body, 20520), TOptionsCheck::OldVersion},
      {Value(Body, 20521), TOptionsCheck::Ok},
      {Value(Body, 30000, 20920), TOptionsCheck::Ok},  // a newer writer that we can still read
      {Value(Body, 20920, 20921), TOptionsCheck::NewerReader},
      {Value(""), TOptionsCheck::Ok},  // 12 bytes: passes the header, and fails while read
  };
  for (const auto& C : Cases) EXPECT_EQ(CheckOptionsValue(C.V), C.Check) << C.V.size();
  // One flipped byte anywhere after the CRC.
  for (size_t I = 12; I < Good.size(); ++I) {
    std::string Bad = Good;
    Bad[I] = static_cast<char>(Bad[I] ^ 0x10);
    ASSERT_EQ(CheckOptionsValue(Bad), TOptionsCheck::BadCrc) << I;
  }
}

TEST_F(Settings, OutOfRangeNumbersAreBroughtIntoRange) {
  TSettings S;
  FillSample(S);
  std::string Body = SampleBody();
  Body[15 - 12] = 9;    // LogicIndex
  Body[29 - 12] = 7;    // SizeUnits
  Body[78 - 12] = 5;    // InterfaceStyle
  Body[83 - 12] = 3;    // Animation
  Body[105 - 12] = 65;  // GutterWidth
  Body[106 - 12] = 0;   // TabSize
  Body[107 - 12] = 3;   // PageMode
  // Toolbar entries 0, 11, 3, 3, -1, 10: only 0, 3 and 10 name actions once.
  const std::string OldBar = TBytes().I32(3).I32(1).U8(3).U8(0).U8(10).U8(0).B;
  const std::string NewBar = TBytes().I32(6).I32(1).U8(0).U8(11).U8(3).U8(3).U8(0xFF).U8(10).U8(0).B;
  Body.replace(Body.find(OldBar), OldBar.size(), NewBar);
  // Widths beyond 0..640, positions that do not order the columns.
  const std::string OldCols = TBytes().I32(200).I32(1).I32(150).I32(0).I32(0).I32(3).I32(640).I32(2).B;
  const std::string NewCols = TBytes().I32(1000).I32(1).I32(-4).I32(1).I32(7).I32(3).I32(641).I32(0).B;
  Body.replace(Body.size() - OldCols.size(), OldCols.size(), NewCols);

  TSettings Back;
  SetDefaultOptions(Back);
  DecodeOptions(Value(Body), Back);
  EXPECT_EQ(Back.SearchOptions.LogicIndex, 0);
  EXPECT_EQ(Back.FileOptions.SizeUnits, 0);
  EXPECT_EQ(Back.ViewOptions.InterfaceStyle, 1);
  EXPECT_EQ(Back.ViewOptions.Animation, 0);
  EXPECT_EQ(Back.ViewOptions.GutterWidth, 64);
  EXPECT_EQ(Back.ViewOptions.TabSize, 8);
  EXPECT_EQ(Back.ViewOptions.PageMode, 0);
  ASSERT_EQ(Back.ToolbarButtons.GetCount(), 3);
  EXPECT_EQ(Back.ToolbarButtons.Get(0), 0);
  EXPECT_EQ(Back.ToolbarButtons.Get(1), 3);
  EXPECT_EQ(Back.ToolbarButtons.Get(2), 10);
  const std::array<TResListColumn, 4> Columns = {{{640, 0}, {0, 1}, {7, 2}, {640, 3}}};
  EXPECT_EQ(Back.ResListColumns, Columns);  // clamped widths, the positions as they were
}

TEST_F(Settings, DamagedTailsRaiseWithoutHugeAllocations) {
  TSettings S;
  FillSample(S);
  const std::string Full = SampleBody();
  const std::string Fixed = Full.substr(0, 145 - 12);
  const std::string Fonts =
      TBytes().Font(1, 0, -11, "Sans", 0).Font(1, 0, -11, "Sans", 0).Font(1, 0, -11, "Sans", 0).B;
  const std::string Cases[] = {
      Fixed,                                                   // ends before the fonts
      Fixed + TBytes().U8(1).I32(0).I32(0).I32(0x7FFFFFFF).B,  // a font name longer than the value
      Fixed + Fonts + TBytes().I32(0x7FFFFFFF).B,              // a list count beyond the value
      Fixed + Fonts + TBytes().I32(1).I32(-2).B,               // a negative string length
      Fixed + Fonts + TBytes().I32(-1).B,                      // a negative count
      Full.substr(0, Full.size() - 1),                         // one byte short
      Full.substr(0, Full.size() - 40),
  };
  for (const auto& Body : Cases) {
    TSettings Back;
    SetDefaultOptions(Back);
    EXPECT_THROW(DecodeOptions(Value(Body), Back), Exception) << Body.size();
  }
  // A toolbar vector whose element size is not 1.
  std::string Body = Full;
  const std::string Bar = TBytes().I32(3).I32(1).U8(3).U8(0).U8(10).U8(0).B;
  Body.replace(Body.find(Bar), Bar.size(), TBytes().I32(3).I32(2).U8(3).U8(0).U8(10).U8(0).B);
  TSettings Back;
  EXPECT_THROW(DecodeOptions(Value(Body), Back), Exception);
}

// ---- Through the registry ----

class SettingsInRegistry : public Settings {
 protected:
  std::string ReadValue(const std::string& Name) {
    TRegKey Key;
    TRegValue V;
    EXPECT_EQ(RegStore().OpenKey(TRegRoot::CurrentUser, kProgramRegKey, false, Key), TRegStatus::Ok);
    EXPECT_EQ(RegStore().ReadValue(Key, Name, V), TRegStatus::Ok) << Name;
    return V.Data;
  }
  void WriteRaw(const std::string& Name, const std::string& Data) {
    ASSERT_TRUE(
        RegWriteValue(kProgramRegKey, Name, Data.data(), static_cast<uint32_t>(Data.size()), REG_BINARY));
  }
  std::string Current() { return EncodeOptions(ProgramSettings()); }

  TRegistrySandbox Registry_;
};

TEST_F(SettingsInRegistry, AFirstRunKeepsTheDefaultsAndRecordsTheProgram) {
  SetDefaultOptions();
  const std::string Defaults = Current();
  EXPECT_FALSE(LoadOptions());
  EXPECT_EQ(Current(), Defaults);
  const std::string Path = ReadValue("Path");
  ASSERT_FALSE(Path.empty());
  EXPECT_EQ(Path.back(), '\0');
  EXPECT_EQ(Path.front(), '/');
  EXPECT_FALSE(LoadOptions());  // the key exists now, but holds no settings
}

TEST_F(SettingsInRegistry, SavedSettingsLoadBackWithTheArchiveKinds) {
  FillSample(ProgramSettings());
  for (int K = 1; K <= 12; ++K) ArcInfos[static_cast<size_t>(K)].Enabled = K % 3 == 0;
  ASSERT_TRUE(SaveOptions());
  const std::string Written = ReadValue("Options");
  EXPECT_EQ(CheckOptionsValue(Written), TOptionsCheck::Ok);
  EXPECT_EQ(Written, Current());

  SetDefaultOptions();
  for (int K = 1; K <= 12; ++K) ArcInfos[static_cast<size_t>(K)].Enabled = true;
  ASSERT_TRUE(LoadOptions());
  EXPECT_EQ(Current(), Written);
  for (int K = 1; K <= 12; ++K) EXPECT_EQ(ArcInfos[static_cast<size_t>(K)].Enabled, K % 3 == 0) << K;
  EXPECT_EQ(DefaultMainFontName(), "Sans");
}

TEST_F(SettingsInRegistry, RefusedAndDamagedValuesLeaveEverySettingAlone) {
  TSettings Sample;
  FillSample(Sample);
  std::string Good = EncodeOptions(Sample);
  std::string Flipped = Good;
  Flipped[200] = static_cast<char>(Flipped[200] ^ 1);
  const std::string Body = SampleBody();

  LoadOptions();  // makes the key
  SetDefaultOptions();
  for (int K = 1; K <= 12; ++K) ArcInfos[static_cast<size_t>(K)].Enabled = true;
  const std::string Defaults = Current();
  for (const std::string& V : {Flipped, Good.substr(0, 11), Value(Body, 20520), Value(Body, 20920, 20921)}) {
    WriteRaw("Options", V);
    EXPECT_FALSE(LoadOptions()) << V.size();
    EXPECT_EQ(Current(), Defaults);
  }
  // Passing the header tests but cut short: the read raises, and nothing was taken from it.
  for (size_t Cut : {size_t{1}, size_t{40}, Body.size() - 150}) {
    WriteRaw("Options", Value(Body.substr(0, Body.size() - Cut)));
    EXPECT_THROW(LoadOptions(), EVStream) << Cut;
    EXPECT_EQ(Current(), Defaults);
    for (int K = 1; K <= 12; ++K) EXPECT_TRUE(ArcInfos[static_cast<size_t>(K)].Enabled);
  }
}

TEST_F(SettingsInRegistry, TheDefaultValueStandsInForAMissingOrOversizedOne) {
  ASSERT_FALSE(LoadOptions());
  TSettings Sample;
  FillSample(Sample);
  WriteRaw("", EncodeOptions(Sample));
  SetDefaultOptions();
  ASSERT_TRUE(LoadOptions());
  EXPECT_TRUE(SettingsEqual(ProgramSettings(), Sample));

  SetDefaultOptions();
  WriteRaw("Options", std::string(kMaxOptionsBytes + 1, '\0'));
  ASSERT_TRUE(LoadOptions());
  EXPECT_TRUE(SettingsEqual(ProgramSettings(), Sample));
}

TEST_F(SettingsInRegistry, AnOlderValueWithoutTheJarFlagKeepsJar) {
  ASSERT_FALSE(LoadOptions());
  WriteRaw("Options", Value(SampleBody(false), 20600, 20600));
  SetDefaultOptions();
  for (int K = 1; K <= 12; ++K) ArcInfos[static_cast<size_t>(K)].Enabled = K != akJar;
  ASSERT_TRUE(LoadOptions());
  EXPECT_FALSE(ArcInfos[akJar].Enabled);  // its value before the load
  EXPECT_TRUE(ArcInfos[akExe].Enabled);
  EXPECT_FALSE(ArcInfos[akAce].Enabled);
  EXPECT_TRUE(ArcInfos[akLzh].Enabled);
  EXPECT_FALSE(ArcInfos[akRar].Enabled);
  EXPECT_TRUE(ArcInfos[akZoo].Enabled);
  EXPECT_FALSE(ProgramSettings().ArchiveFlags.ProcessSubarchives);  // read after the eleven flags
  EXPECT_TRUE(ProgramSettings().ArchiveFlags.SkipProtectedArchives);
}

TEST_F(SettingsInRegistry, LoadingRepairsFontsPathsAndGroups) {
  SetScreenFontCheck([](const std::string& Name) { return Name == "Liberation Sans" || Name == "Sans"; });
  SetDefaultOptions();
  EXPECT_EQ(DefaultMainFontName(), "Liberation Sans");
  EXPECT_EQ(ProgramSettings().MainFont.Name, "Liberation Sans");
  ASSERT_FALSE(LoadOptions());

  TSettings Sample;
  FillSample(Sample);
  Sample.MainFont.Name = "Gone Font";
  Sample.SearchPaths.Clear();
  Sample.FileTypeGroups.Clear();
  WriteRaw("Options", EncodeOptions(Sample));
  ASSERT_TRUE(LoadOptions());
  EXPECT_EQ(ProgramSettings().MainFont.Name, "Liberation Sans");
  ASSERT_EQ(ProgramSettings().SearchPaths.GetCount(), 1);
  EXPECT_EQ(ProgramSettings().SearchPaths.Get(0).back(), u'/');
  EXPECT_TRUE(ProgramSettings().FileTypeGroups.Exists(u"Text Documents"));
  EXPECT_TRUE(ProgramSettings().FileTypeGroups.Exists(u"MS Office Documents"));

  Sample.MainFont.Name = "Sans";
  WriteRaw("Options", EncodeOptions(Sample));
  ASSERT_TRUE(LoadOptions());
  EXPECT_EQ(ProgramSettings().MainFont.Name, "Sans");
  EXPECT_EQ(DefaultMainFontName(), "Sans");
}

TEST_F(Settings, PresetsAndGroups) {
  TSettings S;
  SetDefaultOptions(S);
  LoadViewerColorPreset2(S);
  EXPECT_EQ(S.ViewOptions.Background, RGBColor(0, 0, 160));
  EXPECT_EQ(S.ViewOptions.Background, 0xA00000u);
  EXPECT_EQ(S.ViewerFont.Color, 0x00FFFFu);
  EXPECT_EQ(S.ViewerOffsetFont.Color, 0xFFFF00u);
  EXPECT_EQ(S.ViewerOffsetFont.Name, S.ViewerFont.Name);
  LoadViewerColorPreset1(S);
  EXPECT_EQ(S.ViewOptions.Background, clWindow);
  EXPECT_EQ(S.ViewerOffsetFont, S.ViewerFont);

  AddFileTypeGroup(u"Text Documents", u"*.x", S);  // exists: unchanged
  EXPECT_EQ(S.FileTypeGroups.Get(u"Text Documents").substr(0, 6), u"*.ASP;");
  AddFileTypeGroup(u"New", u"*.x", S);
  EXPECT_EQ(S.FileTypeGroups.Get(u"New"), u"*.x");
}

}  // namespace
