// Any bytes as the booking file of terminal T1, through the booking loop
// to recording handlers: only well-formed records of the run's terminal
// reach a handler, no more of them than the file has lines, and the run
// ends with success (the file is readable).
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "app/booking_handlers.h"
#include "app/booking_loop.h"
#include "app/run.h"
#include "fuzz_check.h"
#include "input/booking_file_reader.h"
#include "input/booking_splitter.h"
#include "input/field_list.h"

using namespace tralvo;

namespace {

constexpr const char* kTerminal = "T1";

void CheckRecord(const FieldList& record) {
  FUZZ_CHECK(record.count() >= 8);
  FUZZ_CHECK(record[5] == kTerminal);
  for (int32_t i = 0; i < record.count(); ++i) FUZZ_CHECK(record[i].size() <= kMaxFieldLength);
  std::string_view badge = record[0];
  FUZZ_CHECK(badge.empty() || (badge.back() != ' ' && badge.back() != '\t'));
}

// Counts the records routed to it, and has the reporter count each event
// row as stored; every call checks its record.
class CheckingHandlers : public BookingHandlers {
 public:
  explicit CheckingHandlers(BookingReport& report) : report_(report) {}
  void ExportTimeBooking(const FieldList& r) override { Take(r); }
  void ExportCostCentreBooking(const FieldList& r) override { Take(r); }
  void InsertAccessBooking(const FieldList& r) override {
    CheckRecord(r);
    ++accessCalls;
  }
  void InsertEventBooking(const EventBooking& e) override {
    FUZZ_CHECK(e.terminalId == kTerminal);
    ++events;
    report_.Row(RowTable::kEvent, {}, {});
  }
  void Take(const FieldList& r) {
    CheckRecord(r);
    ++exports;
  }
  BookingReport& report_;
  long exports = 0;
  long accessCalls = 0;
  long events = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzzcheck::ScratchFile file;
  static std::FILE* console = std::fopen("/dev/null", "wb");
  const std::string& path = file.Write(data, size);

  // The echo path too, now and then.
  Run run(console, size > 0 && data[0] == '#', kTerminal, "/dev/null");
  BookingFileReader reader;
  FUZZ_CHECK(reader.Open(path));
  CheckingHandlers handlers(run.report);
  FUZZ_CHECK(TransferBookings(run, reader, handlers) == 0);

  // The shortest routed line is ",,,,,T1,," (nine bytes, the last line
  // needs no line end); a record makes at most two of the calls counted
  // here: an export and an access row, or an event and its access row.
  long records = static_cast<long>(size / 9);
  FUZZ_CHECK(handlers.exports + handlers.accessCalls <= 2 * records);
  FUZZ_CHECK(handlers.events <= handlers.accessCalls);
  FUZZ_CHECK(run.report.counters().events == handlers.events);
  return 0;
}
