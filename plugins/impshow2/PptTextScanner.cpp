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
  const std::size_t N = std::min(Count, In.size());
  for (std::size_t I = 0; I < N && In[I] != 0; ++I) {
    const auto C = In[I];
    if (C == kVT || (C == kCR && (I + 1 >= N || In[I + 1] != kLF))) {
      PutChar(Out, kCR);
      PutChar(Out, kLF);
    } else {
      PutChar(Out, static_cast<char16_t>(static_cast<std::make_unsigned_t<decltype(C)>>(C)));
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
    if (FirstSlide_) {
      FirstSlide_ = false;
    } else {
      for (std::size_t I = 0; I < kSlideSeparatorDashes; ++I) Wide ? PutWide(Out, u'-') : PutAnsi(Out, u'-');
      Wide ? PutWide(Out, kCR) : PutAnsi(Out, kCR);
      Wide ? PutWide(Out, kLF) : PutAnsi(Out, kLF);
    }
  }
  // A text box holds slide text unless it belongs to a shape's client data.
  InTextScope_ = (Type == kPptTextBox && LastContainer_ != kPptClientData) || Type == kPptSlideListWithText;
  LastContainer_ = Type;
}

template <bool Wide>
void PptTextScanner::ReadAtom(uint16_t Type, uint32_t Length, std::string& Out) {
  const bool Text = Type == kPptTextCharsAtom || Type == kPptCString || Type == kPptTextBytesAtom;
  if (!InTextScope_ || !Text) {
    Stream_.Skip(Length);
    return;
  }
  // A length beyond the stream is damage at the end of the document: the scan ends there, before a
  // buffer of that length is made.
  if (Length > Stream_.Remaining()) throw Stream_eof();
  std::string Bytes(Length, '\0');
  if (Length > 0) Stream_.Read(Bytes.data(), Length);
  std::u16string WideText;
  if (Type == kPptTextBytesAtom) {
    // Each byte is the low half of a UTF-16 unit whose high half is zero (the first 256 code points),
    // whatever the system's code page.
    WideText.reserve(Bytes.size());
    for (char B : Bytes) WideText += static_cast<char16_t>(static_cast<uint8_t>(B));
  } else {
    WideText.resize(Length / 2);
    for (std::size_t I = 0; I < WideText.size(); ++I) {
      WideText[I] = static_cast<char16_t>(static_cast<uint8_t>(Bytes[2 * I]) |
                                          (static_cast<uint8_t>(Bytes[2 * I + 1]) << 8));
    }
  }
  if constexpr (Wide) {
    WritePptTextWide(Out, WideText, WideText.size());
  } else {
    // Up to the first zero character, as the text is written.
    const std::size_t Zero = WideText.find(u'\0');
    const std::string Ansi = WideToAnsi(std::u16string_view(WideText).substr(0, Zero));
    WritePptTextAnsi(Out, Ansi, Ansi.size());
  }
}

template <bool Wide>
void PptTextScanner::ScanRecords(uint64_t At, uint64_t End, std::string& Out) {
  Stream_.Seek(static_cast<uint32_t>(At));
  while (At < End) {
    const uint16_t Version = ReadStreamUInt16(Stream_);
    const uint16_t Type = ReadStreamUInt16(Stream_) & kTypeMask;
    const uint32_t Length = ReadStreamUInt32(Stream_);
    At += kRecordHeaderSize;
    if ((Version & 0x000F) == kContainerVersion) {
      EnterContainer<Wide>(Type, Out);
    } else {
      ReadAtom<Wide>(Type, Length, Out);
      At += Length;
    }
  }
}

template <bool Wide>
void PptTextScanner::Scan(std::string& Out) {
  try {
    if (Records_.empty()) {
      ScanRecords<Wide>(0, UINT64_MAX, Out);
      return;
    }
    // Each record of the edition on its own; one that starts inside the one before is damage and skipped.
    uint64_t Done = 0;
    for (const uint32_t At : Records_) {
      if (At < Done) continue;
      Stream_.Seek(At);
      ReadStreamUInt16(Stream_);
      ReadStreamUInt16(Stream_);
      const uint64_t End = uint64_t{At} + kRecordHeaderSize + ReadStreamUInt32(Stream_);
      InTextScope_ = false;
      try {
        ScanRecords<Wide>(At, End, Out);
      } catch (const Stream_eof&) {
        // A record cut short by the end of the stream: the records behind it may still be whole.
      }
      Done = End;
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
  TRecordHeader H;
  H.Version = ReadStreamUInt16(S);
  H.Type = ReadStreamUInt16(S);  // all 16 bits: the persist directory's type needs more than 12
  H.Length = ReadStreamUInt32(S);
  return H;
}

}  // namespace

std::set<uint32_t> ReadLiveRecordOffsets(Stream& Document, Stream& CurrentUser) {
  std::set<uint32_t> Live;
  try {
    const TRecordHeader User = ReadRecordHeader(CurrentUser, 0);
    if (User.Type != kPptCurrentUserAtom || User.Length < kCurrentUserMinLength) return {};
    ReadStreamUInt32(CurrentUser);  // the atom's size
    ReadStreamUInt32(CurrentUser);  // the header token
    uint32_t Edit = ReadStreamUInt32(CurrentUser);

    std::map<uint32_t, uint32_t> Persist;  // identifier -> offset, the newest edit's first
    std::set<uint32_t> Edits;
    uint32_t DocumentId = 0;
    for (bool Current = true;; Current = false) {
      if (!Edits.insert(Edit).second) return {};
      const TRecordHeader EditHeader = ReadRecordHeader(Document, Edit);
      if (EditHeader.Type != kPptUserEditAtom || EditHeader.Length < kUserEditMinLength) return {};
      ReadStreamUInt32(Document);  // the last slide viewed
      ReadStreamUInt32(Document);  // versions
      const uint32_t Previous = ReadStreamUInt32(Document);
      const uint32_t Directory = ReadStreamUInt32(Document);
      const uint32_t EditDocumentId = ReadStreamUInt32(Document);
      if (Current) DocumentId = EditDocumentId;

      const TRecordHeader DirectoryHeader = ReadRecordHeader(Document, Directory);
      if (DirectoryHeader.Type != kPptPersistDirectoryAtom ||
          DirectoryHeader.Length > Document.Size() - Directory - kRecordHeaderSize) {
        return {};
      }
      for (uint32_t Left = DirectoryHeader.Length / 4; Left > 0;) {
        const uint32_t Entry = ReadStreamUInt32(Document);
        --Left;
        const uint32_t First = Entry & kPersistIdMask;
        const uint32_t Count = Entry >> kPersistCountShift;
        if (Count > Left) return {};
        for (uint32_t I = 0; I < Count; ++I) Persist.emplace(First + I, ReadStreamUInt32(Document));
        Left -= Count;
      }
      if (Previous == 0) break;
      Edit = Previous;
    }
    if (Persist.find(DocumentId) == Persist.end()) return {};
    for (const auto& [id, offset] : Persist) {
      if (offset >= Document.Size()) return {};
      Live.insert(offset);
    }
  } catch (const EOleStorage&) {
    return {};
  }
  return Live;
}

bool ConvertPresentationFile(const std::string& FileName, bool Unicode, std::string& Text) {
  std::unique_ptr<Storage> Storage = OpenStorage(FileName);
  std::unique_ptr<Stream> DocumentStream = Storage->OpenStream(u"PowerPoint Document");
  if (DocumentStream == nullptr) throw EOleStorage("File format is not supported");
  PptTextScanner Scanner(*DocumentStream);
  // Without a readable edit history every record of the stream is scanned.
  try {
    if (std::unique_ptr<Stream> CurrentUser = Storage->OpenStream(u"Current User"))
      Scanner.LimitToRecords(ReadLiveRecordOffsets(*DocumentStream, *CurrentUser));
  } catch (const EOleStorage&) {
  }
  if (Unicode) {
    Scanner.ScanWide(Text);
  } else {
    Scanner.ScanAnsi(Text);
  }
  return true;
}

bool IsPresentationFile(const std::string& FileName) {
  std::unique_ptr<Storage> Storage = OpenStorage(FileName);
  return Storage->OpenStream(u"PowerPoint Document") != nullptr;
}
