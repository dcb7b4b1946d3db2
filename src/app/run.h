// What one transfer works with, tied together for the run sequence and
// the booking loop: the reporter of every booking's fate, the two target
// files, and where a stop request and a follower of the run show.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "export/booking_report.h"
#include "shared/output_file.h"

namespace tralvo {

class StopRequests;

// Told of every piece of the booking file the loop handled, in order, with
// the fate of its booking (kDone for a piece that held nothing to
// transfer), once the fate is settled: a caller that follows the run
// booking by booking, such as one that resumes where a run ended.
// rowSent: a row of the booking reached the server (stored, refused, or
// sent without an answer), so the database may have changed.
class LineObserver {
 public:
  virtual ~LineObserver() = default;
  virtual void LineHandled(std::string_view piece, bool endsLine, BookingFate fate,
                           bool rowSent) = 0;
};

struct Run {
  Run(std::FILE* console, bool debug, std::string terminalId, std::string logPath)
      : report(console, debug, std::move(terminalId), std::move(logPath)) {}

  BookingReport report;
  OutputFile timeBookingFile;
  OutputFile costCentreFile;
  // Where a request to stop the run shows; none when null.
  StopRequests* stop = nullptr;
  // Who follows the run line by line; none when null.
  LineObserver* observer = nullptr;
};

}  // namespace tralvo
