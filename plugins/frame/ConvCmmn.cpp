#include "plugins/frame/ConvCmmn.h"

#include <cstring>
#include <exception>
#include <limits>
#include <new>

#include "core/Exception.h"
#include "core/FileLayer.h"

TPluginCallback PluginCallback = nullptr;
void* PluginCallbackData = nullptr;

namespace {

// The error text lives in a fixed buffer so that setting it cannot fail while an export is already
// handling a failure. The warning of a conversion is kept the same way.
struct TFixedText {
  char Text[kMaxErrorText] = {};
  std::size_t Length = 0;
};
TFixedText g_error, g_warning;

// The longest prefix of Text, at most Limit bytes, that does not end inside a UTF-8 sequence.
std::size_t Utf8PrefixLength(std::string_view Text, std::size_t Limit) {
  if (Text.size() <= Limit) return Text.size();
  std::size_t N = Limit;
  // Step back over continuation bytes to the lead byte of the sequence that the cut would split.
  while (N > 0 && (static_cast<unsigned char>(Text[N]) & 0xC0) == 0x80) --N;
  return N;
}

void Set(TFixedText& Fixed, std::string_view Text) noexcept {
  Fixed.Length = Utf8PrefixLength(Text, kMaxErrorText - 1);
  if (Fixed.Length > 0) std::memmove(Fixed.Text, Text.data(), Fixed.Length);
  Fixed.Text[Fixed.Length] = '\0';
}

bool Copy(const TFixedText& Fixed, char* Buffer, int32_t MaxLen) noexcept {
  if (Buffer == nullptr || MaxLen < 1) return false;
  std::size_t N =
      Utf8PrefixLength(std::string_view(Fixed.Text, Fixed.Length), static_cast<std::size_t>(MaxLen) - 1);
  std::memcpy(Buffer, Fixed.Text, N);
  Buffer[N] = '\0';
  return Fixed.Length > 0;
}

}  // namespace

std::string_view GetLastErrorText() noexcept { return std::string_view(g_error.Text, g_error.Length); }
void SetLastErrorText(std::string_view Text) noexcept { Set(g_error, Text); }
void ClearLastErrorText() noexcept { Set(g_error, std::string_view()); }
bool CopyLastErrorText(char* Buffer, int32_t MaxLen) noexcept { return Copy(g_error, Buffer, MaxLen); }

std::string_view GetWarningText() noexcept { return std::string_view(g_warning.Text, g_warning.Length); }
void SetWarningText(std::string_view Text) noexcept { Set(g_warning, Text); }
void ClearWarningText() noexcept { Set(g_warning, std::string_view()); }
bool CopyWarningText(char* Buffer, int32_t MaxLen) noexcept { return Copy(g_warning, Buffer, MaxLen); }

bool HasPluginCallback() noexcept { return PluginCallback != nullptr; }

bool TProgress::Progress(int32_t Current, int32_t Total) {
  if (Callback_ == nullptr) return true;
  return Callback_(0, Current, Total, UserData_) != 0;
}

std::unique_ptr<TProgress> MakeProgress() {
  if (!HasPluginCallback()) return nullptr;
  return std::make_unique<TProgress>(PluginCallback, PluginCallbackData);
}

void SetErrorFromCurrentException() noexcept {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    SetLastErrorText(kOutOfMemory);
  } catch (const std::exception& E) {
    const char* Message = E.what();
    SetLastErrorText(Message != nullptr && *Message != '\0' ? Message : kUnknownException);
  } catch (...) {
    SetLastErrorText(kUnknownException);
  }
}

void* MakeResultBlock(std::string_view Text, bool Unicode, bool TrimZeros, int32_t& Size) {
  if (TrimZeros) {
    if (Unicode) {
      std::size_t N = Text.size() & ~std::size_t{1};
      while (N >= 2 && Text[N - 1] == '\0' && Text[N - 2] == '\0') N -= 2;
      Text = Text.substr(0, N);
    } else {
      while (!Text.empty() && Text.back() == '\0') Text.remove_suffix(1);
    }
  }
  // Two zero bytes follow the text; the whole block must still be countable in the 32-bit Size.
  constexpr std::size_t kTerminator = 2;
  if (Text.size() > static_cast<std::size_t>(std::numeric_limits<int32_t>::max()) - kTerminator) {
    throw Exception(kTextTooLarge);
  }
  auto* Block = static_cast<char*>(ConvAllocResultBlock(Text.size() + kTerminator));
  if (Block == nullptr) throw std::bad_alloc();
  if (!Text.empty()) std::memcpy(Block, Text.data(), Text.size());
  Block[Text.size()] = '\0';
  Block[Text.size() + 1] = '\0';
  Size = static_cast<int32_t>(Text.size());
  return Block;
}

std::string NativeFileName(const char* FileName) {
  if (FileName == nullptr) throw Exception(kErrorInParameters);
  return FileName;
}

std::string NativeFileName(const char16_t* FileName) {
  if (FileName == nullptr) throw Exception(kErrorInParameters);
  std::u16string Wide(FileName);
  std::string Name = Utf16ToUtf8(Wide);
  // An unpaired surrogate would come back as U+FFFD and name some other file.
  if (Utf8ToUtf16(Name) != Wide) throw Exception(kErrorInParameters);
  return Name;
}
