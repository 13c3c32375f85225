#include "core/TextStream.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "core/FileLayer.h"
#include "core/VFileStream.h"
#include "tests/core/FileFixtures.h"

namespace {

const std::string kFixtures = std::string(SCRYLINE_TEST_DATA) + "/fixtures/text/";

std::vector<std::string> ReadAll(TTextStreamOnStream& t) {
  std::vector<std::string> lines;
  std::string line;
  while (!t.Eof()) {
    t.ReadLine(line);
    lines.push_back(line);
  }
  return lines;
}

// A memory stream holding bytes, positioned at 0.
struct TBytes {
  explicit TBytes(const std::string& bytes) {
    stream.WriteText(bytes);
    stream.Seek(0);
  }
  std::string Content() {
    return std::string(reinterpret_cast<const char*>(stream.GetMemory()), stream.GetSize());
  }
  TVMemStream stream;
};

using Lines = std::vector<std::string>;

TEST(TextStream, SplitsLinesAtLfAndDropsTheCrBeforeIt) {
  struct Case {
    std::string bytes;
    Lines lines;
  } cases[] = {
      {"a\r\nb", {"a", "b"}},       {"a\n", {"a"}},  // no extra empty line at the end
      {"a\n\nb\n", {"a", "", "b"}}, {"", {}},       {"\r\n", {""}}, {"x\r", {"x"}},
      {"a\rb\n", {"a\rb"}},  // a CR inside a line stays
  };
  for (const auto& c : cases) {
    TBytes b(c.bytes);
    TTextStreamOnStream t(&b.stream, false, tsmRead, 256);
    EXPECT_EQ(ReadAll(t), c.lines) << c.bytes;
    EXPECT_EQ(t.GetLineCount(), static_cast<int32_t>(c.lines.size()));
    std::string line;
    try {
      t.ReadLine(line);
      FAIL() << c.bytes;
    } catch (const ETextStream& e) {
      EXPECT_STREQ(e.what(), "Read after end error");
    }
  }
}

TEST(TextStream, ReadsFixtureFiles) {
  TTextStream plain(kFixtures + "crlf_last_line_unterminated.txt", tsmRead, 65536);
  EXPECT_EQ(ReadAll(plain), (Lines{"a", "b"}));

  TFilteredTextStream filtered(Utf8ToUtf16(kFixtures + "language_comments_quotes.lng"), tsmRead, 65536);
  EXPECT_EQ(ReadAll(filtered), (Lines{"[Main]", "key = 'a;b'", "other = a", "last = \"x;y\""}));
}

TEST(TextStream, FilteredStreamEndingOnACommentGivesAnEmptyLastResult) {
  TTempFolder dir;
  WriteFileBytes(dir / "f", "k = v\n; trailing comment\n\n");
  TFilteredTextStream t(Utf8ToUtf16(dir / "f"), tsmRead, 256);
  EXPECT_EQ(ReadAll(t), (Lines{"k = v", ""}));
}

TEST(TextStream, LinesCrossingTheBuffer) {
  const std::string l300(300, 'x');
  const std::string l400(400, 'y');
  // The last line without a line end crossing the buffer's end is returned whole, not refused as too
  // long (the second read came back short because the stream ended). The last case is the longest such
  // line: the 253 bytes left in the first buffer plus one full buffer, ending exactly at the stream's end.
  for (const std::string& bytes : {l300, "a\n" + l300, l400 + "\n" + l300, "ab\n" + std::string(509, 'z')}) {
    TBytes b(bytes);
    TTextStreamOnStream t(&b.stream, false, tsmRead, 256);
    Lines want;
    size_t start = 0;
    for (size_t lf; (lf = bytes.find('\n', start)) != std::string::npos; start = lf + 1)
      want.push_back(bytes.substr(start, lf - start));
    if (start < bytes.size()) want.push_back(bytes.substr(start));
    EXPECT_EQ(ReadAll(t), want) << bytes.size();
  }
  // A line longer than the rest of one buffer and one whole buffer is refused with the lines before it.
  TBytes b("1\n2\n" + std::string(600, 'x') + "\nz\n");
  TTextStreamOnStream t(&b.stream, false, tsmRead, 256);
  std::string line;
  t.ReadLine(line);
  t.ReadLine(line);
  try {
    t.ReadLine(line);
    FAIL();
  } catch (const ETextStream& e) {
    EXPECT_STREQ(e.what(), "line is too long 2");
  }
}

TEST(TextStream, WritesHeldBackLinesWithCrLf) {
  TVMemStream m;
  {
    TTextStreamOnStream t(&m, false, tsmRewrite, 256);
    t.WriteLine("x");
    EXPECT_EQ(m.GetSize(), 0);  // held back
    t.WriteLine("y");
    EXPECT_EQ(m.GetSize(), 3);
    EXPECT_EQ(t.GetLineCount(), 2);
    std::string line;
    EXPECT_THROW(t.ReadLine(line), ETextStream);
    EXPECT_TRUE(t.Eof());
  }  // the destructor writes the last line
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.GetMemory()), m.GetSize()), "x\r\ny\r\n");
}

TEST(TextStream, AppendStartsOnANewLine) {
  TTempFolder dir;
  struct Case {
    const char* name;
    std::string before;  // "<missing>": no file
    std::string after;
  } cases[] = {
      {"unended", "a\r\nb", "a\r\nb\r\nnew\r\n"},
      {"ended", "a\n", "a\nnew\r\n"},
      {"empty", "", "new\r\n"},
      {"missing", "<missing>", "new\r\n"},
      // An existing line far longer than the buffer does not stop the append.
      {"long", std::string(2000, 'q'), std::string(2000, 'q') + "\r\nnew\r\n"},
  };
  for (const auto& c : cases) {
    const std::string path = dir / c.name;
    if (c.before != "<missing>") WriteFileBytes(path, c.before);
    TTextStream t(path, tsmAppend, 256);
    t.WriteLine("new");
    t.Close();
    EXPECT_EQ(ReadFileBytes(path), c.after) << c.name;
  }
}

TEST(TextStream, RewriteTruncatesAndReadingAMissingFileFails) {
  TTempFolder dir;
  WriteFileBytes(dir / "log", "old old old");
  {
    TTextStream t(dir / "log", tsmRewrite, 256);
    t.WriteLine("fresh");
    t.Close();
  }
  EXPECT_EQ(ReadFileBytes(dir / "log"), "fresh\r\n");
  try {
    TTextStream t(dir / "none", tsmRead, 256);
    FAIL();
  } catch (const EVFileStream& e) {
    EXPECT_EQ(e.Message(), "Class TVFileStream (file \"" + dir / "none" + "\"): Can't open file");
  }
}

TEST(TextStream, CloseReportsAFailedWriteAndTheDestructorDoesNotHideOne) {
  TTempFolder dir;
  TFaultyFileLayer layer;
  TFileLayerScope scope(layer);
  std::vector<std::string> lost;
  SetLostOutputHandler([&](const std::string& m) { lost.push_back(m); });
  {
    TTextStream t(dir / "a", tsmRewrite, 256);
    t.WriteLine("line");
    layer.FailCall(TFileOp::Write, 1, ENOSPC);
    EXPECT_THROW(t.Close(), EVFileStream);
  }
  EXPECT_TRUE(lost.empty());
  {
    TTextStream t(dir / "b", tsmRewrite, 256);
    t.WriteLine("line");
    layer.FailCall(TFileOp::Write, 1, ENOSPC);
  }
  ASSERT_EQ(lost.size(), 1u);
  EXPECT_NE(lost[0].find("File write error"), std::string::npos);
  SetLostOutputHandler(nullptr);
}

}  // namespace
