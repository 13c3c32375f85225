// The file scanner's handling of one stream: conversion through the converter host (with the test
// converter libraries), direct scanning in the chosen encodings, cancelling, and the hand-over of
// archives to the archive walk (a test double of it).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/StrLst.h"
#include "search/FileScan.h"
#include "search/QVConvIntf.h"
#include "tests/plugins/TestLibraries.h"
#include "tests/search/FileScanTree.h"

namespace {

using Names = std::vector<std::string>;

std::string Utf16Le(const std::u16string& S) {
  return std::string(reinterpret_cast<const char*>(S.data()), S.size() * sizeof(char16_t));
}

class FileScanConvert : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(Converters_.AddConverter(TestPluginPath("impxls"), false), kConverterLoaded);
    Scanner_.Converters = &Converters_;
    Log_.Attach(Scanner_, Tree_);
  }
  Names Run(const std::string& Rel, const std::u16string& Pattern, TScanModes Mode) {
    Log_ = TScanLog();
    Log_.Attach(Scanner_, Tree_);
    Scanner_.Mode = Mode;
    Scanner_.Scanner.SetPattern(Pattern);
    Completed_ = Scanner_.Search(Tree_.WidePath(Rel), u"", false);
    return Log_.Hits;
  }

  TScanTree Tree_;
  TQVConverters Converters_;
  TFileScanner Scanner_;
  TScanLog Log_;
  bool Completed_ = false;
};

TEST_F(FileScanConvert, ConvertedTextThenDirectScan) {
  Tree_.File("sheet.xls", "xls: text Zebra stripes\n");
  struct TCase {
    TScanModes Mode;
    bool Found;
    bool ByConverter;
  };
  // The converted text is "xls:Zebra stripes"; the file's own bytes hold "xls: text Zebra".
  const TCase Cases[] = {
      {smConvert, true, true},
      {smScanContents, false, false},
      {smConvert | smScanContents, true, true},
      {smMatchName, false, false},  // neither contents mode: the bytes are scanned directly
  };
  for (const TCase& C : Cases) {
    EXPECT_EQ(Run("sheet.xls", u"XLS:zebra", C.Mode), C.Found ? Names{"sheet.xls"} : Names{}) << int(C.Mode);
    EXPECT_TRUE(Log_.Errors.empty()) << int(C.Mode);
    if (C.Found) {
      ASSERT_EQ(Log_.Infos.size(), 1u);
      EXPECT_EQ(Log_.Infos[0].Converter, C.ByConverter ? Converters_.GetConverter(0) : nullptr);
      EXPECT_EQ(Log_.Infos[0].Encoding, seUnicode);  // the test converter answers UTF-16
    }
  }
  EXPECT_EQ(Run("sheet.xls", u"text zebra", smScanContents), Names{"sheet.xls"});
  EXPECT_EQ(Log_.Infos[0].Encoding, seAnsi);
}

TEST_F(FileScanConvert, FailedConversionIsReportedAndTheFileScannedDirectly) {
  Tree_.File("broken.xls", "xls: fail Broken sheet\n");
  EXPECT_EQ(Run("broken.xls", u"broken", smConvert | smScanContents), Names{"broken.xls"});
  ASSERT_EQ(Log_.ErrorsOf(sekConvertFailed), Names{"broken.xls"});
  EXPECT_NE(Log_.Errors[0].Text.find("Broken sheet"), std::string::npos) << Log_.Errors[0].Text;
  EXPECT_EQ(Log_.Infos[0].Converter, nullptr);

  EXPECT_EQ(Run("broken.xls", u"broken", smConvert), Names{});
  EXPECT_EQ(Log_.ErrorsOf(sekConvertFailed), Names{"broken.xls"});

  // Without a converter host no converter gives text.
  Scanner_.Converters = nullptr;
  EXPECT_EQ(Run("broken.xls", u"broken", smConvert), Names{});
  ASSERT_EQ(Log_.ErrorsOf(sekConvertFailed), Names{"broken.xls"});
  EXPECT_EQ(Log_.Errors[0].Text, "");
}

// A converter that gives text with a warning (pages it left out): the text is searched, and the warning
// is reported with the document's name, whether or not the pattern is found.
TEST_F(FileScanConvert, AConvertersWarningIsReportedWithTheDocument) {
  Tree_.File("report.xls", "xls: warn Page 3 left out\n");
  for (const std::u16string& Pattern : {std::u16string(u"warned"), std::u16string(u"absent")}) {
    EXPECT_EQ(Run("report.xls", Pattern, smConvert), Pattern == u"warned" ? Names{"report.xls"} : Names{});
    ASSERT_EQ(Log_.ErrorsOf(sekConvertWarning), Names{"report.xls"});
    EXPECT_EQ(Log_.Errors[0].Text, "Page 3 left out");
  }
  Tree_.File("plain.xls", "xls: text Zebra\n");
  EXPECT_EQ(Run("plain.xls", u"zebra", smConvert), Names{"plain.xls"});
  EXPECT_TRUE(Log_.Errors.empty());
}

TEST_F(FileScanConvert, TooLargeToConvert) {
  Tree_.File("sheet.xls", "xls: text Zebra stripes\n");
  Scanner_.MaxConvertSize = 10;
  EXPECT_EQ(Run("sheet.xls", u"xls:zebra", smConvert), Names{});
  EXPECT_EQ(Log_.ErrorsOf(sekTooLargeToConvert), Names{"sheet.xls"});
  EXPECT_EQ(Run("sheet.xls", u"text zebra", smConvert | smScanContents), Names{"sheet.xls"});
  EXPECT_EQ(Log_.ErrorsOf(sekTooLargeToConvert), Names{"sheet.xls"});
}

TEST_F(FileScanConvert, EmptyPatternWithConversionTestsForText) {
  Tree_.File("f/a.txt", "plain text");
  Tree_.File("f/b.bin", std::string("\x00\x01\x02\x03", 4));
  Scanner_.SkipBinary = true;
  EXPECT_EQ(Run("f", u"", smConvert), Names{"f/a.txt"});
  EXPECT_TRUE(Log_.Errors.empty());
  EXPECT_EQ(Run("f", u"", smConvert | smScanContents), Names{"f/a.txt"});
  EXPECT_EQ(Log_.ErrorsOf(sekNotText), Names{"f/b.bin"});
}

TEST_F(FileScanConvert, EncodingsOfTheDirectScan) {
  Tree_.File("wide.txt", Utf16Le(u"\uFEFFsome hello text"));
  struct TCase {
    TScanEncodings Encodings;
    bool Found;
  };
  const TCase Cases[] = {
      {0, false}, {kScanAnsi, false}, {kScanUnicode, true}, {kScanAnsi | kScanUnicode, true}};
  for (const TCase& C : Cases) {
    Scanner_.Encodings = C.Encodings;
    EXPECT_EQ(Run("wide.txt", u"HELLO", smScanContents), C.Found ? Names{"wide.txt"} : Names{})
        << int(C.Encodings);
    if (C.Found) {
      EXPECT_EQ(Log_.Infos[0].Encoding, seUnicode);
    }
  }
}

TEST_F(FileScanConvert, NonAsciiNamesMatchWithoutCase) {
  Tree_.File(
      "f/\xC3\x9C"
      "berblick.TXT",
      "zzz");
  Tree_.File("f/other.txt", "zzz");
  Log_ = TScanLog();
  Log_.Attach(Scanner_, Tree_);
  Scanner_.Mode = smMatchName | smNameOnly;
  Scanner_.Scanner.SetPattern(u"\u00FCberb");
  EXPECT_TRUE(Scanner_.Search(Tree_.WidePath("f"), u"*.txt", false));
  EXPECT_EQ(Log_.Hits, Names{"f/\xC3\x9C"
                             "berblick.TXT"});
}

TEST_F(FileScanConvert, CancelledScanStopsTheSearch) {
  Tree_.File("f/a.txt", "hello");
  Tree_.File("f/b.txt", "hello");
  Scanner_.Scanner.OnProgress = [](int32_t) { return false; };
  EXPECT_EQ(Run("f", u"hello", smScanContents), Names{});
  EXPECT_FALSE(Completed_);
  EXPECT_EQ(Log_.ErrorsOf(sekAborted), Names{"f/a.txt"});
  EXPECT_EQ(Scanner_.FilesScanned, 0);
}

// The archive layer's stand-in: ".zip" is an enabled kind, ".arj" a disabled one, ".ha" a kind without
// decoder, ".r00" a later volume; the check of ".bad" raises.
class TFakeArchives : public IArchiveWalk {
 public:
  bool IsEnabledArchiveName(const std::u16string& Name) override { return Ext(Name) == "zip"; }
  TArchiveCheck CheckArchiveFile(const std::u16string& FileName, TArchiveKind& Kind) override {
    const std::string Extension = Ext(FileName);
    Kind = akNone;
    if (Extension == "zip") return Kind = akZip, acArchive;
    if (Extension == "arj") return Kind = akArj, acDisabled;
    if (Extension == "ha") return Kind = akHa, acNoDecoder;
    if (Extension == "r00") return Kind = akRar, acLaterVolume;
    if (Extension == "bad") throw Exception("Signature read failed");
    return acNone;
  }
  bool ScanArchive(TFileScanner&, const std::u16string&, const std::u16string& DisplayName, const TStrLst*,
                   bool Explicit, const TWideStrLst&) override {
    Walked.push_back(Tree->Relative(DisplayName) + (Explicit ? " explicit" : ""));
    return Answer;
  }
  static std::string Ext(const std::u16string& Name) {
    const std::string N = Utf16ToUtf8(Name);
    return N.substr(N.rfind('.') + 1);
  }
  const TScanTree* Tree = nullptr;
  Names Walked;
  bool Answer = true;
};

class FileScanArchives : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* Name : {"a.zip", "b.arj", "c.ha", "d.r00", "e.bad", "f.txt"})
      Tree_.File(std::string("d/") + Name, "hello");
    Archives_.Tree = &Tree_;
    Scanner_.Archives = &Archives_;
    Scanner_.Scanner.SetPattern(u"hello");
  }
  Names Run(const std::string& Roots, const std::u16string& Masks) {
    Log_ = TScanLog();
    Log_.Attach(Scanner_, Tree_);
    Archives_.Walked.clear();
    Completed_ = Scanner_.Search(Tree_.Roots(Roots), Masks, false);
    return Log_.Hits;
  }
  TScanTree Tree_;
  TFakeArchives Archives_;
  TFileScanner Scanner_;
  TScanLog Log_;
  bool Completed_ = false;
};

TEST_F(FileScanArchives, KindsOfTheCheck) {
  EXPECT_EQ(Run("d", u""), (Names{"d/e.bad", "d/f.txt"}));
  EXPECT_EQ(Archives_.Walked, Names{"d/a.zip"});
  EXPECT_EQ(Log_.ErrorsOf(sekArchiveDisabled), Names{"d/b.arj"});
  EXPECT_EQ(Log_.ErrorsOf(sekArchiveUnsupported), Names{"d/c.ha"});
  // A failed check is reported and the file is scanned as a plain file.
  ASSERT_EQ(Log_.ErrorsOf(sekException), Names{"d/e.bad"});
  EXPECT_EQ(Log_.Errors.size(), 3u);
}

TEST_F(FileScanArchives, ArchiveNamesPassTheMasks) {
  EXPECT_EQ(Run("d", u"*.txt"), Names{"d/f.txt"});
  EXPECT_EQ(Archives_.Walked, Names{"d/a.zip"});
}

TEST_F(FileScanArchives, Scopes) {
  Scanner_.Scope = ssFilesOnly;
  // An archive in a walked folder is neither walked nor scanned; named as a root it is walked.
  EXPECT_EQ(Run("d d/a.zip", u"*.txt;*.zip"), Names{"d/f.txt"});
  EXPECT_EQ(Archives_.Walked, Names{"d/a.zip explicit"});

  Scanner_.Scope = ssArchivesOnly;
  EXPECT_EQ(Run("d d/f.txt", u""), Names{});
  EXPECT_EQ(Archives_.Walked, Names{"d/a.zip"});
}

TEST_F(FileScanArchives, LimitDuplicateFilterAndStop) {
  Scanner_.MaxArchiveSize = 4;
  EXPECT_EQ(Run("d/a.zip", u""), Names{});
  EXPECT_EQ(Log_.ErrorsOf(sekArchiveTooLarge), Names{"d/a.zip"});
  EXPECT_TRUE(Archives_.Walked.empty());

  Scanner_.MaxArchiveSize = TFileScanner::kDefaultMaxArchiveSize;
  Scanner_.OnAcceptFile = [](const std::u16string&) { return false; };
  Run("d/a.zip", u"");
  EXPECT_TRUE(Archives_.Walked.empty());

  Scanner_.OnAcceptFile = nullptr;
  Archives_.Answer = false;
  Run("d/a.zip d/f.txt", u"");
  EXPECT_EQ(Archives_.Walked, Names{"d/a.zip explicit"});
  EXPECT_FALSE(Completed_);
  EXPECT_TRUE(Log_.Hits.empty());
}

}  // namespace
