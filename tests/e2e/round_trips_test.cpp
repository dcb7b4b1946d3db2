// A generated day's mix of bookings costs exactly the statements its
// bookings call for, no lookup cached and none repeated: one for the
// server's time, then per booking of the terminal
//   time booking: the badge; for a found holder the booking type; for a
//                 found type the code mapping
//   access row:   one insert, after a zone lookup for a "62p"
//   event:        the event insert and the access row insert
// and nothing for cost-centre bookings, foreign, malformed or unrouted lines.
#include <gtest/gtest.h>

#include <random>

#include "transfer_fixture.h"

namespace testsupport {
namespace {

struct Mix {
  std::string bookings;
  size_t statements = 1;  // the server's time
};

// Badges and codes of the master data: found on 15 July 2009 or not, with a
// booking type and mapping or without.
int TimeBookingStatements(const std::string& badge, const std::string& code) {
  bool holderFound = badge == "4711" || badge == "4712" || badge == "4713";
  if (!holderFound) return 1;
  bool typeFound = code == "001" || code == "004";
  return typeFound ? 3 : 2;
}

class RoundTrips : public TransferTest {
 protected:
  static Mix Generate(unsigned seed, int lines);
};

Mix RoundTrips::Generate(unsigned seed, int lines) {
  std::mt19937 random(seed);
  auto pick = [&](std::initializer_list<const char*> values) {
    return std::string(*(values.begin() + random() % values.size()));
  };
  Mix mix;
  for (int i = 0; i < lines; ++i) {
    Booking b;
    b.badge = pick({"4711", "4712", "4713", "4714", "9999"});
    b.code = pick({"001", "004", "009"});
    char time[8];
    std::snprintf(time, sizeof time, "%02d%02d%02d", i / 3600, i / 60 % 60, i % 60);
    b.time = time;
    switch (random() % 10) {
      case 0:  // time booking and access row
        b.marker = "X", b.access = pick({"1", "U", "S"});
        mix.statements += TimeBookingStatements(b.badge, b.code) + 1;
        break;
      case 1:  // time booking alone
        b.marker = "X";
        mix.statements += TimeBookingStatements(b.badge, b.code);
        break;
      case 2:  // access row alone
        b.access = pick({"1", "B", "9"});
        mix.statements += 1;
        break;
      case 3:  // time booking of a "dta" line
        b.kind = "dta", b.status = "100";
        mix.statements += TimeBookingStatements(b.badge, b.code);
        break;
      case 4:  // event and access row
        b.kind = "dta", b.status = "17";
        mix.statements += 2;
        break;
      case 5:  // zone lookup and access row, the zone known or not
        b.kind = "62p", b.status = pick({"12", "13"}), b.zonePrefix = "7";
        mix.statements += 2;
        break;
      case 6:
        b.kind = "50p";
        break;
      case 7:
        b.terminal = "T2", b.marker = "X", b.access = "1";
        break;
      case 8:  // a "40p" of no rule
        break;
      default:
        mix.bookings += b.badge + ",-,20090715," + b.time + ",-,T1,3\r\n";  // malformed
        continue;
    }
    mix.bookings += b.Line();
  }
  return mix;
}

TEST_F(RoundTrips, GeneratedMixCostsExactlyTheStatementsItsBookingsCallFor) {
  Mix mix = Generate(13, 400);
  ProcessResult r = Transfer(mix.bookings);
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(ToolStatements().size(), mix.statements);
}

}  // namespace
}  // namespace testsupport
