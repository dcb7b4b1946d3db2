// The statement log: every batch a client sends, verbatim, one per line,
// so tests can assert the exact texts and count the round trips.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

namespace standin {

class StatementLog {
 public:
  // An empty path logs nothing. Throws std::runtime_error when the file
  // cannot be opened for appending.
  explicit StatementLog(const std::string& path);
  ~StatementLog();
  StatementLog(const StatementLog&) = delete;
  StatementLog& operator=(const StatementLog&) = delete;

  // Backslashes inside the batch are written as \\, line feeds as \n and
  // carriage returns as \r, so that one batch stays one line and reads back
  // unchanged; every line is flushed at once because a test may read the
  // file while the server runs.
  void Append(const std::string& batch);

 private:
  std::mutex mutex_;
  FILE* file_ = nullptr;
};

}  // namespace standin
