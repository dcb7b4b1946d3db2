// Type names and codes; see sql_types.h.
#include "sql/sql_types.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace standin {
namespace {

struct TypeName {
  const char* name;
  TypeKind kind;
};

const TypeName kTypeNames[] = {
    {"bit", TypeKind::Bit},
    {"tinyint", TypeKind::TinyInt},
    {"smallint", TypeKind::SmallInt},
    {"int", TypeKind::Int},
    {"integer", TypeKind::Int},
    {"bigint", TypeKind::BigInt},
    {"float", TypeKind::Float},
    {"real", TypeKind::Float},
    {"char", TypeKind::Char},
    {"varchar", TypeKind::VarChar},
    {"nchar", TypeKind::NChar},
    {"nvarchar", TypeKind::NVarChar},
    {"datetime", TypeKind::DateTime},
    {"smalldatetime", TypeKind::DateTime},
    {"datetime2", TypeKind::DateTime},
    {"date", TypeKind::DateTime},
};

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

}  // namespace

bool ParseTypeName(const std::string& rawName, int length, SqlType& out) {
  std::string name = Lower(rawName);
  int parsedLength = length;
  size_t paren = name.find('(');
  if (paren != std::string::npos) {
    std::string inner = name.substr(paren + 1);
    name = name.substr(0, paren);
    parsedLength = inner.rfind("max", 0) == 0 ? 8000 : std::atoi(inner.c_str());
  }
  while (!name.empty() && name.back() == ' ') name.pop_back();
  for (const TypeName& t : kTypeNames) {
    if (name == t.name) {
      out.kind = t.kind;
      out.length = 0;
      if (out.IsText()) {
        // A text type without a length is one character long, as declared
        // without one; CONVERT gives 30 (handled by its caller).
        out.length = parsedLength > 0 ? parsedLength : 1;
        int limit = out.IsUnicode() ? 4000 : 8000;
        if (out.length > limit) out.length = limit;
      }
      return true;
    }
  }
  return false;
}

std::string TypeDeclaration(const SqlType& type) {
  switch (type.kind) {
    case TypeKind::Bit:
      return "BIT";
    case TypeKind::TinyInt:
      return "TINYINT";
    case TypeKind::SmallInt:
      return "SMALLINT";
    case TypeKind::Int:
      return "INT";
    case TypeKind::BigInt:
      return "BIGINT";
    case TypeKind::Float:
      return "FLOAT";
    case TypeKind::Char:
      return "CHAR(" + std::to_string(type.length) + ")";
    case TypeKind::VarChar:
      return "VARCHAR(" + std::to_string(type.length) + ")";
    case TypeKind::NChar:
      return "NCHAR(" + std::to_string(type.length) + ")";
    case TypeKind::NVarChar:
      return "NVARCHAR(" + std::to_string(type.length) + ")";
    case TypeKind::DateTime:
      return "DATETIME";
    case TypeKind::Null:
      break;
  }
  return "INT";
}

int TypeCode(const SqlType& type) {
  return static_cast<int>(type.kind);
}

SqlType TypeFromCode(int code, int length) {
  SqlType t;
  if (code >= 0 && code <= static_cast<int>(TypeKind::DateTime))
    t.kind = static_cast<TypeKind>(code);
  t.length = length;
  return t;
}

}  // namespace standin
