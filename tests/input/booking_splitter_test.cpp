// The splitter against the line syntax of the booking file: quoting, the
// trailing-comma rule, line ends, field limits; and against the
// byte-at-a-time splitter it replaced, on lines of every length.
#include "input/booking_splitter.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "reference_splitter.h"

namespace tralvo {
namespace {

std::vector<std::string> Fields(std::string_view line) {
  FieldList record;
  SplitResult result = SplitBookingLine(line, record);
  std::vector<std::string> fields;
  for (int32_t i = 0; i < record.count(); ++i) fields.emplace_back(record[i]);
  if (result == SplitResult::kNone) {
    EXPECT_TRUE(fields.empty());
  }
  return fields;
}

using V = std::vector<std::string>;

TEST(BookingSplitter, LinesWithoutFieldsYieldNoRecord) {
  for (const char* line : {"", "\n", "\r\n", "   \n", "\r", "   "}) {
    FieldList record;
    EXPECT_EQ(SplitBookingLine(line, record), SplitResult::kNone) << "line: " << line;
    EXPECT_EQ(record.count(), 0);
  }
}

TEST(BookingSplitter, UnquotedFieldsAndLineEnds) {
  EXPECT_EQ(Fields("11,22,33\r\n"), (V{"11", "22", "33"}));
  EXPECT_EQ(Fields("11,22,33\n"), (V{"11", "22", "33"}));
  EXPECT_EQ(Fields("11,22,33"), (V{"11", "22", "33"}));
  EXPECT_EQ(Fields(" 12 ,x\n"), (V{"12 ", "x"}));
  EXPECT_EQ(Fields("\tx,y\n"), (V{"\tx", "y"}));
  EXPECT_EQ(Fields("a\"b,z\n"), (V{"a\"b", "z"}));
  // Whatever stands between a carriage return and the line feed is not
  // part of the record.
  EXPECT_EQ(Fields("a,b\rc,d\n"), (V{"a", "b"}));
  std::string withZero("a,b\0c,d\n", 8);
  EXPECT_EQ(Fields(withZero), (V{"a", "b"}));
}

TEST(BookingSplitter, EmptyFieldsAndTheTrailingCommaRule) {
  EXPECT_EQ(Fields("a,,b\n"), (V{"a", "", "b"}));
  EXPECT_EQ(Fields("a,\n"), (V{"a", ""}));
  EXPECT_EQ(Fields("a,  \n"), (V{"a", ""}));
  EXPECT_EQ(Fields("a,,\n"), (V{"a", ""}));
  EXPECT_EQ(Fields(",\n"), (V{""}));
  EXPECT_EQ(Fields("\"a\",\n"), (V{"a"}));
}

TEST(BookingSplitter, QuotedFields) {
  EXPECT_EQ(Fields("\"a,b\",z\n"), (V{"a,b", "z"}));
  EXPECT_EQ(Fields("\"say \"\"hi\"\"\"\n"), (V{"say \"hi\""}));
  EXPECT_EQ(Fields("\"ab\"cd\n"), (V{"ab", "cd"}));
  EXPECT_EQ(Fields("\"ab\" ,z\n"), (V{"ab", "", "z"}));
  EXPECT_EQ(Fields("\"abc\n"), (V{"abc"}));
  EXPECT_EQ(Fields("\"\"\n"), (V{""}));
  EXPECT_EQ(Fields("x,\"\n"), (V{"x", ""}));
}

TEST(BookingSplitter, ManyFieldsKeepTheirOrderAsTheListGrows) {
  for (int n : {10, 11, 21, 40}) {
    std::string line;
    for (int i = 0; i < n; ++i) line += (i ? "," : "") + std::to_string(i);
    FieldList record;
    ASSERT_EQ(SplitBookingLine(line, record), SplitResult::kRecord);
    ASSERT_EQ(record.count(), n);
    EXPECT_EQ(record.capacity(), (n + 9) / 10 * 10);
    for (int i = 0; i < n; ++i) EXPECT_EQ(record[i], std::to_string(i));
    EXPECT_EQ(record[n], "") << "a field beyond the record reads as empty";
  }
}

TEST(BookingSplitter, RecordIsReusedAcrossLines) {
  FieldList record;
  ASSERT_EQ(SplitBookingLine("a,b,c,d,e,f,g,h,i,j,k,l\n", record), SplitResult::kRecord);
  ASSERT_EQ(SplitBookingLine("x\n", record), SplitResult::kRecord);
  EXPECT_EQ(record.count(), 1);
  EXPECT_EQ(record[0], "x");
  EXPECT_EQ(record[1], "");
  EXPECT_EQ(SplitBookingLine("\n", record), SplitResult::kNone);
  EXPECT_EQ(record.count(), 0);
}

TEST(BookingSplitter, FieldOfMoreThan249CharactersMakesTheLineMalformed) {
  std::string longest(kMaxFieldLength, 'x');
  FieldList record;
  // The record reads the line's own bytes, so each line outlives its record.
  std::string unquoted = "a," + longest + ",b\n";
  ASSERT_EQ(SplitBookingLine(unquoted, record), SplitResult::kRecord);
  EXPECT_EQ(record[1], longest);
  std::string quoted = "\"" + longest + "\"\n";
  ASSERT_EQ(SplitBookingLine(quoted, record), SplitResult::kRecord);
  EXPECT_EQ(record[0], longest);

  EXPECT_EQ(SplitBookingLine("a," + longest + "y,b\n", record), SplitResult::kFieldTooLong);
  EXPECT_EQ(SplitBookingLine("\"" + longest + "y\"\n", record), SplitResult::kFieldTooLong);
  EXPECT_EQ(SplitBookingLine("\"" + longest + "\"\"\"\n", record), SplitResult::kFieldTooLong);
}

// Lines drawn from a few byte mixes, from dense with quotes, blanks and
// line ends to long fields with a rare comma, of lengths across several
// 16- and 64-byte blocks: the split must be the reference's to the byte,
// the fields before a field that is too long included.
TEST(BookingSplitter, SplitsEveryLineAsTheByteAtATimeSplitterDid) {
  const std::string mixes[] = {
      std::string(",a\"  \r\n\0,\t", 11),
      ",,ab,c\" ",
      "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa,",
      "abcdefghijklmnopqrstuvwxyz\"",
      "12,34,T1,50p,,,  ,\"\"\n",
  };
  std::mt19937 random(28);
  FieldList record;
  for (int n = 0; n < 20000; ++n) {
    const std::string& mix = mixes[random() % 5];
    std::string line(random() % 520, ' ');
    for (char& c : line) c = mix[random() % mix.size()];
    FieldList expected;
    SplitResult result = reference::SplitBookingLine(line, expected);
    ASSERT_EQ(SplitBookingLine(line, record), result) << line;
    ASSERT_EQ(record.count(), expected.count()) << line;
    for (int32_t i = 0; i < record.count(); ++i) ASSERT_EQ(record[i], expected[i]) << line;
  }
}

TEST(FieldList, CopiesOutliveTheirSourceAndMixWithFieldsInPlace) {
  // Enough copies that their storage moves while it grows.
  const std::string line = "in,place";
  FieldList record;
  ASSERT_EQ(AppendFieldInPlace(record, std::string_view(line).substr(0, 2)), 1);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(AppendField(record, std::string(40, 'a' + i % 26)), 1);
  ASSERT_EQ(AppendFieldInPlace(record, std::string_view(line).substr(3)), 1);
  ASSERT_EQ(record.count(), 102);
  EXPECT_EQ(record[0], "in");
  for (int i = 0; i < 100; ++i) EXPECT_EQ(record[i + 1], std::string(40, 'a' + i % 26)) << i;
  EXPECT_EQ(record[101], "place");
  record.Shorten(101, 2);
  EXPECT_EQ(record[101], "pl");
  EXPECT_EQ(line, "in,place") << "the line itself is never changed";

  // Moved lists keep their copies, a short one held in the list itself too.
  FieldList small;
  ASSERT_EQ(AppendField(small, "ab"), 1);
  ASSERT_EQ(AppendFieldInPlace(small, std::string_view(line).substr(0, 2)), 1);
  FieldList moved(std::move(small));
  EXPECT_EQ(moved[0], "ab");
  EXPECT_EQ(moved[1], "in");
  moved = std::move(record);
  EXPECT_EQ(moved[50], std::string(40, 'a' + 49 % 26));
}

}  // namespace
}  // namespace tralvo
