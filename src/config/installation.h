// The fixed places of an installation. The tool finds its log and its
// configuration through Windows relative paths against the working
// directory; every path that reaches the file system goes through
// NativePath so the same installation layout works on every platform.
#pragma once

#include <string>

namespace tralvo {

inline constexpr const char* kTransferLogPath = "..\\..\\Quorvex_php\\log\\TralvoLog.txt";
inline constexpr const char* kTransferLogBackupPath = "..\\..\\Quorvex_php\\log\\TralvoLog_bak.txt";
inline constexpr const char* kConfigFilePath = "..\\..\\Files\\quorvex.ini";

// On Windows the path as it stands; elsewhere with every backslash made a
// slash, which is the only difference between the two spellings here.
std::string NativePath(const std::string& windowsPath);

}  // namespace tralvo
