// Stop requests on Windows: Ctrl+C, Ctrl+Break and the console's close.
// The system calls the console control handler on a thread of its own, so
// the handler acts on the request itself.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <system_error>

#include "shared/stop_requests.h"

namespace tralvo {

namespace {

// What Windows reports for a process ended from its console.
constexpr DWORD kConsoleStop = 0xC000013AUL;

std::atomic<StopRequests*> g_requests{nullptr};
std::atomic<bool> g_arrived{false};

BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  if (g_arrived.exchange(true)) {
    // The second request ends the process once the writes in progress are
    // whole.
    while (StopRequests::WritesInProgress() > 0) Sleep(1);
    ExitProcess(kConsoleStop);
  }
  if (StopRequests* requests = g_requests.load()) requests->Fire();
  // The system ends the process as soon as the handler of a closed console
  // returns; waiting here lets the run end it first (the system allows a
  // few seconds).
  if (event == CTRL_CLOSE_EVENT) Sleep(INFINITE);
  return TRUE;
}

}  // namespace

StopRequests::StopRequests() {
  g_requests = this;
  Handling(SetConsoleCtrlHandler(OnConsoleEvent, TRUE) != FALSE);
}

StopRequests::~StopRequests() {
  Handling(false);
  SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
  g_requests = nullptr;
}

int StopRequests::exitStatus() const {
  return static_cast<int>(kConsoleStop);
}

std::thread StartQuietThread(std::function<void()> work) noexcept {
  // The console's requests come on a thread of the system's own.
  try {
    return std::thread(std::move(work));
  } catch (const std::system_error&) {
    return std::thread();
  }
}

}  // namespace tralvo
