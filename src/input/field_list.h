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
