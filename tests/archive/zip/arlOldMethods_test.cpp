// The three older methods on raw data: the entries of old_methods.zip (made by the encoders of
// fixtures/make_old_methods.py; the shrunk and imploded ones also pass Debian's unzip -t), hand-built
// streams whose output is worked out by hand, and damaged streams.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>

#include "archive/zip/arlExplode.h"
#include "archive/zip/arlUnReduce.h"
#include "archive/zip/arlUnShrink.h"
#include "archive/zip/arlZipBits.h"
#include "tests/archive/zip/ZipTestUtil.h"

namespace {

using namespace ziptest;

struct Decoded {
  Bytes Out;
  int32_t Error = 0;  // the E_RAISE code, 0 when none was raised
};

// Decodes Data with the decoder of Method (1 shrunk, 2-5 reduced, 6 imploded), handing the input over in
// pieces of at most Chunk bytes; the output is flushed also after an error, as the ZIP reader does.
Decoded Decode(uint16_t Method, uint16_t Flags, const Bytes& Data, int64_t Size, int32_t Chunk = 1 << 30) {
  Decoded R;
  size_t At = 0;
  TZipBitReader In(
      [&](uint8_t* Buf, int32_t Count) {
        const int32_t N = static_cast<int32_t>(
            std::min<size_t>({static_cast<size_t>(Count), static_cast<size_t>(Chunk), Data.size() - At}));
        std::copy_n(Data.begin() + static_cast<std::ptrdiff_t>(At), N, Buf);
        At += static_cast<size_t>(N);
        return N;
      },
      static_cast<int64_t>(Data.size()));
  const int32_t Window = Method == 6 ? ExplodeWindowSize(Flags) : Method >= 2 ? kReduceWindowSize : 0;
  TZipOutput Out([&](const uint8_t* Buf, int32_t Count) { R.Out.insert(R.Out.end(), Buf, Buf + Count); },
                 Size, Window);
  try {
    if (Method == 1)
      UnShrink(In, Out);
    else if (Method == 6)
      Explode(Flags, In, Out);
    else
      UnReduce(Method - 1, In, Out);
  } catch (const E_RAISE& E) {
    R.Error = E.ErrorCode;
  }
  Out.Flush();
  return R;
}

// One entry of old_methods.zip with its raw data.
struct Entry {
  std::string Name;
  LocalEntry Local;
  Bytes Data;
  uint32_t Size = 0;
};

Entry LoadEntry(const std::string& Name) {
  static const Bytes Zip = ReadFixture("old_methods.zip");
  Entry E;
  E.Name = Name;
  EXPECT_TRUE(FindLocal(Zip, Name, E.Local)) << Name;
  E.Data.assign(Zip.begin() + static_cast<std::ptrdiff_t>(E.Local.Data),
                Zip.begin() + static_cast<std::ptrdiff_t>(E.Local.Data + E.Local.CompressedSize));
  E.Size = Le32(Zip, E.Local.Header + 22);
  return E;
}

const char* const kOldEntries[] = {"shrunk.txt",   "imploded8k3.txt", "imploded4k2.txt", "reduced1.txt",
                                   "reduced2.txt", "reduced3.txt",    "reduced4.txt"};

TEST(ZipOldMethods, FixtureEntriesDecodeWholeAndInSmallPieces) {
  for (const char* Name : kOldEntries) {
    const Entry E = LoadEntry(Name);
    ASSERT_GT(E.Size, 20000u) << Name;
    for (int32_t Chunk : {1 << 30, 1, 7, 4096}) {
      const Decoded D = Decode(E.Local.Method, E.Local.Flags, E.Data, E.Size, Chunk);
      EXPECT_EQ(D.Error, 0) << Name << " chunk " << Chunk;
      EXPECT_EQ(D.Out.size(), E.Size) << Name << " chunk " << Chunk;
      EXPECT_EQ(RefCrc32(D.Out), E.Local.Crc) << Name << " chunk " << Chunk;
    }
  }
}

// The encoders use the features the methods have: partial clears and code-size increases (shrink), copies
// beyond 4 KB (the 8 KB implode window), length extension bytes and DLE literals (reduce).
TEST(ZipOldMethods, FixtureEntriesCutShortStopWithoutError) {
  for (const char* Name : kOldEntries) {
    const Entry E = LoadEntry(Name);
    const Bytes Half(E.Data.begin(), E.Data.begin() + static_cast<std::ptrdiff_t>(E.Data.size() / 2));
    const Decoded D = Decode(E.Local.Method, E.Local.Flags, Half, E.Size);
    EXPECT_LT(D.Out.size(), E.Size) << Name;
    // What came out is the start of the entry.
    const Decoded Whole = Decode(E.Local.Method, E.Local.Flags, E.Data, E.Size);
    EXPECT_TRUE(std::equal(D.Out.begin(), D.Out.end(), Whole.Out.begin())) << Name;
  }
}

TEST(ZipOldMethods, DeclaredSizeBoundsTheOutput) {
  for (const char* Name : kOldEntries) {
    const Entry E = LoadEntry(Name);
    const Decoded Whole = Decode(E.Local.Method, E.Local.Flags, E.Data, E.Size);
    // A smaller declared size: output stops there, exactly, whether the method ends its loop at the
    // size or meets a string or copy that would cross it ("Bad block").
    const Decoded D = Decode(E.Local.Method, E.Local.Flags, E.Data, 1000);
    EXPECT_TRUE(D.Error == 0 || D.Error == errBadBlock) << Name;
    ASSERT_EQ(D.Out.size(), 1000u) << Name;
    EXPECT_TRUE(std::equal(D.Out.begin(), D.Out.end(), Whole.Out.begin())) << Name;
  }
}

TEST(ZipOldMethods, DamagedEntriesNeverCrash) {
  std::mt19937 Rng(2024);
  for (const char* Name : kOldEntries) {
    const Entry E = LoadEntry(Name);
    for (int Round = 0; Round < 60; ++Round) {
      Bytes Bad = E.Data;
      const int Flips = 1 + Round % 4;
      for (int I = 0; I < Flips; ++I) Bad[Rng() % Bad.size()] ^= static_cast<uint8_t>(1 + Rng() % 255);
      if (Round % 3 == 0) Bad.resize(Rng() % Bad.size());
      const Decoded D = Decode(E.Local.Method, E.Local.Flags, Bad, E.Size);
      EXPECT_LE(D.Out.size(), E.Size);
    }
  }
}

// --- Shrink by hand ---------------------------------------------------------------------------------------

TEST(ZipUnShrink, CodeDefinedByItsOwnUseRepeatsThePreviousString) {
  // 'a', then 257 before it is defined: "a" + "a" + first char "a".
  const Bytes Data = BitWriter().Bits('a', 9).Bits(257, 9).Data();
  const Decoded D = Decode(1, 0, Data, 3);
  EXPECT_EQ(D.Error, 0);
  EXPECT_EQ(ToString(D.Out), "aaa");
}

TEST(ZipUnShrink, ControlCodesAndTheirFaults) {
  struct Case {
    const char* What;
    Bytes Data;
    int64_t Size;
    const char* Out;
    int32_t Error;
  };
  BitWriter FiveIncreases;
  FiveIncreases.Bits('a', 9);
  for (int Size = 9; Size <= 13; ++Size) FiveIncreases.Bits(256, Size).Bits(1, Size);
  const Case Cases[] = {
      {"increase to 10 bits",
       BitWriter().Bits('a', 9).Bits(256, 9).Bits(1, 9).Bits('b', 10).Bits(257, 10).Data(), 4, "abab", 0},
      {"control code then 3", BitWriter().Bits('a', 9).Bits(256, 9).Bits(3, 9).Bits('b', 9).Data(), 2, "a",
       errBadBlock},
      {"code size past 13 bits", FiveIncreases.Data(), 10, "a", errBadBlock},
      {"first code not a literal", BitWriter().Bits(300, 9).Data(), 5, "", errBadBlock},
      // 'a', 'b' define 257 = "ab"; the clear frees it (no code names it as parent); 257 is then unknown,
      // so it repeats the previous string "b" plus its first character.
      {"partial clear frees leaves",
       BitWriter().Bits('a', 9).Bits('b', 9).Bits(256, 9).Bits(2, 9).Bits(257, 9).Data(), 4, "abbb", 0},
      // 258 is taken as "a" + "a" although 257 is the next free code, which then becomes "aa"; the second
      // 258 repeats the string of the still undefined 258, which leads through a free code.
      {"undefined code past the next free one", BitWriter().Bits('a', 9).Bits(258, 9).Bits(258, 9).Data(), 9,
       "aaa", errBadBlock},
  };
  for (const Case& C : Cases) {
    const Decoded D = Decode(1, 0, C.Data, C.Size);
    EXPECT_EQ(ToString(D.Out), C.Out) << C.What;
    EXPECT_EQ(D.Error, C.Error) << C.What;
  }
}

// --- Reduce by hand ---------------------------------------------------------------------------------------

// Follower sets for bytes 255 down to 0; Sets maps a byte to its followers.
BitWriter ReduceHeader(const std::vector<std::pair<uint8_t, Bytes>>& Sets = {}) {
  BitWriter W;
  for (int C = 255; C >= 0; --C) {
    Bytes Followers;
    for (const auto& [Byte, F] : Sets)
      if (Byte == C) Followers = F;
    W.Bits(static_cast<uint32_t>(Followers.size()), 6);
    for (uint8_t B : Followers) W.Byte(B);
  }
  return W;
}

TEST(ZipUnReduce, RunOf300WithFactor4AndALiteralDle) {
  // 'x', then copies from 1 back: 273 bytes (length 15 + extension 255 + 3), then 26 (15 + 8 + 3);
  // then DLE 0, a literal 144.
  const Bytes Data = ReduceHeader()
                         .Byte('x')
                         .Byte(144)
                         .Byte(0x0F)
                         .Byte(255)
                         .Byte(0)
                         .Byte(144)
                         .Byte(0x0F)
                         .Byte(8)
                         .Byte(0)
                         .Byte(144)
                         .Byte(0)
                         .Data();
  const Decoded D = Decode(5, 0, Data, 301);
  EXPECT_EQ(D.Error, 0);
  EXPECT_EQ(ToString(D.Out), std::string(300, 'x') + "\x90");
}

TEST(ZipUnReduce, FollowerSetsAndTheirFaults) {
  struct Case {
    const char* What;
    Bytes Data;
    int Factor;
    int64_t Size;
    Bytes Out;
    int32_t Error;
  };
  const Case Cases[] = {
      // 'a' as a literal (the set of byte 0 is empty), 'b' as follower 0 of 'a' (flag 0, one index bit).
      // The zero padding bits after it would read as follower 0 of 'b' ('a'): the size stops first.
      {"padding is not decoded",
       ReduceHeader({{'a', {'b'}}, {'b', {'a'}}}).Byte('a').Bits(0, 1).Bits(0, 1).Data(), 1, 2, ToBytes("ab"),
       0},
      {"flag 1 is a literal", ReduceHeader({{'a', {'b'}}}).Byte('a').Bits(1, 1).Byte('z').Data(), 1, 2,
       ToBytes("az"), 0},
      {"follower index beyond the set",
       ReduceHeader({{'a', {'b', 'c', 'd'}}}).Byte('a').Bits(0, 1).Bits(3, 2).Data(), 1, 2, ToBytes("a"),
       errBadBlock},
      {"set of 33 followers", BitWriter().Bits(33, 6).Data(), 1, 1, {}, errBadBlock},
      // Factor 1: distance ((V >> 7) * 256) + 255 + 1 = 512, before the start: the window's zeros.
      {"copy before the start", ReduceHeader().Byte(144).Byte(0x81).Byte(255).Data(), 1, 4, Bytes(4, 0), 0},
      {"copy past the declared size", ReduceHeader().Byte('q').Byte(144).Byte(0x05).Byte(0).Data(), 1, 4,
       ToBytes("qqqq"), errBadBlock},
  };
  for (const Case& C : Cases) {
    const Decoded D = Decode(static_cast<uint16_t>(C.Factor + 1), 0, C.Data, C.Size);
    EXPECT_EQ(D.Out, C.Out) << C.What;
    EXPECT_EQ(D.Error, C.Error) << C.What;
  }
}

// --- Implode by hand --------------------------------------------------------------------------------------

// A transmitted tree of 64 symbols, all of length Length (4 bytes of 16 repeats), or Bytes bytes.
BitWriter& FlatTree(BitWriter& W, int Length, int Bytes = 4, int Repeat = 16) {
  W.Byte(static_cast<uint8_t>(Bytes - 1));
  for (int I = 0; I < Bytes; ++I) W.Byte(static_cast<uint8_t>(((Repeat - 1) << 4) | (Length - 1)));
  return W;
}

TEST(ZipExplode, TwoFlatTreesWithRawLiterals) {
  // With 64 codes of 6 bits, symbol S has the code 63 - S (the codes count down from the last symbol).
  // 'a' as a raw literal; a copy: low distance bits 0, high 0 (code 63), length symbol 3 (code 60):
  // 3 + 2 = 5 bytes from 1 back; then a copy from 4096 back (low 63, high 63: code 0) of 2: zeros.
  BitWriter W;
  FlatTree(W, 6);
  FlatTree(W, 6);
  W.Bits(1, 1).Byte('a');
  W.Bits(0, 1).Bits(0, 6).CodeMsbFirst(63, 6).CodeMsbFirst(60, 6);
  const Decoded D = Decode(6, 0, W.Data(), 6);
  EXPECT_EQ(D.Error, 0);
  EXPECT_EQ(ToString(D.Out), "aaaaaa");
}

TEST(ZipExplode, TreeFaults) {
  struct Case {
    const char* What;
    std::function<void(BitWriter&)> Trees;
  };
  const Case Cases[] = {
      {"80 lengths for 64 symbols", [](BitWriter& W) { FlatTree(W, 6, 5); }},
      {"48 lengths for 64 symbols", [](BitWriter& W) { FlatTree(W, 6, 3); }},
      {"64 codes of one bit", [](BitWriter& W) { FlatTree(W, 1); }},
      // The first 32 symbols take 5 bits each and fill the code space: 32 more of 6 bits collide.
      {"over-full code",
       [](BitWriter& W) {
         W.Byte(3);
         W.Byte((15 << 4) | 4).Byte((15 << 4) | 4).Byte((15 << 4) | 5).Byte((15 << 4) | 5);
       }},
  };
  for (const Case& C : Cases) {
    BitWriter W;
    C.Trees(W);  // the length tree
    FlatTree(W, 6);
    W.Bits(1, 1).Byte('a');
    const Decoded D = Decode(6, 0, W.Data(), 1);
    EXPECT_EQ(D.Error, errAmbiguousTree) << C.What;
    EXPECT_TRUE(D.Out.empty()) << C.What;
  }
}

TEST(ZipExplode, CodeIntoAnEmptyBranchIsAmbiguous) {
  // 64 codes of 7 bits fill half the code space; the codes beginning with bit 0 lead nowhere.
  BitWriter W;
  FlatTree(W, 6);
  FlatTree(W, 7);
  W.Bits(0, 1).Bits(0, 6).CodeMsbFirst(0, 7);
  const Decoded D = Decode(6, 0, W.Data(), 5);
  EXPECT_EQ(D.Error, errAmbiguousTree);
}

}  // namespace
