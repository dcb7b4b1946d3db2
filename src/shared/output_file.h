// A target file of the run, written in binary, one whole record at a time.
//
// Records are gathered in a large buffer and handed to the system in
// single writes of whole records, so a run of a million records costs a
// few hundred system calls instead of a million. A full buffer is written
// beside the run while the next one fills; Flush, Sync and Close wait for
// every write. The file never holds part
// of a record: a write the system takes only in part (a full disk) is cut
// back to the last whole record, and termination signals wait until a
// write is done. A record counts as written only once the system has taken
// it; records gathered but lost with a failure are counted by lostRecords,
// so the run can take them off its counters before it reports them.
//
// Every write is checked, and so are the final flush and close. The first
// failure sticks, so the caller can test once after a series of writes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "shared/file_system.h"
#include "shared/side_thread.h"

namespace tralvo {

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates or empties the file ("wb"), never through a link another
  // account planted and never on a pipe or socket (a device is written
  // as it is). Returns false when it cannot; opened() then tells why.
  // With keep, an existing file keeps its first keep bytes (records
  // written before) and is written on after them; the rest is cut off.
  // The cut runs on beside the caller, who meanwhile may log in (cutting
  // the tens of megabytes an earlier run left takes the system several
  // milliseconds); AwaitCut waits for it, and so does every step that
  // hands records to the system.
  bool Open(const std::string& path, int64_t keep = 0);
  // Waits for the cut Open left running. False when the cut failed: the
  // file is then closed as one that could not be opened (opened() and
  // openError() tell why), and has failed.
  bool AwaitCut();
  bool isOpen() const { return file_ != nullptr; }
  FileOpen opened() const { return opened_; }
  // The system's error when opening failed with FileOpen::kFailed.
  const SystemError& openError() const { return openError_; }
  const std::string& path() const { return path_; }

  // Gathers one whole record, handing the records gathered so far to the
  // system first when the buffer has no room for it. False when the file
  // has failed, now or before; the record is then not gathered.
  bool Write(std::string_view record) {
    return WriteInPlace(record.size(), [record](char* at) {
      if (!record.empty()) std::memcpy(at, record.data(), record.size());
    });
  }
  // As Write, for a record of size bytes that fill(char* at) builds where
  // it is gathered. Inline, so that a record of fixed size is built without
  // a library call and without a copy: read back from a scratch array
  // right after being written a byte at a time, it would stall the store
  // buffer.
  template <typename Fill>
  bool WriteInPlace(size_t size, Fill fill) {
    if ((!file_ || failed_ || size > buffer_.size() - used_) && !MakeRoom(size)) return false;
    // The one step that may run out of memory comes first, so that a
    // record is gathered whole or not at all.
    recordEnds_.push_back(used_ + size);
    fill(buffer_.data() + used_);
    used_ += size;
    return true;
  }
  // Hands every gathered record to the system and waits for it to take
  // them; false on failure.
  bool Flush();
  // Pushes the buffer to the system and the file, with its entry in its
  // folder, to stable storage: a run reports success only once its output
  // survives a power loss, since the caller then deletes the bookings at
  // the terminal. False on failure, which sticks like a failed write.
  bool Sync();
  // Flushes and closes; false when anything written was lost. A file that
  // is not open closes successfully.
  bool Close();
  // True when a write, flush or close has failed; a write beside the run
  // is known to have failed once the next one is handed over.
  bool failed() const { return failed_; }
  // Records Write accepted that never reached the file.
  int64_t lostRecords() const { return lostRecords_; }
  // Bytes of whole records the file holds, kept ones included; after a
  // Flush, every record written.
  int64_t length() const { return fileLength_; }

 private:
  // Hands the gathered records to the system beside the run, so that size
  // bytes fit.
  bool MakeRoom(size_t size);
  // Whether the second buffer, made at the first write beside the run, is
  // there.
  bool SpareBuffer();
  // Waits for the write beside the run, if any, and takes its outcome; the
  // records gathered since are lost with a failed one.
  bool Collect();
  // Counts the records gathered as lost and forgets them.
  void LoseGathered();
  // Takes the outcome of writing used bytes of records that end at ends,
  // of which the system took taken.
  bool Settle(size_t used, const std::vector<size_t>& ends, size_t taken);
  // Whether the file has grown by a writeback step since the last one was
  // asked for, to length; if so, the step is [writebackFrom, length).
  bool WritebackDue(int64_t length, int64_t& from);

  std::FILE* file_ = nullptr;
  // The cut Open left running, and how it went.
  SideThread side_;
  bool cutting_ = false;
  bool cutFailed_ = false;
  SystemError cutError_;
  // The buffer written beside the run: its records' ends, its bytes, how
  // many the system took, and the writeback step to ask for after it.
  std::vector<char> inFlight_;
  std::vector<size_t> inFlightEnds_;
  size_t inFlightUsed_ = 0;
  size_t taken_ = 0;
  bool writing_ = false;
  int64_t writebackAt_ = 0;
  int64_t writebackLength_ = 0;
  FileOpen opened_ = FileOpen::kFailed;
  SystemError openError_;
  std::string path_;
  std::vector<char> buffer_;
  size_t used_ = 0;
  // Where each gathered record ends in the buffer, in order.
  std::vector<size_t> recordEnds_;
  // Bytes of whole records the system has taken.
  int64_t fileLength_ = 0;
  // Where the bytes the system has not been asked to write back begin.
  int64_t writebackFrom_ = 0;
  int64_t lostRecords_ = 0;
  bool failed_ = false;
};

}  // namespace tralvo
