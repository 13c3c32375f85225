#include "app/MsgStr.h"

#include <gtest/gtest.h>

#include "app/MultiLan.h"
#include "core/FileLayer.h"
#include "platform/qvnls/Qvnls.h"
#include "tests/app/AppFixtures.h"

namespace {

// Every entry with a default text, as the catalogue's table gives it.
struct TDefault {
  int Index;
  const char* Key;
  const char* Text;
} const kDefaults[] = {
    {0, "OK", "OK"},
    {1, "Cancel", "Cancel"},
    {2, "Yes", "&Yes"},
    {3, "No", "&No"},
    {4, "BtnHelp", "&Help"},
    {5, "Warning", "Warning"},
    {6, "Error", "Error"},
    {7, "Information", "Information"},
    {8, "Confirmation", "Confirm"},
    {9, "DontShowAgain", "&Don't show this message again"},
    {10, "OrLogic", "Any word (OR)"},
    {11, "AndLogic", "All words (AND)"},
    {12, "EntirePhrase", "Entire phrase"},
    {13, "SavePaths", "Save Paths"},
    {14, "SaveSelectedPathsAs", "Save selected paths as:"},
    {15, "AskDeleteSavedPaths_s", "Delete saved paths \"%s\"?"},
    {16, "SaveFileTypes", "Save File Types"},
    {17, "SaveSelectedTypesAs", "Save selected file types as:"},
    {18, "AskDeleteSavedTypes_s", "Delete saved file types \"%s\"?"},
    {19, "AskSearchIfEmptyPattern", "Search pattern is empty. Continue search anyway?"},
    {20, "AskStopOperation", "Stop operation?"},
    {21, "ConvAllDisabled", "All converters are disabled"},
    {22, "ConvCantLoad_ss", "Can't load converter \"%s\". %s"},
    {23, "ConvInvalid_s", "Invalid converter \"%s\""},
    {24, "ConvLoaded_s", "Converter \"%s\" loaded successfully"},
    {25, "ConvNotFoundIn_s", "No converters found in \"%s\""},
    {26, "Converting_s", "Converting \"%s\"..."},
    {27, "ConvertedBy_s", "converted by \"%s\""},
    {28, "Disabled", "Disabled"},
    {29, "EnterPwdForItemFrom_ss", "Enter password for \"%s\" from \"%s\""},
    {30, "ErrLoadOpt_s", "Error loading options: %s"},
    {31, "ErrLoadConv_s", "Error loading converters: %s"},
    {32, "ErrOpenArc", "Error opening archive file"},
    {33, "ErrOpenFile", "Error opening file"},
    {34, "ErrScanFile", "Error scanning file"},
    {35, "ErrSearchIn", "Error searching in"},
    {36, "WarnSearchIn_s", "Warning received when searching in \"%s\""},
    {37, "FileNotFound_s", "File \"%s\" not found. It was deleted or renamed probably"},
    {38, "AccessDenied_s", "Access denied. File \"%s\" is opened and locked by another application probably"},
    {39, "FileChanged_s", "File \"%s\" was changed after it was scanned by Scryline"},
    {40, "ExecuteError_s", "Can't start \"%s\""},
    {41, "Exception", "Exception caught"},
    {42, "ExtractItemAs_s", "Extract \"%s\" As"},
    {43, "DirExcluded_s", "Directory \"%s\" is excluded from search."},
    {44, "FileIsEmpty_s", "File \"%s\" is empty - skipped"},
    {45, "FileNotText_s", "File \"%s\" is not a text file probably - skipped"},
    {46, "FileTooLarge_s", "File \"%s\" is too large - skipped"},
    {47, "FileTooLargeForConv_sd", "File \"%s\" is too large for converting (max size is %d Mb) - skipped"},
    {48, "FileConvError_s", "Error converting file \"%s\""},
    {50, "ArcUnsupported_s", "Unsupported archive \"%s\" - skipped"},
    {51, "ArcDisabled_s", "Support for the archive format of \"%s\" is disabled - skipped"},
    {52, "SubArcDisabled_s", "Processing of subarchives is disabled - \"%s\" skipped"},
    {53, "ArcTooLarge_sd", "Archive \"%s\" is too large (max size is %d Mb) - skipped"},
    {54, "ArcAllDisabled", "All archives are disabled"},
    {55, "OpenFolderContainingItem", "Open a folder containing the selected item"},
    {56, "PathNotExists_s", "Directory or file \"%s\" doesn't exist"},
    {57, "SelectExcludeDir", "Select a directory to exclude it from search."},
    {58, "SrchFin", "Search finished"},
    {59, "SrchNoSupArcFound", "No supported archive(s) found"},
    {60, "SrchPathIsEmpty", "Search path is empty"},
    {61, "SrchPatNotFound", "Search pattern not found"},
    {62, "SrchPatTooLong", "Search pattern is too long"},
    {63, "SrchStat_dd", "Files scanned: %d. Files found: %d"},
    {64, "SrchStart", "Search started"},
    {65, "SrchStrNotFound_s", "Search string '%s' not found"},
    {66, "AskDelInvMasks_s", "File mask \"%s\" is invalid.\r\nDelete invalid masks?"},
    {67, "AskDelInvPaths_s", "File path \"%s\" is invalid.\r\nDelete invalid paths?"},
    {68, "UserInterrupt", "User interrupt"},
    {69, "Wait", "Wait..."},
    {70, "Printing", "Printing..."},
    {71, "EscapeCancel", "Press 'Escape' to cancel"},
    {72, "AskMaskMatchesAnyFile", "The mask you entered (*.*) matches any file. Accept anyway?"},
    {73, "AskNoFileTypes",
     "You did not define search file types or a mask \"*.*\" was used. Search process can go faster if you "
     "restrict which file types to accept during search"},
    {74, "EnterMask", "Enter Mask"},
    {75, "EnterNewFileMask", "Enter new file mask:"},
    {76, "EditMask", "Edit Mask"},
    {77, "EditFileMask", "Edit file mask:"},
    {78, "OptionsInterface", "User Interface"},
    {79, "OptionsToolbar", "Toolbar"},
    {80, "OptionsSystem", "System"},
    {81, "OptionsArchives", "Archives"},
    {82, "SearchStart", "Start"},
    {83, "SearchStop", "Stop"},
    {84, "SearchPause", "Pause"},
    {85, "SearchFiles", "Files"},
    {86, "SearchArchives", "Archives"},
    {87, "ShowLog", "Show Log"},
    {88, "Preview", "Preview"},
    {89, "Print", "Print"},
    {90, "Options", "Options"},
    {91, "Help", "Help"},
    {92, "Exit", "Exit"},
    {93, "SearchStartHint", "Start search"},
    {94, "SearchStopHint", "Stop search"},
    {95, "SearchPauseHint", "Pause search"},
    {96, "SearchFilesHint", "Search in plain files (non-archives)"},
    {97, "SearchArchivesHint", "Search in archive files"},
    {98, "ShowLogHint", "Show application log"},
    {99, "PreviewHint", "Open the selected file in the internal viewer"},
    {100, "PrintHint", "Print a list of found files"},
    {101, "OptionsHint", "Set configuration options"},
    {102, "HelpHint", "Display the help context"},
    {103, "ExitHint", "Exit Scryline"},
    {104, "HelpFile", "qvsrchen.html"},
};

TEST(MsgCatalogue, EveryKeyHasItsEnglishDefault) {
  SetMsgLanguages(nullptr);
  for (const auto& D : kDefaults) {
    const auto Index = static_cast<TMsgIndex>(D.Index);
    EXPECT_STREQ(MsgKey(Index), D.Key) << D.Index;
    EXPECT_EQ(GetMsg(Index), D.Text) << D.Key;
    EXPECT_EQ(GetMsgW(Index), Utf8ToUtf16(D.Text)) << D.Key;
  }
  EXPECT_STREQ(MsgKey(TMsgIndex::SelfExtractedEXE), "SelfExtractedEXE");
  EXPECT_EQ(GetMsg(TMsgIndex::SelfExtractedEXE), "");
  // The two texts whose wording is ours: a help-file warning naming the file, and a contact line.
  EXPECT_EQ(MsgKey(TMsgIndex::HelpNotFound_s), std::string("HelpNotFound_s"));
  EXPECT_NE(FormatMsg(TMsgIndex::HelpNotFound_s, {"qvsrchen.html"}).find("\"qvsrchen.html\""),
            std::string::npos);
  EXPECT_STREQ(MsgKey(TMsgIndex::Contact), "Contact");
  EXPECT_FALSE(GetMsg(TMsgIndex::Contact).empty());
  // 106 and 107 are not used.
  EXPECT_STREQ(MsgKey(static_cast<TMsgIndex>(106)), "");
  EXPECT_EQ(GetMsg(static_cast<TMsgIndex>(107)), "");
  EXPECT_EQ(GetMsg(static_cast<TMsgIndex>(200)), "");
}

class MsgTranslation : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(qvnls::SetSystemCodePages(1252, 850));
    Languages_.AddLanguage("English", 1);
  }
  void TearDown() override {
    SetMsgLanguages(nullptr);
    qvnls::ResetSystemCodePages();
  }
  int32_t Load(const std::string& Name) {
    return Languages_.LoadLanguageFile(Utf8ToUtf16(AppTestData("lng/" + Name)));
  }

  TMultiLang Languages_;
};

TEST_F(MsgTranslation, ACyrillicFileTranslatesAndMissingKeysStayEnglish) {
  const int32_t RU = Load("qvsrchru.lng");
  Languages_.SetLanguageIndex(RU);
  // Before the main window hands its language object over, the defaults show.
  EXPECT_EQ(GetMsg(TMsgIndex::OK), "OK");
  SetMsgLanguages(&Languages_);
  EXPECT_EQ(GetMsgW(TMsgIndex::OK), u"\u041E\u041A");
  EXPECT_EQ(GetMsg(TMsgIndex::Cancel), "\u041E\u0442\u043C\u0435\u043D\u0430");
  EXPECT_EQ(GetMsgW(TMsgIndex::SrchFin),
            u"\u041F\u043E\u0438\u0441\u043A \u0437\u0430\u0432\u0435\u0440\u0448\u0451\u043D");
  EXPECT_EQ(FormatMsgW(TMsgIndex::FileNotFound_s, {u"a.txt"}),
            u"\u0424\u0430\u0439\u043B \"a.txt\" \u043D\u0435 \u043D\u0430\u0439\u0434\u0435\u043D");
  // Missing in the file: the English default, not another language's text.
  EXPECT_EQ(GetMsg(TMsgIndex::Warning), "Warning");
  // "[$Search]" makes the key "Search.OK", which is no catalogue key.
  std::u16string Value;
  ASSERT_TRUE(Languages_.GetString("Search.OK", Value));
  EXPECT_EQ(Value, u"\u0418\u0441\u043A\u0430\u0442\u044C");

  Languages_.SetLanguageIndex(0);
  EXPECT_EQ(GetMsg(TMsgIndex::OK), "OK");
}

TEST_F(MsgTranslation, TheEnglishSampleReadsItsEscapesAndQuotes) {
  Languages_.SetLanguageIndex(Load("qvsrchuk.lng"));
  SetMsgLanguages(&Languages_);
  EXPECT_EQ(GetMsg(TMsgIndex::OptionsInterface), "User \"Interface\"; colours");
  EXPECT_EQ(FormatMsg(TMsgIndex::SrchStat_dd, {3, 1}), "Files scanned: 3.\tFiles found: 1");
  EXPECT_EQ(FormatMsg(TMsgIndex::ConvCantLoad_ss, {"imp.so", "No file"}),
            "Can't load converter \"imp.so\". No file");
  EXPECT_EQ(Languages_.GetStorage().GetProperty(Languages_.GetLanguageIndex(), "Main.StartBtn.Hint")->Text,
            u"Start search now");
}

TEST_F(MsgTranslation, TranslationsThatDoNotFitTheirArgumentsAreNotUsed) {
  TTempFolder Folder;
  WriteFileBytes(Folder / "bad.lng",
                 "[!META]\nLANGUAGE=XX\n[$]\n"
                 "FileIsEmpty_s=Leer: %d\n"         // a number where a string comes
                 "FileTooLarge_s=%s und %s\n"       // a second argument that never comes
                 "SrchStat_dd=%d von %d\n"          // fits
                 "ArcTooLarge_sd=%1:d MB: %0:s\n"   // fits, in its own order
                 "FileTooLargeForConv_sd=%s %s\n"   // a string where a number comes
                 "AskStopOperation=100% sicher?\n"  // no arguments: shown as it is
                 "ConvInvalid_s=Kein %s, %x\n");    // a hex number too many
  Languages_.SetLanguageIndex(Languages_.LoadLanguageFile(Utf8ToUtf16(Folder / "bad.lng")));
  SetMsgLanguages(&Languages_);
  struct TCase {
    TMsgIndex Index;
    TFormatArgs Args;
    const char* Text;
  } Cases[] = {
      {TMsgIndex::FileIsEmpty_s, {"a"}, "File \"a\" is empty - skipped"},
      {TMsgIndex::FileTooLarge_s, {"a"}, "File \"a\" is too large - skipped"},
      {TMsgIndex::SrchStat_dd, {5, 2}, "5 von 2"},
      {TMsgIndex::ArcTooLarge_sd, {"x.zip", 9}, "9 MB: x.zip"},
      {TMsgIndex::FileTooLargeForConv_sd,
       {"a", 16},
       "File \"a\" is too large for converting (max size is 16 Mb) - skipped"},
      {TMsgIndex::ConvInvalid_s, {"c"}, "Invalid converter \"c\""},
  };
  for (const auto& C : Cases) EXPECT_EQ(FormatMsg(C.Index, C.Args), C.Text) << MsgKey(C.Index);
  EXPECT_EQ(GetMsg(TMsgIndex::AskStopOperation), "100% sicher?");
}

}  // namespace
