// The end-to-end fixture: a tree of real documents, archives and small texts in a fresh temporary folder,
// and one search over it set up as the main window sets it up: the file scanner with its stream scanner,
// the archive walk and the program's mask routines installed, the five converter plug-ins loaded from their
// build folder, cabinet.so bound from beside the test program, the hits collected in a results table whose
// path storage is the duplicate filter. The temporary folder of the scanners ($TMPDIR) is a folder of the
// test's own, outside the walked tree, and must be empty when the test ends.
//
// The tree (below the root, sizes in bytes):
//   archives/deep.tar.gz   a tar holding inner.zip holding note.txt (49), "... the frozen lake."
//   archives/memos.cab     memo.txt (96), UTF-16LE with a byte-order mark, "... caf\u00e9 ... lighthouse ..."
//   archives/notes.arj     cafe.txt (26), code page 850, "Menu du jour: caf\u00e9 cr\u00e8me"
//   archives/pages.zip     page.htm (236, "... non-joining space.") and book.xls (13824, "replaceMe")
//   archives/word.zip      letters/ and letters/letter.doc (6656, "The quick brown fox ... lazy dog")
//   docs/letter.doc        a Word 97 document (19968, "This is a simple word document ... boring.")
//   docs/page.html         a UTF-8 page (933, "Content with UTF-8 chars")
//   docs/report.xls        a BIFF5 workbook (7680, "Sample Excel Worksheet - Numbers and their Squares")
//   docs/slides.ppt        a presentation (16384, "Sample Powerpoint Slide")
//   music/song.mp3         an MP3 with an ID3v1 tag (39416, "Artist(s): Test Artist")
//   plain/ansi.txt         "Le caf\u00e9 du coin" in code page 1252
//   plain/empty.txt        0 bytes
//   plain/oem.txt          the same in code page 850
//   plain/pets.txt         "The cat sat on the mat."
//   plain/typo.txt         "A serch for the lost key."
//   plain/utf16.txt        the same as ansi.txt in UTF-16LE with a byte-order mark
//   plain/words.txt        "Concatenate the cats."
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "app/MainForm.h"
#include "app/Utils.h"
#include "archive/ArcNested.h"
#include "archive/ArcScan.h"
#include "archive/cab/arlUnCab.h"
#include "core/FileLayer.h"
#include "core/StrLst.h"
#include "platform/qvnls/Qvnls.h"
#include "search/FileScan.h"
#include "search/FileScanArc.h"
#include "search/QVConvIntf.h"
#include "search/SrchRes.h"
#include "tests/TestFiles.h"

namespace e2e {

namespace fs = std::filesystem;

// One hit as the tests compare it: the display path below the tree's root, the size, the file name of
// the converter plug-in that produced the text ("" for direct and name hits) and the encoding.
struct THit {
  std::string Path;
  int64_t Size = 0;
  std::string Converter;
  TScanEncoding Encoding = seFileName;

  bool operator==(const THit& Other) const {
    return Path == Other.Path && Size == Other.Size && Converter == Other.Converter &&
           Encoding == Other.Encoding;
  }
};

inline void PrintTo(const THit& Hit, std::ostream* Out) {
  static const char* const kEncodings[] = {"ansi", "oem", "unicode", "name"};
  *Out << "{" << Hit.Path << ", " << Hit.Size << ", " << (Hit.Converter.empty() ? "-" : Hit.Converter) << ", "
       << (Hit.Encoding <= seFileName ? kEncodings[Hit.Encoding] : "?") << "}";
}

// One error event, its name below the tree's root.
struct TError {
  std::string Name;
  TScanErrorKind Kind;
  std::string Text;
};

// A word from every document, archive item and text of the tree that holds one (any-word logic).
inline constexpr char16_t kOneWordEach[] =
    u"Worksheet Powerpoint boring chars Artist replaceMe joining frozen caf\u00e9 lighthouse quick";

// The settings of a search, as the search panel gives them.
struct TSearchSettings {
  std::u16string Pattern;
  TSearchLogic Logic = slAnyWord;
  bool Fuzzy = false;
  bool CaseSensitive = false;
  bool WholeWords = false;
  TScanEncodings Encodings = kScanAnsi | kScanOem | kScanUnicode;
  bool DirectScan = true;
  bool Convert = true;
  bool SkipBinary = false;
  TScanScope Scope = ssFilesAndArchives;  // the plain-file and archive boxes
  // The size limits of the settings, in bytes.
  int32_t MaxScanSize = TFileScanner::kDefaultMaxScanSize;
  int32_t MaxConvertSize = TFileScanner::kDefaultMaxConvertSize;
  int32_t MaxArchiveSize = TFileScanner::kDefaultMaxArchiveSize;
  std::u16string Masks;     // empty: every file
  std::string Roots = ".";  // folders or files below the tree's root, separated by blanks
};

using Names = std::vector<std::string>;

// The display paths of Hits, in order.
inline Names PathsOf(const std::vector<THit>& Hits) {
  Names Out;
  for (const THit& H : Hits) Out.push_back(H.Path);
  return Out;
}

// Errors one a line, for failure messages.
inline std::string Describe(const std::vector<TError>& Errors) {
  std::string Out;
  for (const TError& E : Errors) Out += E.Name + " [" + std::to_string(E.Kind) + "] " + E.Text + "\n";
  return Out;
}

// The file name of a converter plug-in ("impweb.so"), "" for none.
inline std::string ConverterName(const TQVConverter* Converter) {
  return Converter == nullptr ? std::string() : fs::path(Converter->GetFileName()).filename().string();
}

// The five converter plug-ins, loaded once for the whole program the way the main window loads them: every
// "imp*.so" of their folder.
inline TQVConverters& Plugins() {
  static TQVConverters* Loaded = [] {
    auto* List = new TQVConverters;
    LoadConverters(*List, SCRYLINE_CONVERTER_DIR, TStrLst());
    return List;
  }();
  return *Loaded;
}

class SearchRoad : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(qvnls::SetSystemCodePages(1252, 850));
    ASSERT_EQ(Plugins().Count(), 6) << "the converter plug-ins of " << SCRYLINE_CONVERTER_DIR;
    ASSERT_TRUE(LoadCabinetDll(""));
    for (auto& Info : ArcInfos) Info.Enabled = true;

    const char* Old = std::getenv("TMPDIR");
    if (Old != nullptr) SavedTmp_ = Old;
    HadTmp_ = Old != nullptr;
    std::string Pattern =
        (Old != nullptr && *Old != '\0' ? std::string(Old) : std::string("/tmp")) + "/scry-e2e-XXXXXX";
    ASSERT_NE(mkdtemp(Pattern.data()), nullptr);
    Base_ = Pattern;
    Root_ = Base_ / "tree";
    Temp_ = Base_ / "tmp";
    fs::create_directories(Temp_);
    ::setenv("TMPDIR", Temp_.c_str(), 1);
    MakeTree();

    Scanner_.Archives = &Walk_;
    Scanner_.Converters = &Plugins();
    Scanner_.NormalizeMaskList = [](TWideStrLst& List) { NormalizeMaskList(List); };
    Scanner_.MatchMask = [](const std::string& Name, const std::string& Mask) {
      return MatchesMask(Name, Mask, true);
    };
    Scanner_.ScanNestedArchives = true;
    Scanner_.OnAcceptFile = [this](const std::u16string& FileName) {
      return Results_.Storage.AddIfNew(FileName) != nullptr;
    };
    Scanner_.OnFound = [this](const TFoundFileInfo& Info) {
      Results_.Add(Info);
      Hits_.push_back(HitOf(Info));
    };
    Scanner_.OnError = [this](const TScanError& Error) {
      Errors_.push_back({Relative(Error.Name), Error.Kind, Error.Text});
    };
  }

  void TearDown() override {
    ClearArchiveCache();
    EXPECT_EQ(TempEntries(), std::vector<std::string>{}) << "temporary files left behind";
    if (HadTmp_)
      ::setenv("TMPDIR", SavedTmp_.c_str(), 1);
    else
      ::unsetenv("TMPDIR");
    std::error_code Ec;
    fs::remove_all(Base_, Ec);
    qvnls::ResetSystemCodePages();
  }

  // Runs one search with Settings, as the main window's Start does: the results table is emptied, the
  // scanners set up, the roots walked with their sub-folders. Answers whether the walk ran to its end.
  bool Search(const TSearchSettings& Settings) {
    Results_.Clear();
    Hits_.clear();
    Errors_.clear();
    SetUpScanners(Settings);
    std::string Paths;
    for (size_t From = 0; From <= Settings.Roots.size();) {
      size_t To = Settings.Roots.find(' ', From);
      if (To == std::string::npos) To = Settings.Roots.size();
      const std::string Entry = Settings.Roots.substr(From, To - From);
      if (!Paths.empty()) Paths += ";";
      Paths += Entry == "." ? Root_.string() : (Root_ / Entry).string();
      From = To + 1;
    }
    return Scanner_.Search(Utf8ToUtf16(Paths), Settings.Masks, true);
  }

  // The stream and file scanners set from Settings, the way the search panel's fields set them.
  void SetUpScanners(const TSearchSettings& Settings) {
    TStreamScanner& S = Scanner_.Scanner;
    S.SetPattern(Settings.Pattern);
    S.SetLogic(Settings.Logic);
    S.Fuzzy = Settings.Fuzzy ? 1 : 0;
    S.SetCaseSensitive(Settings.CaseSensitive);
    S.WholeWords = Settings.WholeWords;
    Scanner_.MaxScanSize = Settings.MaxScanSize;
    Scanner_.MaxConvertSize = Settings.MaxConvertSize;
    Scanner_.MaxArchiveSize = Settings.MaxArchiveSize;
    Scanner_.FilesScanned = 0;
    Scanner_.SkipBinary = Settings.SkipBinary;
    Scanner_.Mode = smMatchName;
    if (Settings.DirectScan) Scanner_.Mode |= smScanContents;
    if (Settings.Convert) Scanner_.Mode |= smConvert;
    Scanner_.Encodings = Settings.Encodings;
    Scanner_.Scope = Settings.Scope;
    Results_.Logic = S.GetLogic();
    Results_.Fuzzy = Settings.Fuzzy;
    Results_.CaseSensitive = Settings.CaseSensitive;
    Results_.WholeWords = Settings.WholeWords;
    Results_.Mode = Scanner_.Mode;
  }

  // What the scanners' temporary folder holds now.
  std::vector<std::string> TempEntries() const {
    std::vector<std::string> Entries;
    std::error_code Ec;
    for (const auto& Entry : fs::recursive_directory_iterator(Temp_, Ec))
      Entries.push_back(Entry.path().string());
    return Entries;
  }

  THit HitOf(const TFoundFileInfo& Info) const {
    return {Relative(Info.Name), Info.Size, ConverterName(Info.Converter), Info.Encoding};
  }

  // The part of a display path below the tree's root.
  std::string Relative(const std::u16string& Path) const {
    const std::string P = Utf16ToUtf8(Path);
    const std::string Prefix = Root_.string() + "/";
    return P.compare(0, Prefix.size(), Prefix) == 0 ? P.substr(Prefix.size()) : P;
  }

  // The errors other than the quiet ones a search always meets here: the empty file, and texts that no
  // converter claims (a conversion failure without any converter's text).
  std::vector<TError> LoudErrors() const {
    std::vector<TError> Out;
    for (const TError& E : Errors_)
      if (E.Kind != sekEmptyFile && !(E.Kind == sekConvertFailed && E.Text.empty())) Out.push_back(E);
    return Out;
  }

  // Writes Content to Rel below the tree's root, its folders made first.
  void Write(const std::string& Rel, const std::string& Content) const {
    fs::create_directories((Root_ / Rel).parent_path());
    std::ofstream(Root_ / Rel, std::ios::binary) << Content;
  }
  // Copies a fixture of the repository's tests (a path below tests/) to Rel.
  void Copy(const std::string& Fixture, const std::string& Rel) const {
    Write(Rel, ReadFileBytes(fs::path(SCRYLINE_TESTS_ROOT) / Fixture));
  }

  fs::path Base_, Root_, Temp_;
  TArchiveWalk Walk_;
  TFileScanner Scanner_;
  TSearchResults Results_;
  std::vector<THit> Hits_;
  std::vector<TError> Errors_;

 private:
  void MakeTree() const {
    for (const char* Archive : {"deep.tar.gz", "memos.cab", "notes.arj", "pages.zip", "word.zip"})
      Copy(std::string("e2e/fixtures/") + Archive, std::string("archives/") + Archive);
    Copy("plugins/impwrite/fixtures/test2.doc", "docs/letter.doc");
    Copy("plugins/impweb/fixtures/testHTML_utf8.html", "docs/page.html");
    Copy("plugins/impcalc2/fixtures/testEXCEL_95.xls", "docs/report.xls");
    Copy("plugins/impshow2/fixtures/testPPT.ppt", "docs/slides.ppt");
    Copy("plugins/imptag/fixtures/testMP3id3v1.mp3", "music/song.mp3");
    Write("plain/ansi.txt", "Le caf\xe9 du coin\r\n");
    Write("plain/empty.txt", "");
    Write("plain/oem.txt", "Le caf\x82 du coin\r\n");
    Write("plain/pets.txt", "The cat sat on the mat.\n");
    Write("plain/typo.txt", "A serch for the lost key.\n");
    Write("plain/utf16.txt", std::string("\xff\xfe", 2) + Utf16Le(u"Le caf\u00e9 du coin\r\n"));
    Write("plain/words.txt", "Concatenate the cats.\n");
  }
  static std::string Utf16Le(const std::u16string& Text) {
    std::string Out;
    for (char16_t C : Text) {
      Out += static_cast<char>(C & 0xff);
      Out += static_cast<char>(C >> 8);
    }
    return Out;
  }

  bool HadTmp_ = false;
  std::string SavedTmp_;
};

}  // namespace e2e
