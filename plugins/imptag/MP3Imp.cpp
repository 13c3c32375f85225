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
  const auto* B = reinterpret_cast<const uint8_t*>(P);
  return static_cast<uint32_t>(B[0]) << 24 | static_cast<uint32_t>(B[1]) << 16 |
         static_cast<uint32_t>(B[2]) << 8 | B[3];
}

// Four bytes of 7 bits each, most significant first (the top bit of each byte is ignored).
uint32_t Synchsafe32(const char* P) {
  const auto* B = reinterpret_cast<const uint8_t*>(P);
  return static_cast<uint32_t>(B[0] & 0x7F) << 21 | static_cast<uint32_t>(B[1] & 0x7F) << 14 |
         static_cast<uint32_t>(B[2] & 0x7F) << 7 | (B[3] & 0x7F);
}

// Undoes unsynchronisation: the zero byte that the writer put behind every 0xFF is dropped.
std::string Resynchronise(std::string_view Data) {
  std::string Out;
  Out.reserve(Data.size());
  for (std::size_t I = 0; I < Data.size(); ++I) {
    Out += Data[I];
    if (static_cast<uint8_t>(Data[I]) == 0xFF && I + 1 < Data.size() && Data[I + 1] == '\0') ++I;
  }
  return Out;
}

// Count bytes from Position (fewer at the end of the stream).
std::string ReadBytesAt(TVStream& Stream, int32_t Position, int32_t Count) {
  std::string Bytes(static_cast<std::size_t>(std::max(Count, 0)), '\0');
  Stream.Seek(Position);
  Bytes.resize(static_cast<std::size_t>(std::max(Stream.Read(Bytes.data(), Count), 0)));
  return Bytes;
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
  explicit TMP3Reader(TVStream& Stream) : Stream_(Stream), StreamSize_(Stream.GetSize()) {}
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

  TVStream& Stream_;
  int32_t StreamSize_;
  std::string Report_;
  bool HasReport_ = false;
  std::string Comments_;
};

std::string TMP3Reader::Run() {
  TID3v2Header Header;
  if (HasID3v2Header(Stream_, Header)) ReadID3v2(Header);
  if (StreamSize_ >= kID3v1Size) {
    const std::string Block = ReadBytesAt(Stream_, StreamSize_ - kID3v1Size, kID3v1Size);
    if (Block.size() == static_cast<std::size_t>(kID3v1Size) && StartsWith(Block, "TAG")) ReadID3v1(Block);
  }
  if (!HasReport_) throw Exception(kUnsupportedDataFormat);
  return Report_;
}

void TMP3Reader::ReadID3v2(const TID3v2Header& Header) {
  HasReport_ = true;
  Report_ += kID3v2Section;
  Report_ += kCRLF;
  Report_ += kCRLF;

  // The tag as far as the file holds it.
  const int32_t Available = std::max(StreamSize_ - kID3v2HeaderSize, 0);
  std::string Tag =
      ReadBytesAt(Stream_, kID3v2HeaderSize, static_cast<int32_t>(std::min<int64_t>(Header.Size, Available)));
  if (Header.Version == 3 && (Header.Flags & kID3Unsynchronised) != 0) Tag = Resynchronise(Tag);

  std::size_t Pos = 0;
  if ((Header.Flags & kID3ExtendedHeader) != 0 && Tag.size() >= 4) {
    // 2.3 gives the size behind its own four bytes, 2.4 (synchsafe) the size including them.
    const uint64_t Extended =
        Header.Version == 3 ? uint64_t{4} + BigEndian32(Tag.data()) : Synchsafe32(Tag.data());
    Pos = static_cast<std::size_t>(std::min<uint64_t>(Extended, Tag.size()));
  }

  TID3v2Values Values;
  while (Tag.size() - Pos >= kFrameHeaderSize) {
    const char* Frame = Tag.data() + Pos;
    if (Frame[0] < 'A' || Frame[0] > 'Z') break;
    const uint32_t Size =
        Header.Version >= 4 ? Synchsafe32(Frame + kFrameSizeOffset) : BigEndian32(Frame + kFrameSizeOffset);
    // A frame that reaches past the tag is damaged: the walk ends with what was read before it.
    if (Size > Tag.size() - Pos - kFrameHeaderSize) break;
    ReadID3Frame(std::string_view(Frame, 4), static_cast<uint8_t>(Frame[kFrameFlagsOffset]),
                 std::string_view(Frame + kFrameHeaderSize, Size), Header, Values);
    Pos += kFrameHeaderSize + Size;
  }
  WriteID3v2Report(Values, Header.Version);
}

void TMP3Reader::ReadID3Frame(std::string_view Id, uint8_t FrameFlags, std::string_view Data,
                              const TID3v2Header& Header, TID3v2Values& Values) {
  std::string Restored;
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
      Restored = Resynchronise(Data);
      Data = Restored;
    }
  }

  // A text frame's value in any of the four text encodings; zero characters (list separators) survive the
  // decoding as zero bytes.
  auto Decoded = [&Data]() {
    return Data.empty() ? std::string() : DecodeID3Text(static_cast<uint8_t>(Data[0]), Data.substr(1));
  };
  auto Text = [&Decoded]() { return CleanID3Text(Decoded()); };
  if (Id == "TIT2") {
    Values.Title = Text();
  } else if (Id == "TPE1") {
    Values.Performer = Text();
  } else if (Id == "TALB") {
    Values.Album = Text();
  } else if (Id == "TXXX") {
    ReadID3UserFrame(kUserTextLabel, Data, true, Values);
  } else if (Id == "WXXX") {
    ReadID3UserFrame(kUserUrlLabel, Data, false, Values);
  } else if (Id == "COMM") {
    ReadID3CommentFrame("Comments", Data);
  } else if (Id == "USLT") {
    ReadID3CommentFrame("Lyrics/text transcription", Data);
  } else if (Id == "TCON") {
    Values.ContentTypeRaw = Decoded();
  } else if (int TextRow = FindID3FrameRow(kID3TextFrames, kID3TextFrameCount, Id); TextRow >= 0) {
    Values.Text[static_cast<std::size_t>(TextRow)] = Text();
  } else if (int UrlRow = FindID3FrameRow(kID3UrlFrames, kID3UrlFrameCount, Id); UrlRow >= 0) {
    Values.Url[static_cast<std::size_t>(UrlRow)] = std::string(Data.substr(0, Data.find('\0')));
  }
}

void TMP3Reader::ReadID3UserFrame(const char* Label, std::string_view Data, bool IsText,
                                  TID3v2Values& Values) {
  if (Data.empty()) return;
  const std::string Decoded = DecodeID3Text(static_cast<uint8_t>(Data[0]), Data.substr(1));
  const std::size_t Zero = Decoded.find('\0');
  if (Zero == std::string::npos) return;
  const std::string_view Value = std::string_view(Decoded).substr(Zero + 1);
  Values.User.push_back({Label, Decoded.substr(0, Zero),
                         IsText ? CleanID3Text(Value) : std::string(Value.substr(0, Value.find('\0')))});
}

void TMP3Reader::ReadID3CommentFrame(const char* Label, std::string_view Data) {
  if (Data.size() < kCommentHeaderSize) return;
  const std::string Decoded = DecodeID3Text(static_cast<uint8_t>(Data[0]), Data.substr(kCommentHeaderSize));
  // The description ends at the first zero byte; without one the whole is the text.
  const std::size_t Zero = Decoded.find('\0');
  const std::string Description = Zero == std::string::npos ? std::string() : Decoded.substr(0, Zero);
  const std::string Text = CleanID3Text(
      Zero == std::string::npos ? std::string_view(Decoded) : std::string_view(Decoded).substr(Zero + 1));
  if (Text.empty()) return;
  Comments_ += Label;
  Comments_ += kCRLF;
  Comments_ += kCRLF;
  if (!Description.empty()) {
    Comments_ += kContentDescriptor + Description + kCRLF + kCRLF;
  }
  Comments_ += Text + kCRLF;
  if (Text.size() < 2 || Text.compare(Text.size() - 2, 2, kCRLF) != 0) Comments_ += kCRLF;
}

void TMP3Reader::WriteMP3ReportLine(std::string_view Label, std::string_view Value) {
  if (Value.empty()) return;
  Report_ += Label;
  Report_ += ": ";
  Report_ += Value;
  Report_ += kCRLF;
}

void TMP3Reader::WriteID3v2Report(const TID3v2Values& Values, uint8_t Version) {
  WriteMP3ReportLine("Title", Values.Title);
  WriteMP3ReportLine("Lead performer(s)/Soloist(s)", Values.Performer);
  WriteMP3ReportLine("Album", Values.Album);
  const int ContentType = FindID3FrameRow(kID3TextFrames, kID3TextFrameCount, "TCON");
  for (std::size_t Row = 0; Row < kID3TextFrameCount; ++Row) {
    WriteMP3ReportLine(kID3TextFrames[Row].Label, static_cast<int>(Row) == ContentType
                                                      ? RewriteContentType(Values.ContentTypeRaw, Version)
                                                      : Values.Text[Row]);
  }
  for (std::size_t Row = 0; Row < kID3UrlFrameCount; ++Row)
    WriteMP3ReportLine(kID3UrlFrames[Row].Label, Values.Url[Row]);
  for (const TUserEntry& Entry : Values.User) {
    WriteMP3ReportLine(Entry.Label,
                       Entry.Description.empty() ? Entry.Value : Entry.Description + "=" + Entry.Value);
  }
  Report_ += kCRLF;
  Report_ += Comments_;
  Comments_.clear();
}

void TMP3Reader::ReadID3v1(const std::string& Block) {
  HasReport_ = true;
  auto Field = [&Block](TID3v1Field F) {
    const std::string_view Raw = std::string_view(Block).substr(F.Offset, F.Length);
    return TrimID3Blanks(Raw.substr(0, Raw.find('\0')));
  };
  TID3v1Values Values;
  Values.Title = Field(kV1Title);
  Values.Artist = Field(kV1Artist);
  Values.Album = Field(kV1Album);
  Values.Year = Field(kV1Year);
  Values.Comment = Field(kV1Comment);
  Values.Genre = GenreName(static_cast<uint8_t>(Block[kV1Genre]));
  ReadLyrics3(Values);

  Report_ += kID3v1Section;
  Report_ += kCRLF;
  Report_ += kCRLF;
  WriteMP3ReportLine("Title", Values.Title);
  WriteMP3ReportLine("Artist(s)", Values.Artist);
  WriteMP3ReportLine("Album", Values.Album);
  WriteMP3ReportLine("Lyrics/Music Author(s)", Values.Author);
  WriteMP3ReportLine("Year", Values.Year);
  WriteMP3ReportLine("Genre", Values.Genre);
  WriteMP3ReportLine("Comment", Values.Comment);
  if (!Comments_.empty()) {
    Report_ += kCRLF;
    Report_ += Comments_;
    Comments_.clear();
  }
}

void TMP3Reader::ReadLyrics3(TID3v1Values& Values) {
  const int32_t TagStart = StreamSize_ - kID3v1Size;
  if (TagStart <= kLyricsMinRoom) return;
  const int32_t End = TagStart - kLyricsEndSize;
  const std::string Marker = ReadBytesAt(Stream_, End, kLyricsEndSize);
  if (Marker == kLyricsEnd1) {
    const int32_t From = std::max(End - kLyrics1Window, 0);
    const std::string Window = ReadBytesAt(Stream_, From, End - From);
    const std::size_t Begin = Window.find(kLyricsBegin);
    if (Begin != std::string::npos) Comments_ += Window.substr(Begin + kLyricsBegin.size());
  } else if (Marker == kLyricsEnd2) {
    const int32_t SizeAt = End - kLyrics2SizeDigits;
    const std::string Digits = ReadBytesAt(Stream_, SizeAt, kLyrics2SizeDigits);
    if (!IsDecimalText(Digits) || Digits.size() != static_cast<std::size_t>(kLyrics2SizeDigits)) return;
    const int32_t Size = std::stoi(Digits);
    if (Size > SizeAt) return;
    const std::string Block = ReadBytesAt(Stream_, SizeAt - Size, Size);
    if (!StartsWith(Block, kLyricsBegin)) return;
    ReadLyrics3v2Fields(std::string_view(Block).substr(kLyricsBegin.size()), Values);
  }
}

void TMP3Reader::ReadLyrics3v2Fields(std::string_view Fields, TID3v1Values& Values) {
  constexpr std::size_t kHeader = kLyrics2NameSize + kLyrics2FieldSizeDigits;
  auto Section = [this](const char* Title, std::string_view Data) {
    if (!Comments_.empty()) Comments_ += kCRLF;
    Comments_ += Title;
    Comments_ += kCRLF;
    Comments_ += kCRLF;
    Comments_ += Data;
    if (!Data.empty() && !Data.ends_with(kCRLF)) Comments_ += kCRLF;
  };
  // An extended value replaces the ID3v1 value it continues.
  auto Extend = [](std::string& Value, std::string_view Extended) {
    if (StartsWith(Extended, Value)) Value = std::string(Extended);
  };
  std::size_t Pos = 0;
  while (Fields.size() - Pos >= kHeader) {
    const std::string_view Name = Fields.substr(Pos, kLyrics2NameSize);
    const std::string_view Digits = Fields.substr(Pos + kLyrics2NameSize, kLyrics2FieldSizeDigits);
    if (!IsDecimalText(Digits)) break;
    const auto Size = static_cast<std::size_t>(std::stoi(std::string(Digits)));
    if (Size > Fields.size() - Pos - kHeader) break;
    const std::string_view Data = Fields.substr(Pos + kHeader, Size);
    if (Name == "LYR") {
      Section(kLyricsSection, Data);
    } else if (Name == "INF") {
      Section(kExtraInfoSection, Data);
    } else if (Name == "AUT") {
      Values.Author = std::string(Data);
    } else if (Name == "ETT") {
      Extend(Values.Title, Data);
    } else if (Name == "EAL") {
      Extend(Values.Album, Data);
    } else if (Name == "EAR") {
      Extend(Values.Artist, Data);
    }
    Pos += kHeader + Size;
  }
}

// Opens a file for reading while others may read it too. A name that is valid UTF-8 gets the large
// buffer; any other name is opened by its bytes as they stand.
std::unique_ptr<TVBufFileStream> OpenMP3File(const std::string& FileName) {
  constexpr TFileOpenMode kMode = fmOpenRead | fmShareDenyWrite;
  const std::u16string Wide = Utf8ToUtf16(FileName);
  if (Utf16ToUtf8(Wide) == FileName) return std::make_unique<TVBufFileStream>(Wide, kMP3FileBuffer, kMode);
  return std::make_unique<TVBufFileStream>(FileName, kMode);
}

}  // namespace

bool HasID3v2Header(TVStream& Stream, TID3v2Header& Header) {
  if (Stream.GetSize() < kID3v2HeaderSize) return false;
  const std::string Bytes = ReadBytesAt(Stream, 0, kID3v2HeaderSize);
  if (Bytes.size() != static_cast<std::size_t>(kID3v2HeaderSize) || !StartsWith(Bytes, "ID3")) return false;
  if (Bytes[3] != 3 && Bytes[3] != 4) return false;
  Header.Version = static_cast<uint8_t>(Bytes[3]);
  Header.Revision = static_cast<uint8_t>(Bytes[4]);
  Header.Flags = static_cast<uint8_t>(Bytes[5]);
  Header.Size = Synchsafe32(Bytes.data() + 6);
  return true;
}

bool IsMP3File(const std::string& FileName) {
  TVBufFileStream Stream(FileName, fmOpenRead | fmShareDenyWrite);
  TID3v2Header Header;
  if (HasID3v2Header(Stream, Header)) return true;
  const int32_t Size = Stream.GetSize();
  return Size >= kID3v1Size && ReadBytesAt(Stream, Size - kID3v1Size, 3) == "TAG";
}

std::string ReadMP3Tags(TVStream& Stream, bool Unicode) {
  if (Unicode) throw Exception(kUnicodeNotSupported);
  return TMP3Reader(Stream).Run();
}

bool ConvertMP3File(const std::string& FileName, bool Unicode, IConvProgress*, std::string& Text) {
  std::unique_ptr<TVBufFileStream> Stream = OpenMP3File(FileName);
  Text = ReadMP3Tags(*Stream, Unicode);
  return true;
}

bool ConvertMP3Memory(const void* Data, std::size_t Size, bool Unicode, IConvProgress*, std::string& Text) {
  TVReadOnlyMemStream Stream(Data, static_cast<int32_t>(Size));
  Text = ReadMP3Tags(Stream, Unicode);
  return true;
}
