#include "platform/unrar/UnarrLog.h"

#include <unarr.h>

#include <cstdio>
#include <mutex>

#include "platform/unrar/LibrarySlots.h"

namespace unrar {

namespace {

ssize_t DropWrite(void*, const char*, size_t Size) { return static_cast<ssize_t>(Size); }

// The stream libunarr writes to instead of stderr; unbuffered, so a line is handed over (and dropped)
// in the thread that writes it.
FILE* QuietStream = nullptr;

bool Install() {
  // Only a slot that holds what this program knows as stderr is changed.
  void** Slot = nullptr;
  for (void** S : LibrarySlots(reinterpret_cast<const void*>(&ar_open_rar_archive), "stderr"))
    if (*S == static_cast<void*>(&stderr)) Slot = S;
  if (!Slot) return false;
  cookie_io_functions_t Io{};
  Io.write = DropWrite;
  QuietStream = fopencookie(nullptr, "w", Io);
  if (!QuietStream) return false;
  setvbuf(QuietStream, nullptr, _IONBF, 0);
  return SetLibrarySlot(reinterpret_cast<const void*>(&ar_open_rar_archive), Slot,
                        static_cast<void*>(&QuietStream));
}

}  // namespace

bool QuietUnarrLog() {
  static std::once_flag Once;
  static bool Done = false;
  std::call_once(Once, [] { Done = Install(); });
  return Done;
}

}  // namespace unrar
