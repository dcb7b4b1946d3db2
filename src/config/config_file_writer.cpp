// Writing the configuration file: formatted in memory, then put in place
// privately and whole.
#include "config/config_file_writer.h"

#include <cstdio>

#include "config/secret.h"
#include "config/value_cipher.h"
#include "shared/file_system.h"

namespace tralvo {
namespace {

void SetError(std::string* error, const std::string& message) {
  if (error) *error = message;
}

// Creates the temporary file beside path, private to its owner. Anything
// already at its name (the leftover of an interrupted write, or a link
// planted there) is removed, never followed, and the file created anew.
bool CreateTemporary(const std::string& temporary, NativeFile& file) {
  if (file.CreatePrivate(temporary)) return true;
  std::remove(temporary.c_str());
  return file.CreatePrivate(temporary);
}

// Writes the complete file under the temporary name and puts it in place
// of path with one rename, so a reader sees either the old file or the new
// one, and a power loss cannot leave a half-written file at path. A file
// it replaces keeps its owner and mode: the service that reads it must
// still be able to, and nobody else should be able to start.
bool WriteInPlace(const std::string& path, const std::string& bytes, std::string* error) {
  const std::string temporary = path + ".new";
  NativeFile file;
  if (!CreateTemporary(temporary, file)) {
    SetError(error, "cannot create " + temporary);
    return false;
  }
  FileIdentity existing;
  const char* failure = nullptr;
  if (IdentifyPath(path, existing) && !file.TakePermissionsOf(path))
    failure = "cannot give it the owner and mode of ";
  else if (!file.WriteAll(bytes) || !file.Sync())
    failure = "cannot write ";
  if (!file.Close() && !failure) failure = "cannot write ";
  if (!failure && !ReplaceFile(temporary, path)) failure = "cannot replace ";
  if (failure) {
    std::remove(temporary.c_str());
    SetError(error, failure + path);
    return false;
  }
  SyncFolderOf(path);
  return true;
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
    if (WriteInPlace(path, bytes, error)) result = 0;
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
