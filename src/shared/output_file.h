// A target file of the run, written in binary.
//
// Every write is checked, and so are the final flush and close: a full
// disk must never let a run report bookings as transferred that did not
// reach the file. Each write is handed to the system before it returns,
// so a record whose write succeeded is on its way to the disk and may be
// counted; a buffer holding many records would report the loss of all of
// them only after they had been counted. The first failure sticks, so the
// caller can test once after a series of writes.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace tralvo {

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates or empties the file ("wb"). Returns false when it cannot.
  bool Open(const std::string& path);
  bool isOpen() const { return file_ != nullptr; }
  const std::string& path() const { return path_; }

  // Appends bytes and hands them to the system; false when that failed or
  // any earlier write of this file has failed.
  bool Write(std::string_view bytes);
  // Pushes the buffer to the system; false on failure.
  bool Flush();
  // Pushes the buffer to the system and the file, with its entry in its
  // folder, to stable storage: a run reports success only once its output
  // survives a power loss, since the caller then deletes the bookings at
  // the terminal. False on failure, which sticks like a failed write.
  bool Sync();
  // Flushes and closes; false when anything written was lost. A file that
  // is not open closes successfully.
  bool Close();
  // True when a write, flush or close has failed.
  bool failed() const { return failed_; }

 private:
  std::FILE* file_ = nullptr;
  std::string path_;
  bool failed_ = false;
};

}  // namespace tralvo
