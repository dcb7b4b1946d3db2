// Checking a configuration file and the connection it describes.
#include "app/config_check.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "config/config_file_writer.h"
#include "config/config_reader.h"
#include "config/ini_command.h"
#include "config/installation.h"
#include "config/secret.h"
#include "config/timeouts.h"
#include "db/database.h"
#include "db/permissions.h"
#include "export/transfer_log.h"
#include "shared/file_system.h"

namespace tralvo {
namespace {

// The keys whose values the connection uses; DB_SYSTEM is looked up by a
// run but never used, so its absence changes nothing.
constexpr const char* kConnectionKeys[] = {"LOGIN", "PASS", "DATABASE"};

// Why the file cannot serve as a configuration file, as the reader found
// it, or an empty text. A run reads each of these as a file without
// settings and would only report a failed connection. error is the
// system's error number of a failed read, where there is one.
std::string FileProblem(SmallFileRead state, const SystemError& error) {
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
  if (error.code == 0) return "the file cannot be read";
  return "the file cannot be read: " + error.Text();
}

// Why the record of key that the reader skips is skipped, or kNone.
RecordProblem SkippedRecord(const std::vector<ConfigRecord>& records, const char* key) {
  for (const ConfigRecord& record : records)
    if (record.problem != RecordProblem::kNone && record.fields.key == key) return record.problem;
  return RecordProblem::kNone;
}

// How bad a finding is.
enum class Verdict { kOk, kWarning, kError };

// Where the findings of the key check go: each verb words them its own way.
using Findings = std::function<void(Verdict, const std::string&)>;

// Reports every connection key the run would find missing or empty, with
// the reader's own lookup; keeps the user name and data source name for
// the messages that follow. False when any key is unusable.
bool CheckKeys(const std::string& path, const std::vector<ConfigRecord>& records,
               const Findings& report, std::string& userName, std::string& dataSourceName) {
  bool usable = true;
  ConfigEntry entry;
  for (const char* key : kConnectionKeys) {
    ReadConfigValue(entry, "", key, 0, path);
    const bool found = entry.number != 0 || !entry.section.empty() || !entry.key.empty();
    const std::string name = std::string("the key ") + key;
    if (!found) {
      const RecordProblem skipped = SkippedRecord(records, key);
      report(Verdict::kError, skipped != RecordProblem::kNone
                                  ? name + " is unusable: " + RecordProblemText(skipped)
                                  : name + " is missing");
      usable = false;
    } else if (entry.value.empty()) {
      report(Verdict::kError, name + " has an empty value");
      usable = false;
    } else {
      if (entry.key != key) {
        report(Verdict::kWarning, std::string(key) + " is taken from the record with number " +
                                      std::to_string(entry.number) + " and key \"" + entry.key +
                                      "\", which every lookup selects (number 0 or empty section)");
      }
      if (std::strcmp(key, "LOGIN") == 0) userName = entry.value;
      if (std::strcmp(key, "DATABASE") == 0) {
        dataSourceName = entry.value;
        if (entry.value.size() > kMaxDataSourceName) {
          report(Verdict::kError, "the value of DATABASE is longer than " +
                                      std::to_string(kMaxDataSourceName) +
                                      " characters, so a run connects without a data source name");
          usable = false;
        } else if (entry.value.size() > kMaxUsableDataSourceName) {
          report(Verdict::kError, "the value of DATABASE is longer than " +
                                      std::to_string(kMaxUsableDataSourceName) +
                                      " characters, which the ODBC driver managers refuse; "
                                      "rename the data source and write the file anew");
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
  SystemError error;
  const SmallFileRead state = ReadConfigRecords(path, records, &error);
  const std::string problem = FileProblem(state, error);
  for (ConfigRecord& record : records) WipeSecret(record.fields.value);
  if (!problem.empty()) {
    std::fprintf(err, "tralvo-ini: %s: %s\n", path.c_str(), problem.c_str());
    return kIniFailed;
  }
  std::string userName;
  std::string dataSourceName;
  const Findings report = [&](Verdict verdict, const std::string& text) {
    std::fprintf(err, "tralvo-ini: %s: %s%s\n", path.c_str(),
                 verdict == Verdict::kWarning ? "warning: " : "", text.c_str());
  };
  if (!CheckKeys(path, records, report, userName, dataSourceName)) return kIniFailed;

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

// The findings of the installation check, one line each, and whether any
// was an error.
class Report {
 public:
  explicit Report(std::FILE* out) : out_(out) {}
  void operator()(Verdict verdict, const std::string& text) {
    const char* label = verdict == Verdict::kOk        ? "ok"
                        : verdict == Verdict::kWarning ? "warning"
                                                       : "error";
    std::fprintf(out_, "%-7s %s\n", label, text.c_str());
    if (verdict == Verdict::kError) failed_ = true;
  }
  bool failed() const { return failed_; }

 private:
  std::FILE* out_;
  bool failed_ = false;
};

// The folder part of a path of either spelling, "." when it has none.
std::string FolderOf(const std::string& path) {
  const size_t separator = path.find_last_of("/\\");
  return separator == std::string::npos ? "." : path.substr(0, separator);
}

// An entry named by its resolved folder: a link there is shown as itself,
// not as what it leads to.
std::string ShownEntry(const std::string& path) {
  const size_t separator = path.find_last_of("/\\");
  if (separator == std::string::npos) return ResolvedPath(".") + "/" + path;
  return ResolvedPath(path.substr(0, separator)) + path.substr(separator);
}

constexpr const char* kGiveAccess =
    "give the account the runs use access (chown/chmod, on Windows icacls)";

// The configuration file at the run's path, as the run reads it. False
// when it gives no usable connection settings.
bool CheckConfigFile(Report& report, const std::string& path, std::string& userName,
                     std::string& dataSourceName) {
  const std::string subject = "configuration file " + ResolvedPath(path);
  std::vector<ConfigRecord> records;
  SystemError error;
  const SmallFileRead state = ReadConfigRecords(path, records, &error);
  for (ConfigRecord& record : records) WipeSecret(record.fields.value);
  if (state == SmallFileRead::kMissing) {
    report(Verdict::kError, subject +
                                ": the file does not exist; write it with \"tralvo-ini write " +
                                path + "\", or start the check where the runs start");
    return false;
  }
  if (state == SmallFileRead::kFailed && error.accessDenied()) {
    report(Verdict::kError, subject +
                                ": this account cannot read it, so every run fails to "
                                "connect; " +
                                kGiveAccess + " to read it");
    return false;
  }
  if (const std::string problem = FileProblem(state, error); !problem.empty()) {
    report(Verdict::kError, subject + ": " + problem);
    return false;
  }
  bool keysFound = CheckKeys(
      path, records,
      [&](Verdict verdict, const std::string& text) { report(verdict, subject + ": " + text); },
      userName, dataSourceName);
  bool readable = false;
  if (ReadableByOthers(path, readable) && readable) {
    report(Verdict::kWarning, subject +
                                  ": other accounts can read it and decode the password; make it "
                                  "readable by the account the runs use alone");
  }
  if (keysFound) report(Verdict::kOk, subject + ": LOGIN, PASS and DATABASE are set");
  return keysFound;
}

// The log folder, the log and its backup: a run must be able to append to
// the log, create it and rotate it, or its entries are lost unseen.
void CheckLog(Report& report) {
  const std::string log = NativePath(kTransferLogPath);
  const std::string folder = FolderOf(log);
  const std::string shownFolder = "log folder " + ResolvedPath(folder);
  const PathKind kind = KindOf(folder);
  if (kind == PathKind::kMissing) {
    report(Verdict::kError, shownFolder +
                                ": it does not exist, so every run's log entries are lost; create "
                                "it, writable by the account the runs use");
    return;
  }
  if (kind != PathKind::kFolder) {
    report(Verdict::kError, shownFolder + ": not a folder; remove it and create the folder");
    return;
  }
  bool sound = true;
  if (!AccountMay(folder, FileAccess::kWrite)) {
    report(Verdict::kError, shownFolder +
                                ": this account cannot create files in it, so the log can be "
                                "neither created nor rotated; " +
                                kGiveAccess + " to write in it");
    sound = false;
  }
  bool othersWrite = false;
  OthersCanWrite(folder, othersWrite);
  for (const std::string& file : {log, LogBackupPath(log)}) {
    const std::string shown = (file == log ? "log " : "log backup ") + ShownEntry(file);
    const PathKind fileKind = KindOf(file);
    EntryOwner owner;
    if (othersWrite && OwnerOfEntry(file, owner) && owner.link && !owner.mine &&
        !owner.privileged) {
      report(Verdict::kError, shown + ": a link that the account " + owner.name +
                                  " planted; the runs refuse it, so their log entries are lost; "
                                  "remove it");
      sound = false;
    } else if (fileKind == PathKind::kMissing) {
      continue;
    } else if (fileKind != PathKind::kRegularFile) {
      report(Verdict::kError,
             shown + ": not a regular file, so no entry reaches the log; remove it");
      sound = false;
    } else if (file == log && !AccountMay(file, FileAccess::kWrite)) {
      report(Verdict::kError, shown +
                                  ": this account cannot append to it, so every run's log "
                                  "entries are lost; give it to the account the runs use, or "
                                  "remove it");
      sound = false;
    }
  }
  if (sound) report(Verdict::kOk, shownFolder + ": the runs can write, create and rotate the log");
}

// Whether the installation's folders stand two levels above the working
// directory, where a run looks for them; if not, where they seem to be.
void CheckWorkingDirectory(Report& report) {
  const std::string subject = "working directory " + ResolvedPath(".");
  const std::string config = NativePath(kConfigFilePath);
  const std::string root = FolderOf(FolderOf(config));
  if (KindOf(FolderOf(config)) == PathKind::kFolder ||
      KindOf(FolderOf(FolderOf(NativePath(kTransferLogPath)))) == PathKind::kFolder) {
    report(Verdict::kOk, subject + ": two levels below the installation " + ResolvedPath(root));
    return;
  }
  // A working directory one level off, or a scheduler entry without "cd".
  for (const char* up : {"", "..\\", "..\\..\\..\\", "..\\..\\..\\..\\"}) {
    const std::string candidate = NativePath(std::string(up) + "Files\\quorvex.ini");
    if (KindOf(candidate) != PathKind::kRegularFile) continue;
    report(Verdict::kError,
           subject + ": the runs find no installation two levels up, but " +
               ResolvedPath(candidate) +
               " is there; start the runs (and this check) in a folder two levels below " +
               ResolvedPath(FolderOf(FolderOf(candidate))) +
               " (cd there first in the scheduler's entry, or set the task's start folder)");
    return;
  }
  report(Verdict::kError,
         subject + ": no installation two levels up (" + ResolvedPath(root) +
             " holds neither Files nor Quorvex_php); start the runs two levels below the "
             "installation's folder (cd there first in the scheduler's entry)");
}

// SQL Server's native error for a login it refused: the name or the
// password is wrong, or the login is disabled.
constexpr int32_t kLoginFailed = 18456;

// What a failed login most likely means, beside what the driver said.
// took is how long the attempt lasted: a connection refused at once
// (nothing listens, or a firewall says no) fails long before the login
// timeout, whereas a server that never answers takes all of it.
std::string ConnectHint(const DiagnosticsRecord& diagnostics, std::chrono::milliseconds took,
                        uint32_t loginTimeout) {
  const std::string state = diagnostics.sqlState;
  if (state == "IM002")
    return "the data source is not defined for this account; define it (odbc.ini, or the ODBC "
           "administrator of the tool's bitness) or correct DATABASE";
  if (state == "28000" || diagnostics.nativeError == kLoginFailed)
    return "the server refused the login: LOGIN or PASS is wrong (or the login is disabled); "
           "write them anew with \"tralvo-ini write\"";
  if (state == "08001" || state == "08S01" || state == "HYT00" || state == "HYT01") {
    if (took < std::chrono::seconds(loginTimeout) / 2)
      return "the connection was refused at once: nothing listens at the server and port of the "
             "data source, or a firewall says no; check them and that the server runs";
    return "the server did not answer within " + std::to_string(loginTimeout) +
           " s (LOGIN_TIMEOUT); check the server and port of the data source, that the server "
           "runs and that the network lets the connection through";
  }
  return "correct the data source or the server";
}

// The login timeout a run takes from the configuration file.
uint32_t LoginTimeout(const std::string& configPath) {
  ConfigEntry entry;
  ReadConfigValue(entry, "", kLoginTimeoutKey, 0, configPath);
  const uint32_t seconds = TimeoutSeconds(entry.value);
  return seconds != 0 ? seconds : kDefaultLoginTimeout;
}

void CheckRights(Report& report, Database& db, const std::string& userName) {
  for (const TableRight& wanted : kRunTableRights) {
    const std::string subject = std::string(wanted.right) + " on " + wanted.table;
    switch (QueryPermission(db, wanted)) {
      case Permission::kGranted:
        report(Verdict::kOk, subject);
        break;
      case Permission::kDenied:
        report(Verdict::kError, subject + ": denied to the login \"" + userName +
                                    "\", so every run fails there; grant it (GRANT " +
                                    wanted.right + " ON " + wanted.table + " TO its user)");
        break;
      case Permission::kNoSuchTable:
        report(Verdict::kError, subject + ": the login \"" + userName +
                                    "\" sees no such table; check the database and the "
                                    "login's default schema");
        break;
      case Permission::kNotAsked:
        report(Verdict::kWarning, subject + ": cannot be asked: " + DriverSaid(db.diagnostics()));
        break;
    }
  }
}

// The login a run makes, with its timeouts, and what it needs once in.
void CheckDatabase(Report& report, const std::string& configPath, const std::string& userName,
                   const std::string& dataSourceName) {
  const std::string subject =
      "login \"" + userName + "\" to data source \"" + dataSourceName + "\"";
  Database db;
  const auto start = std::chrono::steady_clock::now();
  if (ConnectWithConfigFile(db, configPath) != 0) {
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    report(Verdict::kError, subject + ": " + DriverSaid(db.diagnostics()) + "; " +
                                ConnectHint(db.diagnostics(), took, LoginTimeout(configPath)));
    return;
  }
  report(Verdict::kOk, subject);
  std::string serverTime;
  const int result = QueryServerTime(db, serverTime);
  if (result != 0) {
    const std::string why = result == -1 ? DriverSaid(db.diagnostics())
                                         : "no answer (fetch code " + std::to_string(result) + ")";
    report(Verdict::kError, "server time: the query failed, so every run header lacks it: " + why);
  } else {
    report(Verdict::kOk, "server time " + serverTime);
  }
  CheckRights(report, db, userName);
}

// The folder a run leaves its status file in, when one is set.
void CheckStatusFolder(Report& report, const std::string& configPath) {
  const std::string folder = ReadStatusFolder(configPath);
  if (folder.empty()) return;
  const std::string subject = "status folder " + ResolvedPath(folder);
  if (KindOf(folder) != PathKind::kFolder) {
    report(Verdict::kError, subject +
                                ": no such folder, so the monitoring sees no run; create it "
                                "or correct STATUS_DIR");
  } else if (!AccountMay(folder, FileAccess::kWrite)) {
    report(Verdict::kError, subject +
                                ": this account cannot create files in it, so the "
                                "monitoring sees no run; " +
                                kGiveAccess + " to write in it");
  } else {
    report(Verdict::kOk, subject);
  }
}

// path and every folder above it, up to its root.
void AddFoldersOnTheWay(std::string path, std::vector<std::string>& folders) {
  for (;;) {
    if (std::find(folders.begin(), folders.end(), path) == folders.end()) folders.push_back(path);
    const size_t separator = path.find_last_of("/\\");
    if (separator == std::string::npos) return;
    std::string parent = path.substr(0, separator);
    // The root keeps its separator: "/" or "C:\".
    if (parent.empty() || parent.back() == ':') parent += path[separator];
    if (parent == path) return;
    path = parent;
  }
}

// A run as root or an administrator that works through a folder another
// account can write may be led by a link planted there; it refuses such a
// link, so the files there are then lost to it.
void CheckFoldersOthersWrite(Report& report, const std::string& configPath) {
  if (!RunsAsAdministrator()) return;
  std::vector<std::string> folders;
  AddFoldersOnTheWay(ResolvedPath("."), folders);
  AddFoldersOnTheWay(ResolvedPath(FolderOf(configPath)), folders);
  AddFoldersOnTheWay(ResolvedPath(FolderOf(NativePath(kTransferLogPath))), folders);
  if (const std::string status = ReadStatusFolder(configPath); !status.empty())
    AddFoldersOnTheWay(ResolvedPath(status), folders);
  for (const std::string& folder : folders) {
    bool writable = false;
    if (OthersCanWrite(folder, writable) && writable) {
      report(Verdict::kWarning,
             "folder " + folder +
                 ": other accounts can create or replace entries in it, and runs as root or an "
                 "administrator work through it; let only the runs' account and the "
                 "administrators write it");
    }
  }
}

int CheckAll(std::FILE* out) {
  Report report(out);
  const std::string configPath = NativePath(kConfigFilePath);
  std::string userName;
  std::string dataSourceName;
  const bool settings = CheckConfigFile(report, configPath, userName, dataSourceName);
  CheckLog(report);
  CheckWorkingDirectory(report);
  if (settings) {
    CheckStatusFolder(report, configPath);
    CheckDatabase(report, configPath, userName, dataSourceName);
  }
  CheckFoldersOthersWrite(report, configPath);
  return report.failed() ? kIniFailed : kIniOk;
}

// A check answers for itself: nothing thrown inside one leaves it.
template <typename Checker>
int Guarded(std::FILE* err, Checker checker) noexcept {
  try {
    return checker();
  } catch (...) {
    std::fputs("tralvo-ini: out of memory\n", err);
    return kIniFailed;
  }
}

}  // namespace

int CheckConfiguration(const char* path, std::FILE* out, std::FILE* err) noexcept {
  return Guarded(err, [&] { return Check(path, out, err); });
}

int CheckInstallation(std::FILE* out, std::FILE* err) noexcept {
  return Guarded(err, [&] { return CheckAll(out); });
}

}  // namespace tralvo
