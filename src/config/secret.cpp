// Wiping memory in a way the optimiser must keep.
#include "config/secret.h"

namespace tralvo {

void WipeMemory(void* data, std::size_t size) noexcept {
  volatile unsigned char* bytes = static_cast<volatile unsigned char*>(data);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = 0;
}

void WipeSecret(std::string& secret) noexcept {
  // resize() within the capacity never allocates, so it cannot throw here;
  // it makes the whole buffer addressable so no stale tail survives.
  secret.resize(secret.capacity());
  WipeMemory(&secret[0], secret.size());
  secret.clear();
}

}  // namespace tralvo
