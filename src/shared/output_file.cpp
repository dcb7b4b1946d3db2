// Buffered, checked binary output for the target files, in whole records.
#include "shared/output_file.h"

#include <algorithm>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#else
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "shared/file_system.h"

namespace tralvo {

namespace {

// Large enough that a write costs little per record (over two thousand
// cost-centre records, eight hundred time booking lines), small enough to
// stay in the cache.
constexpr size_t kBufferSize = 64 * 1024;
// The shortest record the tool writes; sizes the list of record ends.
constexpr size_t kShortestRecord = 32;

// Holds off the signals that end a process while a write is in the
// system, so a run stopped by its scheduler or from the keyboard ends
// between two writes, never inside one. (Nothing can hold off a kill that
// cannot be caught.)
class TerminationHeldOff {
 public:
#ifdef _WIN32
  // Windows ends a process without a signal it could hold off.
  TerminationHeldOff() {}
  ~TerminationHeldOff() {}
#else
  TerminationHeldOff() {
    sigset_t all;
    sigfillset(&all);
    held_ = sigprocmask(SIG_BLOCK, &all, &previous_) == 0;
  }
  ~TerminationHeldOff() {
    if (held_) sigprocmask(SIG_SETMASK, &previous_, nullptr);
  }

 private:
  sigset_t previous_;
  bool held_ = false;
#endif
};

}  // namespace

OutputFile::~OutputFile() {
  Close();
}

bool OutputFile::Open(const std::string& path) {
  Close();
  path_ = path;
  failed_ = false;
  used_ = 0;
  recordEnds_.clear();
  fileLength_ = 0;
  lostRecords_ = 0;
  file_ = std::fopen(path.c_str(), "wb");
  if (!file_) return false;
  // The buffering is ours, in whole records; the stream passes every
  // write straight to the system.
  std::setvbuf(file_, nullptr, _IONBF, 0);
  buffer_.resize(kBufferSize);
  recordEnds_.reserve(kBufferSize / kShortestRecord);
  return true;
}

bool OutputFile::Write(std::string_view record) {
  if (!file_ || failed_) return false;
  if (record.size() > buffer_.size() - used_) {
    if (!Flush()) return false;
    // A record larger than the whole buffer still goes out in one piece.
    if (record.size() > buffer_.size()) buffer_.resize(record.size());
  }
  // The one step that may run out of memory comes first, so that a record
  // is gathered whole or not at all.
  recordEnds_.push_back(used_ + record.size());
  if (!record.empty()) std::memcpy(buffer_.data() + used_, record.data(), record.size());
  used_ += record.size();
  return true;
}

bool OutputFile::Flush() {
  if (!file_ || failed_) return !failed_;
  if (recordEnds_.empty()) return true;
  size_t taken = 0;
  {
    TerminationHeldOff heldOff;
    taken = std::fwrite(buffer_.data(), 1, used_, file_);
  }
  if (taken == used_) {
    fileLength_ += static_cast<int64_t>(used_);
  } else {
    failed_ = true;
    // The file itself tells what the system took: a Windows C runtime
    // reports nothing of a write that a full disk cut short.
    int64_t length = 0;
    if (LengthNow(length) && length >= fileLength_)
      taken = std::min(used_, static_cast<size_t>(length - fileLength_));
    // Only the records the system took whole stay in the file.
    auto wholeEnd = std::upper_bound(recordEnds_.begin(), recordEnds_.end(), taken);
    size_t wholeBytes = wholeEnd == recordEnds_.begin() ? 0 : *(wholeEnd - 1);
    lostRecords_ += recordEnds_.end() - wholeEnd;
    fileLength_ += static_cast<int64_t>(wholeBytes);
    // When even the cut fails the run still ends as a failed one.
    if (taken > wholeBytes) CutBackTo(fileLength_);
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

bool OutputFile::LengthNow(int64_t& length) const {
#ifdef _WIN32
  length = _filelengthi64(_fileno(file_));
  return length >= 0;
#else
  struct stat info;
  if (fstat(fileno(file_), &info) != 0) return false;
  length = static_cast<int64_t>(info.st_size);
  return true;
#endif
}

bool OutputFile::CutBackTo(int64_t length) {
#ifdef _WIN32
  return _chsize_s(_fileno(file_), length) == 0;
#else
  return ftruncate(fileno(file_), static_cast<off_t>(length)) == 0;
#endif
}

bool OutputFile::Close() {
  if (!file_) return !failed_;
  Flush();
  if (std::fclose(file_) != 0) failed_ = true;
  file_ = nullptr;
  return !failed_;
}

}  // namespace tralvo
