// Token handling and statement dispatch of the translator; see translator.h.
#include "sql/translator.h"

#include <strings.h>

namespace standin {
namespace {

// Words that begin a statement, so that one statement ends where the next
// begins even without a semicolon, as T-SQL allows.
const char* const kStatementWords[] = {"SELECT",  "INSERT",   "UPDATE", "DELETE",   "SET",
                                       "USE",     "BEGIN",    "COMMIT", "ROLLBACK", "CREATE",
                                       "DROP",    "TRUNCATE", "IF",     "DECLARE",  "EXEC",
                                       "EXECUTE", "PRINT",    "WHILE",  "RETURN",   "SAVE"};

const char* const kReservedWords[] = {
    "FROM",  "WHERE", "GROUP",   "ORDER",    "HAVING", "UNION", "AS",     "JOIN",   "INNER", "LEFT",
    "RIGHT", "OUTER", "CROSS",   "FULL",     "ON",     "AND",   "OR",     "NOT",    "IS",    "NULL",
    "IN",    "LIKE",  "BETWEEN", "VALUES",   "INTO",   "BY",    "ASC",    "DESC",   "CASE",  "WHEN",
    "THEN",  "ELSE",  "END",     "DISTINCT", "TOP",    "ALL",   "EXISTS", "ESCAPE", "WITH"};

}  // namespace

std::string QuoteIdentifier(const std::string& id) {
  std::string out = "\"";
  for (char c : id) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

std::string CollatedText(const std::string& sql) {
  return "(" + sql + " COLLATE tds_ci)";
}

std::string QuoteLiteral(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

Translator::Translator(const std::string& batch, const SessionInfo& session) : session_(session) {
  tokens_ = Tokenize(batch, lexError_);
}

const Token& Translator::Peek(size_t ahead) const {
  size_t at = pos_ + ahead;
  return at < tokens_.size() ? tokens_[at] : tokens_.back();
}

const Token& Translator::Take() {
  const Token& t = Peek();
  if (pos_ + 1 < tokens_.size()) ++pos_;
  return t;
}

bool Translator::Accept(const char* word) {
  if (!Peek().Is(word)) return false;
  Take();
  return true;
}

bool Translator::AcceptSymbol(const char* symbol) {
  if (!Peek().IsSymbol(symbol)) return false;
  Take();
  return true;
}

void Translator::Expect(const char* word) {
  if (!Accept(word)) SyntaxError();
}

void Translator::ExpectSymbol(const char* symbol) {
  if (!AcceptSymbol(symbol)) SyntaxError();
}

void Translator::SyntaxError() const {
  // At the end of the batch the server names the last token it read.
  const Token& t = Peek().kind == Token::Kind::End && pos_ > 0 ? tokens_[pos_ - 1] : Peek();
  std::string near = t.text;
  if (t.kind == Token::Kind::String || t.kind == Token::Kind::NString) near = t.text;
  Fail(102, "Incorrect syntax near '" + near + "'.", 15);
}

void Translator::Fail(int number, const std::string& text, uint8_t severity) const {
  TranslateError e;
  e.message.number = number;
  e.message.severity = severity;
  e.message.text = text;
  // The end of the batch lies past its last line; name the last token's.
  e.message.line =
      Peek().kind == Token::Kind::End && pos_ > 0 ? tokens_[pos_ - 1].line : Peek().line;
  throw e;
}

bool Translator::IsReserved(const Token& t) const {
  if (t.kind != Token::Kind::Word) return false;
  for (const char* w : kReservedWords)
    if (t.Is(w)) return true;
  for (const char* w : kStatementWords)
    if (t.Is(w)) return true;
  return false;
}

bool Translator::IsIdentifier(const Token& t) const {
  return t.kind == Token::Kind::QuotedId || (t.kind == Token::Kind::Word && !IsReserved(t));
}

std::string Translator::TakeIdentifier() {
  if (!IsIdentifier(Peek())) SyntaxError();
  return Take().text;
}

bool Translator::AtStatementBoundary() const {
  const Token& t = Peek();
  if (t.kind == Token::Kind::End || t.IsSymbol(";")) return true;
  for (const char* w : kStatementWords)
    if (t.Is(w)) return true;
  return false;
}

bool Translator::AtEnd() {
  while (Peek().IsSymbol(";")) Take();
  return lexError_.empty() && Peek().kind == Token::Kind::End;
}

Statement Translator::Next(const Catalog& catalog) {
  catalog_ = &catalog;
  depth_ = 0;
  readsTable_ = false;
  named_.clear();
  scopes_.clear();
  selectAliases_.clear();
  while (Peek().IsSymbol(";")) Take();
  if (!lexError_.empty()) {
    std::string error = lexError_;
    lexError_.clear();
    pos_ = tokens_.size() - 1;
    Fail(105, error, 15);
  }
  Statement st;
  const Token& first = Peek();
  if (first.Is("SELECT")) {
    SelectResult select = ParseSelect();
    st.kind = Statement::Kind::Select;
    st.sql = select.sql;
    st.columns = select.columns;
  } else if (first.Is("INSERT")) {
    st = ParseInsert();
  } else if (first.Is("UPDATE")) {
    st = ParseUpdate();
  } else if (first.Is("DELETE")) {
    st = ParseDelete();
  } else if (first.Is("TRUNCATE")) {
    Take();
    Expect("TABLE");
    const TableInfo& table = ParseTableName();
    st.kind = Statement::Kind::Delete;
    st.table = &table;
    st.sql = "DELETE FROM " + QuoteIdentifier(table.SqliteName());
  } else if (first.Is("CREATE")) {
    st = Peek(1).Is("TABLE") ? ParseCreateTable() : ParseCreateIndex();
  } else if (first.Is("DROP")) {
    st = ParseDropTable();
  } else if (first.Is("SET")) {
    st = ParseSet();
  } else if (first.Is("USE")) {
    Take();
    st.kind = Statement::Kind::Use;
    st.argument = TakeIdentifier();
  } else if (first.Is("BEGIN") || first.Is("COMMIT") || first.Is("ROLLBACK") || first.Is("SAVE")) {
    st = ParseTransaction();
  } else {
    SyntaxError();
  }
  if (!AtStatementBoundary()) SyntaxError();
  st.readsTable = readsTable_;
  const char* verb = st.kind == Statement::Kind::Insert   ? "INSERT"
                     : st.kind == Statement::Kind::Update ? "UPDATE"
                     : st.kind == Statement::Kind::Delete ? "DELETE"
                     : st.kind == Statement::Kind::Select ? "SELECT"
                                                          : nullptr;
  for (size_t i = 0; verb && i < named_.size(); ++i) {
    bool target = i == 0 && named_[i] == st.table;
    st.permissions.emplace_back(named_[i], target ? verb : "SELECT");
  }
  return st;
}

Statement Translator::ParseTransaction() {
  Statement st;
  const Token& verb = Take();
  bool named = Accept("TRAN") || Accept("TRANSACTION");
  if (verb.Is("BEGIN")) {
    st.kind = Statement::Kind::BeginTransaction;
  } else if (verb.Is("COMMIT")) {
    st.kind = Statement::Kind::CommitTransaction;
  } else if (verb.Is("ROLLBACK")) {
    st.kind = Statement::Kind::RollbackTransaction;
  } else {
    st.kind = Statement::Kind::SaveTransaction;
  }
  // BEGIN alone opens a block, which this server does not run; COMMIT
  // and ROLLBACK take WORK instead of a name.
  if (!named) {
    if (st.kind == Statement::Kind::BeginTransaction ||
        st.kind == Statement::Kind::SaveTransaction) {
      SyntaxError();
    }
    Accept("WORK");
    return st;
  }
  if (IsIdentifier(Peek())) st.argument = Take().text;
  if (st.kind == Statement::Kind::SaveTransaction && st.argument.empty()) SyntaxError();
  return st;
}

}  // namespace standin
