// The platform layer: the few file operations the tool needs beyond the
// standard library. A run shares its log with the runs of other terminals,
// must not mistake two names of one file for two files, must know its
// output is on the disk before it reports success, and must keep the
// configuration private. Each platform has one implementation of this file
// (file_system_posix.cpp, file_system_win32.cpp); nothing above it knows
// which one it runs on.
//
// No function here throws; every failure is a false (or an enumerated)
// result.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace tralvo {

// Which file a name leads to: two names lead to the same file when their
// identities are equal, however they are spelt and through whatever hard
// or symbolic links.
struct FileIdentity {
  uint64_t volume = 0;   // device or volume
  uint64_t index[2]{};   // the file within it (inode, or the volume's file id)
  bool regular = false;  // a plain file, not a device, pipe or folder

  bool operator==(const FileIdentity& other) const {
    return volume == other.volume && index[0] == other.index[0] && index[1] == other.index[1];
  }
  bool operator!=(const FileIdentity& other) const { return !(*this == other); }
};

// What stands at the name of a lock file (see NativeFile::OpenLockFile).
enum class LockFileState {
  kSound,          // a plain file that only the folder's group may open
  kMissing,        // nothing there
  kOpenToOthers,   // accounts outside the folder's group may open it
  kClosedToGroup,  // the folder's group may not open it for writing
  kForeignOwner,   // it belongs to an account outside the folder's group
  kNotPlainFile,   // a folder, a link, a pipe or the like
  kUnknown,        // it cannot be examined
};

// What opening a file found. Every opening below refuses a symbolic link
// that another account planted: one that is owned by an account other
// than this one and root (on Windows: this account, the system, the
// administrators and the installer) and stands in a folder such an
// account can write. Links that this account or root made, and links in
// folders only they can write, are followed. Nothing below blocks on what
// is not a plain file: a pipe without a writer, a terminal or a socket is
// examined, never waited on.
enum class FileOpen {
  kOpened,
  kMissing,      // nothing at path, or a folder on the way is missing
  kPlantedLink,  // the path leads through a link another account planted
  kNotRegular,   // a folder, pipe, socket or device where a plain file must be
  kBusy,         // held by another program that shares it with nobody (Windows): try later
  kFailed,       // refused by the system (its SystemError says why)
};

// An error of the system (errno, or GetLastError on Windows), kept from
// the moment the call failed: a reason read later would be whatever call
// failed last, somebody else's reason.
struct SystemError {
  int code = 0;
  // The error of the call that has just failed on this thread.
  static SystemError Last();
  // The system's own words for it.
  std::string Text() const;
  // Whether the system refused for want of permission.
  bool accessDenied() const;
};

// The identity of the file path names, links followed. False when nothing
// is there (or it cannot be examined).
bool IdentifyPath(const std::string& path, FileIdentity& identity);

struct EntryOwner;

// A file held open through the platform's own handle, for what the
// standard streams cannot do: lock it against other processes, create it
// privately, sync it. Closed when the object goes.
class NativeFile {
 public:
  NativeFile() = default;
  ~NativeFile();
  NativeFile(const NativeFile&) = delete;
  NativeFile& operator=(const NativeFile&) = delete;

  // Opens path for appending, creating it when missing: every write goes
  // to the end of the file, whoever else appends to it. Other processes
  // may read, append to, rename and replace the file while it is open
  // here (the log is rotated by whichever run passes the limit). Only a
  // plain file is opened. A file made here appears whole, already with
  // the folder's group, and writable by that group where the group may
  // write the folder (on Windows: with the folder's inherited access), so
  // every account that shares the folder can append to it.
  FileOpen OpenForAppend(const std::string& path);

  // Opens the lock file at path for Lock: a plain file that the folder's
  // group may open for writing and nobody else may open at all, so that
  // every account sharing the folder locks the same file and an account
  // that may only read there can hold nobody up. A missing one is made so,
  // whatever the umask; one that is not such a file (see LockFileState) is
  // replaced by a new one renamed over it, which a lock held on the old
  // one does not bind. found tells what was at path. Anything but kOpened
  // leaves no lock open: found kSound then means this account may not
  // open the sound lock (it is outside the group), otherwise that what
  // was found could not be made sound; error() tells why.
  FileOpen OpenLockFile(const std::string& path, LockFileState& found);

  // Creates path new, for writing, readable and writable by its owner
  // alone. Fails when anything is at path already, a symbolic link or a
  // dangling one included: nothing is ever followed or overwritten.
  FileOpen CreatePrivate(const std::string& path) { return CreateNew(path, false); }
  // The same for a file every account may read (a status file that a
  // collector running as another account picks up), writable by its owner.
  FileOpen CreateReadable(const std::string& path) { return CreateNew(path, true); }

  // Opens an existing plain file for writing anywhere in it (WriteAt) and
  // cutting it; never creates one.
  FileOpen OpenForUpdate(const std::string& path);

  bool isOpen() const { return handle_ != kNoHandle; }
  // The system's error of this file's last call that failed for it.
  const SystemError& error() const { return error_; }

  // Takes an exclusive lock on the whole file, shared with every process
  // that locks the same file through this call, waiting at most `wait`.
  // False when the wait ran out (or locking failed). Released by Unlock
  // or Close.
  bool Lock(std::chrono::milliseconds wait);
  void Unlock();

  bool Identify(FileIdentity& identity) const;
  // The file's length in bytes now.
  bool Size(int64_t& size) const;
  // Writes all bytes, in one system call where the platform allows, so an
  // entry appended by one process is never split by another's.
  bool WriteAll(std::string_view bytes);
  // Writes all bytes at offset, in one system call where the platform
  // allows, without moving the position WriteAll writes at.
  bool WriteAt(int64_t offset, std::string_view bytes);
  // Cuts the file back to length bytes (a write the disk took only in
  // part is taken back whole).
  bool CutTo(int64_t length);
  // Hands every byte written to stable storage.
  bool Sync();

  // Gives this file the owner and permissions that entry had when it was
  // examined, so a file that replaces it is readable by exactly whom the
  // old one was. False when that cannot be done in full.
  bool TakePermissionsOf(const EntryOwner& entry);

  // What Rotate did.
  enum class Rotation {
    kRotated,
    kBackupNotPlainFile,  // a folder at backup, which no rename replaces
    kFailed,              // nothing changed (error() tells why)
  };
  // This file, open at path, is renamed to backup, replacing the file
  // there in the same step, and an empty file with its group and
  // permission bits (on Windows: its access list) takes its place: every
  // account that could append to it can append to the new one. A file
  // that another process made at path in the meantime is left as it is.
  Rotation Rotate(const std::string& path, const std::string& backup);

  // Releases a lock and closes; false when the close reported an error.
  bool Close();

 private:
  FileOpen CreateNew(const std::string& path, bool readableByAll);
#ifdef _WIN32
  // Opens path with access and the disposition (OPEN_ALWAYS creates it
  // with attributes when missing); only a plain file.
  FileOpen OpenRegular(const std::string& path, unsigned long access, unsigned long attributes,
                       unsigned long disposition);
#endif

  static constexpr std::intptr_t kNoHandle = -1;
  std::intptr_t handle_ = kNoHandle;  // a descriptor or a HANDLE
  bool locked_ = false;
  SystemError error_;
};

// Renames from to to, replacing whatever file is at to in the same step:
// there is no moment at which neither exists. The names themselves are
// renamed, links included; a planted link on the way to their folder
// refuses the rename. error, when given, receives why it failed.
bool ReplaceFile(const std::string& from, const std::string& to, SystemError* error = nullptr);

// Who may read a file written whole.
enum class Readers { kOwner, kEveryone };

// Replaces the file at path with bytes in one step, so a reader finds
// either the old file or the new one: written under temporary (created
// anew, never through anything at that name: a leftover there is removed
// first), synced, then renamed over path. False when that failed (error,
// when given, receives why); the temporary file is gone then and the old
// file stays.
bool ReplaceWhole(const std::string& path, const std::string& temporary, std::string_view bytes,
                  Readers readers, SystemError* error = nullptr);

// Removes the entry at path (a link itself, not its target), never
// through a planted link on the way to its folder.
bool RemoveFile(const std::string& path);

// Creates the folder at path unless one is there, never through a planted
// link; the folder takes the default permissions of a new folder. True
// when a folder is at path afterwards; error, when given, receives why not.
bool CreateFolder(const std::string& path, SystemError* error = nullptr);

// Opens a target file for writing in binary: a plain file is created, or
// cut to its first keep bytes (emptied by default) and written on after
// them, and refused (kFailed) when it is shorter than that; a device (a
// null device) is used as it is; a pipe, a socket or a folder is refused
// unopened or untouched. Null on failure, with why (and for kFailed the
// system's error). With cutOwed, a plain file longer than keep is left
// uncut and *cutOwed set: the caller cuts it (CutStreamTo) before it
// writes.
std::FILE* OpenTargetStream(const std::string& path, FileOpen& outcome, SystemError& error,
                            int64_t keep = 0, bool* cutOwed = nullptr);

// Opens a plain file for reading in binary, without blocking on what is
// not one. Links are followed (what is read was never the attacker's to
// choose). Null on failure, with why (and for kFailed the system's error).
std::FILE* OpenReadStream(const std::string& path, FileOpen& outcome, SystemError& error);

// Who owns the entry at path, not following a link there, and its
// permissions, all read through one handle of the entry itself: what is
// judged is what NativeFile::TakePermissionsOf then passes on, even when
// another entry is put at path in between.
struct EntryOwner {
  std::string name;         // the account's name, or its number
  bool mine = false;        // this account
  bool privileged = false;  // root, or the system, the administrators
  bool link = false;        // the entry is a symbolic link (reparse point)
  // Owner, group and mode (POSIX) or the security descriptor (Windows), in
  // the platform's own form.
  std::string permissions;
};
// False when nothing is at path or it cannot be examined.
bool OwnerOfEntry(const std::string& path, EntryOwner& owner);

// What is at the name of a lock file, judged as OpenLockFile judges it,
// without opening or changing anything.
LockFileState JudgeLockFile(const std::string& path);

// Fills bytes with values no other account can predict, from the
// system's own source; false when it gave none.
bool FillUnpredictable(unsigned char* bytes, size_t size);

// Sixteen hexadecimal digits that no other account can predict, for the
// names of temporary files in folders that others can write.
inline std::string UnpredictableNamePart() {
  static const char kHex[] = "0123456789abcdef";
  unsigned char bytes[8] = {};
  FillUnpredictable(bytes, sizeof bytes);
  std::string part;
  for (unsigned char byte : bytes) {
    part += kHex[byte >> 4];
    part += kHex[byte & 0x0F];
  }
  return part;
}

// An entry of a folder, as ListFolder finds it.
struct FolderEntry {
  std::string name;
  bool plainFile = false;  // not a folder, link, pipe or the like
  std::chrono::system_clock::time_point modified;
};
// The entries of folder whose names begin with prefix. False when the
// folder cannot be read.
bool ListFolder(const std::string& folder, std::string_view prefix,
                std::vector<FolderEntry>& entries);

// Whether a process with this id runs (or may run: one of another account
// that cannot be asked counts as running).
bool ProcessRuns(uint64_t processId);

// Whether an account other than this one, root (the system, the
// administrators) can create, remove or replace entries in folder. False
// when that cannot be told.
bool OthersCanWrite(const std::string& folder, bool& writable);

// Whether every account may create, remove or replace entries in folder
// (on Windows: everyone, the users or the authenticated users), beyond
// the owner and group an administrator chose. False when that cannot be
// told.
bool EveryoneCanWrite(const std::string& folder, bool& writable);

// Pushes a stream's buffer to the system and the file to stable storage.
// A stream on something that is not a plain file (a device, a pipe) has
// nothing to sync and succeeds once flushed.
bool SyncStream(std::FILE* stream);

// Starts the system writing length bytes of a stream's file from offset on
// to its disk, without waiting for it, so that a later SyncStream finds
// little left to wait for. Nothing is promised about those bytes before
// SyncStream; where the system cannot do this, or the file is no plain
// file, nothing happens.
void StartWriteback(std::FILE* stream, int64_t offset, int64_t length);

// Writes size bytes to an unbuffered stream with the signals that end a
// process held off, so a run stopped by its scheduler or from the keyboard
// ends between two writes, never inside one; on any thread, the write
// counts as one in progress, which a second stop request waits for (see
// WriteInProgress). (Nothing can hold off a kill that cannot be caught.)
// Returns how many bytes the stream took.
size_t WriteWholeOrNotStopped(std::FILE* stream, const char* data, size_t size);

// The length of a stream's file now, as the system has it: a Windows C
// runtime reports nothing of a write that a full disk cut short, so what
// the file holds is the one answer to trust.
bool StreamLength(std::FILE* stream, int64_t& length);

// Cuts a stream's file back to length bytes.
bool CutStreamTo(std::FILE* stream, int64_t length);

// Moves a stream's position to offset bytes from the start of its file.
bool SeekStream(std::FILE* stream, int64_t offset);

// Makes the folder entry of path durable (a file just created or renamed
// there survives a power loss). True where the platform needs nothing.
bool SyncFolderOf(const std::string& path);

// What ReadSmallRegularFile found.
enum class SmallFileRead {
  kRead,        // bytes hold the whole file
  kMissing,     // nothing at path
  kNotRegular,  // a folder, pipe, device or the like: never opened for reading
  kTooLarge,    // more than the limit
  kFailed,      // there, but could not be read
};

// Reads the whole of a plain file of at most maxBytes into bytes without
// ever blocking on what is not one: a pipe with no writer or an endless
// device at path is refused unread. error, when given, receives the
// system's error of a kFailed.
SmallFileRead ReadSmallRegularFile(const std::string& path, size_t maxBytes, std::string& bytes,
                                   SystemError* error = nullptr);

// Makes a write beyond the process's file-size limit fail like a write to
// a full disk, reported and cut back to whole records, instead of ending
// the process by signal before it can write its summary or exit status.
// Nothing to do where the platform has no such signal.
void FailWritesBeyondSizeLimit();

// Makes a write to a console pipe that nobody reads any more fail, as any
// console write may, instead of ending the process by signal: an
// unattended run whose console went away still transfers its bookings and
// writes its summary. Not for a program whose output is its result.
void OutliveConsole();

// Whether users other than the owner (and, on Windows, the administrators)
// may read the file at path. False when that cannot be told.
bool ReadableByOthers(const std::string& path, bool& readable);

// What is at a path, links followed.
enum class PathKind { kMissing, kRegularFile, kFolder, kOther };
PathKind KindOf(const std::string& path);

// What the installation check asks of a file or folder, without doing it.
enum class FileAccess {
  kRead,   // a file: read it; a folder: list it
  kWrite,  // a file: append to it; a folder: create and remove entries in it
};

// Whether this process's account may do what access says with path. Asked
// of the system's own access rules, so nothing is written or created; false
// as well when nothing is at path.
bool AccountMay(const std::string& path, FileAccess access);

// The folder part of a path of either spelling, "." when it has none.
inline std::string FolderOf(const std::string& path) {
  const size_t separator = path.find_last_of("/\\");
  return separator == std::string::npos ? "." : path.substr(0, separator);
}

// The path of name in folder, with the platform's separator between them
// unless folder ends in one.
std::string PathInFolder(const std::string& folder, const std::string& name);

// The absolute form of path, for naming it in messages: links resolved as
// far as the path exists.
std::string ResolvedPath(const std::string& path);

// This process's id, for names no other running process uses.
uint64_t ProcessId();

// Whether this process runs as root (on Windows: as an administrator or
// the system account), whom no file permission stops.
bool RunsAsAdministrator();

}  // namespace tralvo
