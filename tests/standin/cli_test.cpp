// The stand-in from the outside: its command line, its start-up output
// and port file, and the two clients a new user tries first (tsql and
// isql).
#include <gtest/gtest.h>

#include "standin_fixture.h"
#include "statement_oracle.h"
#include "test_support.h"

using testsupport::RunProcess;

namespace {

TEST(StandinCommandLine, RejectsBadOptionsWithUsage) {
  testsupport::TempDir dir;
  for (std::vector<std::string> args : {std::vector<std::string>{},
                                        {"--db"},
                                        {"--db", dir / "x.db", "--port", "70000"},
                                        {"--db", dir / "x.db", "--fail", "no-number"},
                                        {"--db", dir / "x.db", "--fail", "(=1"},
                                        {"--db", dir / "x.db", "--roll-back", "x"},
                                        {"--db", dir / "x.db", "--silent-after", "-1"},
                                        {"--db", dir / "x.db", "--clock", "2026-13-01 00:00:00"},
                                        {"--db", dir / "x.db", "--certificate", dir / "c.pem"},
                                        {"--db", dir / "x.db", "--bogus", "1"}}) {
    args.insert(args.begin(), SQLSERVER_STANDIN_BINARY);
    auto r = RunProcess(args, dir.path());
    EXPECT_EQ(r.exitStatus, 2) << args.back();
    EXPECT_NE(r.errors.find("usage:"), std::string::npos);
  }
}

TEST(StandinCommandLine, HelpPrintsTheUsageOfEveryOption) {
  testsupport::TempDir dir;
  auto r = RunProcess({SQLSERVER_STANDIN_BINARY, "--help"}, dir.path());
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.errors, "");
  for (const char* option :
       {"usage:", "--db", "--fail", "--roll-back", "--drop-after", "--silent-after",
        "--silent-login", "--refuse-login", "--certificate", "--key", "--force-encryption"}) {
    EXPECT_NE(r.output.find(option), std::string::npos) << option;
  }
}

TEST(StandinCommandLine, FailingSeedStopsTheStart) {
  testsupport::TempDir dir;
  testsupport::WriteFileBytes(dir / "seed.sql", "INSERT INTO nix VALUES (1)\nGO\n");
  auto r = RunProcess(
      {SQLSERVER_STANDIN_BINARY, "--db", dir / "x.db", "--seed", dir / "seed.sql", "--port", "0"},
      dir.path());
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_NE(r.errors.find("Invalid object name 'nix'."), std::string::npos);
}

TEST(StandinCommandLine, PrintsItsAddressAndWritesThePortFile) {
  testsupport::TempDir dir;
  testsupport::Standin server(dir.path());
  EXPECT_GT(server.port(), 0);
  EXPECT_EQ(testsupport::ReadFileBytes(dir / "standin.out"),
            "listening on 127.0.0.1:" + std::to_string(server.port()) + "\n");
  EXPECT_EQ(testsupport::ReadFileBytes(dir / "standin.port"), std::to_string(server.port()) + "\n");
}

TEST(StandinClients, TsqlAndIsqlWork) {
  testsupport::TempDir dir;
  testsupport::StandinOptions options;
  options.clock = "2027-03-01 09:05:07";
  options.seedSql = "INSERT INTO Kvx131Fcd VALUES ('K1', 7)\nGO\n";
  testsupport::Standin server(dir.path(), options);
  auto env = server.OdbcEnvironment();

  auto tsql = RunProcess(
      {"/usr/bin/tsql", "-H", "127.0.0.1", "-p", std::to_string(server.port()), "-U", "tralvo",
       "-P", "Geheim-42"},
      dir.path(),
      std::string(testsupport::kServerTime) + "\ngo\nSELECT FcdTyp FROM Kvx131Fcd\ngo\nexit\n",
      {{"TDSVER", "7.4"}, {"FREETDSCONF", env["FREETDSCONF"]}});
  EXPECT_EQ(tsql.exitStatus, 0) << tsql.errors;
  EXPECT_NE(tsql.output.find("01.03.2027 09:05:07"), std::string::npos) << tsql.output;
  EXPECT_NE(tsql.output.find("\n7\n"), std::string::npos) << tsql.output;

  auto isql = RunProcess({"/usr/bin/isql", "-b", "-v", "TRALVO", "tralvo", "Geheim-42"}, dir.path(),
                         "SELECT FcdNum, FcdTyp FROM Kvx131Fcd\nSELECT * FROM nix\n", env);
  EXPECT_NE(isql.output.find("| K1"), std::string::npos) << isql.output << isql.errors;
  EXPECT_NE(isql.output.find("Invalid object name 'nix'."), std::string::npos) << isql.output;

  auto refused = RunProcess({"/usr/bin/isql", "-b", "-v", "TRALVO", "tralvo", "wrong"}, dir.path(),
                            "SELECT 1\n", env);
  EXPECT_NE(refused.exitStatus, 0);
  EXPECT_NE((refused.output + refused.errors).find("Login failed for user 'tralvo'."),
            std::string::npos);
}

}  // namespace
