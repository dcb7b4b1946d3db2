// The built tool's command line as a scheduler or a new user meets it:
// argument checks, the debug switch, files that cannot be used, and the
// exit statuses of each.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include "installation.h"

namespace testsupport {
namespace {

constexpr int kCommandLineError = 255;  // -1 as the shell sees it
constexpr int kFileFailure = 94;

class CommandLine : public ::testing::Test {
 protected:
  Installation inst;
};

TEST_F(CommandLine, TooFewArgumentsTouchNothing) {
  for (std::vector<std::string> args : {std::vector<std::string>{}, {"T1", "b.txt", "z.txt"}}) {
    ProcessResult r = inst.Run(args);
    EXPECT_EQ(r.exitStatus, kCommandLineError);
    EXPECT_EQ(r.output, "Parameterfehler");
    EXPECT_FALSE(FileExists(inst.work() + "/z.txt"));
  }
  EXPECT_FALSE(FileExists(inst.logPath()));
}

TEST_F(CommandLine, TerminalIdOfMoreThan255CharactersIsRefusedEvenInDebug) {
  inst.WriteBookings("");
  for (bool debug : {false, true}) {
    ProcessResult r = inst.Transfer(std::string(256, 'T'), debug);
    EXPECT_EQ(r.exitStatus, kCommandLineError);
    EXPECT_EQ(r.output, "Terminalname zu lang");
    EXPECT_FALSE(FileExists(inst.work() + "/zeit.txt"));
  }
  // 255 characters pass; the run then stops at the missing data source.
  ProcessResult r = inst.Transfer(std::string(255, 'T'));
  EXPECT_EQ(r.exitStatus, 5);
  EXPECT_TRUE(FileExists(inst.work() + "/zeit.txt"));
}

TEST_F(CommandLine, MissingBookingFileEmptiesTheTargetsAndLeavesTheLogAlone) {
  WriteFileBytes(inst.work() + "/zeit.txt", "old lines");
  WriteFileBytes(inst.work() + "/kst.txt", "old records");
  ProcessResult quiet = inst.Transfer("T1");
  EXPECT_EQ(quiet.exitStatus, kFileFailure);
  EXPECT_EQ(quiet.output, "");
  EXPECT_EQ(inst.TimeBookings(), "");
  EXPECT_EQ(inst.CostCentres(), "");
  EXPECT_FALSE(FileExists(inst.logPath()));

  ProcessResult debug = inst.Transfer("T1", true);
  EXPECT_EQ(debug.exitStatus, kFileFailure);
  EXPECT_EQ(debug.output, "Quelldatei auf Server nicht gefunden\n");
}

TEST_F(CommandLine, UnwritableTargetIsReportedOnceInDebug) {
  ProcessResult both = inst.Run({"T1", "missing.txt", "no/such/z.txt", "no/such/k.txt", "/D"});
  EXPECT_EQ(both.exitStatus, kFileFailure);
  EXPECT_EQ(both.output,
            "Quelldatei auf Server nicht gefunden\nZieldatei kann nicht erzeugt werden\n");

  inst.WriteBookings("");
  ProcessResult one = inst.Run({"T1", "bookings.txt", "zeit.txt", "no/such/k.txt", "/d"});
  EXPECT_EQ(one.exitStatus, kFileFailure);
  EXPECT_EQ(one.output, "Zieldatei kann nicht erzeugt werden\n");
  EXPECT_EQ(inst.TimeBookings(), "");
  EXPECT_FALSE(FileExists(inst.logPath()));

  EXPECT_EQ(inst.Run({"T1", "bookings.txt", "zeit.txt", "no/such/k.txt"}).output, "");
}

// A target that is the booking file, by any name, would empty the
// bookings before they are read; two names of one target file would write
// over each other. Either is refused before any file is emptied.
TEST_F(CommandLine, TargetThatIsTheBookingFileOrTheOtherTargetIsRefused) {
  const std::string bookings = "4711,,20090715,073005,,T1,1,001,,,X,,,,,40p\n";
  inst.WriteBookings(bookings);
  const std::string work = inst.work();
  ASSERT_EQ(symlink("bookings.txt", (work + "/link.txt").c_str()), 0);
  ASSERT_EQ(link((work + "/bookings.txt").c_str(), (work + "/hard.txt").c_str()), 0);
  const std::vector<std::vector<std::string>> clashes{{"bookings.txt", "k.txt"},
                                                      {"z.txt", "./bookings.txt"},
                                                      {"link.txt", "k.txt"},
                                                      {"z.txt", "hard.txt"},
                                                      {"../transfer/bookings.txt", "k.txt"}};
  for (const auto& targets : clashes) {
    ProcessResult r = inst.Run({"T1", "bookings.txt", targets[0], targets[1], "/D"});
    EXPECT_EQ(r.exitStatus, kFileFailure) << targets[0] << " " << targets[1];
    EXPECT_EQ(r.output, "Zieldatei ist die Quelldatei\n");
    EXPECT_EQ(ReadFileBytes(work + "/bookings.txt"), bookings);
  }
  EXPECT_FALSE(FileExists(work + "/z.txt") || FileExists(work + "/k.txt"));

  // One target under two names, whether it exists already or not.
  WriteFileBytes(work + "/old.txt", "earlier lines");
  for (const std::string& name : {std::string("old.txt"), std::string("new.txt")}) {
    ProcessResult r = inst.Run({"T1", "bookings.txt", name, "./" + name, "/D"});
    EXPECT_EQ(r.exitStatus, kFileFailure) << name;
    EXPECT_EQ(r.output, "Beide Zieldateien sind dieselbe Datei\n");
    EXPECT_EQ(inst.Run({"T1", "bookings.txt", name, "./" + name}).output, "");
  }
  EXPECT_EQ(ReadFileBytes(work + "/old.txt"), "earlier lines");
  EXPECT_FALSE(FileExists(inst.logPath()));

  // A device discards whatever reaches it and may stand for both targets:
  // this run gets as far as the missing data source.
  if (FileExists("/dev/null")) {
    EXPECT_EQ(inst.Run({"T1", "bookings.txt", "/dev/null", "/dev/null"}).exitStatus, 5);
  }
}

// The log that every terminal's runs share, its backup and the
// configuration are never a target: emptied, they would be lost.
TEST_F(CommandLine, TargetThatIsAFileOfTheInstallationIsRefused) {
  inst.WriteBookings("4711,,20090715,073005,,T1,1,001,,,X,,,,,40p\n");
  const std::string backup = inst.root() + "/Quorvex_php/log/TralvoLog_bak.txt";
  WriteFileBytes(inst.logPath(), "Protokoll\r\n");
  WriteFileBytes(backup, "Sicherung\r\n");
  WriteFileBytes(inst.configPath(), "Einstellungen\r\n");
  // Named from the working directory, as a scheduler's command line would.
  const std::string log = "../../Quorvex_php/log/TralvoLog.txt";
  for (const std::string& file : {log, std::string("../../Quorvex_php/log/TralvoLog_bak.txt"),
                                  std::string("../../Files/quorvex.ini"),
                                  std::string("../transfer/../../Files/quorvex.ini")}) {
    for (bool first : {true, false}) {
      ProcessResult r =
          inst.Run({"T1", "bookings.txt", first ? file : "z.txt", first ? "k.txt" : file, "/D"});
      EXPECT_EQ(r.exitStatus, kFileFailure) << file;
      EXPECT_EQ(r.output, "Zieldatei ist eine Datei der Installation\n") << file;
    }
  }
  EXPECT_EQ(ReadFileBytes(inst.logPath()), "Protokoll\r\n");
  EXPECT_EQ(ReadFileBytes(backup), "Sicherung\r\n");
  EXPECT_EQ(ReadFileBytes(inst.configPath()), "Einstellungen\r\n");

  // A log that is not there yet is one once a target has been created
  // under its name: the run stops before writing anything to it.
  for (bool first : {true, false}) {
    std::remove(inst.logPath().c_str());
    ProcessResult r =
        inst.Run({"T1", "bookings.txt", first ? log : "z.txt", first ? "k.txt" : log, "/D"});
    EXPECT_EQ(r.exitStatus, kFileFailure) << first;
    EXPECT_EQ(r.output, "Zieldatei ist eine Datei der Installation\n") << first;
    EXPECT_EQ(ReadFileBytes(inst.logPath()), "");
  }
}

TEST_F(CommandLine, OnlySlashDInEitherCaseSetsTheDebugFlag) {
  for (const char* on : {"/D", "/d"}) {
    EXPECT_EQ(inst.Run({"T1", "missing.txt", "z.txt", "k.txt", on}).output,
              "Quelldatei auf Server nicht gefunden\n")
        << on;
  }
  for (const char* off : {"/D ", "/Dx", "-D", "D", "", "/\xE4"}) {
    EXPECT_EQ(inst.Run({"T1", "missing.txt", "z.txt", "k.txt", off}).output, "") << off;
  }
  EXPECT_EQ(inst.Run({"T1", "missing.txt", "z.txt", "k.txt", "/d", "x", "y"}).output,
            "Quelldatei auf Server nicht gefunden\n");
}

TEST_F(CommandLine, FailedConnectionIsLoggedAndNeverStatusZero) {
  inst.WriteBookings("4711,,20090715,073005,,T1,1,001,,,X,,,,,40p\n");
  ProcessResult r = inst.Transfer("T1");
  EXPECT_EQ(r.exitStatus, 5);
  EXPECT_EQ(r.output, "Datenbankverbindung fehlgeschlagen, Fehler: -1\n");
  EXPECT_EQ(inst.Log(), "\r\n\r\nDatenbankverbindung fehlgeschlagen, Fehler: -1\r\n");
  EXPECT_EQ(inst.TimeBookings(), "");
  EXPECT_EQ(inst.CostCentres(), "");

  // The status counts the command-line words, the debug switch and
  // ignored words included.
  EXPECT_EQ(inst.Transfer("T1", true).exitStatus, 6);
  EXPECT_EQ(inst.Run({"T1", "bookings.txt", "zeit.txt", "kst.txt", "x", "y"}).exitStatus, 7);
}

}  // namespace
}  // namespace testsupport
