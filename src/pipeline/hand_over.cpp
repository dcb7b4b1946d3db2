// Moving the work files to their places, step by recorded step.
#include "pipeline/hand_over.h"

#include <cstdio>
#include <memory>
#include <vector>

#include "shared/file_system.h"

namespace tralvo {

namespace {

struct StreamCloser {
  void operator()(std::FILE* stream) const { std::fclose(stream); }
};
using Stream = std::unique_ptr<std::FILE, StreamCloser>;

std::string Why(const std::string& path, const SystemError& error) {
  return path + ": " + error.Text();
}

// Cuts the work file back to the records that belong to the part (a run
// may have written more after the first booking it could not send) and
// puts it on stable storage.
bool CutAndSync(const std::string& path, int64_t length, std::string& failure) {
  NativeFile work;
  int64_t size = 0;
  if (work.OpenForUpdate(path) != FileOpen::kOpened || !work.Size(size)) {
    failure = Why(path, work.error());
    return false;
  }
  if (size < length) {
    failure = path + ": shorter than the records it must hold (" + std::to_string(size) + " of " +
              std::to_string(length) + " bytes)";
    return false;
  }
  if ((size > length && !work.CutTo(length)) || !work.Sync() || !work.Close()) {
    failure = Why(path, work.error());
    return false;
  }
  return true;
}

// Writes the first length bytes of from to to, a new file that every
// account may read (the collector's may be another), and syncs it.
bool CopyWhole(const std::string& from, const std::string& to, int64_t length,
               std::string& failure) {
  FileOpen opened;
  SystemError error;
  Stream source(OpenReadStream(from, opened, error));
  if (!source) {
    failure = Why(from, error);
    return false;
  }
  NativeFile target;
  if (target.CreateReadable(to) != FileOpen::kOpened) {
    failure = Why(to, target.error());
    return false;
  }
  std::vector<char> buffer(1 << 20);
  for (int64_t left = length; left > 0;) {
    const size_t want =
        left < static_cast<int64_t>(buffer.size()) ? static_cast<size_t>(left) : buffer.size();
    const size_t got = std::fread(buffer.data(), 1, want, source.get());
    if (got != want) {
      failure = std::ferror(source.get()) ? Why(from, SystemError::Last())
                                          : from + ": ends before its records";
      return false;
    }
    if (!target.WriteAll(std::string_view(buffer.data(), got))) {
      failure = Why(to, target.error());
      return false;
    }
    left -= static_cast<int64_t>(got);
  }
  if (!target.Sync() || !target.Close()) {
    failure = Why(to, target.error());
    return false;
  }
  return true;
}

// Brings one work file's records under their temporary name, whole and
// synced: moved where the folder is on the same file system, copied
// where it is not.
bool Stage(const std::string& work, const std::string& temporary, int64_t length,
           std::string& failure) {
  const PathKind workKind = KindOf(work);
  if (workKind == PathKind::kMissing) {
    // Moved before the run died, before its step was recorded.
    if (KindOf(temporary) == PathKind::kRegularFile) return true;
    failure = work + ": missing, its records cannot be handed over";
    return false;
  }
  // A temporary file beside a work file is an unfinished copy.
  if (KindOf(temporary) != PathKind::kMissing && !RemoveFile(temporary)) {
    failure = Why(temporary, SystemError::Last());
    return false;
  }
  if (!CutAndSync(work, length, failure)) return false;
  if (ReplaceFile(work, temporary)) {
    if (SyncFolderOf(temporary)) return true;
    failure = Why(temporary, SystemError::Last());
    return false;
  }
  if (!CopyWhole(work, temporary, length, failure)) {
    RemoveFile(temporary);
    return false;
  }
  return true;
}

}  // namespace

bool BeginHandOver(ProgressFile& file, Progress& progress, int64_t now) {
  progress.stamp = now > progress.stamp ? now : progress.stamp + 1;
  progress.handingOver = true;
  for (HandOverStep& step : progress.steps) step = HandOverStep::kPending;
  return file.Save(progress, true);
}

bool FinishHandOver(const RunFiles& files, ProgressFile& file, Progress& progress,
                    std::string& failure) {
  for (int i = 0; i < kWorkFileCount; ++i) {
    const auto which = static_cast<WorkFile>(i);
    if (progress.lengths[i] == 0 || progress.steps[i] == HandOverStep::kDone) continue;
    const std::string temporary = files.TemporaryPath(which, progress.stamp);
    const std::string handed = files.HandedPath(which, progress.stamp);
    if (progress.steps[i] == HandOverStep::kPending) {
      SystemError error;
      if (!IsTargetFile(which) && !CreateFolder(files.RejectedFolder(), &error)) {
        failure = Why(files.RejectedFolder(), error);
        return false;
      }
      if (!Stage(files.WorkPath(which), temporary, progress.lengths[i], failure)) return false;
      progress.steps[i] = HandOverStep::kReady;
      if (!file.Save(progress, true)) {
        failure = Why(files.ProgressPath(), file.error());
        return false;
      }
    }
    // Ready: without the temporary file the rename was done already (and
    // a collector may have taken the file since).
    if (KindOf(temporary) != PathKind::kMissing) {
      SystemError error;
      bool renamed = ReplaceFile(temporary, handed, &error);
      if (renamed && !SyncFolderOf(handed)) {
        error = SystemError::Last();
        renamed = false;
      }
      if (!renamed) {
        failure = Why(handed, error);
        return false;
      }
    }
    progress.steps[i] = HandOverStep::kDone;
    if (!file.Save(progress, false)) {
      failure = Why(files.ProgressPath(), file.error());
      return false;
    }
  }
  // What a copy left behind; a moved file is gone already.
  for (int i = 0; i < kWorkFileCount; ++i)
    if (progress.lengths[i] > 0) RemoveFile(files.WorkPath(static_cast<WorkFile>(i)));
  progress.handingOver = false;
  for (int i = 0; i < kWorkFileCount; ++i) {
    progress.lengths[i] = 0;
    progress.steps[i] = HandOverStep::kPending;
  }
  if (!file.Save(progress, true)) {
    failure = Why(files.ProgressPath(), file.error());
    return false;
  }
  return true;
}

}  // namespace tralvo
