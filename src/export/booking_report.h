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

struct RunState;

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

// Logs and prints that the booking of badge on date was given up because
// memory ran out while it was handled. Needs no memory of its own.
void ReportBookingWithoutMemory(RunState& state, std::string_view badge,
                                std::string_view date) noexcept;

}  // namespace tralvo
