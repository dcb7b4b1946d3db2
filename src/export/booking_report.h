// The one reporter of a run: what became of each booking is decided by
// the handlers and the database layer, and told here alone. Every log
// entry, console line and counter of a booking's fate is made by this
// class, so the wording, the channel and the count of one fate can never
// drift apart between the kinds of bookings.
//
// None of its members throws: a report that cannot be made for lack of
// memory is lost like an entry of a log that cannot be opened, since the
// run never stops for its reports.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>

#include "db/outcome.h"
#include "export/transfer_log.h"
#include "shared/file_system.h"

namespace tralvo {

// What the run transferred, in the order the run summary reports it.
struct BookingCounters {
  int32_t timeBookings = 0;
  int32_t accessBookings = 0;
  int32_t costCentreBookings = 0;
  int32_t events = 0;
};

// Why bookings (or log entries) of the run did not arrive, for those who
// monitor the runs: each booking that was given up counts once, under the
// first cause that stopped it.
struct NotTransferredCounters {
  int64_t refused = 0;     // the server refused its row
  int64_t unknown = 0;     // sent, but whether its row arrived cannot be known
  int64_t notSent = 0;     // not sent, since the run had given up its connection
  int64_t notFound = 0;    // a lookup found no badge holder or booking type
  int64_t malformed = 0;   // a line that holds no whole booking record
  int64_t notWritten = 0;  // its record was lost to a target file that failed
  // Log entries that never reached the log (it could not be opened, or
  // stayed held by another process beyond the run's wait).
  int64_t logEntriesDropped = 0;
};

// What became of one line of the booking file as a whole, worst first:
// a booking with two rows takes the worse fate of the two.
enum class BookingFate {
  kUnknown,     // a statement for it went unanswered: its row may be there
  kRefused,     // the server refused a row or lookup of it
  kNotFound,    // a lookup found no badge holder or booking type
  kMalformed,   // not a whole booking record, or values no line can hold
  kNotWritten,  // its record was lost to a target file that failed
  kNotSent,     // not sent, since the run had given its connection up
  kDone,        // transferred, or nothing to transfer (another terminal's)
};

// The fields that name a booking in the log, in the order its entries
// list them.
struct BookingKey {
  std::string_view terminal;
  std::string_view badge;
  std::string_view date;
  std::string_view time;
};

// The two tables a booking's rows go to.
enum class RowTable { kAccess, kEvent };

class BookingReport {
 public:
  // console is where console messages go (standard output in a real run);
  // debug enables the messages meant for an operator; logPath is the
  // transfer log every entry is appended to.
  BookingReport(std::FILE* console, bool debug, std::string terminalId, std::string logPath);

  bool debug() const { return debug_; }
  const std::string& terminalId() const { return terminalId_; }
  const std::string& logPath() const { return logPath_; }
  const BookingCounters& counters() const { return counters_; }
  const NotTransferredCounters& notTransferred() const { return notTransferred_; }

  // Writes text to the console as it stands (no line end added).
  void Print(std::string_view text) noexcept;
  // Appends text as one entry to the transfer log. An entry the log cannot
  // take is counted as dropped, and shown with the debug flag.
  void Log(std::string_view text) noexcept;
  // Both, for the messages an operator must see in any case.
  void LogAndPrint(std::string_view text) noexcept;
  // Ends the run's use of the log: the entries it kept because the log was
  // held up get their last chance, and are counted and shown when lost.
  void EndLog() noexcept;

  // The fate of the booking in hand so far, and the start of the next one.
  BookingFate TakeFate() noexcept { return std::exchange(fate_, BookingFate::kDone); }
  // Whether a row of the booking in hand reached the server (stored,
  // refused, or sent without an answer); the next one starts without.
  bool TakeRowSent() noexcept { return std::exchange(rowSent_, false); }

  // A line that holds no whole booking record: said on the console always.
  void Malformed() noexcept;
  // A line was written to the time booking file, or a record to the
  // cost-centre file.
  void TimeBookingWritten() noexcept { ++counters_.timeBookings; }
  void CostCentreWritten() noexcept { ++counters_.costCentreBookings; }
  // A record its target file would not take: the file has failed.
  void RecordNotWritten() noexcept;
  // Records the target files had gathered but lost with a failure: taken
  // off the counters they were counted in, and counted as not written.
  void RecordsLost(int64_t timeBookings, int64_t costCentreBookings) noexcept;

  // A time booking that gets no line: "badge, date, detail" in the log
  // and, with the debug flag, the booking's block on the console; counted
  // under cause (kMalformed, kNotFound or kRefused).
  void TimeBookingRefused(const BookingKey& booking, std::string_view detail,
                          BookingFate cause) noexcept;
  // The same for the badge lookup that decided it: no row, or refused.
  void BadgeNotFound(const BookingKey& booking, const DbResult& lookup) noexcept;
  // A time booking whose code has no booking type: its line is still
  // written with booking type 0, but the entry says it needs mending.
  void BookingTypeMissing(const BookingKey& booking, std::string_view schema,
                          std::string_view personnelNumber, std::string_view code,
                          const DbResult& lookup) noexcept;
  // A lookup of a time booking that the server never answered (unknown or
  // not sent): no line is written, since a guessed value would stand for
  // good whereas the booking can be fed again. lookup names the query.
  void LookupUnanswered(const BookingKey& booking, std::string_view lookup,
                        const DbResult& result) noexcept;
  // A value of a cost-centre booking that its column cannot hold (label
  // and value): logged and printed.
  void CostCentreValue(std::string_view label, std::string_view value) noexcept;
  // A cost-centre booking whose date or time no record can hold: it gets
  // no record and counts as malformed.
  void CostCentreMalformed() noexcept;

  // The outcome of a row insert: counted when it arrived (an access row
  // that was there already included), otherwise logged with why (and an
  // access row printed too).
  void Row(RowTable table, const DbResult& result, const BookingKey& booking) noexcept;

  // A booking given up because memory ran out while it was handled. Needs
  // no memory of its own.
  void BookingWithoutMemory(std::string_view badge, std::string_view date) noexcept;

  // A file the run cannot use: what, the path and the system's reason.
  void FileFailure(const char* what, const std::string& path) noexcept;
  // The run was asked to stop before the end of its booking file.
  void Stopped() noexcept;
  // The run summary with the four counters (and with the debug flag their
  // sum on the console).
  void Summary() noexcept;

 private:
  void Reached(BookingFate fate) noexcept;
  void CountUnanswered(const DbResult& result) noexcept;
  void PrintBadgeBlock(std::string_view head, const BookingKey& booking);
  void ReportLogResult(const LogResult& result);

  std::FILE* console_;
  bool debug_;
  std::string terminalId_;
  std::string logPath_;
  LogHold log_;
  bool logRefusalShown_ = false;  // the console was told why the log is unusable
  BookingCounters counters_;
  NotTransferredCounters notTransferred_;
  BookingFate fate_ = BookingFate::kDone;
  bool rowSent_ = false;
};

// The reports of a file the run cannot use; the path follows the text.
inline constexpr const char* kTargetWriteFailure = "Fehler beim Schreiben der Zieldatei ";
inline constexpr const char* kBookingReadFailure = "Fehler beim Lesen der Quelldatei ";

// Why a file could not be used, in the words of the tool's messages; error
// is the system's own error kept when the opening failed.
std::string FileOpenText(FileOpen why, const SystemError& error);

}  // namespace tralvo
