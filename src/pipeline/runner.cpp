// The runner's sequence: one runner per terminal, the part to feed, the
// transfer with an observer that records its progress line by line, and
// the hand-over of a completed part.
#include "pipeline/runner.h"

#include <chrono>
#include <memory>
#include <new>

#include "app/booking_loop.h"
#include "app/line_observer.h"
#include "app/transfer_run.h"
#include "config/installation.h"
#include "export/booking_report.h"
#include "input/booking_file_reader.h"
#include "input/booking_splitter.h"
#include "input/field_list.h"
#include "pipeline/hand_over.h"
#include "pipeline/part.h"
#include "pipeline/progress_file.h"
#include "pipeline/run_files.h"
#include "shared/file_system.h"
#include "shared/output_file.h"
#include "shared/run_state.h"

namespace tralvo {

namespace {

struct Arguments {
  std::string terminal;
  std::string bookingFile;
  std::string outbox;
  bool debug = false;
  bool skip = false;  // record the booking file as fed, feed nothing
};

// The work file a line of this fate is set aside in; kTime for none.
WorkFile SetAsideIn(LineFate fate) {
  switch (fate) {
    case LineFate::kRefused:
      return WorkFile::kRefused;
    case LineFate::kNotFound:
      return WorkFile::kNotFound;
    case LineFate::kUnknown:
      return WorkFile::kUnknown;
    case LineFate::kMalformed:
      return WorkFile::kMalformed;
    case LineFate::kNoBooking:
    case LineFate::kDone:
    case LineFate::kNotSent:
      break;
  }
  return WorkFile::kTime;
}

// The cause of a set-aside file in the words of the log.
const char* CauseText(WorkFile file) {
  switch (file) {
    case WorkFile::kRefused:
      return "abgewiesen";
    case WorkFile::kNotFound:
      return "nicht gefunden";
    case WorkFile::kUnknown:
      return "Ergebnis unbekannt";
    case WorkFile::kMalformed:
      return "fehlerhaft";
    case WorkFile::kTime:
    case WorkFile::kCostCentre:
      break;
  }
  return "";
}

// An entry of the log that an operator must see on the console as well.
void Tell(RunState& report, const std::string& text) {
  LogMessage(report, text);
  PrintConsole(report, text + "\n");
}

// Hands over what the work files hold and says which lines were set aside.
// Returns 0, kSetAsideStatus when lines were set aside, or
// kFileFailureStatus when the hand-over failed (said, and left for the
// next run to finish).
int HandOverRecords(const RunFiles& files, ProgressFile& file, Progress& progress, int64_t now,
                    RunState& report) {
  Progress before = progress;
  std::string failure;
  if (!BeginHandOver(file, progress, now)) failure = "the progress file: " + SystemErrorText();
  if (failure.empty() && FinishHandOver(files, file, progress, failure)) {
    int status = 0;
    for (int i = 0; i < kWorkFileCount; ++i) {
      const auto which = static_cast<WorkFile>(i);
      if (IsTargetFile(which) || before.lengths[i] == 0) continue;
      Tell(report, std::string("Buchungen zurueckgestellt (") + CauseText(which) +
                       "): " + files.HandedPath(which, progress.stamp));
      status = kSetAsideStatus;
    }
    return status;
  }
  Tell(report, "Uebergabe nach " + files.outbox() + " nicht abgeschlossen: " + failure);
  return kFileFailureStatus;
}

// The observer of the transfer of one part. Progress is recorded after
// every booking that reached the database (the target files flushed first,
// so the lengths recorded are real) and at the end, never for a line that
// only went to a file: a run that dies is resumed after the last booking
// it recorded, its work files cut back to what that booking left, and so
// only the booking in hand when it died can reach the database twice.
class PartFeed final : public LineObserver {
 public:
  PartFeed(const RunFiles& files, ProgressFile& file, Progress& progress, const Part& part,
           bool runDied, RunnerWorld& world)
      : files_(files),
        file_(file),
        progress_(progress),
        fed_(part.from),
        fingerprint_(part.fed),
        runDied_(runDied),
        world_(world) {}

  void Begin(RunState& state) override { state_ = &state; }

  void LineHandled(std::string_view bytes, int64_t offsetAfter, LineFate fate,
                   bool wroteDatabase) override {
    if (frozen_) return;
    if (fate == LineFate::kNotSent) {
      // Fed again by the next run, with all that follows: progress stops
      // before it, and the records of the lines after it are cut off.
      Record(fed_, fingerprint_.Value());
      frozen_ = true;
      return;
    }
    fingerprint_.Add(bytes);
    fed_ = offsetAfter;
    const WorkFile aside = SetAsideIn(fate);
    if (aside != WorkFile::kTime) {
      OutputFile* rejected = Rejected(aside);
      if (rejected) rejected->Write(bytes);
    }
    if (!wroteDatabase) return;
    if (runDied_) TellFedAgain(bytes);
    Record(fed_, fingerprint_.Value());
  }

  int RunEnded(RunState& state, int status) override {
    state_ = &state;
    for (int i = 0; i < kWorkFileCount; ++i) {
      if (rejected_[i] && !rejected_[i]->Close()) {
        ReportFileFailure(state, kTargetWriteFailure, rejected_[i]->path());
        if (status == 0) status = kFileFailureStatus;
      }
    }
    // After a failed file or memory that ran out, the lines since the last
    // record may have lost what they wrote: they are fed again.
    if (!frozen_ && status != kFileFailureStatus && status != kCommandLineError)
      Record(fed_, fingerprint_.Value());
    progress_.running = false;
    if (!file_.Save(progress_, true)) {
      Tell(state,
           "Fortschritt nicht gespeichert: " + files_.ProgressPath() + ": " + SystemErrorText());
      return kFileFailureStatus;
    }
    if (status != 0 || !progress_.HoldsRecords()) return status;
    return HandOverRecords(files_, file_, progress_, world_.Now(), state);
  }

 private:
  // The set-aside file of a cause, opened at its first line, after the
  // lines it holds for the part so far.
  OutputFile* Rejected(WorkFile which) {
    std::unique_ptr<OutputFile>& rejected = rejected_[static_cast<int>(which)];
    if (!rejected) {
      rejected = std::make_unique<OutputFile>();
      if (!rejected->Open(files_.WorkPath(which), progress_.lengths[static_cast<int>(which)]))
        ReportFileFailure(*state_, kTargetWriteFailure, files_.WorkPath(which));
    }
    return rejected->isOpen() ? rejected.get() : nullptr;
  }

  // Records that the bytes [0, fed) were fed, with what the work files
  // hold for them; nothing when a file could not take its records.
  void Record(int64_t fed, uint64_t fingerprint) {
    OutputFile* targets[] = {&state_->timeBookingFile, &state_->costCentreFile};
    for (OutputFile* target : targets)
      if (!target->Flush()) return;
    for (const auto& rejected : rejected_)
      if (rejected && (!rejected->isOpen() || !rejected->Flush())) return;
    progress_.fed = fed;
    progress_.fedFingerprint = fingerprint;
    progress_.lengths[static_cast<int>(WorkFile::kTime)] = targets[0]->length();
    progress_.lengths[static_cast<int>(WorkFile::kCostCentre)] = targets[1]->length();
    for (int i = 0; i < kWorkFileCount; ++i)
      if (rejected_[i]) progress_.lengths[i] = rejected_[i]->length();
    progress_.running = true;
    file_.Save(progress_, false);
  }

  // The first booking after the last one a dead run recorded may have
  // reached the database already: it is fed again, and the log says so.
  void TellFedAgain(std::string_view line) {
    runDied_ = false;
    FieldList record;
    std::string text = "Nach Abbruch des letzten Laufs erneut uebergeben (kann doppelt sein)";
    if (SplitBookingLine(line, record) != SplitResult::kNone) {
      text += ": ";
      text.append(record[field::kTerminalId]).append(", ");
      text.append(record[field::kBadgeNumber]).append(", ");
      text.append(record[field::kBookingDate]).append(", ");
      text.append(record[field::kBookingTime]);
    }
    FreeFieldList(record);
    LogMessage(*state_, text);
  }

  const RunFiles& files_;
  ProgressFile& file_;
  Progress& progress_;
  int64_t fed_;
  Fingerprint fingerprint_;
  bool runDied_;
  bool frozen_ = false;
  RunnerWorld& world_;
  RunState* state_ = nullptr;
  std::unique_ptr<OutputFile> rejected_[kWorkFileCount];
};

class Runner {
 public:
  Runner(const Arguments& args, RunnerWorld& world)
      : args_(args), world_(world), files_(args.terminal, args.outbox) {
    report_.console = world.Console();
    report_.logPath = NativePath(kTransferLogPath);
    report_.terminalId = args.terminal;
    report_.debugFlag = args.debug ? 1 : 0;
  }
  ~Runner() { EndLog(report_); }

  int Run() {
    NativeFile lock;
    const FileOpen opened = lock.OpenLockFile(files_.LockPath());
    if (opened != FileOpen::kOpened) {
      Say("cannot open its lock " + files_.LockPath() + ": " + FileOpenText(opened));
      return kFileFailureStatus;
    }
    if (!lock.Lock(std::chrono::milliseconds(0))) {
      Say("a run of this terminal is going; this one ends");
      return kRunGoingStatus;
    }
    const int status = Locked();
    if (!transferred_) world_.LeaveStatus(args_.terminal, args_.debug, status);
    return status;
  }

 private:
  // Everything under the terminal's lock.
  int Locked() {
    if (!args_.skip && !OutboxUsable()) return kFileFailureStatus;
    if (!CreateFolder(files_.WorkFolder())) {
      Say("cannot create the work folder " + files_.WorkFolder() + ": " + SystemErrorText());
      return kFileFailureStatus;
    }
    if (!LoadProgress()) return kFileFailureStatus;
    if (progress_.handingOver) {
      std::string failure;
      if (!FinishHandOver(files_, state_, progress_, failure)) {
        Say("the hand-over the last run began cannot be finished: " + failure);
        return kFileFailureStatus;
      }
    }
    BookingFileReader bookings;
    if (!bookings.Open(args_.bookingFile)) {
      if (bookings.opened() == FileOpen::kMissing && !args_.skip) return Idle();
      Say("cannot read the booking file " + args_.bookingFile + ": " +
          FileOpenText(bookings.opened()));
      return kFileFailureStatus;
    }
    Part part;
    if (!FindPart(bookings, progress_, part)) {
      Say("cannot read the booking file " + args_.bookingFile + ": " + SystemErrorText());
      return kFileFailureStatus;
    }
    if (args_.skip) return Skip(bookings, part);
    if (part.to == part.from) return Idle();
    return Feed(bookings, part);
  }

  bool OutboxUsable() {
    const std::string& outbox = files_.outbox();
    const PathKind kind = KindOf(outbox);
    std::string why;
    if (kind == PathKind::kMissing)
      why = "it does not exist";
    else if (kind != PathKind::kFolder)
      why = "it is not a folder";
    else if (!AccountMay(outbox, FileAccess::kWrite))
      why = "this account cannot create files in it";
    if (why.empty()) return true;
    Say("OUTBOX " + outbox + " cannot be used: " + why + "; nothing was fed");
    return false;
  }

  bool LoadProgress() {
    const std::string path = files_.ProgressPath();
    const std::string reset = "; remove it to feed the whole booking file again, or run " +
                              std::string("tralvo-run TERMINAL BOOKINGFILE OUTBOX /SKIP") +
                              " to go on after what the booking file holds now";
    switch (state_.Load(path, args_.terminal, progress_)) {
      case ProgressLoad::kLoaded:
        return true;
      case ProgressLoad::kMissing:
        break;
      case ProgressLoad::kDamaged:
        if (args_.skip) break;
        Say("the progress file " + path + " is damaged" + reset);
        return false;
      case ProgressLoad::kOtherTerminal:
        if (args_.skip) break;
        Say("the progress file " + path + " belongs to another terminal" + reset);
        return false;
      case ProgressLoad::kFailed:
        Say("cannot read the progress file " + path + ": " + SystemErrorText());
        return false;
    }
    progress_ = NewProgress();
    if (state_.Create(path, args_.terminal, progress_)) return true;
    Say("cannot create the progress file " + path + ": " + SystemErrorText());
    return false;
  }

  // Nothing to feed: what a part left in the work files is handed over
  // now (its booking file was replaced or removed), nothing else is done.
  int Idle() {
    if (args_.debug) PrintConsole(report_, "nichts Neues in " + args_.bookingFile + "\n");
    if (!progress_.HoldsRecords()) return 0;
    return HandOverRecords(files_, state_, progress_, world_.Now(), report_);
  }

  // Records the booking file, up to its last line end, as fed.
  int Skip(BookingFileReader& bookings, const Part& part) {
    // The bytes before the part are in its fingerprint already; the
    // part's own are read once, not fed.
    Fingerprint fed = part.fed;
    std::string_view piece;
    bool endsLine;
    ReadResult read = ReadResult::kError;
    if (bookings.Restrict(part.from, part.to))
      while ((read = bookings.Next(piece, endsLine)) == ReadResult::kPiece) fed.Add(piece);
    if (read == ReadResult::kError) {
      Say("cannot read the booking file " + args_.bookingFile + ": " + SystemErrorText());
      return kFileFailureStatus;
    }
    progress_.fed = part.to;
    progress_.fedFingerprint = fed.Value();
    progress_.running = false;
    if (!state_.Save(progress_, true)) {
      Say("cannot write the progress file " + files_.ProgressPath() + ": " + SystemErrorText());
      return kFileFailureStatus;
    }
    Say(std::to_string(part.to) + " bytes of " + args_.bookingFile +
        " recorded as fed; the next run feeds what follows them");
    return 0;
  }

  int Feed(BookingFileReader& bookings, const Part& part) {
    const bool runDied = progress_.running;
    if (part.newDelivery) {
      progress_.fed = 0;
      progress_.fedFingerprint = part.fed.Value();
    }
    progress_.running = true;
    if (!bookings.Restrict(part.from, part.to) || !state_.Save(progress_, false)) {
      Say("cannot begin: " + SystemErrorText());
      return kFileFailureStatus;
    }
    PartFeed feed(files_, state_, progress_, part, runDied, world_);
    TransferPart transfer;
    transfer.bookings = &bookings;
    transfer.timeBookingsKept = progress_.lengths[static_cast<int>(WorkFile::kTime)];
    transfer.costCentresKept = progress_.lengths[static_cast<int>(WorkFile::kCostCentre)];
    transfer.observer = &feed;
    const std::string time = files_.WorkPath(WorkFile::kTime);
    const std::string cost = files_.WorkPath(WorkFile::kCostCentre);
    const char* argv[] = {"tralvo-run", args_.terminal.c_str(), args_.bookingFile.c_str(),
                          time.c_str(), cost.c_str(),           "/D"};
    transferred_ = true;
    return world_.Transfer(args_.debug ? 6 : 5, argv, transfer);
  }

  // A message of the runner's own, on the console.
  void Say(const std::string& text) {
    PrintConsole(report_, "tralvo-run: " + args_.terminal + ": " + text + "\n");
  }

  const Arguments& args_;
  RunnerWorld& world_;
  RunFiles files_;
  RunState report_;
  ProgressFile state_;
  Progress progress_;
  bool transferred_ = false;  // the transfer left the run's status itself
};

bool ParseArguments(int argc, const char* const* argv, Arguments& args, RunState& report) {
  if (argc < 4) {
    PrintConsole(report, "Parameterfehler");
    return false;
  }
  for (int i = 4; i < argc; ++i) {
    std::string word = argv[i];
    UpperCase(word);
    if (word == "/D") args.debug = true;
    if (word == "/SKIP") args.skip = true;
  }
  if (std::string_view(argv[1]).size() > kMaxTerminalIdLength) {
    PrintConsole(report, "Terminalname zu lang");
    return false;
  }
  args.terminal = argv[1];
  args.bookingFile = argv[2];
  args.outbox = argv[3];
  return true;
}

// The world of a real run: tralvo's transfer, the system's clock, the
// standard output.
class SystemWorld final : public RunnerWorld {
 public:
  int Transfer(int argc, const char* const* argv, const TransferPart& part) override {
    return RunTransfer(argc, argv, part);
  }
  void LeaveStatus(const std::string& terminal, bool debug, int status) override {
    LeaveStatusOfEmptyRun(terminal, debug, start_, status);
  }
  int64_t Now() override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
  }
  std::FILE* Console() override { return stdout; }

 private:
  const std::chrono::system_clock::time_point start_ = std::chrono::system_clock::now();
};

}  // namespace

int RunRunner(int argc, const char* const* argv) noexcept {
  SystemWorld world;
  return RunRunner(argc, argv, world);
}

int RunRunner(int argc, const char* const* argv, RunnerWorld& world) noexcept {
  try {
    Arguments args;
    RunState report;
    report.console = world.Console();
    if (!ParseArguments(argc, argv, args, report)) return kCommandLineError;
    Runner runner(args, world);
    return runner.Run();
  } catch (const std::bad_alloc&) {
    std::fputs("tralvo-run: Abbruch: Speichermangel\n", world.Console());
    return kCommandLineError;
  }
}

}  // namespace tralvo
