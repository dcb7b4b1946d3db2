// The tralvo-ini executable: the administrator's companion command.
#include <cstdio>

#include "app/ini_program.h"

int main(int argc, char** argv) {
  return tralvo::RunIniProgram(argc, argv, stdin, stdout, stderr);
}
