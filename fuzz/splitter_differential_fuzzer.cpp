// Any bytes as one booking line, split by the splitter and by the
// byte-at-a-time splitter it replaced (tests/support): both must give the
// same result and the same fields, quirks included, also for a line the
// faster one hands over to its byte path halfway, and for the fields left
// before one that is too long. The record the splitter fills carries the
// previous input's fields, as it does from one line to the next.
#include <cstdint>
#include <string_view>

#include "fuzz_check.h"
#include "input/booking_splitter.h"
#include "input/field_list.h"
#include "reference_splitter.h"

using namespace tralvo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view line(reinterpret_cast<const char*>(data), size);
  static FieldList reused;
  FieldList expected;
  SplitResult result = reference::SplitBookingLine(line, expected);
  FUZZ_CHECK(SplitBookingLine(line, reused) == result);
  FUZZ_CHECK(reused.count() == expected.count());
  for (int32_t i = 0; i < expected.count(); ++i) FUZZ_CHECK(reused[i] == expected[i]);
  return 0;
}
