// Time bookings: one 82-byte line of the time booking file per booking,
// after the badge number is resolved to the holder's schema and personnel
// number and the booking code to its booking type.
#pragma once

namespace tralvo {

class Database;
class FieldList;
struct RunState;

// Exports one time booking. Returns 0 when a line was written, -1 when the
// booking was refused (and reported).
int ExportTimeBooking(RunState& state, Database& db, const FieldList& record);

}  // namespace tralvo
