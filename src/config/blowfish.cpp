// The cipher rounds and key schedule over the tables of blowfish_tables.cpp.
#include "config/blowfish.h"

#include <utility>

#include "config/secret.h"

namespace tralvo {

BlowfishSchedule::BlowfishSchedule() noexcept : p{}, s{} {}

BlowfishSchedule::~BlowfishSchedule() {
  Wipe();
}

void BlowfishSchedule::Wipe() noexcept {
  WipeMemory(p, sizeof p);
  WipeMemory(s, sizeof s);
}

std::uint32_t BlowfishF(const BlowfishSchedule& schedule, std::uint32_t x) noexcept {
  const std::uint32_t a = schedule.s[0][(x >> 24) & 0xFF];
  const std::uint32_t b = schedule.s[1][(x >> 16) & 0xFF];
  const std::uint32_t c = schedule.s[2][(x >> 8) & 0xFF];
  const std::uint32_t d = schedule.s[3][x & 0xFF];
  return ((a + b) ^ c) + d;
}

void BlowfishEncryptBlock(const BlowfishSchedule& schedule, std::uint32_t& left,
                          std::uint32_t& right) noexcept {
  std::uint32_t l = left;
  std::uint32_t r = right;
  for (int i = 0; i < 16; ++i) {
    l ^= schedule.p[i];
    r ^= BlowfishF(schedule, l);
    std::swap(l, r);
  }
  std::swap(l, r);
  r ^= schedule.p[16];
  l ^= schedule.p[17];
  left = l;
  right = r;
}

void BlowfishDecryptBlock(const BlowfishSchedule& schedule, std::uint32_t& left,
                          std::uint32_t& right) noexcept {
  std::uint32_t l = left;
  std::uint32_t r = right;
  for (int i = 17; i > 1; --i) {
    l ^= schedule.p[i];
    r ^= BlowfishF(schedule, l);
    std::swap(l, r);
  }
  std::swap(l, r);
  r ^= schedule.p[1];
  l ^= schedule.p[0];
  left = l;
  right = r;
}

void BlowfishSetKey(BlowfishSchedule& schedule, const unsigned char* keyBytes,
                    std::size_t keyLength) noexcept {
  for (int box = 0; box < kBlowfishBoxes; ++box) {
    for (int i = 0; i < kBlowfishBoxSize; ++i) schedule.s[box][i] = kBlowfishInitialS[box][i];
  }
  std::size_t position = 0;
  for (int i = 0; i < kBlowfishSubkeys; ++i) {
    std::uint32_t word = 0;
    if (keyLength > 0) {
      for (int k = 0; k < 4; ++k) {
        word = (word << 8) | keyBytes[position];
        position = (position + 1) % keyLength;
      }
    }
    schedule.p[i] = kBlowfishInitialP[i] ^ word;
  }
  std::uint32_t left = 0;
  std::uint32_t right = 0;
  for (int i = 0; i < kBlowfishSubkeys; i += 2) {
    BlowfishEncryptBlock(schedule, left, right);
    schedule.p[i] = left;
    schedule.p[i + 1] = right;
  }
  for (int box = 0; box < kBlowfishBoxes; ++box) {
    for (int i = 0; i < kBlowfishBoxSize; i += 2) {
      BlowfishEncryptBlock(schedule, left, right);
      schedule.s[box][i] = left;
      schedule.s[box][i + 1] = right;
    }
  }
  WipeMemory(&left, sizeof left);
  WipeMemory(&right, sizeof right);
}

}  // namespace tralvo
