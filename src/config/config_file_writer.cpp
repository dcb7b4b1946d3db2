// Writing the configuration file: formatted in memory, then put in place
// privately and whole.
#include "config/config_file_writer.h"

#include <cstdio>

#include "config/secret.h"
#include "config/value_cipher.h"
#include "shared/file_system.h"

namespace tralvo {
namespace {

// The new file's name beside the file while it is written.
constexpr const char* kTemporarySuffix = ".new";

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
ConfigWriteError WriteInPlace(const std::string& path, const std::string& bytes) {
  const std::string temporary = path + kTemporarySuffix;
  NativeFile file;
  if (!CreateTemporary(temporary, file)) return ConfigWriteError::kCannotCreate;
  FileIdentity existing;
  ConfigWriteError failure = ConfigWriteError::kNone;
  if (IdentifyPath(path, existing) && !file.TakePermissionsOf(path))
    failure = ConfigWriteError::kCannotKeepOwner;
  else if (!file.WriteAll(bytes) || !file.Sync())
    failure = ConfigWriteError::kCannotWrite;
  if (!file.Close() && failure == ConfigWriteError::kNone) failure = ConfigWriteError::kCannotWrite;
  if (failure == ConfigWriteError::kNone && !ReplaceFile(temporary, path))
    failure = ConfigWriteError::kCannotReplace;
  if (failure != ConfigWriteError::kNone) {
    std::remove(temporary.c_str());
    return failure;
  }
  SyncFolderOf(path);
  return ConfigWriteError::kNone;
}

}  // namespace

std::string ConfigWriteMessage(const ConfigWriteResult& result, const std::string& path) {
  const std::string key = result.key ? result.key : "";
  switch (result.error) {
    case ConfigWriteError::kNone:
      break;
    case ConfigWriteError::kValueRefused:
      return key + ": " + ValueProblemText(result.valueProblem);
    case ConfigWriteError::kNoTimeout:
      return key + ": not a number of seconds from 1 to " + std::to_string(kMaxTimeout);
    case ConfigWriteError::kOutOfMemory:
      return "out of memory";
    case ConfigWriteError::kCannotCreate:
      return "cannot create " + path + kTemporarySuffix;
    case ConfigWriteError::kCannotKeepOwner:
      return "cannot give it the owner and mode of " + path;
    case ConfigWriteError::kCannotWrite:
      return "cannot write " + path;
    case ConfigWriteError::kCannotReplace:
      return "cannot replace " + path;
  }
  return "";
}

ConfigWriteResult FormatConfigFile(const ConfigSettings& settings, std::string& bytes) noexcept {
  const struct {
    const char* key;
    const std::string& value;
    bool seconds;
    bool optional;  // an empty value is no record at all
  } records[] = {{"LOGIN", settings.login, false, false},
                 {"PASS", settings.password, false, false},
                 {"DB_SYSTEM", settings.dbSystem, false, false},
                 {"DATABASE", settings.database, false, false},
                 {kLoginTimeoutKey, settings.loginTimeout, true, false},
                 {kQueryTimeoutKey, settings.queryTimeout, true, false},
                 {kStatusDirKey, settings.statusDir, false, true}};
  WipeSecret(bytes);
  ConfigWriteResult result;
  try {
    int number = 1;
    for (const auto& record : records) {
      if (record.optional && record.value.empty()) continue;
      result.valueProblem = ConfigValueProblem(record.value);
      if (result.valueProblem != ValueProblem::kNone)
        result.error = ConfigWriteError::kValueRefused;
      else if (record.seconds && TimeoutSeconds(record.value) == 0)
        result.error = ConfigWriteError::kNoTimeout;  // a run would take the default, unsaid
      if (!result.ok()) {
        result.key = record.key;
        WipeSecret(bytes);
        return result;
      }
      std::string stored = EncryptConfigValue(record.value);
      bytes += std::string(";") + kWrittenConfigSection + ";\r\n";
      bytes += std::to_string(number++) + ";" + record.key + ";" + stored + "\r\n";
      WipeSecret(stored);
    }
  } catch (...) {
    result.error = ConfigWriteError::kOutOfMemory;
    WipeSecret(bytes);
  }
  return result;
}

ConfigWriteResult WriteConfigFile(const std::string& path,
                                  const ConfigSettings& settings) noexcept {
  std::string bytes;
  ConfigWriteResult result = FormatConfigFile(settings, bytes);
  if (!result.ok()) return result;
  try {
    result.error = WriteInPlace(path, bytes);
  } catch (...) {
    result.error = ConfigWriteError::kCannotWrite;
  }
  WipeSecret(bytes);
  return result;
}

void WipeConfigSettings(ConfigSettings& settings) noexcept {
  WipeSecret(settings.login);
  WipeSecret(settings.password);
  WipeSecret(settings.dbSystem);
  WipeSecret(settings.database);
  WipeSecret(settings.loginTimeout);
  WipeSecret(settings.queryTimeout);
  WipeSecret(settings.statusDir);
}

}  // namespace tralvo
