// Translation of the installation's Windows relative paths, and the
// optional setting of where its runs leave their status.
#include "config/installation.h"

#include <algorithm>

#include "config/config_reader.h"

namespace tralvo {

std::string NativePath(const std::string& windowsPath) {
#ifdef _WIN32
  return windowsPath;
#else
  std::string path = windowsPath;
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
#endif
}

std::string ReadStatusFolder(const std::string& configPath) {
  ConfigEntry entry;
  ReadConfigValue(entry, "", kStatusDirKey, 0, configPath);
  return entry.key == kStatusDirKey ? entry.value : std::string();
}

}  // namespace tralvo
