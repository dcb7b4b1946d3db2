// Another process that holds a record lock on a file for a while: a run
// stopped in the middle of an entry, or a reader that locks what it reads.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>

namespace testsupport {

class LockHolder {
 public:
  // Takes a lock of the given type (F_RDLCK or F_WRLCK) on the file at
  // path, opened for reading or writing to match, and holds it for hold,
  // or until the object goes.
  LockHolder(const std::string& path, short type, std::chrono::milliseconds hold);
  ~LockHolder();
  LockHolder(const LockHolder&) = delete;
  LockHolder& operator=(const LockHolder&) = delete;

  bool held() const { return held_; }

 private:
  pid_t pid_ = -1;
  bool held_ = false;
};

}  // namespace testsupport
