// The lock holder: a child process, so the lock is another process's.
#include "lock_holder.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

LockHolder::LockHolder(const std::string& path, short type, std::chrono::milliseconds hold) {
  int ready[2];
  if (pipe(ready) != 0) return;
  pid_ = fork();
  if (pid_ == 0) {
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
