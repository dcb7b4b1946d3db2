// The handlers of a real run: the target files and the database.
#pragma once

#include "app/booking_handlers.h"
#include "export/time_booking.h"

namespace tralvo {

class Database;
struct Run;

class TransferHandlers : public BookingHandlers {
 public:
  TransferHandlers(Run& run, Database& db);
  void ExportTimeBooking(const FieldList& record) override;
  void ExportCostCentreBooking(const FieldList& record) override;
  void InsertAccessBooking(const FieldList& record) override;
  void InsertEventBooking(const EventBooking& event) override;

 private:
  Run& run_;
  Database& db_;
  TimeBookingExport time_;
};

}  // namespace tralvo
