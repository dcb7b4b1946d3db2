// Writing a complete configuration file for the connection settings, in the
// form the reader selects by key alone: every header line carries a
// non-empty section and the records are numbered 1 to 6.
#pragma once

#include <string>

#include "config/timeouts.h"

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
};

// The section every written record carries.
inline constexpr const char* kWrittenConfigSection = "DATENBANK";

// The bytes of the file, CR LF line ends. False, with a message in *error
// when given, if a value cannot be stored (see ConfigValueProblem) or a
// timeout is no number of seconds a run would take.
bool FormatConfigFile(const ConfigSettings& settings, std::string& bytes,
                      std::string* error = nullptr) noexcept;

// Writes the file at path, replacing an existing one only once the new one
// is complete and on the disk. A new file is readable by its owner alone;
// a replaced one keeps its owner and mode. 0 on success; -1 when a value cannot be stored or the
// file cannot be written, with a message in *error when given.
int WriteConfigFile(const std::string& path, const ConfigSettings& settings,
                    std::string* error = nullptr) noexcept;

// Wipes every value.
void WipeConfigSettings(ConfigSettings& settings) noexcept;

}  // namespace tralvo
