// Single-row queries that resolve booking data against the installation's
// master tables.
//
// Each query returns its outcome (db/outcome.h): kDone when it found a row
// (its output delivered), kNoRow (code 100) when no row matched, kRefused
// with the native error of a statement the server refused (-1 when there
// was no handle or the fetch failed), kUnknown or kNotSent when the
// server never answered it; on any outcome but kDone the outputs keep what
// they held. None of them prints, logs or counts anything.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "db/outcome.h"

namespace tralvo {

class Database;
struct TimeBookingLine;

// Badge number and booking date (YYYYMMDD) to the holder's schema (at most
// 20 characters) and personnel number (at most 8) in line; the badge
// assignment must be valid on that date. A longer value arrives cut and
// still counts as found; a NULL column leaves that field of line as it was.
DbResult LookupBadge(Database& db, std::string_view badge, std::string_view date,
                     TimeBookingLine& line);

// Booking code to its booking type as decimal text ("0" for a NULL type).
DbResult LookupBookingType(Database& db, std::string_view code, std::string& out);

// Booking code to the code that replaces it (at most 20 characters; empty
// for a NULL replacement).
DbResult LookupCodeMapping(Database& db, std::string_view code, std::string& out);

// Zone code, the prefix immediately followed by the suffix, to its zone
// number (0 for a NULL number).
DbResult LookupZoneNumber(Database& db, std::string_view prefix, std::string_view suffix,
                          int32_t& out);

}  // namespace tralvo
