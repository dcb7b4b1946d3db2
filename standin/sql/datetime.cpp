// Date-time parsing and formatting; see datetime.h.
#include "sql/datetime.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

namespace standin {
namespace {

const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool IsLeap(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// The datetime type spans 1753-01-01 to 9999-12-31.
bool ValidDate(const DateTime& d) {
  return d.year >= 1753 && d.year <= 9999 && d.month >= 1 && d.month <= 12 && d.day >= 1 &&
         d.day <= DaysInMonth(d.year, d.month);
}

bool ValidTime(const DateTime& d) {
  return d.hour >= 0 && d.hour <= 23 && d.minute >= 0 && d.minute <= 59 && d.second >= 0 &&
         d.second <= 59 && d.millisecond >= 0 && d.millisecond <= 999;
}

// Days since 0000-03-01 of the proleptic Gregorian calendar, and back.
int DayNumber(int y, int m, int d) {
  y -= m <= 2;
  int era = (y >= 0 ? y : y - 399) / 400;
  int yoe = y - era * 400;
  int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe;
}

void FromDayNumber(int z, DateTime& out) {
  int era = (z >= 0 ? z : z - 146096) / 146097;
  int doe = z - era * 146097;
  int yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int mp = (5 * doy + 2) / 153;
  out.day = doy - (153 * mp + 2) / 5 + 1;
  out.month = mp < 10 ? mp + 3 : mp - 9;
  out.year = yoe + era * 400 + (out.month <= 2);
}

constexpr uint32_t kTicksPerDay = 300u * 86400u;

// A small cursor over the text, reading fixed-width digit groups.
struct Reader {
  const std::string& s;
  size_t pos = 0;
  bool Digits(int count, int& out) {
    out = 0;
    for (int i = 0; i < count; ++i) {
      if (pos >= s.size() || !std::isdigit(static_cast<unsigned char>(s[pos]))) return false;
      out = out * 10 + (s[pos++] - '0');
    }
    return true;
  }
  // One or two digits, as hours and days may be written.
  bool ShortNumber(int& out) {
    if (!Digits(1, out)) return false;
    int more;
    size_t save = pos;
    if (Digits(1, more)) {
      out = out * 10 + more;
    } else {
      pos = save;
    }
    return true;
  }
  bool Char(char c) {
    if (pos < s.size() && s[pos] == c) {
      ++pos;
      return true;
    }
    return false;
  }
  void Blanks() {
    while (pos < s.size() && s[pos] == ' ') ++pos;
  }
  bool AtEnd() {
    Blanks();
    return pos == s.size();
  }
};

// "hh:mi[:ss[.mmm]]" with a '.' or ':' before the milliseconds (style 114
// writes a colon).
bool ReadTime(Reader& r, DateTime& d) {
  if (!r.ShortNumber(d.hour) || !r.Char(':') || !r.Digits(2, d.minute)) return false;
  if (r.Char(':')) {
    if (!r.Digits(2, d.second)) return false;
    if (r.Char('.') || r.Char(':')) {
      int ms = 0, digits = 0;
      while (r.pos < r.s.size() && std::isdigit(static_cast<unsigned char>(r.s[r.pos]))) {
        if (digits < 3) ms = ms * 10 + (r.s[r.pos] - '0');
        ++digits;
        ++r.pos;
      }
      if (digits == 0) return false;
      for (int k = digits; k < 3; ++k) ms *= 10;
      d.millisecond = ms;
    }
  }
  return true;
}

bool ReadOptionalTime(Reader& r, DateTime& d) {
  r.Blanks();
  if (r.AtEnd()) return true;
  if (r.s[r.pos] == 'T') ++r.pos;
  return ReadTime(r, d) && r.AtEnd();
}

std::optional<DateTime> Finish(bool ok, const DateTime& d, DateError* error) {
  DateError why = !ok || !ValidTime(d) ? DateError::Malformed
                  : !ValidDate(d)      ? DateError::OutOfRange
                                       : DateError::None;
  DateTime rounded = why == DateError::None ? RoundToTicks(d) : d;
  // The last moment of 9999 rounds into a year the type cannot hold.
  if (why == DateError::None && rounded.year > 9999) why = DateError::OutOfRange;
  if (error) *error = why;
  if (why != DateError::None) return std::nullopt;
  return rounded;
}

}  // namespace

std::optional<DateTime> ParseDateTime(const std::string& text, int style, DateError* error) {
  if (error) *error = DateError::None;
  DateTime d;
  Reader r{text};
  r.Blanks();
  if (r.AtEnd()) return d;  // an empty string converts to 1900-01-01
  size_t start = r.pos;
  // dd.mm.yyyy (style 104 and its relatives)
  if (style == 104 || style == 4) {
    bool ok = r.ShortNumber(d.day) && r.Char('.') && r.ShortNumber(d.month) && r.Char('.') &&
              r.Digits(4, d.year) && ReadOptionalTime(r, d);
    return Finish(ok, d, error);
  }
  // A time alone (style 108 and 114) falls on 1900-01-01.
  if (style == 108 || style == 114) {
    return Finish(ReadTime(r, d) && r.AtEnd(), d, error);
  }
  // yyyy-mm-dd[ hh:mi[:ss[.mmm]]], the ODBC canonical form
  if (r.Digits(4, d.year) && r.Char('-')) {
    bool ok =
        r.ShortNumber(d.month) && r.Char('-') && r.ShortNumber(d.day) && ReadOptionalTime(r, d);
    return Finish(ok, d, error);
  }
  // yyyymmdd[ hh:mi[:ss[.mmm]]], accepted whatever the style
  r.pos = start;
  if (r.Digits(4, d.year) && r.Digits(2, d.month) && r.Digits(2, d.day)) {
    return Finish(ReadOptionalTime(r, d), d, error);
  }
  return std::nullopt;
}

bool IsDateTimeStyle(int style) {
  return (style >= 0 && style <= 14) || (style >= 20 && style <= 23) || style == 25 ||
         (style >= 100 && style <= 114) || style == 120 || style == 121 || style == 126 ||
         style == 127;
}

namespace {

// The styles that write a date as three numbers: which of them comes
// first and what stands between them.
struct NumericDateStyle {
  int base;
  enum Order { kMonthDayYear, kDayMonthYear, kYearMonthDay } order;
  const char* separator;
};

constexpr NumericDateStyle kNumericDateStyles[] = {
    {1, NumericDateStyle::kMonthDayYear, "/"},  {2, NumericDateStyle::kYearMonthDay, "."},
    {3, NumericDateStyle::kDayMonthYear, "/"},  {4, NumericDateStyle::kDayMonthYear, "."},
    {5, NumericDateStyle::kDayMonthYear, "-"},  {10, NumericDateStyle::kMonthDayYear, "-"},
    {11, NumericDateStyle::kYearMonthDay, "/"}, {12, NumericDateStyle::kYearMonthDay, ""}};

std::string NumericDate(const DateTime& d, const char* year, const NumericDateStyle& style) {
  const char* s = style.separator;
  char buf[32];
  if (style.order == NumericDateStyle::kYearMonthDay) {
    std::snprintf(buf, sizeof buf, "%s%s%02d%s%02d", year, s, d.month, s, d.day);
  } else {
    bool monthFirst = style.order == NumericDateStyle::kMonthDayYear;
    std::snprintf(buf, sizeof buf, "%02d%s%02d%s%s", monthFirst ? d.month : d.day, s,
                  monthFirst ? d.day : d.month, s, year);
  }
  return buf;
}

}  // namespace

std::string FormatDateTime(const DateTime& d, int style) {
  // Styles below 100 write the year with two digits, except those that
  // only exist with four (0, 9, 13, 20, 21, 25).
  int base = style >= 100 ? style - 100 : style;
  bool shortYear = style < 100 && base != 0 && base != 9 && base != 13 && base < 20;
  char y[8];
  std::snprintf(y, sizeof y, shortYear ? "%02d" : "%04d", shortYear ? d.year % 100 : d.year);
  const char* mon = kMonths[d.month - 1];
  int h12 = d.hour % 12 == 0 ? 12 : d.hour % 12;
  const char* ampm = d.hour < 12 ? "AM" : "PM";
  for (const NumericDateStyle& numeric : kNumericDateStyles)
    if (numeric.base == base) return NumericDate(d, y, numeric);
  char buf[64];
  switch (base) {
    case 0:
      std::snprintf(buf, sizeof buf, "%s %2d %04d %2d:%02d%s", mon, d.day, d.year, h12, d.minute,
                    ampm);
      return buf;
    case 6:
      std::snprintf(buf, sizeof buf, "%02d %s %s", d.day, mon, y);
      return buf;
    case 7:
      std::snprintf(buf, sizeof buf, "%s %02d, %s", mon, d.day, y);
      return buf;
    case 8:
      std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", d.hour, d.minute, d.second);
      return buf;
    case 9:
      std::snprintf(buf, sizeof buf, "%s %2d %04d %2d:%02d:%02d:%03d%s", mon, d.day, d.year, h12,
                    d.minute, d.second, d.millisecond, ampm);
      return buf;
    case 13:
      std::snprintf(buf, sizeof buf, "%02d %s %04d %02d:%02d:%02d:%03d", d.day, mon, d.year, d.hour,
                    d.minute, d.second, d.millisecond);
      return buf;
    case 14:
      std::snprintf(buf, sizeof buf, "%02d:%02d:%02d:%03d", d.hour, d.minute, d.second,
                    d.millisecond);
      return buf;
    case 20:
      std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", d.year, d.month, d.day,
                    d.hour, d.minute, d.second);
      return buf;
    case 22:
      std::snprintf(buf, sizeof buf, "%02d/%02d/%02d %2d:%02d:%02d %s", d.month, d.day,
                    d.year % 100, h12, d.minute, d.second, ampm);
      return buf;
    case 23:
      std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.year, d.month, d.day);
      return buf;
    case 26:
    case 27:
      std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", d.year, d.month, d.day,
                    d.hour, d.minute, d.second, d.millisecond);
      return buf;
    default:  // 21, 25 and 121
      return CanonicalText(d);
  }
}

std::string CanonicalText(const DateTime& d) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", d.year, d.month, d.day,
                d.hour, d.minute, d.second, d.millisecond);
  return buf;
}

std::optional<DateTime> FromCanonical(const std::string& text) {
  return ParseDateTime(text, 121);
}

void ToWire(const DateTime& d, int32_t& days, uint32_t& ticks) {
  days = DayNumber(d.year, d.month, d.day) - DayNumber(1900, 1, 1);
  uint32_t seconds = static_cast<uint32_t>(d.hour * 3600 + d.minute * 60 + d.second);
  ticks = seconds * 300 + static_cast<uint32_t>((d.millisecond * 3 + 5) / 10);
  if (ticks >= kTicksPerDay) {
    ++days;
    ticks -= kTicksPerDay;
  }
}

DateTime RoundToTicks(const DateTime& value) {
  int32_t days;
  uint32_t ticks;
  ToWire(value, days, ticks);
  DateTime d;
  FromDayNumber(days + DayNumber(1900, 1, 1), d);
  uint32_t seconds = ticks / 300;
  d.hour = static_cast<int>(seconds / 3600);
  d.minute = static_cast<int>(seconds / 60 % 60);
  d.second = static_cast<int>(seconds % 60);
  d.millisecond = static_cast<int>(((ticks % 300) * 10 + 1) / 3);
  return d;
}

DateTime Now(const std::string& fixedClock) {
  if (!fixedClock.empty()) {
    if (auto parsed = ParseDateTime(fixedClock, 120)) return *parsed;
  }
  auto now = std::chrono::system_clock::now();
  std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm tm{};
  localtime_r(&t, &tm);
  DateTime d;
  d.year = tm.tm_year + 1900;
  d.month = tm.tm_mon + 1;
  d.day = tm.tm_mday;
  d.hour = tm.tm_hour;
  d.minute = tm.tm_min;
  d.second = tm.tm_sec;
  d.millisecond = static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
  return RoundToTicks(d);
}

}  // namespace standin
