// The contract answers of a loaded converter library, checked in one place for the Word and MP3 tag
// converter tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "search/QVConvIntf.h"

struct TConverterAnswers {
  const char* Info;
  int32_t Version;
  int32_t Flags;
  const char* Type;         // the library's one type
  const char* Description;  // its display name
  bool SetCallback;         // whether SetCallback is exported
};

// Checks the answers, that every index but 0 answers "-", and that the extension test takes the type in
// any case and with anything behind it (so "mp3x"), but no other extension.
inline void ExpectConverterAnswers(TQVConverter& Converter, const TConverterAnswers& A) {
  EXPECT_EQ(Converter.GetDllInfo(), A.Info);
  EXPECT_EQ(Converter.Exports.GetDllVersion(), A.Version);
  EXPECT_EQ(Converter.Flags, A.Flags);
  int32_t count = 0;
  EXPECT_EQ(Converter.ListSupportedTypes(count), A.Type);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(Converter.GetType(0), A.Type);
  EXPECT_EQ(Converter.GetTypeDescription(0), A.Description);
  for (int32_t index : {-1, 1, 4}) {
    EXPECT_EQ(Converter.GetType(index), "-") << index;
    EXPECT_EQ(Converter.GetTypeDescription(index), "-") << index;
  }
  std::string upper = A.Type;
  for (char& c : upper) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  const std::string type = A.Type;
  const struct {
    std::string ext;
    bool supported;
  } cases[] = {{type, true}, {upper, true}, {type + "x", true}, {type.substr(0, 2), false}, {"txt", false}};
  for (const auto& c : cases) EXPECT_EQ(Converter.IsFileTypeSupported(c.ext), c.supported) << c.ext;
  EXPECT_EQ(Converter.Exports.SetCallback != nullptr, A.SetCallback);
  EXPECT_EQ(Converter.Exports.IsMemDataSupported, nullptr);
}
