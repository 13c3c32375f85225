// The constant tables of the MP3 tag reader: the labels of the ID3v2 text and URL frames it reports, in
// report order, and the names of the ID3v1 genres (the original list with its later extensions).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

struct TID3FrameLabel {
  const char* Id;     // the frame identifier (four characters)
  const char* Label;  // the label of its report line
};

// The text frames other than title, lead performer and album (43 rows) and the URL frames (8 rows).
constexpr std::size_t kID3TextFrameCount = 43;
constexpr std::size_t kID3UrlFrameCount = 8;
extern const TID3FrameLabel kID3TextFrames[kID3TextFrameCount];
extern const TID3FrameLabel kID3UrlFrames[kID3UrlFrameCount];

// The row of Id in Table (Count rows), or -1.
int FindID3FrameRow(const TID3FrameLabel* Table, std::size_t Count, std::string_view Id);

// Genre names by index; the last index with a name, and the name of any index above it.
constexpr int kMaxGenreIndex = 147;
extern const char* const kUnknownGenre;
// The name of genre Index (0-255).
const char* GenreName(uint8_t Index);
