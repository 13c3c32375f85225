// Fuzz target of the viewer's line reader. The first byte picks the encoding (its low two bits) and the
// line limit (kLimits, by the next three bits); the rest is the stream. The text is paged forwards to its
// end and backwards to its start: every step must move, and both ways must stop at the same line
// starts, so that paging up shows the lines that paging down showed.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/Exception.h"
#include "core/VStream.h"
#include "search/ViewTextStream.h"

namespace {

constexpr int32_t kLimits[] = {1, 2, 3, 7, 16, 80, 1024, 65536};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, std::size_t Size) {
  if (Size == 0) return 0;
  const uint8_t Encoding = Data[0] & 3;
  const int32_t Limit = kLimits[(Data[0] >> 2) % std::size(kLimits)];
  TVReadOnlyMemStream S(Data + 1, static_cast<int32_t>(Size - 1));
  try {
    TViewTextStream Reader(&S, Limit);
    Reader.SetEncoding(Encoding);

    std::vector<int32_t> Forward;
    Reader.GoToStart();
    std::string Line;
    while (!Reader.Eof()) {
      const int32_t At = Reader.GetPosition();
      Forward.push_back(At);
      Reader.ReadLine(Line);
      if (Reader.GetPosition() <= At) __builtin_trap();  // a line read without moving on
    }

    std::vector<int32_t> Backward;
    while (Reader.GetPosition() > 0) {
      const int32_t At = Reader.GetPosition();
      Reader.PrevLine();
      if (Reader.GetPosition() >= At) __builtin_trap();  // a step back that did not move
      Backward.push_back(Reader.GetPosition());
    }
    std::reverse(Backward.begin(), Backward.end());
    if (Backward != Forward) __builtin_trap();  // paging up stops elsewhere than paging down

    // A jump into the middle of a line lands on a line start that paging knows.
    for (int32_t P = 1; P < S.GetSize(); P += 1 + S.GetSize() / 8) {
      Reader.SetPosition(P);
      if (!Reader.Eof() && !std::binary_search(Forward.begin(), Forward.end(), Reader.GetPosition()))
        __builtin_trap();
      Reader.ReadLine(Line);
    }
  } catch (const Exception&) {
  }
  return 0;
}
