// The tralvo executable: one transfer run, its result the exit status.
#include "app/transfer_run.h"
#include "shared/file_system.h"

int main(int argc, char** argv) {
  tralvo::FailWritesBeyondSizeLimit();
  tralvo::OutliveConsole();
  return tralvo::RunTransfer(argc, argv);
}
