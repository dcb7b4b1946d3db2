// Single-row queries that resolve booking data against the installation's
// master tables, and the run's current schema.
//
// Each query returns 0 when it found a row (its output delivered), 100
// when no row matched, -1 when there was no handle or the fetch failed, or
// the native error of a statement the server refused; on any result but 0
// the outputs keep what they held. None of them prints or logs anything.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tralvo {

class Database;
struct RunState;
struct TimeBookingLine;

// Badge number and booking date (YYYYMMDD) to the holder's schema (at most
// 20 characters) and personnel number (at most 8) in line; the badge
// assignment must be valid on that date. A longer value arrives cut and
// still counts as found; a NULL column leaves that field of line as it was.
int LookupBadge(Database& db, std::string_view badge, std::string_view date, TimeBookingLine& line);

// Booking code to its booking type as decimal text ("0" for a NULL type).
int LookupBookingType(Database& db, std::string_view code, std::string& out);

// Booking code to the code that replaces it (at most 20 characters; empty
// for a NULL replacement).
int LookupCodeMapping(Database& db, std::string_view code, std::string& out);

// Zone code, the prefix immediately followed by the suffix, to its zone
// number (0 for a NULL number).
int LookupZoneNumber(Database& db, std::string_view prefix, std::string_view suffix, int32_t& out);

// Makes schema the current schema of the run. Returns 0.
int SetCurrentSchema(RunState& state, std::string_view schema);

}  // namespace tralvo
