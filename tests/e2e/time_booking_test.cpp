// Whole runs of the built tool through unixODBC, the driver and the
// stand-in: the run header, time bookings with their lookups, and the
// statements that reach the server.
#include <gtest/gtest.h>

#include <algorithm>

#include "statement_oracle.h"
#include "transfer_fixture.h"

namespace testsupport {
namespace {

// The exact line the importing program reads.
std::string TimeLine(const std::string& schema, const std::string& personnel,
                     const std::string& date, const std::string& time, const std::string& type,
                     const std::string& code, const std::string& costCentre = "KST1") {
  auto pad = [](std::string text, size_t width) { return text.append(width - text.size(), ' '); };
  std::string line = pad(schema, 20) + pad(personnel, 8) + date + time +
                     std::string(5 - type.size(), '0') + type + pad(code, 3) + pad(costCentre, 30) +
                     "\n";
  EXPECT_EQ(line.size(), 82u);
  return line;
}

using Rows = std::vector<std::vector<std::string>>;

class TimeBookings : public TransferTest {};

TEST_F(TimeBookings, EmptyBookingFileLogsHeaderAndZeroSummary) {
  ProcessResult r = Transfer("");
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.output, "");
  EXPECT_EQ(inst_.Log(), Header() + Summary(0, 0, 0, 0));
  EXPECT_EQ(ToolStatements(), std::vector<std::string>{kServerTime});
  EXPECT_EQ(inst_.TimeBookings(), "");
  EXPECT_EQ(inst_.CostCentres(), "");
}

TEST_F(TimeBookings, BadgeAssignmentsCountOnTheirValidityDates) {
  ProcessResult r =
      Transfer(Time("4711").Line() + Time("4712").Line() + Time("4713").Line() +
               Time("4714").Line() + Time("4715").Line() + Time("4712", "001", "20090716").Line() +
               Time("4711", "001", "20081231").Line());
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(inst_.TimeBookings(),
            TimeLine("MANDANT_A", "1001", "15.07.2009", "07:30", "3", "001") +
                TimeLine("MANDANT_A", "1002", "15.07.2009", "07:30", "3", "001") +
                TimeLine("MANDANT_B", "2001", "15.07.2009", "07:30", "3", "001"));
  EXPECT_EQ(inst_.Log(), Header() +
                             "4714, 20090715, Schema/Personalnr. nicht gefunden :\r\n"
                             "4715, 20090715, Schema/Personalnr. nicht gefunden :\r\n"
                             "4712, 20090716, Schema/Personalnr. nicht gefunden :\r\n"
                             "4711, 20081231, Schema/Personalnr. nicht gefunden :\r\n" +
                             Summary(3, 0, 0, 0));
}

TEST_F(TimeBookings, BookingTypesAndCodeMappings) {
  Transfer(Time("4711", "001").Line() + Time("4711", "002").Line() + Time("4711", "003").Line() +
           Time("4711", "004").Line() + Time("4711", "005").Line() + Time("4711", "009").Line() +
           Time("4711", "001").Line());
  EXPECT_EQ(inst_.TimeBookings(),
            TimeLine("MANDANT_A", "1001", "15.07.2009", "07:30", "3", "001") +
                TimeLine("MANDANT_A", "1001", "15.07.2009", "07:30", "12345", "002") +
                TimeLine("MANDANT_A", "1001", "15.07.2009", "07:30", "-3", "003") +
                TimeLine("MANDANT_A", "1001", "15.07.2009", "07:30", "7", "044") +
                TimeLine("MANDANT_A", "1001", "15.07.2009", "07:30", "8", "") +
                TimeLine("MANDANT_A", "1001", "15.07.2009", "07:30", "", "009") +
                TimeLine("MANDANT_A", "1001", "15.07.2009", "07:30", "3", "001"));
  EXPECT_EQ(inst_.Log(),
            Header() +
                "MANDANT_A, 1001, 20090715, Buchungstyp zur Buchungsart 009 nicht gefunden :\r\n" +
                Summary(7, 0, 0, 0));
  // A code without a booking type is not looked up for a replacement.
  std::vector<std::string> statements = ToolStatements();
  EXPECT_EQ(std::count(statements.begin(), statements.end(), CodeMappingStatement("009")), 0);
  EXPECT_EQ(statements.size(), 1u + 7 * 3 - 1);
}

TEST_F(TimeBookings, ExactlyTheStatementsOfOneBooking) {
  Booking b = Time("4711");
  b.time = "074512";
  b.date = "20091224";
  Transfer(b.Line());
  EXPECT_EQ(ToolStatements(),
            (std::vector<std::string>{kServerTime, BadgeStatement("4711", "20091224"),
                                      BookingTypeStatement("001"), CodeMappingStatement("001")}));
  EXPECT_EQ(inst_.TimeBookings(), TimeLine("MANDANT_A", "1001", "24.12.2009", "07:45", "3", "001"));
}

TEST_F(TimeBookings, QuotesInValuesAreDoubledAndChangeNothingElse) {
  // A quote is a character of the value: it finds its row, and an attempt
  // to end the literal finds nothing and changes nothing.
  const std::string attack = "1'; DELETE FROM KRIVAX.KVX301ASW; --";
  Transfer(Time("O'Neil").Line() + Time(attack).Line());
  EXPECT_EQ(inst_.TimeBookings(), TimeLine("MANDANT_A", "P107", "15.07.2009", "07:30", "3", "001"));
  std::vector<std::string> statements = ToolStatements();
  ASSERT_EQ(statements.size(), 5u);
  EXPECT_EQ(statements[1], BadgeStatement("O''Neil", "20090715"));
  EXPECT_EQ(statements[4], BadgeStatement("1''; DELETE FROM KRIVAX.KVX301ASW; --", "20090715"));
  EXPECT_EQ(inst_.Log(), Header() + attack + ", 20090715, Schema/Personalnr. nicht gefunden :\r\n" +
                             Summary(1, 0, 0, 0));
  EXPECT_EQ(server_.Query("SELECT COUNT(*) FROM KRIVAX.KVX301ASW"), (Rows{{"14"}}));
}

TEST_F(TimeBookings, ValuesThatDoNotFitTheLineAreRefused) {
  Booking longCostCentre = Time("4711");
  longCostCentre.costCentre = std::string(31, 'K');
  Booking shortDate = Time("4711", "001", "2009071");
  Booking shortTime = Time("4711");
  shortTime.time = "073";
  Transfer(longCostCentre.Line() + shortDate.Line() + shortTime.Line() +
           Time("4711", "006").Line() + Time("4711", "0011").Line());
  EXPECT_EQ(inst_.TimeBookings(), "");
  EXPECT_EQ(inst_.Log(),
            Header() + "4711, 20090715, Kostenstelle zu lang :" + std::string(31, 'K') +
                "\r\n"
                "4711, 2009071, Buchungsdatum ungueltig :2009071\r\n"
                "4711, 20090715, Buchungszeit ungueltig :073\r\n"
                "4711, 20090715, Buchungsart zu lang :ABCD\r\n"
                "MANDANT_A, 1001, 20090715, Buchungstyp zur Buchungsart 0011 nicht gefunden :\r\n"
                "4711, 20090715, Buchungsart zu lang :0011\r\n" +
                Summary(0, 0, 0, 0));
}

TEST_F(TimeBookings, DebugShowsTheBlocksOfLoggedBookings) {
  Booking missing = Time("4714");
  Booking untyped = Time("4711", "009");
  ProcessResult r = Transfer(missing.Line() + untyped.Line(), true);
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.output, missing.Line() +
                          "Schema/Personalnr. nicht gefunden :\n"
                          "  Ausweis   : 4714\n   Datum    : 20090715\n   Uhrzeit  : 073005\n"
                          "   Terminal : T1\n\n" +
                          untyped.Line() +
                          "Buchungstyp zur Buchungsart 009 nicht gefunden :\n"
                          "   Schema   : MANDANT_A\n   PersNr   : 1001\n   Datum    : 20090715\n"
                          "   Uhrzeit  : 073005\n   Terminal : T1\n\n"
                          "1 Buchungen uebergeben");
}

class FailingBadgeLookup : public TransferTest {
 protected:
  static StandinOptions Options() {
    StandinOptions options = DefaultOptions();
    options.fail = {"AswPnr=0"};
    return options;
  }
  FailingBadgeLookup() : TransferTest(Options()) {}
};

TEST_F(FailingBadgeLookup, ErrorWithoutNumberIsAFailureNotAFind) {
  ProcessResult r = Transfer(Time("4711").Line());
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(inst_.TimeBookings(), "");
  EXPECT_EQ(inst_.Log(), Header() + "4711, 20090715, Schema/Personalnr. nicht gefunden :\r\n" +
                             Summary(0, 0, 0, 0));
}

class ConnectionFailure : public TransferTest {
 protected:
  void ExpectFailedRun(bool debug) {
    inst_.WriteBookings(Time("4711").Line());
    ProcessResult r = inst_.Transfer("T1", debug, server_.OdbcEnvironment("TRALVO"));
    EXPECT_EQ(r.exitStatus, debug ? 6 : 5);
    EXPECT_EQ(r.output.rfind("Datenbankverbindung fehlgeschlagen, Fehler: -1\n", 0), 0u)
        << r.output;
    if (!debug) {
      EXPECT_EQ(r.output, "Datenbankverbindung fehlgeschlagen, Fehler: -1\n");
    }
    EXPECT_EQ(inst_.TimeBookings(), "");
    EXPECT_EQ(inst_.CostCentres(), "");
    EXPECT_EQ(r.output.find(server_options_password_), std::string::npos);
  }
  std::string ExpectedLog(int runs) {
    std::string log;
    for (int i = 0; i < runs; ++i)
      log += "\r\n\r\nDatenbankverbindung fehlgeschlagen, Fehler: -1\r\n";
    return log;
  }
};

TEST_F(ConnectionFailure, RefusedLogin) {
  inst_.WriteConfig(server_options_user_, "falsch", "TRALVO");
  ExpectFailedRun(false);
  ExpectFailedRun(true);
  EXPECT_EQ(inst_.Log(), ExpectedLog(2));
}

TEST_F(ConnectionFailure, UnknownOrEmptyDataSource) {
  inst_.WriteConfig(server_options_user_, server_options_password_, "GIBTESNICHT");
  ExpectFailedRun(false);
  inst_.WriteConfig(server_options_user_, server_options_password_, "");
  ExpectFailedRun(true);
  EXPECT_EQ(inst_.Log(), ExpectedLog(2));
}

}  // namespace
}  // namespace testsupport
