// TGzipInflater, the member walk of a GZIP file as a source of decompressed bytes: it inflates the members
// one after another, in chunks that its caller asks for, and checks each member against its trailer. The
// GZIP decoder drains it to count and to write an entry, and hands it to a TForwardStream when the entry is
// read as a stream (a TAR inside), so that both ways see the same bytes and the same faults.
//
// What it checks (the header checks are listed in arlGzipHeader.h), each fault ending the data with its
// code in Error():
//   - a member header that fails its checks: errBadFileHeader (bytes after the last member that do not
//     start a new one are ignored, as gzip does); more than kMaxMembers members: errBadFileHeader;
//   - a method other than deflate: errUnsupportedMethod; the encrypted flag: errPasswordProtected;
//   - damaged deflated data: errCorruptInput; deflated data or a trailer cut short: errEofNotFound;
//   - each member's CRC-32 and size against its trailer: errCrcFailed;
//   - output beyond Cap bytes: errWritingFile (the bytes up to Cap are given).
// A chunk that inflate could not finish (damaged data) is not given: the bytes before the fault that are
// given depend on the chunk sizes asked, so every reader of one file asks the same size (kChunk).
//
// Ownership and threads: Source is not owned and must outlive the inflater; nothing else may move its
// position meanwhile. Cancel, when given, is asked between chunks: true ends the data without an error.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "archive/arlStreams.h"

class TGzipInflater {
 public:
  static constexpr int32_t kMaxMembers = 65536;
  static constexpr int32_t kChunk = 32768;

  TGzipInflater(TStream32& Source, int64_t SourceSize, int64_t Cap, std::function<bool()> Cancel = {});
  ~TGzipInflater();
  TGzipInflater(const TGzipInflater&) = delete;
  TGzipInflater& operator=(const TGzipInflater&) = delete;

  // Up to Capacity decompressed bytes into Buffer; 0 at the end of the data (Error() tells whether it
  // ended well).
  int32_t Next(uint8_t* Buffer, int32_t Capacity);
  // The first failed check's code (arlBase.h); 0 while every check passed.
  int32_t Error() const { return Error_; }
  int64_t Produced() const { return Produced_; }
  bool Done() const { return Done_; }

 private:
  // Reads the next member's header and starts inflating its data; false at the end of the data.
  bool BeginMember();
  // Checks the trailer of the member whose data just ended; false at the end of the data.
  bool EndMember();
  void Finish(int32_t Error);

  TStream32& Source_;
  int64_t SourceSize_;
  int64_t Cap_;
  std::function<bool()> Cancel_;
  std::unique_ptr<TDecompressStream> Inflate_;
  int32_t Member_ = 0;
  int64_t MemberPos_ = 0;  // where the next member's header starts
  uint32_t Crc_ = 0;
  int64_t MemberSize_ = 0;
  int64_t Produced_ = 0;
  int32_t Error_ = 0;
  bool Done_ = false;
  bool DataEnded_ = false;  // the current member's deflated data ended: its trailer is next
};
