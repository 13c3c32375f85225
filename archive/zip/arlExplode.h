// Method 6 of ZIP, imploded: literals and copies from a sliding window, coded with two or three
// Shannon-Fano trees that the entry transmits in front of its data.
//
// Flag bit 1 of the entry selects the 8192-byte window (7 low distance bits) over the 4096-byte one (6);
// flag bit 2 adds a literal tree (three trees, shortest copy 3) to the length and distance trees (two
// trees, literals as 8 raw bits, shortest copy 2).
//
// What the decoder checks (each fault raises E_RAISE and ends the entry):
//   - a transmitted tree gives exactly one bit length per symbol (256 or 64): more or fewer lengths,
//     codes that collide, or a path through a symbol are "Ambiguous Shannon-Fano decode tree
//     encountered"; a code that reaches an empty branch while decoding is the same;
//   - copies reach back at most the window; decoding stops at the declared size (TZipOutput).
#pragma once

#include <cstdint>

#include "archive/zip/arlZipBits.h"

// General-purpose flag bits of the method.
constexpr uint16_t kImplodeBigWindowFlag = 0x0002;
constexpr uint16_t kImplodeLiteralTreeFlag = 0x0004;

// The window an imploded entry with these flags needs.
int32_t ExplodeWindowSize(uint16_t Flags);

// Decodes until Out holds its declared size or the input ends. Out must have a window of
// ExplodeWindowSize(Flags) bytes.
void Explode(uint16_t Flags, TZipBitReader& In, TZipOutput& Out);
