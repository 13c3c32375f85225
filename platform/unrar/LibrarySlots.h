// The global offset table of a decoding library loaded with UnRar3.so (libunarr, libarchive): the slots
// through which the library's code reaches the C library, found by the symbol they are bound to. These
// are packaged builds with no settings for where they write or how they allocate; pointing one of their
// slots elsewhere changes what that library's own code reaches and nothing else in the process.
#pragma once

#include <vector>

namespace unrar {

// The slots of the table of the library that holds Code (any of its functions) bound to Symbol (a
// variable or a function), in the relocation tables' order; empty when nothing of the library refers to
// Symbol.
std::vector<void**> LibrarySlots(const void* Code, const char* Symbol);

// Writes Value into Slot of the library that holds Code; a slot in the range the loader made read-only
// after relocation is made writable for the moment. False when the page cannot be made writable.
bool SetLibrarySlot(const void* Code, void** Slot, void* Value);

}  // namespace unrar
