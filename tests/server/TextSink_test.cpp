// Line ends and code-page conversion of the text that outside converters produce, whole and in chunks.
#include "server/TextSink.h"

#include <gtest/gtest.h>

#include "core/VStream.h"
#include "platform/qvnls/Qvnls.h"

namespace {

std::string Sink(const std::string& Utf8, size_t Chunk) {
  TVMemStream out;
  TAnsiTextSink sink(out);
  for (size_t i = 0; i < Utf8.size(); i += Chunk) sink.Write(std::string_view(Utf8).substr(i, Chunk));
  sink.Finish();
  std::string text(static_cast<size_t>(out.GetSize()), '\0');
  out.Seek(0);
  out.Read(text.data(), static_cast<int32_t>(text.size()));
  return text;
}

TEST(TextSinkTest, LineEndsAndCharactersInEveryChunking) {
  qvnls::SetSystemCodePages(1252, 850);
  struct TCase {
    std::string In, Out;
  };
  const TCase cases[] = {
      {"a\nb", "a\r\nb"},
      {"a\r\nb", "a\r\nb"},
      {"a\rb", "a\rb"},
      {"page\fnext", "page\r\nnext"},
      {"\n\n", "\r\n\r\n"},
      {"caf\xC3\xA9 \xE2\x82\xAC", "caf\xE9 \x80"},  // é and the euro sign in 1252
      {"\xE4\xB8\xAD", "?"},                        // not in 1252
      {"end\xC3", "end?"},                          // a sequence cut at the very end
  };
  for (const TCase& c : cases)
    for (size_t chunk : {size_t{1}, size_t{2}, size_t{7}, size_t{4096}})
      EXPECT_EQ(Sink(c.In, chunk), c.Out) << "chunk " << chunk << " of " << c.In;
  qvnls::ResetSystemCodePages();
}

}  // namespace
