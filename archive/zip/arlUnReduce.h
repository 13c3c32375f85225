// Methods 2 to 5 of ZIP, reduced with compression factor 1 to 4: bytes coded against follower sets (the
// likely successors of the previous byte), then expanded by a run/copy stage in which byte 144 (DLE)
// introduces a copy from a 4096-byte window.
//
// What the decoder checks (each fault raises E_RAISE and ends the entry):
//   - a follower set holds at most 32 bytes; a larger count in its 6-bit field is "Bad block";
//   - a follower index beyond the set's size is "Bad block";
//   - decoding stops at the declared size: the padding bits of the last byte are never decoded as data,
//     and a copy that would run past the size is "Bad block" (TZipOutput).
#pragma once

#include "archive/zip/arlZipBits.h"

// The window of the copy stage.
constexpr int32_t kReduceWindowSize = 4096;

// Factor: 1 to 4 (the method number less one). Out must have a window of kReduceWindowSize bytes.
// Decodes until Out holds its declared size or the input ends.
void UnReduce(int Factor, TZipBitReader& In, TZipOutput& Out);
