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
  std::mt19937 random(1);
  std::string s;
  while (s.size() < kWindow) {
    s += kWords[random() % std::size(kWords)];
    s += ' ';
  }
  s.resize(kWindow);
  return s;
}

std::u16string Widen(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// Starts and ends with "e", the most frequent letter, and holds a "q", which the text never does.
std::string Pattern(int64_t length) {
  std::string p = "eqngine reads every file and seeks text there and here";
  p.resize(static_cast<size_t>(length), 'x');
  p[length - 1] = 'e';
  return p;
}

void BM_FindInBuf(benchmark::State& state) {
  const std::string text = TextWindow();
  const std::string pattern = Pattern(state.range(0));
  for (auto _ : state)
    benchmark::DoNotOptimize(qvnls::FindInBuf(pattern.data(), static_cast<int32_t>(pattern.size()),
                                              text.data(), static_cast<int32_t>(text.size())));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}

void BM_Memmem(benchmark::State& state) {
  const std::string text = TextWindow();
  const std::string pattern = Pattern(state.range(0));
  for (auto _ : state)
    benchmark::DoNotOptimize(memmem(text.data(), text.size(), pattern.data(), pattern.size()));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}

void BM_FindWordsInBuf(benchmark::State& state) {
  const std::u16string text = Widen(TextWindow()).substr(0, kWindow / 2);
  const std::u16string pattern = Widen(Pattern(state.range(0)));
  for (auto _ : state)
    benchmark::DoNotOptimize(qvnls::FindWordsInBuf(pattern.data(), static_cast<int32_t>(pattern.size()),
                                                   text.data(), static_cast<int32_t>(text.size())));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(2 * text.size()));
}

// memmem on the UTF-16 bytes, rejecting hits at odd offsets, as a search without the unit loop would.
void BM_MemmemWords(benchmark::State& state) {
  const std::u16string text = Widen(TextWindow()).substr(0, kWindow / 2);
  const std::u16string pattern = Widen(Pattern(state.range(0)));
  const char* base = reinterpret_cast<const char*>(text.data());
  const size_t bytes = 2 * text.size();
  for (auto _ : state) {
    size_t from = 0;
    const void* hit = nullptr;
    while (from < bytes) {
      hit = memmem(base + from, bytes - from, pattern.data(), 2 * pattern.size());
      if (hit == nullptr || (static_cast<const char*>(hit) - base) % 2 == 0) break;
      from = static_cast<size_t>(static_cast<const char*>(hit) - base) + 1;
    }
    benchmark::DoNotOptimize(hit);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
}

}  // namespace

BENCHMARK(BM_FindInBuf)->Arg(3)->Arg(6)->Arg(16)->Arg(40);
BENCHMARK(BM_Memmem)->Arg(3)->Arg(6)->Arg(16)->Arg(40);
BENCHMARK(BM_FindWordsInBuf)->Arg(3)->Arg(6)->Arg(16)->Arg(40);
BENCHMARK(BM_MemmemWords)->Arg(3)->Arg(6)->Arg(16)->Arg(40);

BENCHMARK_MAIN();
