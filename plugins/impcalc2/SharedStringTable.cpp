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
  if (Index >= strings_.size()) throw EBiffError("Shared string table is invalid");
  return strings_[Index];
}

void SharedStringTable::Parse(MemoryReader& Reader) {
  Reader.U32();  // total count of references
  const uint32_t unique = Reader.U32();
  if (unique & kBadCountBit) throw EBiffError("Can't read shared string table: invalid table length");

  // Where each segment ends within the joined body, and the first of them at or after a position (the
  // positions only grow, so the search goes on from where it stopped).
  std::vector<std::size_t> ends;
  std::size_t end = 0;
  for (uint16_t length : segments_) {
    end += length;
    ends.push_back(end);
  }
  const std::size_t body_end = Reader.Position() + Reader.Left();
  std::size_t next = 0;
  auto segment_end = [&](std::size_t Position) {
    while (next < ends.size() && ends[next] < Position) ++next;
    return next < ends.size() ? ends[next] : body_end;
  };

  for (uint32_t i = 0; i < unique; ++i) {
    // A string header is count (2), flags (1), rich-run count (2) when rich, extended size (4) when
    // extended; a body that ends before a whole header ends the table.
    if (Reader.Left() < 3) return;
    const uint16_t count = Reader.U16();
    uint8_t flags = Reader.U8();
    uint16_t runs = 0;
    uint32_t extended = 0;
    if (flags & kRichText) {
      if (Reader.Left() < 2) return;
      runs = Reader.U16();
    }
    if (flags & kExtendedData) {
      if (Reader.Left() < 4) return;
      extended = Reader.U32();
    }
    std::u16string text;
    text.reserve(count);
    bool wide = flags & kWideChars;
    while (text.size() < count) {
      if (Reader.Left() == 0) {
        strings_.push_back(std::move(text));
        return;
      }
      // A segment that starts inside the characters (or right at their start) opens with its own flags
      // byte.
      const std::size_t segment = segment_end(Reader.Position());
      if (segment == Reader.Position()) {
        wide = Reader.U8() & kWideChars;
        continue;
      }
      const std::size_t room = segment - Reader.Position();
      const std::size_t width = wide ? 2 : 1;
      std::size_t n = std::min<std::size_t>(count - text.size(), room / width);
      if (n == 0) {
        // One byte left of a segment that holds 2-byte characters: damage; take the byte as it is.
        text += static_cast<char16_t>(Reader.U8());
        continue;
      }
      const uint8_t* p = Reader.Data() + Reader.Position();
      // Characters of 1 byte are the first 256 code points (their high byte is zero).
      for (std::size_t k = 0; k < n; ++k) {
        text += wide ? static_cast<char16_t>(p[2 * k] | (p[2 * k + 1] << 8)) : static_cast<char16_t>(p[k]);
      }
      Reader.Skip(n * width);
    }
    strings_.push_back(std::move(text));
    // The rich-text runs (4 bytes each) and the extended data follow the characters.
    const std::size_t trailer = static_cast<std::size_t>(runs) * 4 + extended;
    if (trailer > Reader.Left()) return;
    Reader.Skip(trailer);
  }
}
