// The runner's file names and its stamps.
#include "pipeline/run_files.h"

#include <cinttypes>
#include <cstdio>
#include <utility>

#include "export/status_file.h"
#include "shared/file_system.h"

namespace tralvo {

namespace {

constexpr const char* kWorkFolder = "tralvo-work";
constexpr const char* kRejectedFolder = "rejected";

// Days since 1970-01-01 as year, month and day of the Gregorian calendar,
// computed rather than asked of the C library, whose calls for it differ
// between the platforms.
void CivilDate(int64_t days, int64_t& year, int& month, int& day) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t monthIndex = (5 * dayOfYear + 2) / 153;
  day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
  month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
  year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
}

}  // namespace

const char* WorkFileWord(WorkFile file) {
  switch (file) {
    case WorkFile::kTime:
      return "time";
    case WorkFile::kCostCentre:
      return "costcentre";
    case WorkFile::kRefused:
      return "refused";
    case WorkFile::kNotFound:
      return "notfound";
    case WorkFile::kUnknown:
      return "unknown";
    case WorkFile::kMalformed:
      return "malformed";
  }
  return "";
}

bool IsTargetFile(WorkFile file) {
  return file == WorkFile::kTime || file == WorkFile::kCostCentre;
}

std::string StampText(int64_t unixMilliseconds) {
  const int64_t millisecond = ((unixMilliseconds % 1000) + 1000) % 1000;
  const int64_t seconds = (unixMilliseconds - millisecond) / 1000;
  const int64_t secondOfDay = ((seconds % 86400) + 86400) % 86400;
  int64_t year;
  int month;
  int day;
  CivilDate((seconds - secondOfDay) / 86400, year, month, day);
  char text[40];
  std::snprintf(text, sizeof text, "%04" PRId64 "%02d%02dT%02d%02d%02d.%03dZ", year, month, day,
                static_cast<int>(secondOfDay / 3600), static_cast<int>(secondOfDay / 60 % 60),
                static_cast<int>(secondOfDay % 60), static_cast<int>(millisecond));
  return text;
}

RunFiles::RunFiles(std::string_view terminal, std::string outbox)
    : stem_(TerminalFileStem(terminal)), outbox_(std::move(outbox)) {}

std::string RunFiles::ProgressPath() const {
  return "tralvo-run_" + stem_ + ".state";
}

std::string RunFiles::LockPath() const {
  return "tralvo-run_" + stem_ + ".lock";
}

std::string RunFiles::WorkFolder() const {
  return kWorkFolder;
}

std::string RunFiles::RejectedFolder() const {
  return kRejectedFolder;
}

std::string RunFiles::WorkPath(WorkFile file) const {
  return PathInFolder(kWorkFolder, stem_ + "-" + WorkFileWord(file) + ".txt");
}

std::string RunFiles::HandedName(WorkFile file, int64_t stamp) const {
  return stem_ + "-" + StampText(stamp) + "-" + WorkFileWord(file) + ".txt";
}

std::string RunFiles::HandedPath(WorkFile file, int64_t stamp) const {
  return PathInFolder(IsTargetFile(file) ? outbox_ : kRejectedFolder, HandedName(file, stamp));
}

std::string RunFiles::TemporaryPath(WorkFile file, int64_t stamp) const {
  return PathInFolder(IsTargetFile(file) ? outbox_ : kRejectedFolder,
                      "." + HandedName(file, stamp) + ".part");
}

}  // namespace tralvo
