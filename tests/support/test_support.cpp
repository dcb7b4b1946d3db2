// Child processes for the tests, over POSIX calls.
#include "test_support.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <stdexcept>

extern char** environ;

namespace testsupport {

namespace {

std::vector<std::string> MergedEnvironment(const std::map<std::string, std::string>& env) {
  std::map<std::string, std::string> merged;
  for (char** entry = environ; *entry; ++entry) {
    std::string text(*entry);
    auto eq = text.find('=');
    if (eq != std::string::npos) merged[text.substr(0, eq)] = text.substr(eq + 1);
  }
  for (const auto& [name, value] : env) merged[name] = value;
  std::vector<std::string> out;
  for (const auto& [name, value] : merged) out.push_back(name + "=" + value);
  return out;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> out;
  for (auto& text : texts) out.push_back(text.data());
  out.push_back(nullptr);
  return out;
}

// The tool's programs the tests start, by their path in the Linux build.
bool IsToolProgram(const std::string& path) {
  for (const char* program : {TRALVO_BINARY, TRALVO_INI_BINARY})
    if (path == program) return true;
  return false;
}

// The same program in the Windows build: the Windows build has the same
// layout as the Linux one.
std::vector<std::string> WindowsCommand(const std::vector<std::string>& argv) {
  const std::string linuxBuild = TRALVO_LINUX_BUILD_DIR;
  std::vector<std::string> command{
      WineRunner(), WindowsBuildUnderTest() + argv[0].substr(linuxBuild.size()) + ".exe"};
  command.insert(command.end(), argv.begin() + 1, argv.end());
  return command;
}

// Console text of a Windows program as the Linux program writes it. A line
// feed without its carriage return would mean the console was not in text
// mode; it is marked so the comparison fails visibly.
std::string FromWindowsConsole(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += "<LF without CR>";
    out += text[i];
  }
  return out;
}

}  // namespace

std::string WineRunner() {
  return std::string(TRALVO_SOURCE_DIR) + "/scripts/wine-run";
}

std::string WindowsBuildUnderTest() {
  const char* folder = std::getenv("TRALVO_WINDOWS_BUILD");
  return folder ? folder : "";
}

ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& cwd,
                         const std::string& input, const std::map<std::string, std::string>& env,
                         std::chrono::milliseconds timeout) {
  // A child that exits before reading all its input must fail its test
  // through its exit status, not kill the test process with SIGPIPE.
  static const bool kPipeSignalIgnored = std::signal(SIGPIPE, SIG_IGN) != SIG_ERR;
  (void)kPipeSignalIgnored;
  const bool windows = !WindowsBuildUnderTest().empty() && !argv.empty() && IsToolProgram(argv[0]);
  int in[2], out[2], err[2];
  if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) throw std::runtime_error("pipe failed");
  std::vector<std::string> args = windows ? WindowsCommand(argv) : argv;
  std::vector<std::string> envTexts = MergedEnvironment(env);
  std::vector<char*> argp = Pointers(args);
  std::vector<char*> envp = Pointers(envTexts);

  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    // The child starts as a scheduler starts it, not with this process's
    // ignored SIGPIPE, which it would otherwise inherit.
    std::signal(SIGPIPE, SIG_DFL);
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
    execve(argp[0], argp.data(), envp.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);

  ProcessResult result;
  size_t written = 0;
  int inFd = in[1];
  if (input.empty()) {
    close(inFd);
    inFd = -1;
  }
  fcntl(out[0], F_SETFL, O_NONBLOCK);
  fcntl(err[0], F_SETFL, O_NONBLOCK);
  bool outOpen = true, errOpen = true;
  char buffer[65536];
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (outOpen || errOpen) {
    pollfd fds[3] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {inFd, POLLOUT, 0}};
    int wait = -1;
    if (timeout.count() > 0 && !result.timedOut) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) {
        kill(pid, SIGKILL);
        result.timedOut = true;
      } else {
        wait = static_cast<int>(left.count());
      }
    }
    if (poll(fds, inFd >= 0 ? 3 : 2, wait) < 0 && errno != EINTR) break;
    if (inFd >= 0 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
      ssize_t n = write(inFd, input.data() + written, input.size() - written);
      if (n > 0) written += static_cast<size_t>(n);
      if (n < 0 || written == input.size()) {
        close(inFd);
        inFd = -1;
      }
    }
    for (int i = 0; i < 2; ++i) {
      bool& open = i == 0 ? outOpen : errOpen;
      std::string& sink = i == 0 ? result.output : result.errors;
      if (!open || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0)
        sink.append(buffer, static_cast<size_t>(n));
      else if (n == 0 || (errno != EAGAIN && errno != EINTR))
        open = false;
    }
  }
  if (inFd >= 0) close(inFd);
  close(out[0]);
  close(err[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (windows) {
    result.output = FromWindowsConsole(result.output);
    result.errors = FromWindowsConsole(result.errors);
  }
  return result;
}

}  // namespace testsupport
