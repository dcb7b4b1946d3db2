// A client that stops a statement (SQLCancel, as a driver's query timeout
// does) through unixODBC and FreeTDS: the server answers the attention at
// once, keeps what already ran and serves the connection on; a lock wait
// ends with the lock, the attention or SET LOCK_TIMEOUT.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>

#include "odbc_client.h"
#include "recording_relay.h"
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

// What the server sent on a connection in clear, as messages: from the
// answer to the PRELOGIN on, each its packets' contents joined.
std::vector<std::string> ServerMessages(const testsupport::RecordingRelay& relay) {
  std::string clear = testsupport::ReadWire(relay.Recordings().back().fromServer).clear;
  std::vector<std::string> messages(1);
  for (size_t at = 0; at + 8 <= clear.size();) {
    size_t size = (static_cast<size_t>(static_cast<unsigned char>(clear[at + 2])) << 8) |
                  static_cast<unsigned char>(clear[at + 3]);
    if (size < 8) break;
    messages.back().append(clear, at + 8, size - 8);
    if (clear[at + 1] & 0x01) messages.emplace_back();
    at += size;
  }
  messages.pop_back();  // empty, or cut off
  return messages;
}

// The status of the DONE that ends `message`; -1 when it ends otherwise.
int FinalDoneStatus(const std::string& message) {
  if (message.size() < 13) return -1;
  size_t at = message.size() - 13;
  unsigned char token = static_cast<unsigned char>(message[at]);
  if (token != 0xFD && token != 0xFE) return -1;
  return static_cast<unsigned char>(message[at + 1]) |
         (static_cast<unsigned char>(message[at + 2]) << 8);
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
  EXPECT_GE(waited, milliseconds(900));  // the server's timer, not this clock
  EXPECT_LT(waited, milliseconds(2500));

  // The holder goes on undisturbed; what the others never ran is not there.
  ASSERT_EQ(holder_->EndTransaction(true).rc, SQL_SUCCESS);
  EXPECT_EQ(Committed(), Rows{{"HELD"}});
  EXPECT_EQ(blocked_->Execute(Insert("LATER")).rc, SQL_SUCCESS);
}

// A stopped response ends with a DONE that announces nothing more, and the
// acknowledgement follows as a message of its own: some clients read the
// first message as the response's end and then wait for the second.
TEST_F(StandinAttentionTest, AStoppedResponseEndsBeforeItsAcknowledgementInMessagesOfTheirOwn) {
  Start();
  holder_ = Client(false);
  testsupport::RecordingRelay relay(server_->port());
  OdbcConnection watched;
  watched.SetTimeouts(10, 0);
  Outcome login = watched.ConnectString("DSN=TRALVO;UID=tralvo;PWD=Geheim-42;Encryption=off;Port=" +
                                        std::to_string(relay.port()));
  ASSERT_TRUE(SQL_SUCCEEDED(login.rc)) << login.diagnostic.message;
  ASSERT_NE(watched.Execute("CREATE TABLE dbo.Wide (Filler VARCHAR(4000))").rc, SQL_ERROR);
  for (int i = 0; i < 50; ++i) {
    ASSERT_NE(watched.Execute("INSERT INTO dbo.Wide VALUES ('" + std::string(4000, 'w') + "')").rc,
              SQL_ERROR);
  }
  ASSERT_EQ(holder_->Execute(Insert("HELD")).rc, SQL_SUCCESS);

  // `stop` stops a request on `watched`; a statement after it shows that
  // the connection goes on, and that all before it has been recorded.
  auto expectStoppedApart = [&](const std::function<void()>& stop) {
    size_t before = ServerMessages(relay).size();
    stop();
    EXPECT_EQ(watched.FetchFirst("SELECT 7", {{SQL_C_LONG, 4}}).numbers, std::vector<long>{7});
    std::vector<std::string> messages = ServerMessages(relay);
    ASSERT_GE(messages.size(), before + 3);
    int status = FinalDoneStatus(messages[before]);
    EXPECT_GE(status, 0) << "the stopped response ends with a DONE";
    EXPECT_EQ(status & (0x01 | 0x20), 0) << "announcing neither more nor the acknowledgement";
    EXPECT_EQ(messages[before + 1].size(), 13u) << "the acknowledgement is a DONE alone";
    EXPECT_EQ(FinalDoneStatus(messages[before + 1]), 0x20);
  };
  // Before anything of the answer went out: waiting for the lock.
  expectStoppedApart([&] { CancelledInsert(watched, "WAITED", milliseconds(300)); });
  ASSERT_EQ(holder_->EndTransaction(true).rc, SQL_SUCCESS);
  // While the answer is under way: 20 MB outgrow the sockets' buffers, and
  // the driver cancels the rest when the statement is freed after a row.
  expectStoppedApart([&] {
    Fetched wide =
        watched.FetchFirst("SELECT a.Filler, b.Filler FROM dbo.Wide a CROSS JOIN dbo.Wide b",
                           {{SQL_C_CHAR, 8}, {SQL_C_CHAR, 8}});
    EXPECT_EQ(wide.fetchRc, SQL_SUCCESS_WITH_INFO) << "truncated to the buffers";
  });
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
  // The answer waited for its delay; the server's timer and this clock
  // need not agree to the millisecond.
  EXPECT_GE(Clock::now() - started, milliseconds(1400));
  EXPECT_EQ(Committed(), (Rows{{"AWAITED"}, {"STOPPED"}}));
}

}  // namespace
