// SQLite functions and collation; see sql_functions.h.
#include "sql/sql_functions.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "sql/conversion.h"
#include "sql/datetime.h"

namespace standin {
namespace {

const char kErrorPrefix[] = "tds-error:";

Value ReadArgument(sqlite3_value* arg) {
  switch (sqlite3_value_type(arg)) {
    case SQLITE_INTEGER:
      return Value::Int(sqlite3_value_int64(arg));
    case SQLITE_FLOAT: {
      Value v;
      v.kind = Value::Kind::Real;
      v.real = sqlite3_value_double(arg);
      return v;
    }
    case SQLITE_NULL:
      return Value::Null();
    default: {
      const unsigned char* text = sqlite3_value_text(arg);
      return Value::Text(std::string(reinterpret_cast<const char*>(text),
                                     static_cast<size_t>(sqlite3_value_bytes(arg))));
    }
  }
}

void SetResult(sqlite3_context* ctx, const Converted& c) {
  if (c.error) {
    std::string text = EncodeFunctionError(*c.error);
    sqlite3_result_error(ctx, text.c_str(), static_cast<int>(text.size()));
    return;
  }
  switch (c.value.kind) {
    case Value::Kind::Null:
      sqlite3_result_null(ctx);
      break;
    case Value::Kind::Integer:
      sqlite3_result_int64(ctx, c.value.integer);
      break;
    case Value::Kind::Real:
      sqlite3_result_double(ctx, c.value.real);
      break;
    case Value::Kind::Text:
      sqlite3_result_text(ctx, c.value.text.data(), static_cast<int>(c.value.text.size()),
                          SQLITE_TRANSIENT);
      break;
  }
}

// tds_convert(value, target type, target length, style, source type)
void ConvertFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  SqlType target = TypeFromCode(sqlite3_value_int(argv[1]), sqlite3_value_int(argv[2]));
  SqlType source = TypeFromCode(sqlite3_value_int(argv[4]), 0);
  SetResult(ctx,
            ConvertValue(ReadArgument(argv[0]), source, target, sqlite3_value_int(argv[3]), false));
}

// tds_store(value, column type, column length, source type): the value as
// the column keeps it.
void StoreFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  SqlType target = TypeFromCode(sqlite3_value_int(argv[1]), sqlite3_value_int(argv[2]));
  SqlType source = TypeFromCode(sqlite3_value_int(argv[3]), 0);
  SetResult(ctx, ConvertValue(ReadArgument(argv[0]), source, target, 0, true));
}

void NowFunction(sqlite3_context* ctx, int, sqlite3_value**) {
  const auto* context = static_cast<const StatementContext*>(sqlite3_user_data(ctx));
  sqlite3_result_text(ctx, context->now.c_str(), static_cast<int>(context->now.size()),
                      SQLITE_TRANSIENT);
}

// tds_variable(SessionVariable)
void VariableFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const auto* context = static_cast<const StatementContext*>(sqlite3_user_data(ctx));
  const SessionInfo* s = context->session;
  if (!s) {
    sqlite3_result_null(ctx);
    return;
  }
  switch (static_cast<SessionVariable>(sqlite3_value_int(argv[0]))) {
    case SessionVariable::RowCount:
      sqlite3_result_int64(ctx, s->rowCount);
      break;
    case SessionVariable::TranCount:
      sqlite3_result_int(ctx, s->tranCount);
      break;
    case SessionVariable::LockTimeout:
      sqlite3_result_int(ctx, s->lockTimeoutMs);
      break;
    case SessionVariable::Options:
      sqlite3_result_int(ctx, s->implicitTransactions ? 2 : 0);  // IMPLICIT_TRANSACTIONS
      break;
  }
}

// The next code point of UTF-8 text (storage holds valid UTF-8 only).
uint32_t NextCodePoint(const unsigned char*& p, const unsigned char* end) {
  uint32_t c = *p++;
  if (c < 0x80) return c;
  int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : 1;
  c &= 0x3F >> extra;
  while (extra-- > 0 && p < end) c = (c << 6) | (*p++ & 0x3F);
  return c;
}

// The lower-case partner of the Windows-1252 letters: ASCII, the Latin-1
// letters (not the multiplication sign), and the five the code page adds
// above 0x80. Accented letters stay apart from their base letters.
uint32_t FoldCase(uint32_t c) {
  if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + 32 : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
  switch (c) {
    case 0x0152:  // OE ligature
    case 0x0160:  // S with caron
    case 0x017D:  // Z with caron
      return c + 1;
    case 0x0178:  // Y with diaeresis
      return 0xFF;
    default:
      return c;
  }
}

// Compares as the default collation does: letters without regard to case,
// trailing blanks ignored ('abc' equals 'abc  ').
int CompareCaseInsensitive(void*, int lengthA, const void* a, int lengthB, const void* b) {
  const unsigned char* pa = static_cast<const unsigned char*>(a);
  const unsigned char* pb = static_cast<const unsigned char*>(b);
  while (lengthA > 0 && pa[lengthA - 1] == ' ') --lengthA;
  while (lengthB > 0 && pb[lengthB - 1] == ' ') --lengthB;
  const unsigned char* endA = pa + lengthA;
  const unsigned char* endB = pb + lengthB;
  while (pa < endA && pb < endB) {
    uint32_t ca = FoldCase(NextCodePoint(pa, endA));
    uint32_t cb = FoldCase(NextCodePoint(pb, endB));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return pa == endA ? (pb == endB ? 0 : -1) : 1;
}

}  // namespace

std::string EncodeFunctionError(const ServerMessage& message) {
  return kErrorPrefix + std::to_string(message.number) + ":" + message.text;
}

std::optional<ServerMessage> DecodeFunctionError(const std::string& text) {
  size_t at = text.find(kErrorPrefix);
  if (at == std::string::npos) return std::nullopt;
  const char* p = text.c_str() + at + std::strlen(kErrorPrefix);
  char* end = nullptr;
  long number = std::strtol(p, &end, 10);
  if (*end != ':') return std::nullopt;
  ServerMessage m;
  m.number = static_cast<int32_t>(number);
  m.text = end + 1;
  return m;
}

void RegisterSqlFunctions(sqlite3* db, const StatementContext* context) {
  const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
  sqlite3_create_function(db, "tds_convert", 5, flags, nullptr, ConvertFunction, nullptr, nullptr);
  sqlite3_create_function(db, "tds_store", 4, flags, nullptr, StoreFunction, nullptr, nullptr);
  void* data = const_cast<StatementContext*>(context);
  sqlite3_create_function(db, "tds_now", 0, SQLITE_UTF8, data, NowFunction, nullptr, nullptr);
  sqlite3_create_function(db, "tds_variable", 1, SQLITE_UTF8, data, VariableFunction, nullptr,
                          nullptr);
  sqlite3_create_collation(db, "tds_ci", SQLITE_UTF8, nullptr, CompareCaseInsensitive);
}

}  // namespace standin
