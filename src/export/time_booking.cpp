// The time booking export: lookups in the database, then one line of
// exactly 82 bytes. A booking whose values cannot fill the line's columns
// exactly is refused with a log entry rather than written shifted or cut,
// since the importing program reads the file by column.
#include "export/time_booking.h"

#include <array>
#include <cstring>

#include "db/database.h"
#include "db/lookups.h"
#include "export/booking_report.h"
#include "input/field_list.h"
#include "shared/run_state.h"
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

std::string Joined(std::initializer_list<std::string_view> parts) {
  std::string text;
  const char* separator = "";
  for (std::string_view part : parts) {
    text.append(separator).append(part.data(), part.size());
    separator = ", ";
  }
  return text;
}

// The debug block shown for a booking that is logged; the labels and their
// indentation are what operators know from the console.
void PrintBlock(RunState& state, std::string_view detail,
                std::initializer_list<std::pair<const char*, std::string_view>> rows) {
  if (!state.debugFlag) return;
  std::string text(detail);
  text += '\n';
  for (const auto& [label, value] : rows) {
    text += label;
    text.append(value.data(), value.size());
    text += '\n';
  }
  text += '\n';
  PrintConsole(state, text);
}

// Logs a booking that produces no line, keyed like the not-found entry.
int Refuse(RunState& state, const Booking& b, const std::string& detail) {
  LogMessage(state, Joined({b.badge, b.date, detail}));
  PrintBlock(state, detail,
             {{"  Ausweis   : ", b.badge},
              {"   Datum    : ", b.date},
              {"   Uhrzeit  : ", b.time},
              {"   Terminal : ", state.terminalId}});
  return -1;
}

// A lookup the server never answered leaves the booking without its line:
// a guessed value would be written for good, whereas the booking can be
// fed again. Returns true (and has logged it) in that case.
bool LookupUnanswered(RunState& state, const Database& db, const char* lookup, const Booking& b) {
  std::string head;
  if (!ReportUnanswered(state, db, UnansweredSubject::kLookup, lookup,
                        {state.terminalId, b.badge, b.date, b.time}, head))
    return false;
  PrintBlock(state, head,
             {{"  Ausweis   : ", b.badge},
              {"   Datum    : ", b.date},
              {"   Uhrzeit  : ", b.time},
              {"   Terminal : ", state.terminalId}});
  return true;
}

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

// Checks what the fixed columns need of the record itself, before any
// round trip is spent on it; such a record counts as malformed.
int CheckRecord(RunState& state, const Booking& b) {
  const std::string problem = FormProblem(b);
  if (problem.empty()) return 0;
  ++state.notTransferred.malformed;
  return Refuse(state, b, problem);
}

char* Put(char* out, std::string_view value, size_t width, char fill, bool right) {
  // The callers keep every value within its width; the clamp only makes
  // sure no value can ever write past its column.
  size_t length = value.size() < width ? value.size() : width;
  std::memset(out, fill, width);
  if (length > 0) std::memcpy(out + (right ? width - length : 0), value.data(), length);
  return out + width;
}

bool WriteLine(RunState& state, const TimeBookingLine& line, const Booking& b) {
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
  return state.timeBookingFile.Write(std::string_view(text.data(), text.size()));
}

}  // namespace

int ExportTimeBooking(RunState& state, Database& db, const FieldList& record) {
  const Booking b{record[field::kBadgeNumber], record[field::kBookingDate],
                  record[field::kBookingTime], record[field::kBookingCode],
                  record[field::kCostCentre]};
  if (CheckRecord(state, b) != 0) return -1;

  TimeBookingLine line;
  if (const int found = LookupBadge(db, b.badge, b.date, line); found != 0) {
    if (LookupUnanswered(state, db, "Schema/Personalnr.", b)) return -1;
    ++(found == kNoRow ? state.notTransferred.notFound : state.notTransferred.refused);
    return Refuse(state, b, "Schema/Personalnr. nicht gefunden :");
  }

  if (line.schema != state.currentSchema) SetCurrentSchema(state, line.schema);

  line.bookingCode.assign(b.code.data(), b.code.size());
  std::string bookingType;
  if (const int found = LookupBookingType(db, b.code, bookingType); found != 0) {
    if (LookupUnanswered(state, db, "Buchungstyp", b)) return -1;
    // The line is still written, with booking type 0, but needs mending.
    ++(found == kNoRow ? state.notTransferred.notFound : state.notTransferred.refused);
    bookingType.clear();
    std::string detail = Detail("Buchungstyp zur Buchungsart ", b.code) + " nicht gefunden :";
    LogMessage(state, Joined({line.schema, line.personnelNumber, b.date, detail}));
    PrintBlock(state, detail,
               {{"   Schema   : ", line.schema},
                {"   PersNr   : ", line.personnelNumber},
                {"   Datum    : ", b.date},
                {"   Uhrzeit  : ", b.time},
                {"   Terminal : ", state.terminalId}});
  } else {
    std::string newCode;
    if (LookupCodeMapping(db, b.code, newCode) == 0)
      line.bookingCode = newCode;
    else if (LookupUnanswered(state, db, "Buchungsart-Ersatz", b))
      return -1;
  }

  if (bookingType.size() > kBookingTypeWidth)
    return Refuse(state, b, Detail("Buchungstyp zu lang :", bookingType));
  if (line.bookingCode.size() > kBookingCodeWidth)
    return Refuse(state, b, Detail("Buchungsart zu lang :", line.bookingCode));

  line.bookingType = bookingType;
  line.costCentre.assign(b.costCentre.data(), b.costCentre.size());
  if (!WriteLine(state, line, b)) return -1;
  ++state.counters.timeBookings;
  return 0;
}

}  // namespace tralvo
