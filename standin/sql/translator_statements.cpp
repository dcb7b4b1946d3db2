// The statements that change data or the session: INSERT, UPDATE, DELETE,
// CREATE TABLE, DROP TABLE and SET, and the resolution of table names.
#include <cstdlib>

#include "sql/translator.h"

namespace standin {

const TableInfo& Translator::ParseTableName(std::string* writtenOut) {
  // schema.table, database.schema.table and database..table; an empty or
  // missing schema is dbo.
  std::vector<std::string> parts;
  std::string written;
  while (true) {
    if (Peek().IsSymbol(".")) {
      parts.emplace_back();
    } else {
      parts.push_back(TakeIdentifier());
      written += parts.back();
    }
    if (!Peek().IsSymbol(".")) break;
    Take();
    written += ".";
  }
  if (parts.size() > 3 || parts.back().empty()) SyntaxError();
  // Only the hosted database holds tables.
  if (parts.size() == 3 && !parts[0].empty() && ToLower(parts[0]) != ToLower(session_.database)) {
    Fail(208, "Invalid object name '" + written + "'.");
  }
  std::string name = parts.back();
  std::string schema = parts.size() >= 2 ? parts[parts.size() - 2] : "";
  if (writtenOut) *writtenOut = written;
  const TableInfo* table = catalog_->Find(schema, name);
  if (!table) Fail(208, "Invalid object name '" + written + "'.");
  readsTable_ = true;
  named_.push_back(table);
  return *table;
}

std::string Translator::StoreExpression(const Expr& value, const ColumnInfo& column) const {
  return "tds_store(" + value.sql + ", " + std::to_string(TypeCode(column.type)) + ", " +
         std::to_string(column.type.length) + ", " + std::to_string(TypeCode(value.type)) + ")";
}

Statement Translator::ParseInsert() {
  Expect("INSERT");
  Accept("INTO");
  Statement st;
  st.kind = Statement::Kind::Insert;
  const TableInfo& table = ParseTableName();
  st.table = &table;
  std::vector<size_t> targets;
  if (AcceptSymbol("(")) {
    do {
      std::string name = TakeIdentifier();
      size_t index = 0;
      if (!table.Find(name, &index)) Fail(207, "Invalid column name '" + name + "'.");
      targets.push_back(index);
    } while (AcceptSymbol(","));
    ExpectSymbol(")");
  } else {
    for (size_t i = 0; i < table.columns.size(); ++i) targets.push_back(i);
  }
  std::string columns;
  for (size_t i = 0; i < targets.size(); ++i) {
    columns += (i ? ", " : "") + QuoteIdentifier(table.columns[targets[i]].name);
  }
  st.sql = "INSERT INTO " + QuoteIdentifier(table.SqliteName()) + " (" + columns + ") ";
  auto checkCount = [&](size_t values) {
    if (values < targets.size()) {
      Fail(109,
           "There are more columns in the INSERT statement than values specified in the VALUES "
           "clause. The number of values in the VALUES clause must match the number of columns "
           "specified in the INSERT statement.",
           15);
    }
    if (values > targets.size()) {
      Fail(110,
           "There are fewer columns in the INSERT statement than values specified in the VALUES "
           "clause. The number of values in the VALUES clause must match the number of columns "
           "specified in the INSERT statement.",
           15);
    }
  };
  if (Peek().Is("SELECT")) {
    scopes_.emplace_back();
    SelectResult select = ParseSelect();
    scopes_.pop_back();
    checkCount(select.columns.size());
    std::string items;
    for (size_t i = 0; i < targets.size(); ++i) {
      Expr e;
      e.sql = QuoteIdentifier("c" + std::to_string(i + 1));
      e.type = select.columns[i].type;
      items += (i ? ", " : "") + StoreExpression(e, table.columns[targets[i]]);
    }
    st.sql += "SELECT " + items + " FROM (" + select.sql + ")";
    return st;
  }
  Expect("VALUES");
  bool firstRow = true;
  do {
    ExpectSymbol("(");
    std::vector<std::string> stored;
    do {
      Expr value = ParseExpression();
      if (stored.size() < targets.size()) {
        stored.push_back(StoreExpression(value, table.columns[targets[stored.size()]]));
      } else {
        stored.emplace_back();
      }
    } while (AcceptSymbol(","));
    ExpectSymbol(")");
    checkCount(stored.size());
    std::string row;
    for (size_t i = 0; i < stored.size(); ++i) row += (i ? ", " : "") + stored[i];
    st.sql += (firstRow ? "VALUES (" : ", (") + row + ")";
    if (firstRow && table.HasUniqueKey()) {
      // Reports the key of a duplicate row as the server's message does.
      std::string probe;
      for (size_t c = 0; c < table.columns.size(); ++c) {
        std::string item = "NULL";
        for (size_t i = 0; i < targets.size(); ++i)
          if (targets[i] == c) item = stored[i];
        probe += (c ? ", " : "") + item;
      }
      st.rowProbe = "SELECT " + probe;
    }
    firstRow = false;
  } while (AcceptSymbol(","));
  return st;
}

Statement Translator::ParseUpdate() {
  Expect("UPDATE");
  Statement st;
  st.kind = Statement::Kind::Update;
  scopes_.emplace_back();
  const TableInfo& table = ParseTableName();
  st.table = &table;
  scopes_.back().push_back(ScopeTable{&table, "", table.SqliteName()});
  Expect("SET");
  std::string sets;
  do {
    std::string name = TakeIdentifier();
    while (AcceptSymbol(".")) name = TakeIdentifier();  // a qualified target column
    const ColumnInfo* column = table.Find(name);
    if (!column) Fail(207, "Invalid column name '" + name + "'.");
    ExpectSymbol("=");
    Expr value = ParseExpression();
    sets += (sets.empty() ? "" : ", ") + QuoteIdentifier(column->name) + " = " +
            StoreExpression(value, *column);
  } while (AcceptSymbol(","));
  st.sql = "UPDATE " + QuoteIdentifier(table.SqliteName()) + " SET " + sets;
  if (Accept("WHERE")) st.sql += " WHERE " + ParseExpression().sql;
  scopes_.pop_back();
  return st;
}

Statement Translator::ParseDelete() {
  Expect("DELETE");
  Accept("FROM");
  Statement st;
  st.kind = Statement::Kind::Delete;
  scopes_.emplace_back();
  const TableInfo& table = ParseTableName();
  st.table = &table;
  scopes_.back().push_back(ScopeTable{&table, "", table.SqliteName()});
  st.sql = "DELETE FROM " + QuoteIdentifier(table.SqliteName());
  if (Accept("WHERE")) st.sql += " WHERE " + ParseExpression().sql;
  scopes_.pop_back();
  return st;
}

Statement Translator::ParseCreateTable() {
  Expect("CREATE");
  Expect("TABLE");
  std::vector<std::string> parts{TakeIdentifier()};
  while (AcceptSymbol(".")) parts.push_back(TakeIdentifier());
  if (parts.size() > 3) SyntaxError();
  TableInfo table;
  table.name = parts.back();
  table.schema = parts.size() >= 2 ? parts[parts.size() - 2] : "dbo";
  if (catalog_->Find(table.schema, table.name)) {
    Fail(2714, "There is already an object named '" + table.name + "' in the database.");
  }
  ExpectSymbol("(");
  do {
    if (Accept("CONSTRAINT")) TakeIdentifier();
    if (Accept("PRIMARY")) {
      Expect("KEY");
      if (!Accept("CLUSTERED")) Accept("NONCLUSTERED");
      ExpectSymbol("(");
      do {
        std::string name = TakeIdentifier();
        size_t index = 0;
        if (!table.Find(name, &index)) {
          Fail(1911, "Column name '" + name + "' does not exist in the target table or view.");
        }
        table.key.push_back(index);
        table.columns[index].nullable = false;
        if (!Accept("ASC")) Accept("DESC");
      } while (AcceptSymbol(","));
      ExpectSymbol(")");
      continue;
    }
    ColumnInfo column;
    column.name = TakeIdentifier();
    // A text column declared without a length holds one character.
    column.type = ParseTypeSpec(1);
    while (true) {
      if (Accept("NOT")) {
        Expect("NULL");
        column.nullable = false;
      } else if (Accept("NULL")) {
        column.nullable = true;
      } else if (Accept("PRIMARY")) {
        Expect("KEY");
        column.nullable = false;
        table.key.push_back(table.columns.size());
      } else {
        break;
      }
    }
    table.columns.push_back(column);
  } while (AcceptSymbol(","));
  ExpectSymbol(")");
  Statement st;
  st.sql = CreateTableSql(table);
  st.changesSchema = true;
  return st;
}

Statement Translator::ParseCreateIndex() {
  Expect("CREATE");
  bool unique = Accept("UNIQUE");
  if (!Accept("CLUSTERED")) Accept("NONCLUSTERED");
  Expect("INDEX");
  IndexInfo index;
  index.name = TakeIdentifier();
  index.unique = unique;
  Expect("ON");
  std::vector<std::string> parts{TakeIdentifier()};
  while (AcceptSymbol(".")) parts.push_back(TakeIdentifier());
  if (parts.size() > 3) SyntaxError();
  std::string schema = parts.size() >= 2 ? parts[parts.size() - 2] : "";
  const TableInfo* table = catalog_->Find(schema, parts.back());
  if (!table) {
    Fail(1088, "Cannot find the object \"" + parts.back() +
                   "\" because it does not exist or you do not have permissions.");
  }
  ExpectSymbol("(");
  do {
    std::string name = TakeIdentifier();
    size_t column = 0;
    if (!table->Find(name, &column)) {
      Fail(1911, "Column name '" + name + "' does not exist in the target table or view.");
    }
    index.columns.push_back(column);
    if (!Accept("ASC")) Accept("DESC");
  } while (AcceptSymbol(","));
  ExpectSymbol(")");
  if (table->FindIndex(index.name)) {
    Fail(1913, "The operation failed because an index or statistics with name '" + index.name +
                   "' already exists on table '" + table->DisplayName() + "'.");
  }
  Statement st;
  st.table = table;
  st.argument = index.name;
  st.sql = CreateIndexSql(*table, index);
  if (unique) {
    std::string key;
    for (size_t c : index.columns)
      key += (key.empty() ? "" : ", ") + QuoteIdentifier(table->columns[c].name);
    st.keyColumns = index.columns;
    st.rowProbe = "SELECT " + key + " FROM " + QuoteIdentifier(table->SqliteName()) + " GROUP BY " +
                  key + " HAVING COUNT(*) > 1 LIMIT 1";
  }
  st.changesSchema = true;
  return st;
}

Statement Translator::ParseDropTable() {
  Expect("DROP");
  Expect("TABLE");
  bool ifExists = false;
  if (Peek().Is("IF") && Peek(1).Is("EXISTS")) {
    Take();
    Take();
    ifExists = true;
  }
  std::vector<std::string> parts{TakeIdentifier()};
  while (AcceptSymbol(".")) parts.push_back(TakeIdentifier());
  std::string schema = parts.size() >= 2 ? parts[parts.size() - 2] : "";
  const TableInfo* table = catalog_->Find(schema, parts.back());
  Statement st;
  if (!table) {
    if (ifExists) return st;
    Fail(3701, "Cannot drop the table '" + parts.back() +
                   "', because it does not exist or you do not have permission.");
  }
  st.sql = "DROP TABLE " + QuoteIdentifier(table->SqliteName());
  st.changesSchema = true;
  return st;
}

Statement Translator::SkipToBoundary(Statement::Kind kind) {
  Statement st;
  st.kind = kind;
  while (!AtStatementBoundary()) Take();
  return st;
}

Statement Translator::ParseSet() {
  Expect("SET");
  Statement st;
  if (Accept("NOCOUNT")) {
    st.kind = Statement::Kind::SetNoCount;
  } else if (Accept("IMPLICIT_TRANSACTIONS")) {
    st.kind = Statement::Kind::SetImplicitTransactions;
  }
  if (st.kind != Statement::Kind::Other) {
    if (!Peek().Is("ON") && !Peek().Is("OFF")) SyntaxError();
    st.argument = Take().Is("ON") ? "ON" : "OFF";
    return st;
  }
  if (Accept("LOCK_TIMEOUT")) {
    st.kind = Statement::Kind::SetLockTimeout;
    bool negative = AcceptSymbol("-");
    if (Peek().kind != Token::Kind::Number) SyntaxError();
    st.argument = (negative ? "-" : "") + Take().text;
    return st;
  }
  if (!IsIdentifier(Peek()) && !Peek().Is("TRANSACTION")) SyntaxError();
  // Session options (TEXTSIZE, ANSI_NULLS, DATEFORMAT, ...) do not change
  // how this server answers; they are accepted as given.
  Take();
  return SkipToBoundary(Statement::Kind::Other);
}

}  // namespace standin
