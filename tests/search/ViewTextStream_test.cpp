#include "search/ViewTextStream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/VStream.h"

namespace {

std::string Utf16Bytes(const std::u16string& W) {
  return std::string(reinterpret_cast<const char*>(W.data()), W.size() * 2);
}

std::u16string FromUtf16Bytes(const std::string& B) {
  std::u16string W(B.size() / 2, u'\0');
  for (size_t I = 0; I < W.size(); ++I) {
    W[I] = static_cast<char16_t>(static_cast<uint8_t>(B[2 * I]) | static_cast<uint8_t>(B[2 * I + 1]) << 8);
  }
  return W;
}

void Fill(TVMemStream& S, const std::string& Bytes) {
  S.SetSize(0);
  S.Write(Bytes.data(), static_cast<int32_t>(Bytes.size()));
  S.Seek(0);
}

// A bound on the pieces one text gives, so that a reader that stops moving fails instead of hanging.
constexpr size_t kMaxPieces = 100000;

struct TPiece {
  std::string Text;  // bytes as handed out (UTF-16LE bytes in the decoding encodings)
  bool Cut;
  bool operator==(const TPiece& O) const { return Text == O.Text && Cut == O.Cut; }
};

std::vector<TPiece> ReadForward(TViewTextStream& R) {
  std::vector<TPiece> Pieces;
  R.GoToStart();
  std::string Line;
  while (!R.Eof() && Pieces.size() < kMaxPieces) {
    R.ReadLine(Line);
    Pieces.push_back({Line, R.GetLineCut()});
  }
  return Pieces;
}

// From the end (the start of a last line without a break), read a line, return to its start and step
// back one line: the pieces come out in reverse order.
std::vector<TPiece> ReadBackward(TViewTextStream& R) {
  std::vector<TPiece> Pieces;
  R.GoToEnd();
  std::string Line;
  bool Step = R.Eof();
  while ((Step ? R.GetPosition() > 0 : true) && Pieces.size() < kMaxPieces) {
    if (Step) R.PrevLine();
    Step = true;
    const int32_t Start = R.GetPosition();
    R.ReadLine(Line);
    Pieces.push_back({Line, R.GetLineCut()});
    R.SetPosition(Start);
  }
  return {Pieces.rbegin(), Pieces.rend()};
}

std::vector<std::string> Texts(const std::vector<TPiece>& Pieces) {
  std::vector<std::string> T;
  for (const auto& P : Pieces) T.push_back(P.Text);
  return T;
}

TEST(ViewTextStream, BreaksOfEveryKindForwardAndBackward) {
  struct TCase {
    const char* Name;
    std::string Text;
    std::vector<std::string> Lines;
  } Cases[] = {
      {"cr lf, lone cr, lf", "a\r\nb\rc\n", {"a", "b", "c"}},
      {"empty lines", "\n\r\n\rx\n", {"", "", "", "x"}},
      {"no final break", "one\ntwo", {"one", "two"}},
      {"final cr", "a\nb\r", {"a", "b"}},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    TVMemStream S;
    Fill(S, C.Text);
    TViewTextStream R(&S, 512);
    EXPECT_EQ(Texts(ReadForward(R)), C.Lines);
    EXPECT_TRUE(R.Eof());
    EXPECT_EQ(Texts(ReadBackward(R)), C.Lines);
  }
}

TEST(ViewTextStream, BreaksInUtf16AreWholeUnits) {
  // U+0A41 has 0x0A as its high byte and U+0D0A both bytes of a CR LF pair at an odd offset: neither
  // is a break.
  const std::u16string Text = u"x\u0A41y\u0D0A\r\nb\rc\n";
  TVMemStream S;
  Fill(S, Utf16Bytes(Text));
  TViewTextStream R(&S, 512);
  R.SetEncoding(TViewTextStream::kEncodingUtf16);
  const std::vector<std::string> Expected = {Utf16Bytes(u"x\u0A41y\u0D0A"), Utf16Bytes(u"b"),
                                             Utf16Bytes(u"c")};
  EXPECT_EQ(Texts(ReadForward(R)), Expected);
  EXPECT_EQ(Texts(ReadBackward(R)), Expected);
}

// A 1,200-character line at a multiple of the limit comes out as 512 + 512 + 176 characters, forwards
// and backwards, in every encoding; LineBytes follows the encoding.
TEST(ViewTextStream, LongLineComesOutInPiecesInEveryEncoding) {
  std::u16string Long;
  for (int I = 0; I < 1200; ++I) Long += static_cast<char16_t>(u'a' + I % 26);
  const std::u16string Text = Long + u"\r\nend\r\n";
  auto Narrow = [](const std::u16string& W) { return std::string(W.begin(), W.end()); };

  struct TCase {
    const char* Name;
    uint8_t Encoding;
    std::string Bytes;
    int32_t LineBytes;
  } Cases[] = {
      {"ansi", TViewTextStream::kEncodingBytes, Narrow(Text), 512},
      {"utf-8", TViewTextStream::kEncodingUtf8, Narrow(Text), 512},
      {"utf-16", TViewTextStream::kEncodingUtf16, Utf16Bytes(Text), 1024},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    TVMemStream S;
    Fill(S, C.Bytes);
    TViewTextStream R(&S, 512);
    R.SetEncoding(C.Encoding);
    EXPECT_EQ(R.GetLineBytes(), C.LineBytes);
    auto Out = [&](const std::u16string& W) {
      return C.Encoding == TViewTextStream::kEncodingBytes ? Narrow(W) : Utf16Bytes(W);
    };
    const std::vector<TPiece> Expected = {{Out(Long.substr(0, 512)), true},
                                          {Out(Long.substr(512, 512)), true},
                                          {Out(Long.substr(1024)), false},
                                          {Out(u"end"), false}};
    EXPECT_EQ(ReadForward(R), Expected);
    EXPECT_EQ(ReadBackward(R), Expected);
  }
}

TEST(ViewTextStream, UtfEightKeepsTheRawBytesBesideTheDecodedLine) {
  TVMemStream S;
  Fill(S,
       "gr\xC3\xBC\xC3\x9F"
       "e\n");
  TViewTextStream R(&S, 80);
  R.SetEncoding(TViewTextStream::kEncodingUtf8);
  std::string Line;
  R.ReadLine(Line);
  EXPECT_EQ(FromUtf16Bytes(Line), u"grüße");
  EXPECT_EQ(R.GetRawLine(),
            "gr\xC3\xBC\xC3\x9F"
            "e");
}

// After the first piece, pieces end on multiples of the limit counted from the stream start, so that a
// backward step finds the same pieces as a forward read.
TEST(ViewTextStream, LaterPiecesAlignToMultiplesOfTheLimit) {
  const std::string Long(300, 'x');
  TVMemStream S;
  Fill(S, "head\n" + Long + "\n");
  TViewTextStream R(&S, 100);
  const std::vector<TPiece> Expected = {{"head", false},
                                        {std::string(100, 'x'), true},  // 5..105
                                        {std::string(95, 'x'), true},   // 105..200
                                        {std::string(100, 'x'), true},  // 200..300
                                        {std::string(5, 'x'), false}};  // 300..305
  EXPECT_EQ(ReadForward(R), Expected);
  EXPECT_EQ(ReadBackward(R), Expected);

  // A position inside the third piece goes back to its start, with the reader inside the long line.
  R.SetPosition(250);
  EXPECT_EQ(R.GetPosition(), 200);
  EXPECT_TRUE(R.GetLineCut());
}

TEST(ViewTextStream, CrLfSplitAtTheLimitGivesAnEmptyContinuation) {
  TVMemStream S;
  Fill(S, std::string(9, 'x') + "\r\nz");
  TViewTextStream R(&S, 10);
  const std::vector<TPiece> Expected = {{std::string(9, 'x'), true}, {"", false}, {"z", true}};
  EXPECT_EQ(ReadForward(R), Expected);
}

TEST(ViewTextStream, SetPositionGoesToTheLineStartAndStopsAtTheEnd) {
  TVMemStream S;
  Fill(S, "first\nsecond\n");
  TViewTextStream R(&S, 512);
  R.SetPosition(9);
  EXPECT_EQ(R.GetPosition(), 6);
  EXPECT_FALSE(R.GetLineCut());
  std::string Line;
  R.ReadLine(Line);
  EXPECT_EQ(Line, "second");

  R.SetPosition(1000);
  EXPECT_EQ(R.GetPosition(), 13);
  EXPECT_TRUE(R.Eof());
  R.SetPosition(-5);
  EXPECT_EQ(R.GetPosition(), 0);

  EXPECT_TRUE(R.LinesForward(5));
  EXPECT_TRUE(R.Eof());
  EXPECT_TRUE(R.LinesBack(1));
  EXPECT_EQ(R.GetPosition(), 6);
  EXPECT_TRUE(R.LinesBack(9));
  EXPECT_EQ(R.GetPosition(), 0);
  EXPECT_FALSE(R.LinesBack(1));
}

TEST(ViewTextStream, OddSizedUtf16StreamIgnoresTheExtraByte) {
  TVMemStream S;
  Fill(S, Utf16Bytes(u"ab") + "\x41");
  TViewTextStream R(&S, 512);
  R.SetEncoding(TViewTextStream::kEncodingUtf16);
  std::string Line;
  R.ReadLine(Line);
  EXPECT_EQ(Line, Utf16Bytes(u"ab"));
  EXPECT_TRUE(R.Eof());
  // The half character is no part of the text: the end is the last whole character.
  EXPECT_EQ(R.GetPosition(), 4);
}

// The line starts that paging down passes, and those that paging up (PrevLine from the end of the forward
// read) passes, in ascending order.
std::pair<std::vector<int32_t>, std::vector<int32_t>> PageDownAndUp(TViewTextStream& R) {
  std::vector<int32_t> Down, Up;
  std::string Line;
  R.GoToStart();
  while (!R.Eof() && Down.size() < kMaxPieces) {
    Down.push_back(R.GetPosition());
    R.ReadLine(Line);
  }
  while (R.GetPosition() > 0 && Up.size() < kMaxPieces) {
    R.PrevLine();
    Up.insert(Up.begin(), R.GetPosition());
  }
  return {Down, Up};
}

// A UTF-16 stream of odd size ends in half a character. Paging down read it as a line of its own (an empty
// piece at the odd offset), paging up stepped over it: the two directions showed different lines. The
// half character now belongs to no line, and both directions stop at the same starts.
TEST(ViewTextStream, OddSizedUtf16StreamPagesTheSameLinesBothWays) {
  struct TCase {
    const char* Name;
    std::u16string Text;
    int32_t Limit;
    std::vector<int32_t> Starts;
    int32_t End;  // where GoToEnd goes: the start of the piece that holds the last whole character
  } Cases[] = {
      {"long line, limit 1", u"abcd", 1, {0, 2, 4, 6}, 8}, {"long line, limit 2", u"abcde", 2, {0, 4, 8}, 8},
      {"line fills the limit", u"ab", 2, {0}, 4},          {"final break", u"a\nb\r\n", 512, {0, 4}, 10},
      {"final lone cr", u"a\nb\r", 512, {0, 4}, 4},        {"no final break", u"a\nbc", 512, {0, 4}, 4},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    TVMemStream S;
    Fill(S, Utf16Bytes(C.Text) + "\x42");
    TViewTextStream R(&S, C.Limit);
    R.SetEncoding(TViewTextStream::kEncodingUtf16);
    const auto [Down, Up] = PageDownAndUp(R);
    EXPECT_EQ(Down, C.Starts);
    EXPECT_EQ(Up, C.Starts);
    R.GoToEnd();
    EXPECT_EQ(R.GetPosition(), C.End);
    EXPECT_EQ(R.Eof(), C.End == static_cast<int32_t>(C.Text.size() * 2));
  }
}

// An odd offset in UTF-16 lies inside a character: on a line break it belongs to the line that the break
// ends, the way an offset on the LF of a CR LF does in 8-bit text. It used to move to the next line.
TEST(ViewTextStream, Utf16OddPositionInsideABreakStaysOnItsLine) {
  TVMemStream S;
  Fill(S, Utf16Bytes(u"ab\r\ncd\nef"));
  TViewTextStream R(&S, 512);
  R.SetEncoding(TViewTextStream::kEncodingUtf16);
  const struct {
    int32_t At, LineStart;
  } Cases[] = {{5, 0}, {6, 0}, {7, 0}, {8, 8}, {9, 8}, {13, 8}, {14, 14}, {15, 14}, {17, 14}};
  for (const auto& C : Cases) {
    R.SetPosition(C.At);
    EXPECT_EQ(R.GetPosition(), C.LineStart) << "at " << C.At;
  }
  // The same through a change of encoding: an odd byte position re-aligns to the line that holds it.
  TViewTextStream B(&S, 512);
  B.SetPosition(7);
  B.SetEncoding(TViewTextStream::kEncodingUtf16);
  EXPECT_EQ(B.GetPosition(), 0);
}

TEST(ViewTextStream, RefusesALimitOutOfRange) {
  TVMemStream S;
  for (int32_t Limit : {0, -1, TViewTextStream::kMaxLineLength + 1}) {
    EXPECT_THROW(TViewTextStream(&S, Limit), EViewTextStream) << Limit;
  }
  TViewTextStream Widest(&S, TViewTextStream::kMaxLineLength);
  Widest.SetEncoding(TViewTextStream::kEncodingUtf16);
  EXPECT_EQ(Widest.GetLineBytes(), 2 * TViewTextStream::kMaxLineLength);
}

// Replacing a stream the reader owns deletes it (the leak checker of the test build sees a leak
// otherwise); the new stream is borrowed.
TEST(ViewTextStream, ReplacingAnOwnedStreamDeletesIt) {
  TVMemStream Borrowed;
  Fill(Borrowed, "b\n");
  TViewTextStream R(nullptr, 16);
  auto* Owned = new TVMemStream;
  Fill(*Owned, "a\n");
  R.SetStream(Owned);
  R.OwnsStream = true;
  R.SetStream(&Borrowed);
  EXPECT_FALSE(R.OwnsStream);
  std::string Line;
  R.ReadLine(Line);
  EXPECT_EQ(Line, "b");
}

}  // namespace

namespace {

// Random texts of short lines, line breaks of every kind and long runs, read with small limits: reading
// backwards must give exactly the pieces of the forward read, and the forward read must reach the end.
TEST(ViewTextStream, BackwardReadMatchesForwardReadOnRandomTexts) {
  uint32_t Seed = 12345;
  auto Next = [&Seed](uint32_t N) {
    Seed = Seed * 1103515245u + 12345u;
    return (Seed >> 16) % N;
  };
  const char16_t Units[] = {u'a', u'b', u'\r', u'\n', u'\u0A41', u'\u0D0A', u'\r', u'\n'};
  for (int Round = 0; Round < 300; ++Round) {
    const bool Wide = Round % 2 == 1;
    const int32_t Limit = 1 + static_cast<int32_t>(Next(9));
    std::u16string Text;
    const uint32_t Length = Next(120);
    for (uint32_t I = 0; I < Length; ++I) Text += Units[Next(Wide ? 8 : 4)];
    std::string Bytes = Wide ? Utf16Bytes(Text) : std::string(Text.begin(), Text.end());
    if (Wide && Next(4) == 0) Bytes += 'x';  // an odd-sized stream
    SCOPED_TRACE(testing::Message() << "round " << Round << ", limit " << Limit);

    TVMemStream S;
    Fill(S, Bytes);
    TViewTextStream R(&S, Limit);
    if (Wide) R.SetEncoding(TViewTextStream::kEncodingUtf16);
    const std::vector<TPiece> Forward = ReadForward(R);
    EXPECT_TRUE(R.Eof());
    for (const auto& P : Forward) EXPECT_LE(static_cast<int32_t>(P.Text.size()), R.GetLineBytes());
    EXPECT_EQ(ReadBackward(R), Forward);
    const auto [Down, Up] = PageDownAndUp(R);
    EXPECT_EQ(Up, Down);
  }
}

}  // namespace
