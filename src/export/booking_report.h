// How a handler reports a booking it could not export in full: to the
// transfer log, to the console, or both, as each message requires.
//
// None of these throws: a report that cannot be made for lack of memory is
// lost like an entry of a log that cannot be opened, since the run never
// stops for its reports.
#pragma once

#include <string>
#include <string_view>

#include "shared/file_system.h"

namespace tralvo {

class Database;
struct RunState;

// The fields that name a booking in the log, in the order its entries
// list them.
struct BookingKey {
  std::string_view terminal;
  std::string_view badge;
  std::string_view date;
  std::string_view time;
};

// What a statement left unsettled was for: an insert's row, or a lookup a
// time booking needs before its line can be written.
enum class UnansweredSubject { kInsert, kLookup };

// Writes text to the run's console as it stands (no line end added).
void PrintConsole(RunState& state, std::string_view text) noexcept;

// Appends text as one entry to the run's transfer log. An entry the log
// cannot take is counted as dropped, and shown with the debug flag.
void LogMessage(RunState& state, std::string_view text) noexcept;

// Ends the run's use of the log: the entries it kept because the log was
// held up get their last chance, and are counted and shown when lost.
void EndLog(RunState& state) noexcept;

// Why a file could not be used, in the words of the tool's messages.
std::string FileOpenText(FileOpen why);

// Both of the above, for the messages an operator must see in any case.
void LogAndPrint(RunState& state, std::string_view text) noexcept;

// The reports of a file the run cannot use; the path follows the text.
inline constexpr const char* kTargetWriteFailure = "Fehler beim Schreiben der Zieldatei ";
inline constexpr const char* kBookingReadFailure = "Fehler beim Lesen der Quelldatei ";

// Logs what followed by path, and prints it with a line end.
void ReportFileFailure(RunState& state, const char* what, const std::string& path) noexcept;

// When db's last statement went unanswered or unsent, logs it for the
// booking, counts the booking under its cause, puts the entry without the
// booking into head (for a console message) and returns true; returns
// false, doing nothing, when the server answered. name is the table or the
// lookup. An unknown outcome and a statement never sent have wordings of
// their own, distinct from a refusal ("fehlgeschlagen"), so an operator
// can tell a row that may be there from one that is not.
bool ReportUnanswered(RunState& state, const Database& db, UnansweredSubject subject,
                      std::string_view name, const BookingKey& booking, std::string& head) noexcept;

// Logs and prints that the booking of badge on date was given up because
// memory ran out while it was handled. Needs no memory of its own.
void ReportBookingWithoutMemory(RunState& state, std::string_view badge,
                                std::string_view date) noexcept;

}  // namespace tralvo
