// Translation of the installation's Windows relative paths.
#include "config/installation.h"

#include <algorithm>

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

}  // namespace tralvo
