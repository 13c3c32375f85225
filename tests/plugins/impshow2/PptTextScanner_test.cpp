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
  std::string H;
  for (uint32_t V : {uint32_t{VersionInstance}, uint32_t{Type}})
    H += {static_cast<char>(V & 0xFF), static_cast<char>(V >> 8)};
  for (int I = 0; I < 4; ++I) H += static_cast<char>((Length >> (8 * I)) & 0xFF);
  return H;
}
// A container header (its body is the records that follow).
std::string Container(uint16_t Type) { return Header(0x000F, Type, 0); }
std::string Atom(uint16_t Type, const std::string& Body) {
  return Header(0x0000, Type, static_cast<uint32_t>(Body.size())) + Body;
}
std::string Chars(const std::u16string& Text) {
  std::string B;
  for (char16_t C : Text) B += {static_cast<char>(C & 0xFF), static_cast<char>(C >> 8)};
  return Atom(4000, B);
}
std::string Bytes(const std::string& Text) { return Atom(4008, Text); }
// A slide with one text box holding Text.
std::string Slide(const std::u16string& Text) { return Container(1006) + Container(0xF00D) + Chars(Text); }

class PptTextScannerTest : public TWesternCodePageTest {
 protected:
  std::string Path(const std::string& Stream) {
    return Folder_.Write("p.ppt", BuildCompoundFile({{u"PowerPoint Document", Stream}}).Bytes);
  }
  std::u16string Wide(const std::string& Stream) {
    std::string Bytes;
    EXPECT_TRUE(ConvertPresentationFile(Path(Stream), true, Bytes));
    return FromUtf16Bytes(Bytes);
  }
  std::string Ansi(const std::string& Stream) {
    std::string Text;
    EXPECT_TRUE(ConvertPresentationFile(Path(Stream), false, Text));
    return Text;
  }

  TTestFolder Folder_;
};

const std::u16string kDashes = u"------------------------------\r\n";

TEST_F(PptTextScannerTest, SlidesAreSeparatedByDashLines) {
  const std::string Stream = Slide(u"one") + Slide(u"two") + Slide(u"three");
  EXPECT_EQ(Wide(Stream), u"one\r\n" + kDashes + u"two\r\n" + kDashes + u"three\r\n");
  EXPECT_EQ(Ansi(Stream),
            "one\r\n------------------------------\r\ntwo\r\n------------------------------\r\nthree\r\n");
}

TEST_F(PptTextScannerTest, WhichContainersHoldText) {
  struct TCase {
    const char* Name;
    std::string Stream;
    std::u16string Text;
  };
  const TCase Cases[] = {
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
  for (const TCase& C : Cases) {
    EXPECT_EQ(Wide(C.Stream), C.Text) << C.Name;
  }
}

TEST_F(PptTextScannerTest, LineBreaksInsideAtoms) {
  const std::string Stream = Container(4080) + Chars(u"Title\rLine") + Chars(u"a\r\nb\vc\r") +
                             Chars(std::u16string(u"cut\0here", 8)) + Bytes("x\ry");
  EXPECT_EQ(Wide(Stream), u"Title\r\nLine\r\na\r\nb\r\nc\r\n\r\ncut\r\nx\r\ny\r\n");
  EXPECT_EQ(Ansi(Stream), "Title\r\nLine\r\na\r\nb\r\nc\r\n\r\ncut\r\nx\r\ny\r\n");
}

TEST_F(PptTextScannerTest, CharacterSetsOfTheAtoms) {
  // An 8-bit atom holds the first 256 code points, whatever the Windows code page; the 8-bit output is in
  // that page, with "?" for what it lacks.
  const std::string Stream = Container(4080) + Bytes("J\xe4gar \xe9t\xe9") + Chars(u"\u00e9\u4e2d\u20ac");
  EXPECT_EQ(Wide(Stream), u"J\u00e4gar \u00e9t\u00e9\r\n\u00e9\u4e2d\u20ac\r\n");
  EXPECT_EQ(Ansi(Stream), "J\xe4gar \xe9t\xe9\r\n\xe9?\x80\r\n");
  ASSERT_TRUE(qvnls::SetSystemCodePages(1251, 866));
  EXPECT_EQ(Wide(Stream), u"J\u00e4gar \u00e9t\u00e9\r\n\u00e9\u4e2d\u20ac\r\n");
  EXPECT_EQ(Ansi(Stream), "J?gar ?t?\r\n??\x88\r\n");
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
  std::string S;
  for (int I = 0; I < 4; ++I) S += static_cast<char>((V >> (8 * I)) & 0xFF);
  return S;
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
  std::string Body = U32(First | static_cast<uint32_t>(Offsets.size()) << 20);
  for (uint32_t O : Offsets) Body += U32(O);
  return Atom(6002, Body);
}
std::string CurrentUser(uint32_t Edit) {
  return Atom(4086, U32(20) + U32(0xE391C05F) + U32(Edit) + std::string(8, '\0'));
}

// A presentation saved twice: the second save wrote a new document (with a new slide list) and kept the
// slide of the first. Only the current edition's records are read; a damaged history reads them all.
TEST_F(PptTextScannerTest, SupersededRecordsOfEarlierSavesAreLeftOut) {
  std::string Stream = Holding(1000, Container(4080) + Bytes("old list"));
  const auto Slide = static_cast<uint32_t>(Stream.size());
  Stream += Holding(1006, Container(0xF00D) + Chars(u"kept slide"));
  const auto Directory1 = static_cast<uint32_t>(Stream.size());
  Stream += PersistDirectory(1, {0, Slide});
  const auto Edit1 = static_cast<uint32_t>(Stream.size());
  std::string Edit1Record = UserEdit(0, Directory1);
  Stream += Edit1Record;
  const auto Document2 = static_cast<uint32_t>(Stream.size());
  Stream += Holding(1000, Container(4080) + Bytes("new list"));
  const auto Directory2 = static_cast<uint32_t>(Stream.size());
  Stream += PersistDirectory(1, {Document2});
  const auto Edit2 = static_cast<uint32_t>(Stream.size());
  Stream += UserEdit(Edit1, Directory2);

  auto Text = [this](const std::string& Document, const std::string& User) {
    std::string Bytes;
    const std::string Path = Folder_.Write(
        "h.ppt", BuildCompoundFile({{u"PowerPoint Document", Document}, {u"Current User", User}}).Bytes);
    EXPECT_TRUE(ConvertPresentationFile(Path, true, Bytes));
    return FromUtf16Bytes(Bytes);
  };
  EXPECT_EQ(Text(Stream, CurrentUser(Edit2)), u"kept slide\r\nnew list\r\n");
  EXPECT_EQ(Wide(Stream), u"old list\r\nkept slide\r\nnew list\r\n");  // no "Current User" stream

  const std::u16string All = u"old list\r\nkept slide\r\nnew list\r\n";
  std::string Looped = Stream;
  Looped.replace(Edit1, Edit1Record.size(), UserEdit(Edit2, Directory1));
  std::string Overlong = Stream;
  Overlong[Directory2 + 8 + 3] = '\x7F';  // a run of 2032 offsets in a directory of one
  const struct {
    const char* Name;
    std::string Document, User;
  } Damaged[] = {
      {"edit beyond the stream", Stream, CurrentUser(static_cast<uint32_t>(Stream.size()))},
      {"edit that is not one", Stream, CurrentUser(Directory2)},
      {"edits in a loop", Looped, CurrentUser(Edit2)},
      {"directory run too long", Overlong, CurrentUser(Edit2)},
      {"document not in the directories", Stream.substr(0, Edit2) + UserEdit(Edit1, Directory2, 7),
       CurrentUser(Edit2)},
      {"current user cut short", Stream, CurrentUser(Edit2).substr(0, 14)},
  };
  for (const auto& C : Damaged) EXPECT_EQ(Text(C.Document, C.User), All) << C.Name;
}

TEST_F(PptTextScannerTest, Failures) {
  std::string Text;
  try {
    ConvertPresentationFile(Folder_.Write("o.ppt", BuildCompoundFile({{u"Other", "x"}}).Bytes), true, Text);
    ADD_FAILURE() << "no failure";
  } catch (const std::exception& E) {
    EXPECT_STREQ(E.what(), "The stream with specified name does not exist");
  }
  EXPECT_ANY_THROW(IsPresentationFile(Folder_.Write("o2.ppt", BuildCompoundFile({{u"Other", "x"}}).Bytes)));
  EXPECT_TRUE(IsPresentationFile(Path("")));
  EXPECT_EQ(Wide(""), u"");
}

}  // namespace
