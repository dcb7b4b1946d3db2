// Buffered, checked binary output for the target files, in whole records.
#include "shared/output_file.h"

#include <algorithm>

#include "shared/file_system.h"
#include "shared/stop_requests.h"

namespace tralvo {

namespace {

// Large enough that a write costs little per record (over two thousand
// cost-centre records, eight hundred time booking lines), small enough to
// stay in the cache.
constexpr size_t kBufferSize = 64 * 1024;
// The shortest record the tool writes; sizes the list of record ends.
constexpr size_t kShortestRecord = 32;
// How much the system has taken before it is asked to start writing it to
// the disk: the disk then works while the run goes on, and the sync at the
// end of a large run has little left to wait for.
constexpr int64_t kWritebackStep = 1 << 20;

}  // namespace

OutputFile::~OutputFile() {
  Close();
}

bool OutputFile::Open(const std::string& path, int64_t keep) {
  Close();
  path_ = path;
  failed_ = false;
  used_ = 0;
  recordEnds_.clear();
  fileLength_ = keep;
  writebackFrom_ = keep;
  lostRecords_ = 0;
  bool cutOwed = false;
  file_ = OpenTargetStream(path, opened_, openError_, keep, &cutOwed);
  if (!file_) return false;
  if (cutOwed) {
    cutFailed_ = false;
    auto cut = [this, keep] {
      cutFailed_ = !CutStreamTo(file_, keep);
      if (cutFailed_) cutError_ = SystemError::Last();
    };
    cutting_ = StartQuietThread(cut);
    if (!cutting_.joinable()) cut();
  }
  // The buffering is ours, in whole records; the stream passes every
  // write straight to the system.
  std::setvbuf(file_, nullptr, _IONBF, 0);
  buffer_.resize(kBufferSize);
  recordEnds_.reserve(kBufferSize / kShortestRecord);
  return true;
}

bool OutputFile::AwaitCut() {
  if (cutting_.joinable()) cutting_.join();
  if (!cutFailed_ || !file_) return !cutFailed_;
  std::fclose(file_);
  file_ = nullptr;
  opened_ = FileOpen::kFailed;
  openError_ = cutError_;
  failed_ = true;
  lostRecords_ += static_cast<int64_t>(recordEnds_.size());
  used_ = 0;
  recordEnds_.clear();
  return false;
}

bool OutputFile::MakeRoom(size_t size) {
  if (!file_ || failed_ || !Flush()) return false;
  // A record larger than the whole buffer still goes out in one piece.
  if (size > buffer_.size()) buffer_.resize(size);
  return true;
}

bool OutputFile::Flush() {
  if (!AwaitCut() || !file_ || failed_) return !failed_;
  if (recordEnds_.empty()) return true;
  size_t taken = 0;
  taken = WriteWholeOrNotStopped(file_, buffer_.data(), used_);
  if (taken == used_) {
    fileLength_ += static_cast<int64_t>(used_);
    if (fileLength_ - writebackFrom_ >= kWritebackStep) {
      StartWriteback(file_, writebackFrom_, fileLength_ - writebackFrom_);
      writebackFrom_ = fileLength_;
    }
  } else {
    failed_ = true;
    // The file itself tells what the system took.
    int64_t length = 0;
    if (StreamLength(file_, length) && length >= fileLength_)
      taken = std::min(used_, static_cast<size_t>(length - fileLength_));
    // Only the records the system took whole stay in the file.
    auto wholeEnd = std::upper_bound(recordEnds_.begin(), recordEnds_.end(), taken);
    size_t wholeBytes = wholeEnd == recordEnds_.begin() ? 0 : *(wholeEnd - 1);
    lostRecords_ += recordEnds_.end() - wholeEnd;
    fileLength_ += static_cast<int64_t>(wholeBytes);
    // When even the cut fails the run still ends as a failed one.
    if (taken > wholeBytes) CutStreamTo(file_, fileLength_);
  }
  used_ = 0;
  recordEnds_.clear();
  return !failed_;
}

bool OutputFile::Sync() {
  if (!Flush() || !file_) return !failed_;
  if (!SyncStream(file_) || !SyncFolderOf(path_)) failed_ = true;
  return !failed_;
}

bool OutputFile::Close() {
  if (!AwaitCut() || !file_) return !failed_;
  Flush();
  if (std::fclose(file_) != 0) failed_ = true;
  file_ = nullptr;
  return !failed_;
}

}  // namespace tralvo
