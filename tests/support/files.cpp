// Temporary folders and whole files in bytes for the tests, over the
// standard library alone, so the unit tests run on Windows as well.
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "test_support.h"

namespace testsupport {

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::error_code error;
  const fs::path base = fs::temp_directory_path(error);
  if (error) throw std::runtime_error("no temporary folder");
  std::random_device seed;
  std::mt19937_64 numbers(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate = base / ("tralvo-test-" + std::to_string(numbers()));
    if (fs::create_directory(candidate, error)) {
      path_ = candidate.generic_string();
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
  // A test may have made files or folders read-only; they go all the same.
  std::error_code error;
  for (const auto& entry : fs::recursive_directory_iterator(path_, error))
    fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, error);
  fs::remove_all(path_, error);
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

bool FileExists(const std::string& path) {
  std::error_code error;
  return fs::exists(path, error);
}

void MakeDirs(const std::string& path) {
  std::error_code error;
  fs::create_directories(path, error);
  if (error) throw std::runtime_error("cannot create " + path);
}

}  // namespace testsupport
