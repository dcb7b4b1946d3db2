// The fingerprint: four lanes of 64-bit multiply-rotate rounds over
// 32-byte stripes, merged and mixed at the end (the structure of the
// well-known XXH64), several gigabytes a second on one core.
#include "shared/fingerprint.h"

#include <cstring>

#include "shared/short_copy.h"

namespace tralvo {

namespace {

constexpr uint64_t kPrime1 = 0x9E3779B185EBCA87ULL;
constexpr uint64_t kPrime2 = 0xC2B2AE3D27D4EB4FULL;
constexpr uint64_t kPrime3 = 0x165667B19E3779F9ULL;
constexpr uint64_t kPrime4 = 0x85EBCA77C2B2AE63ULL;
constexpr uint64_t kPrime5 = 0x27D4EB2F165667C5ULL;

uint64_t RotateLeft(uint64_t value, int bits) {
  return (value << bits) | (value >> (64 - bits));
}

// Little-endian whatever the machine, so a fingerprint stored on one
// platform holds on another; one load where the machine is little-endian.
uint64_t Read64(const unsigned char* bytes) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  uint64_t value;
  std::memcpy(&value, bytes, sizeof value);
  return value;
#else
  uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = (value << 8) | bytes[i];
  return value;
#endif
}

uint32_t Read32(const unsigned char* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

uint64_t Round(uint64_t lane, uint64_t input) {
  lane += input * kPrime2;
  return RotateLeft(lane, 31) * kPrime1;
}

uint64_t Merge(uint64_t hash, uint64_t lane) {
  hash ^= Round(0, lane);
  return hash * kPrime1 + kPrime4;
}

}  // namespace

Fingerprint::Fingerprint() : lanes_{kPrime1 + kPrime2, kPrime2, 0, 0 - kPrime1}, pending_{} {}

void Fingerprint::Add(std::string_view text) {
  auto bytes = reinterpret_cast<const unsigned char*>(text.data());
  size_t size = text.size();
  length_ += size;
  if (pendingSize_ + size < sizeof pending_) {
    CopyShort(pending_ + pendingSize_, bytes, size);
    pendingSize_ += size;
    return;
  }
  // The lanes in registers for the whole piece, a stripe of 32 bytes
  // taking one round in each.
  uint64_t lane0 = lanes_[0], lane1 = lanes_[1], lane2 = lanes_[2], lane3 = lanes_[3];
  auto stripe = [&](const unsigned char* bytes32) {
    lane0 = Round(lane0, Read64(bytes32));
    lane1 = Round(lane1, Read64(bytes32 + 8));
    lane2 = Round(lane2, Read64(bytes32 + 16));
    lane3 = Round(lane3, Read64(bytes32 + 24));
  };
  if (pendingSize_ > 0) {
    const size_t fill = sizeof pending_ - pendingSize_;
    CopyShort(pending_ + pendingSize_, bytes, fill);
    stripe(pending_);
    bytes += fill;
    size -= fill;
  }
  for (; size >= sizeof pending_; bytes += sizeof pending_, size -= sizeof pending_) stripe(bytes);
  lanes_[0] = lane0;
  lanes_[1] = lane1;
  lanes_[2] = lane2;
  lanes_[3] = lane3;
  CopyShort(pending_, bytes, size);
  pendingSize_ = size;
}

uint64_t Fingerprint::Value() const {
  uint64_t hash;
  if (length_ >= sizeof pending_) {
    hash = RotateLeft(lanes_[0], 1) + RotateLeft(lanes_[1], 7) + RotateLeft(lanes_[2], 12) +
           RotateLeft(lanes_[3], 18);
    for (uint64_t lane : lanes_) hash = Merge(hash, lane);
  } else {
    hash = kPrime5;
  }
  hash += length_;
  const unsigned char* rest = pending_;
  size_t left = pendingSize_;
  for (; left >= 8; rest += 8, left -= 8) {
    hash ^= Round(0, Read64(rest));
    hash = RotateLeft(hash, 27) * kPrime1 + kPrime4;
  }
  if (left >= 4) {
    hash ^= static_cast<uint64_t>(Read32(rest)) * kPrime1;
    hash = RotateLeft(hash, 23) * kPrime2 + kPrime3;
    rest += 4;
    left -= 4;
  }
  for (; left > 0; ++rest, --left) {
    hash ^= *rest * kPrime5;
    hash = RotateLeft(hash, 11) * kPrime1;
  }
  hash ^= hash >> 33;
  hash *= kPrime2;
  hash ^= hash >> 29;
  hash *= kPrime3;
  hash ^= hash >> 32;
  return hash;
}

uint64_t FingerprintOf(std::string_view bytes) {
  Fingerprint fingerprint;
  fingerprint.Add(bytes);
  return fingerprint.Value();
}

}  // namespace tralvo
