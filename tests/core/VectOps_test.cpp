// Element routine tables: every entry a vector uses, the wrapping and division rules, the packed forms
// against the plain ones, the byte loops, and processor detection from given identification answers.
#include "core/VectOps.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/CpuInfo.h"

namespace {

// Restores the start-up choice of routines after a test that switched them.
struct RoutineGuard {
  ~RoutineGuard() { InstallVectRoutines(HasSSE2); }
};

template <class T>
std::vector<T> ApplyOp(int Entry, std::vector<T> Dest, const std::vector<T>& Src) {
  VectOpTable[Entry](Dest.data(), Src.data(), static_cast<int32_t>(Dest.size()));
  return Dest;
}

template <class T>
std::vector<T> ApplyScalar(int Entry, std::vector<T> Dest, T Scalar) {
  VectOpTable[Entry](Dest.data(), &Scalar, static_cast<int32_t>(Dest.size()));
  return Dest;
}

TEST(VectOps, IntegerEntries) {
  using I8 = std::vector<int8_t>;
  using U8 = std::vector<uint8_t>;
  using I16 = std::vector<int16_t>;
  using U16 = std::vector<uint16_t>;
  using I32 = std::vector<int32_t>;
  using U32 = std::vector<uint32_t>;
  using I64 = std::vector<int64_t>;
  for (bool Simd : {false, true}) {
    RoutineGuard Guard;
    InstallVectRoutines(Simd);
    SCOPED_TRACE(Simd ? "packed" : "plain");
    EXPECT_EQ(ApplyOp<int8_t>(0, {127, -1}, {1, -128}), (I8{-128, 127}));
    EXPECT_EQ(ApplyOp<int8_t>(1, {-128, 0}, {1, -128}), (I8{127, -128}));
    EXPECT_EQ(ApplyOp<uint8_t>(2, {200, 1}, {100, 2}), (U8{44, 3}));
    EXPECT_EQ(ApplyOp<uint8_t>(3, {0, 5}, {1, 2}), (U8{255, 3}));
    EXPECT_EQ(ApplyOp<int16_t>(4, {32767, 5}, {1, -6}), (I16{-32768, -1}));
    EXPECT_EQ(ApplyOp<int16_t>(5, {-32768, 5}, {1, 6}), (I16{32767, -1}));
    EXPECT_EQ(ApplyOp<uint16_t>(6, {65535, 1}, {2, 2}), (U16{1, 3}));
    EXPECT_EQ(ApplyOp<uint16_t>(7, {0, 9}, {1, 2}), (U16{65535, 7}));
    EXPECT_EQ(ApplyScalar<int16_t>(8, {300, -2, 1}, 300), (I16{24464, -600, 300}));
    EXPECT_EQ(ApplyOp<int32_t>(9, {INT32_MAX, 1, 2}, {1, 1, 1}), (I32{INT32_MIN, 2, 3}));
    EXPECT_EQ(ApplyOp<int32_t>(10, {INT32_MIN, 1, 2}, {1, 1, 5}), (I32{INT32_MAX, 0, -3}));
    EXPECT_EQ(ApplyOp<uint32_t>(11, {0xFFFFFFFFu}, {2}), (U32{1}));
    EXPECT_EQ(ApplyOp<uint32_t>(12, {0}, {1}), (U32{0xFFFFFFFFu}));
    EXPECT_EQ(ApplyOp<int64_t>(13, {INT64_MAX, 0xFFFFFFFF}, {1, 1}), (I64{INT64_MIN, 0x100000000}));
    EXPECT_EQ(ApplyOp<int64_t>(14, {INT64_MIN, 0x100000000}, {1, 1}), (I64{INT64_MAX, 0xFFFFFFFF}));
    EXPECT_EQ(ApplyScalar<int8_t>(15, {127, 0}, 1), (I8{-128, 1}));
    EXPECT_EQ(ApplyScalar<int8_t>(16, {-128, 0}, 1), (I8{127, -1}));
    EXPECT_EQ(ApplyScalar<uint8_t>(17, {100, 0}, 200), (U8{44, 200}));
    EXPECT_EQ(ApplyScalar<uint8_t>(18, {0, 255}, 1), (U8{255, 254}));
    EXPECT_EQ(ApplyScalar<int16_t>(19, {32767}, 1), (I16{-32768}));
    EXPECT_EQ(ApplyScalar<int16_t>(20, {-32768}, 1), (I16{32767}));
    EXPECT_EQ(ApplyScalar<uint16_t>(21, {65535}, 1), (U16{0}));
    EXPECT_EQ(ApplyScalar<uint16_t>(22, {0}, 1), (U16{65535}));
    EXPECT_EQ(ApplyScalar<int32_t>(23, {INT32_MAX, 0, 5}, 1), (I32{INT32_MIN, 1, 6}));
    EXPECT_EQ(ApplyScalar<int32_t>(24, {INT32_MIN, 0, 5}, 1), (I32{INT32_MAX, -1, 4}));
    EXPECT_EQ(ApplyScalar<uint32_t>(25, {0xFFFFFFFFu}, 1u), (U32{0}));
    EXPECT_EQ(ApplyScalar<uint32_t>(26, {0}, 1u), (U32{0xFFFFFFFFu}));
    EXPECT_EQ(ApplyScalar<int64_t>(27, {INT64_MAX}, 1), (I64{INT64_MIN}));
    EXPECT_EQ(ApplyScalar<int64_t>(28, {INT64_MIN}, 1), (I64{INT64_MAX}));
    EXPECT_EQ(ApplyScalar<int8_t>(35, {100, -3}, 3), (I8{44, -9}));
    EXPECT_EQ(ApplyScalar<int8_t>(36, {-128, -7, 7}, -1), (I8{-128, 7, -7}));
    EXPECT_EQ(ApplyScalar<int8_t>(36, {-7, 7}, 2), (I8{-3, 3}));
    EXPECT_EQ(ApplyScalar<uint8_t>(37, {100}, 3), (U8{44}));
    EXPECT_EQ(ApplyScalar<uint8_t>(38, {255, 7}, 2), (U8{127, 3}));
    EXPECT_EQ(ApplyScalar<int16_t>(39, {300}, 300), (I16{24464}));
    EXPECT_EQ(ApplyScalar<int16_t>(40, {-32768, -7}, -1), (I16{-32768, 7}));
    EXPECT_EQ(ApplyScalar<uint16_t>(41, {65535}, 2), (U16{65534}));
    EXPECT_EQ(ApplyScalar<uint16_t>(42, {65535}, 2), (U16{32767}));
    EXPECT_EQ(ApplyScalar<int32_t>(43, {0x10000, -3}, 0x10000), (I32{0, -0x30000}));
    EXPECT_EQ(ApplyScalar<int32_t>(44, {INT32_MIN, -7, 7}, -1), (I32{INT32_MIN, 7, -7}));
    EXPECT_EQ(ApplyScalar<int32_t>(44, {-7, 7}, 2), (I32{-3, 3}));
    EXPECT_EQ(ApplyScalar<uint32_t>(45, {0x80000000u}, 2u), (U32{0}));
    EXPECT_EQ(ApplyScalar<uint32_t>(46, {0xFFFFFFFFu}, 2u), (U32{0x7FFFFFFFu}));
    EXPECT_EQ(ApplyScalar<int64_t>(47, {INT64_MAX}, 2), (I64{-2}));
    EXPECT_EQ(ApplyScalar<int64_t>(48, {INT64_MIN, -7}, -1), (I64{INT64_MIN, 7}));
  }
}

TEST(VectOps, IntegerDivisionByZeroRaisesBeforeAnyChange) {
  for (int Entry : {36, 38, 40, 42, 44, 46, 48}) {
    int64_t Block[2] = {5, 6};
    int64_t Zero = 0;
    EXPECT_THROW(VectOpTable[Entry](Block, &Zero, 2), EDivByZero) << Entry;
    EXPECT_EQ(Block[0], 5) << Entry;
    EXPECT_EQ(Block[1], 6) << Entry;
    VectOpTable[Entry](Block, &Zero, 0);  // nothing to divide: no error
  }
}

TEST(VectOps, FloatingPointEntries) {
  using F = std::vector<float>;
  using D = std::vector<double>;
  using E = std::vector<long double>;
  EXPECT_EQ(ApplyOp<float>(29, {1.5f, 2}, {2, -3}), (F{3, -6}));
  EXPECT_EQ(ApplyOp<double>(30, {1.5, 2}, {2, -3}), (D{3, -6}));
  EXPECT_EQ(ApplyOp<long double>(31, {1.5L}, {2}), (E{3}));
  EXPECT_EQ(ApplyOp<float>(32, {3, 1}, {2, 4}), (F{1.5f, 0.25f}));
  EXPECT_EQ(ApplyOp<double>(33, {3, 1}, {2, 4}), (D{1.5, 0.25}));
  EXPECT_EQ(ApplyOp<long double>(34, {3}, {2}), (E{1.5L}));
  EXPECT_EQ(ApplyOp<float>(49, {1, 2}, {0.5f, 1}), (F{1.5f, 3}));
  EXPECT_EQ(ApplyOp<float>(50, {1, 2}, {0.5f, 1}), (F{0.5f, 1}));
  EXPECT_EQ(ApplyOp<double>(51, {1, 2}, {0.5, 1}), (D{1.5, 3}));
  EXPECT_EQ(ApplyOp<double>(52, {1, 2}, {0.5, 1}), (D{0.5, 1}));
  EXPECT_EQ(ApplyOp<long double>(53, {1}, {0.5L}), (E{1.5L}));
  EXPECT_EQ(ApplyOp<long double>(54, {1}, {0.5L}), (E{0.5L}));
  EXPECT_EQ(ApplyScalar<float>(55, {1, 2}, 0.5f), (F{1.5f, 2.5f}));
  EXPECT_EQ(ApplyScalar<float>(56, {1, 2}, 0.5f), (F{0.5f, 1.5f}));
  EXPECT_EQ(ApplyScalar<double>(57, {1, 2}, 0.5), (D{1.5, 2.5}));
  EXPECT_EQ(ApplyScalar<double>(58, {1, 2}, 0.5), (D{0.5, 1.5}));
  EXPECT_EQ(ApplyScalar<long double>(59, {1}, 0.5L), (E{1.5L}));
  EXPECT_EQ(ApplyScalar<long double>(60, {1}, 0.5L), (E{0.5L}));
  EXPECT_EQ(ApplyScalar<float>(61, {3}, 0.5f), (F{1.5f}));
  EXPECT_EQ(ApplyScalar<double>(62, {3}, 0.5), (D{1.5}));
  EXPECT_EQ(ApplyScalar<long double>(63, {3}, 0.5L), (E{1.5L}));
}

TEST(VectOps, SumEntries) {
  const int8_t I8[] = {-1, -1, -128, 5, 3};
  const uint8_t U8[] = {255, 255, 1, 1, 1};
  const int16_t I16[] = {-1, -2, 3, 4, -32768};
  const uint16_t U16[] = {65535, 1, 2, 3, 4};
  const int32_t I32[] = {INT32_MAX, 1, 2, 3, 4};
  const uint32_t U32[] = {0xFFFFFFFFu, 2, 0, 0, 0};
  const int16_t Dot[] = {-32768, -32768, 2, 3, 4, 5, 6, 7, 8};
  struct Case {
    int Entry;
    const void* P;
    const void* Q;
    int32_t Count;
    int32_t Expected;
  };
  const Case Cases[] = {
      {0, I8, I8, 2, -2},
      {0, I8, I8, 5, -122},
      {1, U8, U8, 2, 510},
      {1, U8, U8, 0, 0},
      {2, I16, I16, 5, -32764},
      {3, U16, U16, 5, 65545},
      {4, I32, I32, 5, INT32_MIN + 9},
      {5, U32, U32, 2, 1},
      {4, I32, I32, -3, 0},
      // -32768 * -32768 twice is 2^31, which wraps to the minimum in a 32-bit total.
      {6, Dot, Dot, 2, INT32_MIN},
      {6, Dot, Dot, 9, INT32_MIN + 4 + 9 + 16 + 25 + 36 + 49 + 64},
  };
  for (bool Simd : {false, true}) {
    RoutineGuard Guard;
    InstallVectRoutines(Simd);
    for (const Case& C : Cases)
      EXPECT_EQ(VectStatTable.IntStat[C.Entry](C.P, C.Q, C.Count), C.Expected) << "entry " << C.Entry;
  }
}

TEST(VectOps, FloatStatisticsEntries) {
  const float F[] = {1, 2, 3, 4, 5};
  const double D[] = {1, 2, 3, 4, 5};
  const long double E[] = {1, 2, 3, 4, 5};
  auto Stat = [](int Entry) { return VectStatTable.FloatStat[Entry - kFirstFloatStatEntry]; };
  EXPECT_EQ(Stat(7)(F, F, 5), 15.0L);
  EXPECT_EQ(Stat(8)(D, D, 5), 15.0L);
  EXPECT_EQ(Stat(8)(D, D, 0), 0.0L);
  EXPECT_EQ(Stat(9)(E, E, 5), 15.0L);
  EXPECT_EQ(Stat(10)(F, F, 3), 14.0L);
  EXPECT_EQ(Stat(11)(D, D, 3), 14.0L);
  EXPECT_EQ(Stat(12)(E, E, 3), 14.0L);
  EXPECT_EQ(Stat(13)(F, F + 1, 2), 8.0L);
  EXPECT_EQ(Stat(14)(D, D + 1, 2), 8.0L);
  EXPECT_EQ(Stat(15)(E, E + 1, 2), 8.0L);
  // The double sum keeps four partial sums over groups of four taken from the end. With 1 followed by
  // seven terms of 2^-64, one running sum from the start loses every small term; the partial sums keep
  // six of them (the one that meets the 1 is lost).
  const double Tiny = 0x1p-64;
  const double G[] = {1, Tiny, Tiny, Tiny, Tiny, Tiny, Tiny, Tiny};
  EXPECT_EQ(Stat(8)(G, G, 8), 1.0L + 6 * static_cast<long double>(Tiny));
  std::vector<float> Fd{1, 2};
  std::vector<long double> Ed{1};
  const float Fs[] = {3, 4};
  const long double Es[] = {3};
  VectStatTable.AddScaled[0](Fd.data(), Fs, 2, 0.5L);
  VectStatTable.AddScaled[2](Ed.data(), Es, 1, 0.5L);
  EXPECT_EQ(Fd, (std::vector<float>{2.5f, 4}));
  EXPECT_EQ(Ed[0], 2.5L);
}

// The packed routines give the bytes of the plain ones for every length around the 16-byte step.
TEST(VectOps, PackedRoutinesMatchPlainOnes) {
  RoutineGuard Guard;
  std::mt19937 Rng(21);
  const int Entries[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 15, 16, 17, 18, 19, 20, 21, 22};
  for (int32_t Count = 0; Count <= 70; ++Count) {
    std::vector<uint8_t> Dest(static_cast<size_t>(Count) * 2 + 8), Src(Dest.size());  // room for a scalar too
    for (auto& B : Dest) B = static_cast<uint8_t>(Rng());
    for (auto& B : Src) B = static_cast<uint8_t>(Rng());
    for (int Entry : Entries) {
      std::vector<uint8_t> Out[2];
      for (bool Simd : {false, true}) {
        InstallVectRoutines(Simd);
        Out[Simd] = Dest;
        VectOpTable[Entry](Out[Simd].data(), Src.data(), Count);
      }
      ASSERT_EQ(Out[0], Out[1]) << "entry " << Entry << " count " << Count;
    }
    int32_t Dot[2];
    for (bool Simd : {false, true}) {
      InstallVectRoutines(Simd);
      Dot[Simd] = VectStatTable.IntStat[6](Dest.data(), Src.data(), Count);
    }
    ASSERT_EQ(Dot[0], Dot[1]) << "count " << Count;
  }
}

TEST(VectOps, ByteLoops) {
  struct Case {
    std::string Dest, Src, And, Or, Xor;
  };
  const Case Cases[] = {
      {"", "", "", "", ""},
      {std::string("\x0F\xF0\xFF", 3), std::string("\xFF\x0F\x00", 3), std::string("\x0F\x00\x00", 3),
       std::string("\xFF\xFF\xFF", 3), std::string("\xF0\xFF\xFF", 3)},
      {std::string("\x01\x00\x01\x01\x00\x00\x01", 7), std::string("\x01\x01\x00\x01\x00\x01\x01", 7),
       std::string("\x01\x00\x00\x01\x00\x00\x01", 7), std::string("\x01\x01\x01\x01\x00\x01\x01", 7),
       std::string("\x00\x01\x01\x00\x00\x01\x00", 7)},
  };
  for (const Case& C : Cases) {
    std::string A = C.Dest, O = C.Dest, X = C.Dest;
    AndBytes(A.data(), C.Src.data(), static_cast<int32_t>(A.size()));
    OrBytes(O.data(), C.Src.data(), static_cast<int32_t>(O.size()));
    XorBytes(X.data(), C.Src.data(), static_cast<int32_t>(X.size()));
    EXPECT_EQ(A, C.And);
    EXPECT_EQ(O, C.Or);
    EXPECT_EQ(X, C.Xor);
  }
  std::string B("\x00\x01\x01\x00\x01\x00\x00", 7);
  InvertBoolBytes(B.data(), 7);
  EXPECT_EQ(B, std::string("\x01\x00\x00\x01\x00\x01\x01", 7));
  InvertBoolBytes(B.data(), 3);
  EXPECT_EQ(B, std::string("\x00\x01\x01\x01\x00\x01\x01", 7));
  const uint8_t Header[] = {255, 255, 255, 1, 2};
  EXPECT_EQ(SumBytes(Header, 5), 768);
  EXPECT_EQ(SumBytes(Header, 0), 0);
}

TEST(CpuInfo, DetectionFromIdentificationAnswers) {
  struct Case {
    const char* Name;
    TCpuIdentification Id;
    const char* Vendor;
    bool MMX, ThreeDNow, SSE2;
  };
  const uint32_t Mmx = 1u << 23, Sse2 = 1u << 26, ThreeDNow = 1u << 31;
  const Case Cases[] = {
      {"no identification instruction",
       {false, "GenuineIntel", Mmx, 0x80000001, ThreeDNow},
       "Unknown CPU ",
       false,
       false,
       false},
      {"no MMX", {true, "CyrixInstead", 0, 0x80000001, ThreeDNow}, "CyrixInstead", false, false, false},
      {"MMX and 3DNow",
       {true, "AuthenticAMD", Mmx, 0x80000001, ThreeDNow},
       "AuthenticAMD",
       true,
       true,
       false},
      // Without the extended leaf its register holds nothing to read.
      {"no extended leaf",
       {true, "AuthenticAMD", Mmx, 0x80000000, ThreeDNow},
       "AuthenticAMD",
       true,
       false,
       false},
      {"SSE2", {true, "GenuineIntel", Mmx | Sse2, 0x80000008, 0}, "GenuineIntel", true, false, true},
      // The text is always 12 characters: a short answer is padded with blanks, a long one cut.
      {"short answer", {true, "Short", 0, 0, 0}, "Short       ", false, false, false},
      {"long answer", {true, "VendorWithALongName", 0, 0, 0}, "VendorWithAL", false, false, false},
  };
  for (const Case& C : Cases) {
    DetectCPU(C.Id);
    EXPECT_STREQ(CPUVendor, C.Vendor) << C.Name;
    EXPECT_EQ(HasMMX, C.MMX) << C.Name;
    EXPECT_EQ(Has3DNow, C.ThreeDNow) << C.Name;
    EXPECT_EQ(HasSSE2, C.SSE2) << C.Name;
  }
  DetectCPU();
  EXPECT_EQ(std::strlen(CPUVendor), 12u);
#if defined(__x86_64__)
  EXPECT_TRUE(HasMMX);
  EXPECT_TRUE(HasSSE2);
  EXPECT_STRNE(CPUVendor, "Unknown CPU ");
#endif
}

}  // namespace
