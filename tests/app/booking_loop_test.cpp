// The booking loop against the harness's keeping handlers: which records
// reach which handler, in which order, and what the run reports.
#include "app/booking_loop.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/exit_status.h"
#include "input/booking_file_reader.h"
#include "loop_harness.h"
#include "test_support.h"

namespace tralvo {
namespace {

// A booking line of terminal T1 with the fields that take part in routing,
// in the order these tests vary them.
std::string Line(const std::string& kind, const std::string& badge = "4711",
                 const std::string& marker = "", const std::string& access = "",
                 const std::string& status = "", const std::string& code = "001",
                 const std::string& terminal = "T1") {
  return testsupport::BookingLine(kind, badge, terminal, marker, access, status, code);
}

using Calls = std::vector<std::string>;

class BookingLoop : public ::testing::Test {
 protected:
  int Run(const std::string& content) { return loop().Run(content); }
  // From here on the run has the debug flag set.
  void Debug() { loop_ = std::make_unique<testsupport::LoopRun>("T1", true); }

  // The handler calls so far, each as "handler:badge"; an event with its
  // values.
  Calls Seen() const {
    Calls seen;
    for (const testsupport::HandlerCall& call : loop_->handlers.calls) {
      const std::vector<std::string>& f = call.fields;
      if (call.handler == "event")
        seen.push_back("event:" + f[1] + "|" + f[0] + "|" + f[5] + "|" + f[2] + "|" + f[3] + "|" +
                       f[4] + "|" + f[6] + "|" + f[7]);
      else
        seen.push_back(call.handler + ":" + f[0]);
    }
    return seen;
  }

  testsupport::LoopRun& loop() { return *loop_; }
  testsupport::KeepingHandlers& handlers() { return loop_->handlers; }
  const BookingCounters& counters() const { return loop_->counters(); }

 private:
  std::unique_ptr<testsupport::LoopRun> loop_ = std::make_unique<testsupport::LoopRun>();
};

TEST_F(BookingLoop, FortyPRecordsByTheirTwoMarkers) {
  Run(Line("40p", "a", "X", "1") + Line("40p", "b", "X", "") + Line("40p", "c", "", "U") +
      Line("40p", "d", "", ""));
  EXPECT_EQ(Seen(), (Calls{"time:a", "access:a", "time:b", "access:c"}));
}

TEST_F(BookingLoop, DtaRecordsByStatusCodeBadgeAndBookingCode) {
  Run(Line("dta", "a", "", "", "100", "001") + Line("dta", "b", "", "", "100", "024") +
      Line("dta", "", "", "", "100", "001") + Line("dta", "", "", "", "17", "001") +
      Line("dta", "e", "", "", "17", "024"));
  EXPECT_EQ(Seen(), (Calls{"time:a", "access:b", "time:", "access:", "access:e"}));
}

TEST_F(BookingLoop, DtaEventGetsItsValuesAndAlwaysAnAccessRow) {
  Run(Line("dta", "a", "", "", "17x", "005"));
  EXPECT_EQ(Seen(), (Calls{"event:a|T1|3|20090715|073005|005|17|", "access:a"}));
  EXPECT_EQ(counters().events, 1);

  handlers().calls.clear();
  handlers().eventResult = {DbOutcome::kRefused, 8152};
  Run(Line("dta", "b", "", "", "17", "005"));
  EXPECT_EQ(Seen(), (Calls{"event:b|T1|3|20090715|073005|005|17|", "access:b"}));
  EXPECT_EQ(counters().events, 1);
}

TEST_F(BookingLoop, OtherKindsAndExactComparisons) {
  Run(Line("62p", "a") + Line("50p", "b", "X", "1", "100") + Line("40P", "c", "X") +
      Line("dta ", "d") + Line("xyz", "e", "X", "1") + Line("62p", "f", "", "", "", "", "t1") +
      Line("62p", "g", "", "", "", "", "T1 "));
  EXPECT_EQ(Seen(), (Calls{"access:a", "cost:b"}));
}

TEST_F(BookingLoop, BadgeNumberIsTrimmedOfTrailingBlanksAndTabsOnly) {
  Run(Line("62p", "4 2 \t ") + Line("dta", "\t ", "", "", "17") + Line("62p", "\"\t42\""));
  EXPECT_EQ(Seen(), (Calls{"access:4 2", "access:", "access:\t42"}));
}

TEST_F(BookingLoop, MalformedAndForeignLines) {
  std::string seven = "1,2,3,4,5,T1,7\n";
  std::string eight = "1,2,3,4,5,T1,7,8\n";
  Run("\n   \n" + seven + Line("62p", "a", "", "", "", "", "T2") + eight + Line("62p", "b"));
  EXPECT_EQ(Seen(), (Calls{"access:b"}));
  EXPECT_EQ(loop().Console(), "FEHLERHAFTER BUCHUNGSSATZ !!\n");
}

TEST_F(BookingLoop, OverlongLineIsRefusedWholeOnce) {
  // A line that passes the limit only by its line end is refused, and so
  // is a long line whose later pieces look like bookings.
  // Blanks in two unused fields bring a booking to the length wanted.
  auto padded = [](size_t length) {
    std::string line = Line("62p", "a");
    size_t pad = length - line.size();
    line.insert(line.find(",5,") + 2, pad / 2, ' ');
    return line.insert(line.find(",1,") + 2, pad - pad / 2, ' ');
  };
  std::string smuggled = std::string(kMaxLineLength, 'x') + Line("62p", "evil");
  Run(padded(kMaxLineLength + 1) + smuggled + Line("62p", "ok"));
  EXPECT_EQ(Seen(), (Calls{"access:ok"}));
  EXPECT_EQ(loop().Console(), "FEHLERHAFTER BUCHUNGSSATZ !!\nFEHLERHAFTER BUCHUNGSSATZ !!\n");

  handlers().calls.clear();
  Run(padded(kMaxLineLength));
  EXPECT_EQ(Seen(), (Calls{"access:a"}));
}

TEST_F(BookingLoop, FieldTooLongIsMalformed) {
  Run(Line("62p", std::string(250, '9')) + Line("62p", std::string(249, '9')));
  EXPECT_EQ(Seen(), (Calls{"access:" + std::string(249, '9')}));
  EXPECT_EQ(loop().Console(), "FEHLERHAFTER BUCHUNGSSATZ !!\n");
}

TEST_F(BookingLoop, DebugEchoesEveryLineBeforeItIsHandled) {
  Debug();
  std::string longLine = std::string(600, 'l') + "\n";
  std::string content = "\n1,2\n" + Line("62p", "a", "", "", "", "", "T9") + longLine;
  Run(content);
  EXPECT_EQ(loop().Console(), "\n1,2\nFEHLERHAFTER BUCHUNGSSATZ !!\n" +
                                  Line("62p", "a", "", "", "", "", "T9") + longLine +
                                  "FEHLERHAFTER BUCHUNGSSATZ !!\n0 Buchungen uebergeben");
}

TEST_F(BookingLoop, SummaryBytes) {
  EXPECT_EQ(Run(""), 0);
  EXPECT_EQ(Seen(), Calls{});
  EXPECT_EQ(loop().Log(),
            "\r\n\xFC"
            "bergeben:\r\n"
            "   Zeitbuchungen         : 0\r\n"
            "   Zutrittsbuchungen:    : 0\r\n"
            "   Kostenstellenbuchungen: 0\r\n"
            "   Ereignisse:           : 0\r\n\r\n");
}

TEST_F(BookingLoop, SummaryCountsWhatTheHandlersCounted) {
  Debug();
  EXPECT_EQ(
      Run(Line("40p", "a", "X", "1") + Line("50p") + Line("dta", "e", "", "", "3") + Line("62p")),
      0);
  EXPECT_NE(loop().Log().find("   Zeitbuchungen         : 1\r\n   Zutrittsbuchungen:    : 3\r\n"
                              "   Kostenstellenbuchungen: 1\r\n   Ereignisse:           : 1\r\n"),
            std::string::npos);
  std::string out = loop().Console();
  EXPECT_EQ(out.substr(out.size() - 22), "6 Buchungen uebergeben");
}

TEST_F(BookingLoop, AHandlerOutOfMemoryGivesUpThatBookingAloneAndTheRunEndsWithItsSummary) {
  handlers().outOfMemoryBadge = "b";
  EXPECT_EQ(Run(Line("62p", "a") + Line("40p", "b", "X", "1") + Line("50p", "c")), 0);
  // The access row of "b" would have followed its time booking: nothing
  // of that booking goes on after the failure.
  EXPECT_EQ(Seen(), (Calls{"access:a", "cost:c"}));
  EXPECT_EQ(loop().Console(), "b, 20090715, Speichermangel, Buchung nicht uebergeben\n");
  std::string log = loop().Log();
  EXPECT_EQ(log.find("b, 20090715, Speichermangel, Buchung nicht uebergeben\r\n"), 0u);
  EXPECT_NE(log.find("bergeben:"), std::string::npos);
}

TEST_F(BookingLoop, UnreadableBookingFileFailsTheRunButKeepsTheSummary) {
  // Opens, then fails its first read.
  const std::string unreadable = "/proc/self/mem";
  BookingFileReader reader;
  if (!reader.Open(unreadable)) GTEST_SKIP() << "no file here that opens but cannot be read";
  EXPECT_EQ(TransferBookings(loop().run, reader, handlers()), kExitFileFailure);
  EXPECT_EQ(loop().Console(), "Fehler beim Lesen der Quelldatei " + unreadable + "\n");
  std::string log = loop().Log();
  EXPECT_EQ(log.find("Fehler beim Lesen der Quelldatei " + unreadable + "\r\n"), 0u);
  EXPECT_NE(log.find("bergeben:"), std::string::npos);
}

TEST(TrimRight, RemovesOnlyTrailingBlanksAndTabs) {
  for (auto [in, out] : std::vector<std::pair<std::string, std::string>>{{"42", "42"},
                                                                         {"42 \t ", "42"},
                                                                         {" \t", ""},
                                                                         {"", ""},
                                                                         {" 4 2", " 4 2"},
                                                                         {"42\r", "42\r"},
                                                                         {"42\n ", "42\n"}}) {
    std::string text = in;
    EXPECT_EQ(TrimRight(text), out);
  }
}

}  // namespace
}  // namespace tralvo
