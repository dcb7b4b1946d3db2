// Where the runner of one terminal keeps its files, and the names it gives
// what it hands over. Terminals share a working directory, so every name
// carries the terminal's file stem (the status file's encoding); and
// every name a hand-over gives carries the run's stamp, so a collector
// never finds two files of one name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tralvo {

// The files the transfer of a part writes: the two target files, and one
// file per cause for the lines the runner sets aside.
enum class WorkFile { kTime, kCostCentre, kRefused, kNotFound, kUnknown, kMalformed };
inline constexpr int kWorkFileCount = 6;

// The word that names a work file and what is handed over from it.
const char* WorkFileWord(WorkFile file);
// Whether the work file holds records for OUTBOX (the target files)
// rather than lines set aside.
bool IsTargetFile(WorkFile file);

// A moment as the stamp of a run's names: UTC, to the millisecond,
// "YYYYMMDDTHHMMSS.mmmZ", so names sort as their runs came.
std::string StampText(int64_t unixMilliseconds);

class RunFiles {
 public:
  RunFiles(std::string_view terminal, std::string outbox);

  const std::string& outbox() const { return outbox_; }
  const std::string& stem() const { return stem_; }
  // In the working directory: what was handed over, and the lock that
  // keeps two runners of the terminal apart.
  std::string ProgressPath() const;
  std::string LockPath() const;
  // The folder of the work files, and of the lines set aside.
  std::string WorkFolder() const;
  std::string RejectedFolder() const;
  std::string WorkPath(WorkFile file) const;
  // Where a work file's records go when they are handed over: OUTBOX for
  // the target files, the rejected folder for the lines set aside.
  std::string HandedPath(WorkFile file, int64_t stamp) const;
  // The name it is written under first, in the same folder: hidden, and
  // ending in something no collector takes for a record file.
  std::string TemporaryPath(WorkFile file, int64_t stamp) const;

 private:
  std::string HandedName(WorkFile file, int64_t stamp) const;

  std::string stem_;
  std::string outbox_;
};

}  // namespace tralvo
