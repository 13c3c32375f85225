// Method 1 of ZIP, shrunk: LZW with codes of 9 to 13 bits and partial clearing of the code table.
//
// Code 256 is a control code; the code after it says what to do: 1 adds one bit to the code size,
// 2 frees every code that is no other code's parent (a partial clear), so that later strings reuse the lowest
// freed codes first. A code not yet defined is the previous string plus its own first character.
//
// What the decoder checks (each fault raises E_RAISE and ends the entry):
//   - the first code must be a literal, and a control code must be followed by 1 or 2 ("Bad block");
//   - the code size never grows past 13 bits, the largest the table holds ("Bad block");
//   - a string that leads through a freed code, or longer than the 8192-byte stack, is damaged data
//     ("Bad block", "Stack overflow"), so a cycle of parents cannot loop;
//   - output stops at the declared size (TZipOutput).
#pragma once

#include "archive/zip/arlZipBits.h"

// Decodes until Out holds its declared size or the input ends. Raises E_RAISE on damaged data;
// what was decoded before stays in Out for the caller to flush.
void UnShrink(TZipBitReader& In, TZipOutput& Out);
