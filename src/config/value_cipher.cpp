// Hex text to blocks and back, each block through the cipher under the key.
#include "config/value_cipher.h"

#include <cstdint>
#include <vector>

#include "config/blowfish.h"
#include "config/secret.h"

namespace tralvo {
namespace {

constexpr std::size_t kBlockBytes = 8;
constexpr std::size_t kBlockDigits = 2 * kBlockBytes;
constexpr std::size_t kMaxStoredLength = 200;

unsigned char DigitValue(unsigned char c) {
  if (c >= 'A' && c <= 'F') return static_cast<unsigned char>(c - 55);
  return static_cast<unsigned char>(c - 48);
}

std::uint32_t LoadHalf(const unsigned char* b) {
  return static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
         static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

void StoreHalf(std::uint32_t word, unsigned char* b) {
  for (int i = 0; i < 4; ++i) b[i] = static_cast<unsigned char>(word >> (8 * i));
}

void SetKey(BlowfishSchedule& schedule, std::string_view key) {
  BlowfishSetKey(schedule, reinterpret_cast<const unsigned char*>(key.data()), key.size());
}

}  // namespace

std::size_t HexToBytes(std::string_view text, int count, unsigned char* bytesOut) noexcept {
  if (count < 2) return 0;
  std::size_t bytes = static_cast<std::size_t>(count / 2);
  if (bytes > text.size() / 2) bytes = text.size() / 2;
  for (std::size_t j = 0; j < bytes; ++j) {
    const unsigned char high = DigitValue(static_cast<unsigned char>(text[2 * j]));
    const unsigned char low = DigitValue(static_cast<unsigned char>(text[2 * j + 1]));
    bytesOut[j] = static_cast<unsigned char>(16 * high + low);
  }
  return bytes;
}

std::string DecryptConfigValue(std::string_view hexText, std::string_view key) noexcept {
  try {
    BlowfishSchedule schedule;
    SetKey(schedule, key);
    const std::size_t blocks = hexText.size() / kBlockDigits;
    std::vector<unsigned char> plain(blocks * kBlockBytes);
    for (std::size_t k = 0; k < blocks; ++k) {
      unsigned char* block = plain.data() + k * kBlockBytes;
      HexToBytes(hexText.substr(k * kBlockDigits, kBlockDigits), kBlockDigits, block);
      std::uint32_t left = LoadHalf(block);
      std::uint32_t right = LoadHalf(block + 4);
      BlowfishDecryptBlock(schedule, left, right);
      StoreHalf(left, block);
      StoreHalf(right, block + 4);
    }
    schedule.Wipe();
    std::size_t length = 0;
    while (length < plain.size() && plain[length] != 0) ++length;
    std::string value(reinterpret_cast<const char*>(plain.data()), length);
    if (!plain.empty()) WipeMemory(plain.data(), plain.size());
    return value;
  } catch (...) {
    // Only allocation can fail here; a value that cannot be held reads as
    // empty, as a missing record would.
    return std::string();
  }
}

std::string EncryptConfigValue(std::string_view plain, std::string_view key) noexcept {
  static const char kDigits[] = "0123456789ABCDEF";
  try {
    BlowfishSchedule schedule;
    SetKey(schedule, key);
    const std::size_t blocks = (plain.size() + kBlockBytes - 1) / kBlockBytes;
    std::string text;
    text.reserve(blocks * kBlockDigits);
    for (std::size_t k = 0; k < blocks; ++k) {
      unsigned char block[kBlockBytes] = {};
      for (std::size_t i = 0; i < kBlockBytes && k * kBlockBytes + i < plain.size(); ++i) {
        block[i] = static_cast<unsigned char>(plain[k * kBlockBytes + i]);
      }
      std::uint32_t left = LoadHalf(block);
      std::uint32_t right = LoadHalf(block + 4);
      BlowfishEncryptBlock(schedule, left, right);
      StoreHalf(left, block);
      StoreHalf(right, block + 4);
      for (unsigned char byte : block) {
        text.push_back(kDigits[byte >> 4]);
        text.push_back(kDigits[byte & 0x0F]);
      }
      WipeMemory(block, sizeof block);
    }
    return text;
  } catch (...) {
    return std::string();
  }
}

const char* ValueProblemText(ValueProblem problem) noexcept {
  switch (problem) {
    case ValueProblem::kNone:
      break;
    case ValueProblem::kZeroByte:
      return "the value contains a zero byte";
    case ValueProblem::kPlainTooLong:
      return "the value is longer than 96 bytes";
    case ValueProblem::kNotHexDigit:
      return "the stored form holds a character other than 0-9 and A-F";
    case ValueProblem::kPartialBlock:
      return "the stored form is not a whole number of blocks";
    case ValueProblem::kStoredTooLong:
      return "the stored form is longer than 200 characters";
  }
  return "";
}

ValueProblem ConfigValueProblem(std::string_view plain) noexcept {
  if (plain.find('\0') != std::string_view::npos) return ValueProblem::kZeroByte;
  if (plain.size() > kMaxConfigPlainLength) return ValueProblem::kPlainTooLong;
  return ValueProblem::kNone;
}

ValueProblem StoredValueProblem(std::string_view text) noexcept {
  for (char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return ValueProblem::kNotHexDigit;
  if (text.size() % kBlockDigits != 0) return ValueProblem::kPartialBlock;
  if (text.size() > kMaxStoredLength) return ValueProblem::kStoredTooLong;
  return ValueProblem::kNone;
}

}  // namespace tralvo
