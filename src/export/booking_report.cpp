// Reporting for the handlers of the booking loop.
#include "export/booking_report.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "db/database.h"
#include "export/transfer_log.h"
#include "shared/run_state.h"

namespace tralvo {

void PrintConsole(RunState& state, std::string_view text) noexcept {
  // The console is for people; a failed console write has nowhere to go.
  std::fwrite(text.data(), 1, text.size(), state.console);
}

namespace {

// Entries the log never took are counted; with the debug flag the console
// shows them, once why the log could not be used, and what the log says
// an operator should know.
void ReportLogResult(RunState& state, const LogResult& result) {
  if (state.debugFlag)
    for (const std::string& notice : result.notices) PrintConsole(state, notice + "\n");
  if (result.dropped.empty()) return;
  state.notTransferred.logEntriesDropped += static_cast<int64_t>(result.dropped.size());
  if (!state.debugFlag) return;
  if (result.why != FileOpen::kOpened && !state.log.refusalReported) {
    state.log.refusalReported = true;
    PrintConsole(state, "Transferprotokoll nicht verwendbar (" + FileOpenText(result.why) +
                            "): " + state.logPath + "\n");
  }
  for (const std::string& entry : result.dropped) {
    std::string shown = "Nicht protokolliert: ";
    for (char c : entry)
      if (c != '\r') shown += c;
    PrintConsole(state, shown);
  }
}

}  // namespace

std::string FileOpenText(FileOpen why) {
  switch (why) {
    case FileOpen::kOpened:
      break;
    case FileOpen::kMissing:
      return "nicht vorhanden";
    case FileOpen::kPlantedLink:
      return "Pfad \xFC"
             "ber fremden symbolischen Link";
    case FileOpen::kNotRegular:
      return "keine regul\xE4"
             "re Datei";
    case FileOpen::kBusy:
      return "von einem anderen Programm gesperrt";
    case FileOpen::kFailed:
      return SystemErrorText();
  }
  return "";
}

void LogMessage(RunState& state, std::string_view text) noexcept {
  try {
    ReportLogResult(state, WriteLog(state.logPath, state.log, text));
  } catch (const std::bad_alloc&) {
    ++state.notTransferred.logEntriesDropped;
  }
}

void EndLog(RunState& state) noexcept {
  try {
    ReportLogResult(state, FinishLog(state.logPath, state.log));
  } catch (const std::bad_alloc&) {
    state.notTransferred.logEntriesDropped += static_cast<int64_t>(state.log.pending.size());
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

namespace {

const char* CauseText(GiveUpCause cause) {
  switch (cause) {
    case GiveUpCause::kTimeout:
      return "Zeitueberschreitung";
    case GiveUpCause::kConnectionLost:
      return "Verbindungsabbruch";
    case GiveUpCause::kStopped:
      return "Stoppsignal";
    case GiveUpCause::kNone:
      break;
  }
  return "";
}

}  // namespace

bool ReportUnanswered(RunState& state, const Database& db, UnansweredSubject subject,
                      std::string_view name, const BookingKey& booking,
                      std::string& head) noexcept {
  const StatementOutcome outcome = db.lastOutcome();
  if (outcome == StatementOutcome::kAnswered) return false;
  const bool unknown = outcome == StatementOutcome::kUnknown;
  ++(unknown ? state.notTransferred.unknown : state.notTransferred.notSent);
  try {
    std::string text;
    if (subject == UnansweredSubject::kInsert) {
      text.append("Insert in ").append(name);
      text.append(unknown ? " Ergebnis unbekannt ("
                          : " nicht gesendet (Verbindung aufgegeben nach ");
    } else {
      text.append("Zeitbuchung nicht geschrieben, Abfrage ").append(name);
      text.append(unknown ? " ohne Antwort (" : " nicht gesendet (Verbindung aufgegeben nach ");
    }
    text.append(CauseText(db.givenUp())).append(")");
    head = text;
    for (std::string_view part : {booking.terminal, booking.badge, booking.date, booking.time})
      text.append(text.size() == head.size() ? ": " : ", ").append(part);
    LogMessage(state, text);
  } catch (const std::bad_alloc&) {
    // Counted all the same; only the entry is lost, as any entry may be.
  }
  return true;
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
