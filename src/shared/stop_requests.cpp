// What both platforms share of a stop: the action run once on the first
// request.
#include "shared/stop_requests.h"

namespace tralvo {

namespace {

// Lock-free, so that a signal handler may read them.
std::atomic<int> g_writesInProgress{0};
std::atomic<bool> g_handling{false};
static_assert(std::atomic<int>::is_always_lock_free, "read in a signal handler");

}  // namespace

WriteInProgress::WriteInProgress() {
  ++g_writesInProgress;
}

WriteInProgress::~WriteInProgress() {
  --g_writesInProgress;
}

bool StopsWaitForWrites() {
  return g_handling.load();
}

int StopRequests::WritesInProgress() {
  return g_writesInProgress.load();
}

void StopRequests::Handling(bool handling) {
  g_handling = handling;
}

void StopRequests::OnStop(std::function<void()> action) {
  std::lock_guard<std::mutex> hold(lock_);
  action_ = std::move(action);
  if (fired_ && action_) action_();
}

void StopRequests::Fire() {
  std::lock_guard<std::mutex> hold(lock_);
  requested_ = true;
  if (fired_) return;
  fired_ = true;
  if (action_) action_();
}

}  // namespace tralvo
