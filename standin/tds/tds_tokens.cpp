// The token stream; see tds_tokens.h.
#include "tds/tds_tokens.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "sql/charset.h"
#include "sql/datetime.h"

namespace standin {
namespace {

enum Token : uint8_t {
  kColMetadata = 0x81,
  kError = 0xAA,
  kInfo = 0xAB,
  kLoginAck = 0xAD,
  kRow = 0xD1,
  kEnvChange = 0xE3,
  kReturnStatus = 0x79,
  kReturnValue = 0xAC,
};

enum WireType : uint8_t {
  kIntN = 0x26,
  kBitN = 0x68,
  kFloatN = 0x6D,
  kDateTimeN = 0x6F,
  kBigVarChar = 0xA7,
  kBigChar = 0xAF,
  kNVarChar = 0xE7,
  kNChar = 0xEF,
};

int IntegerWidth(TypeKind kind) {
  switch (kind) {
    case TypeKind::TinyInt:
      return 1;
    case TypeKind::SmallInt:
      return 2;
    case TypeKind::BigInt:
      return 8;
    default:
      return 4;
  }
}

bool AsInteger(const Value& v, int64_t& out) {
  if (v.kind == Value::Kind::Integer) {
    out = v.integer;
    return true;
  }
  if (v.kind == Value::Kind::Real) {
    out = static_cast<int64_t>(v.real);
    return true;
  }
  if (v.kind == Value::Kind::Text) {
    char* end = nullptr;
    out = std::strtoll(v.text.c_str(), &end, 10);
    return end != v.text.c_str() && *end == '\0';
  }
  return false;
}

}  // namespace

const char kCollation[5] = {0x09, 0x04, static_cast<char>(0xD0), 0x00, 0x34};
const char kServerVersion[4] = {14, 0, 0x03, static_cast<char>(0xE8)};

void TokenWriter::U16(uint16_t v) {
  U8(v & 0xFF);
  U8(v >> 8);
}
void TokenWriter::U32(uint32_t v) {
  U16(v & 0xFFFF);
  U16(v >> 16);
}
void TokenWriter::U64(uint64_t v) {
  U32(static_cast<uint32_t>(v));
  U32(static_cast<uint32_t>(v >> 32));
}

void TokenWriter::BVarChar(const std::string& utf8) {
  std::string u = Utf8ToUtf16(utf8);
  if (u.size() > 510) u.resize(510);
  U8(static_cast<uint8_t>(u.size() / 2));
  out_ += u;
}

void TokenWriter::UsVarChar(const std::string& utf8) {
  std::string u = Utf8ToUtf16(utf8);
  if (u.size() > 8000) u.resize(8000);
  U16(static_cast<uint16_t>(u.size() / 2));
  out_ += u;
}

void TokenWriter::EnvChange(EnvChangeType type, const std::string& newValue,
                            const std::string& oldValue) {
  TokenWriter body;
  body.U8(type);
  body.BVarChar(newValue);
  body.BVarChar(oldValue);
  U8(kEnvChange);
  U16(static_cast<uint16_t>(body.out_.size()));
  out_ += body.out_;
}

void TokenWriter::EnvChangeCollation() {
  U8(kEnvChange);
  U16(1 + 1 + 5 + 1);
  U8(kEnvCollation);
  U8(5);
  out_.append(kCollation, 5);
  U8(0);
}

void TokenWriter::EnvChangeTransaction(EnvChangeType type, uint64_t descriptor) {
  U8(kEnvChange);
  U16(1 + 1 + 8 + 1);
  U8(type);
  bool began = type == kEnvBeginTransaction;
  if (!began) U8(0);
  U8(8);
  U64(descriptor);
  if (began) U8(0);
}

void TokenWriter::Message(const ServerMessage& m, const std::string& serverName) {
  TokenWriter body;
  body.U32(static_cast<uint32_t>(m.number));
  body.U8(m.state);
  body.U8(m.severity);
  body.UsVarChar(m.text);
  body.BVarChar(serverName);
  body.BVarChar("");
  body.U32(static_cast<uint32_t>(m.line));
  U8(m.severity > 10 ? kError : kInfo);
  U16(static_cast<uint16_t>(body.out_.size()));
  out_ += body.out_;
}

void TokenWriter::LoginAck(const std::string& programName) {
  TokenWriter body;
  body.U8(1);  // the T-SQL interface
  // TDS 7.4, sent most significant byte first.
  body.U8(0x74);
  body.U8(0x00);
  body.U8(0x00);
  body.U8(0x04);
  body.BVarChar(programName);
  body.out_.append(kServerVersion, 4);
  U8(kLoginAck);
  U16(static_cast<uint16_t>(body.out_.size()));
  out_ += body.out_;
}

void TokenWriter::TypeInfo(const SqlType& type) {
  switch (type.kind) {
    case TypeKind::Bit:
      U8(kBitN);
      U8(1);
      return;
    case TypeKind::Float:
      U8(kFloatN);
      U8(8);
      return;
    case TypeKind::DateTime:
      U8(kDateTimeN);
      U8(8);
      return;
    case TypeKind::Char:
    case TypeKind::VarChar:
      U8(type.kind == TypeKind::Char ? kBigChar : kBigVarChar);
      U16(static_cast<uint16_t>(type.length));
      out_.append(kCollation, 5);
      return;
    case TypeKind::NChar:
    case TypeKind::NVarChar:
      U8(type.kind == TypeKind::NChar ? kNChar : kNVarChar);
      U16(static_cast<uint16_t>(type.length * 2));
      out_.append(kCollation, 5);
      return;
    default:
      U8(kIntN);
      U8(static_cast<uint8_t>(IntegerWidth(type.kind)));
      return;
  }
}

void TokenWriter::ColumnMetadata(const std::vector<Column>& columns) {
  U8(kColMetadata);
  U16(static_cast<uint16_t>(columns.size()));
  for (const Column& c : columns) {
    U32(0);       // user type
    U16(0x0009);  // nullable; whether updatable is unknown
    TypeInfo(c.type);
    BVarChar(c.name.size() > 128 ? c.name.substr(0, 128) : c.name);
  }
}

void TokenWriter::Cell(const SqlType& type, const Value& value) {
  switch (type.kind) {
    case TypeKind::Char:
    case TypeKind::VarChar:
    case TypeKind::NChar:
    case TypeKind::NVarChar: {
      if (value.IsNull()) {
        U16(0xFFFF);
        return;
      }
      std::string text = value.kind == Value::Kind::Text      ? value.text
                         : value.kind == Value::Kind::Integer ? std::to_string(value.integer)
                                                              : std::to_string(value.real);
      size_t chars = Utf8Length(text);
      bool fixed = type.kind == TypeKind::Char || type.kind == TypeKind::NChar;
      if (chars > static_cast<size_t>(type.length)) text = Utf8Prefix(text, type.length);
      if (fixed && chars < static_cast<size_t>(type.length)) text.append(type.length - chars, ' ');
      std::string wire = type.IsUnicode() ? Utf8ToUtf16(text) : Utf8ToCp1252(text);
      U16(static_cast<uint16_t>(wire.size()));
      out_ += wire;
      return;
    }
    case TypeKind::DateTime: {
      auto d = value.kind == Value::Kind::Text ? FromCanonical(value.text) : std::nullopt;
      if (!d) {
        U8(0);
        return;
      }
      int32_t days;
      uint32_t ticks;
      ToWire(*d, days, ticks);
      U8(8);
      U32(static_cast<uint32_t>(days));
      U32(ticks);
      return;
    }
    case TypeKind::Float: {
      double d = value.kind == Value::Kind::Real      ? value.real
                 : value.kind == Value::Kind::Integer ? static_cast<double>(value.integer)
                                                      : std::atof(value.text.c_str());
      if (value.IsNull()) {
        U8(0);
        return;
      }
      uint64_t bits;
      std::memcpy(&bits, &d, sizeof bits);
      U8(8);
      U64(bits);
      return;
    }
    default: {
      int64_t v;
      if (!AsInteger(value, v)) {
        U8(0);
        return;
      }
      int width = type.kind == TypeKind::Bit ? 1 : IntegerWidth(type.kind);
      U8(static_cast<uint8_t>(width));
      for (int i = 0; i < width; ++i) U8(static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * i)));
      return;
    }
  }
}

void TokenWriter::RowData(const std::vector<Column>& columns, const Row& row) {
  starts_.push_back(out_.size());
  U8(kRow);
  for (size_t i = 0; i < columns.size(); ++i) {
    Cell(columns[i].type, i < row.size() ? row[i] : Value::Null());
  }
}

void TokenWriter::Done(uint16_t status, uint16_t command, uint64_t rowCount, DoneKind kind) {
  starts_.push_back(out_.size());
  U8(static_cast<uint8_t>(kind));
  lastDone_ = out_.size();
  U16(status);
  U16(command);
  U64(rowCount);
}

void TokenWriter::ReturnStatus(int32_t status) {
  U8(kReturnStatus);
  U32(static_cast<uint32_t>(status));
}

void TokenWriter::ReturnValue(uint16_t ordinal, const std::string& name, int32_t value) {
  U8(kReturnValue);
  U16(ordinal);
  BVarChar(name);
  U8(0x01);  // an output parameter
  U32(0);    // user type
  U16(0x0001);
  SqlType type;
  type.kind = TypeKind::Int;
  TypeInfo(type);
  Cell(type, Value::Int(value));
}

bool TokenWriter::StoppedAt(size_t sent, std::string& rest) const {
  // Nothing sent yet: the response is its end alone.
  size_t end = sent;
  if (sent > 0) {
    auto next = std::lower_bound(starts_.begin(), starts_.end(), sent);
    if (next == starts_.end()) return false;
    end = *next;
  }
  rest.assign(out_, sent, end - sent);
  // A procedure call's answer ends with DONEPROC, a batch's with DONE.
  TokenWriter last;
  DoneKind kind = DoneKind::Batch;
  if (lastDone_ != std::string::npos) {
    kind = static_cast<DoneKind>(static_cast<uint8_t>(out_[lastDone_ - 1]));
  }
  last.Done(kDoneFinal, 0, 0, kind);
  rest += last.out_;
  return true;
}

std::string TokenWriter::AttentionAcknowledgement() {
  TokenWriter w;
  w.Done(kDoneAttention, 0, 0);
  return w.out_;
}

void TokenWriter::EndResponse() {
  if (lastDone_ == std::string::npos) {
    Done(kDoneFinal, 0, 0);
    return;
  }
  out_[lastDone_] = static_cast<char>(out_[lastDone_] & ~kDoneMore);
}

}  // namespace standin
