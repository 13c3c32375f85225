// The preview's decisions without a window: the checks before a window opens, loading a file and an
// archive item with every hit found and marked, byte-order marks, hit-to-hit navigation, the hit colours,
// the status text, find, links, the view settings applied to the viewer, and temporary files that never
// outlive the preview.
#include "viewer/PreviewModel.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/MsgStr.h"
#include "app/Options.h"
#include "archive/ArcNested.h"
#include "core/FileLayer.h"
#include "core/VFileSys.h"
#include "search/QVConvIntf.h"
#include "tests/viewer/PreviewTestUtil.h"
#include "tests/viewer/ViewerFixture.h"

namespace fs = std::filesystem;

namespace {

class PreviewModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(qvnls::SetSystemCodePages(1252, 850));
    Folder = std::make_unique<TPreviewTestFolder>("scry_preview");
    Dir = Folder->Dir;
    SetDefaultOptions(Settings);
    Settings.ViewOptions.WrapText = false;
    V = std::make_unique<THTMLViewer64>(&Metrics);
    V->SetClientSize(400, 160);
    M = std::make_unique<TPreviewModel>(*V, Host);
    M->Options = &Settings.ViewOptions;
    M->OnNavigationChanged = [this] { ++NavChanges; };
  }
  void TearDown() override {
    M.reset();
    V.reset();
    ClearArchiveCache();
    // Nothing the preview made is left behind.
    EXPECT_EQ(TempFiles(), 0);
    Folder.reset();
    qvnls::ResetSystemCodePages();
  }
  TFoundFileInfo Write(const std::string& Name, const std::string& Bytes, TScanEncoding Encoding = seAnsi) {
    return Folder->Write(Name, Bytes, Encoding);
  }
  std::vector<int32_t> Starts() {
    std::vector<int32_t> R;
    for (int32_t I = 0; I < M->HitCount(); ++I) R.push_back(M->GetHitStarts().Get(I));
    return R;
  }
  std::string Attrs(int32_t Line) {
    V->PrepareLines();
    return V->GetVisibleLines().GetAttributes(Line);
  }
  int32_t TempFiles() { return Folder->TempFiles(); }

  std::unique_ptr<TPreviewTestFolder> Folder;
  fs::path Dir;
  TSettings Settings;
  FixedMetrics Metrics;
  FakePreviewHost Host;
  std::unique_ptr<THTMLViewer64> V;
  std::unique_ptr<TPreviewModel> M;
  int NavChanges = 0;
  TPreviewSearchSettings Search;
};

TEST_F(PreviewModelTest, FileHitsMarkedAndWalked) {
  const TFoundFileInfo Info = Write("a.txt", "one Needle\nneedle two\n\nlast needle\n");
  ASSERT_TRUE(M->LoadFile(Info, Search, u"needle", false));
  EXPECT_EQ(Starts(), (std::vector<int32_t>{4, 11, 28}));
  EXPECT_EQ(M->GetCurrentHit(), 0);
  EXPECT_EQ(M->GetCaption(), Info.Name);
  EXPECT_EQ(V->GetName(), Info.Name);
  // Current hit 101, the others 100.
  EXPECT_EQ(Attrs(0), std::string(4, '\0') + std::string(6, '\145'));
  EXPECT_EQ(Attrs(1), std::string(6, '\144') + std::string(4, '\0'));
  EXPECT_EQ(Attrs(3), std::string(5, '\0') + std::string(6, '\144'));
  EXPECT_TRUE(M->CanFirst());
  EXPECT_FALSE(M->CanPrior());
  EXPECT_TRUE(M->CanNext());

  struct TStep {
    std::function<void()> Do;
    int32_t Current;
    bool Prior, Next;
  };
  const TStep Steps[] = {
      {[&] { M->ViewerKey(TPreviewKey::Tab); }, 1, true, true},
      {[&] { M->NextHit(); }, 2, true, false},
      {[&] { M->NextHit(); }, 2, true, false},  // clamped at the last
      {[&] { M->ViewerKey(TPreviewKey::ShiftTab); }, 1, true, true},
      {[&] { M->FirstHit(); }, 0, false, true},
      {[&] { M->PriorHit(); }, 0, false, true},  // clamped at the first
      {[&] { M->LastHit(); }, 2, true, false},
      {[&] { M->ShowHit(99); }, 2, true, false},
  };
  for (const TStep& S : Steps) {
    S.Do();
    EXPECT_EQ(M->GetCurrentHit(), S.Current);
    EXPECT_EQ(M->CanPrior(), S.Prior);
    EXPECT_EQ(M->CanNext(), S.Next);
  }
  EXPECT_GT(NavChanges, 0);
  EXPECT_EQ(Attrs(3), std::string(5, '\0') + std::string(6, '\145'));
  EXPECT_EQ(Attrs(0), std::string(4, '\0') + std::string(6, '\144'));
  EXPECT_EQ(TempFiles(), 0);
}

TEST_F(PreviewModelTest, HitFarDownIsBroughtIntoView) {
  std::string Text;
  for (int I = 0; I < 200; ++I) Text += "filler line " + std::to_string(I) + "\n";
  Text += "the needle\n";
  const TFoundFileInfo Info = Write("long.txt", Text);
  ASSERT_TRUE(M->LoadFile(Info, Search, u"needle", false));
  ASSERT_EQ(M->HitCount(), 1);
  EXPECT_TRUE(V->IsPositionVisible(M->GetHitStarts().Get(0), 6));
  EXPECT_GT(V->GetPosition(), 0);
}

TEST_F(PreviewModelTest, EmptyPatternShowsTheFileWithoutHits) {
  const TFoundFileInfo Info = Write("a.txt", "needle\n", seFileName);
  ASSERT_TRUE(M->LoadFile(Info, Search, u"", false));
  EXPECT_EQ(M->HitCount(), 0);
  EXPECT_FALSE(M->CanFirst());
  EXPECT_FALSE(M->CanLast());
  EXPECT_FALSE(M->CanNext());
  M->ViewerKey(TPreviewKey::Tab);
  EXPECT_EQ(M->GetCurrentHit(), -1);
  // A name hit shows the file in the ANSI mode.
  EXPECT_EQ(V->GetCharsetMode(), cmANSI);
  EXPECT_EQ(M->StatusText(), u"windows-1252");
}

TEST_F(PreviewModelTest, ByteOrderMarkShiftsTheHits) {
  const TFoundFileInfo Info = Write("u.txt", Utf16LE(u"\ufeffab NEEDLE\nneedle"), seUnicode);
  Search.CaseSensitive = false;
  ASSERT_TRUE(M->LoadFile(Info, Search, u"needle", false));
  // In the file the hits start at bytes 8 and 22; the view counts after the mark.
  EXPECT_EQ(Starts(), (std::vector<int32_t>{6, 20}));
  EXPECT_EQ(V->GetCharsetMode(), cmUnicode);
  EXPECT_EQ(Attrs(0), std::string(3, '\0') + std::string(6, '\145'));
  EXPECT_EQ(Attrs(1), std::string(6, '\144'));
  EXPECT_EQ(M->StatusText(), u"Unicode");
}

// After a search without a pattern the row names no encoding; a UTF-16 file was then shown as
// windows-1252 ("ÿþ" and a blank between letters) instead of by its byte-order mark.
TEST_F(PreviewModelTest, ByteOrderMarkDecidesTheModeWhenNoHitDoes) {
  const TFoundFileInfo Info = Write("u.txt", Utf16LE(u"\ufeffab needle"), seFileName);
  ASSERT_TRUE(M->LoadFile(Info, Search, u"", false));
  EXPECT_EQ(V->GetCharsetMode(), cmUnicode);
  EXPECT_EQ(M->StatusText(), u"Unicode");
  // A name hit with a pattern is scanned in UTF-16 too, so the content's hits are marked.
  ASSERT_TRUE(M->LoadFile(Info, Search, u"needle", false));
  EXPECT_EQ(Starts(), (std::vector<int32_t>{6}));
  // Without the mark the file stays 8-bit.
  const TFoundFileInfo Plain = Write("p.txt", "\377\375ab", seFileName);
  ASSERT_TRUE(M->LoadFile(Plain, Search, u"", false));
  EXPECT_EQ(V->GetCharsetMode(), cmANSI);
}

// The scanner reports a fuzzy hit from its end and the word's length, so "zebrafsh" found in
// "zebrafish" (one inserted letter) was marked from the "e": the mark now covers the whole word.
TEST_F(PreviewModelTest, FuzzyHitsAreMarkedFromTheirFirstLetter) {
  struct Case {
    const char* Name;
    std::string Text;
    std::u16string Pattern;
    TScanEncoding Encoding;
    std::vector<int32_t> Starts, Lengths;
  };
  const Case Cases[] = {
      {"inserted letter", "a zebrafish swims", u"zebrafsh", seAnsi, {2}, {9}},
      {"inserted letter, upper case text", "A ZEBRAFISH", u"zebrafsh", seAnsi, {2}, {9}},
      {"at the very start", "zebrafish", u"zebrafsh", seAnsi, {0}, {9}},
      {"deleted letter", "see zebrfish here", u"zebrafish", seAnsi, {4}, {8}},
      {"replaced letter", "a zebrafesh", u"zebrafish", seAnsi, {2}, {9}},
      {"exact word", "one zebrafish", u"zebrafish", seAnsi, {4}, {9}},
      {"two words, both fuzzy", "zebrafish and elephants", u"zebrafsh elephnts", seAnsi, {0, 14}, {9, 9}},
      {"UTF-16", Utf16LE(u"\ufeffa zebrafish"), u"zebrafsh", seUnicode, {4}, {9}},
  };
  Search = TPreviewSearchSettings{slAnyWord, 1, false, false};
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    const TFoundFileInfo Info = Write("f.txt", C.Text, C.Encoding);
    ASSERT_TRUE(M->LoadFile(Info, Search, C.Pattern, false));
    EXPECT_EQ(Starts(), C.Starts);
    std::vector<int32_t> Lengths;
    for (int32_t I = 0; I < M->HitCount(); ++I) Lengths.push_back(M->GetHitLengths().Get(I));
    EXPECT_EQ(Lengths, C.Lengths);
  }
}

TEST_F(PreviewModelTest, SearchSettingsDecideTheHits) {
  const TFoundFileInfo Info = Write("s.txt", "Cat cat category\n");
  Search.CaseSensitive = true;
  ASSERT_TRUE(M->LoadFile(Info, Search, u"cat", false));
  EXPECT_EQ(Starts(), (std::vector<int32_t>{4, 8}));
  Search.WholeWords = true;
  ASSERT_TRUE(M->LoadFile(Info, Search, u"cat", false));
  EXPECT_EQ(Starts(), (std::vector<int32_t>{4}));
  Search = TPreviewSearchSettings{slAnyWord, 0, false, false};
  ASSERT_TRUE(M->LoadFile(Info, Search, u"dog cat", false));
  EXPECT_EQ(Starts(), (std::vector<int32_t>{0, 4, 8}));
}

TEST_F(PreviewModelTest, ArchiveItemExtractedMarkedAndItsCopyDeleted) {
  TFoundFileInfo Info = Folder->ZipItem("notes.txt");
  Info.Size = 68;
  {
    // The item's date as the archive gives it.
    const std::string Probe = (Dir / "probe").string();
    ExtractArchivePathToFile(Utf16ToUtf8(Info.Name), Probe, false, &Info.Date, nullptr, nullptr);
    fs::remove(Probe);
  }
  const TPreviewFileCheck Check = CheckPreviewFile(Info, u"needle", Host);
  EXPECT_TRUE(Check.Ok);
  EXPECT_FALSE(Check.Changed);
  ASSERT_TRUE(M->LoadFile(Info, Search, u"needle", false));
  EXPECT_TRUE(Host.Warnings.empty());
  EXPECT_EQ(Starts(), (std::vector<int32_t>{15, 47, 61}));
  EXPECT_EQ(Attrs(1), std::string(4, '\0') + std::string(6, '\145') + std::string(8, '\0'));
  // The preview shows (and owns) an extracted copy.
  EXPECT_EQ(TempFiles(), 1);
  EXPECT_EQ(fs::path(M->GetTempFileName()).parent_path(), Dir / "tmp");
  EXPECT_EQ(fs::path(M->GetTempFileName()).filename().string().substr(0, 2), "QV");
  EXPECT_EQ(V->GetName(), Info.Name);
  // Loading again replaces the copy; an item that changed since the search is shown with a warning.
  Info.Size = 99;
  ASSERT_TRUE(M->LoadFile(Info, Search, u"needle", false));
  ASSERT_EQ(Host.Warnings.size(), 1u);
  EXPECT_EQ(Host.Warnings[0], u"File \"" + Info.Name + u"\" was changed after it was scanned by Scryline");
  EXPECT_EQ(TempFiles(), 1);
  M.reset();
  EXPECT_EQ(TempFiles(), 0);
}

// An item named "a|b.txt" beside the item b.txt of a folder "a": each preview, by the hit's path in parts,
// shows its own item (the joined path alone reads as b.txt inside an archive "a").
TEST_F(PreviewModelTest, ItemWithABarInItsNameIsShownByItsOwnPath) {
  const fs::path Zip = Dir / "bar.zip";
  fs::copy_file(fs::path(SCRYLINE_TEST_DATA) / "preview" / "bar.zip", Zip);
  struct TCase {
    std::string Item;
    int64_t Size;
    std::u16string OwnWord, OtherWord;
  };
  for (const TCase& C :
       {TCase{"a|b.txt", 30, u"name", u"folder"}, TCase{"a/b.txt", 26, u"folder", u"name"}}) {
    TFoundFileInfo Info;
    Info.Name = Utf8ToUtf16(Zip.string() + "|" + C.Item);
    Info.InArchive = true;
    Info.ItemPath = {Zip.string(), C.Item};
    Info.Size = C.Size;
    EXPECT_TRUE(CheckPreviewFile(Info, C.OwnWord, Host).Ok) << C.Item;
    ASSERT_TRUE(M->LoadFile(Info, Search, C.OwnWord, false)) << C.Item;
    EXPECT_EQ(M->HitCount(), 1) << C.Item;
    ASSERT_TRUE(M->LoadFile(Info, Search, C.OtherWord, false)) << C.Item;
    EXPECT_EQ(M->HitCount(), 0) << C.Item;
  }
  EXPECT_TRUE(Host.Errors.empty());
  M.reset();
  EXPECT_EQ(TempFiles(), 0);
}

TEST_F(PreviewModelTest, FailedExtractionLeavesNoFileBehind) {
  // Not an archive at all: the extraction raises, and the copy made for it is gone.
  const fs::path Zip = Dir / "bad.zip";
  std::ofstream(Zip, std::ios::binary) << std::string(300, '\x55');
  TFoundFileInfo Info;
  Info.Name = Utf8ToUtf16(Zip.string() + "|notes.txt");
  Info.InArchive = true;
  EXPECT_THROW(M->LoadFile(Info, Search, u"needle", false), Exception);
  EXPECT_EQ(TempFiles(), 0);
  EXPECT_FALSE(V->IsOpen());
}

// An item that is no longer in its archive cannot be extracted: the preview reports the archive layer's
// error instead of showing an empty file.
TEST_F(PreviewModelTest, ItemGoneFromItsArchiveIsAnExtractionError) {
  TFoundFileInfo Info = Folder->ZipItem("missing.txt");
  Info.Size = 10;
  try {
    M->LoadFile(Info, Search, u"needle", false);
    FAIL() << "no error for an item that is not in the archive";
  } catch (const Exception& E) {
    EXPECT_NE(E.Message().find("Can't extract \"missing.txt\""), std::string::npos) << E.Message();
  }
  EXPECT_EQ(M->HitCount(), 0);
}

TEST_F(PreviewModelTest, ChecksBeforeAWindowOpens) {
  TFoundFileInfo Info = Write("c.txt", "needle\n");
  TPreviewFileCheck C = CheckPreviewFile(Info, u"needle", Host);
  EXPECT_TRUE(C.Ok);
  EXPECT_FALSE(C.Changed);
  EXPECT_EQ(C.Size, 7);
  // Changed size: changed only when there is a pattern.
  Info.Size = 3;
  EXPECT_TRUE(CheckPreviewFile(Info, u"needle", Host).Changed);
  EXPECT_FALSE(CheckPreviewFile(Info, u"", Host).Changed);
  EXPECT_TRUE(Host.Errors.empty());
  // Missing file.
  TFoundFileInfo Gone = Info;
  Gone.Name = Utf8ToUtf16((Dir / "gone.txt").string());
  EXPECT_FALSE(CheckPreviewFile(Gone, u"x", Host).Ok);
  ASSERT_EQ(Host.Errors.size(), 1u);
  EXPECT_EQ(Host.Errors[0], u"File \"" + Gone.Name + u"\" not found. It was deleted or renamed probably");
  // A file that cannot be opened.
  const fs::path Locked = Dir / "locked.txt";
  std::ofstream(Locked) << "x";
  fs::permissions(Locked, fs::perms::none);
  TFoundFileInfo L = Info;
  L.Name = Utf8ToUtf16(Locked.string());
  if (::geteuid() != 0) {
    EXPECT_FALSE(CheckPreviewFile(L, u"x", Host).Ok);
    EXPECT_EQ(Host.Errors.back(), u"Access denied. File \"" + L.Name +
                                      u"\" is opened and locked by another application probably");
  }
  // The 64th window is refused.
  EXPECT_NO_THROW(CheckPreviewCount(62));
  EXPECT_THROW(CheckPreviewCount(63), EPreview);
}

TEST_F(PreviewModelTest, SameFileIsRecognised) {
  const TFoundFileInfo Info = Write("a.txt", "needle\n");
  ASSERT_TRUE(M->LoadFile(Info, Search, u"needle", false));
  M->SetFileStamp(Info.Size, Info.Date);
  EXPECT_TRUE(M->ShowsFile(Info, false, 0, 0));
  EXPECT_TRUE(M->ShowsFile(Info, true, Info.Size, Info.Date));
  // A file that changed since is recognised only as it is now.
  EXPECT_FALSE(M->ShowsFile(Info, true, Info.Size + 1, Info.Date));
  // Names differ in case: two files.
  TFoundFileInfo Upper = Info;
  Upper.Name = Utf8ToUtf16((Dir / "A.txt").string());
  EXPECT_FALSE(M->ShowsFile(Upper, false, 0, 0));
}

TEST_F(PreviewModelTest, HitColours) {
  TViewOptions& O = Settings.ViewOptions;
  O.HitBack = RGBColor(1, 2, 3);
  O.HitText = RGBColor(4, 5, 6);
  O.CurrentHitBack = RGBColor(7, 8, 9);
  O.CurrentHitText = RGBColor(10, 11, 12);
  struct TCase {
    uint8_t Attr;
    bool Selected;
    uint32_t Text, Bk;
    bool Opaque, Underline;
  };
  const TCase Cases[] = {
      {vaHit, false, 0x060504, 0x030201, true, false},
      {vaCurrentHit, false, 0x0C0B0A, 0x090807, true, false},
      // Inside the selection: the selection's colours, underlined; the current hit keeps its text colour.
      {vaHit, true, 0xAAAAAA, 0xBBBBBB, true, true},
      {vaCurrentHit, true, 0x0C0B0A, 0xBBBBBB, true, true},
  };
  for (const TCase& C : Cases) {
    TAttrColors Colors{C.Attr, C.Selected, 0xAAAAAA, 0xBBBBBB, C.Selected, false};
    V->OnGetAttrColors(V.get(), Colors);
    EXPECT_EQ(Colors.TextColor, C.Text) << int(C.Attr) << C.Selected;
    EXPECT_EQ(Colors.BkColor, C.Bk) << int(C.Attr) << C.Selected;
    EXPECT_EQ(Colors.Opaque, C.Opaque);
    EXPECT_EQ(Colors.Underline, C.Underline);
  }
  // Other codes follow the address rule of the viewer.
  TAttrColors Colors{vaURL, false, 0, 0, false, false};
  V->OnGetAttrColors(V.get(), Colors);
  EXPECT_EQ(Colors.TextColor, V->URLStyle.TextColor);
  EXPECT_TRUE(Colors.Underline);
}

TEST_F(PreviewModelTest, FindLinksAndStatus) {
  const TFoundFileInfo Info = Write("f.txt", "visit www.example.com today\n");
  ASSERT_TRUE(M->LoadFile(Info, Search, u"", false));
  EXPECT_EQ(M->Find(u"today", false, false), 0);
  EXPECT_EQ(V->GetSelStart(), 22);
  EXPECT_EQ(M->Find(u"absent", false, false), 1);
  ASSERT_EQ(Host.Warnings.size(), 1u);
  EXPECT_EQ(Host.Warnings[0], u"Search string 'absent' not found");
  V->PrepareLines();
  ASSERT_TRUE(V->UpdateHotLink(6 * 8 + 4, 4));
  EXPECT_EQ(M->StatusText(), u"www.example.com");
  M->LinkClick(V->GetHotLinkURL(), V->GetHotLinkIndex());
  M->LinkClick(u"/nothing", -1);
  EXPECT_EQ(Host.Opened, (std::vector<std::u16string>{u"http://www.example.com"}));
  V->ClearHotLink();
  EXPECT_EQ(M->StatusText(), u"windows-1252");
}

TEST_F(PreviewModelTest, ViewSettingsReachTheViewer) {
  TViewOptions O = Settings.ViewOptions;
  O.TabSize = 4;
  O.GutterWidth = 20;
  O.PageMode = 2;
  O.WrapText = true;
  O.ShowEOL = true;
  O.ShowTabs = true;
  O.DetectLinks = false;
  O.Selection = RGBColor(0, 128, 0);
  O.SelectedText = RGBColor(255, 255, 0);
  O.Gutter = clBtnFace;
  O.Background = RGBColor(0, 0, 160);
  TFontRec Font;
  Font.Color = RGBColor(255, 255, 0);
  const TAppliedColors C = ApplyViewOptions(*V, O, Font);
  EXPECT_EQ(V->GetTabSize(), 4);
  EXPECT_EQ(V->GetGutterWidth(), 20);
  EXPECT_EQ(V->PageMode, 2);
  EXPECT_TRUE(V->GetWordWrap());
  EXPECT_EQ(V->GetEOLMark(), kPreviewEOLMark);
  EXPECT_TRUE(V->GetShowTabs());
  EXPECT_FALSE(V->GetAutodetectLinks());
  EXPECT_EQ(V->SelBkColor, 0x008000u);
  EXPECT_EQ(V->SelTextColor, 0x00FFFFu);
  EXPECT_EQ(V->GutterColor, 0xF0F0F0u);
  EXPECT_EQ(V->URLStyle.TextColor, 0x00FFFFu);
  EXPECT_FALSE(V->URLStyle.HighlightHot);
  EXPECT_EQ(C.Background, 0xA00000u);
  EXPECT_EQ(C.Text, 0x00FFFFu);
  EXPECT_FALSE(V->IsUpdating());
}

// Documents converted by the test converter libraries (their script says what each does).
class PreviewConvertTest : public PreviewModelTest {
 protected:
  void SetUp() override {
    PreviewModelTest::SetUp();
    ASSERT_EQ(List.AddConverter(std::string(SCRYLINE_TEST_PLUGINS) + "/impxls.so", false), kConverterLoaded);
    Host.Converters = &List;
  }
  TQVConverters List;
};

TEST_F(PreviewConvertTest, ConvertedTextShownWithItsHits) {
  const TFoundFileInfo Info = Write("report.xls", "xls: text the needle inside\n");
  ASSERT_TRUE(M->LoadFile(Info, Search, u"needle", true));
  EXPECT_EQ(M->GetEncoding(), seUnicode);
  EXPECT_EQ(V->GetCharsetMode(), cmUnicode);
  EXPECT_EQ(Starts(), (std::vector<int32_t>{16}));
  EXPECT_FALSE(M->CanConvert());
  EXPECT_EQ(M->StatusText(), u"Unicode (converted by \"impxls.so\")");
  // The converted text lives in the preview's own temporary file; the host's status came back.
  EXPECT_EQ(TempFiles(), 1);
  EXPECT_EQ(Host.Status, u"ready");
  EXPECT_TRUE(Host.Errors.empty());
}

TEST_F(PreviewConvertTest, CancelledConversionOpensNothingAndLeavesNothing) {
  Host.Escape = true;
  const TFoundFileInfo Info = Write("slow.xls", "xls: cancel\n");
  EXPECT_FALSE(M->LoadFile(Info, Search, u"x", true));
  EXPECT_GT(Host.Polls, 0);
  EXPECT_EQ(Host.Errors.size(), 1u);
  EXPECT_FALSE(V->IsOpen());
  EXPECT_EQ(TempFiles(), 0);
  EXPECT_EQ(Host.Status, u"ready");
}

TEST_F(PreviewConvertTest, FailedConversionShowsTheFileItself) {
  // With the converter named by the result: its error text, then the file as it is.
  TFoundFileInfo Info = Write("broken.xls", "xls: fail Broken table\n");
  Info.Converter = List.GetConverter(0);
  ASSERT_TRUE(M->LoadFile(Info, Search, u"Broken", false));
  ASSERT_EQ(Host.Errors.size(), 1u);
  EXPECT_NE(Host.Errors[0].find(u"Broken table"), std::u16string::npos);
  EXPECT_EQ(V->GetCharsetMode(), cmANSI);
  EXPECT_EQ(Starts(), (std::vector<int32_t>{10}));
  EXPECT_TRUE(M->CanConvert());
  // Without a named converter, a file no converter takes is shown without a message.
  const TFoundFileInfo Plain = Write("plain.txt", "just text\n");
  ASSERT_TRUE(M->LoadFile(Plain, Search, u"text", true));
  EXPECT_EQ(Host.Errors.size(), 1u);
  EXPECT_EQ(Starts(), (std::vector<int32_t>{5}));
  EXPECT_EQ(TempFiles(), 0);
}

TEST_F(PreviewConvertTest, ArchiveItemConvertedByItsOwnExtension) {
  // The item is extracted to a temporary file without its extension; the converter is still chosen by
  // the item's name.
  const std::filesystem::path Zip = Dir / "sheet.zip";
  std::filesystem::copy_file(std::filesystem::path(SCRYLINE_TEST_DATA) / "preview" / "sheet.zip", Zip);
  TFoundFileInfo Info;
  Info.Name = Utf8ToUtf16(Zip.string() + "|report.xls");
  Info.InArchive = true;
  Info.Size = 34;
  Info.Encoding = seAnsi;
  ASSERT_TRUE(M->LoadFile(Info, Search, u"needle", true));
  EXPECT_EQ(V->GetCharsetMode(), cmUnicode);
  EXPECT_EQ(Starts(), (std::vector<int32_t>{16}));
  // Only the converted text is kept; the extracted item is gone.
  EXPECT_EQ(TempFiles(), 1);
}

TEST_F(PreviewConvertTest, EightBitTextIsNeverShownAsUTF16) {
  ASSERT_EQ(List.AddConverter(std::string(SCRYLINE_TEST_PLUGINS) + "/impmp3.so", false), kConverterLoaded);
  // The hit was found in UTF-16, but this converter answers 8-bit text.
  const TFoundFileInfo Info = Write("song.mp3", "mp3: text the needle\n", seUnicode);
  ASSERT_TRUE(M->LoadFile(Info, Search, u"needle", true));
  EXPECT_EQ(M->GetEncoding(), seAnsi);
  EXPECT_EQ(V->GetCharsetMode(), cmANSI);
  EXPECT_EQ(Starts(), (std::vector<int32_t>{8}));
  V->PrepareLines();
  EXPECT_EQ(V->GetVisibleLines()[0].Text, u"mp3:the needle");
}

TEST_F(PreviewConvertTest, ShownFileConvertedOnRequest) {
  const TFoundFileInfo Info = Write("late.xls", "xls: text the needle\n");
  ASSERT_TRUE(M->LoadFile(Info, Search, u"needle", false));
  EXPECT_EQ(Starts(), (std::vector<int32_t>{14}));
  ASSERT_TRUE(M->ConvertShownFile());
  EXPECT_EQ(V->GetCharsetMode(), cmUnicode);
  EXPECT_EQ(Starts(), (std::vector<int32_t>{16}));
  EXPECT_EQ(V->GetName(), Info.Name);
  EXPECT_FALSE(M->CanConvert());
  EXPECT_EQ(TempFiles(), 1);
  // Converted text is not converted again.
  EXPECT_FALSE(M->ConvertShownFile());
  EXPECT_EQ(Starts(), (std::vector<int32_t>{16}));
}

TEST(PreviewColors, SystemAndPlainColours) {
  EXPECT_EQ(ColorToRGB(RGBColor(1, 2, 3)), 0x030201u);
  EXPECT_EQ(ColorToRGB(clWindow), 0xFFFFFFu);
  EXPECT_EQ(ColorToRGB(clWindowText), 0u);
  EXPECT_EQ(ColorToRGB(clHighlight), 0xD77800u);
  EXPECT_EQ(CharsetModeOfEncoding(seOem), cmOEM);
  EXPECT_EQ(CharsetModeOfEncoding(seUnicode), cmUnicode);
  EXPECT_EQ(CharsetModeOfEncoding(seFileName), cmANSI);
}

}  // namespace
