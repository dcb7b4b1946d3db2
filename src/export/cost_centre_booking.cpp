// The cost-centre record: DDMMYY, HHMMSS, the badge number left-aligned in
// 13 columns, the cost centre right-aligned in 7 columns with leading
// zeros. A value too long for its column is reported and the column left
// empty; the booking itself is still written.
#include "export/cost_centre_booking.h"

#include <array>
#include <cstring>
#include <string>

#include "export/booking_report.h"
#include "input/field_list.h"
#include "shared/run_state.h"

namespace tralvo {

namespace {

constexpr size_t kDateLength = 8;
constexpr size_t kTimeLength = 6;
constexpr size_t kBadgeWidth = 13;
constexpr size_t kCostCentreWidth = 7;

void ReportValue(RunState& state, const char* label, std::string_view value) {
  std::string message(label);
  message.append(value.data(), value.size());
  LogAndPrint(state, message);
}

}  // namespace

int ExportCostCentreBooking(RunState& state, const FieldList& record) {
  std::string_view badge = record[0];
  std::string_view date = record[2];
  std::string_view time = record[3];
  std::string_view costCentre = record[8];

  bool dateOk = date.size() == kDateLength;
  bool timeOk = time.size() == kTimeLength;
  if (!dateOk) ReportValue(state, "----> Buchungsdatum ungueltig :", date);
  if (!timeOk) ReportValue(state, "----> Buchungszeit ungueltig :", time);
  if (!dateOk || !timeOk) return -1;

  if (badge.size() > kBadgeWidth) ReportValue(state, "----> Ausweis-ID zu lang :", badge);
  if (costCentre.size() > kCostCentreWidth)
    ReportValue(state, "----> Kostenstelle zu lang :", costCentre);

  std::array<char, kCostCentreRecordLength> line;
  char* out = line.data();
  for (size_t from : {6, 4, 2}) {
    *out++ = date[from];
    *out++ = date[from + 1];
  }
  std::memcpy(out, time.data(), kTimeLength);
  out += kTimeLength;
  std::memset(out, ' ', kBadgeWidth);
  if (!badge.empty() && badge.size() <= kBadgeWidth) std::memcpy(out, badge.data(), badge.size());
  out += kBadgeWidth;
  std::memset(out, '0', kCostCentreWidth);
  if (!costCentre.empty() && costCentre.size() <= kCostCentreWidth)
    std::memcpy(out + kCostCentreWidth - costCentre.size(), costCentre.data(), costCentre.size());

  if (!state.costCentreFile.Write(std::string_view(line.data(), line.size()))) return -1;
  ++state.counters.costCentreBookings;
  return 0;
}

}  // namespace tralvo
