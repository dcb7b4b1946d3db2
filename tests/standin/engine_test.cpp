// The SQL engine without the network: how T-SQL reads on SQLite, the
// server types of results, conversions and the server's errors.
#include "sql/engine.h"

#include <gtest/gtest.h>
#include <time.h>

#include <chrono>

#include "sql/conversion.h"
#include "sql/datetime.h"
#include "statement_oracle.h"
#include "test_support.h"

using namespace standin;

namespace {

class EngineTest : public ::testing::Test {
 protected:
  EngineTest() : engine_(dir_ / "e.db", "2026-12-07 10:04:32") {}

  std::vector<StatementResult> Run(const std::string& sql) {
    return engine_.Execute(sql, session_);
  }

  // The first error number of the batch, 0 when none.
  int ErrorOf(const std::string& sql, std::string* text = nullptr) {
    for (const StatementResult& r : Run(sql))
      for (const ServerMessage& m : r.messages)
        if (m.severity > 10) {
          if (text) *text = m.text;
          return m.number;
        }
    return 0;
  }

  // The cells of the first result set as a client would print them.
  std::vector<std::vector<std::string>> Rows(const std::string& sql) {
    for (const StatementResult& r : Run(sql)) {
      for (const ServerMessage& m : r.messages) EXPECT_LE(m.severity, 10) << m.text;
      if (!r.hasResultSet) continue;
      std::vector<std::vector<std::string>> out;
      for (const Row& row : r.rows) {
        std::vector<std::string> cells;
        for (size_t i = 0; i < row.size(); ++i)
          cells.push_back(row[i].IsNull() ? "NULL" : DisplayText(row[i], r.columns[i].type));
        out.push_back(cells);
      }
      return out;
    }
    return {};
  }
  std::string One(const std::string& sql) {
    auto rows = Rows(sql);
    return rows.empty() || rows[0].empty() ? "<none>" : rows[0][0];
  }
  SqlType TypeOf(const std::string& sql, size_t column = 0) {
    for (const StatementResult& r : Run(sql))
      if (r.hasResultSet) return r.columns.at(column).type;
    return SqlType{};
  }

  testsupport::TempDir dir_;
  Engine engine_;
  SessionInfo session_;
};

TEST_F(EngineTest, ConvertStylesOfDatesAndTimes) {
  EXPECT_EQ(One("SELECT CONVERT(char(11), CURRENT_TIMESTAMP, 104)"), "07.12.2026 ");
  EXPECT_EQ(One("SELECT CONVERT(char(8), CURRENT_TIMESTAMP, 114)"), "10:04:32");
  EXPECT_EQ(One("SELECT CONVERT(varchar(20), CURRENT_TIMESTAMP, 114)"), "10:04:32:000");
  EXPECT_EQ(One("SELECT convert(char(8), convert(DATETIME, '2009-07-05 07:30:05', 120), 112)"),
            "20090705");
  EXPECT_EQ(One("SELECT CONVERT(varchar(30), CONVERT(datetime, '2009-07-05 17:03:00', 120), 0)"),
            "Jul  5 2009  5:03PM");
  EXPECT_EQ(One("SELECT CONVERT(datetime, '20090705')"), "2009-07-05 00:00:00.000");
  EXPECT_EQ(One("SELECT CONVERT(datetime, '05.07.2009', 104)"), "2009-07-05 00:00:00.000");
}

TEST_F(EngineTest, UnreadableDateTimesFailWith241AndImpossibleDatesWith242) {
  for (const char* text :
       {"2009-07-15 24:00:00", "2009-07-15 ::", "15.07.2009", "abc", "2009-07-15 07:60:00"}) {
    EXPECT_EQ(ErrorOf(std::string("SELECT convert(DATETIME, '") + text + "', 120)"), 241) << text;
  }
  for (const char* text : {"2009-02-29 00:00:00", "2009-13-01 00:00:00", "2009-04-31",
                           "1752-12-31 00:00:00", "9999-12-31 23:59:59.999"}) {
    EXPECT_EQ(ErrorOf(std::string("SELECT convert(DATETIME, '") + text + "', 120)"), 242) << text;
  }
  EXPECT_EQ(ErrorOf("SELECT convert(DATETIME, '2008-02-29 23:59:59', 120)"), 0);
}

TEST_F(EngineTest, DateTimesAreRoundedToThreeHundredthsOfASecond) {
  for (const auto& [in, out] : std::vector<std::pair<std::string, std::string>>{
           {"07:30:05.001", "2009-07-15 07:30:05.000"},
           {"07:30:05.002", "2009-07-15 07:30:05.003"},
           {"07:30:05.005", "2009-07-15 07:30:05.007"},
           {"07:30:05.009", "2009-07-15 07:30:05.010"},
           {"07:30:05.998", "2009-07-15 07:30:05.997"},
           {"23:59:59.999", "2009-07-16 00:00:00.000"}}) {
    EXPECT_EQ(One("SELECT convert(DATETIME, '2009-07-15 " + in + "', 121)"), out) << in;
  }
  EXPECT_EQ(One("SELECT convert(DATETIME, '2009-12-31 23:59:59.999', 121)"),
            "2010-01-01 00:00:00.000");
}

TEST_F(EngineTest, EveryDefinedStyleFormatsAndOthersAreRefused) {
  std::string when = "CONVERT(datetime, '2009-07-05 17:03:04.007', 121)";
  auto styled = [&](int style) {
    return One("SELECT CONVERT(varchar(40), " + when + ", " + std::to_string(style) + ")");
  };
  for (int style = 0; style <= 140; ++style) {
    bool defined = (style <= 14) || (style >= 20 && style <= 23) || style == 25 ||
                   (style >= 100 && style <= 114) || style == 120 || style == 121 || style == 126 ||
                   style == 127;
    std::string text;
    int error =
        ErrorOf("SELECT CONVERT(varchar(40), " + when + ", " + std::to_string(style) + ")", &text);
    EXPECT_EQ(error, defined ? 0 : 281) << style;
    if (!defined) {
      EXPECT_EQ(text, std::to_string(style) +
                          " is not a valid style number when converting from datetime to a "
                          "character string.");
    }
    // Reading a text takes the same styles; what it makes of the text
    // differs by style.
    error = ErrorOf("SELECT CONVERT(datetime, '2009-07-05', " + std::to_string(style) + ")", &text);
    if (defined) {
      EXPECT_NE(error, 281) << style;
    } else {
      EXPECT_EQ(error, 281) << style;
      EXPECT_EQ(text, std::to_string(style) +
                          " is not a valid style number when converting to datetime.");
    }
  }
  EXPECT_EQ(styled(4), "05.07.09");
  EXPECT_EQ(styled(104), "05.07.2009");
  EXPECT_EQ(styled(1), "07/05/09");
  EXPECT_EQ(styled(12), "090705");
  // Every style that writes the date as three numbers, in both year widths.
  for (auto [style, text] : std::initializer_list<std::pair<int, const char*>>{{101, "07/05/2009"},
                                                                               {2, "09.07.05"},
                                                                               {102, "2009.07.05"},
                                                                               {3, "05/07/09"},
                                                                               {103, "05/07/2009"},
                                                                               {5, "05-07-09"},
                                                                               {105, "05-07-2009"},
                                                                               {10, "07-05-09"},
                                                                               {110, "07-05-2009"},
                                                                               {11, "09/07/05"},
                                                                               {111, "2009/07/05"},
                                                                               {112, "20090705"}})
    EXPECT_EQ(styled(style), text) << style;
  EXPECT_EQ(styled(106), "05 Jul 2009");
  EXPECT_EQ(styled(107), "Jul 05, 2009");
  EXPECT_EQ(styled(109), "Jul  5 2009  5:03:04:007PM");
  EXPECT_EQ(styled(113), "05 Jul 2009 17:03:04:007");
  EXPECT_EQ(styled(20), "2009-07-05 17:03:04");
  EXPECT_EQ(styled(21), "2009-07-05 17:03:04.007");
  EXPECT_EQ(styled(126), "2009-07-05T17:03:04.007");
  // Styles mean nothing to numbers.
  EXPECT_EQ(One("SELECT CONVERT(varchar(10), 42, 99)"), "42");
}

TEST(EngineClock, OneCurrentTimestampPerStatement) {
  // The machine's own clock, which moves while a statement runs.
  testsupport::TempDir dir;
  Engine engine(dir / "clock.db", "");
  SessionInfo session;
  std::string sql = "SELECT CONVERT(varchar(30), CURRENT_TIMESTAMP, 121)";
  for (int i = 1; i < 40; ++i) sql += ", CONVERT(varchar(30), GETDATE(), 121)";
  for (int statement = 0; statement < 200; ++statement) {
    auto results = engine.Execute(sql, session);
    ASSERT_EQ(results.size(), 1u);
    ASSERT_EQ(results[0].rows.size(), 1u);
    const Row& row = results[0].rows[0];
    for (const Value& v : row) ASSERT_EQ(v.text, row[0].text) << statement;
    // Whole steps of 1/300 s end in 0, 3 or 7 milliseconds.
    char last = row[0].text.back();
    EXPECT_TRUE(last == '0' || last == '3' || last == '7') << row[0].text;
  }
}

TEST_F(EngineTest, ResultColumnsCarryServerTypes) {
  SqlType concat = TypeOf(
      "SELECT ( CONVERT(char(11), CURRENT_TIMESTAMP, 104) + CONVERT(char(8), "
      "CURRENT_TIMESTAMP, 114)) ");
  EXPECT_EQ(concat.kind, TypeKind::Char);
  EXPECT_EQ(concat.length, 19);
  EXPECT_EQ(TypeOf("SELECT FcdTyp FROM Kvx131Fcd").kind, TypeKind::SmallInt);
  EXPECT_EQ(TypeOf("SELECT DISTINCT ZzsNum FROM Krivax.Kvx405Zzs").kind, TypeKind::Int);
  SqlType badge = TypeOf("SELECT AswNum FROM KRIVAX.KVX301ASW");
  EXPECT_EQ(badge.kind, TypeKind::VarChar);
  EXPECT_EQ(badge.length, 20);
  EXPECT_EQ(TypeOf("SELECT ZpkUhr FROM KriVax.Kvx402Zpk").kind, TypeKind::DateTime);
  EXPECT_EQ(TypeOf("SELECT CURRENT_TIMESTAMP").kind, TypeKind::DateTime);
  EXPECT_EQ(TypeOf("SELECT @@SPID").kind, TypeKind::SmallInt);
}

TEST_F(EngineTest, NamesMatchWithoutRegardToCaseAndDboIsTheDefault) {
  ASSERT_EQ(ErrorOf("INSERT INTO krivax.kvx405zzs (zzstcd, zzsnum) VALUES ('a1', 1)"), 0);
  EXPECT_EQ(One("SELECT ZzsNum FROM KRIVAX.KVX405ZZS WHERE ZzsTcd = 'A1  '"), "1");
  EXPECT_EQ(One("SELECT COUNT(*) FROM [KriVax].[Kvx405Zzs]"), "1");
  EXPECT_EQ(One("SELECT COUNT(*) FROM dbo.Kvx131Fcd"), "0");
  std::string text;
  EXPECT_EQ(One("SELECT COUNT(*) FROM tralvo..Kvx131Fcd"), "0");
  EXPECT_EQ(One("SELECT COUNT(*) FROM TRALVO.dbo.Kvx131Fcd"), "0");
  EXPECT_EQ(ErrorOf("SELECT COUNT(*) FROM master..Kvx131Fcd", &text), 208);
  EXPECT_EQ(text, "Invalid object name 'master..Kvx131Fcd'.");
  EXPECT_EQ(ErrorOf("SELECT * FROM Kvx405Zzs", &text), 208);
  EXPECT_EQ(text, "Invalid object name 'Kvx405Zzs'.");
  EXPECT_EQ(ErrorOf("SELECT Nope FROM Kvx131Fcd", &text), 207);
  EXPECT_EQ(text, "Invalid column name 'Nope'.");
}

TEST_F(EngineTest, ColumnLengthsAndTypesAreEnforcedOnStore) {
  EXPECT_EQ(ErrorOf("INSERT INTO Kvx131Fcd VALUES ('123456789012345678901', 1)"), 8152);
  // Blanks beyond the length are dropped silently, as the server does.
  EXPECT_EQ(ErrorOf("INSERT INTO Kvx131Fcd VALUES ('12345678901234567890   ', 1)"), 0);
  EXPECT_EQ(ErrorOf("INSERT INTO Kvx131Fcd VALUES ('A', 'x')"), 245);
  EXPECT_EQ(ErrorOf("INSERT INTO Kvx131Fcd VALUES ('A', 40000)"), 220);
  EXPECT_EQ(ErrorOf("INSERT INTO Kvx131Fcd VALUES ('A', ' 12 ')"), 0);
  EXPECT_EQ(One("SELECT FcdTyp FROM Kvx131Fcd WHERE FcdNum = 'a'"), "12");
  EXPECT_EQ(ErrorOf("INSERT INTO Kvx131Fcd (FcdTyp) VALUES (1)"), 515);
  EXPECT_EQ(ErrorOf("INSERT INTO Kvx131Fcd VALUES ('B')"), 109);
  EXPECT_EQ(ErrorOf("UPDATE Kvx131Fcd SET FcdNum = '123456789012345678901'"), 8152);
  EXPECT_EQ(One("SELECT COUNT(*) FROM Kvx131Fcd"), "2");
}

TEST_F(EngineTest, TextsCompareBlankPaddedAndCaseInsensitiveButAccentSensitive) {
  auto matches = [&](const std::string& condition) {
    return Rows("SELECT 1 WHERE " + condition).size() == 1;
  };
  EXPECT_TRUE(matches("'abc' = 'ABC  '"));
  EXPECT_TRUE(matches("'\xC3\x84x' = '\xC3\xA4X'"));                // Äx, äX
  EXPECT_TRUE(matches("'\xC5\xA0\xC5\x92' = '\xC5\xA1\xC5\x93'"));  // ŠŒ, šœ
  EXPECT_TRUE(matches("'\xC5\xB8' = '\xC3\xBF'"));                  // Ÿ, ÿ
  EXPECT_TRUE(
      matches("'\xC3\x84"
              "BC' IN ('x', '\xC3\xA4"
              "bc ')"));
  EXPECT_TRUE(matches("'b' BETWEEN 'A' AND 'C'"));
  EXPECT_TRUE(matches("'abc' < 'ABD'"));
  EXPECT_FALSE(matches("'a' = '\xC3\xA4'"));         // a, ä
  EXPECT_FALSE(matches("'\xC3\x97' = '\xC3\xB7'"));  // the multiplication and division signs
  EXPECT_FALSE(matches("' abc' = 'abc'"));

  ASSERT_EQ(ErrorOf("INSERT INTO Kvx131Fcd VALUES ('M\xC3\xBCller', 1), ('M\xC3\x9CLLER ', 2), "
                    "('Muller', 3)"),
            0);
  EXPECT_EQ(One("SELECT COUNT(*) FROM Kvx131Fcd WHERE FcdNum = 'm\xC3\xBCLLER'"), "2");
  EXPECT_EQ(Rows("SELECT DISTINCT FcdNum + '' FROM Kvx131Fcd").size(), 2u);
  EXPECT_EQ(Rows("SELECT FcdNum + '' FROM Kvx131Fcd GROUP BY FcdNum + ''").size(), 2u);
  EXPECT_EQ(Rows("SELECT 'x' UNION SELECT 'X '").size(), 1u);
  EXPECT_EQ(Rows("SELECT FcdNum FROM Kvx131Fcd ORDER BY FcdNum + ''")[0][0], "Muller");

  // Keys compare the same way.
  std::string insert =
      "INSERT INTO KRIVAX.Kvx402Zpk (ZpkTrm, ZpkLes, ZpkUhr, ZpkAsw) VALUES ('T\xC3\xA4', 1, "
      "'2009-07-15 07:30:05', 'B')";
  EXPECT_EQ(ErrorOf(insert), 0);
  EXPECT_EQ(ErrorOf("INSERT INTO KRIVAX.Kvx402Zpk (ZpkTrm, ZpkLes, ZpkUhr, ZpkAsw) VALUES "
                    "('T\xC3\x84 ', 1, '2009-07-15 07:30:05', 'b')"),
            2627);
  EXPECT_EQ(ErrorOf("INSERT INTO KRIVAX.Kvx402Zpk (ZpkTrm, ZpkLes, ZpkUhr, ZpkAsw) VALUES "
                    "('Ta', 1, '2009-07-15 07:30:05', 'b')"),
            0);
}

TEST_F(EngineTest, ADuplicateEndsOnlyItsStatement) {
  auto results =
      Run("INSERT INTO KRIVAX.Kvx402Zpk (ZpkTrm, ZpkLes, ZpkUhr, ZpkAsw) VALUES ('T', '1', "
          "'2009-07-15 07:30:05', 'B')\n"
          "INSERT INTO KRIVAX.Kvx402Zpk (ZpkTrm, ZpkLes, ZpkUhr, ZpkAsw) VALUES ('t', '1', "
          "'2009-07-15 07:30:05.000', 'b')\n"
          "INSERT INTO KRIVAX.Kvx402Zpk (ZpkTrm, ZpkLes, ZpkUhr, ZpkAsw) VALUES ('T', '2', "
          "'2009-07-15 07:30:05', 'B')");
  ASSERT_EQ(results.size(), 3u);
  EXPECT_FALSE(results[0].failed);
  ASSERT_TRUE(results[1].failed);
  EXPECT_EQ(results[1].messages[0].number, 2627);
  EXPECT_EQ(results[1].messages[0].severity, 14);
  EXPECT_EQ(results[1].messages[1].number, 3621);
  EXPECT_FALSE(results[2].failed);
  EXPECT_EQ(results[2].rowCount, 1);
}

TEST_F(EngineTest, SyntaxAndResolutionErrorsEndTheBatch) {
  auto results = Run("SELECT 1 FROM nix\nINSERT INTO Kvx131Fcd VALUES ('A', 1)");
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].messages[0].number, 208);
  EXPECT_EQ(One("SELECT COUNT(*) FROM Kvx131Fcd"), "0");
  std::string text;
  EXPECT_EQ(ErrorOf("SELECT 'open", &text), 105);
  EXPECT_EQ(ErrorOf("SELECT FROM WHERE"), 102);
  EXPECT_EQ(ErrorOf("SELECT 1 +"), 102);
  EXPECT_EQ(ErrorOf("SELECT ((((1"), 102);
  EXPECT_EQ(ErrorOf("SELECT @x"), 137);
  EXPECT_EQ(ErrorOf("SELECT nosuchfunction(1)"), 195);
  EXPECT_EQ(ErrorOf("EXEC sp_who"), 102);
}

TEST_F(EngineTest, ASyntaxErrorAnywhereInTheBatchRunsNothingOfIt) {
  for (const char* tail : {"SELECT FROM", "SELECT 'open", "SELECT nosuchfunction(1)",
                           "INSERT INTO Kvx131Fcd VALUES ('B')"}) {
    auto results = Run(std::string("INSERT INTO Kvx131Fcd VALUES ('A', 1); ") + tail);
    ASSERT_EQ(results.size(), 1u) << tail;
    EXPECT_TRUE(results[0].failed);
    EXPECT_EQ(One("SELECT COUNT(*) FROM Kvx131Fcd"), "0") << tail;
  }
  // A missing table is found only when its statement runs, after the
  // statements before it.
  auto results = Run("INSERT INTO Kvx131Fcd VALUES ('A', 1); SELECT * FROM nix; SELECT 1");
  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(results[1].messages[0].number, 208);
  EXPECT_EQ(One("SELECT COUNT(*) FROM Kvx131Fcd"), "1");
}

TEST_F(EngineTest, ABatchReadOnceIsReadAgainWhenTheTablesOrTheSessionChange) {
  ASSERT_EQ(ErrorOf("CREATE TABLE dbo.Again (A INT)"), 0);
  EXPECT_EQ(TypeOf("SELECT * FROM Again").kind, TypeKind::Int);
  ASSERT_EQ(ErrorOf("DROP TABLE dbo.Again CREATE TABLE dbo.Again (A VARCHAR(3))"), 0);
  EXPECT_EQ(TypeOf("SELECT * FROM Again").kind, TypeKind::VarChar);
  Run("INSERT INTO Again VALUES ('a'), ('b')");
  EXPECT_EQ(One("SELECT @@ROWCOUNT"), "2");
  Run("INSERT INTO Again VALUES ('c')");
  EXPECT_EQ(One("SELECT @@ROWCOUNT"), "1");
  // Within one batch it is the count of the statement just before.
  EXPECT_EQ(One("INSERT INTO Again VALUES ('d'), ('e'), ('f') SELECT @@ROWCOUNT"), "3");
  EXPECT_EQ(ErrorOf("DROP TABLE dbo.Again"), 0);
  EXPECT_EQ(ErrorOf("SELECT * FROM Again"), 208);
}

TEST_F(EngineTest, PlainStatementsForSeedingAndChecking) {
  EXPECT_EQ(ErrorOf("INSERT INTO Kvx131Fcd VALUES ('K1', 1), ('K2', 2), ('K3', NULL)"), 0);
  auto updated = Run("UPDATE Kvx131Fcd SET FcdTyp = FcdTyp + 10 WHERE FcdTyp IS NOT NULL");
  EXPECT_EQ(updated[0].rowCount, 2);
  EXPECT_EQ(Rows("SELECT TOP 2 FcdNum, ISNULL(FcdTyp, -1) AS t FROM Kvx131Fcd ORDER BY t DESC"),
            (std::vector<std::vector<std::string>>{{"K2", "12"}, {"K1", "11"}}));
  EXPECT_EQ(One("SELECT COUNT(*) FROM Kvx131Fcd WHERE FcdNum IN ('K1', 'K3') AND FcdNum LIKE 'k%'"),
            "2");
  auto deleted = Run("DELETE FROM Kvx131Fcd WHERE FcdNum <> 'K1'");
  EXPECT_EQ(deleted[0].rowCount, 2);
  EXPECT_EQ(ErrorOf("CREATE TABLE KRIVAX.Extra (Id INT NOT NULL PRIMARY KEY, Name VARCHAR(5))"), 0);
  EXPECT_EQ(ErrorOf("INSERT INTO krivax.extra VALUES (1, 'abcdef')"), 8152);
  EXPECT_EQ(
      ErrorOf(
          "INSERT INTO krivax.extra VALUES (1, 'abc') INSERT INTO krivax.extra VALUES (1, 'x')"),
      2627);
  EXPECT_EQ(
      Rows("SELECT e.Name, f.FcdNum FROM KRIVAX.Extra e JOIN Kvx131Fcd f ON f.FcdTyp = e.Id + 10"),
      (std::vector<std::vector<std::string>>{{"abc", "K1"}}));
  EXPECT_EQ(ErrorOf("DROP TABLE KRIVAX.Extra"), 0);
  EXPECT_EQ(ErrorOf("SELECT * FROM KRIVAX.Extra"), 208);
}

TEST_F(EngineTest, SessionStatementsAreAccepted) {
  for (const char* sql : {"SET TEXTSIZE 4096", "SET ANSI_NULLS ON SET QUOTED_IDENTIFIER ON",
                          "SET TRANSACTION ISOLATION LEVEL READ COMMITTED", "BEGIN TRANSACTION",
                          "COMMIT", "SET DATEFORMAT ymd; SELECT 1"}) {
    EXPECT_EQ(ErrorOf(sql), 0) << sql;
  }
  EXPECT_EQ(ErrorOf("USE tralvo"), 0);
  EXPECT_EQ(One("SELECT DB_NAME()"), "TRALVO");
  std::string text;
  EXPECT_EQ(ErrorOf("USE master", &text), 911);
  EXPECT_EQ(text,
            "Database 'master' does not exist. Make sure that the name is entered correctly.");
  EXPECT_EQ(One("SELECT DB_NAME()"), "TRALVO");
  Run("SET NOCOUNT ON");
  EXPECT_TRUE(session_.noCount);
}

TEST_F(EngineTest, EveryCutOfTheToolsStatementsIsAnsweredNotCrashedOn) {
  for (const char* form :
       {testsupport::kServerTime, testsupport::kBadgeLookup, testsupport::kBookingType,
        testsupport::kCodeMapping, testsupport::kZoneNumber, testsupport::kAccessInsert,
        testsupport::kEventInsert}) {
    std::string full = form;
    for (size_t cut = 0; cut <= full.size(); ++cut) {
      auto results = Run(full.substr(0, cut));
      for (const StatementResult& r : results) {
        for (const ServerMessage& m : r.messages) EXPECT_FALSE(m.text.empty());
      }
    }
  }
}

TEST_F(EngineTest, DeepNestingIsRefusedWith191) {
  EXPECT_EQ(ErrorOf("SELECT " + std::string(100000, '(') + "1"), 191);
  std::string unary = "SELECT ";
  for (int i = 0; i < 50000; ++i) unary += "- ";
  EXPECT_EQ(ErrorOf(unary + "1"), 191);
  std::string chain = "SELECT 1";
  for (int i = 0; i < 20000; ++i) chain += " + 1";
  EXPECT_EQ(ErrorOf(chain), 191);
  EXPECT_EQ(One("SELECT ((((1))))"), "1");
}

TEST_F(EngineTest, AMegabyteBatchIsAnsweredOrRefusedWithinASecond) {
  std::string ors = "SELECT 1 WHERE 1 = 0";
  while (ors.size() < (1u << 20)) ors += " OR 1 = 0";
  std::string list = "SELECT 1 WHERE 1 IN (0";
  while (list.size() < (1u << 20)) list += ", 0";
  list += ")";
  std::string sums = "SELECT 1";
  while (sums.size() < (1u << 20)) sums += "+1";
  // Processor time, so that a busy machine does not fail the test.
  auto cpuSeconds = [] {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
  };
  for (const std::string& batch : {ors, list, sums}) {
    double started = cpuSeconds();
    Run(batch);
    EXPECT_LT(cpuSeconds() - started, testsupport::kSanitizerSlowdown) << batch.substr(0, 30);
  }
  EXPECT_EQ(ErrorOf(list), 8632);
}

TEST(DateTimeWire, DaysAndTicksSince1900) {
  int32_t days;
  uint32_t ticks;
  ToWire(*ParseDateTime("1900-01-02 00:00:01", 120), days, ticks);
  EXPECT_EQ(days, 1);
  EXPECT_EQ(ticks, 300u);
  // The last milliseconds of a day round into the next one.
  ToWire(*ParseDateTime("1899-12-31 23:59:59.999", 121), days, ticks);
  EXPECT_EQ(days, 0);
  EXPECT_EQ(ticks, 0u);
  ToWire(*ParseDateTime("1899-12-31 23:59:59.997", 121), days, ticks);
  EXPECT_EQ(days, -1);
  EXPECT_EQ(ticks, 300u * 86400u - 1);
  ToWire(*ParseDateTime("2026-12-07 10:04:32", 120), days, ticks);
  EXPECT_EQ(days, 46361);
}

}  // namespace
