// The stream scanner against a plain model of the same scan on random streams dense with hits near the
// window ends. The model folds every window afresh with the layer's own routines (OemToCharBuffA,
// CharUpperBuffA, WideUpperBuf), always zeroes accepted hits, searches naively, and reads whole-word
// neighbours from the stream; the scanner's shortcuts (the carried fold, the raw window when folding is
// a copy, neighbours from memory, one prepared matcher) must give exactly its answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/qvnls/Qvnls.h"
#include "platform/qvnls/WinNls.h"
#include "search/ShiftAnd.h"
#include "search/ShiftAndWide.h"
#include "search/StrmScan.h"
#include "search/TextAuto.h"
#include "tests/search/StrmScanTestUtil.h"

namespace {

using namespace strmscan_test;

struct TSettings {
  std::u16string Pattern;
  TSearchLogic Logic;
  bool CaseSensitive;
  bool WholeWords;
  bool Fuzzy;
  TScanEncodings Encodings;
};

// The model. Words are those of the scanner (each held in every encoding in these tests).
class TModel {
 public:
  // Chunk: the largest read of the stream, which the charset test at the start sees as well.
  TModel(const TSettings& Settings, std::vector<std::u16string> Words, const std::string& Bytes,
         int32_t Chunk)
      : Set_(Settings), Words_(std::move(Words)), Bytes_(Bytes), Chunk_(Chunk) {}

  TRun Run(bool WithVectors) {
    TRun Out;
    std::vector<TScanEncoding> Order;
    for (TScanEncoding E : {seAnsi, seOem, seUnicode})
      if (Set_.Encodings & ScanEncodingBit(E)) Order.push_back(E);
    if (Order.size() > 1 && (Set_.Encodings & kScanUnicode)) {
      TChunkedStream Probe(Bytes_, Chunk_);
      if (GetStreamCharset(Probe, 5, 4096) == qvnls::kCharsetUtf16LE) {
        std::rotate(Order.begin(), Order.end() - 1, Order.end());
      }
    }
    const size_t N = Words_.size();
    std::vector<int32_t> Next(3 * N, 0);
    std::vector<bool> FoundWord(3 * N, false);
    int32_t FoundCount[3] = {};
    int32_t Carry = 0, Position = 0;
    const int32_t Size = static_cast<int32_t>(Bytes_.size());
    for (;;) {
      const int32_t Got = std::min(kScanWindowBytes - Carry, Size - Position);
      if (Got <= 0) break;
      Position += Got;
      const int32_t Total = Carry + Got;
      const int32_t BlockStart = Position - Total;
      const std::string Window = Bytes_.substr(static_cast<size_t>(BlockStart), static_cast<size_t>(Total));
      for (TScanEncoding E : std::vector<TScanEncoding>(Order)) {
        const int32_t C = E == seUnicode ? 2 : 1;
        std::string Work = Window;
        std::u16string WorkW(static_cast<size_t>(Total / 2), u'\0');
        if (E == seUnicode) {
          std::memcpy(WorkW.data(), Window.data(), 2 * WorkW.size());
          if (!Set_.CaseSensitive) qvnls::WideUpperBuf(WorkW.data(), static_cast<int32_t>(WorkW.size()));
        } else {
          if (E == seOem) OemToCharBuffA(Work.data(), Work.data(), static_cast<uint32_t>(Total));
          if (!Set_.CaseSensitive) CharUpperBuffA(Work.data(), static_cast<uint32_t>(Total));
        }
        bool Hit = false;
        for (size_t W = 0; W < N; ++W) {
          const std::u16string& Wide = Words_[W];
          std::string Narrow = Ansi(Wide);
          const int32_t L = static_cast<int32_t>(Wide.size());
          const bool IsFuzzy = Set_.Fuzzy && L > 3;
          const int32_t K = !IsFuzzy ? 0 : L <= 8 ? 1 : 2;
          int32_t MatchBytes = L * C;
          int32_t Offset = Next[E * N + W] - BlockStart;
          int32_t Rest = Total - Offset;
          int32_t LastHitEnd = -1;
          while (Rest >= (L - K) * C) {
            int32_t H = -1;
            if (IsFuzzy) {
              TShiftAndMatch M;
              bool Got1;
              if (E == seUnicode) {
                Wide16_.SetPattern(Wide);
                Wide16_.MaxErrors = static_cast<uint16_t>(K);
                Got1 = Wide16_.SearchFirst(WorkW.data() + Offset / 2, Rest / 2, M);
              } else {
                Narrow8_.SetPattern(Narrow);
                Narrow8_.MaxErrors = static_cast<uint16_t>(K);
                Got1 = Narrow8_.SearchFirst(Work.data() + Offset, Rest, M);
              }
              if (!Got1) break;
              int32_t Start = std::max(M.Start, 0);
              int32_t Length = M.Length + std::min(M.Start, 0);
              const char16_t First = E == seUnicode
                                         ? WorkW[static_cast<size_t>(Offset / 2 + Start)]
                                         : static_cast<char16_t>(Work[static_cast<size_t>(Offset + Start)]);
              if (First == u' ') {
                ++Start;
                --Length;
              }
              H = Offset + Start * C;
              MatchBytes = Length * C;
            } else if (E == seUnicode) {
              auto It = std::search(WorkW.begin() + Offset / 2, WorkW.begin() + Offset / 2 + Rest / 2,
                                    Wide.begin(), Wide.end());
              if (It == WorkW.begin() + Offset / 2 + Rest / 2) break;
              H = static_cast<int32_t>(It - WorkW.begin()) * 2;
            } else {
              auto It =
                  std::search(Work.begin() + Offset, Work.begin() + Total, Narrow.begin(), Narrow.end());
              if (It == Work.begin() + Total) break;
              H = static_cast<int32_t>(It - Work.begin());
            }
            const int32_t StreamPos = BlockStart + H;
            if (!Set_.WholeWords ||
                (!WordCharAt(E, StreamPos - C) && !WordCharAt(E, StreamPos + MatchBytes))) {
              Out.Result = srFound;
              if (!FoundWord[E * N + W]) {
                FoundWord[E * N + W] = true;
                ++FoundCount[E];
              }
              Out.Encoding = E;
              if (WithVectors) {
                Out.Hits.emplace_back(StreamPos, MatchBytes / C);
                Hit = true;
              } else if (Set_.Logic != slAllWords || FoundCount[E] == static_cast<int32_t>(N)) {
                return Out;
              }
              for (int32_t I = H; I < H + MatchBytes; ++I) {
                if (E == seUnicode)
                  WorkW[static_cast<size_t>(I / 2)] = 0;
                else
                  Work[static_cast<size_t>(I)] = 0;
              }
              LastHitEnd = StreamPos + MatchBytes;
              Offset = H + MatchBytes;
            } else {
              Offset = H + C;  // a rejected candidate: again one character after its start
            }
            Rest = Total - Offset;
          }
          int32_t Keep = std::min((L + K - 1) * C, kScanCarryBytes);
          if (LastHitEnd >= 0) Keep = std::min(Keep, Position - LastHitEnd);
          Next[E * N + W] = Position - Keep;
        }
        if (Hit) {
          Order = {E};
          break;
        }
      }
      if (Total < kScanWindowBytes) break;
      Carry = kScanCarryBytes;
    }
    if (Out.Result == srFound && Set_.Logic == slAllWords &&
        FoundCount[Out.Encoding] < static_cast<int32_t>(N))
      Out.Result = srNotFound;
    if (Out.Result != srFound) Out.Hits.clear();
    std::sort(Out.Hits.begin(), Out.Hits.end());
    return Out;
  }

 private:
  bool WordCharAt(TScanEncoding E, int32_t P) const {
    const int32_t C = E == seUnicode ? 2 : 1;
    if (P < 0 || P + C > static_cast<int32_t>(Bytes_.size())) return false;
    if (E == seUnicode) {
      return qvnls::UnicodeIsAlphaNum(
          static_cast<char16_t>(static_cast<uint8_t>(Bytes_[P]) | static_cast<uint8_t>(Bytes_[P + 1]) << 8));
    }
    char Ch = Bytes_[static_cast<size_t>(P)];
    if (E == seOem) OemToCharBuffA(&Ch, &Ch, 1);
    const auto B = static_cast<uint8_t>(Ch);
    return (B >= '0' && B <= '9') || (B >= 'A' && B <= 'Z') || (B >= 'a' && B <= 'z') || IsCharAlphaA(Ch);
  }

  TSettings Set_;
  std::vector<std::u16string> Words_;
  std::string Bytes_;
  int32_t Chunk_;
  TShiftAndSearcher Narrow8_;
  TWideShiftAndSearcher Wide16_;
};

// A stream of tokens in a mix of encodings, dense with whole, partial and misspelt words.
std::string RandomStream(std::mt19937& Random, const std::vector<std::u16string>& Tokens) {
  const size_t Size = 33000 + Random() % 70000;
  std::string Bytes;
  TScanEncoding E = seAnsi;
  while (Bytes.size() < Size) {
    if (Random() % 50 == 0) E = static_cast<TScanEncoding>(Random() % 3);
    if (E == seUnicode && Bytes.size() % 2 != 0) Bytes += ' ';
    Bytes += Encode(Tokens[Random() % Tokens.size()], E);
    if (Random() % 400 == 0) Bytes += static_cast<char>(Random());
  }
  return Bytes;
}

// Runs Rounds random settings, each with a pattern from Patterns over a stream of Tokens, through the
// scanner and the model.
void CompareWithModel(const std::vector<std::u16string>& Patterns, const std::vector<std::u16string>& Tokens,
                      uint32_t Seed, int Rounds) {
  ASSERT_TRUE(qvnls::SetSystemCodePages(1251, 866));
  std::mt19937 Random(Seed);
  TStreamScanner Scanner;  // one scanner for every run, as in a search
  for (int Round = 0; Round < Rounds; ++Round) {
    TSettings Set;
    Set.Pattern = Patterns[Random() % Patterns.size()];
    Set.Logic = static_cast<TSearchLogic>(Random() % 3);
    Set.CaseSensitive = Random() % 3 == 0;
    Set.WholeWords = Random() % 2 == 0;
    Set.Fuzzy = Random() % 3 == 0;
    Set.Encodings = static_cast<TScanEncodings>(1 + Random() % 7);
    const std::string Bytes = RandomStream(Random, Tokens);
    const int32_t Chunk = std::vector<int32_t>{0, 7, 4096}[Random() % 3];

    Scanner.SetPattern(Set.Pattern);
    Scanner.SetLogic(Set.Logic);
    Scanner.SetCaseSensitive(Set.CaseSensitive);
    Scanner.WholeWords = Set.WholeWords;
    Scanner.Fuzzy = Set.Fuzzy ? 1 : 0;
    std::vector<std::u16string> Words;
    for (int32_t I = 0; I < Scanner.GetWords().GetCount(); ++I) Words.push_back(Scanner.GetWords().Get(I));
    Set.Encodings &= Scanner.GetPossibleEncodings();
    if (Set.Encodings == 0) continue;

    SCOPED_TRACE(testing::Message() << "round " << Round << ", logic " << int(Set.Logic) << ", case "
                                    << Set.CaseSensitive << ", whole " << Set.WholeWords << ", fuzzy "
                                    << Set.Fuzzy << ", encodings " << int(Set.Encodings) << ", size "
                                    << Bytes.size() << ", reads of " << Chunk);
    TModel Model(Set, Words, Bytes, Chunk);
    const TRun Expected = Model.Run(true);
    const TRun Got = RunFindAll(Scanner, Bytes, Set.Encodings, Chunk);
    EXPECT_EQ(Got.Result, Expected.Result);
    EXPECT_EQ(Got.Hits, Expected.Hits);
    if (Expected.Result == srFound) {
      EXPECT_EQ(Got.Encoding, Expected.Encoding);
    }

    const TRun ExpectedFind = TModel(Set, Words, Bytes, 0).Run(false);
    TScanEncoding Found = seFileName;
    EXPECT_EQ(RunFind(Scanner, Bytes, Set.Encodings, &Found), ExpectedFind.Result);
    if (ExpectedFind.Result == srFound) {
      EXPECT_EQ(Found, ExpectedFind.Encoding);
    }
  }
  qvnls::ResetSystemCodePages();
}

TEST(StrmScanDifferentialTest, ScannerAgreesWithThePlainModel) {
  const std::vector<std::u16string> Patterns = {u"cat",        u"cats cat",         u"кот cat",
                                                u"search sea", u"concat cat кота",  u"search",
                                                u"searching",  u"searching search", u"cats search кота"};
  const std::vector<std::u16string> Tokens = {
      u"cat",     u"cats", u"concat", u"кот", u"кота",      u"Кот",     u"search",   u"serch",
      u"searrch", u"sea",  u"SEARCH", u"x",   u"searching", u"serchng", u"seaching", u"searchinng",
      u"é",       u"а",    u" ",      u" ",   u".",         u"_"};
  CompareWithModel(Patterns, Tokens, 20261210, 64);
}

// Patterns of 4 to 64 words, which the scanner first passes through its word-set filter: words from a
// small alphabet, so that many share their first two letters, some inside others, some a letter long.
TEST(StrmScanDifferentialTest, ManyWordsAgreeWithThePlainModel) {
  std::mt19937 Random(1764);
  const std::u16string Letters = u"abcdeкот";
  std::vector<std::u16string> Vocabulary;
  while (Vocabulary.size() < 80) {
    std::u16string Word;
    const size_t Length = 1 + Random() % 9;
    for (size_t I = 0; I < Length; ++I) Word += Letters[Random() % Letters.size()];
    if (Random() % 4 == 0 && Word[0] < 0x80) Word[0] = static_cast<char16_t>(Word[0] - 'a' + 'A');
    Vocabulary.push_back(Word);
  }
  std::vector<std::u16string> Tokens = Vocabulary;
  for (const char16_t* Separator : {u" ", u" ", u" ", u".", u"_"}) Tokens.emplace_back(Separator);
  for (size_t I = 0; I < 20; ++I) {  // misspelt: one letter changed
    std::u16string Word = Vocabulary[Random() % Vocabulary.size()];
    Word[Random() % Word.size()] = Letters[Random() % Letters.size()];
    Tokens.push_back(Word);
  }
  std::vector<std::u16string> Patterns;
  for (size_t Count : {4, 5, 9, 16, 64}) {
    for (int Copy = 0; Copy < 2; ++Copy) {
      std::u16string Pattern;
      for (size_t I = 0; I < Count; ++I)
        Pattern += (I ? u" " : u"") + Vocabulary[Random() % Vocabulary.size()];
      Patterns.push_back(Pattern);
    }
  }
  // Four words that cannot overlap one another (each letter once): matched without zeroing hits.
  Patterns.push_back(u"ab cd eк от");
  Patterns.push_back(u"ab cd eк от ba dc кe то");
  Patterns.push_back(u"ab cd eк от ba dc кe то ad");
  CompareWithModel(Patterns, Tokens, 20261211, 48);
}

// An any-word search of many words folds and filters a window a piece of 4 KB at a time and stops at
// the first word found: an only occurrence that straddles a piece, a window or the carried half is found
// all the same, in 8-bit text and in UTF-16, whatever the case of the text.
TEST(StrmScanDifferentialTest, OnlyOccurrenceAcrossAPieceOrWindowEnd) {
  TStreamScanner Scanner;
  Scanner.SetLogic(slAnyWord);
  Scanner.SetPattern(u"alphaword bravoword charlieword deltaword echoword");
  const std::u16string Hit = u"cHarLieWord";
  for (const TScanEncoding E : {seAnsi, seUnicode}) {
    const int32_t C = E == seUnicode ? 2 : 1;
    for (const int32_t Boundary : {4096, 8192, 16384, 20480, 32768, 36864, 49152}) {
      for (const int32_t Before : {1, 5, 10}) {
        // Filler that none of the words can be found in, then the hit across the boundary (in bytes).
        std::u16string Text(static_cast<size_t>(Boundary / C - Before), u'x');
        Text += Hit;
        Text += std::u16string(6000, u'y');
        const std::string Bytes = Encode(Text, E);
        SCOPED_TRACE(testing::Message()
                     << "encoding " << int(E) << ", boundary " << Boundary << ", before " << Before);
        TScanEncoding Found = seFileName;
        EXPECT_EQ(RunFind(Scanner, Bytes, ScanEncodingBit(E), &Found), srFound);
        EXPECT_EQ(Found, E);
        const TRun All = RunFindAll(Scanner, Bytes, ScanEncodingBit(E));
        EXPECT_EQ(All.Hits.size(), 1u);
      }
    }
  }
}

// Words of 64 characters and more, which exact searches find by skipping ahead by about their length:
// streams of whole copies, copies with one character changed (at the start, the end or inside) and
// the short pieces they are made of, so that copies straddle the window ends.
TEST(StrmScanDifferentialTest, LongWordsAgreeWithThePlainModel) {
  std::mt19937 Random(2512);
  const std::vector<std::u16string> Pieces = {u"cat", u"кот", u"search", u"Search", u"ab", u"\x4241"};
  std::vector<std::u16string> Long;
  while (Long.size() < 4) {
    std::u16string Word;
    while (Word.size() < 64 + Long.size() * 40) Word += Pieces[Random() % Pieces.size()];
    Long.push_back(Word);
  }
  std::vector<std::u16string> Tokens = Pieces;
  for (const std::u16string& Word : Long) {
    Tokens.push_back(Word);
    for (size_t At : {size_t{0}, Word.size() / 2, Word.size() - 1}) {
      std::u16string Damaged = Word;
      Damaged[At] = u'x';
      Tokens.push_back(Damaged);
    }
  }
  for (const char16_t* Separator : {u" ", u" ", u".", u"_"}) Tokens.emplace_back(Separator);
  const std::vector<std::u16string> Patterns = {Long[0], Long[1], Long[2] + u" " + Long[3], Long[0] + u" cat",
                                                Long[3] + u" " + Long[1] + u" " + Long[0]};
  CompareWithModel(Patterns, Tokens, 20261212, 40);
}

}  // namespace
