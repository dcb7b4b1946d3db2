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

FieldList& FieldList::operator=(FieldList&& other) noexcept {
  const char* before = other.copies_.data();
  const size_t held = other.copies_.size();
  items_ = std::move(other.items_);
  copies_ = std::move(other.copies_);
  count_ = std::exchange(other.count_, 0);
  FollowCopies(before, held);
  return *this;
}

void FieldList::FollowCopies(const char* before, size_t held) {
  const char* copies = copies_.data();
  if (copies == before) return;
  // Addresses compared as numbers: a field in the line lies in another
  // object.
  const uintptr_t from = reinterpret_cast<uintptr_t>(before);
  for (int32_t i = 0; i < count_; ++i) {
    Item& item = items_[static_cast<size_t>(i)];
    const uintptr_t at = reinterpret_cast<uintptr_t>(item.text);
    if (at - from <= held) item.text = copies + (at - from);
  }
}

int AppendField(FieldList& list, std::string_view text) {
  if (!list.Grow()) return 0;
  const char* before = list.copies_.data();
  const size_t held = list.copies_.size();
  try {
    list.copies_.append(text.data(), text.size());
  } catch (const std::bad_alloc&) {
    return 0;
  }
  list.FollowCopies(before, held);
  FieldList::Item& item = list.items_[static_cast<size_t>(list.count_++)];
  item.text = list.copies_.data() + held;
  item.length = text.size();
  return 1;
}

}  // namespace tralvo
