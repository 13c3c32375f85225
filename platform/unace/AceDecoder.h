// The ACE decompressor: turns one item's compressed bytes into its data, by the item's method (stored,
// ACE 1.0 LZ77, or ACE 2.0 blocks that switch between LZ77, delta, exe, sound and picture modes).
// Knows nothing of archives: the caller supplies the bytes (decrypted and joined across volumes) and
// the declared size, and receives the data in pieces.
//
// One decoder serves one archive run; items of a solid archive go through it in order, so that each
// one sees the window its predecessors left. Not for use by two threads at once.
//
// What is checked: output never exceeds the declared size; every mode's own checks (AceLz77.h,
// AceSound.h, AcePic.h); a delta block's sizes agree (distance 1..255 dividing a non-zero length); a
// step that produces nothing and switches no mode fails instead of looping; an unknown method or mode
// fails. Errors are thrown as TAceDataError.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/unace/AceBits.h"
#include "platform/unace/AceLz77.h"
#include "platform/unace/AcePic.h"
#include "platform/unace/AceSound.h"

enum TAceMethod : uint8_t { amStored = 0, amLz77 = 1, amBlocked = 2 };

class TAceDecoder {
 public:
  // Receives a piece of decoded data; answers false to stop.
  using TSink = std::function<bool(const uint8_t* Data, size_t Length)>;
  // The largest piece handed to the sink.
  static constexpr size_t kChunk = 1u << 16;

  TAceDecoder();
  // Decodes one item of Size bytes. Answers false when the sink stopped it.
  bool Decode(TAceSource& In, uint8_t Method, uint64_t Size, const TSink& Sink);

 private:
  bool DecodeStored(TAceSource& In, uint64_t Size, const TSink& Sink);
  bool DecodeLz77(TAceSource& In, uint64_t Size, const TSink& Sink);
  bool DecodeBlocked(TAceSource& In, uint64_t Size, const TSink& Sink);

  std::unique_ptr<TAceLz77> Lz77_;
  std::unique_ptr<TAceSound> Sound_;
  std::unique_ptr<TAcePic> Pic_;
};
