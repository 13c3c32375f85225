// TUnGZip, the archive library's decoder of GZIP files and Unix compress (.Z) files, each seen as an
// archive of one entry: the decompressed file. GZIP data is raw-inflated (zlib) member by member, every
// member checked against its CRC-32 and size; compress data goes through the LZW decoder of arlDelzw.
// Pack (1F 1E) and 1F A0 files are recognised but not decoded.
//
// The entry's name is the stored name of the first member, else the file's name without its extension
// (".tgz", ".taz" and ".tz" become ".tar", so that the TAR inside is seen as one); its size is the exact
// decompressed size, found by decoding once while the archive is walked (neither the GZIP trailer, which
// holds the size of the last member modulo 2^32, nor a compress file tells it). The walk keeps what it
// decoded, up to kMaxKept bytes, and the extraction writes those bytes; only a larger entry is decoded a
// second time. Each member's CRC-32 is computed once, while it is decoded.
//
// What the reader checks (the header checks are listed in arlGzipHeader.h):
//   - a header that fails its checks is "Bad file header" and nothing is listed;
//   - members follow one another up to kMaxMembers; bytes after the last member that do not start a
//     new one are ignored, as gzip does;
//   - each member's CRC-32 and size against its trailer; deflated data that ends early is "EOF not
//     found", damaged deflated data "Corrupt input"; either is reported by the walk, which lists the
//     entry with the bytes decoded before the fault, and fails the entry's check;
//   - output stops at kMaxOutput bytes (the system refuses files of 2 GB or more): an entry that would
//     go beyond is listed with that size and fails its check with "Error writing to file";
//   - compress: reserved header bits ("Incomplete code set"), the code width and every code (arlDelzw,
//     "Corrupt input").
//
// Read as a stream: when OnStreamQuery takes the entry by its name and its first kStreamHeadBytes, it is
// not counted first; it is offered with the size the last trailer declares (exact when those bytes were
// all of it) and, taken as a stream, handed to OnStreamEntry as a TForwardStream that inflates as it is
// read, each member once. What the reader leaves is inflated after it returns, so that every member is
// still checked; a fault is reported as the count reports it, and fails the entry's check.
//
// Ownership and threads: as TUnBase.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/arlBase.h"
#include "archive/gzip/arlGzipInflater.h"
#include "archive/lzh/arlLzhBits.h"

class TUnGZip : public TUnBase {
 public:
  // Asked when the decompressed data starts with a valid TAR header: Extract (false on entry) tells
  // whether the data is wanted as a TAR archive. The archive wrapper answers no, and the data is
  // delivered as one item either way.
  using TNestedTarEvent = std::function<void(TZipCommon* Sender, const std::string& ItemName, bool& Extract)>;
  TNestedTarEvent OnNestedTarFile;

  static constexpr int64_t kMaxOutput = int64_t{1} << 31;
  static constexpr int32_t kMaxMembers = TGzipInflater::kMaxMembers;
  static constexpr int32_t kOutputChunk = TGzipInflater::kChunk;
  // The most decompressed bytes that the walk keeps for the extraction; a larger entry is decoded again.
  static constexpr size_t kMaxKept = size_t{16} << 20;
  // The first decompressed bytes shown to OnStreamQuery: at least what type detection reads of a file's
  // start (TRegisterArcLib::kHeadBytes) and two TAR blocks.
  static constexpr size_t kStreamHeadBytes = 65536;

 protected:
  void ExtractArchive(TStream32* Stream) override;

 private:
  enum TKind : uint8_t { gkNone, gkGzip, gkCompress, gkOther };
  struct TDecoded {
    int64_t Produced = 0;
    int32_t Error = 0;  // the first failed check's code; 0 when every check passed
  };
  // Inflater's bytes into Sink, to its end.
  static TDecoded Drain(TGzipInflater& Inflater, const TLzhSink& Sink);
  // The entry as a stream (Head: its first bytes, already inflated; Size: as offered).
  void StreamEntry(TStream32& Stream, int64_t StreamSize, TGzipInflater& Inflater,
                   const std::vector<uint8_t>& Head, int64_t Size);
  // Decodes the file's members (or its compress stream) into Sink, at most Cap bytes.
  TDecoded DecodeGzip(TStream32& Stream, int64_t StreamSize, int64_t Cap, const TLzhSink& Sink);
  TDecoded DecodeCompress(TStream32& Stream, int64_t Cap, const TLzhSink& Sink);
  TDecoded Decode(TKind Kind, TStream32& Stream, int64_t StreamSize, const TLzhSink& Sink);
  // The entry's name when none is stored.
  std::string DefaultName() const;
  // Writes decoded bytes to the output and asks OnNestedTarFile about the first chunk.
  void WriteDecoded(const uint8_t* Buffer, int32_t Count, int64_t& Written);
};
