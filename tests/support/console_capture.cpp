// The captured console: a temporary file read back from its start.
#include "console_capture.h"

#include <stdexcept>

namespace testsupport {

ConsoleCapture::ConsoleCapture() : file_(std::tmpfile()) {
  if (!file_) throw std::runtime_error("tmpfile failed");
}

ConsoleCapture::~ConsoleCapture() {
  std::fclose(file_);
}

std::string ConsoleCapture::text() {
  std::fflush(file_);
  long end = std::ftell(file_);
  std::string bytes(static_cast<size_t>(end), '\0');
  std::rewind(file_);
  size_t got = std::fread(bytes.data(), 1, bytes.size(), file_);
  bytes.resize(got);
  std::fseek(file_, 0, SEEK_END);
  return bytes;
}

}  // namespace testsupport
