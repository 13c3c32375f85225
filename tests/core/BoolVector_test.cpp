// Boolean vectors, byte per value and packed: logic between and within vectors, tail bits, sorting through
// the accessors, streams, and both kinds against std::vector<bool> under random edits.
#include "core/BoolVector.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "core/NumVector.h"
#include "core/VStream.h"

namespace {

std::string Text(const TBoolVector& V) {
  std::string Out;
  for (int32_t I = 0; I < V.GetCount(); ++I) Out += V.Get(I) ? '1' : '0';
  return Out;
}

void Fill(TBoolVector& V, const std::string& Bits) {
  V.SetCount(0);
  for (char C : Bits) V.Insert(V.GetCount(), C == '1');
}

std::string Bytes(TVMemStream& S) {
  return std::string(reinterpret_cast<const char*>(S.GetMemory()), static_cast<size_t>(S.GetSize()));
}

TEST(BoolVector, ByteVectorBasics) {
  TBoolVector V(3, true);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(V.GetData()), 3), std::string("\x01\x01\x01", 3));
  V.NotVector();
  EXPECT_EQ(Text(V), "000");
  EXPECT_EQ(V.NumTrue(), 0);
  V.SetCount(5);
  EXPECT_EQ(Text(V), "00011");
  V.OrItem(0, true);
  V.XorItem(3, true);
  V.AndItem(4, false);
  V.NotItem(1);
  EXPECT_EQ(Text(V), "11000");
  EXPECT_EQ(V.NumTrue(), 2);
  V.SetToValue(true);
  EXPECT_EQ(V.NumTrue(), 5);
}

TEST(BoolVector, LogicWithEitherKind) {
  struct Case {
    const char* Op;
    std::string A, B, Expected;
  };
  const Case Cases[] = {
      {"and", "110", "101", "100"}, {"or", "100", "001", "101"}, {"xor", "110", "011", "101"}};
  for (const Case& C : Cases) {
    for (bool PackedLeft : {false, true}) {
      for (bool PackedRight : {false, true}) {
        TBoolVector Byte1, Byte2;
        TPackedBoolVector Packed1, Packed2;
        TBoolVector& A = PackedLeft ? Packed1 : Byte1;
        TBoolVector& B = PackedRight ? Packed2 : Byte2;
        Fill(A, C.A);
        Fill(B, C.B);
        if (std::string(C.Op) == "and") A.AndVector(B);
        if (std::string(C.Op) == "or") A.OrVector(B);
        if (std::string(C.Op) == "xor") A.XorVector(B);
        EXPECT_EQ(Text(A), C.Expected) << C.Op << " " << PackedLeft << PackedRight;
      }
    }
  }
}

TEST(PackedBoolVector, GrowingFillsTheOldLastByteWithTheDefault) {
  TPackedBoolVector V(3, false);
  V.SetToValue(true);  // all eight bits of the byte, tail included
  V.SetCount(12);
  EXPECT_EQ(Text(V), "111000000000");
  EXPECT_EQ(V.GetCount(), 12);
  EXPECT_EQ(V.GetBitCount(), 12);
  TPackedBoolVector W(0, true);
  W.SetCount(3);
  W.SetToValue(false);
  W.SetCount(17);
  EXPECT_EQ(Text(W), "00011111111111111");
  EXPECT_EQ(W.NumTrue(), 14);
  EXPECT_THROW(W.SetCount(-1), EVectorError);
}

TEST(PackedBoolVector, TailBitsAreNeverCounted) {
  TPackedBoolVector V(3, false);
  V.NotVector();  // flips the five tail bits too
  EXPECT_EQ(V.NumTrue(), 3);
  TPackedBoolVector Three(3, true), Five(5, false);
  Five.Put(0, true), Five.Put(1, true), Five.Put(2, true);
  EXPECT_FALSE(Three.EqualTo(Five));
  TPackedBoolVector Other(3, false);
  Other.SetToValue(true);  // tail bits set, values equal to Three's
  EXPECT_TRUE(Three.EqualTo(Other));
  TBoolVector Bytes(3, true);
  EXPECT_TRUE(Three.EqualTo(Bytes));
  EXPECT_TRUE(Bytes.EqualTo(Three));
  Other.ClearTailBits();
  EXPECT_EQ(Other.GetData()[0], 0x07);
}

TEST(PackedBoolVector, SetBitReturnsThePreviousValue) {
  TPackedBoolVector V(16, false);
  EXPECT_FALSE(V.SetBit(9, true));
  EXPECT_EQ(V.GetData()[1], 0x02);
  EXPECT_TRUE(V.SetBit(9, false));
  EXPECT_EQ(V.GetData()[1], 0x00);
}

TEST(BoolVector, SortingGoesThroughTheAccessors) {
  TBoolVector B;
  Fill(B, "1010");
  B.Sort();
  EXPECT_EQ(Text(B), "0011");
  // A packed vector sorts its values, not its bytes, and reads nothing past its block.
  TPackedBoolVector P;
  Fill(P, "10110100101101");
  P.Sort();
  EXPECT_EQ(Text(P), "00000011111111");
  P.SortDesc();
  EXPECT_EQ(Text(P), "11111111000000");
  TInt32Vector Tags;
  for (int32_t I = 0; I < 5; ++I) Tags.Add(I);
  TPackedBoolVector Keys;
  Fill(Keys, "10101");
  Keys.SortWith(Tags);
  EXPECT_EQ(Text(Keys), "00111");
  for (int32_t I = 0; I < 5; ++I) EXPECT_EQ(Keys.Get(I), Tags.Get(I) % 2 == 0) << I;
}

TEST(BoolVector, AssignAndCompareAcrossKinds) {
  TPackedBoolVector P(0, true);
  Fill(P, "1101");
  TBoolVector B;
  B.Assign(P);
  EXPECT_EQ(Text(B), "1101");
  EXPECT_TRUE(B.DefaultValue);
  TPackedBoolVector Q;
  Q.Assign(B);
  EXPECT_EQ(Text(Q), "1101");
  EXPECT_TRUE(Q.EqualTo(P));
  TInt8Vector N;
  try {
    B.Assign(N);
    FAIL();
  } catch (const EVectorError& E) {
    EXPECT_STREQ(E.what(), "Class TBoolVector: Assign error");
  }
  try {
    Q.EqualTo(N);
    FAIL();
  } catch (const EVectorError& E) {
    EXPECT_STREQ(E.what(), "Class TPackedBoolVector: Incompatible classes");
  }
}

TEST(PackedBoolVector, ByteBlockOperationsAreNotApplicable) {
  TPackedBoolVector P(20);
  TPackedBoolVector Other(20);
  for (auto* Op : {+[](TPackedBoolVector&V, TPackedBoolVector&) { V.InsertGap(0); },
                   +[](TPackedBoolVector&V, TPackedBoolVector&) { V.DeleteRange(0, 1); },
                   +[](TPackedBoolVector&V, TPackedBoolVector&O) { V.CopyRange(0, O, 0, 1); },
                   +[](TPackedBoolVector&V, TPackedBoolVector&) { V.ExchangeRange(0, 1, 1); }}) {
    try {
      Op(P, Other);
      ADD_FAILURE();
    } catch (const EVectorError& E) {
      EXPECT_STREQ(E.what(), "Class TPackedBoolVector: Method not applicable");
    }
    EXPECT_EQ(P.GetCount(), 20);
  }
}

TEST(BoolVector, StreamForms) {
  TVMemStream S;
  TBoolVector B(0, true);
  Fill(B, "101");
  B.WriteToStream(S);
  EXPECT_EQ(Bytes(S), std::string("\x03\0\0\0\x01\0\0\0\x01\x00\x01\x01", 12));
  S.Seek(0);
  TBoolVector Back;
  Back.ReadFromStream(S);
  EXPECT_TRUE(Back.EqualTo(B));
  EXPECT_TRUE(Back.DefaultValue);

  // Packed: the bytes with the tail cleared; read back, every stored bit is a value.
  TVMemStream PS;
  TPackedBoolVector P(0, false);
  Fill(P, "1101000011");
  P.NotVector();
  P.WriteToStream(PS);
  EXPECT_EQ(Bytes(PS), std::string("\x02\0\0\0\x01\0\0\0\xF4\x00\x00", 11));
  PS.Seek(0);
  TPackedBoolVector PBack(5, true);
  PBack.ReadFromStream(PS);
  EXPECT_EQ(PBack.GetCount(), 16);
  EXPECT_EQ(Text(PBack), "0010111100000000");
  EXPECT_FALSE(PBack.DefaultValue);
  PBack.SetCount(17);
  EXPECT_FALSE(PBack.Get(16));
}

TEST(BoolVector, CorruptStreamsLeaveTheVectorEmpty) {
  const std::string Cases[] = {
      std::string("\x02\0\0\0\x04\0\0\0\x01\0\0\0\x01\0\0\0\x00", 17),  // element size 4
      std::string("\x05\0\0\0\x01\0\0\0\x01\x01", 10),                  // count beyond the data
      std::string("\x02\0\0\0\x01\0\0\0\x01\x01", 10),                  // default byte missing
  };
  for (const std::string& Data : Cases) {
    for (bool Packed : {false, true}) {
      TVMemStream S;
      S.WriteText(Data);
      S.Seek(0);
      TBoolVector Byte(4, true);
      TPackedBoolVector Bits(4, true);
      TBoolVector& V = Packed ? Bits : Byte;
      EXPECT_THROW(V.ReadFromStream(S), Exception);
      EXPECT_EQ(V.GetCount(), 0);
      EXPECT_EQ(V.NumTrue(), 0);
    }
  }
}

// Random edits on a Boolean vector and a std::vector<bool> alongside, for both kinds and both defaults.
TEST(BoolVector, RandomEditsMatchStdVectorBool) {
  for (bool Packed : {false, true}) {
    for (bool Default : {false, true}) {
      std::mt19937 Rng(Packed * 2 + Default + 100);
      TBoolVector Byte(0, Default);
      TPackedBoolVector Bits(0, Default);
      TBoolVector& V = Packed ? Bits : Byte;
      std::vector<bool> M;
      for (int Step = 0; Step < 1500; ++Step) {
        const int Op = static_cast<int>(Rng() % 9);
        const int32_t N = static_cast<int32_t>(M.size());
        const int32_t At = N == 0 ? 0 : static_cast<int32_t>(Rng() % N);
        const bool X = Rng() % 2;
        switch (Op) {
          case 0:
          case 1: {
            const int32_t Where = static_cast<int32_t>(Rng() % (N + 1));
            V.Insert(Where, X);
            M.insert(M.begin() + Where, X);
            break;
          }
          case 2:
            if (N > 0) {
              V.Delete(At);
              M.erase(M.begin() + At);
            }
            break;
          case 3: {
            const int32_t Size = static_cast<int32_t>(Rng() % 70);
            V.SetCount(Size);
            M.resize(static_cast<size_t>(Size), Default);
            break;
          }
          case 4:
            if (N > 0) {
              V.Put(At, X);
              M[At] = X;
            }
            break;
          case 5:
            V.NotVector();
            M.flip();
            break;
          case 6:
            if (N > 0) {
              V.XorItem(At, X);
              M[At] = M[At] != X;
              V.NotItem(At);
              M[At] = !M[At];
            }
            break;
          case 7: {
            TPackedBoolVector Other;
            std::vector<bool> O;
            for (int32_t I = 0; I < N; ++I) {
              O.push_back(Rng() % 2);
              Other.Insert(I, O.back());
            }
            V.AndVector(Other);
            for (int32_t I = 0; I < N; ++I) M[I] = M[I] && O[I];
            break;
          }
          case 8:
            V.Sort();
            {
              const auto Trues = std::count(M.begin(), M.end(), true);
              std::fill(M.begin(), M.end(), false);
              std::fill(M.end() - Trues, M.end(), true);
            }
            break;
        }
        std::string Expected;
        for (bool B : M) Expected += B ? '1' : '0';
        ASSERT_EQ(Text(V), Expected) << "step " << Step << " op " << Op;
        ASSERT_EQ(V.NumTrue(), static_cast<int32_t>(std::count(M.begin(), M.end(), true)));
        if (Packed) {
          ASSERT_EQ(Bits.TVector::GetCount(), (V.GetCount() + 7) / 8);
        }
      }
    }
  }
}

}  // namespace
