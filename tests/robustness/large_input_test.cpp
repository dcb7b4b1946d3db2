// Input far beyond what a terminal writes in a day: a booking file of a
// million lines, and configuration files of garbage, of a single line and
// of 10 MB, and paths that lead to no plain file. Each is handled in bounded time and memory, and a
// configuration that holds nothing usable ends in the connection failure
// path rather than in a crash or a connection with made-up settings.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <random>
#include <string>

#include "config/config_file_writer.h"
#include "config/config_reader.h"
#include "config/value_cipher.h"
#include "installation.h"
#include "loop_harness.h"
#include "test_support.h"

namespace testsupport {
namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Processor time this thread has used, user and system: unlike the time
// on the wall it does not grow while the machine runs other work.
double ThreadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

TEST(LargeInput, MillionLineBookingFileIsTransferredInOnePassQuickly) {
  // A repeating mix: two time bookings with access rows, an access row, a
  // cost-centre booking, a line of another terminal and an empty line.
  const std::string block = BookingLine("40p", "4711", "T1", "X", "1") +
                            BookingLine("40p", "4712", "T1", "X", "") + BookingLine("62p", "4713") +
                            BookingLine("50p", "4714") + BookingLine("62p", "4715", "T2") + "\r\n";
  constexpr long kBlocks = 1000000 / 6 + 1;
  std::string bytes;
  bytes.reserve(block.size() * kBlocks);
  for (long i = 0; i < kBlocks; ++i) bytes += block;

  LoopRun run;
  run.handlers.keep = false;
  // About 0.3 s of processor time; a write or an allocation per line
  // costs several times that.
  const double start = ThreadSeconds();
  ASSERT_EQ(run.Run(bytes), 0);
  const double used = ThreadSeconds() - start;
  EXPECT_LT(used, 1.5 * testsupport::kSanitizerSlowdown);
  EXPECT_EQ(run.handlers.timeCalls, 2 * kBlocks);
  EXPECT_EQ(run.handlers.accessCalls, 2 * kBlocks);
  EXPECT_EQ(run.counters().costCentreBookings, kBlocks);
  EXPECT_EQ(run.CostCentres().size(), 32u * static_cast<size_t>(kBlocks));
  EXPECT_EQ(run.handlers.foreignRecords, 0);
  EXPECT_EQ(run.MalformedReports(), 0);
}

class LargeConfig : public ::testing::Test {
 protected:
  tralvo::ConfigEntry Lookup(const std::string& key) {
    tralvo::ConfigEntry entry;
    tralvo::ReadConfigValue(entry, "", key, 0, dir / "quorvex.ini");
    return entry;
  }
  void Write(const std::string& bytes) { testsupport::WriteFileBytes(dir / "quorvex.ini", bytes); }
  testsupport::TempDir dir;
};

TEST_F(LargeConfig, GarbageGivesAtMostAValueOfTheLimitAndShortFilesNothing) {
  // In garbage any entry line without digits before its first ';' has
  // number 0 and so matches every lookup by key; what it yields is bytes
  // of no more than a value's length, which the connection then refuses.
  for (unsigned seed : {5u, 6u, 7u}) {
    std::mt19937 random(seed);
    std::string garbage(1 << 20, '\0');
    for (char& c : garbage) c = static_cast<char>(random());
    Write(garbage);
    for (const char* key : {"LOGIN", "PASS", "DATABASE"}) {
      tralvo::ConfigEntry entry = Lookup(key);
      EXPECT_LE(entry.value.size(), tralvo::kMaxConfigPlainLength);
      EXPECT_LE(entry.key.size(), tralvo::kConfigFieldChars);
    }
  }
  // A lone line is the header of a record without an entry.
  const std::string stored = tralvo::EncryptConfigValue("tralvo_dsn");
  for (const std::string& bytes :
       {std::string(";DATENBANK;\r\n"), "4;DATABASE;" + stored + "\r\n", std::string()}) {
    Write(bytes);
    tralvo::ConfigEntry entry = Lookup("DATABASE");
    EXPECT_EQ(entry.value, "");
    EXPECT_EQ(entry.number, 0);
  }
}

TEST_F(LargeConfig, FileBeyondItsLimitGivesNoSettings) {
  const std::string stored = tralvo::EncryptConfigValue("tralvo_dsn");
  const std::string record = ";DATENBANK;\r\n4;DATABASE;" + stored + "\r\n";
  const std::string other = ";x;\r\n9;OTHER;" + stored + "\r\n";
  const size_t room = tralvo::kMaxConfigFileBytes - record.size();
  std::string filler;
  while (filler.size() + 2 * other.size() <= room) filler += other;
  // One more record of its own length fills the file to the limit.
  filler += ";" + std::string(room - filler.size() - 10, 'x') + ";\r\n9;O;\r\n";
  Write(filler + record);
  EXPECT_EQ(Lookup("DATABASE").value, "tralvo_dsn");
  Write("\n" + filler + record);
  EXPECT_EQ(Lookup("DATABASE").value, "");
  std::vector<tralvo::ConfigRecord> records;
  EXPECT_EQ(tralvo::ReadConfigRecords(dir / "quorvex.ini", records),
            tralvo::SmallFileRead::kTooLarge);
}

TEST(LargeConfigRun, UnusableConfigurationIsTheConnectionFailurePath) {
  std::mt19937 random(11);
  std::string garbage(10 * 1024 * 1024, '\0');
  for (char& c : garbage) c = static_cast<char>(random());
  testsupport::Installation inst;
  inst.WriteBookings("4711,,20090715,073005,,T1,1,001,,,X,,,,,40p\n");
  for (const std::string& config : {garbage, std::string(";DATENBANK;\r\n"), std::string()}) {
    testsupport::WriteFileBytes(inst.configPath(), config);
    Clock::time_point start = Clock::now();
    testsupport::ProcessResult r = inst.Transfer("T1");
    EXPECT_LT(SecondsSince(start), 10 * testsupport::kSanitizerSlowdown);
    EXPECT_EQ(r.exitStatus, 5);
    EXPECT_EQ(r.output, "Datenbankverbindung fehlgeschlagen, Fehler: -1\n");
    EXPECT_EQ(inst.TimeBookings(), "");
  }
}

// A configuration path that is no plain file, or a huge one, must not hold
// up the run before it connects: a pipe without a writer, a folder, a link
// to an endless device and a 100 MB file each read as no settings, and the
// run ends on the connection failure path at once.
TEST(LargeConfigRun, ConfigurationThatIsNoSmallFileEndsTheRunAtOnce) {
  testsupport::Installation inst;
  inst.WriteBookings("4711,,20090715,073005,,T1,1,001,,,X,,,,,40p\n");
  inst.SetRunTimeout(std::chrono::seconds(3));
  const std::string config = inst.configPath();
  const struct {
    const char* what;
    std::function<void()> make;
    const char* message;
  } cases[] = {
      {"pipe", [&] { ASSERT_EQ(mkfifo(config.c_str(), 0600), 0); },
       "Konfigurationsdatei ist keine normale Datei"},
      {"folder", [&] { testsupport::MakeDirs(config); },
       "Konfigurationsdatei ist keine normale Datei"},
      {"link to an endless device", [&] { ASSERT_EQ(symlink("/dev/zero", config.c_str()), 0); },
       "Konfigurationsdatei ist keine normale Datei"},
      {"100 MB",
       [&] {
         testsupport::WriteFileBytes(config, "");
         ASSERT_EQ(truncate(config.c_str(), 100 << 20), 0);
       },
       "Konfigurationsdatei ist zu gross"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(config);
    c.make();
    Clock::time_point start = Clock::now();
    testsupport::ProcessResult r = inst.Transfer("T1", true);
    EXPECT_FALSE(r.timedOut);
    EXPECT_LT(SecondsSince(start), 1 * testsupport::kSanitizerSlowdown);
    EXPECT_EQ(r.exitStatus, 6);
    EXPECT_EQ(r.output.find(c.message), 0u) << r.output;
    EXPECT_NE(r.output.find("Datenbankverbindung fehlgeschlagen, Fehler: -1\n"), std::string::npos);
  }
  std::filesystem::remove_all(config);
}

}  // namespace
}  // namespace testsupport
