// Helpers of the stream scanner tests: streams over test bytes (whole, or delivered in pieces), the
// bytes of a text in each scanned encoding, and a scanner run that answers plain values.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/NumVector.h"
#include "core/VStream.h"
#include "platform/qvnls/Qvnls.h"
#include "search/NLSProcsDyn.h"
#include "search/StrmScan.h"

namespace strmscan_test {

// A memory stream whose reads deliver at most Chunk bytes (0: as asked).
class TChunkedStream : public TVMemStream {
 public:
  TChunkedStream(const std::string& Bytes, int32_t Chunk) : Chunk(Chunk) {
    Write(Bytes.data(), static_cast<int32_t>(Bytes.size()));
    Seek(0);
  }
  int32_t Read(void* Buf, int32_t Count) override {
    ++Reads;
    return TVMemStream::Read(Buf, Chunk > 0 ? std::min(Count, Chunk) : Count);
  }
  int32_t Chunk;
  int32_t Reads = 0;
};

inline std::string Utf16(const std::u16string& W) {
  return std::string(reinterpret_cast<const char*>(W.data()), 2 * W.size());
}
inline std::string Ansi(const std::u16string& W) { return WideToCharset(W, qvnls::GetAnsiCharset()); }
inline std::string Oem(const std::u16string& W) { return WideToCharset(W, qvnls::GetOemCharset()); }
inline std::u16string Widen(const std::string& Ascii) { return std::u16string(Ascii.begin(), Ascii.end()); }

// The bytes of W in encoding E.
inline std::string Encode(const std::u16string& W, TScanEncoding E) {
  return E == seUnicode ? Utf16(W) : E == seOem ? Oem(W) : Ansi(W);
}

using THits = std::vector<std::pair<int32_t, int32_t>>;  // position, length

struct TRun {
  TScanResult Result = srNotFound;
  TScanEncoding Encoding = seFileName;  // untouched when nothing was accepted
  THits Hits;
};

inline TRun RunFindAll(TStreamScanner& Scanner, TVStream& Stream, TScanEncodings Encodings) {
  TRun Run;
  TInt32Vector Positions, Lengths;
  Scanner.Stream = &Stream;
  Run.Result = Scanner.FindAll(Encodings, Run.Encoding, Positions, Lengths);
  for (int32_t I = 0; I < Positions.GetCount(); ++I) Run.Hits.emplace_back(Positions.Get(I), Lengths.Get(I));
  return Run;
}

inline TRun RunFindAll(TStreamScanner& Scanner, const std::string& Bytes, TScanEncodings Encodings,
                       int32_t Chunk = 0) {
  TChunkedStream Stream(Bytes, Chunk);
  return RunFindAll(Scanner, Stream, Encodings);
}

inline TScanResult RunFind(TStreamScanner& Scanner, const std::string& Bytes, TScanEncodings Encodings,
                           TScanEncoding* FoundEncoding = nullptr) {
  TChunkedStream Stream(Bytes, 0);
  Scanner.Stream = &Stream;
  TScanEncoding Found = seFileName;
  const TScanResult Result = Scanner.Find(Encodings, Found);
  if (FoundEncoding != nullptr) *FoundEncoding = Found;
  return Result;
}

}  // namespace strmscan_test
