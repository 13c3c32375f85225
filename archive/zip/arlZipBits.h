// Input and output of the three older ZIP methods (shrink, reduce, implode): a bit reader over an
// entry's compressed bytes and an output buffer that holds the entry to its declared size, with the
// sliding window that reduce and implode copy from. They know nothing of archives: the caller supplies
// the functions that read (already deciphered) compressed bytes and write decoded ones.
//
// What these check:
//   - input: never more than the entry's compressed size is read; a read of 0 bytes is the end of input,
//     and a bit request that meets it answers -1 instead of reading on;
//   - output: never more than the declared uncompressed size is produced; a byte past it is damaged data
//     ("Bad block"), so a hostile entry cannot grow past what its header promised;
//   - window copies reach back at most the window size; distances before the start of the entry read
//     the window's initial zeros.
//
// Objects live for one entry on the decoding thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// Damaged data raises the archive library's exception E_RAISE (not yet reported) with the error code
// of the fault: errBadBlock, errAmbiguousTree or errStackOverflow.
#include "archive/arlBase.h"

// Reads up to Count bytes into Buffer; 0 means no more data. May raise.
using TZipReadFunc = std::function<int32_t(uint8_t* Buffer, int32_t Count)>;
// Writes Count bytes; raises when they cannot be written.
using TZipWriteFunc = std::function<void(const uint8_t* Buffer, int32_t Count)>;

// Bits of an entry's compressed data, least significant first, through a 32768-byte buffer.
class TZipBitReader {
 public:
  static constexpr int32_t kBufferSize = 32768;

  // CompressedSize: the bytes the entry holds; the reader asks Read for no more than that in all.
  TZipBitReader(TZipReadFunc Read, int64_t CompressedSize);

  // The next N bits (1 <= N <= 16) as a number, or -1 when the input ends before N bits are there.
  int32_t ReadBits(int N);
  // True when no further bit can be had.
  bool AtEnd();
  // Compressed bytes not yet taken into the reader.
  int64_t Remaining() const { return Remaining_; }

 private:
  // Takes the next byte into the bit store; false at the end of input.
  bool Fill();
  TZipReadFunc Read_;
  int64_t Remaining_;
  std::unique_ptr<uint8_t[]> Buffer_;
  int32_t Pos_ = 0;
  int32_t Len_ = 0;
  bool End_ = false;
  uint32_t Bits_ = 0;  // bits not yet consumed, the next one lowest
  int Count_ = 0;      // how many of them
};

// The decoded bytes of one entry, collected in a 32768-byte buffer and written through Write, with an
// optional window for back-references. Flush writes what is buffered; the caller flushes at the end and
// after a failure (the destructor does not write).
class TZipOutput {
 public:
  static constexpr int32_t kBufferSize = 32768;

  // Expected: the declared uncompressed size. WindowSize: 0 for none, else a power of two.
  TZipOutput(TZipWriteFunc Write, int64_t Expected, int32_t WindowSize = 0);

  // One decoded byte; raises E_RAISE "Bad block" when the entry is already complete.
  void Put(uint8_t B);
  // Length bytes copied from Distance (>= 1) bytes back in the window, one at a time so that a copy may
  // overlap its own output; Distance beyond the window size is damaged data ("Bad block").
  void Copy(uint32_t Distance, uint32_t Length);
  void Flush();

  bool Complete() const { return Produced_ >= Expected_; }
  int64_t Produced() const { return Produced_; }
  int64_t Expected() const { return Expected_; }

 private:
  TZipWriteFunc Write_;
  int64_t Expected_;
  int64_t Produced_ = 0;
  std::vector<uint8_t> Buffer_;
  std::vector<uint8_t> Window_;
  uint32_t WindowMask_ = 0;
  uint32_t WindowPos_ = 0;
};
