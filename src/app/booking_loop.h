// The booking loop: every line of the booking file is split, checked,
// filtered by terminal and routed to its handlers; the run summary goes to
// the transfer log at the end.
#pragma once

#include <string_view>

namespace tralvo {

class BookingFileReader;
class BookingHandlers;
class FieldList;
struct Run;

// The text without its trailing blanks and tabs. Inline: asked for every
// line.
inline std::string_view TrimRight(std::string_view text) {
  size_t end = text.size();
  while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
  return text.substr(0, end);
}

// Routes one well-formed record of the run's terminal, its badge number
// already trimmed.
void RouteBooking(BookingHandlers& handlers, const FieldList& record);

// Processes the whole booking file. Returns kExitDone, or kExitFileFailure
// when the booking file could not be read to its end or a target file
// could not be written, or run.stop's exit status when the run was asked
// to stop before the end; each is reported on the console and in the log.
int TransferBookings(Run& run, BookingFileReader& bookings, BookingHandlers& handlers);

}  // namespace tralvo
