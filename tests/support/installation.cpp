// The laid-out installation for end-to-end runs of the built tool.
#include "installation.h"

#include <stdexcept>

#include "config/config_file_writer.h"

namespace testsupport {

Installation::Installation() {
  MakeDirs(work());
  MakeDirs(dir_ / "Quorvex_php/log");
  MakeDirs(dir_ / "Files");
  MakeDirs(dir_ / "odbc");
  WriteFileBytes(dir_ / "odbc/odbcinst.ini", "");
  WriteFileBytes(dir_ / "odbc/odbc.ini", "");
}

void Installation::WriteConfig(const std::string& login, const std::string& password,
                               const std::string& database, const std::string& dbSystem) const {
  WriteConfig(tralvo::ConfigSettings{login, password, dbSystem, database});
}

void Installation::WriteConfig(const tralvo::ConfigSettings& settings) const {
  const tralvo::ConfigWriteResult result = tralvo::WriteConfigFile(configPath(), settings);
  if (!result.ok())
    throw std::runtime_error("cannot write the configuration: " +
                             tralvo::ConfigWriteMessage(result, configPath()));
}

void Installation::WriteBookings(const std::string& bytes, const std::string& name) const {
  WriteFileBytes(work() + "/" + name, bytes);
}

ProcessResult Installation::Run(const std::vector<std::string>& args,
                                const std::map<std::string, std::string>& env) const {
  return RunBinary(TRALVO_BINARY, args, env);
}

ProcessResult Installation::RunRunner(const std::vector<std::string>& args,
                                      const std::map<std::string, std::string>& env) const {
  return RunBinary(TRALVO_RUN_BINARY, args, env);
}

ProcessResult Installation::RunIni(const std::vector<std::string>& args,
                                   const std::map<std::string, std::string>& env) const {
  return RunBinary(TRALVO_INI_BINARY, args, env);
}

ProcessResult Installation::RunBinary(const char* binary, const std::vector<std::string>& args,
                                      const std::map<std::string, std::string>& env) const {
  std::vector<std::string> argv{binary};
  argv.insert(argv.end(), args.begin(), args.end());
  std::map<std::string, std::string> environment{
      {"ODBCSYSINI", dir_ / "odbc"}, {"ODBCINI", dir_ / "odbc/odbc.ini"}, {"HOME", dir_.path()}};
  for (const auto& [name, value] : env) environment[name] = value;
  return RunProcess(account_ ? AsAccount(*account_, argv) : argv, work(), "", environment, timeout_,
                    stop_);
}

ProcessResult Installation::Transfer(const std::string& terminal, bool debug,
                                     const std::map<std::string, std::string>& env) const {
  std::vector<std::string> args{terminal, "bookings.txt", "zeit.txt", "kst.txt"};
  if (debug) args.push_back("/D");
  return Run(args, env);
}

}  // namespace testsupport
