// Whole runs of the built tool whose files fail or carry unusual bytes: a
// full disk under either target file, a disk that fills during the run, a
// booking file that cannot be read, and Windows-1252 text on its way into
// the database and back.
#include <gtest/gtest.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

#include "loop_harness.h"
#include "small_disk.h"
#include "test_support.h"
#include "transfer_fixture.h"

namespace testsupport {
namespace {

constexpr int kFileFailure = 94;

std::string TimeBooking(int minute, const std::string& badge = "4711") {
  char time[16];
  std::snprintf(time, sizeof time, "07%02d%02d", minute / 60 % 60, minute % 60);
  return badge + ",-,20090715," + time + ",-,T1,3,001,KST1,-,X,1,,,-,40p\r\n";
}

std::string CostCentreBooking() {
  return "4711,-,20090715,073005,-,T1,3,001,KST1,-,,,,,-,50p\r\n";
}

class TargetFiles : public TransferTest {
 protected:
  ProcessResult RunInto(const std::string& bookings, const std::string& time,
                        const std::string& cost, bool debug = false) {
    inst_.WriteBookings(bookings);
    std::vector<std::string> args{"T1", "bookings.txt", time, cost};
    if (debug) args.push_back("/D");
    return inst_.Run(args, server_.OdbcEnvironment("TRALVO"));
  }
};

TEST_F(TargetFiles, FullDiskUnderEitherTargetFailsTheRunByName) {
  if (!FileExists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  for (bool timeFileFull : {true, false}) {
    // The booking of the full file comes last: the run ends at the failure.
    const std::string bookings =
        timeFileFull ? CostCentreBooking() + TimeBooking(0) : TimeBooking(0) + CostCentreBooking();
    WriteFileBytes(inst_.logPath(), "");
    const std::string full = "/dev/full";
    ProcessResult r =
        timeFileFull ? RunInto(bookings, full, "kst.txt") : RunInto(bookings, "zeit.txt", full);
    const std::string message = "Fehler beim Schreiben der Zieldatei /dev/full";
    EXPECT_EQ(r.exitStatus, kFileFailure) << timeFileFull;
    EXPECT_EQ(Occurrences(r.output, message + "\n"), 1) << r.output;
    EXPECT_EQ(Occurrences(inst_.Log(), message + "\r\n"), 1) << inst_.Log();
    // The booking that never reached the full file is not counted.
    std::string log = inst_.Log();
    std::string summary = timeFileFull ? Summary(0, 1, 1, 0) : Summary(1, 1, 0, 0);
    EXPECT_EQ(log.substr(log.size() - std::min(log.size(), summary.size())), summary) << log;
    // The other target still holds its booking.
    EXPECT_EQ(timeFileFull ? inst_.CostCentres().size() : inst_.TimeBookings().size(),
              timeFileFull ? 32u : 82u);
  }
}

TEST_F(TargetFiles, FullDiskInTheMiddleOfARunStopsItWithTheSummaryWritten) {
  if (!FileExists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  // More lines than the file's buffer holds, so a write fails during the
  // loop rather than at its end.
  std::string bookings;
  for (int i = 0; i < 1200; ++i) bookings += TimeBooking(i);
  ProcessResult r = RunInto(bookings, "/dev/full", "kst.txt");
  EXPECT_EQ(r.exitStatus, kFileFailure);
  EXPECT_EQ(Occurrences(r.output, "Fehler beim Schreiben der Zieldatei /dev/full\n"), 1);
  std::string log = inst_.Log();
  size_t message = log.find("Fehler beim Schreiben der Zieldatei /dev/full\r\n");
  ASSERT_NE(message, std::string::npos);
  EXPECT_NE(log.find("bergeben:", message), std::string::npos);
}

// The four counters of the last run summary in the log.
std::vector<long> SummaryCounters(const std::string& log) {
  std::vector<long> counters;
  size_t at = log.rfind("bergeben:\r\n");
  for (int i = 0; i < 4 && at != std::string::npos; ++i) {
    at = log.find("\r\n", at) + 2;
    std::string line = log.substr(at, log.find("\r\n", at) - at);
    counters.push_back(std::stol(line.substr(line.rfind(": ") + 2)));
  }
  return counters;
}

TEST_F(TargetFiles, DiskThatFillsKeepsWholeRecordsAndTheSummaryCountsExactlyThose) {
  // Time booking lines reach their file at the end of the run, and the
  // disk takes only part of them; cost-centre records fill their file in
  // the middle of the run, which stops there.
  for (bool timeFileFills : {true, false}) {
    SmallDisk disk(timeFileFills ? 8192 : 16384);
    if (!disk.mounted()) GTEST_SKIP() << "cannot mount a small disk here";
    std::string bookings;
    int lines = timeFileFills ? 200 : 3000;
    for (int i = 0; i < lines; ++i) {
      bool costCentre = timeFileFills ? i % 4 == 0 : i % 100 != 0;
      bookings += costCentre ? CostCentreBooking() : TimeBooking(i);
    }
    WriteFileBytes(inst_.logPath(), "");
    const std::string full = disk / "full.txt";
    ProcessResult r =
        timeFileFills ? RunInto(bookings, full, "kst.txt") : RunInto(bookings, "zeit.txt", full);
    EXPECT_EQ(r.exitStatus, kFileFailure) << timeFileFills;
    EXPECT_EQ(Occurrences(r.output, "Fehler beim Schreiben der Zieldatei " + full + "\n"), 1);

    std::vector<long> counters = SummaryCounters(inst_.Log());
    ASSERT_EQ(counters.size(), 4u) << inst_.Log();
    std::string timeFile = ReadFileBytes(timeFileFills ? full : inst_.work() + "/zeit.txt");
    std::string costFile = ReadFileBytes(timeFileFills ? inst_.work() + "/kst.txt" : full);
    EXPECT_EQ(timeFile.size(), 82u * static_cast<size_t>(counters[0])) << timeFileFills;
    EXPECT_EQ(costFile.size(), 32u * static_cast<size_t>(counters[2])) << timeFileFills;
    EXPECT_GT(timeFileFills ? counters[0] : counters[2], 0) << timeFileFills;
    EXPECT_LT(counters[0] + counters[2], lines) << timeFileFills;
  }
}

// A target file that reaches the process's file-size limit is a full disk
// to the run: whole records kept, the summary counting exactly those, and
// a failure status rather than an end by signal.
TEST_F(TargetFiles, FileSizeLimitKeepsWholeRecordsAndEndsWithTheSummary) {
  if (!WindowsBuildUnderTest().empty()) GTEST_SKIP() << "a limit of POSIX processes";
  // 1 KiB takes 12 time booking lines (82 bytes) and a part of the 13th,
  // and 32 cost-centre records: both files reach the limit at the end.
  std::string bookings;
  for (int i = 0; i < 60; ++i) bookings += i % 3 == 0 ? TimeBooking(i) : CostCentreBooking();
  inst_.WriteBookings(bookings);
  ProcessResult r = RunProcess({"/bin/bash", "-c", "ulimit -f 1 && exec \"$0\" \"$@\"",
                                TRALVO_BINARY, "T1", "bookings.txt", "zeit.txt", "kst.txt"},
                               inst_.work(), "", server_.OdbcEnvironment("TRALVO"));
  EXPECT_EQ(r.exitStatus, kFileFailure) << r.errors;
  EXPECT_EQ(r.output, "Fehler beim Schreiben der Zieldatei zeit.txt\n");
  std::vector<long> counters = SummaryCounters(inst_.Log());
  ASSERT_EQ(counters.size(), 4u) << inst_.Log();
  EXPECT_EQ(counters[0], 12);
  EXPECT_EQ(counters[2], 32);
  EXPECT_EQ(inst_.TimeBookings().size(), 82u * 12);
  EXPECT_EQ(inst_.CostCentres().size(), 32u * 32);
}

// The console is for people: a run whose console pipe nobody reads any
// more (the reader ended) transfers every booking and logs its summary.
TEST_F(TargetFiles, ConsoleThatGoesAwayEndsNothing) {
  if (!WindowsBuildUnderTest().empty()) GTEST_SKIP() << "a signal of POSIX processes";
  // The echo of /D is more than a pipe holds, so a write finds it closed.
  std::string bookings;
  for (int i = 0; i < 3000; ++i) bookings += CostCentreBooking();
  bookings += TimeBooking(1);
  inst_.WriteBookings(bookings);
  ProcessResult r = RunProcess({"/bin/bash", "-c", "set -o pipefail; \"$0\" \"$@\" | true",
                                TRALVO_BINARY, "T1", "bookings.txt", "zeit.txt", "kst.txt", "/D"},
                               inst_.work(), "", server_.OdbcEnvironment("TRALVO"));
  EXPECT_EQ(r.exitStatus, 0) << r.errors;
  const std::string log = inst_.Log();
  EXPECT_EQ(log.substr(log.size() - std::min(log.size(), Summary(1, 1, 3000, 0).size())),
            Summary(1, 1, 3000, 0));
  EXPECT_EQ(inst_.CostCentres().size(), 32u * 3000);
  EXPECT_EQ(inst_.TimeBookings().size(), 82u);
}

TEST_F(TargetFiles, UnreadableBookingFileFailsTheRunAfterItsSummary) {
  // Opens, then fails its first read: the run has connected and logged
  // its header by then.
  const std::string unreadable = "/proc/self/mem";
  if (!FileExists(unreadable)) GTEST_SKIP() << "no file here that opens but cannot be read";
  ProcessResult r =
      inst_.Run({"T1", unreadable, "zeit.txt", "kst.txt"}, server_.OdbcEnvironment("TRALVO"));
  EXPECT_EQ(r.exitStatus, kFileFailure);
  EXPECT_EQ(r.output, "Fehler beim Lesen der Quelldatei " + unreadable + "\n");
  EXPECT_EQ(inst_.Log(), Header() + "Fehler beim Lesen der Quelldatei " + unreadable + "\r\n" +
                             Summary(0, 0, 0, 0));
}

// What is not a plain file is a booking file that cannot be opened, at
// once: a pipe would block the run before it connects, an endless device
// would keep it reading for good.
TEST_F(TargetFiles, FolderPipeOrDeviceAsBookingFileCannotBeOpened) {
  MakeDirs(inst_.work() + "/folder");
  std::vector<std::string> sources = {"folder"};
  if (WindowsBuildUnderTest().empty()) {
    ASSERT_EQ(mkfifo((inst_.work() + "/pipe").c_str(), 0600), 0);
    sources.push_back("pipe");
    if (FileExists("/dev/zero")) sources.push_back("/dev/zero");
  }
  for (const std::string& source : sources) {
    SCOPED_TRACE(source);
    WriteFileBytes(inst_.work() + "/zeit.txt", "old lines");
    inst_.SetRunTimeout(std::chrono::seconds(10));
    const auto start = std::chrono::steady_clock::now();
    ProcessResult r =
        inst_.Run({"T1", source, "zeit.txt", "kst.txt", "/D"}, server_.OdbcEnvironment("TRALVO"));
    // Within a second, as far as Wine's own start leaves it to be told.
    EXPECT_LT(std::chrono::steady_clock::now() - start,
              std::chrono::seconds(WindowsBuildUnderTest().empty() ? 1 : 10));
    EXPECT_EQ(r.exitStatus, kFileFailure);
    EXPECT_EQ(r.output,
              "Quelldatei auf Server nicht gefunden\n   " + source + ": keine regul\xE4re Datei\n");
    EXPECT_EQ(inst_.TimeBookings(), "");
    EXPECT_FALSE(FileExists(inst_.logPath()));
  }
  EXPECT_TRUE(ToolStatements().empty());
}

// As root, in folders an ordinary account owns: neither the log nor a
// target is written through a link that account planted there, whether it
// points at a file of root's or at a name where nothing is yet; the links
// root made itself are followed as ever.
TEST_F(TargetFiles, LinksAnotherAccountPlantedAreNotFollowed) {
  if (!WindowsBuildUnderTest().empty()) GTEST_SKIP() << "POSIX accounts and links";
  if (geteuid() != 0) GTEST_SKIP() << "giving files to another account needs root";
  constexpr uid_t kOther = 65534;
  const std::string logFolder = inst_.root() + "/Quorvex_php/log";
  const std::string out = inst_.work() + "/out";
  MakeDirs(out);
  for (const std::string& folder : {logFolder, out}) ASSERT_EQ(chown(folder.c_str(), kOther, 0), 0);
  const std::string secret = inst_.root() + "/secret.txt";
  WriteFileBytes(secret, "root only\n");
  ASSERT_EQ(chmod(secret.c_str(), 0600), 0);
  auto plant = [](const std::string& target, const std::string& link, uid_t owner) {
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    ASSERT_EQ(lchown(link.c_str(), owner, owner), 0);
  };
  const std::string bookings = TimeBooking(0, "0000") + CostCentreBooking();

  // The log: a link to root's file, then one to where cron would look.
  plant(secret, inst_.logPath(), kOther);
  plant(inst_.root() + "/cron-job", out + "/kst.txt", 0);  // root's own link: followed
  ProcessResult r = RunInto(bookings, "zeit.txt", "out/kst.txt", true);
  EXPECT_EQ(r.exitStatus, 0) << r.output;
  EXPECT_NE(r.output.find("Transferprotokoll nicht verwendbar (Pfad \xFC"
                          "ber fremden"),
            std::string::npos)
      << r.output;
  EXPECT_EQ(ReadFileBytes(inst_.root() + "/cron-job").size(), 32u);
  ASSERT_EQ(unlink(inst_.logPath().c_str()), 0);
  plant(inst_.root() + "/new-in-cron.d", inst_.logPath(), kOther);
  EXPECT_EQ(RunInto(bookings, "zeit.txt", "kst.txt").exitStatus, 0);
  EXPECT_FALSE(FileExists(inst_.root() + "/new-in-cron.d"));

  // A target: refused untouched, the run ends as one whose file failed.
  plant(secret, out + "/zeit.txt", kOther);
  r = RunInto(bookings, "out/zeit.txt", "kst.txt", true);
  EXPECT_EQ(r.exitStatus, kFileFailure);
  EXPECT_NE(r.output.find("out/zeit.txt: Pfad \xFC"
                          "ber fremden symbolischen Link"),
            std::string::npos)
      << r.output;
  EXPECT_EQ(ReadFileBytes(secret), "root only\n");
}

// A pipe as log is a log that cannot be opened: the run never waits on it.
TEST_F(TargetFiles, PipeAsLogIsPassedBy) {
  if (!WindowsBuildUnderTest().empty()) GTEST_SKIP() << "a POSIX pipe";
  ASSERT_EQ(mkfifo(inst_.logPath().c_str(), 0600), 0);
  inst_.SetRunTimeout(std::chrono::seconds(20));
  ProcessResult r = RunInto(TimeBooking(0, "0000") + TimeBooking(1), "zeit.txt", "kst.txt");
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(inst_.TimeBookings().size(), 82u);
}

// The caller deletes the bookings at the terminal once a run ends with
// status 0, so both target files must be on stable storage by then: the
// system calls of a run show each synced before it is closed.
TEST_F(TargetFiles, BothTargetsAreSyncedBeforeTheRunSucceeds) {
  if (!FileExists("/usr/bin/strace")) GTEST_SKIP() << "strace is not installed";
  if (testsupport::kSanitizedBuild) GTEST_SKIP() << "LeakSanitizer cannot run under strace";
  inst_.WriteBookings(TimeBooking(0) + CostCentreBooking());
  const std::string trace = inst_.root() + "/trace.txt";
  ProcessResult r = RunProcess(
      {"/usr/bin/strace", "-f", "-qq", "-o", trace, "-e", "trace=openat,open,fsync,fdatasync,close",
       TRALVO_BINARY, "T1", "bookings.txt", "zeit.txt", "kst.txt"},
      inst_.work(), "", server_.OdbcEnvironment("TRALVO"));
  ASSERT_EQ(r.exitStatus, 0) << r.errors;
  ASSERT_EQ(inst_.TimeBookings().size(), 82u);
  const std::string calls = ReadFileBytes(trace);
  for (const std::string name : {"zeit.txt", "kst.txt"}) {
    SCOPED_TRACE(name);
    size_t open = calls.find("\"" + name + "\", O_WRONLY|O_CREAT");
    ASSERT_NE(open, std::string::npos) << calls;
    size_t result = calls.find(") = ", open);
    const std::string fd = calls.substr(result + 4, calls.find('\n', result) - result - 4);
    size_t sync = calls.find("fsync(" + fd + ")", open);
    if (sync == std::string::npos) sync = calls.find("fdatasync(" + fd + ")", open);
    ASSERT_NE(sync, std::string::npos) << calls;
    EXPECT_LT(sync, calls.find("close(" + fd + ")", open)) << calls;
  }
}

// Text in Windows-1252 as the stand-in stores it (UTF-8); bytes that the
// code page leaves undefined have no character and are left out.
std::string Utf8FromWindows1252(const std::string& text) {
  std::string out;
  iconv_t cd = iconv_open("UTF-8", "CP1252");
  for (char c : text) {
    char in[1] = {c};
    char buffer[8];
    char* inPtr = in;
    char* outPtr = buffer;
    size_t inLeft = 1, outLeft = sizeof buffer;
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1))
      out.append(buffer, static_cast<size_t>(outPtr - buffer));
  }
  iconv_close(cd);
  return out;
}

TEST_F(TargetFiles, Windows1252BadgesAndTerminalReachTheDatabaseAsTheirCharacters) {
  // Every byte the code page defines, eight to a badge number.
  std::string defined;
  for (int c = 0x80; c <= 0xFF; ++c) {
    std::string one(1, static_cast<char>(c));
    if (!Utf8FromWindows1252(one).empty()) defined += one;
  }
  const std::string terminal = "T\xC4\xD6\xDC\x80";
  std::string bookings;
  std::vector<std::string> badges;
  for (size_t at = 0; at < defined.size(); at += 8) {
    badges.push_back(defined.substr(at, 8));
    std::string line = TimeBooking(static_cast<int>(at), badges.back());
    line.replace(line.find(",T1,"), 4, "," + terminal + ",");
    line.replace(line.find(",X,"), 3, ",,");  // an access booking alone
    bookings += line;
  }
  inst_.WriteBookings(bookings);
  ProcessResult r = inst_.Transfer(terminal, false, server_.OdbcEnvironment("TRALVO"));
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.output, "");
  auto rows = server_.Query("SELECT ZpkAsw, ZpkTrm FROM KriVax.Kvx402Zpk ORDER BY ZpkUhr");
  ASSERT_EQ(rows.size(), badges.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i][0], Utf8FromWindows1252(badges[i])) << i;
    EXPECT_EQ(rows[i][1], Utf8FromWindows1252(terminal));
  }
}

TEST_F(TargetFiles, Windows1252BadgeIsFoundAndItsLineWritten) {
  server_.Execute(
      "INSERT INTO KRIVAX.KVX301ASW (AswNum, AswPnr, AswLiz, AswMnd, AswGvo, AswGbi) VALUES "
      "('" +
      Utf8FromWindows1252("\xC4\xDF\xE9\x80") +
      "', '3003', 1, 10, convert(DATETIME, '2009-01-01 00:00:00', 120), NULL)");
  ProcessResult r = Transfer(TimeBooking(1, "\xC4\xDF\xE9\x80"));
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.output, "");
  std::string line = inst_.TimeBookings();
  ASSERT_EQ(line.size(), 82u) << inst_.Log();
  EXPECT_NE(line.find("3003"), std::string::npos);
}

// A target that cannot be made is named with the reason of its own
// failure, whichever of the two targets it is.
TEST_F(TargetFiles, ATargetThatCannotBeMadeIsNamedWithItsOwnReason) {
  const std::string tooLong = std::string(300, 'x') + ".txt";
  const std::string named = "   " + tooLong + ": ";
  auto reason = [&named](const ProcessResult& r) {
    const size_t at = r.output.find(named);
    if (at == std::string::npos) return std::string("(not named)");
    const size_t from = at + named.size();
    return r.output.substr(from, r.output.find('\n', from) - from);
  };
  const ProcessResult first = RunInto("", tooLong, "kst.txt", true);
  const ProcessResult second = RunInto("", "zeit.txt", tooLong, true);
  EXPECT_EQ(first.exitStatus, kFileFailure);
  EXPECT_EQ(second.exitStatus, kFileFailure);
  EXPECT_EQ(reason(first), reason(second)) << first.output << second.output;
  if (WindowsBuildUnderTest().empty()) {
    EXPECT_EQ(reason(first), std::strerror(ENAMETOOLONG));
  }
}

}  // namespace
}  // namespace testsupport
