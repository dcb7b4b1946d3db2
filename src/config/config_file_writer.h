// Writing a complete configuration file for the connection settings, in the
// form the reader selects by key alone: every header line carries a
// non-empty section and the records are numbered 1 to 4.
#pragma once

#include <string>

namespace tralvo {

// The four connection settings in plain text.
struct ConfigSettings {
  std::string login;     // LOGIN
  std::string password;  // PASS
  std::string dbSystem;  // DB_SYSTEM
  std::string database;  // DATABASE
};

// The section every written record carries.
inline constexpr const char* kWrittenConfigSection = "DATENBANK";

// The bytes of the file, CR LF line ends. False, with a message in *error
// when given, if a value cannot be stored (see ConfigValueProblem).
bool FormatConfigFile(const ConfigSettings& settings, std::string& bytes,
                      std::string* error = nullptr) noexcept;

// Writes the file at path, replacing an existing one only once the new one
// is complete and on the disk. A new file is readable by its owner alone;
// a replaced one keeps its owner and mode. 0 on success; -1 when a value cannot be stored or the
// file cannot be written, with a message in *error when given.
int WriteConfigFile(const std::string& path, const ConfigSettings& settings,
                    std::string* error = nullptr) noexcept;

// Wipes all four values.
void WipeConfigSettings(ConfigSettings& settings) noexcept;

}  // namespace tralvo
