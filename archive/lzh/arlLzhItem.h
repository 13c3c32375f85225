// Runs one of the LZ decoders over the current item of an archive-library component: the compressed bytes
// come through the component's ReadBlock (deciphered when asked, progress counted per block), the decoded
// bytes go through its WriteBlock with the CRC of the item's kind. Shared by the ARJ, LHA and ZOO readers.
#pragma once

#include <cstdint>
#include <functional>

#include "archive/lzh/arlLzhBits.h"

class TZipCommon;
class TUnBase;
class TStream32;

// One decoder's Decode, bound to its object.
using TLzhDecodeFn = std::function<TLzhResult(const TLzhSource& Source, int64_t PackedSize,
                                              int64_t UnpackedSize, const TLzhSink& Sink)>;

// Decodes PackedSize bytes at In's position into the component's output, the CRC register of CrcKind
// fed with every byte written. Exceptions of the output (a failed write) pass on.
TLzhResult DecodeLzhItem(TZipCommon& Owner, TStream32* In, int64_t PackedSize, int64_t UnpackedSize,
                         int CrcKind, bool Decrypt, const TLzhDecodeFn& Decode);

// Moves In to DataPos and produces the current item's bytes into the owner's output through Decode, or
// as a stored copy when Decode is empty. Every failure (a read error, data that ends early, a failed
// decoding, a failed write) is reported through the owner's DoError under the item's name; true when
// all the bytes came.
bool DecodeItemData(TUnBase& Owner, TStream32& In, int64_t DataPos, int64_t PackedSize, int64_t UnpackedSize,
                    int CrcKind, bool Decrypt, const TLzhDecodeFn& Decode);

// The library's error code for a failed decoding: "Bad Huffman code", "Corrupt input", or "Error reading
// file or unexpected end of file"; 0 for lrOk.
int32_t LzhResultError(TLzhResult Result);
