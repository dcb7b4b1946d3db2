// The database operations against the SQL Server stand-in through
// unixODBC and FreeTDS: the statements they send, byte for byte and one
// each, what they deliver, and how failures of the server come back.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "booking_record.h"
#include "console_capture.h"
#include "db/booking_inserts.h"
#include "db/database.h"
#include "db/lookups.h"
#include "export/booking_report.h"
#include "export/time_booking.h"
#include "input/field_list.h"
#include "master_data.h"
#include "shared/output_file.h"
#include "shared/time_booking_line.h"
#include "standin_fixture.h"
#include "statement_oracle.h"
#include "test_support.h"

namespace tralvo {
namespace {

using testsupport::AccessStatement;
using testsupport::BadgeStatement;
using testsupport::BookingTypeStatement;
using testsupport::CodeMappingStatement;
using testsupport::EventStatement;
using testsupport::kNull;
using testsupport::Standin;
using testsupport::StandinOptions;
using testsupport::ZoneStatement;
using Rows = std::vector<std::vector<std::string>>;

class DbServerTest : public ::testing::Test {
 protected:
  void Start(StandinOptions options = {}) {
    if (options.clock.empty()) options.clock = "2027-03-01 09:05:07";
    server_ = std::make_unique<Standin>(dir_.path(), options);
    server_->ApplyOdbcEnvironment();
    server_->Execute(testsupport::kMasterData);
  }
  void Connect() { ASSERT_EQ(ConnectDataSource(db_, "tralvo", "Geheim-42", "TRALVO"), 0); }
  void SetUp() override {
    Start();
    Connect();
  }

  // The statements sent since the last call.
  std::vector<std::string> NewStatements() {
    std::vector<std::string> all = server_->Statements();
    std::vector<std::string> fresh(all.begin() + static_cast<long>(seen_), all.end());
    seen_ = all.size();
    return fresh;
  }

  testsupport::TempDir dir_;
  std::unique_ptr<Standin> server_;
  Database db_;  // goes before the server it is connected to
  size_t seen_ = 0;
};

using Statements = std::vector<std::string>;

FieldList AccessRecord(const std::string& kind, std::vector<std::pair<int, std::string>> more) {
  std::vector<std::pair<int, std::string>> fields{{0, "4711"}, {2, "20090715"}, {3, "073005"},
                                                  {5, "T1"},   {6, "3"},        {15, kind}};
  fields.insert(fields.end(), more.begin(), more.end());
  return Record(fields);
}

TEST_F(DbServerTest, ServerTimeIsTheServersClockInDayMonthYearForm) {
  NewStatements();
  std::string time;
  EXPECT_EQ(QueryServerTime(db_, time), 0);
  EXPECT_EQ(time, "01.03.2027 09:05:07");
  EXPECT_EQ(NewStatements(),
            Statements{"SELECT ( CONVERT(char(11), CURRENT_TIMESTAMP, 104) +          "
                       "CONVERT(char(8), CURRENT_TIMESTAMP, 114)) "});
}

TEST_F(DbServerTest, ConnectAgainReplacesTheConnection) {
  ASSERT_EQ(ConnectDataSource(db_, "tralvo", "Geheim-42", "TRALVO"), 0);
  std::string time;
  EXPECT_EQ(QueryServerTime(db_, time), 0);
  // A refused login leaves no usable connection behind.
  EXPECT_EQ(ConnectDataSource(db_, "tralvo", "falsch", "TRALVO"), -1);
  EXPECT_FALSE(db_.connected());
  EXPECT_EQ(db_.diagnostics().nativeError, 18456);
  EXPECT_EQ(QueryServerTime(db_, time), -1);
}

TEST_F(DbServerTest, BadgeValidityDates) {
  struct Case {
    const char* badge;
    int result;
    const char* personnelNumber;
    const char* schema;
  } cases[] = {
      {"100", 0, "P100", "MANDANT_A"},                 // valid from the booking date, open end
      {"101", 100, "old", "old"},                      // valid only from the day after
      {"102", 0, "P102", "MANDANT_A"},                 // valid up to the booking date, open start
      {"103", 100, "old", "old"},                      // neither date: never valid
      {"104", 0, "P1234567", "SCHEMA_NAME_OF_25_CH"},  // cut values count as found
      {"999", 100, "old", "old"},
  };
  NewStatements();
  for (const Case& c : cases) {
    TimeBookingLine line;
    line.personnelNumber = "old";
    line.schema = "old";
    line.date = "untouched";
    EXPECT_EQ(LookupBadge(db_, c.badge, "20090715", line).code, c.result) << c.badge;
    EXPECT_EQ(line.personnelNumber, c.personnelNumber) << c.badge;
    EXPECT_EQ(line.schema, c.schema) << c.badge;
    EXPECT_EQ(line.date, "untouched");
    EXPECT_EQ(NewStatements(), Statements{BadgeStatement(c.badge, "20090715")}) << c.badge;
  }
}

TEST_F(DbServerTest, BadgeNullColumnAndTwoClients) {
  TimeBookingLine line;
  line.personnelNumber = "before";
  EXPECT_EQ(LookupBadge(db_, "105", "20090715", line).code, 0);
  EXPECT_EQ(line.personnelNumber, "before");
  EXPECT_EQ(line.schema, "MANDANT_A");
  // A badge valid in two clients yields the first row the server returns;
  // without ORDER BY the server promises no order, so either row is right,
  // but its two values belong together.
  EXPECT_EQ(LookupBadge(db_, "106", "20090715", line).code, 0);
  EXPECT_TRUE((line.personnelNumber == "P106A" && line.schema == "MANDANT_A") ||
              (line.personnelNumber == "P106B" && line.schema == "MANDANT_C"))
      << line.personnelNumber << " " << line.schema;
}

// The lookups by code: a code that is not there leaves the value as it
// was (100); a booking type reads as decimal text, a NULL one as 0, a
// NULL code mapping as an empty text. Each sends its one statement.
TEST_F(DbServerTest, LookupsByCode) {
  struct Case {
    const char* code;
    int result;
    const char* value;
  };
  struct Lookup {
    const char* name;
    DbResult (*lookup)(Database&, std::string_view, std::string&);
    std::string (*statement)(const std::string&);
    std::vector<Case> cases;
  };
  const Lookup lookups[] = {
      {"booking type",
       LookupBookingType,
       BookingTypeStatement,
       {{"K9", 100, "kept"}, {"K3", 0, "3"}, {"K1", 0, "-3"}, {"K2", 0, "0"}}},
      {"code mapping",
       LookupCodeMapping,
       CodeMappingStatement,
       {{"K3", 100, "kept"}, {"K1", 0, "K1N"}, {"K2", 0, ""}}},
  };
  for (const Lookup& l : lookups) {
    SCOPED_TRACE(l.name);
    NewStatements();
    Statements sent;
    for (const Case& c : l.cases) {
      SCOPED_TRACE(c.code);
      std::string value = "kept";
      EXPECT_EQ(l.lookup(db_, c.code, value).code, c.result);
      EXPECT_EQ(value, c.value);
      sent.push_back(l.statement(c.code));
    }
    EXPECT_EQ(NewStatements(), sent);
  }
}

TEST_F(DbServerTest, ZoneNumberOfPrefixAndSuffix) {
  NewStatements();
  int32_t zone = 77;
  EXPECT_EQ(LookupZoneNumber(db_, "7", "99", zone).code, 100);
  EXPECT_EQ(zone, 77);
  EXPECT_EQ(LookupZoneNumber(db_, "7", "12", zone).code, 0);
  EXPECT_EQ(zone, 31);
  EXPECT_EQ(LookupZoneNumber(db_, "71", "9", zone).code, 0);
  EXPECT_EQ(zone, 0);
  EXPECT_EQ(NewStatements(),
            (Statements{ZoneStatement("799"), ZoneStatement("712"), ZoneStatement("719")}));
}

TEST_F(DbServerTest, InsertedAccessRow) {
  NewStatements();
  EXPECT_EQ(InsertAccessBooking(db_, AccessRecord("40p", {{11, "U"}})).outcome, DbOutcome::kDone);
  EXPECT_EQ(NewStatements(), Statements{AccessStatement("T1", "3", "2009-07-15 00:00:00",
                                                        "2009-07-15 07:30:05", "4711", "201")});
  EXPECT_EQ(server_->Query("SELECT * FROM KRIVAX.KVX402ZPK"),
            (Rows{{"T1", "3", "2009-07-15 00:00:00.000", "2009-07-15 07:30:05.000", "4711", "201",
                   kNull, kNull, "2027-03-01 09:05:07.000", "001"}}));

  // The same booking again is there already.
  const DbResult again = InsertAccessBooking(db_, AccessRecord("40p", {{11, "U"}}));
  EXPECT_EQ(again.outcome, DbOutcome::kDuplicate);
  EXPECT_EQ(again.code, 2627);
}

TEST_F(DbServerTest, ZoneBookingsAndDtaStatus) {
  NewStatements();
  InsertAccessBooking(db_, AccessRecord("62p", {{13, "7"}, {12, "12"}, {3, "073006"}}));
  InsertAccessBooking(db_, AccessRecord("62p", {{13, "8"}, {12, "12"}, {3, "073007"}}));
  InsertAccessBooking(db_, AccessRecord("dta", {{12, "17"}, {3, "073008"}}));
  EXPECT_EQ(
      NewStatements(),
      (Statements{
          ZoneStatement("712"),
          AccessStatement("T1", "3", "2009-07-15 00:00:00", "2009-07-15 07:30:06", "4711", "31"),
          ZoneStatement("812"),
          AccessStatement("T1", "3", "2009-07-15 00:00:00", "2009-07-15 07:30:07", "4711", "0"),
          AccessStatement("T1", "3", "2009-07-15 00:00:00", "2009-07-15 07:30:08", "4711", "17")}));
  EXPECT_EQ(server_->Query("SELECT COUNT(*) FROM KRIVAX.KVX402ZPK"), (Rows{{"3"}}));
}

TEST_F(DbServerTest, RefusedAccessRowsAreRefusedWithTheServersError) {
  // Too long for its column: sent whole, refused by the server.
  const DbResult tooLong =
      InsertAccessBooking(db_, AccessRecord("40p", {{0, std::string(21, '9')}}));
  EXPECT_EQ(tooLong.outcome, DbOutcome::kRefused);
  EXPECT_EQ(tooLong.code, 8152);
  // A short date never reaches the table as another day.
  EXPECT_EQ(InsertAccessBooking(db_, AccessRecord("40p", {{2, "2009071"}})).code, 241);
  EXPECT_EQ(server_->Query("SELECT COUNT(*) FROM KRIVAX.KVX402ZPK"), (Rows{{"0"}}));
}

TEST_F(DbServerTest, InsertedEventRow) {
  NewStatements();
  EXPECT_EQ(InsertEventBooking(db_, "T1", 3, "O'Neil", "20090715", "073005", "001", 17, "").code,
            0);
  EXPECT_EQ(NewStatements(),
            Statements{EventStatement("T1", "3", "O''Neil", "2009-07-15 07:30:05", "001", "17")});
  EXPECT_EQ(server_->Query("SELECT * FROM KRIVAX.O2009BUCHPROT"),
            (Rows{{"T1", "3", "O'Neil", "2009-07-15 07:30:05.000", "2009-07-15 07:30:05.000", "001",
                   "17", ""}}));
  EXPECT_EQ(InsertEventBooking(db_, "T1", 3, "4711", "20090715", "0730", "001", 17, "").code, 241);
}

class DbServerFaultTest : public DbServerTest {
 protected:
  void SetUp() override {}
};

TEST_F(DbServerFaultTest, RefusedStatementsReturnTheNativeErrorOrMinusOne) {
  StandinOptions options;
  options.fail = {"Kvx131Fcd =208", "Kvx131FcdUeb=0"};
  Start(options);
  Connect();
  std::string out = "kept";
  EXPECT_EQ(LookupBookingType(db_, "K1", out).code, 208);
  EXPECT_EQ(db_.diagnostics().nativeError, 208);
  EXPECT_NE(std::string(db_.diagnostics().messageText).find("Injected"), std::string::npos);
  // A failure without an error number must not read as done.
  EXPECT_EQ(LookupCodeMapping(db_, "K1", out).code, -1);
  EXPECT_EQ(out, "kept");
}

TEST_F(DbServerFaultTest, FailuresWithErrorNumberZeroAreFailuresOfInsertsToo) {
  StandinOptions options;
  options.fail = {"O2009BUCHPROT=0", "Kvx402Zpk=0"};
  Start(options);
  Connect();
  EXPECT_EQ(InsertEventBooking(db_, "T1", 3, "4711", "20090715", "073005", "001", 17, "").code, -1);
  const DbResult access = InsertAccessBooking(db_, AccessRecord("40p", {{11, "1"}}));
  EXPECT_EQ(access.outcome, DbOutcome::kRefused);
  EXPECT_EQ(access.code, -1);
}

TEST_F(DbServerFaultTest, ADroppedConnectionIsAFailure) {
  StandinOptions options;
  options.dropAfter = 0;
  Start(options);
  Connect();
  TimeBookingLine line;
  const DbResult result = LookupBadge(db_, "100", "20090715", line);
  EXPECT_FALSE(result.done());
  EXPECT_NE(result.outcome, DbOutcome::kNoRow);
  EXPECT_EQ(line.schema, "");
}

// A statement whose answer does not come in time may have done its work:
// its outcome is unknown, and nothing more is sent on the connection, so a
// late server costs the run one timeout.
TEST_F(DbServerFaultTest, TheFirstTimeoutGivesTheConnectionUp) {
  StandinOptions options;
  options.lateAnswerMs = 1500;
  Start(options);
  ASSERT_EQ(ConnectDataSource(db_, "tralvo", "Geheim-42", "TRALVO", Timeouts{5, 1}), 0);
  NewStatements();
  const DbResult event =
      InsertEventBooking(db_, "T1", 3, "4711", "20090715", "073005", "001", 17, "");
  EXPECT_EQ(event.outcome, DbOutcome::kUnknown);
  EXPECT_EQ(event.cause, GiveUpCause::kTimeout);
  EXPECT_EQ(db_.givenUp(), GiveUpCause::kTimeout);
  // A time booking then gets no line, and its log entry says why.
  testsupport::ConsoleCapture console;
  BookingReport report(console.stream(), false, "T1", dir_ / "log.txt");
  OutputFile file;
  TimeBookingExport time(db_, file, report);
  EXPECT_EQ(time.Export(AccessRecord("40p", {{10, "X"}})), -1);
  EXPECT_EQ(report.notTransferred().notSent, 1);
  report.EndLog();
  EXPECT_EQ(testsupport::ReadFileBytes(dir_ / "log.txt"),
            "Zeitbuchung nicht geschrieben, Abfrage Schema/Personalnr. nicht gesendet "
            "(Verbindung aufgegeben nach Zeitueberschreitung): T1, 4711, 20090715, 073005\r\n");
  // The event ran; the lookup never reached the server.
  EXPECT_EQ(NewStatements().size(), 1u);
  EXPECT_EQ(server_->Query("SELECT COUNT(*) FROM KRIVAX.O2009BUCHPROT"), (Rows{{"1"}}));
}

TEST_F(DbServerFaultTest, RefusedLogin) {
  StandinOptions options;
  options.refuseLogin = true;
  Start(options);
  EXPECT_EQ(ConnectDataSource(db_, "tralvo", "Geheim-42", "TRALVO"), -1);
  EXPECT_EQ(db_.diagnostics().nativeError, 18456);
  EXPECT_FALSE(db_.connected());
}

}  // namespace
}  // namespace tralvo
