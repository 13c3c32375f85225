// A small compound-file writer for tests: it lays out named streams in a version 3 (512-byte sectors) or
// version 4 (4096-byte sectors) file, small streams in the mini stream, and tells where it put the FAT,
// the directory and each stream, so that tests can damage exactly one structure of a good file.
// Layout, in sector order: FAT, directory, mini FAT, mini stream, then each large stream.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

struct TCfbImage {
  std::string Bytes;
  uint32_t SectorSize = 512;
  std::vector<uint32_t> FatSectors;
  uint32_t DirStart = 0;
  uint32_t MiniFatStart = 0xFFFFFFFEu;
  // Per stream, in the order given: its first sector (a mini sector for a small stream).
  std::vector<uint32_t> StreamStart;

  // The byte offset of regular sector Sector, and of FAT entry Index.
  std::size_t SectorOffset(uint32_t Sector) const {
    return (static_cast<std::size_t>(Sector) + 1) * SectorSize;
  }
  std::size_t FatEntryOffset(uint32_t Index) const {
    const uint32_t Per = SectorSize / 4;
    return SectorOffset(FatSectors[Index / Per]) + (Index % Per) * 4;
  }
  // The byte offset of directory entry Index (the directory's sectors follow each other).
  std::size_t DirEntryOffset(uint32_t Index) const { return SectorOffset(DirStart) + Index * 128u; }
  void Put32(std::size_t Offset, uint32_t Value) {
    for (int I = 0; I < 4; ++I) Bytes[Offset + I] = static_cast<char>((Value >> (8 * I)) & 0xFF);
  }
};

struct TCfbWriterStream {
  std::u16string Name;
  std::string Data;
};

inline TCfbImage BuildCompoundFile(const std::vector<TCfbWriterStream>& Streams, unsigned SectorShift = 9) {
  constexpr uint32_t kEnd = 0xFFFFFFFEu, kFree = 0xFFFFFFFFu, kFatSect = 0xFFFFFFFDu, kNone = 0xFFFFFFFFu;
  constexpr uint32_t kCutoff = 4096, kMini = 64;
  TCfbImage Image;
  const uint32_t S = 1u << SectorShift;
  Image.SectorSize = S;
  auto SectorsFor = [](std::size_t Bytes, uint32_t Unit) {
    return static_cast<uint32_t>((Bytes + Unit - 1) / Unit);
  };

  // The mini stream and its FAT.
  std::string MiniStream;
  std::vector<uint32_t> MiniFat;
  std::vector<uint32_t> Start(Streams.size(), kEnd);
  for (std::size_t I = 0; I < Streams.size(); ++I) {
    const std::string& D = Streams[I].Data;
    if (D.empty() || D.size() >= kCutoff) continue;
    const uint32_t First = static_cast<uint32_t>(MiniFat.size());
    const uint32_t N = SectorsFor(D.size(), kMini);
    for (uint32_t K = 0; K < N; ++K) MiniFat.push_back(K + 1 < N ? First + K + 1 : kEnd);
    Start[I] = First;
    std::string Padded = D;
    Padded.resize(static_cast<std::size_t>(N) * kMini, '\0');
    MiniStream += Padded;
  }
  const uint32_t Entries = static_cast<uint32_t>(Streams.size()) + 1;
  const uint32_t DirSectors = SectorsFor(static_cast<std::size_t>(Entries) * 128, S);
  const uint32_t MinifatSectors = SectorsFor(MiniFat.size() * 4, S);
  const uint32_t MinistreamSectors = SectorsFor(MiniStream.size(), S);
  uint32_t BigSectors = 0;
  for (const auto& Stream : Streams) {
    if (Stream.Data.size() >= kCutoff) BigSectors += SectorsFor(Stream.Data.size(), S);
  }
  const uint32_t Rest = DirSectors + MinifatSectors + MinistreamSectors + BigSectors;
  uint32_t FatSectors = 1;
  while (FatSectors * (S / 4) < FatSectors + Rest) ++FatSectors;
  const uint32_t Total = FatSectors + Rest;

  std::vector<uint32_t> Fat(static_cast<std::size_t>(FatSectors) * (S / 4), kFree);
  uint32_t Next = 0;
  auto Chain = [&](uint32_t N) {
    const uint32_t First = Next;
    for (uint32_t K = 0; K < N; ++K) Fat[First + K] = K + 1 < N ? First + K + 1 : kEnd;
    Next += N;
    return N > 0 ? First : kEnd;
  };
  for (uint32_t K = 0; K < FatSectors; ++K) {
    Image.FatSectors.push_back(Next);
    Fat[Next++] = kFatSect;
  }
  Image.DirStart = Chain(DirSectors);
  Image.MiniFatStart = Chain(MinifatSectors);
  const uint32_t MinistreamStart = Chain(MinistreamSectors);
  std::vector<std::pair<uint32_t, std::size_t>> Big;  // first sector, stream index
  for (std::size_t I = 0; I < Streams.size(); ++I) {
    if (Streams[I].Data.size() >= kCutoff) {
      Start[I] = Chain(SectorsFor(Streams[I].Data.size(), S));
      Big.emplace_back(Start[I], I);
    }
  }
  Image.StreamStart = Start;

  std::string& B = Image.Bytes;
  B.assign(static_cast<std::size_t>(Total + 1) * S, '\0');
  auto Put16 = [&B](std::size_t At, uint16_t V) {
    B[At] = static_cast<char>(V & 0xFF);
    B[At + 1] = static_cast<char>(V >> 8);
  };
  auto Put32 = [&Image](std::size_t At, uint32_t V) { Image.Put32(At, V); };
  auto PutSectors = [&](uint32_t First, const std::string& Data) {
    std::memcpy(&B[Image.SectorOffset(First)], Data.data(), Data.size());
  };

  const unsigned char Sig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  std::memcpy(&B[0], Sig, 8);
  Put16(24, 0x3E);
  Put16(26, SectorShift == 9 ? 3 : 4);
  Put16(28, 0xFFFE);
  Put16(30, static_cast<uint16_t>(SectorShift));
  Put16(32, 6);
  Put32(40, SectorShift == 9 ? 0 : DirSectors);
  Put32(44, FatSectors);
  Put32(48, Image.DirStart);
  Put32(56, kCutoff);
  Put32(60, Image.MiniFatStart);
  Put32(64, MinifatSectors);
  Put32(68, kEnd);
  Put32(72, 0);
  for (uint32_t K = 0; K < 109; ++K) Put32(76 + 4 * K, K < FatSectors ? Image.FatSectors[K] : kFree);

  for (uint32_t K = 0; K < Fat.size(); ++K) Put32(Image.FatEntryOffset(K), Fat[K]);

  // Directory: the root, then each stream; the root's child is entry 1 and each entry's right sibling the
  // next one.
  for (uint32_t E = 0; E < DirSectors * (S / 128); ++E) {
    const std::size_t At = Image.DirEntryOffset(E);
    Put32(At + 68, kNone);
    Put32(At + 72, kNone);
    Put32(At + 76, kNone);
    if (E >= Entries) continue;
    const std::u16string Name = E == 0 ? u"Root Entry" : Streams[E - 1].Name;
    for (std::size_t K = 0; K < Name.size(); ++K) Put16(At + 2 * K, Name[K]);
    Put16(At + 64, static_cast<uint16_t>(2 * (Name.size() + 1)));
    B[At + 66] = E == 0 ? 5 : 2;
    B[At + 67] = 1;  // black
    if (E == 0) {
      Put32(At + 76, Entries > 1 ? 1 : kNone);
      Put32(At + 116, MiniStream.empty() ? kEnd : MinistreamStart);
      Put32(At + 120, static_cast<uint32_t>(MiniStream.size()));
    } else {
      Put32(At + 72, E + 1 < Entries ? E + 1 : kNone);
      Put32(At + 116, Start[E - 1]);
      Put32(At + 120, static_cast<uint32_t>(Streams[E - 1].Data.size()));
    }
  }
  std::string MiniFatBytes(static_cast<std::size_t>(MinifatSectors) * S, '\xFF');
  for (std::size_t K = 0; K < MiniFat.size(); ++K) {
    for (int I = 0; I < 4; ++I) MiniFatBytes[4 * K + I] = static_cast<char>((MiniFat[K] >> (8 * I)) & 0xFF);
  }
  if (MinifatSectors > 0) PutSectors(Image.MiniFatStart, MiniFatBytes);
  if (MinistreamSectors > 0) PutSectors(MinistreamStart, MiniStream);
  for (const auto& [first, i] : Big) PutSectors(first, Streams[i].Data);
  return Image;
}
