// Any text as a stored configuration value: deciphering never fails and
// never yields more than the whole blocks hold; any value that may be
// stored reads back as itself.
#include <cstdint>
#include <string>
#include <string_view>

#include "config/value_cipher.h"
#include "fuzz_check.h"

using namespace tralvo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);

  std::string plain = DecryptConfigValue(text);
  FUZZ_CHECK(plain.size() <= size / 16 * 8);
  FUZZ_CHECK(plain.find('\0') == std::string::npos);

  // The same bytes taken as a plain value.
  if (ConfigValueProblem(text) == ValueProblem::kNone) {
    std::string stored = EncryptConfigValue(text);
    FUZZ_CHECK(StoredValueProblem(stored) == ValueProblem::kNone);
    FUZZ_CHECK(DecryptConfigValue(stored) == text);
  }

  unsigned char bytes[64];
  int count = static_cast<int>(size < sizeof bytes * 2 ? size : sizeof bytes * 2);
  FUZZ_CHECK(HexToBytes(text, count, bytes) == static_cast<size_t>(count / 2));
  return 0;
}
