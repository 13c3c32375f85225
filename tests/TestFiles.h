// Whole-file reads and writes for tests: fixtures in, expected output out. Every test program shares these.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

// The file's bytes; empty when it cannot be read.
inline std::string ReadFileBytes(const std::filesystem::path& Path) {
  std::ifstream In(Path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
}

// Replaces the file's contents with Bytes.
inline void WriteFileBytes(const std::filesystem::path& Path, std::string_view Bytes) {
  std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
  Out.write(Bytes.data(), static_cast<std::streamsize>(Bytes.size()));
}
