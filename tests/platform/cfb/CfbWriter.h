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
    const uint32_t per = SectorSize / 4;
    return SectorOffset(FatSectors[Index / per]) + (Index % per) * 4;
  }
  // The byte offset of directory entry Index (the directory's sectors follow each other).
  std::size_t DirEntryOffset(uint32_t Index) const { return SectorOffset(DirStart) + Index * 128u; }
  void Put32(std::size_t Offset, uint32_t Value) {
    for (int i = 0; i < 4; ++i) Bytes[Offset + i] = static_cast<char>((Value >> (8 * i)) & 0xFF);
  }
};

struct TCfbWriterStream {
  std::u16string Name;
  std::string Data;
};

inline TCfbImage BuildCompoundFile(const std::vector<TCfbWriterStream>& Streams, unsigned SectorShift = 9) {
  constexpr uint32_t kEnd = 0xFFFFFFFEu, kFree = 0xFFFFFFFFu, kFatSect = 0xFFFFFFFDu, kNone = 0xFFFFFFFFu;
  constexpr uint32_t kCutoff = 4096, kMini = 64;
  TCfbImage image;
  const uint32_t S = 1u << SectorShift;
  image.SectorSize = S;
  auto sectors_for = [](std::size_t bytes, uint32_t unit) {
    return static_cast<uint32_t>((bytes + unit - 1) / unit);
  };

  // The mini stream and its FAT.
  std::string mini_stream;
  std::vector<uint32_t> mini_fat;
  std::vector<uint32_t> start(Streams.size(), kEnd);
  for (std::size_t i = 0; i < Streams.size(); ++i) {
    const std::string& d = Streams[i].Data;
    if (d.empty() || d.size() >= kCutoff) continue;
    const uint32_t first = static_cast<uint32_t>(mini_fat.size());
    const uint32_t n = sectors_for(d.size(), kMini);
    for (uint32_t k = 0; k < n; ++k) mini_fat.push_back(k + 1 < n ? first + k + 1 : kEnd);
    start[i] = first;
    std::string padded = d;
    padded.resize(static_cast<std::size_t>(n) * kMini, '\0');
    mini_stream += padded;
  }
  const uint32_t entries = static_cast<uint32_t>(Streams.size()) + 1;
  const uint32_t dir_sectors = sectors_for(static_cast<std::size_t>(entries) * 128, S);
  const uint32_t minifat_sectors = sectors_for(mini_fat.size() * 4, S);
  const uint32_t ministream_sectors = sectors_for(mini_stream.size(), S);
  uint32_t big_sectors = 0;
  for (const auto& s : Streams) {
    if (s.Data.size() >= kCutoff) big_sectors += sectors_for(s.Data.size(), S);
  }
  const uint32_t rest = dir_sectors + minifat_sectors + ministream_sectors + big_sectors;
  uint32_t fat_sectors = 1;
  while (fat_sectors * (S / 4) < fat_sectors + rest) ++fat_sectors;
  const uint32_t total = fat_sectors + rest;

  std::vector<uint32_t> fat(static_cast<std::size_t>(fat_sectors) * (S / 4), kFree);
  uint32_t next = 0;
  auto chain = [&](uint32_t n) {
    const uint32_t first = next;
    for (uint32_t k = 0; k < n; ++k) fat[first + k] = k + 1 < n ? first + k + 1 : kEnd;
    next += n;
    return n > 0 ? first : kEnd;
  };
  for (uint32_t k = 0; k < fat_sectors; ++k) {
    image.FatSectors.push_back(next);
    fat[next++] = kFatSect;
  }
  image.DirStart = chain(dir_sectors);
  image.MiniFatStart = chain(minifat_sectors);
  const uint32_t ministream_start = chain(ministream_sectors);
  std::vector<std::pair<uint32_t, std::size_t>> big;  // first sector, stream index
  for (std::size_t i = 0; i < Streams.size(); ++i) {
    if (Streams[i].Data.size() >= kCutoff) {
      start[i] = chain(sectors_for(Streams[i].Data.size(), S));
      big.emplace_back(start[i], i);
    }
  }
  image.StreamStart = start;

  std::string& b = image.Bytes;
  b.assign(static_cast<std::size_t>(total + 1) * S, '\0');
  auto put16 = [&b](std::size_t at, uint16_t v) {
    b[at] = static_cast<char>(v & 0xFF);
    b[at + 1] = static_cast<char>(v >> 8);
  };
  auto put32 = [&image](std::size_t at, uint32_t v) { image.Put32(at, v); };
  auto put_sectors = [&](uint32_t first, const std::string& data) {
    std::memcpy(&b[image.SectorOffset(first)], data.data(), data.size());
  };

  const unsigned char sig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  std::memcpy(&b[0], sig, 8);
  put16(24, 0x3E);
  put16(26, SectorShift == 9 ? 3 : 4);
  put16(28, 0xFFFE);
  put16(30, static_cast<uint16_t>(SectorShift));
  put16(32, 6);
  put32(40, SectorShift == 9 ? 0 : dir_sectors);
  put32(44, fat_sectors);
  put32(48, image.DirStart);
  put32(56, kCutoff);
  put32(60, image.MiniFatStart);
  put32(64, minifat_sectors);
  put32(68, kEnd);
  put32(72, 0);
  for (uint32_t k = 0; k < 109; ++k) put32(76 + 4 * k, k < fat_sectors ? image.FatSectors[k] : kFree);

  for (uint32_t k = 0; k < fat.size(); ++k) put32(image.FatEntryOffset(k), fat[k]);

  // Directory: the root, then each stream; the root's child is entry 1 and each entry's right sibling the
  // next one.
  for (uint32_t e = 0; e < dir_sectors * (S / 128); ++e) {
    const std::size_t at = image.DirEntryOffset(e);
    put32(at + 68, kNone);
    put32(at + 72, kNone);
    put32(at + 76, kNone);
    if (e >= entries) continue;
    const std::u16string name = e == 0 ? u"Root Entry" : Streams[e - 1].Name;
    for (std::size_t k = 0; k < name.size(); ++k) put16(at + 2 * k, name[k]);
    put16(at + 64, static_cast<uint16_t>(2 * (name.size() + 1)));
    b[at + 66] = e == 0 ? 5 : 2;
    b[at + 67] = 1;  // black
    if (e == 0) {
      put32(at + 76, entries > 1 ? 1 : kNone);
      put32(at + 116, mini_stream.empty() ? kEnd : ministream_start);
      put32(at + 120, static_cast<uint32_t>(mini_stream.size()));
    } else {
      put32(at + 72, e + 1 < entries ? e + 1 : kNone);
      put32(at + 116, start[e - 1]);
      put32(at + 120, static_cast<uint32_t>(Streams[e - 1].Data.size()));
    }
  }
  std::string mini_fat_bytes(static_cast<std::size_t>(minifat_sectors) * S, '\xFF');
  for (std::size_t k = 0; k < mini_fat.size(); ++k) {
    for (int i = 0; i < 4; ++i)
      mini_fat_bytes[4 * k + i] = static_cast<char>((mini_fat[k] >> (8 * i)) & 0xFF);
  }
  if (minifat_sectors > 0) put_sectors(image.MiniFatStart, mini_fat_bytes);
  if (ministream_sectors > 0) put_sectors(ministream_start, mini_stream);
  for (const auto& [first, i] : big) put_sectors(first, Streams[i].Data);
  return image;
}
