#include "archive/gzip/arlGzipInflater.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "archive/arlBase.h"
#include "archive/arlHeaderCursor.h"
#include "archive/gzip/arlGzipHeader.h"

namespace {

// The CRC-32 of GZIP: the register starts at all ones and is complemented at the end.
constexpr uint32_t kCrcStart = 0xFFFFFFFF;

}  // namespace

TGzipInflater::TGzipInflater(TStream32& Source, int64_t SourceSize, int64_t Cap, std::function<bool()> Cancel)
    : Source_(Source), SourceSize_(SourceSize), Cap_(Cap), Cancel_(std::move(Cancel)) {}

TGzipInflater::~TGzipInflater() = default;

void TGzipInflater::Finish(int32_t Error) {
  Error_ = Error;
  Done_ = true;
  Inflate_.reset();
}

bool TGzipInflater::BeginMember() {
  TGzipMember M;
  const TGzipReadResult H = ReadGzipMember(Source_, MemberPos_, SourceSize_, M);
  if (H == grNotGzip && Member_ > 0) {  // trailing bytes that start no member are ignored
    Finish(0);
    return false;
  }
  int32_t Fault = 0;
  if (H != grOk || Member_ == kMaxMembers)
    Fault = errBadFileHeader;
  else if (M.Method != kGzipDeflate)
    Fault = errUnsupportedMethod;
  else if (M.Flags & gfEncrypted)
    Fault = errPasswordProtected;
  if (Fault != 0) {
    Finish(Fault);
    return false;
  }
  Crc_ = kCrcStart;
  MemberSize_ = 0;
  Source_.SetPosition(M.DataPos);
  Inflate_ = std::make_unique<TDecompressStream>(Source_);
  ++Member_;
  return true;
}

bool TGzipInflater::EndMember() {
  DataEnded_ = false;
  Inflate_.reset();  // the inflating stream leaves the source right after the deflated data
  const int64_t TrailerPos = Source_.Position();
  const std::vector<uint8_t> Trailer = ReadAt(Source_, TrailerPos, kGzipTrailer);
  if (Trailer.size() < static_cast<size_t>(kGzipTrailer)) {
    Finish(errEofNotFound);
    return false;
  }
  THeaderCursor T(Trailer);
  uint32_t StoredCrc = 0, StoredSize = 0;
  T.U32(StoredCrc), T.U32(StoredSize);
  if (StoredCrc != ~Crc_ || StoredSize != static_cast<uint32_t>(MemberSize_)) {
    Finish(errCrcFailed);
    return false;
  }
  MemberPos_ = TrailerPos + kGzipTrailer;
  if (MemberPos_ >= SourceSize_) {
    Finish(0);
    return false;
  }
  return true;
}

int32_t TGzipInflater::Next(uint8_t* Buffer, int32_t Capacity) {
  while (!Done_ && Capacity > 0) {
    if (Cancel_ && Cancel_()) {
      Finish(0);
      break;
    }
    if (DataEnded_) {
      if (!EndMember()) break;
      continue;
    }
    if (!Inflate_) {
      if (!BeginMember()) break;
      continue;
    }
    const int64_t Room = Cap_ - Produced_;
    if (Room <= 0) {
      // Stopped at the cap: was there more?
      uint8_t Probe;
      if (Inflate_->Read(&Probe, 1) != 0 || !Inflate_->AtStreamEnd()) {
        Finish(errWritingFile);
        break;
      }
      DataEnded_ = true;
      continue;
    }
    const int32_t N = Inflate_->Read(Buffer, static_cast<int32_t>(std::min<int64_t>(Capacity, Room)));
    if (N < 0) {
      Finish(errCorruptInput);
      break;
    }
    if (Inflate_->AtStreamEnd()) DataEnded_ = true;
    if (N > 0) {
      CrcUpdate32(Buffer, N, Crc_);
      MemberSize_ += N;
      Produced_ += N;
      return N;
    }
    if (!DataEnded_) {
      Finish(errEofNotFound);
      break;
    }
  }
  return 0;
}
