// Walking a path one name at a time, without letting the system follow a
// symbolic link that another account planted. The tool often runs as root
// in folders other accounts can write (a terminal's export folder, a
// shared log folder); a link planted there would make it append to,
// empty or create a file of the attacker's choosing. Every link on the way
// is read and judged here, and every operation then works relative to the
// folder the walk ended in, so nothing can be swapped in between.
#pragma once

#include <sys/stat.h>

#include <string>

#include "shared/file_system.h"

namespace tralvo {

// A descriptor that is closed when it goes.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd();
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  int Release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_ = -1;
};

// Walks path up to its last name. folder is then the folder that name
// stands in and name the last name (which need not exist). With
// followLast, a link at the last name is judged and followed like the
// others, so name is never a link when the walk ends; without it, name
// may be a link, for operations on the entry itself (rename, remove).
//
// A link is followed when its owner is this account or root, or when its
// folder is one only they can write; any other link was planted by
// another account and ends the walk with kPlantedLink.
FileOpen WalkPath(const std::string& path, bool followLast, UniqueFd& folder, std::string& name);

// Whether an account other than this one and root can create, remove or
// replace entries in the folder described by info.
bool OthersCanWriteFolder(const struct stat& info);

}  // namespace tralvo
