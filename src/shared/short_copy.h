// Copies of a few bytes on the paths taken for every line: a library call
// per copy would cost more than the line's other work there.
#pragma once

#include <cstddef>
#include <cstring>

namespace tralvo {

// Copies n bytes, at most 32, with two fixed-size copies that may overlap,
// each within the bytes copied.
[[gnu::always_inline]] inline void CopyShort(void* to, const void* from, size_t n) {
  auto* out = static_cast<unsigned char*>(to);
  auto* in = static_cast<const unsigned char*>(from);
  if (n >= 16) {
    std::memcpy(out, in, 16);
    std::memcpy(out + n - 16, in + n - 16, 16);
  } else if (n >= 8) {
    std::memcpy(out, in, 8);
    std::memcpy(out + n - 8, in + n - 8, 8);
  } else if (n >= 4) {
    std::memcpy(out, in, 4);
    std::memcpy(out + n - 4, in + n - 4, 4);
  } else if (n > 0) {
    out[0] = in[0];
    out[n / 2] = in[n / 2];
    out[n - 1] = in[n - 1];
  }
}

}  // namespace tralvo
