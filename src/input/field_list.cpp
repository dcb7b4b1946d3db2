// The booking record's storage. Slots grow ten at a time and keep their
// strings across records, so steady-state splitting does not allocate.
#include "input/field_list.h"

#include <new>

namespace tralvo {

namespace {
constexpr size_t kGrowth = 10;
}

int AppendField(FieldList& list, std::string_view text) {
  try {
    if (static_cast<size_t>(list.count_) == list.items_.size())
      list.items_.resize(list.items_.size() + kGrowth);
    list.items_[static_cast<size_t>(list.count_)].assign(text.data(), text.size());
  } catch (const std::bad_alloc&) {
    return 0;
  }
  ++list.count_;
  return 1;
}

int FreeFieldList(FieldList& list) {
  list.count_ = 0;
  return 0;
}

}  // namespace tralvo
