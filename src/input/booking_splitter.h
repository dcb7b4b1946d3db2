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

// Results of SplitBookingLine.
inline constexpr int kSplitNone = 0;          // the line holds no field
inline constexpr int kSplitRecord = 1;        // record holds the fields
inline constexpr int kSplitFieldTooLong = 2;  // a field exceeds kMaxFieldLength

// Splits line into record, which is emptied first. A field longer than
// kMaxFieldLength makes the whole line malformed rather than cutting the
// value, because a cut badge number or date would be transferred as a
// different booking.
int SplitBookingLine(std::string_view line, FieldList& record);

}  // namespace tralvo
