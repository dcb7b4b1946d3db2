// Binds the booking loop's handlers to the export and database operations.
#include "app/transfer_handlers.h"

#include <string>

#include "db/booking_inserts.h"
#include "export/booking_report.h"
#include "export/cost_centre_booking.h"
#include "export/time_booking.h"
#include "input/field_list.h"

namespace tralvo {

namespace {

// A booking that did not reach the database leaves an entry in the log,
// where an unattended run is looked at: the table, the error code and the
// booking's terminal, badge number, date and time.
void LogFailedInsert(RunState& state, std::string_view table, int code, std::string_view terminal,
                     std::string_view badge, std::string_view date, std::string_view time) {
  std::string text = "Insert in ";
  text.append(table).append(" fehlgeschlagen, Fehler ").append(std::to_string(code)).append(": ");
  text.append(terminal).append(", ").append(badge).append(", ");
  text.append(date).append(", ").append(time);
  LogMessage(state, text);
}

}  // namespace

int TransferHandlers::ExportTimeBooking(const FieldList& record) {
  return tralvo::ExportTimeBooking(state_, db_, record);
}

int TransferHandlers::ExportCostCentreBooking(const FieldList& record) {
  return tralvo::ExportCostCentreBooking(state_, record);
}

int TransferHandlers::InsertAccessBooking(const FieldList& record) {
  int result = tralvo::InsertAccessBooking(state_, db_, record);
  if (result != 0)
    LogFailedInsert(state_, "Kvx402Zpk", result, record[field::kTerminalId],
                    record[field::kBadgeNumber], record[field::kBookingDate],
                    record[field::kBookingTime]);
  return result;
}

int TransferHandlers::InsertEventBooking(const EventBooking& e) {
  int result =
      tralvo::InsertEventBooking(db_, e.terminalId, e.readerNumber, e.badgeNumber, e.bookingDate,
                                 e.bookingTime, e.bookingCode, e.status, e.variant);
  if (result != 0)
    LogFailedInsert(state_, "O2009BUCHPROT", result, e.terminalId, e.badgeNumber, e.bookingDate,
                    e.bookingTime);
  return result;
}

}  // namespace tralvo
