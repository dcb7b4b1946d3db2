// A disk that fills up: a memory file system of a few pages mounted in a
// temporary folder, for tests of what a run leaves behind when a write is
// taken only in part. Mounting needs the right to mount (as root, as CI
// runs); without it the disk is not there and the test skips.
#pragma once

#include <string>

#include "test_support.h"

namespace testsupport {

class SmallDisk {
 public:
  // Room for `bytes`, rounded up to whole pages by the system.
  explicit SmallDisk(size_t bytes);
  // Unmounts, even while a file on it is still open somewhere.
  ~SmallDisk();
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;

  bool mounted() const { return mounted_; }
  std::string operator/(const std::string& name) const { return folder_ / name; }

 private:
  TempDir folder_;
  bool mounted_ = false;
};

}  // namespace testsupport
