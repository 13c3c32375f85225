// The LZ77 engine of the ACE decompressor (ACE 1.0, and the LZ77 modes of ACE 2.0): Huffman-coded
// literals and copies from a 4 MB window, read in blocks of symbols. Knows nothing of archives.
//
// What is checked: a symbol outside the alphabet fails; a copy never reaches outside the window (the
// window is the largest dictionary the format allows, and distances are at most that large); output
// never exceeds what the caller asks for (a copy that would run over is kept for the next call).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/unace/AceBits.h"

// A mode switch found in the compressed stream (ACE 2.0).
struct TAceMode {
  enum : uint8_t {
    Lz77 = 0,
    Delta = 1,
    Exe = 2,
    Sound8 = 3,
    Sound16 = 4,
    Sound32A = 5,
    Sound32B = 6,
    Pic = 7
  };
  uint8_t Mode = Lz77;
  uint8_t DeltaDistance = 0;  // Delta: bytes per record
  uint32_t DeltaLength = 0;   // Delta: bytes in the block
  uint8_t ExeMode = 0;        // Exe: 0 16-bit, otherwise 32-bit call targets
  static TAceMode Read(TAceBitReader& Bits);
};

class TAceLz77 {
 public:
  static constexpr int kMaxDictionaryBits = 22;  // the largest dictionary the format allows
  static constexpr uint32_t kWindowSize = 1u << kMaxDictionaryBits;

  TAceLz77();

  // Starts an item: forgets buffered symbols, distances and a pending copy; the window stays (solid
  // archives go on from the previous item's data).
  void Reinit();
  // Adds bytes made by another mode (or stored) to the window.
  void AddToWindow(const uint8_t* Data, size_t N);

  // Appends up to Want decoded bytes to Out. Stops early at a mode switch and answers it (the switch
  // right after the last byte is taken too when its symbol is already buffered).
  std::optional<TAceMode> Read(TAceBitReader& Bits, size_t Want, std::vector<uint8_t>& Out);

 private:
  struct TSymbol {
    uint16_t Code;
    uint16_t Length;
    uint32_t Distance;
  };
  void ReadBlock(TAceBitReader& Bits);
  void Put(uint8_t B) {
    Window_[WindowPos_] = B;
    WindowPos_ = (WindowPos_ + 1) & (kWindowSize - 1);
  }

  std::vector<uint8_t> Window_;
  uint32_t WindowPos_ = 0;
  std::vector<TSymbol> Symbols_;
  std::vector<TAceMode> Modes_;  // the switches of the buffered block, in order
  size_t SymbolPos_ = 0, ModePos_ = 0;
  uint32_t Distances_[4] = {};  // the last four distances, newest last
  uint32_t PendingLength_ = 0, PendingDistance_ = 0;
  TAceHuffman Main_, Lengths_;
};
