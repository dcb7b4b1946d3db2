// Which bytes of the booking file a run feeds: what follows the bytes fed
// before while the file still begins with them (it was appended to, or
// written anew and renamed into place with more at its end), otherwise the
// whole file (a new delivery); in either case up to its last line end, so
// a line still being written waits for the next run.
#pragma once

#include <cstdint>

#include "shared/fingerprint.h"

namespace tralvo {

class BookingFileReader;
struct Progress;

struct Part {
  int64_t from = 0;  // where the part begins
  int64_t to = 0;    // where it ends: after the last line end of the file
  // The file does not begin with the bytes fed before: it is fed whole.
  bool newDelivery = false;
  // The fingerprint of the bytes [0, from), to go on with over the part.
  Fingerprint fed;
};

// Reads what it needs of the open booking file: the bytes fed before, once,
// and the end of the file. False when the file cannot be read.
bool FindPart(BookingFileReader& bookings, const Progress& progress, Part& part);

}  // namespace tralvo
