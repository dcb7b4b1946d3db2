// Helpers the test groups share: a temporary folder that removes itself,
// whole-file reads and writes in bytes, and child processes whose exit
// status and standard output the tests inspect.
#pragma once

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace testsupport {

// Sanitized builds run several times slower; time bounds are for the
// ordinary build and are stretched by this factor under the sanitizers.
#if defined(__SANITIZE_ADDRESS__)
constexpr double kSanitizerSlowdown = 6;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr double kSanitizerSlowdown = 6;
#else
constexpr double kSanitizerSlowdown = 1;
#endif
#else
constexpr double kSanitizerSlowdown = 1;
#endif
constexpr bool kSanitizedBuild = kSanitizerSlowdown > 1;

// A fresh folder under the system's temporary folder, removed with all it
// holds when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
void MakeDirs(const std::string& path);

struct ProcessResult {
  int exitStatus = -1;    // the low 8 bits as the shell shows them, or -1 on a signal
  std::string output;     // standard output, byte for byte
  std::string errors;     // standard error
  bool timedOut = false;  // killed when its time ran out
};

// Runs argv[0] with argv in the folder cwd, standard input fed from input,
// the environment extended by (or overriding with) env. A child still
// running after timeout (when it is not zero) is killed.
//
// When the tests run against the Windows build (WindowsBuildUnderTest), a
// program of the tool's own Linux build is replaced by its .exe from the
// Windows build, run under Wine, and its console text is read back with
// the Windows console's CR LF made a line feed again: apart from the
// argument encoding, which the Wine runner takes care of, this is the only
// expectation that differs between the two builds.
ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& cwd,
                         const std::string& input = "",
                         const std::map<std::string, std::string>& env = {},
                         std::chrono::milliseconds timeout = {});

// The Windows build folder when the tests run against the Windows
// programs (the test command sets TRALVO_WINDOWS_BUILD for that pass),
// otherwise empty.
std::string WindowsBuildUnderTest();

// The script that runs a Windows program under Wine: its first argument
// is the .exe, the rest are the program's.
std::string WineRunner();

}  // namespace testsupport
