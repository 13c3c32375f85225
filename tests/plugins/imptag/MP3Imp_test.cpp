// The MP3 tag reader on tags built byte by byte: the report layout of each tag kind, the content type,
// text encodings, frame and tag flags, and hostile sizes that must end with what was read before them.
#include "plugins/imptag/MP3Imp.h"

#include <gtest/gtest.h>

#include <string>

#include "core/VStream.h"
#include "plugins/imptag/ID3Text.h"
#include "plugins/imptag/MP3Tables.h"
#include "tests/plugins/TestLibraries.h"
#include "tests/plugins/impcalc2/OfficeTestSupport.h"
#include "tests/plugins/imptag/TagBuilder.h"

namespace {

class MP3Tags : public TWesternCodePageTest {
 protected:
  static std::string Report(const std::string& File) {
    TVReadOnlyMemStream Stream(File.data(), static_cast<int32_t>(File.size()));
    return ReadMP3Tags(Stream, false);
  }
  static std::string Error(const std::string& File, bool Unicode = false) {
    TVReadOnlyMemStream Stream(File.data(), static_cast<int32_t>(File.size()));
    try {
      ReadMP3Tags(Stream, Unicode);
    } catch (const std::exception& E) {
      return E.what();
    }
    return "(no error)";
  }
  // The value of the report line Label, or "(none)".
  static std::string Line(const std::string& Report, const std::string& Label) {
    const std::size_t At = Report.find("\r\n" + Label + ": ");
    if (At == std::string::npos) return "(none)";
    const std::size_t From = At + Label.size() + 4;
    return Report.substr(From, Report.find("\r\n", From) - From);
  }
};

TEST_F(MP3Tags, ID3v23ReportLayout) {
  const std::string Frames =
      ID3TextFrame("TYER", "2002") + ID3TextFrame("TIT2", "Song") + ID3TextFrame("TPE1", "Artist") +
      ID3TextFrame("TALB", "Album") + ID3TextFrame("TCON", "(17)(RX)") + ID3TextFrame("TRCK", "3/12\0", 3) +
      ID3Frame("WCOM", std::string("http://shop\0junk", 16)) +
      ID3TextFrame("TXXX", std::string("desc\0value", 10)) + ID3TextFrame("TXXX", std::string("\0plain", 6)) +
      ID3TextFrame("TXXX", "no separator") + ID3TextFrame("WXXX", std::string("home\0http://x\0y", 15)) +
      ID3Frame("COMM", std::string("\0eng"
                                   "desc\0hello",
                                   14)) +
      ID3Frame("USLT", std::string("\0eng\0line1\nline2\r\n", 18)) + ID3Frame("APIC", "picture bytes") +
      std::string(20, '\0');
  EXPECT_EQ(Report(ID3v2Tag(3, Frames) + AudioBytes(200)),
            "*** ID3v2 Tag ***\r\n\r\n"
            "Title: Song\r\n"
            "Lead performer(s)/Soloist(s): Artist\r\n"
            "Album: Album\r\n"
            "Year: 2002\r\n"
            "Content type: Rock Remix\r\n"
            "Track number/Position in set: 3/12\r\n"
            "Commercial information: http://shop\r\n"
            "User defined text information: desc=value\r\n"
            "User defined text information: plain\r\n"
            "User defined URL link: home=http://x\r\n"
            "\r\n"
            "Comments\r\n\r\nContent descriptor: desc\r\n\r\nhello\r\n\r\n"
            "Lyrics/text transcription\r\n\r\nline1\r\nline2\r\n\r\n");
}

TEST_F(MP3Tags, ID3v1WithLyrics3v2) {
  const std::string Lyrics =
      Lyrics3v2(Lyrics3v2Field("IND", "11") + Lyrics3v2Field("LYR", "la la\r\nla") +
                Lyrics3v2Field("INF", "info") + Lyrics3v2Field("AUT", "Writer") +
                Lyrics3v2Field("ETT", "Short Title Longer") + Lyrics3v2Field("EAL", "Other"));
  const std::string File =
      AudioBytes(300) + Lyrics + ID3v1Tag("Short Title", "  Band ", "Album", "1999", "Nice", 17, 5);
  EXPECT_EQ(Report(File),
            "*** ID3v1 Tag ***\r\n\r\n"
            "Title: Short Title Longer\r\n"
            "Artist(s): Band\r\n"
            "Album: Album\r\n"
            "Lyrics/Music Author(s): Writer\r\n"
            "Year: 1999\r\n"
            "Genre: Rock\r\n"
            "Comment: Nice\r\n"
            "\r\n"
            "*** Lyrics ***\r\n\r\nla la\r\nla\r\n"
            "\r\n*** Extra Information ***\r\n\r\ninfo\r\n");
}

TEST_F(MP3Tags, ID3v1WithLyrics3v1AndAnID3v2Tag) {
  const std::string File = ID3v2Tag(4, ID3TextFrame("TIT2", "New", 4)) + AudioBytes(200) +
                           Lyrics3v1("words\r\nmore") + ID3v1Tag("Old", "", "", "", "", 255);
  EXPECT_EQ(Report(File),
            "*** ID3v2 Tag ***\r\n\r\nTitle: New\r\n\r\n"
            "*** ID3v1 Tag ***\r\n\r\nTitle: Old\r\nGenre: Unknown\r\n\r\nwords\r\nmore");
}

TEST_F(MP3Tags, ContentType) {
  const struct {
    int Version;
    std::string Raw;
    const char* Expected;
  } Cases[] = {
      {3, "(17)(RX)", "Rock Remix"},
      {3, "(4)Eurodisco", "Disco Eurodisco"},
      {3, "(CR)(17)(17)Rock", "Cover Rock"},
      {3, "(200)", "Unknown"},
      {3, "(55)((I think...)", "Dream (I think..."},
      {3, "Rock (live", "Rock (live"},  // an unclosed "(" must end the loop
      {3, "Rock (", "Rock"},
      {3, "Jazz", "Jazz"},
      {4, std::string("17\0Rock\0RX\0", 11), "Rock Remix"},
      {4,
       std::string("Trip-Hop\0"
                   "7",
                   10),
       "Trip-Hop Hip-Hop"},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Raw);
    const std::string ReportText = Report(ID3v2Tag(C.Version, ID3TextFrame("TCON", C.Raw, C.Version)));
    EXPECT_EQ(Line(ReportText, "Content type"), C.Expected);
  }
  const struct {
    uint8_t Index;
    const char* Name;
  } Genres[] = {{0, "Blues"},         {17, "Rock"},  {40, "Alternative Rock"}, {64, "Native US"},
                {79, "Hard Rock"},    {80, "Folk"},  {118, "Rhytmic Soul"},    {123, "Acapella"},
                {144, "Trash Metal"}, {146, "Jpop"}, {147, "Synthpop"},        {148, "Unknown"},
                {255, "Unknown"}};
  for (const auto& G : Genres) EXPECT_STREQ(GenreName(G.Index), G.Name) << static_cast<int>(G.Index);
  for (int I = 0; I <= kMaxGenreIndex; ++I) EXPECT_NE(GenreName(static_cast<uint8_t>(I)), nullptr) << I;
}

TEST_F(MP3Tags, TextEncodings) {
  const struct {
    uint8_t Encoding;
    std::string Bytes;
    std::string Expected;
  } Cases[] = {
      {0, "Caf\xe9", "Caf\xe9"},
      {1,
       std::string("\xFF\xFE"
                   "C\0a\0f\0\xE9\0",
                   10),
       "Caf\xe9"},
      {1, std::string("\xFE\xFF\0C\0a\0f\0\xE9", 10), "Caf\xe9"},
      {1,
       std::string("\xFF\xFE"
                   "d\0\0\0\xFE\xFF\0v",
                   10),
       std::string("d\0v", 3)},
      {1, std::string("x\0y\0", 4), "xy"},
      // Every string of a list may carry its own mark.
      {1,
       std::string("\xFF\xFE"
                   "a\0\0\0\xFE\xFF\0b\0\0\xFF\xFE"
                   "c\0",
                   16),
       std::string("a\0b\0c", 5)},
      {2, std::string("\0C\0a\0f\0\xE9\x20\xAC", 10), "Caf\xe9\x80"},
      {3,
       "Gr\xC3\xBC\xC3\x9F"
       "e \xE2\x82\xAC \xE4\xB8\xAD",
       "Gr\xfc\xdf"
       "e \x80 ?"},
      {3, std::string("a\0b", 3), std::string("a\0b", 3)},
      {5, "text", ""},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(static_cast<int>(C.Encoding));
    EXPECT_EQ(DecodeID3Text(C.Encoding, C.Bytes), C.Expected);
  }
  // Text frames and comments are reported in every encoding.
  const std::string Frames = ID3TextFrame("TIT2",
                                          std::string("\xFF\xFE"
                                                      "T\0\xE9\0",
                                                      6),
                                          3, 1) +
                             ID3TextFrame("TALB", std::string("\0A\0\xE9", 4), 3, 2) +
                             ID3TextFrame("TPE1", "Mot\xC3\xB6rhead", 3, 3) +
                             ID3TextFrame("TCON",
                                          std::string("\xFF\xFE(\0"
                                                      "1\0"
                                                      "7\0)\0R\0o\0c\0k\0",
                                                      18),
                                          3, 1) +
                             ID3Frame("COMM", std::string("\x03"
                                                          "eng"
                                                          "d\xC3\xA9\0t\xC3\xA9xt",
                                                          13));
  const std::string ReportText = Report(ID3v2Tag(3, Frames));
  EXPECT_EQ(Line(ReportText, "Title"), "T\xe9");
  EXPECT_EQ(Line(ReportText, "Album"), "A\xe9");
  EXPECT_EQ(Line(ReportText, "Lead performer(s)/Soloist(s)"), "Mot\xf6rhead");
  EXPECT_EQ(Line(ReportText, "Content type"), "Rock");
  EXPECT_NE(ReportText.find("Content descriptor: d\xe9\r\n\r\nt\xe9xt\r\n"), std::string::npos) << ReportText;
  // A version 2.4 content type in UTF-16 is split at its zero characters, each entry with its own mark;
  // an unknown encoding gives no value.
  const std::string V24 = ID3TextFrame("TCON",
                                       std::string("\xFF\xFE"
                                                   "1\0"
                                                   "7\0\0\0\xFF\xFE"
                                                   "R\0X\0",
                                                   14),
                                       4, 1) +
                          ID3TextFrame("TIT2", "Title", 4, 7);
  const std::string Report24 = Report(ID3v2Tag(4, V24));
  EXPECT_EQ(Line(Report24, "Content type"), "Rock Remix");
  EXPECT_EQ(Line(Report24, "Title"), "(none)");
}

TEST_F(MP3Tags, FrameAndTagFlags) {
  const std::string Plain("\0A\xFF\xE9z", 5);  // a 0xFF the writer must unsynchronise
  const struct {
    const char* What;
    std::string File;
    const char* Title;
  } Cases[] = {
      {"2.3 compressed", ID3v2Tag(3, ID3Frame("TIT2", Plain, 3, 0x80)), "(none)"},
      {"2.3 encrypted", ID3v2Tag(3, ID3Frame("TIT2", Plain, 3, 0x40)), "(none)"},
      {"2.4 compressed", ID3v2Tag(4, ID3Frame("TIT2", Plain, 4, 0x08)), "(none)"},
      {"2.4 encrypted", ID3v2Tag(4, ID3Frame("TIT2", Plain, 4, 0x04)), "(none)"},
      {"2.4 grouped", ID3v2Tag(4, ID3Frame("TIT2", "\x07" + Plain, 4, 0x40)), "A\xFF\xE9z"},
      {"2.4 data length", ID3v2Tag(4, ID3Frame("TIT2", SynchsafeBytes(5) + Plain, 4, 0x01)), "A\xFF\xE9z"},
      {"2.4 unsynchronised frame", ID3v2Tag(4, ID3Frame("TIT2", Unsynchronise(Plain), 4, 0x02)),
       "A\xFF\xE9z"},
      {"2.4 all of them",
       ID3v2Tag(4, ID3Frame("TIT2", "\x07" + SynchsafeBytes(5) + Unsynchronise(Plain), 4, 0x43)),
       "A\xFF\xE9z"},
      {"2.4 unsynchronised tag", ID3v2Tag(4, ID3Frame("TIT2", Unsynchronise(Plain), 4), 0x80), "A\xFF\xE9z"},
      {"2.3 unsynchronised tag", ID3v2Tag(3, Unsynchronise(ID3Frame("TIT2", Plain, 3)), 0x80), "A\xFF\xE9z"},
      {"2.3 extended header",
       ID3v2Tag(3, BigEndianBytes(6) + std::string(6, '\0') + ID3Frame("TIT2", Plain, 3), 0x40),
       "A\xFF\xE9z"},
      {"2.4 extended header",
       ID3v2Tag(4, SynchsafeBytes(6) + std::string("\x01\x00", 2) + ID3Frame("TIT2", Plain, 4), 0x40),
       "A\xFF\xE9z"},
      {"extended header past the tag",
       ID3v2Tag(3, BigEndianBytes(0xFFFFFFFF) + ID3Frame("TIT2", Plain), 0x40), "(none)"},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.What);
    const std::string ReportText = Report(C.File + ID3v1Tag("v1", "", "", "", "", 0));
    const std::size_t V1 = ReportText.find("*** ID3v1 Tag ***");
    ASSERT_NE(V1, std::string::npos);
    EXPECT_EQ(Line(ReportText.substr(0, V1), "Title"), C.Title);
  }
}

TEST_F(MP3Tags, HostileSizesKeepWhatWasRead) {
  const std::string Good = ID3TextFrame("TIT2", "Kept");
  const std::string V1 = ID3v1Tag("v1 title", "", "", "", "", 1);
  const struct {
    const char* What;
    std::string File;
  } Cases[] = {
      {"2.3 frame size -10 (would point back at itself)",
       ID3v2Tag(
           3, Good + "TALB" + BigEndianBytes(0xFFFFFFF6u) + std::string(2, '\0') + std::string("\0Lost", 5)) +
           V1},
      {"frame larger than the tag",
       ID3v2Tag(3, Good + "TALB" + BigEndianBytes(400) + std::string(2, '\0') + std::string("\0Lost", 5)) +
           AudioBytes(600) + V1},
      {"2.4 frame size bytes with their top bits set",
       ID3v2Tag(4, ID3TextFrame("TIT2", "Kept", 4) + "TALB" + std::string(4, '\xFF') + std::string(2, '\0') +
                       std::string("\0Lost", 5)) +
           V1},
      {"frame header cut short by the tag end", ID3v2Tag(3, Good + std::string("TALB\0\0", 6)) + V1},
      {"tag larger than the file", std::string("ID3\x03\0\0", 6) + SynchsafeBytes(100000) + Good + "TALB" +
                                       BigEndianBytes(9000) + std::string("\0\0\0Lost", 7) + V1},
      {"tag size bytes all 0xFF",
       std::string("ID3\x03\0\0\xFF\xFF\xFF\xFF", 10) + Good + std::string(10, '\0') + V1},
      {"identifier not a capital letter", ID3v2Tag(3, Good + ID3TextFrame("tALB", "Lost")) + V1},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.What);
    const std::string ReportText = Report(C.File);
    EXPECT_EQ(Line(ReportText, "Title"), "Kept");
    EXPECT_EQ(Line(ReportText, "Album"), "(none)");
    EXPECT_NE(ReportText.find("Title: v1 title\r\nGenre: Classic Rock\r\n"), std::string::npos) << ReportText;
  }
}

TEST_F(MP3Tags, DamagedLyrics3BlocksAreIgnored) {
  const std::string V1 = ID3v1Tag("Title", "", "", "", "", 2);
  const std::string Fields = Lyrics3v2Field("LYR", "words");
  const struct {
    const char* What;
    std::string Block;
    bool Lyrics;
  } Cases[] = {
      {"good", Lyrics3v2(Fields), true},
      {"size beyond the start of the file", "LYRICSBEGIN" + Fields + "999999LYRICS200", false},
      {"size with a letter", "LYRICSBEGIN" + Fields + "00001aLYRICS200", false},
      {"no begin marker", "LYRICSBEGIX" + Fields + "000024LYRICS200", false},
      {"field reaching past the block", Lyrics3v2(Fields + "LYR99999abc"), true},
      {"field size with a letter", Lyrics3v2("LYR0000xwords" + Fields), false},
      {"version 1 without a begin marker", "words LYRICSEND", false},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.What);
    const std::string ReportText = Report(AudioBytes(40) + C.Block + V1);
    EXPECT_EQ(Line(ReportText, "Genre"), "Country");
    EXPECT_EQ(ReportText.find("words") != std::string::npos, C.Lyrics) << ReportText;
  }
}

TEST_F(MP3Tags, FilesWithoutATag) {
  const std::string V22 =
      std::string("ID3\x02\0\0", 6) + SynchsafeBytes(10) + "TT2" + std::string("\0\0\x04\0Old", 7);
  EXPECT_EQ(Error(AudioBytes(1000)), kUnsupportedDataFormat);
  EXPECT_EQ(Error(""), kUnsupportedDataFormat);
  EXPECT_EQ(Error("ID3\x03"), kUnsupportedDataFormat);
  EXPECT_EQ(Error(V22 + AudioBytes(300)), kUnsupportedDataFormat);
  EXPECT_EQ(Report(V22 + ID3v1Tag("Only v1", "", "", "", "", 0))
                .rfind("*** ID3v1 Tag ***\r\n\r\nTitle: Only v1\r\n", 0),
            0u);
  EXPECT_EQ(Error(AudioBytes(1000), true), kUnsupportedDataFormat);
  // A tag with nothing in it is still a report.
  EXPECT_EQ(Report(ID3v2Tag(4, std::string(100, '\0'))), "*** ID3v2 Tag ***\r\n\r\n\r\n");
}

TEST_F(MP3Tags, ContentTest) {
  TTestFolder Folder;
  const struct {
    const char* Name;
    std::string Content;
    bool Mp3;
  } Cases[] = {
      {"v23.mp3", ID3v2Tag(3, "") + AudioBytes(10), true},
      {"v24.bin", ID3v2Tag(4, ""), true},
      {"v22.mp3", std::string("ID3\x02\0\0\0\0\0\0", 10) + AudioBytes(400), false},
      {"v1.mp3", AudioBytes(5) + ID3v1Tag("t", "", "", "", "", 0), true},
      {"v1-only.mp3", ID3v1Tag("t", "", "", "", "", 0), true},
      {"short.mp3", "ID3\x03", false},
      {"audio.mp3", AudioBytes(5000), false},
  };
  for (const auto& C : Cases) {
    EXPECT_EQ(IsMP3File(Folder.Write(C.Name, C.Content)), C.Mp3) << C.Name;
  }
  EXPECT_THROW(IsMP3File(Folder.Path + "/missing.mp3"), std::exception);
}

}  // namespace
