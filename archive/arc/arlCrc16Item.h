// The per-item steps that the ARC and ZOO readers share for an entry whose data a decode function
// produces and whose header keeps the CRC-16 of the decoded bytes: the decision (BeginItem), the output,
// the decoding through the shared item step (arlLzhItem), the date, and the CRC check.
#pragma once

#include <cstdint>

#include "archive/lzh/arlLzhItem.h"

class TUnBase;
class TStream32;

// Extracts the current item of Owner (Item and CurrentOutputName are set): its PackedSize bytes at
// DataPos of Stream go through Decode (a stored copy when Decode is empty) into UnpackedSize bytes, which
// must match Crc. An item that BeginItem declines only advances progress; one whose output cannot be
// opened is reported and not counted; one whose decoding fails cannot pass the check.
void ExtractCrc16Item(TUnBase& Owner, TStream32& Stream, int64_t DataPos, uint16_t Crc,
                      const TLzhDecodeFn& Decode);
