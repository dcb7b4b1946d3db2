// A console for a run whose bytes a test reads back.
#pragma once

#include <cstdio>
#include <string>

namespace testsupport {

class ConsoleCapture {
 public:
  ConsoleCapture();
  ~ConsoleCapture();
  ConsoleCapture(const ConsoleCapture&) = delete;
  ConsoleCapture& operator=(const ConsoleCapture&) = delete;
  std::FILE* stream() const { return file_; }
  // Everything written so far.
  std::string text();

 private:
  std::FILE* file_;
};

}  // namespace testsupport
