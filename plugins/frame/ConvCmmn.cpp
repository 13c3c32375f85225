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
// handling a failure.
char g_error_text[kMaxErrorText] = {};
std::size_t g_error_length = 0;

// The longest prefix of Text, at most Limit bytes, that does not end inside a UTF-8 sequence.
std::size_t Utf8PrefixLength(std::string_view Text, std::size_t Limit) {
  if (Text.size() <= Limit) return Text.size();
  std::size_t N = Limit;
  // Step back over continuation bytes to the lead byte of the sequence that the cut would split.
  while (N > 0 && (static_cast<unsigned char>(Text[N]) & 0xC0) == 0x80) --N;
  return N;
}

}  // namespace

std::string_view GetLastErrorText() noexcept { return std::string_view(g_error_text, g_error_length); }

void SetLastErrorText(std::string_view Text) noexcept {
  g_error_length = Utf8PrefixLength(Text, kMaxErrorText - 1);
  std::memmove(g_error_text, Text.data(), g_error_length);
  g_error_text[g_error_length] = '\0';
}

void ClearLastErrorText() noexcept {
  g_error_length = 0;
  g_error_text[0] = '\0';
}

bool CopyLastErrorText(char* Buffer, int32_t MaxLen) noexcept {
  if (Buffer == nullptr || MaxLen < 1) return false;
  std::size_t N = Utf8PrefixLength(GetLastErrorText(), static_cast<std::size_t>(MaxLen) - 1);
  std::memcpy(Buffer, g_error_text, N);
  Buffer[N] = '\0';
  return g_error_length > 0;
}

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
