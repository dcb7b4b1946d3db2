// Batch execution; see engine.h.
#include "sql/engine.h"

#include <cstdlib>
#include <sstream>
#include <stdexcept>

#include "sql/conversion.h"
#include "sql/datetime.h"
#include "sql/permissions.h"
#include "sql/sql_functions.h"

namespace standin {
namespace {

ServerMessage Message(int number, uint8_t severity, const std::string& text) {
  ServerMessage m;
  m.number = number;
  m.severity = severity;
  m.text = text;
  return m;
}

ServerMessage Terminated() {
  return Message(3621, 0, "The statement has been terminated.");
}

Value ReadColumn(sqlite3_stmt* stmt, int i) {
  switch (sqlite3_column_type(stmt, i)) {
    case SQLITE_INTEGER:
      return Value::Int(sqlite3_column_int64(stmt, i));
    case SQLITE_FLOAT: {
      Value v;
      v.kind = Value::Kind::Real;
      v.real = sqlite3_column_double(stmt, i);
      return v;
    }
    case SQLITE_NULL:
      return Value::Null();
    default:
      return Value::Text(std::string(reinterpret_cast<const char*>(sqlite3_column_text(stmt, i)),
                                     static_cast<size_t>(sqlite3_column_bytes(stmt, i))));
  }
}

void Exec(sqlite3* db, const char* sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
    std::string text = error ? error : "unknown error";
    sqlite3_free(error);
    throw std::runtime_error(text);
  }
}

}  // namespace

std::vector<std::string> SplitScript(const std::string& script) {
  std::vector<std::string> batches;
  std::istringstream in(script);
  std::string line, current;
  while (std::getline(in, line)) {
    std::string trimmed = line;
    while (!trimmed.empty() &&
           (trimmed.back() == '\r' || trimmed.back() == ' ' || trimmed.back() == '\t'))
      trimmed.pop_back();
    size_t start = trimmed.find_first_not_of(" \t");
    trimmed = start == std::string::npos ? "" : trimmed.substr(start);
    if (ToLower(trimmed) == "go") {
      batches.push_back(current);
      current.clear();
    } else {
      current += line + "\n";
    }
  }
  if (current.find_first_not_of(" \t\r\n") != std::string::npos) batches.push_back(current);
  return batches;
}

Engine::Engine(const std::string& path, const std::string& clock) : clock_(clock) {
  if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK) {
    std::string text = db_ ? sqlite3_errmsg(db_) : "out of memory";
    sqlite3_close(db_);
    db_ = nullptr;
    throw std::runtime_error("cannot open " + path + ": " + text);
  }
  // The test fixture reads and seeds the same file from its own process.
  sqlite3_busy_timeout(db_, 10000);
  sqlite3_extended_result_codes(db_, 1);
  RegisterSqlFunctions(db_, &context_);
  try {
    Exec(db_, "PRAGMA journal_mode=WAL");
    // A test server: what a crash of the machine would lose matters less
    // than the time of every commit. WAL lets the test fixture read while
    // the server writes.
    Exec(db_, "PRAGMA synchronous=OFF");
    CreateInstallationTables(db_);
  } catch (...) {
    sqlite3_close(db_);
    db_ = nullptr;
    throw;
  }
}

Engine::~Engine() {
  ForgetPrepared();
  sqlite3_close(db_);
}

// Errors the server finds when it compiles a batch, before any of it runs;
// a missing table or column (208, 207, ...) it finds only when it comes to
// the statement.
static bool IsCompileError(int number) {
  switch (number) {
    case 102:   // syntax
    case 105:   // unclosed quotation mark
    case 109:   // more columns than values
    case 110:   // fewer columns than values
    case 137:   // undeclared variable
    case 174:   // wrong argument count
    case 191:   // nested too deeply
    case 195:   // no such function
    case 8632:  // expression too large
      return true;
    default:
      return false;
  }
}

bool Engine::Plan(const std::string& batch, const SessionInfo& session,
                  std::vector<Statement>& plan, std::optional<ServerMessage>& compileError,
                  bool& kept) {
  // Batches that come again (the same lookup for the same key) are read
  // once; the catalog they were read against must still hold. Most
  // batches carry values of their own and never come again: only one seen
  // before is kept.
  if (catalog_.version() != plansVersion_) {
    plans_.clear();
    ForgetPrepared();
    plansVersion_ = catalog_.version();
  }
  kept = false;
  auto cached = plans_.find(batch);
  if (cached != plans_.end()) {
    plan = cached->second;
    kept = true;
    return true;
  }
  Translator translator(batch, session);
  bool whole = true;
  while (!translator.AtEnd()) {
    try {
      plan.push_back(translator.Next(catalog_));
      // What follows a change of the tables is read again after it.
      if (plan.back().changesSchema) whole = false;
    } catch (const TranslateError& e) {
      if (IsCompileError(e.message.number)) compileError = e.message;
      // Past an unresolved name the rest cannot be read reliably; the
      // statement reports it when its turn comes.
      return false;
    }
  }
  if (!whole) return false;
  if (!translator.usesSession() && batch.size() <= kMaxPlannedBatch) {
    if (seen_.size() >= kMaxSeen) seen_.clear();
    if (!seen_.insert(std::hash<std::string>()(batch)).second) {
      if (plans_.size() >= kMaxPlans) {
        plans_.clear();
        ForgetPrepared();
      }
      plans_.emplace(batch, plan);
      kept = true;
    }
  }
  return true;
}

// Key, NULL and length violations and the transaction statements' own
// errors end the statement only; anything else the server treats as ending
// the batch.
static bool EndsBatch(const StatementResult& result) {
  for (const ServerMessage& m : result.messages) {
    switch (m.number) {
      case 2627:  // primary key
      case 2601:  // unique index
      case 515:   // NULL
      case 8152:  // too long
      case 3902:  // COMMIT without a transaction
      case 3903:  // ROLLBACK without a transaction
      case 628:   // SAVE without a transaction
      case 6401:  // no such savepoint
        break;
      default:
        if (m.severity > 10) return true;
    }
  }
  return false;
}

// Whether the statements need the SQLite transaction to themselves: they
// read or change tables, or set a savepoint. Others (SET, SELECT of
// values, COMMIT) take no lock on the server either.
static bool NeedsTables(const std::vector<Statement>& plan) {
  for (const Statement& st : plan) {
    if (st.readsTable || st.changesSchema || st.kind == Statement::Kind::SaveTransaction) {
      return true;
    }
  }
  return false;
}

bool Engine::Interrupted(const SessionInfo& session) {
  return session.interruption && session.interruption->Requested();
}

std::vector<StatementResult> Engine::Execute(const std::string& batch, SessionInfo& session) {
  std::unique_lock<std::mutex> lock(mutex_);
  std::vector<StatementResult> results;
  catalog_.Refresh(db_);
  // The whole batch is read first: a syntax error anywhere runs nothing.
  std::vector<Statement> plan;
  std::optional<ServerMessage> compileError;
  bool kept = false;
  bool planned = Plan(batch, session, plan, compileError, kept);
  if (!compileError && owner_ != nullptr && owner_ != &session && (!planned || NeedsTables(plan))) {
    StatementResult refused;
    if (!WaitForTurn(lock, session, refused)) {
      results.push_back(refused);
      return results;
    }
    // The other session may have changed or rolled back tables meanwhile.
    catalog_.Refresh(db_);
    plan.clear();
    planned = Plan(batch, session, plan, compileError, kept);
  }
  if (planned) {
    for (const Statement& st : plan) {
      if (!results.empty() && Interrupted(session)) break;
      StatementResult result;
      result.kind = st.kind;
      Run(st, result, session, kept);
      results.push_back(std::move(result));
      if (EndsBatch(results.back())) break;
    }
    return results;
  }
  if (compileError) {
    StatementResult result;
    result.failed = true;
    result.messages.push_back(*compileError);
    results.push_back(result);
    return results;
  }
  // Statement by statement, each read against the tables as the ones
  // before it left them.
  Translator translator(batch, session);
  while (!translator.AtEnd()) {
    if (!results.empty() && Interrupted(session)) break;
    StatementResult result;
    Statement st;
    try {
      st = translator.Next(catalog_);
    } catch (const TranslateError& e) {
      result.failed = true;
      result.messages.push_back(e.message);
      results.push_back(result);
      break;
    }
    result.kind = st.kind;
    Run(st, result, session, false);
    catalog_.Refresh(db_);
    results.push_back(result);
    if (EndsBatch(result)) break;
  }
  return results;
}

sqlite3_stmt* Engine::Prepared(const std::string& sql, bool keep) {
  if (keep) {
    auto it = prepared_.find(sql);
    if (it != prepared_.end()) return it->second;
  }
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v3(db_, sql.c_str(), -1, keep ? SQLITE_PREPARE_PERSISTENT : 0, &stmt,
                         nullptr) != SQLITE_OK) {
    sqlite3_finalize(stmt);
    return nullptr;
  }
  if (keep) prepared_.emplace(sql, stmt);
  return stmt;
}

void Engine::ForgetPrepared() {
  for (auto& entry : prepared_) sqlite3_finalize(entry.second);
  prepared_.clear();
}

void Engine::Run(const Statement& st, StatementResult& result, SessionInfo& session, bool keep) {
  switch (st.kind) {
    case Statement::Kind::Use:
      // One database lives here; the session is always in it.
      if (ToLower(st.argument) != ToLower(session.database)) {
        result.failed = true;
        result.messages.push_back(Message(911, 16,
                                          "Database '" + st.argument +
                                              "' does not exist. Make sure that the name is "
                                              "entered correctly."));
        return;
      }
      result.newDatabase = session.database;
      result.messages.push_back(
          Message(5701, 0, "Changed database context to '" + session.database + "'."));
      return;
    case Statement::Kind::SetNoCount:
      session.noCount = st.argument == "ON";
      return;
    case Statement::Kind::SetImplicitTransactions:
      session.implicitTransactions = st.argument == "ON";
      return;
    case Statement::Kind::SetLockTimeout:
      session.lockTimeoutMs = std::atoi(st.argument.c_str());
      return;
    case Statement::Kind::BeginTransaction:
    case Statement::Kind::CommitTransaction:
    case Statement::Kind::RollbackTransaction:
    case Statement::Kind::SaveTransaction:
      RunTransactionStatement(st, result, session);
      return;
    default:
      break;
  }
  if (st.sql.empty()) return;
  for (const auto& needed : st.permissions) {
    if (catalog_.Denied(*needed.first, needed.second)) {
      result.failed = true;
      result.messages.push_back(PermissionDenied(needed.second, *needed.first, session.database));
      return;
    }
  }
  if (!EnterTransaction(st, result, session)) return;
  context_.now = CanonicalText(Now(clock_));
  context_.session = &session;
  sqlite3_stmt* stmt = Prepared(st.sql, keep);
  if (!stmt) {
    ReportSqliteError(st, result);
    return;
  }
  bool select = st.kind == Statement::Kind::Select;
  if (select) {
    result.hasResultSet = true;
    result.columns = st.columns;
  }
  int rc;
  while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    if (!select) continue;
    Row row;
    for (size_t i = 0; i < st.columns.size(); ++i)
      row.push_back(ReadColumn(stmt, static_cast<int>(i)));
    result.rows.push_back(std::move(row));
  }
  if (rc != SQLITE_DONE) {
    ReportSqliteError(st, result);
    // A failed query sends no rows; a client must not see half a result.
    result.hasResultSet = false;
    result.rows.clear();
    NoticeLostTransaction(result, session);
  } else if (select) {
    result.hasCount = true;
    result.rowCount = static_cast<int64_t>(result.rows.size());
  } else if (st.kind != Statement::Kind::Other) {
    result.hasCount = true;
    result.rowCount = sqlite3_changes(db_);
  }
  if (keep) {
    sqlite3_reset(stmt);
  } else {
    sqlite3_finalize(stmt);
  }
  session.rowCount = result.rowCount;
}

std::string Engine::DuplicateKeyText(const std::string& probe, const TableInfo& table,
                                     const std::vector<size_t>& columns, bool wholeRow) {
  if (probe.empty()) return "";
  sqlite3_stmt* stmt = nullptr;
  std::string text;
  if (sqlite3_prepare_v2(db_, probe.c_str(), -1, &stmt, nullptr) == SQLITE_OK &&
      sqlite3_step(stmt) == SQLITE_ROW) {
    for (size_t k = 0; k < columns.size(); ++k) {
      const ColumnInfo& c = table.columns[columns[k]];
      Value v = ReadColumn(stmt, static_cast<int>(wholeRow ? columns[k] : k));
      text += (k ? ", " : "") + (v.IsNull() ? std::string("<NULL>") : DisplayText(v, c.type));
    }
    text = " The duplicate key value is (" + text + ").";
  }
  sqlite3_finalize(stmt);
  return text;
}

// The unique index whose columns SQLite names in "UNIQUE constraint
// failed: schema.table.a, schema.table.b"; null for the primary key.
static const IndexInfo* ViolatedIndex(const TableInfo& table, const std::string& text) {
  size_t colon = text.find(": ");
  if (colon == std::string::npos) return nullptr;
  std::vector<std::string> names;
  size_t at = colon + 2;
  while (at <= text.size()) {
    size_t end = text.find(", ", at);
    if (end == std::string::npos) end = text.size();
    std::string item = text.substr(at, end - at);
    names.push_back(ToLower(item.substr(item.rfind('.') + 1)));
    at = end + 2;
  }
  for (const IndexInfo& index : table.indexes) {
    if (!index.unique || index.columns.size() != names.size()) continue;
    bool same = true;
    for (size_t i = 0; i < names.size(); ++i)
      same = same && ToLower(table.columns[index.columns[i]].name) == names[i];
    if (same) return &index;
  }
  return nullptr;
}

void Engine::ReportSqliteError(const Statement& st, StatementResult& result) {
  std::string text = sqlite3_errmsg(db_);
  int code = sqlite3_extended_errcode(db_);
  result.failed = true;
  if (auto m = DecodeFunctionError(text)) {
    result.messages.push_back(*m);
    if (m->number == 8152) result.messages.push_back(Terminated());
    return;
  }
  if ((code == SQLITE_CONSTRAINT_PRIMARYKEY || code == SQLITE_CONSTRAINT_UNIQUE) && st.table) {
    const TableInfo& table = *st.table;
    if (st.changesSchema) {
      // CREATE UNIQUE INDEX over rows that already repeat a key.
      result.messages.push_back(Message(
          1505, 16,
          "The CREATE UNIQUE INDEX statement terminated because a duplicate key was found for "
          "the object name '" +
              table.DisplayName() + "' and the index name '" + st.argument + "'." +
              DuplicateKeyText(st.rowProbe, table, st.keyColumns, false)));
      result.messages.push_back(Terminated());
      return;
    }
    const IndexInfo* index =
        code == SQLITE_CONSTRAINT_UNIQUE ? ViolatedIndex(table, text) : nullptr;
    if (index) {
      result.messages.push_back(
          Message(2601, 14,
                  "Cannot insert duplicate key row in object '" + table.DisplayName() +
                      "' with unique index '" + index->name + "'." +
                      DuplicateKeyText(st.rowProbe, table, index->columns, true)));
    } else {
      result.messages.push_back(Message(2627, 14,
                                        "Violation of PRIMARY KEY constraint 'PK_" + table.name +
                                            "'. Cannot insert duplicate key in object '" +
                                            table.DisplayName() + "'." +
                                            DuplicateKeyText(st.rowProbe, table, table.key, true)));
    }
    result.messages.push_back(Terminated());
    return;
  }
  if (code == SQLITE_CONSTRAINT_NOTNULL) {
    // SQLite names "table.column"; the table name itself holds a dot.
    std::string column = text.substr(text.rfind('.') + 1);
    std::string object = st.table ? st.table->DisplayName() : "";
    const char* verb = st.kind == Statement::Kind::Update ? "UPDATE" : "INSERT";
    result.messages.push_back(Message(515, 16,
                                      "Cannot insert the value NULL into column '" + column +
                                          "', table '" + object +
                                          "'; column does not allow nulls. " + verb + " fails."));
    result.messages.push_back(Terminated());
    return;
  }
  if (text.find("stack overflow") != std::string::npos ||
      text.find("too large") != std::string::npos || text.find("too deep") != std::string::npos) {
    result.messages.push_back(Message(191, 15,
                                      "Some part of your SQL statement is nested too deeply. "
                                      "Rewrite the query or break it up into smaller queries."));
    return;
  }
  result.messages.push_back(Message(50000, 16, text));
}

std::vector<ServerMessage> Engine::RunScript(const std::string& script, SessionInfo& session) {
  std::vector<ServerMessage> errors;
  for (const std::string& batch : SplitScript(script)) {
    for (const StatementResult& r : Execute(batch, session)) {
      for (const ServerMessage& m : r.messages)
        if (m.severity > 10) errors.push_back(m);
    }
  }
  EndSession(session);
  return errors;
}

}  // namespace standin
