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
  int32_t Count = 0;
  EXPECT_EQ(Converter.ListSupportedTypes(Count), A.Type);
  EXPECT_EQ(Count, 1);
  EXPECT_EQ(Converter.GetType(0), A.Type);
  EXPECT_EQ(Converter.GetTypeDescription(0), A.Description);
  for (int32_t Index : {-1, 1, 4}) {
    EXPECT_EQ(Converter.GetType(Index), "-") << Index;
    EXPECT_EQ(Converter.GetTypeDescription(Index), "-") << Index;
  }
  std::string Upper = A.Type;
  for (char& C : Upper) C = (C >= 'a' && C <= 'z') ? static_cast<char>(C - 'a' + 'A') : C;
  const std::string Type = A.Type;
  const struct {
    std::string Ext;
    bool Supported;
  } Cases[] = {{Type, true}, {Upper, true}, {Type + "x", true}, {Type.substr(0, 2), false}, {"txt", false}};
  for (const auto& C : Cases) EXPECT_EQ(Converter.IsFileTypeSupported(C.Ext), C.Supported) << C.Ext;
  EXPECT_EQ(Converter.Exports.SetCallback != nullptr, A.SetCallback);
  EXPECT_EQ(Converter.Exports.IsMemDataSupported, nullptr);
}
