#include "plugins/impcalc2/SharedStringTable.h"

#include <algorithm>

namespace {

constexpr uint8_t kWideChars = 0x01;
constexpr uint8_t kExtendedData = 0x04;
constexpr uint8_t kRichText = 0x08;
// A unique count with this bit set cannot be a real table.
constexpr uint32_t kBadCountBit = 1u << 28;

}  // namespace

const std::u16string& SharedStringTable::GetText(uint32_t Index) const {
  if (Index >= Strings_.size()) throw EBiffError("Shared string table is invalid");
  return Strings_[Index];
}

void SharedStringTable::Parse(MemoryReader& Reader) {
  Reader.U32();  // total count of references
  const uint32_t Unique = Reader.U32();
  if (Unique & kBadCountBit) throw EBiffError("Can't read shared string table: invalid table length");

  // Where each segment ends within the joined body, and the first of them at or after a position (the
  // positions only grow, so the search goes on from where it stopped).
  std::vector<std::size_t> Ends;
  std::size_t End = 0;
  for (uint16_t Length : Segments_) {
    End += Length;
    Ends.push_back(End);
  }
  const std::size_t BodyEnd = Reader.Position() + Reader.Left();
  std::size_t Next = 0;
  auto SegmentEnd = [&](std::size_t Position) {
    while (Next < Ends.size() && Ends[Next] < Position) ++Next;
    return Next < Ends.size() ? Ends[Next] : BodyEnd;
  };

  for (uint32_t I = 0; I < Unique; ++I) {
    // A string header is count (2), flags (1), rich-run count (2) when rich, extended size (4) when
    // extended; a body that ends before a whole header ends the table.
    if (Reader.Left() < 3) return;
    const uint16_t Count = Reader.U16();
    uint8_t Flags = Reader.U8();
    uint16_t Runs = 0;
    uint32_t Extended = 0;
    if (Flags & kRichText) {
      if (Reader.Left() < 2) return;
      Runs = Reader.U16();
    }
    if (Flags & kExtendedData) {
      if (Reader.Left() < 4) return;
      Extended = Reader.U32();
    }
    std::u16string Text;
    Text.reserve(Count);
    bool Wide = Flags & kWideChars;
    while (Text.size() < Count) {
      if (Reader.Left() == 0) {
        Strings_.push_back(std::move(Text));
        return;
      }
      // A segment that starts inside the characters (or right at their start) opens with its own flags
      // byte.
      const std::size_t Segment = SegmentEnd(Reader.Position());
      if (Segment == Reader.Position()) {
        Wide = Reader.U8() & kWideChars;
        continue;
      }
      const std::size_t Room = Segment - Reader.Position();
      const std::size_t Width = Wide ? 2 : 1;
      std::size_t N = std::min<std::size_t>(Count - Text.size(), Room / Width);
      if (N == 0) {
        // One byte left of a segment that holds 2-byte characters: damage; take the byte as it is.
        Text += static_cast<char16_t>(Reader.U8());
        continue;
      }
      const uint8_t* P = Reader.Data() + Reader.Position();
      // Characters of 1 byte are the first 256 code points (their high byte is zero).
      for (std::size_t K = 0; K < N; ++K) {
        Text += Wide ? static_cast<char16_t>(P[2 * K] | (P[2 * K + 1] << 8)) : static_cast<char16_t>(P[K]);
      }
      Reader.Skip(N * Width);
    }
    Strings_.push_back(std::move(Text));
    // The rich-text runs (4 bytes each) and the extended data follow the characters.
    const std::size_t Trailer = static_cast<std::size_t>(Runs) * 4 + Extended;
    if (Trailer > Reader.Left()) return;
    Reader.Skip(Trailer);
  }
}
