// The statement log; see statement_log.h.
#include "tds/statement_log.h"

#include <cstdlib>
#include <stdexcept>

namespace standin {

StatementLog::StatementLog(const std::string& path) {
  if (path.empty()) return;
  file_ = std::fopen(path.c_str(), "ab");
  if (!file_) throw std::runtime_error("cannot open the statement log " + path);
}

StatementLog::~StatementLog() {
  if (file_) std::fclose(file_);
}

void StatementLog::Append(const std::string& batch) {
  if (!file_) return;
  std::string line;
  line.reserve(batch.size() + 1);
  for (char c : batch) {
    if (c == '\\') {
      line += "\\\\";
    } else if (c == '\n') {
      line += "\\n";
    } else if (c == '\r') {
      line += "\\r";
    } else {
      line += c;
    }
  }
  line += '\n';
  std::lock_guard<std::mutex> lock(mutex_);
  // A log that misses a batch would let a test count round trips wrongly,
  // so a failed write ends the server rather than going unnoticed.
  if (std::fwrite(line.data(), 1, line.size(), file_) != line.size() || std::fflush(file_) != 0) {
    std::perror("statement log");
    std::abort();
  }
}

}  // namespace standin
