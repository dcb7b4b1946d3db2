// Reporting for the handlers of the booking loop.
#include "export/booking_report.h"

#include <cstdio>

#include "export/transfer_log.h"
#include "shared/run_state.h"

namespace tralvo {

void PrintConsole(RunState& state, std::string_view text) {
  // The console is for people; a failed console write has nowhere to go.
  std::fwrite(text.data(), 1, text.size(), state.console);
}

void LogMessage(RunState& state, std::string_view text) {
  WriteLog(state.logPath, text);
}

void LogAndPrint(RunState& state, std::string_view text) {
  LogMessage(state, text);
  PrintConsole(state, text);
}

void ReportFileFailure(RunState& state, const char* what, const std::string& path) {
  std::string message = std::string(what) + path;
  LogMessage(state, message);
  PrintConsole(state, message + "\n");
}

}  // namespace tralvo
