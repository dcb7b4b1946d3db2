// The booking loop and its routing table.
#include "app/booking_loop.h"

#include <cinttypes>
#include <cstdio>
#include <new>

#include "app/booking_handlers.h"
#include "app/line_observer.h"
#include "export/booking_report.h"
#include "input/booking_file_reader.h"
#include "input/booking_splitter.h"
#include "input/field_list.h"
#include "shared/int_text.h"
#include "shared/run_state.h"
#include "shared/stop_requests.h"

namespace tralvo {

namespace {

// A record needs this many fields to be worth looking at; fields it lacks
// beyond that read as empty.
constexpr int32_t kMinimumFields = 8;

constexpr const char* kStoppedMessage =
    "Uebergabe angehalten (Stoppsignal), Quelldatei nicht zu Ende gelesen";

// A line that holds no whole booking record: said on the console always,
// and counted for the monitoring.
void ReportMalformed(RunState& state) {
  ++state.notTransferred.malformed;
  PrintConsole(state, "FEHLERHAFTER BUCHUNGSSATZ !!\n");
}

// Rule 8: the event row, then the access row whatever became of the event.
void TransferEvent(RunState& state, BookingHandlers& handlers, const FieldList& record) {
  EventBooking event;
  event.terminalId = record[field::kTerminalId];
  event.readerNumber = TextToInt(record[field::kReaderNumber]);
  event.badgeNumber = record[field::kBadgeNumber];
  event.bookingDate = record[field::kBookingDate];
  event.bookingTime = record[field::kBookingTime];
  event.bookingCode = record[field::kBookingCode];
  event.status = TextToInt(record[field::kStatusCode]);
  event.variant = "";
  if (handlers.InsertEventBooking(event) == 0) ++state.counters.events;
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
bool TargetsWritten(RunState& state) {
  for (OutputFile* file : {&state.timeBookingFile, &state.costCentreFile}) {
    if (file->failed()) {
      ReportFileFailure(state, kTargetWriteFailure, file->path());
      return false;
    }
  }
  return true;
}

// The handlers count a record once its file has gathered it; a record
// that a failed write lost never reached the file and is not counted.
void SettleCounters(RunState& state) {
  state.counters.timeBookings -= static_cast<int32_t>(state.timeBookingFile.lostRecords());
  state.counters.costCentreBookings -= static_cast<int32_t>(state.costCentreFile.lostRecords());
}

// Routes one booking. Memory that runs out while its handlers work gives
// up that booking alone: it is reported, and the run goes on with the next
// line and ends with its summary.
void RouteOneBooking(RunState& state, BookingHandlers& handlers, const FieldList& record) noexcept {
  try {
    RouteBooking(state, handlers, record);
  } catch (const std::bad_alloc&) {
    ReportBookingWithoutMemory(state, record[field::kBadgeNumber], record[field::kBookingDate]);
  }
}

// Handles one piece of the booking file. False when a target file failed.
bool HandlePiece(RunState& state, BookingHandlers& handlers, FieldList& record,
                 std::string_view piece, bool endsLine, bool& insideOverlongLine) {
  // A line too long for a booking is refused whole, once, at its end: a
  // piece of it must never pass for a booking of its own.
  if (insideOverlongLine || !endsLine) {
    insideOverlongLine = !endsLine;
    if (endsLine) ReportMalformed(state);
    return true;
  }
  if (HidesBytesAfterZero(piece)) {
    ReportMalformed(state);
    return true;
  }
  SplitResult split = SplitBookingLine(piece, record);
  if (split == SplitResult::kNone) return true;
  if (split == SplitResult::kFieldTooLong || record.count() < kMinimumFields) {
    ReportMalformed(state);
    return true;
  }
  if (record[field::kTerminalId] != state.terminalId) return true;
  record.Shorten(field::kBadgeNumber, TrimRight(record[field::kBadgeNumber]).size());
  RouteOneBooking(state, handlers, record);
  return TargetsWritten(state);
}

// The run's counters at one moment: what changed across a line tells the
// line's fate.
struct Outcome {
  BookingCounters stored;
  NotTransferredCounters lost;
};

LineFate FateOf(const Outcome& before, const Outcome& after) {
  if (after.lost.unknown != before.lost.unknown) return LineFate::kUnknown;
  if (after.lost.refused != before.lost.refused) return LineFate::kRefused;
  if (after.lost.notFound != before.lost.notFound) return LineFate::kNotFound;
  if (after.lost.malformed != before.lost.malformed) return LineFate::kMalformed;
  if (after.lost.notSent != before.lost.notSent) return LineFate::kNotSent;
  const BookingCounters& b = before.stored;
  const BookingCounters& a = after.stored;
  if (a.timeBookings != b.timeBookings || a.accessBookings != b.accessBookings ||
      a.costCentreBookings != b.costCentreBookings || a.events != b.events)
    return LineFate::kDone;
  return LineFate::kNoBooking;
}

// A row stored, refused or of unknown outcome: a statement reached the
// server that may have changed the database.
bool WroteDatabase(const Outcome& before, const Outcome& after) {
  return after.stored.accessBookings != before.stored.accessBookings ||
         after.stored.events != before.stored.events || after.lost.refused != before.lost.refused ||
         after.lost.unknown != before.lost.unknown;
}

void WriteSummary(RunState& state) {
  const BookingCounters& c = state.counters;
  char text[512];
  if (state.debugFlag) {
    int64_t total = int64_t{c.timeBookings} + c.accessBookings + c.costCentreBookings + c.events;
    std::snprintf(text, sizeof text, "%" PRId64 " Buchungen uebergeben", total);
    PrintConsole(state, text);
  }
  std::snprintf(text, sizeof text,
                "\n\xFC"
                "bergeben:\n   Zeitbuchungen         : %d\n   Zutrittsbuchungen:    : %d\n"
                "   Kostenstellenbuchungen: %d\n   Ereignisse:           : %d\n",
                static_cast<int>(c.timeBookings), static_cast<int>(c.accessBookings),
                static_cast<int>(c.costCentreBookings), static_cast<int>(c.events));
  LogMessage(state, text);
}

}  // namespace

std::string_view TrimRight(std::string_view text) {
  size_t end = text.size();
  while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
  return text.substr(0, end);
}

void RouteBooking(RunState& state, BookingHandlers& handlers, const FieldList& record) {
  std::string_view kind = record[field::kRecordKind];
  bool timeMarker = !record[field::kTimeBookingMarker].empty();
  bool accessStatus = !record[field::kAccessStatus].empty();
  bool status100 = record[field::kStatusCode] == "100";
  bool code024 = record[field::kBookingCode] == "024";

  if (kind == "40p" && timeMarker) {
    handlers.ExportTimeBooking(record);
    if (accessStatus) handlers.InsertAccessBooking(record);
  } else if (kind == "dta" && status100 && !code024) {
    handlers.ExportTimeBooking(record);
  } else if ((kind == "40p" && accessStatus) || kind == "62p" ||
             (kind == "dta" && (record[field::kBadgeNumber].empty() || code024))) {
    handlers.InsertAccessBooking(record);
  } else if (kind == "50p") {
    handlers.ExportCostCentreBooking(record);
  } else if (kind == "dta") {
    TransferEvent(state, handlers, record);
  }
}

int TransferBookings(RunState& state, BookingFileReader& bookings, BookingHandlers& handlers,
                     LineObserver* observer) {
  state.counters = BookingCounters{};
  FieldList record;
  int status = 0;
  bool insideOverlongLine = false;
  std::string_view piece;
  bool endsLine = false;
  if (observer) observer->Begin(state);

  for (;;) {
    // Asked between two bookings, so the one in hand is finished first.
    if (state.stop && state.stop->requested()) {
      LogMessage(state, kStoppedMessage);
      PrintConsole(state, std::string(kStoppedMessage) + "\n");
      status = state.stop->exitStatus();
      break;
    }
    ReadResult read = bookings.Next(piece, endsLine);
    if (read == ReadResult::kEnd) break;
    if (read == ReadResult::kError) {
      ReportFileFailure(state, kBookingReadFailure, bookings.path());
      status = kFileFailureStatus;
      break;
    }
    if (state.debugFlag) PrintConsole(state, piece);

    const Outcome before{state.counters, state.notTransferred};
    const bool overlong = insideOverlongLine || !endsLine;
    const bool written = HandlePiece(state, handlers, record, piece, endsLine, insideOverlongLine);
    if (observer) {
      const Outcome after{state.counters, state.notTransferred};
      observer->LineHandled(piece, bookings.offset(),
                            overlong ? LineFate::kMalformed : FateOf(before, after),
                            WroteDatabase(before, after));
    }
    if (!written) {
      status = kFileFailureStatus;
      break;
    }
  }
  FreeFieldList(record);

  // However the loop ended, every gathered record goes to its file now,
  // so that the summary counts exactly the records the files hold.
  state.timeBookingFile.Flush();
  state.costCentreFile.Flush();
  // Success is reported only for output on stable storage: the caller
  // deletes the bookings at the terminal once a run has succeeded.
  if (status == 0) {
    state.timeBookingFile.Sync();
    state.costCentreFile.Sync();
  }
  if (status == 0 && !TargetsWritten(state)) status = kFileFailureStatus;
  SettleCounters(state);
  WriteSummary(state);
  return status;
}

}  // namespace tralvo
