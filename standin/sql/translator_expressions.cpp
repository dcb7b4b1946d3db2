// Expressions: operators by T-SQL precedence, literals, column references,
// functions and server variables, each with the server type it yields.
#include <strings.h>

#include <cstdlib>

#include "sql/permissions.h"
#include "sql/translator.h"

namespace standin {
namespace {

using Expr = Translator::Expr;

constexpr size_t kMaxListItems = 65535;

SqlType Type(TypeKind kind, int length = 0) {
  SqlType t;
  t.kind = kind;
  t.length = length;
  return t;
}

// The wider of two numeric types, as the server's type precedence picks.
SqlType NumericResult(const SqlType& a, const SqlType& b) {
  if (a.kind == TypeKind::Null) return b.kind == TypeKind::Null ? Type(TypeKind::Int) : b;
  if (b.kind == TypeKind::Null) return a;
  return static_cast<int>(a.kind) >= static_cast<int>(b.kind) ? a : b;
}

std::string ConvertCall(const Expr& value, const SqlType& target, int style) {
  return "tds_convert(" + value.sql + ", " + std::to_string(TypeCode(target)) + ", " +
         std::to_string(target.length) + ", " + std::to_string(style) + ", " +
         std::to_string(TypeCode(value.type)) + ")";
}

// A text compared with a datetime is read as a datetime first, as the
// server converts the lower-precedence operand.
Expr AsDateTimeIfNeeded(const Expr& e, const Expr& other) {
  if (other.type.kind == TypeKind::DateTime && e.type.IsText()) {
    Expr r = e;
    r.sql = ConvertCall(e, Type(TypeKind::DateTime), 0);
    r.type = Type(TypeKind::DateTime);
    return r;
  }
  return e;
}

// Texts compare under the default collation wherever they come from, not
// only in columns: the left operand carries it into SQLite's comparison.
// A text against a number is converted to the number instead.
std::string Collated(const Expr& e, const Expr& other) {
  bool texts = e.type.IsText() && (other.type.IsText() || other.type.kind == TypeKind::Null);
  return texts ? CollatedText(e.sql) : e.sql;
}

}  // namespace

Translator::NestingGuard::NestingGuard(Translator& t) : t_(t) {
  // The server's own limit lies in the same region.
  if (++t_.depth_ > 200) {
    t_.Fail(191,
            "Some part of your SQL statement is nested too deeply. Rewrite the query or break it "
            "up into smaller queries.",
            15);
  }
}

// A chain "a op b op c" becomes "((a op b) op c)": the opening parentheses
// are counted and put in front once, so the text grows in one pass instead
// of being copied for every term.
struct Chain {
  size_t opens = 0;
  std::string tail;
  void Add(const std::string& op, const std::string& right) {
    ++opens;
    tail += ' ';
    tail += op;
    tail += ' ';
    tail += right;
    tail += ')';
  }
  void Close(Expr& left) {
    if (opens == 0) return;
    left.sql.insert(0, opens, '(');
    left.sql += tail;
    left.name.clear();
  }
};

Expr Translator::ParseExpression() {
  NestingGuard guard(*this);
  Expr left = ParseAnd();
  Chain chain;
  while (Accept("OR")) {
    chain.Add("OR", ParseAnd().sql);
    left.type = Type(TypeKind::Int);
  }
  chain.Close(left);
  return left;
}

Expr Translator::ParseAnd() {
  Expr left = ParseNot();
  Chain chain;
  while (Accept("AND")) {
    chain.Add("AND", ParseNot().sql);
    left.type = Type(TypeKind::Int);
  }
  chain.Close(left);
  return left;
}

Expr Translator::ParseNot() {
  NestingGuard guard(*this);
  if (Accept("NOT")) {
    Expr e = ParseNot();
    e.sql = "(NOT " + e.sql + ")";
    e.name.clear();
    return e;
  }
  return ParsePredicate();
}

Expr Translator::Compare(const Expr& left, const std::string& op, const Expr& right) const {
  Expr l = AsDateTimeIfNeeded(left, right);
  Expr r = AsDateTimeIfNeeded(right, left);
  Expr e;
  e.sql = "(" + Collated(l, r) + " " + op + " " + r.sql + ")";
  e.type = Type(TypeKind::Int);
  return e;
}

Expr Translator::ParsePredicate() {
  Expr left = ParseAdditive();
  static const char* const kComparisons[][2] = {{"=", "="}, {"<>", "<>"}, {"!=", "<>"}, {"<", "<"},
                                                {">", ">"}, {"<=", "<="}, {">=", ">="}};
  for (const auto& c : kComparisons) {
    if (AcceptSymbol(c[0])) return Compare(left, c[1], ParseAdditive());
  }
  if (Accept("IS")) {
    bool negated = Accept("NOT");
    Expect("NULL");
    Expr e;
    e.sql = "(" + left.sql + (negated ? " IS NOT NULL)" : " IS NULL)");
    e.type = Type(TypeKind::Int);
    return e;
  }
  bool negated = false;
  if (Peek().Is("NOT") && (Peek(1).Is("LIKE") || Peek(1).Is("IN") || Peek(1).Is("BETWEEN"))) {
    Take();
    negated = true;
  }
  std::string notText = negated ? " NOT" : "";
  if (Accept("LIKE")) {
    Expr pattern = ParseAdditive();
    std::string escape = Accept("ESCAPE") ? ParseAdditive().sql : "NULL";
    bool unicode = left.type.IsUnicode() || pattern.type.IsUnicode();
    Expr e;
    e.sql = std::string(negated ? "(NOT " : "(") + "tds_like(" + left.sql + ", " + pattern.sql +
            ", " + escape + ", " + (unicode ? "1" : "0") + "))";
    e.type = Type(TypeKind::Int);
    return e;
  }
  if (Accept("BETWEEN")) {
    Expr low = AsDateTimeIfNeeded(ParseAdditive(), left);
    Expect("AND");
    Expr high = AsDateTimeIfNeeded(ParseAdditive(), left);
    Expr e;
    e.sql = "(" + Collated(left, low) + notText + " BETWEEN " + low.sql + " AND " + high.sql + ")";
    e.type = Type(TypeKind::Int);
    return e;
  }
  if (Accept("IN")) {
    ExpectSymbol("(");
    Expr e;
    e.type = Type(TypeKind::Int);
    std::string list;
    Expr first;
    size_t items = 0;
    do {
      // The server gives up on lists this long as well.
      if (++items > kMaxListItems) {
        Fail(8632,
             "Internal error: An expression services limit has been reached. Please look for "
             "potentially complex expressions in your query, and try to simplify them.",
             17);
      }
      if (!list.empty()) list += ", ";
      Expr item = AsDateTimeIfNeeded(ParseAdditive(), left);
      if (list.empty()) first.type = item.type;
      list += item.sql;
    } while (AcceptSymbol(","));
    e.sql = "(" + Collated(left, first) + notText + " IN (" + list + "))";
    ExpectSymbol(")");
    return e;
  }
  if (negated) SyntaxError();
  return left;
}

Expr Translator::ParseAdditive() {
  Expr left = ParseMultiplicative();
  Chain chain;
  while (Peek().IsSymbol("+") || Peek().IsSymbol("-")) {
    std::string op = Take().text;
    Expr right = ParseMultiplicative();
    SqlType type;
    if (op == "+" && (left.type.IsText() || right.type.IsText())) {
      // '+' on texts concatenates; the result is as long as both together.
      bool fixed = (left.type.kind == TypeKind::Char || left.type.kind == TypeKind::Null) &&
                   (right.type.kind == TypeKind::Char || right.type.kind == TypeKind::Null);
      bool unicode = left.type.IsUnicode() || right.type.IsUnicode();
      TypeKind kind = unicode ? (fixed ? TypeKind::NChar : TypeKind::NVarChar)
                              : (fixed ? TypeKind::Char : TypeKind::VarChar);
      int length = left.type.length + right.type.length;
      int limit = unicode ? 4000 : 8000;
      type = Type(kind, length > limit ? limit : (length < 1 ? 1 : length));
      op = "||";
    } else {
      type = NumericResult(left.type, right.type);
    }
    chain.Add(op, right.sql);
    left.type = type;
  }
  chain.Close(left);
  return left;
}

Expr Translator::ParseMultiplicative() {
  Expr left = ParseUnary();
  Chain chain;
  while (Peek().IsSymbol("*") || Peek().IsSymbol("/") || Peek().IsSymbol("%")) {
    std::string op = Take().text;
    Expr right = ParseUnary();
    left.type = NumericResult(left.type, right.type);
    chain.Add(op, right.sql);
  }
  chain.Close(left);
  return left;
}

Expr Translator::ParseUnary() {
  NestingGuard guard(*this);
  if (Peek().IsSymbol("-") || Peek().IsSymbol("+")) {
    std::string op = Take().text;
    Expr e = ParseUnary();
    e.sql = "(" + op + e.sql + ")";
    e.name.clear();
    return e;
  }
  return ParsePrimary();
}

Expr Translator::ParsePrimary() {
  const Token& t = Peek();
  Expr e;
  switch (t.kind) {
    case Token::Kind::Number: {
      Take();
      e.sql = t.text;
      bool integral = t.text.find_first_of(".eE") == std::string::npos;
      long long v = integral ? std::atoll(t.text.c_str()) : 0;
      e.type = !integral ? Type(TypeKind::Float)
                         : (v > INT32_MAX ? Type(TypeKind::BigInt) : Type(TypeKind::Int));
      return e;
    }
    case Token::Kind::String:
    case Token::Kind::NString: {
      Take();
      e.sql = QuoteLiteral(t.text);
      int length = static_cast<int>(t.text.size());
      e.type = Type(t.kind == Token::Kind::NString ? TypeKind::NVarChar : TypeKind::VarChar,
                    length < 1 ? 1 : length);
      return e;
    }
    case Token::Kind::Variable:
      Take();
      if (t.text.rfind("@@", 0) == 0) return SystemVariable(t.text);
      Fail(137, "Must declare the scalar variable \"" + t.text + "\".", 15);
    case Token::Kind::Symbol:
      if (AcceptSymbol("(")) {
        e = ParseExpression();
        e.sql = "(" + e.sql + ")";
        ExpectSymbol(")");
        return e;
      }
      SyntaxError();
    case Token::Kind::QuotedId:
      return ParseColumnReference();
    case Token::Kind::End:
      SyntaxError();
    case Token::Kind::Word:
      break;
  }
  if (Accept("NULL")) {
    e.sql = "NULL";
    return e;
  }
  if (Accept("CURRENT_TIMESTAMP")) {
    e.sql = "tds_now()";
    e.type = Type(TypeKind::DateTime);
    return e;
  }
  if (Accept("CONVERT")) return ParseConvert();
  if (Peek(1).IsSymbol("(") && !IsReserved(Peek())) {
    std::string name = Take().text;
    Take();
    return ParseFunction(name);
  }
  if (IsReserved(Peek())) SyntaxError();
  return ParseColumnReference();
}

SqlType Translator::ParseTypeSpec(int defaultTextLength) {
  std::string name = TakeIdentifier();
  int length = 0;
  bool explicitLength = false;
  if (AcceptSymbol("(")) {
    explicitLength = true;
    if (Accept("MAX")) {
      length = 8000;
    } else {
      if (Peek().kind != Token::Kind::Number) SyntaxError();
      length = std::atoi(Take().text.c_str());
      if (AcceptSymbol(",")) Take();  // the scale of a decimal; not kept
    }
    ExpectSymbol(")");
  }
  SqlType type;
  if (!ParseTypeName(name, length, type)) {
    if (!strcasecmp(name.c_str(), "decimal") || !strcasecmp(name.c_str(), "numeric")) {
      return Type(TypeKind::Float);
    }
    Fail(2715, "Column, parameter, or variable #1: Cannot find data type " + name + ".");
  }
  // CONVERT gives a text type without a length 30 characters.
  if (type.IsText() && !explicitLength) type.length = defaultTextLength;
  return type;
}

Expr Translator::ParseConvert() {
  ExpectSymbol("(");
  SqlType target = ParseTypeSpec();
  ExpectSymbol(",");
  Expr value = ParseExpression();
  int style = 0;
  if (AcceptSymbol(",")) {
    if (Peek().kind != Token::Kind::Number) SyntaxError();
    style = std::atoi(Take().text.c_str());
  }
  ExpectSymbol(")");
  Expr e;
  e.sql = ConvertCall(value, target, style);
  e.type = target;
  return e;
}

// Its arguments are literals: the answer is known when the statement is
// read, and the permissions do not change while the server runs.
Expr Translator::ParseHasPermsByName() {
  std::vector<std::string> args;
  do {
    if (Peek().kind != Token::Kind::String && Peek().kind != Token::Kind::NString) SyntaxError();
    args.push_back(Take().text);
  } while (AcceptSymbol(","));
  ExpectSymbol(")");
  if (args.size() != 3) {
    Fail(174, "The has_perms_by_name function requires 3 argument(s).", 15);
  }
  std::optional<bool> granted =
      HasPermsByName(*catalog_, session_.database, args[0], args[1], args[2]);
  Expr e;
  e.sql = !granted ? "NULL" : *granted ? "1" : "0";
  e.type = Type(TypeKind::Int);
  return e;
}

Expr Translator::ParseFunction(const std::string& rawName) {
  std::string name = ToLower(rawName);
  if (name == "has_perms_by_name") return ParseHasPermsByName();
  std::vector<Expr> args;
  Expr e;
  bool distinct = false;
  if (name == "count" && AcceptSymbol("*")) {
    ExpectSymbol(")");
    e.sql = "count(*)";
    e.type = Type(TypeKind::Int);
    return e;
  }
  if (Accept("DISTINCT")) distinct = true;
  if (!Peek().IsSymbol(")")) {
    do args.push_back(ParseExpression());
    while (AcceptSymbol(","));
  }
  ExpectSymbol(")");
  auto need = [&](size_t low, size_t high) {
    if (args.size() < low || args.size() > high) {
      Fail(174, "The " + name + " function requires " + std::to_string(low) + " argument(s).", 15);
    }
  };
  auto list = [&]() {
    std::string out = distinct ? "DISTINCT " : "";
    for (size_t i = 0; i < args.size(); ++i) out += (i ? ", " : "") + args[i].sql;
    return out;
  };
  if (name == "getdate") {
    need(0, 0);
    e.sql = "tds_now()";
    e.type = Type(TypeKind::DateTime);
  } else if (name == "count") {
    need(1, 1);
    e.sql = "count(" + list() + ")";
    e.type = Type(TypeKind::Int);
  } else if (name == "isnull") {
    need(2, 2);
    e.sql = "coalesce(" + list() + ")";
    e.type = args[0].type.kind != TypeKind::Null ? args[0].type : args[1].type;
  } else if (name == "db_name") {
    need(0, 0);
    usesSession_ = true;
    e.sql = QuoteLiteral(session_.database);
    e.type = Type(TypeKind::NVarChar, 128);
  } else {
    Fail(195, "'" + rawName + "' is not a recognized built-in function name.", 15);
  }
  return e;
}

Expr Translator::SystemVariable(const std::string& rawName) const {
  std::string name = ToLower(rawName);
  Expr e;
  e.type = Type(TypeKind::Int);
  if (name == "@@spid") {
    usesSession_ = true;
    e.sql = std::to_string(session_.spid);
    e.type = Type(TypeKind::SmallInt);
  } else if (name == "@@rowcount" || name == "@@trancount") {
    SessionVariable v =
        name == "@@rowcount" ? SessionVariable::RowCount : SessionVariable::TranCount;
    e.sql = "tds_variable(" + std::to_string(static_cast<int>(v)) + ")";
  } else {
    Fail(137, "Must declare the scalar variable \"" + rawName + "\".", 15);
  }
  return e;
}

Expr Translator::ParseColumnReference() {
  std::vector<std::string> parts{TakeIdentifier()};
  while (Peek().IsSymbol(".")) {
    Take();
    parts.push_back(TakeIdentifier());
  }
  std::string column = parts.back();
  std::string written;
  for (size_t i = 0; i < parts.size(); ++i) written += (i ? "." : "") + parts[i];
  std::string qualifier = parts.size() >= 2 ? ToLower(parts[parts.size() - 2]) : "";
  std::string schema = parts.size() >= 3 ? ToLower(parts[parts.size() - 3]) : "";

  // Innermost scope first, so a subquery's own tables win.
  for (auto scope = scopes_.rbegin(); scope != scopes_.rend(); ++scope) {
    const ScopeTable* found = nullptr;
    const ColumnInfo* info = nullptr;
    for (const ScopeTable& st : *scope) {
      if (!qualifier.empty()) {
        bool named = st.alias.empty() ? ToLower(st.table->name) == qualifier &&
                                            (schema.empty() || ToLower(st.table->schema) == schema)
                                      : st.alias == qualifier && schema.empty();
        if (!named) continue;
      }
      const ColumnInfo* c = st.table->Find(column);
      if (!c) continue;
      if (found) Fail(209, "Ambiguous column name '" + column + "'.");
      found = &st;
      info = c;
    }
    if (found) {
      Expr e;
      e.sql = QuoteIdentifier(found->ref) + "." + QuoteIdentifier(info->name);
      e.type = info->type;
      e.name = info->name;
      return e;
    }
  }
  if (!qualifier.empty()) {
    Fail(4104, "The multi-part identifier \"" + written + "\" could not be bound.");
  }
  // A bare name in ORDER BY may be a column alias of the select list.
  for (const auto& alias : selectAliases_) {
    if (ToLower(alias.first) == ToLower(column)) {
      Expr e;
      e.sql = QuoteIdentifier(alias.second);
      e.name = alias.first;
      return e;
    }
  }
  Fail(207, "Invalid column name '" + column + "'.");
}

}  // namespace standin
