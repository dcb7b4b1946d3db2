// The runner's sequence: one runner per terminal, the part to feed, the
// transfer with an observer that records its progress booking by booking,
// and the hand-over of a completed part.
#include "pipeline/runner.h"

#include <chrono>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "app/exit_status.h"
#include "app/run.h"
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
#include "shared/stop_requests.h"

namespace tralvo {

namespace {

struct Arguments {
  std::string terminal;
  std::string bookingFile;
  std::string outbox;
  bool debug = false;
  bool skip = false;  // record the booking file as fed, feed nothing
  int words = 0;      // the command line's words: the status of a failed connection
};

// The work file a line of this fate is set aside in, or none (kTime).
WorkFile SetAsideIn(BookingFate fate) {
  switch (fate) {
    case BookingFate::kRefused:
      return WorkFile::kRefused;
    case BookingFate::kNotFound:
      return WorkFile::kNotFound;
    case BookingFate::kUnknown:
      return WorkFile::kUnknown;
    case BookingFate::kMalformed:
      return WorkFile::kMalformed;
    case BookingFate::kNotWritten:
    case BookingFate::kNotSent:
    case BookingFate::kDone:
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
void Tell(BookingReport& report, const std::string& text) {
  report.Log(text);
  report.Print(text + "\n");
}

// Carries out the hand-over progress holds and says which lines it set
// aside. Returns 0, kExitSetAside when lines were set aside, or
// kExitFileFailure when the hand-over failed (said, and left for the next
// run to finish).
int FinishAndTell(const RunFiles& files, ProgressFile& file, Progress& progress,
                  BookingReport& report) {
  const Progress before = progress;
  std::string failure;
  if (!FinishHandOver(files, file, progress, failure)) {
    Tell(report, "Uebergabe nach " + files.outbox() + " nicht abgeschlossen: " + failure);
    return kExitFileFailure;
  }
  int status = kExitDone;
  for (int i = 0; i < kWorkFileCount; ++i) {
    const auto which = static_cast<WorkFile>(i);
    if (IsTargetFile(which) || before.lengths[i] == 0) continue;
    Tell(report, std::string("Buchungen zurueckgestellt (") + CauseText(which) +
                     "): " + files.HandedPath(which, before.stamp));
    status = kExitSetAside;
  }
  return status;
}

// Hands over what the work files hold, as FinishAndTell says.
int HandOverRecords(const RunFiles& files, ProgressFile& file, Progress& progress, int64_t now,
                    BookingReport& report) {
  if (BeginHandOver(file, progress, now)) return FinishAndTell(files, file, progress, report);
  Tell(report, "Uebergabe nach " + files.outbox() +
                   " nicht abgeschlossen: " + files.ProgressPath() + ": " + file.error().Text());
  return kExitFileFailure;
}

// Follows the transfer of one part. Progress is recorded after every
// booking whose row reached the server (the target files flushed first,
// so the lengths recorded are real) and at the end, never for a line that
// only went to a file: a run that dies is resumed after the last booking
// it recorded, its work files cut back to what that booking left, so only
// the booking in hand when it died can reach the database twice.
class PartFeed final : public LineObserver {
 public:
  PartFeed(const RunFiles& files, ProgressFile& file, Progress& progress, const Part& part,
           bool runDied, Run& run)
      : files_(files),
        file_(file),
        progress_(progress),
        fed_(part.from),
        fingerprint_(part.fed),
        runDied_(runDied),
        run_(run) {}

  void LineHandled(std::string_view piece, bool endsLine, BookingFate fate, bool rowSent) override {
    if (held_) return;
    try {
      Follow(piece, endsLine, fate, rowSent);
    } catch (const std::bad_alloc&) {
      // Memory ran out on the way to a set-aside file or the log: nothing
      // from here on is recorded, so the next run feeds it again.
      held_ = true;
    }
  }

  // After the transfer has closed its files: records how far the part got.
  // Returns the run's exit status so far.
  int Ended(int status) {
    for (const auto& rejected : rejected_) {
      if (rejected && !rejected->Close()) {
        run_.report.FileFailure(kTargetWriteFailure, rejected->path());
        if (status == kExitDone) status = kExitFileFailure;
      }
    }
    // After a failed file or memory that ran out, the lines since the last
    // record may have lost what they wrote: they are fed again.
    if (!held_ && status != kExitFileFailure && status != kExitCommandLineError)
      Record(fed_, fingerprint_.Value());
    progress_.running = false;
    if (!file_.Save(progress_, true)) {
      Tell(run_.report,
           "Fortschritt nicht gespeichert: " + files_.ProgressPath() + ": " + file_.error().Text());
      return kExitFileFailure;
    }
    return status;
  }

 private:
  void Follow(std::string_view piece, bool endsLine, BookingFate fate, bool rowSent) {
    // A lookup that went unanswered changed nothing: like a booking not
    // sent, it is simply fed again.
    const bool unsent =
        fate == BookingFate::kNotSent || (fate == BookingFate::kUnknown && !rowSent);
    if (unsent || fate == BookingFate::kNotWritten) {
      // Fed again by the next run, with all that follows: progress stops
      // before it, and what the lines after it wrote is cut off.
      Record(fed_, fingerprint_.Value());
      held_ = true;
      return;
    }
    fingerprint_.Add(piece);
    fed_ += static_cast<int64_t>(piece.size());
    // The pieces of a line too long for a booking are malformed together.
    const WorkFile aside = overlong_ || !endsLine ? WorkFile::kMalformed : SetAsideIn(fate);
    overlong_ = !endsLine;
    if (aside != WorkFile::kTime) {
      if (OutputFile* rejected = Rejected(aside)) rejected->Write(piece);
    }
    if (!rowSent) return;
    if (runDied_) TellFedAgain(piece);
    Record(fed_, fingerprint_.Value());
  }

  // The set-aside file of a cause, opened at its first line, after the
  // lines it holds for the part so far.
  OutputFile* Rejected(WorkFile which) {
    std::unique_ptr<OutputFile>& rejected = rejected_[static_cast<int>(which)];
    if (!rejected) {
      rejected = std::make_unique<OutputFile>();
      if (!rejected->Open(files_.WorkPath(which), progress_.lengths[static_cast<int>(which)])) {
        run_.report.FileFailure(kTargetWriteFailure, files_.WorkPath(which));
        rejectedLost_ = true;
      }
    }
    return rejected->isOpen() ? rejected.get() : nullptr;
  }

  // Records that the bytes [0, fed) were fed, with what the work files
  // hold for them; nothing when a file could not take its records.
  void Record(int64_t fed, uint64_t fingerprint) {
    OutputFile* const targets[] = {&run_.timeBookingFile, &run_.costCentreFile};
    for (OutputFile* target : targets)
      if (!target->Flush()) return;
    if (rejectedLost_) return;
    for (const auto& rejected : rejected_)
      if (rejected && !rejected->Flush()) return;
    progress_.fed = fed;
    progress_.fedFingerprint = fingerprint;
    progress_.lengths[static_cast<int>(WorkFile::kTime)] = targets[0]->length();
    progress_.lengths[static_cast<int>(WorkFile::kCostCentre)] = targets[1]->length();
    for (int i = 0; i < kWorkFileCount; ++i)
      if (rejected_[i]) progress_.lengths[i] = rejected_[i]->length();
    progress_.running = true;
    // A step that cannot be written leaves the one before: the bookings
    // since are fed again, which is what a kill would do.
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
    run_.report.Log(text);
  }

  const RunFiles& files_;
  ProgressFile& file_;
  Progress& progress_;
  int64_t fed_;
  Fingerprint fingerprint_;
  bool runDied_;
  Run& run_;
  bool held_ = false;      // a booking was not sent: nothing after it counts
  bool overlong_ = false;  // the last piece did not end its line
  // A set-aside file could not be opened: its lines are lost to it, and
  // nothing after them is recorded.
  bool rejectedLost_ = false;
  std::unique_ptr<OutputFile> rejected_[kWorkFileCount];
};

class Runner {
 public:
  Runner(const Arguments& args, RunnerWorld& world)
      : args_(args),
        world_(world),
        files_(args.terminal, args.outbox),
        run_(world.Console(), args.debug, args.terminal, NativePath(kTransferLogPath)) {
    run_.stop = world.Stop();
  }

  int Go() {
    NativeFile lock;
    LockFileState found;
    if (lock.OpenLockFile(files_.LockPath(), found) != FileOpen::kOpened) {
      Say("cannot open its lock " + files_.LockPath() + ": " + lock.error().Text());
      return kExitFileFailure;
    }
    if (!lock.Lock(std::chrono::milliseconds(0))) {
      Say("a run of this terminal is going; this one ends");
      return kExitRunGoing;
    }
    int status;
    try {
      status = Locked();
    } catch (const std::bad_alloc&) {
      run_.report.LogAndPrint("Abbruch: Speichermangel\n");
      status = kExitCommandLineError;
    }
    EndRun(run_, start_, status);
    return status;
  }

 private:
  // Everything under the terminal's lock.
  int Locked() {
    if (!args_.skip && !OutboxUsable()) return kExitFileFailure;
    SystemError error;
    if (!CreateFolder(files_.WorkFolder(), &error)) {
      Say("cannot create the work folder " + files_.WorkFolder() + ": " + error.Text());
      return kExitFileFailure;
    }
    if (!LoadProgress()) return kExitFileFailure;
    // A hand-over the last run began is finished first; what it set aside
    // is said now.
    int finished = kExitDone;
    if (progress_.handingOver) {
      finished = FinishAndTell(files_, state_, progress_, run_.report);
      if (finished == kExitFileFailure) return finished;
    }
    const int status = Fed();
    return status == kExitDone ? finished : status;
  }

  // Feeds the part that is new, if any.
  int Fed() {
    BookingFileReader bookings;
    if (!bookings.Open(args_.bookingFile)) {
      if (bookings.opened() == FileOpen::kMissing && !args_.skip) return Idle();
      Say("cannot read the booking file " + args_.bookingFile + ": " +
          FileOpenText(bookings.opened(), bookings.openError()));
      return kExitFileFailure;
    }
    Part part;
    if (!FindPart(bookings, progress_, part)) {
      Say("cannot read the booking file " + args_.bookingFile + ": " + bookings.lookError().Text());
      return kExitFileFailure;
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
    const std::string reset =
        "; remove it to feed the whole booking file again, or run tralvo-run with /SKIP to go on "
        "after what the booking file holds now";
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
        Say("cannot read the progress file " + path + ": " + state_.error().Text());
        return false;
    }
    progress_ = NewProgress();
    if (state_.Create(path, args_.terminal, progress_)) return true;
    Say("cannot create the progress file " + path + ": " + state_.error().Text());
    return false;
  }

  // Nothing to feed: what a part left in the work files (its booking file
  // was replaced or removed since) is handed over now; nothing is logged
  // when there is nothing.
  int Idle() {
    if (args_.debug) run_.report.Print("nichts Neues in " + args_.bookingFile + "\n");
    if (!progress_.HoldsRecords()) return kExitDone;
    return HandOverRecords(files_, state_, progress_, world_.Now(), run_.report);
  }

  // Records the booking file, up to its last line end, as fed.
  int Skip(BookingFileReader& bookings, const Part& part) {
    // The bytes before the part are in its fingerprint already; the part's
    // own are read once, and not fed.
    Fingerprint fed = part.fed;
    std::string_view piece;
    bool endsLine;
    ReadResult read = ReadResult::kError;
    if (bookings.Restrict(part.from, part.to))
      while ((read = bookings.Next(piece, endsLine)) == ReadResult::kPiece) fed.Add(piece);
    if (read == ReadResult::kError) {
      Say("cannot read the booking file " + args_.bookingFile + ": " + bookings.lookError().Text());
      return kExitFileFailure;
    }
    progress_.fed = part.to;
    progress_.fedFingerprint = fed.Value();
    progress_.running = false;
    if (!state_.Save(progress_, true)) {
      Say("cannot write the progress file " + files_.ProgressPath() + ": " + state_.error().Text());
      return kExitFileFailure;
    }
    Say(std::to_string(part.to) + " bytes of " + args_.bookingFile +
        " recorded as fed; the next run feeds what follows them");
    return kExitDone;
  }

  int Feed(BookingFileReader& bookings, const Part& part) {
    const bool runDied = progress_.running;
    if (part.newDelivery) {
      progress_.fed = 0;
      progress_.fedFingerprint = part.fed.Value();
    }
    progress_.running = true;
    if (!bookings.Restrict(part.from, part.to)) {
      Say("cannot read the booking file " + args_.bookingFile + ": " + bookings.lookError().Text());
      return kExitFileFailure;
    }
    if (!state_.Save(progress_, false)) {
      Say("cannot write the progress file " + files_.ProgressPath() + ": " + state_.error().Text());
      return kExitFileFailure;
    }
    PartFeed feed(files_, state_, progress_, part, runDied, run_);
    run_.observer = &feed;
    PartTargets targets;
    targets.timeBookings = files_.WorkPath(WorkFile::kTime);
    targets.timeBookingsKept = progress_.lengths[static_cast<int>(WorkFile::kTime)];
    targets.costCentres = files_.WorkPath(WorkFile::kCostCentre);
    targets.costCentresKept = progress_.lengths[static_cast<int>(WorkFile::kCostCentre)];
    int status = world_.Transfer(run_, bookings, targets, args_.words);
    run_.observer = nullptr;
    status = feed.Ended(status);
    if (status != kExitDone || !progress_.HoldsRecords()) return status;
    return HandOverRecords(files_, state_, progress_, world_.Now(), run_.report);
  }

  // A message of the runner's own, on the console.
  void Say(const std::string& text) {
    run_.report.Print("tralvo-run: " + args_.terminal + ": " + text + "\n");
  }

  const Arguments& args_;
  RunnerWorld& world_;
  const std::chrono::system_clock::time_point start_ = std::chrono::system_clock::now();
  RunFiles files_;
  Run run_;
  ProgressFile state_;
  Progress progress_;
};

bool ParseArguments(int argc, const char* const* argv, Arguments& args, std::FILE* console) {
  if (argc < 4) {
    std::fputs("Parameterfehler", console);
    return false;
  }
  if (std::string_view(argv[1]).size() > kMaxTerminalIdLength) {
    std::fputs("Terminalname zu lang", console);
    return false;
  }
  for (int i = 4; i < argc; ++i) {
    std::string word = argv[i];
    UpperCase(word);
    if (word == "/D") args.debug = true;
    if (word == "/SKIP") args.skip = true;
  }
  args.terminal = argv[1];
  args.bookingFile = argv[2];
  args.outbox = argv[3];
  args.words = argc;
  return true;
}

// The world of a real run: tralvo's transfer, the system's clock, the
// standard output, the platform's stop requests.
class SystemWorld final : public RunnerWorld {
 public:
  int Transfer(Run& run, BookingFileReader& bookings, const PartTargets& targets,
               int connectFailure) override {
    return TransferPart(run, bookings, targets, connectFailure, start_);
  }
  int64_t Now() override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
  }
  std::FILE* Console() override { return stdout; }
  StopRequests* Stop() override { return &stop_; }

 private:
  const std::chrono::system_clock::time_point start_ = std::chrono::system_clock::now();
  // Held until the run has ended, so a stop cannot cut its last entries off.
  StopRequests stop_;
};

}  // namespace

int RunRunner(int argc, const char* const* argv, RunnerWorld& world) noexcept {
  try {
    Arguments args;
    if (!ParseArguments(argc, argv, args, world.Console())) return kExitCommandLineError;
    Runner runner(args, world);
    return runner.Go();
  } catch (const std::bad_alloc&) {
    // Not even the run's own state could be had: nothing was done.
    return kExitCommandLineError;
  }
}

int RunRunner(int argc, const char* const* argv) noexcept {
  try {
    SystemWorld world;
    return RunRunner(argc, argv, world);
  } catch (const std::bad_alloc&) {
    return kExitCommandLineError;
  }
}

}  // namespace tralvo
