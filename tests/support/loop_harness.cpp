// The keeping handlers and the loop run of the booking loop harness.
#include "loop_harness.h"

#include <gtest/gtest.h>

#include <new>

#include "app/booking_loop.h"
#include "export/cost_centre_booking.h"
#include "input/booking_file_reader.h"
#include "input/field_list.h"

namespace testsupport {

using tralvo::FieldList;

void KeepingHandlers::Keep(const char* handler, const FieldList& record) {
  if (outOfMemoryBadge && record[tralvo::field::kBadgeNumber] == *outOfMemoryBadge)
    throw std::bad_alloc();
  if (record[tralvo::field::kTerminalId] != run_.report.terminalId()) ++foreignRecords;
  if (!keep) return;
  HandlerCall call{handler, {}};
  for (int32_t i = 0; i < record.count(); ++i) call.fields.emplace_back(record[i]);
  calls.push_back(std::move(call));
}

void KeepingHandlers::ExportTimeBooking(const FieldList& record) {
  Keep("time", record);
  ++timeCalls;
  run_.report.TimeBookingWritten();
}

void KeepingHandlers::ExportCostCentreBooking(const FieldList& record) {
  Keep("cost", record);
  ++costCalls;
  tralvo::ExportCostCentreBooking(run_.costCentreFile, run_.report, record);
}

void KeepingHandlers::InsertAccessBooking(const FieldList& record) {
  Keep("access", record);
  ++accessCalls;
  run_.report.Row(tralvo::RowTable::kAccess, {}, {});
}

void KeepingHandlers::InsertEventBooking(const tralvo::EventBooking& e) {
  if (e.terminalId != run_.report.terminalId()) ++foreignRecords;
  ++eventCalls;
  if (keep) {
    calls.push_back(
        {"event",
         {std::string(e.terminalId), std::string(e.badgeNumber), std::string(e.bookingDate),
          std::string(e.bookingTime), std::string(e.bookingCode), std::to_string(e.readerNumber),
          std::to_string(e.status), std::string(e.variant)}});
  }
  run_.report.Row(tralvo::RowTable::kEvent, eventResult,
                  {e.terminalId, e.badgeNumber, e.bookingDate, e.bookingTime});
}

LoopRun::LoopRun(const std::string& terminal, bool debug)
    : run(console_.stream(), debug, terminal, dir_ / "log.txt") {}

int LoopRun::Run(const std::string& bytes) {
  WriteFileBytes(dir_ / "bookings.txt", bytes);
  EXPECT_TRUE(run.costCentreFile.Open(dir_ / "kst.txt"));
  tralvo::BookingFileReader reader;
  EXPECT_TRUE(reader.Open(dir_ / "bookings.txt"));
  int status = tralvo::TransferBookings(run, reader, handlers);
  run.costCentreFile.Close();
  return status;
}

long LoopRun::MalformedReports() {
  return Occurrences(Console(), "FEHLERHAFTER BUCHUNGSSATZ !!\n");
}

std::string BookingLine(const std::string& kind, const std::string& badge,
                        const std::string& terminal, const std::string& marker,
                        const std::string& access, const std::string& status,
                        const std::string& code) {
  return badge + ",1,20090715,073005,5," + terminal + ",3," + code + ",4711,9," + marker + "," +
         access + "," + status + ",13,14," + kind + "\n";
}

long Occurrences(const std::string& text, const std::string& needle) {
  long count = 0;
  for (size_t at = text.find(needle); at != std::string::npos;
       at = text.find(needle, at + needle.size()))
    ++count;
  return count;
}

}  // namespace testsupport
