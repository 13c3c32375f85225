#include "archive/arlForwardStream.h"

#include <algorithm>
#include <cstring>
#include <utility>

TForwardStream::TForwardStream(TProducer Producer, int32_t ChunkSize, int64_t KeepBytes)
    : Producer_(std::move(Producer)),
      ChunkSize_(std::max(ChunkSize, 1)),
      KeepBytes_(std::max<int64_t>(KeepBytes, 0)) {}

bool TForwardStream::ProduceChunk() {
  if (Ended_) return false;
  TChunk Chunk;
  if (!Spare_.empty()) {
    Chunk = std::move(Spare_.back());
    Spare_.pop_back();
  } else {
    Chunk.Data = std::make_unique<uint8_t[]>(static_cast<size_t>(ChunkSize_));
  }
  const int32_t N = Producer_ ? Producer_(Chunk.Data.get(), ChunkSize_) : 0;
  if (N <= 0) {
    Ended_ = true;
    Spare_.push_back(std::move(Chunk));
    return false;
  }
  Chunk.Len = std::min(N, ChunkSize_);
  Produced_ += Chunk.Len;
  // A short chunk joins the last one when it fits, so that the kept chunks stay more than half full
  // on average, whatever the producer gives.
  if (!Chunks_.empty() && Chunks_.back().Len <= ChunkSize_ - Chunk.Len) {
    TChunk& Last = Chunks_.back();
    std::memcpy(Last.Data.get() + Last.Len, Chunk.Data.get(), static_cast<size_t>(Chunk.Len));
    Last.Len += Chunk.Len;
    Chunk.Len = 0;
    Spare_.push_back(std::move(Chunk));
    return true;
  }
  Chunks_.push_back(std::move(Chunk));
  return true;
}

void TForwardStream::DropOldChunks() {
  while (!Chunks_.empty() && ChunksStart_ + Chunks_.front().Len <= Pos_ - KeepBytes_) {
    ChunksStart_ += Chunks_.front().Len;
    Chunks_.front().Len = 0;
    Spare_.push_back(std::move(Chunks_.front()));
    Chunks_.pop_front();
  }
}

bool TForwardStream::Reaches(int64_t Pos) {
  while (Produced_ < Pos)
    if (!ProduceChunk()) return false;
  return true;
}

int32_t TForwardStream::Read(void* Buffer, int32_t Count) {
  if (Count <= 0) return 0;
  auto* Out = static_cast<uint8_t*>(Buffer);
  int32_t Done = 0;
  while (Done < Count) {
    if (Pos_ >= Produced_ && !ProduceChunk()) break;
    // The chunk that holds Pos_: kept chunks are contiguous up to Produced_, and a reader is most often
    // in the newest one, so they are looked at from the back.
    int64_t Start = Produced_;
    size_t I = Chunks_.size();
    while (I > 0 && Start > Pos_) Start -= Chunks_[--I].Len;
    if (Start > Pos_ || I == Chunks_.size()) break;  // cannot happen: Pos_ lies in a kept chunk
    const auto Offset = static_cast<int32_t>(Pos_ - Start);
    const int32_t N = std::min(Count - Done, Chunks_[I].Len - Offset);
    std::memcpy(Out + Done, Chunks_[I].Data.get() + Offset, static_cast<size_t>(N));
    Done += N;
    Pos_ += N;
  }
  DropOldChunks();
  return Done;
}

int32_t TForwardStream::Write(const void*, int32_t) { return 0; }

int64_t TForwardStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  if (Origin == soEnd) throw EStreamError("Seek not implemented");
  const int64_t Base = Origin == soBeginning ? 0 : Pos_;
  if (Offset < 0 ? Base + Offset < 0 : Base > INT64_MAX - Offset) throw ERangeError();
  const int64_t Target = Base + Offset;
  if (Target < ChunksStart_) throw EStreamError("Seek not implemented");
  // Forward: produce up to the target, dropping what falls out of the kept bytes on the way, so that a
  // long skip holds no more than the bytes kept.
  while (Produced_ < Target) {
    Pos_ = Produced_;
    DropOldChunks();
    if (!ProduceChunk()) break;
  }
  Pos_ = Target;
  DropOldChunks();
  return Pos_;
}

void TForwardStream::Drain() {
  while (ProduceChunk()) {
    Pos_ = Produced_;
    DropOldChunks();
  }
}
