// Appending to the transfer log, with its rotation to the backup.
#include "export/transfer_log.h"

#include <cstdio>

namespace tralvo {

std::string LogBackupPath(const std::string& path) {
  static constexpr std::string_view kExtension = ".txt";
  if (path.size() >= kExtension.size() &&
      path.compare(path.size() - kExtension.size(), kExtension.size(), kExtension) == 0)
    return path.substr(0, path.size() - kExtension.size()) + "_bak" + std::string(kExtension);
  return path + "_bak";
}

bool WriteLog(const std::string& path, std::string_view text) {
  std::string entry;
  entry.reserve(text.size() + 16);
  for (char c : text) {
    if (c == '\n') entry += '\r';
    entry += c;
  }
  entry += "\r\n";

  // Binary append: the CR LF pairs are made here, identically everywhere.
  std::FILE* file = std::fopen(path.c_str(), "ab");
  if (!file) return false;
  bool written = std::fwrite(entry.data(), 1, entry.size(), file) == entry.size();
  written = std::fflush(file) == 0 && written;
  long size = std::ftell(file);
  written = std::fclose(file) == 0 && written;
  if (size > kLogSizeLimit) {
    std::string backup = LogBackupPath(path);
    std::remove(backup.c_str());
    std::rename(path.c_str(), backup.c_str());
  }
  return written;
}

}  // namespace tralvo
