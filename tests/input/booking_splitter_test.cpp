// The splitter against the line syntax of the booking file: quoting, the
// trailing-comma rule, line ends, field limits.
#include "input/booking_splitter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
  ASSERT_EQ(SplitBookingLine("a," + longest + ",b\n", record), SplitResult::kRecord);
  EXPECT_EQ(record[1], longest);
  ASSERT_EQ(SplitBookingLine("\"" + longest + "\"\n", record), SplitResult::kRecord);
  EXPECT_EQ(record[0], longest);

  EXPECT_EQ(SplitBookingLine("a," + longest + "y,b\n", record), SplitResult::kFieldTooLong);
  EXPECT_EQ(SplitBookingLine("\"" + longest + "y\"\n", record), SplitResult::kFieldTooLong);
  EXPECT_EQ(SplitBookingLine("\"" + longest + "\"\"\"\n", record), SplitResult::kFieldTooLong);
}

}  // namespace
}  // namespace tralvo
