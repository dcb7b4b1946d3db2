// The status file's name and label: every terminal id gets a file of its
// own that no id can move out of its folder, and a label value that the
// collectors read back as the terminal's own characters.
#include "export/status_file.h"

#include <gtest/gtest.h>

#include "console_capture.h"
#include "export/booking_report.h"

namespace tralvo {
namespace {

TEST(StatusFile, NameKeepsOnlyPlainBytesAndEncodesTheRest) {
  EXPECT_EQ(StatusFileName("T1_a-Z9"), "tralvo_T1_a-Z9.prom");
  EXPECT_EQ(StatusFileName(""), "tralvo_.prom");
  // Separators, dots, the escape character itself and Windows-1252 bytes
  // cannot leave the folder or make two ids one name.
  EXPECT_EQ(StatusFileName("../x"), "tralvo_%2E%2E%2Fx.prom");
  EXPECT_EQ(StatusFileName("a\\b:c"), "tralvo_a%5Cb%3Ac.prom");
  EXPECT_EQ(StatusFileName("%41"), "tralvo_%2541.prom");
  EXPECT_NE(StatusFileName("%41"), StatusFileName("A"));
  EXPECT_EQ(StatusFileName(std::string("\xE4 \x00\xFF", 4)), "tralvo_%E4%20%00%FF.prom");
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

TEST(StatusFile, LabelIsUtf8WithTheFormatsEscapes) {
  EXPECT_EQ(LabelValue("T1"), "T1");
  EXPECT_EQ(LabelValue("a\\b\"c\nd"), "a\\\\b\\\"c\\nd");
  // Latin-1 letters, the euro sign of 0x80 and an unassigned byte.
  EXPECT_EQ(LabelValue("\xC4\xFC"), "\xC3\x84\xC3\xBC");
  EXPECT_EQ(LabelValue("\x80\x9F"), "\xE2\x82\xAC\xC5\xB8");
  EXPECT_EQ(LabelValue("\x81"), "\xC2\x81");
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
      FormatStatus(report, {start, start + std::chrono::milliseconds(2001)}, 94);
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
  EXPECT_EQ(samples, 3u + 4u + 6u + 1u);
}

}  // namespace
}  // namespace tralvo
