// Date-time values as the server's datetime type holds them: parsing the
// texts CONVERT accepts, formatting them in the CONVERT styles, and the
// canonical text form kept in SQLite.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace standin {

struct DateTime {
  int year = 1900, month = 1, day = 1;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
};

// Why a text is no datetime: the server tells a text it cannot read
// (241) from a date that does not exist or lies outside the type (242).
enum class DateError { None, Malformed, OutOfRange };

// Reads a character string as CONVERT(DATETIME, text, style) does, rounded
// to the type's steps; nullopt when the text is no valid date-time, with
// the reason in `error` when given.
std::optional<DateTime> ParseDateTime(const std::string& text, int style,
                                      DateError* error = nullptr);

// The value rounded to the type's steps of 1/300 s (.000, .003, .007),
// carried into the next second, day or year where it rounds up.
DateTime RoundToTicks(const DateTime& value);

// Whether CONVERT defines `style` for a datetime turned into text.
bool IsDateTimeStyle(int style);

// Formats as CONVERT(varchar, value, style) does; style 0 is the default
// "mon dd yyyy hh:miAM". Call with a style IsDateTimeStyle accepts.
std::string FormatDateTime(const DateTime& value, int style);

// The canonical storage form "yyyy-mm-dd hh:mi:ss.mmm", which also sorts
// in time order as text.
std::string CanonicalText(const DateTime& value);
std::optional<DateTime> FromCanonical(const std::string& text);

// The 8-byte wire form: days since 1900-01-01 and 1/300 s since midnight.
void ToWire(const DateTime& value, int32_t& days, uint32_t& ticks);

// The clock for CURRENT_TIMESTAMP: a fixed "YYYY-MM-DD HH:MM:SS" or, when
// empty, the local time of the machine; rounded to the type's steps.
DateTime Now(const std::string& fixedClock);

}  // namespace standin
