// The run sequence: arguments, files, connection, header, booking loop,
// and the exit status that tells the scheduler how the run went.
#include "app/transfer_run.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <new>

#include "app/booking_loop.h"
#include "app/line_observer.h"
#include "app/transfer_handlers.h"
#include "config/installation.h"
#include "db/database.h"
#include "export/booking_report.h"
#include "export/status_file.h"
#include "export/transfer_log.h"
#include "input/booking_file_reader.h"
#include "shared/file_system.h"
#include "shared/run_state.h"
#include "shared/stop_requests.h"

namespace tralvo {

namespace {

// Whether two paths lead to one plain file. "wb" on a target that is the
// booking file would empty the bookings before they are read, and two
// targets that are one file write over each other; the files' identities
// are compared, so no other spelling, hard link or symbolic link slips
// through. A device such as a null device has nothing to lose.
bool SameRegularFile(const char* a, const char* b) {
  FileIdentity first;
  FileIdentity second;
  return IdentifyPath(a, first) && first.regular && IdentifyPath(b, second) && first == second;
}

// Whether a target names a file of the installation itself: the shared log
// of every terminal, its backup or the configuration would be emptied and
// then overwritten with records.
bool TargetIsInstallationFile(const RunState& state, const char* const* argv) {
  const std::string files[] = {state.logPath, LogBackupPath(state.logPath),
                               NativePath(kConfigFilePath)};
  for (const char* target : {argv[3], argv[4]})
    for (const std::string& file : files)
      if (SameRegularFile(target, file.c_str())) return true;
  return false;
}

bool TargetsClash(RunState& state, const char* const* argv) {
  const char* message = nullptr;
  if (SameRegularFile(argv[2], argv[3]) || SameRegularFile(argv[2], argv[4]))
    message = "Zieldatei ist die Quelldatei\n";
  else if (SameRegularFile(argv[3], argv[4]))
    message = "Beide Zieldateien sind dieselbe Datei\n";
  else if (TargetIsInstallationFile(state, argv))
    message = "Zieldatei ist eine Datei der Installation\n";
  if (message && state.debugFlag) PrintConsole(state, message);
  return message != nullptr;
}

// Says with the debug flag why a file could not be used, where the message
// before has not said it already.
void TellWhy(RunState& state, FileOpen why, const std::string& path) {
  if (why != FileOpen::kMissing)
    PrintConsole(state, "   " + path + ": " + FileOpenText(why) + "\n");
}

// Opens the booking file and both target files. The target files are
// created or emptied even when the booking file is missing, so the caller
// never picks up the output of an earlier run; but none is touched when a
// target is the booking file, the other target, the log, its backup or the
// configuration.
bool OpenFiles(RunState& state, BookingFileReader& bookings, const char* const* argv,
               const TransferPart& part) {
  bool bookingsOpen = part.bookings || bookings.Open(argv[2]);
  if (!bookingsOpen && state.debugFlag) {
    PrintConsole(state, "Quelldatei auf Server nicht gefunden\n");
    TellWhy(state, bookings.opened(), argv[2]);
  }
  if (TargetsClash(state, argv)) return false;
  bool timeOpen = state.timeBookingFile.Open(argv[3], part.timeBookingsKept);
  // Two spellings of a file that did not exist are one file only now.
  if (timeOpen && TargetsClash(state, argv)) return false;
  bool costOpen = state.costCentreFile.Open(argv[4], part.costCentresKept);
  // Nor is a new target at the name of a log that was not there yet.
  if (costOpen && TargetsClash(state, argv)) return false;
  if (!(timeOpen && costOpen) && state.debugFlag) {
    PrintConsole(state, "Zieldatei kann nicht erzeugt werden\n");
    for (const OutputFile* target : {&state.timeBookingFile, &state.costCentreFile})
      if (!target->isOpen()) TellWhy(state, target->opened(), target->path());
  }
  return bookingsOpen && timeOpen && costOpen;
}

// A target file whose last bytes could not be written makes the run a
// failure even after its summary.
int CloseFiles(RunState& state, BookingFileReader& bookings, int status) {
  bookings.Close();
  for (OutputFile* file : {&state.timeBookingFile, &state.costCentreFile}) {
    bool failedBefore = file->failed();
    if (!file->Close() && !failedBefore) {
      ReportFileFailure(state, kTargetWriteFailure, file->path());
      status = kFileFailureStatus;
    }
  }
  return status;
}

int Transfer(RunState& state, BookingFileReader& bookings, int commandLineWords,
             LineObserver* observer) {
  Database db;
  int connectError = OpenDatabase(db, state);
  if (connectError != 0) {
    char text[96];
    std::snprintf(text, sizeof text, "\n\nDatenbankverbindung fehlgeschlagen, Fehler: %d",
                  connectError);
    LogMessage(state, text);
    // Never 0: the caller must see that nothing was transferred.
    return commandLineWords;
  }
  // A stop cancels the statement in flight and sends no other; the loop
  // then ends after the booking in hand. Removed before db goes.
  struct StopAction {
    StopRequests* stop;
    ~StopAction() {
      if (stop) stop->OnStop(nullptr);
    }
  } stopAction{state.stop};
  if (stopAction.stop) stopAction.stop->OnStop([&db] { db.Stop(); });
  std::string serverTime;
  QueryServerTime(db, serverTime);
  LogMessage(state,
             "\n\n>>>>>>>>>>>>>>>>>>>>>>>>>>>>>> \xDC"
             "bergabe am " +
                 serverTime + ":");
  TransferHandlers handlers(state, db);
  int status = TransferBookings(state, bookings, handlers, observer);
  DatabaseHook();
  return status;
}

// Leaves the run's status for the monitoring where STATUS_DIR says. A
// status that cannot be written is logged (and with /D printed) and
// changes nothing else: the run's own outcome stands.
void LeaveStatus(RunState& state, std::chrono::system_clock::time_point start,
                 int status) noexcept {
  try {
    const std::string folder = ReadStatusFolder(NativePath(kConfigFilePath));
    if (folder.empty()) return;
    if (WriteStatusFile(folder, state, {start, std::chrono::system_clock::now()}, status)) return;
    const std::string text =
        "Statusdatei kann nicht geschrieben werden: " + StatusFilePath(folder, state.terminalId);
    LogMessage(state, text);
    EndLog(state);
    if (state.debugFlag) PrintConsole(state, text + "\n");
  } catch (const std::bad_alloc&) {
    // Lost like any report that finds no memory.
  }
}

// terminalTaken tells whether the run got as far as its terminal id: a
// command line without one leaves no status behind.
int Run(RunState& state, int argc, const char* const* argv, const TransferPart& part,
        bool& terminalTaken) {
  state.logPath = NativePath(kTransferLogPath);
  if (argc < 5) {
    PrintConsole(state, "Parameterfehler");
    return kCommandLineError;
  }
  if (argc > 5) {
    std::string debugSwitch = argv[5];
    if (UpperCase(debugSwitch) == "/D") state.debugFlag = 1;
  }
  if (std::strlen(argv[1]) > kMaxTerminalIdLength) {
    PrintConsole(state, "Terminalname zu lang");
    return kCommandLineError;
  }
  state.terminalId = argv[1];
  terminalTaken = true;

  BookingFileReader ownBookings;
  BookingFileReader& bookings = part.bookings ? *part.bookings : ownBookings;
  int status = kFileFailureStatus;
  if (OpenFiles(state, bookings, argv, part))
    status = Transfer(state, bookings, argc, part.observer);
  status = CloseFiles(state, bookings, status);
  return part.observer ? part.observer->RunEnded(state, status) : status;
}

}  // namespace

std::string& UpperCase(std::string& text) {
  for (size_t i = text.size(); i-- > 0;)
    if (text[i] >= 'a' && text[i] <= 'z') text[i] = static_cast<char>(text[i] - 'a' + 'A');
  return text;
}

int RunTransfer(int argc, const char* const* argv) noexcept {
  return RunTransfer(argc, argv, TransferPart{});
}

int RunTransfer(int argc, const char* const* argv, const TransferPart& part) noexcept {
  const auto start = std::chrono::system_clock::now();
  RunState state;
  // Held until the log has its last entries, so a stop cannot cut them off.
  StopRequests stop;
  state.stop = &stop;
  bool terminalTaken = false;
  int status;
  try {
    status = Run(state, argc, argv, part, terminalTaken);
  } catch (const std::bad_alloc&) {
    // Memory ran out outside any one booking: the run cannot be trusted
    // to have done its work, so it must not end as a success.
    LogAndPrint(state, "Abbruch: Speichermangel\n");
    status = kCommandLineError;
  }
  EndLog(state);
  // After the log's end, so the status counts every entry it dropped.
  if (terminalTaken) LeaveStatus(state, start, status);
  return status;
}

void LeaveStatusOfEmptyRun(const std::string& terminal, bool debug,
                           std::chrono::system_clock::time_point start, int status) noexcept {
  try {
    RunState state;
    state.logPath = NativePath(kTransferLogPath);
    state.terminalId = terminal;
    state.debugFlag = debug ? 1 : 0;
    LeaveStatus(state, start, status);
  } catch (const std::bad_alloc&) {
    // Lost like any report that finds no memory.
  }
}

}  // namespace tralvo
