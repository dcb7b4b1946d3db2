// The hand-over of a completed part: every work file that holds records
// goes whole to its place, the target files into OUTBOX and the lines
// set aside into the rejected folder, each under a name of its own.
//
// A file appears there whole: it is written (or, on the same file system,
// moved) under a hidden temporary name in its folder itself, synced, and
// then renamed. Each step is recorded in the progress before the next one
// begins, so a run that dies in the middle leaves a hand-over that the
// next run finishes without handing anything over twice, even after a
// collector has taken a file away.
#pragma once

#include <cstdint>
#include <string>

#include "pipeline/progress_file.h"
#include "pipeline/run_files.h"

namespace tralvo {

// Starts the hand-over of what the work files hold under stamp: a stamp
// later than every one before, so no two hand-overs share a name.
// Recorded (synced) before anything moves. False when it cannot be.
bool BeginHandOver(ProgressFile& file, Progress& progress, int64_t now);

// Carries out the hand-over progress holds (after BeginHandOver, or one
// that a run before left unfinished). True when every file is in its
// place and the work files are empty again. Otherwise failure names what
// failed and why; the hand-over stays recorded for the next run.
bool FinishHandOver(const RunFiles& files, ProgressFile& file, Progress& progress,
                    std::string& failure);

}  // namespace tralvo
