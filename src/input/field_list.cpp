// The booking record's storage. Slots grow ten at a time, and slots and
// copy storage are kept across records, so steady-state splitting does not
// allocate.
#include "input/field_list.h"

#include <new>

namespace tralvo {

namespace {
constexpr size_t kGrowth = 10;
}

bool FieldList::GrowSlots() {
  try {
    items_.resize(items_.size() + kGrowth);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

int AppendField(FieldList& list, std::string_view text) {
  if (!list.Grow()) return 0;
  FieldList::Item item;
  item.offset = list.copies_.size();
  item.length = text.size();
  try {
    list.copies_.append(text.data(), text.size());
  } catch (const std::bad_alloc&) {
    return 0;
  }
  list.items_[static_cast<size_t>(list.count_++)] = item;
  return 1;
}

}  // namespace tralvo
