// impweb.so seen from outside: loaded by the converter host as the program loads it, asked for its
// answers, its content test and its conversions of files and memory blocks, with callbacks and damaged
// pages.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "plugins/impweb/HTMLToText.h"
#include "search/NLSProcsDyn.h"
#include "search/QVConvIntf.h"
#include "tests/plugins/TestLibraries.h"
#include "tests/plugins/impweb/HTMLTestUtil.h"

#ifndef SCRYLINE_IMPWEB
#error "SCRYLINE_IMPWEB must name the built impweb.so"
#endif

namespace {

const char* const kFixtures[] = {"_chromium_KOI8-R_with_no_encoding_declared.html",
                                 "_chromium_windows-1251_with_no_encoding_declared.html",
                                 "_mozilla_bug421271_text.html",
                                 "_mozilla_bug638318_text.html",
                                 "big-preamble.html",
                                 "bom_utf16be.html",
                                 "bom_utf16le.html",
                                 "bom_utf8.html",
                                 "iso-8859-1.html",
                                 "plane1-utf-16be.html",
                                 "plane1-utf-16le.html",
                                 "testHTML_charset_utf16le.html",
                                 "testHTML_utf8.html"};

class HTMLImpTest : public THTMLTest {
 protected:
  void SetUp() override {
    THTMLTest::SetUp();
    ASSERT_EQ(List_.AddConverter(SCRYLINE_IMPWEB, false), kConverterLoaded) << List_.LastLoadError;
    Web_ = List_.GetConverter(0);
  }

  template <class T>
  T Export(const char* Name) {
    auto F = reinterpret_cast<T>(dlsym(Web_->Handle, Name));
    EXPECT_NE(F, nullptr) << Name;
    return F;
  }

  // A conversion through the host's list: the text (UTF-8 when it came as UTF-16) or the error.
  struct TResult {
    bool Ok;
    bool Unicode;
    std::string Text;
    std::string Error;
  };
  TResult ConvertFile(const std::string& Path, int UnicodeMode) {
    std::string Error;
    TQVConverter* Converter = nullptr;
    int32_t Size = -1;
    bool Unicode = false;
    TResultBlock Block = List_.ConvertFile(Path, UnicodeMode, "", Error, Converter, Size, Unicode);
    if (!Block) return {false, false, "", Error};
    std::string Bytes(static_cast<const char*>(Block.get()), static_cast<size_t>(Size));
    return {true, Unicode, Unicode ? Utf16ToUtf8(RawToWideStr(Bytes)) : Bytes, Error};
  }

  // A memory conversion through the exports: whether a block came, and its bytes.
  std::pair<bool, std::string> ConvertMemory(const std::string& Data, bool Unicode) {
    int32_t Size = static_cast<int32_t>(Data.size());
    void* Block = Unicode ? Web_->Exports.ConvertMemoryToUnicode(Data.data(), 0, &Size)
                          : Web_->Exports.ConvertMemoryToPureText(Data.data(), 0, &Size);
    if (Block == nullptr) {
      EXPECT_FALSE(Web_->GetErrorText().empty());
      return {false, ""};
    }
    std::string Text(static_cast<const char*>(Block), static_cast<size_t>(Size));
    EXPECT_EQ(static_cast<const char*>(Block)[Size], '\0');
    EXPECT_EQ(static_cast<const char*>(Block)[Size + 1], '\0');
    ConvFreeResultBlock(Block);
    return {true, Text};
  }

  TQVConverters List_;
  TQVConverter* Web_ = nullptr;
  TTestFolder Folder_;
};

TEST_F(HTMLImpTest, AnswersTheConverterContract) {
  int32_t Count = 0;
  EXPECT_EQ(Web_->ListSupportedTypes(Count), "htm;html;shtml;asp");
  EXPECT_EQ(Count, 4);
  const char* Types[] = {"htm", "html", "shtml", "asp", "-"};
  for (int32_t I = 0; I < 5; ++I) EXPECT_EQ(Web_->GetType(I), Types[I]) << I;
  EXPECT_EQ(Web_->GetType(-1), "-");
  EXPECT_EQ(Web_->GetTypeDescription(3), "Hyper Text Markup Language Document (HTML)");
  EXPECT_EQ(Web_->GetTypeDescription(4), "-");
  for (const char* Ext : {"htm", "HTML", "Shtml", "asp"}) EXPECT_TRUE(Web_->IsFileTypeSupported(Ext)) << Ext;
  for (const char* Ext : {"htmlx", "ht", "", "txt"}) EXPECT_FALSE(Web_->IsFileTypeSupported(Ext)) << Ext;
  EXPECT_EQ(Web_->Flags, 31);
  EXPECT_EQ(Web_->GetDllInfo(), "Quorvane Library v.021010");
  EXPECT_EQ(Web_->Exports.GetDllVersion(), 5378562);
  EXPECT_FALSE(Web_->HasMemDataTest());
  ASSERT_NE(Web_->Exports.SetCallback, nullptr);
  for (const char* Name : {"HTMLToTextWithLinks2", "HTMLToTextWithLinks", "HTMLToText2", "HTMLToText"}) {
    EXPECT_NE(dlsym(Web_->Handle, Name), nullptr) << Name;
  }
  // The tables can be freed and built again; a conversion builds them when needed.
  EXPECT_TRUE(Web_->Exports.FreeUpConverterTypes());
  EXPECT_EQ(ConvertMemory("<p>a&amp;b</p>", false).second, "a&b\r\n");
  EXPECT_TRUE(Web_->Exports.InitializeConverterTypes());
}

TEST_F(HTMLImpTest, ConvertsFilesThroughTheHost) {
  const std::string Korean = Folder_.Write("korean.html", ReadFixture("bom_utf16be.html"));
  TResult Result = ConvertFile(Korean, kUnicodeModeNative);
  ASSERT_TRUE(Result.Ok) << Result.Error;
  EXPECT_TRUE(Result.Unicode);
  EXPECT_NE(Result.Text.find("가각갂갃간갅"), std::string::npos);

  const std::string Russian = Folder_.Write("russian.htm", ReadFixture("big-preamble.html"));
  Result = ConvertFile(Russian, kUnicodeModeAnsi);
  ASSERT_TRUE(Result.Ok) << Result.Error;
  EXPECT_FALSE(Result.Unicode);
  EXPECT_NE(Utf16ToUtf8(CharsetToWide(Result.Text, qvnls::kCharsetWin1251)).find("Континент-Недвижимость"),
            std::string::npos);

  // No library claims ".txt": the content test finds the page.
  const std::string Text = Folder_.Write("notes.txt", "<html><body>Hidden <b>ge</b>m</body></html>\n");
  Result = ConvertFile(Text, kUnicodeModeUnicode);
  ASSERT_TRUE(Result.Ok) << Result.Error;
  EXPECT_EQ(Result.Text, "Hidden gem\r\n");

  Result = ConvertFile(Folder_.Path + "/missing.html", kUnicodeModeAnsi);
  EXPECT_FALSE(Result.Ok);
  EXPECT_NE(Result.Error.find("missing.html"), std::string::npos) << Result.Error;
}

TEST_F(HTMLImpTest, ContentTestWantsTextHoldingTheHtmlTag) {
  struct Case {
    const char* Name;
    std::string Content;
    bool Html;
  };
  const Case Cases[] = {
      {"lower.txt", "Some text\n<html><p>x</p></html>\n", true},
      {"late.dat", std::string(70000, 'a') + "\n<HtMl>", true},
      {"plain.txt", "<p>no html element</p>\n", false},
      {"binary.bin", std::string("<HTML>\0\0\x01\x02", 10), false},
      {"empty.htm", "", false},
  };
  for (const Case& C : Cases) {
    EXPECT_EQ(Web_->IsFileSupported(Folder_.Write(C.Name, C.Content)), C.Html) << C.Name;
  }
  EXPECT_FALSE(Web_->IsFileSupported(Folder_.Path + "/absent.htm"));
  EXPECT_NE(Web_->GetErrorText().find("absent.htm"), std::string::npos) << Web_->GetErrorText();
  // A test that succeeds clears the text of the one before.
  EXPECT_TRUE(Web_->IsFileSupported(Folder_.Write("again.txt", "<html>")));
  EXPECT_EQ(Web_->GetErrorText(), "");
}

TEST_F(HTMLImpTest, MemoryBlocksConvertWithSizeInAndOut) {
  const std::string Page = "<html><body><p>Caf&eacute; <b>au</b> lait</p></body></html>";
  auto [ok, text] = ConvertMemory(Page, false);
  ASSERT_TRUE(ok);
  EXPECT_EQ(text, "Caf\xE9 au lait\r\n");
  std::tie(ok, text) = ConvertMemory(Page, true);
  ASSERT_TRUE(ok);
  EXPECT_EQ(Utf16ToUtf8(RawToWideStr(text)), "Café au lait\r\n");

  // An empty page is an empty text, not a failure.
  std::tie(ok, text) = ConvertMemory("", true);
  EXPECT_TRUE(ok);
  EXPECT_EQ(text, "");
  const std::string Empty = Folder_.Write("empty.html", "");
  int32_t Size = -1;
  void* Block = Web_->Exports.ConvertToPureText(Empty.c_str(), &Size);
  ASSERT_NE(Block, nullptr) << Web_->GetErrorText();
  EXPECT_EQ(Size, 0);
  ConvFreeResultBlock(Block);
}

int32_t g_polls = 0;
int32_t g_kind = -7;
int32_t CountingCallback(int32_t Kind, int32_t Current, int32_t Total, void*) {
  ++g_polls;
  g_kind = Kind;
  EXPECT_EQ(Current, -1);
  EXPECT_EQ(Total, -1);
  return 1;
}
int32_t CancellingCallback(int32_t, int32_t, int32_t, void*) { return 0; }

TEST_F(HTMLImpTest, CallbacksPollAndCancel) {
  const std::string Path = Folder_.Write("page.html", "<p>one</p><p>two</p>");
  int32_t Size = -1;
  Web_->Exports.SetCallback(CountingCallback, nullptr);
  void* Block = Web_->Exports.ConvertToUnicode(Path.c_str(), &Size);
  ASSERT_NE(Block, nullptr);
  ConvFreeResultBlock(Block);
  EXPECT_EQ(g_polls, 1);
  EXPECT_EQ(g_kind, 0);

  Web_->Exports.SetCallback(CancellingCallback, nullptr);
  Size = -1;
  EXPECT_EQ(Web_->Exports.ConvertToPureText(Path.c_str(), &Size), nullptr);
  EXPECT_EQ(Size, 0);
  EXPECT_EQ(Web_->GetErrorText(), "User canceled");

  // Without a callback nothing is asked and nothing can stop the conversion.
  Web_->Exports.SetCallback(nullptr, nullptr);
  Block = Web_->Exports.ConvertToPureText(Path.c_str(), &Size);
  ASSERT_NE(Block, nullptr);
  EXPECT_EQ(std::string(static_cast<const char*>(Block), Size), "one\r\n\r\ntwo\r\n");
  ConvFreeResultBlock(Block);
}

TEST_F(HTMLImpTest, HTMLToTextExports) {
  const std::string Page = "<p>Read <a href=\"doc.html\">the doc</a>.</p>";
  TTestLinks Links;
  int32_t Size = static_cast<int32_t>(Page.size());
  void* Block = Export<THTMLToTextWithLinks>("HTMLToTextWithLinks")(Page.data(), &Links, 0, 1, &Size);
  ASSERT_NE(Block, nullptr);
  EXPECT_EQ(Utf16ToUtf8(RawToWideStr(std::string(static_cast<const char*>(Block), Size))),
            "Read the doc.\r\n");
  ConvFreeResultBlock(Block);
  ASSERT_EQ(Links.List.size(), 1u);
  EXPECT_EQ(Links.List[0].URL, u"doc.html");
  EXPECT_EQ(Links.List[0].Start, 10);
  EXPECT_EQ(Links.List[0].Length, 7);

  Size = static_cast<int32_t>(Page.size());
  Block = Export<THTMLToText>("HTMLToText")(Page.data(), qvnls::kCharsetWin1252, 0, &Size);
  ASSERT_NE(Block, nullptr);
  EXPECT_EQ(std::string(static_cast<const char*>(Block), Size), "Read the doc.\r\n");
  ConvFreeResultBlock(Block);

  TCountingProgress Stop(1);
  Size = static_cast<int32_t>(Page.size());
  EXPECT_EQ(Export<THTMLToText2>("HTMLToText2")(Page.data(), &Stop, 0, 1, &Size), nullptr);
  EXPECT_EQ(Size, 0);

  // Bad arguments answer null with Size 0; nothing is thrown across the export.
  Size = -5;
  EXPECT_EQ(Export<THTMLToText>("HTMLToText")(Page.data(), 0, 1, &Size), nullptr);
  EXPECT_EQ(Size, 0);
  Size = 10;
  EXPECT_EQ(Export<THTMLToTextWithLinks2>("HTMLToTextWithLinks2")(nullptr, nullptr, nullptr, 0, 0, &Size),
            nullptr);
  EXPECT_EQ(Size, 0);
}

// Damaged pages: each fixture cut short and with a few bytes changed, and a few hostile pages built
// here, go through every conversion form. Only a clean end is checked: no crash, no hang, no leak.
TEST_F(HTMLImpTest, DamagedPagesEndCleanly) {
  std::vector<std::string> Pages = {
      "<a href=\"never closed",
      std::string(5000, '<'),
      "<!--" + std::string(3000, '"') + "-->",
      std::string("<p>\0\0\0<b\0>x", 12),
      std::string("\xFF\xFE<\0p\0>\0x", 9),  // odd-length UTF-16
      "<ol type=a><li value=2147483647>a<li>b<li value=-2147483648>c<li value=99999999999>d",
      "<pre>\r",
      "<meta http-equiv=content-type content='charset=utf-16'>\xD0",
      "<dl><dd></dl></dl></ul></ol></table></blockquote>text",
      "&#" + std::string(400, '9') + ";&#x" + std::string(400, 'F') + ";",
  };
  std::mt19937 Random(4242);
  for (const char* Name : kFixtures) {
    const std::string Good = ReadFixture(Name);
    for (int K = 1; K < 8; ++K) Pages.push_back(Good.substr(0, Good.size() * K / 8));
    for (int Round = 0; Round < 6; ++Round) {
      std::string Bad = Good;
      for (int Flips = 0; Flips < 4; ++Flips) Bad[Random() % Bad.size()] = static_cast<char>(Random());
      Pages.push_back(Bad);
    }
  }
  const auto HtmlToText = Export<THTMLToText>("HTMLToText");
  for (const std::string& Page : Pages) {
    for (bool Unicode : {false, true}) {
      ConvertMemory(Page, Unicode);
      int32_t Size = static_cast<int32_t>(Page.size());
      if (void* Block = HtmlToText(Page.data(), 0, Unicode, &Size)) ConvFreeResultBlock(Block);
    }
  }
  const std::string Path = Folder_.Write("bad.html", Pages.back());
  EXPECT_TRUE(ConvertFile(Path, kUnicodeModeNative).Ok);
}

}  // namespace
