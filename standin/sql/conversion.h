// Conversions between the server's data types as CONVERT and the
// assignment of a value to a column perform them, with the server's
// errors for values that do not convert or do not fit.
#pragma once

#include <optional>

#include "sql/sql_types.h"

namespace standin {

struct Converted {
  Value value;
  std::optional<ServerMessage> error;
};

// `assignment` is true when the value goes into a column: then a text too
// long for its column fails with 8152 and a datetime becomes text in the
// default style; CONVERT cuts texts silently.
Converted ConvertValue(const Value& value, const SqlType& source, const SqlType& target, int style,
                       bool assignment);

// A value as text the way a client shows it by default: datetime as
// "yyyy-mm-dd hh:mi:ss.mmm", numbers in decimal.
std::string DisplayText(const Value& value, const SqlType& type);

ServerMessage TruncationError();

}  // namespace standin
