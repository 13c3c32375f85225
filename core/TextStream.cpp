#include "core/TextStream.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "core/FileLayer.h"
#include "core/MemUtils.h"
#include "core/StrUtils.h"
#include "core/VFileStream.h"

TTextStreamOnStream::TTextStreamOnStream(TVStream* Stream, bool OwnsStream, TTextStreamMode Mode,
                                         int32_t BufSize)
    : Stream_(Stream), OwnsStream_(OwnsStream), HasStream_(Stream != nullptr), Writing_(Mode != tsmRead) {
  try {
    Init(Mode, BufSize);
  } catch (...) {
    ReleaseStream();
    throw;
  }
}

void TTextStreamOnStream::Init(TTextStreamMode Mode, int32_t RequestedBufSize) {
  if (!HasStream_) return;
  const int32_t Size = Stream_->GetSize();
  if (Mode == tsmRewrite) {
    Stream_->SetSize(0);
    Pos_ = 0;
    return;
  }
  if (Mode == tsmAppend && Size == 0) return;
  if (RequestedBufSize < kMinBufSize)
    throw ETextStream("Buffer size " + std::to_string(RequestedBufSize) + " is below " +
                      std::to_string(kMinBufSize));
  BufSize_ = std::min(RequestedBufSize, Size);
  Buf_ = std::make_unique<char[]>(std::max(BufSize_, 1));
  if (Mode == tsmRead) return;
  // Append: count the lines there are and find whether the last one is ended. Only LF bytes are counted,
  // so no line of the existing content is too long to append after it.
  char Last = '\n';
  for (int32_t Offset = 0; Offset < Size;) {
    const int32_t N = Fill(Offset);
    if (N == 0) break;
    LineCount_ += CountByte(Buf_.get(), '\n', N);
    Last = Buf_[N - 1];
    Offset += N;
  }
  if (Last != '\n') ++LineCount_;
  Buf_.reset();
  BufLen_ = 0;
  Stream_->Seek(Stream_->GetSize());
  if (Last != '\n') Stream_->WriteText("\r\n");
  Pos_ = Stream_->GetPosition();
}

TTextStreamOnStream::~TTextStreamOnStream() {
  try {
    FlushLine();
  } catch (const std::exception& E) {
    ReportLostOutput(E.what());
  } catch (...) {
    ReportLostOutput("A line of text could not be written");
  }
  ReleaseStream();
}

void TTextStreamOnStream::ReleaseStream() {
  if (OwnsStream_) delete Stream_;
  Stream_ = nullptr;
  OwnsStream_ = false;
  Buf_.reset();
  BufLen_ = 0;
}

void TTextStreamOnStream::Close() {
  if (Closed_) return;
  Closed_ = true;
  try {
    FlushLine();
    if (OwnsStream_)
      if (auto* File = dynamic_cast<TVFileStream*>(Stream_)) File->Close();
  } catch (...) {
    LinePending_ = false;
    ReleaseStream();
    throw;
  }
  ReleaseStream();
}

int32_t TTextStreamOnStream::Fill(int32_t Offset) {
  Stream_->Seek(Offset);
  BufPos_ = Offset;
  BufLen_ = 0;
  BufLen_ = Stream_->Read(Buf_.get(), BufSize_);
  return BufLen_;
}

bool TTextStreamOnStream::Eof() {
  if (Writing_) return true;
  if (Closed_) return true;
  if (!HasStream_) return std::cin.peek() == std::char_traits<char>::eof();
  return Pos_ >= Stream_->GetSize();
}

void TTextStreamOnStream::ReadLine(std::string& Result) {
  if (Writing_ || Closed_) throw ETextStream("Method not applicable");
  if (!HasStream_) {
    if (!std::getline(std::cin, Result)) throw ETextStream("Read after end error");
    if (!Result.empty() && Result.back() == '\r') Result.pop_back();
    Line_ = Result;
    ++LineCount_;
    return;
  }
  if (Pos_ < BufPos_ || Pos_ >= BufPos_ + BufLen_) {
    if (BufSize_ <= 0 || Fill(Pos_) == 0) throw ETextStream("Read after end error");
  }
  const int32_t Start = Pos_ - BufPos_;
  int32_t E = IndexOfByte(Buf_.get() + Start, '\n', BufLen_ - Start);
  if (E >= 0) {
    Result.assign(Buf_.get() + Start, E);
    Pos_ += E + 1;
  } else {
    // The line goes on past the buffer: keep its start and read the next buffer.
    Result.assign(Buf_.get() + Start, BufLen_ - Start);
    Pos_ = BufPos_ + BufLen_;
    const int32_t N = Fill(Pos_);
    if (N > 0) {
      E = IndexOfByte(Buf_.get(), '\n', N);
      if (E >= 0) {
        Result.append(Buf_.get(), E);
        Pos_ += E + 1;
      } else if (N < BufSize_ || Pos_ + N >= Stream_->GetSize()) {
        // The last line of the stream, without a line end.
        Result.append(Buf_.get(), N);
        Pos_ += N;
      } else {
        throw ETextStream("line is too long " + std::to_string(LineCount_));
      }
    }
  }
  if (!Result.empty() && Result.back() == '\r') Result.pop_back();
  Line_ = Result;
  ++LineCount_;
}

void TTextStreamOnStream::WriteLine(const std::string& S) {
  if (Closed_) throw ETextStream("Method not applicable");
  FlushLine();
  Line_ = S;
  LinePending_ = Writing_;
  ++LineCount_;
}

void TTextStreamOnStream::FlushLine() {
  if (!Writing_ || !LinePending_) return;
  if (HasStream_) {
    Stream_->Seek(Pos_);
    Stream_->WriteText(Line_);
    Stream_->WriteText("\r\n");
    Pos_ = Stream_->GetPosition();
  } else {
    std::cout << Line_ << '\n' << std::flush;
    if (!std::cout) {
      std::cout.clear();
      throw ETextStream("Write error");
    }
  }
  LinePending_ = false;
  Line_.clear();
}

// --- TTextStream ---------------------------------------------------------------------------------------

TVStream* TTextStream::OpenFile(const std::u16string& FileName, TTextStreamMode Mode) {
  if (FileName.empty()) return nullptr;
  TFileOpenMode FileMode = fmShareDenyWrite;
  if (Mode == tsmRewrite) {
    FileMode = fmCreate;
  } else if (Mode == tsmAppend) {
    FileMode = ::access(Utf16ToUtf8(FileName).c_str(), F_OK) == 0 ? fmOpenReadWrite : fmCreate;
  }
  return new TVFileStream(FileName, FileMode);
}

TTextStream::TTextStream(const std::u16string& FileName, TTextStreamMode Mode, int32_t BufSize)
    : TTextStreamOnStream(OpenFile(FileName, Mode), true, Mode, BufSize) {}

TTextStream::TTextStream(const std::string& FileName, TTextStreamMode Mode, int32_t BufSize)
    : TTextStream(Utf8ToUtf16(FileName), Mode, BufSize) {}

TFilteredTextStream::TFilteredTextStream(const std::u16string& FileName, TTextStreamMode Mode,
                                         int32_t BufSize)
    : TTextStream(FileName, Mode, BufSize) {}

void TFilteredTextStream::ReadLine(std::string& Result) {
  do {
    TTextStream::ReadLine(Result);
    Result = StripComment(Result, CommentChar);
  } while (Result.empty() && !Eof());
  Line_ = Result;
}
