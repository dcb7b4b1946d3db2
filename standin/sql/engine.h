// Runs T-SQL batches against the SQLite file: translates each statement,
// executes it, and reports rows, row counts and the server's messages.
// One engine serves every connection; batches run one at a time.
//
// Transactions: one SQLite connection serves every session, so one session
// at a time may hold an open SQLite transaction. A session takes it with
// its first write inside a transaction and keeps it until it commits,
// rolls back or goes away; meanwhile every other session's batches wait,
// as the server's locks would make them wait: until it ends, until the
// waiting session's client stops the request or goes, or until the
// session's SET LOCK_TIMEOUT passes (then failing with 1222). Reads
// outside that session therefore see committed rows only. A session per
// SQLite connection would let readers pass, but would give every session
// its own catalog, plans and prepared statements; the tests need
// correctness here, not concurrency.
#pragma once

#include <sqlite3.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "sql/catalog.h"
#include "sql/sql_functions.h"
#include "sql/translator.h"

namespace standin {

// A transaction began or ended: the session tells the client with the
// transaction's descriptor.
struct TransactionChange {
  enum class Kind { Begin, Commit, Rollback } kind = Kind::Begin;
  uint64_t id = 0;
};

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
  std::vector<TransactionChange> transactionChanges;
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

  // Runs a script of batches separated by lines holding only GO, as a
  // connection of its own that ends with it; returns the errors (empty
  // when all went well).
  std::vector<ServerMessage> RunScript(const std::string& script, SessionInfo& session);

  // Runs one of the transaction statements (BeginTransaction,
  // CommitTransaction, RollbackTransaction, SaveTransaction) on its own, as
  // the driver's transaction-manager requests ask for it.
  StatementResult Transaction(Statement::Kind kind, const std::string& name, SessionInfo& session);
  // The session's connection has ended: what it did not commit is rolled
  // back, and the others may go on.
  void EndSession(SessionInfo& session) noexcept;
  // From now on the login may not do what `denial` denies. Before serving.
  void Deny(const Denial& denial) { catalog_.Deny(denial); }

  // How often a waiting session looks whether its client stopped the
  // request; the owner's end wakes it at once.
  static constexpr std::chrono::milliseconds kWatchInterval{20};

  // The clock lock waits are measured by: the steady clock unless a test
  // gives one that runs faster, so that a wait of days takes moments.
  using WaitClock = std::function<std::chrono::steady_clock::time_point()>;
  void SetWaitClock(WaitClock clock) { waitClock_ = std::move(clock); }

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
  // " The duplicate key value is (...)." from the first row of `probe`:
  // the cells `cells` of it, shown as the table's columns `columns`.
  std::string DuplicateKeyText(const std::string& probe, const TableInfo& table,
                               const std::vector<size_t>& columns, bool wholeRow);

  // Whether the session's client stopped the request: a batch ends before
  // its next statement (what ran stays), a wait for another session ends.
  static bool Interrupted(const SessionInfo& session);

  // Transactions (engine_transactions.cpp). The caller holds mutex_.
  // Waits until no other session holds the SQLite transaction; false, with
  // `refused` failed, when the session's lock timeout passed first (the
  // server's error) or its client stopped the request (no message: the
  // client is owed none).
  bool WaitForTurn(std::unique_lock<std::mutex>& lock, const SessionInfo& session,
                   StatementResult& refused);
  void RunTransactionStatement(const Statement& st, StatementResult& result, SessionInfo& session);
  // Before a statement runs: the implicit transaction it opens, and the
  // SQLite transaction a write inside a transaction needs.
  bool EnterTransaction(const Statement& st, StatementResult& result, SessionInfo& session);
  // After a statement failed: SQLite may have ended the transaction itself.
  void NoticeLostTransaction(StatementResult& result, SessionInfo& session);
  void Open(SessionInfo& session, StatementResult& result);
  bool Claim(SessionInfo& session, StatementResult& result);
  void Close(SessionInfo& session, bool commit, StatementResult& result);
  bool ExecOrReport(const std::string& sql, StatementResult& result);

  std::mutex mutex_;
  std::condition_variable turn_;
  WaitClock waitClock_ = [] { return std::chrono::steady_clock::now(); };
  const SessionInfo* owner_ = nullptr;  // holds the open SQLite transaction
  uint64_t lastTransactionId_ = 0;
  sqlite3* db_ = nullptr;
  std::string clock_;
  StatementContext context_;  // of the running statement
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
