// Transaction-manager requests; see tds_transaction.h.
#include "tds/tds_transaction.h"

#include "sql/charset.h"

namespace standin {
namespace {

enum RequestType : uint16_t {
  kBeginTransaction = 5,
  kCommitTransaction = 7,
  kRollbackTransaction = 8,
  kSaveTransaction = 9,
};

constexpr uint8_t kBeginAfterFlag = 0x01;

class Reader {
 public:
  explicit Reader(const std::string& bytes) : bytes_(bytes) {}
  bool U8(uint8_t& v) {
    if (at_ + 1 > bytes_.size()) return false;
    v = static_cast<uint8_t>(bytes_[at_++]);
    return true;
  }
  bool U16(uint16_t& v) {
    uint8_t low = 0, high = 0;
    if (!U8(low) || !U8(high)) return false;
    v = static_cast<uint16_t>(low | (high << 8));
    return true;
  }
  // A byte giving the length in bytes, then that much UTF-16LE.
  bool Name(std::string& out) {
    uint8_t length = 0;
    if (!U8(length) || length % 2 != 0 || at_ + length > bytes_.size()) return false;
    out = Utf16ToUtf8(bytes_.substr(at_, length));
    at_ += length;
    return true;
  }
  bool AtEnd() const { return at_ == bytes_.size(); }

 private:
  const std::string& bytes_;
  size_t at_ = 0;
};

}  // namespace

std::optional<TransactionRequest> ParseTransactionRequest(const std::string& payload) {
  Reader in(payload);
  uint16_t type = 0;
  if (!in.U16(type)) return std::nullopt;
  TransactionRequest request;
  uint8_t isolation = 0;
  switch (type) {
    case kBeginTransaction:
      request.kind = TransactionRequest::Kind::Begin;
      // The isolation level is accepted and not modelled.
      if (!in.U8(isolation) || !in.Name(request.name)) return std::nullopt;
      break;
    case kCommitTransaction:
    case kRollbackTransaction: {
      request.kind = type == kCommitTransaction ? TransactionRequest::Kind::Commit
                                                : TransactionRequest::Kind::Rollback;
      uint8_t flags = 0;
      if (!in.Name(request.name) || !in.U8(flags)) return std::nullopt;
      request.beginAfter = (flags & kBeginAfterFlag) != 0;
      if (request.beginAfter && !in.AtEnd()) {
        if (!in.U8(isolation) || !in.Name(request.newName)) return std::nullopt;
      }
      break;
    }
    case kSaveTransaction:
      request.kind = TransactionRequest::Kind::Save;
      if (!in.Name(request.name)) return std::nullopt;
      break;
    default:
      return request;  // distributed transactions
  }
  if (!in.AtEnd()) return std::nullopt;
  return request;
}

}  // namespace standin
