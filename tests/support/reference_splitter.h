// The line splitter as it was before it classified bytes in blocks: one
// byte at a time, through a table. Kept apart from the tool's code as the
// oracle the faster splitter is checked against, quirks included, by the
// tests and by a fuzz target.
#pragma once

#include <string_view>

#include "input/booking_splitter.h"
#include "input/field_list.h"

namespace reference {

tralvo::SplitResult SplitBookingLine(std::string_view line, tralvo::FieldList& record);

}  // namespace reference
