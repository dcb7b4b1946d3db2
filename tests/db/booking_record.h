// Booking records for the database tests, built field by field.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "input/field_list.h"

namespace tralvo {

// A booking record of 16 fields, empty but for the given ones.
inline FieldList Record(const std::vector<std::pair<int, std::string>>& fields) {
  std::vector<std::string> values(16);
  for (const auto& [index, value] : fields) values[static_cast<size_t>(index)] = value;
  FieldList record;
  for (const std::string& value : values) AppendField(record, value);
  return record;
}

}  // namespace tralvo
