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
// The optional key of the folder where every run leaves its status for
// the monitoring; without it a run leaves none.
inline constexpr const char* kStatusDirKey = "STATUS_DIR";

// On Windows the path as it stands; elsewhere with every backslash made a
// slash, which is the only difference between the two spellings here.
std::string NativePath(const std::string& windowsPath);

// The folder STATUS_DIR names in the configuration file at configPath;
// empty when it names none. Only a record of that key counts: one that
// every lookup selects (number 0 or empty section) would otherwise put
// another setting, the password even, into a path.
std::string ReadStatusFolder(const std::string& configPath);

}  // namespace tralvo
