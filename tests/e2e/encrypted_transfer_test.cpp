// A whole transfer through a data source with Encryption = require,
// watched by a relay between the driver and the server: after the
// PRELOGIN exchange every byte either way is a TLS record, at first inside
// PRELOGIN packets, and no statement or value travels in clear. And the
// login itself: its letters arrive as the characters they are.
#include <gtest/gtest.h>

#include "recording_relay.h"
#include "transfer_fixture.h"

namespace testsupport {
namespace {

class EncryptedTransfer : public TransferTest {
 protected:
  EncryptedTransfer() : TransferTest(Required()) {}
  static StandinOptions Required() {
    StandinOptions options = DefaultOptions();
    options.encryption = "require";
    return options;
  }
};

bool Contains(const std::string& haystack, const std::string& needle) {
  return haystack.find(needle) != std::string::npos;
}

TEST_F(EncryptedTransfer, EveryByteAfterThePreloginIsTls) {
  RecordingRelay relay(server_.port());
  Booking both = Time("4711");
  both.access = "1";
  inst_.WriteBookings(both.Line());
  ProcessResult r = inst_.Transfer("T1", false, server_.OdbcEnvironment("TRALVO", relay.port()));
  EXPECT_EQ(r.exitStatus, 0) << r.output << r.errors;
  EXPECT_EQ(inst_.Log(), Header() + Summary(1, 1, 0, 0));
  EXPECT_EQ(inst_.TimeBookings().size(), 82u);
  EXPECT_EQ(server_.Query("SELECT ZpkAsw FROM KRIVAX.Kvx402Zpk").size(), 1u);

  std::vector<std::string> statements = ToolStatements();
  ASSERT_GE(statements.size(), 4u);
  std::vector<RecordingRelay::Recording> recordings = relay.Recordings();
  ASSERT_FALSE(recordings.empty());
  for (const RecordingRelay::Recording& recording : recordings) {
    for (const std::string* bytes : {&recording.fromClient, &recording.fromServer}) {
      WireParts parts = ReadWire(*bytes);
      ASSERT_TRUE(parts.wellFormed);
      EXPECT_GT(parts.handshakePackets, 0);
      EXPECT_GT(parts.handshakeRecords, 0);
      EXPECT_GT(parts.applicationRecords, 0);
      EXPECT_EQ(parts.clear, "");
    }
    for (const std::string& statement : statements) {
      EXPECT_FALSE(Contains(recording.fromClient, Utf16(statement))) << statement;
      EXPECT_FALSE(Contains(recording.fromClient, statement)) << statement;
    }
    // Nor the values of the answers: the holder's schema and number.
    for (const char* value : {"MANDANT_A", "1001"}) {
      EXPECT_FALSE(Contains(recording.fromServer, value)) << value;
      EXPECT_FALSE(Contains(recording.fromServer, Utf16(value))) << value;
    }
  }
}

// The server compares a login's name and password as characters: every
// Windows-1252 letter the configuration holds must reach it as the one it
// is, the dagger, the euro sign and the low double quotation mark among
// them, whose bytes Latin-1 reads as control characters.
class LettersOfTheLogin : public TransferTest {
 protected:
  LettersOfTheLogin() : TransferTest(Letters()) {
    inst_.WriteConfig("tralvo\x86", "G\x80\x84-42", "TRALVO");
  }
  static StandinOptions Letters() {
    StandinOptions options = DefaultOptions();
    options.user = "tralvo\xE2\x80\xA0";                // tralvo†
    options.password = "G\xE2\x82\xAC\xE2\x80\x9E-42";  // G€„-42
    return options;
  }
};

TEST_F(LettersOfTheLogin, LogInAndTransfer) {
  Booking access;
  access.access = "1";
  const ProcessResult r = Transfer(access.Line());
  EXPECT_EQ(r.exitStatus, 0) << r.output << r.errors;
  EXPECT_EQ(server_.Query("SELECT ZpkAsw FROM KRIVAX.Kvx402Zpk").size(), 1u);
}

}  // namespace
}  // namespace testsupport
