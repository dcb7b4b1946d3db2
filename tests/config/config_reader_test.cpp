// Lookups in configuration files: the selection rule, the line and field
// quirks that stored files rely on, and the records that are never chosen.
#include "config/config_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/value_cipher.h"
#include "test_support.h"

namespace tralvo {
namespace {

std::string Record(const std::string& section, int number, const std::string& key,
                   const std::string& plain, const std::string& eol = "\r\n") {
  return ";" + section + ";" + eol + std::to_string(number) + ";" + key + ";" +
         EncryptConfigValue(plain) + eol;
}

class ConfigReaderTest : public ::testing::Test {
 protected:
  // Writes bytes as the configuration file and looks key up as the run does.
  ConfigEntry Lookup(const std::string& bytes, const std::string& key) {
    testsupport::WriteFileBytes(path_, bytes);
    ConfigEntry entry;
    ReadConfigValue(entry, "", key, 0, path_);
    return entry;
  }

  testsupport::TempDir dir_;
  std::string path_ = dir_ / "settings.ini";
};

TEST_F(ConfigReaderTest, KeyAloneDecidesWhenSectionsAndNumbersAreSet) {
  const std::string file = Record("DB", 1, "LOGIN", "sa") + Record("DB", 2, "PASS", "geheim") +
                           Record("DB", 3, "DB_SYSTEM", "MSSQL") +
                           Record("DB", 4, "DATABASE", "Zeit");
  ConfigEntry entry = Lookup(file, "PASS");
  EXPECT_EQ(entry.number, 2);
  EXPECT_EQ(entry.section, "DB");
  EXPECT_EQ(entry.key, "PASS");
  EXPECT_EQ(entry.value, "geheim");
  EXPECT_EQ(Lookup(file, "DATABASE").value, "Zeit");
  EXPECT_EQ(Lookup(file, "LOGIN").value, "sa");
  // No record matches: everything reset.
  entry = Lookup(file, "login");
  EXPECT_EQ(entry.number, 0);
  EXPECT_EQ(entry.key, "");
  EXPECT_EQ(entry.value, "");
}

TEST_F(ConfigReaderTest, FirstSelectedRecordWins) {
  EXPECT_EQ(
      Lookup(Record("A", 1, "PASS", "first") + Record("B", 2, "PASS", "second"), "PASS").value,
      "first");
  // Section, key or number: whichever selects first ends the search.
  ConfigEntry entry;
  const std::string file = Record("X", 7, "LOGIN", "seven") + Record("Y", 8, "PASS", "eight");
  testsupport::WriteFileBytes(path_, file);
  ReadConfigValue(entry, "Y", "nothing", -1, path_);
  EXPECT_EQ(entry.value, "eight");
  ReadConfigValue(entry, "nothing", "nothing", 7, path_);
  EXPECT_EQ(entry.value, "seven");
}

TEST_F(ConfigReaderTest, WildcardNumbersAndSectionsSelectEveryKeyLookup) {
  const std::string tail = Record("DB", 2, "PASS", "pass");
  for (const std::string number : {"0", "", "x1", " 0", "-0"}) {
    SCOPED_TRACE("number '" + number + "'");
    const std::string file =
        ";DB;\r\n" + number + ";LOGIN;" + EncryptConfigValue("login") + "\r\n" + tail;
    ConfigEntry entry = Lookup(file, "PASS");
    EXPECT_EQ(entry.key, "LOGIN");
    EXPECT_EQ(entry.number, 0);
    EXPECT_EQ(entry.value, "login");
  }
  // A header with fewer than two separators has an empty section.
  for (const std::string header : {"[DB]", ";DB", ""}) {
    SCOPED_TRACE("header '" + header + "'");
    const std::string file = header + "\r\n1;LOGIN;" + EncryptConfigValue("login") + "\r\n" + tail;
    EXPECT_EQ(Lookup(file, "PASS").value, "login");
  }
  // Adjacent separators: the section is the rest of the line, not empty.
  ConfigEntry entry =
      Lookup(";;rest\r\n1;LOGIN;" + EncryptConfigValue("x") + "\r\n" + tail, "PASS");
  EXPECT_EQ(entry.value, "pass");
  entry = Lookup(";;rest\r\n1;LOGIN;" + EncryptConfigValue("x") + "\r\n", "LOGIN");
  EXPECT_EQ(entry.section, ";rest\n");
}

TEST_F(ConfigReaderTest, NumberFieldIsReadLikeAtoiAndSaturates) {
  const std::string value = EncryptConfigValue("v");
  struct Case {
    std::string field;
    std::int32_t number;
  } cases[] = {{" +12abc", 12},
               {"-5", -5},
               {"2147483647", 2147483647},
               {"99999999999", 2147483647},
               {"-2147483648", -2147483647 - 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field);
    EXPECT_EQ(Lookup(";S;\n" + c.field + ";K;" + value + "\n", "K").number, c.number);
  }
}

TEST_F(ConfigReaderTest, EntryFieldQuirks) {
  const std::string value = EncryptConfigValue("v");
  // Further separators belong to the value (and then spoil its digits).
  ConfigEntry entry = Lookup(";S;\n1;K;" + value + ";x\n", "K");
  EXPECT_EQ(entry.key, "K");
  EXPECT_EQ(entry.value, "v");
  // Empty key: the key becomes the rest of the line and matches nothing.
  EXPECT_EQ(Lookup(";S;\n1;;" + value + "\n", "K").key, "");
  testsupport::WriteFileBytes(path_, ";S;\n1;;" + value + "\n");
  ReadConfigValue(entry, "S", "", 0, path_);
  EXPECT_EQ(entry.key, ";" + value + "\n");
  // Exactly one separator: no key, the value is the rest of the line.
  testsupport::WriteFileBytes(path_, ";S;\n1;" + value + "\n");
  ReadConfigValue(entry, "S", "", 0, path_);
  EXPECT_EQ(entry.key, "");
  EXPECT_EQ(entry.value, "v");
  // Empty value field and blanks around keys.
  entry = Lookup(";S;\n1;K;\n", "K");
  EXPECT_EQ(entry.key, "K");
  EXPECT_EQ(entry.value, "");
  EXPECT_EQ(Lookup(";S;\n1; K;" + value + "\n", "K").key, "");
  EXPECT_EQ(Lookup(";S;\n1;K ;" + value + "\n", "K").key, "");
}

TEST_F(ConfigReaderTest, LineStructureQuirks) {
  const std::string pass = Record("DB", 2, "PASS", "pass", "\n");
  // Without a final newline the last value stays empty.
  std::string file = pass;
  file.pop_back();
  EXPECT_EQ(Lookup(file, "PASS").key, "PASS");
  EXPECT_EQ(Lookup(file, "PASS").value, "");
  // A lone CR is no line end: it stays in the line.
  EXPECT_EQ(Lookup(";DB;\r2;PASS;x\n", "PASS").key, "");
  // An unpaired last line is never examined.
  EXPECT_EQ(Lookup(pass + ";DB;\n", "PASS").value, "pass");
  EXPECT_EQ(Lookup(";DB;\n", "").key, "");
  EXPECT_EQ(Lookup("", "PASS").key, "");
}

TEST_F(ConfigReaderTest, OverlongLinesAreReadInPiecesAndShiftThePairing) {
  const std::string pass = Record("DB", 2, "PASS", "pass", "\n");
  // 198 characters and the newline still make one header line.
  EXPECT_EQ(Lookup(";DB;" + std::string(194, 'h') + "\n" + pass.substr(5), "PASS").value, "pass");
  // One more and the newline becomes a line of its own: the entry line of
  // the first record is the empty rest, and the real entry line turns
  // into the next header, so PASS is never seen as a key.
  const std::string shifted = ";DB;" + std::string(195, 'h') + "\n" + pass.substr(5);
  EXPECT_EQ(Lookup(shifted, "PASS").key, "");
  // Same for entry lines: the 400th character starts the next line, and
  // here the following header becomes an entry line with number 0.
  const std::string longLogin = ";DB;\n1;LOGIN;" + std::string(391, '0') + "\n";
  ConfigEntry entry = Lookup(longLogin + pass, "PASS");
  EXPECT_EQ(entry.number, 0);
  EXPECT_EQ(entry.key, "DB");
  // With the pieces paired up again, the following record is found.
  EXPECT_EQ(Lookup(longLogin + "x\n" + pass, "PASS").value, "pass");
}

TEST_F(ConfigReaderTest, RecordsBeyondTheFieldLimitsAreNeverSelected) {
  const std::string pass = Record("DB", 2, "PASS", "pass");
  for (const std::string& entry :
       {std::string("LOGIN without separator"), "000000000001;PASS;" + EncryptConfigValue("x"),
        "1;" + std::string(201, 'K') + ";" + EncryptConfigValue("x"),
        "1;PASS;" + std::string(208, '0')}) {
    SCOPED_TRACE(entry.substr(0, 20));
    EXPECT_EQ(Lookup(";DB;\r\n" + entry + "\r\n" + pass, "PASS").value, "pass");
  }
  EXPECT_EQ(Lookup(";DB;\r\n1;" + std::string(200, 'K') + ";\r\n", std::string(200, 'K')).number,
            1);
}

TEST_F(ConfigReaderTest, MissingFileAndEarlierContentAreReset) {
  ConfigEntry entry;
  entry.number = 9;
  entry.section = "old";
  entry.key = "old";
  entry.value = "old secret";
  ReadConfigValue(entry, "", "PASS", 0, dir_ / "missing.ini");
  EXPECT_EQ(entry.number, 0);
  EXPECT_EQ(entry.section, "");
  EXPECT_EQ(entry.key, "");
  EXPECT_EQ(entry.value, "");
  std::vector<ConfigRecord> records;
  EXPECT_EQ(ReadConfigRecords(dir_ / "missing.ini", records), SmallFileRead::kMissing);
}

TEST_F(ConfigReaderTest, RecordListingShowsEveryPairAndWhyOneIsIgnored) {
  testsupport::WriteFileBytes(path_, Record("DB", 1, "LOGIN", "sa") + ";DB;\r\nbroken\r\n;odd;");
  std::vector<ConfigRecord> records;
  ASSERT_EQ(ReadConfigRecords(path_, records), SmallFileRead::kRead);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].problem, RecordProblem::kNone);
  EXPECT_EQ(records[0].fields.value, EncryptConfigValue("sa"));
  EXPECT_EQ(records[1].problem, RecordProblem::kNoSeparator);
}

TEST(ConfigTextTest, FindNthCharAndCopySubstring) {
  EXPECT_EQ(FindNthChar("a;b;c;d", ';', 1), 1);
  EXPECT_EQ(FindNthChar("a;b;c;d", ';', 2), 3);
  EXPECT_EQ(FindNthChar("a;b", ';', 2), 1);
  EXPECT_EQ(FindNthChar("abc", ';', 1), -1);
  EXPECT_EQ(FindNthChar("", ';', 1), -1);

  std::string out = "keep";
  CopySubstring("abcdef", 1, -1, out);
  EXPECT_EQ(out, "keep");
  CopySubstring("abcdef", 1, 2, out);
  EXPECT_EQ(out, "bc");
  CopySubstring("abcdef", 2, 0, out);
  EXPECT_EQ(out, "cdef");
  // Never beyond the source.
  CopySubstring("abc", 1, 50, out);
  EXPECT_EQ(out, "bc");
  CopySubstring("abc", 5, 2, out);
  EXPECT_EQ(out, "");
}

}  // namespace
}  // namespace tralvo
