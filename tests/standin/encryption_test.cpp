// Encryption as the driver meets it, watched by a relay between the
// driver and the server: the login alone encrypted unless the client or
// the server asks for more, a client that cannot encrypt refused by a
// server that insists, the faults for tests on an encrypted connection,
// and a certificate given on the command line the one presented, which a
// client that checks certificates accepts.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <vector>

#include "odbc_client.h"
#include "recording_relay.h"
#include "standin_fixture.h"
#include "statement_oracle.h"
#include "test_support.h"

using namespace standintest;
using namespace testsupport;

namespace {

const char kSecretQuery[] = "SELECT 'Nur fuer Eingeweihte'";

bool Contains(const std::string& haystack, const std::string& needle) {
  return haystack.find(needle) != std::string::npos;
}

class StandinEncryptionTest : public ::testing::Test {
 protected:
  void Start(StandinOptions options = {}) {
    relay_.reset();
    server_ = std::make_unique<Standin>(dir_.path(), options);
    server_->ApplyOdbcEnvironment();
    relay_ = std::make_unique<RecordingRelay>(server_->port());
  }
  // Logs in through the relay with the driver's Encryption setting (empty:
  // its default).
  Outcome Connect(OdbcConnection& c, const std::string& encryption) {
    std::string text = "DSN=TRALVO;UID=tralvo;PWD=Geheim-42;Port=" + std::to_string(relay_->port());
    if (!encryption.empty()) text += ";Encryption=" + encryption;
    return c.ConnectString(text);
  }
  // The last connection's bytes: a login, then the secret query.
  RecordingRelay::Recording LoginAndQuery(const std::string& encryption) {
    OdbcConnection c;
    Outcome login = Connect(c, encryption);
    EXPECT_TRUE(SQL_SUCCEEDED(login.rc)) << login.diagnostic.message;
    EXPECT_EQ(c.Execute(kSecretQuery).rc, SQL_SUCCESS);
    return relay_->Recordings().back();
  }

  TempDir dir_;
  std::unique_ptr<Standin> server_;
  std::unique_ptr<RecordingRelay> relay_;
};

TEST_F(StandinEncryptionTest, TheLoginAloneIsEncryptedUnlessTheClientAsksForMore) {
  Start();
  struct Case {
    const char* encryption;
    bool login;  // the login encrypted
    bool whole;  // everything after it too
  };
  for (Case c : {Case{"", true, false}, Case{"request", true, false}, Case{"require", true, true},
                 Case{"off", false, false}}) {
    SCOPED_TRACE(c.encryption);
    RecordingRelay::Recording r = LoginAndQuery(c.encryption);
    WireParts client = ReadWire(r.fromClient);
    WireParts server = ReadWire(r.fromServer);
    ASSERT_TRUE(client.wellFormed && server.wellFormed);
    EXPECT_EQ(client.handshakePackets > 0, c.login);
    EXPECT_EQ(server.handshakePackets > 0, c.login);
    EXPECT_EQ(client.applicationRecords > 0, c.login);
    // The login carries the user name.
    EXPECT_EQ(Contains(r.fromClient, Utf16("tralvo")), !c.login);
    EXPECT_EQ(Contains(client.clear, Utf16(kSecretQuery)), !c.whole);
    EXPECT_EQ(Contains(r.fromClient, Utf16(kSecretQuery)), !c.whole);
    EXPECT_EQ(Contains(r.fromServer, "Nur fuer Eingeweihte"), !c.whole);
    EXPECT_EQ(server.applicationRecords > 0, c.whole);
    EXPECT_EQ(client.clear.empty(), c.whole);
  }
}

TEST_F(StandinEncryptionTest, AServerThatInsistsEncryptsAllAndRefusesAClientThatCannot) {
  StandinOptions options;
  options.forceEncryption = true;
  Start(options);
  RecordingRelay::Recording r = LoginAndQuery("request");
  WireParts client = ReadWire(r.fromClient);
  ASSERT_TRUE(client.wellFormed);
  EXPECT_EQ(client.clear, "");
  EXPECT_FALSE(Contains(r.fromServer, "Nur fuer Eingeweihte"));

  OdbcConnection refused;
  Outcome o = Connect(refused, "off");
  EXPECT_EQ(o.rc, SQL_ERROR);
  // Nothing of the login went out in clear.
  EXPECT_FALSE(Contains(relay_->Recordings().back().fromClient, Utf16("tralvo")));
}

// Each fault on a connection encrypted whole; nothing the client sends
// after the handshake goes in clear.
TEST_F(StandinEncryptionTest, FaultsForTestsHoldOnAnEncryptedConnection) {
  struct Case {
    const char* fault;
    StandinOptions options;
    SQLULEN queryTimeout = 0;
    std::function<void(OdbcConnection&)> expect;
  };
  std::vector<Case> cases(3);
  cases[0].fault = "slow, then dropped";
  cases[0].options.dropAfter = 1;
  cases[0].options.delayMs = 100;
  cases[0].expect = [](OdbcConnection& c) {
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(c.Execute(kServerTime).rc, SQL_SUCCESS);
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(100));
    EXPECT_EQ(c.Execute(kServerTime).rc, SQL_ERROR);
  };
  // The attention travels inside TLS; the server still sees it at once,
  // long before the answer would be due, every time.
  cases[1].fault = "late answers";
  cases[1].options.lateAnswerMs = 60000;
  cases[1].expect = [](OdbcConnection& c) {
    for (int i = 0; i < 2; ++i) {
      auto started = std::chrono::steady_clock::now();
      Outcome cancelled = c.ExecuteCancelledAfter(kServerTime, std::chrono::milliseconds(200));
      EXPECT_EQ(cancelled.diagnostic.sqlState, "HY008") << cancelled.diagnostic.message;
      EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    }
  };
  cases[2].fault = "silent";
  cases[2].options.silentAfter = 1;
  cases[2].queryTimeout = 1;
  cases[2].expect = [](OdbcConnection& c) {
    EXPECT_EQ(c.Execute(kServerTime).rc, SQL_SUCCESS);
    Outcome hung = c.Execute(kServerTime);
    EXPECT_EQ(hung.diagnostic.sqlState, "HYT00") << hung.diagnostic.message;
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.fault);
    Start(k.options);
    OdbcConnection c;
    c.SetTimeouts(0, k.queryTimeout);
    ASSERT_TRUE(SQL_SUCCEEDED(Connect(c, "require").rc));
    k.expect(c);
    EXPECT_EQ(ReadWire(relay_->Recordings().back().fromClient).clear, "");
  }
}

TEST_F(StandinEncryptionTest, AGivenCertificateIsTheOnePresented) {
  std::string folder = dir_.path();
  auto make = [&](const std::string& name) {
    ProcessResult r = RunProcess(
        {"/usr/bin/openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256",
         "-nodes", "-subj", "/CN=" + name, "-addext", "subjectAltName=IP:127.0.0.1", "-days", "2",
         "-keyout", name + ".key", "-out", name + ".pem"},
        folder);
    ASSERT_EQ(r.exitStatus, 0) << r.errors;
  };
  make("ours");
  make("other");
  ProcessResult der = RunProcess(
      {"/usr/bin/openssl", "x509", "-in", "ours.pem", "-outform", "DER", "-out", "ours.der"},
      folder);
  ASSERT_EQ(der.exitStatus, 0) << der.errors;

  StandinOptions options;
  options.certificate = folder + "/ours.pem";
  options.key = folder + "/other.key";
  try {
    Start(options);
    ADD_FAILURE() << "a key that does not belong to the certificate was taken";
  } catch (const std::runtime_error& e) {
    EXPECT_TRUE(Contains(e.what(), "other.key")) << e.what();
  }
  options.key = folder + "/ours.key";
  Start(options);
  RecordingRelay::Recording r = LoginAndQuery("require");
  EXPECT_TRUE(Contains(r.fromServer, ReadFileBytes(folder + "/ours.der")));
  // A client that checks the certificate against the one it trusts.
  auto trusting = [&](const std::string& name) {
    WriteFileBytes(folder + "/" + name + ".conf",
                   "[global]\nencryption = require\nca file = " + folder + "/" + name + ".pem\n");
    return RunProcess({"/usr/bin/tsql", "-H", "127.0.0.1", "-p", std::to_string(server_->port()),
                       "-U", "tralvo", "-P", "Geheim-42"},
                      folder, "SELECT 6 * 7\ngo\nexit\n",
                      {{"TDSVER", "7.4"}, {"FREETDSCONF", folder + "/" + name + ".conf"}});
  };
  ProcessResult trusted = trusting("ours");
  EXPECT_NE(trusted.output.find("\n42\n"), std::string::npos) << trusted.output << trusted.errors;
  ProcessResult untrusted = trusting("other");
  EXPECT_EQ(untrusted.output.find("\n42\n"), std::string::npos) << untrusted.output;
}

}  // namespace
