// Formatting and replacing a terminal's status file.
#include "export/status_file.h"

#include <cinttypes>
#include <cstdio>
#include <initializer_list>
#include <utility>
#include <vector>

#include "export/booking_report.h"
#include "shared/file_system.h"
#include "shared/fingerprint.h"
#include "shared/windows_1252.h"

namespace tralvo {

namespace {

// Collectors read "*.prom" only, so the file is invisible to them until
// it is renamed. The process id tells which run a leftover belongs to; a
// random part that nobody can foresee follows it, so no other account can
// take the name first.
constexpr const char* kTemporaryPart = ".tmp.";

// A leftover of a run that may still be running is removed after this.
constexpr std::chrono::hours kTemporaryLifetime(1);

// Names tried for one temporary file.
constexpr int kTemporaryTries = 4;

// Removes the temporary files of the status file at name in folder whose
// run has ended, or that are too old to belong to a running one.
void RemoveLeftovers(const std::string& folder, const std::string& name) {
  const std::string prefix = name + kTemporaryPart;
  std::vector<FolderEntry> entries;
  if (!ListFolder(folder, prefix, entries)) return;
  const auto now = std::chrono::system_clock::now();
  for (const FolderEntry& entry : entries) {
    if (!entry.plainFile) continue;  // nothing a run leaves, and no name a run needs
    uint64_t pid = 0;
    for (size_t at = prefix.size(); at < entry.name.size() && entry.name[at] != '.'; ++at) {
      const char digit = entry.name[at];
      pid = digit >= '0' && digit <= '9' ? pid * 10 + static_cast<uint64_t>(digit - '0') : 0;
    }
    if (now - entry.modified > kTemporaryLifetime || (pid != ProcessId() && !ProcessRuns(pid)))
      RemoveFile(PathInFolder(folder, entry.name));
  }
}

bool PlainNameByte(unsigned char byte) {
  return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
         (byte >= '0' && byte <= '9') || byte == '_' || byte == '-';
}

// One metric: its help and type lines, then a sample for each value, with
// the terminal's label and, where a metric has several, one of its own.
struct Sample {
  const char* label;  // "kind=\"time\"", or nullptr for a metric with one sample
  std::string value;
};

void AppendMetric(std::string& out, const char* name, const char* help, const std::string& terminal,
                  std::initializer_list<Sample> samples) {
  out.append("# HELP ").append(name).append(" ").append(help).append("\n");
  out.append("# TYPE ").append(name).append(" gauge\n");
  for (const Sample& sample : samples) {
    out.append(name).append("{terminal=\"").append(terminal).append("\"");
    if (sample.label) out.append(",").append(sample.label);
    out.append("} ").append(sample.value).append("\n");
  }
}

std::string Seconds(std::chrono::system_clock::time_point when) {
  const int64_t ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
  char text[32];
  std::snprintf(text, sizeof text, "%" PRId64 ".%03" PRId64, ms / 1000, ms % 1000);
  return text;
}

std::string Count(int64_t value) {
  return std::to_string(value);
}

constexpr const char* kLastSuccess = "tralvo_last_success_timestamp_seconds";
// Far more than a status file of any terminal holds.
constexpr size_t kMaxStatusFileBytes = 64 * 1024;

// Whether text is a sample value this file writes: digits, one point and
// three more digits.
bool IsSecondsText(std::string_view text) {
  const size_t point = text.find('.');
  if (point == 0 || point == std::string_view::npos || text.size() - point != 4) return false;
  for (size_t i = 0; i < text.size(); ++i)
    if (i != point && (text[i] < '0' || text[i] > '9')) return false;
  return true;
}

}  // namespace

std::string TerminalFileStem(std::string_view terminal) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string stem;
  // Where the stem can be cut without splitting a %XX.
  size_t cut = 0;
  constexpr size_t kTokenLength = 17;  // "~" and 16 hex digits
  for (char ch : terminal) {
    const auto byte = static_cast<unsigned char>(ch);
    if (PlainNameByte(byte)) {
      stem += ch;
    } else {
      stem += '%';
      stem += kHex[byte >> 4];
      stem += kHex[byte & 0x0F];
    }
    if (stem.size() <= kMaxTerminalStem - kTokenLength) cut = stem.size();
  }
  if (stem.size() <= kMaxTerminalStem) return stem;
  char token[kTokenLength + 1];
  std::snprintf(token, sizeof token, "~%016" PRIX64, FingerprintOf(terminal));
  return stem.substr(0, cut) + token;
}

std::string StatusFileName(std::string_view terminal) {
  return "tralvo_" + TerminalFileStem(terminal) + ".prom";
}

std::string StatusFilePath(const std::string& folder, std::string_view terminal) {
  return PathInFolder(folder, StatusFileName(terminal));
}

std::string LabelValue(std::string_view terminal) {
  const std::string utf8 = Windows1252ToUtf8(terminal);
  std::string escaped;
  for (char ch : utf8) {
    if (ch == '\\') {
      escaped += "\\\\";
    } else if (ch == '"') {
      escaped += "\\\"";
    } else if (ch == '\n') {
      escaped += "\\n";
    } else {
      escaped += ch;
    }
  }
  return escaped;
}

std::string LastSuccess(const std::string& statusFile) {
  std::string bytes;
  if (ReadSmallRegularFile(statusFile, kMaxStatusFileBytes, bytes) != SmallFileRead::kRead)
    return "0";
  // The sample's line: the name, the label, a blank and the value.
  const std::string name = std::string("\n") + kLastSuccess + "{";
  const size_t at = bytes.find(name);
  if (at == std::string::npos) return "0";
  const size_t value = bytes.find("} ", at);
  const size_t end = bytes.find('\n', at + 1);
  if (value == std::string::npos || end == std::string::npos || value > end) return "0";
  const std::string text = bytes.substr(value + 2, end - value - 2);
  return IsSecondsText(text) ? text : "0";
}

std::string FormatStatus(const BookingReport& report, const RunTimes& times, int exitStatus,
                         const std::string& lastSuccess) {
  const std::string terminal = LabelValue(report.terminalId());
  const BookingCounters& c = report.counters();
  const NotTransferredCounters& n = report.notTransferred();
  std::string out;
  AppendMetric(out, "tralvo_last_run_start_timestamp_seconds",
               "When the last run started, in seconds since 1970.", terminal,
               {{nullptr, Seconds(times.start)}});
  AppendMetric(out, "tralvo_last_run_end_timestamp_seconds",
               "When the last run ended, in seconds since 1970.", terminal,
               {{nullptr, Seconds(times.end)}});
  AppendMetric(out, "tralvo_last_run_exit_status",
               "The exit status of the last run; 0 when it was done.", terminal,
               {{nullptr, Count(exitStatus)}});
  AppendMetric(out, kLastSuccess,
               "When the last run that ended with status 0 ended, in seconds since 1970; 0 "
               "for never.",
               terminal, {{nullptr, exitStatus == 0 ? Seconds(times.end) : lastSuccess}});
  AppendMetric(out, "tralvo_last_run_bookings", "Bookings the last run transferred, by kind.",
               terminal,
               {{"kind=\"time\"", Count(c.timeBookings)},
                {"kind=\"access\"", Count(c.accessBookings)},
                {"kind=\"cost_centre\"", Count(c.costCentreBookings)},
                {"kind=\"event\"", Count(c.events)}});
  AppendMetric(out, "tralvo_last_run_not_transferred",
               "Bookings the last run did not transfer, by cause.", terminal,
               {{"cause=\"refused\"", Count(n.refused)},
                {"cause=\"unknown\"", Count(n.unknown)},
                {"cause=\"not_sent\"", Count(n.notSent)},
                {"cause=\"not_found\"", Count(n.notFound)},
                {"cause=\"malformed\"", Count(n.malformed)},
                {"cause=\"not_written\"", Count(n.notWritten)}});
  AppendMetric(out, "tralvo_last_run_log_entries_dropped",
               "Entries of the last run that never reached the transfer log.", terminal,
               {{nullptr, Count(n.logEntriesDropped)}});
  return out;
}

StatusWrite WriteStatusFile(const std::string& folder, const BookingReport& report,
                            const RunTimes& times, int exitStatus) {
  StatusWrite result;
  EveryoneCanWrite(folder, result.folderOpen);
  const std::string name = StatusFileName(report.terminalId());
  const std::string path = PathInFolder(folder, name);
  RemoveLeftovers(folder, name);
  const std::string bytes =
      FormatStatus(report, times, exitStatus, exitStatus == 0 ? "" : LastSuccess(path));
  // Under a name no other account can foresee; should one be taken all
  // the same, another. Only a folder at the status file's own name stops
  // it: no rename replaces that.
  for (int attempt = 0; attempt < kTemporaryTries; ++attempt) {
    const std::string temporary =
        path + kTemporaryPart + std::to_string(ProcessId()) + "." + UnpredictableNamePart();
    if (ReplaceWhole(path, temporary, bytes, Readers::kEveryone)) return result;
    const PathKind kind = KindOf(path);
    if (kind != PathKind::kRegularFile && kind != PathKind::kMissing) {
      result.outcome = StatusWrite::kNotPlainFile;
      return result;
    }
  }
  result.outcome = StatusWrite::kFailed;
  return result;
}

}  // namespace tralvo
