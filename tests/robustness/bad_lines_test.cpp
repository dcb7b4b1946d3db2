// Booking lines a terminal, a transfer or a damaged disk may produce, and
// what must hold for each: nothing crashes, nothing of another line or of
// a cut line is transferred, and every booking of the run's terminal is
// either handed on unchanged or reported.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "input/booking_file_reader.h"
#include "input/booking_splitter.h"
#include "loop_harness.h"

namespace testsupport {
namespace {

using Fields = std::vector<std::string>;

// The fields BookingLine writes, in order.
Fields LineFields(const std::string& kind, const std::string& badge,
                  const std::string& terminal = "T1") {
  return {badge,  "1", "20090715", "073005", "5", terminal, "3",  "001",
          "4711", "9", "",         "",       "",  "13",     "14", kind};
}

TEST(BadLines, QuotesSemicolonsAndCommentMarkersReachTheHandlersUnchanged) {
  const std::vector<std::string> hostile = {
      "O'Brien", "';--", "; DROP TABLE x;", "--", "/* x */", "*/", "#", "//", "a''b",
      "'",       "\\'",  "x' OR '1'='1"};
  // Every text field of a "62p" record (which routes on its kind alone),
  // one line each, with the run's terminal id carrying the same text.
  for (const std::string& text : hostile) {
    LoopRun run(text);
    std::string content;
    std::vector<HandlerCall> want;
    for (size_t field = 0; field < 15; ++field) {
      Fields fields = LineFields("62p", "4711", text);
      fields[field] = text;
      std::string line;
      for (const std::string& f : fields) line += (line.empty() ? "" : ",") + f;
      content += line + "\n";
      want.push_back({"access", fields});
    }
    ASSERT_EQ(run.Run(content), 0);
    EXPECT_EQ(run.handlers.calls, want) << text;
    EXPECT_EQ(run.MalformedReports(), 0);
  }
}

TEST(BadLines, ZeroBytesNeverHideABookingOrMakeOneOfAFragment) {
  LoopRun run;
  std::string good = BookingLine("62p", "good");
  // Trailing zero bytes hide nothing; a line of zero bytes is an empty line.
  std::string padded = BookingLine("62p", "padded");
  padded.insert(padded.size() - 1, 5, '\0');
  std::string zeros(40, '\0');
  zeros += "\n";
  // A zero byte with bytes after it: the line is reported, and neither the
  // part before it nor a booking after it is transferred.
  std::string cut = BookingLine("62p", "cut");
  cut[cut.find("073005")] = '\0';
  std::string hidden = std::string(1, '\0') + BookingLine("62p", "hidden");
  std::string inKind = BookingLine("62p", "inkind");
  inKind.insert(inKind.size() - 2, 1, '\0');  // "62\0p"
  EXPECT_EQ(run.Run(good + padded + zeros + cut + hidden + inKind + good), 0);

  std::vector<std::string> badges;
  for (const HandlerCall& call : run.handlers.calls) badges.push_back(call.fields[0]);
  EXPECT_EQ(badges, (std::vector<std::string>{"good", "padded", "good"}));
  EXPECT_EQ(run.MalformedReports(), 3);
  EXPECT_EQ(run.handlers.calls[1].fields.back(), "62p");
}

TEST(BadLines, EveryLineEndSeparatesBookingsAlone) {
  // Carriage returns alone, line feeds alone, both, mixed, with empty lines
  // between, and the last line without any line end.
  std::string cr, mixed;
  std::vector<std::string> want;
  for (int i = 0; i < 300; ++i) {
    std::string badge = "b" + std::to_string(i);
    std::string line = BookingLine("62p", badge);
    line.pop_back();
    cr += line + "\r";
    static const char* const kEnds[] = {"\n", "\r", "\r\n", "\r\r", "\n\n", "\r\n\r\n", "\n\r"};
    mixed += line + kEnds[i % 7];
    want.push_back(badge);
  }
  std::vector<std::string> wantLast = want;
  wantLast.push_back("last");
  std::string last = BookingLine("62p", "last");
  last.pop_back();
  for (const auto& [content, expected] :
       {std::pair{cr, want}, std::pair{mixed, want}, std::pair{mixed + last, wantLast}}) {
    LoopRun run;
    EXPECT_EQ(run.Run(content), 0);
    std::vector<std::string> got;
    for (const HandlerCall& call : run.handlers.calls) got.push_back(call.fields[0]);
    EXPECT_EQ(got, expected);
    EXPECT_EQ(run.MalformedReports(), 0);
  }
}

// A "62p" line of exactly length bytes, line end included.
std::string LineOfLength(size_t length, const std::string& badge, const std::string& end) {
  std::string line = BookingLine("62p", badge);
  line.pop_back();
  // Spread over two unused fields, each well within the field limit.
  size_t pad = length - line.size() - end.size();
  line.insert(line.find(",14,") + 1, pad / 2, 'p');
  line.insert(line.find(",9,") + 1, pad - pad / 2, 'p');
  return line + end;
}

TEST(BadLines, LineLengthLimitHoldsForEveryLineEnd) {
  for (const std::string end : {"\n", "\r\n", "\r", ""}) {
    for (size_t length : {497u, 498u, 499u}) {
      LoopRun run;
      // The line under test comes last too, where the file's end ends it.
      std::string line = LineOfLength(length, "x", end);
      run.Run(BookingLine("62p", "before") + line +
              (end.empty() ? "" : BookingLine("62p", "after")));
      bool fits = length <= tralvo::kMaxLineLength;
      size_t want = 1 + (fits ? 1 : 0) + (end.empty() ? 0 : 1);
      EXPECT_EQ(run.handlers.calls.size(), want) << length << " " << end.size();
      EXPECT_EQ(run.MalformedReports(), fits ? 0 : 1) << length << " " << end.size();
    }
  }
}

TEST(BadLines, HugeLineIsRefusedOnceAndEchoedWhole) {
  // Bookings run together without line ends: were the pieces of the line
  // taken as lines, many would look like bookings.
  std::string booking = BookingLine("62p", "smuggled");
  booking.pop_back();
  std::string huge;
  while (huge.size() < 100000) huge += booking;
  huge.resize(100000);
  huge += "\n";
  LoopRun run("T1", true);
  run.Run(huge + BookingLine("62p", "after"));
  ASSERT_EQ(run.handlers.calls.size(), 1u);
  EXPECT_EQ(run.handlers.calls[0].fields[0], "after");
  EXPECT_EQ(run.MalformedReports(), 1);
  EXPECT_EQ(run.Console().substr(0, huge.size()), huge);
}

TEST(BadLines, FieldLimitHoldsInEveryFieldAndAfterUnquoting) {
  for (int field = 0; field < 16; ++field) {
    for (size_t length : {249u, 250u}) {
      Fields fields = LineFields("62p", "4711");
      fields[static_cast<size_t>(field)] = std::string(length, '7');
      if (field == 5 || field == 15) continue;  // the terminal and kind must match to route
      std::string line;
      for (const std::string& f : fields) line += (line.empty() ? "" : ",") + f;
      LoopRun run;
      run.Run(line + "\n");
      EXPECT_EQ(run.handlers.calls.size(), length == 249 ? 1u : 0u) << field;
      EXPECT_EQ(run.MalformedReports(), length == 249 ? 0 : 1) << field;
    }
  }
  // Doubled quotes count once: 249 quote characters from 498 bytes do not
  // fit a line, so take 200 quotes and 49 letters against 200 and 50.
  for (size_t letters : {49u, 50u}) {
    std::string field = "\"" + std::string(400, '"') + std::string(letters, 'q') + "\"";
    std::string line = field + ",x";
    tralvo::FieldList record;
    tralvo::SplitResult result = tralvo::SplitBookingLine(line, record);
    EXPECT_EQ(result,
              letters == 49 ? tralvo::SplitResult::kRecord : tralvo::SplitResult::kFieldTooLong);
    if (result == tralvo::SplitResult::kRecord) {
      EXPECT_EQ(record[0], std::string(200, '"') + std::string(49, 'q'));
    }
  }
}

TEST(BadLines, BinaryGarbageBetweenBookingsDisturbsNoNeighbour) {
  std::mt19937 random(20090715);
  std::string content;
  long bookings = 0;
  for (int block = 0; block < 400; ++block) {
    // Garbage without line ends, so it stays within its own lines.
    std::string garbage(random() % 900, '\0');
    for (char& c : garbage) {
      do c = static_cast<char>(random());
      while (c == '\n' || c == '\r');
    }
    content += garbage + "\n" + BookingLine("62p", "b" + std::to_string(block));
    ++bookings;
  }
  LoopRun run;
  EXPECT_EQ(run.Run(content), 0);
  EXPECT_EQ(run.handlers.accessCalls, bookings);
  EXPECT_EQ(run.handlers.foreignRecords, 0);
  for (long i = 0; i < bookings; ++i)
    EXPECT_EQ(run.handlers.calls[static_cast<size_t>(i)].fields[0], "b" + std::to_string(i));

  // Garbage of every byte, line ends included: the loop ends normally and
  // only records of the run's terminal reach a handler.
  for (unsigned seed : {1u, 2u, 3u}) {
    random.seed(seed);
    std::string bytes(1 << 20, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    LoopRun garbage;
    EXPECT_EQ(garbage.Run(bytes), 0);
    EXPECT_EQ(garbage.handlers.foreignRecords, 0);
    EXPECT_NE(garbage.Log().find("bergeben:"), std::string::npos);
  }
}

TEST(BadLines, Windows1252BytesPassThroughUnchanged) {
  std::string high;
  for (int c = 0x80; c <= 0xFF; ++c) high += static_cast<char>(c);
  // Badge numbers of every high byte (commas and quotes are not among
  // them), and a terminal id of high bytes as the run's terminal.
  std::string terminal = "T\xC4\xD6\xDC\xE4\xF6\xFC\xDF\x80\xFF";
  LoopRun run(terminal);
  std::string content;
  for (size_t at = 0; at < high.size(); at += 16)
    content += BookingLine("62p", high.substr(at, 16), terminal);
  content += BookingLine("62p", "other", "T\xE4");  // a prefix of the terminal id is foreign
  EXPECT_EQ(run.Run(content), 0);
  ASSERT_EQ(run.handlers.calls.size(), 8u);
  for (size_t i = 0; i < 8; ++i) {
    EXPECT_EQ(run.handlers.calls[i].fields[0], high.substr(i * 16, 16));
    EXPECT_EQ(run.handlers.calls[i].fields[5], terminal);
  }
}

TEST(BadLines, EmptyFieldsEverywhere) {
  LoopRun run;
  // A comma at the start of a field adds no field at the line end, so the
  // first line needs nine commas for eight fields.
  std::string content =
      ",,,,,T1,,,\n"                              // eight fields, no kind: routed nowhere
      ",,,,,T1,,,,,,,,,,40p\n"                    // "40p" with no marker: routed nowhere
      ",,,,,T1,,,,,,,,,,62p\n"                    // access row of empty fields
      ",,,,,T1,,,,,,,,,,dta\n"                    // empty badge: access row
      ",,,,,T1,,,,,,,,,,50p\n"                    // cost centre without date: reported
      ",,,,,,,,,,,,,,,62p\n"                      // empty terminal: foreign
      ",,,,,T1,\n"                                // seven fields: malformed
      "\"\",\"\",\"\",\"\",\"\",T1,\"\",\"\"\n";  // quoted empties, routed nowhere
  EXPECT_EQ(run.Run(content), 0);
  std::vector<std::string> handlers;
  for (const HandlerCall& call : run.handlers.calls) handlers.push_back(call.handler);
  EXPECT_EQ(handlers, (std::vector<std::string>{"access", "access", "cost"}));
  Fields empty(16, "");
  empty[5] = "T1";
  empty[15] = "62p";
  EXPECT_EQ(run.handlers.calls[0].fields, empty);
  EXPECT_EQ(run.MalformedReports(), 1);
  EXPECT_EQ(run.CostCentres(), "");
  EXPECT_NE(run.Log().find("----> Buchungsdatum ungueltig :"), std::string::npos);
  EXPECT_EQ(run.counters().costCentreBookings, 0);
}

}  // namespace
}  // namespace testsupport
