// Translates a T-SQL batch, one statement at a time, into SQLite SQL that
// calls the functions of sql_functions.h, and works out the server types
// of the result columns, which SQLite alone cannot tell.
#pragma once

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "sql/catalog.h"
#include "sql/sql_lexer.h"
#include "sql/sql_types.h"

namespace standin {

// The database the stand-in hosts unless told otherwise.
inline constexpr char kDefaultDatabase[] = "TRALVO";

// Asked while a request runs or waits whether its client wants it stopped
// (an attention, or the connection's end).
class Interruption {
 public:
  virtual bool Requested() = 0;

 protected:
  ~Interruption() = default;
};

// What a connection contributes to the statements: the values of the
// server variables and the options SET changes.

struct SessionInfo {
  int spid = 51;
  std::string database = kDefaultDatabase;  // the one the engine hosts
  std::string user;
  int64_t rowCount = 0;
  bool noCount = false;
  // The transaction state the engine keeps for the connection.
  int tranCount = 0;  // @@TRANCOUNT
  bool implicitTransactions = false;
  int lockTimeoutMs = -1;                // SET LOCK_TIMEOUT; -1 waits without a limit
  uint64_t transactionId = 0;            // the open transaction's descriptor, 0 when none
  std::string transactionName;           // of the outermost BEGIN TRANSACTION
  std::vector<std::string> savepoints;   // SAVE TRANSACTION names, oldest first
  Interruption* interruption = nullptr;  // the client's; none for a script run at start
};

// The server variables that change while a batch runs; a statement reads
// them when it runs, not when the batch is read.
enum class SessionVariable { RowCount, TranCount };

struct Statement {
  enum class Kind {
    Select,
    Insert,
    Update,
    Delete,
    Use,
    SetNoCount,
    SetImplicitTransactions,
    SetLockTimeout,
    BeginTransaction,
    CommitTransaction,
    RollbackTransaction,
    SaveTransaction,
    Other
  } kind = Kind::Other;
  std::string sql;                   // SQLite text; empty when nothing runs
  std::vector<Column> columns;       // of a Select
  const TableInfo* table = nullptr;  // target of Insert, Update, Delete
  // Insert: selects every column of its first row; CREATE UNIQUE INDEX:
  // the first key that repeats, its columns `keyColumns`.
  std::string rowProbe;
  std::vector<size_t> keyColumns;
  // Use: the database; the SET options: "ON", "OFF" or the number; the
  // transaction statements: the name, if any; CREATE INDEX: the index.
  std::string argument;
  bool changesSchema = false;  // CREATE TABLE, DROP TABLE, CREATE INDEX
  bool readsTable = false;     // names a table (so it opens an implicit transaction)
  // What running a query or a change asks of the login: the verb's own
  // permission on its target, SELECT on every other table it names.
  std::vector<std::pair<const TableInfo*, const char*>> permissions;
};

// A statement the server rejects before running it: the message it
// reports; the engine tells compile errors from unresolved names by number.
struct TranslateError {
  ServerMessage message;
};

class Translator {
 public:
  Translator(const std::string& batch, const SessionInfo& session);
  bool AtEnd();
  // The next statement, resolved against `catalog` as it is now (earlier
  // statements of the batch may have changed it). Throws TranslateError.
  Statement Next(const Catalog& catalog);
  // Whether a statement read so far holds a value of the session (a
  // server variable, the user or database name), so that its text alone
  // does not determine it.
  bool usesSession() const { return usesSession_; }

  struct Expr {
    std::string sql;
    SqlType type;
    std::string name;  // the column name a client sees, empty for expressions
  };

 private:
  struct ScopeTable {
    const TableInfo* table;
    std::string alias;  // lower case, empty when none
    std::string ref;    // the qualifier emitted in SQLite text
  };
  struct SelectResult {
    std::string sql;
    std::vector<Column> columns;
    std::vector<std::string> items;  // the SQLite expression of each column
    std::string limit;               // from TOP, applied after ORDER BY
  };

  // Tokens
  const Token& Peek(size_t ahead = 0) const;
  const Token& Take();
  bool Accept(const char* word);
  bool AcceptSymbol(const char* symbol);
  void Expect(const char* word);
  void ExpectSymbol(const char* symbol);
  [[noreturn]] void SyntaxError() const;
  [[noreturn]] void Fail(int number, const std::string& text, uint8_t severity = 16) const;
  bool IsIdentifier(const Token& t) const;
  bool IsReserved(const Token& t) const;
  bool AtStatementBoundary() const;
  std::string TakeIdentifier();

  // Statements (translator_statements.cpp)
  Statement ParseInsert();
  Statement ParseUpdate();
  Statement ParseDelete();
  Statement ParseCreateTable();
  Statement ParseCreateIndex();
  Statement ParseDropTable();
  Statement ParseSet();
  Statement ParseTransaction();
  Statement SkipToBoundary(Statement::Kind kind);
  const TableInfo& ParseTableName(std::string* written = nullptr);
  std::string StoreExpression(const Expr& value, const ColumnInfo& column) const;

  // Queries (translator_select.cpp)
  SelectResult ParseSelect();
  SelectResult ParseSelectCore();
  std::string ParseFromClause();
  std::string ParseTableReference();
  void ParseSelectItems(SelectResult& result);
  void SkipSelectList();

  // Expressions (translator_expressions.cpp)
  Expr ParseExpression();
  Expr ParseAnd();
  Expr ParseNot();
  Expr ParsePredicate();
  Expr ParseAdditive();
  Expr ParseMultiplicative();
  Expr ParseUnary();
  Expr ParsePrimary();
  Expr ParseColumnReference();
  Expr ParseFunction(const std::string& name);
  Expr ParseConvert();
  Expr ParseHasPermsByName();
  Expr SystemVariable(const std::string& name) const;
  SqlType ParseTypeSpec(int defaultTextLength = 30);
  Expr Compare(const Expr& left, const std::string& op, const Expr& right) const;

  // Bounds the recursion of the parser, so that a deeply nested batch is
  // refused with an error instead of exhausting the stack.
  class NestingGuard {
   public:
    explicit NestingGuard(Translator& t);
    ~NestingGuard() { --t_.depth_; }

   private:
    Translator& t_;
  };
  int depth_ = 0;
  mutable bool usesSession_ = false;
  bool readsTable_ = false;              // the statement being read named a table
  std::vector<const TableInfo*> named_;  // the tables it named, in order

  std::vector<Token> tokens_;
  std::string lexError_;
  size_t pos_ = 0;
  SessionInfo session_;
  const Catalog* catalog_ = nullptr;
  std::vector<std::vector<ScopeTable>> scopes_;
  std::vector<std::pair<std::string, std::string>> selectAliases_;  // alias, emitted name
};

std::string QuoteIdentifier(const std::string& id);
// A text expression under the server's default collation.
std::string CollatedText(const std::string& sql);
std::string QuoteLiteral(const std::string& text);

}  // namespace standin
