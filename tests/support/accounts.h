// Other accounts for the tests of an installation that several accounts
// share, and processes that run as them. The
// accounts are ones every Debian system has, so the files they leave
// carry real owners and groups: taking on another account needs root.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace testsupport {

struct Account {
  uid_t uid;
  gid_t gid;  // its only group
};

// nobody, in nogroup: the group a shared log folder is given.
inline constexpr Account kGroupAccount{65534, 65534};
// daemon and bin: accounts outside that group.
inline constexpr Account kReaderAccount{1, 1};
inline constexpr Account kOutsiderAccount{2, 2};

// Whether the tests can act as other accounts here: as root, on Linux,
// with setpriv.
bool CanTakeOnAccounts();

// Makes this process (a child the test forked) account, with no other
// group; false when it could not.
bool BecomeAccount(Account account);

// argv run as account, through setpriv, with no other group.
std::vector<std::string> AsAccount(Account account, const std::vector<std::string>& argv);

}  // namespace testsupport
