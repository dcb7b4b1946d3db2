// The tralvo-ini executable: the configuration command over the process's
// standard streams.
#include <cstdio>

#include "config/ini_command.h"

int main(int argc, char** argv) {
  return tralvo::RunIniCommand(argc, argv, stdin, stdout, stderr);
}
