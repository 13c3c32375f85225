// UnAceV2.so: the entry points of UnAceApi.h without an ACE decoder. Each archive operation opens the
// archive, checks that an ACE main header is there (its "**ACE**" mark at offset 7 of the header, within
// the first MaxArchiveTestBytes bytes), and answers ACE_ERROR_NO_DECODER; nothing is called back and
// nothing is written.
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "platform/unace/UnAceApi.h"

namespace {

constexpr uint32_t kDefaultTestBytes = 0x1FFFF;
uint32_t TestBytes = kDefaultTestBytes;

int CheckArchive(const char* Name) {
  if (!Name) return ACE_ERROR_PARAMETER;
  const int Fd = ::open(Name, O_RDONLY | O_CLOEXEC);
  if (Fd < 0) return ACE_ERROR_OPEN;
  std::vector<char> Buf(TestBytes);
  const ssize_t N = ::pread(Fd, Buf.data(), Buf.size(), 0);
  ::close(Fd);
  static const char kMark[] = "**ACE**";
  for (ssize_t i = 7; N > 0 && i + 7 <= N; ++i)
    if (std::memcmp(&Buf[static_cast<size_t>(i)], kMark, 7) == 0) return ACE_ERROR_NO_DECODER;
  return ACE_ERROR_NOT_ACE;
}

}  // namespace

extern "C" {

int ACEInitDll(TAceInitData* Data) {
  if (!Data) return ACE_ERROR_PARAMETER;
  TestBytes = Data->MaxArchiveTestBytes ? Data->MaxArchiveTestBytes : kDefaultTestBytes;
  return ACE_OK;
}

int ACEReadArchiveData(const char* ArchiveName, TAceArchiveData*) { return CheckArchive(ArchiveName); }

int ACEList(const char* ArchiveName, void*) { return CheckArchive(ArchiveName); }

int ACETest(const char* ArchiveName, TAceTestData* Data) {
  return Data ? CheckArchive(ArchiveName) : ACE_ERROR_PARAMETER;
}

int ACEExtract(const char* ArchiveName, TAceExtractData* Data) {
  return Data ? CheckArchive(ArchiveName) : ACE_ERROR_PARAMETER;
}

}  // extern "C"
