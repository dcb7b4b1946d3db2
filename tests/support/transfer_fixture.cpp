// Helpers of the end-to-end fixture.
#include "transfer_fixture.h"

#include <cstdio>

#include "statement_oracle.h"

namespace testsupport {

std::vector<std::string> TransferTest::ToolStatements() const {
  std::vector<std::string> out;
  for (const std::string& statement : server_.Statements())
    if (IsToolStatement(statement)) out.push_back(statement);
  return out;
}

std::string TransferTest::Booking::Line() const {
  return badge + ",-," + date + "," + time + ",-," + terminal + "," + reader + "," + code + "," +
         costCentre + ",-," + marker + "," + access + "," + status + "," + zonePrefix + ",-," +
         kind + "\r\n";
}

std::string TransferTest::Summary(int time, int access, int cost, int events) {
  char text[256];
  std::snprintf(text, sizeof text,
                "\r\n\xFC"
                "bergeben:\r\n   Zeitbuchungen         : %d\r\n   Zutrittsbuchungen:    : %d\r\n"
                "   Kostenstellenbuchungen: %d\r\n   Ereignisse:           : %d\r\n\r\n",
                time, access, cost, events);
  return text;
}

}  // namespace testsupport
