// The PostScript converter through the converter host: it runs the conversion server beside it, hands on
// the text of the pages kept and the server's warning of the pages left out, and fails with the server's
// error text.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "search/QVConvIntf.h"
#include "tests/plugins/TestLibraries.h"

namespace {

// Three pages: prose, two lines of prose in a Type 3 font whose glyphs are named g33, g34, ... and
// numbered from 33 in order of first use, as some PDF writers make them (the interpreter writes the codes,
// which are no text), and a URL.
constexpr const char* kThreePages = R"(%!PS
/NumberedGlyphs 10 dict begin
  /FontType 3 def /FontMatrix [0.001 0 0 0.001 0 0] def /FontBBox [0 0 500 700] def
  /Encoding 256 array def 0 1 255 { Encoding exch /.notdef put } for
  33 1 120 { Encoding exch dup 3 string cvs (g) exch 2 copy length exch length add string dup 0 4 index
    putinterval dup 3 index length 4 -1 roll putinterval exch pop cvn put } for
  /BuildGlyph { pop pop 500 0 0 0 500 700 setcachedevice 0 0 moveto 500 0 lineto 250 700 lineto
    closepath fill } def
  /BuildChar { 1 index /Encoding get exch get 1 index /BuildGlyph get exec } bind def
currentdict end definefont pop
/Helvetica findfont 12 scalefont setfont
40 740 moveto (Quarterly figures of the northern depots) show showpage
/NumberedGlyphs findfont 12 scalefont setfont
40 740 moveto
<21222324252026272524202829202a2b24202927262a2b202c2b282324202a2b242025272d2a2b202b24232e20252a24222e2f202a2b26272d302b202a2b24202c28292a2426>
show 40 724 moveto
<3127292a2b253220332b28252026243427262a20352736242625202a2b242025243527292e20372d22262a24262022292e202a2b2420272d2a2327273820392726202a2b24202624252a>
show
showpage
/Courier findfont 10 scalefont setfont
40 740 moveto (https://www.example.org/depots/north?year=2024&q=figures#summary) show showpage
)";

class PostScriptConverter : public ::testing::Test {
 protected:
  void SetUp() override {
    void* Gs = ::dlopen("libgs.so.10", RTLD_NOW | RTLD_LOCAL);
    if (Gs == nullptr) GTEST_SKIP() << "Ghostscript's library is not installed";
    ::dlclose(Gs);
    ASSERT_EQ(Converter_.Load(SCRYLINE_IMPPS), kConverterLoaded) << Converter_.LoadErrorText;
  }
  // Converts PostScript text; Error receives the error text.
  std::string Convert(const std::string& Ps, bool Unicode, std::string& Error) {
    const std::string File = Folder_.Write("doc.ps", Ps);
    int32_t Size = 0;
    TResultBlock Block = Converter_.ConvertFile(File, Unicode, nullptr, Error, Size);
    return Block ? std::string(static_cast<const char*>(Block.get()), static_cast<size_t>(Size)) : "(failed)";
  }
  TTestFolder Folder_;
  TQVConverter Converter_;
};

TEST_F(PostScriptConverter, KeepsTheReadablePagesAndWarnsOfTheOthers) {
  const std::string Warning =
      "Page 2 left out: its converted text is unreadable (the document's fonts do not say which characters "
      "they show)";
  std::string Error;
  const std::string Text = Convert(kThreePages, false, Error);
  EXPECT_EQ(Error, "");
  EXPECT_NE(Text.find("Quarterly figures of the northern depots\r\n"), std::string::npos) << Text;
  EXPECT_NE(Text.find("https://www.example.org/depots/north?year=2024&q=figures#summary"), std::string::npos)
      << Text;
  EXPECT_EQ(Text.find("*+$"), std::string::npos) << Text;
  EXPECT_EQ(Converter_.Warning, Warning);

  // UTF-16 on request: the same text, widened.
  const std::string Wide = Convert(kThreePages, true, Error);
  std::string Narrow;
  for (size_t I = 0; I + 1 < Wide.size(); I += 2) Narrow += Wide[I + 1] == '\0' ? Wide[I] : '?';
  EXPECT_EQ(Narrow, Text);
  EXPECT_EQ(Converter_.Warning, Warning);

  // A document without unreadable pages has no warning.
  Convert("%!PS\n/Helvetica findfont 12 scalefont setfont 40 740 moveto (plain) show showpage\n", false,
          Error);
  EXPECT_EQ(Converter_.Warning, "");
}

TEST_F(PostScriptConverter, TheServersErrorIsTheFailure) {
  std::string Error;
  EXPECT_EQ(Convert("%!PS\n72 700 moveto no_such_operator showpage\n", false, Error), "(failed)");
  EXPECT_EQ(Error, "Error: /undefined in no_such_operator");
  EXPECT_EQ(Converter_.Warning, "");
}

}  // namespace
