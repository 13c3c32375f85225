// The tags of an MP3 file as a labelled plain-text report: an ID3v2 tag (versions 2.3 and 2.4) at the
// start of the file, an ID3v1 tag in its last 128 bytes, and a Lyrics3 block (version 1 or 2) in front of
// the ID3v1 tag. Frames are read in any of the four ID3v2 text encodings. The report is UTF-16 when the
// host asks for it, so that every letter of the tags is shown and searched as written, else 8-bit text in
// the Windows code page (a letter the page lacks becomes "?"). 8-bit tags (ID3v1, Lyrics3, ISO-8859-1
// frames) are read in the Windows code page in both forms.
//
// What the reader checks:
// - the ID3v2 tag is read only as far as the file goes; an unsynchronised tag (2.3) or frame (2.4) is
//   restored before it is read; an extended header is passed over when it lies inside the tag;
// - frame sizes are unsigned and a frame must lie inside the tag: a frame that reaches past it, a frame
//   header cut short, or an identifier that does not start with "A"-"Z" ends the frame walk, and what was
//   read before it is reported;
// - compressed and encrypted frames are passed over; a 2.4 frame's group byte and data-length indicator
//   are taken off before its text;
// - a Lyrics3 block is read only when its size field is six digits and the block it describes lies inside
//   the file and starts with "LYRICSBEGIN"; each field's size must be five digits and stay inside the
//   block; a damaged block is ignored and the ID3v1 tag still reported.
//
// One thread at a time; nothing is kept between files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class IConvProgress;
class TVStream;

// The 10-byte ID3v2 tag header.
struct TID3v2Header {
  uint8_t Version = 0;  // major version: 3 or 4
  uint8_t Revision = 0;
  uint8_t Flags = 0;
  uint32_t Size = 0;  // the tag's size behind the header (7 bits a byte)
};

// Tag flags of the ID3v2 header.
constexpr uint8_t kID3Unsynchronised = 0x80;
constexpr uint8_t kID3ExtendedHeader = 0x40;

// Read buffer of the library's file streams.
constexpr int32_t kMP3FileBuffer = 0x20000;

// Texts of the reader.
inline constexpr const char* kUnsupportedDataFormat = "Unsupported data format";

// Whether the stream starts with an ID3v2 header of version 3 or 4 (read from position 0).
bool HasID3v2Header(TVStream& Stream, TID3v2Header& Header);
// The content test: an ID3v2 header at the start or "TAG" 128 bytes before the end. Raises when the file
// cannot be read.
bool IsMP3File(const std::string& FileName);

// The report of the stream's tags: UTF-16LE units when Unicode is asked, else 8-bit text in the Windows
// code page. Raises "Unsupported data format" when the stream has no tag.
std::string ReadMP3Tags(TVStream& Stream, bool Unicode);

// The frame's readers: a named file and a memory block. They cannot be cancelled.
bool ConvertMP3File(const std::string& FileName, bool Unicode, IConvProgress* Progress, std::string& Text);
bool ConvertMP3Memory(const void* Data, std::size_t Size, bool Unicode, IConvProgress* Progress,
                      std::string& Text);
