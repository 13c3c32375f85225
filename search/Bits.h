// Rows of bits for the matchers' long patterns: TBitPlanes holds Rows rows of Bits positions each, packed
// into 32-bit words.
//
// Bit order, everywhere: position i of a row is bit 31 - (i mod 32) of word i div 32, the highest bit
// first. Shifting a row "by one" therefore moves every position to the next higher position, which is a
// right shift of the words with the lowest bit of a word carried into the top bit of the next word.
//
// Positions at or beyond Bits in the last word of a row exist in storage; operations that set a prefix of
// positions (OnesPlane) never set them, and a shift only moves them further out, so they never reach a
// position below Bits.
//
// The checked operations (TestBit, SetBit, GetPlane, SetPlane, the row operations) raise EBitPlanes for a
// row or position out of range or a row of the wrong size. Words gives unchecked access for inner loops.
// A TBitPlanes owns its rows; one thread uses it at a time.
#pragma once

#include <cstdint>
#include <vector>

#include "core/Exception.h"

class EBitPlanes : public Exception {
 public:
  using Exception::Exception;
};

// One row: WordsPerRow 32-bit words.
using TOneBitPlane = std::vector<uint32_t>;

// The word of a row that holds position Bit, and the mask of that position inside it.
constexpr int32_t BitWord(int32_t Bit) { return Bit / 32; }
constexpr uint32_t BitMask(int32_t Bit) { return uint32_t{1} << (31 - Bit % 32); }

class TBitPlanes {
 public:
  // Rows zero rows of ceil(Bits / 32) words. Negative counts raise EBitPlanes.
  TBitPlanes(int32_t Rows, int32_t Bits);

  int32_t Rows() const { return Rows_; }
  int32_t Bits() const { return Bits_; }
  int32_t WordsPerRow() const { return WordsPerRow_; }
  const std::vector<TOneBitPlane>& Planes() const { return Planes_; }

  // Word-wise AND / OR of two rows of WordsPerRow words.
  TOneBitPlane AndPlanes(const TOneBitPlane& A, const TOneBitPlane& B) const;
  TOneBitPlane OrPlanes(const TOneBitPlane& A, const TOneBitPlane& B) const;
  // Every position one towards higher positions; position 0 becomes clear.
  TOneBitPlane ShiftPlane(const TOneBitPlane& A) const;
  // A row with the first N positions set; N above Bits sets them all. A negative N raises EBitPlanes.
  TOneBitPlane OnesPlane(int32_t N) const;

  bool TestBit(int32_t Row, int32_t Bit) const;
  void SetBit(int32_t Row, int32_t Bit, bool Value);
  TOneBitPlane GetPlane(int32_t Row) const;
  void SetPlane(int32_t Row, const TOneBitPlane& Plane);

  // The words of a stored row, unchecked. Precondition: 0 <= Row < Rows.
  uint32_t* Words(int32_t Row) { return Planes_[Row].data(); }
  const uint32_t* Words(int32_t Row) const { return Planes_[Row].data(); }

 private:
  void CheckRow(int32_t Row) const;
  void CheckBit(int32_t Bit) const;
  void CheckPlane(const TOneBitPlane& Plane) const;

  std::vector<TOneBitPlane> Planes_;
  int32_t Bits_;
  int32_t Rows_;
  int32_t WordsPerRow_;
};
