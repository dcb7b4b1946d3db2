// SELECT: the select list, FROM with joins, WHERE, GROUP BY, HAVING,
// UNION, ORDER BY and TOP.
#include "sql/translator.h"

namespace standin {

Translator::SelectResult Translator::ParseSelect() {
  scopes_.emplace_back();
  SelectResult result = ParseSelectCore();
  while (Accept("UNION")) {
    bool all = Accept("ALL");
    scopes_.back().clear();
    SelectResult next = ParseSelectCore();
    if (next.columns.size() != result.columns.size()) {
      Fail(205,
           "All queries combined using a UNION, INTERSECT or EXCEPT operator must have an equal "
           "number of expressions in their target lists.");
    }
    result.sql += (all ? " UNION ALL " : " UNION ") + next.sql;
  }
  if (Accept("ORDER")) {
    Expect("BY");
    result.sql += " ORDER BY ";
    bool first = true;
    do {
      if (!first) result.sql += ", ";
      first = false;
      if (Peek().kind == Token::Kind::Number) {
        result.sql += Take().text;
      } else {
        Expr e = ParseExpression();
        result.sql += e.type.IsText() ? CollatedText(e.sql) : e.sql;
      }
      if (Accept("DESC")) {
        result.sql += " DESC";
      } else {
        Accept("ASC");
      }
    } while (AcceptSymbol(","));
  }
  if (!result.limit.empty()) result.sql += " LIMIT " + result.limit;
  scopes_.pop_back();
  return result;
}

void Translator::SkipSelectList() {
  int depth = 0;
  while (true) {
    const Token& t = Peek();
    if (t.kind == Token::Kind::End) return;
    if (depth == 0) {
      if (t.IsSymbol(")") || t.Is("FROM") || t.Is("WHERE") || t.Is("GROUP") || t.Is("ORDER") ||
          t.Is("HAVING") || t.Is("UNION") || AtStatementBoundary()) {
        return;
      }
    }
    if (t.IsSymbol("(")) ++depth;
    if (t.IsSymbol(")")) --depth;
    Take();
  }
}

Translator::SelectResult Translator::ParseSelectCore() {
  Expect("SELECT");
  SelectResult result;
  bool distinct = Accept("DISTINCT");
  if (!distinct) Accept("ALL");
  if (Accept("TOP")) {
    bool paren = AcceptSymbol("(");
    if (Peek().kind != Token::Kind::Number) SyntaxError();
    result.limit = Take().text;
    if (paren) ExpectSymbol(")");
  }
  // The select list names columns of the FROM tables, which follow it:
  // read FROM first, then come back for the list.
  size_t listStart = pos_;
  SkipSelectList();
  size_t listEnd = pos_;
  std::string from;
  if (Accept("FROM")) from = ParseFromClause();
  size_t afterFrom = pos_;
  pos_ = listStart;
  ParseSelectItems(result);
  if (pos_ != listEnd) SyntaxError();
  pos_ = afterFrom;

  std::string sql = distinct ? "SELECT DISTINCT " : "SELECT ";
  for (size_t i = 0; i < result.items.size(); ++i) {
    sql +=
        (i ? ", " : "") + result.items[i] + " AS " + QuoteIdentifier("c" + std::to_string(i + 1));
  }
  if (!from.empty()) sql += " FROM " + from;
  if (Accept("WHERE")) sql += " WHERE " + ParseExpression().sql;
  if (Accept("GROUP")) {
    Expect("BY");
    sql += " GROUP BY ";
    bool first = true;
    do {
      Expr e = ParseExpression();
      sql += (first ? "" : ", ") + (e.type.IsText() ? CollatedText(e.sql) : e.sql);
      first = false;
    } while (AcceptSymbol(","));
  }
  if (Accept("HAVING")) sql += " HAVING " + ParseExpression().sql;
  result.sql = sql;
  return result;
}

void Translator::ParseSelectItems(SelectResult& result) {
  auto add = [&](const Expr& e, const std::string& name) {
    std::string emitted = "c" + std::to_string(result.items.size() + 1);
    // DISTINCT, UNION and ORDER BY compare a text result under the
    // default collation too.
    result.items.push_back(e.type.IsText() ? CollatedText(e.sql) : e.sql);
    result.columns.push_back(Column{name, e.type});
    if (!name.empty()) selectAliases_.emplace_back(name, emitted);
  };
  auto addAll = [&](const ScopeTable& st) {
    for (const ColumnInfo& c : st.table->columns) {
      Expr e;
      e.sql = QuoteIdentifier(st.ref) + "." + QuoteIdentifier(c.name);
      e.type = c.type;
      add(e, c.name);
    }
  };
  do {
    if (AcceptSymbol("*")) {
      if (scopes_.back().empty()) Fail(263, "Must specify table to select from.");
      for (const ScopeTable& st : scopes_.back()) addAll(st);
      continue;
    }
    if (IsIdentifier(Peek()) && Peek(1).IsSymbol(".") && Peek(2).IsSymbol("*")) {
      std::string qualifier = ToLower(Take().text);
      Take();
      Take();
      bool found = false;
      for (const ScopeTable& st : scopes_.back()) {
        if (st.alias == qualifier || (st.alias.empty() && ToLower(st.table->name) == qualifier)) {
          addAll(st);
          found = true;
        }
      }
      if (!found) {
        Fail(4104, "The multi-part identifier \"" + qualifier + "\" could not be bound.");
      }
      continue;
    }
    // "name = expression" names a column in T-SQL.
    if (IsIdentifier(Peek()) && Peek(1).IsSymbol("=")) {
      std::string alias = Take().text;
      Take();
      add(ParseExpression(), alias);
      continue;
    }
    Expr e = ParseExpression();
    std::string name = e.name;
    if (Accept("AS")) {
      if (Peek().kind == Token::Kind::String) {
        name = Take().text;
      } else {
        name = TakeIdentifier();
      }
    } else if (IsIdentifier(Peek()) || Peek().kind == Token::Kind::String) {
      name = Take().text;
    }
    add(e, name);
  } while (AcceptSymbol(","));
}

std::string Translator::ParseFromClause() {
  std::string sql = ParseTableReference();
  while (true) {
    std::string join;
    if (AcceptSymbol(",")) {
      sql += ", " + ParseTableReference();
      continue;
    }
    if (Accept("INNER") || Peek().Is("JOIN")) {
      join = "JOIN";
    } else if (Accept("LEFT")) {
      Accept("OUTER");
      join = "LEFT JOIN";
    } else if (Accept("CROSS")) {
      join = "CROSS JOIN";
    } else {
      break;
    }
    Expect("JOIN");
    sql += " " + join + " " + ParseTableReference();
    if (join != "CROSS JOIN") {
      Expect("ON");
      sql += " ON " + ParseExpression().sql;
    }
  }
  return sql;
}

std::string Translator::ParseTableReference() {
  const TableInfo& table = ParseTableName();
  std::string alias;
  if (Accept("AS")) {
    alias = TakeIdentifier();
  } else if (IsIdentifier(Peek())) {
    alias = Take().text;
  }
  // Table hints such as WITH (NOLOCK) change nothing here.
  if (Peek().Is("WITH") && Peek(1).IsSymbol("(")) Take();
  if (AcceptSymbol("(")) {
    while (!Peek().IsSymbol(")") && Peek().kind != Token::Kind::End) Take();
    ExpectSymbol(")");
  }
  std::string ref = alias.empty() ? table.SqliteName() : alias;
  scopes_.back().push_back(ScopeTable{&table, ToLower(alias), ref});
  std::string sql = QuoteIdentifier(table.SqliteName());
  if (!alias.empty()) sql += " AS " + QuoteIdentifier(alias);
  return sql;
}

}  // namespace standin
