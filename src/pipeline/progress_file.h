// What the runner of one terminal has done with its booking file, kept in
// the working directory from one run to the next: how far the file was
// fed, a fingerprint of those bytes, how much of each work file belongs
// to them, and how far a hand-over got.
//
// The file is written in place at every step, cheaply (no sync): a step
// is one write of a fixed-size slot, and the two slots take turns, so a
// write cut short (a power loss) leaves the step before it whole. Each
// slot carries its own check. The file is plain text an operator can read.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "pipeline/run_files.h"
#include "shared/file_system.h"

namespace tralvo {

// How far the hand-over of one work file got.
enum class HandOverStep {
  kPending,  // not begun, or begun and lost
  kReady,    // written whole under its temporary name
  kDone,     // under its own name
};

struct Progress {
  uint64_t sequence = 0;
  // The bytes [0, fed) of the booking file were fed, and this is their
  // fingerprint.
  int64_t fed = 0;
  uint64_t fedFingerprint = 0;
  // Bytes of whole records each work file holds for what was fed since
  // the last hand-over.
  int64_t lengths[kWorkFileCount] = {};
  // A run was feeding when this was written: when a run finds it set, the
  // run before died with a booking in hand.
  bool running = false;
  // The work files are being handed over under stamp.
  bool handingOver = false;
  int64_t stamp = 0;  // milliseconds since 1970 (the last stamp used)
  HandOverStep steps[kWorkFileCount] = {};

  // Whether any work file holds records.
  bool HoldsRecords() const;
};

// The progress of a terminal that has never been fed.
Progress NewProgress();

enum class ProgressLoad {
  kLoaded,
  kMissing,        // the terminal has never been fed here
  kDamaged,        // not a progress file, or neither slot is whole
  kOtherTerminal,  // a progress file of another terminal
  kFailed,         // it cannot be read or opened for writing (error says why)
};

class ProgressFile {
 public:
  // Reads the progress of terminal at path and keeps the file open for
  // Save.
  ProgressLoad Load(const std::string& path, std::string_view terminal, Progress& progress);
  // Writes a new progress file at path in one step (a temporary file
  // renamed over it) and keeps it open for Save.
  bool Create(const std::string& path, std::string_view terminal, const Progress& progress);
  // Writes progress as the next step. With sync it is on stable storage
  // before Save returns (a hand-over's steps); without, a kill cannot
  // lose it but a power loss can.
  bool Save(Progress& progress, bool sync);
  // Why the last call that failed failed.
  const SystemError& error() const { return error_; }

 private:
  NativeFile file_;
  SystemError error_;
  int64_t slotsAt_ = 0;  // where the first slot begins
};

// One slot's text, its check included, padded to the slot's size.
std::string FormatProgressSlot(const Progress& progress);
// Reads one slot; false when it is not whole.
bool ParseProgressSlot(std::string_view slot, Progress& progress);

}  // namespace tralvo
