// The tralvo-ini executable: the administrator's companion command.
#include <cstdio>

#include "app/ini_program.h"
#include "shared/file_system.h"

int main(int argc, char** argv) {
  // A configuration that cannot be written whole is reported, and its
  // temporary file removed, rather than left behind by a signal.
  tralvo::FailWritesBeyondSizeLimit();
  return tralvo::RunIniProgram(argc, argv, stdin, stdout, stderr);
}
