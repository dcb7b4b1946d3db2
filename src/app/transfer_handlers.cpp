// Binds the booking loop's handlers to the export and database operations.
#include "app/transfer_handlers.h"

#include <string>

#include "db/booking_inserts.h"
#include "db/database.h"
#include "export/booking_report.h"
#include "export/cost_centre_booking.h"
#include "export/time_booking.h"
#include "input/field_list.h"
#include "shared/run_state.h"

namespace tralvo {

namespace {

// A booking that did not reach the database leaves an entry in the log,
// where an unattended run is looked at: the table, then either the error
// code of a refusal or why its outcome is unknown or it was never sent,
// and the booking's terminal, badge number, date and time. Returns the
// entry without the booking when the statement went unanswered, for the
// console; an empty text after a refusal.
std::string LogFailedInsert(RunState& state, const Database& db, std::string_view table, int code,
                            const BookingKey& booking) {
  std::string head;
  if (ReportUnanswered(state, db, UnansweredSubject::kInsert, table, booking, head)) return head;
  ++state.notTransferred.refused;
  std::string text = "Insert in ";
  text.append(table).append(" fehlgeschlagen, Fehler ").append(std::to_string(code)).append(": ");
  text.append(booking.terminal).append(", ").append(booking.badge).append(", ");
  text.append(booking.date).append(", ").append(booking.time);
  LogMessage(state, text);
  return {};
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
  if (result != 0) {
    std::string unanswered =
        LogFailedInsert(state_, db_, "Kvx402Zpk", result,
                        {record[field::kTerminalId], record[field::kBadgeNumber],
                         record[field::kBookingDate], record[field::kBookingTime]});
    // An operator sees every access row that did not arrive, as a refusal is.
    if (!unanswered.empty()) PrintConsole(state_, " " + unanswered + "\n");
  }
  return result;
}

int TransferHandlers::InsertEventBooking(const EventBooking& e) {
  int result =
      tralvo::InsertEventBooking(db_, e.terminalId, e.readerNumber, e.badgeNumber, e.bookingDate,
                                 e.bookingTime, e.bookingCode, e.status, e.variant);
  if (result != 0)
    LogFailedInsert(state_, db_, "O2009BUCHPROT", result,
                    {e.terminalId, e.badgeNumber, e.bookingDate, e.bookingTime});
  return result;
}

}  // namespace tralvo
