// The engine's transactions and unique indexes without the network: what
// BEGIN, COMMIT, ROLLBACK, SAVE and implicit transactions keep and undo,
// how two sessions share the database, and the duplicate-key errors.
#include <gtest/gtest.h>

#include <chrono>

#include "sql/conversion.h"
#include "sql/engine.h"
#include "test_support.h"

using namespace standin;

namespace {

class EngineTransactionTest : public ::testing::Test {
 protected:
  EngineTransactionTest() : engine_(dir_ / "t.db", "2026-12-07 10:04:32") {
    Run("CREATE TABLE dbo.Codes (Code VARCHAR(10) NOT NULL PRIMARY KEY, Note VARCHAR(10))");
    other_.spid = 52;
  }

  std::vector<StatementResult> Run(const std::string& sql) { return Run(session_, sql); }
  std::vector<StatementResult> Run(SessionInfo& session, const std::string& sql) {
    return engine_.Execute(sql, session);
  }
  // The first error of the batch, 0 when none; its text into `text`.
  int ErrorOf(SessionInfo& session, const std::string& sql, std::string* text = nullptr) {
    for (const StatementResult& r : Run(session, sql))
      for (const ServerMessage& m : r.messages)
        if (m.severity > 10) {
          if (text) *text = m.text;
          return m.number;
        }
    return 0;
  }
  int ErrorOf(const std::string& sql, std::string* text = nullptr) {
    return ErrorOf(session_, sql, text);
  }
  // The first cell of the first result set, as text.
  std::string One(SessionInfo& session, const std::string& sql) {
    for (const StatementResult& r : Run(session, sql))
      if (r.hasResultSet && !r.rows.empty()) return DisplayText(r.rows[0][0], r.columns[0].type);
    return "<none>";
  }
  std::string One(const std::string& sql) { return One(session_, sql); }
  std::string Codes(SessionInfo& session) {
    std::string out;
    for (const StatementResult& r : Run(session, "SELECT Code FROM dbo.Codes ORDER BY Code"))
      for (const Row& row : r.rows) out += row[0].text + " ";
    return out;
  }
  std::string Codes() { return Codes(session_); }

  testsupport::TempDir dir_;
  Engine engine_;
  SessionInfo session_;
  SessionInfo other_;
};

TEST_F(EngineTransactionTest, NestingCountsAndOnlyTheOutermostCommitKeeps) {
  EXPECT_EQ(One("BEGIN TRAN; BEGIN TRANSACTION t2; SELECT @@TRANCOUNT"), "2");
  Run("INSERT INTO dbo.Codes (Code) VALUES ('A')");
  EXPECT_EQ(One("COMMIT TRANSACTION t2; SELECT @@TRANCOUNT"), "1");
  EXPECT_EQ(Codes(), "A ");
  // An inner commit keeps nothing: the rollback undoes the whole.
  EXPECT_EQ(One("ROLLBACK; SELECT @@TRANCOUNT"), "0");
  EXPECT_EQ(Codes(), "");
  EXPECT_EQ(One("BEGIN TRAN outer1 INSERT INTO dbo.Codes (Code) VALUES ('B') COMMIT WORK "
                "SELECT @@TRANCOUNT"),
            "0");
  EXPECT_EQ(Codes(), "B ");

  std::string text;
  EXPECT_EQ(ErrorOf("COMMIT", &text), 3902);
  EXPECT_EQ(text, "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.");
  EXPECT_EQ(ErrorOf("ROLLBACK TRAN", &text), 3903);
  EXPECT_EQ(text, "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION.");
  EXPECT_EQ(ErrorOf("SAVE TRAN s1"), 628);
  // These end their statement only; the batch goes on.
  EXPECT_EQ(One("COMMIT SELECT 7"), "7");
  // BEGIN alone opens a block, which is not served; SAVE needs a name.
  EXPECT_EQ(ErrorOf("BEGIN"), 102);
  EXPECT_EQ(ErrorOf("SAVE TRAN"), 102);
}

TEST_F(EngineTransactionTest, SavepointsUndoOnlyWhatCameAfterThem) {
  Run("BEGIN TRAN t INSERT INTO dbo.Codes (Code) VALUES ('A') SAVE TRAN s "
      "INSERT INTO dbo.Codes (Code) VALUES ('B')");
  EXPECT_EQ(Codes(), "A B ");
  Run("ROLLBACK TRAN s");
  EXPECT_EQ(Codes(), "A ");
  EXPECT_EQ(One("SELECT @@TRANCOUNT"), "1");
  std::string text;
  EXPECT_EQ(ErrorOf("ROLLBACK TRAN nosuch", &text), 6401);
  EXPECT_EQ(text, "Cannot roll back nosuch. No transaction or savepoint of that name was found.");
  // Naming the transaction itself rolls all of it back.
  Run("INSERT INTO dbo.Codes (Code) VALUES ('C') ROLLBACK TRAN t");
  EXPECT_EQ(Codes(), "");
  EXPECT_EQ(One("SELECT @@TRANCOUNT"), "0");
}

TEST_F(EngineTransactionTest, ImplicitTransactionsOpenOnTheFirstStatementThatNamesATable) {
  Run("SET IMPLICIT_TRANSACTIONS ON");
  Run("SELECT 1");
  EXPECT_EQ(One("SELECT @@TRANCOUNT"), "0");
  Run("SELECT COUNT(*) FROM dbo.Codes");
  EXPECT_EQ(One("SELECT @@TRANCOUNT"), "1");
  Run("COMMIT INSERT INTO dbo.Codes (Code) VALUES ('A')");
  EXPECT_EQ(One("BEGIN TRAN SELECT @@TRANCOUNT"), "2");
  engine_.EndSession(session_);
  SessionInfo fresh;
  EXPECT_EQ(Codes(fresh), "");
}

TEST_F(EngineTransactionTest, AnOpenWriteMakesOthersWaitUntilItEndsAndShowsThemOnlyItsOutcome) {
  auto begun = Run("BEGIN TRAN INSERT INTO dbo.Codes (Code) VALUES ('A')");
  ASSERT_EQ(begun[0].transactionChanges.size(), 1u);
  EXPECT_EQ(begun[0].transactionChanges[0].kind, TransactionChange::Kind::Begin);
  uint64_t id = begun[0].transactionChanges[0].id;
  EXPECT_NE(id, 0u);

  Run(other_, "SET LOCK_TIMEOUT 0");
  std::string text;
  EXPECT_EQ(ErrorOf(other_, "SELECT COUNT(*) FROM dbo.Codes", &text), 1222);
  EXPECT_EQ(text, "Lock request time out period exceeded.");
  EXPECT_EQ(ErrorOf(other_, "INSERT INTO dbo.Codes (Code) VALUES ('B')"), 1222);
  // What names no table takes no lock and does not wait.
  EXPECT_EQ(One(other_, "SELECT @@TRANCOUNT"), "0");

  // The connection goes without committing.
  engine_.EndSession(session_);
  EXPECT_EQ(Codes(other_), "");
  EXPECT_EQ(ErrorOf(other_, "INSERT INTO dbo.Codes (Code) VALUES ('A')"), 0);

  // Each transaction has its own descriptor; its end names it.
  SessionInfo next;
  auto again = Run(next, "BEGIN TRAN");
  uint64_t second = again[0].transactionChanges.at(0).id;
  EXPECT_NE(second, id);
  StatementResult committed = engine_.Transaction(Statement::Kind::CommitTransaction, "", next);
  ASSERT_EQ(committed.transactionChanges.size(), 1u);
  EXPECT_EQ(committed.transactionChanges[0].kind, TransactionChange::Kind::Commit);
  EXPECT_EQ(committed.transactionChanges[0].id, second);
}

// The default LOCK_TIMEOUT of -1 has no limit of its own. Each look the
// waiting session takes at its client is ten days later on the wait's
// clock: the wait outlasts the longest LOCK_TIMEOUT a session can set
// (2^31 - 1 ms, about 24.9 days) and ends with the client's attention,
// while SET LOCK_TIMEOUT on the same clock ends it with 1222.
TEST_F(EngineTransactionTest, WithoutALockTimeoutAWaitHasNoLimitOfItsOwn) {
  std::chrono::steady_clock::time_point now;
  engine_.SetWaitClock([&] { return now; });
  struct Client final : Interruption {
    explicit Client(std::chrono::steady_clock::time_point& now) : now_(now) {}
    bool Requested() override {
      now_ += std::chrono::hours(24 * 10);
      return ++looks == stopAt;
    }
    std::chrono::steady_clock::time_point& now_;
    int looks = 0;
    int stopAt = 0;
  } client(now);
  Run("BEGIN TRAN INSERT INTO dbo.Codes (Code) VALUES ('A')");
  other_.interruption = &client;

  client.stopAt = 5;
  std::vector<StatementResult> stopped = Run(other_, "INSERT INTO dbo.Codes (Code) VALUES ('B')");
  ASSERT_EQ(stopped.size(), 1u);
  EXPECT_TRUE(stopped[0].failed);
  EXPECT_TRUE(stopped[0].messages.empty()) << stopped[0].messages[0].number;
  EXPECT_EQ(client.looks, 5);

  client.looks = 0;
  client.stopAt = -1;
  Run(other_, "SET LOCK_TIMEOUT 2147483647");
  EXPECT_EQ(ErrorOf(other_, "INSERT INTO dbo.Codes (Code) VALUES ('B')"), 1222);
  EXPECT_EQ(client.looks, 3);
  Run("ROLLBACK");
  EXPECT_EQ(Codes(other_), "");
}

TEST_F(EngineTransactionTest, ATransactionOnlyBegunHoldsNothing) {
  // Drivers with autocommit off begin a transaction at once and after
  // every commit; until it writes, it must not stop anybody.
  engine_.Transaction(Statement::Kind::BeginTransaction, "", session_);
  EXPECT_EQ(One("SELECT COUNT(*) FROM dbo.Codes"), "0");
  Run(other_, "SET LOCK_TIMEOUT 0");
  EXPECT_EQ(ErrorOf(other_, "INSERT INTO dbo.Codes (Code) VALUES ('B')"), 0);
  EXPECT_EQ(One("SELECT COUNT(*) FROM dbo.Codes"), "1");
}

TEST_F(EngineTransactionTest, TablesMadeOrDroppedInARolledBackTransactionAreAsBefore) {
  Run("BEGIN TRAN CREATE TABLE dbo.Temp (A INT) DROP TABLE dbo.Codes");
  EXPECT_EQ(ErrorOf("SELECT * FROM dbo.Codes"), 208);
  Run("ROLLBACK");
  EXPECT_EQ(ErrorOf("SELECT * FROM dbo.Temp"), 208);
  EXPECT_EQ(ErrorOf("INSERT INTO dbo.Codes (Code) VALUES ('A')"), 0);
}

TEST_F(EngineTransactionTest, AUniqueIndexGives2601AndAKeyStill2627) {
  ASSERT_EQ(ErrorOf("CREATE UNIQUE NONCLUSTERED INDEX IX_Note ON dbo.Codes (Note)"), 0);
  ASSERT_EQ(ErrorOf("INSERT INTO dbo.Codes VALUES ('A', 'Äx')"), 0);
  std::string text;
  // The index compares as the collation does: case and trailing blanks
  // do not make a key different.
  EXPECT_EQ(ErrorOf("INSERT INTO dbo.Codes VALUES ('B', 'äX  ')", &text), 2601);
  EXPECT_EQ(text,
            "Cannot insert duplicate key row in object 'dbo.Codes' with unique index 'IX_Note'. "
            "The duplicate key value is (äX  ).");
  EXPECT_EQ(ErrorOf("INSERT INTO dbo.Codes VALUES ('a', 'other')", &text), 2627);
  EXPECT_EQ(text,
            "Violation of PRIMARY KEY constraint 'PK_Codes'. Cannot insert duplicate key in "
            "object 'dbo.Codes'. The duplicate key value is (a).");
  // A plain index allows repeats; each name once per table.
  EXPECT_EQ(ErrorOf("CREATE INDEX IX_Code ON Codes (Code DESC, Note)"), 0);
  EXPECT_EQ(ErrorOf("CREATE INDEX ix_code ON Codes (Note)", &text), 1913);
  EXPECT_EQ(text,
            "The operation failed because an index or statistics with name 'ix_code' already "
            "exists on table 'dbo.Codes'.");
  EXPECT_EQ(ErrorOf("CREATE INDEX IX_Other ON Codes (Nope)"), 1911);
  EXPECT_EQ(ErrorOf("CREATE INDEX IX_Other ON Nope (Code)"), 1088);

  // Rows that already repeat a key refuse the unique index.
  ASSERT_EQ(ErrorOf("CREATE TABLE dbo.Loose (V INT)"), 0);
  ASSERT_EQ(ErrorOf("INSERT INTO dbo.Loose VALUES (1), (2), (2)"), 0);
  EXPECT_EQ(ErrorOf("CREATE UNIQUE INDEX IX_V ON dbo.Loose (V)", &text), 1505);
  EXPECT_EQ(text,
            "The CREATE UNIQUE INDEX statement terminated because a duplicate key was found for "
            "the object name 'dbo.Loose' and the index name 'IX_V'. The duplicate key value is "
            "(2).");
}

}  // namespace
