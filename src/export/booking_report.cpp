// The reporter of a run's bookings: the wording, the channel (log,
// console or both) and the counter of every fate in one place.
#include "export/booking_report.h"

#include <algorithm>
#include <cinttypes>
#include <utility>

namespace tralvo {

namespace {

const char* CauseText(GiveUpCause cause) {
  switch (cause) {
    case GiveUpCause::kTimeout:
      return "Zeitueberschreitung";
    case GiveUpCause::kConnectionLost:
      return "Verbindungsabbruch";
    case GiveUpCause::kStopped:
      return "Stoppsignal";
    case GiveUpCause::kNone:
      break;
  }
  return "";
}

const char* TableName(RowTable table) {
  return table == RowTable::kAccess ? "Kvx402Zpk" : "O2009BUCHPROT";
}

// The head of the entry of a statement that went unanswered or unsent:
// an unknown outcome and a statement never sent have wordings of their
// own, distinct from a refusal ("fehlgeschlagen"), so an operator can
// tell a row that may be there from one that is not.
std::string UnansweredHead(bool insert, std::string_view name, const DbResult& result) {
  const bool unknown = result.outcome == DbOutcome::kUnknown;
  std::string text;
  if (insert) {
    text.append("Insert in ").append(name);
    text.append(unknown ? " Ergebnis unbekannt (" : " nicht gesendet (Verbindung aufgegeben nach ");
  } else {
    text.append("Zeitbuchung nicht geschrieben, Abfrage ").append(name);
    text.append(unknown ? " ohne Antwort (" : " nicht gesendet (Verbindung aufgegeben nach ");
  }
  return text.append(CauseText(result.cause)).append(")");
}

// head, a colon, and the booking's terminal, badge number, date and time.
std::string WithBooking(const std::string& head, const BookingKey& booking) {
  std::string text = head;
  const char* separator = ": ";
  for (std::string_view part : {booking.terminal, booking.badge, booking.date, booking.time}) {
    text.append(separator).append(part);
    separator = ", ";
  }
  return text;
}

std::string Joined(std::initializer_list<std::string_view> parts) {
  std::string text;
  const char* separator = "";
  for (std::string_view part : parts) {
    text.append(separator).append(part);
    separator = ", ";
  }
  return text;
}

// The debug block shown for a booking that is logged; the labels and their
// indentation are what operators know from the console.
std::string Block(std::string_view head,
                  std::initializer_list<std::pair<const char*, std::string_view>> rows) {
  std::string text(head);
  text += '\n';
  for (const auto& [label, value] : rows) text.append(label).append(value).append("\n");
  return text += '\n';
}

}  // namespace

BookingReport::BookingReport(std::FILE* console, bool debug, std::string terminalId,
                             std::string logPath)
    : console_(console),
      debug_(debug),
      terminalId_(std::move(terminalId)),
      logPath_(std::move(logPath)) {}

void BookingReport::Print(std::string_view text) noexcept {
  // The console is for people; a failed console write has nowhere to go.
  std::fwrite(text.data(), 1, text.size(), console_);
}

// Entries the log never took are counted; with the debug flag the console
// shows them, once why the log could not be used, and what the log says
// an operator should know.
void BookingReport::ReportLogResult(const LogResult& result) {
  if (debug_)
    for (const std::string& notice : result.notices) Print(notice + "\n");
  if (result.dropped.empty()) return;
  notTransferred_.logEntriesDropped += static_cast<int64_t>(result.dropped.size());
  if (!debug_) return;
  if (result.why != FileOpen::kOpened && !logRefusalShown_) {
    logRefusalShown_ = true;
    Print("Transferprotokoll nicht verwendbar (" + FileOpenText(result.why, result.error) +
          "): " + logPath_ + "\n");
  }
  for (const std::string& entry : result.dropped) {
    std::string shown = "Nicht protokolliert: ";
    for (char c : entry)
      if (c != '\r') shown += c;
    Print(shown);
  }
}

void BookingReport::Log(std::string_view text) noexcept {
  try {
    ReportLogResult(WriteLog(logPath_, log_, text));
  } catch (const std::bad_alloc&) {
    ++notTransferred_.logEntriesDropped;
  }
}

void BookingReport::EndLog() noexcept {
  try {
    ReportLogResult(FinishLog(logPath_, log_));
  } catch (const std::bad_alloc&) {
    notTransferred_.logEntriesDropped += static_cast<int64_t>(log_.pending.size());
  }
}

void BookingReport::LogAndPrint(std::string_view text) noexcept {
  Log(text);
  Print(text);
}

void BookingReport::Reached(BookingFate fate) noexcept {
  fate_ = std::min(fate_, fate);
}

void BookingReport::Malformed() noexcept {
  ++notTransferred_.malformed;
  Reached(BookingFate::kMalformed);
  Print("FEHLERHAFTER BUCHUNGSSATZ !!\n");
}

void BookingReport::RecordNotWritten() noexcept {
  ++notTransferred_.notWritten;
  Reached(BookingFate::kNotWritten);
}

void BookingReport::RecordsLost(int64_t timeBookings, int64_t costCentreBookings) noexcept {
  counters_.timeBookings -= static_cast<int32_t>(timeBookings);
  counters_.costCentreBookings -= static_cast<int32_t>(costCentreBookings);
  notTransferred_.notWritten += timeBookings + costCentreBookings;
}

void BookingReport::CountUnanswered(const DbResult& result) noexcept {
  if (result.outcome == DbOutcome::kUnknown) {
    ++notTransferred_.unknown;
    Reached(BookingFate::kUnknown);
  } else {
    ++notTransferred_.notSent;
    Reached(BookingFate::kNotSent);
  }
}

void BookingReport::PrintBadgeBlock(std::string_view head, const BookingKey& booking) {
  if (!debug_) return;
  Print(Block(head, {{"  Ausweis   : ", booking.badge},
                     {"   Datum    : ", booking.date},
                     {"   Uhrzeit  : ", booking.time},
                     {"   Terminal : ", terminalId_}}));
}

void BookingReport::TimeBookingRefused(const BookingKey& booking, std::string_view detail,
                                       BookingFate cause) noexcept {
  Reached(cause);
  if (cause == BookingFate::kMalformed) ++notTransferred_.malformed;
  if (cause == BookingFate::kNotFound) ++notTransferred_.notFound;
  if (cause == BookingFate::kRefused) ++notTransferred_.refused;
  try {
    Log(Joined({booking.badge, booking.date, detail}));
    PrintBadgeBlock(detail, booking);
  } catch (const std::bad_alloc&) {
  }
}

void BookingReport::BadgeNotFound(const BookingKey& booking, const DbResult& lookup) noexcept {
  TimeBookingRefused(
      booking, "Schema/Personalnr. nicht gefunden :",
      lookup.outcome == DbOutcome::kNoRow ? BookingFate::kNotFound : BookingFate::kRefused);
}

void BookingReport::BookingTypeMissing(const BookingKey& booking, std::string_view schema,
                                       std::string_view personnelNumber, std::string_view code,
                                       const DbResult& lookup) noexcept {
  const bool noRow = lookup.outcome == DbOutcome::kNoRow;
  ++(noRow ? notTransferred_.notFound : notTransferred_.refused);
  Reached(noRow ? BookingFate::kNotFound : BookingFate::kRefused);
  try {
    std::string detail = "Buchungstyp zur Buchungsart ";
    detail.append(code).append(" nicht gefunden :");
    Log(Joined({schema, personnelNumber, booking.date, detail}));
    if (debug_)
      Print(Block(detail, {{"   Schema   : ", schema},
                           {"   PersNr   : ", personnelNumber},
                           {"   Datum    : ", booking.date},
                           {"   Uhrzeit  : ", booking.time},
                           {"   Terminal : ", terminalId_}}));
  } catch (const std::bad_alloc&) {
  }
}

void BookingReport::LookupUnanswered(const BookingKey& booking, std::string_view lookup,
                                     const DbResult& result) noexcept {
  CountUnanswered(result);
  try {
    const std::string head = UnansweredHead(false, lookup, result);
    Log(WithBooking(head, booking));
    PrintBadgeBlock(head, booking);
  } catch (const std::bad_alloc&) {
    // Counted all the same; only the entry is lost, as any entry may be.
  }
}

void BookingReport::CostCentreValue(std::string_view label, std::string_view value) noexcept {
  try {
    LogAndPrint(std::string(label).append(value));
  } catch (const std::bad_alloc&) {
  }
}

void BookingReport::CostCentreMalformed() noexcept {
  ++notTransferred_.malformed;
  Reached(BookingFate::kMalformed);
}

void BookingReport::Row(RowTable table, const DbResult& result,
                        const BookingKey& booking) noexcept {
  const bool access = table == RowTable::kAccess;
  if (result.outcome != DbOutcome::kNotSent) rowSent_ = true;
  // An access row that is there already is what the booking asked for; an
  // event row has no key, so the server never calls one a duplicate.
  if (result.done() || (access && result.outcome == DbOutcome::kDuplicate)) {
    ++(access ? counters_.accessBookings : counters_.events);
    return;
  }
  try {
    if (!result.answered()) {
      CountUnanswered(result);
      const std::string head = UnansweredHead(true, TableName(table), result);
      Log(WithBooking(head, booking));
      // An operator sees every access row that did not arrive, as a
      // refusal is.
      if (access) Print(" " + head + "\n");
      return;
    }
    ++notTransferred_.refused;
    Reached(BookingFate::kRefused);
    if (access)
      std::fprintf(console_, " Insert in Kvx402Zpk fehlgeschlagen, Fehler %d\n",
                   static_cast<int>(result.code));
    std::string head = "Insert in ";
    head.append(TableName(table)).append(" fehlgeschlagen, Fehler ");
    head.append(std::to_string(result.code));
    Log(WithBooking(head, booking));
  } catch (const std::bad_alloc&) {
  }
}

void BookingReport::BookingWithoutMemory(std::string_view badge, std::string_view date) noexcept {
  // Keyed like the other entries of a booking; both fields are at most a
  // field's length, so the text fits.
  char text[640];
  int length = std::snprintf(
      text, sizeof text, "%.*s, %.*s, Speichermangel, Buchung nicht uebergeben",
      static_cast<int>(badge.size()), badge.data(), static_cast<int>(date.size()), date.data());
  if (length < 0) return;
  std::string_view entry(text, std::min(static_cast<size_t>(length), sizeof text - 1));
  LogAndPrint(entry);
  Print("\n");
}

void BookingReport::FileFailure(const char* what, const std::string& path) noexcept {
  try {
    std::string message = std::string(what) + path;
    Log(message);
    Print(message + "\n");
  } catch (const std::bad_alloc&) {
  }
}

void BookingReport::Stopped() noexcept {
  static constexpr std::string_view kStopped =
      "Uebergabe angehalten (Stoppsignal), Quelldatei nicht zu Ende gelesen";
  Log(kStopped);
  Print(kStopped);
  Print("\n");
}

void BookingReport::Summary() noexcept {
  const BookingCounters& c = counters_;
  char text[512];
  if (debug_) {
    int64_t total = int64_t{c.timeBookings} + c.accessBookings + c.costCentreBookings + c.events;
    std::snprintf(text, sizeof text, "%" PRId64 " Buchungen uebergeben", total);
    Print(text);
  }
  std::snprintf(text, sizeof text,
                "\n\xFC"
                "bergeben:\n   Zeitbuchungen         : %d\n   Zutrittsbuchungen:    : %d\n"
                "   Kostenstellenbuchungen: %d\n   Ereignisse:           : %d\n",
                static_cast<int>(c.timeBookings), static_cast<int>(c.accessBookings),
                static_cast<int>(c.costCentreBookings), static_cast<int>(c.events));
  Log(text);
}

std::string FileOpenText(FileOpen why, const SystemError& error) {
  switch (why) {
    case FileOpen::kOpened:
      break;
    case FileOpen::kMissing:
      return "nicht vorhanden";
    case FileOpen::kPlantedLink:
      return "Pfad \xFC"
             "ber fremden symbolischen Link";
    case FileOpen::kNotRegular:
      return "keine regul\xE4"
             "re Datei";
    case FileOpen::kBusy:
      return "von einem anderen Programm gesperrt";
    case FileOpen::kFailed:
      return error.Text();
  }
  return "";
}

}  // namespace tralvo
