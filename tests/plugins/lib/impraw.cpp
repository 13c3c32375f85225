// Test library that keeps the letter of the contract but none of the frame's care: only the 17 required
// exports, no SetCallback and no UTF-16 names. Its GetConversionError writes MaxLen characters and then the
// terminator (one byte more than MaxLen), and a file whose name holds "throw" makes ConvertToPureText
// throw a C++ exception straight through the export. Every other conversion fails with a 600-character
// error text; the content test answers yes for names that hold "rawclaim".
#define SCRYLINE_CONVERTER_LIBRARY 1
#include <cstring>
#include <stdexcept>
#include <string>

#include "plugins/ConverterExports.h"

namespace {

const std::string kLongError(600, 'r');

void* Fail(const char* FileName) {
  if (FileName != nullptr && std::strstr(FileName, "throw") != nullptr) {
    throw std::runtime_error("thrown through the export");
  }
  return nullptr;
}

}  // namespace

extern "C" {

const char* GetDllInfo(void) { return "Test Library raw"; }
int32_t GetDllVersion(void) { return 5; }
TConvBool InitializeConverterTypes(void) { return 1; }
TConvBool FreeUpConverterTypes(void) { return 1; }
int32_t GetCompatibilityFlags(void) { return cfFlag4 | cfFlag8; }
int32_t GetOptionFlags(void) { return 0; }
void SetOptionFlags(int32_t) {}
const char* ListSupportedTypes(int32_t* Count) {
  if (Count != nullptr) *Count = 1;
  return "raw";
}
TConvBool IsFileTypeSupported(const char* Ext) { return Ext != nullptr && std::strcmp(Ext, "raw") == 0; }
const char* GetType(int32_t Index) { return Index == 0 ? "raw" : nullptr; }
const char* GetTypeDescription(int32_t Index) { return Index == 0 ? "Raw" : nullptr; }
TConvBool IsFileSupported(const char* FileName) {
  return FileName != nullptr && std::strstr(FileName, "rawclaim") != nullptr;
}
void* ConvertToUnicode(const char* FileName, int32_t*) { return Fail(FileName); }
void* ConvertToPureText(const char* FileName, int32_t*) { return Fail(FileName); }
void* ConvertMemoryToUnicode(const void*, int32_t, int32_t*) { return nullptr; }
void* ConvertMemoryToPureText(const void*, int32_t, int32_t*) { return nullptr; }
TConvBool GetConversionError(char* Buffer, int32_t MaxLen) {
  size_t N =
      kLongError.size() < static_cast<size_t>(MaxLen) ? kLongError.size() : static_cast<size_t>(MaxLen);
  std::memcpy(Buffer, kLongError.data(), N);
  Buffer[N] = '\0';
  return 1;
}

}  // extern "C"
