// A client that stops a statement (SQLCancel, as a driver's query timeout
// does) through unixODBC and FreeTDS: the server answers the attention at
// once, keeps what already ran and serves the connection on; a lock wait
// ends with the lock, the attention or SET LOCK_TIMEOUT.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "odbc_client.h"
#include "standin_fixture.h"
#include "test_support.h"

using namespace standintest;
using testsupport::Standin;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

using Rows = std::vector<std::vector<std::string>>;

std::string Insert(const std::string& code) {
  return "INSERT INTO dbo.Codes (Code) VALUES ('" + code + "')";
}

class StandinAttentionTest : public ::testing::Test {
 protected:
  void Start(testsupport::StandinOptions options = {}) {
    options.seedSql = "CREATE TABLE dbo.Codes (Code VARCHAR(10) NOT NULL PRIMARY KEY)\nGO\n";
    server_ = std::make_unique<Standin>(dir_.path(), options);
    server_->ApplyOdbcEnvironment();
  }

  std::unique_ptr<OdbcConnection> Client(bool autocommit = true) {
    auto c = std::make_unique<OdbcConnection>();
    c->SetTimeouts(10, 0);
    Outcome o = c->Connect("TRALVO", "tralvo", "Geheim-42");
    EXPECT_TRUE(SQL_SUCCEEDED(o.rc)) << o.diagnostic.message;
    if (!autocommit) {
      EXPECT_EQ(c->SetAutocommit(false).rc, SQL_SUCCESS);
    }
    return c;
  }

  Rows Committed() { return server_->Query("SELECT Code FROM dbo.Codes ORDER BY Code"); }

  testsupport::TempDir dir_;
  std::unique_ptr<Standin> server_;
};

TEST_F(StandinAttentionTest, ALateAnswerComesAfterTheBatchRanAndGivesWayToAnAttention) {
  testsupport::StandinOptions late;
  late.lateAnswerMs = 1500;
  Start(late);
  auto c = Client();
  auto started = Clock::now();
  Outcome cancelled = c->ExecuteCancelledAfter(Insert("STOPPED"), milliseconds(300));
  EXPECT_LT(Clock::now() - started, milliseconds(1200));
  EXPECT_EQ(cancelled.diagnostic.sqlState, "HY008") << cancelled.diagnostic.message;
  EXPECT_EQ(Committed(), Rows{{"STOPPED"}}) << "the batch ran before its answer was due";

  started = Clock::now();
  EXPECT_EQ(c->Execute(Insert("AWAITED")).rc, SQL_SUCCESS);
  EXPECT_GE(Clock::now() - started, milliseconds(1500));
  EXPECT_EQ(Committed(), (Rows{{"AWAITED"}, {"STOPPED"}}));
}

}  // namespace
