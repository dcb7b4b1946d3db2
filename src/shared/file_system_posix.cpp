// The platform layer on POSIX systems: descriptors, fcntl record locks,
// fsync, and open flags that never follow or block.
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "shared/file_system.h"
#include "shared/path_walk_posix.h"

namespace tralvo {

namespace {

int Fd(std::intptr_t handle) {
  return static_cast<int>(handle);
}

void FillIdentity(const struct stat& info, FileIdentity& identity) {
  identity.volume = static_cast<uint64_t>(info.st_dev);
  identity.index[0] = static_cast<uint64_t>(info.st_ino);
  identity.index[1] = 0;
  identity.regular = S_ISREG(info.st_mode);
}

// Keeps the error of the call that has just failed, and says so.
FileOpen Failed(SystemError& error) {
  error = SystemError::Last();
  return FileOpen::kFailed;
}

// open() that survives a signal arriving while it waits.
int OpenRetrying(const char* path, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = ::open(path, flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// Opens path with flags through the path walk, never blocking and never
// following a link at the last name that the walk did not judge. A link
// swapped in after the walk makes the open fail with ELOOP; the walk is
// then done again, a few times, before the attempt counts as failed.
FileOpen OpenWalked(const std::string& path, int flags, mode_t mode, UniqueFd& file,
                    SystemError& error) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    UniqueFd folder;
    std::string name;
    FileOpen walked = WalkPath(path, true, folder, name);
    if (walked == FileOpen::kFailed) return Failed(error);
    if (walked != FileOpen::kOpened) return walked;
    int fd;
    do {
      fd = ::openat(folder.get(), name.c_str(),
                    flags | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0) {
      file = UniqueFd(fd);
      return FileOpen::kOpened;
    }
    if (errno == EISDIR) return FileOpen::kNotRegular;
    if (errno == ENXIO) return FileOpen::kNotRegular;  // a pipe with no reader, a socket
    if (errno != ELOOP) return errno == ENOENT ? FileOpen::kMissing : Failed(error);
  }
  return Failed(error);
}

// Opens path for writing and requires a plain file.
FileOpen OpenRegularForWriting(const std::string& path, int flags, mode_t mode, UniqueFd& file,
                               SystemError& error) {
  FileOpen opened = OpenWalked(path, flags, mode, file, error);
  if (opened != FileOpen::kOpened) return opened;
  struct stat info;
  if (::fstat(file.get(), &info) != 0) return Failed(error);
  if (!S_ISREG(info.st_mode)) {
    file = UniqueFd();
    return FileOpen::kNotRegular;
  }
  return FileOpen::kOpened;
}

// Writes from now on wait for the file as usual.
bool Blocking(int fd) {
  int flags = ::fcntl(fd, F_GETFL);
  return flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

// A stream over an open descriptor, which it then owns.
std::FILE* StreamOf(UniqueFd& file, const char* mode, FileOpen& outcome, SystemError& error) {
  std::FILE* stream = ::fdopen(file.get(), mode);
  if (!stream) {
    outcome = Failed(error);
    return nullptr;
  }
  file.Release();
  outcome = FileOpen::kOpened;
  return stream;
}

bool FsyncRetrying(int fd) {
  int rc;
  do {
    rc = ::fsync(fd);
  } while (rc != 0 && errno == EINTR);
  return rc == 0;
}

}  // namespace

bool IdentifyPath(const std::string& path, FileIdentity& identity) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) return false;
  FillIdentity(info, identity);
  return true;
}

NativeFile::~NativeFile() {
  Close();
}

SystemError SystemError::Last() {
  return {errno};
}

std::string SystemError::Text() const {
  return std::strerror(code);
}

bool SystemError::accessDenied() const {
  return code == EACCES || code == EPERM;
}

FileOpen NativeFile::OpenForAppend(const std::string& path) {
  Close();
  UniqueFd file;
  FileOpen opened = OpenRegularForWriting(path, O_WRONLY | O_APPEND | O_CREAT, 0666, file, error_);
  if (opened == FileOpen::kOpened) handle_ = file.Release();
  return opened;
}

FileOpen NativeFile::OpenLockFile(const std::string& path) {
  Close();
  UniqueFd file;
  // Write access alone, for the owner and the group, is what a lock needs.
  FileOpen opened = OpenRegularForWriting(path, O_WRONLY | O_CREAT, 0220, file, error_);
  if (opened == FileOpen::kOpened) handle_ = file.Release();
  return opened;
}

FileOpen NativeFile::OpenForUpdate(const std::string& path) {
  Close();
  UniqueFd file;
  FileOpen opened = OpenRegularForWriting(path, O_RDWR, 0, file, error_);
  if (opened == FileOpen::kOpened && !Blocking(file.get())) opened = Failed(error_);
  if (opened == FileOpen::kOpened) handle_ = file.Release();
  return opened;
}

FileOpen NativeFile::CreateNew(const std::string& path, bool readableByAll) {
  Close();
  const mode_t mode = readableByAll ? 0644 : 0600;
  UniqueFd file;
  FileOpen opened = OpenWalked(path, O_WRONLY | O_CREAT | O_EXCL, mode, file, error_);
  if (opened != FileOpen::kOpened) return opened;
  // The umask may have taken the readers' bits away.
  if (!Blocking(file.get()) || ::fchmod(file.get(), mode) != 0) return Failed(error_);
  handle_ = file.Release();
  return FileOpen::kOpened;
}

bool NativeFile::Lock(std::chrono::milliseconds wait) {
  if (!isOpen()) return false;
  if (locked_) return true;
  // Polled rather than a blocking F_SETLKW, so the wait has a bound without
  // signals; the holders keep it for microseconds.
  struct flock request {};
  request.l_type = F_WRLCK;
  request.l_whence = SEEK_SET;
  auto deadline = std::chrono::steady_clock::now() + wait;
  auto pause = std::chrono::microseconds(50);
  for (;;) {
    if (::fcntl(Fd(handle_), F_SETLK, &request) == 0) {
      locked_ = true;
      return true;
    }
    if (errno != EACCES && errno != EAGAIN && errno != EINTR) return false;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(pause);
    if (pause < std::chrono::milliseconds(1)) pause *= 2;
  }
}

void NativeFile::Unlock() {
  if (!locked_) return;
  struct flock request {};
  request.l_type = F_UNLCK;
  request.l_whence = SEEK_SET;
  ::fcntl(Fd(handle_), F_SETLK, &request);
  locked_ = false;
}

bool NativeFile::Identify(FileIdentity& identity) const {
  struct stat info;
  if (!isOpen() || ::fstat(Fd(handle_), &info) != 0) return false;
  FillIdentity(info, identity);
  return true;
}

bool NativeFile::Size(int64_t& size) const {
  struct stat info;
  if (!isOpen() || ::fstat(Fd(handle_), &info) != 0) return false;
  size = static_cast<int64_t>(info.st_size);
  return true;
}

bool NativeFile::WriteAll(std::string_view bytes) {
  if (!isOpen()) return false;
  const char* next = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    ssize_t written = ::write(Fd(handle_), next, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      error_ = SystemError::Last();
      return false;
    }
    next += written;
    left -= static_cast<size_t>(written);
  }
  return true;
}

bool NativeFile::WriteAt(int64_t offset, std::string_view bytes) {
  if (!isOpen()) return false;
  const char* next = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    ssize_t written = ::pwrite(Fd(handle_), next, left, static_cast<off_t>(offset));
    if (written < 0) {
      if (errno == EINTR) continue;
      error_ = SystemError::Last();
      return false;
    }
    next += written;
    offset += written;
    left -= static_cast<size_t>(written);
  }
  return true;
}

bool NativeFile::CutTo(int64_t length) {
  int rc;
  do {
    rc = ::ftruncate(Fd(handle_), static_cast<off_t>(length));
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) error_ = SystemError::Last();
  return isOpen() && rc == 0;
}

bool NativeFile::Sync() {
  if (!isOpen()) return false;
  if (FsyncRetrying(Fd(handle_))) return true;
  error_ = SystemError::Last();
  return false;
}

bool NativeFile::TakePermissionsOf(const std::string& path) {
  struct stat info;
  UniqueFd folder;
  std::string name;
  if (!isOpen() || WalkPath(path, false, folder, name) != FileOpen::kOpened ||
      ::fstatat(folder.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
      S_ISLNK(info.st_mode))
    return false;
  // The owner first: changing it may clear set-id bits that the mode then
  // restores.
  if (::fchown(Fd(handle_), info.st_uid, info.st_gid) == 0 &&
      ::fchmod(Fd(handle_), info.st_mode & 07777) == 0)
    return true;
  error_ = SystemError::Last();
  return false;
}

bool NativeFile::Close() {
  if (!isOpen()) return true;
  Unlock();
  // A descriptor is released even when close reports an error; never retried.
  bool closed = ::close(Fd(handle_)) == 0;
  if (!closed) error_ = SystemError::Last();
  handle_ = kNoHandle;
  return closed;
}

bool ReplaceFile(const std::string& from, const std::string& to, SystemError* error) {
  UniqueFd fromFolder;
  UniqueFd toFolder;
  std::string fromName;
  std::string toName;
  if (WalkPath(from, false, fromFolder, fromName) == FileOpen::kOpened &&
      WalkPath(to, false, toFolder, toName) == FileOpen::kOpened &&
      ::renameat(fromFolder.get(), fromName.c_str(), toFolder.get(), toName.c_str()) == 0)
    return true;
  if (error) *error = SystemError::Last();
  return false;
}

bool RemoveFile(const std::string& path) {
  UniqueFd folder;
  std::string name;
  return WalkPath(path, false, folder, name) == FileOpen::kOpened &&
         ::unlinkat(folder.get(), name.c_str(), 0) == 0;
}

bool CreateFolder(const std::string& path, SystemError* error) {
  UniqueFd folder;
  std::string name;
  struct stat info;
  if (WalkPath(path, true, folder, name) == FileOpen::kOpened) {
    if (::mkdirat(folder.get(), name.c_str(), 0777) == 0) return true;
    if (errno == EEXIST && ::fstatat(folder.get(), name.c_str(), &info, 0) == 0) {
      if (S_ISDIR(info.st_mode)) return true;
      errno = ENOTDIR;
    }
  }
  if (error) *error = SystemError::Last();
  return false;
}

std::FILE* OpenTargetStream(const std::string& path, FileOpen& outcome, SystemError& error,
                            int64_t keep) {
  UniqueFd file;
  // Not emptied in the open: what is there is examined first.
  outcome = OpenWalked(path, O_WRONLY | O_CREAT, 0666, file, error);
  if (outcome != FileOpen::kOpened) return nullptr;
  struct stat info;
  if (::fstat(file.get(), &info) != 0) {
    outcome = Failed(error);
    return nullptr;
  }
  if (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode) || S_ISDIR(info.st_mode)) {
    outcome = FileOpen::kNotRegular;
    return nullptr;
  }
  if (S_ISREG(info.st_mode) && info.st_size < keep) {
    // Records it should hold are gone: never lengthened with zeros.
    errno = EINVAL;
    outcome = Failed(error);
    return nullptr;
  }
  if ((S_ISREG(info.st_mode) && (::ftruncate(file.get(), static_cast<off_t>(keep)) != 0 ||
                                 ::lseek(file.get(), static_cast<off_t>(keep), SEEK_SET) < 0)) ||
      !Blocking(file.get())) {
    outcome = Failed(error);
    return nullptr;
  }
  return StreamOf(file, "wb", outcome, error);
}

std::FILE* OpenReadStream(const std::string& path, FileOpen& outcome, SystemError& error) {
  UniqueFd file(OpenRetrying(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY));
  if (file.get() < 0) {
    outcome = errno == ENOENT || errno == ENOTDIR ? FileOpen::kMissing : Failed(error);
    return nullptr;
  }
  struct stat info;
  if (::fstat(file.get(), &info) != 0 || !Blocking(file.get())) {
    outcome = Failed(error);
    return nullptr;
  }
  if (!S_ISREG(info.st_mode)) {
    outcome = FileOpen::kNotRegular;
    return nullptr;
  }
  return StreamOf(file, "rb", outcome, error);
}

bool OwnerOfEntry(const std::string& path, EntryOwner& owner) {
  UniqueFd folder;
  std::string name;
  struct stat info;
  if (WalkPath(path, false, folder, name) != FileOpen::kOpened ||
      ::fstatat(folder.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
    return false;
  owner.mine = info.st_uid == ::geteuid();
  owner.privileged = info.st_uid == 0;
  owner.link = S_ISLNK(info.st_mode);
  struct passwd entry;
  struct passwd* found = nullptr;
  char buffer[1024];
  if (::getpwuid_r(info.st_uid, &entry, buffer, sizeof buffer, &found) == 0 && found)
    owner.name = found->pw_name;
  else
    owner.name = std::to_string(info.st_uid);
  return true;
}

bool OthersCanWrite(const std::string& folder, bool& writable) {
  struct stat info;
  if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
  writable = OthersCanWriteFolder(info);
  return true;
}

bool SyncStream(std::FILE* stream) {
  if (std::fflush(stream) != 0) return false;
  int fd = ::fileno(stream);
  struct stat info;
  if (fd < 0 || ::fstat(fd, &info) != 0) return false;
  if (!S_ISREG(info.st_mode)) return true;
  return FsyncRetrying(fd);
}

void StartWriteback(std::FILE* stream, int64_t offset, int64_t length) {
#ifdef __linux__
  // A failure (a device, say) only leaves all the waiting to the sync.
  int fd = ::fileno(stream);
  if (fd >= 0) ::sync_file_range(fd, offset, length, SYNC_FILE_RANGE_WRITE);
#else
  (void)stream;
  (void)offset;
  (void)length;
#endif
}

size_t WriteWholeOrNotStopped(std::FILE* stream, const char* data, size_t size) {
  sigset_t all;
  sigset_t previous;
  sigfillset(&all);
  bool held = ::sigprocmask(SIG_BLOCK, &all, &previous) == 0;
  size_t taken = std::fwrite(data, 1, size, stream);
  if (held) ::sigprocmask(SIG_SETMASK, &previous, nullptr);
  return taken;
}

bool StreamLength(std::FILE* stream, int64_t& length) {
  struct stat info;
  if (::fstat(::fileno(stream), &info) != 0) return false;
  length = static_cast<int64_t>(info.st_size);
  return true;
}

bool CutStreamTo(std::FILE* stream, int64_t length) {
  return ::ftruncate(::fileno(stream), static_cast<off_t>(length)) == 0;
}

bool SeekStream(std::FILE* stream, int64_t offset) {
  return ::fseeko(stream, static_cast<off_t>(offset), SEEK_SET) == 0;
}

bool SyncFolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  int fd = OpenRetrying(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return false;
  // A file system that cannot sync a folder has nothing to sync there.
  bool synced = FsyncRetrying(fd) || errno == EINVAL;
  ::close(fd);
  return synced;
}

SmallFileRead ReadSmallRegularFile(const std::string& path, size_t maxBytes, std::string& bytes,
                                   SystemError* error) {
  bytes.clear();
  SystemError ignored;
  SystemError& failure = error ? *error : ignored;
  auto failed = [&failure] {
    failure = SystemError::Last();
    return SmallFileRead::kFailed;
  };
  struct stat info;
  if (::stat(path.c_str(), &info) != 0)
    return errno == ENOENT || errno == ENOTDIR ? SmallFileRead::kMissing : failed();
  if (!S_ISREG(info.st_mode)) return SmallFileRead::kNotRegular;
  if (info.st_size < 0 || static_cast<uint64_t>(info.st_size) > maxBytes)
    return SmallFileRead::kTooLarge;
  // Opened without blocking, and examined again through the descriptor:
  // the name may have been replaced by a pipe since the look above.
  int fd = OpenRetrying(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return errno == ENOENT ? SmallFileRead::kMissing : failed();
  SmallFileRead result = SmallFileRead::kRead;
  if (::fstat(fd, &info) != 0) {
    result = failed();
  } else if (!S_ISREG(info.st_mode)) {
    result = SmallFileRead::kNotRegular;
  } else {
    // One byte beyond the limit tells a file that grew since.
    bytes.resize(maxBytes + 1);
    size_t got = 0;
    while (got < bytes.size()) {
      ssize_t n = ::read(fd, &bytes[got], bytes.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        result = failed();
        break;
      }
      if (n == 0) break;
      got += static_cast<size_t>(n);
    }
    if (result == SmallFileRead::kRead && got > maxBytes) result = SmallFileRead::kTooLarge;
    bytes.resize(result == SmallFileRead::kRead ? got : 0);
  }
  ::close(fd);
  return result;
}

void FailWritesBeyondSizeLimit() {
  // An ignored SIGXFSZ leaves the write to fail with EFBIG. Ignored rather
  // than handled: the target files block every signal while they write,
  // and a blocked default action would still end the process once the
  // write is over.
  ::signal(SIGXFSZ, SIG_IGN);
}

void OutliveConsole() {
  ::signal(SIGPIPE, SIG_IGN);
}

bool ReadableByOthers(const std::string& path, bool& readable) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) return false;
  readable = (info.st_mode & (S_IRGRP | S_IROTH)) != 0;
  return true;
}

PathKind KindOf(const std::string& path) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) return PathKind::kMissing;
  if (S_ISREG(info.st_mode)) return PathKind::kRegularFile;
  return S_ISDIR(info.st_mode) ? PathKind::kFolder : PathKind::kOther;
}

bool AccountMay(const std::string& path, FileAccess access) {
  // access() asks with the real ids, the account the scheduler started
  // the process as, which is the one whose rights matter.
  int mode = access == FileAccess::kRead ? R_OK : W_OK;
  if (KindOf(path) == PathKind::kFolder) mode |= X_OK;
  return ::access(path.c_str(), mode) == 0;
}

std::string PathInFolder(const std::string& folder, const std::string& name) {
  if (folder.empty() || folder.back() == '/') return folder + name;
  return folder + '/' + name;
}

std::string ResolvedPath(const std::string& path) {
  if (char* resolved = ::realpath(path.c_str(), nullptr)) {
    std::string result(resolved);
    std::free(resolved);
    return result;
  }
  // What is missing is named below the part that exists.
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (folder.empty()) return path;
  std::string parent = folder == path ? path : ResolvedPath(folder);
  return parent == "/" ? "/" + name : parent + "/" + name;
}

uint64_t ProcessId() {
  return static_cast<uint64_t>(::getpid());
}

bool RunsAsAdministrator() {
  return ::geteuid() == 0;
}

}  // namespace tralvo
