// One search over a tree of real documents, archives and texts, set up as the main window sets it up (see
// SearchRoad.h): the exact hits with their display paths, sizes, converters and encodings; the character
// sets of the search panel; whole words, fuzzy matching and all-words logic over converted documents and
// archive items; an empty pattern; masks; every archive format; damaged archives and documents among good
// ones.
#include "tests/e2e/SearchRoad.h"

#include <cmath>
#include <utility>

namespace e2e {
namespace {

using HitList = std::vector<THit>;

TEST_F(SearchRoad, EveryDocumentArchiveAndTextGivesItsHit) {
  // While the item three levels down is scanned, the archives above it lie extracted in the temporary
  // folder (they are gone when the test ends).
  bool TempUsed = false;
  auto Collect = Scanner_.OnFound;
  Scanner_.OnFound = [&](const TFoundFileInfo& Info) {
    if (Utf16ToUtf8(Info.Name).find("inner.zip|note.txt") != std::string::npos)
      TempUsed = !TempEntries().empty();
    Collect(Info);
  };
  TSearchSettings S;
  S.Pattern = kOneWordEach;
  EXPECT_TRUE(Search(S));
  EXPECT_TRUE(TempUsed);
  EXPECT_EQ(Hits_, (HitList{
                       {"archives/deep.tar.gz|deep.tar|inner.zip|note.txt", 49, "", seAnsi},
                       {"archives/memos.cab|memo.txt", 96, "", seUnicode},
                       {"archives/notes.arj|cafe.txt", 26, "", seOem},
                       {"archives/pages.zip|page.htm", 236, "impweb.so", seUnicode},
                       {"archives/pages.zip|book.xls", 13824, "impcalc2.so", seUnicode},
                       {"archives/word.zip|letters/letter.doc", 6656, "impwrite.so", seUnicode},
                       {"docs/letter.doc", 19968, "impwrite.so", seUnicode},
                       {"docs/page.html", 933, "impweb.so", seUnicode},
                       {"docs/report.xls", 7680, "impcalc2.so", seUnicode},
                       {"docs/slides.ppt", 16384, "impshow2.so", seUnicode},
                       {"music/song.mp3", 39416, "imptag.so", seUnicode},
                       {"plain/ansi.txt", 17, "", seAnsi},
                       {"plain/oem.txt", 17, "", seOem},
                       {"plain/utf16.txt", 36, "", seUnicode},
                   }));
  EXPECT_EQ(LoudErrors().size(), 0u) << Describe(LoudErrors());
  ASSERT_EQ(Results_.Count(), static_cast<int32_t>(Hits_.size()));

  // The archive flag follows the display path; an archive item keeps the date the archive stores
  // (2021-03-04 05:06:07 in two-second steps), a file the date of the file system.
  for (int32_t I = 0; I < Results_.Count(); ++I) {
    TFoundFileInfo Info;
    Results_.GetInfo(I, Info);
    EXPECT_EQ(Info.InArchive, Hits_[I].Path.find('|') != std::string::npos) << Hits_[I].Path;
  }
  const TDateTime Stored = 44259 + (5 * 3600 + 6 * 60 + 7) / 86400.0;
  TFoundFileInfo Book;
  Results_.GetInfo(Results_.IndexOf(Utf8ToUtf16((Root_ / "archives/pages.zip|book.xls").string())), Book);
  EXPECT_LE(std::fabs(Book.Date - Stored) * 86400, 2.5);
  TDateTime OnDisk = 0;
  ASSERT_TRUE(GetFileInfo((Root_ / "docs/report.xls").string(), nullptr, &OnDisk, nullptr, nullptr, nullptr));
  TFoundFileInfo Report;
  Results_.GetInfo(Results_.IndexOf(Utf8ToUtf16((Root_ / "docs/report.xls").string())), Report);
  EXPECT_EQ(Report.Date, OnDisk);
}

TEST_F(SearchRoad, CharacterSetsOfTheSearchPanel) {
  struct Case {
    const char* Name;
    std::u16string Pattern;
    TScanEncodings Encodings;
    bool CaseSensitive;
    HitList Expected;
  };
  const THit Ansi{"plain/ansi.txt", 17, "", seAnsi};
  const THit Oem{"plain/oem.txt", 17, "", seOem};
  const THit Utf16{"plain/utf16.txt", 36, "", seUnicode};
  const THit Arj{"archives/notes.arj|cafe.txt", 26, "", seOem};
  const THit Cab{"archives/memos.cab|memo.txt", 96, "", seUnicode};
  const Case Cases[] = {
      {"ANSI only", u"caf\u00e9", kScanAnsi, false, {Ansi}},
      {"OEM only", u"caf\u00e9", kScanOem, false, {Arj, Oem}},
      {"UTF-16 only", u"caf\u00e9", kScanUnicode, false, {Cab, Utf16}},
      {"all three", u"caf\u00e9", kScanAnsi | kScanOem | kScanUnicode, false, {Cab, Arj, Ansi, Oem, Utf16}},
      {"none chosen means ANSI", u"caf\u00e9", 0, false, {Ansi}},
      {"upper case found in every set",
       u"CAF\u00c9",
       kScanAnsi | kScanOem | kScanUnicode,
       false,
       {Cab, Arj, Ansi, Oem, Utf16}},
      {"case-sensitive upper case", u"CAF\u00c9", kScanAnsi | kScanOem | kScanUnicode, true, {}},
      // Every word must be found in one character set: the OEM text holds both words, the UTF-16 memo
      // only one.
      {"all words in one set", u"caf\u00e9 cr\u00e8me", kScanAnsi | kScanOem | kScanUnicode, false, {Arj}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    TSearchSettings S;
    S.Roots = "archives plain";
    S.Pattern = C.Pattern;
    S.Encodings = C.Encodings;
    S.CaseSensitive = C.CaseSensitive;
    S.Logic = slAllWords;
    EXPECT_TRUE(Search(S));
    EXPECT_EQ(Hits_, C.Expected);
  }
}

// With the Cyrillic code pages (1251 and 866): pages in windows-1251 and KOI8-R without a declared charset,
// and texts in each code page, found by a lower-case pattern; case-sensitive, the upper-case OEM text is not.
TEST_F(SearchRoad, CyrillicCodePages) {
  ASSERT_TRUE(qvnls::SetSystemCodePages(1251, 866));
  Copy("plugins/impweb/fixtures/_chromium_windows-1251_with_no_encoding_declared.html", "ru/w.html");
  Copy("plugins/impweb/fixtures/_chromium_KOI8-R_with_no_encoding_declared.html", "ru/k.html");
  Write("ru/ansi.txt", "\xcc\xce\xd1\xca\xc2\xc0 \xf0\xe0\xe7\xf0\xe5\xf8\xe5\xed\xe8\xe5\r\n");
  Write("ru/oem.txt", "\x8c\x8e\x91\x8a\x82\x80\r\n");
  const THit Ansi{"ru/ansi.txt", 19, "", seAnsi}, Oem{"ru/oem.txt", 8, "", seOem};
  const THit Koi{"ru/k.html", 583, "impweb.so", seUnicode}, Win{"ru/w.html", 589, "impweb.so", seUnicode};
  for (bool CaseSensitive : {false, true}) {
    SCOPED_TRACE(CaseSensitive ? "case-sensitive" : "any case");
    TSearchSettings S;
    S.Roots = "ru";
    S.Pattern =
        u"\u043c\u043e\u0441\u043a\u0432\u0430 "                          // "moskva"
        u"\u0440\u0430\u0437\u0440\u0435\u0448\u0435\u043d\u0438\u0435";  // "razreshenie"
    S.CaseSensitive = CaseSensitive;
    EXPECT_TRUE(Search(S));
    EXPECT_EQ(Hits_, (CaseSensitive ? HitList{Ansi, Koi, Win} : HitList{Ansi, Koi, Oem, Win}));
  }
}

TEST_F(SearchRoad, WholeWordsFuzzyAndLogic) {
  struct Case {
    const char* Name;
    std::string Roots;
    std::u16string Pattern;
    TSearchLogic Logic;
    bool WholeWords;
    bool Fuzzy;
    Names Expected;
  };
  const Case Cases[] = {
      {"part of a word", "plain", u"cat", slAnyWord, false, false, {"plain/pets.txt", "plain/words.txt"}},
      {"whole word only", "plain", u"cat", slAnyWord, true, false, {"plain/pets.txt"}},
      {"whole words in converted text",
       "docs",
       u"Sample",
       slAnyWord,
       true,
       false,
       {"docs/report.xls", "docs/slides.ppt"}},
      {"half a word in converted text", "docs", u"Worksh", slAnyWord, true, false, {}},
      {"exact misses a typo", "plain docs", u"search Powerpoynt", slAnyWord, false, false, {}},
      {"fuzzy finds a deletion in a text and a change in a presentation",
       "plain docs",
       u"search Powerpoynt",
       slAnyWord,
       false,
       true,
       {"plain/typo.txt", "docs/slides.ppt"}},
      {"two errors in a long word", "docs", u"Pwerpoynt", slAnyWord, false, true, {"docs/slides.ppt"}},
      {"short words stay exact", "plain", u"lst", slAnyWord, false, true, {}},
      {"entire phrase", "plain docs", u"the cat sat", slEntirePhrase, true, false, {"plain/pets.txt"}},
      {"phrase in converted text",
       "docs archives",
       u"quick brown fox",
       slEntirePhrase,
       false,
       false,
       {"archives/word.zip|letters/letter.doc"}},
      // All words: only a document that holds every word, never words spread over two documents.
      {"all words, one workbook",
       "docs archives",
       u"sample excel",
       slAllWords,
       false,
       false,
       {"docs/report.xls"}},
      {"all words, one presentation",
       "docs archives",
       u"sample slide",
       slAllWords,
       false,
       false,
       {"docs/slides.ppt"}},
      {"all words, one document",
       "docs archives",
       u"simple boring",
       slAllWords,
       false,
       false,
       {"docs/letter.doc"}},
      {"all words, one zipped document",
       "docs archives",
       u"lazy quick",
       slAllWords,
       false,
       false,
       {"archives/word.zip|letters/letter.doc"}},
      {"all words spread over two documents",
       "docs archives",
       u"replaceMe quick",
       slAllWords,
       false,
       false,
       {}},
      {"any word of the same two",
       "docs archives",
       u"replaceMe quick",
       slAnyWord,
       false,
       false,
       {"archives/pages.zip|book.xls", "archives/word.zip|letters/letter.doc"}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    TSearchSettings S;
    S.Roots = C.Roots;
    S.Pattern = C.Pattern;
    S.Logic = C.Logic;
    S.WholeWords = C.WholeWords;
    S.Fuzzy = C.Fuzzy;
    EXPECT_TRUE(Search(S));
    EXPECT_EQ(PathsOf(Hits_), C.Expected);
    EXPECT_EQ(LoudErrors().size(), 0u) << Describe(LoudErrors());
  }
}

TEST_F(SearchRoad, EmptyPatternListsEveryFileByName) {
  std::vector<int64_t> MemoryAsked;
  Walk_.MemoryCheck = [&](int64_t Size) {
    MemoryAsked.push_back(Size);
    return true;
  };
  TSearchSettings S;
  EXPECT_TRUE(Search(S));
  EXPECT_EQ(Hits_, (HitList{
                       {"archives/deep.tar.gz|deep.tar|inner.zip|note.txt", 49, "", seFileName},
                       {"archives/memos.cab|memo.txt", 96, "", seFileName},
                       {"archives/notes.arj|cafe.txt", 26, "", seFileName},
                       {"archives/pages.zip|page.htm", 236, "", seFileName},
                       {"archives/pages.zip|book.xls", 13824, "", seFileName},
                       {"archives/word.zip|letters/letter.doc", 6656, "", seFileName},
                       {"docs/letter.doc", 19968, "", seFileName},
                       {"docs/page.html", 933, "", seFileName},
                       {"docs/report.xls", 7680, "", seFileName},
                       {"docs/slides.ppt", 16384, "", seFileName},
                       {"music/song.mp3", 39416, "", seFileName},
                       {"plain/ansi.txt", 17, "", seFileName},
                       {"plain/empty.txt", 0, "", seFileName},
                       {"plain/oem.txt", 17, "", seFileName},
                       {"plain/pets.txt", 24, "", seFileName},
                       {"plain/typo.txt", 26, "", seFileName},
                       {"plain/utf16.txt", 36, "", seFileName},
                       {"plain/words.txt", 22, "", seFileName},
                   }));
  // Plain items are listed without being extracted; only the archives inside archives are.
  EXPECT_EQ(MemoryAsked, std::vector<int64_t>{});
  EXPECT_EQ(Errors_.size(), 0u) << Describe(Errors_);
  EXPECT_EQ(Scanner_.FilesScanned, 0);
}

TEST_F(SearchRoad, EmptyPatternWithoutBinaryFiles) {
  TSearchSettings S;
  S.SkipBinary = true;
  EXPECT_TRUE(Search(S));
  EXPECT_EQ(PathsOf(Hits_), (Names{
                                "archives/deep.tar.gz|deep.tar|inner.zip|note.txt",
                                "archives/memos.cab|memo.txt",
                                "archives/notes.arj|cafe.txt",
                                "archives/pages.zip|page.htm",
                                "docs/page.html",
                                "plain/ansi.txt",
                                "plain/empty.txt",  // an empty file is no binary file
                                "plain/oem.txt",
                                "plain/pets.txt",
                                "plain/typo.txt",
                                "plain/utf16.txt",
                                "plain/words.txt",
                            }));
  for (const THit& H : Hits_) EXPECT_EQ(H.Encoding, seFileName) << H.Path;
}

TEST_F(SearchRoad, MasksChooseFilesAndArchiveItems) {
  struct Case {
    std::u16string Masks;
    Names Expected;
  };
  const Case Cases[] = {
      {u"*.doc *.xls",
       {"archives/pages.zip|book.xls", "archives/word.zip|letters/letter.doc", "docs/letter.doc",
        "docs/report.xls"}},
      {u"doc;ppt", {"archives/word.zip|letters/letter.doc", "docs/letter.doc", "docs/slides.ppt"}},
      // Masks choose the items of archives, never the archives inside them.
      {u"note.*", {"archives/deep.tar.gz|deep.tar|inner.zip|note.txt"}},
      {u"*.mp3", {"music/song.mp3"}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(Utf16ToUtf8(C.Masks));
    TSearchSettings S;
    S.Pattern = u"boring Worksheet replaceMe quick Powerpoint frozen Artist";
    S.Masks = C.Masks;
    EXPECT_TRUE(Search(S));
    EXPECT_EQ(PathsOf(Hits_), C.Expected);
  }
}

// Documents whose extension no converter claims are recognised by their contents: a file by the converters'
// file test, an archive item in memory by their memory test, or through a temporary file.
TEST_F(SearchRoad, DocumentsRecognisedByTheirContents) {
  Copy("e2e/fixtures/media.zip", "odd/media.zip");
  Copy("plugins/impwrite/fixtures/test2.doc", "odd/letter.bak");
  Copy("plugins/imptag/fixtures/id3v1v2-combined.mp3", "odd/tune.dat");
  TSearchSettings S;
  S.Pattern = u"boring quick Waterbug";
  S.Roots = "odd";
  EXPECT_TRUE(Search(S));
  EXPECT_EQ(Hits_, (HitList{
                       {"odd/letter.bak", 19968, "impwrite.so", seUnicode},
                       {"odd/media.zip|song.mp3", 5248, "imptag.so", seUnicode},
                       {"odd/media.zip|tune.dat", 5248, "imptag.so", seUnicode},
                       {"odd/media.zip|old.bak", 6656, "impwrite.so", seUnicode},
                       {"odd/tune.dat", 5248, "imptag.so", seUnicode},
                   }));
  EXPECT_EQ(LoudErrors().size(), 0u) << Describe(LoudErrors());
}

// The other archive formats of the archive layer, from the archive tests' own fixtures: each gives the item
// that holds the phrase, and only that one.
TEST_F(SearchRoad, EveryArchiveFormatGivesItsItem) {
  Copy("archive/gzip/fixtures/named.gz", "more/named.gz");
  Copy("archive/gzip/fixtures/story16.Z", "more/story16.Z");
  Copy("archive/lha/fixtures/level2.lzh", "more/level2.lzh");
  Copy("archive/arc/fixtures/basic.arc", "more/basic.arc");
  Copy("archive/zoo/fixtures/basic.zoo", "more/basic.zoo");
  Copy("archive/rar/fixtures/plain.rar", "more/plain.rar");
  struct Case {
    std::u16string Phrase;
    std::string Roots;
    Names Expected;
  };
  const Case Cases[] = {
      {u"a gzip member held",
       "more/named.gz more/story16.Z",
       {"more/named.gz|story.txt", "more/story16.Z|story16"}},
      {u"leading blanks", "more/level2.lzh", {"more/level2.lzh|a.txt"}},
      {u"search the that text", "more/basic.arc", {"more/basic.arc|TEXT.TXT"}},
      {u"stored entry of a zoo archive", "more/basic.zoo", {"more/basic.zoo|STORED.TXT"}},
      {u"hello rar", "more/plain.rar", {"more/plain.rar|readme.txt"}},
      {u"written on unix", "more/plain.rar", {"more/plain.rar|unix.txt"}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(Utf16ToUtf8(C.Phrase));
    TSearchSettings S;
    S.Pattern = C.Phrase;
    S.Logic = slEntirePhrase;
    S.Roots = C.Roots;
    EXPECT_TRUE(Search(S));
    EXPECT_EQ(PathsOf(Hits_), C.Expected);
    EXPECT_EQ(LoudErrors().size(), 0u) << Describe(LoudErrors());
  }
}

TEST_F(SearchRoad, DamagedArchivesAndDocumentsAreReportedAndTheWalkGoesOn) {
  const std::string Pages = ReadFileBytes(Root_ / "archives/pages.zip");
  // book.xls's deflated data (from byte 272 of the archive) overwritten in the middle.
  std::string Garbled = Pages;
  for (size_t I = 400; I < 464; ++I) Garbled[I] = '\x55';
  Write("archives/garbled.zip", Garbled);
  // The archive cut short: its central directory is gone.
  Write("archives/cut.zip", Pages.substr(0, 800));
  // A tar.gz cut inside its deflated stream.
  const std::string Deep = ReadFileBytes(Root_ / "archives/deep.tar.gz");
  Write("archives/cut.tar.gz", Deep.substr(0, Deep.size() / 2));
  // A Word document cut at 8 KB: its compound file's sectors run past the end.
  Write("docs/broken.doc", ReadFileBytes(Root_ / "docs/letter.doc").substr(0, 8192));

  TSearchSettings S;
  S.Pattern = u"boring replaceMe joining frozen";
  EXPECT_TRUE(Search(S));
  // Every good file and item around the damaged ones is found by its converter. The ZIP cut short is read
  // from its local headers, so its first item is found; the cut document's conversion fails and its own
  // bytes are scanned instead.
  EXPECT_EQ(Hits_, (HitList{
                       {"archives/cut.zip|page.htm", 236, "impweb.so", seUnicode},
                       {"archives/deep.tar.gz|deep.tar|inner.zip|note.txt", 49, "", seAnsi},
                       {"archives/garbled.zip|page.htm", 236, "impweb.so", seUnicode},
                       {"archives/pages.zip|page.htm", 236, "impweb.so", seUnicode},
                       {"archives/pages.zip|book.xls", 13824, "impcalc2.so", seUnicode},
                       {"docs/broken.doc", 8192, "", seAnsi},
                       {"docs/letter.doc", 19968, "impwrite.so", seUnicode},
                   }));
  // Each damaged archive warns of its damaged item, and a damaged document's failed conversion names what
  // the converters said.
  std::vector<std::pair<std::string, TScanErrorKind>> Reported;
  for (const TError& E : LoudErrors()) {
    Reported.emplace_back(E.Name, E.Kind);
    EXPECT_FALSE(E.Text.empty()) << E.Name;
    if (E.Kind == sekArchiveWarning) {
      // The cut ZIP also says from where its entries could not be read.
      if (E.Name == "archives/cut.tar.gz")
        EXPECT_EQ(E.Text, "EOF not found (cut.tar)");
      else if (E.Text.rfind("Error reading file", 0) != 0)
        EXPECT_EQ(E.Text, "File fails CRC check (book.xls)") << E.Name;
      else
        EXPECT_EQ(E.Name, "archives/cut.zip");
    }
  }
  EXPECT_EQ(Reported, (std::vector<std::pair<std::string, TScanErrorKind>>{
                          {"archives/cut.tar.gz", sekArchiveWarning},
                          {"archives/cut.zip|book.xls", sekConvertFailed},
                          {"archives/cut.zip", sekArchiveWarning},
                          {"archives/cut.zip", sekArchiveWarning},
                          {"archives/garbled.zip|book.xls", sekConvertFailed},
                          {"archives/garbled.zip", sekArchiveWarning},
                          {"docs/broken.doc", sekConvertFailed},
                      }))
      << Describe(Errors_);
}

}  // namespace
}  // namespace e2e
