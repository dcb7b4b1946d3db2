// The 64-bit block cipher (16 rounds) that protects configuration values.
// Only the single-block operations and the key schedule live here; how a
// value becomes blocks and text is in value_cipher.h.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tralvo {

inline constexpr int kBlowfishSubkeys = 18;
inline constexpr int kBlowfishBoxes = 4;
inline constexpr int kBlowfishBoxSize = 256;

// The initial subkeys and substitution boxes (digits of pi).
extern const std::uint32_t kBlowfishInitialP[kBlowfishSubkeys];
extern const std::uint32_t kBlowfishInitialS[kBlowfishBoxes][kBlowfishBoxSize];

// The keyed cipher state: subkeys P[0..17], then boxes S0..S3. The owner
// builds it with BlowfishSetKey and is responsible for wiping it; the
// destructor does so as well, so key material never outlives the object.
struct BlowfishSchedule {
  std::uint32_t p[kBlowfishSubkeys];
  std::uint32_t s[kBlowfishBoxes][kBlowfishBoxSize];

  BlowfishSchedule() noexcept;
  ~BlowfishSchedule();
  BlowfishSchedule(const BlowfishSchedule&) = delete;
  BlowfishSchedule& operator=(const BlowfishSchedule&) = delete;

  // Sets every word to zero.
  void Wipe() noexcept;
};

// Builds the schedule from the initial tables and the key bytes, cycling
// through the key. An empty key leaves the subkeys at their initial values
// (the cycle has nothing to contribute) instead of dividing by zero.
void BlowfishSetKey(BlowfishSchedule& schedule, const unsigned char* keyBytes,
                    std::size_t keyLength) noexcept;

void BlowfishEncryptBlock(const BlowfishSchedule& schedule, std::uint32_t& left,
                          std::uint32_t& right) noexcept;
void BlowfishDecryptBlock(const BlowfishSchedule& schedule, std::uint32_t& left,
                          std::uint32_t& right) noexcept;

// The round function.
std::uint32_t BlowfishF(const BlowfishSchedule& schedule, std::uint32_t x) noexcept;

}  // namespace tralvo
