// Fuzz target of cabinet.so: any bytes as a cabinet file, asked whether it is a cabinet and then copied
// with every file decoded into a counting sink. Promises: the library answers through its error record,
// never by a crash or a hang; no file yields more bytes than its declared size; every handle it opens is
// closed again.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/cabinet/CabinetApi.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" {
void* FDICreate(TCabAlloc, TCabFree, TCabOpen, TCabRead, TCabWrite, TCabClose, TCabSeek, int32_t,
                TCabErrorRecord*);
int32_t FDIIsCabinet(void*, intptr_t, TCabinetInfo*);
int32_t FDICopy(void*, const char*, const char*, int32_t, TCabNotify, void*, void*);
int32_t FDIDestroy(void*);
}

namespace {

constexpr intptr_t kSink = 1000000;  // the handle of the output sink, never a file descriptor here
int OpenHandles = 0;
int64_t Written = 0, Declared = 0;

void* Alloc(uint32_t N) { return std::malloc(N); }
void Free(void* P) { std::free(P); }
intptr_t Open(const char* Name, int32_t, int32_t) {
  const int Fd = ::open(Name, O_RDONLY | O_CLOEXEC);
  if (Fd >= 0) ++OpenHandles;
  return Fd;
}
uint32_t Read(intptr_t H, void* Buf, uint32_t N) {
  const ssize_t R = ::read(static_cast<int>(H), Buf, N);
  return R < 0 ? 0xFFFFFFFF : static_cast<uint32_t>(R);
}
uint32_t Write(intptr_t H, const void*, uint32_t N) {
  if (H == kSink) {
    Written += N;
    if (Written > Declared) __builtin_trap();
  }
  return N;
}
int32_t Close(intptr_t H) {
  if (H == kSink) return 0;
  --OpenHandles;
  return ::close(static_cast<int>(H));
}
int64_t Seek(intptr_t H, int64_t Distance, int32_t Origin) {
  return ::lseek(static_cast<int>(H), Distance, Origin);
}

intptr_t Notify(int32_t Type, TCabNotification* N) {
  if (Type == CAB_NOTIFY_COPY_FILE) {
    Written = 0;
    Declared = N->Size;
    return kSink;
  }
  if (Type == CAB_NOTIFY_NEXT_CABINET) return -1;  // a lone file has no set
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, std::size_t Size) {
  const std::string Path = fuzztest::WriteTempFile("input.cab", fuzztest::Input(Data, Size));
  const size_t Slash = Path.rfind('/');
  const std::string Folder = Path.substr(0, Slash + 1), Name = Path.substr(Slash + 1);
  TCabErrorRecord Error{};
  void* Context = FDICreate(Alloc, Free, Open, Read, Write, Close, Seek, -1, &Error);
  if (!Context) __builtin_trap();
  const intptr_t H = Open(Path.c_str(), CAB_OPEN_READ | CAB_OPEN_BINARY, 0);
  TCabinetInfo Info{};
  const bool IsCabinet = H >= 0 && FDIIsCabinet(Context, H, &Info) != 0;
  if (H >= 0) Close(H);
  if (IsCabinet) FDICopy(Context, Name.c_str(), Folder.c_str(), 0, Notify, nullptr, nullptr);
  FDIDestroy(Context);
  if (OpenHandles != 0) __builtin_trap();
  return 0;
}
