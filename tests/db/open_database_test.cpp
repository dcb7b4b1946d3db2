// Connecting with the installation's settings when the connection cannot
// be made: the console message with and without the debug flag.
#include <gtest/gtest.h>

#include <string>

#include "console_capture.h"
#include "db/database.h"
#include "working_directory.h"

namespace tralvo {
namespace {

// The console text of one OpenDatabase call and its result.
struct Attempt {
  int result;
  std::string console;
};

Attempt Open(Database& db, int debugFlag) {
  testsupport::ConsoleCapture console;
  int result = OpenDatabase(db, console.stream(), debugFlag != 0);
  return Attempt{result, console.text()};
}

TEST(OpenDatabase, MissingConfigurationFailsWithTheFixedMessage) {
  InstalledWorkingDirectory layout;
  Database db;
  Attempt attempt = Open(db, 0);
  EXPECT_EQ(attempt.result, -1);
  EXPECT_EQ(attempt.console, "Datenbankverbindung fehlgeschlagen, Fehler: -1\n");
  EXPECT_FALSE(db.connected());
}

TEST(OpenDatabase, DebugFlagAddsTheDriversDiagnosticsButNeverThePassword) {
  InstalledWorkingDirectory layout;
  layout.installation().WriteConfig("tralvo", "Kennwort-7f3", "tralvo-no-such-source");
  Database db;
  Attempt attempt = Open(db, 1);
  EXPECT_EQ(attempt.result, -1);
  const std::string first = "Datenbankverbindung fehlgeschlagen, Fehler: -1\n";
  ASSERT_EQ(attempt.console.substr(0, first.size()), first);
  const std::string second = "SQLSTATE: IM002, nativer Fehler: 0, Meldung: ";
  EXPECT_EQ(attempt.console.substr(first.size(), second.size()), second);
  EXPECT_NE(attempt.console.find("Data source name not found"), std::string::npos);
  EXPECT_EQ(attempt.console.back(), '\n');
  EXPECT_EQ(attempt.console.find("Kennwort"), std::string::npos);
}

TEST(OpenDatabase, DataSourceNameIsUsedOnlyUpToFortyCharacters) {
  // The driver manager refuses names over 32 characters as too long, but
  // calls an empty name unknown: which of the two it says shows which name
  // the connect was given.
  InstalledWorkingDirectory layout;
  Database db;
  layout.installation().WriteConfig("tralvo", "pw", std::string(40, 'D'));
  EXPECT_EQ(Open(db, 0).result, -1);
  EXPECT_EQ(std::string(db.diagnostics().sqlState), "HY090");
  layout.installation().WriteConfig("tralvo", "pw", std::string(41, 'D'));
  EXPECT_EQ(Open(db, 0).result, -1);
  EXPECT_EQ(std::string(db.diagnostics().sqlState), "IM002");
}

}  // namespace
}  // namespace tralvo
