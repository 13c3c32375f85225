// Fuzz target of raw inflate: any bytes as deflated data, inflated whole (InflateBuffer) and through the
// buffered inflating stream, read in pieces, started over and read again. When both ways reach the end
// of the deflated data they must produce the same bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "archive/arlInflate.h"
#include "archive/arlStreams.h"
#include "core/Exception.h"

namespace {

// Output beyond this is not needed to find faults and keeps every run fast.
constexpr int32_t kMaxOutput = 1 << 18;

// Reads Z to its end (or kMaxOutput) in pieces of Piece bytes.
std::vector<uint8_t> ReadAll(TDecompressStream& Z, int32_t Piece) {
  std::vector<uint8_t> Out;
  std::vector<uint8_t> Buffer(Piece);
  for (int32_t N; Out.size() < kMaxOutput && (N = Z.Read(Buffer.data(), Piece)) > 0;)
    Out.insert(Out.end(), Buffer.begin(), Buffer.begin() + N);
  return Out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, std::size_t Size) {
  std::vector<uint8_t> Whole;
  bool WholeOk = true;
  try {
    InflateBuffer(Data, static_cast<int32_t>(Size), Whole, 0, kMaxOutput);
  } catch (const EInflateError&) {
    WholeOk = false;
  }

  TMemoryStream32 Source;
  Source.WriteBuffer(Data, static_cast<int32_t>(Size));
  Source.SetPosition(0);
  try {
    TDecompressStream Z(Source);
    const std::vector<uint8_t> First = ReadAll(Z, 4096);
    const bool StreamOk = Z.AtStreamEnd() && !Z.Failed();
    if (WholeOk && StreamOk && First != Whole) __builtin_trap();  // the two ways disagree
    // Start over, skip forward, read the rest in odd pieces: the same bytes again.
    Z.Seek(0, soBeginning);
    const int64_t Skip = static_cast<int64_t>(First.size() / 3);
    Z.Seek(Skip, soCurrent);
    const std::vector<uint8_t> Rest = ReadAll(Z, 7);
    if (StreamOk && !std::equal(Rest.begin(), Rest.end(), First.begin() + Skip, First.end()))
      __builtin_trap();  // reading again after a restart gave other bytes
  } catch (const Exception&) {
  }
  return 0;
}
