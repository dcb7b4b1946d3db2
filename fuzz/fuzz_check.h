// What the fuzz targets share: an invariant check that aborts (so the
// fuzzer keeps the input) and a scratch file for code that reads files.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzzcheck {

// Aborts with the message when the invariant does not hold; unlike assert
// it stays in every build type.
#define FUZZ_CHECK(condition)                                                                \
  do {                                                                                       \
    if (!(condition)) {                                                                      \
      std::fprintf(stderr, "%s:%d: invariant failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                          \
    }                                                                                        \
  } while (0)

// A file of this process that each input is written to before the code
// under test opens it by name.
class ScratchFile {
 public:
  ScratchFile() {
    const char* dir = std::getenv("TMPDIR");
    path_ = std::string(dir && *dir ? dir : "/tmp") + "/tralvo-fuzz-" + std::to_string(getpid());
  }
  ~ScratchFile() { std::remove(path_.c_str()); }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  const std::string& Write(const unsigned char* data, size_t size) {
    std::FILE* file = std::fopen(path_.c_str(), "wb");
    FUZZ_CHECK(file != nullptr);
    FUZZ_CHECK(std::fwrite(data, 1, size, file) == size);
    FUZZ_CHECK(std::fclose(file) == 0);
    return path_;
  }

 private:
  std::string path_;
};

}  // namespace fuzzcheck
