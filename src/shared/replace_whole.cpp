// Replacing a small file whole, the same way on every platform, over the
// platform layer's own operations.
#include "shared/file_system.h"

namespace tralvo {

bool ReplaceWhole(const std::string& path, const std::string& temporary, std::string_view bytes,
                  Readers readers, SystemError* error) {
  NativeFile file;
  const auto create = [&] {
    return readers == Readers::kEveryone ? file.CreateReadable(temporary)
                                         : file.CreatePrivate(temporary);
  };
  // A leftover of a process that died here (or had this id before) is
  // removed (a link is removed itself, never followed) and the file
  // created anew.
  if (create() != FileOpen::kOpened) {
    RemoveFile(temporary);
    if (create() != FileOpen::kOpened) {
      if (error) *error = file.error();
      return false;
    }
  }
  bool written = file.WriteAll(bytes) && file.Sync();
  written = file.Close() && written;
  SystemError renameError;
  if (written && ReplaceFile(temporary, path, &renameError)) {
    SyncFolderOf(path);
    return true;
  }
  if (error) *error = written ? renameError : file.error();
  RemoveFile(temporary);
  return false;
}

}  // namespace tralvo
