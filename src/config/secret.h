// Wiping secrets. The connection settings and the cipher state must not
// outlive their use in memory; an ordinary memset or clear() before the
// memory goes out of use may be removed by the optimiser, these are not.
#pragma once

#include <cstddef>
#include <string>

namespace tralvo {

// Sets size bytes at data to zero through volatile stores.
void WipeMemory(void* data, std::size_t size) noexcept;

// Zeroes every byte of the string's buffer, its spare capacity included,
// and leaves the string empty.
void WipeSecret(std::string& secret) noexcept;

}  // namespace tralvo
