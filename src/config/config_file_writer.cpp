// Building the connection settings' file text and replacing the file with it.
#include "config/config_file_writer.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "config/secret.h"
#include "config/value_cipher.h"

namespace tralvo {
namespace {

void SetError(std::string* error, const std::string& message) {
  if (error) *error = message;
}

bool WriteAll(const std::string& path, const std::string& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const bool closed = std::fclose(file) == 0;
  return written && closed;
}

}  // namespace

bool FormatConfigFile(const ConfigSettings& settings, std::string& bytes,
                      std::string* error) noexcept {
  const struct {
    const char* key;
    const std::string& value;
  } records[] = {{"LOGIN", settings.login},
                 {"PASS", settings.password},
                 {"DB_SYSTEM", settings.dbSystem},
                 {"DATABASE", settings.database}};
  WipeSecret(bytes);
  try {
    int number = 1;
    for (const auto& record : records) {
      if (const char* problem = ConfigValueProblem(record.value)) {
        SetError(error, std::string(record.key) + ": " + problem);
        WipeSecret(bytes);
        return false;
      }
      std::string stored = EncryptConfigValue(record.value);
      bytes += std::string(";") + kWrittenConfigSection + ";\r\n";
      bytes += std::to_string(number++) + ";" + record.key + ";" + stored + "\r\n";
      WipeSecret(stored);
    }
    return true;
  } catch (...) {
    SetError(error, "out of memory");
    WipeSecret(bytes);
    return false;
  }
}

int WriteConfigFile(const std::string& path, const ConfigSettings& settings,
                    std::string* error) noexcept {
  std::string bytes;
  if (!FormatConfigFile(settings, bytes, error)) return -1;
  int result = -1;
  try {
    // A half-written file must never replace a good one.
    const std::string temporary = path + ".new";
    if (!WriteAll(temporary, bytes)) {
      std::remove(temporary.c_str());
      SetError(error, "cannot write " + temporary);
    } else {
      std::error_code failure;
      std::filesystem::rename(temporary, path, failure);
      if (failure) {
        std::remove(temporary.c_str());
        SetError(error, "cannot replace " + path + ": " + failure.message());
      } else {
        result = 0;
      }
    }
  } catch (...) {
    SetError(error, "cannot write " + path);
  }
  WipeSecret(bytes);
  return result;
}

void WipeConfigSettings(ConfigSettings& settings) noexcept {
  WipeSecret(settings.login);
  WipeSecret(settings.password);
  WipeSecret(settings.dbSystem);
  WipeSecret(settings.database);
}

}  // namespace tralvo
