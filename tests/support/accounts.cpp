// Other accounts for the tests; see accounts.h.
#include "accounts.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "test_support.h"

namespace testsupport {

bool CanTakeOnAccounts() {
  return geteuid() == 0 && WindowsBuildUnderTest().empty() && FileExists("/usr/bin/setpriv");
}

bool BecomeAccount(Account account) {
  return setgroups(0, nullptr) == 0 && setresgid(account.gid, account.gid, account.gid) == 0 &&
         setresuid(account.uid, account.uid, account.uid) == 0;
}

std::vector<std::string> AsAccount(Account account, const std::vector<std::string>& argv) {
  std::vector<std::string> command{"/usr/bin/setpriv", "--reuid=" + std::to_string(account.uid),
                                   "--regid=" + std::to_string(account.gid), "--clear-groups"};
  command.insert(command.end(), argv.begin(), argv.end());
  return command;
}

LockHolder::LockHolder(const std::string& path, short type, std::chrono::milliseconds hold,
                       const Account* account) {
  int ready[2];
  if (pipe(ready) != 0) return;
  pid_ = fork();
  if (pid_ == 0) {
    if (account && !BecomeAccount(*account)) _exit(1);
    int fd = open(path.c_str(), type == F_RDLCK ? O_RDONLY : O_WRONLY);
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    if (fd < 0 || fcntl(fd, F_SETLK, &lock) != 0) _exit(1);
    if (write(ready[1], "x", 1) != 1) _exit(1);
    usleep(static_cast<useconds_t>(hold.count() * 1000));
    _exit(0);
  }
  close(ready[1]);
  char byte;
  held_ = pid_ > 0 && read(ready[0], &byte, 1) == 1;
  close(ready[0]);
}

LockHolder::~LockHolder() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
}

}  // namespace testsupport
