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
  std::unique_ptr<TCfbStorage> Storage;
  EXPECT_EQ(CfbOpenStorage(MakeCfbMemorySource(File), STGM_READ, Storage), S_OK);
  TVMemStream Out;
  TWordResult R;
  R.Finished = ReadWordStorage(*Storage, Out, R.IsUnicode, Progress);
  R.Bytes.assign(reinterpret_cast<const char*>(Out.GetMemory()), static_cast<std::size_t>(Out.GetSize()));
  return R;
}

std::u16string ReadWide(const std::string& File) {
  TWordResult R = ReadCompoundBytes(File);
  EXPECT_TRUE(R.IsUnicode);
  return FromUtf16Bytes(R.Bytes);
}

// The message the reader raises for File.
std::string ReadError(const std::string& File) {
  try {
    ReadCompoundBytes(File);
  } catch (const std::exception& E) {
    return E.what();
  }
  return "(no error)";
}

class TCountingProgress : public IConvProgress {
 public:
  explicit TCountingProgress(int StopAt) : StopAt_(StopAt) {}
  bool Progress(int32_t Current, int32_t Total) override {
    EXPECT_EQ(Current, -1);
    EXPECT_EQ(Total, -1);
    return ++Polls != StopAt_;
  }
  int Polls = 0;

 private:
  int StopAt_;
};

TEST(WordReader, Word97PiecesOfBothWidthsBecomeOneUtf16Text) {
  // An 8-bit piece in Windows-1252 (0x93/0x94 are curly quotes, 0x80 the euro), then a UTF-16 piece; a
  // property block stands in front of the piece table.
  const std::string File = Word97Document(
      {{"Say \x93hi\x94 \x80\x81\r", false}, {Utf16Bytes(u"w\u00f6rld\x0Bnext\x1Fline\r\u4e2d"), true}},
      kFibWhichTable, u"1Table", "props");
  EXPECT_EQ(ReadWide(File), u"Say \u201chi\u201d \u20ac\u0081\r\nw\u00f6rld\r\nnextline\r\n\u4e2d");
}

TEST(WordReader, TableStreamFallsBackToTheOtherName) {
  const struct {
    uint16_t Flags;
    const char16_t* Stored;
  } Cases[] = {
      {kFibWhichTable, u"0Table"}, {0, u"1Table"}, {0, u"0table"},  // names are compared without case
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(std::string(C.Stored, C.Stored + 6));
    EXPECT_EQ(ReadWide(Word97Document({{"Text\r", false}}, C.Flags, C.Stored)), u"Text\r\n");
  }
}

TEST(WordReader, EncryptedDocumentFails) {
  EXPECT_EQ(ReadError(Word97Document({{"Secret", false}}, kFibWhichTable | kFibEncrypted)),
            "Document encrypted");
}

TEST(WordReader, Word95SimpleTextIsEightBit) {
  std::string Doc = WordFib(0);
  const std::string Text = "Caf\xe9 line\x0Bnext\x1Fhy\rend";
  PutLE(Doc, kFibTextStart, static_cast<uint32_t>(Doc.size()), 4);
  Doc += Text + "trailing bytes outside the text";
  PutLE(Doc, kFibTextEnd, static_cast<uint32_t>(512 + Text.size()), 4);
  TWordResult R = ReadCompoundBytes(BuildCompoundFile({{u"WordDocument", Doc}}).Bytes);
  EXPECT_FALSE(R.IsUnicode);
  EXPECT_TRUE(R.Finished);
  EXPECT_EQ(R.Bytes, "Caf\xe9 line\r\nnexthy\r\nend");
}

TEST(WordReader, Word95ComplexPiecesComeInTableOrder) {
  // Two pieces stored back to front; the piece table lies in "WordDocument" itself.
  std::string Doc = WordFib(kFibComplex);
  const auto SecondAt = static_cast<uint32_t>(Doc.size());
  Doc += "world\r";
  const auto FirstAt = static_cast<uint32_t>(Doc.size());
  Doc += "hello ";
  const std::string Table = WordPieceTable({{6, FirstAt}, {6, SecondAt}}, "xx");
  PutLE(Doc, kFibPieceTable95, static_cast<uint32_t>(Doc.size()), 4);
  PutLE(Doc, kFibPieceTable95 + 4, static_cast<uint32_t>(Table.size()), 4);
  Doc += Table;
  TWordResult R = ReadCompoundBytes(BuildCompoundFile({{u"WordDocument", Doc}}).Bytes);
  EXPECT_FALSE(R.IsUnicode);
  EXPECT_EQ(R.Bytes, "hello world\r\n");
}

TEST(WordReader, ProgressIsPolledPerPieceAndCanStop) {
  const std::string File = Word97Document({{"one ", false}, {"two ", false}, {"three", false}});
  TCountingProgress All(0);
  TWordResult R = ReadCompoundBytes(File, &All);
  EXPECT_TRUE(R.Finished);
  EXPECT_EQ(All.Polls, 3);
  TCountingProgress Stop(2);
  R = ReadCompoundBytes(File, &Stop);
  EXPECT_FALSE(R.Finished);
  EXPECT_EQ(FromUtf16Bytes(R.Bytes), u"one ");
}

// A Word 97 document whose piece table (in "1Table") is Table, with Text behind the FIB.
std::string WithPieceTable(const std::string& Table, const std::string& Text = "some text",
                           uint32_t Position = 0, uint32_t Length = UINT32_MAX) {
  std::string Doc = WordFib(kFibWhichTable) + Text;
  PutLE(Doc, kFibPieceTable97, Position, 4);
  PutLE(Doc, kFibPieceTable97 + 4, Length == UINT32_MAX ? static_cast<uint32_t>(Table.size()) : Length, 4);
  return BuildCompoundFile({{u"WordDocument", Doc}, {u"1Table", Table}}).Bytes;
}

TEST(WordReader, HostilePieceTablesFailCleanly) {
  const uint32_t Text8 = (512u * 2) | 0x40000000u;
  const std::string ShortRead = "OLE/COM error 00000001h";
  const struct {
    const char* What;
    std::string File;
    std::string Error;
  } Cases[] = {
      {"first position not 0",
       WithPieceTable("\x02" + LE(16, 4) + LE(1, 4) + LE(5, 4) + LE(0, 2) + LE(Text8, 4) + LE(0, 2)),
       "Invalid document"},
      {"length not 4 + 12n", WithPieceTable("\x02" + LE(17, 4) + std::string(17, '\0')), "Invalid document"},
      {"length below 4", WithPieceTable("\x02" + LE(2, 4) + std::string(8, '\0')), "Invalid document"},
      {"no piece", WithPieceTable("\x02" + LE(4, 4) + LE(0, 4)), "Invalid document"},
      {"unknown block type", WithPieceTable("\x05" + LE(16, 4) + std::string(16, '\0')), "Invalid document"},
      {"only property blocks", WithPieceTable("\x01" + LE(2, 2) + "ab" + "\x01" + LE(0, 2)),
       "Invalid document"},
      {"positions go back", WithPieceTable(WordPieceTable({{5, Text8}, {0xFFFFFFFFu, Text8}})),
       "Invalid document"},
      {"piece larger than the stream", WithPieceTable(WordPieceTable({{100000, Text8}})), "Invalid document"},
      {"pieces together larger than the stream",
       WithPieceTable(WordPieceTable(std::vector<TWordPieceEntry>(200, {500, Text8}))), "Invalid document"},
      {"piece past the end of the stream", WithPieceTable(WordPieceTable({{9, 0x40000000u | (4000u * 2)}})),
       ShortRead},
      {"UTF-16 piece past the end", WithPieceTable(WordPieceTable({{9, 510}})), ShortRead},
      {"piece table position past the table", WithPieceTable(WordPieceTable({{9, Text8}}), "some text", 5000),
       ShortRead},
      {"piece count larger than the table",
       WithPieceTable("\x02" + LE(4 + 12 * 0x1000000u, 4) + LE(0, 4) + LE(9, 4) + LE(9, 4), "some text", 0,
                      0x7FFFFFFF),
       ShortRead},
      {"FIB cut short", BuildCompoundFile({{u"WordDocument", std::string(100, '\0')}}).Bytes, ShortRead},
      {"no WordDocument stream", BuildCompoundFile({{u"1Table", "x"}}).Bytes,
       "The stream with specified name does not exist"},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.What);
    EXPECT_EQ(ReadError(C.File), C.Error);
  }
}

TEST(WordReader, Word95CharsetComesFromTheRecordedLanguage) {
  const struct {
    uint16_t Language, TextCharset;
    uint8_t Charset;
  } Cases[] = {
      {0x0405, kFibCharsetWindows, qvnls::kCharsetWin1250},  // Czech
      {0x0415, kFibCharsetWindows, qvnls::kCharsetWin1250},  // Polish
      {0x0419, kFibCharsetWindows, qvnls::kCharsetWin1251},  // Russian
      // Western languages name no page of their own: English is set on text in any page.
      {0x0409, kFibCharsetWindows, qvnls::kCharsetNone},      // English
      {0x0809, kFibCharsetWindows, qvnls::kCharsetNone},      // English (United Kingdom)
      {0x040C, kFibCharsetWindows, qvnls::kCharsetNone},      // French
      {0x0407, kFibCharsetWindows, qvnls::kCharsetNone},      // German
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
  for (const auto& C : Cases) {
    SCOPED_TRACE(testing::Message() << std::hex << C.Language << " " << C.TextCharset);
    EXPECT_EQ(WordTextCharset(C.Language, C.TextCharset), C.Charset);
  }

  // The reader hands the recorded charset on, and leaves the bytes as they are stored.
  std::unique_ptr<TCfbStorage> Storage;
  ASSERT_EQ(CfbOpenStorage(MakeCfbMemorySource(Word95Document("p\370ed\r", 0x0405)), STGM_READ, Storage),
            S_OK);
  TVMemStream Out;
  bool Unicode = true;
  uint8_t Charset = 0;
  EXPECT_TRUE(ReadWordStorage(*Storage, Out, Unicode, Charset, nullptr));
  EXPECT_FALSE(Unicode);
  EXPECT_EQ(Charset, qvnls::kCharsetWin1250);
  EXPECT_EQ(
      std::string(reinterpret_cast<const char*>(Out.GetMemory()), static_cast<std::size_t>(Out.GetSize())),
      "p\370ed\r\n");
  // Word 97 text is UTF-16 whatever the language says.
  ASSERT_EQ(CfbOpenStorage(MakeCfbMemorySource(Word97Document({{"x", false}})), STGM_READ, Storage), S_OK);
  EXPECT_TRUE(ReadWordStorage(*Storage, Out, Unicode, Charset, nullptr));
  EXPECT_TRUE(Unicode);
  EXPECT_EQ(Charset, qvnls::kCharsetUtf16LE);
}

TEST(WordReader, Word95TextRangeMustNotRunBackwards) {
  std::string Doc = WordFib(0) + "text";
  PutLE(Doc, kFibTextStart, 516, 4);
  PutLE(Doc, kFibTextEnd, 512, 4);
  EXPECT_EQ(ReadError(BuildCompoundFile({{u"WordDocument", Doc}}).Bytes), "Invalid document");
}

TEST(WordReader, CharacterRules) {
  const struct {
    char16_t In;
    bool Dropped;
    char16_t Mapped;
  } Cases[] = {{0x1F, true, 0x1F},
               {0x0B, false, 0x0D},
               {0x0D, false, 0x0D},
               {0x07, false, 0x07},
               {0x011F, false, 0x011F}};
  for (const auto& C : Cases) {
    EXPECT_EQ(IsDroppedWordChar(C.In), C.Dropped) << static_cast<int>(C.In);
    EXPECT_EQ(MapWordChar(C.In), C.Mapped) << static_cast<int>(C.In);
  }
  // Above 255 no rule applies: U+010B and U+011F are written as they are.
  TVMemStream Out;
  for (char16_t C : {char16_t{0x010B}, char16_t{0x011F}, char16_t{0x0D}}) WriteWordChar16(Out, C);
  EXPECT_EQ(FromUtf16Bytes(Out.GetMemory(), static_cast<std::size_t>(Out.GetSize())), u"\u010b\u011f\r\n");
}

TEST(WordReader, ContentTestAndFileErrors) {
  TTestFolder Folder;
  const std::string Doc = Folder.Write("a.doc", Word97Document({{"x", false}}));
  const std::string Other = Folder.Write("b.doc", BuildCompoundFile({{u"Workbook", "x"}}).Bytes);
  const std::string Text = Folder.Write("c.doc", "plain text, not a compound file");
  EXPECT_TRUE(IsWordDocument(Doc));
  EXPECT_FALSE(IsWordDocument(Other));
  EXPECT_FALSE(IsWordDocument(Text));
  EXPECT_FALSE(IsWordDocument(Folder.Path + "/missing.doc"));

  TVMemStream Out;
  bool Unicode = false;
  try {
    ReadWordDocument(Text, Out, Unicode, nullptr);
    ADD_FAILURE() << "no error";
  } catch (const EComError& E) {
    EXPECT_STREQ(E.what(), "The file is not a storage object");
  }
}

}  // namespace
