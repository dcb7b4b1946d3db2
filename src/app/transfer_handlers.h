// The handlers of a real run: the target files and the database.
#pragma once

#include "app/booking_handlers.h"

namespace tralvo {

class Database;
struct RunState;

class TransferHandlers : public BookingHandlers {
 public:
  TransferHandlers(RunState& state, Database& db) : state_(state), db_(db) {}
  int ExportTimeBooking(const FieldList& record) override;
  int ExportCostCentreBooking(const FieldList& record) override;
  int InsertAccessBooking(const FieldList& record) override;
  int InsertEventBooking(const EventBooking& event) override;

 private:
  RunState& state_;
  Database& db_;
};

}  // namespace tralvo
