#include "archive/cab/arlCabGbls.h"

#include <cerrno>
#include <climits>
#include <cstdio>

intptr_t TStreamCabinetFileHandler::Open(const std::string& Name, int32_t Flags, int32_t, int32_t& Error) {
  TFileOpenMode Mode;
  if (Flags & cofCreate)
    Mode = fmCreate;
  else if (Flags & cofReadWrite)
    Mode = fmOpenReadWrite;
  else if (Flags & cofWrite)
    Mode = fmOpenWrite;
  else
    Mode = fmOpenRead;
  Mode = static_cast<TFileOpenMode>(
      Mode == fmCreate ? Mode : Mode | ((Flags & cofExclusive) ? fmShareExclusive : fmShareDenyNone));
  int32_t OpenError = 0;
  auto Stream = std::make_unique<TFileStream32>(Name, Mode, OpenError);
  if (OpenError != 0 || Stream->Handle() == kInvalidHandle) {
    Error = errno != 0 ? errno : OpenError;
    return -1;
  }
  Error = 0;
  const intptr_t Handle = Stream->Handle();
  Streams_[Handle] = std::move(Stream);
  return Handle;
}

TFileStream32* TStreamCabinetFileHandler::Find(intptr_t Handle) {
  const auto It = Streams_.find(Handle);
  return It == Streams_.end() ? nullptr : It->second.get();
}

uint32_t TStreamCabinetFileHandler::Read(intptr_t Handle, void* Buffer, uint32_t Count, int32_t& Error) {
  TFileStream32* S = Find(Handle);
  if (!S) {
    Error = -1;
    return 0;
  }
  errno = 0;
  const int32_t N = S->Read(Buffer, static_cast<int32_t>(std::min<uint32_t>(Count, INT32_MAX)));
  const uint32_t Moved = N > 0 ? static_cast<uint32_t>(N) : 0;
  Error = Moved == Count ? 0 : errno;
  return Moved;
}

uint32_t TStreamCabinetFileHandler::Write(intptr_t Handle, const void* Buffer, uint32_t Count,
                                          int32_t& Error) {
  TFileStream32* S = Find(Handle);
  if (!S) {
    Error = -1;
    return 0;
  }
  errno = 0;
  const int32_t N = S->Write(Buffer, static_cast<int32_t>(std::min<uint32_t>(Count, INT32_MAX)));
  const uint32_t Moved = N > 0 ? static_cast<uint32_t>(N) : 0;
  Error = Moved == Count ? 0 : (errno != 0 ? errno : EIO);
  return Moved;
}

int32_t TStreamCabinetFileHandler::Close(intptr_t Handle, int32_t& Error) {
  const auto It = Streams_.find(Handle);
  if (It == Streams_.end()) {
    Error = -1;
    return 0;
  }
  Error = It->second->Close() ? 0 : (errno != 0 ? errno : EIO);
  Streams_.erase(It);
  return 0;
}

int64_t TStreamCabinetFileHandler::Seek(intptr_t Handle, int64_t Distance, int32_t Origin, int32_t& Error) {
  TFileStream32* S = Find(Handle);
  if (!S || Origin < soBeginning || Origin > soEnd) {
    Error = -1;
    return -1;
  }
  int64_t Pos = -1;
  try {
    Pos = S->Seek(Distance, static_cast<TSeekOrigin>(Origin));
  } catch (const EStreamError&) {
    Pos = -1;
  }
  if (Origin == soBeginning && Pos != Distance) Error = errno != 0 ? errno : EINVAL;
  return Pos;
}

void TStreamCabinetFileHandler::Delete(const std::string& Name, int32_t& Error) {
  Error = std::remove(Name.c_str()) == 0 ? 0 : errno;
}
