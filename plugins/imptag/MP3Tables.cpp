#include "plugins/imptag/MP3Tables.h"

const TID3FrameLabel kID3TextFrames[kID3TextFrameCount] = {
    {"TYER", "Year"},
    {"TCON", "Content type"},
    {"TCOM", "Composer"},
    {"TOPE", "Original artist(s)/performer(s)"},
    {"TCOP", "Copyright message"},
    {"TENC", "Encoded by"},
    {"TBPM", "BPM (beats per minute)"},
    {"TDEN", "Encoding time"},
    {"TDLY", "Playlist delay"},
    {"TDOR", "Original release time"},
    {"TDRC", "Recording time"},
    {"TDRL", "Release time"},
    {"TDTG", "Tagging time"},
    {"TEXT", "Lyricist/Text writer"},
    {"TFLT", "File type"},
    {"TIPL", "Involved people list"},
    {"TIT1", "Content group description"},
    {"TIT3", "Subtitle"},
    {"TKEY", "Initial key"},
    {"TLAN", "Language(s)"},
    {"TLEN", "Length (ms)"},
    {"TMCL", "Musician credits list"},
    {"TMED", "Media type"},
    {"TMOO", "Mood"},
    {"TOAL", "Original album"},
    {"TOFN", "Original filename"},
    {"TOLY", "Original lyricist(s)/text writer(s)"},
    {"TOWN", "File owner/licensee"},
    {"TPE2", "Band"},
    {"TPE3", "Conductor/performer refinement"},
    {"TPE4", "Interpreted, remixed, or otherwise modified by"},
    {"TPOS", "Part of a set"},
    {"TPRO", "Produced notice"},
    {"TPUB", "Publisher"},
    {"TRCK", "Track number/Position in set"},
    {"TRSN", "Internet radio station name"},
    {"TRSO", "Internet radio station owner"},
    {"TSOA", "Album sort order"},
    {"TSOP", "Performer sort order"},
    {"TSOT", "Title sort order"},
    {"TSRC", "ISRC (international standard recording code)"},
    {"TSSE", "Software/Hardware and settings used for encoding"},
    {"TSST", "Set subtitle"},
};

const TID3FrameLabel kID3UrlFrames[kID3UrlFrameCount] = {
    {"WCOM", "Commercial information"},
    {"WCOP", "Copyright/Legal information"},
    {"WOAF", "Official audio file webpage"},
    {"WOAR", "Official artist/performer webpage"},
    {"WOAS", "Official audio source webpage"},
    {"WORS", "Official Internet radio station homepage"},
    {"WPAY", "Payment"},
    {"WPUB", "Publishers official webpage"},
};

namespace {

// Rows as the list is usually printed; the comment gives the index of each row's first name.
// clang-format off
const char* const kGenres[kMaxGenreIndex + 1] = {
    "Blues", "Classic Rock", "Country", "Dance", "Disco", "Funk", "Grunge", "Hip-Hop",  // 0
    "Jazz", "Metal", "New Age", "Oldies", "Other", "Pop", "R&B", "Rap",  // 8
    "Reggae", "Rock", "Techno", "Industrial", "Alternative", "Ska", "Death Metal", "Pranks",  // 16
    "Soundtrack", "Euro-Techno", "Ambient", "Trip-Hop", "Vocal", "Jazz+Funk", "Fusion", "Trance",  // 24
    "Classical", "Instrumental", "Acid", "House", "Game", "Sound Clip", "Gospel", "Noise",  // 32
    "Alternative Rock", "Bass", "Soul", "Punk", "Space", "Meditative", "Instrumental Pop",  // 40
    "Instrumental Rock", "Ethnic", "Gothic", "Darkwave", "Techno-Industrial", "Electronic", "Pop-Folk",  // 47
    "Eurodance", "Dream", "Southern Rock", "Comedy", "Cult", "Gangsta", "Top 40", "Christian Rap",  // 54
    "Pop/Funk", "Jungle", "Native US", "Cabaret", "New Wave", "Psychadelic", "Rave", "Showtunes",  // 62
    "Trailer", "Lo-Fi", "Tribal", "Acid Punk", "Acid Jazz", "Polka", "Retro", "Musical",  // 70
    "Rock & Roll", "Hard Rock", "Folk", "Folk-Rock", "National Folk", "Swing", "Fast Fusion", "Bebob",  // 78
    "Latin", "Revival", "Celtic", "Bluegrass", "Avantgarde", "Gothic Rock", "Progressive Rock",  // 86
    "Psychedelic Rock", "Symphonic Rock", "Slow Rock", "Big Band", "Chorus", "Easy Listening",  // 93
    "Acoustic", "Humour", "Speech", "Chanson", "Opera", "Chamber Music", "Sonata", "Symphony",  // 99
    "Booty Bass", "Primus", "Porn Groove", "Satire", "Slow Jam", "Club", "Tango", "Samba",  // 107
    "Folklore", "Ballad", "Power Ballad", "Rhytmic Soul", "Freestyle", "Duet", "Punk Rock",  // 115
    "Drum Solo", "Acapella", "Euro-House", "Dance Hall", "Goa", "Drum & Bass", "Club-House",  // 122
    "Hardcore", "Terror", "Indie", "BritPop", "Negerpunk", "Polsk Punk", "Beat",  // 129
    "Christian Gangsta Rap", "Heavy Metal", "Black Metal", "Crossover", "Contemporary Christian",  // 136
    "Christian Rock", "Merengue", "Salsa", "Trash Metal", "Anime", "Jpop", "Synthpop",  // 141
};
// clang-format on

}  // namespace

const char* const kUnknownGenre = "Unknown";

int FindID3FrameRow(const TID3FrameLabel* Table, std::size_t Count, std::string_view Id) {
  for (std::size_t I = 0; I < Count; ++I) {
    if (Id == Table[I].Id) return static_cast<int>(I);
  }
  return -1;
}

const char* GenreName(uint8_t Index) { return Index <= kMaxGenreIndex ? kGenres[Index] : kUnknownGenre; }
