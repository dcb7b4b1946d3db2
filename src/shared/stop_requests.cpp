// What both platforms share of a stop: the action run once on the first
// request.
#include "shared/stop_requests.h"

namespace tralvo {

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
