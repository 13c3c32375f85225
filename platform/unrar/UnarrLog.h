// libunarr's diagnostics kept off the program's standard error.
//
// libunarr writes a line to stderr for every header it finds odd and every item whose data does not
// decode ("! uncompress-rar.c:24: ..."), from inside the library, with no setting to turn it off in the
// packaged build. The library reads the C library's `stderr` variable through one slot of its own global
// offset table; QuietUnarrLog points that one slot at a stream whose writes go nowhere. The program's
// standard error and every other library's writes to it are untouched, and nothing is swapped around a
// call, so threads that decode at the same time need no lock: the slot is set once, before the first call
// into the library, and never again. What the lines say reaches the caller as the item's result code.
#pragma once

namespace unrar {

// Sets the slot once (later calls do nothing); false when libunarr's slot was not found, in which case its
// lines still go to the standard error.
bool QuietUnarrLog();

}  // namespace unrar
