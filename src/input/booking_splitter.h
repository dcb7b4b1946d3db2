// The line splitter: one line of the booking file to one booking record.
//
// Fields are separated by commas and may be enclosed in double quotes, in
// which a comma is an ordinary character and two double quotes stand for
// one. A line ends at a line feed, a carriage return or a zero byte. There
// is no syntax error; every line yields a record or, when it holds no
// field at all, none.
#pragma once

#include <string_view>

#include "input/field_list.h"

namespace tralvo {

// The longest field a booking record can hold.
inline constexpr size_t kMaxFieldLength = 249;

enum class SplitResult {
  kNone,          // the line holds no field
  kRecord,        // record holds the fields
  kFieldTooLong,  // a field exceeds kMaxFieldLength
};

// Splits line into record, which is emptied first. A field longer than
// kMaxFieldLength makes the whole line malformed rather than cutting the
// value, because a cut badge number or date would be transferred as a
// different booking.
SplitResult SplitBookingLine(std::string_view line, FieldList& record);

}  // namespace tralvo
