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
    : Stream(Stream), OwnsStream(OwnsStream), HasStream(Stream != nullptr), Writing(Mode != tsmRead) {
  try {
    Init(Mode, BufSize);
  } catch (...) {
    ReleaseStream();
    throw;
  }
}

void TTextStreamOnStream::Init(TTextStreamMode Mode, int32_t RequestedBufSize) {
  if (!HasStream) return;
  const int32_t size = Stream->GetSize();
  if (Mode == tsmRewrite) {
    Stream->SetSize(0);
    Pos = 0;
    return;
  }
  if (Mode == tsmAppend && size == 0) return;
  if (RequestedBufSize < kMinBufSize)
    throw ETextStream("Buffer size " + std::to_string(RequestedBufSize) + " is below " +
                      std::to_string(kMinBufSize));
  BufSize = std::min(RequestedBufSize, size);
  Buf = std::make_unique<char[]>(std::max(BufSize, 1));
  if (Mode == tsmRead) return;
  // Append: count the lines there are and find whether the last one is ended. Only LF bytes are counted,
  // so no line of the existing content is too long to append after it.
  char last = '\n';
  for (int32_t offset = 0; offset < size;) {
    const int32_t n = Fill(offset);
    if (n == 0) break;
    LineCount += CountByte(Buf.get(), '\n', n);
    last = Buf[n - 1];
    offset += n;
  }
  if (last != '\n') ++LineCount;
  Buf.reset();
  BufLen = 0;
  Stream->Seek(Stream->GetSize());
  if (last != '\n') Stream->WriteText("\r\n");
  Pos = Stream->GetPosition();
}

TTextStreamOnStream::~TTextStreamOnStream() {
  try {
    FlushLine();
  } catch (const std::exception& e) {
    ReportLostOutput(e.what());
  } catch (...) {
    ReportLostOutput("A line of text could not be written");
  }
  ReleaseStream();
}

void TTextStreamOnStream::ReleaseStream() {
  if (OwnsStream) delete Stream;
  Stream = nullptr;
  OwnsStream = false;
  Buf.reset();
  BufLen = 0;
}

void TTextStreamOnStream::Close() {
  if (Closed) return;
  Closed = true;
  try {
    FlushLine();
    if (OwnsStream)
      if (auto* file = dynamic_cast<TVFileStream*>(Stream)) file->Close();
  } catch (...) {
    LinePending = false;
    ReleaseStream();
    throw;
  }
  ReleaseStream();
}

int32_t TTextStreamOnStream::Fill(int32_t Offset) {
  Stream->Seek(Offset);
  BufPos = Offset;
  BufLen = 0;
  BufLen = Stream->Read(Buf.get(), BufSize);
  return BufLen;
}

bool TTextStreamOnStream::Eof() {
  if (Writing) return true;
  if (Closed) return true;
  if (!HasStream) return std::cin.peek() == std::char_traits<char>::eof();
  return Pos >= Stream->GetSize();
}

void TTextStreamOnStream::ReadLine(std::string& Result) {
  if (Writing || Closed) throw ETextStream("Method not applicable");
  if (!HasStream) {
    if (!std::getline(std::cin, Result)) throw ETextStream("Read after end error");
    if (!Result.empty() && Result.back() == '\r') Result.pop_back();
    Line = Result;
    ++LineCount;
    return;
  }
  if (Pos < BufPos || Pos >= BufPos + BufLen) {
    if (BufSize <= 0 || Fill(Pos) == 0) throw ETextStream("Read after end error");
  }
  const int32_t start = Pos - BufPos;
  int32_t e = IndexOfByte(Buf.get() + start, '\n', BufLen - start);
  if (e >= 0) {
    Result.assign(Buf.get() + start, e);
    Pos += e + 1;
  } else {
    // The line goes on past the buffer: keep its start and read the next buffer.
    Result.assign(Buf.get() + start, BufLen - start);
    Pos = BufPos + BufLen;
    const int32_t n = Fill(Pos);
    if (n > 0) {
      e = IndexOfByte(Buf.get(), '\n', n);
      if (e >= 0) {
        Result.append(Buf.get(), e);
        Pos += e + 1;
      } else if (n < BufSize || Pos + n >= Stream->GetSize()) {
        // The last line of the stream, without a line end.
        Result.append(Buf.get(), n);
        Pos += n;
      } else {
        throw ETextStream("line is too long " + std::to_string(LineCount));
      }
    }
  }
  if (!Result.empty() && Result.back() == '\r') Result.pop_back();
  Line = Result;
  ++LineCount;
}

void TTextStreamOnStream::WriteLine(const std::string& S) {
  if (Closed) throw ETextStream("Method not applicable");
  FlushLine();
  Line = S;
  LinePending = Writing;
  ++LineCount;
}

void TTextStreamOnStream::FlushLine() {
  if (!Writing || !LinePending) return;
  if (HasStream) {
    Stream->Seek(Pos);
    Stream->WriteText(Line);
    Stream->WriteText("\r\n");
    Pos = Stream->GetPosition();
  } else {
    std::cout << Line << '\n' << std::flush;
    if (!std::cout) {
      std::cout.clear();
      throw ETextStream("Write error");
    }
  }
  LinePending = false;
  Line.clear();
}

// --- TTextStream ---------------------------------------------------------------------------------------

TVStream* TTextStream::OpenFile(const std::u16string& FileName, TTextStreamMode Mode) {
  if (FileName.empty()) return nullptr;
  TFileOpenMode mode = fmShareDenyWrite;
  if (Mode == tsmRewrite) {
    mode = fmCreate;
  } else if (Mode == tsmAppend) {
    mode = ::access(Utf16ToUtf8(FileName).c_str(), F_OK) == 0 ? fmOpenReadWrite : fmCreate;
  }
  return new TVFileStream(FileName, mode);
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
  Line = Result;
}
