// One booking record: the fields of one line of the booking file, in line
// order, indexed from 0.
//
// The list keeps its field strings between records: FreeFieldList only
// forgets them, and the next split writes into the same strings, so a run
// over a million lines allocates for the first few records and then never
// again.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tralvo {

class FieldList {
 public:
  // Number of fields held.
  int32_t count() const { return count_; }
  // Number of field slots; grows in steps of ten as the splitter needs.
  int32_t capacity() const { return static_cast<int32_t>(items_.size()); }

  // Field i, or the empty text for an index the record does not have, so
  // that a short record never makes anybody read past its end.
  std::string_view operator[](int32_t i) const {
    return i >= 0 && i < count_ ? std::string_view(items_[static_cast<size_t>(i)])
                                : std::string_view();
  }

  // Field i for the one edit the booking loop makes (trimming the badge
  // number); i must be below count().
  std::string& mutableField(int32_t i) { return items_[static_cast<size_t>(i)]; }

 private:
  friend int AppendField(FieldList& list, std::string_view text);
  friend int FreeFieldList(FieldList& list);

  std::vector<std::string> items_;
  int32_t count_ = 0;
};

// Appends a copy of text as the last field. Returns 1, or 0 when memory
// could not be had (the field is then missing and the list unchanged).
int AppendField(FieldList& list, std::string_view text);

// Empties the list for the next record. Returns 0.
int FreeFieldList(FieldList& list);

}  // namespace tralvo
