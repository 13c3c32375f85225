// Fuzz target of the text streams' line reading: any bytes as a text, read line by line through read
// buffers of several sizes, and as a file through the comment-skipping reader. A text read to its end
// must come out as the lines it holds, whatever the buffer size: split at LF, one CR before each LF
// dropped. A line too long for the buffer is a clean error.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/Exception.h"
#include "core/TextStream.h"
#include "core/VStream.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

std::vector<std::string> ExpectedLines(const std::string& Text) {
  std::vector<std::string> Lines;
  std::size_t Start = 0;
  while (Start < Text.size()) {
    std::size_t End = Text.find('\n', Start);
    const std::size_t Next = End == std::string::npos ? Text.size() : End + 1;
    if (End == std::string::npos) End = Text.size();
    std::string Line = Text.substr(Start, End - Start);
    if (!Line.empty() && Line.back() == '\r') Line.pop_back();
    Lines.push_back(Line);
    Start = Next;
  }
  return Lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, std::size_t Size) {
  const std::string Text = fuzztest::Input(Data, Size);
  const std::vector<std::string> Expected = ExpectedLines(Text);
  for (int32_t BufSize : {TTextStreamOnStream::kMinBufSize, 300, 65536}) {
    std::vector<std::string> Lines;
    try {
      TTextStreamOnStream Reader(new TVReadOnlyMemStream(Text.data(), static_cast<int32_t>(Text.size())),
                                 true, tsmRead, BufSize);
      while (!Reader.Eof()) {
        std::string Line;
        Reader.ReadLine(Line);
        Lines.push_back(Line);
      }
    } catch (const Exception&) {
      continue;
    }
    if (Lines != Expected) __builtin_trap();  // a line lost, cut or joined
  }
  // The comment-skipping reader opens files only; the temporary folder's path is ASCII.
  const std::string Path = fuzztest::WriteTempFile("text.lng", Text);
  try {
    TFilteredTextStream Filtered(std::u16string(Path.begin(), Path.end()), tsmRead,
                                 TTextStreamOnStream::kMinBufSize);
    while (!Filtered.Eof()) {
      std::string Line;
      Filtered.ReadLine(Line);
    }
  } catch (const Exception&) {
  }
  return 0;
}
