// How a request to stop reaches a run: a service manager's or scheduler's
// SIGTERM, a terminal's SIGINT or SIGHUP, or on Windows the console's
// Ctrl+C, Ctrl+Break and close. The run finishes the booking in hand,
// writes what it has and its summary, and ends with a status that says it
// was stopped; a second request ends the process at once.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

namespace tralvo {

class StopRequests {
 public:
  // Takes the requests over from the platform's defaults for the life of
  // the object. One object at a time per process.
  StopRequests();
  // Gives the requests back to the platform's defaults.
  ~StopRequests();
  StopRequests(const StopRequests&) = delete;
  StopRequests& operator=(const StopRequests&) = delete;

  // action runs once, on a thread other than the run's and never inside a
  // signal handler, when the first request arrives (at once when it has
  // arrived already); it must not block. An empty action removes it, and
  // once OnStop has returned the old action is not running and never runs.
  void OnStop(std::function<void()> action);

  bool requested() const { return requested_; }

  // The status a stopped run ends with: 128 plus the signal's number, or
  // on Windows the status the system gives a process ended from its
  // console.
  int exitStatus() const;

  // For the platform's side: the first request has arrived.
  void Fire();
  // For the platform's side: how many writes are in progress (a second
  // request waits for none), and whether this object handles the requests.
  static int WritesInProgress();
  static void Handling(bool handling);

 private:
  std::atomic<bool> requested_{false};
  std::mutex lock_;
  std::function<void()> action_;
  bool fired_ = false;
  std::thread watcher_;  // where a signal's request is acted on (POSIX)
};

// A write that no stop may cut in two, on whatever thread it runs: a
// second request ends the process only once every such write is done.
// Held for the length of one write call.
class WriteInProgress {
 public:
  WriteInProgress();
  ~WriteInProgress();
  WriteInProgress(const WriteInProgress&) = delete;
  WriteInProgress& operator=(const WriteInProgress&) = delete;
};

// Whether a StopRequests object handles the requests now, so that a write
// beside the run (on a thread of its own) is waited for as above. Without
// one the platform's defaults end the process at once, and only a write on
// the thread that holds the signals off is safe.
bool StopsWaitForWrites();

// Starts work on a thread of its own that no stop request ever interrupts,
// so that a request always reaches the run's thread or the watcher.
// Returns a thread that is not joinable when none could be started; the
// caller then does the work itself.
std::thread StartQuietThread(std::function<void()> work) noexcept;

}  // namespace tralvo
