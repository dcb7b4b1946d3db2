// One booking record: the fields of one line of the booking file, in line
// order, indexed from 0.
//
// A field is either cut out of the line in place (AppendFieldInPlace: the
// record then reads the line's own bytes, which must stay as they are
// while the record is used) or a copy the list holds (AppendField). The
// list keeps its slots and its copy storage between records: FreeFieldList
// only forgets them, so a run over a million lines allocates for the
// first few records and then never again.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tralvo {

// The fields of a booking record by index. Every reader of a record names
// the field it reads; the gaps are fields the terminals write and nothing
// here reads. A complete record has the 16 fields up to the record kind;
// further fields are carried and read by nobody.
namespace field {
enum BookingField : int32_t {
  kBadgeNumber = 0,         // trimmed of trailing blanks and tabs before any use
  kUnused1 = 1,             // not read
  kBookingDate = 2,         // YYYYMMDD
  kBookingTime = 3,         // HHMMSS
  kUnused4 = 4,             // not read
  kTerminalId = 5,          // only the run's own terminal is transferred
  kReaderNumber = 6,        // decimal
  kBookingCode = 7,         // three characters, e.g. "024"
  kCostCentre = 8,          // text
  kUnused9 = 9,             // not read
  kTimeBookingMarker = 10,  // only whether it is empty matters
  kAccessStatus = 11,       // its first character selects an access row's status
  kStatusCode = 12,         // decimal; also the second part of a zone code
  kZonePrefix = 13,         // the first part of a zone code
  kUnused14 = 14,           // not read
  kRecordKind = 15,         // "40p", "50p", "62p" or "dta"
};
}  // namespace field

class FieldList {
 public:
  FieldList() = default;
  // Moved, not copied: the fields read the list's own copies by their
  // address, which a move carries over.
  FieldList(FieldList&& other) noexcept { *this = std::move(other); }
  FieldList& operator=(FieldList&& other) noexcept;

  // Number of fields held.
  int32_t count() const { return count_; }
  // Number of field slots; grows in steps of ten as the splitter needs.
  int32_t capacity() const { return static_cast<int32_t>(items_.size()); }

  // Field i, or the empty text for an index the record does not have, so
  // that a short record never makes anybody read past its end.
  std::string_view operator[](int32_t i) const {
    if (i < 0 || i >= count_) return std::string_view();
    const Item& item = items_[static_cast<size_t>(i)];
    return std::string_view(item.text, item.length);
  }

  // Cuts field i to its first `length` characters, for the one edit the
  // booking loop makes (trimming the badge number); i must be below
  // count() and length at most the field's length.
  void Shorten(int32_t i, size_t length) { items_[static_cast<size_t>(i)].length = length; }

 private:
  friend int AppendField(FieldList& list, std::string_view text);
  friend int AppendFieldInPlace(FieldList& list, std::string_view text);
  friend int FreeFieldList(FieldList& list);
  friend class InPlaceAppender;

  // Where a field's text is, in the line or in copies_: a copy is read
  // through its address like any field, and its address is set anew when
  // copies_ moves as it grows.
  struct Item {
    const char* text = nullptr;
    size_t length = 0;
  };
  // Makes room for one more field; false when memory could not be had.
  bool Grow() { return static_cast<size_t>(count_) < items_.size() || GrowSlots(); }
  bool GrowSlots();
  // Gives the fields read from copies that were held at before (held
  // bytes) their address in copies_.
  void FollowCopies(const char* before, size_t held);

  std::vector<Item> items_;
  std::string copies_;
  int32_t count_ = 0;
};

// Appends a copy of text as the last field. Returns 1, or 0 when memory
// could not be had (the field is then missing and the list unchanged).
int AppendField(FieldList& list, std::string_view text);

// Appends text itself as the last field, without copying it: text must
// stay valid and unchanged as long as the record is read. Returns 1, or 0
// when memory could not be had (as AppendField). Inline: the splitter
// calls it for nearly every field of every line.
inline int AppendFieldInPlace(FieldList& list, std::string_view text) {
  if (!list.Grow()) return 0;
  FieldList::Item& item = list.items_[static_cast<size_t>(list.count_++)];
  item.text = text.data();
  item.length = text.size();
  return 1;
}

// Empties the list for the next record. Returns 0. Inline: the splitter
// calls it for every line.
inline int FreeFieldList(FieldList& list) {
  list.count_ = 0;
  list.copies_.clear();
  return 0;
}

// Appends fields in place one after another from a tight loop, such as the
// splitter's over the commas of a line: room for a run of fields is made
// before the run, and the next slot and the end of the slots are kept at
// hand instead of being read from the list for every field. The list grows
// ten slots at a time, as with AppendFieldInPlace, and counts the fields
// once the appender is gone; nothing else may touch the list meanwhile.
class InPlaceAppender {
 public:
  explicit InPlaceAppender(FieldList& list)
      : list_(list), next_(Slot(list.count_)), end_(SlotsEnd()) {}
  ~InPlaceAppender() { list_.count_ = static_cast<int32_t>(next_ - Slot(0)); }
  InPlaceAppender(const InPlaceAppender&) = delete;
  InPlaceAppender& operator=(const InPlaceAppender&) = delete;

  // Makes room for n more fields; false when memory could not be had.
  bool Reserve(int32_t n) {
    while (end_ - next_ < n)
      if (!MoreSlots()) return false;
    return true;
  }

  // As AppendFieldInPlace, into room Reserve made.
  void Append(const char* text, size_t length) {
    next_->text = text;
    next_->length = length;
    ++next_;
  }

 private:
  FieldList::Item* Slot(int32_t i) { return list_.items_.data() + i; }
  FieldList::Item* SlotsEnd() { return list_.items_.data() + list_.items_.size(); }
  bool MoreSlots() {
    int32_t count = static_cast<int32_t>(next_ - Slot(0));
    if (!list_.GrowSlots()) return false;
    // The slots may have moved.
    next_ = Slot(count);
    end_ = SlotsEnd();
    return true;
  }

  FieldList& list_;
  FieldList::Item* next_;
  FieldList::Item* end_;
};

}  // namespace tralvo
