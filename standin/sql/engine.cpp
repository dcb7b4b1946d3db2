// Batch execution; see engine.h.
#include "sql/engine.h"

#include <sstream>
#include <stdexcept>

#include "sql/conversion.h"
#include "sql/datetime.h"
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
  RegisterSqlFunctions(db_, &now_);
  try {
    Exec(db_, "PRAGMA journal_mode=WAL");
    Exec(db_, "PRAGMA synchronous=NORMAL");
    CreateInstallationTables(db_);
  } catch (...) {
    sqlite3_close(db_);
    db_ = nullptr;
    throw;
  }
}

Engine::~Engine() {
  sqlite3_close(db_);
}

// Errors the server finds when it compiles a batch, before any of it runs;
// a missing table or column (208, 207, ...) it finds only when it comes to
// the statement.
static bool IsCompileError(int number) {
  switch (number) {
    case 102:  // syntax
    case 105:  // unclosed quotation mark
    case 109:  // more columns than values
    case 110:  // fewer columns than values
    case 137:  // undeclared variable
    case 174:  // wrong argument count
    case 191:  // nested too deeply
    case 195:  // no such function
      return true;
    default:
      return false;
  }
}

std::optional<ServerMessage> Engine::CompileError(const std::string& batch,
                                                  const SessionInfo& session) {
  Translator translator(batch, session);
  while (!translator.AtEnd()) {
    try {
      translator.Next(catalog_);
    } catch (const TranslateError& e) {
      if (IsCompileError(e.message.number)) return e.message;
      // Past an unresolved name the rest cannot be read reliably; the
      // statement reports it when its turn comes.
      return std::nullopt;
    }
  }
  return std::nullopt;
}

std::vector<StatementResult> Engine::Execute(const std::string& batch, SessionInfo& session) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<StatementResult> results;
  catalog_.Refresh(db_);
  // The whole batch is read first: a syntax error anywhere runs nothing.
  if (auto error = CompileError(batch, session)) {
    StatementResult result;
    result.failed = true;
    result.messages.push_back(*error);
    results.push_back(result);
    return results;
  }
  Translator translator(batch, session);
  while (!translator.AtEnd()) {
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
    Run(st, result, session);
    catalog_.Refresh(db_);
    bool endsBatch = false;
    for (const ServerMessage& m : result.messages) {
      // Key, NULL and length violations end the statement only; anything
      // else the server treats as ending the batch.
      if (m.severity > 10 && m.number != 2627 && m.number != 515 && m.number != 8152) {
        endsBatch = true;
      }
    }
    results.push_back(result);
    if (endsBatch) break;
  }
  return results;
}

void Engine::Run(const Statement& st, StatementResult& result, SessionInfo& session) {
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
    default:
      break;
  }
  if (st.sql.empty()) return;
  now_ = CanonicalText(Now(clock_));
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db_, st.sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
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
  } else if (select) {
    result.hasCount = true;
    result.rowCount = static_cast<int64_t>(result.rows.size());
  } else if (st.kind != Statement::Kind::Other) {
    result.hasCount = true;
    result.rowCount = sqlite3_changes(db_);
  }
  sqlite3_finalize(stmt);
  session.rowCount = result.rowCount;
}

std::string Engine::DuplicateKeyText(const Statement& st) {
  if (st.keyProbe.empty()) return "";
  sqlite3_stmt* stmt = nullptr;
  std::string text;
  if (sqlite3_prepare_v2(db_, st.keyProbe.c_str(), -1, &stmt, nullptr) == SQLITE_OK &&
      sqlite3_step(stmt) == SQLITE_ROW) {
    for (size_t k = 0; k < st.table->key.size(); ++k) {
      const ColumnInfo& c = st.table->columns[st.table->key[k]];
      Value v = ReadColumn(stmt, static_cast<int>(k));
      text += (k ? ", " : "") + (v.IsNull() ? std::string("<NULL>") : DisplayText(v, c.type));
    }
    text = " The duplicate key value is (" + text + ").";
  }
  sqlite3_finalize(stmt);
  return text;
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
  if (code == SQLITE_CONSTRAINT_PRIMARYKEY || code == SQLITE_CONSTRAINT_UNIQUE) {
    std::string object = st.table ? st.table->DisplayName() : "";
    std::string name = st.table ? st.table->name : "";
    result.messages.push_back(Message(2627, 14,
                                      "Violation of PRIMARY KEY constraint 'PK_" + name +
                                          "'. Cannot insert duplicate key in object '" + object +
                                          "'." + DuplicateKeyText(st)));
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
  return errors;
}

}  // namespace standin
