// The time booking export: lookups in the database, then one line of
// exactly 82 bytes. A booking whose values cannot fill the line's columns
// exactly is refused with a log entry rather than written shifted or cut,
// since the importing program reads the file by column.
#include "export/time_booking.h"

#include <array>
#include <cstring>

#include "db/lookups.h"
#include "export/booking_report.h"
#include "input/field_list.h"
#include "shared/output_file.h"
#include "shared/time_booking_line.h"

namespace tralvo {

namespace {

constexpr size_t kTimeBookingLineLength = 82;
constexpr size_t kSchemaWidth = 20;
constexpr size_t kPersonnelNumberWidth = 8;
constexpr size_t kBookingTypeWidth = 5;
constexpr size_t kBookingCodeWidth = 3;
constexpr size_t kLineCostCentreWidth = 30;
constexpr size_t kMinDateLength = 8;
constexpr size_t kMinTimeLength = 4;

struct Booking {
  std::string_view badge;
  std::string_view date;
  std::string_view time;
  std::string_view code;
  std::string_view costCentre;
};

std::string Detail(const char* label, std::string_view value) {
  return std::string(label).append(value.data(), value.size());
}

// The reason a record cannot form a line whatever the server answers, or
// an empty text.
std::string FormProblem(const Booking& b) {
  if (b.date.size() < kMinDateLength) return Detail("Buchungsdatum ungueltig :", b.date);
  if (b.time.size() < kMinTimeLength) return Detail("Buchungszeit ungueltig :", b.time);
  if (b.costCentre.size() > kLineCostCentreWidth)
    return Detail("Kostenstelle zu lang :", b.costCentre);
  return "";
}

char* Put(char* out, std::string_view value, size_t width, char fill, bool right) {
  // The callers keep every value within its width; the clamp only makes
  // sure no value can ever write past its column.
  size_t length = value.size() < width ? value.size() : width;
  std::memset(out, fill, width);
  if (length > 0) std::memcpy(out + (right ? width - length : 0), value.data(), length);
  return out + width;
}

bool WriteLine(OutputFile& file, const TimeBookingLine& line, const Booking& b) {
  std::array<char, kTimeBookingLineLength> text;
  char* out = Put(text.data(), line.schema, kSchemaWidth, ' ', false);
  out = Put(out, line.personnelNumber, kPersonnelNumberWidth, ' ', false);
  const std::string_view d = b.date;
  for (const char piece : {d[6], d[7], '.', d[4], d[5], '.', d[0], d[1], d[2], d[3]})
    *out++ = piece;
  for (const char piece : {b.time[0], b.time[1], ':', b.time[2], b.time[3]}) *out++ = piece;
  out = Put(out, line.bookingType, kBookingTypeWidth, '0', true);
  out = Put(out, line.bookingCode, kBookingCodeWidth, ' ', false);
  out = Put(out, line.costCentre, kLineCostCentreWidth, ' ', false);
  *out = '\n';
  return file.Write(std::string_view(text.data(), text.size()));
}

}  // namespace

int TimeBookingExport::SetCurrentSchema(std::string_view schema) {
  currentSchema_.assign(schema);
  return 0;
}

// A lookup the server never answered leaves the booking without its line
// (the reporter says why), and so does a value that cannot fill the
// line's columns exactly: the importing program reads the file by column.
int TimeBookingExport::Export(const FieldList& record) {
  const Booking b{record[field::kBadgeNumber], record[field::kBookingDate],
                  record[field::kBookingTime], record[field::kBookingCode],
                  record[field::kCostCentre]};
  const BookingKey key{report_.terminalId(), b.badge, b.date, b.time};
  // What the fixed columns need of the record itself is checked before any
  // round trip is spent on it.
  if (const std::string problem = FormProblem(b); !problem.empty()) {
    report_.TimeBookingRefused(key, problem, BookingFate::kMalformed);
    return -1;
  }

  TimeBookingLine line;
  if (const DbResult found = LookupBadge(db_, b.badge, b.date, line); !found.done()) {
    if (found.answered())
      report_.BadgeNotFound(key, found);
    else
      report_.LookupUnanswered(key, "Schema/Personalnr.", found);
    return -1;
  }

  if (line.schema != currentSchema_) SetCurrentSchema(line.schema);

  line.bookingCode.assign(b.code.data(), b.code.size());
  std::string bookingType;
  if (const DbResult found = LookupBookingType(db_, b.code, bookingType); !found.done()) {
    if (!found.answered()) {
      report_.LookupUnanswered(key, "Buchungstyp", found);
      return -1;
    }
    // The line is still written, with booking type 0, but needs mending.
    bookingType.clear();
    report_.BookingTypeMissing(key, line.schema, line.personnelNumber, b.code, found);
  } else {
    std::string newCode;
    const DbResult mapped = LookupCodeMapping(db_, b.code, newCode);
    if (mapped.done()) {
      line.bookingCode = newCode;
    } else if (!mapped.answered()) {
      report_.LookupUnanswered(key, "Buchungsart-Ersatz", mapped);
      return -1;
    }
  }

  if (bookingType.size() > kBookingTypeWidth) {
    report_.TimeBookingRefused(key, Detail("Buchungstyp zu lang :", bookingType),
                               BookingFate::kMalformed);
    return -1;
  }
  if (line.bookingCode.size() > kBookingCodeWidth) {
    report_.TimeBookingRefused(key, Detail("Buchungsart zu lang :", line.bookingCode),
                               BookingFate::kMalformed);
    return -1;
  }

  line.bookingType = bookingType;
  line.costCentre.assign(b.costCentre.data(), b.costCentre.size());
  if (!WriteLine(file_, line, b)) {
    report_.RecordNotWritten();
    return -1;
  }
  report_.TimeBookingWritten();
  return 0;
}

}  // namespace tralvo
