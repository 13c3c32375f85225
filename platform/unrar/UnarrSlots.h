// libunarr's global offset table: the slots through which its code reaches the C library, found by the
// symbol they are bound to. The library is a packaged build with no settings for where it writes or how it
// allocates; pointing one of its slots elsewhere changes what libunarr's own code reaches and nothing
// else in the process.
#pragma once

#include <vector>

namespace unrar {

// The slots of libunarr's table bound to Symbol (a variable or a function), in the relocation tables'
// order; empty when libunarr is not loaded or nothing of its refers to Symbol.
std::vector<void**> UnarrSlots(const char* Symbol);

// Writes Value into Slot; a slot in the range the loader made read-only after relocation is made
// writable for the moment. False when the page cannot be made writable.
bool SetUnarrSlot(void** Slot, void* Value);

}  // namespace unrar
