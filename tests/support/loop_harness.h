// Runs the booking loop over given bytes as a real run would, but with
// handlers that keep what they were handed instead of reaching a database:
// time bookings, access rows and events are recorded (and counted as the
// real handlers count a success); cost-centre bookings go through the real
// export into a real cost-centre file, so its bytes can be checked too.
// The one double of the loop's handlers: its tests and the robustness
// tests over generated and hostile input all use it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/booking_handlers.h"
#include "app/run.h"
#include "console_capture.h"
#include "test_support.h"

namespace testsupport {

// One handler call: "time", "access", "event" or "cost", and the fields of
// the record (for an event: terminal, badge, date, time, code, reader
// number, status and variant).
struct HandlerCall {
  std::string handler;
  std::vector<std::string> fields;
  bool operator==(const HandlerCall& other) const {
    return handler == other.handler && fields == other.fields;
  }
};

class KeepingHandlers : public tralvo::BookingHandlers {
 public:
  explicit KeepingHandlers(tralvo::Run& run) : run_(run) {}
  void ExportTimeBooking(const tralvo::FieldList& record) override;
  void ExportCostCentreBooking(const tralvo::FieldList& record) override;
  void InsertAccessBooking(const tralvo::FieldList& record) override;
  void InsertEventBooking(const tralvo::EventBooking& event) override;

  // When false only the counters move: a run over a million lines keeps
  // no copies.
  bool keep = true;
  // What became of every event row.
  tralvo::DbResult eventResult;
  // A handler handed a booking of this badge runs out of memory.
  std::optional<std::string> outOfMemoryBadge;
  std::vector<HandlerCall> calls;
  // Handler calls of each kind, kept or not.
  long timeCalls = 0, accessCalls = 0, eventCalls = 0, costCalls = 0;
  // Checked on every call: the record belongs to the run's terminal.
  long foreignRecords = 0;

 private:
  void Keep(const char* handler, const tralvo::FieldList& record);
  tralvo::Run& run_;
};

class LoopRun {
 public:
  LoopRun(const std::string& terminal = "T1", bool debug = false);

  // Writes bytes as the booking file and runs the loop over it; returns
  // the loop's status.
  int Run(const std::string& bytes);

  std::string Console() { return console_.text(); }
  std::string Log() const { return ReadFileBytes(dir_ / "log.txt"); }
  // The cost-centre file as it stands after the run (flushed by the loop).
  std::string CostCentres() const { return ReadFileBytes(dir_ / "kst.txt"); }
  // How often the malformed-line message was printed.
  long MalformedReports();

  const tralvo::BookingCounters& counters() const { return run.report.counters(); }

 private:
  TempDir dir_;
  ConsoleCapture console_;

 public:
  tralvo::Run run;
  KeepingHandlers handlers{run};
};

// A booking line of 16 fields; the fields that take part in routing are
// parameters, the others carry fixed values. Ends with line feed.
std::string BookingLine(const std::string& kind, const std::string& badge,
                        const std::string& terminal = "T1", const std::string& marker = "",
                        const std::string& access = "", const std::string& status = "",
                        const std::string& code = "001");

// Counts the occurrences of needle in text.
long Occurrences(const std::string& text, const std::string& needle);

}  // namespace testsupport
