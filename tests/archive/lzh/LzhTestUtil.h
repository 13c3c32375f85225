// The archive test helpers (namespace archivetest), shared by the tests of every archive format: fixture
// files, a byte source over a buffer that hands out limited chunks, a collecting sink, a
// most-significant-first bit writer for hand-built streams, and the damage pass that every decoder must
// survive.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "archive/lzh/arlLzhBits.h"
#include "tests/TestFiles.h"

namespace archivetest {

using Bytes = std::vector<uint8_t>;

inline Bytes ReadFile(const std::string& Path) {
  const std::string Data = ReadFileBytes(Path);
  return Bytes(Data.begin(), Data.end());
}

// A fixture of tests/archive/<Folder>/fixtures.
inline Bytes Fixture(const std::string& Folder, const std::string& Name) {
  return ReadFile(std::string(SCRYLINE_TEST_DATA) + "/" + Folder + "/fixtures/" + Name);
}

// A source over Data that gives at most Chunk bytes per call (0: as many as asked).
inline TLzhSource SourceOver(const Bytes& Data, size_t Chunk = 0) {
  auto Pos = std::make_shared<size_t>(0);
  return [&Data, Chunk, Pos](uint8_t* Buffer, int32_t Count) -> int32_t {
    size_t N = std::min(static_cast<size_t>(Count), Data.size() - *Pos);
    if (Chunk) N = std::min(N, Chunk);
    std::copy_n(Data.begin() + static_cast<std::ptrdiff_t>(*Pos), N, Buffer);
    *Pos += N;
    return static_cast<int32_t>(N);
  };
}

// A sink that appends to Out.
inline TLzhSink SinkInto(Bytes& Out) {
  return [&Out](const uint8_t* Buffer, int32_t Count) { Out.insert(Out.end(), Buffer, Buffer + Count); };
}

// Decodes Packed with Decoder (any of the LZ decoders) into Out, through a source of Chunk-byte reads;
// the declared packed size is Packed's size unless PackedSize is given.
template <class TDecoder>
TLzhResult DecodeWith(TDecoder& Decoder, const Bytes& Packed, int64_t UnpackedSize, Bytes& Out,
                      size_t Chunk = 0, int64_t PackedSize = -1) {
  return Decoder.Decode(SourceOver(Packed, Chunk),
                        PackedSize < 0 ? static_cast<int64_t>(Packed.size()) : PackedSize, UnpackedSize,
                        SinkInto(Out));
}

// Writes numbers most significant bit first; Bytes() pads the last byte with zero bits.
class TBitWriter {
 public:
  void Put(uint32_t Value, int Bits) {
    for (int I = Bits - 1; I >= 0; --I) {
      Acc_ = static_cast<uint8_t>((Acc_ << 1) | ((Value >> I) & 1));
      if (++Count_ == 8) {
        Out_.push_back(Acc_);
        Acc_ = 0;
        Count_ = 0;
      }
    }
  }
  Bytes Data() const {
    Bytes B = Out_;
    if (Count_) B.push_back(static_cast<uint8_t>(Acc_ << (8 - Count_)));
    return B;
  }

 private:
  Bytes Out_;
  uint8_t Acc_ = 0;
  int Count_ = 0;
};

// Damaged copies of Good: single bytes flipped at spread positions, runs of bytes overwritten, and the
// tail cut at several lengths.
inline std::vector<Bytes> Damaged(const Bytes& Good, unsigned Seed = 1) {
  std::vector<Bytes> Out;
  std::mt19937 Rng(Seed);
  if (Good.empty()) return Out;
  for (int I = 0; I < 24; ++I) {
    Bytes B = Good;
    const size_t At = Rng() % B.size();
    B[At] ^= static_cast<uint8_t>(1u << (Rng() % 8));
    Out.push_back(std::move(B));
  }
  for (int I = 0; I < 8; ++I) {
    Bytes B = Good;
    const size_t At = Rng() % B.size();
    for (size_t K = At; K < std::min(B.size(), At + 16); ++K) B[K] = static_cast<uint8_t>(Rng());
    Out.push_back(std::move(B));
  }
  for (size_t Keep : {Good.size() / 2, Good.size() - 1, size_t{1}, size_t{0}})
    Out.emplace_back(Good.begin(), Good.begin() + static_cast<std::ptrdiff_t>(std::min(Keep, Good.size())));
  return Out;
}

// Decodes every damaged copy of Good with a decoder of type TDecoder made by Make; the output must never
// exceed the declared size (the sanitizers catch the rest).
template <class TMake>
void ExpectDamageSurvived(TMake Make, const Bytes& Good, int64_t UnpackedSize, unsigned Seed = 1) {
  for (const Bytes& Bad : Damaged(Good, Seed)) {
    auto Decoder = Make();
    Bytes Out;
    DecodeWith(*Decoder, Bad, UnpackedSize, Out);
    EXPECT_LE(static_cast<int64_t>(Out.size()), UnpackedSize);
  }
}

}  // namespace archivetest
