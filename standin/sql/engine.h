// Runs T-SQL batches against the SQLite file: translates each statement,
// executes it, and reports rows, row counts and the server's messages.
// One engine serves every connection; batches run one at a time.
#pragma once

#include <sqlite3.h>

#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "sql/catalog.h"
#include "sql/translator.h"

namespace standin {

struct StatementResult {
  Statement::Kind kind = Statement::Kind::Other;
  bool hasResultSet = false;
  std::vector<Column> columns;
  std::vector<Row> rows;
  bool hasCount = false;  // INSERT, UPDATE, DELETE and SELECT report how many rows
  int64_t rowCount = 0;
  bool failed = false;
  std::vector<ServerMessage> messages;  // errors and informational messages, in order
  std::string newDatabase;              // set by USE
};

class Engine {
 public:
  // Opens (creating when missing) the database and its installation
  // tables. Throws std::runtime_error when the file cannot be used.
  Engine(const std::string& path, const std::string& clock);
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // Runs every statement of the batch until one fails in a way that ends
  // the batch, as the server does.
  std::vector<StatementResult> Execute(const std::string& batch, SessionInfo& session);

  // Runs a script of batches separated by lines holding only GO; returns
  // the errors (empty when all went well).
  std::vector<ServerMessage> RunScript(const std::string& script, SessionInfo& session);

 private:
  // Reads the whole batch into `plan`; false when it has to be read
  // statement by statement instead, with `compileError` set when it is not
  // to run at all.
  // `kept` tells whether the plan is kept for the batch's next coming.
  bool Plan(const std::string& batch, const SessionInfo& session, std::vector<Statement>& plan,
            std::optional<ServerMessage>& compileError, bool& kept);
  // Runs one statement; `keep` keeps its prepared form for the next time.
  void Run(const Statement& st, StatementResult& result, SessionInfo& session, bool keep);
  // The prepared SQLite statement of `sql`, which the caller finalizes
  // unless `keep`; null when it does not compile (the error is in the
  // connection).
  sqlite3_stmt* Prepared(const std::string& sql, bool keep);
  void ForgetPrepared();
  void ReportSqliteError(const Statement& st, StatementResult& result);
  std::string DuplicateKeyText(const Statement& st);

  std::mutex mutex_;
  sqlite3* db_ = nullptr;
  std::string clock_;
  std::string now_;  // CURRENT_TIMESTAMP of the running statement
  Catalog catalog_;
  // Plans and prepared statements by text, each kept up to a bound.
  static constexpr size_t kMaxPlans = 4096;
  static constexpr size_t kMaxPlannedBatch = 64 * 1024;
  static constexpr size_t kMaxSeen = 65536;
  std::unordered_set<size_t> seen_;  // hashes of batches read once
  std::unordered_map<std::string, std::vector<Statement>> plans_;
  int plansVersion_ = -1;
  std::unordered_map<std::string, sqlite3_stmt*> prepared_;
};

// Splits a script at lines holding only GO (any case, blanks around it).
std::vector<std::string> SplitScript(const std::string& script);

}  // namespace standin
