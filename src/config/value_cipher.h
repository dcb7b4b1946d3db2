// The stored form of a configuration value: the plain bytes padded with zero
// bytes to whole 8-byte blocks, each block enciphered on its own under the
// built-in key, written as upper-case hexadecimal (16 digits a block).
// Within a block the two 32-bit halves are formed least significant byte
// first; values written by any other tool must follow the same order.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tralvo {

// The built-in cipher key of configuration values.
inline constexpr std::string_view kConfigCipherKey = "PLOVMAR";

// The longest plain value a configuration record can hold: a stored value
// has at most 200 characters, that is 12 whole blocks.
inline constexpr std::size_t kMaxConfigPlainLength = 96;

// Decodes count / 2 bytes (nothing when that is 0 or less) from the first
// digits of text into bytesOut, two digits a byte, high digit first, and
// returns how many bytes it wrote; it never reads beyond text. "A".."F"
// count 10..15 and every other character as (character - '0') in 8 bits, so
// nothing is rejected and lower case gives different bytes; stored files
// depend on exactly this arithmetic.
std::size_t HexToBytes(std::string_view text, int count, unsigned char* bytesOut) noexcept;

// The plain value of a stored text: every whole 16-digit block deciphered,
// the result ending at its first zero byte. Digits after the last whole
// block are ignored. The cipher schedule and every scratch copy are wiped
// before it returns. Never fails; a wrong text simply gives wrong bytes.
std::string DecryptConfigValue(std::string_view hexText,
                               std::string_view key = kConfigCipherKey) noexcept;

// The stored form of plain (any bytes), upper-case hex of whole blocks.
std::string EncryptConfigValue(std::string_view plain,
                               std::string_view key = kConfigCipherKey) noexcept;

// Why a value cannot be stored, or a stored value is not well formed.
enum class ValueProblem {
  kNone,
  kZeroByte,       // a zero byte would end the plain value early
  kPlainTooLong,   // more than kMaxConfigPlainLength bytes do not fit a record
  kNotHexDigit,    // a stored character other than 0-9 and A-F
  kPartialBlock,   // stored digits that are no whole number of blocks
  kStoredTooLong,  // a stored form longer than a record holds
};

// What tralvo-ini tells of a problem; the empty text for kNone.
const char* ValueProblemText(ValueProblem problem) noexcept;

// Why plain cannot be stored as a configuration value (it would not read
// back as itself), or kNone when it can.
ValueProblem ConfigValueProblem(std::string_view plain) noexcept;

// Whether text is a well-formed stored value: upper-case hex digits only,
// whole blocks, at most the length a record holds.
ValueProblem StoredValueProblem(std::string_view text) noexcept;

}  // namespace tralvo
