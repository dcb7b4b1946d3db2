// The stand-in as the tool meets it: through unixODBC and the FreeTDS
// driver, with the tool's own statement texts, results, NULLs, native
// errors, truncation warnings, injected faults and the statement log.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "odbc_client.h"
#include "standin_fixture.h"
#include "statement_oracle.h"
#include "test_support.h"

using namespace standintest;
using namespace testsupport;
using testsupport::Standin;
using testsupport::StandinOptions;

namespace {

const char kSeed[] =
    "INSERT INTO KRIVAX.KVX112MND (MndLiz, MndNum, MndSch) VALUES (1, 10, 'MAND10')\n"
    "INSERT INTO KRIVAX.KVX112MND (MndLiz, MndNum, MndSch) VALUES (1, 11, "
    "'SCHEMA_NAME_OF_25_CHARSXY')\n"
    "GO\n"
    // valid from the booking date on, open end
    "INSERT INTO KRIVAX.KVX301ASW VALUES ('100', 'P100', 1, 10, '2009-07-15', NULL)\n"
    // valid only from the day after
    "INSERT INTO KRIVAX.KVX301ASW VALUES ('101', 'P101', 1, 10, '2009-07-16', NULL)\n"
    // valid up to and including the booking date, open start
    "INSERT INTO KRIVAX.KVX301ASW VALUES ('102', 'P102', 1, 10, NULL, '2009-07-15 23:59:00')\n"
    // neither date: never valid
    "INSERT INTO KRIVAX.KVX301ASW VALUES ('103', 'P103', 1, 10, NULL, NULL)\n"
    // within both dates, with long values
    "INSERT INTO KRIVAX.KVX301ASW VALUES ('104', 'P123456789', 1, 11, '2009-01-01', "
    "'2009-12-31')\n"
    "GO\n"
    "INSERT INTO Kvx131Fcd (FcdNum, FcdTyp) VALUES ('K1', -3)\n"
    "INSERT INTO dbo.Kvx131Fcd (FcdNum, FcdTyp) VALUES ('K2', NULL)\n"
    "INSERT INTO Kvx131FcdUeb (FcdOld, FcdNew) VALUES ('K1', 'K1NEU')\n"
    "INSERT INTO Kvx131FcdUeb (FcdOld, FcdNew) VALUES ('K2', NULL)\n"
    "INSERT INTO KRIVAX.Kvx405Zzs (ZzsTcd, ZzsNum) VALUES ('712', 5)\n"
    "INSERT INTO KRIVAX.Kvx405Zzs (ZzsTcd, ZzsNum) VALUES ('712', 5)\n"
    "GO\n";

std::string AccessInsert(const std::string& terminal, const std::string& badge,
                         const std::string& uhr = "2009-07-15 07:30:05") {
  return Fill(kAccessInsert, {terminal, "3", "2009-07-15 00:00:00", uhr, badge, "201", "001"});
}

class StandinOdbcTest : public ::testing::Test {
 protected:
  void Start(StandinOptions options = {}) {
    options.clock = "2026-12-07 10:04:32";
    if (options.seedSql.empty()) options.seedSql = kSeed;
    server_ = std::make_unique<Standin>(dir_.path(), options);
    server_->ApplyOdbcEnvironment();
  }
  void SetUp() override { Start(); }

  // Connects a fresh client; fails the test when the login fails.
  std::unique_ptr<OdbcConnection> Client() {
    auto c = std::make_unique<OdbcConnection>();
    Outcome o = c->Connect("TRALVO", "tralvo", "Geheim-42");
    EXPECT_TRUE(SQL_SUCCEEDED(o.rc)) << o.diagnostic.sqlState << " " << o.diagnostic.message;
    return c;
  }

  testsupport::TempDir dir_;
  std::unique_ptr<Standin> server_;
};

TEST_F(StandinOdbcTest, ServerTimeIsTheFixedClockInDayMonthYearForm) {
  auto c = Client();
  Fetched f = c->FetchFirst(kServerTime, {{SQL_C_CHAR, 20}});
  ASSERT_EQ(f.execRc, SQL_SUCCESS) << f.diagnostic.message;
  EXPECT_EQ(f.fetchRc, SQL_SUCCESS);
  EXPECT_EQ(f.texts[0], "07.12.2026 10:04:32");
}

TEST_F(StandinOdbcTest, BadgeLookupHonoursTheValidityDates) {
  auto c = Client();
  auto lookup = [&](const std::string& badge) {
    std::string d = "20090715";
    return c->FetchFirst(Fill(kBadgeLookup, {badge, d, d, d, d}),
                         {{SQL_C_CHAR, 9}, {SQL_C_CHAR, 21}});
  };
  Fetched from = lookup("100");
  ASSERT_EQ(from.execRc, SQL_SUCCESS) << from.diagnostic.message;
  EXPECT_EQ(from.fetchRc, SQL_SUCCESS);
  EXPECT_EQ(from.texts[0], "P100");
  EXPECT_EQ(from.texts[1], "MAND10");
  EXPECT_EQ(lookup("101").fetchRc, SQL_NO_DATA);
  Fetched upTo = lookup("102");
  EXPECT_EQ(upTo.fetchRc, SQL_SUCCESS);
  EXPECT_EQ(upTo.texts[0], "P102");
  EXPECT_EQ(lookup("103").fetchRc, SQL_NO_DATA);
  EXPECT_EQ(lookup("999").fetchRc, SQL_NO_DATA);

  // Values longer than the bound buffers arrive cut, with a warning.
  Fetched cut = lookup("104");
  EXPECT_EQ(cut.fetchRc, SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(cut.diagnostic.sqlState, "01004");
  EXPECT_EQ(cut.texts[0], "P1234567");
  EXPECT_EQ(cut.texts[1], "SCHEMA_NAME_OF_25_CH");
}

TEST_F(StandinOdbcTest, BookingTypeArrivesAsSmallIntAndNullLeavesTheBuffer) {
  auto c = Client();
  Fetched negative = c->FetchFirst(Fill(kBookingType, {"K1"}), {{SQL_C_SHORT, 2}});
  ASSERT_EQ(negative.fetchRc, SQL_SUCCESS) << negative.diagnostic.message;
  EXPECT_EQ(negative.numbers[0], -3);

  Fetched null = c->FetchFirst(Fill(kBookingType, {"K2"}), {{SQL_C_CHAR, 7}});
  EXPECT_EQ(null.fetchRc, SQL_SUCCESS);
  EXPECT_EQ(null.indicators[0], SQL_NULL_DATA);
  EXPECT_EQ(null.texts[0], "#######");

  EXPECT_EQ(c->FetchFirst(Fill(kBookingType, {"K9"}), {{SQL_C_SHORT, 2}}).fetchRc, SQL_NO_DATA);
}

TEST_F(StandinOdbcTest, CodeMappingAndZoneNumber) {
  auto c = Client();
  Fetched mapped = c->FetchFirst(Fill(kCodeMapping, {"K1"}), {{SQL_C_CHAR, 21}});
  EXPECT_EQ(mapped.fetchRc, SQL_SUCCESS);
  EXPECT_EQ(mapped.texts[0], "K1NEU");
  Fetched null = c->FetchFirst(Fill(kCodeMapping, {"K2"}), {{SQL_C_CHAR, 21}});
  EXPECT_EQ(null.fetchRc, SQL_SUCCESS);
  EXPECT_EQ(null.indicators[0], SQL_NULL_DATA);

  Fetched zone = c->FetchFirst(Fill(kZoneNumber, {"712"}), {{SQL_C_LONG, 4}});
  EXPECT_EQ(zone.fetchRc, SQL_SUCCESS);
  EXPECT_EQ(zone.numbers[0], 5);
  EXPECT_EQ(server_->Query("SELECT DISTINCT ZzsNum FROM KRIVAX.Kvx405Zzs").size(), 1u);
}

TEST_F(StandinOdbcTest, AccessRowIsStoredAndItsRepetitionIsADuplicateKey) {
  auto c = Client();
  Outcome first = c->Execute(AccessInsert("T1", "4711"));
  ASSERT_EQ(first.rc, SQL_SUCCESS) << first.diagnostic.message;
  auto rows = server_->Query("SELECT * FROM KRIVAX.KVX402ZPK");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0],
            (std::vector<std::string>{"T1", "3", "2009-07-15 00:00:00.000",
                                      "2009-07-15 07:30:05.000", "4711", "201", testsupport::kNull,
                                      testsupport::kNull, "2026-12-07 10:04:32.000", "001"}));

  Outcome again = c->Execute(AccessInsert("T1", "4711"));
  EXPECT_EQ(again.rc, SQL_ERROR);
  EXPECT_EQ(again.diagnostic.nativeError, 2627);
  EXPECT_EQ(again.diagnostic.sqlState, "23000");
  EXPECT_NE(again.diagnostic.message.find(
                "Violation of PRIMARY KEY constraint 'PK_Kvx402Zpk'. Cannot insert duplicate key "
                "in object 'KRIVAX.Kvx402Zpk'. The duplicate key value is (T1, 3, 2009-07-15 "
                "07:30:05.000, 4711)."),
            std::string::npos)
      << again.diagnostic.message;
  // Another time of day is another booking.
  EXPECT_EQ(c->Execute(AccessInsert("T1", "4711", "2009-07-15 07:30:06")).rc, SQL_SUCCESS);
}

TEST_F(StandinOdbcTest, InsertErrorsCarryTheServersNativeNumbers) {
  auto c = Client();
  Outcome longBadge = c->Execute(AccessInsert("T1", "123456789012345678901"));
  EXPECT_EQ(longBadge.rc, SQL_ERROR);
  EXPECT_EQ(longBadge.diagnostic.nativeError, 8152);
  EXPECT_NE(longBadge.diagnostic.message.find("String or binary data would be truncated."),
            std::string::npos);

  // The date pieces without a time, as a cut source gives them.
  Outcome badDate = c->Execute(AccessInsert("T1", "4711", "2009-07-15 ::"));
  EXPECT_EQ(badDate.rc, SQL_ERROR);
  EXPECT_EQ(badDate.diagnostic.nativeError, 241);
  EXPECT_NE(badDate.diagnostic.message.find(
                "Conversion failed when converting date and/or time from character string."),
            std::string::npos);
  EXPECT_TRUE(server_->Query("SELECT * FROM KRIVAX.Kvx402Zpk").empty());

  // A unique index, unlike the key, reports 2601; both are integrity
  // violations to the driver.
  ASSERT_NE(c->Execute("CREATE UNIQUE INDEX IX_Typ ON Kvx131Fcd (FcdTyp)").rc, SQL_ERROR);
  Outcome unique = c->Execute("INSERT INTO Kvx131Fcd (FcdNum, FcdTyp) VALUES ('K3', -3)");
  EXPECT_EQ(unique.rc, SQL_ERROR);
  EXPECT_EQ(unique.diagnostic.nativeError, 2601);
  EXPECT_EQ(unique.diagnostic.sqlState, "23000");

  Outcome missing = c->Execute("SELECT  FcdTyp   FROM  Kvx131Fcdx  WHERE  FcdNum = 'K1'");
  EXPECT_EQ(missing.diagnostic.nativeError, 208);
  EXPECT_NE(missing.diagnostic.message.find("Invalid object name 'Kvx131Fcdx'."),
            std::string::npos);

  Outcome syntax = c->Execute("SELEKT 1");
  EXPECT_EQ(syntax.rc, SQL_ERROR);
  EXPECT_EQ(syntax.diagnostic.nativeError, 102);
  EXPECT_NE(syntax.diagnostic.message.find("Incorrect syntax near 'SELEKT'."), std::string::npos);
}

TEST_F(StandinOdbcTest, EventRowGetsTheDateTimeTwice) {
  auto c = Client();
  std::string when = "2009-07-15 07:30:05";
  Outcome o = c->Execute(Fill(kEventInsert, {"T1", "3", "4711", when, when, "K1", "17", ""}));
  ASSERT_EQ(o.rc, SQL_SUCCESS) << o.diagnostic.message;
  auto rows = server_->Query(
      "SELECT BPRTRM, BPRZLS, BPRAWV, BPRDAT, BPRDTE, BPRFCD, BPRERG, "
      "BPRVAR FROM krivax.o2009buchprot");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"T1", "3", "4711", "2009-07-15 07:30:05.000",
                                               "2009-07-15 07:30:05.000", "K1", "17", ""}));
}

TEST_F(StandinOdbcTest, WindowsCharactersTravelUnchanged) {
  auto c = Client();
  std::string badge = "M\xFCller\x80";  // "Müller€" in Windows-1252
  ASSERT_EQ(c->Execute(AccessInsert("T\xE4", badge)).rc, SQL_SUCCESS);
  // Stored as UTF-8 ...
  EXPECT_EQ(server_->Query("SELECT ZpkAsw FROM KRIVAX.Kvx402Zpk")[0][0],
            "M\xC3\xBCller\xE2\x82\xAC");
  // ... and back as the client's bytes.
  Fetched f = c->FetchFirst("SELECT ZpkAsw, ZpkTrm FROM KRIVAX.Kvx402Zpk",
                            {{SQL_C_CHAR, 21}, {SQL_C_CHAR, 21}});
  EXPECT_EQ(f.texts[0], badge);
  EXPECT_EQ(f.texts[1], "T\xE4");
}

TEST_F(StandinOdbcTest, StatementLogHoldsEveryBatchVerbatim) {
  auto c = Client();
  c->Execute(kServerTime);
  c->Execute(Fill(kBookingType, {"K1"}));
  c->Execute("SELECT 1\nSELECT 2");
  // A backslash is escaped too, or 'a\n' would read back as a line feed.
  c->Execute("SELECT 'a\\n'");
  EXPECT_EQ(server_->Statements(),
            (std::vector<std::string>{kServerTime, Fill(kBookingType, {"K1"}),
                                      "SELECT 1\\nSELECT 2", "SELECT 'a\\\\n'"}));
}

TEST_F(StandinOdbcTest, ClientsAreServedAtTheSameTime) {
  auto a = Client();
  auto b = Client();
  ASSERT_EQ(a->Execute(AccessInsert("A", "1")).rc, SQL_SUCCESS);
  ASSERT_EQ(b->Execute(AccessInsert("B", "2")).rc, SQL_SUCCESS);
  EXPECT_EQ(a->FetchFirst("SELECT COUNT(*) FROM KRIVAX.Kvx402Zpk", {{SQL_C_LONG, 4}}).numbers[0],
            2);

  // A request that waits holds up nobody else: while b's insert waits for
  // a's transaction, another client logs in and is answered, and a's
  // commit lets the insert go on.
  ASSERT_EQ(a->SetAutocommit(false).rc, SQL_SUCCESS);
  ASSERT_EQ(a->Execute(AccessInsert("C", "3")).rc, SQL_SUCCESS);
  size_t received = server_->Statements().size();
  std::atomic<bool> inserted{false};
  std::thread waiting([&] {
    EXPECT_EQ(b->Execute(AccessInsert("D", "4")).rc, SQL_SUCCESS);
    inserted = true;
  });
  for (int i = 0; i < 1000 && server_->Statements().size() == received; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(Client()->Execute(kServerTime).rc, SQL_SUCCESS);
  EXPECT_FALSE(inserted);
  ASSERT_EQ(a->EndTransaction(true).rc, SQL_SUCCESS);
  waiting.join();
  EXPECT_EQ(a->FetchFirst("SELECT COUNT(*) FROM KRIVAX.Kvx402Zpk", {{SQL_C_LONG, 4}}).numbers[0],
            4);
}

TEST_F(StandinOdbcTest, ReportsItsOwnTimePerStatementWhenStopped) {
  server_.reset();
  StandinOptions options;
  options.timing = true;
  Start(options);
  {
    auto c = Client();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(c->Execute(Fill(kBookingType, {"K1"})).rc, SQL_SUCCESS);
  }
  std::string path = server_->timingPath();
  server_.reset();
  std::string report = testsupport::ReadFileBytes(path);
  unsigned long long statements = 0, busy = 0, cpu = 0;
  double each = 0, cpuEach = 0;
  ASSERT_EQ(std::sscanf(report.c_str(),
                        "statements=%llu busy_us=%llu us_per_statement=%lf cpu_us=%llu "
                        "cpu_us_per_statement=%lf",
                        &statements, &busy, &each, &cpu, &cpuEach),
            5)
      << report;
  EXPECT_EQ(statements, 3u);
  EXPECT_GT(busy, 0u);
  EXPECT_NEAR(each, static_cast<double>(busy) / 3, 0.1);
  EXPECT_LE(cpu, busy);
  EXPECT_NEAR(cpuEach, static_cast<double>(cpu) / 3, 0.1);
  EXPECT_EQ(report.back(), '\n');
}

TEST_F(StandinOdbcTest, AnUnreadRestOfAResultDoesNotBlockTheNextStatement) {
  // The tool fetches one row and frees the handle; the driver then cancels
  // the rest, and the server must acknowledge that.
  server_->Execute("INSERT INTO Kvx131Fcd VALUES ('K3', 1), ('K4', 2), ('K5', 3)");
  auto c = Client();
  Fetched first = c->FetchFirst("SELECT FcdNum FROM Kvx131Fcd ORDER BY FcdNum", {{SQL_C_CHAR, 21}});
  EXPECT_EQ(first.texts[0], "K1");
  Fetched next = c->FetchFirst(Fill(kBookingType, {"K4"}), {{SQL_C_SHORT, 2}});
  EXPECT_EQ(next.fetchRc, SQL_SUCCESS);
  EXPECT_EQ(next.numbers[0], 2);

  // An answer of 20 MB outgrows the socket's buffers, so the attention
  // comes while it is being sent: the server cuts it short where a row
  // begins, and the driver reads on to the acknowledgement.
  ASSERT_NE(
      c->Execute("CREATE TABLE dbo.Wide (Id INT NOT NULL PRIMARY KEY, Filler VARCHAR(4000))").rc,
      SQL_ERROR);
  std::string rows;
  for (int i = 0; i < 50; ++i) {
    rows += (i ? ", (" : "(") + std::to_string(i) + ", '" + std::string(4000, 'w') + "')";
  }
  ASSERT_NE(c->Execute("INSERT INTO dbo.Wide VALUES " + rows).rc, SQL_ERROR);
  Fetched wide = c->FetchFirst("SELECT a.Filler, b.Filler FROM dbo.Wide a CROSS JOIN dbo.Wide b",
                               {{SQL_C_CHAR, 8}, {SQL_C_CHAR, 8}});
  EXPECT_EQ(wide.fetchRc, SQL_SUCCESS_WITH_INFO) << "truncated to the buffers";
  next = c->FetchFirst(Fill(kBookingType, {"K4"}), {{SQL_C_SHORT, 2}});
  EXPECT_EQ(next.fetchRc, SQL_SUCCESS) << next.diagnostic.message;
  EXPECT_EQ(next.numbers[0], 2);
}

class StandinFaultTest : public StandinOdbcTest {
 protected:
  void SetUp() override {}
};

TEST_F(StandinFaultTest, ADeniedPermissionIsAnsweredAndRefusedAsTheServerDoes) {
  StandinOptions denying;
  denying.deny = {"kvx402zpk:insert"};
  Start(denying);
  auto c = Client();
  auto has = [&](const std::string& table, const std::string& permission) {
    Fetched f =
        c->FetchFirst("SELECT HAS_PERMS_BY_NAME('" + table + "', 'OBJECT', '" + permission + "')",
                      {{SQL_C_LONG, 4}});
    EXPECT_EQ(f.fetchRc, SQL_SUCCESS) << f.diagnostic.message;
    return f.indicators.empty() || f.indicators[0] == SQL_NULL_DATA ? -1 : f.numbers[0];
  };
  EXPECT_EQ(has("KriVax.Kvx402Zpk", "INSERT"), 0);
  EXPECT_EQ(has("KRIVAX.KVX402ZPK", "SELECT"), 1);
  EXPECT_EQ(has("KRIVAX.O2009BUCHPROT", "insert"), 1);
  EXPECT_EQ(has("Kvx402Zpk", "INSERT"), -1) << "no such table in dbo";
  EXPECT_EQ(has("KRIVAX.Kvx402Zpk", "FLY"), -1) << "no such permission";

  Outcome refused = c->Execute(AccessInsert("T1", "4711"));
  EXPECT_EQ(refused.rc, SQL_ERROR);
  EXPECT_EQ(refused.diagnostic.nativeError, 229);
  EXPECT_NE(refused.diagnostic.message.find("The INSERT permission was denied on the object "
                                            "'Kvx402Zpk', database 'TRALVO', schema 'KRIVAX'."),
            std::string::npos)
      << refused.diagnostic.message;
  EXPECT_EQ(server_->Query("SELECT * FROM KRIVAX.Kvx402Zpk").size(), 0u);
  EXPECT_EQ(c->Execute("SELECT ZpkTrm FROM KRIVAX.Kvx402Zpk").rc, SQL_SUCCESS);
}

TEST_F(StandinFaultTest, WrongPasswordAndRefusedLoginGive18456) {
  Start();
  OdbcConnection wrong;
  Outcome o = wrong.Connect("TRALVO", "tralvo", "falsch");
  EXPECT_EQ(o.rc, SQL_ERROR);
  EXPECT_EQ(o.diagnostic.nativeError, 18456);
  EXPECT_NE(o.diagnostic.message.find("Login failed for user 'tralvo'."), std::string::npos);

  server_.reset();
  StandinOptions refuse;
  refuse.refuseLogin = true;
  Start(refuse);
  OdbcConnection refused;
  Outcome r = refused.Connect("TRALVO", "tralvo", "Geheim-42");
  EXPECT_EQ(r.rc, SQL_ERROR);
  EXPECT_EQ(r.diagnostic.nativeError, 18456);
}

TEST_F(StandinOdbcTest, OnlyTheHostedDatabaseOpens) {
  OdbcConnection wrong;
  Outcome o = wrong.ConnectString("DSN=TRALVO;UID=tralvo;PWD=Geheim-42;Database=NoSuchDb");
  EXPECT_EQ(o.rc, SQL_ERROR);
  // The driver orders the server's two messages its own way.
  const std::vector<SQLINTEGER>& natives = o.diagnostic.allNativeErrors;
  EXPECT_NE(std::find(natives.begin(), natives.end(), 4060), natives.end()) << o.diagnostic.message;
  EXPECT_NE(std::find(natives.begin(), natives.end(), 18456), natives.end());
  OdbcConnection right;
  o = right.ConnectString("DSN=TRALVO;UID=tralvo;PWD=Geheim-42;Database=tralvo");
  ASSERT_TRUE(SQL_SUCCEEDED(o.rc)) << o.diagnostic.message;
  Fetched name = right.FetchFirst("SELECT DB_NAME()", {{SQL_C_CHAR, 20}});
  EXPECT_EQ(name.texts[0], "TRALVO");
  Outcome use = right.Execute("USE NoSuchDb");
  EXPECT_EQ(use.rc, SQL_ERROR);
  EXPECT_EQ(use.diagnostic.nativeError, 911);
}

TEST_F(StandinFaultTest, InjectedErrorNumbersIncludingZero) {
  StandinOptions options;
  options.fail = {"Kvx131Fcd +WHERE=0", "Kvx405Zzs=1205"};
  Start(options);
  auto c = Client();
  Outcome zero = c->Execute(Fill(kBookingType, {"K1"}));
  EXPECT_EQ(zero.rc, SQL_ERROR);
  EXPECT_EQ(zero.diagnostic.nativeError, 0);
  Outcome deadlock = c->Execute(Fill(kZoneNumber, {"712"}));
  EXPECT_EQ(deadlock.rc, SQL_ERROR);
  EXPECT_EQ(deadlock.diagnostic.nativeError, 1205);
  // Other statements run as usual, and the failed ones were logged.
  EXPECT_EQ(c->Execute(kServerTime).rc, SQL_SUCCESS);
  EXPECT_EQ(server_->Statements().size(), 3u);
}

TEST_F(StandinFaultTest, DropAfterClosesTheConnectionOnTheNextBatch) {
  StandinOptions options;
  options.dropAfter = 2;
  Start(options);
  auto c = Client();
  EXPECT_EQ(c->Execute(kServerTime).rc, SQL_SUCCESS);
  EXPECT_EQ(c->Execute(kServerTime).rc, SQL_SUCCESS);
  Outcome dropped = c->Execute(AccessInsert("T1", "4711"));
  EXPECT_EQ(dropped.rc, SQL_ERROR);
  // The driver reports the lost connection in its own words.
  EXPECT_NE(dropped.diagnostic.message.find("EOF"), std::string::npos)
      << dropped.diagnostic.message;
  EXPECT_EQ(c->Execute(kServerTime).rc, SQL_ERROR);
  EXPECT_TRUE(server_->Query("SELECT * FROM KRIVAX.Kvx402Zpk").empty());
  // The server itself goes on: a new connection gets its own count.
  auto fresh = Client();
  EXPECT_EQ(fresh->Execute(kServerTime).rc, SQL_SUCCESS);
}

TEST_F(StandinFaultTest, SilentLoginEndsOnlyByTheClientsTimeout) {
  StandinOptions options;
  options.silentLogin = true;
  Start(options);
  OdbcConnection c;
  c.SetTimeouts(2, 0);
  auto started = std::chrono::steady_clock::now();
  Outcome o = c.Connect("TRALVO", "tralvo", "Geheim-42");
  auto elapsed = std::chrono::steady_clock::now() - started;
  EXPECT_EQ(o.rc, SQL_ERROR);
  EXPECT_GE(elapsed, std::chrono::milliseconds(1500));
  EXPECT_LT(elapsed, std::chrono::seconds(10));
}

TEST_F(StandinFaultTest, SilentAfterAnswersThenHangsWithTheConnectionOpen) {
  StandinOptions options;
  options.silentAfter = 1;
  Start(options);
  auto c = Client();
  c->SetTimeouts(0, 1);
  EXPECT_EQ(c->Execute(kServerTime).rc, SQL_SUCCESS);
  auto started = std::chrono::steady_clock::now();
  Outcome hung = c->Execute(AccessInsert("T1", "4711"));
  auto elapsed = std::chrono::steady_clock::now() - started;
  EXPECT_EQ(hung.rc, SQL_ERROR);
  EXPECT_EQ(hung.diagnostic.sqlState, "HYT00") << hung.diagnostic.message;
  EXPECT_GE(elapsed, std::chrono::milliseconds(900));
  EXPECT_LT(elapsed, std::chrono::seconds(10));
  // The batch arrived and was logged, but never ran.
  EXPECT_EQ(server_->Statements().size(), 2u);
  EXPECT_TRUE(server_->Query("SELECT * FROM KRIVAX.Kvx402Zpk").empty());
}

TEST_F(StandinFaultTest, RollBackAnswersACountThenTheError) {
  StandinOptions options;
  options.rollBack = {"Kvx402Zpk=3609"};
  Start(options);
  auto c = Client();
  SQLLEN count = 0;
  Outcome o = c->ExecuteWhole(AccessInsert("T1", "4711"), count);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(o.rc, SQL_ERROR);
  EXPECT_EQ(o.diagnostic.nativeError, 3609);
  // A client that reads only the first result sees success.
  EXPECT_EQ(c->Execute(AccessInsert("T1", "4711")).rc, SQL_SUCCESS);
  EXPECT_TRUE(server_->Query("SELECT * FROM KRIVAX.Kvx402Zpk").empty());
  EXPECT_EQ(c->ExecuteWhole(kServerTime, count).rc, SQL_SUCCESS);
}

}  // namespace
