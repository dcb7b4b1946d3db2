// The side thread and its hand-over of jobs.
#include "shared/side_thread.h"

#include "shared/stop_requests.h"

namespace tralvo {

SideThread::~SideThread() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> hold(lock_);
    quit_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void SideThread::Start(std::function<void()> job) {
  Wait();
  if (!thread_.joinable()) thread_ = StartQuietThread([this] { Work(); });
  if (!thread_.joinable()) return job();
  {
    std::lock_guard<std::mutex> hold(lock_);
    job_ = std::move(job);
    busy_ = true;
  }
  changed_.notify_all();
}

void SideThread::Wait() {
  std::unique_lock<std::mutex> hold(lock_);
  changed_.wait(hold, [this] { return !busy_; });
}

void SideThread::Work() {
  std::unique_lock<std::mutex> hold(lock_);
  for (;;) {
    // The job in hand is done before the thread ends.
    changed_.wait(hold, [this] { return busy_ || quit_; });
    if (busy_) {
      std::function<void()> job = std::move(job_);
      hold.unlock();
      job();
      hold.lock();
      busy_ = false;
      changed_.notify_all();
    } else if (quit_) {
      return;
    }
  }
}

}  // namespace tralvo
