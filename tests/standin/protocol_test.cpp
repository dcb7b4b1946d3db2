// Clients that break the protocol: garbage bytes, a packet cut off by a
// disconnect, a login whose offsets point outside it, a broken TLS
// handshake; and the encryption each PRELOGIN offer is answered with.
// Each may lose its own connection, never the server.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

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
  // One whole packet of the server's answer; empty when none comes.
  std::string ReceivePacket() {
    std::string packet;
    auto fill = [&](size_t size) {
      while (packet.size() < size) {
        char buffer[4096];
        ssize_t n = recv(fd_, buffer, std::min(sizeof buffer, size - packet.size()), 0);
        if (n <= 0) return false;
        packet.append(buffer, static_cast<size_t>(n));
      }
      return true;
    };
    if (!fill(8)) return "";
    size_t length = (static_cast<size_t>(static_cast<unsigned char>(packet[2])) << 8) |
                    static_cast<unsigned char>(packet[3]);
    return length >= 8 && fill(length) ? packet : "";
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

// A PRELOGIN offering the encryption `value`: VERSION, ENCRYPTION, the
// terminator, then their data.
std::string Prelogin(uint8_t value) {
  std::string table("\x00\x00\x0B\x00\x06\x01\x00\x11\x00\x01\xFF", 11);
  return Packet(0x12,
                table + std::string("\x0C\x00\x07\xD0\x00\x00", 6) + static_cast<char>(value));
}

// The ENCRYPTION value of the server's PRELOGIN answer; -1 for none.
int AnsweredEncryption(const std::string& packet) {
  if (packet.size() < 9 || packet[0] != 0x04) return -1;
  std::string body = packet.substr(8);
  for (size_t at = 0; at + 5 <= body.size() && body[at] != '\xFF'; at += 5) {
    size_t offset = (static_cast<size_t>(static_cast<unsigned char>(body[at + 1])) << 8) |
                    static_cast<unsigned char>(body[at + 2]);
    if (body[at] == 0x01 && offset < body.size()) return static_cast<unsigned char>(body[offset]);
  }
  return -1;
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

// The server can always encrypt: the login alone for a client that leaves
// encryption off, everything for a client that wants it; when forced, all
// of every connection, and a client that cannot encrypt is refused.
TEST_F(StandinProtocolTest, PreloginSettlesEncryptionAsTheServerDoes) {
  enum : uint8_t { kOff = 0, kOn = 1, kNotSupported = 2, kRequired = 3 };
  testsupport::TempDir forcedDir;
  testsupport::StandinOptions forcedOptions;
  forcedOptions.forceEncryption = true;
  testsupport::Standin forced(forcedDir.path(), forcedOptions);
  struct Case {
    uint8_t offered;
    int answer;
    int forcedAnswer;
  };
  for (Case c : {Case{kOff, kOff, kRequired}, Case{kOn, kOn, kOn}, Case{kRequired, kOn, kOn},
                 Case{kNotSupported, kNotSupported, kRequired},
                 // A client certificate offered along is not asked for.
                 Case{kOn | 0x80, kOn, kOn}}) {
    RawClient plain(server_->port());
    plain.Send(Prelogin(c.offered));
    EXPECT_EQ(AnsweredEncryption(plain.ReceivePacket()), c.answer) << int(c.offered);
    RawClient strict(forced.port());
    strict.Send(Prelogin(c.offered));
    EXPECT_EQ(AnsweredEncryption(strict.ReceivePacket()), c.forcedAnswer) << int(c.offered);
  }
  RawClient refused(forced.port());
  refused.Send(Prelogin(kNotSupported));
  refused.ReceivePacket();
  EXPECT_TRUE(refused.ClosedByServer());
  // Nor may a client skip PRELOGIN and log in in clear.
  RawClient bare(forced.port());
  bare.Send(Packet(0x10, std::string(94, '\0')));
  EXPECT_TRUE(bare.ClosedByServer());
  // An encryption value no client sends is a broken PRELOGIN.
  RawClient unknown(server_->port());
  unknown.Send(Prelogin(7));
  EXPECT_TRUE(unknown.ClosedByServer());
}

TEST_F(StandinProtocolTest, ABrokenHandshakeClosesOnlyThatConnection) {
  // Garbage where the client's hello belongs: the server answers with an
  // alert, inside a PRELOGIN packet, and closes.
  RawClient garbage(server_->port());
  garbage.Send(Prelogin(1));
  garbage.ReceivePacket();
  // A ClientHello record whose hello is four bytes of nonsense.
  garbage.Send(Packet(0x12, std::string("\x16\x03\x01\x00\x08\x01\x00\x00\x04", 9) + "abcd"));
  std::string alert = garbage.ReceivePacket();
  ASSERT_GT(alert.size(), 8u + 5);
  EXPECT_EQ(alert[0], 0x12);
  EXPECT_EQ(alert[8], 0x15);  // a TLS alert record
  EXPECT_TRUE(garbage.ClosedByServer());
  // A login in clear where the handshake belongs.
  RawClient skipped(server_->port());
  skipped.Send(Prelogin(0));
  skipped.ReceivePacket();
  skipped.Send(Packet(0x10, std::string(94, '\0')));
  EXPECT_TRUE(skipped.ClosedByServer());
  ExpectServing();
}

}  // namespace
