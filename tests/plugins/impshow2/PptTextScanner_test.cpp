// Presentation streams built record by record, read through a compound file on disk.
#include "plugins/impshow2/PptTextScanner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/platform/cfb/CfbWriter.h"
#include "tests/plugins/TestLibraries.h"
#include "tests/plugins/impcalc2/OfficeTestSupport.h"

namespace {

std::string Header(uint16_t VersionInstance, uint16_t Type, uint32_t Length) {
  std::string h;
  for (uint32_t v : {uint32_t{VersionInstance}, uint32_t{Type}})
    h += {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
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
  EXPECT_EQ(Ansi(stream),
            "one\r\n------------------------------\r\ntwo\r\n------------------------------\r\nthree\r\n");
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
      {"text box after client data",
       Container(1006) + Container(0xF011) + Container(0xF00D) + Chars(u"hidden"), u""},
      {"text box after another container",
       Container(0xF011) + Container(0x0F00) + Container(0xF00D) + Chars(u"shown"), u"shown\r\n"},
      {"atom outside any text container",
       Container(1006) + Chars(u"outside") + Container(1000) + Bytes("notes"), u""},
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
  EXPECT_EQ(Wide(Container(4080) + Chars(u"before") + Header(0, 4001, 0xFFFFFFF8u) + Chars(u"after")),
            u"before\r\n");
  EXPECT_EQ(Wide(Container(4080) + Chars(u"before") + Header(0, 4000, 0xFFFFFFF0u) + std::string(64, 'a')),
            u"before\r\n");
  // A header cut short at the end is the end of the document too.
  EXPECT_EQ(Wide(Container(4080) + Chars(u"whole") + std::string("\x00\x00\xa0", 3)), u"whole\r\n");
}

std::string U32(uint32_t V) {
  std::string s;
  for (int i = 0; i < 4; ++i) s += static_cast<char>((V >> (8 * i)) & 0xFF);
  return s;
}
// A container whose length covers Body.
std::string Holding(uint16_t Type, const std::string& Body) {
  return Header(0x000F, Type, static_cast<uint32_t>(Body.size())) + Body;
}
// An edit: the previous edit's offset, its persist directory's offset and the document's identifier.
std::string UserEdit(uint32_t Previous, uint32_t Directory, uint32_t DocumentId = 1) {
  return Atom(4085,
              U32(0) + U32(0x03000000) + U32(Previous) + U32(Directory) + U32(DocumentId) + U32(9) + U32(1));
}
// A persist directory with one run of offsets from identifier First.
std::string PersistDirectory(uint32_t First, const std::vector<uint32_t>& Offsets) {
  std::string body = U32(First | static_cast<uint32_t>(Offsets.size()) << 20);
  for (uint32_t o : Offsets) body += U32(o);
  return Atom(6002, body);
}
std::string CurrentUser(uint32_t Edit) {
  return Atom(4086, U32(20) + U32(0xE391C05F) + U32(Edit) + std::string(8, '\0'));
}

// A presentation saved twice: the second save wrote a new document (with a new slide list) and kept the
// slide of the first. Only the current edition's records are read; a damaged history reads them all.
TEST_F(PptTextScannerTest, SupersededRecordsOfEarlierSavesAreLeftOut) {
  std::string stream = Holding(1000, Container(4080) + Bytes("old list"));
  const auto slide = static_cast<uint32_t>(stream.size());
  stream += Holding(1006, Container(0xF00D) + Chars(u"kept slide"));
  const auto directory1 = static_cast<uint32_t>(stream.size());
  stream += PersistDirectory(1, {0, slide});
  const auto edit1 = static_cast<uint32_t>(stream.size());
  std::string edit1_record = UserEdit(0, directory1);
  stream += edit1_record;
  const auto document2 = static_cast<uint32_t>(stream.size());
  stream += Holding(1000, Container(4080) + Bytes("new list"));
  const auto directory2 = static_cast<uint32_t>(stream.size());
  stream += PersistDirectory(1, {document2});
  const auto edit2 = static_cast<uint32_t>(stream.size());
  stream += UserEdit(edit1, directory2);

  auto text = [this](const std::string& Document, const std::string& User) {
    std::string bytes;
    const std::string path = folder_.Write(
        "h.ppt", BuildCompoundFile({{u"PowerPoint Document", Document}, {u"Current User", User}}).Bytes);
    EXPECT_TRUE(ConvertPresentationFile(path, true, bytes));
    return FromUtf16Bytes(bytes);
  };
  EXPECT_EQ(text(stream, CurrentUser(edit2)), u"kept slide\r\nnew list\r\n");
  EXPECT_EQ(Wide(stream), u"old list\r\nkept slide\r\nnew list\r\n");  // no "Current User" stream

  const std::u16string all = u"old list\r\nkept slide\r\nnew list\r\n";
  std::string looped = stream;
  looped.replace(edit1, edit1_record.size(), UserEdit(edit2, directory1));
  std::string overlong = stream;
  overlong[directory2 + 8 + 3] = '\x7F';  // a run of 2032 offsets in a directory of one
  const struct {
    const char* name;
    std::string document, user;
  } damaged[] = {
      {"edit beyond the stream", stream, CurrentUser(static_cast<uint32_t>(stream.size()))},
      {"edit that is not one", stream, CurrentUser(directory2)},
      {"edits in a loop", looped, CurrentUser(edit2)},
      {"directory run too long", overlong, CurrentUser(edit2)},
      {"document not in the directories", stream.substr(0, edit2) + UserEdit(edit1, directory2, 7),
       CurrentUser(edit2)},
      {"current user cut short", stream, CurrentUser(edit2).substr(0, 14)},
  };
  for (const auto& c : damaged) EXPECT_EQ(text(c.document, c.user), all) << c.name;
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
