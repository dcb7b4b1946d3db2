// The platform layer on POSIX systems: descriptors, fcntl record locks,
// fsync, and open flags that never follow or block.
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "shared/file_system.h"
#include "shared/path_walk_posix.h"
#include "shared/stop_requests.h"

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

// Creates an empty file under the name stem + "." + an unpredictable part
// in folder, exclusively, a few names tried; name gets the one made. The
// descriptor, or -1 with errno.
int CreateBeside(int folder, const std::string& stem, mode_t mode, std::string& name) {
  int fd = -1;
  for (int attempt = 0; attempt < 4 && fd < 0; ++attempt) {
    name = stem + "." + UnpredictableNamePart();
    do {
      fd = ::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    mode);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0 && errno != EEXIST) break;
  }
  return fd;
}

// Gives the file made under temporary the name name, unless something
// was put there meanwhile: that stays, and the temporary name goes either
// way. A file system without hard links has the name replaced instead.
// False, with errno, when the file did not get the name.
bool PutInPlace(int folder, const std::string& temporary, const std::string& name) {
  bool placed = ::linkat(folder, temporary.c_str(), folder, name.c_str(), 0) == 0;
  if (!placed && errno != EEXIST)
    placed = ::renameat(folder, temporary.c_str(), folder, name.c_str()) == 0;
  const int error = errno;
  ::unlinkat(folder, temporary.c_str(), 0);
  errno = error;
  return placed;
}

// Whether the account uid belongs to the group gid, as its main group or
// as a listed member.
bool InGroup(uid_t uid, gid_t gid) {
  std::vector<char> buffer(4096);
  struct passwd account;
  struct passwd* foundAccount = nullptr;
  while (::getpwuid_r(uid, &account, buffer.data(), buffer.size(), &foundAccount) == ERANGE)
    buffer.resize(buffer.size() * 2);
  if (!foundAccount) return false;
  if (account.pw_gid == gid) return true;
  const std::string name = account.pw_name;
  struct group entry;
  struct group* foundGroup = nullptr;
  while (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &foundGroup) == ERANGE)
    buffer.resize(buffer.size() * 2);
  for (char** member = foundGroup ? foundGroup->gr_mem : nullptr; member && *member; ++member)
    if (name == *member) return true;
  return false;
}

// A lock file is sound when the folder's group, and nobody else, may open
// it for writing, and when its owner (who may change that at will) is
// root, the folder's owner or one of that group.
LockFileState JudgeLockEntry(const struct stat& entry, const struct stat& folder) {
  if (!S_ISREG(entry.st_mode)) return LockFileState::kNotPlainFile;
  const bool folderGroup = entry.st_gid == folder.st_gid;
  if ((entry.st_mode & S_IRWXO) != 0 || (!folderGroup && (entry.st_mode & S_IRWXG) != 0))
    return LockFileState::kOpenToOthers;
  if (!folderGroup || (entry.st_mode & S_IWGRP) == 0) return LockFileState::kClosedToGroup;
  if (entry.st_uid != 0 && entry.st_uid != folder.st_uid && !InGroup(entry.st_uid, folder.st_gid))
    return LockFileState::kForeignOwner;
  return LockFileState::kSound;
}

// Write access for the owner and the group, nothing for anyone else.
constexpr mode_t kLockMode = S_IWUSR | S_IWGRP;

// Makes a sound lock file in folder and gives it the name name: put in
// place of nothing, or renamed over what is there (a folder is swapped
// out and removed when empty). The descriptor, or -1 with errno.
int MakeLockFile(int folder, const struct stat& folderInfo, const std::string& name,
                 const struct stat* replaced) {
  std::string temporary;
  UniqueFd file(CreateBeside(folder, name, 0, temporary));
  if (file.get() < 0) return -1;
  // Root gives it to the folder's owner, who shares the log whether or not
  // it is in the folder's group.
  const uid_t owner = ::geteuid() == 0 ? folderInfo.st_uid : static_cast<uid_t>(-1);
  bool made =
      ::fchown(file.get(), owner, folderInfo.st_gid) == 0 && ::fchmod(file.get(), kLockMode) == 0;
  if (made && !replaced) return PutInPlace(folder, temporary, name) ? file.Release() : -1;
  if (made && !S_ISDIR(replaced->st_mode)) {
    made = ::renameat(folder, temporary.c_str(), folder, name.c_str()) == 0;
  } else if (made) {
    made = ::renameat2(folder, temporary.c_str(), folder, name.c_str(), RENAME_EXCHANGE) == 0;
    if (made) {
      ::unlinkat(folder, temporary.c_str(), AT_REMOVEDIR);
      return file.Release();
    }
  }
  const int error = errno;
  ::unlinkat(folder, temporary.c_str(), 0);
  errno = error;
  return made ? file.Release() : -1;
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
  for (int attempt = 0; attempt < 3; ++attempt) {
    UniqueFd file;
    FileOpen opened = OpenRegularForWriting(path, O_WRONLY | O_APPEND, 0, file, error_);
    if (opened == FileOpen::kOpened) handle_ = file.Release();
    if (opened != FileOpen::kMissing) return opened;
    // Made under a name of its own and linked into place once it has its
    // group and mode: a run of another account that opened it earlier
    // would be refused, and would lose its entries.
    UniqueFd folder;
    std::string name;
    std::string temporary;
    struct stat folderInfo;
    struct stat info;
    opened = WalkPath(path, true, folder, name);
    if (opened == FileOpen::kFailed) return Failed(error_);
    if (opened != FileOpen::kOpened) return opened;
    if (::fstat(folder.get(), &folderInfo) != 0) return Failed(error_);
    file = UniqueFd(CreateBeside(folder.get(), name, 0666, temporary));
    if (file.get() < 0) return Failed(error_);
    // The mode left by the umask, with write for the group where the group
    // may write the folder; the group only where it could be given.
    const bool shared = ::fchown(file.get(), static_cast<uid_t>(-1), folderInfo.st_gid) == 0 &&
                        (folderInfo.st_mode & S_IWGRP) != 0;
    if (::fstat(file.get(), &info) != 0 ||
        (shared && ::fchmod(file.get(), (info.st_mode & 0777) | S_IWGRP) != 0) ||
        ::fcntl(file.get(), F_SETFL, O_WRONLY | O_APPEND) != 0) {
      Failed(error_);
      ::unlinkat(folder.get(), temporary.c_str(), 0);
      return FileOpen::kFailed;
    }
    if (PutInPlace(folder.get(), temporary, name)) {
      handle_ = file.Release();
      return FileOpen::kOpened;
    }
    if (errno != EEXIST) return Failed(error_);
    // Another run made it first: that one is opened.
  }
  return Failed(error_);
}

FileOpen NativeFile::OpenLockFile(const std::string& path, LockFileState& found) {
  Close();
  found = LockFileState::kUnknown;
  for (int attempt = 0; attempt < 3; ++attempt) {
    UniqueFd folder;
    std::string name;
    // The entry itself is judged: a link there is no lock, wherever it leads.
    FileOpen walked = WalkPath(path, false, folder, name);
    if (walked == FileOpen::kFailed) return Failed(error_);
    if (walked != FileOpen::kOpened) return walked;
    struct stat folderInfo;
    struct stat entry;
    if (::fstat(folder.get(), &folderInfo) != 0) return Failed(error_);
    if (::fstatat(folder.get(), name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno != ENOENT) return Failed(error_);
      found = LockFileState::kMissing;
      handle_ = MakeLockFile(folder.get(), folderInfo, name, nullptr);
      if (isOpen()) return FileOpen::kOpened;
      if (errno == EEXIST) continue;  // another run made one first
      return Failed(error_);
    }
    found = JudgeLockEntry(entry, folderInfo);
    if (found != LockFileState::kSound) {
      handle_ = MakeLockFile(folder.get(), folderInfo, name, &entry);
      return isOpen() ? FileOpen::kOpened : Failed(error_);
    }
    int fd;
    do {
      fd = ::openat(folder.get(), name.c_str(),
                    O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0 && errno != ENOENT && errno != ELOOP) return Failed(error_);
    // The file opened must be the one judged; one swapped in since is
    // judged anew.
    UniqueFd file(fd);
    struct stat opened;
    if (fd >= 0 && ::fstat(fd, &opened) == 0 && opened.st_dev == entry.st_dev &&
        opened.st_ino == entry.st_ino) {
      handle_ = file.Release();
      return FileOpen::kOpened;
    }
  }
  return Failed(error_);
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

bool NativeFile::TakePermissionsOf(const EntryOwner& entry) {
  struct stat info;
  if (!isOpen() || entry.link || entry.permissions.size() != sizeof info) return false;
  std::memcpy(&info, entry.permissions.data(), sizeof info);
  // The owner first: changing it may clear set-id bits that the mode then
  // restores.
  if (::fchown(Fd(handle_), info.st_uid, info.st_gid) == 0 &&
      ::fchmod(Fd(handle_), info.st_mode & 07777) == 0)
    return true;
  error_ = SystemError::Last();
  return false;
}

NativeFile::Rotation NativeFile::Rotate(const std::string& path, const std::string& backup) {
  struct stat held;
  UniqueFd folder;
  UniqueFd backupFolder;
  std::string name;
  std::string backupName;
  std::string temporary;
  if (!isOpen() || ::fstat(Fd(handle_), &held) != 0 ||
      WalkPath(path, false, folder, name) != FileOpen::kOpened ||
      WalkPath(backup, false, backupFolder, backupName) != FileOpen::kOpened) {
    error_ = SystemError::Last();
    return Rotation::kFailed;
  }
  // The new file is ready before the old one moves: the group first, since
  // changing it may clear bits that the mode then sets.
  UniqueFd fresh(CreateBeside(folder.get(), name, 0, temporary));
  if (fresh.get() < 0) {
    error_ = SystemError::Last();
    return Rotation::kFailed;
  }
  if (::fchown(fresh.get(), static_cast<uid_t>(-1), held.st_gid) != 0 ||
      ::fchmod(fresh.get(), held.st_mode & 0777) != 0 ||
      ::renameat(folder.get(), name.c_str(), backupFolder.get(), backupName.c_str()) != 0) {
    error_ = SystemError::Last();
    ::unlinkat(folder.get(), temporary.c_str(), 0);
    const int error = error_.code;
    return error == EISDIR || error == ENOTEMPTY || error == EEXIST ? Rotation::kBackupNotPlainFile
                                                                    : Rotation::kFailed;
  }
  // Should even this fail, the next entry makes the log anew.
  PutInPlace(folder.get(), temporary, name);
  return Rotation::kRotated;
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
                            int64_t keep, bool* cutOwed) {
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
  const bool cut = S_ISREG(info.st_mode) && info.st_size > keep;
  if (cutOwed) *cutOwed = cut;
  if ((cut && !cutOwed && ::ftruncate(file.get(), static_cast<off_t>(keep)) != 0) ||
      (S_ISREG(info.st_mode) && ::lseek(file.get(), static_cast<off_t>(keep), SEEK_SET) < 0) ||
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
  owner.permissions.assign(reinterpret_cast<const char*>(&info), sizeof info);
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

LockFileState JudgeLockFile(const std::string& path) {
  UniqueFd folder;
  std::string name;
  struct stat folderInfo;
  struct stat entry;
  if (WalkPath(path, false, folder, name) != FileOpen::kOpened ||
      ::fstat(folder.get(), &folderInfo) != 0)
    return LockFileState::kUnknown;
  if (::fstatat(folder.get(), name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0)
    return errno == ENOENT ? LockFileState::kMissing : LockFileState::kUnknown;
  return JudgeLockEntry(entry, folderInfo);
}

bool FillUnpredictable(unsigned char* bytes, size_t size) {
  size_t got = 0;
  while (got < size) {
    const ssize_t n = ::getrandom(bytes + got, size - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    got += static_cast<size_t>(n);
  }
  return true;
}

bool ListFolder(const std::string& folder, std::string_view prefix,
                std::vector<FolderEntry>& entries) {
  entries.clear();
  const int fd = OpenRetrying(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return false;
  DIR* listing = ::fdopendir(fd);
  if (!listing) {
    ::close(fd);
    return false;
  }
  while (const struct dirent* found = ::readdir(listing)) {
    const std::string_view name = found->d_name;
    struct stat info;
    if (name.compare(0, prefix.size(), prefix) != 0 ||
        ::fstatat(fd, found->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0)
      continue;
    FolderEntry entry;
    entry.name = found->d_name;
    entry.plainFile = S_ISREG(info.st_mode);
    entry.modified = std::chrono::system_clock::from_time_t(info.st_mtime);
    entries.push_back(std::move(entry));
  }
  ::closedir(listing);
  return true;
}

bool ProcessRuns(uint64_t processId) {
  const pid_t pid = static_cast<pid_t>(processId);
  if (pid <= 0 || static_cast<uint64_t>(pid) != processId) return false;
  return ::kill(pid, 0) == 0 || errno == EPERM;
}

bool OthersCanWrite(const std::string& folder, bool& writable) {
  struct stat info;
  if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
  writable = OthersCanWriteFolder(info);
  return true;
}

bool EveryoneCanWrite(const std::string& folder, bool& writable) {
  struct stat info;
  if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
  writable = (info.st_mode & S_IWOTH) != 0;
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
  size_t taken = 0;
  {
    WriteInProgress writing;
    taken = std::fwrite(data, 1, size, stream);
  }
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
    // Room for the length looked at and a byte more, which tells a file
    // that grew since; only such a file gets room up to a byte beyond the
    // limit. Room is zeroed, and a secret's is wiped: the limit's worth
    // for every read would cost more than the read.
    bytes.resize(static_cast<size_t>(info.st_size) + 1);
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
      if (got == bytes.size() && got <= maxBytes) bytes.resize(maxBytes + 1);
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
