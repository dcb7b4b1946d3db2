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

// How to run tralvo-ini as the account that owns a file.
std::string AsOwnerHint(const std::string& owner, const std::string& path) {
#ifdef _WIN32
  return "run tralvo-ini write " + path + " as " + owner;
#else
  return "runuser -u " + owner + " -- tralvo-ini write " + path;
#endif
}

// Why a file could not be made, where the system gave no reason of its own.
std::string FileOpenReason(FileOpen why, const SystemError& error) {
  switch (why) {
    case FileOpen::kPlantedLink:
      return "its path leads through a link another account planted";
    case FileOpen::kNotRegular:
      return "not a plain file";
    case FileOpen::kBusy:
      return "held by another program";
    case FileOpen::kMissing:
      return "its folder does not exist";
    case FileOpen::kOpened:
    case FileOpen::kFailed:
      break;
  }
  return error.Text();
}

// Creates the temporary file beside path, private to its owner. Anything
// already at its name (the leftover of an interrupted write, or a link
// planted there) is removed, never followed, and the file created anew.
FileOpen CreateTemporary(const std::string& temporary, NativeFile& file) {
  if (file.CreatePrivate(temporary) == FileOpen::kOpened) return FileOpen::kOpened;
  RemoveFile(temporary);
  return file.CreatePrivate(temporary);
}

// Writes the complete file under the temporary name and puts it in place
// of path with one rename, so a reader sees either the old file or the new
// one, and a power loss cannot leave a half-written file at path. A file
// it replaces keeps its owner and mode: the service that reads it must
// still be able to, and nobody else should be able to start. A link at
// path is replaced by a private file, never followed: its target's owner
// and mode are whoever made the link's choice.
ConfigWriteError WriteInPlace(const std::string& path, const std::string& bytes,
                              ConfigWriteResult& result) {
  EntryOwner owner;
  const bool exists = OwnerOfEntry(path, owner);
  // Replacing another account's file would hand it a file it cannot
  // read, or hand this account's values to a file it chose.
  if (exists && !owner.mine && !owner.privileged) {
    result.owner = owner.name;
    return ConfigWriteError::kOwnedByOther;
  }
  const std::string temporary = path + kTemporarySuffix;
  NativeFile file;
  FileOpen created = CreateTemporary(temporary, file);
  if (created != FileOpen::kOpened) {
    result.reason = FileOpenReason(created, file.error());
    return ConfigWriteError::kCannotCreate;
  }
  ConfigWriteError failure = ConfigWriteError::kNone;
  if (exists && !owner.link && !file.TakePermissionsOf(path))
    failure = ConfigWriteError::kCannotKeepOwner;
  else if (!file.WriteAll(bytes) || !file.Sync())
    failure = ConfigWriteError::kCannotWrite;
  SystemError error = file.error();
  if (!file.Close() && failure == ConfigWriteError::kNone) {
    failure = ConfigWriteError::kCannotWrite;
    error = file.error();
  }
  if (failure == ConfigWriteError::kNone && !ReplaceFile(temporary, path, &error))
    failure = ConfigWriteError::kCannotReplace;
  if (failure != ConfigWriteError::kNone) {
    result.reason = error.Text();
    RemoveFile(temporary);
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
    case ConfigWriteError::kOwnedByOther:
      return path + " belongs to " + result.owner +
             "; it is not replaced by another account. Write it as its owner: " +
             AsOwnerHint(result.owner, path);
    case ConfigWriteError::kCannotCreate:
      return "cannot create " + path + ": " + result.reason;
    case ConfigWriteError::kCannotKeepOwner:
      return "cannot give it the owner and mode of " + path;
    case ConfigWriteError::kCannotWrite:
      return "cannot write " + path + ": " + result.reason;
    case ConfigWriteError::kCannotReplace:
      return "cannot replace " + path + ": " + result.reason;
  }
  return "";
}

std::string SettingProblem(std::string_view key, const std::string& value) {
  if (const ValueProblem problem = ConfigValueProblem(value); problem != ValueProblem::kNone)
    return ValueProblemText(problem);
  if ((key == kLoginTimeoutKey || key == kQueryTimeoutKey) && TimeoutSeconds(value) == 0)
    return "not a number of seconds from 1 to " + std::to_string(kMaxTimeout);
  if (key == "DATABASE" && (value.empty() || value.size() > kMaxUsableDataSourceName))
    return "a data source name has 1 to " + std::to_string(kMaxUsableDataSourceName) +
           " characters; the ODBC driver managers take no longer one";
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
    result.error = WriteInPlace(path, bytes, result);
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
