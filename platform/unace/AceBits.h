// The bit-level layer of the ACE decompressor: where compressed bytes come from (TAceSource), the bit
// reader over them, and the Huffman tables the compressed blocks carry. Knows nothing of archives.
//
// Compressed data is read as little-endian 32-bit words whose bits are taken most significant first.
// What is checked: a read past the end of the data (beyond one word of zero padding) fails; a code
// length table whose codes overflow their table fails; a unary run longer than kMaxUnaryRun fails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// Damaged or truncated compressed data; the text says which check failed.
class TAceDataError : public std::runtime_error {
 public:
  explicit TAceDataError(const std::string& What) : std::runtime_error(What) {}
};

// Where compressed bytes come from. Read answers how many bytes it put into Buf (0: no more data).
class TAceSource {
 public:
  virtual ~TAceSource() = default;
  virtual size_t Read(uint8_t* Buf, size_t N) = 0;
};

// A source over bytes in memory (tests, fuzzing); Data must outlive it.
class TAceMemorySource : public TAceSource {
 public:
  TAceMemorySource(const uint8_t* Data, size_t Size) : Data_(Data), Left_(Size) {}
  size_t Read(uint8_t* Buf, size_t N) override;

 private:
  const uint8_t* Data_;
  size_t Left_;
};

class TAceBitReader {
 public:
  explicit TAceBitReader(TAceSource& In) : In_(In) {}

  // Peeks at up to 32 bits without consuming them (zeros beyond the data).
  uint32_t Peek(int N) {
    if (Count_ < N) Fill();
    return N == 0 ? 0 : static_cast<uint32_t>(Bits_ >> (64 - N));
  }
  void Skip(int N) {
    if (Count_ < N) Fill();
    Bits_ <<= N;
    Count_ -= N;
  }
  uint32_t Read(int N) {
    const uint32_t V = Peek(N);
    Skip(N);
    return V;
  }
  // A Golomb-Rice code: RBits low bits, then a unary count of 1 bits ended by a 0 bit.
  uint64_t ReadGolombRice(int RBits);
  int64_t ReadGolombRiceSigned(int RBits);
  // An unsigned number of a known width whose top bit is not stored (it is always 1).
  uint32_t ReadKnownWidth(int Width);

  // The longest unary run a Golomb-Rice code may have.
  static constexpr uint32_t kMaxUnaryRun = 1u << 20;

 private:
  void Fill();

  TAceSource& In_;
  uint64_t Bits_ = 0;  // Count valid bits, top-aligned
  int Count_ = 0;
  int PadWords_ = 0;  // zero words supplied after the data ended
  uint8_t Buf_[1 << 15];
  size_t BufPos_ = 0, BufLen_ = 0;
  bool Ended_ = false;
};

// A Huffman table read from the stream: Codes maps every MaxWidth-bit prefix to its symbol.
class TAceHuffman {
 public:
  // Reads a table of up to NumCodes symbols whose codes are at most MaxWidth bits long.
  void ReadTable(TAceBitReader& Bits, int MaxWidth, int NumCodes);
  int Decode(TAceBitReader& Bits) const {
    const uint16_t Symbol = Codes_[Bits.Peek(MaxWidth_)];
    Bits.Skip(Widths_[Symbol]);
    return Symbol;
  }

  // Widths of the widths: 7-bit table, widths of at most 15 bits.
  static constexpr int kMaxWidthOfWidths = 7;
  static constexpr int kMaxStoredWidth = 15;

 private:
  int MaxWidth_ = 0;
  std::vector<uint16_t> Codes_;
  std::vector<uint8_t> Widths_;
};

// Builds the code table of Count symbols from their widths (0: unused), shortest codes first and equal
// widths in the order the format's sort gives them. Widths may be changed (a single used symbol gets
// width 1). Fails when a width exceeds MaxWidth or the codes overflow the table.
void AceMakeCodes(int MaxWidth, int Count, std::vector<uint8_t>& Widths, std::vector<uint16_t>& Codes);
