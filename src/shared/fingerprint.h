// A fast 64-bit fingerprint of a byte stream, fed in pieces of any size:
// the same bytes give the same value however they were cut up. It tells
// whether a file still begins with the bytes seen before without keeping
// them, and names a long identifier by a short, stable token. Not for
// secrets: anyone can make two inputs with one fingerprint on purpose.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tralvo {

class Fingerprint {
 public:
  Fingerprint();
  // Takes the next bytes of the stream.
  void Add(std::string_view bytes);
  // The fingerprint of every byte taken so far; taking more goes on from
  // there.
  uint64_t Value() const;
  // How many bytes were taken.
  uint64_t length() const { return length_; }

 private:
  uint64_t lanes_[4];
  uint64_t length_ = 0;
  // Bytes of an unfinished stripe.
  unsigned char pending_[32];
  size_t pendingSize_ = 0;
};

// The fingerprint of bytes taken at once.
uint64_t FingerprintOf(std::string_view bytes);

}  // namespace tralvo
