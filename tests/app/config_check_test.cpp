// tralvo-ini check, run as a built binary: against the stand-in it makes the
// connection a run makes and shows the server time; every way the
// configuration or the connection can fail is named, never the password.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <string>

#include "config/config_file_writer.h"
#include "config/config_reader.h"
#include "config/value_cipher.h"
#include "installation.h"
#include "standin_fixture.h"
#include "test_support.h"

namespace tralvo {
namespace {

constexpr const char* kPassword = "Geheim-42";

class ConfigCheckTest : public ::testing::Test {
 protected:
  testsupport::ProcessResult Check(const std::string& path,
                                   const std::map<std::string, std::string>& env = {}) {
    return inst_.RunIni({"check", path}, env);
  }

  // The configuration file with the record of one key left out.
  void WriteConfigWithout(const std::string& key) {
    std::string bytes;
    ASSERT_TRUE(FormatConfigFile({"tralvo", kPassword, "MSSQL", "TRALVO"}, bytes).ok());
    std::string kept;
    std::string header;
    size_t at = 0;
    for (int line = 0; at < bytes.size(); ++line) {
      const size_t end = bytes.find('\n', at) + 1;
      const std::string text = bytes.substr(at, end - at);
      at = end;
      if (line % 2 == 0) {
        header = text;
      } else if (text.find(";" + key + ";") == std::string::npos) {
        kept += header + text;
      }
    }
    testsupport::WriteFileBytes(inst_.configPath(), kept);
  }

  static void ExpectFailure(const testsupport::ProcessResult& result, const std::string& told) {
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.output, "");
    EXPECT_NE(result.errors.find(told), std::string::npos) << result.errors;
    EXPECT_EQ(result.errors.find(kPassword), std::string::npos) << result.errors;
  }

  // The stand-in's files go into a folder of the installation, which
  // removes them with itself.
  std::string ServerFolder() const {
    testsupport::MakeDirs(inst_.root() + "/server");
    return inst_.root() + "/server";
  }

  testsupport::Installation inst_;
};

TEST_F(ConfigCheckTest, ConnectsAsARunDoesAndShowsTheServerTime) {
  testsupport::StandinOptions options;
  options.clock = "2027-03-01 09:05:07";
  testsupport::Standin server(ServerFolder(), options);
  inst_.WriteConfig("tralvo", kPassword, "TRALVO");

  // The file is named on the command line, not found from the working
  // directory: the relative path a run uses works as well as any other.
  for (const std::string& path : {inst_.configPath(), std::string("../../Files/quorvex.ini")}) {
    SCOPED_TRACE(path);
    const testsupport::ProcessResult result = Check(path, server.OdbcEnvironment("TRALVO"));
    EXPECT_EQ(result.exitStatus, 0) << result.errors;
    EXPECT_EQ(result.output,
              "connected to data source \"TRALVO\" as user \"tralvo\"\n"
              "server time 01.03.2027 09:05:07\n"
              "ok\n");
    EXPECT_EQ(result.errors, "");
  }
}

TEST_F(ConfigCheckTest, RefusedLoginShowsTheDriversDiagnostics) {
  testsupport::Standin server(ServerFolder());
  inst_.WriteConfig("tralvo", "Falsch-17", "TRALVO");
  const testsupport::ProcessResult result = Check(inst_.configPath(), server.OdbcEnvironment());
  ExpectFailure(result, "cannot connect to data source \"TRALVO\" as user \"tralvo\": SQLSTATE ");
  EXPECT_NE(result.errors.find("native error 18456: "), std::string::npos) << result.errors;
  EXPECT_NE(result.errors.find("Login failed"), std::string::npos) << result.errors;
  EXPECT_EQ(result.errors.find("Falsch-17"), std::string::npos);
}

TEST_F(ConfigCheckTest, UnknownDataSourceIsTheDriverManagersAnswer) {
  inst_.WriteConfig("tralvo", kPassword, "NIRGENDS");
  ExpectFailure(Check(inst_.configPath()),
                "cannot connect to data source \"NIRGENDS\" as user \"tralvo\": SQLSTATE IM002, "
                "native error 0: ");
}

TEST_F(ConfigCheckTest, FileProblemsAreNamedBeforeAnyConnection) {
  const std::string path = inst_.configPath();
  ExpectFailure(Check(inst_.root() + "/Files/none.ini"), "none.ini: the file does not exist");
  ExpectFailure(Check(inst_.root() + "/Files"), "Files: the path is not a regular file");

  WriteConfigWithout("DATABASE");
  ExpectFailure(Check(path), "quorvex.ini: the key DATABASE is missing");
  WriteConfigWithout("PASS");
  ExpectFailure(Check(path), "quorvex.ini: the key PASS is missing");

  inst_.WriteConfig("", kPassword, "TRALVO");
  ExpectFailure(Check(path), "quorvex.ini: the key LOGIN has an empty value");
  // A run would connect without a data source name.
  inst_.WriteConfig("tralvo", kPassword, std::string(41, 'D'));
  ExpectFailure(Check(path), "the value of DATABASE is longer than 40 characters");
  // One the driver managers refuse although a run would take it.
  inst_.WriteConfig("tralvo", kPassword, std::string(33, 'D'));
  ExpectFailure(Check(path), "the value of DATABASE is longer than 32 characters");

  // The limit a run reads its configuration under: a file past it has no
  // settings for a run, so the check refuses it too, although its first
  // records are whole.
  inst_.WriteConfig("tralvo", kPassword, "TRALVO");
  std::string large = testsupport::ReadFileBytes(path);
  large.resize(kMaxConfigFileBytes + 1, '\n');
  testsupport::WriteFileBytes(path, large);
  ExpectFailure(Check(path), "quorvex.ini: the file is larger than 65536 bytes");

  if (geteuid() != 0) {  // root reads any file
    inst_.WriteConfig("tralvo", kPassword, "TRALVO");
    ASSERT_EQ(chmod(path.c_str(), 0), 0);
    ExpectFailure(Check(path), "quorvex.ini: the file cannot be read: Permission denied");
  }
}

TEST_F(ConfigCheckTest, RecordEveryLookupSelectsIsPointedOut) {
  // Number 0 makes the first record answer every key, so all four keys
  // read "tralvo": the check connects with it but says where it came from.
  testsupport::WriteFileBytes(inst_.configPath(),
                              "[x;DATENBANK;]\r\n0;LOGIN;" + EncryptConfigValue("tralvo") + "\r\n");
  const testsupport::ProcessResult result = Check(inst_.configPath());
  ExpectFailure(result, "warning: PASS is taken from the record with number 0 and key \"LOGIN\"");
  EXPECT_NE(result.errors.find("data source \"tralvo\""), std::string::npos) << result.errors;
}

}  // namespace
}  // namespace tralvo
