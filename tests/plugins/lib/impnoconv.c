/* Test library written in C against the export contract, lacking the required export ConvertToUnicode:
 * the host must refuse to load it. Everything else answers as an idle converter would. */
#define SCRYLINE_CONVERTER_LIBRARY 1
#include "plugins/ConverterExports.h"

#include <stddef.h>

const char* GetDllInfo(void) { return "Test Library without ConvertToUnicode"; }
int32_t GetDllVersion(void) { return 1; }
TConvBool InitializeConverterTypes(void) { return 1; }
TConvBool FreeUpConverterTypes(void) { return 1; }
int32_t GetCompatibilityFlags(void) { return cfFlag4 | cfFlag8; }
int32_t GetOptionFlags(void) { return 0; }
void SetOptionFlags(int32_t Flags) { (void)Flags; }
const char* ListSupportedTypes(int32_t* Count) {
  if (Count != NULL) *Count = 1;
  return "txt";
}
TConvBool IsFileTypeSupported(const char* Ext) {
  (void)Ext;
  return 1;
}
const char* GetType(int32_t Index) { return Index == 0 ? "txt" : NULL; }
const char* GetTypeDescription(int32_t Index) { return Index == 0 ? "Text" : NULL; }
TConvBool IsFileSupported(const char* FileName) {
  (void)FileName;
  return 1;
}
void* ConvertToPureText(const char* FileName, int32_t* Size) {
  (void)FileName;
  (void)Size;
  return NULL;
}
void* ConvertMemoryToUnicode(const void* Data, int32_t Reserved, int32_t* Size) {
  (void)Data;
  (void)Reserved;
  (void)Size;
  return NULL;
}
void* ConvertMemoryToPureText(const void* Data, int32_t Reserved, int32_t* Size) {
  (void)Data;
  (void)Reserved;
  (void)Size;
  return NULL;
}
TConvBool GetConversionError(char* Buffer, int32_t MaxLen) {
  if (Buffer != NULL && MaxLen > 0) Buffer[0] = '\0';
  return 0;
}
