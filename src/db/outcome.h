// What became of one operation of the database layer, as far as the run
// can know. The layer only returns it: the export layer's one reporter
// words, logs, prints and counts it.
#pragma once

#include <cstdint>

namespace tralvo {

// Why a run gave its connection up.
enum class GiveUpCause {
  kNone,            // it has not
  kTimeout,         // a statement's answer did not come within the query timeout
  kConnectionLost,  // the connection broke
  kStopped,         // the run was told to stop
};

enum class DbOutcome {
  kDone,       // done: a query found its row, an insert stored its row
  kDuplicate,  // an insert found an equal row there already (duplicate key)
  kRefused,    // the server (or the driver) refused the statement
  kNoRow,      // a query the server answered with no row
  kUnknown,    // sent, but no answer came: its work may or may not be done
  kNotSent,    // never sent, since the run had given the connection up
};

struct DbResult {
  DbOutcome outcome = DbOutcome::kDone;
  // The operation's integer result: 0 done, 100 no row, the native error
  // of a refusal (2627 for a duplicate key), -1 without a handle or when
  // the driver gave no error number; -1 as well when nothing was answered.
  int32_t code = 0;
  // Why the connection was given up: for kUnknown and kNotSent.
  GiveUpCause cause = GiveUpCause::kNone;

  bool done() const { return outcome == DbOutcome::kDone; }
  // Whether the server said what became of the statement.
  bool answered() const { return outcome != DbOutcome::kUnknown && outcome != DbOutcome::kNotSent; }
};

}  // namespace tralvo
