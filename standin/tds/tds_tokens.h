// Builds the token stream of a server response: LOGINACK, ENVCHANGE,
// ERROR and INFO, COLMETADATA, ROW and DONE, with the column types a
// server sends for each of its data types.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sql/sql_types.h"

namespace standin {

enum DoneStatus : uint16_t {
  kDoneFinal = 0x00,
  kDoneMore = 0x01,
  kDoneError = 0x02,
  kDoneCount = 0x10,
  kDoneAttention = 0x20,
};

enum EnvChangeType : uint8_t {
  kEnvDatabase = 1,
  kEnvLanguage = 2,
  kEnvPacketSize = 4,
  kEnvCollation = 7,
  kEnvBeginTransaction = 8,
  kEnvCommitTransaction = 9,
  kEnvRollbackTransaction = 10,
};

// The default collation: Latin1 general, case-insensitive, code page 1252.
extern const char kCollation[5];

// The server version announced in PRELOGIN and LOGINACK (major, minor,
// build): 14.0.1000, a line whose servers report a value too long for its
// column as error 8152, the number the engine gives; later lines give 2628.
extern const char kServerVersion[4];

class TokenWriter {
 public:
  void EnvChange(EnvChangeType type, const std::string& newValue, const std::string& oldValue);
  void EnvChangeCollation();
  // A transaction began (the new descriptor) or ended (the old one); the
  // client sends the open one's descriptor with every later request.
  void EnvChangeTransaction(EnvChangeType type, uint64_t descriptor);
  void Message(const ServerMessage& message, const std::string& serverName);
  void LoginAck(const std::string& programName);
  void ColumnMetadata(const std::vector<Column>& columns);
  void RowData(const std::vector<Column>& columns, const Row& row);
  // DONE ends a statement of a batch; inside a procedure call the
  // statements end with DONEINPROC and the call with DONEPROC.
  enum class DoneKind : uint8_t { Batch = 0xFD, Procedure = 0xFE, InProcedure = 0xFF };
  void Done(uint16_t status, uint16_t command, uint64_t rowCount, DoneKind kind = DoneKind::Batch);
  void ReturnStatus(int32_t status);
  void ReturnValue(uint16_t ordinal, const std::string& name, int32_t value);
  // The last DONE of a response must not announce more results.
  void EndResponse();
  const std::string& bytes() const { return out_; }
  // A client stopped the request after `sent` bytes of this response went
  // out: the bytes to send instead of the rest, which finish the token
  // under way (a row or a statement's end, with what precedes the next)
  // and end the response with a DONE of its own kind that announces
  // nothing more. False when the response's last token is already under
  // way, so that sending it whole is as short.
  bool StoppedAt(size_t sent, std::string& rest) const;
  // The acknowledgement of an attention: a message of its own, after the
  // end of the response it stopped. Clients that read the stopped
  // response's end as one message and then wait for the acknowledgement
  // as the next would wait forever were the two sent as one.
  static std::string AttentionAcknowledgement();

 private:
  void U8(uint8_t v) { out_ += static_cast<char>(v); }
  void U16(uint16_t v);
  void U32(uint32_t v);
  void U64(uint64_t v);
  void BVarChar(const std::string& utf8);   // length byte, UCS-2
  void UsVarChar(const std::string& utf8);  // length short, UCS-2
  void TypeInfo(const SqlType& type);
  void Cell(const SqlType& type, const Value& value);

  std::string out_;
  size_t lastDone_ = std::string::npos;
  std::vector<size_t> starts_;  // where each ROW and DONE begins, in order
};

}  // namespace standin
