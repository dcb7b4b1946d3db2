// Type conversions; see conversion.h.
#include "sql/conversion.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "sql/charset.h"
#include "sql/datetime.h"

namespace standin {
namespace {

const char* TypeWord(const SqlType& t) {
  switch (t.kind) {
    case TypeKind::Bit:
      return "bit";
    case TypeKind::TinyInt:
      return "tinyint";
    case TypeKind::SmallInt:
      return "smallint";
    case TypeKind::BigInt:
      return "bigint";
    case TypeKind::Float:
      return "float";
    case TypeKind::Char:
      return "char";
    case TypeKind::NChar:
      return "nchar";
    case TypeKind::NVarChar:
      return "nvarchar";
    case TypeKind::DateTime:
      return "datetime";
    case TypeKind::VarChar:
      return "varchar";
    default:
      return "int";
  }
}

Converted Fail(int number, const std::string& text) {
  Converted c;
  ServerMessage m;
  m.number = number;
  m.text = text;
  c.error = m;
  return c;
}

Converted Ok(Value v) {
  Converted c;
  c.value = std::move(v);
  return c;
}

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

bool FitsInteger(TypeKind kind, int64_t v) {
  switch (kind) {
    case TypeKind::TinyInt:
      return v >= 0 && v <= 255;
    case TypeKind::SmallInt:
      return v >= -32768 && v <= 32767;
    case TypeKind::Int:
      return v >= INT32_MIN && v <= INT32_MAX;
    default:
      return true;
  }
}

// The text a value has before it is fitted to a text type.
std::string AsText(const Value& value, const SqlType& source, int style) {
  switch (value.kind) {
    case Value::Kind::Integer:
      return std::to_string(value.integer);
    case Value::Kind::Real: {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.15g", value.real);
      return buf;
    }
    case Value::Kind::Text:
      if (source.kind == TypeKind::DateTime) {
        if (auto d = FromCanonical(value.text)) return FormatDateTime(*d, style);
      }
      return value.text;
    case Value::Kind::Null:
      break;
  }
  return "";
}

Converted ToText(const Value& value, const SqlType& source, const SqlType& target, int style,
                 bool assignment) {
  if (source.kind == TypeKind::DateTime && !IsDateTimeStyle(style)) {
    return Fail(281, std::to_string(style) +
                         " is not a valid style number when converting from datetime to a "
                         "character string.");
  }
  std::string text = AsText(value, source, style);
  // Text kept in a single-byte column holds what its code page can hold.
  if (!target.IsUnicode()) text = Cp1252ToUtf8(Utf8ToCp1252(text));
  size_t length = Utf8Length(text);
  if (length > static_cast<size_t>(target.length)) {
    std::string cut = Utf8Prefix(text, target.length);
    bool onlyBlanks = text.find_first_not_of(' ', cut.size()) == std::string::npos;
    if (assignment && !onlyBlanks) return Fail(8152, TruncationError().text);
    if (source.IsNumeric() && !assignment) return Ok(Value::Text("*"));
    text = cut;
    length = target.length;
  }
  if (target.kind == TypeKind::Char || target.kind == TypeKind::NChar) {
    text.append(target.length - length, ' ');
  }
  return Ok(Value::Text(text));
}

Converted ToInteger(const Value& value, const SqlType& source, const SqlType& target) {
  int64_t v = 0;
  if (value.kind == Value::Kind::Integer) {
    v = value.integer;
  } else if (value.kind == Value::Kind::Real) {
    v = static_cast<int64_t>(value.real);
  } else {
    std::string text = Trim(value.text);
    if (source.kind == TypeKind::DateTime) {
      return Fail(529, std::string("Explicit conversion from data type datetime to ") +
                           TypeWord(target) + " is not allowed.");
    }
    char* end = nullptr;
    errno = 0;
    long long parsed = text.empty() ? 0 : std::strtoll(text.c_str(), &end, 10);
    if (!text.empty() && (*end != '\0' || errno == ERANGE)) {
      return Fail(245, "Conversion failed when converting the " + std::string(TypeWord(source)) +
                           " value '" + value.text + "' to data type " + TypeWord(target) + ".");
    }
    v = parsed;
  }
  if (target.kind == TypeKind::Bit) return Ok(Value::Int(v != 0 ? 1 : 0));
  if (!FitsInteger(target.kind, v)) {
    return Fail(220, std::string("Arithmetic overflow error for data type ") + TypeWord(target) +
                         ", value = " + std::to_string(v) + ".");
  }
  return Ok(Value::Int(v));
}

Converted ToDateTime(const Value& value, const SqlType& source, int style) {
  if (value.kind != Value::Kind::Text) {
    return Fail(8115, "Arithmetic overflow error converting expression to data type datetime.");
  }
  if (source.kind == TypeKind::DateTime) return Ok(value);
  if (!IsDateTimeStyle(style)) {
    return Fail(281, std::to_string(style) + " is not a valid style number when converting to " +
                         "datetime.");
  }
  DateError error;
  auto parsed = ParseDateTime(value.text, style, &error);
  if (error == DateError::OutOfRange) {
    return Fail(242, std::string("The conversion of a ") + TypeWord(source) +
                         " data type to a datetime data type resulted in an out-of-range value.");
  }
  if (!parsed) {
    return Fail(241, "Conversion failed when converting date and/or time from character string.");
  }
  return Ok(Value::Text(CanonicalText(*parsed)));
}

}  // namespace

ServerMessage TruncationError() {
  ServerMessage m;
  m.number = 8152;
  m.text = "String or binary data would be truncated.";
  return m;
}

Converted ConvertValue(const Value& value, const SqlType& source, const SqlType& target, int style,
                       bool assignment) {
  if (value.IsNull()) return Ok(Value::Null());
  if (target.IsText()) return ToText(value, source, target, style, assignment);
  if (target.IsInteger()) return ToInteger(value, source, target);
  if (target.kind == TypeKind::DateTime) return ToDateTime(value, source, style);
  if (target.kind == TypeKind::Float) {
    if (value.kind == Value::Kind::Integer) {
      Value r;
      r.kind = Value::Kind::Real;
      r.real = static_cast<double>(value.integer);
      return Ok(r);
    }
    if (value.kind == Value::Kind::Real) return Ok(value);
    std::string text = Trim(value.text);
    char* end = nullptr;
    double d = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0') {
      return Fail(8114,
                  std::string("Error converting data type ") + TypeWord(source) + " to float.");
    }
    Value r;
    r.kind = Value::Kind::Real;
    r.real = d;
    return Ok(r);
  }
  return Ok(value);
}

std::string DisplayText(const Value& value, const SqlType& type) {
  if (value.kind == Value::Kind::Text && type.kind == TypeKind::DateTime) {
    if (auto d = FromCanonical(value.text)) return FormatDateTime(*d, 121);
  }
  return AsText(value, type, 121);
}

}  // namespace standin
