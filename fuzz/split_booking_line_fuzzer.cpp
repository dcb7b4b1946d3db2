// Any bytes as one booking line: the splitter must stay inside the line,
// keep every field within its limit and give the same record whether the
// record it fills is fresh or left over from a longer line.
#include <cstdint>
#include <string_view>

#include "fuzz_check.h"
#include "input/booking_splitter.h"
#include "input/field_list.h"

using namespace tralvo;

namespace {

// The longest record any line could yield: a field starts at the line's
// start, after a comma, or right after a closing quote.
int32_t MaxFields(std::string_view line) {
  int32_t starts = 1;
  for (char c : line) starts += c == ',' || c == '"';
  return starts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view line(reinterpret_cast<const char*>(data), size);
  static FieldList reused;  // carries the previous input's fields
  FieldList fresh;
  SplitResult result = SplitBookingLine(line, fresh);
  FUZZ_CHECK(SplitBookingLine(line, reused) == result);

  FUZZ_CHECK(result == SplitResult::kNone || result == SplitResult::kRecord ||
             result == SplitResult::kFieldTooLong);
  FUZZ_CHECK((result == SplitResult::kRecord) ==
             (fresh.count() > 0 && result != SplitResult::kFieldTooLong));
  if (result != SplitResult::kRecord) return 0;

  FUZZ_CHECK(fresh.count() <= MaxFields(line));
  FUZZ_CHECK(reused.count() == fresh.count());
  for (int32_t i = 0; i < fresh.count(); ++i) {
    std::string_view field = fresh[i];
    FUZZ_CHECK(field.size() <= kMaxFieldLength);
    FUZZ_CHECK(field.size() <= line.size());
    // A line ends at its first line end or zero byte; nothing after it
    // may reach a field.
    FUZZ_CHECK(field.find_first_of(std::string_view("\0\r\n", 3)) == std::string_view::npos);
    FUZZ_CHECK(reused[i] == field);
  }
  FUZZ_CHECK(fresh[fresh.count()].empty() && fresh[-1].empty());
  return 0;
}
