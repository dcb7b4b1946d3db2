// A whole transfer of every record kind under valgrind's memcheck: no
// invalid access, no use of an undefined value, and no leak of the tool's
// own, the ODBC driver manager and the driver included (they free all
// they hold once the connection is closed).
#include <gtest/gtest.h>

#include <string>

#include "test_support.h"
#include "transfer_fixture.h"

namespace testsupport {
namespace {

constexpr int kMemcheckFailure = 99;

class Memcheck : public TransferTest {};

TEST_F(Memcheck, WholeTransferHasNoErrorAndNoLeakOfItsOwn) {
#if defined(__SANITIZE_ADDRESS__) || TRALVO_SANITIZED_BUILD
  GTEST_SKIP() << "memcheck cannot run a sanitized build";
#endif
  if (!FileExists("/usr/bin/valgrind")) GTEST_SKIP() << "valgrind is not installed";
  if (!WindowsBuildUnderTest().empty()) GTEST_SKIP() << "memcheck runs Linux programs only";
  inst_.WriteBookings(
      "4711,-,20090715,073005,-,T1,3,001,KST1,-,X,1,,,-,40p\r\n"
      "4712,-,20090715,073105,-,T1,3,004,KST1,-,X,,,,-,40p\r\n"
      "9999,-,20090715,073205,-,T1,3,001,KST1,-,X,,,,-,40p\r\n"
      "4711,-,20090715,073305,-,T1,3,001,KST1,-,,,100,,-,dta\r\n"
      "4711,-,20090715,073405,-,T1,3,017,KST1,-,,,17,,-,dta\r\n"
      "4711,-,20090715,073505,-,T1,3,001,KST1,-,,,12,7,-,62p\r\n"
      "4711,-,20090715,073605,-,T1,3,001,KST1,-,,,,,-,50p\r\n"
      "4711,-,2009071,073705,-,T1,3,001,KST1,-,,,,,-,50p\r\n"
      "1,2,3\r\n" +
      std::string(600, 'x') + "\r\n");
  std::map<std::string, std::string> env = server_.OdbcEnvironment("TRALVO");
  env["HOME"] = inst_.root();
  ProcessResult r = RunProcess(
      {"/usr/bin/valgrind", "--quiet", "--error-exitcode=99", "--leak-check=full",
       "--show-leak-kinds=definite,indirect", "--errors-for-leak-kinds=definite,indirect",
       TRALVO_BINARY, "T1", "bookings.txt", "zeit.txt", "kst.txt", "/D"},
      inst_.work(), "", env);
  EXPECT_NE(r.exitStatus, kMemcheckFailure) << r.errors;
  EXPECT_EQ(r.exitStatus, 0) << r.errors;
  EXPECT_EQ(r.errors, "");
  // The run did its work under memcheck.
  EXPECT_EQ(inst_.TimeBookings().size(), 3 * 82u) << inst_.Log();
  EXPECT_EQ(inst_.CostCentres().size(), 32u);
}

}  // namespace
}  // namespace testsupport
