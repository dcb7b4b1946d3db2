// Transactions as a client with autocommit off meets them through unixODBC
// and the FreeTDS driver: commit keeps, rollback and a dropped connection
// remove, and another connection never sees what is not committed.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>

#include "odbc_client.h"
#include "standin_fixture.h"
#include "test_support.h"

using namespace standintest;
using testsupport::Standin;

namespace {

std::string Insert(const std::string& code) {
  return "INSERT INTO dbo.Codes (Code) VALUES ('" + code + "')";
}

testsupport::StandinOptions WithCodes() {
  testsupport::StandinOptions options;
  options.seedSql = "CREATE TABLE dbo.Codes (Code VARCHAR(10) NOT NULL PRIMARY KEY)\nGO\n";
  return options;
}

class StandinTransactionTest : public ::testing::Test {
 protected:
  StandinTransactionTest() : server_(dir_.path(), WithCodes()) { server_.ApplyOdbcEnvironment(); }

  std::unique_ptr<OdbcConnection> Client(bool autocommit = true) {
    auto c = std::make_unique<OdbcConnection>();
    c->SetTimeouts(10, 60);
    Outcome o = c->Connect("TRALVO", "tralvo", "Geheim-42");
    EXPECT_TRUE(SQL_SUCCEEDED(o.rc)) << o.diagnostic.message;
    if (!autocommit) {
      EXPECT_EQ(c->SetAutocommit(false).rc, SQL_SUCCESS);
    }
    return c;
  }

  // The codes committed, as a reader outside the server sees the file.
  std::vector<std::vector<std::string>> Committed() {
    return server_.Query("SELECT Code FROM dbo.Codes ORDER BY Code");
  }

  static long Count(OdbcConnection& c, const std::string& where = "") {
    Fetched f = c.FetchFirst("SELECT COUNT(*) FROM dbo.Codes" + where, {{SQL_C_LONG, 4}});
    EXPECT_EQ(f.execRc, SQL_SUCCESS) << f.diagnostic.message;
    return f.numbers.empty() ? -1 : f.numbers[0];
  }

  testsupport::TempDir dir_;
  Standin server_;
};

using Rows = std::vector<std::vector<std::string>>;

TEST_F(StandinTransactionTest, CommitKeepsAndRollbackRemoves) {
  auto c = Client(false);
  ASSERT_EQ(c->Execute(Insert("GONE")).rc, SQL_SUCCESS);
  EXPECT_EQ(Count(*c), 1) << "a connection sees its own uncommitted row";
  EXPECT_EQ(Committed(), Rows{});
  ASSERT_EQ(c->EndTransaction(false).rc, SQL_SUCCESS);
  EXPECT_EQ(Count(*c), 0);

  ASSERT_EQ(c->Execute(Insert("KEPT")).rc, SQL_SUCCESS);
  ASSERT_EQ(c->EndTransaction(true).rc, SQL_SUCCESS);
  EXPECT_EQ(Committed(), Rows{{"KEPT"}});
  // A rolled-back key is free again; the committed one is a duplicate.
  ASSERT_EQ(c->Execute(Insert("GONE")).rc, SQL_SUCCESS);
  EXPECT_EQ(c->Execute(Insert("KEPT")).diagnostic.nativeError, 2627);
  ASSERT_EQ(c->EndTransaction(true).rc, SQL_SUCCESS);
  EXPECT_EQ(Committed(), (Rows{{"GONE"}, {"KEPT"}}));
}

TEST_F(StandinTransactionTest, AnotherConnectionWaitsForTheOutcomeAndNeverSeesUncommittedRows) {
  auto writer = Client(false);
  auto reader = Client();
  ASSERT_EQ(writer->Execute(Insert("OPEN")).rc, SQL_SUCCESS);

  // With a lock timeout the reader gives up as the server's reader does.
  ASSERT_NE(reader->Execute("SET LOCK_TIMEOUT 100").rc, SQL_ERROR);
  Fetched refused = reader->FetchFirst("SELECT COUNT(*) FROM dbo.Codes", {{SQL_C_LONG, 4}});
  EXPECT_EQ(refused.execRc, SQL_ERROR);
  EXPECT_EQ(refused.diagnostic.nativeError, 1222);
  ASSERT_NE(reader->Execute("SET LOCK_TIMEOUT -1").rc, SQL_ERROR);

  // Without one it waits, and sees the row only once it is committed.
  for (bool commit : {false, true}) {
    auto started = std::chrono::steady_clock::now();
    auto counted = std::async(std::launch::async, [&] { return Count(*reader); });
    ASSERT_EQ(counted.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    ASSERT_EQ(writer->EndTransaction(commit).rc, SQL_SUCCESS);
    EXPECT_EQ(counted.get(), commit ? 1 : 0);
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(300));
    if (!commit) {
      ASSERT_EQ(writer->Execute(Insert("OPEN")).rc, SQL_SUCCESS);
    }
  }
}

TEST_F(StandinTransactionTest, WhatADroppedConnectionDidNotCommitIsRolledBack) {
  auto dropped = Client(false);
  ASSERT_EQ(dropped->Execute(Insert("A")).rc, SQL_SUCCESS);
  dropped->Disconnect();
  // Through T-SQL and implicit transactions, as other drivers ask for it.
  auto tsql = Client();
  SQLLEN count = 0;
  ASSERT_EQ(tsql->ExecuteWhole("SET IMPLICIT_TRANSACTIONS ON " + Insert("B"), count).rc,
            SQL_SUCCESS);
  tsql.reset();
  auto other = Client();
  EXPECT_EQ(Count(*other), 0);
  ASSERT_EQ(other->Execute(Insert("A")).rc, SQL_SUCCESS);
  ASSERT_EQ(other->Execute(Insert("B")).rc, SQL_SUCCESS);
  EXPECT_EQ(Committed(), (Rows{{"A"}, {"B"}}));
}

TEST_F(StandinTransactionTest, TransactionStatementsInBatchesNestAndCount) {
  auto c = Client();
  auto level = [&] {
    Fetched f = c->FetchFirst("SELECT @@TRANCOUNT", {{SQL_C_LONG, 4}});
    return f.numbers.empty() ? -1 : f.numbers[0];
  };
  SQLLEN count = 0;
  Outcome nested =
      c->ExecuteWhole("BEGIN TRAN; BEGIN TRANSACTION t1; " + Insert("N") + "; COMMIT TRAN", count);
  ASSERT_EQ(nested.rc, SQL_SUCCESS) << nested.diagnostic.message;
  EXPECT_EQ(level(), 1);
  EXPECT_EQ(Committed(), Rows{});
  ASSERT_NE(c->Execute("ROLLBACK WORK").rc, SQL_ERROR);
  EXPECT_EQ(level(), 0);
  EXPECT_EQ(Count(*c), 0);
  Outcome unmatched = c->Execute("COMMIT");
  EXPECT_EQ(unmatched.rc, SQL_ERROR);
  EXPECT_EQ(unmatched.diagnostic.nativeError, 3902);
}

}  // namespace
