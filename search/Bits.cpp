#include "search/Bits.h"

#include <algorithm>
#include <string>

namespace {

std::string RangeText(int32_t Value, int32_t Count) {
  return std::to_string(Value) + " out of range (0.." + std::to_string(Count - 1) + ")";
}

}  // namespace

TBitPlanes::TBitPlanes(int32_t Rows, int32_t Bits) : Bits_(Bits), Rows_(Rows) {
  if (Rows < 0 || Bits < 0) {
    throw EBitPlanes("Bit planes of " + std::to_string(Rows) + " rows of " + std::to_string(Bits) +
                     " bits cannot be made");
  }
  // Rounded up in 64 bits: Bits + 31 would wrap near the 32-bit limit.
  WordsPerRow_ = static_cast<int32_t>((int64_t{Bits} + 31) / 32);
  Planes_.assign(static_cast<size_t>(Rows), TOneBitPlane(static_cast<size_t>(WordsPerRow_), 0));
}

void TBitPlanes::CheckRow(int32_t Row) const {
  if (Row < 0 || Row >= Rows_) throw EBitPlanes("Bit plane row " + RangeText(Row, Rows_));
}

void TBitPlanes::CheckBit(int32_t Bit) const {
  if (Bit < 0 || Bit >= Bits_) throw EBitPlanes("Bit plane position " + RangeText(Bit, Bits_));
}

void TBitPlanes::CheckPlane(const TOneBitPlane& Plane) const {
  if (Plane.size() != static_cast<size_t>(WordsPerRow_)) {
    throw EBitPlanes("Bit plane of " + std::to_string(Plane.size()) + " words where " +
                     std::to_string(WordsPerRow_) + " are needed");
  }
}

TOneBitPlane TBitPlanes::AndPlanes(const TOneBitPlane& A, const TOneBitPlane& B) const {
  CheckPlane(A);
  CheckPlane(B);
  TOneBitPlane Result(A.size());
  for (size_t W = 0; W < A.size(); ++W) Result[W] = A[W] & B[W];
  return Result;
}

TOneBitPlane TBitPlanes::OrPlanes(const TOneBitPlane& A, const TOneBitPlane& B) const {
  CheckPlane(A);
  CheckPlane(B);
  TOneBitPlane Result(A.size());
  for (size_t W = 0; W < A.size(); ++W) Result[W] = A[W] | B[W];
  return Result;
}

TOneBitPlane TBitPlanes::ShiftPlane(const TOneBitPlane& A) const {
  CheckPlane(A);
  TOneBitPlane Result(A.size());
  for (size_t W = 0; W < A.size(); ++W) {
    Result[W] = A[W] >> 1;
    if (W > 0) Result[W] |= A[W - 1] << 31;
  }
  return Result;
}

TOneBitPlane TBitPlanes::OnesPlane(int32_t N) const {
  if (N < 0) throw EBitPlanes("Bit plane prefix of " + std::to_string(N) + " positions");
  N = std::min(N, Bits_);
  TOneBitPlane Result(static_cast<size_t>(WordsPerRow_), 0);
  const int32_t FullWords = N / 32;
  std::fill(Result.begin(), Result.begin() + FullWords, ~uint32_t{0});
  // A partial word only when N is not a multiple of 32: a full last word has no next word to write.
  if (N % 32 != 0) Result[FullWords] = ~uint32_t{0} << (32 - N % 32);
  return Result;
}

bool TBitPlanes::TestBit(int32_t Row, int32_t Bit) const {
  CheckRow(Row);
  CheckBit(Bit);
  return (Planes_[Row][BitWord(Bit)] & BitMask(Bit)) != 0;
}

void TBitPlanes::SetBit(int32_t Row, int32_t Bit, bool Value) {
  CheckRow(Row);
  CheckBit(Bit);
  uint32_t& Word = Planes_[Row][BitWord(Bit)];
  if (Value) {
    Word |= BitMask(Bit);
  } else {
    Word &= ~BitMask(Bit);
  }
}

TOneBitPlane TBitPlanes::GetPlane(int32_t Row) const {
  CheckRow(Row);
  return Planes_[Row];
}

void TBitPlanes::SetPlane(int32_t Row, const TOneBitPlane& Plane) {
  CheckRow(Row);
  CheckPlane(Plane);
  Planes_[Row] = Plane;
}
