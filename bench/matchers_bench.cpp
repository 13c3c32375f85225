// Throughput of the bit-parallel matchers over about 1 MB of word-like text with a planted, slightly
// misspelt hit every few kilobytes: both searchers, patterns on the one-word path (6, 12 and 40
// characters) and on the long path (100 characters), K = 0..2. FindAll reports every kept match;
// FirstLoop walks the text the way the stream scanner does, asking for the first match and going on
// after it.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>

#include "search/ShiftAnd.h"
#include "search/ShiftAndWide.h"

namespace {

constexpr size_t kTextBytes = 1 << 20;
constexpr size_t kHitSpacing = 4096;

std::string PatternOfLength(size_t M) {
  static const std::string Phrase =
      "information retrieval with approximate matching of search patterns in long streams of text "
      "which may hold misspelt words and phrases of any length";
  return Phrase.substr(0, M);
}

std::string MakeText(const std::string& Pattern) {
  static const char* const kWords[] = {"the",    "of",      "search", "and",   "form", "in",
                                       "inform", "text",    "a",      "match", "is",   "stream",
                                       "with",   "pattern", "file",   "long",  "word", "retrieval"};
  std::mt19937 Rng(7);
  std::string Text;
  size_t NextHit = kHitSpacing;
  while (Text.size() < kTextBytes) {
    if (Text.size() >= NextHit) {
      std::string Hit = Pattern;
      Hit[Hit.size() / 2] = 'x';  // one substitution
      Text += Hit;
      NextHit += kHitSpacing;
    } else {
      Text += kWords[Rng() % (sizeof(kWords) / sizeof(kWords[0]))];
    }
    Text += ' ';
  }
  return Text;
}

template <typename TSearcher>
typename TSearcher::TString Convert(const std::string& S) {
  return typename TSearcher::TString(S.begin(), S.end());
}

// The text and the prepared searcher of one run; the state's arguments are pattern length and K.
template <typename TSearcher>
struct TMatcherRun {
  explicit TMatcherRun(const benchmark::State& State) {
    const std::string Pattern = PatternOfLength(static_cast<size_t>(State.range(0)));
    Text = Convert<TSearcher>(MakeText(Pattern));
    Searcher.SetPattern(Convert<TSearcher>(Pattern));
    Searcher.MaxErrors = static_cast<uint16_t>(State.range(1));
  }
  int32_t Length() const { return static_cast<int32_t>(Text.size()); }
  void Report(benchmark::State& State, size_t Matches) const {
    State.counters["matches"] = static_cast<double>(Matches);
    State.SetBytesProcessed(static_cast<int64_t>(State.iterations() * Text.size() *
                                                 sizeof(typename TSearcher::TString::value_type)));
  }

  typename TSearcher::TString Text;
  TSearcher Searcher;
};

template <typename TSearcher>
void BM_FindAll(benchmark::State& State) {
  TMatcherRun<TSearcher> Run(State);
  ShiftAndTypes::TSearchResults Results;
  for (auto _ : State) {
    Run.Searcher.Search(Run.Text.data(), Run.Length(), true, Results);
    benchmark::DoNotOptimize(Results.data());
  }
  Run.Report(State, Results.size());
}

template <typename TSearcher>
void BM_FirstLoop(benchmark::State& State) {
  TMatcherRun<TSearcher> Run(State);
  size_t Hits = 0;
  for (auto _ : State) {
    Hits = 0;
    int32_t Offset = 0;
    TShiftAndMatch Match;
    while (Offset < Run.Length() &&
           Run.Searcher.SearchFirst(Run.Text.data() + Offset, Run.Length() - Offset, Match)) {
      ++Hits;
      Offset += std::max(Match.Start, 0) + Match.Length;
    }
    benchmark::DoNotOptimize(Hits);
  }
  Run.Report(State, Hits);
}

void Shapes(benchmark::internal::Benchmark* B) {
  for (int64_t M : {6, 12, 40, 100}) {
    for (int64_t K : {0, 1, 2}) B->Args({M, K});
  }
  B->ArgNames({"m", "K"})->Unit(benchmark::kMillisecond);
}

BENCHMARK_TEMPLATE(BM_FindAll, TShiftAndSearcher)->Apply(Shapes);
BENCHMARK_TEMPLATE(BM_FindAll, TWideShiftAndSearcher)->Apply(Shapes);
BENCHMARK_TEMPLATE(BM_FirstLoop, TShiftAndSearcher)->Apply(Shapes);
BENCHMARK_TEMPLATE(BM_FirstLoop, TWideShiftAndSearcher)->Apply(Shapes);

}  // namespace

BENCHMARK_MAIN();
