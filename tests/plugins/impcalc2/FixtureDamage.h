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
  std::ifstream In(Path, std::ios::binary);
  std::stringstream Ss;
  Ss << In.rdbuf();
  return Ss.str();
}

// Calls Use(description, damaged bytes) for each damaged copy of Good.
inline void ForEachDamagedCopy(const std::string& Good,
                               const std::function<void(const std::string&, const std::string&)>& Use) {
  uint64_t State = 0x9E3779B97F4A7C15ull ^ Good.size();
  auto Next = [&State]() {
    State ^= State << 13;
    State ^= State >> 7;
    State ^= State << 17;
    return State;
  };
  if (Good.empty()) return;
  for (int Copy = 0; Copy < 10; ++Copy) {
    std::string Bad = Good;
    const int Flips = 1 + Copy % 6;
    // Even copies aim at the first 2 KB: header, FAT and directory of small files.
    const std::size_t Span = Copy % 2 == 0 ? std::min<std::size_t>(Bad.size(), 2048) : Bad.size();
    std::string What = "flips at";
    for (int F = 0; F < Flips; ++F) {
      const std::size_t At = Next() % Span;
      Bad[At] = static_cast<char>(Bad[At] ^ static_cast<char>(1 + Next() % 255));
      What += " " + std::to_string(At);
    }
    Use(What, Bad);
  }
  for (std::size_t Keep :
       {Good.size() - 1, Good.size() * 3 / 4, Good.size() / 2, Good.size() / 4, std::size_t{700}}) {
    if (Keep < Good.size()) Use("cut to " + std::to_string(Keep), Good.substr(0, Keep));
  }
}
