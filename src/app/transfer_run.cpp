// The run sequence: arguments, files, connection, header, booking loop,
// and the exit status that tells the scheduler how the run went.
#include "app/transfer_run.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "app/booking_loop.h"
#include "app/exit_status.h"
#include "app/run.h"
#include "app/transfer_handlers.h"
#include "config/installation.h"
#include "db/database.h"
#include "export/status_file.h"
#include "export/transfer_log.h"
#include "input/booking_file_reader.h"
#include "shared/file_system.h"
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
bool TargetIsInstallationFile(const Run& run, const char* const* argv) {
  const std::string files[] = {run.report.logPath(), LogBackupPath(run.report.logPath()),
                               NativePath(kConfigFilePath)};
  for (const char* target : {argv[3], argv[4]})
    for (const std::string& file : files)
      if (SameRegularFile(target, file.c_str())) return true;
  return false;
}

bool TargetsClash(Run& run, const char* const* argv) {
  const char* message = nullptr;
  if (SameRegularFile(argv[2], argv[3]) || SameRegularFile(argv[2], argv[4]))
    message = "Zieldatei ist die Quelldatei\n";
  else if (SameRegularFile(argv[3], argv[4]))
    message = "Beide Zieldateien sind dieselbe Datei\n";
  else if (TargetIsInstallationFile(run, argv))
    message = "Zieldatei ist eine Datei der Installation\n";
  if (message && run.report.debug()) run.report.Print(message);
  return message != nullptr;
}

// Says with the debug flag why a file could not be used, where the message
// before has not said it already.
void TellWhy(Run& run, FileOpen why, const SystemError& error, const std::string& path) {
  if (why != FileOpen::kMissing)
    run.report.Print("   " + path + ": " + FileOpenText(why, error) + "\n");
}

bool TargetsOpen(Run& run);
bool TargetsReady(Run& run);

// Opens the booking file and both target files. The target files are
// created or emptied even when the booking file is missing, so the caller
// never picks up the output of an earlier run; but none is touched when a
// target is the booking file, the other target, the log, its backup or the
// configuration.
bool OpenFiles(Run& run, BookingFileReader& bookings, const char* const* argv) {
  const bool debug = run.report.debug();
  bool bookingsOpen = bookings.Open(argv[2]);
  if (!bookingsOpen && debug) {
    run.report.Print("Quelldatei auf Server nicht gefunden\n");
    TellWhy(run, bookings.opened(), bookings.openError(), argv[2]);
  }
  if (TargetsClash(run, argv)) return false;
  bool timeOpen = run.timeBookingFile.Open(argv[3]);
  // Two spellings of a file that did not exist are one file only now.
  if (timeOpen && TargetsClash(run, argv)) return false;
  bool costOpen = run.costCentreFile.Open(argv[4]);
  // Nor is a new target at the name of a log that was not there yet.
  if (costOpen && TargetsClash(run, argv)) return false;
  // Without a booking file there is no login for the targets' cuts to run
  // beside.
  if (!bookingsOpen) TargetsReady(run);
  return TargetsOpen(run) && bookingsOpen;
}

// Whether both target files are open; says with the debug flag why not.
bool TargetsOpen(Run& run) {
  const bool open = run.timeBookingFile.isOpen() && run.costCentreFile.isOpen();
  if (!open && run.report.debug()) {
    run.report.Print("Zieldatei kann nicht erzeugt werden\n");
    for (const OutputFile* target : {&run.timeBookingFile, &run.costCentreFile})
      if (!target->isOpen()) TellWhy(run, target->opened(), target->openError(), target->path());
  }
  return open;
}

// Whether both target files are open once their cuts are done; says with
// the debug flag why not.
bool TargetsReady(Run& run) {
  bool cut = run.timeBookingFile.AwaitCut();
  cut = run.costCentreFile.AwaitCut() && cut;
  return cut || TargetsOpen(run);
}

// A target file whose last bytes could not be written makes the run a
// failure even after its summary.
int CloseFiles(Run& run, BookingFileReader& bookings, int status) {
  bookings.Close();
  for (OutputFile* file : {&run.timeBookingFile, &run.costCentreFile}) {
    bool failedBefore = file->failed();
    if (!file->Close() && !failedBefore) {
      run.report.FileFailure(kTargetWriteFailure, file->path());
      status = kExitFileFailure;
    }
  }
  return status;
}

// Leaves the run's status for the monitoring where STATUS_DIR says. A
// status that cannot be written, and a folder that other accounts can
// write, are logged (and with /D printed) and change nothing else: the
// run's own outcome stands.
void LeaveStatus(Run& run, std::chrono::system_clock::time_point start, int status) noexcept {
  try {
    const std::string folder = ReadStatusFolder(NativePath(kConfigFilePath));
    if (folder.empty()) return;
    const StatusWrite written =
        WriteStatusFile(folder, run.report, {start, std::chrono::system_clock::now()}, status);
    std::vector<std::string> texts;
    if (written.folderOpen)
      texts.push_back("Statusverzeichnis fuer alle Konten beschreibbar: " + folder);
    if (written.outcome == StatusWrite::kFailed)
      texts.push_back("Statusdatei kann nicht geschrieben werden: " +
                      StatusFilePath(folder, run.report.terminalId()));
    if (written.outcome == StatusWrite::kNotPlainFile)
      texts.push_back("Statusdatei keine regulaere Datei, nicht geschrieben: " +
                      StatusFilePath(folder, run.report.terminalId()));
    if (texts.empty()) return;
    for (const std::string& text : texts) {
      run.report.Log(text);
      if (run.report.debug()) run.report.Print(text + "\n");
    }
    run.report.EndLog();
  } catch (const std::bad_alloc&) {
    // Lost like any report that finds no memory.
  }
}

// The run sequence once the command line is taken.
int RunSequence(Run& run, const char* const* argv, int commandLineWords,
                std::chrono::system_clock::time_point start) {
  BookingFileReader bookings;
  if (!OpenFiles(run, bookings, argv)) return kExitFileFailure;
  const int status = TransferOpenFiles(run, bookings, commandLineWords, start);
  return CloseFiles(run, bookings, status);
}

}  // namespace

int TransferOpenFiles(Run& run, BookingFileReader& bookings, int connectFailure,
                      std::chrono::system_clock::time_point start) {
  Database db;
  // A stop during the login is taken at once: a connect in progress cannot
  // be cancelled (it would wait out the login timeout), and no booking has
  // been read, so nothing is lost by ending the process here. The stop
  // entry is all the log gets: the run never connected.
  struct StopAction {
    StopRequests* stop;
    ~StopAction() {
      if (stop) stop->OnStop(nullptr);
    }
  } stopAction{run.stop};
  if (run.stop) {
    run.stop->OnStop([&run, start] {
      // The targets stay as opened, their cuts done.
      TargetsReady(run);
      run.report.Stopped();
      EndRun(run, start, run.stop->exitStatus());
      std::fflush(nullptr);
      std::_Exit(run.stop->exitStatus());
    });
  }
  const int connectError = OpenDatabase(db, stdout, run.report.debug());
  // From here a stop cancels the statement in flight and sends no other;
  // the loop then ends after the booking in hand. Removed before db goes.
  if (run.stop) run.stop->OnStop([&db] { db.Stop(); });
  // A target whose cut failed is one that could not be opened, whatever
  // became of the login.
  if (!TargetsReady(run)) return kExitFileFailure;
  if (connectError != 0) {
    char text[96];
    std::snprintf(text, sizeof text, "\n\nDatenbankverbindung fehlgeschlagen, Fehler: %d",
                  connectError);
    run.report.Log(text);
    // Never 0: the caller must see that nothing was transferred.
    return connectFailure;
  }
  std::string serverTime;
  QueryServerTime(db, serverTime);
  run.report.Log(
      "\n\n>>>>>>>>>>>>>>>>>>>>>>>>>>>>>> \xDC"
      "bergabe am " +
      serverTime + ":");
  TransferHandlers handlers(run, db);
  return TransferBookings(run, bookings, handlers);
}

int TransferPart(Run& run, BookingFileReader& bookings, const PartTargets& targets,
                 int connectFailure, std::chrono::system_clock::time_point start) {
  run.timeBookingFile.Open(targets.timeBookings, targets.timeBookingsKept);
  run.costCentreFile.Open(targets.costCentres, targets.costCentresKept);
  int status = kExitFileFailure;
  if (TargetsOpen(run)) status = TransferOpenFiles(run, bookings, connectFailure, start);
  return CloseFiles(run, bookings, status);
}

void EndRun(Run& run, std::chrono::system_clock::time_point start, int status) noexcept {
  run.report.EndLog();
  // After the log's end, so the status counts every entry it dropped.
  LeaveStatus(run, start, status);
}

std::string& UpperCase(std::string& text) {
  for (size_t i = text.size(); i-- > 0;)
    if (text[i] >= 'a' && text[i] <= 'z') text[i] = static_cast<char>(text[i] - 'a' + 'A');
  return text;
}

int RunTransfer(int argc, const char* const* argv) noexcept {
  const auto start = std::chrono::system_clock::now();
  // Held until the log has its last entries, so a stop cannot cut them off.
  StopRequests stop;
  if (argc < 5) {
    std::fputs("Parameterfehler", stdout);
    return kExitCommandLineError;
  }
  if (std::strlen(argv[1]) > kMaxTerminalIdLength) {
    std::fputs("Terminalname zu lang", stdout);
    return kExitCommandLineError;
  }
  bool debug = false;
  int status = kExitCommandLineError;
  try {
    if (argc > 5) {
      std::string debugSwitch = argv[5];
      debug = UpperCase(debugSwitch) == "/D";
    }
    tralvo::Run run(stdout, debug, argv[1], NativePath(kTransferLogPath));
    run.stop = &stop;
    try {
      status = RunSequence(run, argv, argc, start);
    } catch (const std::bad_alloc&) {
      // Memory ran out outside any one booking: the run cannot be trusted
      // to have done its work, so it must not end as a success.
      run.report.LogAndPrint("Abbruch: Speichermangel\n");
      status = kExitCommandLineError;
    }
    EndRun(run, start, status);
  } catch (const std::bad_alloc&) {
    // Not even the run's own state could be had: nothing was done.
  }
  return status;
}

}  // namespace tralvo
