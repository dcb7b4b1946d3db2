// The cost-centre record: DDMMYY, HHMMSS, the badge number left-aligned in
// 13 columns, the cost centre right-aligned in 7 columns with leading
// zeros. A value too long for its column is reported and the column left
// empty; the booking itself is still written.
#include "export/cost_centre_booking.h"

#include <cstring>

#include "export/booking_report.h"
#include "input/field_list.h"
#include "shared/output_file.h"
#include "shared/short_copy.h"

namespace tralvo {

namespace {

constexpr size_t kDateLength = 8;
constexpr size_t kTimeLength = 6;
constexpr size_t kRecordDateWidth = 6;  // DDMMYY
constexpr size_t kRecordBadgeWidth = 13;
constexpr size_t kRecordCostCentreWidth = 7;

}  // namespace

int ExportCostCentreBooking(OutputFile& file, BookingReport& report, const FieldList& record) {
  std::string_view badge = record[field::kBadgeNumber];
  std::string_view date = record[field::kBookingDate];
  std::string_view time = record[field::kBookingTime];
  std::string_view costCentre = record[field::kCostCentre];

  bool dateOk = date.size() == kDateLength;
  bool timeOk = time.size() == kTimeLength;
  if (!dateOk) report.CostCentreValue("----> Buchungsdatum ungueltig :", date);
  if (!timeOk) report.CostCentreValue("----> Buchungszeit ungueltig :", time);
  if (!dateOk || !timeOk) {
    report.CostCentreMalformed();
    return -1;
  }

  if (badge.size() > kRecordBadgeWidth) report.CostCentreValue("----> Ausweis-ID zu lang :", badge);
  if (costCentre.size() > kRecordCostCentreWidth)
    report.CostCentreValue("----> Kostenstelle zu lang :", costCentre);

  bool written = file.WriteInPlace(kCostCentreRecordLength, [&](char* out) {
    const char* day = date.data();
    out[0] = day[6];
    out[1] = day[7];
    out[2] = day[4];
    out[3] = day[5];
    out[4] = day[2];
    out[5] = day[3];
    out += kRecordDateWidth;
    std::memcpy(out, time.data(), kTimeLength);
    out += kTimeLength;
    std::memset(out, ' ', kRecordBadgeWidth);
    if (badge.size() <= kRecordBadgeWidth) CopyShort(out, badge.data(), badge.size());
    out += kRecordBadgeWidth;
    std::memset(out, '0', kRecordCostCentreWidth);
    if (costCentre.size() <= kRecordCostCentreWidth)
      CopyShort(out + kRecordCostCentreWidth - costCentre.size(), costCentre.data(),
                costCentre.size());
  });
  if (!written) {
    report.RecordNotWritten();
    return -1;
  }
  report.CostCentreWritten();
  return 0;
}

}  // namespace tralvo
