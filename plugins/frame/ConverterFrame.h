// The export frame of a converter library. The frame defines every export of the converter contract once;
// a library describes itself in one TConverterDefinition and supplies its readers, and the frame does the
// rest: argument checks, file names, the error text, progress and cancel, and the result block. No
// exception ever leaves an export: a failure answers null (or false) and leaves its text for
// GetConversionError.
//
// A library is built with scryline_converter_library (plugins/CMakeLists.txt), which links this frame
// whole and exports exactly the contract's names. The library defines ConverterDefinition().
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "plugins/frame/ConvCmmn.h"

// How IsFileTypeSupported compares an extension with the library's types (always ignoring ASCII case).
enum class TTypeMatch {
  tmWhole,   // the whole extension equals a type
  tmPrefix,  // the extension begins with a type (so "mp3" also takes "mp3x")
};

// A reader writes the text into Text: UTF-16LE bytes when Unicode, else 8-bit text in the Windows code
// page. It answers false when Progress said stop, and raises (with a message ready to show) on failure.
// Progress is null when the host set no callback.
using TFileReader = bool (*)(const std::string& FileName, bool Unicode, IConvProgress* Progress,
                             std::string& Text);
using TMemoryReader = bool (*)(const void* Data, std::size_t Size, bool Unicode, IConvProgress* Progress,
                               std::string& Text);
// The content test of a named file; raises on failure, which counts as "no".
using TContentTest = bool (*)(const std::string& FileName);
// One-time set-up and its undoing (InitializeConverterTypes, FreeUpConverterTypes).
using TTypesHook = bool (*)();

struct TConverterDefinition {
  // GetDllInfo, GetDllVersion and GetCompatibilityFlags.
  const char* DllInfo = "";
  int32_t DllVersion = 0;
  int32_t CompatibilityFlags = cfFlag4 | cfFlag8;

  // ListSupportedTypes answers TypeList ("htm;html") with the number of Types; GetType and
  // GetTypeDescription answer Types[i] and Descriptions[i], and OutOfRange (null or "-") for any other
  // index. Descriptions has as many entries as Types.
  const char* TypeList = "";
  std::span<const char* const> Types;
  std::span<const char* const> Descriptions;
  const char* OutOfRange = nullptr;
  TTypeMatch TypeMatch = TTypeMatch::tmWhole;

  // Readers. ConvertFile is required. Without ConvertMemory the memory exports answer null and leave Size
  // and the error text alone, unless RefuseMemory is set: then they answer null, Size 0 and
  // "Converting memory not supported".
  TFileReader ConvertFile = nullptr;
  TMemoryReader ConvertMemory = nullptr;
  bool RefuseMemory = false;
  TContentTest IsFileSupported = nullptr;
  TTypesHook InitializeTypes = nullptr;
  TTypesHook FreeUpTypes = nullptr;

  // A conversion clears the error text when it starts.
  bool ClearErrorOnConvert = true;
  // A content test clears the error text when it starts, and keeps the message of its failure.
  bool ClearErrorOnContentTest = false;
  bool KeepContentTestError = true;
  // Zero characters at the end of a converted text are dropped.
  bool TrimTrailingZeros = false;
};

// Defined by each converter library: its answers and readers. Called from every export.
const TConverterDefinition& ConverterDefinition();
