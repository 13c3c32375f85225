// The module-wide state every converter library keeps behind its exports, and the helpers its export
// bodies share: the error text that GetConversionError hands out, the callback that SetCallback stores,
// the progress object a reader polls, the guard that keeps exceptions inside the library, and the result
// block that carries converted text to the caller.
//
// Each converter library links its own copy of this unit, so every library has its own state. The state
// assumes one conversion at a time on one thread: the host never converts two documents with the same
// library at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "plugins/ConverterExports.h"

// The texts of the frame itself; every other error text comes from a reader's exceptions.
inline constexpr const char* kUserCanceled = "User canceled";
inline constexpr const char* kErrorInParameters = "Error in parameters";
inline constexpr const char* kOutOfMemory = "Out of memory";
inline constexpr const char* kUnknownException = "Unknown exception";
inline constexpr const char* kMemoryNotSupported = "Converting memory not supported";
inline constexpr const char* kTextTooLarge = "The converted text is too large";

// Room for the error text, terminator included. The host keeps at most 512 bytes of it; a longer text is
// cut at a character boundary.
constexpr std::size_t kMaxErrorText = 1024;

// The library's last error text (UTF-8). Setting it never allocates and never throws.
std::string_view GetLastErrorText() noexcept;
void SetLastErrorText(std::string_view Text) noexcept;
void ClearLastErrorText() noexcept;

// Copies the error text into Buffer: at most MaxLen bytes including the terminating zero, cut at a UTF-8
// character boundary. Answers whether the text is non-empty; a null Buffer or a MaxLen below 1 writes
// nothing and answers false.
bool CopyLastErrorText(char* Buffer, int32_t MaxLen) noexcept;

// What a conversion that answered text wants its caller to know: pages of a document left out of the
// text, for one (UTF-8, empty when nothing). Every conversion clears it when it starts; the export
// GetConversionWarning hands it out like the error text.
std::string_view GetWarningText() noexcept;
void SetWarningText(std::string_view Text) noexcept;
void ClearWarningText() noexcept;
bool CopyWarningText(char* Buffer, int32_t MaxLen) noexcept;

// The callback and its data as SetCallback stored them; a null PluginCallback means there is none.
extern TPluginCallback PluginCallback;
extern void* PluginCallbackData;
bool HasPluginCallback() noexcept;

// What a reader polls for progress and cancel. Progress answers false to cancel.
class IConvProgress {
 public:
  virtual ~IConvProgress() = default;
  virtual bool Progress(int32_t Current, int32_t Total) = 0;
  // A poll without a position.
  bool Check() { return Progress(-1, -1); }
};

// The progress object of one conversion. It takes the callback and its data when it is made, so that a
// SetCallback during the conversion (a nested call from the host's progress handler) cannot take the
// running conversion's cancel away.
class TProgress final : public IConvProgress {
 public:
  TProgress(TPluginCallback Callback, void* UserData) : Callback_(Callback), UserData_(UserData) {}
  bool Progress(int32_t Current, int32_t Total) override;

 private:
  TPluginCallback Callback_;
  void* UserData_;
};

// A progress object over the callback set now, or null when none is set; readers skip polling on null.
std::unique_ptr<TProgress> MakeProgress();

// Turns the exception being handled into the error text: the message of a std::exception (an empty
// message counts as unknown), "Out of memory" for std::bad_alloc, "Unknown exception" for anything else.
// Call only inside a catch block.
void SetErrorFromCurrentException() noexcept;

// Runs Body and answers its result; an exception becomes the error text and the answer is Failed.
template <class R, class F>
R GuardExport(R Failed, F&& Body) noexcept {
  try {
    return Body();
  } catch (...) {
    SetErrorFromCurrentException();
    return Failed;
  }
}

// A result block holding Text followed by two zero bytes (a zero character of either width); Size
// receives the byte count of Text. With TrimZeros, zero characters at the end of the text (bytes, or
// UTF-16 units when Unicode) are dropped first. Raises when the block cannot be allocated or the text
// does not fit the contract's 32-bit size.
void* MakeResultBlock(std::string_view Text, bool Unicode, bool TrimZeros, int32_t& Size);

// A file name as the system takes it: an 8-bit name passes unchanged, a UTF-16 name becomes UTF-8. A
// null name, or UTF-16 that is not well formed, raises "Error in parameters".
std::string NativeFileName(const char* FileName);
std::string NativeFileName(const char16_t* FileName);
