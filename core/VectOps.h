// Whole-array element loops behind the number and Boolean vectors, reached through two routine tables
// indexed by operation and element type, so that a vector calls "add vector of my element type" without
// knowing which implementation is installed. Both tables start with the plain loops; at start-up, after
// DetectCPU, the entries of the 8-bit and 16-bit integer operations are switched to packed SSE2 loops when
// the processor has them. Every installed routine gives exactly the results of the plain routine.
//
// Routine shapes (Count <= 0 does nothing, and a sum is then 0):
//   vector routine  (Dest, Src, Count):    Dest[i] = Dest[i] op Src[i]
//   scalar routine  (Dest, Scalar, Count): Dest[i] = Dest[i] op *Scalar (the scalar is read once)
//   sum routine     (P, Q, Count):         a sum over P (and Q for dot products; plain sums ignore Q)
//   add-scaled      (Dest, Src, Count, F): Dest[i] = F * Src[i] + Dest[i]
// Integer results wrap modulo 2^width. Signed division truncates toward zero, and MIN divided by -1 stores
// MIN for every width. Integer division by zero raises EDivByZero before any element changes (scalar) or
// with the elements before the failing one already divided (vector). Floating-point work is done in long
// double (80-bit on x86-64) and stored in the element's format.
//
// The tables are written only at start-up (and by tests through InstallVectRoutines); afterwards they are
// read-only and any thread may call through them.
#pragma once

#include <cstdint>

#include "core/Exception.h"

// Integer division by zero in a vector or element routine.
class EDivByZero : public Exception {
 public:
  EDivByZero() : Exception("Division by zero") {}
  const char* ClassName() const noexcept override { return "EDivByZero"; }
};

using TVectRoutine = void (*)(void* Dest, const void* Src, int32_t Count);
using TIntStatRoutine = int32_t (*)(const void* P, const void* Q, int32_t Count);
using TFloatStatRoutine = long double (*)(const void* P, const void* Q, int32_t Count);
using TAddScaledRoutine = void (*)(void* Dest, const void* Src, int32_t Count, long double Factor);

constexpr int kVectOpEntries = 64;

// VectOpTable entries (element types in entry order):
//    0- 7  add/subtract vector, alternating: Int8, UInt8, Int16, UInt16
//    8     multiply by scalar: Int16
//    9-14  add/subtract vector: Int32, UInt32, Int64
//   15-28  add/subtract scalar: Int8, UInt8, Int16, UInt16, Int32, UInt32, Int64
//   29-31  multiply vector: Single, Double, Extended
//   32-34  divide vector: Single, Double, Extended
//   35-48  multiply/divide by scalar: Int8, UInt8, Int16, UInt16, Int32, UInt32, Int64
//   49-54  add/subtract vector: Single, Double, Extended
//   55-60  add/subtract scalar: Single, Double, Extended
//   61-63  multiply by scalar: Single, Double, Extended
extern TVectRoutine VectOpTable[kVectOpEntries];

// VectStatTable, 19 entries seen through three views:
//   entries  0- 6 = IntStat[0..6]:   sums of Int8, UInt8, Int16, UInt16, Int32, UInt32 (32-bit, wrapping),
//                                   then the Int16 dot product
//   entries  7-15 = FloatStat[0..8]: sum, sum of squares, dot product, each for Single, Double, Extended
//   entries 16-18 = AddScaled[0..2]: add scaled for Single, Double, Extended
struct TVectStatTable {
  TIntStatRoutine IntStat[7];
  TFloatStatRoutine FloatStat[9];
  TAddScaledRoutine AddScaled[3];
};
extern TVectStatTable VectStatTable;

constexpr int kFirstFloatStatEntry = 7;
constexpr int kFirstAddScaledEntry = 16;

// Refills both tables with the plain loops, then, when UseSimd is set, installs the packed forms of
// entries 0-8 and 15-22 and of statistics entry 6. Start-up calls it once with HasSSE2; tests call it to
// compare both sets.
void InstallVectRoutines(bool UseSimd);

// Byte loops called by name.
void AndBytes(void* Dest, const void* Src, int32_t Count);
void OrBytes(void* Dest, const void* Src, int32_t Count);
void XorBytes(void* Dest, const void* Src, int32_t Count);
// Flips bit 0 of every byte: inverts Booleans stored as bytes 0 and 1.
void InvertBoolBytes(void* Dest, int32_t Count);
// The 32-bit sum of Count unsigned bytes.
int32_t SumBytes(const void* P, int32_t Count);
