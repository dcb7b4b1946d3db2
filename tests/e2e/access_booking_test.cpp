// Whole runs of the built tool for access bookings and events: the rows
// that arrive, their status and date-time columns, duplicates, failures,
// and how the routing table splits one booking over several targets.
#include <gtest/gtest.h>

#include <algorithm>

#include "statement_oracle.h"
#include "transfer_fixture.h"

namespace testsupport {
namespace {

using Rows = std::vector<std::vector<std::string>>;

class AccessBookings : public TransferTest {
 protected:
  explicit AccessBookings(StandinOptions options = DefaultOptions()) : TransferTest(options) {}

  Rows AccessRows(const std::string& columns = "ZpkAsw, ZpkZus") const {
    return server_.Query("SELECT " + columns + " FROM KriVax.Kvx402Zpk ORDER BY ZpkUhr");
  }
  Rows EventRows() const {
    return server_.Query("SELECT BPRAWV, BPRERG FROM KRIVAX.O2009BUCHPROT ORDER BY BPRDAT");
  }
  // Bookings a minute apart so none is a duplicate of another.
  static Booking At(int minute, Booking b) {
    b.time = "07" + std::string(minute < 10 ? "0" : "") + std::to_string(minute) + "00";
    return b;
  }
  static Booking Access(const std::string& badge, const std::string& access) {
    Booking b;
    b.badge = badge;
    b.access = access;
    return b;
  }
  static Booking Dta(const std::string& badge, const std::string& status,
                     const std::string& code = "017") {
    Booking b;
    b.kind = "dta";
    b.badge = badge;
    b.status = status;
    b.code = code;
    return b;
  }
};

TEST_F(AccessBookings, RowStatusOfFortyPByTheFirstCharacterOfTheAccessStatus) {
  std::string file;
  const char* statuses[] = {"1", "U", "B", "Z", "S", "9", "u", "Ux", "7"};
  int minute = 0;
  for (const char* status : statuses) file += At(minute++, Access("4711", status)).Line();
  ProcessResult r = Transfer(file);
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.output, "");
  Rows rows = AccessRows("ZpkZus");
  std::vector<std::string> got;
  for (const auto& row : rows) got.push_back(row[0]);
  EXPECT_EQ(got, (std::vector<std::string>{"100", "201", "202", "202", "203", "204", "200", "201",
                                           "200"}));
  EXPECT_EQ(inst_.Log(), Header() + Summary(0, 9, 0, 0));
}

TEST_F(AccessBookings, ZoneAndStatusCodeRows) {
  Booking zone = At(1, Booking{});
  zone.kind = "62p";
  zone.zonePrefix = "7";
  zone.status = "12";
  Booking noZone = At(2, zone);
  noZone.status = "13";
  Transfer(zone.Line() + noZone.Line() + At(3, Dta("", "17")).Line() +
           At(4, Dta("", "1x7")).Line() + At(5, Dta("", "abc")).Line());
  EXPECT_EQ(AccessRows(), (Rows{{"4711", "31"}, {"4711", "0"}, {"", "17"}, {"", "1"}, {"", "0"}}));
  std::vector<std::string> statements = ToolStatements();
  EXPECT_NE(std::find(statements.begin(), statements.end(), ZoneStatement("712")),
            statements.end());
}

TEST_F(AccessBookings, DateTimeColumnsAndFixedValues) {
  Booking b = Access("4711", "1");
  b.reader = "12";
  Booking event = Dta("4711", "17", "005");
  event.reader = "9";
  event.time = "073006";
  Transfer(b.Line() + event.Line());
  EXPECT_EQ(AccessRows("ZpkTrm, ZpkLes, ZpkDtm, ZpkUhr, ZpkAsw, ZpkZus, ZpkFcd, ZpkMld, ZpkLfd"),
            (Rows{{"T1", "12", "2009-07-15 00:00:00.000", "2009-07-15 07:30:05.000", "4711", "100",
                   kNull, kNull, "001"},
                  {"T1", "9", "2009-07-15 00:00:00.000", "2009-07-15 07:30:06.000", "4711", "17",
                   kNull, kNull, "001"}}));
  EXPECT_EQ(server_.Query("SELECT BPRTRM, BPRZLS, BPRAWV, BPRDAT, BPRDTE, BPRFCD, BPRERG, BPRVAR "
                          "FROM KRIVAX.O2009BUCHPROT"),
            (Rows{{"T1", "9", "4711", "2009-07-15 07:30:06.000", "2009-07-15 07:30:06.000", "005",
                   "17", ""}}));
  std::vector<std::string> statements = ToolStatements();
  ASSERT_EQ(statements.size(), 4u);
  EXPECT_EQ(statements[1], AccessStatement("T1", "12", "2009-07-15 00:00:00", "2009-07-15 07:30:05",
                                           "4711", "100"));
  EXPECT_EQ(statements[2], EventStatement("T1", "9", "4711", "2009-07-15 07:30:06", "005", "17"));
}

TEST_F(AccessBookings, TheSameAccessBookingTwiceIsCountedWithoutAMessage) {
  std::string line = Access("4711", "1").Line();
  ProcessResult r = Transfer(line + line);
  EXPECT_EQ(r.output, "");
  EXPECT_EQ(AccessRows().size(), 1u);
  EXPECT_EQ(inst_.Log(), Header() + Summary(0, 2, 0, 0));
}

TEST_F(AccessBookings, RefusedRowsAreReportedAndNotCounted) {
  // A badge number too long for its column is sent whole and refused,
  // never stored cut; so is a date the server cannot read.
  Booking tooLong = Access(std::string(21, '9'), "1");
  Booking badDate = At(1, Access("4711", "1"));
  badDate.date = "2009071";
  ProcessResult r = Transfer(tooLong.Line() + badDate.Line() + At(2, Access("4711", "1")).Line());
  EXPECT_EQ(r.output,
            " Insert in Kvx402Zpk fehlgeschlagen, Fehler 8152\n"
            " Insert in Kvx402Zpk fehlgeschlagen, Fehler 241\n");
  EXPECT_EQ(AccessRows().size(), 1u);
  EXPECT_EQ(inst_.Log(), Header() + Summary(0, 1, 0, 0));
}

TEST_F(AccessBookings, RoutingConsequencesAcrossTargets) {
  Booking both = Time("4711");
  both.access = "1";
  Booking dta024 = At(1, Dta("4711", "100", "024"));
  Booking dtaNoBadge = At(2, Dta("", "100", "001"));
  Booking event = At(3, Dta("4712", "17", "001"));
  Booking cost = At(4, Booking{});
  cost.kind = "50p";
  ProcessResult r =
      Transfer(both.Line() + dta024.Line() + dtaNoBadge.Line() + event.Line() + cost.Line());
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(inst_.TimeBookings().size(), 82u);
  EXPECT_EQ(inst_.CostCentres(),
            "150709070400"
            "4711         "
            "000KST1");
  EXPECT_EQ(AccessRows(), (Rows{{"4711", "100"}, {"4712", "17"}, {"4711", "100"}}));
  EXPECT_EQ(EventRows(), (Rows{{"4712", "17"}}));
  EXPECT_EQ(inst_.Log(),
            Header() + ", 20090715, Schema/Personalnr. nicht gefunden :\r\n" + Summary(1, 3, 1, 1));
}

TEST_F(AccessBookings, OneFortyPBookingFromLineToLineAndRow) {
  Booking b = Time("4713");
  b.access = "S";
  b.costCentre = "KST-OST";
  ProcessResult r = Transfer(b.Line());
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(inst_.TimeBookings(), "MANDANT_B           2001    15.07.200907:3000003001KST-OST" +
                                      std::string(23, ' ') + "\n");
  EXPECT_EQ(AccessRows("ZpkTrm, ZpkAsw, ZpkZus, ZpkUhr"),
            (Rows{{"T1", "4713", "203", "2009-07-15 07:30:05.000"}}));
  EXPECT_EQ(inst_.Log(), Header() + Summary(1, 1, 0, 0));
}

class FailingEvents : public AccessBookings {
 protected:
  static StandinOptions Options() {
    StandinOptions options = DefaultOptions();
    options.fail = {"O2009BUCHPROT=547"};
    return options;
  }
  FailingEvents() : AccessBookings(Options()) {}
};

TEST_F(FailingEvents, AccessRowStillArrivesAndTheEventIsNotCounted) {
  ProcessResult r = Transfer(Dta("4711", "17").Line());
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.output, "");
  EXPECT_EQ(EventRows(), Rows{});
  EXPECT_EQ(AccessRows(), (Rows{{"4711", "17"}}));
  EXPECT_EQ(inst_.Log(), Header() + Summary(0, 1, 0, 0));
}

}  // namespace
}  // namespace testsupport
