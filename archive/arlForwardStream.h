// TForwardStream, a read-only stream over data that is produced once, front to back (the output of a
// decompressor): a reader that goes forward is served as the data comes, and a step back is served from
// the last KeepBytes bytes, which the stream keeps. It lets a reader made for files (one that reads a
// header, then its data, then the next header) read a decompressor's output without the whole output ever
// being held or written anywhere.
//
// What it guarantees:
//   - the producer is called with Capacity = the chunk size given at construction and nothing else, so
//     that a producer whose output depends on how it is asked (a decoder that drops a chunk it could not
//     finish) gives the same bytes as when it is drained directly;
//   - a seek forward reads and discards; a seek back further than the bytes kept, or to the end, raises
//     EStreamError "Seek not implemented" (ReadAt and the other header readers take that as a short read);
//   - reading past the end gives 0 bytes; Ended() and Produced() tell where the data ended.
//
// Ownership and threads: the producer is the stream's; whatever it reads must outlive the stream. One
// thread at a time.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "archive/arlStreams.h"

class TForwardStream : public TStream32 {
 public:
  // Fills Buffer with up to Capacity bytes and answers how many; 0 ends the data for good.
  using TProducer = std::function<int32_t(uint8_t* Buffer, int32_t Capacity)>;

  TForwardStream(TProducer Producer, int32_t ChunkSize, int64_t KeepBytes);

  int32_t Read(void* Buffer, int32_t Count) override;
  int32_t Write(const void* Buffer, int32_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;

  // Produces up to Pos (or to the end of the data); false when the data ends before Pos.
  bool Reaches(int64_t Pos);
  // Produces the rest of the data without keeping it.
  void Drain();
  // The producer has said the data ended.
  bool Ended() const { return Ended_; }
  // The bytes produced so far.
  int64_t Produced() const { return Produced_; }

 protected:
  bool Has64BitSeek() const override { return true; }

 private:
  // One more chunk from the producer; false at the end of the data.
  bool ProduceChunk();
  // Drops the chunks that lie wholly before Pos_ - KeepBytes_.
  void DropOldChunks();

  struct TChunk {
    std::unique_ptr<uint8_t[]> Data;
    int32_t Len = 0;
  };
  TProducer Producer_;
  int32_t ChunkSize_;
  int64_t KeepBytes_;
  std::deque<TChunk> Chunks_;  // the kept data, oldest first
  std::vector<TChunk> Spare_;  // dropped chunks' buffers, for reuse
  int64_t ChunksStart_ = 0;    // the position of the first kept chunk
  int64_t Produced_ = 0;
  int64_t Pos_ = 0;
  bool Ended_ = false;
};
