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

  // Another session holds an uncommitted row in the table `blocked_` is
  // to write to.
  void StartWithALockHeld() {
    Start();
    holder_ = Client(false);
    blocked_ = Client();
    ASSERT_EQ(holder_->Execute(Insert("HELD")).rc, SQL_SUCCESS);
  }

  // Inserts `code` on `c` and cancels it `after` the start; how long the
  // statement took to return.
  static Clock::duration CancelledInsert(OdbcConnection& c, const std::string& code,
                                         milliseconds after) {
    auto started = Clock::now();
    Outcome cancelled = c.ExecuteCancelledAfter(Insert(code), after);
    EXPECT_EQ(cancelled.rc, SQL_ERROR);
    EXPECT_EQ(cancelled.diagnostic.sqlState, "HY008") << cancelled.diagnostic.message;
    return Clock::now() - started;
  }

  Rows Committed() { return server_->Query("SELECT Code FROM dbo.Codes ORDER BY Code"); }

  testsupport::TempDir dir_;
  std::unique_ptr<Standin> server_;
  std::unique_ptr<OdbcConnection> holder_, blocked_;
};

TEST_F(StandinAttentionTest, ABlockedStatementStopsAtOnceOrAfterItsLockTimeout) {
  StartWithALockHeld();
  EXPECT_LT(CancelledInsert(*blocked_, "WAITED", milliseconds(1000)), milliseconds(3000));
  EXPECT_EQ(blocked_->FetchFirst("SELECT 7", {{SQL_C_LONG, 4}}).numbers, std::vector<long>{7});

  ASSERT_NE(blocked_->Execute("SET LOCK_TIMEOUT 1000").rc, SQL_ERROR);
  auto started = Clock::now();
  Outcome refused = blocked_->Execute(Insert("WAITED"));
  auto waited = Clock::now() - started;
  EXPECT_EQ(refused.diagnostic.nativeError, 1222);
  EXPECT_GE(waited, milliseconds(1000));
  EXPECT_LT(waited, milliseconds(2500));

  // The holder goes on undisturbed; what the others never ran is not there.
  ASSERT_EQ(holder_->EndTransaction(true).rc, SQL_SUCCESS);
  EXPECT_EQ(Committed(), Rows{{"HELD"}});
  EXPECT_EQ(blocked_->Execute(Insert("LATER")).rc, SQL_SUCCESS);
}

// The server's default LOCK_TIMEOUT of -1 has no limit of its own.
TEST_F(StandinAttentionTest, WithoutALockTimeoutABlockedStatementWaitsUntilCancelled) {
  StartWithALockHeld();
  auto waited = CancelledInsert(*blocked_, "WAITED", milliseconds(24500));
  EXPECT_GE(waited, milliseconds(24500));
  EXPECT_LT(waited, milliseconds(27000));
  ASSERT_EQ(holder_->EndTransaction(true).rc, SQL_SUCCESS);
  EXPECT_EQ(Committed(), Rows{{"HELD"}});
}

TEST_F(StandinAttentionTest, ALateAnswerComesAfterTheBatchRanAndGivesWayToAnAttention) {
  testsupport::StandinOptions late;
  late.lateAnswerMs = 1500;
  Start(late);
  auto c = Client();
  EXPECT_LT(CancelledInsert(*c, "STOPPED", milliseconds(300)), milliseconds(1200));
  EXPECT_EQ(Committed(), Rows{{"STOPPED"}}) << "the batch ran before its answer was due";

  auto started = Clock::now();
  EXPECT_EQ(c->Execute(Insert("AWAITED")).rc, SQL_SUCCESS);
  EXPECT_GE(Clock::now() - started, milliseconds(1500));
  EXPECT_EQ(Committed(), (Rows{{"AWAITED"}, {"STOPPED"}}));
}

}  // namespace
