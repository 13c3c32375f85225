#include "archive/arc/arlCrc16Item.h"

#include "archive/arlBase.h"

void ExtractCrc16Item(TUnBase& Owner, TStream32& Stream, int64_t DataPos, uint16_t Crc,
                      const TLzhDecodeFn& Decode) {
  const TArlItem& Item = Owner.Item;
  if (!Owner.BeginItem(false)) {
    Owner.ProgressDone(Item);
    return;
  }
  if (!Owner.OpenOutput(Item.Name, Owner.CurrentOutputName)) {  // reported; the entry is not written
    --Owner.FileIndex;
    return;
  }
  Owner.Crc16Reg = 0;
  const bool Decoded =
      DecodeItemData(Owner, Stream, DataPos, Item.PackedSize, Item.UnpackedSize, ckCrc16, false, Decode);
  Owner.CloseOutput(faArchive, Item.DosDateTime, Owner.CurrentOutputName);
  // A failed decoding must not pass the check by a chance match of the CRC.
  if (!Decoded) Owner.Crc16Reg = static_cast<uint16_t>(~Crc ^ 1);
  Owner.CheckCrc(ckCrc16, Crc);
}
