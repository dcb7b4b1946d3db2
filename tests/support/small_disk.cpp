// Mounting and unmounting the small disk.
#include "small_disk.h"

#include <sys/mount.h>

namespace testsupport {

SmallDisk::SmallDisk(size_t bytes) {
  std::string options = "size=" + std::to_string(bytes) + ",mode=0700";
  mounted_ = mount("tralvo-test", folder_.path().c_str(), "tmpfs", 0, options.c_str()) == 0;
}

SmallDisk::~SmallDisk() {
  if (mounted_) umount2(folder_.path().c_str(), MNT_DETACH);
}

}  // namespace testsupport
