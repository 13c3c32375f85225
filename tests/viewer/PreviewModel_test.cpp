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
    Folder_ = std::make_unique<TPreviewTestFolder>("scry_preview");
    Dir_ = Folder_->Dir;
    SetDefaultOptions(Settings_);
    Settings_.ViewOptions.WrapText = false;
    V_ = std::make_unique<THTMLViewer64>(&Metrics_);
    V_->SetClientSize(400, 160);
    M_ = std::make_unique<TPreviewModel>(*V_, Host_);
    M_->Options = &Settings_.ViewOptions;
    M_->OnNavigationChanged = [this] { ++NavChanges_; };
  }
  void TearDown() override {
    M_.reset();
    V_.reset();
    ClearArchiveCache();
    // Nothing the preview made is left behind.
    EXPECT_EQ(TempFiles(), 0);
    Folder_.reset();
    qvnls::ResetSystemCodePages();
  }
  TFoundFileInfo Write(const std::string& Name, const std::string& Bytes, TScanEncoding Encoding = seAnsi) {
    return Folder_->Write(Name, Bytes, Encoding);
  }
  std::vector<int32_t> Starts() {
    std::vector<int32_t> R;
    for (int32_t I = 0; I < M_->HitCount(); ++I) R.push_back(M_->GetHitStarts().Get(I));
    return R;
  }
  std::string Attrs(int32_t Line) {
    V_->PrepareLines();
    return V_->GetVisibleLines().GetAttributes(Line);
  }
  int32_t TempFiles() { return Folder_->TempFiles(); }

  std::unique_ptr<TPreviewTestFolder> Folder_;
  fs::path Dir_;
  TSettings Settings_;
  FixedMetrics Metrics_;
  FakePreviewHost Host_;
  std::unique_ptr<THTMLViewer64> V_;
  std::unique_ptr<TPreviewModel> M_;
  int NavChanges_ = 0;
  TPreviewSearchSettings Search_;
};

TEST_F(PreviewModelTest, FileHitsMarkedAndWalked) {
  const TFoundFileInfo Info = Write("a.txt", "one Needle\nneedle two\n\nlast needle\n");
  ASSERT_TRUE(M_->LoadFile(Info, Search_, u"needle", false));
  EXPECT_EQ(Starts(), (std::vector<int32_t>{4, 11, 28}));
  EXPECT_EQ(M_->GetCurrentHit(), 0);
  EXPECT_EQ(M_->GetCaption(), Info.Name);
  EXPECT_EQ(V_->GetName(), Info.Name);
  // Current hit 101, the others 100.
  EXPECT_EQ(Attrs(0), std::string(4, '\0') + std::string(6, '\145'));
  EXPECT_EQ(Attrs(1), std::string(6, '\144') + std::string(4, '\0'));
  EXPECT_EQ(Attrs(3), std::string(5, '\0') + std::string(6, '\144'));
  EXPECT_TRUE(M_->CanFirst());
  EXPECT_FALSE(M_->CanPrior());
  EXPECT_TRUE(M_->CanNext());

  struct TStep {
    std::function<void()> Do;
    int32_t Current;
    bool Prior, Next;
  };
  const TStep Steps[] = {
      {[&] { M_->ViewerKey(TPreviewKey::Tab); }, 1, true, true},
      {[&] { M_->NextHit(); }, 2, true, false},
      {[&] { M_->NextHit(); }, 2, true, false},  // clamped at the last
      {[&] { M_->ViewerKey(TPreviewKey::ShiftTab); }, 1, true, true},
      {[&] { M_->FirstHit(); }, 0, false, true},
      {[&] { M_->PriorHit(); }, 0, false, true},  // clamped at the first
      {[&] { M_->LastHit(); }, 2, true, false},
      {[&] { M_->ShowHit(99); }, 2, true, false},
  };
  for (const TStep& S : Steps) {
    S.Do();
    EXPECT_EQ(M_->GetCurrentHit(), S.Current);
    EXPECT_EQ(M_->CanPrior(), S.Prior);
    EXPECT_EQ(M_->CanNext(), S.Next);
  }
  EXPECT_GT(NavChanges_, 0);
  EXPECT_EQ(Attrs(3), std::string(5, '\0') + std::string(6, '\145'));
  EXPECT_EQ(Attrs(0), std::string(4, '\0') + std::string(6, '\144'));
  EXPECT_EQ(TempFiles(), 0);
}

TEST_F(PreviewModelTest, HitFarDownIsBroughtIntoView) {
  std::string Text;
  for (int I = 0; I < 200; ++I) Text += "filler line " + std::to_string(I) + "\n";
  Text += "the needle\n";
  const TFoundFileInfo Info = Write("long.txt", Text);
  ASSERT_TRUE(M_->LoadFile(Info, Search_, u"needle", false));
  ASSERT_EQ(M_->HitCount(), 1);
  EXPECT_TRUE(V_->IsPositionVisible(M_->GetHitStarts().Get(0), 6));
  EXPECT_GT(V_->GetPosition(), 0);
}

TEST_F(PreviewModelTest, EmptyPatternShowsTheFileWithoutHits) {
  const TFoundFileInfo Info = Write("a.txt", "needle\n", seFileName);
  ASSERT_TRUE(M_->LoadFile(Info, Search_, u"", false));
  EXPECT_EQ(M_->HitCount(), 0);
  EXPECT_FALSE(M_->CanFirst());
  EXPECT_FALSE(M_->CanLast());
  EXPECT_FALSE(M_->CanNext());
  M_->ViewerKey(TPreviewKey::Tab);
  EXPECT_EQ(M_->GetCurrentHit(), -1);
  // A name hit shows the file in the ANSI mode.
  EXPECT_EQ(V_->GetCharsetMode(), cmANSI);
  EXPECT_EQ(M_->StatusText(), u"windows-1252");
}

TEST_F(PreviewModelTest, ByteOrderMarkShiftsTheHits) {
  const TFoundFileInfo Info = Write("u.txt", Utf16LE(u"\ufeffab NEEDLE\nneedle"), seUnicode);
  Search_.CaseSensitive = false;
  ASSERT_TRUE(M_->LoadFile(Info, Search_, u"needle", false));
  // In the file the hits start at bytes 8 and 22; the view counts after the mark.
  EXPECT_EQ(Starts(), (std::vector<int32_t>{6, 20}));
  EXPECT_EQ(V_->GetCharsetMode(), cmUnicode);
  EXPECT_EQ(Attrs(0), std::string(3, '\0') + std::string(6, '\145'));
  EXPECT_EQ(Attrs(1), std::string(6, '\144'));
  EXPECT_EQ(M_->StatusText(), u"Unicode");
}

// After a search without a pattern the row names no encoding; a UTF-16 file was then shown as
// windows-1252 ("ÿþ" and a blank between letters) instead of by its byte-order mark.
TEST_F(PreviewModelTest, ByteOrderMarkDecidesTheModeWhenNoHitDoes) {
  const TFoundFileInfo Info = Write("u.txt", Utf16LE(u"\ufeffab needle"), seFileName);
  ASSERT_TRUE(M_->LoadFile(Info, Search_, u"", false));
  EXPECT_EQ(V_->GetCharsetMode(), cmUnicode);
  EXPECT_EQ(M_->StatusText(), u"Unicode");
  // A name hit with a pattern is scanned in UTF-16 too, so the content's hits are marked.
  ASSERT_TRUE(M_->LoadFile(Info, Search_, u"needle", false));
  EXPECT_EQ(Starts(), (std::vector<int32_t>{6}));
  // Without the mark the file stays 8-bit.
  const TFoundFileInfo Plain = Write("p.txt", "\377\375ab", seFileName);
  ASSERT_TRUE(M_->LoadFile(Plain, Search_, u"", false));
  EXPECT_EQ(V_->GetCharsetMode(), cmANSI);
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
  Search_ = TPreviewSearchSettings{slAnyWord, 1, false, false};
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    const TFoundFileInfo Info = Write("f.txt", C.Text, C.Encoding);
    ASSERT_TRUE(M_->LoadFile(Info, Search_, C.Pattern, false));
    EXPECT_EQ(Starts(), C.Starts);
    std::vector<int32_t> Lengths;
    for (int32_t I = 0; I < M_->HitCount(); ++I) Lengths.push_back(M_->GetHitLengths().Get(I));
    EXPECT_EQ(Lengths, C.Lengths);
  }
}

TEST_F(PreviewModelTest, SearchSettingsDecideTheHits) {
  const TFoundFileInfo Info = Write("s.txt", "Cat cat category\n");
  Search_.CaseSensitive = true;
  ASSERT_TRUE(M_->LoadFile(Info, Search_, u"cat", false));
  EXPECT_EQ(Starts(), (std::vector<int32_t>{4, 8}));
  Search_.WholeWords = true;
  ASSERT_TRUE(M_->LoadFile(Info, Search_, u"cat", false));
  EXPECT_EQ(Starts(), (std::vector<int32_t>{4}));
  Search_ = TPreviewSearchSettings{slAnyWord, 0, false, false};
  ASSERT_TRUE(M_->LoadFile(Info, Search_, u"dog cat", false));
  EXPECT_EQ(Starts(), (std::vector<int32_t>{0, 4, 8}));
}

TEST_F(PreviewModelTest, ArchiveItemExtractedMarkedAndItsCopyDeleted) {
  TFoundFileInfo Info = Folder_->ZipItem("notes.txt");
  Info.Size = 68;
  {
    // The item's date as the archive gives it.
    const std::string Probe = (Dir_ / "probe").string();
    ExtractArchivePathToFile(Utf16ToUtf8(Info.Name), Probe, false, &Info.Date, nullptr, nullptr);
    fs::remove(Probe);
  }
  const TPreviewFileCheck Check = CheckPreviewFile(Info, u"needle", Host_);
  EXPECT_TRUE(Check.Ok);
  EXPECT_FALSE(Check.Changed);
  ASSERT_TRUE(M_->LoadFile(Info, Search_, u"needle", false));
  EXPECT_TRUE(Host_.Warnings.empty());
  EXPECT_EQ(Starts(), (std::vector<int32_t>{15, 47, 61}));
  EXPECT_EQ(Attrs(1), std::string(4, '\0') + std::string(6, '\145') + std::string(8, '\0'));
  // The preview shows (and owns) an extracted copy.
  EXPECT_EQ(TempFiles(), 1);
  EXPECT_EQ(fs::path(M_->GetTempFileName()).parent_path(), Dir_ / "tmp");
  EXPECT_EQ(fs::path(M_->GetTempFileName()).filename().string().substr(0, 2), "QV");
  EXPECT_EQ(V_->GetName(), Info.Name);
  // Loading again replaces the copy; an item that changed since the search is shown with a warning.
  Info.Size = 99;
  ASSERT_TRUE(M_->LoadFile(Info, Search_, u"needle", false));
  ASSERT_EQ(Host_.Warnings.size(), 1u);
  EXPECT_EQ(Host_.Warnings[0], u"File \"" + Info.Name + u"\" was changed after it was scanned by Scryline");
  EXPECT_EQ(TempFiles(), 1);
  M_.reset();
  EXPECT_EQ(TempFiles(), 0);
}

// An item named "a|b.txt" beside the item b.txt of a folder "a": each preview, by the hit's path in parts,
// shows its own item (the joined path alone reads as b.txt inside an archive "a").
TEST_F(PreviewModelTest, ItemWithABarInItsNameIsShownByItsOwnPath) {
  const fs::path Zip = Dir_ / "bar.zip";
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
    EXPECT_TRUE(CheckPreviewFile(Info, C.OwnWord, Host_).Ok) << C.Item;
    ASSERT_TRUE(M_->LoadFile(Info, Search_, C.OwnWord, false)) << C.Item;
    EXPECT_EQ(M_->HitCount(), 1) << C.Item;
    ASSERT_TRUE(M_->LoadFile(Info, Search_, C.OtherWord, false)) << C.Item;
    EXPECT_EQ(M_->HitCount(), 0) << C.Item;
  }
  EXPECT_TRUE(Host_.Errors.empty());
  M_.reset();
  EXPECT_EQ(TempFiles(), 0);
}

TEST_F(PreviewModelTest, FailedExtractionLeavesNoFileBehind) {
  // Not an archive at all: the extraction raises, and the copy made for it is gone.
  const fs::path Zip = Dir_ / "bad.zip";
  std::ofstream(Zip, std::ios::binary) << std::string(300, '\x55');
  TFoundFileInfo Info;
  Info.Name = Utf8ToUtf16(Zip.string() + "|notes.txt");
  Info.InArchive = true;
  EXPECT_THROW(M_->LoadFile(Info, Search_, u"needle", false), Exception);
  EXPECT_EQ(TempFiles(), 0);
  EXPECT_FALSE(V_->IsOpen());
}

// An item that is no longer in its archive cannot be extracted: the preview reports the archive layer's
// error instead of showing an empty file.
TEST_F(PreviewModelTest, ItemGoneFromItsArchiveIsAnExtractionError) {
  TFoundFileInfo Info = Folder_->ZipItem("missing.txt");
  Info.Size = 10;
  try {
    M_->LoadFile(Info, Search_, u"needle", false);
    FAIL() << "no error for an item that is not in the archive";
  } catch (const Exception& E) {
    EXPECT_NE(E.Message().find("Can't extract \"missing.txt\""), std::string::npos) << E.Message();
  }
  EXPECT_EQ(M_->HitCount(), 0);
}

TEST_F(PreviewModelTest, ChecksBeforeAWindowOpens) {
  TFoundFileInfo Info = Write("c.txt", "needle\n");
  TPreviewFileCheck C = CheckPreviewFile(Info, u"needle", Host_);
  EXPECT_TRUE(C.Ok);
  EXPECT_FALSE(C.Changed);
  EXPECT_EQ(C.Size, 7);
  // Changed size: changed only when there is a pattern.
  Info.Size = 3;
  EXPECT_TRUE(CheckPreviewFile(Info, u"needle", Host_).Changed);
  EXPECT_FALSE(CheckPreviewFile(Info, u"", Host_).Changed);
  EXPECT_TRUE(Host_.Errors.empty());
  // Missing file.
  TFoundFileInfo Gone = Info;
  Gone.Name = Utf8ToUtf16((Dir_ / "gone.txt").string());
  EXPECT_FALSE(CheckPreviewFile(Gone, u"x", Host_).Ok);
  ASSERT_EQ(Host_.Errors.size(), 1u);
  EXPECT_EQ(Host_.Errors[0], u"File \"" + Gone.Name + u"\" not found. It was deleted or renamed probably");
  // A file that cannot be opened.
  const fs::path Locked = Dir_ / "locked.txt";
  std::ofstream(Locked) << "x";
  fs::permissions(Locked, fs::perms::none);
  TFoundFileInfo L = Info;
  L.Name = Utf8ToUtf16(Locked.string());
  if (::geteuid() != 0) {
    EXPECT_FALSE(CheckPreviewFile(L, u"x", Host_).Ok);
    EXPECT_EQ(Host_.Errors.back(), u"Access denied. File \"" + L.Name +
                                       u"\" is opened and locked by another application probably");
  }
  // The 64th window is refused.
  EXPECT_NO_THROW(CheckPreviewCount(62));
  EXPECT_THROW(CheckPreviewCount(63), EPreview);
}

TEST_F(PreviewModelTest, SameFileIsRecognised) {
  const TFoundFileInfo Info = Write("a.txt", "needle\n");
  ASSERT_TRUE(M_->LoadFile(Info, Search_, u"needle", false));
  M_->SetFileStamp(Info.Size, Info.Date);
  EXPECT_TRUE(M_->ShowsFile(Info, false, 0, 0));
  EXPECT_TRUE(M_->ShowsFile(Info, true, Info.Size, Info.Date));
  // A file that changed since is recognised only as it is now.
  EXPECT_FALSE(M_->ShowsFile(Info, true, Info.Size + 1, Info.Date));
  // Names differ in case: two files.
  TFoundFileInfo Upper = Info;
  Upper.Name = Utf8ToUtf16((Dir_ / "A.txt").string());
  EXPECT_FALSE(M_->ShowsFile(Upper, false, 0, 0));
}

TEST_F(PreviewModelTest, HitColours) {
  TViewOptions& O = Settings_.ViewOptions;
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
    V_->OnGetAttrColors(V_.get(), Colors);
    EXPECT_EQ(Colors.TextColor, C.Text) << int(C.Attr) << C.Selected;
    EXPECT_EQ(Colors.BkColor, C.Bk) << int(C.Attr) << C.Selected;
    EXPECT_EQ(Colors.Opaque, C.Opaque);
    EXPECT_EQ(Colors.Underline, C.Underline);
  }
  // Other codes follow the address rule of the viewer.
  TAttrColors Colors{vaURL, false, 0, 0, false, false};
  V_->OnGetAttrColors(V_.get(), Colors);
  EXPECT_EQ(Colors.TextColor, V_->URLStyle.TextColor);
  EXPECT_TRUE(Colors.Underline);
}

TEST_F(PreviewModelTest, FindLinksAndStatus) {
  const TFoundFileInfo Info = Write("f.txt", "visit www.example.com today\n");
  ASSERT_TRUE(M_->LoadFile(Info, Search_, u"", false));
  EXPECT_EQ(M_->Find(u"today", false, false), 0);
  EXPECT_EQ(V_->GetSelStart(), 22);
  EXPECT_EQ(M_->Find(u"absent", false, false), 1);
  ASSERT_EQ(Host_.Warnings.size(), 1u);
  EXPECT_EQ(Host_.Warnings[0], u"Search string 'absent' not found");
  V_->PrepareLines();
  ASSERT_TRUE(V_->UpdateHotLink(6 * 8 + 4, 4));
  EXPECT_EQ(M_->StatusText(), u"www.example.com");
  M_->LinkClick(V_->GetHotLinkURL(), V_->GetHotLinkIndex());
  M_->LinkClick(u"/nothing", -1);
  EXPECT_EQ(Host_.Opened, (std::vector<std::u16string>{u"http://www.example.com"}));
  V_->ClearHotLink();
  EXPECT_EQ(M_->StatusText(), u"windows-1252");
}

TEST_F(PreviewModelTest, ViewSettingsReachTheViewer) {
  TViewOptions O = Settings_.ViewOptions;
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
  const TAppliedColors C = ApplyViewOptions(*V_, O, Font);
  EXPECT_EQ(V_->GetTabSize(), 4);
  EXPECT_EQ(V_->GetGutterWidth(), 20);
  EXPECT_EQ(V_->PageMode, 2);
  EXPECT_TRUE(V_->GetWordWrap());
  EXPECT_EQ(V_->GetEOLMark(), kPreviewEOLMark);
  EXPECT_TRUE(V_->GetShowTabs());
  EXPECT_FALSE(V_->GetAutodetectLinks());
  EXPECT_EQ(V_->SelBkColor, 0x008000u);
  EXPECT_EQ(V_->SelTextColor, 0x00FFFFu);
  EXPECT_EQ(V_->GutterColor, 0xF0F0F0u);
  EXPECT_EQ(V_->URLStyle.TextColor, 0x00FFFFu);
  EXPECT_FALSE(V_->URLStyle.HighlightHot);
  EXPECT_EQ(C.Background, 0xA00000u);
  EXPECT_EQ(C.Text, 0x00FFFFu);
  EXPECT_FALSE(V_->IsUpdating());
}

// Documents converted by the test converter libraries (their script says what each does).
class PreviewConvertTest : public PreviewModelTest {
 protected:
  void SetUp() override {
    PreviewModelTest::SetUp();
    ASSERT_EQ(List_.AddConverter(std::string(SCRYLINE_TEST_PLUGINS) + "/impxls.so", false), kConverterLoaded);
    Host_.Converters = &List_;
  }
  TQVConverters List_;
};

TEST_F(PreviewConvertTest, ConvertedTextShownWithItsHits) {
  const TFoundFileInfo Info = Write("report.xls", "xls: text the needle inside\n");
  ASSERT_TRUE(M_->LoadFile(Info, Search_, u"needle", true));
  EXPECT_EQ(M_->GetEncoding(), seUnicode);
  EXPECT_EQ(V_->GetCharsetMode(), cmUnicode);
  EXPECT_EQ(Starts(), (std::vector<int32_t>{16}));
  EXPECT_FALSE(M_->CanConvert());
  EXPECT_EQ(M_->StatusText(), u"Unicode (converted by \"impxls.so\")");
  // The converted text lives in the preview's own temporary file; the host's status came back.
  EXPECT_EQ(TempFiles(), 1);
  EXPECT_EQ(Host_.Status, u"ready");
  EXPECT_TRUE(Host_.Errors.empty());
}

TEST_F(PreviewConvertTest, CancelledConversionOpensNothingAndLeavesNothing) {
  Host_.Escape = true;
  const TFoundFileInfo Info = Write("slow.xls", "xls: cancel\n");
  EXPECT_FALSE(M_->LoadFile(Info, Search_, u"x", true));
  EXPECT_GT(Host_.Polls, 0);
  EXPECT_EQ(Host_.Errors.size(), 1u);
  EXPECT_FALSE(V_->IsOpen());
  EXPECT_EQ(TempFiles(), 0);
  EXPECT_EQ(Host_.Status, u"ready");
}

TEST_F(PreviewConvertTest, FailedConversionShowsTheFileItself) {
  // With the converter named by the result: its error text, then the file as it is.
  TFoundFileInfo Info = Write("broken.xls", "xls: fail Broken table\n");
  Info.Converter = List_.GetConverter(0);
  ASSERT_TRUE(M_->LoadFile(Info, Search_, u"Broken", false));
  ASSERT_EQ(Host_.Errors.size(), 1u);
  EXPECT_NE(Host_.Errors[0].find(u"Broken table"), std::u16string::npos);
  EXPECT_EQ(V_->GetCharsetMode(), cmANSI);
  EXPECT_EQ(Starts(), (std::vector<int32_t>{10}));
  EXPECT_TRUE(M_->CanConvert());
  // Without a named converter, a file no converter takes is shown without a message.
  const TFoundFileInfo Plain = Write("plain.txt", "just text\n");
  ASSERT_TRUE(M_->LoadFile(Plain, Search_, u"text", true));
  EXPECT_EQ(Host_.Errors.size(), 1u);
  EXPECT_EQ(Starts(), (std::vector<int32_t>{5}));
  EXPECT_EQ(TempFiles(), 0);
}

TEST_F(PreviewConvertTest, ArchiveItemConvertedByItsOwnExtension) {
  // The item is extracted to a temporary file without its extension; the converter is still chosen by
  // the item's name.
  const std::filesystem::path Zip = Dir_ / "sheet.zip";
  std::filesystem::copy_file(std::filesystem::path(SCRYLINE_TEST_DATA) / "preview" / "sheet.zip", Zip);
  TFoundFileInfo Info;
  Info.Name = Utf8ToUtf16(Zip.string() + "|report.xls");
  Info.InArchive = true;
  Info.Size = 34;
  Info.Encoding = seAnsi;
  ASSERT_TRUE(M_->LoadFile(Info, Search_, u"needle", true));
  EXPECT_EQ(V_->GetCharsetMode(), cmUnicode);
  EXPECT_EQ(Starts(), (std::vector<int32_t>{16}));
  // Only the converted text is kept; the extracted item is gone.
  EXPECT_EQ(TempFiles(), 1);
}

TEST_F(PreviewConvertTest, EightBitTextIsNeverShownAsUTF16) {
  ASSERT_EQ(List_.AddConverter(std::string(SCRYLINE_TEST_PLUGINS) + "/impmp3.so", false), kConverterLoaded);
  // The hit was found in UTF-16, but this converter answers 8-bit text.
  const TFoundFileInfo Info = Write("song.mp3", "mp3: text the needle\n", seUnicode);
  ASSERT_TRUE(M_->LoadFile(Info, Search_, u"needle", true));
  EXPECT_EQ(M_->GetEncoding(), seAnsi);
  EXPECT_EQ(V_->GetCharsetMode(), cmANSI);
  EXPECT_EQ(Starts(), (std::vector<int32_t>{8}));
  V_->PrepareLines();
  EXPECT_EQ(V_->GetVisibleLines()[0].Text, u"mp3:the needle");
}

TEST_F(PreviewConvertTest, ShownFileConvertedOnRequest) {
  const TFoundFileInfo Info = Write("late.xls", "xls: text the needle\n");
  ASSERT_TRUE(M_->LoadFile(Info, Search_, u"needle", false));
  EXPECT_EQ(Starts(), (std::vector<int32_t>{14}));
  ASSERT_TRUE(M_->ConvertShownFile());
  EXPECT_EQ(V_->GetCharsetMode(), cmUnicode);
  EXPECT_EQ(Starts(), (std::vector<int32_t>{16}));
  EXPECT_EQ(V_->GetName(), Info.Name);
  EXPECT_FALSE(M_->CanConvert());
  EXPECT_EQ(TempFiles(), 1);
  // Converted text is not converted again.
  EXPECT_FALSE(M_->ConvertShownFile());
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
