// FindInBuf and FindWordsInBuf against glibc memmem on a 32 KB window of text-like bytes, the size of
// the stream scanner's window. The pattern is absent, so every call scans the whole window; frequent
// first characters ("e", the blank) make the candidate filter work.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>

#include "platform/qvnls/Qvnls.h"

namespace {

constexpr size_t kWindow = 32768;  // the stream scanner's window

std::string TextWindow() {
  static const char kWords[][8] = {"the", "search", "engine", "reads", "every", "file",
                                   "and", "seeks",  "text",   "here",  "there", "one"};
  std::mt19937 Random(1);
  std::string S;
  while (S.size() < kWindow) {
    S += kWords[Random() % std::size(kWords)];
    S += ' ';
  }
  S.resize(kWindow);
  return S;
}

std::u16string Widen(const std::string& S) { return std::u16string(S.begin(), S.end()); }

// Starts and ends with "e", the most frequent letter, and holds a "q", which the text never does.
std::string Pattern(int64_t Length) {
  std::string P = "eqngine reads every file and seeks text there and here";
  P.resize(static_cast<size_t>(Length), 'x');
  P[Length - 1] = 'e';
  return P;
}

void BM_FindInBuf(benchmark::State& State) {
  const std::string Text = TextWindow();
  const std::string Needle = Pattern(State.range(0));
  for (auto _ : State)
    benchmark::DoNotOptimize(qvnls::FindInBuf(Needle.data(), static_cast<int32_t>(Needle.size()), Text.data(),
                                              static_cast<int32_t>(Text.size())));
  State.SetBytesProcessed(State.iterations() * static_cast<int64_t>(Text.size()));
}

void BM_Memmem(benchmark::State& State) {
  const std::string Text = TextWindow();
  const std::string Needle = Pattern(State.range(0));
  for (auto _ : State)
    benchmark::DoNotOptimize(memmem(Text.data(), Text.size(), Needle.data(), Needle.size()));
  State.SetBytesProcessed(State.iterations() * static_cast<int64_t>(Text.size()));
}

void BM_FindWordsInBuf(benchmark::State& State) {
  const std::u16string Text = Widen(TextWindow()).substr(0, kWindow / 2);
  const std::u16string Needle = Widen(Pattern(State.range(0)));
  for (auto _ : State)
    benchmark::DoNotOptimize(qvnls::FindWordsInBuf(Needle.data(), static_cast<int32_t>(Needle.size()),
                                                   Text.data(), static_cast<int32_t>(Text.size())));
  State.SetBytesProcessed(State.iterations() * static_cast<int64_t>(2 * Text.size()));
}

// memmem on the UTF-16 bytes, rejecting hits at odd offsets, as a search without the unit loop would.
void BM_MemmemWords(benchmark::State& State) {
  const std::u16string Text = Widen(TextWindow()).substr(0, kWindow / 2);
  const std::u16string Needle = Widen(Pattern(State.range(0)));
  const char* Base = reinterpret_cast<const char*>(Text.data());
  const size_t Bytes = 2 * Text.size();
  for (auto _ : State) {
    size_t From = 0;
    const void* Hit = nullptr;
    while (From < Bytes) {
      Hit = memmem(Base + From, Bytes - From, Needle.data(), 2 * Needle.size());
      if (Hit == nullptr || (static_cast<const char*>(Hit) - Base) % 2 == 0) break;
      From = static_cast<size_t>(static_cast<const char*>(Hit) - Base) + 1;
    }
    benchmark::DoNotOptimize(Hit);
  }
  State.SetBytesProcessed(State.iterations() * static_cast<int64_t>(Bytes));
}

}  // namespace

BENCHMARK(BM_FindInBuf)->Arg(3)->Arg(6)->Arg(16)->Arg(40);
BENCHMARK(BM_Memmem)->Arg(3)->Arg(6)->Arg(16)->Arg(40);
BENCHMARK(BM_FindWordsInBuf)->Arg(3)->Arg(6)->Arg(16)->Arg(40);
BENCHMARK(BM_MemmemWords)->Arg(3)->Arg(6)->Arg(16)->Arg(40);

BENCHMARK_MAIN();
