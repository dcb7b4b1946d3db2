// Transactions of the engine: BEGIN, COMMIT, ROLLBACK and SAVE
// TRANSACTION, implicit transactions, which session holds the SQLite
// transaction and how long the others wait for it; see engine.h.
#include <algorithm>

#include "sql/engine.h"

namespace standin {
namespace {

void Refuse(StatementResult& result, int number, const std::string& text) {
  ServerMessage m;
  m.number = number;
  m.text = text;
  result.failed = true;
  result.messages.push_back(m);
}

bool Writes(const Statement& st) {
  return st.kind == Statement::Kind::Insert || st.kind == Statement::Kind::Update ||
         st.kind == Statement::Kind::Delete || st.changesSchema;
}

}  // namespace

bool Engine::WaitForTurn(std::unique_lock<std::mutex>& lock, const SessionInfo& session,
                         StatementResult& refused) {
  bool limited = session.lockTimeoutMs >= 0;
  auto deadline = waitClock_() + std::chrono::milliseconds(limited ? session.lockTimeoutMs : 0);
  while (owner_ != nullptr && owner_ != &session) {
    if (Interrupted(session)) {
      refused.failed = true;
      return false;
    }
    auto wait = std::chrono::steady_clock::duration(kWatchInterval);
    if (limited) {
      auto left = deadline - waitClock_();
      if (left <= std::chrono::steady_clock::duration::zero()) {
        Refuse(refused, 1222, "Lock request time out period exceeded.");
        return false;
      }
      wait = std::min(wait, left);
    }
    turn_.wait_for(lock, wait);
  }
  return true;
}

StatementResult Engine::Transaction(Statement::Kind kind, const std::string& name,
                                    SessionInfo& session) {
  std::unique_lock<std::mutex> lock(mutex_);
  StatementResult result;
  // Only a savepoint writes to SQLite; beginning, committing and rolling
  // back one's own transaction never wait for another session.
  if (kind == Statement::Kind::SaveTransaction && !WaitForTurn(lock, session, result)) {
    return result;
  }
  Statement st;
  st.kind = kind;
  st.argument = name;
  RunTransactionStatement(st, result, session);
  return result;
}

void Engine::RunTransactionStatement(const Statement& st, StatementResult& result,
                                     SessionInfo& session) {
  switch (st.kind) {
    case Statement::Kind::BeginTransaction:
      // Under IMPLICIT_TRANSACTIONS, BEGIN TRANSACTION opens one first and
      // then nests in it.
      if (session.tranCount == 0 && session.implicitTransactions) Open(session, result);
      if (session.tranCount == 0) {
        Open(session, result);
        session.transactionName = st.argument;
      } else {
        ++session.tranCount;
      }
      return;
    case Statement::Kind::CommitTransaction:
      if (session.tranCount == 0) {
        Refuse(result, 3902,
               "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.");
      } else if (--session.tranCount == 0) {
        Close(session, true, result);
      }
      return;
    case Statement::Kind::RollbackTransaction: {
      if (session.tranCount == 0) {
        Refuse(result, 3903,
               "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION.");
        return;
      }
      if (st.argument.empty() || st.argument == session.transactionName) {
        Close(session, false, result);
        return;
      }
      // Names are compared as written, whatever the collation.
      auto& saved = session.savepoints;
      auto it = std::find(saved.rbegin(), saved.rend(), st.argument);
      if (it == saved.rend()) {
        Refuse(result, 6401,
               "Cannot roll back " + st.argument +
                   ". No transaction or savepoint of that name was found.");
        return;
      }
      if (ExecOrReport("ROLLBACK TO " + QuoteIdentifier(st.argument), result)) {
        saved.erase(it.base(), saved.end());
      }
      return;
    }
    case Statement::Kind::SaveTransaction:
      if (session.tranCount == 0) {
        Refuse(result, 628, "Cannot issue SAVE TRANSACTION when there is no active transaction.");
        return;
      }
      if (Claim(session, result) &&
          ExecOrReport("SAVEPOINT " + QuoteIdentifier(st.argument), result)) {
        session.savepoints.push_back(st.argument);
      }
      return;
    default:
      return;
  }
}

bool Engine::EnterTransaction(const Statement& st, StatementResult& result, SessionInfo& session) {
  if (session.implicitTransactions && session.tranCount == 0 &&
      (st.readsTable || st.changesSchema)) {
    Open(session, result);
  }
  // Reads take no lasting lock under READ COMMITTED; a write holds the
  // SQLite transaction until the session's transaction ends.
  return session.tranCount == 0 || !Writes(st) || Claim(session, result);
}

void Engine::NoticeLostTransaction(StatementResult& result, SessionInfo& session) {
  // A full disk or a lack of memory makes SQLite roll the whole transaction
  // back; the session's transaction has ended with it.
  if (owner_ == &session && sqlite3_get_autocommit(db_)) Close(session, false, result);
}

void Engine::Open(SessionInfo& session, StatementResult& result) {
  session.tranCount = 1;
  session.transactionId = ++lastTransactionId_;
  result.transactionChanges.push_back({TransactionChange::Kind::Begin, session.transactionId});
}

bool Engine::Claim(SessionInfo& session, StatementResult& result) {
  if (owner_ == &session) return true;
  if (!ExecOrReport("BEGIN", result)) return false;
  owner_ = &session;
  return true;
}

void Engine::Close(SessionInfo& session, bool commit, StatementResult& result) {
  bool committed = commit;
  if (owner_ == &session) {
    if (!sqlite3_get_autocommit(db_)) {
      if (commit && !ExecOrReport("COMMIT", result)) committed = false;
      if (!committed) ExecOrReport("ROLLBACK", result);
    }
    owner_ = nullptr;
    turn_.notify_all();
  }
  result.transactionChanges.push_back(
      {committed ? TransactionChange::Kind::Commit : TransactionChange::Kind::Rollback,
       session.transactionId});
  session.tranCount = 0;
  session.transactionId = 0;
  session.transactionName.clear();
  session.savepoints.clear();
}

bool Engine::ExecOrReport(const std::string& sql, StatementResult& result) {
  char* error = nullptr;
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) == SQLITE_OK) return true;
  Refuse(result, 50000, error ? error : "unknown error");
  sqlite3_free(error);
  return false;
}

void Engine::EndSession(SessionInfo& session) noexcept {
  // Nothing is told to a session that has gone; its transaction only has
  // to end, without anything that could fail to allocate.
  std::lock_guard<std::mutex> lock(mutex_);
  if (owner_ != &session) return;
  sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  owner_ = nullptr;
  turn_.notify_all();
}

}  // namespace standin
