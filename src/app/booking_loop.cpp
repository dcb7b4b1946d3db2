// The booking loop and its routing table.
#include "app/booking_loop.h"

#include <new>

#include "app/booking_handlers.h"
#include "app/exit_status.h"
#include "app/run.h"
#include "input/booking_file_reader.h"
#include "input/booking_splitter.h"
#include "input/field_list.h"
#include "shared/int_text.h"
#include "shared/stop_requests.h"

namespace tralvo {

namespace {

// A record needs this many fields to be worth looking at; fields it lacks
// beyond that read as empty.
constexpr int32_t kMinimumFields = 8;

// An event: the event row, then the access row whatever became of the
// event.
void TransferEvent(BookingHandlers& handlers, const FieldList& record) {
  EventBooking event;
  event.terminalId = record[field::kTerminalId];
  event.readerNumber = TextToInt(record[field::kReaderNumber]);
  event.badgeNumber = record[field::kBadgeNumber];
  event.bookingDate = record[field::kBookingDate];
  event.bookingTime = record[field::kBookingTime];
  event.bookingCode = record[field::kBookingCode];
  event.status = TextToInt(record[field::kStatusCode]);
  event.variant = "";
  handlers.InsertEventBooking(event);
  handlers.InsertAccessBooking(record);
}

// A zero byte ends the line for the splitter. When anything but more zero
// bytes follows it, part of the line would vanish unseen, and a booking
// there would be lost without a word: such a line is malformed.
bool HidesBytesAfterZero(std::string_view line) {
  size_t zero = line.find('\0');
  if (zero == std::string_view::npos) return false;
  size_t rest = line.find_first_not_of(std::string_view("\0\r\n", 3), zero);
  return rest != std::string_view::npos;
}

// True while both target files have taken every byte written to them;
// otherwise reports the first that failed.
bool TargetsWritten(Run& run) {
  for (OutputFile* file : {&run.timeBookingFile, &run.costCentreFile}) {
    if (file->failed()) {
      run.report.FileFailure(kTargetWriteFailure, file->path());
      return false;
    }
  }
  return true;
}

// Whether two short texts are the same, byte by byte: asked for every
// line, where a library call would cost more than the comparison.
bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i]) return false;
  return true;
}

// Routes one booking. Memory that runs out while its handlers work gives
// up that booking alone: it is reported, and the run goes on with the next
// line and ends with its summary.
void RouteOneBooking(Run& run, BookingHandlers& handlers, const FieldList& record) noexcept {
  try {
    RouteBooking(handlers, record);
  } catch (const std::bad_alloc&) {
    run.report.BookingWithoutMemory(record[field::kBadgeNumber], record[field::kBookingDate]);
  }
}

// Splits, checks and routes one piece of the booking file; holdsZero is
// the reader's word on whether it holds a zero byte at all.
// insideOverlongLine carries over from one piece to the next.
void HandlePiece(Run& run, BookingHandlers& handlers, std::string_view piece, bool endsLine,
                 bool holdsZero, bool& insideOverlongLine, FieldList& record) {
  // A line too long for a booking is refused whole, once, at its end: a
  // piece of it must never pass for a booking of its own.
  if (insideOverlongLine || !endsLine) {
    insideOverlongLine = !endsLine;
    if (endsLine) run.report.Malformed();
    return;
  }
  if (holdsZero && HidesBytesAfterZero(piece)) {
    run.report.Malformed();
    return;
  }
  SplitResult split = SplitBookingLine(piece, record);
  if (split == SplitResult::kNone) return;
  if (split == SplitResult::kFieldTooLong || record.count() < kMinimumFields) {
    run.report.Malformed();
    return;
  }
  if (!SameText(record[field::kTerminalId], run.report.terminalId())) return;
  record.Shorten(field::kBadgeNumber, TrimRight(record[field::kBadgeNumber]).size());
  RouteOneBooking(run, handlers, record);
}

}  // namespace

void RouteBooking(BookingHandlers& handlers, const FieldList& record) {
  // One look at the kind, then only the fields its rules read.
  const std::string_view kind = record[field::kRecordKind];
  if (kind == "40p") {
    const bool accessStatus = !record[field::kAccessStatus].empty();
    if (!record[field::kTimeBookingMarker].empty()) {
      handlers.ExportTimeBooking(record);
      if (accessStatus) handlers.InsertAccessBooking(record);
    } else if (accessStatus) {
      handlers.InsertAccessBooking(record);
    }
  } else if (kind == "dta") {
    const bool code024 = record[field::kBookingCode] == "024";
    if (record[field::kStatusCode] == "100" && !code024) {
      handlers.ExportTimeBooking(record);
    } else if (record[field::kBadgeNumber].empty() || code024) {
      handlers.InsertAccessBooking(record);
    } else {
      TransferEvent(handlers, record);
    }
  } else if (kind == "62p") {
    handlers.InsertAccessBooking(record);
  } else if (kind == "50p") {
    handlers.ExportCostCentreBooking(record);
  }
}

int TransferBookings(Run& run, BookingFileReader& bookings, BookingHandlers& handlers) {
  FieldList record;
  int status = kExitDone;
  bool insideOverlongLine = false;
  std::string_view piece;
  bool endsLine = false;

  for (;;) {
    // Asked between two bookings, so the one in hand is finished first.
    if (run.stop && run.stop->requested()) {
      run.report.Stopped();
      status = run.stop->exitStatus();
      break;
    }
    ReadResult read = bookings.Next(piece, endsLine);
    if (read == ReadResult::kEnd) break;
    if (read == ReadResult::kError) {
      run.report.FileFailure(kBookingReadFailure, bookings.path());
      status = kExitFileFailure;
      break;
    }
    if (run.report.debug()) run.report.Print(piece);
    HandlePiece(run, handlers, piece, endsLine, bookings.holdsZero(), insideOverlongLine, record);
    const bool rowSent = run.report.TakeRowSent();
    const BookingFate fate = run.report.TakeFate();
    if (run.observer) run.observer->LineHandled(piece, endsLine, fate, rowSent);
    if (!TargetsWritten(run)) {
      status = kExitFileFailure;
      break;
    }
  }
  FreeFieldList(record);

  // However the loop ended, every gathered record goes to its file now,
  // so that the summary counts exactly the records the files hold.
  run.timeBookingFile.Flush();
  run.costCentreFile.Flush();
  // Success is reported only for output on stable storage: the caller
  // deletes the bookings at the terminal once a run has succeeded.
  if (status == kExitDone) {
    run.timeBookingFile.Sync();
    run.costCentreFile.Sync();
  }
  if (status == kExitDone && !TargetsWritten(run)) status = kExitFileFailure;
  // A record that a failed write lost never reached its file: it is taken
  // off the counters and counted as not written.
  run.report.RecordsLost(run.timeBookingFile.lostRecords(), run.costCentreFile.lostRecords());
  run.report.Summary();
  return status;
}

}  // namespace tralvo
