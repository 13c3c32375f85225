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
  for (int I = 0; I < 4; ++I) P[I] = static_cast<uint8_t>(V >> (8 * I));
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
  for (int I = 0; I < 15; ++I) W[I] = Le32(Block + 4 * I);
  W[15] = static_cast<uint32_t>(Length) << 3;
  for (int I = 16; I < 80; ++I) W[I] = W[I - 16] ^ W[I - 14] ^ W[I - 8] ^ W[I - 3];
  static const uint32_t kInit[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
  uint32_t A = kInit[0], B = kInit[1], C = kInit[2], D = kInit[3], E = kInit[4];
  for (int I = 0; I < 80; ++I) {
    uint32_t Fn, K;
    if (I < 20) {
      Fn = (B & C) | (~B & D);
      K = 0x5A827999;
    } else if (I < 40) {
      Fn = B ^ C ^ D;
      K = 0x6ED9EBA1;
    } else if (I < 60) {
      Fn = (B & C) | (B & D) | (C & D);
      K = 0x8F1BBCDC;
    } else {
      Fn = B ^ C ^ D;
      K = 0xCA62C1D6;
    }
    const uint32_t T = Rotl(A, 5) + Fn + E + W[I] + K;
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
  for (int I = 0; I < 18; ++I) P_[I] = kBlowfishP[I] ^ Key[I % 5];
  std::memcpy(S_, kBlowfishS, sizeof(S_));
  uint32_t L = 0, R = 0;
  for (int I = 0; I < 18; I += 2) {
    EncryptBlock(L, R);
    P_[I] = L;
    P_[I + 1] = R;
  }
  for (auto& Box : S_)
    for (int J = 0; J < 256; J += 2) {
      EncryptBlock(L, R);
      Box[J] = L;
      Box[J + 1] = R;
    }
}

void TAceBlowfish::EncryptBlock(uint32_t& L, uint32_t& R) const {
  for (int I = 0; I < 16; I += 2) {
    L ^= P_[I];
    R ^= F(L);
    R ^= P_[I + 1];
    L ^= F(R);
  }
  L ^= P_[16];
  R ^= P_[17];
  std::swap(L, R);
}

void TAceBlowfish::DecryptBlock(uint32_t& L, uint32_t& R) const {
  for (int I = 16; I > 0; I -= 2) {
    L ^= P_[I + 1];
    R ^= F(L);
    R ^= P_[I];
    L ^= F(R);
  }
  L ^= P_[1];
  R ^= P_[0];
  std::swap(L, R);
}

void TAceBlowfish::DecryptCbc(uint8_t* Data, size_t N) {
  for (size_t I = 0; I + 8 <= N; I += 8) {
    const uint32_t CL = Le32(Data + I), CR = Le32(Data + I + 4);
    uint32_t L = CL, R = CR;
    DecryptBlock(L, R);
    PutLe32(Data + I, L ^ ChainL_);
    PutLe32(Data + I + 4, R ^ ChainR_);
    ChainL_ = CL;
    ChainR_ = CR;
  }
}

size_t TAceDecryptingSource::Read(uint8_t* Buf, size_t N) {
  size_t Done = 0;
  while (Done < N) {
    if (BlockPos_ == 8) {
      if (Ended_) break;
      size_t Got = 0;
      while (Got < 8) {
        const size_t R = In_.Read(Block_ + Got, 8 - Got);
        if (R == 0) break;
        Got += R;
      }
      if (Got == 0) {
        Ended_ = true;
        break;
      }
      if (Got < 8) {
        std::fill(Block_ + Got, Block_ + 8, 0);
        Ended_ = true;
      }
      Cipher_.DecryptCbc(Block_, 8);
      BlockPos_ = 0;
    }
    const size_t Take = std::min(N - Done, size_t{8} - BlockPos_);
    std::memcpy(Buf + Done, Block_ + BlockPos_, Take);
    BlockPos_ += Take;
    Done += Take;
  }
  return Done;
}
