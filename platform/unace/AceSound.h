// The sound mode of the ACE 2.0 decompressor: 8-, 16- and 32-bit samples split into up to three
// channels, each predicted from its last bytes by an adaptive linear filter; the prediction errors are
// Huffman coded with runs of zeros. Knows nothing of archives.
//
// What is checked: a symbol outside the alphabet fails; output never exceeds what the caller asks for.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/unace/AceBits.h"
#include "platform/unace/AceLz77.h"

class TAceSound {
 public:
  TAceSound();
  // Starts the mode Mode (TAceMode::Sound8..Sound32B).
  void Reinit(uint8_t Mode);
  // Appends up to Want bytes (rounded down to whole groups of four) to Out; stops at a mode switch.
  std::optional<TAceMode> Read(TAceBitReader& Bits, size_t Want, std::vector<uint8_t>& Out);

 private:
  struct TChannel {
    int Index = 0;
    int PredictionCount[2] = {};
    int LastPredictionCount[2] = {};
    int Differences[4] = {};
    int Coefficients[4] = {};
    int Errors[9] = {};
    uint32_t ByteCount = 0;
    int LastByte = 0;
    int LastDelta = 0;
    int AdaptCount = 0;
    int AdaptUse = 0;
    int State = 0;  // 0 a code, 1 the code after a run, 2 inside a run of zeros
    int Code = 0;
  };
  // The next prediction error of C, or a mode switch.
  std::optional<int> Next(TChannel& C, TAceBitReader& Bits, std::optional<TAceMode>& Switch);
  int Symbol(TAceBitReader& Bits, int Model);
  static int Predicted(const TChannel& C);
  int Predict(const TChannel& C) const;
  void Adjust(TChannel& C, int Byte);

  uint8_t Quantizer_[256];
  TChannel Channels_[3];
  int Mode_ = 0;  // 0..3 for Sound8..Sound32B
  std::vector<TAceHuffman> Models_;
  int64_t BlockLeft_ = 0;
};
