// A caller that follows a run line by line: told, after each line of the
// booking file is handled, the line's bytes, where it ends in the file,
// and what became of its booking, so that it can record how far the run
// got and set aside the bookings that did not arrive.
#pragma once

#include <cstdint>
#include <string_view>

namespace tralvo {

struct RunState;

// What became of the booking of one line, by the first cause that stopped
// it, as the run's counters count it.
enum class LineFate {
  kNoBooking,  // empty, another terminal's, or of no rule
  kDone,       // every part of it arrived
  kRefused,    // the server refused a row or a lookup
  kNotFound,   // a lookup found no badge holder or booking type
  kUnknown,    // a statement went unanswered: a row may or may not be there
  kNotSent,    // not sent: the run had given its connection up
  kMalformed,  // the line holds no whole booking record
};

class LineObserver {
 public:
  virtual ~LineObserver() = default;
  // Before the first line: the run, whose target files the observer may
  // flush to learn how many bytes of whole records they hold, and whose
  // log it may write to.
  virtual void Begin(RunState& state) = 0;
  // After each line. A line too long for a booking comes in pieces, each
  // told as malformed. wroteDatabase: the booking sent a statement that
  // may have changed the database.
  virtual void LineHandled(std::string_view bytes, int64_t offsetAfter, LineFate fate,
                           bool wroteDatabase) = 0;
  // After the run has closed its files, before its log ends and its
  // status is left: takes the run's exit status and returns the one the
  // run ends with; may log in state.
  virtual int RunEnded(RunState& state, int status) = 0;
};

}  // namespace tralvo
