// Writing a complete configuration file for the connection settings, in the
// form the reader selects by key alone: every header line carries a
// non-empty section and the records are numbered from 1.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "config/installation.h"
#include "config/timeouts.h"
#include "config/value_cipher.h"

namespace tralvo {

// The connection settings in plain text.
struct ConfigSettings {
  std::string login;     // LOGIN
  std::string password;  // PASS
  std::string dbSystem;  // DB_SYSTEM
  std::string database;  // DATABASE
  // Seconds, 1 to kMaxTimeout.
  std::string loginTimeout = std::to_string(kDefaultLoginTimeout);  // LOGIN_TIMEOUT
  std::string queryTimeout = std::to_string(kDefaultQueryTimeout);  // QUERY_TIMEOUT
  // The folder for the runs' status files; empty: none, and no record.
  std::string statusDir = std::string();  // STATUS_DIR
};

// A run would take a data source name of up to 40 characters, but the ODBC
// driver managers of both platforms refuse one of more than 32: a longer
// one can never connect.
inline constexpr std::size_t kMaxUsableDataSourceName = 32;

// The section every written record carries.
inline constexpr const char* kWrittenConfigSection = "DATENBANK";

// Why a configuration file could not be formatted or written.
enum class ConfigWriteError {
  kNone,
  kValueRefused,     // a value cannot be stored (see ConfigValueProblem)
  kNoTimeout,        // a timeout is no number of seconds a run would take
  kOutOfMemory,      // while formatting
  kOwnedByOther,     // the file belongs to another account, not root
  kCannotCreate,     // the temporary file beside the file
  kCannotKeepOwner,  // of the file it would replace
  kCannotWrite,      // the temporary file
  kCannotReplace,    // the file, by the temporary one
};

struct ConfigWriteResult {
  ConfigWriteError error = ConfigWriteError::kNone;
  const char* key = nullptr;                        // the refused record's key
  ValueProblem valueProblem = ValueProblem::kNone;  // why its value was refused
  std::string owner;                                // of a file owned by another
  std::string reason;                               // the system's, for a file failure
  bool ok() const { return error == ConfigWriteError::kNone; }
};

// What tralvo-ini tells of a result for the file at path.
std::string ConfigWriteMessage(const ConfigWriteResult& result, const std::string& path);

// Why value cannot be stored as the setting key, in the words of
// tralvo-ini's messages: a value the file cannot hold, a timeout a run
// would not take, a data source name no driver manager takes. Empty when
// it can be stored.
std::string SettingProblem(std::string_view key, const std::string& value);

// The bytes of the file, CR LF line ends; refuses a value that cannot be
// stored and a timeout a run would not take.
ConfigWriteResult FormatConfigFile(const ConfigSettings& settings, std::string& bytes) noexcept;

// Writes the file at path, replacing an existing one only once the new one
// is complete and on the disk. A new file is readable by its owner alone;
// a replaced one keeps its owner and mode. A file of another account is
// not replaced unless that account is root; a link at path is replaced,
// never followed; nothing is written through a link another account
// planted on the way.
ConfigWriteResult WriteConfigFile(const std::string& path, const ConfigSettings& settings) noexcept;

// Wipes every value.
void WipeConfigSettings(ConfigSettings& settings) noexcept;

}  // namespace tralvo
