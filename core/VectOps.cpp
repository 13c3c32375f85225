#include "core/VectOps.h"

#include <cstring>

#include "core/CpuInfo.h"
#include "core/NumberRules.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// ---- element-wise routines, integer and floating point (see NumberRules.h for each operation) ----

template <class T, T (*Op)(T, T)>
void VecRoutine(void* Dest, const void* Src, int32_t Count) {
  T* D = static_cast<T*>(Dest);
  const T* S = static_cast<const T*>(Src);
  for (int32_t I = 0; I < Count; ++I) D[I] = Op(D[I], S[I]);
}

// The scalar is read once. A zero integer divisor raises before any element changes.
template <class T, T (*Op)(T, T)>
void ScalarRoutine(void* Dest, const void* Scalar, int32_t Count) {
  T* D = static_cast<T*>(Dest);
  const T V = *static_cast<const T*>(Scalar);
  for (int32_t I = 0; I < Count; ++I) D[I] = Op(D[I], V);
}

template <class T>
constexpr TVectRoutine AddVec = VecRoutine<T, ElemAdd<T>>;
template <class T>
constexpr TVectRoutine SubVec = VecRoutine<T, ElemSub<T>>;
template <class T>
constexpr TVectRoutine MulVec = VecRoutine<T, ElemMul<T>>;
template <class T>
constexpr TVectRoutine DivVec = VecRoutine<T, ElemDiv<T>>;
template <class T>
constexpr TVectRoutine AddScalar = ScalarRoutine<T, ElemAdd<T>>;
template <class T>
constexpr TVectRoutine SubScalar = ScalarRoutine<T, ElemSub<T>>;
template <class T>
constexpr TVectRoutine MulScalar = ScalarRoutine<T, ElemMul<T>>;
template <class T>
constexpr TVectRoutine DivScalar = ScalarRoutine<T, ElemDiv<T>>;

// 32-bit wrapping sum; the elements are taken as values of T (signed or unsigned).
template <class T>
int32_t IntSum(const void* P, const void*, int32_t Count) {
  const T* S = static_cast<const T*>(P);
  uint32_t Total = 0;
  for (int32_t I = 0; I < Count; ++I) Total += static_cast<uint32_t>(static_cast<int64_t>(S[I]));
  return static_cast<int32_t>(Total);
}

// Sum of the products of signed 16-bit elements, 32-bit wrapping.
int32_t DotInt16(const void* P, const void* Q, int32_t Count) {
  const int16_t* A = static_cast<const int16_t*>(P);
  const int16_t* B = static_cast<const int16_t*>(Q);
  uint32_t Total = 0;
  for (int32_t I = 0; I < Count; ++I) Total += static_cast<uint32_t>(int32_t{A[I]} * int32_t{B[I]});
  return static_cast<int32_t>(Total);
}

// ---- floating-point statistics: accumulated in long double ----

// Single and Double: four partial sums over groups of four taken from the end of the block toward its
// start; the elements left over at the start go into the first partial sum. Extended: one accumulator.
template <class T>
long double FSum(const void* P, const void*, int32_t Count) {
  const T* S = static_cast<const T*>(P);
  if constexpr (std::is_same_v<T, long double>) {
    long double Total = 0;
    for (int32_t I = 0; I < Count; ++I) Total += S[I];
    return Total;
  } else {
    long double S0 = 0, S1 = 0, S2 = 0, S3 = 0;
    int32_t I = Count;
    for (; I >= 4; I -= 4) {
      S0 += S[I - 4];
      S1 += S[I - 3];
      S2 += S[I - 2];
      S3 += S[I - 1];
    }
    while (I > 0) S0 += S[--I];
    return S0 + S1 + S2 + S3;
  }
}

template <class T>
long double FSqrSum(const void* P, const void*, int32_t Count) {
  const T* S = static_cast<const T*>(P);
  long double Total = 0;
  for (int32_t I = 0; I < Count; ++I) Total += static_cast<long double>(S[I]) * S[I];
  return Total;
}

template <class T>
long double FDot(const void* P, const void* Q, int32_t Count) {
  const T* A = static_cast<const T*>(P);
  const T* B = static_cast<const T*>(Q);
  long double Total = 0;
  for (int32_t I = 0; I < Count; ++I) Total += static_cast<long double>(A[I]) * B[I];
  return Total;
}

template <class T>
void FAddScaled(void* Dest, const void* Src, int32_t Count, long double Factor) {
  T* D = static_cast<T*>(Dest);
  const T* S = static_cast<const T*>(Src);
  for (int32_t I = 0; I < Count; ++I) D[I] = static_cast<T>(Factor * S[I] + D[I]);
}

using Ext = long double;

constexpr TVectRoutine kPlainOps[kVectOpEntries] = {
    AddVec<int8_t>,     SubVec<int8_t>,     AddVec<uint8_t>,     SubVec<uint8_t>,      // 0-3
    AddVec<int16_t>,    SubVec<int16_t>,    AddVec<uint16_t>,    SubVec<uint16_t>,     // 4-7
    MulScalar<int16_t>,                                                                // 8
    AddVec<int32_t>,    SubVec<int32_t>,    AddVec<uint32_t>,    SubVec<uint32_t>,     // 9-12
    AddVec<int64_t>,    SubVec<int64_t>,                                               // 13-14
    AddScalar<int8_t>,  SubScalar<int8_t>,  AddScalar<uint8_t>,  SubScalar<uint8_t>,   // 15-18
    AddScalar<int16_t>, SubScalar<int16_t>, AddScalar<uint16_t>, SubScalar<uint16_t>,  // 19-22
    AddScalar<int32_t>, SubScalar<int32_t>, AddScalar<uint32_t>, SubScalar<uint32_t>,  // 23-26
    AddScalar<int64_t>, SubScalar<int64_t>,                                            // 27-28
    MulVec<float>,      MulVec<double>,     MulVec<Ext>,                               // 29-31
    DivVec<float>,      DivVec<double>,     DivVec<Ext>,                               // 32-34
    MulScalar<int8_t>,  DivScalar<int8_t>,  MulScalar<uint8_t>,  DivScalar<uint8_t>,   // 35-38
    MulScalar<int16_t>, DivScalar<int16_t>, MulScalar<uint16_t>, DivScalar<uint16_t>,  // 39-42
    MulScalar<int32_t>, DivScalar<int32_t>, MulScalar<uint32_t>, DivScalar<uint32_t>,  // 43-46
    MulScalar<int64_t>, DivScalar<int64_t>,                                            // 47-48
    AddVec<float>,      SubVec<float>,      AddVec<double>,      SubVec<double>,       // 49-52
    AddVec<Ext>,        SubVec<Ext>,                                                   // 53-54
    AddScalar<float>,   SubScalar<float>,   AddScalar<double>,   SubScalar<double>,    // 55-58
    AddScalar<Ext>,     SubScalar<Ext>,                                                // 59-60
    MulScalar<float>,   MulScalar<double>,  MulScalar<Ext>,                            // 61-63
};

constexpr TVectStatTable kPlainStats = {
    {IntSum<int8_t>, IntSum<uint8_t>, IntSum<int16_t>, IntSum<uint16_t>, IntSum<int32_t>, IntSum<uint32_t>,
     DotInt16},
    {FSum<float>, FSum<double>, FSum<Ext>, FSqrSum<float>, FSqrSum<double>, FSqrSum<Ext>, FDot<float>,
     FDot<double>, FDot<Ext>},
    {FAddScaled<float>, FAddScaled<double>, FAddScaled<Ext>},
};

// ---- packed SSE2 forms of entries 0-8, 15-22 and statistics entry 6 ----
#if defined(__SSE2__)

constexpr int32_t kLane = 16;  // bytes per 128-bit register

__m128i Load(const void* P) { return _mm_loadu_si128(static_cast<const __m128i*>(P)); }
void Store(void* P, __m128i V) { _mm_storeu_si128(static_cast<__m128i*>(P), V); }

// Applies Packed to every full 16-byte group, then Tail to the elements that are left.
template <class T, class PackedOp, class TailOp>
void PackedVec(void* Dest, const void* Src, int32_t Count, PackedOp Packed, TailOp Tail) {
  T* D = static_cast<T*>(Dest);
  const T* S = static_cast<const T*>(Src);
  constexpr int32_t kPerStep = kLane / sizeof(T);
  int32_t I = 0;
  for (; I + kPerStep <= Count; I += kPerStep) Store(D + I, Packed(Load(D + I), Load(S + I)));
  if (I < Count) Tail(D + I, S + I, Count - I);
}

template <class T, class PackedOp, class TailOp>
void PackedScalar(void* Dest, const void* Scalar, int32_t Count, __m128i Splat, PackedOp Packed,
                  TailOp Tail) {
  T* D = static_cast<T*>(Dest);
  constexpr int32_t kPerStep = kLane / sizeof(T);
  int32_t I = 0;
  for (; I + kPerStep <= Count; I += kPerStep) Store(D + I, Packed(Load(D + I), Splat));
  if (I < Count) Tail(D + I, Scalar, Count - I);
}

void SseAdd8(void* D, const void* S, int32_t N) {
  PackedVec<uint8_t>(
      D, S, N, [](__m128i A, __m128i B) { return _mm_add_epi8(A, B); }, AddVec<uint8_t>);
}
void SseSub8(void* D, const void* S, int32_t N) {
  PackedVec<uint8_t>(
      D, S, N, [](__m128i A, __m128i B) { return _mm_sub_epi8(A, B); }, SubVec<uint8_t>);
}
void SseAdd16(void* D, const void* S, int32_t N) {
  PackedVec<uint16_t>(
      D, S, N, [](__m128i A, __m128i B) { return _mm_add_epi16(A, B); }, AddVec<uint16_t>);
}
void SseSub16(void* D, const void* S, int32_t N) {
  PackedVec<uint16_t>(
      D, S, N, [](__m128i A, __m128i B) { return _mm_sub_epi16(A, B); }, SubVec<uint16_t>);
}

__m128i Splat8(const void* S) { return _mm_set1_epi8(static_cast<char>(*static_cast<const uint8_t*>(S))); }
__m128i Splat16(const void* S) {
  return _mm_set1_epi16(static_cast<short>(*static_cast<const uint16_t*>(S)));
}

void SseAddScalar8(void* D, const void* S, int32_t N) {
  PackedScalar<uint8_t>(
      D, S, N, Splat8(S), [](__m128i A, __m128i B) { return _mm_add_epi8(A, B); }, AddScalar<uint8_t>);
}
void SseSubScalar8(void* D, const void* S, int32_t N) {
  PackedScalar<uint8_t>(
      D, S, N, Splat8(S), [](__m128i A, __m128i B) { return _mm_sub_epi8(A, B); }, SubScalar<uint8_t>);
}
void SseAddScalar16(void* D, const void* S, int32_t N) {
  PackedScalar<uint16_t>(
      D, S, N, Splat16(S), [](__m128i A, __m128i B) { return _mm_add_epi16(A, B); }, AddScalar<uint16_t>);
}
void SseSubScalar16(void* D, const void* S, int32_t N) {
  PackedScalar<uint16_t>(
      D, S, N, Splat16(S), [](__m128i A, __m128i B) { return _mm_sub_epi16(A, B); }, SubScalar<uint16_t>);
}
void SseMulScalar16(void* D, const void* S, int32_t N) {
  PackedScalar<uint16_t>(
      D, S, N, Splat16(S), [](__m128i A, __m128i B) { return _mm_mullo_epi16(A, B); }, MulScalar<uint16_t>);
}

// Pairwise multiply-add of signed words into four 32-bit lanes; lanes and total wrap modulo 2^32, which
// equals the plain 32-bit wrapping sum.
int32_t SseDotInt16(const void* P, const void* Q, int32_t Count) {
  const int16_t* A = static_cast<const int16_t*>(P);
  const int16_t* B = static_cast<const int16_t*>(Q);
  __m128i Acc = _mm_setzero_si128();
  int32_t I = 0;
  for (; I + 8 <= Count; I += 8) Acc = _mm_add_epi32(Acc, _mm_madd_epi16(Load(A + I), Load(B + I)));
  uint32_t Lanes[4];
  Store(Lanes, Acc);
  const uint32_t Total = Lanes[0] + Lanes[1] + Lanes[2] + Lanes[3];
  return static_cast<int32_t>(Total + static_cast<uint32_t>(DotInt16(A + I, B + I, Count - I)));
}

void InstallSimdRoutines() {
  VectOpTable[0] = SseAdd8;
  VectOpTable[1] = SseSub8;
  VectOpTable[2] = SseAdd8;
  VectOpTable[3] = SseSub8;
  VectOpTable[4] = SseAdd16;
  VectOpTable[5] = SseSub16;
  VectOpTable[6] = SseAdd16;
  VectOpTable[7] = SseSub16;
  VectOpTable[8] = SseMulScalar16;
  VectOpTable[15] = SseAddScalar8;
  VectOpTable[16] = SseSubScalar8;
  VectOpTable[17] = SseAddScalar8;
  VectOpTable[18] = SseSubScalar8;
  VectOpTable[19] = SseAddScalar16;
  VectOpTable[20] = SseSubScalar16;
  VectOpTable[21] = SseAddScalar16;
  VectOpTable[22] = SseSubScalar16;
  VectStatTable.IntStat[6] = SseDotInt16;
}

#else

void InstallSimdRoutines() {}

#endif

// Start-up: the processor facts first, then the routine choice, exactly once.
[[maybe_unused]] const bool kRoutinesReady = [] {
  DetectCPU();
  InstallVectRoutines(HasSSE2);
  return true;
}();

}  // namespace

constinit TVectRoutine VectOpTable[kVectOpEntries] = {
    kPlainOps[0],  kPlainOps[1],  kPlainOps[2],  kPlainOps[3],  kPlainOps[4],  kPlainOps[5],  kPlainOps[6],
    kPlainOps[7],  kPlainOps[8],  kPlainOps[9],  kPlainOps[10], kPlainOps[11], kPlainOps[12], kPlainOps[13],
    kPlainOps[14], kPlainOps[15], kPlainOps[16], kPlainOps[17], kPlainOps[18], kPlainOps[19], kPlainOps[20],
    kPlainOps[21], kPlainOps[22], kPlainOps[23], kPlainOps[24], kPlainOps[25], kPlainOps[26], kPlainOps[27],
    kPlainOps[28], kPlainOps[29], kPlainOps[30], kPlainOps[31], kPlainOps[32], kPlainOps[33], kPlainOps[34],
    kPlainOps[35], kPlainOps[36], kPlainOps[37], kPlainOps[38], kPlainOps[39], kPlainOps[40], kPlainOps[41],
    kPlainOps[42], kPlainOps[43], kPlainOps[44], kPlainOps[45], kPlainOps[46], kPlainOps[47], kPlainOps[48],
    kPlainOps[49], kPlainOps[50], kPlainOps[51], kPlainOps[52], kPlainOps[53], kPlainOps[54], kPlainOps[55],
    kPlainOps[56], kPlainOps[57], kPlainOps[58], kPlainOps[59], kPlainOps[60], kPlainOps[61], kPlainOps[62],
    kPlainOps[63],
};

constinit TVectStatTable VectStatTable = kPlainStats;

void InstallVectRoutines(bool UseSimd) {
  std::memcpy(VectOpTable, kPlainOps, sizeof(VectOpTable));
  VectStatTable = kPlainStats;
  if (UseSimd) InstallSimdRoutines();
}

// ---- byte loops called by name: four bytes at a time, then the rest ----

namespace {

template <class Op>
void ByteLoop(void* Dest, const void* Src, int32_t Count, Op Combine) {
  uint8_t* D = static_cast<uint8_t*>(Dest);
  const uint8_t* S = static_cast<const uint8_t*>(Src);
  int32_t I = 0;
  for (; I + 4 <= Count; I += 4) {
    uint32_t A, B;
    std::memcpy(&A, D + I, 4);
    std::memcpy(&B, S + I, 4);
    A = Combine(A, B);
    std::memcpy(D + I, &A, 4);
  }
  for (; I < Count; ++I) D[I] = static_cast<uint8_t>(Combine(D[I], S[I]));
}

}  // namespace

void AndBytes(void* Dest, const void* Src, int32_t Count) {
  ByteLoop(Dest, Src, Count, [](uint32_t A, uint32_t B) { return A & B; });
}

void OrBytes(void* Dest, const void* Src, int32_t Count) {
  ByteLoop(Dest, Src, Count, [](uint32_t A, uint32_t B) { return A | B; });
}

void XorBytes(void* Dest, const void* Src, int32_t Count) {
  ByteLoop(Dest, Src, Count, [](uint32_t A, uint32_t B) { return A ^ B; });
}

void InvertBoolBytes(void* Dest, int32_t Count) {
  uint8_t* D = static_cast<uint8_t*>(Dest);
  int32_t I = 0;
  for (; I + 4 <= Count; I += 4) {
    uint32_t A;
    std::memcpy(&A, D + I, 4);
    A ^= 0x01010101u;  // bit 0 of each of the four bytes
    std::memcpy(D + I, &A, 4);
  }
  for (; I < Count; ++I) D[I] ^= 1;
}

int32_t SumBytes(const void* P, int32_t Count) {
  const uint8_t* S = static_cast<const uint8_t*>(P);
  uint32_t Total = 0;
  for (int32_t I = 0; I < Count; ++I) Total += S[I];
  return static_cast<int32_t>(Total);
}
