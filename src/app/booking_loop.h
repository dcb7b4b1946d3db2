// The booking loop: every line of the booking file is split, checked,
// filtered by terminal and routed to its handlers; the run summary goes to
// the transfer log at the end.
#pragma once

#include <string_view>

namespace tralvo {

class BookingFileReader;
class BookingHandlers;
class FieldList;
class LineObserver;
struct RunState;

// Exit status of a run whose files failed: a booking file that cannot be
// read, or a target file that cannot be written.
inline constexpr int kFileFailureStatus = 94;

// The text without its trailing blanks and tabs.
std::string_view TrimRight(std::string_view text);

// Routes one well-formed record of the run's terminal, its badge number
// already trimmed.
void RouteBooking(RunState& state, BookingHandlers& handlers, const FieldList& record);

// Processes the whole booking file. Returns 0, or kFileFailureStatus when
// the booking file could not be read to its end or a target file could
// not be written, or state.stop's exit status when the run was asked to
// stop before the end; each is reported on the console and in the log.
// observer, when given, is told of every line as it is handled.
int TransferBookings(RunState& state, BookingFileReader& bookings, BookingHandlers& handlers,
                     LineObserver* observer = nullptr);

}  // namespace tralvo
