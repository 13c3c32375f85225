// A search as the main window controls it: the scan boxes and the plain-file and archive boxes; the
// password question of an encrypted archive item; the size limits; Stop at any point of the walk (inside
// nested archives, during a conversion) ends it with the hits found so far and no temporary file left; roots
// that overlap give each hit once through the window's duplicate filter; archive items of one name in two
// folders of an archive are each searched; links and special files in the tree.
#include <sys/stat.h>

#include <utility>

#include "tests/e2e/SearchRoad.h"

namespace e2e {
namespace {

using HitList = std::vector<THit>;

TEST_F(SearchRoad, StopAnywhereKeepsTheHitsSoFarAndNoTemporaryFile) {
  struct Case {
    const char* Name;
    std::string At;  // Stop is pressed when the progress first names this, or during its conversion
    bool InConversion;
    size_t HitsBefore;  // how many hits of the whole search's list come before the stop
  };
  const Case Cases[] = {
      {"at an archive", "archives/deep.tar.gz", false, 0},
      {"at an item three levels down", "deep.tar.gz|deep.tar|inner.zip|note.txt", false, 0},
      {"at a cabinet's item", "memos.cab|memo.txt", false, 1},
      {"at a zipped workbook that goes through a temporary file", "pages.zip|book.xls", false, 4},
      {"during that workbook's conversion", "pages.zip|book.xls", true, 4},
      {"during a document's conversion", "docs/report.xls", true, 8},
      {"at a presentation", "docs/slides.ppt", false, 9},
  };
  TSearchSettings S;
  S.Pattern = kOneWordEach;
  ASSERT_TRUE(Search(S));
  const std::vector<THit> Whole = Hits_;

  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    // The window's Stop sets one flag that every progress question answers: the file scanner's, the
    // stream scanner's and the converters'.
    bool Stopped = false;
    std::string Current;
    Scanner_.OnProgress = [&](const std::u16string& Name, TScanProgressKind Kind) {
      if (Kind == spkFile || Kind == spkArchive) Current = Utf16ToUtf8(Name);
      if (!C.InConversion && Current.find(C.At) != std::string::npos) Stopped = true;
      return !Stopped;
    };
    Scanner_.Scanner.OnProgress = [&](int32_t) { return !Stopped; };
    bool ConverterAsked = false;
    Plugins().OnProgress = [&](TQVConverter*, int32_t, int32_t) {
      if (C.InConversion && Current.find(C.At) != std::string::npos) Stopped = ConverterAsked = true;
      return !Stopped;
    };
    EXPECT_FALSE(Search(S));
    Plugins().OnProgress = nullptr;
    EXPECT_EQ(ConverterAsked, C.InConversion);
    EXPECT_EQ(Hits_, std::vector<THit>(Whole.begin(), Whole.begin() + static_cast<ptrdiff_t>(C.HitsBefore)));
    EXPECT_FALSE(Errors_.empty() || Errors_.back().Kind != sekAborted) << "the stop is reported last";
    ClearArchiveCache();
    EXPECT_EQ(TempEntries(), std::vector<std::string>{});
    Scanner_.OnProgress = nullptr;
    Scanner_.Scanner.OnProgress = nullptr;
  }
}

TEST_F(SearchRoad, OverlappingRootsGiveEachHitOnce) {
  TSearchSettings S;
  S.Pattern = u"Worksheet replaceMe";
  S.Roots = ". docs docs/report.xls archives/pages.zip docs";
  EXPECT_TRUE(Search(S));
  EXPECT_EQ(Hits_, (std::vector<THit>{{"archives/pages.zip|book.xls", 13824, "impcalc2.so", seUnicode},
                                      {"docs/report.xls", 7680, "impcalc2.so", seUnicode}}));
}

// The search panel's scan boxes (direct scan, conversion, skip binary files) and its plain-file and archive
// boxes, over the whole tree.
TEST_F(SearchRoad, ScanModesAndScopes) {
  struct Case {
    const char* Name;
    bool DirectScan, Convert, SkipBinary;
    TScanScope Scope;
    std::string Roots;
    Names Expected;
  };
  const Names Texts{"archives/deep.tar.gz|deep.tar|inner.zip|note.txt", "archives/memos.cab|memo.txt",
                    "archives/notes.arj|cafe.txt"};
  const Case Cases[] = {
      // Without conversion every word is still in the documents' own bytes, and found there.
      {"direct scan only",
       true,
       false,
       false,
       ssFilesAndArchives,
       ".",
       {"archives/deep.tar.gz|deep.tar|inner.zip|note.txt", "archives/memos.cab|memo.txt",
        "archives/notes.arj|cafe.txt", "archives/pages.zip|page.htm", "archives/pages.zip|book.xls",
        "archives/word.zip|letters/letter.doc", "docs/letter.doc", "docs/page.html", "docs/report.xls",
        "docs/slides.ppt", "music/song.mp3", "plain/ansi.txt", "plain/oem.txt", "plain/utf16.txt"}},
      // Conversion only: what no converter reads is not searched.
      {"conversion only",
       false,
       true,
       false,
       ssFilesAndArchives,
       ".",
       {"archives/pages.zip|page.htm", "archives/pages.zip|book.xls", "archives/word.zip|letters/letter.doc",
        "docs/letter.doc", "docs/page.html", "docs/report.xls", "docs/slides.ppt", "music/song.mp3"}},
      // Binary files are still converted; only their direct scan is left out.
      {"conversion, binary files skipped",
       true,
       true,
       true,
       ssFilesAndArchives,
       ".",
       {"archives/deep.tar.gz|deep.tar|inner.zip|note.txt", "archives/memos.cab|memo.txt",
        "archives/notes.arj|cafe.txt", "archives/pages.zip|page.htm", "archives/pages.zip|book.xls",
        "archives/word.zip|letters/letter.doc", "docs/letter.doc", "docs/page.html", "docs/report.xls",
        "docs/slides.ppt", "music/song.mp3", "plain/ansi.txt", "plain/oem.txt", "plain/utf16.txt"}},
      {"direct scan, binary files skipped",
       true,
       false,
       true,
       ssFilesAndArchives,
       ".",
       {"archives/deep.tar.gz|deep.tar|inner.zip|note.txt", "archives/memos.cab|memo.txt",
        "archives/notes.arj|cafe.txt", "archives/pages.zip|page.htm", "docs/page.html", "plain/ansi.txt",
        "plain/oem.txt", "plain/utf16.txt"}},
      // Plain files only: an archive is opened only when named as a root.
      {"plain files only",
       true,
       true,
       false,
       ssFilesOnly,
       "archives/pages.zip .",
       {"archives/pages.zip|page.htm", "archives/pages.zip|book.xls", "docs/letter.doc", "docs/page.html",
        "docs/report.xls", "docs/slides.ppt", "music/song.mp3", "plain/ansi.txt", "plain/oem.txt",
        "plain/utf16.txt"}},
      {"archives only",
       true,
       true,
       false,
       ssArchivesOnly,
       "archives/pages.zip .",
       {"archives/pages.zip|page.htm", "archives/pages.zip|book.xls",
        "archives/deep.tar.gz|deep.tar|inner.zip|note.txt", "archives/memos.cab|memo.txt",
        "archives/notes.arj|cafe.txt", "archives/word.zip|letters/letter.doc"}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    TSearchSettings S;
    S.Pattern = kOneWordEach;
    S.DirectScan = C.DirectScan;
    S.Convert = C.Convert;
    S.SkipBinary = C.SkipBinary;
    S.Scope = C.Scope;
    S.Roots = C.Roots;
    EXPECT_TRUE(Search(S));
    EXPECT_EQ(PathsOf(Hits_), C.Expected);
    for (const THit& H : Hits_) {
      if (!C.Convert) {
        EXPECT_EQ(H.Converter, "") << H.Path;
      }
      if (!C.DirectScan) {
        EXPECT_NE(H.Converter, "") << H.Path;
      }
    }
    // A binary file is reported as such only where its direct scan was wanted and nothing was found.
    for (const TError& E : LoudErrors())
      EXPECT_TRUE(C.SkipBinary && !C.Convert && E.Kind == sekNotText) << E.Name << " [" << int(E.Kind) << "]";
  }
}

// The size limits of the settings: a document above the conversion limit is scanned as it is, a file or
// item above the scan limit is left out, an archive above the archive limit (also one inside another) is
// not opened; each is reported.
TEST_F(SearchRoad, SizeLimits) {
  struct Case {
    const char* Name;
    int32_t MaxConvert, MaxScan, MaxArchive;
    HitList Expected;
    std::vector<std::pair<std::string, TScanErrorKind>> Reported;
  };
  const THit Deep{"archives/deep.tar.gz|deep.tar|inner.zip|note.txt", 49, "", seAnsi};
  const THit Cab{"archives/memos.cab|memo.txt", 96, "", seUnicode};
  const THit Arj{"archives/notes.arj|cafe.txt", 26, "", seOem};
  const THit Htm{"archives/pages.zip|page.htm", 236, "impweb.so", seUnicode};
  const THit ZippedDoc{"archives/word.zip|letters/letter.doc", 6656, "impwrite.so", seUnicode};
  const THit Page{"docs/page.html", 933, "impweb.so", seUnicode};
  const THit Report{"docs/report.xls", 7680, "impcalc2.so", seUnicode};
  const THit Ansi{"plain/ansi.txt", 17, "", seAnsi}, Oem{"plain/oem.txt", 17, "", seOem},
      Utf16{"plain/utf16.txt", 36, "", seUnicode};
  const int32_t Big = TFileScanner::kDefaultMaxArchiveSize;
  const Case Cases[] = {
      {"conversion limit 8000 bytes: the larger documents are scanned as they are",
       8000,
       Big,
       Big,
       {Deep,
        Cab,
        Arj,
        Htm,
        {"archives/pages.zip|book.xls", 13824, "", seAnsi},
        ZippedDoc,
        {"docs/letter.doc", 19968, "", seAnsi},
        Page,
        Report,
        {"docs/slides.ppt", 16384, "", seAnsi},
        {"music/song.mp3", 39416, "", seAnsi},
        Ansi,
        Oem,
        Utf16},
       {{"archives/pages.zip|book.xls", sekTooLargeToConvert},
        {"docs/letter.doc", sekTooLargeToConvert},
        {"docs/slides.ppt", sekTooLargeToConvert},
        {"music/song.mp3", sekTooLargeToConvert}}},
      {"scan limit 8000 bytes",
       Big,
       8000,
       Big,
       {Deep, Cab, Arj, Htm, ZippedDoc, Page, Report, Ansi, Oem, Utf16},
       {{"archives/pages.zip|book.xls", sekTooLarge},
        {"docs/letter.doc", sekTooLarge},
        {"docs/slides.ppt", sekTooLarge},
        {"music/song.mp3", sekTooLarge}}},
      {"archive limit 1000 bytes",
       Big,
       Big,
       1000,
       {Cab,
        Arj,
        {"docs/letter.doc", 19968, "impwrite.so", seUnicode},
        Page,
        Report,
        {"docs/slides.ppt", 16384, "impshow2.so", seUnicode},
        {"music/song.mp3", 39416, "imptag.so", seUnicode},
        Ansi,
        Oem,
        Utf16},
       {{"archives/deep.tar.gz|deep.tar", sekArchiveTooLarge},
        {"archives/pages.zip", sekArchiveTooLarge},
        {"archives/word.zip", sekArchiveTooLarge}}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    TSearchSettings S;
    S.Pattern = kOneWordEach;
    S.MaxConvertSize = C.MaxConvert;
    S.MaxScanSize = C.MaxScan;
    S.MaxArchiveSize = C.MaxArchive;
    EXPECT_TRUE(Search(S));
    EXPECT_EQ(Hits_, C.Expected);
    std::vector<std::pair<std::string, TScanErrorKind>> Reported;
    for (const TError& E : LoudErrors()) Reported.emplace_back(E.Name, E.Kind);
    EXPECT_EQ(Reported, C.Reported);
  }
}

// An encrypted item asks the window's password question with the archive's display path; the right password
// opens it, a wrong one or none is reported and the archive's other items are still searched.
TEST_F(SearchRoad, PasswordOfAnEncryptedItem) {
  Copy("e2e/fixtures/locked.zip", "locked/locked.zip");
  Copy("e2e/fixtures/box.zip", "locked/box.zip");
  struct Case {
    const char* Name;
    const char* Password;  // null: the question is not answered (no window to ask)
    Names Expected;
  };
  const Case Cases[] = {
      {"right password",
       "secret",
       {"locked/box.zip|locked.zip|secret.txt", "locked/box.zip|locked.zip|open.txt",
        "locked/locked.zip|secret.txt", "locked/locked.zip|open.txt"}},
      {"wrong password", "wrong", {"locked/box.zip|locked.zip|open.txt", "locked/locked.zip|open.txt"}},
      {"no password", nullptr, {"locked/box.zip|locked.zip|open.txt", "locked/locked.zip|open.txt"}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    Names Asked;
    Scanner_.OnPassword = nullptr;
    if (C.Password != nullptr)
      Scanner_.OnPassword = [&](TScanPasswordQuery& Query) {
        Asked.push_back(Relative(Utf8ToUtf16(Query.ArcName)) + " " + Query.ItemName);
        Query.Password = C.Password;
        return Asked.size() < 8;  // the user gives up at last
      };
    TSearchSettings S;
    S.Pattern = u"needle";
    S.Roots = "locked";
    EXPECT_TRUE(Search(S));
    EXPECT_EQ(PathsOf(Hits_), C.Expected);
    if (C.Password != nullptr) {
      ASSERT_FALSE(Asked.empty());
      EXPECT_EQ(Asked.front(), "locked/box.zip|locked.zip secret.txt");
      EXPECT_EQ(Asked.back(), "locked/locked.zip secret.txt");
    }
    Names Refused;
    for (const TError& E : LoudErrors()) Refused.push_back(E.Name + ": " + E.Text);
    const Names Expected = std::string(C.Name) == "right password"
                               ? Names{}
                               : Names{"locked/box.zip|locked.zip: Invalid password (secret.txt)",
                                       "locked/locked.zip: Invalid password (secret.txt)"};
    EXPECT_EQ(Refused, Expected);
  }
  Scanner_.OnPassword = nullptr;
}

// Links and special files met by the walk: a link to a file is searched under its own name, a link to a
// folder above is not followed (no endless walk), a FIFO is never opened (no hang), a dangling link is
// passed over.
TEST_F(SearchRoad, LinksAndSpecialFiles) {
  ASSERT_EQ(mkfifo((Root_ / "plain/pipe.txt").c_str(), 0644), 0);
  fs::create_directory_symlink(Root_, Root_ / "docs/loop");
  fs::create_symlink(Root_ / "plain/pets.txt", Root_ / "docs/pets-link.txt");
  fs::create_symlink(Root_ / "nowhere", Root_ / "docs/dangling.txt");
  TSearchSettings S;
  S.Pattern = u"sat";
  S.WholeWords = true;
  EXPECT_TRUE(Search(S));
  EXPECT_EQ(Hits_, (HitList{{"docs/pets-link.txt", 24, "", seAnsi}, {"plain/pets.txt", 24, "", seAnsi}}));
  EXPECT_EQ(LoudErrors().size(), 0u) << Describe(LoudErrors());
  S.Pattern.clear();
  EXPECT_TRUE(Search(S));
  for (const THit& H : Hits_) {
    EXPECT_EQ(H.Path.find("loop"), std::string::npos);
    EXPECT_NE(H.Path, "plain/pipe.txt");
    EXPECT_NE(H.Path, "docs/dangling.txt");
  }
  EXPECT_EQ(Hits_.size(), 19u);  // the tree's 18 files and the link to one of them
}

TEST_F(SearchRoad, ItemsOfOneNameInTwoFoldersOfAnArchiveAreEachSearched) {
  Copy("e2e/fixtures/twins.zip", "twins/twins.zip");
  for (bool InMemory : {true, false}) {
    SCOPED_TRACE(InMemory ? "items in memory" : "items through temporary files");
    Walk_.MemoryCheck = [InMemory](int64_t) { return InMemory; };
    TSearchSettings S;
    S.Pattern = u"needle";
    S.Roots = "twins";
    EXPECT_TRUE(Search(S));
    EXPECT_EQ(PathsOf(Hits_), (Names{"twins/twins.zip|a/note.txt", "twins/twins.zip|a/inner.zip|n.txt",
                                     "twins/twins.zip|b/note.txt", "twins/twins.zip|b/inner.zip|n.txt"}));
  }
}

}  // namespace
}  // namespace e2e
