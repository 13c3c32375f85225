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

std::vector<std::string> ReadAll(TTextStreamOnStream& T) {
  std::vector<std::string> Lines;
  std::string Line;
  while (!T.Eof()) {
    T.ReadLine(Line);
    Lines.push_back(Line);
  }
  return Lines;
}

// A memory stream holding bytes, positioned at 0.
struct TBytes {
  explicit TBytes(const std::string& Bytes) {
    Stream.WriteText(Bytes);
    Stream.Seek(0);
  }
  std::string Content() {
    return std::string(reinterpret_cast<const char*>(Stream.GetMemory()), Stream.GetSize());
  }
  TVMemStream Stream;
};

using Lines = std::vector<std::string>;

TEST(TextStream, SplitsLinesAtLfAndDropsTheCrBeforeIt) {
  struct Case {
    std::string Bytes;
    Lines Want;
  } Cases[] = {
      {"a\r\nb", {"a", "b"}},       {"a\n", {"a"}},  // no extra empty line at the end
      {"a\n\nb\n", {"a", "", "b"}}, {"", {}},       {"\r\n", {""}}, {"x\r", {"x"}},
      {"a\rb\n", {"a\rb"}},  // a CR inside a line stays
  };
  for (const auto& C : Cases) {
    TBytes B(C.Bytes);
    TTextStreamOnStream T(&B.Stream, false, tsmRead, 256);
    EXPECT_EQ(ReadAll(T), C.Want) << C.Bytes;
    EXPECT_EQ(T.GetLineCount(), static_cast<int32_t>(C.Want.size()));
    std::string Line;
    try {
      T.ReadLine(Line);
      FAIL() << C.Bytes;
    } catch (const ETextStream& E) {
      EXPECT_STREQ(E.what(), "Read after end error");
    }
  }
}

TEST(TextStream, ReadsFixtureFiles) {
  TTextStream Plain(kFixtures + "crlf_last_line_unterminated.txt", tsmRead, 65536);
  EXPECT_EQ(ReadAll(Plain), (Lines{"a", "b"}));

  TFilteredTextStream Filtered(Utf8ToUtf16(kFixtures + "language_comments_quotes.lng"), tsmRead, 65536);
  EXPECT_EQ(ReadAll(Filtered), (Lines{"[Main]", "key = 'a;b'", "other = a", "last = \"x;y\""}));
}

TEST(TextStream, FilteredStreamEndingOnACommentGivesAnEmptyLastResult) {
  TTempFolder Dir;
  WriteFileBytes(Dir / "f", "k = v\n; trailing comment\n\n");
  TFilteredTextStream T(Utf8ToUtf16(Dir / "f"), tsmRead, 256);
  EXPECT_EQ(ReadAll(T), (Lines{"k = v", ""}));
}

TEST(TextStream, LinesCrossingTheBuffer) {
  const std::string L300(300, 'x');
  const std::string L400(400, 'y');
  // The last line without a line end crossing the buffer's end is returned whole, not refused as too
  // long (the second read came back short because the stream ended). The last case is the longest such
  // line: the 253 bytes left in the first buffer plus one full buffer, ending exactly at the stream's end.
  for (const std::string& Bytes : {L300, "a\n" + L300, L400 + "\n" + L300, "ab\n" + std::string(509, 'z')}) {
    TBytes B(Bytes);
    TTextStreamOnStream T(&B.Stream, false, tsmRead, 256);
    Lines Want;
    size_t Start = 0;
    for (size_t Lf; (Lf = Bytes.find('\n', Start)) != std::string::npos; Start = Lf + 1)
      Want.push_back(Bytes.substr(Start, Lf - Start));
    if (Start < Bytes.size()) Want.push_back(Bytes.substr(Start));
    EXPECT_EQ(ReadAll(T), Want) << Bytes.size();
  }
  // A line longer than the rest of one buffer and one whole buffer is refused with the lines before it.
  TBytes B("1\n2\n" + std::string(600, 'x') + "\nz\n");
  TTextStreamOnStream T(&B.Stream, false, tsmRead, 256);
  std::string Line;
  T.ReadLine(Line);
  T.ReadLine(Line);
  try {
    T.ReadLine(Line);
    FAIL();
  } catch (const ETextStream& E) {
    EXPECT_STREQ(E.what(), "line is too long 2");
  }
}

TEST(TextStream, WritesHeldBackLinesWithCrLf) {
  TVMemStream M;
  {
    TTextStreamOnStream T(&M, false, tsmRewrite, 256);
    T.WriteLine("x");
    EXPECT_EQ(M.GetSize(), 0);  // held back
    T.WriteLine("y");
    EXPECT_EQ(M.GetSize(), 3);
    EXPECT_EQ(T.GetLineCount(), 2);
    std::string Line;
    EXPECT_THROW(T.ReadLine(Line), ETextStream);
    EXPECT_TRUE(T.Eof());
  }  // the destructor writes the last line
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(M.GetMemory()), M.GetSize()), "x\r\ny\r\n");
}

TEST(TextStream, AppendStartsOnANewLine) {
  TTempFolder Dir;
  struct Case {
    const char* Name;
    std::string Before;  // "<missing>": no file
    std::string After;
  } Cases[] = {
      {"unended", "a\r\nb", "a\r\nb\r\nnew\r\n"},
      {"ended", "a\n", "a\nnew\r\n"},
      {"empty", "", "new\r\n"},
      {"missing", "<missing>", "new\r\n"},
      // An existing line far longer than the buffer does not stop the append.
      {"long", std::string(2000, 'q'), std::string(2000, 'q') + "\r\nnew\r\n"},
  };
  for (const auto& C : Cases) {
    const std::string Path = Dir / C.Name;
    if (C.Before != "<missing>") WriteFileBytes(Path, C.Before);
    TTextStream T(Path, tsmAppend, 256);
    T.WriteLine("new");
    T.Close();
    EXPECT_EQ(ReadFileBytes(Path), C.After) << C.Name;
  }
}

TEST(TextStream, RewriteTruncatesAndReadingAMissingFileFails) {
  TTempFolder Dir;
  WriteFileBytes(Dir / "log", "old old old");
  {
    TTextStream T(Dir / "log", tsmRewrite, 256);
    T.WriteLine("fresh");
    T.Close();
  }
  EXPECT_EQ(ReadFileBytes(Dir / "log"), "fresh\r\n");
  try {
    TTextStream T(Dir / "none", tsmRead, 256);
    FAIL();
  } catch (const EVFileStream& E) {
    EXPECT_EQ(E.Message(), "Class TVFileStream (file \"" + Dir / "none" + "\"): Can't open file");
  }
}

TEST(TextStream, CloseReportsAFailedWriteAndTheDestructorDoesNotHideOne) {
  TTempFolder Dir;
  TFaultyFileLayer Layer;
  TFileLayerScope Scope(Layer);
  std::vector<std::string> Lost;
  SetLostOutputHandler([&](const std::string& M) { Lost.push_back(M); });
  {
    TTextStream T(Dir / "a", tsmRewrite, 256);
    T.WriteLine("line");
    Layer.FailCall(TFileOp::Write, 1, ENOSPC);
    EXPECT_THROW(T.Close(), EVFileStream);
  }
  EXPECT_TRUE(Lost.empty());
  {
    TTextStream T(Dir / "b", tsmRewrite, 256);
    T.WriteLine("line");
    Layer.FailCall(TFileOp::Write, 1, ENOSPC);
  }
  ASSERT_EQ(Lost.size(), 1u);
  EXPECT_NE(Lost[0].find("File write error"), std::string::npos);
  SetLostOutputHandler(nullptr);
}

}  // namespace
