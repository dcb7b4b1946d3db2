// Child processes for the tests, over POSIX calls.
#include "test_support.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
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
  for (const char* program : {TRALVO_BINARY, TRALVO_INI_BINARY, TRALVO_RUN_BINARY})
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

namespace {

// Standard input of a child: a pipe fed with bytes, or the terminal side
// of a pseudo-terminal typed at.
class ChildInput {
 public:
  ChildInput(const std::string& input, const std::vector<TypedAnswer>* answers, bool wine)
      : input_(input), answers_(answers), wine_(wine) {
    if (!answers_) {
      int ends[2];
      if (pipe(ends) != 0) throw std::runtime_error("pipe failed");
      childFd_ = ends[0];
      fd_ = ends[1];
      if (input_.empty()) Close();
      return;
    }
    fd_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (fd_ < 0 || grantpt(fd_) != 0 || unlockpt(fd_) != 0)
      throw std::runtime_error("no pseudo-terminal");
    childFd_ = open(ptsname(fd_), O_RDWR | O_NOCTTY);
    if (childFd_ < 0) throw std::runtime_error("cannot open the pseudo-terminal");
    fcntl(fd_, F_SETFL, O_NONBLOCK);
  }
  ~ChildInput() {
    Close();
    CloseChildSide();
  }
  int childFd() const { return childFd_; }
  void CloseChildSide() {
    if (childFd_ >= 0) close(childFd_);
    childFd_ = -1;
  }

  // What to poll for: bytes to write, or on a terminal also its echo.
  short events() const {
    if (fd_ < 0) return 0;
    return static_cast<short>((answers_ ? POLLIN : 0) | (input_.size() > written_ ? POLLOUT : 0));
  }
  int fd() const { return fd_; }

  bool terminal() const { return answers_ != nullptr; }

  // Types the answers whose prompt standard error now shows.
  void Prompted(const std::string& errors) {
    // Wine's console takes the terminal into raw mode only when the program
    // first reads it; a line typed before would still be cooked by the line
    // discipline, its Enter made a line feed, which the console does not
    // take for Enter.
    termios mode{};
    if (wine_ && fd_ >= 0 && (tcgetattr(fd_, &mode) != 0 || (mode.c_lflag & ICANON))) return;
    while (answers_ && next_ < answers_->size()) {
      const TypedAnswer& answer = (*answers_)[next_];
      const std::size_t at = errors.find(answer.prompt, seen_);
      if (at == std::string::npos) break;
      seen_ = at + answer.prompt.size();
      input_ += answer.typed + "\r";  // the Enter key
      ++next_;
    }
  }

  void Serve(short revents, std::string& echoed) {
    if (fd_ < 0) return;
    if (answers_ && (revents & (POLLIN | POLLHUP | POLLERR))) {
      char buffer[4096];
      const ssize_t n = read(fd_, buffer, sizeof buffer);
      if (n > 0) echoed.append(buffer, static_cast<std::size_t>(n));
      // EIO: nothing holds the terminal side any more.
      if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return Close();
    }
    if (revents & (POLLOUT | POLLERR | POLLHUP)) {
      const ssize_t n = write(fd_, input_.data() + written_, input_.size() - written_);
      if (n > 0) written_ += static_cast<std::size_t>(n);
      // A pipe is closed once all is written: the child reads its end.
      if ((n < 0 && errno != EAGAIN) || (!answers_ && written_ == input_.size())) Close();
    }
  }

 private:
  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

  std::string input_;
  const std::vector<TypedAnswer>* answers_;
  bool wine_;
  int fd_ = -1;
  int childFd_ = -1;
  std::size_t written_ = 0;
  std::size_t next_ = 0;  // the answer typed next
  std::size_t seen_ = 0;  // where the next prompt is looked for
};

// Whether argv runs under Wine.
bool RunsWindowsProgram(const std::vector<std::string>& argv) {
  return !WindowsBuildUnderTest().empty() && !argv.empty() && IsToolProgram(argv[0]);
}

ProcessResult Run(const std::vector<std::string>& argv, const std::string& cwd, ChildInput& in,
                  const std::map<std::string, std::string>& env, std::chrono::milliseconds timeout,
                  ProcessStop stop) {
  // A child that exits before reading all its input must fail its test
  // through its exit status, not kill the test process with SIGPIPE.
  static const bool kPipeSignalIgnored = std::signal(SIGPIPE, SIG_IGN) != SIG_ERR;
  (void)kPipeSignalIgnored;
  const bool windows = RunsWindowsProgram(argv);
  int out[2], err[2];
  if (pipe(out) != 0 || pipe(err) != 0) throw std::runtime_error("pipe failed");
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
    dup2(in.childFd(), 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    for (int fd : {in.childFd(), in.fd(), out[0], out[1], err[0], err[1]})
      if (fd > 2) close(fd);
    if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
    execve(argp[0], argp.data(), envp.data());
    _exit(127);
  }
  in.CloseChildSide();
  close(out[1]);
  close(err[1]);

  ProcessResult result;
  fcntl(out[0], F_SETFL, O_NONBLOCK);
  fcntl(err[0], F_SETFL, O_NONBLOCK);
  bool outOpen = true, errOpen = true;
  char buffer[65536];
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  // Read until the child's output ends; a terminal run until the child
  // ends, since Wine's console starts the session's desktop processes,
  // which inherit the pipes and hold them long after the program ended.
  int status = 0;
  bool reaped = false;
  auto readPipe = [&](int i) {
    bool& open = i == 0 ? outOpen : errOpen;
    std::string& sink = i == 0 ? result.output : result.errors;
    ssize_t n = read(i == 0 ? out[0] : err[0], buffer, sizeof buffer);
    if (n > 0)
      sink.append(buffer, static_cast<size_t>(n));
    else if (n == 0 || (errno != EAGAIN && errno != EINTR))
      open = false;
    return n > 0;
  };
  const auto stopAt = std::chrono::steady_clock::now() + stop.after;
  bool stopPending = stop.after.count() > 0;
  while ((outOpen || errOpen) && !reaped) {
    pollfd fds[3] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {in.fd(), in.events(), 0}};
    int wait = -1;
    if (stopPending) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          stopAt - std::chrono::steady_clock::now());
      if (left.count() <= 0) {
        kill(pid, stop.signal);
        stopPending = false;
      } else {
        wait = static_cast<int>(left.count());
      }
    }
    if (timeout.count() > 0 && !result.timedOut) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) {
        kill(pid, SIGKILL);
        result.timedOut = true;
      } else if (wait < 0 || left.count() < wait) {
        wait = static_cast<int>(left.count());
      }
    }
    if (in.terminal() && (wait < 0 || wait > 50)) wait = 50;
    if (poll(fds, fds[2].events ? 3 : 2, wait) < 0 && errno != EINTR) break;
    if (fds[2].events) in.Serve(fds[2].revents, result.echoed);
    for (int i = 0; i < 2; ++i) {
      const bool open = i == 0 ? outOpen : errOpen;
      if (open && (fds[i].revents & (POLLIN | POLLHUP | POLLERR))) readPipe(i);
    }
    in.Prompted(result.errors);
    if (in.terminal() && waitpid(pid, &status, WNOHANG) == pid) {
      reaped = true;
      // All it wrote is in the pipes by now.
      for (int i = 0; i < 2; ++i)
        while ((i == 0 ? outOpen : errOpen) && readPipe(i)) {
        }
    }
  }
  close(out[0]);
  close(err[0]);
  while (!reaped && waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (windows) {
    result.output = FromWindowsConsole(result.output);
    result.errors = FromWindowsConsole(result.errors);
  }
  return result;
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& cwd,
                         const std::string& input, const std::map<std::string, std::string>& env,
                         std::chrono::milliseconds timeout, ProcessStop stop) {
  ChildInput in(input, nullptr, false);
  return Run(argv, cwd, in, env, timeout, stop);
}

ProcessResult RunAtTerminal(const std::vector<std::string>& argv, const std::string& cwd,
                            const std::vector<TypedAnswer>& answers,
                            const std::map<std::string, std::string>& env,
                            std::chrono::milliseconds timeout) {
  ChildInput in("", &answers, RunsWindowsProgram(argv));
  return Run(argv, cwd, in, env, timeout, {});
}

}  // namespace testsupport
