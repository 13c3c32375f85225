// Damaged copies of good documents, for tests that check only that a reader ends cleanly on them: bytes
// flipped at places a small seeded generator picks (some in the first sectors, where the compound file's
// tables lie) and the tail cut at several lengths.
#pragma once

#include <cstdint>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

inline std::string ReadWholeFile(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Calls Use(description, damaged bytes) for each damaged copy of Good.
inline void ForEachDamagedCopy(const std::string& Good,
                               const std::function<void(const std::string&, const std::string&)>& Use) {
  uint64_t state = 0x9E3779B97F4A7C15ull ^ Good.size();
  auto next = [&state]() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  };
  if (Good.empty()) return;
  for (int copy = 0; copy < 10; ++copy) {
    std::string bad = Good;
    const int flips = 1 + copy % 6;
    // Even copies aim at the first 2 KB: header, FAT and directory of small files.
    const std::size_t span = copy % 2 == 0 ? std::min<std::size_t>(bad.size(), 2048) : bad.size();
    std::string what = "flips at";
    for (int f = 0; f < flips; ++f) {
      const std::size_t at = next() % span;
      bad[at] = static_cast<char>(bad[at] ^ static_cast<char>(1 + next() % 255));
      what += " " + std::to_string(at);
    }
    Use(what, bad);
  }
  for (std::size_t keep :
       {Good.size() - 1, Good.size() * 3 / 4, Good.size() / 2, Good.size() / 4, std::size_t{700}}) {
    if (keep < Good.size()) Use("cut to " + std::to_string(keep), Good.substr(0, keep));
  }
}
