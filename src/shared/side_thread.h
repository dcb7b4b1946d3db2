// Work beside the run: one job at a time on a thread of its own, such as
// reading the next chunk of the booking file or writing the last buffer of
// records, so that the system's copying of bytes costs the run no time of
// its own. The thread takes no stop request (see StartQuietThread); it is
// started with the first job and ended with the object.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace tralvo {

class SideThread {
 public:
  SideThread() = default;
  // Waits for the job in hand, then ends the thread.
  ~SideThread();
  SideThread(const SideThread&) = delete;
  SideThread& operator=(const SideThread&) = delete;

  // Hands job over to the thread, after waiting for the one before; runs
  // it here and now where no thread can be had.
  void Start(std::function<void()> job);
  // Waits for the job handed over last; at once when there is none.
  void Wait();

 private:
  void Work();

  std::mutex lock_;
  std::condition_variable changed_;
  std::function<void()> job_;
  bool busy_ = false;
  bool quit_ = false;
  std::thread thread_;
};

}  // namespace tralvo
