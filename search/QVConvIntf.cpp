#include "search/QVConvIntf.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <utility>

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
  } catch (const std::exception& e) {
    return e.what();
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
  explicit TBusyLock(TQVConverter& Converter) : converter_(Converter) {
    converter_.Busy = true;
    owner_ = (Converter.Flags & cfNoBusyLock) == 0 ? Converter.Owner : nullptr;
    if (owner_ == nullptr) return;
    was_busy_ = owner_->Busy;
    owner_->Busy = true;
    if (!was_busy_) Notify(true);
  }
  ~TBusyLock() {
    converter_.Busy = false;
    if (owner_ == nullptr) return;
    owner_->Busy = was_busy_;
    if (!was_busy_) Notify(false);
  }
  TBusyLock(const TBusyLock&) = delete;
  TBusyLock& operator=(const TBusyLock&) = delete;

 private:
  // The notification is only news for the owner: a handler that raises changes nothing of the state.
  void Notify(bool Busy) noexcept {
    if (!owner_->OnBusyChange) return;
    try {
      owner_->OnBusyChange(owner_, Busy);
    } catch (...) {
    }
  }

  TQVConverter& converter_;
  TQVConverters* owner_ = nullptr;
  bool was_busy_ = false;
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
    const bool unicode = WantsUnicode(Candidate, UnicodeMode);
    std::string error;
    int32_t size = 0;
    Block = DoConvert(Candidate, unicode, error, size);
    if (Block) {
      Converter = &Candidate;
      Size = size;
      IsUnicode = unicode;
      return true;
    }
    AppendErrorLine(ErrorText, error);
    return Candidate.Cancelled;
  }
};

// A temporary copy of a stream for the libraries that read files: made empty in the temporary folder, then
// given the stream's extension, and deleted when the object goes, on every path.
class TConvTempFile {
 public:
  TConvTempFile() = default;
  ~TConvTempFile() {
    if (!Name.empty()) unlink(Name.c_str());
  }
  TConvTempFile(const TConvTempFile&) = delete;
  TConvTempFile& operator=(const TConvTempFile&) = delete;

  // Makes the file ("QV..." with room for NeededBytes) and gives it "." + Ext when Ext is not empty and no
  // file of that name exists. False with the system's text when no file could be made.
  bool Make(const std::string& Ext, int64_t NeededBytes, std::string& Error);

  std::string Name;
};

}  // namespace

bool TConvTempFile::Make(const std::string& Ext, int64_t NeededBytes, std::string& Error) {
  std::string name;
  errno = 0;
  if (!MakeTempFileName(name, "QV", NeededBytes)) {
    // No folder with room for the copy is a full disk as far as the caller can tell.
    Error = std::strerror(errno != 0 ? errno : ENOSPC);
    return false;
  }
  Name = name;
  if (Ext.empty()) return true;
  // link fails when the target exists, so a file of someone else is never replaced.
  std::string with_ext = Name + "." + Ext;
  if (link(Name.c_str(), with_ext.c_str()) == 0) {
    unlink(Name.c_str());
    Name = with_ext;
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
  std::string path = FileName.find('/') == std::string::npos ? "./" + FileName : FileName;
  dlerror();
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* error = dlerror();
    LoadErrorText = error != nullptr ? error : "cannot load " + FileName;
    return kConverterLoadFailed;
  }
  Handle = handle;
  this->FileName = FileName;

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
  auto* converter = static_cast<TQVConverter*>(UserData);
  if (Kind != 0 || converter == nullptr || !converter->Progress) return 1;
  bool go_on = false;
  try {
    go_on = converter->Progress(converter, Current, Total);
  } catch (...) {
    // The library's frames lie between here and the host: the exception stops the conversion and its
    // message becomes the conversion's error text.
    converter->HandlerError = CurrentExceptionText();
  }
  if (!go_on) converter->Cancelled = true;
  return go_on ? 1 : 0;
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
  HandlerError.clear();
  Progress = Handler;
  if (Exports.SetCallback != nullptr) {
    if (Progress) {
      Exports.SetCallback(&ConverterCallback, this);
    } else {
      Exports.SetCallback(nullptr, nullptr);
    }
  }
  TResultBlock result;
  {
    TBusyLock lock(*this);
    try {
      result.reset(DoConvert());
      if (result) {
        ErrorText.clear();
        // A text with a negative size would be read before its start.
        if (Size < 0) Size = 0;
      } else {
        ErrorText = GetErrorText();
      }
    } catch (...) {
      result.reset();
      ErrorText = CurrentExceptionText();
    }
    if (Exports.SetCallback != nullptr) Exports.SetCallback(nullptr, nullptr);
  }
  Progress = nullptr;
  if (!HandlerError.empty()) {
    result.reset();
    ErrorText = HandlerError;
  }
  return result;
}

TResultBlock TQVConverter::ConvertFile(const std::string& FileName, bool Unicode,
                                       const TConvertProgressEvent& Progress, std::string& ErrorText,
                                       int32_t& Size) {
  return Convert(Progress, ErrorText, Size, [&]() -> void* {
    std::u16string wide;
    if (WideFileName(FileName, wide)) {
      if (Unicode && Exports.ConvertToUnicodeW != nullptr)
        return Exports.ConvertToUnicodeW(wide.c_str(), &Size);
      if (!Unicode && Exports.ConvertToPureTextW != nullptr) {
        return Exports.ConvertToPureTextW(wide.c_str(), &Size);
      }
    }
    return Unicode ? Exports.ConvertToUnicode(FileName.c_str(), &Size)
                   : Exports.ConvertToPureText(FileName.c_str(), &Size);
  });
}

TResultBlock TQVConverter::ConvertMemory(const void* Data, bool Unicode,
                                         const TConvertProgressEvent& Progress, std::string& ErrorText,
                                         int32_t& Size) {
  return Convert(Progress, ErrorText, Size, [&]() -> void* {
    return Unicode ? Exports.ConvertMemoryToUnicode(Data, 0, &Size)
                   : Exports.ConvertMemoryToPureText(Data, 0, &Size);
  });
}

bool TQVConverter::IsFileSupported(const std::string& FileName) {
  if (Handle == nullptr) return false;
  try {
    std::u16string wide;
    if (Exports.IsFileSupportedW != nullptr && WideFileName(FileName, wide)) {
      return Exports.IsFileSupportedW(wide.c_str()) != 0;
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
  char buffer[kErrorTextBuffer] = {};
  bool has_text = Exports.GetConversionError(buffer, kErrorTextMaxLen) != 0;
  buffer[kErrorTextChars] = '\0';
  return has_text ? std::string(buffer) : std::string();
}

namespace {

std::string TextOrEmpty(const char* Text) { return Text != nullptr ? Text : ""; }

}  // namespace

std::string TQVConverter::GetDllInfo() { return Handle != nullptr ? TextOrEmpty(Exports.GetDllInfo()) : ""; }

std::string TQVConverter::ListSupportedTypes(int32_t& Count) {
  Count = 0;
  if (Handle == nullptr) return "";
  std::string types = TextOrEmpty(Exports.ListSupportedTypes(&Count));
  Count = std::max(Count, 0);
  return types;
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
  auto converter = std::make_unique<TQVConverter>(this);
  int code = converter->Load(FileName);
  LastLoadError = converter->LoadErrorText;
  if (code != kConverterLoaded) return code;
  converter->Disabled = Disabled;
  List.push_back(std::move(converter));
  return code;
}

int32_t TQVConverters::EnabledCount() const {
  return static_cast<int32_t>(
      std::count_if(List.begin(), List.end(), [](const auto& converter) { return !converter->Disabled; }));
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
  std::vector<TQVConverter*> all;
  for (const auto& converter : List) all.push_back(converter.get());
  return ConvertFileWith(all, FileName, ErrorText, Converter, Size, IsUnicode, UnicodeMode,
                         Extension.empty() ? LowerFileExt(FileName) : Extension);
}

TResultBlock TQVConverters::ConvertFileWith(const std::vector<TQVConverter*>& Converters,
                                            const std::string& FileName, std::string& ErrorText,
                                            TQVConverter*& Converter, int32_t& Size, bool& IsUnicode,
                                            int UnicodeMode, const std::string& Extension) {
  TAnswer answer{ErrorText, Converter, Size, IsUnicode};
  answer.Clear();
  auto convert_file = [&](TQVConverter& Candidate, bool Unicode, std::string& Error, int32_t& TextSize) {
    return Candidate.ConvertFile(FileName, Unicode, OnProgress, Error, TextSize);
  };
  std::vector<bool> tried(Converters.size(), false);
  if (!Extension.empty()) {
    for (size_t i = 0; i < Converters.size(); ++i) {
      TQVConverter* candidate = Converters[i];
      if (candidate == nullptr || candidate->Disabled || !candidate->IsFileTypeSupported(Extension)) continue;
      tried[i] = true;
      if (answer.Attempt(*candidate, UnicodeMode, convert_file)) return std::move(answer.Block);
    }
  }
  for (size_t i = 0; i < Converters.size(); ++i) {
    TQVConverter* candidate = Converters[i];
    if (tried[i] || candidate == nullptr || candidate->Disabled || !candidate->IsFileSupported(FileName)) {
      continue;
    }
    if (answer.Attempt(*candidate, UnicodeMode, convert_file)) return std::move(answer.Block);
  }
  return nullptr;
}

TResultBlock TQVConverters::ConvertStream(TVStream& Stream, const std::string& DisplayName,
                                          const std::string& Extension, std::string& ErrorText,
                                          TQVConverter*& Converter, int32_t& Size, bool& IsUnicode,
                                          int UnicodeMode) {
  TAnswer answer{ErrorText, Converter, Size, IsUnicode};
  answer.Clear();
  if (Busy) {
    ErrorText = kConvertersBusy;
    return nullptr;
  }
  if (auto* file = dynamic_cast<TVFileStream*>(&Stream)) {
    file->Flush();
    return ConvertFile(file->GetFileName(), UnicodeMode, Extension, ErrorText, Converter, Size, IsUnicode);
  }
  auto* memory = dynamic_cast<TVBaseMemStream*>(&Stream);
  if (memory == nullptr) throw Exception("Error in parameters");

  const std::string ext = Extension.empty() ? LowerFileExt(DisplayName) : Extension;
  const void* data = memory->GetMemory();
  const int32_t length = memory->GetSize();
  auto convert_memory = [&](TQVConverter& Candidate, bool Unicode, std::string& Error, int32_t& TextSize) {
    TextSize = length;
    return Candidate.ConvertMemory(data, Unicode, OnProgress, Error, TextSize);
  };

  // Libraries that claim the extension and convert memory take the block where it lies. The other
  // claimants need a file; the rest (all of them when there is no extension) may still recognise the
  // content. A library asked here is not asked again through the file.
  std::vector<TQVConverter*> file_candidates;
  std::vector<TQVConverter*> others;
  for (const auto& converter : List) {
    if (converter->Disabled) continue;
    const bool claims = !ext.empty() && converter->IsFileTypeSupported(ext);
    if (claims && (converter->Flags & cfMemoryConversion) != 0) {
      if (answer.Attempt(*converter, UnicodeMode, convert_memory)) return std::move(answer.Block);
    } else if (claims) {
      file_candidates.push_back(converter.get());
    } else {
      others.push_back(converter.get());
    }
  }
  if (file_candidates.empty()) {
    std::vector<TQVConverter*> rest;
    for (TQVConverter* other : others) {
      if (!other->HasMemDataTest() || !other->IsMemDataSupported(data)) {
        rest.push_back(other);
      } else if (answer.Attempt(*other, UnicodeMode, convert_memory)) {
        return std::move(answer.Block);
      }
    }
    others = std::move(rest);
    if (others.empty()) return nullptr;
  }

  std::vector<TQVConverter*> through_file = file_candidates;
  through_file.insert(through_file.end(), others.begin(), others.end());
  TConvTempFile temp;
  std::string temp_error;
  if (!temp.Make(ext, length, temp_error)) {
    AppendErrorLine(ErrorText, kTempFileNameError + temp_error);
    return nullptr;
  }
  try {
    TVFileStream out(temp.Name, fmCreate);
    out.Write(data, length);
    out.Close();
  } catch (const std::exception& e) {
    AppendErrorLine(ErrorText, e.what());
    return nullptr;
  }
  // The file pass starts a fresh error text; the memory pass's lines stay in front of its own.
  std::string file_errors;
  TResultBlock result =
      ConvertFileWith(through_file, temp.Name, file_errors, Converter, Size, IsUnicode, UnicodeMode, ext);
  AppendErrorLine(ErrorText, file_errors);
  return result;
}
