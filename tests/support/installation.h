// An installation laid out in a temporary folder, as the tool expects it:
// the configuration in Files/, the log folder in Quorvex_php/log/, and a
// working directory two levels below the root. Runs the built programs
// there and reads back what they left.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "accounts.h"
#include "config/config_file_writer.h"
#include "test_support.h"

namespace testsupport {

class Installation {
 public:
  Installation();

  const std::string& root() const { return dir_.path(); }
  std::string work() const { return dir_ / "bin/transfer"; }
  std::string logPath() const { return dir_ / "Quorvex_php/log/TralvoLog.txt"; }
  std::string configPath() const { return dir_ / "Files/quorvex.ini"; }

  // Writes the configuration file with the installation's own writer.
  void WriteConfig(const std::string& login, const std::string& password,
                   const std::string& database, const std::string& dbSystem = "MSSQL") const;
  void WriteConfig(const tralvo::ConfigSettings& settings) const;

  // Writes the booking file into the working directory.
  void WriteBookings(const std::string& bytes, const std::string& name = "bookings.txt") const;

  // Runs tralvo in the working directory with the given arguments (the
  // program name is added), with an ODBC setup that knows no data source
  // unless env supplies one.
  ProcessResult Run(const std::vector<std::string>& args,
                    const std::map<std::string, std::string>& env = {}) const;

  // Runs tralvo-run the same way, in the working directory.
  ProcessResult RunRunner(const std::vector<std::string>& args,
                          const std::map<std::string, std::string>& env = {}) const;

  // Runs tralvo-ini the same way, in the working directory.
  ProcessResult RunIni(const std::vector<std::string>& args,
                       const std::map<std::string, std::string>& env = {}) const;

  // A transfer of bookings.txt into zeit.txt and kst.txt for terminal.
  ProcessResult Transfer(const std::string& terminal, bool debug = false,
                         const std::map<std::string, std::string>& env = {}) const;

  // Every later run is killed when it takes longer than this (zero: no
  // limit), so a test of a run that must not hang cannot hang itself.
  void SetRunTimeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }
  // Every later run is sent this signal while it runs.
  void SetRunStop(ProcessStop stop) { stop_ = stop; }
  // Every later run runs as account (see CanTakeOnAccounts), or as the
  // test's own account again with null.
  void SetRunAccount(const Account* account) { account_ = account; }

  std::string Log() const { return ReadFileBytes(logPath()); }
  std::string TimeBookings() const { return ReadFileBytes(work() + "/zeit.txt"); }
  std::string CostCentres() const { return ReadFileBytes(work() + "/kst.txt"); }

 private:
  ProcessResult RunBinary(const char* binary, const std::vector<std::string>& args,
                          const std::map<std::string, std::string>& env) const;

  TempDir dir_;
  std::chrono::milliseconds timeout_{};
  ProcessStop stop_;
  const Account* account_ = nullptr;
};

}  // namespace testsupport
