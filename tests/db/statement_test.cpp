// What the database module decides without a server: statement texts,
// date-time texts, row status and the behaviour of a
// Database that never connected.
#include "db/statement.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "db/booking_inserts.h"
#include "db/database.h"

namespace tralvo {
namespace {

TEST(BuildStatement, PutsValuesInOrderAndDoublesEveryQuote) {
  std::string out;
  ASSERT_TRUE(BuildStatement(out, "A '%s' B %ld C '%s' D", {"x'y", int32_t{-42}, "''"}));
  EXPECT_EQ(out, "A 'x''y' B -42 C '''''' D");
}

TEST(BuildStatement, AnInjectionAttemptStaysOneLiteral) {
  std::string out;
  ASSERT_TRUE(BuildStatement(out, "WHERE  AswNum = '%s'", {"1'; DROP TABLE t; --"}));
  EXPECT_EQ(out, "WHERE  AswNum = '1''; DROP TABLE t; --'");
}

TEST(BuildStatement, KeepsLongValuesAndZeroBytesWhole) {
  std::string longValue(5000, 'a');
  std::string withZero("a\0b", 3);
  std::string out;
  ASSERT_TRUE(BuildStatement(out, "'%s' '%s'", {longValue, withZero}));
  EXPECT_EQ(out, "'" + longValue + "' '" + withZero + "'");
}

TEST(BuildStatement, NumbersAtTheEdgesOfTheRange) {
  std::string out;
  ASSERT_TRUE(BuildStatement(out, "%ld,%ld,%ld", {int32_t{0}, INT32_MIN, INT32_MAX}));
  EXPECT_EQ(out, "0,-2147483648,2147483647");
}

TEST(BuildStatement, RefusesValuesThatDoNotMatchTheDirectives) {
  std::string out;
  EXPECT_FALSE(BuildStatement(out, "'%s' %ld", {"a"}));
  EXPECT_FALSE(BuildStatement(out, "'%s'", {"a", "b"}));
  EXPECT_FALSE(BuildStatement(out, "%ld", {"a"}));
  EXPECT_FALSE(BuildStatement(out, "'%s'", {int32_t{1}}));
  EXPECT_FALSE(BuildStatement(out, "100%", {}));
  EXPECT_TRUE(BuildStatement(out, "no directive", {}));
  EXPECT_EQ(out, "no directive");
}

TEST(DateTimeText, WellFormedDateAndTime) {
  EXPECT_EQ(DateTimeText("20090715", "073005").view(), "2009-07-15 07:30:05");
  EXPECT_EQ(DateTimeText("20090715", "000000").view(), "2009-07-15 00:00:00");
}

TEST(DateTimeText, ShortValuesNeverReadAsAnotherDate) {
  // Every missing character is marked, so no piece shifts or shrinks into
  // a text a lenient date parser would still accept.
  EXPECT_EQ(DateTimeText("2009071", "073005").view(), "2009-07-1? 07:30:05");
  EXPECT_EQ(DateTimeText("20090715", "0730").view(), "2009-07-15 07:30:\?\?");
  EXPECT_EQ(DateTimeText("", "").view(), "\?\?\?\?-\?\?-\?\? \?\?:\?\?:\?\?");
}

TEST(DateTimeText, LongValuesAreMarkedNotCut) {
  EXPECT_EQ(DateTimeText("200907151", "073005").view(), "2009-07-15 07:30:05?");
  EXPECT_EQ(DateTimeText("20090715", "0730051").view(), "2009-07-15 07:30:05?");
}

TEST(UnconnectedDatabase, EveryStatementFailsWithMinusOne) {
  Database db;
  std::string time = "kept";
  EXPECT_EQ(QueryServerTime(db, time), -1);
  EXPECT_EQ(time, "kept");
  EXPECT_EQ(InsertAccessRow(db, AccessRow()).code, -1);
  EXPECT_EQ(InsertEventBooking(db, "T1", 1, "4711", "20090715", "073005", "001", 0, "").code, -1);
}

TEST(ConnectDataSource, UnknownDataSourceFailsWithTheDriverManagersDiagnostics) {
  Database db;
  EXPECT_EQ(ConnectDataSource(db, "user", "secret", "tralvo-no-such-source"), -1);
  EXPECT_FALSE(db.connected());
  EXPECT_EQ(std::string(db.diagnostics().sqlState), "IM002");
  EXPECT_NE(std::strlen(db.diagnostics().messageText), 0u);
  // A statement on the failed connection has no handle to run on.
  std::string time;
  EXPECT_EQ(QueryServerTime(db, time), -1);
  // Connecting again replaces the failed attempt cleanly.
  EXPECT_EQ(ConnectDataSource(db, "", "", ""), -1);
}

}  // namespace
}  // namespace tralvo
