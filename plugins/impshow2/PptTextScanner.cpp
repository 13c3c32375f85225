#include "plugins/impshow2/PptTextScanner.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <type_traits>

#include "plugins/common/AnsiText.h"
#include "plugins/common/OleStorage.h"

namespace {

constexpr uint16_t kContainerVersion = 0x000F;
constexpr uint64_t kRecordHeaderSize = 8;
// The edit history. A persist directory entry: the first identifier in the low 20 bits, the number of
// offsets that follow in the high 12. An edit's fields behind its header: the last slide (4), version (4),
// the previous edit's offset (4), the persist directory's offset (4), the document's identifier (4), ...
constexpr uint32_t kPersistIdMask = 0xFFFFF;
constexpr int kPersistCountShift = 20;
constexpr uint32_t kUserEditMinLength = 20;
constexpr uint32_t kCurrentUserMinLength = 12;
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
  in_text_scope_ =
      (Type == kPptTextBox && last_container_ != kPptClientData) || Type == kPptSlideListWithText;
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
      wide[i] = static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                      (static_cast<uint8_t>(bytes[2 * i + 1]) << 8));
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
void PptTextScanner::ScanRecords(uint64_t At, uint64_t End, std::string& Out) {
  stream_.Seek(static_cast<uint32_t>(At));
  while (At < End) {
    const uint16_t version = ReadStreamUInt16(stream_);
    const uint16_t type = ReadStreamUInt16(stream_) & kTypeMask;
    const uint32_t length = ReadStreamUInt32(stream_);
    At += kRecordHeaderSize;
    if ((version & 0x000F) == kContainerVersion) {
      EnterContainer<Wide>(type, Out);
    } else {
      ReadAtom<Wide>(type, length, Out);
      At += length;
    }
  }
}

template <bool Wide>
void PptTextScanner::Scan(std::string& Out) {
  try {
    if (records_.empty()) {
      ScanRecords<Wide>(0, UINT64_MAX, Out);
      return;
    }
    // Each record of the edition on its own; one that starts inside the one before is damage and skipped.
    uint64_t done = 0;
    for (const uint32_t at : records_) {
      if (at < done) continue;
      stream_.Seek(at);
      ReadStreamUInt16(stream_);
      ReadStreamUInt16(stream_);
      const uint64_t end = uint64_t{at} + kRecordHeaderSize + ReadStreamUInt32(stream_);
      in_text_scope_ = false;
      try {
        ScanRecords<Wide>(at, end, Out);
      } catch (const Stream_eof&) {
        // A record cut short by the end of the stream: the records behind it may still be whole.
      }
      done = end;
    }
  } catch (const Stream_eof&) {
    // The end of the stream is the end of the document.
  }
}

void PptTextScanner::ScanWide(std::string& Out) { Scan<true>(Out); }
void PptTextScanner::ScanAnsi(std::string& Out) { Scan<false>(Out); }

namespace {

struct TRecordHeader {
  uint16_t Version, Type;
  uint32_t Length;
};

TRecordHeader ReadRecordHeader(Stream& S, uint32_t At) {
  if (uint64_t{At} + kRecordHeaderSize > S.Size()) throw Stream_eof();
  S.Seek(At);
  TRecordHeader h;
  h.Version = ReadStreamUInt16(S);
  h.Type = ReadStreamUInt16(S);  // all 16 bits: the persist directory's type needs more than 12
  h.Length = ReadStreamUInt32(S);
  return h;
}

}  // namespace

std::set<uint32_t> ReadLiveRecordOffsets(Stream& Document, Stream& CurrentUser) {
  std::set<uint32_t> live;
  try {
    const TRecordHeader user = ReadRecordHeader(CurrentUser, 0);
    if (user.Type != kPptCurrentUserAtom || user.Length < kCurrentUserMinLength) return {};
    ReadStreamUInt32(CurrentUser);  // the atom's size
    ReadStreamUInt32(CurrentUser);  // the header token
    uint32_t edit = ReadStreamUInt32(CurrentUser);

    std::map<uint32_t, uint32_t> persist;  // identifier -> offset, the newest edit's first
    std::set<uint32_t> edits;
    uint32_t document_id = 0;
    for (bool current = true;; current = false) {
      if (!edits.insert(edit).second) return {};
      const TRecordHeader edit_header = ReadRecordHeader(Document, edit);
      if (edit_header.Type != kPptUserEditAtom || edit_header.Length < kUserEditMinLength) return {};
      ReadStreamUInt32(Document);  // the last slide viewed
      ReadStreamUInt32(Document);  // versions
      const uint32_t previous = ReadStreamUInt32(Document);
      const uint32_t directory = ReadStreamUInt32(Document);
      const uint32_t document = ReadStreamUInt32(Document);
      if (current) document_id = document;

      const TRecordHeader directory_header = ReadRecordHeader(Document, directory);
      if (directory_header.Type != kPptPersistDirectoryAtom ||
          directory_header.Length > Document.Size() - directory - kRecordHeaderSize) {
        return {};
      }
      for (uint32_t left = directory_header.Length / 4; left > 0;) {
        const uint32_t entry = ReadStreamUInt32(Document);
        --left;
        const uint32_t first = entry & kPersistIdMask;
        const uint32_t count = entry >> kPersistCountShift;
        if (count > left) return {};
        for (uint32_t i = 0; i < count; ++i) persist.emplace(first + i, ReadStreamUInt32(Document));
        left -= count;
      }
      if (previous == 0) break;
      edit = previous;
    }
    if (persist.find(document_id) == persist.end()) return {};
    for (const auto& [id, offset] : persist) {
      if (offset >= Document.Size()) return {};
      live.insert(offset);
    }
  } catch (const EOleStorage&) {
    return {};
  }
  return live;
}

bool ConvertPresentationFile(const std::string& FileName, bool Unicode, std::string& Text) {
  std::unique_ptr<Storage> storage = OpenStorage(FileName);
  std::unique_ptr<Stream> stream = storage->OpenStream(u"PowerPoint Document");
  if (stream == nullptr) throw EOleStorage("File format is not supported");
  PptTextScanner scanner(*stream);
  // Without a readable edit history every record of the stream is scanned.
  try {
    if (std::unique_ptr<Stream> current_user = storage->OpenStream(u"Current User"))
      scanner.LimitToRecords(ReadLiveRecordOffsets(*stream, *current_user));
  } catch (const EOleStorage&) {
  }
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
