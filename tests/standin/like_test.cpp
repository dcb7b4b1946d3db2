// LIKE under the default collation: the wildcards against SQLite's own
// LIKE as a reference, then what the server adds: the Windows-1252 letters
// without regard to case, character classes, escapes, trailing blanks.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include "sql/engine.h"
#include "sql/sql_functions.h"
#include "test_support.h"

using standin::LikeMatches;

namespace {

// Every text up to `length` characters over `alphabet`.
std::vector<std::string> Words(const std::string& alphabet, size_t length) {
  std::vector<std::string> out{""};
  for (size_t begin = 0, n = 1; n <= length; ++n) {
    size_t end = out.size();
    for (size_t i = begin; i < end; ++i)
      for (char c : alphabet) out.push_back(out[i] + c);
    begin = end;
  }
  return out;
}

TEST(Like, WildcardsAgreeWithSqlitesLikeOverEveryShortText) {
  // SQLite's LIKE folds ASCII letters and knows % and _ only; over such
  // patterns both must agree everywhere.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
  sqlite3_stmt* stmt = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT ?1 LIKE ?2", -1, &stmt, nullptr), SQLITE_OK);
  int disagreements = 0;
  for (const std::string& text : Words("aBb", 5)) {
    for (const std::string& pattern : Words("ab%_", 4)) {
      sqlite3_bind_text(stmt, 1, text.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(stmt, 2, pattern.c_str(), -1, SQLITE_TRANSIENT);
      ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
      bool expected = sqlite3_column_int(stmt, 0) != 0;
      sqlite3_reset(stmt);
      if (LikeMatches(text, pattern, 0, false) != expected && ++disagreements < 10) {
        ADD_FAILURE() << "'" << text << "' LIKE '" << pattern << "' should be " << expected;
      }
    }
  }
  EXPECT_EQ(disagreements, 0);
  sqlite3_finalize(stmt);
  sqlite3_close(db);
}

TEST(Like, FoldsTheWindowsLettersButKeepsAccents) {
  EXPECT_TRUE(LikeMatches("\xC3\x84x", "\xC3\xA4X", 0, false));                  // Äx, äX
  EXPECT_TRUE(LikeMatches("\xC5\xA0\xC5\x92Z", "\xC5\xA1\xC5\x93%", 0, false));  // ŠŒZ, šœ%
  EXPECT_TRUE(LikeMatches("\xC5\xB8", "\xC3\xBF", 0, false));                    // Ÿ, ÿ
  EXPECT_FALSE(LikeMatches("a", "\xC3\xA4", 0, false));                          // a, ä
  EXPECT_TRUE(LikeMatches("M\xC3\xBCller", "m\xC3\x9C_LER", 0, false));          // Müller
}

TEST(Like, CharacterClassesRangesAndNegation) {
  EXPECT_TRUE(LikeMatches("b", "[abc]", 0, false));
  EXPECT_TRUE(LikeMatches("C", "[abc]", 0, false));
  EXPECT_FALSE(LikeMatches("d", "[abc]", 0, false));
  EXPECT_TRUE(LikeMatches("E7", "[a-f][0-9]", 0, false));
  EXPECT_FALSE(LikeMatches("g7", "[a-f][0-9]", 0, false));
  EXPECT_TRUE(LikeMatches("y", "[^x]", 0, false));
  EXPECT_FALSE(LikeMatches("X", "[^x]", 0, false));
  EXPECT_TRUE(LikeMatches("-", "[a-]", 0, false));
  EXPECT_TRUE(LikeMatches("x1y", "%[0-9]%", 0, false));
  // The wildcards inside a class are plain characters.
  EXPECT_TRUE(LikeMatches("%", "[%]", 0, false));
  EXPECT_FALSE(LikeMatches("x", "[%]", 0, false));
}

TEST(Like, EscapesAndTrailingBlanks) {
  EXPECT_TRUE(LikeMatches("10%", "10!%", '!', false));
  EXPECT_FALSE(LikeMatches("100", "10!%", '!', false));
  EXPECT_TRUE(LikeMatches("a_b", "a!_b", '!', false));
  EXPECT_FALSE(LikeMatches("axb", "a!_b", '!', false));
  // The text's trailing blanks do not count unless it is Unicode; the
  // pattern's always do.
  EXPECT_TRUE(LikeMatches("abc  ", "abc", 0, false));
  EXPECT_FALSE(LikeMatches("abc  ", "abc", 0, true));
  EXPECT_FALSE(LikeMatches("abc", "abc ", 0, false));
}

TEST(Like, InStatementsWithNotNullAndAnInvalidEscape) {
  testsupport::TempDir dir;
  standin::Engine engine(dir / "l.db", "2026-12-07 10:04:32");
  standin::SessionInfo session;
  auto rows = [&](const std::string& sql) {
    size_t n = 0;
    for (const auto& r : engine.Execute(sql, session)) {
      for (const auto& m : r.messages)
        if (m.severity > 10) return std::to_string(m.number);
      n += r.rows.size();
    }
    return std::to_string(n);
  };
  ASSERT_EQ(rows("INSERT INTO Kvx131Fcd VALUES ('\xC3\x84RGER', 1), ('Anger', 2), ('10%', NULL)"),
            "0");
  EXPECT_EQ(rows("SELECT * FROM Kvx131Fcd WHERE FcdNum LIKE '\xC3\xA4%'"), "1");
  EXPECT_EQ(rows("SELECT * FROM Kvx131Fcd WHERE FcdNum NOT LIKE '[a\xC3\xA4]%'"), "1");
  EXPECT_EQ(rows("SELECT * FROM Kvx131Fcd WHERE FcdNum LIKE '%!%' ESCAPE '!'"), "1");
  EXPECT_EQ(rows("SELECT * FROM Kvx131Fcd WHERE FcdTyp LIKE '%'"), "2");
  EXPECT_EQ(rows("SELECT * FROM Kvx131Fcd WHERE NOT FcdTyp LIKE '1'"), "1");
  EXPECT_EQ(rows("SELECT 1 WHERE 'a' LIKE 'a' ESCAPE 'xy'"), "506");
}

}  // namespace
