// A laid-out installation connected to a running stand-in: the ground of
// every end-to-end test of a whole transfer.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "installation.h"
#include "master_data.h"
#include "standin_fixture.h"

namespace testsupport {

// The clock the stand-in reports, so the run header is known to the byte.
inline constexpr const char* kServerClock = "2026-12-07 10:04:32";
inline constexpr const char* kServerTimeText = "07.12.2026 10:04:32";

class TransferTest : public ::testing::Test {
 protected:
  explicit TransferTest(StandinOptions options = DefaultOptions())
      : server_(ServerFolder(), Seeded(options)) {
    inst_.WriteConfig(server_options_user_, server_options_password_, "TRALVO");
  }

  static StandinOptions DefaultOptions() {
    StandinOptions options;
    options.clock = kServerClock;
    return options;
  }

  std::string ServerFolder() const {
    MakeDirs(inst_.root() + "/server");
    return inst_.root() + "/server";
  }

  StandinOptions Seeded(StandinOptions options) {
    if (options.seedSql.empty()) options.seedSql = kMasterData;
    server_options_user_ = options.user;
    server_options_password_ = options.password;
    return options;
  }

  ProcessResult Transfer(const std::string& bookings, bool debug = false,
                         const std::string& terminal = "T1") {
    inst_.WriteBookings(bookings);
    return inst_.Transfer(terminal, debug, server_.OdbcEnvironment("TRALVO"));
  }

  // The statements the last runs sent, without those the driver sends
  // around a connection of its own accord.
  std::vector<std::string> ToolStatements() const;

  static std::string Header() {
    return std::string("\r\n\r\n>>>>>>>>>>>>>>>>>>>>>>>>>>>>>> \xDC") + "bergabe am " +
           kServerTimeText + ":\r\n";
  }
  static std::string Summary(int time, int access, int cost, int events);

  // A booking line of terminal T1 (unless terminal says otherwise).
  struct Booking {
    std::string badge = "4711";
    std::string date = "20090715";
    std::string time = "073005";
    std::string code = "001";
    std::string costCentre = "KST1";
    std::string marker;
    std::string access;
    std::string status;
    std::string zonePrefix;
    std::string kind = "40p";
    std::string terminal = "T1";
    std::string reader = "3";
    std::string Line() const;
  };
  // A "40p" time booking.
  static Booking Time(const std::string& badge, const std::string& code = "001",
                      const std::string& date = "20090715") {
    Booking b;
    b.badge = badge;
    b.code = code;
    b.date = date;
    b.marker = "X";
    return b;
  }

  std::string server_options_user_;
  std::string server_options_password_;
  Installation inst_;
  Standin server_;
};

}  // namespace testsupport
