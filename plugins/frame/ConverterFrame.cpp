// The exports of the converter contract, defined once for every converter library over its
// TConverterDefinition. Every body runs inside GuardExport, so no exception crosses the export.
#define SCRYLINE_CONVERTER_LIBRARY 1

#include "plugins/frame/ConverterFrame.h"

#include <string_view>

#include "core/Exception.h"

namespace {

const TConverterDefinition& Def() { return ConverterDefinition(); }

char LowerAscii(char C) { return (C >= 'A' && C <= 'Z') ? static_cast<char>(C - 'A' + 'a') : C; }

// Whether Ext equals Type (tmWhole) or begins with it (tmPrefix), ignoring ASCII case.
bool ExtensionMatches(std::string_view Ext, std::string_view Type, TTypeMatch Match) {
  if (Ext.size() < Type.size()) return false;
  if (Match == TTypeMatch::tmWhole && Ext.size() != Type.size()) return false;
  for (std::size_t I = 0; I < Type.size(); ++I) {
    if (LowerAscii(Ext[I]) != LowerAscii(Type[I])) return false;
  }
  return true;
}

const char* TypeAt(std::span<const char* const> List, int32_t Index) {
  if (Index < 0 || static_cast<std::size_t>(Index) >= List.size()) return Def().OutOfRange;
  return List[static_cast<std::size_t>(Index)];
}

template <class Char>
TConvBool ContentTest(const Char* FileName) {
  const TConverterDefinition& Definition = Def();
  if (Definition.ClearErrorOnContentTest) ClearLastErrorText();
  try {
    std::string Name = NativeFileName(FileName);
    return Definition.IsFileSupported != nullptr && Definition.IsFileSupported(Name);
  } catch (...) {
    if (Definition.KeepContentTestError) SetErrorFromCurrentException();
    return false;
  }
}

// Runs Reader and hands its text out in a result block; a cancel answers null with "User canceled".
template <class Reader>
void* RunReader(bool Unicode, int32_t* Size, Reader&& Read) {
  std::string Text;
  std::unique_ptr<TProgress> Progress = MakeProgress();
  if (!Read(Progress.get(), Text)) {
    *Size = 0;
    SetLastErrorText(kUserCanceled);
    return nullptr;
  }
  return MakeResultBlock(Text, Unicode, Def().TrimTrailingZeros, *Size);
}

template <class Char>
void* ConvertFileExport(const Char* FileName, bool Unicode, int32_t* Size) {
  return GuardExport<void*>(nullptr, [&]() -> void* {
    const TConverterDefinition& Definition = Def();
    if (Definition.ClearErrorOnConvert) ClearLastErrorText();
    ClearWarningText();
    if (Size == nullptr || Definition.ConvertFile == nullptr) throw Exception(kErrorInParameters);
    std::string Name = NativeFileName(FileName);
    return RunReader(Unicode, Size, [&](IConvProgress* Progress, std::string& Text) {
      return Definition.ConvertFile(Name, Unicode, Progress, Text);
    });
  });
}

void* ConvertMemoryExport(const void* Data, bool Unicode, int32_t* Size) {
  const TConverterDefinition& Definition = Def();
  if (Definition.ConvertMemory == nullptr && !Definition.RefuseMemory) return nullptr;
  return GuardExport<void*>(nullptr, [&]() -> void* {
    if (Definition.ClearErrorOnConvert) ClearLastErrorText();
    ClearWarningText();
    if (Size == nullptr) throw Exception(kErrorInParameters);
    if (Definition.ConvertMemory == nullptr) {
      *Size = 0;
      throw Exception(kMemoryNotSupported);
    }
    if (*Size < 0 || (Data == nullptr && *Size > 0)) throw Exception(kErrorInParameters);
    const auto Length = static_cast<std::size_t>(*Size);
    return RunReader(Unicode, Size, [&](IConvProgress* Progress, std::string& Text) {
      return Definition.ConvertMemory(Data, Length, Unicode, Progress, Text);
    });
  });
}

}  // namespace

extern "C" {

const char* GetDllInfo(void) { return Def().DllInfo; }

int32_t GetDllVersion(void) { return Def().DllVersion; }

TConvBool InitializeConverterTypes(void) {
  return GuardExport<TConvBool>(0,
                                [] { return Def().InitializeTypes == nullptr || Def().InitializeTypes(); });
}

TConvBool FreeUpConverterTypes(void) {
  return GuardExport<TConvBool>(0, [] { return Def().FreeUpTypes == nullptr || Def().FreeUpTypes(); });
}

int32_t GetCompatibilityFlags(void) { return Def().CompatibilityFlags; }

int32_t GetOptionFlags(void) { return 0; }

void SetOptionFlags(int32_t) {}

const char* ListSupportedTypes(int32_t* Count) {
  if (Count != nullptr) *Count = static_cast<int32_t>(Def().Types.size());
  return Def().TypeList;
}

TConvBool IsFileTypeSupported(const char* Ext) {
  if (Ext == nullptr) return 0;
  for (const char* Type : Def().Types) {
    if (ExtensionMatches(Ext, Type, Def().TypeMatch)) return 1;
  }
  return 0;
}

const char* GetType(int32_t Index) { return TypeAt(Def().Types, Index); }

const char* GetTypeDescription(int32_t Index) { return TypeAt(Def().Descriptions, Index); }

TConvBool IsFileSupported(const char* FileName) { return ContentTest(FileName); }

TConvBool IsFileSupportedW(const char16_t* FileName) { return ContentTest(FileName); }

void* ConvertToUnicode(const char* FileName, int32_t* Size) {
  return ConvertFileExport(FileName, true, Size);
}

void* ConvertToPureText(const char* FileName, int32_t* Size) {
  return ConvertFileExport(FileName, false, Size);
}

void* ConvertToUnicodeW(const char16_t* FileName, int32_t* Size) {
  return ConvertFileExport(FileName, true, Size);
}

void* ConvertToPureTextW(const char16_t* FileName, int32_t* Size) {
  return ConvertFileExport(FileName, false, Size);
}

void* ConvertMemoryToUnicode(const void* Data, int32_t, int32_t* Size) {
  return ConvertMemoryExport(Data, true, Size);
}

void* ConvertMemoryToPureText(const void* Data, int32_t, int32_t* Size) {
  return ConvertMemoryExport(Data, false, Size);
}

TConvBool GetConversionError(char* Buffer, int32_t MaxLen) { return CopyLastErrorText(Buffer, MaxLen); }

TConvBool GetConversionWarning(char* Buffer, int32_t MaxLen) { return CopyWarningText(Buffer, MaxLen); }

void SetCallback(TPluginCallback Callback, void* UserData) {
  PluginCallback = Callback;
  PluginCallbackData = Callback != nullptr ? UserData : nullptr;
}

}  // extern "C"
