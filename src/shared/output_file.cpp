// Checked binary output for the target files, one record at a time.
#include "shared/output_file.h"

#include "shared/file_system.h"

namespace tralvo {

OutputFile::~OutputFile() {
  Close();
}

bool OutputFile::Open(const std::string& path) {
  Close();
  path_ = path;
  failed_ = false;
  file_ = std::fopen(path.c_str(), "wb");
  return file_ != nullptr;
}

bool OutputFile::Write(std::string_view bytes) {
  if (!file_ || failed_) return false;
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size() || std::fflush(file_) != 0)
    failed_ = true;
  return !failed_;
}

bool OutputFile::Flush() {
  if (!file_ || failed_) return !failed_;
  if (std::fflush(file_) != 0) failed_ = true;
  return !failed_;
}

bool OutputFile::Sync() {
  if (!file_ || failed_) return !failed_;
  if (!SyncStream(file_) || !SyncFolderOf(path_)) failed_ = true;
  return !failed_;
}

bool OutputFile::Close() {
  if (!file_) return !failed_;
  if (std::fflush(file_) != 0) failed_ = true;
  if (std::fclose(file_) != 0) failed_ = true;
  file_ = nullptr;
  return !failed_;
}

}  // namespace tralvo
