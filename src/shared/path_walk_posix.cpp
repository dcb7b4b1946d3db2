// The path walk: each name opened relative to the folder before it, each
// link read through a descriptor of the link itself, so the link that is
// judged is the link that is followed.
#include "shared/path_walk_posix.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <deque>

namespace tralvo {

namespace {

// As many links as the system itself follows in one path.
constexpr int kMaxLinks = 40;

int OpenAtRetrying(int folder, const char* name, int flags) {
  int fd;
  do {
    fd = ::openat(folder, name, flags | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

bool Privileged(uid_t owner) {
  return owner == 0 || owner == ::geteuid();
}

// The names of path in order; empty names and "." dropped.
void SplitPath(const std::string& path, std::deque<std::string>& names) {
  size_t start = 0;
  while (start <= path.size()) {
    size_t slash = path.find('/', start);
    if (slash == std::string::npos) slash = path.size();
    std::string name = path.substr(start, slash - start);
    if (!name.empty() && name != ".") names.push_back(std::move(name));
    start = slash + 1;
  }
}

void PrependPath(const std::string& path, std::deque<std::string>& names) {
  std::deque<std::string> front;
  SplitPath(path, front);
  names.insert(names.begin(), front.begin(), front.end());
}

FileOpen MissingOr(int error) {
  return error == ENOENT || error == ENOTDIR ? FileOpen::kMissing : FileOpen::kFailed;
}

// Reads the link that link (a descriptor of the link itself) is.
bool ReadLink(int link, const struct stat& info, std::string& target) {
  target.assign(static_cast<size_t>(info.st_size > 0 ? info.st_size : 255) + 1, '\0');
  for (;;) {
    ssize_t n = ::readlinkat(link, "", &target[0], target.size());
    if (n < 0) return false;
    if (static_cast<size_t>(n) < target.size()) {
      target.resize(static_cast<size_t>(n));
      return true;
    }
    target.resize(target.size() * 2);  // the link grew since it was examined
  }
}

}  // namespace

UniqueFd::~UniqueFd() {
  if (fd_ >= 0) ::close(fd_);
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.Release();
  }
  return *this;
}

bool OthersCanWriteFolder(const struct stat& info) {
  // A folder its group may write is taken as one others may write: who
  // else is in the group cannot be told from here.
  return !Privileged(info.st_uid) || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

FileOpen WalkPath(const std::string& path, bool followLast, UniqueFd& folder, std::string& name) {
  std::deque<std::string> names;
  SplitPath(path, names);
  UniqueFd here(
      OpenAtRetrying(AT_FDCWD, path.compare(0, 1, "/") == 0 ? "/" : ".", O_PATH | O_DIRECTORY));
  if (here.get() < 0) return FileOpen::kFailed;
  if (names.empty()) return FileOpen::kNotRegular;  // the path names a folder
  int links = 0;
  while (!names.empty()) {
    std::string next = std::move(names.front());
    names.pop_front();
    const bool last = names.empty();
    struct stat info;
    if (::fstatat(here.get(), next.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno == ENOENT && last) {
        folder = std::move(here);
        name = std::move(next);
        return FileOpen::kOpened;  // to be created
      }
      return MissingOr(errno);
    }
    if (S_ISLNK(info.st_mode)) {
      if (last && !followLast) {
        folder = std::move(here);
        name = std::move(next);
        return FileOpen::kOpened;
      }
      UniqueFd link(OpenAtRetrying(here.get(), next.c_str(), O_PATH | O_NOFOLLOW));
      struct stat folderInfo;
      if (link.get() < 0 || ::fstat(link.get(), &info) != 0 ||
          ::fstat(here.get(), &folderInfo) != 0)
        return MissingOr(errno);
      if (!S_ISLNK(info.st_mode)) {
        names.push_front(std::move(next));  // replaced since: examine it anew
        continue;
      }
      if (!Privileged(info.st_uid) && OthersCanWriteFolder(folderInfo))
        return FileOpen::kPlantedLink;
      std::string target;
      if (++links > kMaxLinks || !ReadLink(link.get(), info, target) || target.empty())
        return FileOpen::kFailed;
      if (target[0] == '/') {
        here = UniqueFd(OpenAtRetrying(AT_FDCWD, "/", O_PATH | O_DIRECTORY));
        if (here.get() < 0) return FileOpen::kFailed;
      }
      PrependPath(target, names);
      if (names.empty()) return FileOpen::kNotRegular;  // a link to a folder
      continue;
    }
    if (last) {
      folder = std::move(here);
      name = std::move(next);
      return FileOpen::kOpened;
    }
    if (!S_ISDIR(info.st_mode)) return FileOpen::kMissing;
    // O_NOFOLLOW: a link swapped in since the look above is not a folder.
    UniqueFd inner(OpenAtRetrying(here.get(), next.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW));
    if (inner.get() < 0) return MissingOr(errno);
    here = std::move(inner);
  }
  return FileOpen::kFailed;
}

}  // namespace tralvo
