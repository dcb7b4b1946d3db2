// A client connection; see session.h.
#include "tds/session.h"

#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <thread>

#include "sql/charset.h"
#include "tds/client_watch.h"
#include "tds/tds_login.h"
#include "tds/tds_packet.h"
#include "tds/tds_rpc.h"
#include "tds/tds_tokens.h"
#include "tds/tds_transaction.h"
#include "tds/tls.h"
#include "tds/transport.h"

namespace standin {
namespace {

const char kServerName[] = "STANDIN";

uint16_t CommandCode(Statement::Kind kind) {
  switch (kind) {
    case Statement::Kind::Select:
      return 0xC1;
    case Statement::Kind::Insert:
      return 0xC3;
    case Statement::Kind::Delete:
      return 0xC4;
    case Statement::Kind::Update:
      return 0xC5;
    default:
      return 0;
  }
}

class Session {
 public:
  Session(int fd, const ServerConfig& config, int spid)
      : socket_(fd), stream_(socket_), watch_(fd, stream_), config_(config) {
    info_.spid = spid;
    info_.interruption = &watch_;
    stream_.SetSpid(static_cast<uint16_t>(spid));
  }
  // However the connection ends, what it did not commit is rolled back.
  ~Session() { config_.engine->EndSession(info_); }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  void Run() {
    if (config_.faults.silentLogin) {
      stream_.DiscardUntilClosed();
      return;
    }
    ClientMessage message;
    if (stream_.Read(message) != PacketStream::ReadResult::Ok) return;
    Encryption encryption = Encryption::None;
    if (message.type == kPrelogin) {
      auto answer = AnswerPrelogin(message.payload, config_.forceEncryption);
      if (!answer || !Respond(answer->payload)) return;
      encryption = answer->encryption;
      if (encryption == Encryption::Refused) return;
      if (encryption != Encryption::None && !StartTls()) return;
      if (stream_.Read(message) != PacketStream::ReadResult::Ok) return;
    } else if (config_.forceEncryption) {
      return;  // a login without PRELOGIN would come in clear
    }
    // With the login alone encrypted, its answer and all that follows
    // travel in clear.
    if (encryption == Encryption::LoginOnly) stream_.Use(socket_);
    if (message.type != kLogin7 || !Login(message.payload)) return;
    while (stream_.Read(message) == PacketStream::ReadResult::Ok) {
      watch_.Reset();
      started_ = std::chrono::steady_clock::now();
      startedProcessorNs_ = ServerStats::ThreadProcessorNs();
      paused_ = std::chrono::steady_clock::duration::zero();
      bool keepGoing = false;
      switch (message.type) {
        case kSqlBatch:
          keepGoing = Batch(message.payload);
          break;
        case kAttention:
          keepGoing = Attention();
          break;
        case kRpc:
          keepGoing = Rpc(message.payload);
          break;
        case kTransactionManager:
          keepGoing = Transaction(message.payload);
          break;
        default:
          break;  // anything else breaks the protocol
      }
      if (!keepGoing) return;
    }
  }

 private:
  // A deliberate wait of the fault plan; with `attentive` the client's
  // attention ends it.
  void Pause(int ms, bool attentive) {
    if (ms <= 0) return;
    auto start = std::chrono::steady_clock::now();
    if (attentive) {
      watch_.Await(std::chrono::milliseconds(ms));
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
    paused_ += std::chrono::steady_clock::now() - start;
  }

  // Sends a response. For the answer to a request (`request`), the watch
  // is asked before each packet: once the client has stopped the request,
  // what was not yet sent gives way to the response's end, the
  // acknowledgement follows as a message of its own, and the attention is
  // read.
  bool Respond(const std::string& tokens, const TokenWriter* request = nullptr) {
    Pause(config_.faults.delayMs, false);
    bool stopped = false;
    PacketStream::Cut cut = nullptr;
    if (request) {
      cut = [&](size_t sent, std::string& rest) {
        return watch_.Requested() && (stopped = request->StoppedAt(sent, rest));
      };
    }
    bool written = stream_.Write(kTabularResult, tokens, cut);
    if (ranSql_ && config_.stats) {
      // The fault plan's waits are the test's time, not the server's.
      config_.stats->Add(std::chrono::steady_clock::now() - started_ - paused_,
                         ServerStats::ThreadProcessorNs() - startedProcessorNs_);
    }
    ranSql_ = false;
    if (!written || !stopped) return written;
    if (!stream_.Write(kTabularResult, TokenWriter::AttentionAcknowledgement())) return false;
    // During a request the client may send nothing but an attention.
    ClientMessage message;
    return stream_.Read(message) == PacketStream::ReadResult::Ok && message.type == kAttention;
  }

  // The answer to a request that ran SQL, late when the fault plan says so.
  bool Answer(const TokenWriter& w) {
    Pause(config_.faults.lateAnswerMs, true);
    return Respond(w.bytes(), &w);
  }

  bool StartTls() {
    tls_ = std::make_unique<TlsTransport>(*config_.tls, socket_);
    if (!tls_->Handshake(stream_)) return false;
    stream_.Use(*tls_);
    return true;
  }

  bool Login(const std::string& payload) {
    auto login = ParseLogin7(payload);
    if (!login) return false;
    TokenWriter w;
    // A login without a database lands in the login's default one, which
    // here is the hosted one.
    bool knownDatabase =
        login->database.empty() || ToLower(login->database) == ToLower(config_.database);
    if (config_.faults.refuseLogin || login->userName != config_.user ||
        login->password != config_.password || !knownDatabase) {
      if (!knownDatabase) {
        ServerMessage m;
        m.number = 4060;
        m.severity = 11;
        m.text = "Cannot open database \"" + login->database +
                 "\" requested by the login. The login failed.";
        w.Message(m, kServerName);
      }
      ServerMessage m;
      m.number = 18456;
      m.severity = 14;
      m.text = "Login failed for user '" + login->userName + "'.";
      w.Message(m, kServerName);
      w.Done(kDoneError, 0, 0);
      Respond(w.bytes());
      return false;  // the server closes the connection after a failed login
    }
    if (login->packetSize >= 512 && login->packetSize <= 32767) {
      stream_.SetPacketSize(login->packetSize);
    }
    std::string packetSize = std::to_string(
        login->packetSize >= 512 && login->packetSize <= 32767 ? login->packetSize : 4096);
    info_.user = login->userName;
    info_.database = config_.database;
    w.EnvChange(kEnvDatabase, info_.database, "master");
    w.Message(Info(5701, "Changed database context to '" + info_.database + "'."), kServerName);
    w.EnvChangeCollation();
    w.EnvChange(kEnvLanguage, "us_english", "");
    w.Message(Info(5703, "Changed language setting to us_english."), kServerName);
    w.LoginAck("SQL Server stand-in");
    w.EnvChange(kEnvPacketSize, packetSize, packetSize);
    w.Done(kDoneFinal, 0, 0);
    return Respond(w.bytes());
  }

  static ServerMessage Info(int number, const std::string& text) {
    ServerMessage m;
    m.number = number;
    m.severity = 0;
    m.text = text;
    return m;
  }

  // TDS 7.2 and later put ALL_HEADERS before a request: its total length
  // first, counting itself. False when the length does not fit.
  static bool SkipAllHeaders(const std::string& payload, size_t& start) {
    start = 0;
    if (payload.size() < 4) return true;
    uint32_t total = static_cast<unsigned char>(payload[0]) |
                     (static_cast<unsigned char>(payload[1]) << 8) |
                     (static_cast<unsigned char>(payload[2]) << 16) |
                     (static_cast<uint32_t>(static_cast<unsigned char>(payload[3])) << 24);
    if (total < 4 || total > payload.size()) return false;
    start = total;
    return true;
  }

  bool Batch(const std::string& payload) {
    size_t textStart = 0;
    if (!SkipAllHeaders(payload, textStart)) return false;
    if ((payload.size() - textStart) % 2 != 0) return false;
    TokenWriter w;
    bool failed = false;
    if (!RunSql(Utf16ToUtf8(payload.substr(textStart)), w, false, failed)) return false;
    if (silent_) return Silence();
    w.EndResponse();
    return Answer(w);
  }

  // Runs one SQL text as a batch, or as the statement of a procedure call
  // when `inProcedure`. False when the connection is to be dropped.
  bool RunSql(const std::string& sql, TokenWriter& w, bool inProcedure, bool& failed) {
    if (config_.log) config_.log->Append(sql);
    ++batches_;
    ranSql_ = true;
    if (config_.faults.dropAfter >= 0 && batches_ > config_.faults.dropAfter) return false;
    if (config_.faults.silentAfter >= 0 && batches_ > config_.faults.silentAfter) {
      silent_ = true;
      return true;
    }
    auto kind = inProcedure ? TokenWriter::DoneKind::InProcedure : TokenWriter::DoneKind::Batch;
    if (auto injected = config_.faults.InjectedError(sql)) {
      w.Message(*injected, kServerName);
      w.Done(kDoneError | kDoneMore, 0, 0, kind);
      failed = true;
      return true;
    }
    if (auto rolledBack = config_.faults.RolledBack(sql)) {
      // The insert's own count comes first; the trigger's error follows.
      w.Done(kDoneMore | kDoneCount, CommandCode(Statement::Kind::Insert), 1, kind);
      w.Message(*rolledBack, kServerName);
      w.Done(kDoneError | kDoneMore, 0, 0, kind);
      failed = true;
      return true;
    }
    for (const StatementResult& r : config_.engine->Execute(sql, info_)) {
      if (!r.newDatabase.empty()) w.EnvChange(kEnvDatabase, r.newDatabase, "master");
      WriteTransactionChanges(r, w);
      if (r.hasResultSet) {
        w.ColumnMetadata(r.columns);
        for (const Row& row : r.rows) w.RowData(r.columns, row);
      }
      for (const ServerMessage& m : r.messages) w.Message(m, kServerName);
      bool counted = r.hasCount && !info_.noCount;
      if (r.hasResultSet || counted || r.failed || !r.messages.empty() ||
          !r.transactionChanges.empty()) {
        uint16_t status = kDoneMore;
        if (counted) status |= kDoneCount;
        if (r.failed) status |= kDoneError;
        w.Done(status, CommandCode(r.kind), counted ? static_cast<uint64_t>(r.rowCount) : 0, kind);
      }
      failed = failed || r.failed;
    }
    return true;
  }

  // The procedures drivers use for prepared statements; parameters of the
  // statements themselves are not supported.
  bool Rpc(const std::string& payload) {
    size_t start = 0;
    if (!SkipAllHeaders(payload, start)) return false;
    auto request = ParseRpc(payload.substr(start));
    if (!request) return false;
    const std::vector<RpcParameter>& p = request->parameters;
    auto text = [&](size_t i) { return i < p.size() ? p[i].value.text : std::string(); };
    TokenWriter w;
    bool failed = false;
    bool keep = true;
    int32_t handle = -1;
    switch (request->procId) {
      case kSpExecuteSql:
        keep = RunSql(text(0), w, true, failed);
        break;
      case kSpPrepare:
      case kSpPrepExec:
        handle = nextHandle_++;
        prepared_[handle] = text(2);
        if (request->procId == kSpPrepExec) keep = RunSql(text(2), w, true, failed);
        break;
      case kSpExecute: {
        int64_t wanted = p.empty() ? -1 : p[0].value.integer;
        auto it = prepared_.find(static_cast<int32_t>(wanted));
        if (it == prepared_.end()) {
          ServerMessage m;
          m.number = 8179;
          m.text = "Could not find prepared statement with handle " + std::to_string(wanted) + ".";
          w.Message(m, kServerName);
          failed = true;
        } else {
          keep = RunSql(it->second, w, true, failed);
        }
        break;
      }
      case kSpUnprepare:
        if (!p.empty()) prepared_.erase(static_cast<int32_t>(p[0].value.integer));
        break;
      default: {
        ServerMessage m;
        m.number = 2812;
        m.text = "Could not find stored procedure '" + request->procName + "'.";
        w.Message(m, kServerName);
        failed = true;
      }
    }
    if (!keep) return false;
    if (silent_) return Silence();
    w.ReturnStatus(failed ? -6 : 0);
    if (handle >= 0) w.ReturnValue(0, p.empty() ? "" : p[0].name, handle);
    w.Done(failed ? kDoneError : kDoneFinal, 0, 0, TokenWriter::DoneKind::Procedure);
    return Answer(w);
  }

  // A server that hangs: it reads on, so the client's writes never block,
  // and answers nothing until the client gives up.
  bool Silence() {
    stream_.DiscardUntilClosed();
    return false;
  }

  bool Attention() {
    // The attention came after its request was answered in full, so
    // nothing is running; the client only waits for the acknowledgement.
    return stream_.Write(kTabularResult, TokenWriter::AttentionAcknowledgement());
  }

  static void WriteTransactionChanges(const StatementResult& r, TokenWriter& w) {
    for (const TransactionChange& c : r.transactionChanges) {
      EnvChangeType type = c.kind == TransactionChange::Kind::Begin    ? kEnvBeginTransaction
                           : c.kind == TransactionChange::Kind::Commit ? kEnvCommitTransaction
                                                                       : kEnvRollbackTransaction;
      w.EnvChangeTransaction(type, c.id);
    }
  }

  // The transaction statement a transaction-manager request stands for.
  static Statement::Kind StatementKindOf(TransactionRequest::Kind kind) {
    switch (kind) {
      case TransactionRequest::Kind::Begin:
        return Statement::Kind::BeginTransaction;
      case TransactionRequest::Kind::Commit:
        return Statement::Kind::CommitTransaction;
      case TransactionRequest::Kind::Rollback:
        return Statement::Kind::RollbackTransaction;
      default:
        return Statement::Kind::SaveTransaction;
    }
  }

  // A transaction-manager request: the transaction statement it stands
  // for, and with "begin after" a new transaction at once.
  bool Transaction(const std::string& payload) {
    size_t start = 0;
    if (!SkipAllHeaders(payload, start)) return false;
    auto request = ParseTransactionRequest(payload.substr(start));
    if (!request) return false;
    std::vector<StatementResult> results;
    if (request->kind == TransactionRequest::Kind::Unsupported) {
      StatementResult refused;
      refused.failed = true;
      ServerMessage m;
      m.number = 50000;
      m.text = "Distributed transactions are not supported by this server.";
      refused.messages.push_back(m);
      results.push_back(refused);
    } else {
      results.push_back(
          config_.engine->Transaction(StatementKindOf(request->kind), request->name, info_));
      if (request->beginAfter && !results.back().failed) {
        results.push_back(config_.engine->Transaction(Statement::Kind::BeginTransaction,
                                                      request->newName, info_));
      }
    }
    TokenWriter w;
    bool failed = false;
    for (const StatementResult& r : results) {
      WriteTransactionChanges(r, w);
      for (const ServerMessage& m : r.messages) w.Message(m, kServerName);
      failed = failed || r.failed;
    }
    w.Done(failed ? kDoneError : kDoneFinal, 0, 0);
    return Respond(w.bytes(), &w);
  }

  SocketTransport socket_;
  std::unique_ptr<TlsTransport> tls_;
  PacketStream stream_;
  ClientWatch watch_;
  const ServerConfig& config_;
  SessionInfo info_;
  int batches_ = 0;
  bool silent_ = false;
  bool ranSql_ = false;  // the request being answered ran SQL
  std::chrono::steady_clock::time_point started_;
  std::chrono::steady_clock::duration paused_{};  // of the fault plan's waits
  uint64_t startedProcessorNs_ = 0;
  std::map<int32_t, std::string> prepared_;
  int32_t nextHandle_ = 1;
};

}  // namespace

void ServeConnection(int fd, const ServerConfig& config, int spid) {
  try {
    Session(fd, config, spid).Run();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "connection %d ended: %s\n", spid, e.what());
  } catch (...) {
    std::fprintf(stderr, "connection %d ended by an unknown error\n", spid);
  }
  shutdown(fd, SHUT_RDWR);
  close(fd);
}

}  // namespace standin
