// MP3 tags built byte by byte for the tag reader's tests: ID3v2 headers and frames (2.2 to 2.4 sizes,
// flags, unsynchronisation), ID3v1 blocks and Lyrics3 version 1 and 2 blocks.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

inline std::string BigEndianBytes(uint32_t V) {
  return {static_cast<char>(V >> 24), static_cast<char>(V >> 16), static_cast<char>(V >> 8),
          static_cast<char>(V)};
}

inline std::string SynchsafeBytes(uint32_t V) {
  return {static_cast<char>((V >> 21) & 0x7F), static_cast<char>((V >> 14) & 0x7F),
          static_cast<char>((V >> 7) & 0x7F), static_cast<char>(V & 0x7F)};
}

// A frame of version Version (3 or 4) with the second flag byte Flags.
inline std::string ID3Frame(const std::string& Id, const std::string& Body, int Version = 3,
                            uint8_t Flags = 0) {
  const auto Size = static_cast<uint32_t>(Body.size());
  return Id + (Version >= 4 ? SynchsafeBytes(Size) : BigEndianBytes(Size)) + '\0' + static_cast<char>(Flags) +
         Body;
}

// A text frame in ISO-8859-1 (encoding byte 0), or in another encoding with its bytes as given.
inline std::string ID3TextFrame(const std::string& Id, const std::string& Text, int Version = 3,
                                char Encoding = 0) {
  return ID3Frame(Id, std::string(1, Encoding) + Text, Version);
}

// An ID3v2 tag of version Version holding Body (frames and padding) with the tag flags Flags.
inline std::string ID3v2Tag(int Version, const std::string& Body, uint8_t Flags = 0) {
  return std::string("ID3") + static_cast<char>(Version) + '\0' + static_cast<char>(Flags) +
         SynchsafeBytes(static_cast<uint32_t>(Body.size())) + Body;
}

// Unsynchronisation: a zero byte behind every 0xFF that is followed by 0x00 or a byte of 0xE0 and above
// (and behind a final 0xFF).
inline std::string Unsynchronise(const std::string& Data) {
  std::string Out;
  for (std::size_t I = 0; I < Data.size(); ++I) {
    Out += Data[I];
    const bool Ff = static_cast<uint8_t>(Data[I]) == 0xFF;
    if (Ff && (I + 1 == Data.size() || Data[I + 1] == '\0' || static_cast<uint8_t>(Data[I + 1]) >= 0xE0))
      Out += '\0';
  }
  return Out;
}

inline std::string FixedField(const std::string& Text, std::size_t Length) {
  std::string F = Text.substr(0, Length);
  F.resize(Length, '\0');
  return F;
}

// A 128-byte ID3v1 block; Track > 0 makes it ID3v1.1 (a zero byte and the track in the comment's end).
inline std::string ID3v1Tag(const std::string& Title, const std::string& Artist, const std::string& Album,
                            const std::string& Year, const std::string& Comment, uint8_t Genre,
                            uint8_t Track = 0) {
  std::string CommentField = FixedField(Comment, 30);
  if (Track > 0) {
    CommentField[28] = '\0';
    CommentField[29] = static_cast<char>(Track);
  }
  return "TAG" + FixedField(Title, 30) + FixedField(Artist, 30) + FixedField(Album, 30) +
         FixedField(Year, 4) + CommentField + static_cast<char>(Genre);
}

inline std::string Lyrics3v1(const std::string& Lyrics) { return "LYRICSBEGIN" + Lyrics + "LYRICSEND"; }

inline std::string Lyrics3v2Field(const std::string& Name, const std::string& Data) {
  char Size[8];
  std::snprintf(Size, sizeof Size, "%05u", static_cast<unsigned>(Data.size()));
  return Name + Size + Data;
}

// A Lyrics3 version 2 block around Fields (made with Lyrics3v2Field).
inline std::string Lyrics3v2(const std::string& Fields) {
  const std::string Block = "LYRICSBEGIN" + Fields;
  char Size[8];
  std::snprintf(Size, sizeof Size, "%06u", static_cast<unsigned>(Block.size()));
  return Block + Size + "LYRICS200";
}

// Bytes standing for audio frames: MPEG frame syncs and zeros.
inline std::string AudioBytes(std::size_t N) {
  std::string A;
  while (A.size() < N) A += std::string("\xFF\xFB\x90\x00", 4) + std::string(28, '\0');
  A.resize(N);
  return A;
}
