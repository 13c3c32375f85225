#include "app/MLAux.h"

#include <gtest/gtest.h>

#include "core/FileLayer.h"
#include "platform/qvnls/Qvnls.h"
#include "tests/app/AppFixtures.h"
#include "tests/app/LangFakes.h"

namespace {

class LangFile : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(qvnls::SetSystemCodePages(1252, 850)); }
  void TearDown() override { qvnls::ResetSystemCodePages(); }

  // Writes Text as a language file and answers its name.
  std::u16string Write(const std::string& Text, const std::string& Name = "qvsrchxx.lng") {
    WriteFileBytes(Folder_ / Name, Text);
    return Utf8ToUtf16(Folder_ / Name);
  }
  // The message that reading Text raises; empty when it reads.
  std::string ErrorOf(const std::string& Text) {
    TLangFileContent Content;
    try {
      ReadLanguageFile(Write(Text), Content);
    } catch (const EMultiLang& E) {
      return E.Message();
    }
    return {};
  }
  std::string Header(int Line) const {
    return "Error importing language file '" + (Folder_ / "qvsrchxx.lng") + "' (line " +
           std::to_string(Line) + ")";
  }

  TTempFolder Folder_;
};

TEST_F(LangFile, ValuesAreUnquotedContinuedAndCutAtTheirComment) {
  const std::string Text =
      "; a language file\r\n"
      "[!META]\r\n"
      "LANGUAGE=XX\r\n"
      "[$]\r\n"
      "Plus=Hello +\r\n"
      "\"World\"\r\n"
      "Back=one \\\r\n"
      "\r\n"
      "   ; a comment between the parts\r\n"
      "  two+\r\n"
      " 'three'  ; and the end\r\n"
      "Semi=\"a;b\" ; the comment starts after the quotes\r\n"
      "Escaped=\"say \\\"hi;\\\" now\"\r\n"
      "Escapes=\"x\\ny\\t\\x41\\101\\?\\\\\"\r\n"
      "Single='it''s; here'\r\n"
      "Plain=plain text   ; cut\r\n"
      "Empty=\r\n"
      "OK=translated\r\n"
      "[$Search]\r\n"
      "OK=in a section\r\n";
  TLangStorage Store;
  int32_t Index = -2;
  std::string Id = "x";
  Store.ImportFile(Write(Text), Index, Id);
  EXPECT_EQ(Index, 0);
  EXPECT_EQ(Id, "");
  struct TCase {
    const char* Key;
    const char16_t* Value;
  } Cases[] = {
      {"Plus", u"HelloWorld"},  // trimmed before the "+", no blank added
      {"Back", u"onetwothree"},
      {"Semi", u"a;b"},
      {"Escaped", u"say \"hi;\" now"},
      {"Escapes", u"x\r\ny\tAA?\\"},
      {"Single", u"it's; here"},
      {"Plain", u"plain text"},
      {"Empty", u""},
      {"ok", u"translated"},  // keys compare without case
      {"Search.OK", u"in a section"},
  };
  for (const auto& C : Cases) {
    std::u16string Value;
    ASSERT_TRUE(Store.GetString(0, C.Key, Value)) << C.Key;
    EXPECT_EQ(Value, C.Value) << C.Key;
  }
  std::u16string Value;
  EXPECT_FALSE(Store.GetString(0, "Search", Value));
  EXPECT_FALSE(Store.GetString(1, "OK", Value));
}

TEST_F(LangFile, PropertySectionsGiveDottedKeysAndLists) {
  const std::string Text =
      "[!meta]\n"
      "LANGUAGE = XX , 0\n"
      "LANGID=1031\n"
      "Other=ignored\n"
      "[Main]\n"
      "Caption=Title\n"
      "[Main.Panel1]\n"
      "Button1.Hint=A hint\n"
      "Box.Items={\n"
      "  \"first\"   ; a comment\n"
      "\n"
      "  second +\n"
      "  part\n"
      "  {\n"
      "}\n";
  TLangStorage Store;
  int32_t Index;
  std::string Id;
  Store.ImportFile(Write(Text), Index, Id);
  EXPECT_EQ(Id, "1031");
  ASSERT_EQ(Store.GetLanguageCount(), 1);
  EXPECT_EQ(Store.GetLanguageName(0), "XX");
  EXPECT_EQ(Store.GetLanguageCharset(0), 0);
  ASSERT_NE(Store.GetProperty(0, "main.caption"), nullptr);
  EXPECT_EQ(Store.GetProperty(0, "Main.Caption")->Text, u"Title");
  EXPECT_EQ(Store.GetProperty(0, "Main.Panel1.Button1.Hint")->Text, u"A hint");
  const TLangValue* List = Store.GetProperty(0, "Main.Panel1.Box.Items");
  ASSERT_NE(List, nullptr);
  EXPECT_TRUE(List->IsList);
  EXPECT_EQ(List->Items, (std::vector<std::u16string>{u"first", u"secondpart", u"{"}));
}

TEST_F(LangFile, EachFaultNamesItsLine) {
  const std::string Meta = "[!META]\nLANGUAGE=XX\n";
  struct TCase {
    std::string Text;
    int Line;
    const char* Reason;
  } Cases[] = {
      {"; comment\n\n[ ]\n", 3, "Illegal section name"},
      {"Key=value\n", 1, nullptr},  // a line before any section
      {"[!META]\nLANGUAGE\n", 2, "'=' expected"},
      {"[!META]\n=XX\n", 2, "'=' expected"},
      {"[!META]\nLANGUAGE=XX,abc\n", 2, "Illegal charset"},
      {"[!META]\nLANGUAGE=XX,256\n", 2, "Illegal charset"},
      {"[!META]\nLANGUAGE=XX,\n", 2, "Illegal charset"},
      {"[!META]\nLANGUAGE=,204\n", 2, "Language not specified"},
      {"[$]\nOK=1\n", 2, "Language not specified"},
      {"[Main]\nCaption=1\n", 2, "Language not specified"},
      {Meta + "[$]\nNo equals sign\n", 4, "'=' expected"},
      {Meta + "[Main]\nBox.Items={\n  one\n  two\n", 6, "'}' expected"},
  };
  for (const auto& C : Cases) {
    const std::string Expected = Header(C.Line) + (C.Reason ? std::string("\r\n") + C.Reason : "");
    EXPECT_EQ(ErrorOf(C.Text), Expected) << C.Text;
  }
}

TEST_F(LangFile, LinesBeyondTheBufferAndMissingFilesFailCleanly) {
  const std::string Long =
      "[!META]\nLANGUAGE=XX\n[$]\nOK=" + std::string(3 * kLangFileLineBuffer, 'x') + "\n";
  const std::string Error = ErrorOf(Long);
  EXPECT_EQ(Error.rfind(Header(4) + "\r\n", 0), 0u) << Error.substr(0, 200);

  TLangFileContent Content;
  try {
    ReadLanguageFile(Utf8ToUtf16(Folder_ / "missing.lng"), Content);
    FAIL() << "a missing file was read";
  } catch (const EMultiLang& E) {
    EXPECT_NE(std::string(E.Message()).find("missing.lng' (line 0)\r\n"), std::string::npos) << E.Message();
  }
}

TEST_F(LangFile, AFailingFileChangesNothing) {
  TLangStorage Store;
  Store.AddLanguage("English", 1);
  int32_t Index;
  std::string Id;
  Store.ImportFile(Write("[!META]\nLANGUAGE=XX\n[$]\nOK=first\n", "a.lng"), Index, Id);
  ASSERT_EQ(Index, 1);
  // Defines a new language and changes an entry before its fault.
  const std::u16string Bad = Write("[!META]\nLANGUAGE=YY\nLANGUAGE=XX,204\n[$]\nOK=second\n[]\n", "b.lng");
  EXPECT_THROW(Store.ImportFile(Bad, Index, Id), EMultiLang);
  EXPECT_EQ(Store.GetLanguageCount(), 2);
  EXPECT_EQ(Store.GetLanguageCharset(1), 1);
  std::u16string Value;
  ASSERT_TRUE(Store.GetString(1, "OK", Value));
  EXPECT_EQ(Value, u"first");
}

TEST_F(LangFile, ALanguageNamedAgainTakesTheNewCharset) {
  TLangStorage Store;
  EXPECT_EQ(Store.AddLanguage("English", 1), 0);
  EXPECT_EQ(Store.AddLanguage("RU", 204), 1);
  EXPECT_EQ(Store.AddLanguage("ru", 1), 1);
  EXPECT_EQ(Store.GetLanguageCharset(1), 1);
  EXPECT_EQ(Store.IndexOfLanguage("EN"), -1);
}

TEST_F(LangFile, TextIsDecodedWithItsLanguagesCharset) {
  EXPECT_EQ(DecodeLangText("\xCF\xF0\xE8", 204), u"\u041F\u0440\u0438");  // Cyrillic "При"
  EXPECT_EQ(DecodeLangText("\xE9", 1), u"\u00E9");                        // the system page (1252)
  EXPECT_EQ(DecodeLangText("\xE9", 77), u"\u00E9");                       // unknown: the system page too
  TLangStorage Store;
  int32_t Index;
  std::string Id;
  Store.ImportFile(Write("[!META]\nLANGUAGE=RU,204\n[$]\nOK=\xCE\xCA\n"), Index, Id);
  std::u16string Value;
  ASSERT_TRUE(Store.GetString(Index, "OK", Value));
  EXPECT_EQ(Value, u"\u041E\u041A");
}

// ---- Applying languages to windows ----

class LangApply : public LangFile {
 protected:
  void SetUp() override {
    LangFile::SetUp();
    Main_.Texts["Caption"] = u"Designed title";
    Start_.Texts["Hint"] = u"Start search";
    Start_.Texts["Caption"] = u"Start";
    Logic_.Lists["Items"] = {u"Any", u"All", u"Phrase"};
    Logic_.Index = 2;
    Panel_.Children = {&Start_, &Logic_};
    Main_.Children = {&Panel_};
    Other_.Texts["Caption"] = u"Other designed";
    Module_.Children = {&Timer_};
    Timer_.Texts["Hint"] = u"Designed timer";
    Screen_.Forms = {&Main_, &Other_};
    Screen_.Modules = {&Module_};

    Store_.AddLanguage("English", 1);
    int32_t Index;
    std::string Id;
    Store_.ImportFile(
        Write("[!META]\nLANGUAGE=XX\n"
              "[Main]\nCaption=XX title\nPanel.Start.Hint=XX hint\nPanel.Start.Caption=XX start\n"
              "Panel.Logic.Items={\nXX any\nXX all\nXX phrase\n}\n"
              "Panel.Missing.Caption=nowhere\nPanel.Start.NoSuchProperty=none\n"
              "Panel.Start.Hint.Caption=not a component\n"
              "[Other]\nCaption=XX other\n"
              "[Module]\nTimer.Hint=XX timer\n",
              "xx.lng"),
        Index, Id);
    Store_.ImportFile(Write("[!META]\nLANGUAGE=YY\n[Main]\nCaption=YY title\n"
                            "Panel.Logic.Items={\nYY only\n}\n",
                            "yy.lng"),
                      Index, Id);
  }

  TFakeComponent Main_{"Main", "TMain"}, Panel_{"Panel"}, Start_{"Start"}, Logic_{"Logic"};
  TFakeComponent Other_{"Other", "TOTHER"}, Module_{"Module", "TModule"}, Timer_{"Timer"};
  TFakeScreen Screen_;
  TLangStorage Store_;
};

TEST_F(LangApply, CapturedTextsComeBackAndMissingEntriesShowThem) {
  Store_.ApplyLanguage(0, true, &Screen_, nullptr);
  EXPECT_EQ(Store_.GetProperty(0, "Main.Caption")->Text, u"Designed title");
  EXPECT_EQ(Store_.GetProperty(0, "Main.Panel.Logic.Items")->Items.size(), 3u);
  EXPECT_EQ(Store_.GetProperty(0, "Module.Timer.Hint")->Text, u"Designed timer");
  EXPECT_EQ(Store_.GetProperty(0, "Main.Panel.Missing.Caption"), nullptr);  // no such component

  Store_.ApplyLanguage(1, false, &Screen_, nullptr);
  EXPECT_EQ(Main_.Texts["Caption"], u"XX title");
  EXPECT_EQ(Start_.Texts["Hint"], u"XX hint");
  EXPECT_EQ(Other_.Texts["Caption"], u"XX other");  // window class names compare without case
  EXPECT_EQ(Timer_.Texts["Hint"], u"XX timer");     // found among the data modules
  EXPECT_EQ(Logic_.Lists["Items"], (std::vector<std::u16string>{u"XX any", u"XX all", u"XX phrase"}));
  EXPECT_EQ(Logic_.Index, 2);  // still in range: kept
  EXPECT_EQ(Start_.Texts.count("NoSuchProperty"), 0u);

  // YY lacks the hint: the built-in one shows, not XX's.
  Store_.ApplyLanguage(2, false, &Screen_, nullptr);
  EXPECT_EQ(Main_.Texts["Caption"], u"YY title");
  EXPECT_EQ(Start_.Texts["Hint"], u"Start search");
  EXPECT_EQ(Logic_.Lists["Items"], std::vector<std::u16string>{u"YY only"});
  EXPECT_EQ(Logic_.Index, -1);  // index 2 is beyond the one item

  Store_.ApplyLanguage(0, false, &Screen_, nullptr);
  EXPECT_EQ(Main_.Texts["Caption"], u"Designed title");
  EXPECT_EQ(Other_.Texts["Caption"], u"Other designed");
}

TEST_F(LangApply, AGivenWindowIsTheOnlyTargetAndEqualTextsAreNotRewritten) {
  Store_.ApplyLanguage(1, false, &Screen_, &Other_);
  EXPECT_EQ(Other_.Texts["Caption"], u"XX other");
  EXPECT_EQ(Main_.Texts["Caption"], u"Designed title");
  EXPECT_EQ(Timer_.Texts["Hint"], u"Designed timer");  // data modules are not on that window

  const int32_t Writes = Other_.Writes;
  Store_.ApplyLanguage(1, false, &Screen_, &Other_);
  EXPECT_EQ(Other_.Writes, Writes);
}

TEST_F(LangApply, CaptureOnlyMissingKeepsEarlierCaptures) {
  Store_.ApplyLanguage(0, true, &Screen_, nullptr);
  Main_.Texts["Caption"] = u"Changed at run time";
  Store_.ApplyLanguage(0, true, &Screen_, nullptr, true);
  EXPECT_EQ(Store_.GetProperty(0, "Main.Caption")->Text, u"Designed title");
  Store_.ApplyLanguage(0, true, &Screen_, nullptr);
  EXPECT_EQ(Store_.GetProperty(0, "Main.Caption")->Text, u"Changed at run time");
}

}  // namespace
