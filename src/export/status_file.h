// The status file a run leaves for the monitoring: what its last run did,
// in the text format that the node exporter's and the Windows exporter's
// textfile collectors read, one file per terminal, replaced whole by
// every run.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace tralvo {

class BookingReport;

// When a run started and ended.
struct RunTimes {
  std::chrono::system_clock::time_point start;
  std::chrono::system_clock::time_point end;
};

// The terminal id as a part of a file name: every byte outside
// [A-Za-z0-9_-] written as %XX, so that two terminals never share a file
// and no terminal id can name another folder. An id whose part would be
// longer than kMaxTerminalStem (a file name has 255 bytes at most, a
// Windows path 260) keeps its beginning and ends in "~" and the 16 hex
// digits of its fingerprint, which keeps it apart from every other.
inline constexpr size_t kMaxTerminalStem = 100;
std::string TerminalFileStem(std::string_view terminal);

// "tralvo_<stem>.prom", the stem as above.
std::string StatusFileName(std::string_view terminal);

// Where the status file of terminal stands in folder.
std::string StatusFilePath(const std::string& folder, std::string_view terminal);

// terminal (Windows-1252) as a label value of the format: UTF-8, with
// backslash, double quote and line feed escaped.
std::string LabelValue(std::string_view terminal);

// The value of the last-success sample of the status file at statusFile:
// when its terminal's last run that ended with status 0 ended, as that
// file has it, or "0" (never) when the file is missing or damaged.
std::string LastSuccess(const std::string& statusFile);

// The whole file for the run that report tells of. A run that ended with
// status 0 is the last success; any other carries lastSuccess over.
std::string FormatStatus(const BookingReport& report, const RunTimes& times, int exitStatus,
                         const std::string& lastSuccess);

// What became of a status file.
struct StatusWrite {
  enum Outcome {
    kWritten,
    kFailed,        // the old status stays
    kNotPlainFile,  // something other than a plain file stands at its name
  } outcome = kWritten;
  // Every account can write the folder, and so put a status of its own in
  // place of the run's.
  bool folderOpen = false;
};

// Replaces the status file of report.terminalId() in folder in one step,
// so a collector reads either the last status or this one: written under
// a temporary name the collectors pass over and no other account can
// foresee, created anew (never through anything at that name), readable
// by every account (the collector's may be another), then renamed. The
// terminal's temporary files that an ended run left, or that are older
// than an hour, are removed first. When it fails the temporary file is
// gone and the old status stays.
StatusWrite WriteStatusFile(const std::string& folder, const BookingReport& report,
                            const RunTimes& times, int exitStatus);

}  // namespace tralvo
