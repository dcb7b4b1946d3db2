// The companion command, run as a built binary: values and stored forms
// in both directions, files it writes read back by the reader, listings.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "app/version.h"
#include "config/config_reader.h"
#include "config/value_cipher.h"
#include "test_support.h"

namespace tralvo {
namespace {

class TralvoIniTest : public ::testing::Test {
 protected:
  testsupport::ProcessResult Run(const std::vector<std::string>& args,
                                 const std::string& input = "") {
    std::vector<std::string> argv = {TRALVO_INI_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    return testsupport::RunProcess(argv, dir_.path(), input);
  }

  testsupport::TempDir dir_;
};

TEST_F(TralvoIniTest, EncodeGivesWhatTheReaderDeciphersAndDecodeReverses) {
  const std::string latin = "Kennw\xF6rt \x80;x";
  for (const std::string& value :
       {std::string(""), std::string("sa"), std::string("12345678"), latin, std::string(96, 'z')}) {
    SCOPED_TRACE(value);
    for (const std::string eol : {"\n", "\r\n", ""}) {
      if (value.empty() && eol.empty()) continue;  // no line at all is refused
      // Only the first line counts; a last line may lack its line end.
      const std::string input = eol.empty() ? value : value + eol + "ignored\n";
      const testsupport::ProcessResult encoded = Run({"encode"}, input);
      ASSERT_EQ(encoded.exitStatus, 0) << encoded.errors;
      ASSERT_FALSE(encoded.output.empty());
      ASSERT_EQ(encoded.output.back(), '\n');
      const std::string stored = encoded.output.substr(0, encoded.output.size() - 1);
      EXPECT_EQ(stored, EncryptConfigValue(value));
      EXPECT_EQ(DecryptConfigValue(stored), value);
      EXPECT_EQ(Run({"decode"}, stored + eol).output, value + "\n");
    }
  }
}

TEST_F(TralvoIniTest, EncodeAndDecodeRefuseWhatTheStoredFormCannotHold) {
  EXPECT_NE(Run({"encode"}, std::string(97, 'z') + "\n").exitStatus, 0);
  EXPECT_NE(Run({"encode"}, std::string("a\0b\n", 4)).exitStatus, 0);
  EXPECT_NE(Run({"encode"}, "").exitStatus, 0);
  const std::string stored = EncryptConfigValue("geheim");
  std::string lower = stored;
  for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'F' ? c + 32 : c);
  for (const std::string& bad : {lower, stored.substr(1), stored + "XY", std::string(208, '0')}) {
    SCOPED_TRACE(bad);
    testsupport::ProcessResult result = Run({"decode"}, bad + "\n");
    EXPECT_NE(result.exitStatus, 0);
    EXPECT_EQ(result.output, "");
    EXPECT_FALSE(result.errors.empty());
  }
}

TEST_F(TralvoIniTest, WrittenFileGivesEveryValueBackKeyByKey) {
  const std::string path = dir_ / "quorvex.ini";
  // An empty answer keeps a timeout's default.
  const testsupport::ProcessResult result =
      Run({"write", path}, "sa\r\nP@ss;w\xF6rd\nMSSQL\nZeiterfassung\n45\n\n");
  ASSERT_EQ(result.exitStatus, 0) << result.errors;
  EXPECT_EQ(result.output.find("P@ss"), std::string::npos);
  EXPECT_EQ(result.errors.find("P@ss"), std::string::npos);

  const struct {
    const char* key;
    const char* value;
    int number;
  } expected[] = {{"LOGIN", "sa", 1},         {"PASS", "P@ss;w\xF6rd", 2},
                  {"DB_SYSTEM", "MSSQL", 3},  {"DATABASE", "Zeiterfassung", 4},
                  {"LOGIN_TIMEOUT", "45", 5}, {"QUERY_TIMEOUT", "60", 6}};
  for (const auto& e : expected) {
    ConfigEntry entry;
    ReadConfigValue(entry, "", e.key, 0, path);
    EXPECT_EQ(entry.key, e.key);
    EXPECT_EQ(entry.value, e.value);
    EXPECT_EQ(entry.number, e.number);
    EXPECT_FALSE(entry.section.empty());
  }
  // Every line ends in CR LF and nothing else is in the file.
  const std::string bytes = testsupport::ReadFileBytes(path);
  std::size_t lines = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\n') {
      ++lines;
      EXPECT_TRUE(i > 0 && bytes[i - 1] == '\r') << i;
    }
  }
  EXPECT_EQ(lines, 12u);
  EXPECT_EQ(bytes.back(), '\n');
  EXPECT_EQ(bytes.find("P@ss"), std::string::npos);

  // STATUS_DIR is asked last; an answer makes it a seventh record.
  ASSERT_EQ(Run({"write", path}, "sa\npw\nMSSQL\nZeit\n\n\n/var/lib/status\n").exitStatus, 0);
  ConfigEntry status;
  ReadConfigValue(status, "", "STATUS_DIR", 0, path);
  EXPECT_EQ(status.value, "/var/lib/status");
  EXPECT_EQ(status.number, 7);
}

TEST_F(TralvoIniTest, WriteFailuresLeaveExistingFilesAlone) {
  const std::string path = dir_ / "quorvex.ini";
  testsupport::WriteFileBytes(path, "old");
  // Three values only, a timeout a run could not use, and a password that
  // does not fit.
  EXPECT_NE(Run({"write", path}, "sa\npw\nMSSQL\n").exitStatus, 0);
  for (const char* timeout : {"0", "-5", " 30", "86401", "halbe Minute"}) {
    const testsupport::ProcessResult refused =
        Run({"write", path}, std::string("sa\npw\nMSSQL\nZeit\n") + timeout + "\n");
    EXPECT_NE(refused.exitStatus, 0) << timeout;
    EXPECT_EQ(refused.errors,
              "tralvo-ini: LOGIN_TIMEOUT: not a number of seconds from 1 to 86400\n");
  }
  const testsupport::ProcessResult tooLong =
      Run({"write", path}, "sa\n" + std::string(97, 'p') + "\nMSSQL\nZeit\n");
  EXPECT_NE(tooLong.exitStatus, 0);
  EXPECT_EQ(tooLong.errors, "tralvo-ini: PASS: the value is longer than 96 bytes\n");
  // The driver managers take a data source name of at most 32 characters.
  for (const std::string& database : {std::string(33, 'D'), std::string()}) {
    const testsupport::ProcessResult refused =
        Run({"write", path}, "sa\npw\nMSSQL\n" + database + "\n");
    EXPECT_NE(refused.exitStatus, 0);
    EXPECT_EQ(refused.errors,
              "tralvo-ini: DATABASE: a data source name has 1 to 32 characters; the ODBC "
              "driver managers take no longer one\n");
  }
  EXPECT_EQ(testsupport::ReadFileBytes(path), "old");
  EXPECT_EQ(Run({"write", path}, "sa\npw\nMSSQL\n" + std::string(32, 'D') + "\n").exitStatus, 0);
  const std::string unreachable = dir_ / "missing/quorvex.ini";
  const testsupport::ProcessResult unwritable =
      Run({"write", unreachable}, "sa\npw\nMSSQL\nZeit\n");
  EXPECT_NE(unwritable.exitStatus, 0);
  // The file by its own name, with the system's reason.
  EXPECT_EQ(unwritable.errors.rfind("tralvo-ini: cannot create " + unreachable + ": ", 0), 0u)
      << unwritable.errors;
  EXPECT_GT(unwritable.errors.size(), ("tralvo-ini: cannot create " + unreachable + ": \n").size());
  EXPECT_FALSE(testsupport::FileExists(dir_ / "missing"));
}

// The file holds the password in a form the program itself can reverse, so
// whoever reads the file has the password.
TEST_F(TralvoIniTest, WrittenFileIsPrivateAndARewriteKeepsItsMode) {
  if (!testsupport::WindowsBuildUnderTest().empty())
    GTEST_SKIP() << "Windows keeps the file private through its access list, not its mode";
  const std::string path = dir_ / "quorvex.ini";
  const std::string values = "sa\ngeheim\nMSSQL\nZeit\n";
  auto mode = [&] {
    struct stat info {};
    EXPECT_EQ(stat(path.c_str(), &info), 0);
    return info.st_mode & 07777;
  };
  ASSERT_EQ(Run({"write", path}, values).exitStatus, 0);
  EXPECT_EQ(mode(), 0600u);
  testsupport::ProcessResult shown = Run({"show", path});
  EXPECT_EQ(shown.errors, "");

  // A file the administrator opened to the service's group stays so.
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  const testsupport::ProcessResult rewritten = Run({"write", path}, values);
  ASSERT_EQ(rewritten.exitStatus, 0);
  EXPECT_NE(rewritten.errors.find("readable by other users"), std::string::npos);
  EXPECT_EQ(mode(), 0640u);
  shown = Run({"show", path});
  EXPECT_EQ(shown.exitStatus, 0);
  EXPECT_NE(shown.errors.find("readable by other users"), std::string::npos) << shown.errors;
  EXPECT_FALSE(testsupport::FileExists(path + ".new"));
}

TEST_F(TralvoIniTest, LinkPlantedAtTheTemporaryNameIsNotFollowed) {
  if (!testsupport::WindowsBuildUnderTest().empty())
    GTEST_SKIP() << "Wine shows a POSIX symbolic link to a Windows program as the file it names";
  const std::string path = dir_ / "quorvex.ini";
  const std::string victim = dir_ / "victim";
  testsupport::WriteFileBytes(victim, "untouched");
  ASSERT_EQ(symlink(victim.c_str(), (path + ".new").c_str()), 0);
  ASSERT_EQ(Run({"write", path}, "sa\ngeheim\nMSSQL\nZeit\n").exitStatus, 0);
  EXPECT_EQ(testsupport::ReadFileBytes(victim), "untouched");
  ConfigEntry entry;
  ReadConfigValue(entry, "", "DATABASE", 0, path);
  EXPECT_EQ(entry.value, "Zeit");
  struct stat info {};
  ASSERT_EQ(lstat(path.c_str(), &info), 0);
  EXPECT_TRUE(S_ISREG(info.st_mode));
  EXPECT_EQ(info.st_mode & 07777, 0600u);
}

// What the operator types is stored as the Windows-1252 characters typed,
// whatever the terminal's character set; the password is not echoed. Under
// Wine the terminal becomes the program's console.
TEST_F(TralvoIniTest, TypedValuesAreStoredAsWindows1252) {
  const std::map<std::string, std::string> utf8 = {{"LANG", "C.UTF-8"}, {"LC_ALL", "C.UTF-8"}};
  const std::chrono::seconds timeout(60);
  const std::string path = dir_ / "quorvex.ini";
  const testsupport::ProcessResult written = testsupport::RunAtTerminal(
      {TRALVO_INI_BINARY, "write", path}, dir_.path(),
      {{"LOGIN: ", "sa"},
       {"PASS: ", "P\xC3\xB6-\xC3\x96\xE2\x82\xAC-secret"},  // Pö-Ö€-secret
       {"DB_SYSTEM: ", "MSSQL"},
       {"DATABASE: ", "Zeit"},
       {"LOGIN_TIMEOUT [30]: ", ""},
       {"QUERY_TIMEOUT [60]: ", ""},
       {"STATUS_DIR []: ", ""}},
      utf8, timeout);
  ASSERT_EQ(written.exitStatus, 0) << written.errors;
  EXPECT_EQ(written.echoed.find("secret"), std::string::npos) << written.echoed;
  ConfigEntry entry;
  ReadConfigValue(entry, "", "PASS", 0, path);
  EXPECT_EQ(entry.value, "P\xF6-\xD6\x80-secret");

  // An answer the file cannot store is refused at once, with the reason,
  // and asked again.
  const std::string other = dir_ / "other.ini";
  const testsupport::ProcessResult again =
      testsupport::RunAtTerminal({TRALVO_INI_BINARY, "write", other}, dir_.path(),
                                 {{"LOGIN: ", "\xCE\xA9mega"},
                                  {"LOGIN: ", "sa"},
                                  {"PASS: ", "pw"},
                                  {"DB_SYSTEM: ", "MSSQL"},
                                  {"DATABASE: ", std::string(33, 'D')},
                                  {"DATABASE: ", "Zeit"},
                                  {"LOGIN_TIMEOUT [30]: ", "0"},
                                  {"LOGIN_TIMEOUT [30]: ", ""},
                                  {"QUERY_TIMEOUT [60]: ", ""},
                                  {"STATUS_DIR []: ", ""}},
                                 utf8, timeout);
  ASSERT_EQ(again.exitStatus, 0) << again.errors;
  for (const char* reason : {"LOGIN: a typed character is not one of Windows-1252",
                             "DATABASE: a data source name has 1 to 32 characters",
                             "LOGIN_TIMEOUT: not a number of seconds"})
    EXPECT_NE(again.errors.find(reason), std::string::npos) << again.errors;
  ReadConfigValue(entry, "", "DATABASE", 0, other);
  EXPECT_EQ(entry.value, "Zeit");
}

// Root writing where an ordinary account planted a link to a file of her
// own: her file would get the password and keep her as its owner.
TEST_F(TralvoIniTest, NoOwnerOrModeIsTakenThroughAnotherAccountsLink) {
  if (!testsupport::WindowsBuildUnderTest().empty()) GTEST_SKIP() << "POSIX accounts and links";
  if (geteuid() != 0) GTEST_SKIP() << "giving files to another account needs root";
  constexpr uid_t kOther = 65534;
  const std::string files = dir_ / "Files";
  testsupport::MakeDirs(files);
  ASSERT_EQ(chown(files.c_str(), kOther, kOther), 0);
  const std::string hers = dir_ / "hers.ini";
  testsupport::WriteFileBytes(hers, "hers");
  ASSERT_EQ(chmod(hers.c_str(), 0644), 0);
  ASSERT_EQ(chown(hers.c_str(), kOther, kOther), 0);
  const std::string path = files + "/quorvex.ini";
  ASSERT_EQ(symlink(hers.c_str(), path.c_str()), 0);
  ASSERT_EQ(lchown(path.c_str(), kOther, kOther), 0);

  const testsupport::ProcessResult refused = Run({"write", path}, "sa\ngeheim\nMSSQL\nZeit\n");
  EXPECT_NE(refused.exitStatus, 0);
  EXPECT_NE(refused.errors.find("runuser -u nobody -- tralvo-ini write " + path), std::string::npos)
      << refused.errors;
  EXPECT_EQ(testsupport::ReadFileBytes(hers), "hers");
  EXPECT_FALSE(testsupport::FileExists(path + ".new"));
}

TEST_F(TralvoIniTest, ShowListsRecordsWithThePasswordMasked) {
  const std::string path = dir_ / "quorvex.ini";
  ASSERT_EQ(Run({"write", path}, "sa\ngeheim\nMSSQL\nZeit\n").exitStatus, 0);
  testsupport::WriteFileBytes(
      path, testsupport::ReadFileBytes(path) + ";X;\r\nno separator\r\n;;\r\n0;K;\r\n");
  const testsupport::ProcessResult shown = Run({"show", path});
  ASSERT_EQ(shown.exitStatus, 0) << shown.errors;
  EXPECT_NE(shown.output.find("\"LOGIN\", value \"sa\""), std::string::npos) << shown.output;
  EXPECT_NE(shown.output.find("\"Zeit\""), std::string::npos);
  EXPECT_EQ(shown.output.find("geheim"), std::string::npos);
  EXPECT_NE(shown.output.find("key \"\", ignored: the entry line holds no ';'\n"),
            std::string::npos)
      << shown.output;
  EXPECT_NE(shown.output.find("every lookup"), std::string::npos);
  EXPECT_NE(Run({"show", dir_ / "missing.ini"}).exitStatus, 0);
}

TEST_F(TralvoIniTest, UsageErrorsAndHelp) {
  const testsupport::ProcessResult help = Run({"--help"});
  EXPECT_EQ(help.exitStatus, 0);
  EXPECT_NE(help.output.find("write FILE"), std::string::npos);
  const testsupport::ProcessResult version = Run({"--version"});
  EXPECT_EQ(version.exitStatus, 0);
  EXPECT_EQ(version.output, "tralvo-ini " TRALVO_VERSION "\n");
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{},
                                             {"bogus"},
                                             {"write"},
                                             {"show"},
                                             {"check", "a", "b"},
                                             {"--version", "x"},
                                             {"write", dir_ / "a.ini", "secret"},
                                             {"encode", "secret"}}) {
    const testsupport::ProcessResult result = Run(args, "x\n");
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_EQ(result.output, "");
    EXPECT_NE(result.errors.find("Usage"), std::string::npos);
  }
  EXPECT_FALSE(testsupport::FileExists(dir_ / "a.ini"));
}

}  // namespace
}  // namespace tralvo
