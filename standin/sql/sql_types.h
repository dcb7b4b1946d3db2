// The server-side data types the stand-in knows, the values it moves
// between SQLite and the wire, and the errors it reports as a server would.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace standin {

enum class TypeKind {
  Null,
  Bit,
  TinyInt,
  SmallInt,
  Int,
  BigInt,
  Float,
  Char,
  VarChar,
  NChar,
  NVarChar,
  DateTime
};

struct SqlType {
  TypeKind kind = TypeKind::Null;
  int length = 0;  // characters, for the text kinds only

  bool IsText() const {
    return kind == TypeKind::Char || kind == TypeKind::VarChar || kind == TypeKind::NChar ||
           kind == TypeKind::NVarChar;
  }
  bool IsInteger() const {
    return kind == TypeKind::Bit || kind == TypeKind::TinyInt || kind == TypeKind::SmallInt ||
           kind == TypeKind::Int || kind == TypeKind::BigInt;
  }
  bool IsNumeric() const { return IsInteger() || kind == TypeKind::Float; }
  bool IsUnicode() const { return kind == TypeKind::NChar || kind == TypeKind::NVarChar; }
};

// Parses a declared type such as "varchar(20)", "SMALLINT" or "datetime";
// false for a type the stand-in does not support.
bool ParseTypeName(const std::string& name, int length, SqlType& out);
// The declaration text used in the SQLite schema, e.g. "VARCHAR(20)".
std::string TypeDeclaration(const SqlType& type);
// The code that travels to the registered SQLite functions.
int TypeCode(const SqlType& type);
SqlType TypeFromCode(int code, int length);

// One cell as SQLite holds it.
struct Value {
  enum class Kind { Null, Integer, Real, Text } kind = Kind::Null;
  int64_t integer = 0;
  double real = 0;
  std::string text;  // UTF-8

  static Value Null() { return Value{}; }
  static Value Int(int64_t v) {
    Value r;
    r.kind = Kind::Integer;
    r.integer = v;
    return r;
  }
  static Value Text(std::string v) {
    Value r;
    r.kind = Kind::Text;
    r.text = std::move(v);
    return r;
  }
  bool IsNull() const { return kind == Kind::Null; }
};

// An error or informational message as the server reports it.
struct ServerMessage {
  int32_t number = 0;
  uint8_t state = 1;
  uint8_t severity = 16;  // class; 10 and below is informational
  std::string text;
  int32_t line = 1;
};

struct Column {
  std::string name;
  SqlType type;
};

using Row = std::vector<Value>;

}  // namespace standin
