// The status file's name and label: every terminal id gets a file of its
// own that no id can move out of its folder, and a label value that the
// collectors read back as the terminal's own characters.
#include "export/status_file.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "console_capture.h"
#include "export/booking_report.h"
#include "test_support.h"

namespace tralvo {
namespace {

// The name keeps only plain bytes and encodes the rest: separators, dots,
// the escape character itself and Windows-1252 bytes cannot leave the
// folder or make two ids one name. The label is UTF-8 with the format's
// escapes.
TEST(StatusFile, NameAndLabelOfATerminalId) {
  struct Case {
    std::string (*of)(std::string_view);
    std::string id;
    std::string expected;
  };
  const Case cases[] = {
      {StatusFileName, "T1_a-Z9", "tralvo_T1_a-Z9.prom"},
      {StatusFileName, "", "tralvo_.prom"},
      {StatusFileName, "../x", "tralvo_%2E%2E%2Fx.prom"},
      {StatusFileName, "a\\b:c", "tralvo_a%5Cb%3Ac.prom"},
      {StatusFileName, "%41", "tralvo_%2541.prom"},
      {StatusFileName, std::string("\xE4 \x00\xFF", 4), "tralvo_%E4%20%00%FF.prom"},
      {LabelValue, "T1", "T1"},
      {LabelValue, "a\\b\"c\nd", "a\\\\b\\\"c\\nd"},
      // Latin-1 letters, the euro sign of 0x80 and an unassigned byte.
      {LabelValue, "\xC4\xFC", "\xC3\x84\xC3\xBC"},
      {LabelValue, "\x80\x9F", "\xE2\x82\xAC\xC5\xB8"},
      {LabelValue, "\x81", "\xC2\x81"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.of(c.id), c.expected) << c.id;
  EXPECT_NE(StatusFileName("%41"), StatusFileName("A"));
}

// The longest ids (255 bytes, each encoded as three) must still give a
// name the file system takes, and two such ids two names.
TEST(StatusFile, ALongIdIsShortenedToItsBeginningAndAToken) {
  const std::string plain(kMaxTerminalStem, 'a');
  EXPECT_EQ(TerminalFileStem(plain), plain);
  const std::string encoded(255, '.');
  const std::string stem = TerminalFileStem(encoded);
  EXPECT_LE(stem.size(), kMaxTerminalStem);
  EXPECT_EQ(stem.rfind("%2E%2E", 0), 0u);
  // The cut never splits a %XX, and what follows is the token alone.
  const size_t tilde = stem.find('~');
  ASSERT_NE(tilde, std::string::npos);
  EXPECT_EQ(tilde % 3, 0u);
  EXPECT_EQ(stem.size() - tilde, 17u);
  EXPECT_NE(TerminalFileStem(encoded + "x"), TerminalFileStem(encoded + "y"));
  EXPECT_EQ(StatusFileName(encoded), "tralvo_" + stem + ".prom");
}

TEST(StatusFile, EverySampleCarriesTheTerminalAndTheRunsCounters) {
  testsupport::ConsoleCapture console;
  // Entries for a log whose folder is missing are dropped at once.
  BookingReport report(console.stream(), false, "T\"1", "/nonexistent/folder/log.txt");
  for (int i = 0; i < 3; ++i) report.Row(RowTable::kAccess, {}, {});
  report.Malformed();
  report.Malformed();
  for (int i = 0; i < 7; ++i) report.Log("entry");
  const auto start = std::chrono::system_clock::time_point(std::chrono::milliseconds(1500));
  const std::string text =
      FormatStatus(report, {start, start + std::chrono::milliseconds(2001)}, 94, "12.345");
  EXPECT_NE(text.find("# TYPE tralvo_last_run_exit_status gauge\n"
                      "tralvo_last_run_exit_status{terminal=\"T\\\"1\"} 94\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("tralvo_last_run_start_timestamp_seconds{terminal=\"T\\\"1\"} 1.500\n"),
            std::string::npos);
  EXPECT_NE(text.find("tralvo_last_run_end_timestamp_seconds{terminal=\"T\\\"1\"} 3.501\n"),
            std::string::npos);
  EXPECT_NE(text.find("tralvo_last_run_bookings{terminal=\"T\\\"1\",kind=\"access\"} 3\n"),
            std::string::npos);
  EXPECT_NE(
      text.find("tralvo_last_run_not_transferred{terminal=\"T\\\"1\",cause=\"malformed\"} 2\n"),
      std::string::npos);
  EXPECT_NE(text.find("tralvo_last_run_log_entries_dropped{terminal=\"T\\\"1\"} 7\n"),
            std::string::npos);
  // A failed run carries the last success over; a run that is done is it.
  EXPECT_NE(text.find("tralvo_last_success_timestamp_seconds{terminal=\"T\\\"1\"} 12.345\n"),
            std::string::npos);
  EXPECT_NE(FormatStatus(report, {start, start}, 0, "12.345")
                .find("tralvo_last_success_timestamp_seconds{terminal=\"T\\\"1\"} 1.500\n"),
            std::string::npos);
  // Each line is a comment or a sample with the label.
  size_t samples = 0;
  for (size_t at = 0; at < text.size();) {
    const size_t end = text.find('\n', at);
    ASSERT_NE(end, std::string::npos);
    const std::string line = text.substr(at, end - at);
    if (line[0] != '#') {
      ++samples;
      EXPECT_NE(line.find("{terminal=\"T\\\"1\""), std::string::npos) << line;
    }
    at = end + 1;
  }
  EXPECT_EQ(samples, 4u + 4u + 6u + 1u);
}

// The last success is read back from the terminal's previous file; one
// that is missing or damaged counts as never.
TEST(StatusFile, LastSuccessIsReadBackOrNever) {
  testsupport::TempDir dir;
  const std::string path = dir / "tralvo_T1.prom";
  EXPECT_EQ(LastSuccess(path), "0");
  testsupport::ConsoleCapture console;
  BookingReport report(console.stream(), false, "T1", dir / "log.txt");
  const auto end = std::chrono::system_clock::time_point(std::chrono::milliseconds(1700000000250));
  testsupport::WriteFileBytes(path, FormatStatus(report, {end, end}, 0, ""));
  EXPECT_EQ(LastSuccess(path), "1700000000.250");
  for (const char* damaged : {"tralvo_last_success_timestamp_seconds{terminal=\"T1\"} 17x.250\n",
                              "tralvo_last_success_timestamp_seconds{terminal=\"T1\"} 1700",
                              "# nothing but a comment\n", ""}) {
    testsupport::WriteFileBytes(path, std::string("# HELP x\n") + damaged);
    EXPECT_EQ(LastSuccess(path), "0") << damaged;
  }
}

}  // namespace
}  // namespace tralvo
