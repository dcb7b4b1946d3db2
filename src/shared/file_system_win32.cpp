// The platform layer on Windows: file handles, byte-range locks, file ids,
// FlushFileBuffers, and access control lists for the private files.
//
// Paths are narrow strings in the system's ANSI code page, as the C
// runtime's fopen takes them, so both reach the same file by one name.
//
// A private file is readable and writable by its owner, the local
// administrators and the system account (which the Task Scheduler may run
// the tool as), by nobody else, and inherits nothing from its folder.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "shared/file_system.h"
#include "shared/stop_requests.h"
// <windows.h> names the system's own ReplaceFile as a macro.
#undef ReplaceFile
#include <aclapi.h>
#include <ntsecapi.h>
#include <sddl.h>

#include <cstring>
#include <memory>
#include <thread>
#include <vector>

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

// The account this process runs as, as the token tells it; null when it
// cannot be told. The SID lives in the returned buffer.
std::unique_ptr<char[]> CurrentUser(PSID& sid) {
  sid = nullptr;
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return nullptr;
  ScopedHandle tokenHolder(token);
  DWORD length = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &length);
  std::unique_ptr<char[]> user(new (std::nothrow) char[length]);
  if (!user || !GetTokenInformation(token, TokenUser, user.get(), length, &length)) return nullptr;
  sid = reinterpret_cast<TOKEN_USER*>(user.get())->User.Sid;
  return user;
}

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) {
  return IsWellKnownSid(sid, type) != FALSE;
}

// The installer's service account, which owns the system's own files.
bool IsTrustedInstaller(PSID sid) {
  char* text = nullptr;
  if (!ConvertSidToStringSidA(sid, &text)) return false;
  ScopedLocal holder(text);
  return std::strcmp(text, "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464") == 0;
}

// The system, the administrators or the installer: accounts that may do
// anything to the machine anyway.
bool IsPrivileged(PSID sid) {
  return IsWellKnown(sid, WinLocalSystemSid) || IsWellKnown(sid, WinBuiltinAdministratorsSid) ||
         IsTrustedInstaller(sid);
}

bool IsCurrentUser(PSID sid) {
  PSID user = nullptr;
  std::unique_ptr<char[]> holder = CurrentUser(user);
  return user && EqualSid(sid, user);
}

// The security descriptor of a private file, in the system's own text
// form: a protected list (nothing inherited) granting full access to the
// current user, the administrators and the system account.
ScopedLocal PrivateDescriptor() {
  PSID sid = nullptr;
  std::unique_ptr<char[]> user = CurrentUser(sid);
  char* sidText = nullptr;
  if (!user || !ConvertSidToStringSidA(sid, &sidText)) return nullptr;
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

bool GrantsRead(ACCESS_MASK mask) {
  return (mask & (FILE_READ_DATA | GENERIC_READ | GENERIC_ALL)) != 0;
}

// Rights that let an account put another entry where one stands.
bool GrantsChange(ACCESS_MASK mask) {
  return (mask & (FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_DELETE_CHILD | GENERIC_WRITE |
                  GENERIC_ALL | WRITE_DAC | WRITE_OWNER)) != 0;
}

// The owner and access list of what handle is open on.
ScopedLocal HandleSecurity(HANDLE handle, PSID& owner, PACL& dacl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(handle, SE_FILE_OBJECT,
                      OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                      &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
    return nullptr;
  return ScopedLocal(descriptor);
}

// Opens the entry at path itself, a reparse point not followed, for
// examining it.
ScopedHandle OpenEntry(const std::string& path) {
  HANDLE handle = CreateFileA(path.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                              OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  return ScopedHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

// Rights that let an account write or append to a file.
bool GrantsWrite(ACCESS_MASK mask) {
  return (mask & (FILE_WRITE_DATA | FILE_APPEND_DATA | GENERIC_WRITE | GENERIC_ALL)) != 0;
}

// The accounts an allowing entry of an access list names, with its rights,
// for entries that apply to the object itself.
template <typename Visit>
bool ForEachAllowed(PACL dacl, Visit visit) {
  for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(dacl, i, &ace)) return false;
    auto* header = static_cast<ACE_HEADER*>(ace);
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE))
      continue;
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    visit(static_cast<PSID>(&allowed->SidStart), allowed->Mask);
  }
  return true;
}

// Whether accounts other than this one and the privileged ones may change
// the entries of the folder handle is open on. True when it cannot be told.
bool OthersCanChange(HANDLE folder) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  ScopedLocal holder = HandleSecurity(folder, owner, dacl);
  if (!holder || !owner) return true;
  // An owner may rewrite the list at will.
  if (!IsPrivileged(owner) && !IsCurrentUser(owner)) return true;
  if (!dacl) return true;  // no list at all lets everybody in
  bool others = false;
  const bool read = ForEachAllowed(dacl, [&](PSID sid, ACCESS_MASK mask) {
    if (GrantsChange(mask) && !IsPrivileged(sid) && !IsCurrentUser(sid) &&
        !IsWellKnown(sid, WinCreatorOwnerSid) && !IsWellKnown(sid, WinCreatorOwnerRightsSid))
      others = true;
  });
  return others || !read;
}

// The full path of path, or empty.
std::string FullPath(const std::string& path) {
  char buffer[MAX_PATH * 4];
  DWORD length = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
  return length == 0 || length >= sizeof buffer ? std::string() : std::string(buffer, length);
}

// Looks at every name on path for a reparse point (a symbolic link or a
// junction) that another account planted: one whose owner is not this
// account or a privileged one, in a folder such an account may change.
// With followLast false the last name is the entry itself and is not
// judged. sawLink tells whether any reparse point was passed.
FileOpen CheckPath(const std::string& path, bool followLast, bool& sawLink) {
  sawLink = false;
  const std::string full = FullPath(path);
  if (full.empty()) return FileOpen::kFailed;
  // The names after the root ("C:\" or "\\server\share\").
  size_t next =
      full.compare(0, 2, "\\\\") == 0 ? full.find('\\', full.find('\\', 2) + 1) : full.find('\\');
  while (next != std::string::npos && next + 1 < full.size()) {
    const size_t end = full.find('\\', next + 1);
    const std::string entry = full.substr(0, end);
    const bool last = end == std::string::npos || end + 1 == full.size();
    const DWORD attributes = GetFileAttributesA(entry.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return FileOpen::kOpened;  // the rest is created
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) && (followLast || !last)) {
      sawLink = true;
      ScopedHandle link = OpenEntry(entry);
      PSID owner = nullptr;
      PACL dacl = nullptr;
      ScopedLocal holder = link ? HandleSecurity(link.get(), owner, dacl) : nullptr;
      if (!holder || !owner) return FileOpen::kFailed;
      if (!IsPrivileged(owner) && !IsCurrentUser(owner)) {
        ScopedHandle folder = OpenEntry(full.substr(0, next));
        if (!folder || OthersCanChange(folder.get())) return FileOpen::kPlantedLink;
      }
    }
    next = end;
  }
  return FileOpen::kOpened;
}

// The check after the open: a path that passed no reparse point must lead
// to the very file opened. One swapped in since the look is a link the
// look never judged.
bool OpenedWhereLooked(HANDLE handle, const std::string& path, bool sawLink) {
  if (sawLink) return true;
  char final[MAX_PATH * 4];
  DWORD length = GetFinalPathNameByHandleA(handle, final, sizeof final,
                                           FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (length == 0 || length >= sizeof final) return true;  // cannot be told: as before
  std::string opened(final, length);
  if (opened.compare(0, 4, "\\\\?\\") == 0) opened.erase(0, 4);
  if (opened.compare(0, 4, "UNC\\") == 0) opened.replace(0, 4, "\\\\");
  // Short names spelt out, as the final path has them.
  const std::string full = FullPath(path);
  char longer[MAX_PATH * 4];
  DWORD longLength = GetLongPathNameA(full.c_str(), longer, sizeof longer);
  const std::string looked =
      longLength && longLength < sizeof longer ? std::string(longer, longLength) : full;
  return looked.empty() || CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, opened.c_str(), -1,
                                          looked.c_str(), -1) == CSTR_EQUAL;
}

// Keeps the error of the call that has just failed, and says so.
FileOpen Failed(SystemError& error) {
  error = SystemError::Last();
  return FileOpen::kFailed;
}

// Opens path through CreateFileA after the look at its names, and checks
// where the handle landed. kBusy for a file another program holds without
// sharing it.
FileOpen OpenChecked(const std::string& path, DWORD access, DWORD disposition, DWORD flags,
                     LPSECURITY_ATTRIBUTES security, HANDLE& opened, SystemError& error) {
  opened = INVALID_HANDLE_VALUE;
  bool sawLink = false;
  FileOpen looked = CheckPath(path, true, sawLink);
  if (looked == FileOpen::kFailed) return Failed(error);
  if (looked != FileOpen::kOpened) return looked;
  HANDLE handle =
      CreateFileA(path.c_str(), access, kShareAll, security, disposition, flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    error = SystemError::Last();
    switch (error.code) {
      case ERROR_SHARING_VIOLATION:
      case ERROR_LOCK_VIOLATION:
        return FileOpen::kBusy;
      case ERROR_FILE_NOT_FOUND:
      case ERROR_PATH_NOT_FOUND:
        return FileOpen::kMissing;
      case ERROR_PIPE_BUSY:
        return FileOpen::kNotRegular;
      default:
        return FileOpen::kFailed;
    }
  }
  if (!OpenedWhereLooked(handle, path, sawLink)) {
    CloseHandle(handle);
    return FileOpen::kPlantedLink;
  }
  opened = handle;
  return FileOpen::kOpened;
}

// Whether handle is open on a plain file (not a folder, device or pipe).
bool IsRegular(HANDLE handle) {
  FileIdentity identity;
  return IdentifyHandle(handle, identity) && identity.regular;
}

// A C stream over handle, which it then owns; null (and the handle closed)
// on failure.
std::FILE* StreamOf(HANDLE handle, int flags, const char* mode, FileOpen& outcome,
                    SystemError& error) {
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags);
  if (fd < 0) {
    outcome = Failed(error);
    CloseHandle(handle);
    return nullptr;
  }
  std::FILE* stream = _fdopen(fd, mode);
  if (!stream) {
    outcome = Failed(error);
    _close(fd);
    return nullptr;
  }
  outcome = FileOpen::kOpened;
  return stream;
}

// The accounts that may make files in the folder a handle is open on,
// besides this one and the privileged ones: the folder's "group".
std::vector<std::vector<BYTE>> FolderWriters(HANDLE folder) {
  std::vector<std::vector<BYTE>> writers;
  PSID owner = nullptr;
  PACL dacl = nullptr;
  ScopedLocal holder = HandleSecurity(folder, owner, dacl);
  if (!holder) return writers;
  ForEachAllowed(dacl, [&](PSID sid, ACCESS_MASK mask) {
    if (!(mask & (FILE_ADD_FILE | GENERIC_WRITE | GENERIC_ALL)) || IsPrivileged(sid) ||
        IsCurrentUser(sid))
      return;
    const BYTE* bytes = static_cast<const BYTE*>(sid);
    writers.emplace_back(bytes, bytes + GetLengthSid(sid));
  });
  return writers;
}

bool AmongWriters(PSID sid, const std::vector<std::vector<BYTE>>& writers) {
  for (const std::vector<BYTE>& writer : writers)
    if (EqualSid(sid, const_cast<BYTE*>(writer.data()))) return true;
  return false;
}

// What may open a lock file: write and what locking needs, never read.
constexpr DWORD kLockRights =
    FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE;

// The lock file's protected access list: this account, the privileged
// ones and every account that may make files in the folder may open it
// for writing; nobody may read it, so a reader of the log cannot lock it.
struct LockSecurity {
  std::vector<BYTE> acl;
  SECURITY_DESCRIPTOR descriptor;
};
bool MakeLockSecurity(const std::string& folderPath, LockSecurity& security) {
  ScopedHandle folder = OpenEntry(folderPath);
  if (!folder) return false;
  std::vector<std::vector<BYTE>> sids = FolderWriters(folder.get());
  PSID user = nullptr;
  std::unique_ptr<char[]> userHolder = CurrentUser(user);
  if (!user) return false;
  sids.emplace_back(static_cast<BYTE*>(user), static_cast<BYTE*>(user) + GetLengthSid(user));
  for (WELL_KNOWN_SID_TYPE type : {WinBuiltinAdministratorsSid, WinLocalSystemSid}) {
    std::vector<BYTE> sid(SECURITY_MAX_SID_SIZE);
    DWORD size = static_cast<DWORD>(sid.size());
    if (!CreateWellKnownSid(type, nullptr, sid.data(), &size)) return false;
    sid.resize(size);
    sids.push_back(std::move(sid));
  }
  DWORD size = sizeof(ACL);
  for (const std::vector<BYTE>& sid : sids)
    size += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + static_cast<DWORD>(sid.size());
  security.acl.assign(size, 0);
  auto* acl = reinterpret_cast<PACL>(security.acl.data());
  if (!InitializeAcl(acl, size, ACL_REVISION)) return false;
  for (std::vector<BYTE>& sid : sids)
    if (!AddAccessAllowedAce(acl, ACL_REVISION, kLockRights, sid.data())) return false;
  return InitializeSecurityDescriptor(&security.descriptor, SECURITY_DESCRIPTOR_REVISION) &&
         SetSecurityDescriptorDacl(&security.descriptor, TRUE, acl, FALSE) &&
         SetSecurityDescriptorControl(&security.descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
}

// Creates a lock file at path, which must be free, with the lock's access
// list; INVALID_HANDLE_VALUE with the system's error otherwise.
HANDLE CreateLockAt(const std::string& path, LockSecurity& security) {
  SECURITY_ATTRIBUTES attributes{sizeof attributes, &security.descriptor, FALSE};
  return CreateFileA(path.c_str(), GENERIC_WRITE, kShareAll, &attributes, CREATE_NEW,
                     FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// Gives the file handle is open on (with WRITE_DAC, and WRITE_OWNER for
// the owner) the access list, and with withOwner the owner, of source.
// ERROR_SUCCESS, or the system's error.
DWORD ApplySecurity(HANDLE handle, PSECURITY_DESCRIPTOR source, bool withOwner) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  if (!GetSecurityDescriptorDacl(source, &present, &dacl, &defaulted) ||
      !GetSecurityDescriptorOwner(source, &owner, &defaulted) ||
      !GetSecurityDescriptorControl(source, &control, &revision))
    return GetLastError();
  // A list that inherited nothing keeps inheriting nothing.
  SECURITY_INFORMATION what =
      DACL_SECURITY_INFORMATION |
      ((control & SE_DACL_PROTECTED) ? PROTECTED_DACL_SECURITY_INFORMATION
                                     : UNPROTECTED_DACL_SECURITY_INFORMATION);
  if (withOwner) what |= OWNER_SECURITY_INFORMATION;
  return SetSecurityInfo(handle, SE_FILE_OBJECT, what, withOwner ? owner : nullptr, nullptr,
                         present ? dacl : nullptr, nullptr);
}

// Judges the entry at path as a lock file of the folder it stands in.
LockFileState JudgeLockEntry(const std::string& path) {
  ScopedHandle entry = OpenEntry(path);
  if (!entry) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? LockFileState::kMissing : LockFileState::kUnknown;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(entry.get(), &info)) return LockFileState::kUnknown;
  if (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT) ||
      GetFileType(entry.get()) != FILE_TYPE_DISK)
    return LockFileState::kNotPlainFile;
  ScopedHandle folder = OpenEntry(FolderOf(path));
  PSID owner = nullptr;
  PACL dacl = nullptr;
  ScopedLocal holder = HandleSecurity(entry.get(), owner, dacl);
  if (!folder || !holder || !owner) return LockFileState::kUnknown;
  if (!dacl) return LockFileState::kOpenToOthers;  // no list at all lets everybody in
  const std::vector<std::vector<BYTE>> writers = FolderWriters(folder.get());
  bool openToOthers = false;
  size_t writersAllowed = 0;
  // Whoever may write the folder may open the lock in any way: the log is
  // theirs anyway. Anyone else may not open it at all.
  if (!ForEachAllowed(dacl, [&](PSID sid, ACCESS_MASK mask) {
        const bool writer = AmongWriters(sid, writers);
        if ((GrantsRead(mask) || GrantsWrite(mask)) && !writer && !IsPrivileged(sid) &&
            !IsCurrentUser(sid))
          openToOthers = true;
        if (GrantsWrite(mask) && writer) ++writersAllowed;
      }))
    return LockFileState::kUnknown;
  if (openToOthers) return LockFileState::kOpenToOthers;
  if (writersAllowed < writers.size()) return LockFileState::kClosedToGroup;
  if (!IsPrivileged(owner) && !IsCurrentUser(owner) && !AmongWriters(owner, writers))
    return LockFileState::kForeignOwner;
  return LockFileState::kSound;
}

}  // namespace

SystemError SystemError::Last() {
  return {static_cast<int>(GetLastError())};
}

bool SystemError::accessDenied() const {
  return static_cast<DWORD>(code) == ERROR_ACCESS_DENIED;
}

std::string SystemError::Text() const {
  const DWORD error = static_cast<DWORD>(code);
  char* text = nullptr;
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  ScopedLocal holder(text);
  std::string message = length ? std::string(text, length) : "error " + std::to_string(error);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.'))
    message.pop_back();
  return message;
}

bool IdentifyPath(const std::string& path, FileIdentity& identity) {
  ScopedHandle handle = OpenForInspection(path);
  return handle && IdentifyHandle(handle.get(), identity);
}

NativeFile::~NativeFile() {
  Close();
}

FileOpen NativeFile::OpenForAppend(const std::string& path) {
  // Append access alone, without write access: the system puts every
  // write at the end of the file as one step, whoever else appends.
  return OpenRegular(path, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                     FILE_ATTRIBUTE_NORMAL, OPEN_ALWAYS);
}

FileOpen NativeFile::OpenLockFile(const std::string& path, LockFileState& found) {
  Close();
  found = LockFileState::kUnknown;
  bool sawLink = false;
  const FileOpen looked = CheckPath(path, false, sawLink);
  if (looked == FileOpen::kFailed) return Failed(error_);
  if (looked != FileOpen::kOpened) return looked;
  for (int attempt = 0; attempt < 3; ++attempt) {
    found = JudgeLockEntry(path);
    if (found == LockFileState::kUnknown) return Failed(error_);
    HANDLE handle = INVALID_HANDLE_VALUE;
    if (found == LockFileState::kSound) {
      handle = CreateFileA(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
      if (handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND) continue;
    } else {
      LockSecurity security;
      if (!MakeLockSecurity(FolderOf(path), security)) return Failed(error_);
      if (found == LockFileState::kMissing) {
        handle = CreateLockAt(path, security);
        if (handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS) continue;
      } else {
        // A new lock renamed over the old one; a folder, which no rename
        // replaces, is moved aside first and removed when empty.
        const std::string temporary = path + "." + UnpredictableNamePart();
        const std::string aside = path + "." + UnpredictableNamePart();
        handle = CreateLockAt(temporary, security);
        const bool folder = found == LockFileState::kNotPlainFile &&
                            (GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
        if (handle != INVALID_HANDLE_VALUE &&
            ((folder && !MoveFileExA(path.c_str(), aside.c_str(), 0)) ||
             !MoveFileExA(temporary.c_str(), path.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))) {
          Failed(error_);
          CloseHandle(handle);
          DeleteFileA(temporary.c_str());
          if (folder) RemoveDirectoryA(aside.c_str());
          return FileOpen::kFailed;
        }
        if (folder) RemoveDirectoryA(aside.c_str());
      }
    }
    if (handle == INVALID_HANDLE_VALUE) return Failed(error_);
    handle_ = reinterpret_cast<std::intptr_t>(handle);
    return FileOpen::kOpened;
  }
  return Failed(error_);
}

FileOpen NativeFile::OpenForUpdate(const std::string& path) {
  return OpenRegular(path, GENERIC_READ | GENERIC_WRITE, FILE_ATTRIBUTE_NORMAL, OPEN_EXISTING);
}

FileOpen NativeFile::OpenRegular(const std::string& path, unsigned long access,
                                 unsigned long attributes, unsigned long disposition) {
  Close();
  HANDLE handle;
  FileOpen opened = OpenChecked(path, access, disposition, attributes, nullptr, handle, error_);
  if (opened != FileOpen::kOpened) return opened;
  if (!IsRegular(handle)) {
    CloseHandle(handle);
    return FileOpen::kNotRegular;
  }
  handle_ = reinterpret_cast<std::intptr_t>(handle);
  return FileOpen::kOpened;
}

FileOpen NativeFile::CreateNew(const std::string& path, bool readableByAll) {
  Close();
  // A file for all to read takes the folder's inherited access list.
  ScopedLocal descriptor = readableByAll ? nullptr : PrivateDescriptor();
  if (!readableByAll && !descriptor) return Failed(error_);
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
  // CREATE_NEW fails on anything at path, a link included; the write,
  // owner and access-list rights let TakePermissionsOf work on this handle.
  HANDLE handle;
  FileOpen opened = OpenChecked(path, GENERIC_WRITE | READ_CONTROL | WRITE_DAC | WRITE_OWNER,
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                readableByAll ? nullptr : &attributes, handle, error_);
  if (opened == FileOpen::kOpened) handle_ = reinterpret_cast<std::intptr_t>(handle);
  return opened;
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
    if (!WriteFile(Handle(handle_), next, chunk, &written, nullptr) || written == 0) {
      error_ = SystemError::Last();
      return false;
    }
    next += written;
    left -= written;
  }
  return true;
}

bool NativeFile::WriteAt(int64_t offset, std::string_view bytes) {
  if (!isOpen()) return false;
  const char* next = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    const DWORD chunk = left > 0x40000000 ? 0x40000000 : static_cast<DWORD>(left);
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(static_cast<uint64_t>(offset) & 0xFFFFFFFFu);
    where.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
    DWORD written = 0;
    if (!WriteFile(Handle(handle_), next, chunk, &written, &where) || written == 0) {
      error_ = SystemError::Last();
      return false;
    }
    next += written;
    offset += written;
    left -= written;
  }
  return true;
}

bool NativeFile::CutTo(int64_t length) {
  if (!isOpen()) return false;
  // The append handle may only add; a second handle on the same file, with
  // write access, may cut.
  HANDLE raw = ReOpenFile(Handle(handle_), GENERIC_WRITE, kShareAll, 0);
  if (raw == INVALID_HANDLE_VALUE) {
    error_ = SystemError::Last();
    return false;
  }
  ScopedHandle writer(raw);
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = length;
  if (SetFileInformationByHandle(writer.get(), FileEndOfFileInfo, &end, sizeof end)) return true;
  error_ = SystemError::Last();
  return false;
}

bool NativeFile::Sync() {
  if (!isOpen()) return false;
  if (FlushFileBuffers(Handle(handle_))) return true;
  error_ = SystemError::Last();
  return false;
}

bool NativeFile::TakePermissionsOf(const EntryOwner& entry) {
  if (!isOpen() || entry.link || entry.permissions.empty()) return false;
  std::string descriptor = entry.permissions;
  const DWORD applied = ApplySecurity(Handle(handle_), &descriptor[0], true);
  if (applied == ERROR_SUCCESS) return true;
  error_ = {static_cast<int>(applied)};
  return false;
}

NativeFile::Rotation NativeFile::Rotate(const std::string& path, const std::string& backup) {
  if (!isOpen()) return Rotation::kFailed;
  const DWORD backupAttributes = GetFileAttributesA(backup.c_str());
  if (backupAttributes != INVALID_FILE_ATTRIBUTES && (backupAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return Rotation::kBackupNotPlainFile;
  bool sawLink = false;
  ScopedHandle entry = OpenEntry(path);
  PSID owner = nullptr;
  PACL dacl = nullptr;
  ScopedLocal security = entry ? HandleSecurity(entry.get(), owner, dacl) : nullptr;
  entry.reset();
  if (!security || CheckPath(path, false, sawLink) != FileOpen::kOpened ||
      CheckPath(backup, false, sawLink) != FileOpen::kOpened) {
    error_ = SystemError::Last();
    return Rotation::kFailed;
  }
  // The new file is ready, with the old one's access list, before the old
  // one moves.
  const std::string temporary = path + "." + UnpredictableNamePart();
  HANDLE raw = CreateFileA(temporary.c_str(), GENERIC_WRITE | READ_CONTROL | WRITE_DAC, kShareAll,
                           nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (raw == INVALID_HANDLE_VALUE) {
    error_ = SystemError::Last();
    return Rotation::kFailed;
  }
  ScopedHandle fresh(raw);
  const DWORD applied = ApplySecurity(fresh.get(), security.get(), false);
  fresh.reset();
  if (applied != ERROR_SUCCESS ||
      !MoveFileExA(path.c_str(), backup.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    error_ =
        applied != ERROR_SUCCESS ? SystemError{static_cast<int>(applied)} : SystemError::Last();
    DeleteFileA(temporary.c_str());
    return Rotation::kFailed;
  }
  // A file another run made in the meantime stays; should even this fail,
  // the next entry makes the log anew.
  if (!MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH))
    DeleteFileA(temporary.c_str());
  return Rotation::kRotated;
}

bool NativeFile::Close() {
  if (!isOpen()) return true;
  Unlock();
  bool closed = CloseHandle(Handle(handle_)) != FALSE;
  if (!closed) error_ = SystemError::Last();
  handle_ = kNoHandle;
  return closed;
}

bool ReplaceFile(const std::string& from, const std::string& to, SystemError* error) {
  bool sawLink = false;
  if (CheckPath(from, false, sawLink) == FileOpen::kOpened &&
      CheckPath(to, false, sawLink) == FileOpen::kOpened &&
      MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  if (error) *error = SystemError::Last();
  return false;
}

bool RemoveFile(const std::string& path) {
  bool sawLink = false;
  return CheckPath(path, false, sawLink) == FileOpen::kOpened && DeleteFileA(path.c_str()) != FALSE;
}

bool CreateFolder(const std::string& path, SystemError* error) {
  bool sawLink = false;
  if (CheckPath(path, true, sawLink) == FileOpen::kOpened) {
    if (CreateDirectoryA(path.c_str(), nullptr)) return true;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
      if (KindOf(path) == PathKind::kFolder) return true;
      SetLastError(ERROR_DIRECTORY);
    }
  }
  if (error) *error = SystemError::Last();
  return false;
}

std::FILE* OpenTargetStream(const std::string& path, FileOpen& outcome, SystemError& error,
                            int64_t keep, bool* cutOwed) {
  HANDLE handle;
  // Not emptied in the open: what is there is examined first.
  outcome =
      OpenChecked(path, GENERIC_WRITE, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr, handle, error);
  if (outcome != FileOpen::kOpened) return nullptr;
  const DWORD type = GetFileType(handle);
  if (type == FILE_TYPE_PIPE || (type == FILE_TYPE_DISK && !IsRegular(handle))) {
    CloseHandle(handle);
    outcome = FileOpen::kNotRegular;
    return nullptr;
  }
  if (type == FILE_TYPE_DISK) {
    // Cut at keep, where the stream then goes on; a shorter file, whose
    // records are gone, would be lengthened with zeros instead.
    LARGE_INTEGER size{};
    LARGE_INTEGER at;
    at.QuadPart = keep;
    const bool sized = GetFileSizeEx(handle, &size) != FALSE;
    if (sized && size.QuadPart < keep) SetLastError(ERROR_INVALID_DATA);
    const bool cut = sized && size.QuadPart > keep;
    if (cutOwed) *cutOwed = cut;
    if (!sized || size.QuadPart < keep || !SetFilePointerEx(handle, at, nullptr, FILE_BEGIN) ||
        (cut && !cutOwed && !SetEndOfFile(handle))) {
      outcome = Failed(error);
      CloseHandle(handle);
      return nullptr;
    }
  }
  return StreamOf(handle, _O_WRONLY | _O_BINARY, "wb", outcome, error);
}

std::FILE* OpenReadStream(const std::string& path, FileOpen& outcome, SystemError& error) {
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    error = SystemError::Last();
    const auto code = static_cast<DWORD>(error.code);
    outcome = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? FileOpen::kMissing
                                                                           : FileOpen::kFailed;
    return nullptr;
  }
  if (!IsRegular(handle)) {
    CloseHandle(handle);
    outcome = FileOpen::kNotRegular;
    return nullptr;
  }
  return StreamOf(handle, _O_RDONLY | _O_BINARY, "rb", outcome, error);
}

bool OwnerOfEntry(const std::string& path, EntryOwner& owner) {
  ScopedHandle entry = OpenEntry(path);
  BY_HANDLE_FILE_INFORMATION info;
  PSID sid = nullptr;
  PACL dacl = nullptr;
  if (!entry || !GetFileInformationByHandle(entry.get(), &info)) return false;
  ScopedLocal holder = HandleSecurity(entry.get(), sid, dacl);
  if (!holder || !sid) return false;
  owner.permissions.assign(static_cast<const char*>(holder.get()),
                           GetSecurityDescriptorLength(holder.get()));
  owner.mine = IsCurrentUser(sid);
  owner.privileged = IsPrivileged(sid);
  owner.link = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  char name[256];
  char domain[256];
  DWORD nameLength = sizeof name;
  DWORD domainLength = sizeof domain;
  SID_NAME_USE use;
  if (LookupAccountSidA(nullptr, sid, name, &nameLength, domain, &domainLength, &use)) {
    owner.name = domainLength ? std::string(domain) + "\\" + name : std::string(name);
  } else {
    char* text = nullptr;
    if (ConvertSidToStringSidA(sid, &text)) {
      ScopedLocal textHolder(text);
      owner.name = text;
    }
  }
  return true;
}

LockFileState JudgeLockFile(const std::string& path) {
  bool sawLink = false;
  return CheckPath(path, false, sawLink) == FileOpen::kOpened ? JudgeLockEntry(path)
                                                              : LockFileState::kUnknown;
}

bool FillUnpredictable(unsigned char* bytes, size_t size) {
  return RtlGenRandom(bytes, static_cast<ULONG>(size)) != FALSE;
}

bool ListFolder(const std::string& folder, std::string_view prefix,
                std::vector<FolderEntry>& entries) {
  entries.clear();
  WIN32_FIND_DATAA found;
  const std::string pattern = folder + "\\" + std::string(prefix) + "*";
  HANDLE search = FindFirstFileA(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    FolderEntry entry;
    entry.name = found.cFileName;
    entry.plainFile =
        (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
    // FILETIME counts 100 ns from 1601, the clock seconds from 1970.
    const uint64_t ticks = (static_cast<uint64_t>(found.ftLastWriteTime.dwHighDateTime) << 32) |
                           found.ftLastWriteTime.dwLowDateTime;
    entry.modified = std::chrono::system_clock::from_time_t(
        static_cast<std::time_t>((ticks - 116444736000000000ull) / 10000000ull));
    entries.push_back(std::move(entry));
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return true;
}

bool ProcessRuns(uint64_t processId) {
  HANDLE process =
      OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(processId));
  if (!process) return GetLastError() == ERROR_ACCESS_DENIED;
  DWORD code = 0;
  const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
  CloseHandle(process);
  return running;
}

bool OthersCanWrite(const std::string& folder, bool& writable) {
  ScopedHandle examined = OpenEntry(folder);
  if (!examined) return false;
  writable = OthersCanChange(examined.get());
  return true;
}

bool EveryoneCanWrite(const std::string& folder, bool& writable) {
  ScopedHandle examined = OpenEntry(folder);
  PSID owner = nullptr;
  PACL dacl = nullptr;
  ScopedLocal holder = examined ? HandleSecurity(examined.get(), owner, dacl) : nullptr;
  if (!holder) return false;
  writable = dacl == nullptr;  // no list at all lets everybody in
  return ForEachAllowed(dacl, [&](PSID sid, ACCESS_MASK mask) {
    if (GrantsChange(mask) &&
        (IsWellKnown(sid, WinWorldSid) || IsWellKnown(sid, WinBuiltinUsersSid) ||
         IsWellKnown(sid, WinAuthenticatedUserSid)))
      writable = true;
  });
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

void StartWriteback(std::FILE*, int64_t, int64_t) {
  // Windows starts no writeback it does not also wait for: the sync at the
  // end does all of it.
}

size_t WriteWholeOrNotStopped(std::FILE* stream, const char* data, size_t size) {
  WriteInProgress writing;
  return std::fwrite(data, 1, size, stream);
}

bool StreamLength(std::FILE* stream, int64_t& length) {
  length = _filelengthi64(_fileno(stream));
  return length >= 0;
}

bool CutStreamTo(std::FILE* stream, int64_t length) {
  return _chsize_s(_fileno(stream), length) == 0;
}

bool SeekStream(std::FILE* stream, int64_t offset) {
  return _fseeki64(stream, offset, SEEK_SET) == 0;
}

bool SyncFolderOf(const std::string&) {
  // The file system's own journal makes a folder entry durable; Windows
  // offers no sync of a folder to an ordinary process.
  return true;
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
  HANDLE raw = CreateFileA(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (raw == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
      return SmallFileRead::kMissing;
    return failed();
  }
  ScopedHandle handle(raw);
  // A folder, a device or a pipe is never read: a console or a pipe could
  // block the run for good.
  FileIdentity identity;
  if (!IdentifyHandle(raw, identity)) return failed();
  if (!identity.regular) return SmallFileRead::kNotRegular;
  LARGE_INTEGER length;
  if (!GetFileSizeEx(raw, &length)) return failed();
  if (length.QuadPart < 0 || static_cast<uint64_t>(length.QuadPart) > maxBytes)
    return SmallFileRead::kTooLarge;
  // Room for the length looked at and a byte more, which tells a file
  // that grew since; only such a file gets room up to a byte beyond the
  // limit. Room is zeroed, and a secret's is wiped: the limit's worth for
  // every read would cost more than the read.
  bytes.resize(static_cast<size_t>(length.QuadPart) + 1);
  size_t got = 0;
  while (got < bytes.size()) {
    const size_t want = bytes.size() - got;
    DWORD read = 0;
    if (!ReadFile(raw, &bytes[got], want > 0x40000000 ? 0x40000000 : static_cast<DWORD>(want),
                  &read, nullptr)) {
      bytes.clear();
      return failed();
    }
    if (read == 0) break;
    got += read;
    if (got == bytes.size() && got <= maxBytes) bytes.resize(maxBytes + 1);
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
  return ForEachAllowed(dacl, [&](PSID sid, ACCESS_MASK mask) {
    if (GrantsRead(mask) && !(owner && EqualSid(sid, owner)) &&
        !IsWellKnown(sid, WinBuiltinAdministratorsSid) && !IsWellKnown(sid, WinLocalSystemSid) &&
        !IsWellKnown(sid, WinCreatorOwnerRightsSid))
      readable = true;
  });
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

std::string PathInFolder(const std::string& folder, const std::string& name) {
  if (folder.empty() || folder.back() == '\\' || folder.back() == '/') return folder + name;
  return folder + '\\' + name;
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
