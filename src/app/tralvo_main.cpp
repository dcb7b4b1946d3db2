// The tralvo executable: one transfer run, its result the exit status.
#include "app/transfer_run.h"

int main(int argc, char** argv) {
  return tralvo::RunTransfer(argc, argv);
}
