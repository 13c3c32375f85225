// The converter plug-in host: loads the converter libraries, binds their exports by name and asks them for
// the plain text of documents. TQVConverter is one loaded library; TQVConverters is the program-wide list
// of them, made once at start-up and filled from the plug-in files ("imp*.so") the program finds.
//
// Which library is asked: for a file, first every enabled library that claims the file's extension, then
// every other enabled library that recognises the file by its content, until one answers text. An
// in-memory stream goes to the libraries that convert memory and claim its extension; the others get it
// through a temporary file ("QV..." with the stream's extension) in a folder of the process below the
// temporary root (see archive/Archiver.h), which is deleted with its folder on every path and, when a signal
// ends the process, by the signal cleanup or the next start.
//
// Busy state: a library converts one document at a time, so a conversion of a library that is already
// converting (reached again through a progress handler that lets the program run) answers "Converters are
// busy". Unless a library has cfNoBusyLock, its conversion also makes the whole list busy, and a
// conversion through the list is then refused the same way. OnBusyChange reports the list's changes.
//
// Result blocks belong to the caller (TResultBlock frees them). Conversion failures never raise: the texts
// of every library that tried come back in ErrorText, one line each. A conversion that answers text may
// still warn (GetConversionWarning): the answering converter's Warning holds it.
//
// Threads: one thread only (the main thread); the libraries are not thread-safe.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "plugins/ConverterExports.h"

class TQVConverter;
class TQVConverters;
class TVStream;

// Frees a result block handed out by a converter library.
struct TResultBlockFree {
  void operator()(void* Block) const noexcept { ConvFreeResultBlock(Block); }
};
using TResultBlock = std::unique_ptr<void, TResultBlockFree>;

// Progress of a conversion: the library's Current and Total (both -1 for a plain poll); false cancels.
using TConvertProgressEvent = std::function<bool(TQVConverter* Sender, int32_t Current, int32_t Total)>;
// The list became busy or idle.
using TConvertersBusyChangeEvent = std::function<void(TQVConverters* Sender, bool Busy)>;

// Answers of TQVConverter::Load.
constexpr int kConverterLoaded = 0;
constexpr int kConverterLoadFailed = 1;     // the library could not be loaded (LoadErrorText says why)
constexpr int kConverterExportMissing = 2;  // a required export is missing

// UnicodeMode of the list's conversions.
constexpr int kUnicodeModeAnsi = 0;     // ask every library for 8-bit text
constexpr int kUnicodeModeUnicode = 1;  // ask every library for UTF-16
constexpr int kUnicodeModeNative = 2;   // UTF-16 from libraries with cfUnicodeOutput, 8-bit from others
                                        // (so is any other value)

// Texts of the host.
inline constexpr const char* kConvertersBusy = "Converters are busy";
inline constexpr const char* kTempFileNameError = "GetTempFileName error: ";

// One converter library. Made by TQVConverters::AddConverter and owned by the list; a converter made
// alone (Owner null) is owned by its maker. Not copyable: it owns the loaded library.
class TQVConverter {
 public:
  explicit TQVConverter(TQVConverters* Owner = nullptr);
  ~TQVConverter();
  TQVConverter(const TQVConverter&) = delete;
  TQVConverter& operator=(const TQVConverter&) = delete;

  // Loads the library FileName (a path; a bare name is taken from the current folder, never searched for)
  // and binds its exports: kConverterLoaded, kConverterLoadFailed or kConverterExportMissing. Reads the
  // compatibility flags once. Any library loaded before is unloaded first.
  int Load(const std::string& FileName);
  // Forgets the exports and frees the library.
  void Unload();

  // The text of FileName (Unicode: UTF-16, else 8-bit) in a result block, Size its byte count; null with
  // ErrorText on failure. Handler, when assigned, receives the library's progress polls and can cancel.
  TResultBlock ConvertFile(const std::string& FileName, bool Unicode, const TConvertProgressEvent& Handler,
                           std::string& ErrorText, int32_t& Size);
  // The same over Size bytes at Data (Size in: the input's bytes). Only for libraries with
  // cfMemoryConversion.
  TResultBlock ConvertMemory(const void* Data, bool Unicode, const TConvertProgressEvent& Handler,
                             std::string& ErrorText, int32_t& Size);

  // The library's content test of a named file; false on any failure.
  bool IsFileSupported(const std::string& FileName);
  // Whether Ext (without dot) is one of the library's types.
  bool IsFileTypeSupported(const std::string& Ext);
  // Whether the library binds IsMemDataSupported, and its answer for Data.
  bool HasMemDataTest() const { return Exports.IsMemDataSupported != nullptr; }
  bool IsMemDataSupported(const void* Data);

  // The library's last error text, at most 512 bytes; empty when it has none.
  std::string GetErrorText();
  // The warning of the library's last conversion, at most 512 bytes; empty when it has none or the
  // library does not export GetConversionWarning.
  std::string GetWarningText();
  // The path the library was loaded from; empty when none is loaded.
  std::string GetFileName() const { return Handle != nullptr ? FileName_ : std::string(); }

  // The library's own answers, for reports and the file-type lists; a null answer gives "".
  std::string GetDllInfo();
  std::string ListSupportedTypes(int32_t& Count);
  std::string GetType(int32_t Index);
  std::string GetTypeDescription(int32_t Index);

  // The bound exports (null when unbound), in the contract's order.
  struct TExports {
#define SCRY_CONVERTER_EXPORT_FIELD(Name, Required) T##Name Name = nullptr;
    CONVERTER_EXPORT_LIST(SCRY_CONVERTER_EXPORT_FIELD)
#undef SCRY_CONVERTER_EXPORT_FIELD
  };
  TExports Exports;
  // TCompatibilityFlags read once after loading.
  int32_t Flags = 0;
  // A conversion of this library is running.
  bool Busy = false;
  // The progress handler said stop during the last conversion.
  bool Cancelled = false;
  // The warning of the last conversion that answered text (pages of a document left out, say); empty
  // when it had none.
  std::string Warning;
  // The loaded library (dlopen handle); null when unloaded.
  void* Handle = nullptr;
  // The handler of the running conversion.
  TConvertProgressEvent Progress;
  TQVConverters* Owner;
  // Switched off by the user; skipped by every conversion of the list.
  bool Disabled = false;
  // Why the last Load failed (the system's text, or the missing export).
  std::string LoadErrorText;

 private:
  // Runs one conversion export under the busy state, progress and error-text rules.
  template <class Call>
  TResultBlock Convert(const TConvertProgressEvent& Handler, std::string& ErrorText, int32_t& Size,
                       Call&& DoConvert);
  static int32_t ConverterCallback(int32_t Kind, int32_t Current, int32_t Total, void* UserData);

  std::string FileName_;
  // The message of an exception the progress handler raised during the running conversion.
  std::string HandlerError_;
};

// The program-wide list of converter libraries. Owns its converters.
class TQVConverters {
 public:
  TQVConverters() = default;
  ~TQVConverters() = default;
  TQVConverters(const TQVConverters&) = delete;
  TQVConverters& operator=(const TQVConverters&) = delete;

  // Loads FileName; on kConverterLoaded the converter joins the list with Disabled, otherwise it is
  // freed and LastLoadError keeps why. Answers the code of TQVConverter::Load.
  int AddConverter(const std::string& FileName, bool Disabled);
  int32_t Count() const { return static_cast<int32_t>(List.size()); }
  int32_t EnabledCount() const;
  TQVConverter* GetConverter(int32_t Index) const { return List.at(static_cast<size_t>(Index)).get(); }

  // The text of FileName from the first library that gives one (see the file comment). An empty
  // Extension is taken from FileName. Converter and IsUnicode tell who answered and in which form.
  TResultBlock ConvertFile(const std::string& FileName, int UnicodeMode, const std::string& Extension,
                           std::string& ErrorText, TQVConverter*& Converter, int32_t& Size, bool& IsUnicode);
  // The same over the given converters only, without the list's busy check.
  TResultBlock ConvertFileWith(const std::vector<TQVConverter*>& Converters, const std::string& FileName,
                               std::string& ErrorText, TQVConverter*& Converter, int32_t& Size,
                               bool& IsUnicode, int UnicodeMode, const std::string& Extension);
  // The text of a stream: a file stream by its file, a memory stream where it lies or through a temporary
  // file. DisplayName gives the extension when Extension is empty. Size receives the text's byte count.
  // Any other kind of stream raises "Error in parameters".
  TResultBlock ConvertStream(TVStream& Stream, const std::string& DisplayName, const std::string& Extension,
                             std::string& ErrorText, TQVConverter*& Converter, int32_t& Size, bool& IsUnicode,
                             int UnicodeMode);

  // A conversion that locks the list is running.
  bool Busy = false;
  std::vector<std::unique_ptr<TQVConverter>> List;
  TConvertProgressEvent OnProgress;
  TConvertersBusyChangeEvent OnBusyChange;
  // Why the last AddConverter failed.
  std::string LastLoadError;
};
