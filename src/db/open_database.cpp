// Connecting with the settings of a configuration file.
#include <cstdio>

#include "config/config_reader.h"
#include "config/installation.h"
#include "config/secret.h"
#include "config/timeouts.h"
#include "db/database.h"

namespace tralvo {

int ConnectWithConfigFile(Database& db, const std::string& configPath, SmallFileRead* fileState) {
  ConfigEntry entry;
  std::string userName;
  std::string dataSourceName;
  std::string password;
  // Room for any value up front, so the password is never moved to a
  // larger buffer that would leave a copy behind.
  password.reserve(kConfigFieldChars + 1);

  ReadConfigValue(entry, "", "LOGIN", 0, configPath, fileState);
  userName = entry.value;
  ReadConfigValue(entry, "", "PASS", 0, configPath);
  password = entry.value;
  ReadConfigValue(entry, "", "DB_SYSTEM", 0, configPath);  // looked up, never used
  ReadConfigValue(entry, "", "DATABASE", 0, configPath);
  // A data source name outside 1 to 40 characters is not used; the connect
  // then fails on the empty name.
  if (!entry.value.empty() && entry.value.size() <= kMaxDataSourceName)
    dataSourceName = entry.value;
  Timeouts timeouts;
  ReadConfigValue(entry, "", kLoginTimeoutKey, 0, configPath);
  if (uint32_t seconds = TimeoutSeconds(entry.value)) timeouts.login = seconds;
  ReadConfigValue(entry, "", kQueryTimeoutKey, 0, configPath);
  if (uint32_t seconds = TimeoutSeconds(entry.value)) timeouts.query = seconds;
  WipeSecret(entry.value);

  const int result = ConnectDataSource(db, userName, password, dataSourceName, timeouts);
  WipeSecret(password);
  return result;
}

int OpenDatabase(Database& db, std::FILE* console, bool debug) {
  const std::string configPath = NativePath(kConfigFilePath);
  if (debug) db.ReportFailuresTo(console);
  SmallFileRead fileState;
  const int result = ConnectWithConfigFile(db, configPath, &fileState);
  if (const char* problem = ConfigFileProblem(fileState); problem && debug)
    std::fprintf(console, "%s: %s\n", problem, configPath.c_str());
  if (result != 0) {
    std::fprintf(console, "Datenbankverbindung fehlgeschlagen, Fehler: %d\n", result);
    db.ReportFailure();
  }
  return result;
}

}  // namespace tralvo
