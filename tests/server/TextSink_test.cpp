// Line ends and code-page conversion of the text that outside converters produce, whole and in chunks.
#include "server/TextSink.h"

#include <gtest/gtest.h>

#include "core/VStream.h"
#include "platform/qvnls/Qvnls.h"
#include "tests/server/ServerTestSupport.h"

namespace {

std::string Sink(const std::string& Utf8, size_t Chunk) {
  TVMemStream Out;
  TAnsiTextSink Sink(Out);
  for (size_t I = 0; I < Utf8.size(); I += Chunk) Sink.Write(std::string_view(Utf8).substr(I, Chunk));
  Sink.Finish();
  std::string Text(static_cast<size_t>(Out.GetSize()), '\0');
  Out.Seek(0);
  Out.Read(Text.data(), static_cast<int32_t>(Text.size()));
  return Text;
}

TEST(TextSinkTest, UnreadableTextIsMostlyControlCharacters) {
  const struct {
    std::string Text;
    bool Unreadable;
  } Cases[] = {
      {"", false},
      {" \t\r\n\f\n", false},  // blanks and line ends do not count
      {"Plain text.\r\nSecond line\f", false},
      {"\x01\x02\x03\x04\x05, \x06\x02\x01!\n\x07\x08.", true},  // letters as glyph numbers
      {std::string("\0\x01\x02\x7F", 4) + "ab", true},
      {"\x01\x02\x03"
       "abc",
       false},                                     // half is not most
      {"\x01\x02\x03\xC3\xA4\xE2\x82\xAC", true},  // a character is counted once, not per byte
      {"\x01\x02\x03Gr\xC3\xB6\xC3\x9F"
       "e",
       false},
  };
  TTestDir Dir;
  for (const auto& C : Cases) {
    WriteAll(Dir / "t.txt", C.Text);
    EXPECT_EQ(IsUnreadableTextFile(Dir / "t.txt"), C.Unreadable) << testing::PrintToString(C.Text);
  }
}

// The note of a conversion names the pages left out and the pages kept in doubt, each in one part.
TEST(TextSinkTest, PagesNotes) {
  const std::string LeftOut =
      " left out: their converted text is unreadable (the document's fonts do not say which characters "
      "they show)";
  const struct {
    std::vector<int32_t> LeftOut, Doubtful;
    std::string Note;
  } Cases[] = {
      {{}, {}, ""},
      {{2}, {}, UnreadablePagesNote({2})},
      {{2, 5}, {}, "Pages 2, 5" + LeftOut},
      {{}, {4}, "Page 4 kept, though its converted text may be unreadable"},
      {{2, 5},
       {3, 4},
       "Pages 2, 5" + LeftOut + "; Pages 3, 4 kept, though their converted text may be unreadable"},
  };
  for (const auto& C : Cases) EXPECT_EQ(PagesNote(C.LeftOut, C.Doubtful), C.Note);
}

TEST(TextSinkTest, LineEndsAndCharactersInEveryChunking) {
  qvnls::SetSystemCodePages(1252, 850);
  struct TCase {
    std::string In, Out;
  };
  const TCase Cases[] = {
      {"a\nb", "a\r\nb"},    {"a\r\nb", "a\r\nb"},
      {"a\rb", "a\rb"},      {"page\fnext", "page\r\nnext"},
      {"\n\n", "\r\n\r\n"},  {"caf\xC3\xA9 \xE2\x82\xAC", "caf\xE9 \x80"},  // é and the euro sign in 1252
      {"\xE4\xB8\xAD", "?"},                                                // not in 1252
      {"end\xC3", "end?"},                                                  // a sequence cut at the very end
  };
  for (const TCase& C : Cases)
    for (size_t Chunk : {size_t{1}, size_t{2}, size_t{7}, size_t{4096}})
      EXPECT_EQ(Sink(C.In, Chunk), C.Out) << "chunk " << Chunk << " of " << C.In;
  qvnls::ResetSystemCodePages();
}

}  // namespace
