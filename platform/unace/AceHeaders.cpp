#include "platform/unace/AceHeaders.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace {

// A block starts with its header CRC and its header size (the bytes after these four).
constexpr size_t kBlockPrefix = 4;
const char kMark[] = "**ACE**";
constexpr size_t kMarkSize = 7;
constexpr size_t kMarkOffset = 7;  // of the mark in the main header block

// Made once, on first use, by whichever thread comes first: ACE archives opened on two threads at once never
// see a half-made table.
const uint32_t* CrcTable() {
  static const std::array<uint32_t, 256> Table = [] {
    std::array<uint32_t, 256> T{};
    for (uint32_t I = 0; I < 256; ++I) {
      uint32_t R = I;
      for (int J = 0; J < 8; ++J) R = (R & 1) ? (R >> 1) ^ 0xEDB88320u : R >> 1;
      T[I] = R;
    }
    return T;
  }();
  return Table.data();
}

}  // namespace

uint32_t AceCrc32(uint32_t Crc, const uint8_t* Data, size_t N) {
  const uint32_t* T = CrcTable();
  for (size_t I = 0; I < N; ++I) Crc = T[(Crc ^ Data[I]) & 0xFF] ^ (Crc >> 8);
  return Crc;
}

bool TAceCursor::U8(uint8_t& V) {
  if (Left_ < 1) return false;
  V = P_[0];
  ++P_;
  --Left_;
  return true;
}
bool TAceCursor::U16(uint16_t& V) {
  if (Left_ < 2) return false;
  V = static_cast<uint16_t>(P_[0] | (P_[1] << 8));
  P_ += 2;
  Left_ -= 2;
  return true;
}
bool TAceCursor::U32(uint32_t& V) {
  if (Left_ < 4) return false;
  V = 0;
  for (int I = 3; I >= 0; --I) V = (V << 8) | P_[I];
  P_ += 4;
  Left_ -= 4;
  return true;
}
bool TAceCursor::U64(uint64_t& V) {
  uint32_t Lo, Hi;
  if (Left_ < 8 || !U32(Lo) || !U32(Hi)) return false;
  V = (static_cast<uint64_t>(Hi) << 32) | Lo;
  return true;
}
bool TAceCursor::Bytes(size_t N, std::string& Out) {
  if (Left_ < N) return false;
  Out.assign(reinterpret_cast<const char*>(P_), N);
  P_ += N;
  Left_ -= N;
  return true;
}
bool TAceCursor::Skip(size_t N) {
  if (Left_ < N) return false;
  P_ += N;
  Left_ -= N;
  return true;
}

bool AceParseHeader(const uint8_t* Data, size_t Size, TAceBlock& B) {
  TAceCursor C(Data, Size);
  if (!C.U8(B.Type) || !C.U16(B.Flags)) return false;
  B.DataSize = 0;
  if (B.Type == kAceBlockMain) {
    std::string Mark;
    TAceMainHeader& M = B.Main;
    M.Flags = B.Flags;
    if (!C.Bytes(kMarkSize, Mark) || Mark != kMark) return false;
    return C.U8(M.VersionToExtract) && C.U8(M.VersionCreated) && C.U8(M.Host) && C.U8(M.Volume) &&
           C.U32(M.Time);
  }
  if (B.Type == kAceBlockFile || B.Type == kAceBlockFile64) {
    TAceFileHeader& F = B.File;
    F.Flags = B.Flags;
    if (!(B.Flags & kAceFlagAddSize)) return false;
    if (B.Flags & kAceFlag64Bit) {
      if (!C.U64(F.PackedSize) || !C.U64(F.Size)) return false;
    } else {
      uint32_t Packed, Plain;
      if (!C.U32(Packed) || !C.U32(Plain)) return false;
      F.PackedSize = Packed;
      F.Size = Plain;
    }
    uint16_t Reserved, NameSize;
    if (!C.U32(F.Time) || !C.U32(F.Attributes) || !C.U32(F.Crc) || !C.U8(F.Method) || !C.U8(F.Quality) ||
        !C.U16(F.Params) || !C.U16(Reserved) || !C.U16(NameSize) || !C.Bytes(NameSize, F.Name))
      return false;
    // A name ends at its first NUL.
    const size_t Nul = F.Name.find('\0');
    if (Nul != std::string::npos) F.Name.resize(Nul);
    B.DataSize = F.PackedSize;
    return true;
  }
  // Other blocks (recovery records) are skipped with their extra data.
  if (B.Flags & kAceFlagAddSize) {
    if (B.Flags & kAceFlag64Bit) return C.U64(B.DataSize);
    uint32_t Add;
    if (!C.U32(Add)) return false;
    B.DataSize = Add;
  }
  return true;
}

TAceBlockResult AceReadBlock(TAceVolumeReader& In, uint64_t Offset, TAceBlock& B) {
  const uint64_t Size = In.Size();
  if (Offset >= Size) return TAceBlockResult::End;
  uint8_t Prefix[kBlockPrefix];
  if (Size - Offset < kBlockPrefix || In.ReadAt(Offset, Prefix, kBlockPrefix) != kBlockPrefix)
    return TAceBlockResult::Truncated;
  const uint16_t Crc = static_cast<uint16_t>(Prefix[0] | (Prefix[1] << 8));
  const size_t HeaderSize = static_cast<size_t>(Prefix[2] | (Prefix[3] << 8));
  if (Size - Offset - kBlockPrefix < HeaderSize) return TAceBlockResult::Truncated;
  std::vector<uint8_t> Header(HeaderSize);
  if (HeaderSize > 0 && In.ReadAt(Offset + kBlockPrefix, Header.data(), HeaderSize) != HeaderSize)
    return TAceBlockResult::Truncated;
  if ((AceCrc32(kAceCrcStart, Header.data(), HeaderSize) & 0xFFFF) != Crc) return TAceBlockResult::BadCrc;
  B = TAceBlock();
  B.HeaderOffset = Offset;
  B.DataOffset = Offset + kBlockPrefix + HeaderSize;
  if (!AceParseHeader(Header.data(), HeaderSize, B)) return TAceBlockResult::Malformed;
  return TAceBlockResult::Ok;
}

bool AceFindMainHeader(TAceVolumeReader& In, uint64_t SearchLimit, TAceBlock& Main) {
  const size_t Window =
      static_cast<size_t>(std::min<uint64_t>(In.Size(), SearchLimit + kMarkOffset + kMarkSize));
  std::vector<uint8_t> Buf(Window);
  const size_t Got = In.ReadAt(0, Buf.data(), Window);
  for (size_t I = kMarkOffset; I + kMarkSize <= Got; ++I) {
    if (std::memcmp(&Buf[I], kMark, kMarkSize) != 0) continue;
    if (AceReadBlock(In, I - kMarkOffset, Main) == TAceBlockResult::Ok && Main.Type == kAceBlockMain)
      return true;
  }
  return false;
}
