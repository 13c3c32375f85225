#include "plugins/imptag/MP3Imp.h"

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

#include "core/Exception.h"
#include "core/FileLayer.h"
#include "core/VFileStream.h"
#include "core/VStream.h"
#include "plugins/imptag/ID3Text.h"
#include "plugins/imptag/MP3Tables.h"

namespace {

constexpr const char* kCRLF = "\r\n";

// ID3v2 layout.
constexpr int32_t kID3v2HeaderSize = 10;
constexpr std::size_t kFrameHeaderSize = 10;
constexpr std::size_t kFrameSizeOffset = 4;
constexpr std::size_t kFrameFlagsOffset = 9;  // the second flag byte: how the frame is stored
// Second flag byte in 2.3: compressed 0x80, encrypted 0x40 (so anything from 0x40 up is not plain).
constexpr uint8_t kV23FrameNotPlain = 0x40;
// Second flag byte in 2.4.
constexpr uint8_t kV24FrameGrouped = 0x40;  // a group byte precedes the data
constexpr uint8_t kV24FrameCompressed = 0x08;
constexpr uint8_t kV24FrameEncrypted = 0x04;
constexpr uint8_t kV24FrameUnsynchronised = 0x02;
constexpr uint8_t kV24FrameDataLength = 0x01;  // a 4-byte data-length indicator precedes the data
constexpr std::size_t kDataLengthSize = 4;
// A comment block's header: encoding byte and three language bytes.
constexpr std::size_t kCommentHeaderSize = 4;

// ID3v1 layout: "TAG", then the fields at these offsets and lengths, the genre in the last byte.
constexpr int32_t kID3v1Size = 128;
struct TID3v1Field {
  std::size_t Offset, Length;
};
constexpr TID3v1Field kV1Title{3, 30}, kV1Artist{33, 30}, kV1Album{63, 30}, kV1Year{93, 4},
    kV1Comment{97, 30};
constexpr std::size_t kV1Genre = 127;

// Lyrics3: the end markers (9 bytes in front of the ID3v1 tag), the begin marker, the version 1 search
// window, the version 2 size field and field headers (3-character name, 5-digit size).
constexpr std::string_view kLyricsEnd1 = "LYRICSEND";
constexpr std::string_view kLyricsEnd2 = "LYRICS200";
constexpr std::string_view kLyricsBegin = "LYRICSBEGIN";
constexpr int32_t kLyricsEndSize = 9;
constexpr int32_t kLyrics1Window = 6000;
constexpr int32_t kLyrics2SizeDigits = 6;
constexpr std::size_t kLyrics2NameSize = 3;
constexpr std::size_t kLyrics2FieldSizeDigits = 5;
// The least room in front of the ID3v1 tag for a Lyrics3 block to be looked for.
constexpr int32_t kLyricsMinRoom = 18;

// Report labels and section lines.
constexpr const char* kID3v2Section = "*** ID3v2 Tag ***";
constexpr const char* kID3v1Section = "*** ID3v1 Tag ***";
constexpr const char* kLyricsSection = "*** Lyrics ***";
constexpr const char* kExtraInfoSection = "*** Extra Information ***";
constexpr const char* kUserTextLabel = "User defined text information";
constexpr const char* kUserUrlLabel = "User defined URL link";
constexpr const char* kContentDescriptor = "Content descriptor: ";

uint32_t BigEndian32(const char* P) {
  const auto* b = reinterpret_cast<const uint8_t*>(P);
  return static_cast<uint32_t>(b[0]) << 24 | static_cast<uint32_t>(b[1]) << 16 |
         static_cast<uint32_t>(b[2]) << 8 | b[3];
}

// Four bytes of 7 bits each, most significant first (the top bit of each byte is ignored).
uint32_t Synchsafe32(const char* P) {
  const auto* b = reinterpret_cast<const uint8_t*>(P);
  return static_cast<uint32_t>(b[0] & 0x7F) << 21 | static_cast<uint32_t>(b[1] & 0x7F) << 14 |
         static_cast<uint32_t>(b[2] & 0x7F) << 7 | (b[3] & 0x7F);
}

// Undoes unsynchronisation: the zero byte that the writer put behind every 0xFF is dropped.
std::string Resynchronise(std::string_view Data) {
  std::string out;
  out.reserve(Data.size());
  for (std::size_t i = 0; i < Data.size(); ++i) {
    out += Data[i];
    if (static_cast<uint8_t>(Data[i]) == 0xFF && i + 1 < Data.size() && Data[i + 1] == '\0') ++i;
  }
  return out;
}

// Count bytes from Position (fewer at the end of the stream).
std::string ReadBytesAt(TVStream& Stream, int32_t Position, int32_t Count) {
  std::string bytes(static_cast<std::size_t>(std::max(Count, 0)), '\0');
  Stream.Seek(Position);
  bytes.resize(static_cast<std::size_t>(std::max(Stream.Read(bytes.data(), Count), 0)));
  return bytes;
}

bool StartsWith(std::string_view S, std::string_view Prefix) { return S.substr(0, Prefix.size()) == Prefix; }

// A user-defined entry (TXXX, WXXX) in the order the frames came.
struct TUserEntry {
  const char* Label;
  std::string Description;
  std::string Value;
};

// What the ID3v2 frames gave, by report line.
struct TID3v2Values {
  std::string Title, Performer, Album;
  std::array<std::string, kID3TextFrameCount> Text;
  std::array<std::string, kID3UrlFrameCount> Url;
  std::string ContentTypeRaw;
  std::vector<TUserEntry> User;
};

// The ID3v1 values, as Lyrics3 may extend them.
struct TID3v1Values {
  std::string Title, Artist, Album, Author, Year, Genre, Comment;
};

// The state of one report: the report itself and the comment stream, which collects comments and lyrics
// until the section they belong to is written.
class TMP3Reader {
 public:
  explicit TMP3Reader(TVStream& Stream) : Stream(Stream), StreamSize(Stream.GetSize()) {}
  std::string Run();

 private:
  void ReadID3v2(const TID3v2Header& Header);
  void ReadID3Frame(std::string_view Id, uint8_t FrameFlags, std::string_view Data,
                    const TID3v2Header& Header, TID3v2Values& Values);
  void ReadID3UserFrame(const char* Label, std::string_view Data, bool IsText, TID3v2Values& Values);
  void ReadID3CommentFrame(const char* Label, std::string_view Data);
  void WriteID3v2Report(const TID3v2Values& Values, uint8_t Version);
  void ReadID3v1(const std::string& Block);
  void ReadLyrics3(TID3v1Values& Values);
  void ReadLyrics3v2Fields(std::string_view Fields, TID3v1Values& Values);
  void WriteMP3ReportLine(std::string_view Label, std::string_view Value);

  TVStream& Stream;
  int32_t StreamSize;
  std::string Report;
  bool HasReport = false;
  std::string Comments;
};

std::string TMP3Reader::Run() {
  TID3v2Header header;
  if (HasID3v2Header(Stream, header)) ReadID3v2(header);
  if (StreamSize >= kID3v1Size) {
    const std::string block = ReadBytesAt(Stream, StreamSize - kID3v1Size, kID3v1Size);
    if (block.size() == static_cast<std::size_t>(kID3v1Size) && StartsWith(block, "TAG")) ReadID3v1(block);
  }
  if (!HasReport) throw Exception(kUnsupportedDataFormat);
  return Report;
}

void TMP3Reader::ReadID3v2(const TID3v2Header& Header) {
  HasReport = true;
  Report += kID3v2Section;
  Report += kCRLF;
  Report += kCRLF;

  // The tag as far as the file holds it.
  const int32_t available = std::max(StreamSize - kID3v2HeaderSize, 0);
  std::string tag =
      ReadBytesAt(Stream, kID3v2HeaderSize, static_cast<int32_t>(std::min<int64_t>(Header.Size, available)));
  if (Header.Version == 3 && (Header.Flags & kID3Unsynchronised) != 0) tag = Resynchronise(tag);

  std::size_t pos = 0;
  if ((Header.Flags & kID3ExtendedHeader) != 0 && tag.size() >= 4) {
    // 2.3 gives the size behind its own four bytes, 2.4 (synchsafe) the size including them.
    const uint64_t extended =
        Header.Version == 3 ? uint64_t{4} + BigEndian32(tag.data()) : Synchsafe32(tag.data());
    pos = static_cast<std::size_t>(std::min<uint64_t>(extended, tag.size()));
  }

  TID3v2Values values;
  while (tag.size() - pos >= kFrameHeaderSize) {
    const char* frame = tag.data() + pos;
    if (frame[0] < 'A' || frame[0] > 'Z') break;
    const uint32_t size =
        Header.Version >= 4 ? Synchsafe32(frame + kFrameSizeOffset) : BigEndian32(frame + kFrameSizeOffset);
    // A frame that reaches past the tag is damaged: the walk ends with what was read before it.
    if (size > tag.size() - pos - kFrameHeaderSize) break;
    ReadID3Frame(std::string_view(frame, 4), static_cast<uint8_t>(frame[kFrameFlagsOffset]),
                 std::string_view(frame + kFrameHeaderSize, size), Header, values);
    pos += kFrameHeaderSize + size;
  }
  WriteID3v2Report(values, Header.Version);
}

void TMP3Reader::ReadID3Frame(std::string_view Id, uint8_t FrameFlags, std::string_view Data,
                              const TID3v2Header& Header, TID3v2Values& Values) {
  std::string restored;
  if (Header.Version == 3) {
    if (FrameFlags >= kV23FrameNotPlain) return;
  } else {
    if ((FrameFlags & (kV24FrameCompressed | kV24FrameEncrypted)) != 0) return;
    if ((FrameFlags & kV24FrameGrouped) != 0) {
      if (Data.empty()) return;
      Data.remove_prefix(1);
    }
    if ((FrameFlags & kV24FrameDataLength) != 0) {
      if (Data.size() < kDataLengthSize) return;
      Data.remove_prefix(kDataLengthSize);
    }
    if ((FrameFlags & kV24FrameUnsynchronised) != 0 || (Header.Flags & kID3Unsynchronised) != 0) {
      restored = Resynchronise(Data);
      Data = restored;
    }
  }

  // A text frame's value in any of the four text encodings; zero characters (list separators) survive the
  // decoding as zero bytes.
  auto decoded = [&Data]() {
    return Data.empty() ? std::string() : DecodeID3Text(static_cast<uint8_t>(Data[0]), Data.substr(1));
  };
  auto text = [&decoded]() { return CleanID3Text(decoded()); };
  if (Id == "TIT2") {
    Values.Title = text();
  } else if (Id == "TPE1") {
    Values.Performer = text();
  } else if (Id == "TALB") {
    Values.Album = text();
  } else if (Id == "TXXX") {
    ReadID3UserFrame(kUserTextLabel, Data, true, Values);
  } else if (Id == "WXXX") {
    ReadID3UserFrame(kUserUrlLabel, Data, false, Values);
  } else if (Id == "COMM") {
    ReadID3CommentFrame("Comments", Data);
  } else if (Id == "USLT") {
    ReadID3CommentFrame("Lyrics/text transcription", Data);
  } else if (Id == "TCON") {
    Values.ContentTypeRaw = decoded();
  } else if (int row = FindID3FrameRow(kID3TextFrames, kID3TextFrameCount, Id); row >= 0) {
    Values.Text[static_cast<std::size_t>(row)] = text();
  } else if (int row = FindID3FrameRow(kID3UrlFrames, kID3UrlFrameCount, Id); row >= 0) {
    Values.Url[static_cast<std::size_t>(row)] = std::string(Data.substr(0, Data.find('\0')));
  }
}

void TMP3Reader::ReadID3UserFrame(const char* Label, std::string_view Data, bool IsText,
                                  TID3v2Values& Values) {
  if (Data.empty()) return;
  const std::string decoded = DecodeID3Text(static_cast<uint8_t>(Data[0]), Data.substr(1));
  const std::size_t zero = decoded.find('\0');
  if (zero == std::string::npos) return;
  const std::string_view value = std::string_view(decoded).substr(zero + 1);
  Values.User.push_back({Label, decoded.substr(0, zero),
                         IsText ? CleanID3Text(value) : std::string(value.substr(0, value.find('\0')))});
}

void TMP3Reader::ReadID3CommentFrame(const char* Label, std::string_view Data) {
  if (Data.size() < kCommentHeaderSize) return;
  const std::string decoded = DecodeID3Text(static_cast<uint8_t>(Data[0]), Data.substr(kCommentHeaderSize));
  // The description ends at the first zero byte; without one the whole is the text.
  const std::size_t zero = decoded.find('\0');
  const std::string description = zero == std::string::npos ? std::string() : decoded.substr(0, zero);
  const std::string text = CleanID3Text(
      zero == std::string::npos ? std::string_view(decoded) : std::string_view(decoded).substr(zero + 1));
  if (text.empty()) return;
  Comments += Label;
  Comments += kCRLF;
  Comments += kCRLF;
  if (!description.empty()) {
    Comments += kContentDescriptor + description + kCRLF + kCRLF;
  }
  Comments += text + kCRLF;
  if (text.size() < 2 || text.compare(text.size() - 2, 2, kCRLF) != 0) Comments += kCRLF;
}

void TMP3Reader::WriteMP3ReportLine(std::string_view Label, std::string_view Value) {
  if (Value.empty()) return;
  Report += Label;
  Report += ": ";
  Report += Value;
  Report += kCRLF;
}

void TMP3Reader::WriteID3v2Report(const TID3v2Values& Values, uint8_t Version) {
  WriteMP3ReportLine("Title", Values.Title);
  WriteMP3ReportLine("Lead performer(s)/Soloist(s)", Values.Performer);
  WriteMP3ReportLine("Album", Values.Album);
  const int content_type = FindID3FrameRow(kID3TextFrames, kID3TextFrameCount, "TCON");
  for (std::size_t row = 0; row < kID3TextFrameCount; ++row) {
    WriteMP3ReportLine(kID3TextFrames[row].Label, static_cast<int>(row) == content_type
                                                      ? RewriteContentType(Values.ContentTypeRaw, Version)
                                                      : Values.Text[row]);
  }
  for (std::size_t row = 0; row < kID3UrlFrameCount; ++row)
    WriteMP3ReportLine(kID3UrlFrames[row].Label, Values.Url[row]);
  for (const TUserEntry& entry : Values.User) {
    WriteMP3ReportLine(entry.Label,
                       entry.Description.empty() ? entry.Value : entry.Description + "=" + entry.Value);
  }
  Report += kCRLF;
  Report += Comments;
  Comments.clear();
}

void TMP3Reader::ReadID3v1(const std::string& Block) {
  HasReport = true;
  auto field = [&Block](TID3v1Field F) {
    const std::string_view raw = std::string_view(Block).substr(F.Offset, F.Length);
    return TrimID3Blanks(raw.substr(0, raw.find('\0')));
  };
  TID3v1Values values;
  values.Title = field(kV1Title);
  values.Artist = field(kV1Artist);
  values.Album = field(kV1Album);
  values.Year = field(kV1Year);
  values.Comment = field(kV1Comment);
  values.Genre = GenreName(static_cast<uint8_t>(Block[kV1Genre]));
  ReadLyrics3(values);

  Report += kID3v1Section;
  Report += kCRLF;
  Report += kCRLF;
  WriteMP3ReportLine("Title", values.Title);
  WriteMP3ReportLine("Artist(s)", values.Artist);
  WriteMP3ReportLine("Album", values.Album);
  WriteMP3ReportLine("Lyrics/Music Author(s)", values.Author);
  WriteMP3ReportLine("Year", values.Year);
  WriteMP3ReportLine("Genre", values.Genre);
  WriteMP3ReportLine("Comment", values.Comment);
  if (!Comments.empty()) {
    Report += kCRLF;
    Report += Comments;
    Comments.clear();
  }
}

void TMP3Reader::ReadLyrics3(TID3v1Values& Values) {
  const int32_t tag_start = StreamSize - kID3v1Size;
  if (tag_start <= kLyricsMinRoom) return;
  const int32_t end = tag_start - kLyricsEndSize;
  const std::string marker = ReadBytesAt(Stream, end, kLyricsEndSize);
  if (marker == kLyricsEnd1) {
    const int32_t from = std::max(end - kLyrics1Window, 0);
    const std::string window = ReadBytesAt(Stream, from, end - from);
    const std::size_t begin = window.find(kLyricsBegin);
    if (begin != std::string::npos) Comments += window.substr(begin + kLyricsBegin.size());
  } else if (marker == kLyricsEnd2) {
    const int32_t size_at = end - kLyrics2SizeDigits;
    const std::string digits = ReadBytesAt(Stream, size_at, kLyrics2SizeDigits);
    if (!IsDecimalText(digits) || digits.size() != static_cast<std::size_t>(kLyrics2SizeDigits)) return;
    const int32_t size = std::stoi(digits);
    if (size > size_at) return;
    const std::string block = ReadBytesAt(Stream, size_at - size, size);
    if (!StartsWith(block, kLyricsBegin)) return;
    ReadLyrics3v2Fields(std::string_view(block).substr(kLyricsBegin.size()), Values);
  }
}

void TMP3Reader::ReadLyrics3v2Fields(std::string_view Fields, TID3v1Values& Values) {
  constexpr std::size_t kHeader = kLyrics2NameSize + kLyrics2FieldSizeDigits;
  auto section = [this](const char* Title, std::string_view Data) {
    if (!Comments.empty()) Comments += kCRLF;
    Comments += Title;
    Comments += kCRLF;
    Comments += kCRLF;
    Comments += Data;
    if (!Data.empty() && !Data.ends_with(kCRLF)) Comments += kCRLF;
  };
  // An extended value replaces the ID3v1 value it continues.
  auto extend = [](std::string& Value, std::string_view Extended) {
    if (StartsWith(Extended, Value)) Value = std::string(Extended);
  };
  std::size_t pos = 0;
  while (Fields.size() - pos >= kHeader) {
    const std::string_view name = Fields.substr(pos, kLyrics2NameSize);
    const std::string_view digits = Fields.substr(pos + kLyrics2NameSize, kLyrics2FieldSizeDigits);
    if (!IsDecimalText(digits)) break;
    const auto size = static_cast<std::size_t>(std::stoi(std::string(digits)));
    if (size > Fields.size() - pos - kHeader) break;
    const std::string_view data = Fields.substr(pos + kHeader, size);
    if (name == "LYR") {
      section(kLyricsSection, data);
    } else if (name == "INF") {
      section(kExtraInfoSection, data);
    } else if (name == "AUT") {
      Values.Author = std::string(data);
    } else if (name == "ETT") {
      extend(Values.Title, data);
    } else if (name == "EAL") {
      extend(Values.Album, data);
    } else if (name == "EAR") {
      extend(Values.Artist, data);
    }
    pos += kHeader + size;
  }
}

// Opens a file for reading while others may read it too. A name that is valid UTF-8 gets the large
// buffer; any other name is opened by its bytes as they stand.
std::unique_ptr<TVBufFileStream> OpenMP3File(const std::string& FileName) {
  constexpr TFileOpenMode kMode = fmOpenRead | fmShareDenyWrite;
  const std::u16string wide = Utf8ToUtf16(FileName);
  if (Utf16ToUtf8(wide) == FileName) return std::make_unique<TVBufFileStream>(wide, kMP3FileBuffer, kMode);
  return std::make_unique<TVBufFileStream>(FileName, kMode);
}

}  // namespace

bool HasID3v2Header(TVStream& Stream, TID3v2Header& Header) {
  if (Stream.GetSize() < kID3v2HeaderSize) return false;
  const std::string bytes = ReadBytesAt(Stream, 0, kID3v2HeaderSize);
  if (bytes.size() != static_cast<std::size_t>(kID3v2HeaderSize) || !StartsWith(bytes, "ID3")) return false;
  if (bytes[3] != 3 && bytes[3] != 4) return false;
  Header.Version = static_cast<uint8_t>(bytes[3]);
  Header.Revision = static_cast<uint8_t>(bytes[4]);
  Header.Flags = static_cast<uint8_t>(bytes[5]);
  Header.Size = Synchsafe32(bytes.data() + 6);
  return true;
}

bool IsMP3File(const std::string& FileName) {
  TVBufFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
  TID3v2Header header;
  if (HasID3v2Header(stream, header)) return true;
  const int32_t size = stream.GetSize();
  return size >= kID3v1Size && ReadBytesAt(stream, size - kID3v1Size, 3) == "TAG";
}

std::string ReadMP3Tags(TVStream& Stream, bool Unicode) {
  if (Unicode) throw Exception(kUnicodeNotSupported);
  return TMP3Reader(Stream).Run();
}

bool ConvertMP3File(const std::string& FileName, bool Unicode, IConvProgress*, std::string& Text) {
  std::unique_ptr<TVBufFileStream> stream = OpenMP3File(FileName);
  Text = ReadMP3Tags(*stream, Unicode);
  return true;
}

bool ConvertMP3Memory(const void* Data, std::size_t Size, bool Unicode, IConvProgress*, std::string& Text) {
  TVReadOnlyMemStream stream(Data, static_cast<int32_t>(Size));
  Text = ReadMP3Tags(stream, Unicode);
  return true;
}
