// The Word reader on hand-built documents: pieces of both widths, the character rules, the table-stream
// names, Word 6/95 in both forms, cancel, and hostile FIBs and piece tables that must fail cleanly.
#include "plugins/impwrite/MSWord2Txt.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/VStream.h"
#include "platform/cfb/CompoundFile.h"
#include "platform/qvnls/Qvnls.h"
#include "plugins/common/VComUtil.h"
#include "plugins/frame/ConvCmmn.h"
#include "tests/plugins/TestLibraries.h"
#include "tests/plugins/impcalc2/OfficeTestSupport.h"
#include "tests/plugins/impwrite/WordBuilder.h"

namespace {

struct TWordResult {
  std::string Bytes;
  bool IsUnicode = false;
  bool Finished = false;
};

TWordResult ReadCompoundBytes(const std::string& File, IConvProgress* Progress = nullptr) {
  std::unique_ptr<TCfbStorage> storage;
  EXPECT_EQ(CfbOpenStorage(MakeCfbMemorySource(File), STGM_READ, storage), S_OK);
  TVMemStream out;
  TWordResult r;
  r.Finished = ReadWordStorage(*storage, out, r.IsUnicode, Progress);
  r.Bytes.assign(reinterpret_cast<const char*>(out.GetMemory()), static_cast<std::size_t>(out.GetSize()));
  return r;
}

std::u16string ReadWide(const std::string& File) {
  TWordResult r = ReadCompoundBytes(File);
  EXPECT_TRUE(r.IsUnicode);
  return FromUtf16Bytes(r.Bytes);
}

// The message the reader raises for File.
std::string ReadError(const std::string& File) {
  try {
    ReadCompoundBytes(File);
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(no error)";
}

class TCountingProgress : public IConvProgress {
 public:
  explicit TCountingProgress(int StopAt) : stop_at_(StopAt) {}
  bool Progress(int32_t Current, int32_t Total) override {
    EXPECT_EQ(Current, -1);
    EXPECT_EQ(Total, -1);
    return ++polls != stop_at_;
  }
  int polls = 0;

 private:
  int stop_at_;
};

TEST(WordReader, Word97PiecesOfBothWidthsBecomeOneUtf16Text) {
  // An 8-bit piece in Windows-1252 (0x93/0x94 are curly quotes, 0x80 the euro), then a UTF-16 piece; a
  // property block stands in front of the piece table.
  const std::string file = Word97Document(
      {{"Say \x93hi\x94 \x80\x81\r", false}, {Utf16Bytes(u"w\u00f6rld\x0Bnext\x1Fline\r\u4e2d"), true}},
      kFibWhichTable, u"1Table", "props");
  EXPECT_EQ(ReadWide(file), u"Say \u201chi\u201d \u20ac\u0081\r\nw\u00f6rld\r\nnextline\r\n\u4e2d");
}

TEST(WordReader, TableStreamFallsBackToTheOtherName) {
  const struct {
    uint16_t flags;
    const char16_t* stored;
  } cases[] = {
      {kFibWhichTable, u"0Table"}, {0, u"1Table"}, {0, u"0table"},  // names are compared without case
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.stored, c.stored + 6));
    EXPECT_EQ(ReadWide(Word97Document({{"Text\r", false}}, c.flags, c.stored)), u"Text\r\n");
  }
}

TEST(WordReader, EncryptedDocumentFails) {
  EXPECT_EQ(ReadError(Word97Document({{"Secret", false}}, kFibWhichTable | kFibEncrypted)),
            "Document encrypted");
}

TEST(WordReader, Word95SimpleTextIsEightBit) {
  std::string doc = WordFib(0);
  const std::string text = "Caf\xe9 line\x0Bnext\x1Fhy\rend";
  PutLE(doc, kFibTextStart, static_cast<uint32_t>(doc.size()), 4);
  doc += text + "trailing bytes outside the text";
  PutLE(doc, kFibTextEnd, static_cast<uint32_t>(512 + text.size()), 4);
  TWordResult r = ReadCompoundBytes(BuildCompoundFile({{u"WordDocument", doc}}).Bytes);
  EXPECT_FALSE(r.IsUnicode);
  EXPECT_TRUE(r.Finished);
  EXPECT_EQ(r.Bytes, "Caf\xe9 line\r\nnexthy\r\nend");
}

TEST(WordReader, Word95ComplexPiecesComeInTableOrder) {
  // Two pieces stored back to front; the piece table lies in "WordDocument" itself.
  std::string doc = WordFib(kFibComplex);
  const auto second_at = static_cast<uint32_t>(doc.size());
  doc += "world\r";
  const auto first_at = static_cast<uint32_t>(doc.size());
  doc += "hello ";
  const std::string table = WordPieceTable({{6, first_at}, {6, second_at}}, "xx");
  PutLE(doc, kFibPieceTable95, static_cast<uint32_t>(doc.size()), 4);
  PutLE(doc, kFibPieceTable95 + 4, static_cast<uint32_t>(table.size()), 4);
  doc += table;
  TWordResult r = ReadCompoundBytes(BuildCompoundFile({{u"WordDocument", doc}}).Bytes);
  EXPECT_FALSE(r.IsUnicode);
  EXPECT_EQ(r.Bytes, "hello world\r\n");
}

TEST(WordReader, ProgressIsPolledPerPieceAndCanStop) {
  const std::string file = Word97Document({{"one ", false}, {"two ", false}, {"three", false}});
  TCountingProgress all(0);
  TWordResult r = ReadCompoundBytes(file, &all);
  EXPECT_TRUE(r.Finished);
  EXPECT_EQ(all.polls, 3);
  TCountingProgress stop(2);
  r = ReadCompoundBytes(file, &stop);
  EXPECT_FALSE(r.Finished);
  EXPECT_EQ(FromUtf16Bytes(r.Bytes), u"one ");
}

// A Word 97 document whose piece table (in "1Table") is Table, with Text behind the FIB.
std::string WithPieceTable(const std::string& Table, const std::string& Text = "some text",
                           uint32_t Position = 0, uint32_t Length = UINT32_MAX) {
  std::string doc = WordFib(kFibWhichTable) + Text;
  PutLE(doc, kFibPieceTable97, Position, 4);
  PutLE(doc, kFibPieceTable97 + 4, Length == UINT32_MAX ? static_cast<uint32_t>(Table.size()) : Length, 4);
  return BuildCompoundFile({{u"WordDocument", doc}, {u"1Table", Table}}).Bytes;
}

TEST(WordReader, HostilePieceTablesFailCleanly) {
  const uint32_t text8 = (512u * 2) | 0x40000000u;
  const std::string short_read = "OLE/COM error 00000001h";
  const struct {
    const char* what;
    std::string file;
    std::string error;
  } cases[] = {
      {"first position not 0",
       WithPieceTable("\x02" + LE(16, 4) + LE(1, 4) + LE(5, 4) + LE(0, 2) + LE(text8, 4) + LE(0, 2)),
       "Invalid document"},
      {"length not 4 + 12n", WithPieceTable("\x02" + LE(17, 4) + std::string(17, '\0')), "Invalid document"},
      {"length below 4", WithPieceTable("\x02" + LE(2, 4) + std::string(8, '\0')), "Invalid document"},
      {"no piece", WithPieceTable("\x02" + LE(4, 4) + LE(0, 4)), "Invalid document"},
      {"unknown block type", WithPieceTable("\x05" + LE(16, 4) + std::string(16, '\0')), "Invalid document"},
      {"only property blocks", WithPieceTable("\x01" + LE(2, 2) + "ab" + "\x01" + LE(0, 2)),
       "Invalid document"},
      {"positions go back", WithPieceTable(WordPieceTable({{5, text8}, {0xFFFFFFFFu, text8}})),
       "Invalid document"},
      {"piece larger than the stream", WithPieceTable(WordPieceTable({{100000, text8}})), "Invalid document"},
      {"pieces together larger than the stream",
       WithPieceTable(WordPieceTable(std::vector<TWordPieceEntry>(200, {500, text8}))), "Invalid document"},
      {"piece past the end of the stream", WithPieceTable(WordPieceTable({{9, 0x40000000u | (4000u * 2)}})),
       short_read},
      {"UTF-16 piece past the end", WithPieceTable(WordPieceTable({{9, 510}})), short_read},
      {"piece table position past the table", WithPieceTable(WordPieceTable({{9, text8}}), "some text", 5000),
       short_read},
      {"piece count larger than the table",
       WithPieceTable("\x02" + LE(4 + 12 * 0x1000000u, 4) + LE(0, 4) + LE(9, 4) + LE(9, 4), "some text", 0,
                      0x7FFFFFFF),
       short_read},
      {"FIB cut short", BuildCompoundFile({{u"WordDocument", std::string(100, '\0')}}).Bytes, short_read},
      {"no WordDocument stream", BuildCompoundFile({{u"1Table", "x"}}).Bytes,
       "The stream with specified name does not exist"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ReadError(c.file), c.error);
  }
}

TEST(WordReader, Word95CharsetComesFromTheRecordedLanguage) {
  const struct {
    uint16_t language, text_charset;
    uint8_t charset;
  } cases[] = {
      {0x0405, kFibCharsetWindows, qvnls::kCharsetWin1250},   // Czech
      {0x0415, kFibCharsetWindows, qvnls::kCharsetWin1250},   // Polish
      {0x0419, kFibCharsetWindows, qvnls::kCharsetWin1251},   // Russian
      {0x0409, kFibCharsetWindows, qvnls::kCharsetWin1252},   // English
      {0x0408, kFibCharsetWindows, qvnls::kCharsetWin1253},   // Greek
      {0x041F, kFibCharsetWindows, qvnls::kCharsetWin1254},   // Turkish
      {0x0426, kFibCharsetWindows, qvnls::kCharsetWin1257},   // Latvian
      {0x041A, kFibCharsetWindows, qvnls::kCharsetWin1250},   // Croatian
      {0x0C1A, kFibCharsetWindows, qvnls::kCharsetWin1251},   // Serbian in Cyrillic letters
      {0x0411, kFibCharsetWindows, qvnls::kCharsetShiftJis},  // Japanese
      {0x0804, kFibCharsetWindows, qvnls::kCharsetGbk},       // Chinese (PRC)
      {0x0404, kFibCharsetWindows, qvnls::kCharsetBig5},      // Chinese (Taiwan)
      {0x0000, kFibCharsetWindows, qvnls::kCharsetNone},      // no language
      {0x0400, kFibCharsetWindows, qvnls::kCharsetNone},      // "no proofing"
      {0x0800, kFibCharsetWindows, qvnls::kCharsetNone},      // neutral, system default
      {0x03FF, kFibCharsetWindows, qvnls::kCharsetNone},      // unknown language
      {0x0405, kFibCharsetMacintosh, qvnls::kCharsetNone},    // Macintosh character set
      {0x0405, 7, qvnls::kCharsetNone},                       // a value of no meaning
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.language << " " << c.text_charset);
    EXPECT_EQ(WordTextCharset(c.language, c.text_charset), c.charset);
  }

  // The reader hands the recorded charset on, and leaves the bytes as they are stored.
  std::unique_ptr<TCfbStorage> storage;
  ASSERT_EQ(CfbOpenStorage(MakeCfbMemorySource(Word95Document("p\370ed\r", 0x0405)), STGM_READ, storage),
            S_OK);
  TVMemStream out;
  bool unicode = true;
  uint8_t charset = 0;
  EXPECT_TRUE(ReadWordStorage(*storage, out, unicode, charset, nullptr));
  EXPECT_FALSE(unicode);
  EXPECT_EQ(charset, qvnls::kCharsetWin1250);
  EXPECT_EQ(
      std::string(reinterpret_cast<const char*>(out.GetMemory()), static_cast<std::size_t>(out.GetSize())),
      "p\370ed\r\n");
  // Word 97 text is UTF-16 whatever the language says.
  ASSERT_EQ(CfbOpenStorage(MakeCfbMemorySource(Word97Document({{"x", false}})), STGM_READ, storage), S_OK);
  EXPECT_TRUE(ReadWordStorage(*storage, out, unicode, charset, nullptr));
  EXPECT_TRUE(unicode);
  EXPECT_EQ(charset, qvnls::kCharsetUtf16LE);
}

TEST(WordReader, Word95TextRangeMustNotRunBackwards) {
  std::string doc = WordFib(0) + "text";
  PutLE(doc, kFibTextStart, 516, 4);
  PutLE(doc, kFibTextEnd, 512, 4);
  EXPECT_EQ(ReadError(BuildCompoundFile({{u"WordDocument", doc}}).Bytes), "Invalid document");
}

TEST(WordReader, CharacterRules) {
  const struct {
    char16_t in;
    bool dropped;
    char16_t mapped;
  } cases[] = {{0x1F, true, 0x1F},
               {0x0B, false, 0x0D},
               {0x0D, false, 0x0D},
               {0x07, false, 0x07},
               {0x011F, false, 0x011F}};
  for (const auto& c : cases) {
    EXPECT_EQ(IsDroppedWordChar(c.in), c.dropped) << static_cast<int>(c.in);
    EXPECT_EQ(MapWordChar(c.in), c.mapped) << static_cast<int>(c.in);
  }
  // Above 255 no rule applies: U+010B and U+011F are written as they are.
  TVMemStream out;
  for (char16_t c : {char16_t{0x010B}, char16_t{0x011F}, char16_t{0x0D}}) WriteWordChar16(out, c);
  EXPECT_EQ(FromUtf16Bytes(out.GetMemory(), static_cast<std::size_t>(out.GetSize())), u"\u010b\u011f\r\n");
}

TEST(WordReader, ContentTestAndFileErrors) {
  TTestFolder folder;
  const std::string doc = folder.Write("a.doc", Word97Document({{"x", false}}));
  const std::string other = folder.Write("b.doc", BuildCompoundFile({{u"Workbook", "x"}}).Bytes);
  const std::string text = folder.Write("c.doc", "plain text, not a compound file");
  EXPECT_TRUE(IsWordDocument(doc));
  EXPECT_FALSE(IsWordDocument(other));
  EXPECT_FALSE(IsWordDocument(text));
  EXPECT_FALSE(IsWordDocument(folder.Path + "/missing.doc"));

  TVMemStream out;
  bool unicode = false;
  try {
    ReadWordDocument(text, out, unicode, nullptr);
    ADD_FAILURE() << "no error";
  } catch (const EComError& e) {
    EXPECT_STREQ(e.what(), "The file is not a storage object");
  }
}

}  // namespace
