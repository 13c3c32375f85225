#include "plugins/impshow2/PptTextScanner.h"

#include <algorithm>
#include <memory>
#include <type_traits>

#include "plugins/common/AnsiText.h"
#include "plugins/common/OleStorage.h"

namespace {

constexpr uint16_t kContainerVersion = 0x000F;
constexpr uint16_t kTypeMask = 0x0FFF;
constexpr std::size_t kSlideSeparatorDashes = 30;
constexpr char16_t kCR = u'\r';
constexpr char16_t kLF = u'\n';
constexpr char16_t kVT = 0x0B;

void PutWide(std::string& Out, char16_t C) {
  Out += static_cast<char>(C & 0xFF);
  Out += static_cast<char>(C >> 8);
}

template <class Text, class Put>
void WriteText(std::string& Out, const Text& In, std::size_t Count, Put&& PutChar) {
  const std::size_t n = std::min(Count, In.size());
  for (std::size_t i = 0; i < n && In[i] != 0; ++i) {
    const auto c = In[i];
    if (c == kVT || (c == kCR && (i + 1 >= n || In[i + 1] != kLF))) {
      PutChar(Out, kCR);
      PutChar(Out, kLF);
    } else {
      PutChar(Out, static_cast<char16_t>(static_cast<std::make_unsigned_t<decltype(c)>>(c)));
    }
  }
  PutChar(Out, kCR);
  PutChar(Out, kLF);
}

void PutAnsi(std::string& Out, char16_t C) { Out += static_cast<char>(C); }

}  // namespace

void WritePptTextWide(std::string& Out, const std::u16string& Text, std::size_t Count) {
  WriteText(Out, Text, Count, PutWide);
}

void WritePptTextAnsi(std::string& Out, const std::string& Text, std::size_t Count) {
  WriteText(Out, Text, Count, PutAnsi);
}

template <bool Wide>
void PptTextScanner::EnterContainer(uint16_t Type, std::string& Out) {
  if (Type == kPptSlide) {
    if (first_slide_) {
      first_slide_ = false;
    } else {
      for (std::size_t i = 0; i < kSlideSeparatorDashes; ++i) Wide ? PutWide(Out, u'-') : PutAnsi(Out, u'-');
      Wide ? PutWide(Out, kCR) : PutAnsi(Out, kCR);
      Wide ? PutWide(Out, kLF) : PutAnsi(Out, kLF);
    }
  }
  // A text box holds slide text unless it belongs to a shape's client data.
  in_text_scope_ = (Type == kPptTextBox && last_container_ != kPptClientData) || Type == kPptSlideListWithText;
  last_container_ = Type;
}

template <bool Wide>
void PptTextScanner::ReadAtom(uint16_t Type, uint32_t Length, std::string& Out) {
  const bool text = Type == kPptTextCharsAtom || Type == kPptCString || Type == kPptTextBytesAtom;
  if (!in_text_scope_ || !text) {
    stream_.Skip(Length);
    return;
  }
  // A length beyond the stream is damage at the end of the document: the scan ends there, before a
  // buffer of that length is made.
  if (Length > stream_.Remaining()) throw Stream_eof();
  std::string bytes(Length, '\0');
  if (Length > 0) stream_.Read(bytes.data(), Length);
  std::u16string wide;
  if (Type == kPptTextBytesAtom) {
    // Each byte is the low half of a UTF-16 unit whose high half is zero (the first 256 code points),
    // whatever the system's code page.
    wide.reserve(bytes.size());
    for (char b : bytes) wide += static_cast<char16_t>(static_cast<uint8_t>(b));
  } else {
    wide.resize(Length / 2);
    for (std::size_t i = 0; i < wide.size(); ++i) {
      wide[i] = static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * i]) | (static_cast<uint8_t>(bytes[2 * i + 1]) << 8));
    }
  }
  if constexpr (Wide) {
    WritePptTextWide(Out, wide, wide.size());
  } else {
    // Up to the first zero character, as the text is written.
    const std::size_t zero = wide.find(u'\0');
    const std::string ansi = WideToAnsi(std::u16string_view(wide).substr(0, zero));
    WritePptTextAnsi(Out, ansi, ansi.size());
  }
}

template <bool Wide>
void PptTextScanner::Scan(std::string& Out) {
  stream_.Seek(0);
  try {
    for (;;) {
      const uint16_t version = ReadStreamUInt16(stream_);
      const uint16_t type = ReadStreamUInt16(stream_) & kTypeMask;
      const uint32_t length = ReadStreamUInt32(stream_);
      if ((version & 0x000F) == kContainerVersion) {
        EnterContainer<Wide>(type, Out);
      } else {
        ReadAtom<Wide>(type, length, Out);
      }
    }
  } catch (const Stream_eof&) {
    // The end of the stream is the end of the document.
  }
}

void PptTextScanner::ScanWide(std::string& Out) { Scan<true>(Out); }
void PptTextScanner::ScanAnsi(std::string& Out) { Scan<false>(Out); }

bool ConvertPresentationFile(const std::string& FileName, bool Unicode, std::string& Text) {
  std::unique_ptr<Storage> storage = OpenStorage(FileName);
  std::unique_ptr<Stream> stream = storage->OpenStream(u"PowerPoint Document");
  if (stream == nullptr) throw EOleStorage("File format is not supported");
  PptTextScanner scanner(*stream);
  if (Unicode) {
    scanner.ScanWide(Text);
  } else {
    scanner.ScanAnsi(Text);
  }
  return true;
}

bool IsPresentationFile(const std::string& FileName) {
  std::unique_ptr<Storage> storage = OpenStorage(FileName);
  return storage->OpenStream(u"PowerPoint Document") != nullptr;
}
