// Shared helpers of the viewer tests: a fixed-width font and streams made from text.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/VStream.h"
#include "viewer/FontMetrics.h"

// 8 pixels a character, 16 for "W" (a wide letter), line height 16.
class FixedMetrics : public IFontMetrics {
 public:
  int32_t CharWidth(char32_t Ch) override { return Ch == U'W' ? 16 : 8; }
  int32_t LineHeight() override { return 16; }
};

inline std::unique_ptr<TVMemStream> MemStream(const std::string& Bytes) {
  auto S = std::make_unique<TVMemStream>();
  S->Write(Bytes.data(), static_cast<int32_t>(Bytes.size()));
  S->Seek(0);
  return S;
}

// UTF-16LE bytes of a UTF-16 text.
inline std::string Utf16LE(const std::u16string& Text) {
  std::string B;
  for (char16_t C : Text) {
    B.push_back(static_cast<char>(C & 0xFF));
    B.push_back(static_cast<char>(C >> 8));
  }
  return B;
}
