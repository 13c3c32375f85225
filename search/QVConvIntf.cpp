#include "search/QVConvIntf.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <utility>

#include "archive/Archiver.h"
#include "core/Exception.h"
#include "core/FileLayer.h"
#include "core/VFileStream.h"
#include "core/VFileSys.h"
#include "core/VStream.h"

namespace {

// The library's error text: GetConversionError writes at most MaxLen bytes with the terminator, or, in
// libraries that count the terminator apart, MaxLen characters and then the terminator. The buffer has
// room for both, and the host keeps at most kErrorTextChars characters of it.
constexpr int32_t kErrorTextChars = 512;
constexpr int32_t kErrorTextMaxLen = kErrorTextChars + 1;
constexpr size_t kErrorTextBuffer = kErrorTextChars + 4;

// Appends Line to Text, with CR LF between texts.
void AppendErrorLine(std::string& Text, const std::string& Line) {
  if (Line.empty()) return;
  if (!Text.empty()) Text += "\r\n";
  Text += Line;
}

// The message of the exception being handled.
std::string CurrentExceptionText() {
  try {
    throw;
  } catch (const std::exception& E) {
    return E.what();
  } catch (...) {
    return "Unknown exception";
  }
}

// A UTF-16 form of a file name, or nothing when the name is not UTF-8 that converts there and back
// unchanged (a Linux name may hold any bytes; such a name goes to the 8-bit exports as it is).
bool WideFileName(const std::string& FileName, std::u16string& Wide) {
  Wide = Utf8ToUtf16(FileName);
  return Utf16ToUtf8(Wide) == FileName;
}

// Whether a converter is asked for UTF-16 under UnicodeMode.
bool WantsUnicode(const TQVConverter& Converter, int UnicodeMode) {
  if (UnicodeMode == kUnicodeModeAnsi) return false;
  if (UnicodeMode == kUnicodeModeUnicode) return true;
  return (Converter.Flags & cfUnicodeOutput) != 0;
}

// Locks the list for one conversion unless the library converts without the lock, and restores the list's
// state afterwards, so that a conversion that runs inside another one (through a progress handler) does not
// release the outer one's lock. OnBusyChange hears only real changes.
class TBusyLock {
 public:
  explicit TBusyLock(TQVConverter& Converter) : Converter_(Converter) {
    Converter_.Busy = true;
    Owner_ = (Converter.Flags & cfNoBusyLock) == 0 ? Converter.Owner : nullptr;
    if (Owner_ == nullptr) return;
    WasBusy_ = Owner_->Busy;
    Owner_->Busy = true;
    if (!WasBusy_) Notify(true);
  }
  ~TBusyLock() {
    Converter_.Busy = false;
    if (Owner_ == nullptr) return;
    Owner_->Busy = WasBusy_;
    if (!WasBusy_) Notify(false);
  }
  TBusyLock(const TBusyLock&) = delete;
  TBusyLock& operator=(const TBusyLock&) = delete;

 private:
  // The notification is only news for the owner: a handler that raises changes nothing of the state.
  void Notify(bool Busy) noexcept {
    if (!Owner_->OnBusyChange) return;
    try {
      Owner_->OnBusyChange(Owner_, Busy);
    } catch (...) {
    }
  }

  TQVConverter& Converter_;
  TQVConverters* Owner_ = nullptr;
  bool WasBusy_ = false;
};

// Where one conversion of the list puts its outcome (the caller's variables).
struct TAnswer {
  std::string& ErrorText;
  TQVConverter*& Converter;
  int32_t& Size;
  bool& IsUnicode;
  TResultBlock Block = nullptr;

  void Clear() {
    ErrorText.clear();
    Converter = nullptr;
    Size = 0;
    IsUnicode = false;
  }

  // Asks Candidate through Convert (Candidate, Unicode, Error, Size): true when the call is over, because
  // a text came (the answer then holds it) or the progress handler cancelled. A failure's text is added
  // to ErrorText.
  template <class Convert>
  bool Attempt(TQVConverter& Candidate, int UnicodeMode, Convert&& DoConvert) {
    const bool Unicode = WantsUnicode(Candidate, UnicodeMode);
    std::string Error;
    int32_t BlockSize = 0;
    Block = DoConvert(Candidate, Unicode, Error, BlockSize);
    if (Block) {
      Converter = &Candidate;
      Size = BlockSize;
      IsUnicode = Unicode;
      return true;
    }
    AppendErrorLine(ErrorText, Error);
    return Candidate.Cancelled;
  }
};

// A temporary copy of a stream for the libraries that read files: made empty with the stream's extension
// in a folder of this process below the temporary root (so that a signal that ends the process, or the
// next start, removes it), and deleted with its folder when the object goes, on every path.
class TConvTempFile {
 public:
  TConvTempFile() = default;
  ~TConvTempFile() { RemoveProcessTempFile(Name); }
  TConvTempFile(const TConvTempFile&) = delete;
  TConvTempFile& operator=(const TConvTempFile&) = delete;

  // Makes the file ("QV..." + "." + Ext, with room for NeededBytes). False with the system's text when no
  // file could be made.
  bool Make(const std::string& Ext, int64_t NeededBytes, std::string& Error);

  std::string Name;
};

}  // namespace

bool TConvTempFile::Make(const std::string& Ext, int64_t NeededBytes, std::string& Error) {
  errno = 0;
  if (!MakeProcessTempFile("QV", Ext, NeededBytes, Name)) {
    // No folder with room for the copy is a full disk as far as the caller can tell.
    Error = std::strerror(errno != 0 ? errno : ENOSPC);
    return false;
  }
  return true;
}

// ---------------------------------------------------------------------------------------------------
// TQVConverter

TQVConverter::TQVConverter(TQVConverters* Owner) : Owner(Owner) {}

TQVConverter::~TQVConverter() { Unload(); }

int TQVConverter::Load(const std::string& FileName) {
  Unload();
  LoadErrorText.clear();
  // dlopen searches the library paths for a name without a slash; a plug-in is only ever taken from the
  // place it was found.
  std::string Path = FileName.find('/') == std::string::npos ? "./" + FileName : FileName;
  dlerror();
  void* handle = dlopen(Path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* Error = dlerror();
    LoadErrorText = Error != nullptr ? Error : "cannot load " + FileName;
    return kConverterLoadFailed;
  }
  Handle = handle;
  this->FileName_ = FileName;

  TExports exports;
  std::string missing;
#define SCRY_BIND_CONVERTER_EXPORT(Name, Required)                \
  exports.Name = reinterpret_cast<T##Name>(dlsym(handle, #Name)); \
  if (exports.Name == nullptr && Required && missing.empty()) missing = #Name;
  CONVERTER_EXPORT_LIST(SCRY_BIND_CONVERTER_EXPORT)
#undef SCRY_BIND_CONVERTER_EXPORT
  if (!missing.empty()) {
    // Unloaded at once: a converter with half its exports must not be callable.
    Unload();
    LoadErrorText = "The export " + missing + " is missing";
    return kConverterExportMissing;
  }
  Exports = exports;
  Flags = Exports.GetCompatibilityFlags();
  return kConverterLoaded;
}

void TQVConverter::Unload() {
  Exports = TExports();
  if (Handle != nullptr) dlclose(Handle);
  Handle = nullptr;
}

int32_t TQVConverter::ConverterCallback(int32_t Kind, int32_t Current, int32_t Total, void* UserData) {
  auto* Converter = static_cast<TQVConverter*>(UserData);
  if (Kind != 0 || Converter == nullptr || !Converter->Progress) return 1;
  bool GoOn = false;
  try {
    GoOn = Converter->Progress(Converter, Current, Total);
  } catch (...) {
    // The library's frames lie between here and the host: the exception stops the conversion and its
    // message becomes the conversion's error text.
    Converter->HandlerError_ = CurrentExceptionText();
  }
  if (!GoOn) Converter->Cancelled = true;
  return GoOn ? 1 : 0;
}

template <class Call>
TResultBlock TQVConverter::Convert(const TConvertProgressEvent& Handler, std::string& ErrorText,
                                   int32_t& Size, Call&& DoConvert) {
  if (Busy) {
    ErrorText = kConvertersBusy;
    return nullptr;
  }
  if (Handle == nullptr) {
    ErrorText = "The converter is not loaded";
    return nullptr;
  }
  Cancelled = false;
  Warning.clear();
  HandlerError_.clear();
  Progress = Handler;
  if (Exports.SetCallback != nullptr) {
    if (Progress) {
      Exports.SetCallback(&ConverterCallback, this);
    } else {
      Exports.SetCallback(nullptr, nullptr);
    }
  }
  TResultBlock Result;
  {
    TBusyLock Lock(*this);
    try {
      Result.reset(DoConvert());
      if (Result) {
        ErrorText.clear();
        Warning = GetWarningText();
        // A text with a negative size would be read before its start.
        if (Size < 0) Size = 0;
      } else {
        ErrorText = GetErrorText();
      }
    } catch (...) {
      Result.reset();
      ErrorText = CurrentExceptionText();
    }
    if (Exports.SetCallback != nullptr) Exports.SetCallback(nullptr, nullptr);
  }
  Progress = nullptr;
  if (!HandlerError_.empty()) {
    Result.reset();
    ErrorText = HandlerError_;
    Warning.clear();
  }
  return Result;
}

TResultBlock TQVConverter::ConvertFile(const std::string& FileName, bool Unicode,
                                       const TConvertProgressEvent& Handler, std::string& ErrorText,
                                       int32_t& Size) {
  return Convert(Handler, ErrorText, Size, [&]() -> void* {
    std::u16string Wide;
    if (WideFileName(FileName, Wide)) {
      if (Unicode && Exports.ConvertToUnicodeW != nullptr)
        return Exports.ConvertToUnicodeW(Wide.c_str(), &Size);
      if (!Unicode && Exports.ConvertToPureTextW != nullptr) {
        return Exports.ConvertToPureTextW(Wide.c_str(), &Size);
      }
    }
    return Unicode ? Exports.ConvertToUnicode(FileName.c_str(), &Size)
                   : Exports.ConvertToPureText(FileName.c_str(), &Size);
  });
}

TResultBlock TQVConverter::ConvertMemory(const void* Data, bool Unicode, const TConvertProgressEvent& Handler,
                                         std::string& ErrorText, int32_t& Size) {
  return Convert(Handler, ErrorText, Size, [&]() -> void* {
    return Unicode ? Exports.ConvertMemoryToUnicode(Data, 0, &Size)
                   : Exports.ConvertMemoryToPureText(Data, 0, &Size);
  });
}

bool TQVConverter::IsFileSupported(const std::string& FileName) {
  if (Handle == nullptr) return false;
  try {
    std::u16string Wide;
    if (Exports.IsFileSupportedW != nullptr && WideFileName(FileName, Wide)) {
      return Exports.IsFileSupportedW(Wide.c_str()) != 0;
    }
    return Exports.IsFileSupported(FileName.c_str()) != 0;
  } catch (...) {
    return false;
  }
}

bool TQVConverter::IsFileTypeSupported(const std::string& Ext) {
  if (Handle == nullptr) return false;
  try {
    return Exports.IsFileTypeSupported(Ext.c_str()) != 0;
  } catch (...) {
    return false;
  }
}

bool TQVConverter::IsMemDataSupported(const void* Data) {
  if (Exports.IsMemDataSupported == nullptr) return false;
  try {
    return Exports.IsMemDataSupported(Data) != 0;
  } catch (...) {
    return false;
  }
}

std::string TQVConverter::GetErrorText() {
  if (Handle == nullptr) return "";
  char Buffer[kErrorTextBuffer] = {};
  bool HasText = Exports.GetConversionError(Buffer, kErrorTextMaxLen) != 0;
  Buffer[kErrorTextChars] = '\0';
  return HasText ? std::string(Buffer) : std::string();
}

std::string TQVConverter::GetWarningText() {
  if (Handle == nullptr || Exports.GetConversionWarning == nullptr) return "";
  char Buffer[kErrorTextBuffer] = {};
  bool HasText = Exports.GetConversionWarning(Buffer, kErrorTextMaxLen) != 0;
  Buffer[kErrorTextChars] = '\0';
  return HasText ? std::string(Buffer) : std::string();
}

namespace {

std::string TextOrEmpty(const char* Text) { return Text != nullptr ? Text : ""; }

}  // namespace

std::string TQVConverter::GetDllInfo() { return Handle != nullptr ? TextOrEmpty(Exports.GetDllInfo()) : ""; }

std::string TQVConverter::ListSupportedTypes(int32_t& Count) {
  Count = 0;
  if (Handle == nullptr) return "";
  std::string Types = TextOrEmpty(Exports.ListSupportedTypes(&Count));
  Count = std::max(Count, 0);
  return Types;
}

std::string TQVConverter::GetType(int32_t Index) {
  return Handle != nullptr ? TextOrEmpty(Exports.GetType(Index)) : "";
}

std::string TQVConverter::GetTypeDescription(int32_t Index) {
  return Handle != nullptr ? TextOrEmpty(Exports.GetTypeDescription(Index)) : "";
}

// ---------------------------------------------------------------------------------------------------
// TQVConverters

int TQVConverters::AddConverter(const std::string& FileName, bool Disabled) {
  auto Converter = std::make_unique<TQVConverter>(this);
  int Code = Converter->Load(FileName);
  LastLoadError = Converter->LoadErrorText;
  if (Code != kConverterLoaded) return Code;
  Converter->Disabled = Disabled;
  List.push_back(std::move(Converter));
  return Code;
}

int32_t TQVConverters::EnabledCount() const {
  return static_cast<int32_t>(
      std::count_if(List.begin(), List.end(), [](const auto& Converter) { return !Converter->Disabled; }));
}

TResultBlock TQVConverters::ConvertFile(const std::string& FileName, int UnicodeMode,
                                        const std::string& Extension, std::string& ErrorText,
                                        TQVConverter*& Converter, int32_t& Size, bool& IsUnicode) {
  Converter = nullptr;
  IsUnicode = false;
  if (Busy) {
    ErrorText = kConvertersBusy;
    return nullptr;
  }
  std::vector<TQVConverter*> All;
  for (const auto& Entry : List) All.push_back(Entry.get());
  return ConvertFileWith(All, FileName, ErrorText, Converter, Size, IsUnicode, UnicodeMode,
                         Extension.empty() ? LowerFileExt(FileName) : Extension);
}

TResultBlock TQVConverters::ConvertFileWith(const std::vector<TQVConverter*>& Converters,
                                            const std::string& FileName, std::string& ErrorText,
                                            TQVConverter*& Converter, int32_t& Size, bool& IsUnicode,
                                            int UnicodeMode, const std::string& Extension) {
  TAnswer Answer{ErrorText, Converter, Size, IsUnicode};
  Answer.Clear();
  auto ConvertFile = [&](TQVConverter& Candidate, bool Unicode, std::string& Error, int32_t& TextSize) {
    return Candidate.ConvertFile(FileName, Unicode, OnProgress, Error, TextSize);
  };
  std::vector<bool> Tried(Converters.size(), false);
  if (!Extension.empty()) {
    for (size_t I = 0; I < Converters.size(); ++I) {
      TQVConverter* Candidate = Converters[I];
      if (Candidate == nullptr || Candidate->Disabled || !Candidate->IsFileTypeSupported(Extension)) continue;
      Tried[I] = true;
      if (Answer.Attempt(*Candidate, UnicodeMode, ConvertFile)) return std::move(Answer.Block);
    }
  }
  for (size_t I = 0; I < Converters.size(); ++I) {
    TQVConverter* Candidate = Converters[I];
    if (Tried[I] || Candidate == nullptr || Candidate->Disabled || !Candidate->IsFileSupported(FileName)) {
      continue;
    }
    if (Answer.Attempt(*Candidate, UnicodeMode, ConvertFile)) return std::move(Answer.Block);
  }
  return nullptr;
}

TResultBlock TQVConverters::ConvertStream(TVStream& Stream, const std::string& DisplayName,
                                          const std::string& Extension, std::string& ErrorText,
                                          TQVConverter*& Converter, int32_t& Size, bool& IsUnicode,
                                          int UnicodeMode) {
  TAnswer Answer{ErrorText, Converter, Size, IsUnicode};
  Answer.Clear();
  if (Busy) {
    ErrorText = kConvertersBusy;
    return nullptr;
  }
  if (auto* File = dynamic_cast<TVFileStream*>(&Stream)) {
    File->Flush();
    return ConvertFile(File->GetFileName(), UnicodeMode, Extension, ErrorText, Converter, Size, IsUnicode);
  }
  auto* Memory = dynamic_cast<TVBaseMemStream*>(&Stream);
  if (Memory == nullptr) throw Exception("Error in parameters");

  const std::string Ext = Extension.empty() ? LowerFileExt(DisplayName) : Extension;
  const void* Data = Memory->GetMemory();
  const int32_t Length = Memory->GetSize();
  auto ConvertMemory = [&](TQVConverter& Candidate, bool Unicode, std::string& Error, int32_t& TextSize) {
    TextSize = Length;
    return Candidate.ConvertMemory(Data, Unicode, OnProgress, Error, TextSize);
  };

  // Libraries that claim the extension and convert memory take the block where it lies. The other
  // claimants need a file; the rest (all of them when there is no extension) may still recognise the
  // content. A library asked here is not asked again through the file.
  std::vector<TQVConverter*> FileCandidates;
  std::vector<TQVConverter*> Others;
  for (const auto& Entry : List) {
    if (Entry->Disabled) continue;
    const bool Claims = !Ext.empty() && Entry->IsFileTypeSupported(Ext);
    if (Claims && (Entry->Flags & cfMemoryConversion) != 0) {
      if (Answer.Attempt(*Entry, UnicodeMode, ConvertMemory)) return std::move(Answer.Block);
    } else if (Claims) {
      FileCandidates.push_back(Entry.get());
    } else {
      Others.push_back(Entry.get());
    }
  }
  if (FileCandidates.empty()) {
    std::vector<TQVConverter*> Rest;
    for (TQVConverter* Other : Others) {
      if (!Other->HasMemDataTest() || !Other->IsMemDataSupported(Data)) {
        Rest.push_back(Other);
      } else if (Answer.Attempt(*Other, UnicodeMode, ConvertMemory)) {
        return std::move(Answer.Block);
      }
    }
    Others = std::move(Rest);
    if (Others.empty()) return nullptr;
  }

  std::vector<TQVConverter*> ThroughFile = FileCandidates;
  ThroughFile.insert(ThroughFile.end(), Others.begin(), Others.end());
  TConvTempFile Temp;
  std::string TempError;
  if (!Temp.Make(Ext, Length, TempError)) {
    AppendErrorLine(ErrorText, kTempFileNameError + TempError);
    return nullptr;
  }
  try {
    TVFileStream Out(Temp.Name, fmCreate);
    Out.Write(Data, Length);
    Out.Close();
  } catch (const std::exception& E) {
    AppendErrorLine(ErrorText, E.what());
    return nullptr;
  }
  // The file pass starts a fresh error text; the memory pass's lines stay in front of its own.
  std::string FileErrors;
  TResultBlock Result =
      ConvertFileWith(ThroughFile, Temp.Name, FileErrors, Converter, Size, IsUnicode, UnicodeMode, Ext);
  AppendErrorLine(ErrorText, FileErrors);
  return Result;
}
