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
    ASSERT_EQ(List.AddConverter(SCRYLINE_IMPWEB, false), kConverterLoaded) << List.LastLoadError;
    Web = List.GetConverter(0);
  }

  template <class T>
  T Export(const char* Name) {
    auto f = reinterpret_cast<T>(dlsym(Web->Handle, Name));
    EXPECT_NE(f, nullptr) << Name;
    return f;
  }

  // A conversion through the host's list: the text (UTF-8 when it came as UTF-16) or the error.
  struct TResult {
    bool Ok;
    bool Unicode;
    std::string Text;
    std::string Error;
  };
  TResult ConvertFile(const std::string& Path, int UnicodeMode) {
    std::string error;
    TQVConverter* converter = nullptr;
    int32_t size = -1;
    bool unicode = false;
    TResultBlock block = List.ConvertFile(Path, UnicodeMode, "", error, converter, size, unicode);
    if (!block) return {false, false, "", error};
    std::string bytes(static_cast<const char*>(block.get()), static_cast<size_t>(size));
    return {true, unicode, unicode ? Utf16ToUtf8(RawToWideStr(bytes)) : bytes, error};
  }

  // A memory conversion through the exports: whether a block came, and its bytes.
  std::pair<bool, std::string> ConvertMemory(const std::string& Data, bool Unicode) {
    int32_t size = static_cast<int32_t>(Data.size());
    void* block = Unicode ? Web->Exports.ConvertMemoryToUnicode(Data.data(), 0, &size)
                          : Web->Exports.ConvertMemoryToPureText(Data.data(), 0, &size);
    if (block == nullptr) {
      EXPECT_FALSE(Web->GetErrorText().empty());
      return {false, ""};
    }
    std::string text(static_cast<const char*>(block), static_cast<size_t>(size));
    EXPECT_EQ(static_cast<const char*>(block)[size], '\0');
    EXPECT_EQ(static_cast<const char*>(block)[size + 1], '\0');
    ConvFreeResultBlock(block);
    return {true, text};
  }

  TQVConverters List;
  TQVConverter* Web = nullptr;
  TTestFolder Folder;
};

TEST_F(HTMLImpTest, AnswersTheConverterContract) {
  int32_t count = 0;
  EXPECT_EQ(Web->ListSupportedTypes(count), "htm;html;shtml;asp");
  EXPECT_EQ(count, 4);
  const char* types[] = {"htm", "html", "shtml", "asp", "-"};
  for (int32_t i = 0; i < 5; ++i) EXPECT_EQ(Web->GetType(i), types[i]) << i;
  EXPECT_EQ(Web->GetType(-1), "-");
  EXPECT_EQ(Web->GetTypeDescription(3), "Hyper Text Markup Language Document (HTML)");
  EXPECT_EQ(Web->GetTypeDescription(4), "-");
  for (const char* ext : {"htm", "HTML", "Shtml", "asp"}) EXPECT_TRUE(Web->IsFileTypeSupported(ext)) << ext;
  for (const char* ext : {"htmlx", "ht", "", "txt"}) EXPECT_FALSE(Web->IsFileTypeSupported(ext)) << ext;
  EXPECT_EQ(Web->Flags, 31);
  EXPECT_EQ(Web->GetDllInfo(), "Quorvane Library v.021010");
  EXPECT_EQ(Web->Exports.GetDllVersion(), 5378562);
  EXPECT_FALSE(Web->HasMemDataTest());
  ASSERT_NE(Web->Exports.SetCallback, nullptr);
  for (const char* name : {"HTMLToTextWithLinks2", "HTMLToTextWithLinks", "HTMLToText2", "HTMLToText"}) {
    EXPECT_NE(dlsym(Web->Handle, name), nullptr) << name;
  }
  // The tables can be freed and built again; a conversion builds them when needed.
  EXPECT_TRUE(Web->Exports.FreeUpConverterTypes());
  EXPECT_EQ(ConvertMemory("<p>a&amp;b</p>", false).second, "a&b\r\n");
  EXPECT_TRUE(Web->Exports.InitializeConverterTypes());
}

TEST_F(HTMLImpTest, ConvertsFilesThroughTheHost) {
  const std::string korean = Folder.Write("korean.html", ReadFixture("bom_utf16be.html"));
  TResult result = ConvertFile(korean, kUnicodeModeNative);
  ASSERT_TRUE(result.Ok) << result.Error;
  EXPECT_TRUE(result.Unicode);
  EXPECT_NE(result.Text.find("가각갂갃간갅"), std::string::npos);

  const std::string russian = Folder.Write("russian.htm", ReadFixture("big-preamble.html"));
  result = ConvertFile(russian, kUnicodeModeAnsi);
  ASSERT_TRUE(result.Ok) << result.Error;
  EXPECT_FALSE(result.Unicode);
  EXPECT_NE(Utf16ToUtf8(CharsetToWide(result.Text, qvnls::kCharsetWin1251)).find("Континент-Недвижимость"),
            std::string::npos);

  // No library claims ".txt": the content test finds the page.
  const std::string text = Folder.Write("notes.txt", "<html><body>Hidden <b>ge</b>m</body></html>\n");
  result = ConvertFile(text, kUnicodeModeUnicode);
  ASSERT_TRUE(result.Ok) << result.Error;
  EXPECT_EQ(result.Text, "Hidden gem\r\n");

  result = ConvertFile(Folder.Path + "/missing.html", kUnicodeModeAnsi);
  EXPECT_FALSE(result.Ok);
  EXPECT_NE(result.Error.find("missing.html"), std::string::npos) << result.Error;
}

TEST_F(HTMLImpTest, ContentTestWantsTextHoldingTheHtmlTag) {
  struct Case {
    const char* Name;
    std::string Content;
    bool Html;
  };
  const Case cases[] = {
      {"lower.txt", "Some text\n<html><p>x</p></html>\n", true},
      {"late.dat", std::string(70000, 'a') + "\n<HtMl>", true},
      {"plain.txt", "<p>no html element</p>\n", false},
      {"binary.bin", std::string("<HTML>\0\0\x01\x02", 10), false},
      {"empty.htm", "", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Web->IsFileSupported(Folder.Write(c.Name, c.Content)), c.Html) << c.Name;
  }
  EXPECT_FALSE(Web->IsFileSupported(Folder.Path + "/absent.htm"));
  EXPECT_NE(Web->GetErrorText().find("absent.htm"), std::string::npos) << Web->GetErrorText();
  // A test that succeeds clears the text of the one before.
  EXPECT_TRUE(Web->IsFileSupported(Folder.Write("again.txt", "<html>")));
  EXPECT_EQ(Web->GetErrorText(), "");
}

TEST_F(HTMLImpTest, MemoryBlocksConvertWithSizeInAndOut) {
  const std::string page = "<html><body><p>Caf&eacute; <b>au</b> lait</p></body></html>";
  auto [ok, text] = ConvertMemory(page, false);
  ASSERT_TRUE(ok);
  EXPECT_EQ(text, "Caf\xE9 au lait\r\n");
  std::tie(ok, text) = ConvertMemory(page, true);
  ASSERT_TRUE(ok);
  EXPECT_EQ(Utf16ToUtf8(RawToWideStr(text)), "Café au lait\r\n");

  // An empty page is an empty text, not a failure.
  std::tie(ok, text) = ConvertMemory("", true);
  EXPECT_TRUE(ok);
  EXPECT_EQ(text, "");
  const std::string empty = Folder.Write("empty.html", "");
  int32_t size = -1;
  void* block = Web->Exports.ConvertToPureText(empty.c_str(), &size);
  ASSERT_NE(block, nullptr) << Web->GetErrorText();
  EXPECT_EQ(size, 0);
  ConvFreeResultBlock(block);
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
  const std::string path = Folder.Write("page.html", "<p>one</p><p>two</p>");
  int32_t size = -1;
  Web->Exports.SetCallback(CountingCallback, nullptr);
  void* block = Web->Exports.ConvertToUnicode(path.c_str(), &size);
  ASSERT_NE(block, nullptr);
  ConvFreeResultBlock(block);
  EXPECT_EQ(g_polls, 1);
  EXPECT_EQ(g_kind, 0);

  Web->Exports.SetCallback(CancellingCallback, nullptr);
  size = -1;
  EXPECT_EQ(Web->Exports.ConvertToPureText(path.c_str(), &size), nullptr);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(Web->GetErrorText(), "User canceled");

  // Without a callback nothing is asked and nothing can stop the conversion.
  Web->Exports.SetCallback(nullptr, nullptr);
  block = Web->Exports.ConvertToPureText(path.c_str(), &size);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(std::string(static_cast<const char*>(block), size), "one\r\n\r\ntwo\r\n");
  ConvFreeResultBlock(block);
}

TEST_F(HTMLImpTest, HTMLToTextExports) {
  const std::string page = "<p>Read <a href=\"doc.html\">the doc</a>.</p>";
  TTestLinks links;
  int32_t size = static_cast<int32_t>(page.size());
  void* block = Export<THTMLToTextWithLinks>("HTMLToTextWithLinks")(page.data(), &links, 0, 1, &size);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(Utf16ToUtf8(RawToWideStr(std::string(static_cast<const char*>(block), size))),
            "Read the doc.\r\n");
  ConvFreeResultBlock(block);
  ASSERT_EQ(links.List.size(), 1u);
  EXPECT_EQ(links.List[0].URL, u"doc.html");
  EXPECT_EQ(links.List[0].Start, 10);
  EXPECT_EQ(links.List[0].Length, 7);

  size = static_cast<int32_t>(page.size());
  block = Export<THTMLToText>("HTMLToText")(page.data(), qvnls::kCharsetWin1252, 0, &size);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(std::string(static_cast<const char*>(block), size), "Read the doc.\r\n");
  ConvFreeResultBlock(block);

  TCountingProgress stop(1);
  size = static_cast<int32_t>(page.size());
  EXPECT_EQ(Export<THTMLToText2>("HTMLToText2")(page.data(), &stop, 0, 1, &size), nullptr);
  EXPECT_EQ(size, 0);

  // Bad arguments answer null with Size 0; nothing is thrown across the export.
  size = -5;
  EXPECT_EQ(Export<THTMLToText>("HTMLToText")(page.data(), 0, 1, &size), nullptr);
  EXPECT_EQ(size, 0);
  size = 10;
  EXPECT_EQ(Export<THTMLToTextWithLinks2>("HTMLToTextWithLinks2")(nullptr, nullptr, nullptr, 0, 0, &size),
            nullptr);
  EXPECT_EQ(size, 0);
}

// Damaged pages: each fixture cut short and with a few bytes changed, and a few hostile pages built
// here, go through every conversion form. Only a clean end is checked: no crash, no hang, no leak.
TEST_F(HTMLImpTest, DamagedPagesEndCleanly) {
  std::vector<std::string> pages = {
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
  std::mt19937 random(4242);
  for (const char* name : kFixtures) {
    const std::string good = ReadFixture(name);
    for (int k = 1; k < 8; ++k) pages.push_back(good.substr(0, good.size() * k / 8));
    for (int round = 0; round < 6; ++round) {
      std::string bad = good;
      for (int flips = 0; flips < 4; ++flips) bad[random() % bad.size()] = static_cast<char>(random());
      pages.push_back(bad);
    }
  }
  const auto htmlToText = Export<THTMLToText>("HTMLToText");
  for (const std::string& page : pages) {
    for (bool unicode : {false, true}) {
      ConvertMemory(page, unicode);
      int32_t size = static_cast<int32_t>(page.size());
      if (void* block = htmlToText(page.data(), 0, unicode, &size)) ConvFreeResultBlock(block);
    }
  }
  const std::string path = Folder.Write("bad.html", pages.back());
  EXPECT_TRUE(ConvertFile(path, kUnicodeModeNative).Ok);
}

}  // namespace
