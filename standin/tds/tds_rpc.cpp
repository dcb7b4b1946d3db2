// Parsing of RPC requests; see tds_rpc.h.
#include "tds/tds_rpc.h"

#include <cctype>

#include "sql/charset.h"

namespace standin {
namespace {

// A bounds-checked reader: every read past the end marks it failed, and
// the parse gives up.
struct Reader {
  const std::string& s;
  size_t pos = 0;
  bool ok = true;

  bool Has(size_t n) {
    if (pos + n > s.size()) ok = false;
    return ok;
  }
  uint64_t Le(size_t n) {
    if (!Has(n)) return 0;
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i)
      v |= static_cast<uint64_t>(static_cast<unsigned char>(s[pos + i])) << (8 * i);
    pos += n;
    return v;
  }
  std::string Bytes(size_t n) {
    if (!Has(n)) return "";
    std::string out = s.substr(pos, n);
    pos += n;
    return out;
  }
};

enum TypeClass { kFixed, kByteLength, kShortLength, kLongLength, kUnknown };

TypeClass ClassOf(uint8_t type, size_t& fixedSize) {
  switch (type) {
    case 0x30:
    case 0x32:
      fixedSize = 1;
      return kFixed;  // tinyint, bit
    case 0x34:
      fixedSize = 2;
      return kFixed;  // smallint
    case 0x38:
    case 0x3B:
    case 0x3A:
    case 0x7A:
      fixedSize = 4;
      return kFixed;
    case 0x7F:
    case 0x3E:
    case 0x3D:
    case 0x3C:
      fixedSize = 8;
      return kFixed;
    case 0x26:
    case 0x68:
    case 0x6D:
    case 0x6F:
    case 0x6E:
    case 0x24:
    case 0x6A:
    case 0x6C:
      return kByteLength;
    case 0xA7:
    case 0xAF:
    case 0xE7:
    case 0xEF:
    case 0xA5:
    case 0xAD:
      return kShortLength;
    case 0x23:
    case 0x63:
    case 0x22:
      return kLongLength;
    default:
      return kUnknown;
  }
}

bool IsCharacterType(uint8_t t) {
  return t == 0xA7 || t == 0xAF || t == 0xE7 || t == 0xEF || t == 0x23 || t == 0x63;
}
bool IsUnicodeType(uint8_t t) {
  return t == 0xE7 || t == 0xEF || t == 0x63;
}

Value TextValue(uint8_t type, const std::string& raw) {
  return Value::Text(IsUnicodeType(type) ? Utf16ToUtf8(raw) : Cp1252ToUtf8(raw));
}

bool ReadParameter(Reader& r, RpcParameter& p) {
  size_t nameChars = r.Le(1);
  p.name = Utf16ToUtf8(r.Bytes(nameChars * 2));
  p.output = (r.Le(1) & 0x01) != 0;
  uint8_t type = static_cast<uint8_t>(r.Le(1));
  size_t fixedSize = 0;
  TypeClass cls = ClassOf(type, fixedSize);
  if (!r.ok) return false;
  switch (cls) {
    case kFixed: {
      uint64_t v = r.Le(fixedSize);
      if (type == 0x30 || type == 0x32 || type == 0x34 || type == 0x38 || type == 0x7F) {
        int64_t signedValue = static_cast<int64_t>(v);
        if (fixedSize == 2) signedValue = static_cast<int16_t>(v);
        if (fixedSize == 4) signedValue = static_cast<int32_t>(v);
        p.value = Value::Int(signedValue);
      }
      break;
    }
    case kByteLength: {
      r.Le(1);
      if (type == 0x6A || type == 0x6C) r.Le(2);  // precision and scale
      size_t length = r.Le(1);
      std::string raw = r.Bytes(length);
      if (type == 0x26 && length > 0) {
        Reader vr{raw};
        uint64_t v = vr.Le(length);
        int64_t signedValue = length == 1   ? static_cast<int64_t>(v)
                              : length == 2 ? static_cast<int16_t>(v)
                              : length == 4 ? static_cast<int32_t>(v)
                                            : static_cast<int64_t>(v);
        p.value = Value::Int(signedValue);
      }
      break;
    }
    case kShortLength: {
      size_t maxLength = r.Le(2);
      if (IsCharacterType(type)) r.Bytes(5);
      if (maxLength == 0xFFFF) {
        // (max) types arrive in chunks: the total length, then chunks each
        // with its length, up to an empty one.
        uint64_t total = r.Le(8);
        if (total == UINT64_MAX) break;
        std::string raw;
        while (r.ok) {
          size_t chunk = r.Le(4);
          if (chunk == 0) break;
          raw += r.Bytes(chunk);
        }
        if (IsCharacterType(type)) p.value = TextValue(type, raw);
        break;
      }
      size_t length = r.Le(2);
      if (length == 0xFFFF) break;
      std::string raw = r.Bytes(length);
      if (IsCharacterType(type)) p.value = TextValue(type, raw);
      break;
    }
    case kLongLength: {
      r.Le(4);
      if (IsCharacterType(type)) r.Bytes(5);
      uint32_t length = static_cast<uint32_t>(r.Le(4));
      if (length == 0xFFFFFFFFu) break;
      std::string raw = r.Bytes(length);
      if (IsCharacterType(type)) p.value = TextValue(type, raw);
      break;
    }
    case kUnknown:
      return false;
  }
  return r.ok;
}

}  // namespace

std::optional<RpcRequest> ParseRpc(const std::string& payload) {
  Reader r{payload};
  RpcRequest request;
  size_t nameLength = r.Le(2);
  if (nameLength == 0xFFFF) {
    request.procId = static_cast<uint16_t>(r.Le(2));
  } else {
    request.procName = Utf16ToUtf8(r.Bytes(nameLength * 2));
  }
  r.Le(2);  // option flags
  while (r.ok && r.pos < payload.size()) {
    uint8_t next = static_cast<uint8_t>(payload[r.pos]);
    if (next == 0x80 || next == 0xFF) break;  // a further call in the same request; not served
    RpcParameter p;
    if (!ReadParameter(r, p)) return std::nullopt;
    request.parameters.push_back(p);
  }
  if (!r.ok) return std::nullopt;
  if (request.procId == 0) {
    std::string lower;
    for (char c : request.procName)
      lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower == "sp_executesql") request.procId = kSpExecuteSql;
    if (lower == "sp_prepare") request.procId = kSpPrepare;
    if (lower == "sp_execute") request.procId = kSpExecute;
    if (lower == "sp_prepexec") request.procId = kSpPrepExec;
    if (lower == "sp_unprepare") request.procId = kSpUnprepare;
  }
  return request;
}

}  // namespace standin
