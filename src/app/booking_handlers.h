// The handlers the booking loop routes a record to. The loop reaches them
// only through this interface, so its routing can be tested against
// recording doubles without files or a database.
//
// A handler has the run's reporter tell what became of its booking, and
// returns. Memory that runs out while it works may end it with
// std::bad_alloc: the loop gives up that booking, reports it and goes on.
#pragma once

#include <cstdint>
#include <string_view>

namespace tralvo {

class FieldList;

// The values of an event row, taken from one "dta" record.
struct EventBooking {
  std::string_view terminalId;
  int32_t readerNumber = 0;
  std::string_view badgeNumber;
  std::string_view bookingDate;
  std::string_view bookingTime;
  std::string_view bookingCode;
  int32_t status = 0;
  std::string_view variant;
};

class BookingHandlers {
 public:
  virtual ~BookingHandlers() = default;
  virtual void ExportTimeBooking(const FieldList& record) = 0;
  virtual void ExportCostCentreBooking(const FieldList& record) = 0;
  virtual void InsertAccessBooking(const FieldList& record) = 0;
  virtual void InsertEventBooking(const EventBooking& event) = 0;
};

}  // namespace tralvo
