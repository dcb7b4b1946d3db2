// The platform layer on Windows: file handles, byte-range locks, file ids,
// FlushFileBuffers, and access control lists for the private files.
//
// Paths are narrow strings in the system's ANSI code page, as the C
// runtime's fopen takes them, so both reach the same file by one name.
//
// A private file is readable and writable by its owner, the local
// administrators and the system account (which the Task Scheduler may run
// the tool as), by nobody else, and inherits nothing from its folder.
#include <io.h>
#include <windows.h>

#include "shared/file_system.h"
// <windows.h> names the system's own ReplaceFile as a macro.
#undef ReplaceFile
#include <aclapi.h>
#include <sddl.h>

#include <memory>
#include <thread>

namespace tralvo {

namespace {

// Every handle lets other processes read, write, rename and delete the
// file meanwhile: the log is appended to and rotated by several runs at
// once, and the configuration is replaced while a run may be reading it.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The lock is one byte far beyond any real file length. Windows locks are
// mandatory, so a lock on the data would block readers and any run that
// writes without the lock; this one excludes only the other lockers.
constexpr DWORD kLockOffsetLow = 0;
constexpr DWORD kLockOffsetHigh = 0x40000000;

HANDLE Handle(std::intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

struct HandleCloser {
  void operator()(void* handle) const { CloseHandle(handle); }
};
using ScopedHandle = std::unique_ptr<void, HandleCloser>;

struct LocalFreer {
  void operator()(void* memory) const { LocalFree(memory); }
};
using ScopedLocal = std::unique_ptr<void, LocalFreer>;

// Opens path for examining it (a folder too), or null.
ScopedHandle OpenForInspection(const std::string& path) {
  HANDLE handle = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  return ScopedHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

bool IdentifyHandle(HANDLE handle, FileIdentity& identity) {
  identity = FileIdentity{};
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileType(handle) != FILE_TYPE_DISK) return true;  // a device or pipe: not regular
  if (!GetFileInformationByHandle(handle, &info)) return false;
  identity.volume = info.dwVolumeSerialNumber;
  identity.index[0] = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  identity.regular = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  return true;
}

// The security descriptor of a private file, in the system's own text
// form: a protected list (nothing inherited) granting full access to the
// current user, the administrators and the system account.
ScopedLocal PrivateDescriptor() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return nullptr;
  ScopedHandle tokenHolder(token);
  DWORD length = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &length);
  std::unique_ptr<char[]> user(new (std::nothrow) char[length]);
  if (!user || !GetTokenInformation(token, TokenUser, user.get(), length, &length)) return nullptr;
  char* sidText = nullptr;
  if (!ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(user.get())->User.Sid, &sidText))
    return nullptr;
  ScopedLocal sidHolder(sidText);
  const std::string text = std::string("D:P(A;;FA;;;") + sidText + ")(A;;FA;;;BA)(A;;FA;;;SY)";
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(text.c_str(), SDDL_REVISION_1,
                                                            &descriptor, nullptr))
    return nullptr;
  return ScopedLocal(descriptor);
}

// The owner and access list of the file at path; the descriptor that holds
// both is freed with the returned holder. Null when they cannot be read.
ScopedLocal FileSecurity(const std::string& path, PSID& owner, PACL& dacl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT,
                            OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                            &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
    return nullptr;
  return ScopedLocal(descriptor);
}

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) {
  return IsWellKnownSid(sid, type) != FALSE;
}

bool GrantsRead(ACCESS_MASK mask) {
  return (mask & (FILE_READ_DATA | GENERIC_READ | GENERIC_ALL)) != 0;
}

}  // namespace

bool IdentifyPath(const std::string& path, FileIdentity& identity) {
  ScopedHandle handle = OpenForInspection(path);
  return handle && IdentifyHandle(handle.get(), identity);
}

NativeFile::~NativeFile() {
  Close();
}

bool NativeFile::OpenForAppend(const std::string& path) {
  Close();
  // Append access alone, without write access: the system puts every
  // write at the end of the file as one step, whoever else appends.
  HANDLE handle = CreateFileA(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                              kShareAll, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  handle_ = reinterpret_cast<std::intptr_t>(handle);
  return true;
}

bool NativeFile::CreatePrivate(const std::string& path) {
  Close();
  ScopedLocal descriptor = PrivateDescriptor();
  if (!descriptor) return false;
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
  // CREATE_NEW fails on anything at path, a link included; the write,
  // owner and access-list rights let TakePermissionsOf work on this handle.
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE | READ_CONTROL | WRITE_DAC | WRITE_OWNER,
                              kShareAll, &attributes, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  handle_ = reinterpret_cast<std::intptr_t>(handle);
  return true;
}

bool NativeFile::CreateReadable(const std::string& path) {
  Close();
  // The folder's inherited access list decides who reads it; CREATE_NEW
  // fails on anything at path, a link included.
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  handle_ = reinterpret_cast<std::intptr_t>(handle);
  return true;
}

bool NativeFile::Lock(std::chrono::milliseconds wait) {
  if (!isOpen()) return false;
  // Polled like the POSIX side, so the wait has a bound of its own.
  auto deadline = std::chrono::steady_clock::now() + wait;
  auto pause = std::chrono::microseconds(50);
  for (;;) {
    OVERLAPPED where{};
    where.Offset = kLockOffsetLow;
    where.OffsetHigh = kLockOffsetHigh;
    if (LockFileEx(Handle(handle_), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                   &where)) {
      locked_ = true;
      return true;
    }
    if (GetLastError() != ERROR_LOCK_VIOLATION && GetLastError() != ERROR_IO_PENDING) return false;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(pause);
    if (pause < std::chrono::milliseconds(1)) pause *= 2;
  }
}

void NativeFile::Unlock() {
  if (!locked_) return;
  OVERLAPPED where{};
  where.Offset = kLockOffsetLow;
  where.OffsetHigh = kLockOffsetHigh;
  UnlockFileEx(Handle(handle_), 0, 1, 0, &where);
  locked_ = false;
}

bool NativeFile::Identify(FileIdentity& identity) const {
  return isOpen() && IdentifyHandle(Handle(handle_), identity);
}

bool NativeFile::Size(int64_t& size) const {
  LARGE_INTEGER length;
  if (!isOpen() || !GetFileSizeEx(Handle(handle_), &length)) return false;
  size = length.QuadPart;
  return true;
}

bool NativeFile::WriteAll(std::string_view bytes) {
  if (!isOpen()) return false;
  const char* next = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    const DWORD chunk = left > 0x40000000 ? 0x40000000 : static_cast<DWORD>(left);
    DWORD written = 0;
    if (!WriteFile(Handle(handle_), next, chunk, &written, nullptr) || written == 0) return false;
    next += written;
    left -= written;
  }
  return true;
}

bool NativeFile::Sync() {
  return isOpen() && FlushFileBuffers(Handle(handle_));
}

bool NativeFile::TakePermissionsOf(const std::string& path) {
  if (!isOpen()) return false;
  PSID owner = nullptr;
  PACL dacl = nullptr;
  ScopedLocal holder = FileSecurity(path, owner, dacl);
  if (!holder) return false;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  if (!GetSecurityDescriptorControl(holder.get(), &control, &revision)) return false;
  // A list that inherited nothing keeps inheriting nothing.
  const SECURITY_INFORMATION protection = (control & SE_DACL_PROTECTED)
                                              ? PROTECTED_DACL_SECURITY_INFORMATION
                                              : UNPROTECTED_DACL_SECURITY_INFORMATION;
  return SetSecurityInfo(Handle(handle_), SE_FILE_OBJECT,
                         OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | protection, owner,
                         nullptr, dacl, nullptr) == ERROR_SUCCESS;
}

bool NativeFile::Close() {
  if (!isOpen()) return true;
  Unlock();
  bool closed = CloseHandle(Handle(handle_)) != FALSE;
  handle_ = kNoHandle;
  return closed;
}

bool ReplaceFile(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

bool SyncStream(std::FILE* stream) {
  if (std::fflush(stream) != 0) return false;
  const intptr_t os = _get_osfhandle(_fileno(stream));
  if (os == -1) return false;
  HANDLE handle = Handle(os);
  // A console, a pipe or the null device has nothing to sync.
  if (GetFileType(handle) != FILE_TYPE_DISK) return true;
  return FlushFileBuffers(handle) != FALSE;
}

size_t WriteWholeOrNotStopped(std::FILE* stream, const char* data, size_t size) {
  return std::fwrite(data, 1, size, stream);
}

bool StreamLength(std::FILE* stream, int64_t& length) {
  length = _filelengthi64(_fileno(stream));
  return length >= 0;
}

bool CutStreamTo(std::FILE* stream, int64_t length) {
  return _chsize_s(_fileno(stream), length) == 0;
}

bool SyncFolderOf(const std::string&) {
  // The file system's own journal makes a folder entry durable; Windows
  // offers no sync of a folder to an ordinary process.
  return true;
}

SmallFileRead ReadSmallRegularFile(const std::string& path, size_t maxBytes, std::string& bytes) {
  bytes.clear();
  HANDLE raw = CreateFileA(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (raw == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? SmallFileRead::kMissing
                                                                          : SmallFileRead::kFailed;
  }
  ScopedHandle handle(raw);
  // A folder, a device or a pipe is never read: a console or a pipe could
  // block the run for good.
  FileIdentity identity;
  if (!IdentifyHandle(raw, identity)) return SmallFileRead::kFailed;
  if (!identity.regular) return SmallFileRead::kNotRegular;
  LARGE_INTEGER length;
  if (!GetFileSizeEx(raw, &length)) return SmallFileRead::kFailed;
  if (length.QuadPart < 0 || static_cast<uint64_t>(length.QuadPart) > maxBytes)
    return SmallFileRead::kTooLarge;
  // One byte beyond the limit tells a file that grew since.
  bytes.resize(maxBytes + 1);
  size_t got = 0;
  while (got < bytes.size()) {
    const size_t want = bytes.size() - got;
    DWORD read = 0;
    if (!ReadFile(raw, &bytes[got], want > 0x40000000 ? 0x40000000 : static_cast<DWORD>(want),
                  &read, nullptr)) {
      bytes.clear();
      return SmallFileRead::kFailed;
    }
    if (read == 0) break;
    got += read;
  }
  if (got > maxBytes) {
    bytes.clear();
    return SmallFileRead::kTooLarge;
  }
  bytes.resize(got);
  return SmallFileRead::kRead;
}

void FailWritesBeyondSizeLimit() {
  // Windows has no file-size limit signal: a write there simply fails.
}

void OutliveConsole() {
  // A console write on Windows fails without a signal.
}

bool ReadableByOthers(const std::string& path, bool& readable) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  ScopedLocal holder = FileSecurity(path, owner, dacl);
  if (!holder) return false;
  // No list at all lets everybody in.
  readable = dacl == nullptr;
  for (DWORD i = 0; dacl && i < dacl->AceCount && !readable; ++i) {
    void* ace = nullptr;
    if (!GetAce(dacl, i, &ace)) return false;
    auto* header = static_cast<ACE_HEADER*>(ace);
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE))
      continue;
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    PSID sid = &allowed->SidStart;
    if (!GrantsRead(allowed->Mask)) continue;
    if ((owner && EqualSid(sid, owner)) || IsWellKnown(sid, WinBuiltinAdministratorsSid) ||
        IsWellKnown(sid, WinLocalSystemSid) || IsWellKnown(sid, WinCreatorOwnerRightsSid))
      continue;
    readable = true;
  }
  return true;
}

PathKind KindOf(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::kMissing;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return PathKind::kFolder;
  FileIdentity identity;
  if (!IdentifyPath(path, identity)) return PathKind::kOther;
  return identity.regular ? PathKind::kRegularFile : PathKind::kOther;
}

bool AccountMay(const std::string& path, FileAccess access) {
  // Opening with the rights asked for lets the system's access check
  // answer, without reading or writing a byte.
  const bool folder = KindOf(path) == PathKind::kFolder;
  DWORD rights = FILE_READ_DATA;
  if (access == FileAccess::kWrite) rights = folder ? FILE_ADD_FILE : FILE_APPEND_DATA;
  HANDLE handle = CreateFileA(path.c_str(), rights, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    // Another program holding the file is a passing state, not a right
    // this account lacks.
    return GetLastError() == ERROR_SHARING_VIOLATION;
  }
  CloseHandle(handle);
  return true;
}

std::string ResolvedPath(const std::string& path) {
  char buffer[MAX_PATH];
  const DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, buffer, nullptr);
  if (length == 0 || length >= MAX_PATH) return path;
  return std::string(buffer, length);
}

uint64_t ProcessId() {
  return GetCurrentProcessId();
}

bool RunsAsAdministrator() {
  BYTE sid[SECURITY_MAX_SID_SIZE];
  for (WELL_KNOWN_SID_TYPE type : {WinBuiltinAdministratorsSid, WinLocalSystemSid}) {
    DWORD size = sizeof sid;
    BOOL member = FALSE;
    if (CreateWellKnownSid(type, nullptr, sid, &size) &&
        CheckTokenMembership(nullptr, sid, &member) && member)
      return true;
  }
  return false;
}

}  // namespace tralvo
