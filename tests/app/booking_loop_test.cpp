// The booking loop against recording handlers: which records reach which
// handler, in which order, and what the run reports.
#include "app/booking_loop.h"

#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "app/booking_handlers.h"
#include "console_capture.h"
#include "input/booking_file_reader.h"
#include "input/field_list.h"
#include "loop_harness.h"
#include "shared/run_state.h"
#include "test_support.h"

namespace tralvo {
namespace {

// Records each call as "handler:badge" and counts like the real handlers.
class RecordingHandlers : public BookingHandlers {
 public:
  int ExportTimeBooking(const FieldList& r) override {
    return Note("time", r[field::kBadgeNumber]);
  }
  int ExportCostCentreBooking(const FieldList& r) override {
    return Note("cost", r[field::kBadgeNumber]);
  }
  int InsertAccessBooking(const FieldList& r) override {
    return Note("access", r[field::kBadgeNumber]);
  }
  int InsertEventBooking(const EventBooking& e) override {
    calls.push_back("event:" + std::string(e.badgeNumber) + "|" + std::string(e.terminalId) + "|" +
                    std::to_string(e.readerNumber) + "|" + std::string(e.bookingDate) + "|" +
                    std::string(e.bookingTime) + "|" + std::string(e.bookingCode) + "|" +
                    std::to_string(e.status) + "|" + std::string(e.variant));
    return eventResult;
  }
  int Note(const char* what, std::string_view badge) {
    if (badge == outOfMemoryBadge) throw std::bad_alloc();
    calls.push_back(std::string(what) + ":" + std::string(badge));
    return 0;
  }
  std::vector<std::string> calls;
  int eventResult = 0;
  // A handler working on this badge runs out of memory.
  std::string outOfMemoryBadge = "none";
};

// A booking line of terminal T1 with the fields that take part in routing,
// in the order these tests vary them.
std::string Line(const std::string& kind, const std::string& badge = "4711",
                 const std::string& marker = "", const std::string& access = "",
                 const std::string& status = "", const std::string& code = "001",
                 const std::string& terminal = "T1") {
  return testsupport::BookingLine(kind, badge, terminal, marker, access, status, code);
}

class BookingLoop : public ::testing::Test {
 protected:
  void SetUp() override {
    state.terminalId = "T1";
    state.logPath = dir / "log.txt";
    state.console = console.stream();
  }

  int Run(const std::string& content) {
    testsupport::WriteFileBytes(dir / "bookings.txt", content);
    BookingFileReader reader;
    EXPECT_TRUE(reader.Open(dir / "bookings.txt"));
    return TransferBookings(state, reader, handlers);
  }

  std::string Log() { return testsupport::ReadFileBytes(dir / "log.txt"); }

  testsupport::TempDir dir;
  testsupport::ConsoleCapture console;
  RunState state;
  RecordingHandlers handlers;
};

using Calls = std::vector<std::string>;

TEST_F(BookingLoop, FortyPRecordsByTheirTwoMarkers) {
  Run(Line("40p", "a", "X", "1") + Line("40p", "b", "X", "") + Line("40p", "c", "", "U") +
      Line("40p", "d", "", ""));
  EXPECT_EQ(handlers.calls, (Calls{"time:a", "access:a", "time:b", "access:c"}));
}

TEST_F(BookingLoop, DtaRecordsByStatusCodeBadgeAndBookingCode) {
  Run(Line("dta", "a", "", "", "100", "001") + Line("dta", "b", "", "", "100", "024") +
      Line("dta", "", "", "", "100", "001") + Line("dta", "", "", "", "17", "001") +
      Line("dta", "e", "", "", "17", "024"));
  EXPECT_EQ(handlers.calls, (Calls{"time:a", "access:b", "time:", "access:", "access:e"}));
}

TEST_F(BookingLoop, DtaEventGetsItsValuesAndAlwaysAnAccessRow) {
  Run(Line("dta", "a", "", "", "17x", "005"));
  EXPECT_EQ(handlers.calls, (Calls{"event:a|T1|3|20090715|073005|005|17|", "access:a"}));
  EXPECT_EQ(state.counters.events, 1);

  handlers.calls.clear();
  handlers.eventResult = 8152;
  Run(Line("dta", "b", "", "", "17", "005"));
  EXPECT_EQ(handlers.calls, (Calls{"event:b|T1|3|20090715|073005|005|17|", "access:b"}));
  EXPECT_EQ(state.counters.events, 0);
}

TEST_F(BookingLoop, OtherKindsAndExactComparisons) {
  Run(Line("62p", "a") + Line("50p", "b", "X", "1", "100") + Line("40P", "c", "X") +
      Line("dta ", "d") + Line("xyz", "e", "X", "1") + Line("62p", "f", "", "", "", "", "t1") +
      Line("62p", "g", "", "", "", "", "T1 "));
  EXPECT_EQ(handlers.calls, (Calls{"access:a", "cost:b"}));
}

TEST_F(BookingLoop, BadgeNumberIsTrimmedOfTrailingBlanksAndTabsOnly) {
  Run(Line("62p", "4 2 \t ") + Line("dta", "\t ", "", "", "17") + Line("62p", "\"\t42\""));
  EXPECT_EQ(handlers.calls, (Calls{"access:4 2", "access:", "access:\t42"}));
}

TEST_F(BookingLoop, MalformedAndForeignLines) {
  std::string seven = "1,2,3,4,5,T1,7\n";
  std::string eight = "1,2,3,4,5,T1,7,8\n";
  Run("\n   \n" + seven + Line("62p", "a", "", "", "", "", "T2") + eight + Line("62p", "b"));
  EXPECT_EQ(handlers.calls, (Calls{"access:b"}));
  EXPECT_EQ(console.text(), "FEHLERHAFTER BUCHUNGSSATZ !!\n");
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
  EXPECT_EQ(handlers.calls, (Calls{"access:ok"}));
  EXPECT_EQ(console.text(), "FEHLERHAFTER BUCHUNGSSATZ !!\nFEHLERHAFTER BUCHUNGSSATZ !!\n");

  handlers.calls.clear();
  Run(padded(kMaxLineLength));
  EXPECT_EQ(handlers.calls, (Calls{"access:a"}));
}

TEST_F(BookingLoop, FieldTooLongIsMalformed) {
  Run(Line("62p", std::string(250, '9')) + Line("62p", std::string(249, '9')));
  EXPECT_EQ(handlers.calls, (Calls{"access:" + std::string(249, '9')}));
  EXPECT_EQ(console.text(), "FEHLERHAFTER BUCHUNGSSATZ !!\n");
}

TEST_F(BookingLoop, DebugEchoesEveryLineBeforeItIsHandled) {
  state.debugFlag = 1;
  std::string longLine = std::string(600, 'l') + "\n";
  std::string content = "\n1,2\n" + Line("62p", "a", "", "", "", "", "T9") + longLine;
  Run(content);
  EXPECT_EQ(console.text(), "\n1,2\nFEHLERHAFTER BUCHUNGSSATZ !!\n" +
                                Line("62p", "a", "", "", "", "", "T9") + longLine +
                                "FEHLERHAFTER BUCHUNGSSATZ !!\n0 Buchungen uebergeben");
}

TEST_F(BookingLoop, SummaryBytes) {
  state.counters.events = 99;  // the loop starts every run from zero
  EXPECT_EQ(Run(""), 0);
  EXPECT_EQ(handlers.calls, Calls{});
  EXPECT_EQ(Log(),
            "\r\n\xFC"
            "bergeben:\r\n"
            "   Zeitbuchungen         : 0\r\n"
            "   Zutrittsbuchungen:    : 0\r\n"
            "   Kostenstellenbuchungen: 0\r\n"
            "   Ereignisse:           : 0\r\n\r\n");
}

TEST_F(BookingLoop, SummaryCountsWhatTheHandlersCounted) {
  class Counting : public RecordingHandlers {
   public:
    explicit Counting(RunState& s) : state(s) {}
    int ExportTimeBooking(const FieldList&) override { return ++state.counters.timeBookings, 0; }
    int InsertAccessBooking(const FieldList&) override {
      return ++state.counters.accessBookings, 0;
    }
    int ExportCostCentreBooking(const FieldList&) override {
      return ++state.counters.costCentreBookings, 0;
    }
    RunState& state;
  } counting(state);
  state.debugFlag = 1;
  testsupport::WriteFileBytes(dir / "b.txt", Line("40p", "a", "X", "1") + Line("50p") +
                                                 Line("dta", "e", "", "", "3") + Line("62p"));
  BookingFileReader reader;
  ASSERT_TRUE(reader.Open(dir / "b.txt"));
  EXPECT_EQ(TransferBookings(state, reader, counting), 0);
  EXPECT_NE(Log().find("   Zeitbuchungen         : 1\r\n   Zutrittsbuchungen:    : 3\r\n"
                       "   Kostenstellenbuchungen: 1\r\n   Ereignisse:           : 1\r\n"),
            std::string::npos);
  std::string out = console.text();
  EXPECT_EQ(out.substr(out.size() - 22), "6 Buchungen uebergeben");
}

TEST_F(BookingLoop, AHandlerOutOfMemoryGivesUpThatBookingAloneAndTheRunEndsWithItsSummary) {
  handlers.outOfMemoryBadge = "b";
  EXPECT_EQ(Run(Line("62p", "a") + Line("40p", "b", "X", "1") + Line("50p", "c")), 0);
  // The access row of "b" would have followed its time booking: nothing
  // of that booking goes on after the failure.
  EXPECT_EQ(handlers.calls, (Calls{"access:a", "cost:c"}));
  EXPECT_EQ(console.text(), "b, 20090715, Speichermangel, Buchung nicht uebergeben\n");
  std::string log = Log();
  EXPECT_EQ(log.find("b, 20090715, Speichermangel, Buchung nicht uebergeben\r\n"), 0u);
  EXPECT_NE(log.find("bergeben:"), std::string::npos);
}

TEST_F(BookingLoop, UnreadableBookingFileFailsTheRunButKeepsTheSummary) {
  // Opens, then fails its first read.
  const std::string unreadable = "/proc/self/mem";
  BookingFileReader reader;
  if (!reader.Open(unreadable)) GTEST_SKIP() << "no file here that opens but cannot be read";
  EXPECT_EQ(TransferBookings(state, reader, handlers), kFileFailureStatus);
  EXPECT_EQ(console.text(), "Fehler beim Lesen der Quelldatei " + unreadable + "\n");
  std::string log = Log();
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
