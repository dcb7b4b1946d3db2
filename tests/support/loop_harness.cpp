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
  if (record[tralvo::field::kTerminalId] != state_.terminalId) ++foreignRecords;
  if (!keep) return;
  HandlerCall call{handler, {}};
  for (int32_t i = 0; i < record.count(); ++i) call.fields.emplace_back(record[i]);
  calls.push_back(std::move(call));
}

int KeepingHandlers::ExportTimeBooking(const FieldList& record) {
  Keep("time", record);
  ++timeCalls;
  ++state_.counters.timeBookings;
  return 0;
}

int KeepingHandlers::ExportCostCentreBooking(const FieldList& record) {
  Keep("cost", record);
  ++costCalls;
  return tralvo::ExportCostCentreBooking(state_, record);
}

int KeepingHandlers::InsertAccessBooking(const FieldList& record) {
  Keep("access", record);
  ++accessCalls;
  ++state_.counters.accessBookings;
  return 0;
}

int KeepingHandlers::InsertEventBooking(const tralvo::EventBooking& e) {
  if (e.terminalId != state_.terminalId) ++foreignRecords;
  ++eventCalls;
  if (keep) {
    calls.push_back(
        {"event",
         {std::string(e.terminalId), std::string(e.badgeNumber), std::string(e.bookingDate),
          std::string(e.bookingTime), std::string(e.bookingCode), std::to_string(e.readerNumber),
          std::to_string(e.status), std::string(e.variant)}});
  }
  return eventResult;
}

LoopRun::LoopRun(const std::string& terminal, bool debug) {
  state.terminalId = terminal;
  state.debugFlag = debug ? 1 : 0;
  state.logPath = dir_ / "log.txt";
  state.console = console_.stream();
}

int LoopRun::Run(const std::string& bytes) {
  WriteFileBytes(dir_ / "bookings.txt", bytes);
  EXPECT_TRUE(state.costCentreFile.Open(dir_ / "kst.txt"));
  tralvo::BookingFileReader reader;
  EXPECT_TRUE(reader.Open(dir_ / "bookings.txt"));
  int status = tralvo::TransferBookings(state, reader, handlers);
  state.costCentreFile.Close();
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
