// The tralvo-run executable: one run of a terminal's runner, its result the
// exit status.
#include "pipeline/runner.h"
#include "shared/file_system.h"

int main(int argc, char** argv) {
  tralvo::FailWritesBeyondSizeLimit();
  tralvo::OutliveConsole();
  return tralvo::RunRunner(argc, argv);
}
