// Presentation streams built record by record, read through a compound file on disk.
#include "plugins/impshow2/PptTextScanner.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/platform/cfb/CfbWriter.h"
#include "tests/plugins/TestLibraries.h"
#include "tests/plugins/impcalc2/OfficeTestSupport.h"

namespace {

std::string Header(uint16_t VersionInstance, uint16_t Type, uint32_t Length) {
  std::string h;
  for (uint32_t v : {uint32_t{VersionInstance}, uint32_t{Type}}) h += {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
  for (int i = 0; i < 4; ++i) h += static_cast<char>((Length >> (8 * i)) & 0xFF);
  return h;
}
// A container header (its body is the records that follow).
std::string Container(uint16_t Type) { return Header(0x000F, Type, 0); }
std::string Atom(uint16_t Type, const std::string& Body) {
  return Header(0x0000, Type, static_cast<uint32_t>(Body.size())) + Body;
}
std::string Chars(const std::u16string& Text) {
  std::string b;
  for (char16_t c : Text) b += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  return Atom(4000, b);
}
std::string Bytes(const std::string& Text) { return Atom(4008, Text); }
// A slide with one text box holding Text.
std::string Slide(const std::u16string& Text) { return Container(1006) + Container(0xF00D) + Chars(Text); }

class PptTextScannerTest : public TWesternCodePageTest {
 protected:
  std::string Path(const std::string& Stream) {
    return folder_.Write("p.ppt", BuildCompoundFile({{u"PowerPoint Document", Stream}}).Bytes);
  }
  std::u16string Wide(const std::string& Stream) {
    std::string bytes;
    EXPECT_TRUE(ConvertPresentationFile(Path(Stream), true, bytes));
    return FromUtf16Bytes(bytes);
  }
  std::string Ansi(const std::string& Stream) {
    std::string text;
    EXPECT_TRUE(ConvertPresentationFile(Path(Stream), false, text));
    return text;
  }

  TTestFolder folder_;
};

const std::u16string kDashes = u"------------------------------\r\n";

TEST_F(PptTextScannerTest, SlidesAreSeparatedByDashLines) {
  const std::string stream = Slide(u"one") + Slide(u"two") + Slide(u"three");
  EXPECT_EQ(Wide(stream), u"one\r\n" + kDashes + u"two\r\n" + kDashes + u"three\r\n");
  EXPECT_EQ(Ansi(stream), "one\r\n------------------------------\r\ntwo\r\n------------------------------\r\nthree\r\n");
}

TEST_F(PptTextScannerTest, WhichContainersHoldText) {
  struct TCase {
    const char* name;
    std::string stream;
    std::u16string text;
  };
  const TCase cases[] = {
      {"slide list", Container(4080) + Chars(u"listed") + Bytes("too"), u"listed\r\ntoo\r\n"},
      {"text box", Container(1006) + Container(0xF00D) + Chars(u"boxed"), u"boxed\r\n"},
      {"text box after client data", Container(1006) + Container(0xF011) + Container(0xF00D) + Chars(u"hidden"), u""},
      {"text box after another container", Container(0xF011) + Container(0x0F00) + Container(0xF00D) + Chars(u"shown"),
       u"shown\r\n"},
      {"atom outside any text container", Container(1006) + Chars(u"outside") + Container(1000) + Bytes("notes"), u""},
      {"other atoms in scope", Container(4080) + Atom(4001, "xxxx") + Atom(4026, std::string("c\0s\0", 4)),
       u"cs\r\n"},
      {"type bits above 12 are ignored", Container(0x3000 | 4080) + Header(0, 0x1000 | 4000, 2) + "q" + '\0',
       u"q\r\n"},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(Wide(c.stream), c.text) << c.name;
  }
}

TEST_F(PptTextScannerTest, LineBreaksInsideAtoms) {
  const std::string stream = Container(4080) + Chars(u"Title\rLine") + Chars(u"a\r\nb\vc\r") +
                             Chars(std::u16string(u"cut\0here", 8)) + Bytes("x\ry");
  EXPECT_EQ(Wide(stream), u"Title\r\nLine\r\na\r\nb\r\nc\r\n\r\ncut\r\nx\r\ny\r\n");
  EXPECT_EQ(Ansi(stream), "Title\r\nLine\r\na\r\nb\r\nc\r\n\r\ncut\r\nx\r\ny\r\n");
}

TEST_F(PptTextScannerTest, CharacterSetsOfTheAtoms) {
  // An 8-bit atom holds the first 256 code points, whatever the Windows code page; the 8-bit output is in
  // that page, with "?" for what it lacks.
  const std::string stream = Container(4080) + Bytes("J\xe4gar \xe9t\xe9") + Chars(u"\u00e9\u4e2d\u20ac");
  EXPECT_EQ(Wide(stream), u"J\u00e4gar \u00e9t\u00e9\r\n\u00e9\u4e2d\u20ac\r\n");
  EXPECT_EQ(Ansi(stream), "J\xe4gar \xe9t\xe9\r\n\xe9?\x80\r\n");
  ASSERT_TRUE(qvnls::SetSystemCodePages(1251, 866));
  EXPECT_EQ(Wide(stream), u"J\u00e4gar \u00e9t\u00e9\r\n\u00e9\u4e2d\u20ac\r\n");
  EXPECT_EQ(Ansi(stream), "J?gar ?t?\r\n??\x88\r\n");
}

// Lengths are unsigned: a huge one skips forward to the end instead of jumping back onto its own header,
// and a text atom longer than the stream ends the scan before any buffer of that size is made.
TEST_F(PptTextScannerTest, HugeLengthsEndTheScan) {
  EXPECT_EQ(Wide(Container(4080) + Chars(u"before") + Header(0, 4001, 0xFFFFFFF8u) + Chars(u"after")), u"before\r\n");
  EXPECT_EQ(Wide(Container(4080) + Chars(u"before") + Header(0, 4000, 0xFFFFFFF0u) + std::string(64, 'a')),
            u"before\r\n");
  // A header cut short at the end is the end of the document too.
  EXPECT_EQ(Wide(Container(4080) + Chars(u"whole") + std::string("\x00\x00\xa0", 3)), u"whole\r\n");
}

TEST_F(PptTextScannerTest, Failures) {
  std::string text;
  try {
    ConvertPresentationFile(folder_.Write("o.ppt", BuildCompoundFile({{u"Other", "x"}}).Bytes), true, text);
    ADD_FAILURE() << "no failure";
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "The stream with specified name does not exist");
  }
  EXPECT_ANY_THROW(IsPresentationFile(folder_.Write("o2.ppt", BuildCompoundFile({{u"Other", "x"}}).Bytes)));
  EXPECT_TRUE(IsPresentationFile(Path("")));
  EXPECT_EQ(Wide(""), u"");
}

}  // namespace
