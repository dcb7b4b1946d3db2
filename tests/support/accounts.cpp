// Other accounts for the tests; see accounts.h.
#include "accounts.h"

#include <grp.h>
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

}  // namespace testsupport
