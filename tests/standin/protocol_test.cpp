// Clients that break the protocol: garbage bytes, a packet cut off by a
// disconnect, a login whose offsets point outside it. Each may lose its
// own connection, never the server.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include "odbc_client.h"
#include "standin_fixture.h"
#include "statement_oracle.h"
#include "test_support.h"

using namespace standintest;
using namespace testsupport;

namespace {

class RawClient {
 public:
  explicit RawClient(int port) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    timeval timeout{2, 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  }
  ~RawClient() { close(fd_); }
  bool connected() const { return connected_; }
  void Send(const std::string& bytes) {
    ssize_t n = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    (void)n;
  }
  // True when the server closed the connection (read returns 0 or fails).
  bool ClosedByServer() {
    char buffer[4096];
    while (true) {
      ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
      if (n == 0) return true;
      if (n < 0) return errno != EAGAIN && errno != EWOULDBLOCK;
    }
  }

 private:
  int fd_ = -1;
  bool connected_ = false;
};

std::string Packet(uint8_t type, const std::string& body, uint8_t status = 0x01) {
  size_t length = body.size() + 8;
  std::string p;
  p += static_cast<char>(type);
  p += static_cast<char>(status);
  p += static_cast<char>(length >> 8);
  p += static_cast<char>(length & 0xFF);
  p += std::string(4, '\0');
  return p + body;
}

class StandinProtocolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = std::make_unique<testsupport::Standin>(dir_.path());
    server_->ApplyOdbcEnvironment();
  }
  void ExpectServing() {
    OdbcConnection c;
    Outcome o = c.Connect("TRALVO", "tralvo", "Geheim-42");
    ASSERT_TRUE(SQL_SUCCEEDED(o.rc)) << o.diagnostic.message;
    EXPECT_EQ(c.Execute(kServerTime).rc, SQL_SUCCESS);
    EXPECT_EQ(kill(server_->pid(), 0), 0);
  }

  testsupport::TempDir dir_;
  std::unique_ptr<testsupport::Standin> server_;
};

TEST_F(StandinProtocolTest, GarbageBytesCloseOnlyThatConnection) {
  RawClient garbage(server_->port());
  ASSERT_TRUE(garbage.connected());
  const char bytes[] = "\xDE\xAD\xBE\xEF\x00\x01\x02\x03 not a packet at all";
  garbage.Send(std::string(bytes, sizeof bytes - 1));
  EXPECT_TRUE(garbage.ClosedByServer());
  ExpectServing();
}

TEST_F(StandinProtocolTest, DisconnectInTheMiddleOfAPacket) {
  {
    RawClient cut(server_->port());
    ASSERT_TRUE(cut.connected());
    std::string prelogin = Packet(0x12, std::string(40, '\x01'));
    cut.Send(prelogin.substr(0, 14));
  }
  ExpectServing();
}

TEST_F(StandinProtocolTest, MalformedRequestsAreRefusedWithoutHarm) {
  // A prelogin option pointing past the payload.
  RawClient badPrelogin(server_->port());
  badPrelogin.Send(Packet(0x12, std::string("\x00\x00\x50\x00\x06\xFF", 6)));
  EXPECT_TRUE(badPrelogin.ClosedByServer());

  // A login whose user name lies outside the packet.
  RawClient badLogin(server_->port());
  std::string login(94, '\0');
  login[0] = 94;
  login[40] = static_cast<char>(200);  // offset of the user name
  login[42] = 50;                      // its length in characters
  badLogin.Send(Packet(0x10, login));
  EXPECT_TRUE(badLogin.ClosedByServer());

  // A packet length below the header size, and a message that changes type.
  RawClient shortLength(server_->port());
  shortLength.Send(std::string("\x12\x01\x00\x04\x00\x00\x00\x00", 8));
  EXPECT_TRUE(shortLength.ClosedByServer());
  RawClient mixed(server_->port());
  mixed.Send(Packet(0x12, "abcd", 0x00) + Packet(0x10, "efgh"));
  EXPECT_TRUE(mixed.ClosedByServer());

  ExpectServing();
}

TEST_F(StandinProtocolTest, AHostileBatchFailsAloneAndTheServerGoesOn) {
  OdbcConnection c;
  ASSERT_TRUE(SQL_SUCCEEDED(c.Connect("TRALVO", "tralvo", "Geheim-42").rc));
  Outcome nested = c.Execute("SELECT " + std::string(200000, '(') + "1");
  EXPECT_EQ(nested.rc, SQL_ERROR);
  EXPECT_EQ(nested.diagnostic.nativeError, 191);
  EXPECT_EQ(c.Execute(kServerTime).rc, SQL_SUCCESS);
  ExpectServing();
}

}  // namespace
