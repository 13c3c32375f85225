// The MP3 tag converter on real files (ID3v1, ID3v2.3 and 2.4, Lyrics3, truncated and odd tags), on
// damaged copies of them, and as imptag.so through the converter host: files, memory blocks, streams.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/FileLayer.h"
#include "core/VStream.h"
#include "plugins/ConverterExports.h"
#include "plugins/imptag/MP3Imp.h"
#include "search/QVConvIntf.h"
#include "search/StrmScan.h"
#include "tests/plugins/TestLibraries.h"
#include "tests/plugins/impcalc2/FixtureDamage.h"
#include "tests/plugins/impcalc2/OfficeTestSupport.h"
#include "tests/plugins/imptag/TagBuilder.h"
#include "tests/plugins/impwrite/ConverterAnswers.h"

#ifndef SCRYLINE_IMPTAG
#error "SCRYLINE_IMPTAG must name the MP3 tag converter library"
#endif

namespace {

std::string TagFixture(const std::string& Name) { return OfficeFixture("imptag", Name); }

std::string ConvertTags(const std::string& Path) {
  std::string Text;
  EXPECT_TRUE(ConvertMP3File(Path, false, nullptr, Text));
  return Text;
}

class TagFixtures : public TWesternCodePageTest {};

TEST_F(TagFixtures, ReportsOfRealFiles) {
  const struct {
    const char* File;
    std::vector<std::string> Lines;
  } Cases[] = {
      {"testMP3id3v1.mp3",
       {"*** ID3v1 Tag ***", "Title: Test Title", "Artist(s): Test Artist", "Album: Test Album", "Year: 2008",
        "Genre: Rock", "Comment: Test Comment"}},
      {"testMP3id3v1_v2.mp3",
       {"*** ID3v2 Tag ***", "Title: Test Title", "Lead performer(s)/Soloist(s): Test Artist",
        "Content type: Rock", "Content descriptor: ID3v1 Comment", "Test Comment", "*** ID3v1 Tag ***",
        "Year: 2008"}},
      // Title, artist, album and year in UTF-16 text frames, copyright and comment in ISO-8859-1.
      {"testMP3id3v2.mp3",
       {"Title: Test Title\r\n", "Lead performer(s)/Soloist(s): Test Artist\r\n", "Album: Test Album\r\n",
        "Year: 2008\r\n", "Content type: Rock\r\n", "Copyright message: Test Copyright",
        "Content descriptor: ID3v1 Comment", "Test Comment"}},
      // UTF-8 text frames.
      {"testMP3id3v24.mp3",
       {"Title: Test Title\r\n", "Lead performer(s)/Soloist(s): Test Artist\r\n", "Recording time: 2008\r\n",
        "Copyright message: Test Copyright", "Track number/Position in set: 3/12", "Test Comment"}},
      {"testMP3lyrics.mp3",
       {"Title: Test Title", "Album: Test Album", "Title: Encore", "Artist(s): DJ Danger Mouse",
        "Album: Grey Album", "Year: 2004", "Genre: Unknown"}},
      {"testMP3i18n.mp3",
       {"Title: Une chason en Fran\xe7"
        "ais",
        "Lead performer(s)/Soloist(s): Test Artist ??\r\n", "Content type: Rock",
        "Content descriptor: Comment Desc", "This is a ??? Comment"}},
      // The tag declares more bytes than the file holds: the frames before the cut are reported.
      {"testMP3truncated.mp3",
       {"Title: Girl you have no faith in medicine", "Lead performer(s)/Soloist(s): The White Stripes",
        "Album: Elephant", "Year: 2003"}},
      {"id3v1v2-combined.mp3",
       {"Title: cosmic american", "Lead performer(s)/Soloist(s): Anais Mitchell",
        "Track number/Position in set: 3/11", "Waterbug Records, www.anaismitchell.com",
        "Album: Hymns for the Exiled", "Year: 1337", "Comment: v1 comment"}},
      {"silence-44-s-v1.mp3",
       {"Album: Quod Libet Test Data", "Title: Silence", "Artist(s): piman", "Genre: Darkwave"}},
      {"id3v24_extended_header.id3",
       {"Title: One Second of Silence", "Lead performer(s)/Soloist(s): Snild Dolkow",
        "Album: Mutagen Bug Reports", "This is a comment!"}},
      {"bad-TYER-frame.mp3",
       {"Title: This track has an invalid TYER frame, that used to be able to break Mutagen",
        "Artist(s): From 1.01 To 1.02", "Album: Splitted by Mp3Splt v. 2.1",
        "Comment: http://mp3splt.sf.net"}},
      {"apev2-lyricsv2.mp3", {"Title: A song", "Artist(s): Auth", "Genre: House"}},
      {"lyrics3v1withID3v1.mp3",
       {"Title: TITLE1234567890123456789012345", "Comment: COMMENT123456789012345678901",
        "forget that this ugly tag exists in this universe"}},
      {"lyrics3v2withID3v1.mp3",
       {"Artist(s): ARTIST123456789012345678901234", "Album: ALBUM1234567890123456789012345"}},
      {"lyrics3v2withID3v1-invalid.mp3", {"Title: TITLE1234567890123456789012345", "Genre: Pop"}},
      // UTF-16 text frames beyond the code page: one "?" per character.
      {"id3v23unicodetags.mp3",
       {"Title: ??\r\n", "Lead performer(s)/Soloist(s): ???? ???\r\n", "Composer: ??????"}},
      // UTF-16 text frames in an unsynchronised tag.
      {"id3v23_unsynch.id3",
       {"Title: My babe just cares for me\r\n", "Lead performer(s)/Soloist(s): Nina Simone\r\n",
        "Album: 100% Jazz\r\n", "Length (ms): 216000\r\n", "Track number/Position in set: 03\r\n"}},
      // A content type holding only a byte-order mark: an empty report.
      {"testNakedUTF16BOM.mp3", {"*** ID3v2 Tag ***\r\n\r\n\r\n"}},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.File);
    const std::string Report = ConvertTags(TagFixture(C.File));
    for (const std::string& Line : C.Lines)
      EXPECT_NE(Report.find(Line), std::string::npos) << Line << "\n" << Report;
  }
}

TEST_F(TagFixtures, TextFramesInUtf16AndUtf8) {
  // Written by python3-mutagen (fixtures/make-unicode-tags.py). Version 2.3: every frame UTF-16 with a
  // byte-order mark. Version 2.4: UTF-16 with marks (a list of two, each with its mark), UTF-16 big-endian
  // and UTF-8 (a content-type list).
  EXPECT_EQ(ConvertTags(TagFixture("unicode-tags-v23.mp3")),
            "*** ID3v2 Tag ***\r\n\r\n"
            "Title: Caf\xe9 \xdc"
            "bersee\r\n"
            "Lead performer(s)/Soloist(s): Mot\xf6rhead\r\n"
            "Album: \x8elu?ou?k\xfd k??\r\n"
            "Content type: Rock Cr\xe8me\r\n"
            "User defined text information: Gr\xf6\xdf"
            "e=gro\xdf\r\n"
            "\r\n");
  EXPECT_EQ(ConvertTags(TagFixture("unicode-tags-v24.mp3")),
            "*** ID3v2 Tag ***\r\n\r\n"
            "Title: Caf\xe9 \xdc"
            "bersee\r\n"
            "Lead performer(s)/Soloist(s): Mot\xf6rhead\r\nBj\xf6rk\r\n"
            "Album: Se\xf1or \x80 Album\r\n"
            "Content type: Rock Cr\xe8me\r\n"
            "Composer: Dvo?\xe1k\r\n"
            "\r\n");
}

// Letters that the Windows code page lacks ("?" in the 8-bit report) are kept in the UTF-16 report;
// 8-bit values (an ISO-8859-1 frame) read the same in both forms.
TEST_F(TagFixtures, LettersBeyondTheCodePageComeAsUtf16) {
  std::string Text;
  ASSERT_TRUE(ConvertMP3File(TagFixture("unicode-tags-beyond-ansi.mp3"), true, nullptr, Text));
  ASSERT_EQ(Text.size() % 2, 0u);
  std::u16string Wide(Text.size() / 2, u'\0');
  std::memcpy(Wide.data(), Text.data(), Text.size());
  EXPECT_EQ(Wide,
            u"*** ID3v2 Tag ***\r\n\r\n"
            u"Title: Привет\r\n"
            u"Lead performer(s)/Soloist(s): Test Artist ⑨①\r\n"
            u"Album: Café\r\n"
            u"\r\n"
            u"Comments\r\n\r\n"
            u"Здравствуй, мир\r\n\r\n");
  EXPECT_EQ(ConvertTags(TagFixture("unicode-tags-beyond-ansi.mp3")),
            "*** ID3v2 Tag ***\r\n\r\n"
            "Title: ??????\r\n"
            "Lead performer(s)/Soloist(s): Test Artist ??\r\n"
            "Album: Caf\xe9\r\n"
            "\r\n"
            "Comments\r\n\r\n"
            "??????????, ???\r\n\r\n");

  // A Central European album in a UTF-8 frame of a 2.3 tag, and an ID3v1 tag in the Windows code page.
  ASSERT_TRUE(ConvertMP3File(TagFixture("unicode-tags-v23.mp3"), true, nullptr, Text));
  Wide.assign(Text.size() / 2, u'\0');
  std::memcpy(Wide.data(), Text.data(), Wide.size() * 2);
  EXPECT_NE(Wide.find(u"Album: Žluťoučký kůň\r\n"), std::u16string::npos);
  ASSERT_TRUE(ConvertMP3File(TagFixture("testMP3i18n.mp3"), true, nullptr, Text));
  Wide.assign(Text.size() / 2, u'\0');
  std::memcpy(Wide.data(), Text.data(), Wide.size() * 2);
  EXPECT_NE(Wide.find(u"Title: Une chason en Français"), std::u16string::npos);
}

TEST_F(TagFixtures, FilesWithoutAReadableTag) {
  // A tag at the very end with no ID3v1 block, a version 2.2 tag, and Lyrics3 without an ID3v1 tag behind it.
  for (const char* File : {"audacious-trailing-id32-id31.mp3", "id3v22-test.mp3", "lyrics3v1.mp3"}) {
    std::string Text;
    try {
      ConvertMP3File(TagFixture(File), false, nullptr, Text);
      ADD_FAILURE() << File << ": no error";
    } catch (const std::exception& E) {
      EXPECT_STREQ(E.what(), kUnsupportedDataFormat) << File;
    }
  }
}

TEST_F(TagFixtures, DamagedCopiesEndCleanly) {
  TTestFolder Folder;
  int Reported = 0, Failed = 0;
  for (const char* Name :
       {"testMP3id3v1.mp3", "testMP3id3v2.mp3", "testMP3id3v24.mp3", "testMP3id3v1_v2.mp3",
        "testMP3lyrics.mp3", "testMP3i18n.mp3", "testMP3truncated.mp3", "testNakedUTF16BOM.mp3",
        "id3v1v2-combined.mp3", "silence-44-s-v1.mp3", "apev2-lyricsv2.mp3", "id3v23_unsynch.id3",
        "id3v24_extended_header.id3", "bad-TYER-frame.mp3", "lyrics3v1withID3v1.mp3",
        "lyrics3v2withID3v1.mp3", "lyrics3v2withID3v1-invalid.mp3", "id3v23unicodetags.mp3"}) {
    ForEachDamagedCopy(ReadWholeFile(TagFixture(Name)), [&](const std::string& What, const std::string& Bad) {
      SCOPED_TRACE(std::string(Name) + ": " + What);
      std::string Text;
      try {
        ConvertMP3File(Folder.Write("damaged.mp3", Bad), false, nullptr, Text);
        ++Reported;
      } catch (const std::exception& E) {
        EXPECT_STREQ(E.what(), kUnsupportedDataFormat);
        ++Failed;
      }
      // The memory path reads the same bytes.
      std::string FromMemory;
      try {
        ConvertMP3Memory(Bad.data(), Bad.size(), false, nullptr, FromMemory);
      } catch (const std::exception&) {
      }
      EXPECT_EQ(FromMemory, Text);
    });
  }
  EXPECT_GT(Reported, 0);
  EXPECT_GT(Failed, 0);
}

// imptag.so loaded as the program loads it.
class TagHost : public TWesternCodePageTest {
 protected:
  void SetUp() override {
    TWesternCodePageTest::SetUp();
    ASSERT_EQ(Converters_.AddConverter(SCRYLINE_IMPTAG, false), kConverterLoaded)
        << Converters_.LastLoadError;
    Converter_ = Converters_.GetConverter(0);
  }
  TQVConverters Converters_;
  TQVConverter* Converter_ = nullptr;
  TTestFolder Folder_;
};

TEST_F(TagHost, AnswersOfTheLibrary) {
  ExpectConverterAnswers(
      *Converter_, {"Quorvane Library v.021010", 5378562, 31, "mp3", "MPEG ID3/Lyrics3 Tag (MP3)", false});
}

TEST_F(TagHost, ConvertsFilesMemoryAndStreams) {
  const std::string File = ReadWholeFile(TagFixture("testMP3id3v1.mp3"));
  std::string Error;
  TQVConverter* Who = nullptr;
  int32_t Size = -1;
  bool Unicode = false;
  // Native form: UTF-16, which holds every letter of any tag.
  TResultBlock Block = Converters_.ConvertFile(TagFixture("testMP3id3v1.mp3"), kUnicodeModeNative, "", Error,
                                               Who, Size, Unicode);
  ASSERT_NE(Block, nullptr) << Error;
  EXPECT_TRUE(Unicode);
  ASSERT_GE(Size, 40);
  EXPECT_EQ(std::string(static_cast<const char*>(Block.get()), 8), std::string("*\0*\0*\0 \0", 8));

  // 8-bit form on request.
  Block = Converters_.ConvertFile(TagFixture("testMP3id3v1.mp3"), kUnicodeModeAnsi, "", Error, Who, Size,
                                  Unicode);
  ASSERT_NE(Block, nullptr) << Error;
  EXPECT_FALSE(Unicode);
  const std::string Report(static_cast<const char*>(Block.get()), static_cast<std::size_t>(Size));
  EXPECT_EQ(Report.rfind("*** ID3v1 Tag ***\r\n\r\nTitle: Test Title\r\n", 0), 0u) << Report;
  EXPECT_EQ(static_cast<const char*>(Block.get())[Size], 0);

  // The same bytes as a memory block, directly and as an in-memory stream.
  Size = static_cast<int32_t>(File.size());
  Block = Converter_->ConvertMemory(File.data(), false, nullptr, Error, Size);
  ASSERT_NE(Block, nullptr) << Error;
  EXPECT_EQ(std::string(static_cast<const char*>(Block.get()), static_cast<std::size_t>(Size)), Report);
  TVReadOnlyMemStream Stream(File.data(), static_cast<int32_t>(File.size()));
  Block = Converters_.ConvertStream(Stream, "song.mp3", "", Error, Who, Size, Unicode, kUnicodeModeAnsi);
  ASSERT_NE(Block, nullptr) << Error;
  EXPECT_EQ(std::string(static_cast<const char*>(Block.get()), static_cast<std::size_t>(Size)), Report);

  // By content, when the name says nothing.
  const std::string Renamed = Folder_.Write("song.dat", File);
  EXPECT_TRUE(Converter_->IsFileSupported(Renamed));
  Block = Converters_.ConvertFile(Renamed, kUnicodeModeAnsi, "", Error, Who, Size, Unicode);
  EXPECT_NE(Block, nullptr) << Error;
  EXPECT_EQ(Who, Converter_);
}

TEST_F(TagHost, FailuresCarryTheirTexts) {
  std::string Error;
  int32_t Size = -1;
  const std::string Untagged = Folder_.Write("silence.mp3", AudioBytes(4000));
  TResultBlock Block = Converter_->ConvertFile(Untagged, false, nullptr, Error, Size);
  EXPECT_EQ(Block, nullptr);
  EXPECT_NE(Error.find("Unsupported data format"), std::string::npos) << Error;
  EXPECT_FALSE(Converter_->IsFileSupported(Untagged));

  // A conversion clears the text of the failure before it.
  Block = Converter_->ConvertFile(TagFixture("testMP3id3v1.mp3"), false, nullptr, Error, Size);
  EXPECT_NE(Block, nullptr);
  EXPECT_EQ(Converter_->GetErrorText(), "");

  EXPECT_FALSE(Converter_->IsFileSupported(Folder_.Path + "/missing.mp3"));
  EXPECT_FALSE(Converter_->GetErrorText().empty());
}

// The tags as the search sees them: the host's native form, scanned as the file scanner scans converted
// text. Cyrillic in a UTF-8 frame and circled digits in a UTF-16 frame were "?" in the 8-bit report, so
// no locale found them; the Western 8-bit album is found as before.
TEST_F(TagHost, EveryTagIsSearchable) {
  std::string Error;
  TQVConverter* Who = nullptr;
  int32_t Size = 0;
  bool Unicode = false;
  TResultBlock Block = Converters_.ConvertFile(TagFixture("unicode-tags-beyond-ansi.mp3"), kUnicodeModeNative,
                                               "", Error, Who, Size, Unicode);
  ASSERT_NE(Block, nullptr) << Error;
  ASSERT_TRUE(Unicode);
  TVReadOnlyMemStream Text(Block.get(), Size);
  TStreamScanner Scanner;
  Scanner.Stream = &Text;
  for (const std::u16string Pattern : {u"Привет", u"Test Artist ⑨①", u"café", u"здравствуй"}) {
    Scanner.SetPattern(Pattern);
    TScanEncoding Found = seFileName;
    EXPECT_EQ(Scanner.Find(kScanUnicode, Found), srFound) << Utf16ToUtf8(Pattern);
  }
}

}  // namespace
