// Reporting for the handlers of the booking loop.
#include "export/booking_report.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "export/transfer_log.h"
#include "shared/run_state.h"

namespace tralvo {

void PrintConsole(RunState& state, std::string_view text) noexcept {
  // The console is for people; a failed console write has nowhere to go.
  std::fwrite(text.data(), 1, text.size(), state.console);
}

void LogMessage(RunState& state, std::string_view text) noexcept {
  try {
    WriteLog(state.logPath, state.logFile, text);
  } catch (const std::bad_alloc&) {
  }
}

void LogAndPrint(RunState& state, std::string_view text) noexcept {
  LogMessage(state, text);
  PrintConsole(state, text);
}

void ReportFileFailure(RunState& state, const char* what, const std::string& path) noexcept {
  try {
    std::string message = std::string(what) + path;
    LogMessage(state, message);
    PrintConsole(state, message + "\n");
  } catch (const std::bad_alloc&) {
  }
}

void ReportBookingWithoutMemory(RunState& state, std::string_view badge,
                                std::string_view date) noexcept {
  // Keyed like the other entries of a booking; both fields are at most a
  // field's length, so the text fits.
  char text[640];
  int length = std::snprintf(
      text, sizeof text, "%.*s, %.*s, Speichermangel, Buchung nicht uebergeben",
      static_cast<int>(badge.size()), badge.data(), static_cast<int>(date.size()), date.data());
  if (length < 0) return;
  std::string_view entry(text, std::min(static_cast<size_t>(length), sizeof text - 1));
  LogMessage(state, entry);
  PrintConsole(state, entry);
  PrintConsole(state, "\n");
}

}  // namespace tralvo
