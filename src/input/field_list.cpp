// The booking record's storage. Slots grow ten at a time, and slots and
// copy storage are kept across records, so steady-state splitting does not
// allocate.
#include "input/field_list.h"

#include <new>

namespace tralvo {

namespace {
constexpr size_t kGrowth = 10;
}

bool FieldList::Grow() {
  if (static_cast<size_t>(count_) < items_.size()) return true;
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

int AppendFieldInPlace(FieldList& list, std::string_view text) {
  if (!list.Grow()) return 0;
  FieldList::Item item;
  // An empty text may have no address; any address outside the copies
  // will do for it.
  static const char kEmpty = '\0';
  item.inPlace = text.data() ? text.data() : &kEmpty;
  item.length = text.size();
  list.items_[static_cast<size_t>(list.count_++)] = item;
  return 1;
}

int FreeFieldList(FieldList& list) {
  list.count_ = 0;
  list.copies_.clear();
  return 0;
}

}  // namespace tralvo
