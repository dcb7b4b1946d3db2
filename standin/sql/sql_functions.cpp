// SQLite functions and collation; see sql_functions.h.
#include "sql/sql_functions.h"

#include <algorithm>
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

// One element of a LIKE pattern.
struct PatternItem {
  enum class Kind { Literal, AnyOne, AnyRun, Class } kind = Kind::Literal;
  uint32_t c = 0;                                     // Literal, folded
  std::vector<std::pair<uint32_t, uint32_t>> ranges;  // Class, folded
  bool negated = false;                               // Class: [^...]

  bool Matches(uint32_t folded) const {
    if (kind == Kind::AnyOne) return true;
    if (kind == Kind::Literal) return c == folded;
    bool in = false;
    for (const auto& r : ranges) in = in || (folded >= r.first && folded <= r.second);
    return in != negated;
  }
};

std::vector<uint32_t> FoldedCodePoints(const std::string& text) {
  std::vector<uint32_t> out;
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const unsigned char* end = p + text.size();
  while (p < end) out.push_back(FoldCase(NextCodePoint(p, end)));
  return out;
}

std::vector<PatternItem> ReadPattern(const std::string& pattern, uint32_t escape) {
  std::vector<uint32_t> cps = FoldedCodePoints(pattern);
  std::vector<PatternItem> items;
  for (size_t i = 0; i < cps.size(); ++i) {
    PatternItem item;
    uint32_t c = cps[i];
    if (escape != 0 && c == escape && i + 1 < cps.size()) {
      item.c = cps[++i];
    } else if (c == '%') {
      item.kind = PatternItem::Kind::AnyRun;
    } else if (c == '_') {
      item.kind = PatternItem::Kind::AnyOne;
    } else if (c == '[' && std::find(cps.begin() + i + 1, cps.end(), ']') != cps.end()) {
      item.kind = PatternItem::Kind::Class;
      size_t end =
          static_cast<size_t>(std::find(cps.begin() + i + 1, cps.end(), ']') - cps.begin());
      size_t j = i + 1;
      if (j + 1 < end && cps[j] == '^') {
        item.negated = true;
        ++j;
      }
      // "a-f" is a range; a '-' at either end stands for itself.
      while (j < end) {
        bool range = j + 2 < end && cps[j + 1] == '-';
        item.ranges.emplace_back(cps[j], range ? cps[j + 2] : cps[j]);
        j += range ? 3 : 1;
      }
      i = end;
    } else {
      item.c = c;
    }
    items.push_back(std::move(item));
  }
  return items;
}

// tds_like(text, pattern, escape or NULL, unicode)
void LikeFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  Value text = ReadArgument(argv[0]);
  Value pattern = ReadArgument(argv[1]);
  uint32_t escape = 0;
  if (sqlite3_value_type(argv[2]) != SQLITE_NULL) {
    std::vector<uint32_t> e = FoldedCodePoints(ReadArgument(argv[2]).text);
    if (e.size() != 1) {
      ServerMessage m;
      m.number = 506;
      m.text = "The invalid escape character \"" + ReadArgument(argv[2]).text +
               "\" was specified in a LIKE predicate.";
      std::string encoded = EncodeFunctionError(m);
      sqlite3_result_error(ctx, encoded.c_str(), static_cast<int>(encoded.size()));
      return;
    }
    escape = e[0];
  }
  auto asText = [](const Value& v) {
    return v.kind == Value::Kind::Text ? v.text : DisplayText(v, SqlType{TypeKind::Int, 0});
  };
  sqlite3_result_int(
      ctx, LikeMatches(asText(text), asText(pattern), escape, sqlite3_value_int(argv[3]) != 0));
}

}  // namespace

bool LikeMatches(const std::string& text, const std::string& pattern, uint32_t escape,
                 bool unicode) {
  std::vector<uint32_t> t = FoldedCodePoints(text);
  if (!unicode) {
    while (!t.empty() && t.back() == ' ') t.pop_back();
  }
  std::vector<PatternItem> p = ReadPattern(pattern, escape);
  // Greedy with one point to come back to: the last % seen takes one more
  // character whenever what follows it fails.
  size_t ti = 0, pi = 0, runAt = SIZE_MAX, runFrom = 0;
  while (ti < t.size()) {
    if (pi < p.size() && p[pi].kind == PatternItem::Kind::AnyRun) {
      runAt = ++pi;
      runFrom = ti;
    } else if (pi < p.size() && p[pi].Matches(t[ti])) {
      ++ti;
      ++pi;
    } else if (runAt != SIZE_MAX) {
      pi = runAt;
      ti = ++runFrom;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi].kind == PatternItem::Kind::AnyRun) ++pi;
  return pi == p.size();
}

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
  sqlite3_create_function(db, "tds_like", 4, flags, nullptr, LikeFunction, nullptr, nullptr);
  void* data = const_cast<StatementContext*>(context);
  sqlite3_create_function(db, "tds_now", 0, SQLITE_UTF8, data, NowFunction, nullptr, nullptr);
  sqlite3_create_function(db, "tds_variable", 1, SQLITE_UTF8, data, VariableFunction, nullptr,
                          nullptr);
  sqlite3_create_collation(db, "tds_ci", SQLITE_UTF8, nullptr, CompareCaseInsensitive);
}

}  // namespace standin
