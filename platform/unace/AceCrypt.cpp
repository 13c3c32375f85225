#include "platform/unace/AceCrypt.h"

#include <algorithm>
#include <cstring>

namespace {
#include "platform/unace/AceBlowfishTables.inc"

uint32_t Rotl(uint32_t V, int N) { return (V << N) | (V >> (32 - N)); }
uint32_t Le32(const uint8_t* P) {
  return static_cast<uint32_t>(P[0]) | (static_cast<uint32_t>(P[1]) << 8) |
         (static_cast<uint32_t>(P[2]) << 16) | (static_cast<uint32_t>(P[3]) << 24);
}
void PutLe32(uint8_t* P, uint32_t V) {
  for (int i = 0; i < 4; ++i) P[i] = static_cast<uint8_t>(V >> (8 * i));
}

}  // namespace

std::array<uint32_t, 5> AceDeriveKey(const std::string& Password) {
  // One block: the password, an end mark, zeros, and the password's length in bits in the last word;
  // words are read little-endian and the schedule does not rotate.
  const size_t Length = std::min(Password.size(), TAceBlowfish::kMaxPassword);
  uint8_t Block[60] = {};
  std::memcpy(Block, Password.data(), Length);
  Block[Length] = 0x80;
  uint32_t W[80];
  for (int i = 0; i < 15; ++i) W[i] = Le32(Block + 4 * i);
  W[15] = static_cast<uint32_t>(Length) << 3;
  for (int i = 16; i < 80; ++i) W[i] = W[i - 16] ^ W[i - 14] ^ W[i - 8] ^ W[i - 3];
  static const uint32_t kInit[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
  uint32_t A = kInit[0], B = kInit[1], C = kInit[2], D = kInit[3], E = kInit[4];
  for (int i = 0; i < 80; ++i) {
    uint32_t Fn, K;
    if (i < 20) {
      Fn = (B & C) | (~B & D);
      K = 0x5A827999;
    } else if (i < 40) {
      Fn = B ^ C ^ D;
      K = 0x6ED9EBA1;
    } else if (i < 60) {
      Fn = (B & C) | (B & D) | (C & D);
      K = 0x8F1BBCDC;
    } else {
      Fn = B ^ C ^ D;
      K = 0xCA62C1D6;
    }
    const uint32_t T = Rotl(A, 5) + Fn + E + W[i] + K;
    E = D;
    D = C;
    C = Rotl(B, 30);
    B = A;
    A = T;
  }
  return {A + kInit[0], B + kInit[1], C + kInit[2], D + kInit[3], E + kInit[4]};
}

TAceBlowfish::TAceBlowfish(const std::string& Password) : TAceBlowfish(AceDeriveKey(Password).data()) {}

TAceBlowfish::TAceBlowfish(const uint32_t Key[5]) {
  for (int i = 0; i < 18; ++i) P[i] = kBlowfishP[i] ^ Key[i % 5];
  std::memcpy(S, kBlowfishS, sizeof(S));
  uint32_t L = 0, R = 0;
  for (int i = 0; i < 18; i += 2) {
    EncryptBlock(L, R);
    P[i] = L;
    P[i + 1] = R;
  }
  for (auto& Box : S)
    for (int j = 0; j < 256; j += 2) {
      EncryptBlock(L, R);
      Box[j] = L;
      Box[j + 1] = R;
    }
}

void TAceBlowfish::EncryptBlock(uint32_t& L, uint32_t& R) const {
  for (int i = 0; i < 16; i += 2) {
    L ^= P[i];
    R ^= F(L);
    R ^= P[i + 1];
    L ^= F(R);
  }
  L ^= P[16];
  R ^= P[17];
  std::swap(L, R);
}

void TAceBlowfish::DecryptBlock(uint32_t& L, uint32_t& R) const {
  for (int i = 16; i > 0; i -= 2) {
    L ^= P[i + 1];
    R ^= F(L);
    R ^= P[i];
    L ^= F(R);
  }
  L ^= P[1];
  R ^= P[0];
  std::swap(L, R);
}

void TAceBlowfish::DecryptCbc(uint8_t* Data, size_t N) {
  for (size_t i = 0; i + 8 <= N; i += 8) {
    const uint32_t CL = Le32(Data + i), CR = Le32(Data + i + 4);
    uint32_t L = CL, R = CR;
    DecryptBlock(L, R);
    PutLe32(Data + i, L ^ ChainL);
    PutLe32(Data + i + 4, R ^ ChainR);
    ChainL = CL;
    ChainR = CR;
  }
}

size_t TAceDecryptingSource::Read(uint8_t* Buf, size_t N) {
  size_t Done = 0;
  while (Done < N) {
    if (BlockPos == 8) {
      if (Ended) break;
      size_t Got = 0;
      while (Got < 8) {
        const size_t R = In.Read(Block + Got, 8 - Got);
        if (R == 0) break;
        Got += R;
      }
      if (Got == 0) {
        Ended = true;
        break;
      }
      if (Got < 8) {
        std::fill(Block + Got, Block + 8, 0);
        Ended = true;
      }
      Cipher.DecryptCbc(Block, 8);
      BlockPos = 0;
    }
    const size_t Take = std::min(N - Done, size_t{8} - BlockPos);
    std::memcpy(Buf + Done, Block + BlockPos, Take);
    BlockPos += Take;
    Done += Take;
  }
  return Done;
}
