// Buffered, checked binary output for the target files, in whole records.
#include "shared/output_file.h"

#include <algorithm>
#include <new>

#include "shared/file_system.h"
#include "shared/stop_requests.h"

namespace tralvo {

namespace {

// Large enough that a write, and the wake-up of the thread that writes
// beside the run, cost little per record (over eight thousand cost-centre
// records, three thousand time booking lines), small enough that both
// buffers stay in the cache.
constexpr size_t kBufferSize = 256 * 1024;
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
  cutFailed_ = false;
  bool cutOwed = false;
  file_ = OpenTargetStream(path, opened_, openError_, keep, &cutOwed);
  if (!file_) return false;
  // The buffering is ours, in whole records; the stream passes every
  // write straight to the system.
  std::setvbuf(file_, nullptr, _IONBF, 0);
  buffer_.resize(kBufferSize);
  recordEnds_.reserve(kBufferSize / kShortestRecord);
  if (cutOwed) {
    cutting_ = true;
    side_.Start([this, keep] {
      cutFailed_ = !CutStreamTo(file_, keep);
      if (cutFailed_) cutError_ = SystemError::Last();
    });
  }
  return true;
}

bool OutputFile::AwaitCut() {
  if (cutting_) {
    side_.Wait();
    cutting_ = false;
  }
  if (!cutFailed_ || !file_) return !cutFailed_;
  std::fclose(file_);
  file_ = nullptr;
  opened_ = FileOpen::kFailed;
  openError_ = cutError_;
  failed_ = true;
  LoseGathered();
  return false;
}

void OutputFile::LoseGathered() {
  lostRecords_ += static_cast<int64_t>(recordEnds_.size());
  used_ = 0;
  recordEnds_.clear();
}

bool OutputFile::MakeRoom(size_t size) {
  if (!Collect() || !file_ || failed_) return false;
  if (!StopsWaitForWrites() || !SpareBuffer()) {
    // A stop would end the process in the middle of a write beside the
    // run (or there is no memory for a second buffer): written here, where
    // the signals are held off.
    if (!Flush()) return false;
  } else if (!recordEnds_.empty()) {
    // The full buffer goes to the system beside the run; the other one,
    // written before, takes the next records.
    buffer_.swap(inFlight_);
    recordEnds_.swap(inFlightEnds_);
    inFlightUsed_ = used_;
    used_ = 0;
    recordEnds_.clear();
    const int64_t written = fileLength_ + static_cast<int64_t>(inFlightUsed_);
    writebackLength_ = WritebackDue(written, writebackAt_) ? written - writebackAt_ : 0;
    writing_ = true;
    side_.Start([this] {
      taken_ = WriteWholeOrNotStopped(file_, inFlight_.data(), inFlightUsed_);
      if (taken_ == inFlightUsed_ && writebackLength_ > 0)
        StartWriteback(file_, writebackAt_, writebackLength_);
    });
  }
  // A record larger than the whole buffer still goes out in one piece.
  if (size > buffer_.size()) buffer_.resize(size);
  return true;
}

bool OutputFile::SpareBuffer() {
  if (!inFlight_.empty()) return true;
  try {
    inFlight_.resize(kBufferSize);
    inFlightEnds_.reserve(kBufferSize / kShortestRecord);
  } catch (const std::bad_alloc&) {
    inFlight_.clear();
    return false;
  }
  return true;
}

bool OutputFile::Collect() {
  if (!AwaitCut()) return false;
  if (!writing_) return true;
  side_.Wait();
  writing_ = false;
  if (Settle(inFlightUsed_, inFlightEnds_, taken_)) return true;
  // The records gathered since would follow a gap: lost as well.
  LoseGathered();
  return false;
}

bool OutputFile::Settle(size_t used, const std::vector<size_t>& ends, size_t taken) {
  if (taken == used) {
    fileLength_ += static_cast<int64_t>(used);
    return true;
  }
  failed_ = true;
  // The file itself tells what the system took.
  int64_t length = 0;
  if (StreamLength(file_, length) && length >= fileLength_)
    taken = std::min(used, static_cast<size_t>(length - fileLength_));
  // Only the records the system took whole stay in the file.
  auto wholeEnd = std::upper_bound(ends.begin(), ends.end(), taken);
  size_t wholeBytes = wholeEnd == ends.begin() ? 0 : *(wholeEnd - 1);
  lostRecords_ += ends.end() - wholeEnd;
  fileLength_ += static_cast<int64_t>(wholeBytes);
  // When even the cut fails the run still ends as a failed one.
  if (taken > wholeBytes) CutStreamTo(file_, fileLength_);
  return false;
}

bool OutputFile::WritebackDue(int64_t length, int64_t& from) {
  if (length - writebackFrom_ < kWritebackStep) return false;
  from = writebackFrom_;
  writebackFrom_ = length;
  return true;
}

bool OutputFile::Flush() {
  if (!Collect() || !file_ || failed_) return !failed_;
  if (recordEnds_.empty()) return true;
  const size_t taken = WriteWholeOrNotStopped(file_, buffer_.data(), used_);
  int64_t from = 0;
  if (Settle(used_, recordEnds_, taken) && WritebackDue(fileLength_, from))
    StartWriteback(file_, from, fileLength_ - from);
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
