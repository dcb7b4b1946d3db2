// The stand-in fixture; see standin_fixture.h.
#include "standin_fixture.h"

#include <fcntl.h>
#include <odbcinst.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "sql/conversion.h"
#include "sql/engine.h"
#include "test_support.h"

namespace testsupport {

const char kNull[] = "<NULL>";

namespace {

#ifdef SQLSERVER_STANDIN_BINARY
const char kBinary[] = SQLSERVER_STANDIN_BINARY;
#else
const char kBinary[] = "";
#endif

bool Exited(pid_t pid, int& status) {
  return waitpid(pid, &status, WNOHANG) == pid;
}

}  // namespace

Standin::Standin(const std::string& folder, StandinOptions options)
    : folder_(folder), options_(std::move(options)) {
  std::string portFile = folder_ + "/standin.port";
  ::unlink(portFile.c_str());
  std::vector<std::string> args = {kBinary,
                                   "--db",
                                   databasePath(),
                                   "--port",
                                   "0",
                                   "--port-file",
                                   portFile,
                                   "--user",
                                   options_.user,
                                   "--password",
                                   options_.password,
                                   "--statement-log",
                                   statementLogPath()};
  if (!options_.clock.empty()) args.insert(args.end(), {"--clock", options_.clock});
  for (const std::string& f : options_.fail) args.insert(args.end(), {"--fail", f});
  for (const std::string& r : options_.rollBack) args.insert(args.end(), {"--roll-back", r});
  for (const std::string& d : options_.deny) args.insert(args.end(), {"--deny", d});
  if (options_.dropAfter >= 0)
    args.insert(args.end(), {"--drop-after", std::to_string(options_.dropAfter)});
  if (options_.silentAfter >= 0)
    args.insert(args.end(), {"--silent-after", std::to_string(options_.silentAfter)});
  if (options_.delayMs > 0)
    args.insert(args.end(), {"--delay-ms", std::to_string(options_.delayMs)});
  if (options_.lateAnswerMs > 0)
    args.insert(args.end(), {"--late-answer-ms", std::to_string(options_.lateAnswerMs)});
  if (options_.refuseLogin) args.push_back("--refuse-login");
  if (options_.silentLogin) args.push_back("--silent-login");
  if (options_.forceEncryption) args.push_back("--force-encryption");
  if (!options_.certificate.empty())
    args.insert(args.end(), {"--certificate", options_.certificate, "--key", options_.key});
  if (options_.timing) args.insert(args.end(), {"--timing", timingPath()});
  if (!options_.seedSql.empty()) {
    WriteFileBytes(folder_ + "/seed.sql", options_.seedSql);
    args.insert(args.end(), {"--seed", folder_ + "/seed.sql"});
  }

  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::string outPath = folder_ + "/standin.out";
  std::string errPath = folder_ + "/standin.err";
  pid_t parent = getpid();
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    // A test that crashes never runs the destructor; the server must not
    // outlive it.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(1);
    int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int in = open("/dev/null", O_RDONLY);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    execv(argv[0], argv.data());
    _exit(127);
  }
  // The port file appears, whole, once the server listens.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (true) {
    std::string text = ReadFileBytes(portFile);
    if (!text.empty()) {
      port_ = std::atoi(text.c_str());
      break;
    }
    int status = 0;
    if (Exited(pid_, status)) {
      pid_ = -1;
      throw std::runtime_error("sqlserver-standin did not start: " + ReadFileBytes(errPath));
    }
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      pid_ = -1;
      throw std::runtime_error("sqlserver-standin did not listen in time");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

Standin::~Standin() {
  engine_.reset();
  if (pid_ <= 0) return;
  int status = 0;
  kill(pid_, SIGTERM);
  for (int i = 0; i < 400; ++i) {
    if (Exited(pid_, status)) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  kill(pid_, SIGKILL);
  waitpid(pid_, &status, 0);
}

// The driver manager resolves the paths of its ini files once per process
// and keeps them, so every server a process talks to is described in the
// same files; they go when the process ends.
namespace {

class ProcessOdbcFolder {
 public:
  const std::string& path() {
    if (!folder_) folder_ = std::make_unique<TempDir>();
    return folder_->path();
  }

 private:
  std::unique_ptr<TempDir> folder_;
};

ProcessOdbcFolder& OdbcFolderOfThisProcess() {
  static ProcessOdbcFolder folder;
  return folder;
}

}  // namespace

std::map<std::string, std::string> Standin::OdbcEnvironment(const std::string& dsn,
                                                            int port) const {
  return WriteOdbcFiles(folder_, dsn, port > 0 ? port : port_);
}

std::map<std::string, std::string> Standin::WriteOdbcFiles(const std::string& folder,
                                                           const std::string& dsn, int port) const {
  WriteFileBytes(folder + "/odbcinst.ini",
                 "[FreeTDS]\n"
                 "Description = FreeTDS\n"
                 "Driver = /usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so\n");
  WriteFileBytes(folder + "/odbc.ini",
                 "[" + dsn +
                     "]\n"
                     "Driver = FreeTDS\n"
                     "Server = 127.0.0.1\n"
                     "Port = " +
                     std::to_string(port) +
                     "\n"
                     "Database = TRALVO\n"
                     "TDS_Version = 7.4\n"
                     "ClientCharset = CP1252\n" +
                     (options_.encryption.empty() ? std::string()
                                                  : "Encryption = " + options_.encryption + "\n"));
  // Keeps the machine's own FreeTDS settings out of the tests.
  WriteFileBytes(folder + "/freetds.conf", "[global]\n");
  return {{"ODBCSYSINI", folder},
          {"ODBCINI", folder + "/odbc.ini"},
          {"FREETDSCONF", folder + "/freetds.conf"}};
}

void Standin::ApplyOdbcEnvironment(const std::string& dsn) const {
  for (const auto& [name, value] : WriteOdbcFiles(OdbcFolderOfThisProcess().path(), dsn, port_)) {
    setenv(name.c_str(), value.c_str(), 1);
  }
  // The driver manager also keeps the values it read for a while; writing
  // through its own interface empties that cache, so the new port counts.
  std::string port = std::to_string(port_);
  SQLWritePrivateProfileString(dsn.c_str(), "Port", port.c_str(), "odbc.ini");
}

std::vector<std::string> Standin::Statements() const {
  std::vector<std::string> lines;
  std::istringstream in(ReadFileBytes(statementLogPath()));
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

standin::Engine& Standin::Database() const {
  if (!engine_) engine_ = std::make_unique<standin::Engine>(databasePath(), options_.clock);
  return *engine_;
}

std::vector<std::vector<std::string>> Standin::Query(const std::string& sql) const {
  standin::SessionInfo session;
  session.user = options_.user;
  // Each call is a connection of its own: what it leaves uncommitted goes.
  struct Ending {
    standin::Engine& engine;
    standin::SessionInfo& session;
    ~Ending() { engine.EndSession(session); }
  } ending{Database(), session};
  std::vector<std::vector<std::string>> rows;
  for (const standin::StatementResult& r : Database().Execute(sql, session)) {
    for (const standin::ServerMessage& m : r.messages) {
      if (m.severity > 10) {
        throw std::runtime_error("Msg " + std::to_string(m.number) + ": " + m.text);
      }
    }
    if (!r.hasResultSet) continue;
    rows.clear();
    for (const standin::Row& row : r.rows) {
      std::vector<std::string> cells;
      for (size_t i = 0; i < row.size(); ++i) {
        cells.push_back(row[i].IsNull() ? kNull : standin::DisplayText(row[i], r.columns[i].type));
      }
      rows.push_back(cells);
    }
  }
  return rows;
}

void Standin::Execute(const std::string& sql) const {
  Query(sql);
}

}  // namespace testsupport
