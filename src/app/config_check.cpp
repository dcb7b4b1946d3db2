// Checking a configuration file and the connection it describes.
#include "app/config_check.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "config/config_reader.h"
#include "config/ini_command.h"
#include "config/secret.h"
#include "db/database.h"

namespace tralvo {
namespace {

// The keys whose values the connection uses; DB_SYSTEM is looked up by a
// run but never used, so its absence changes nothing.
constexpr const char* kConnectionKeys[] = {"LOGIN", "PASS", "DATABASE"};

// Why the file cannot serve as a configuration file, as the reader found
// it, or an empty text. A run reads each of these as a file without
// settings and would only report a failed connection. error is the
// system's error number of a failed read, where there is one.
std::string FileProblem(SmallFileRead state, int error) {
  switch (state) {
    case SmallFileRead::kRead:
      return "";
    case SmallFileRead::kMissing:
      return "the file does not exist";
    case SmallFileRead::kNotRegular:
      return "the path is not a regular file";
    case SmallFileRead::kTooLarge:
      return "the file is larger than " + std::to_string(kMaxConfigFileBytes) +
             " bytes, so a run reads no settings from it";
    case SmallFileRead::kFailed:
      break;
  }
  if (error == 0) return "the file cannot be read";
  return std::string("the file cannot be read: ") + std::strerror(error);
}

// Why the record of key that the reader skips is skipped, or kNone.
RecordProblem SkippedRecord(const std::vector<ConfigRecord>& records, const char* key) {
  for (const ConfigRecord& record : records)
    if (record.problem != RecordProblem::kNone && record.fields.key == key) return record.problem;
  return RecordProblem::kNone;
}

// Reports every connection key the run would find missing or empty, with
// the reader's own lookup; keeps the user name and data source name for
// the messages that follow. False when any key is unusable.
bool CheckKeys(const std::string& path, const std::vector<ConfigRecord>& records, std::FILE* err,
               std::string& userName, std::string& dataSourceName) {
  bool usable = true;
  ConfigEntry entry;
  for (const char* key : kConnectionKeys) {
    ReadConfigValue(entry, "", key, 0, path);
    const bool found = entry.number != 0 || !entry.section.empty() || !entry.key.empty();
    if (!found) {
      const RecordProblem skipped = SkippedRecord(records, key);
      if (skipped != RecordProblem::kNone) {
        std::fprintf(err, "tralvo-ini: %s: the key %s is unusable: %s\n", path.c_str(), key,
                     RecordProblemText(skipped));
      } else {
        std::fprintf(err, "tralvo-ini: %s: the key %s is missing\n", path.c_str(), key);
      }
      usable = false;
    } else if (entry.value.empty()) {
      std::fprintf(err, "tralvo-ini: %s: the key %s has an empty value\n", path.c_str(), key);
      usable = false;
    } else {
      if (entry.key != key) {
        std::fprintf(err,
                     "tralvo-ini: %s: warning: %s is taken from the record with number %ld and "
                     "key \"%s\", which every lookup selects (number 0 or empty section)\n",
                     path.c_str(), key, static_cast<long>(entry.number), entry.key.c_str());
      }
      if (std::strcmp(key, "LOGIN") == 0) userName = entry.value;
      if (std::strcmp(key, "DATABASE") == 0) {
        dataSourceName = entry.value;
        if (entry.value.size() > kMaxDataSourceName) {
          std::fprintf(err,
                       "tralvo-ini: %s: the value of DATABASE is longer than %zu characters, "
                       "so a run connects without a data source name\n",
                       path.c_str(), kMaxDataSourceName);
          usable = false;
        }
      }
    }
    WipeSecret(entry.value);
  }
  return usable;
}

std::string DriverSaid(const DiagnosticsRecord& diagnostics) {
  if (diagnostics.sqlState[0] == '\0') return "the driver reported no diagnostics";
  return std::string("SQLSTATE ") + diagnostics.sqlState + ", native error " +
         std::to_string(diagnostics.nativeError) + ": " + diagnostics.messageText;
}

int Check(const std::string& path, std::FILE* out, std::FILE* err) {
  // The file is read as a run reads it, so the check refuses exactly what
  // a run would find no settings in.
  std::vector<ConfigRecord> records;
  errno = 0;
  const SmallFileRead state = ReadConfigRecords(path, records);
  const std::string problem = FileProblem(state, errno);
  for (ConfigRecord& record : records) WipeSecret(record.fields.value);
  if (!problem.empty()) {
    std::fprintf(err, "tralvo-ini: %s: %s\n", path.c_str(), problem.c_str());
    return kIniFailed;
  }
  std::string userName;
  std::string dataSourceName;
  if (!CheckKeys(path, records, err, userName, dataSourceName)) return kIniFailed;

  Database db;
  if (ConnectWithConfigFile(db, path) != 0) {
    std::fprintf(err, "tralvo-ini: cannot connect to data source \"%s\" as user \"%s\": %s\n",
                 dataSourceName.c_str(), userName.c_str(), DriverSaid(db.diagnostics()).c_str());
    return kIniFailed;
  }
  std::string serverTime;
  const int result = QueryServerTime(db, serverTime);
  if (result != 0) {
    const std::string why = result == -1 ? DriverSaid(db.diagnostics())
                                         : "no answer (fetch code " + std::to_string(result) + ")";
    std::fprintf(err, "tralvo-ini: connected, but the server time query failed: %s\n", why.c_str());
    return kIniFailed;
  }
  std::fprintf(out, "connected to data source \"%s\" as user \"%s\"\nserver time %s\nok\n",
               dataSourceName.c_str(), userName.c_str(), serverTime.c_str());
  return kIniOk;
}

}  // namespace

int CheckConfiguration(const char* path, std::FILE* out, std::FILE* err) noexcept {
  try {
    return Check(path, out, err);
  } catch (...) {
    std::fputs("tralvo-ini: out of memory\n", err);
    return kIniFailed;
  }
}

}  // namespace tralvo
