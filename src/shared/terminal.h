// Values typed by an operator and texts shown to one. Whatever character
// set the terminal (on Windows the console) uses, what is stored is
// Windows-1252, the character set of the configuration and of the server's
// columns: a password typed as "ö" in a UTF-8 terminal must reach the
// server as the same letter a Windows-1252 program would send. Input that
// is not a terminal (a pipe, a file) is taken as the bytes it holds.
//
// Each platform implements the terminal side once (terminal_posix.cpp,
// terminal_win32.cpp); terminal.cpp holds what both share. Nothing here
// throws.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace tralvo {

enum class LineRead {
  kRead,            // a line, without its line end
  kEnd,             // nothing more to read
  kTooLong,         // more than the limit; the line was read to its end and dropped
  kNoWindows1252,   // a typed character Windows-1252 cannot hold
  kNotInCharset,    // typed bytes that the terminal's character set does not define
  kCharsetUnknown,  // letters beyond ASCII in a character set that cannot be read
  kFailed,          // the terminal could not be read
};

// Whether the stream is a terminal (on Windows a console).
bool IsTerminal(std::FILE* stream);

// One line of in as bytes, without its line end (LF or CR LF), at most
// limit bytes. The line's memory is reserved up front, so a secret is never
// copied into a larger buffer and left behind in the old one.
LineRead ReadByteLine(std::FILE* in, std::size_t limit, std::string& line);

// Asks for one line at the terminal in: turns echo off unless echo is set,
// writes prompt to err, and reads the line typed, as Windows-1252, at most
// limit characters. Echo goes off before the prompt shows, so nothing
// typed after it is echoed. Every buffer that held the typed text is
// wiped; line itself is the caller's to wipe.
LineRead AskAtTerminal(std::FILE* in, std::FILE* err, const std::string& prompt, bool echo,
                       std::size_t limit, std::string& line);

// Writes a Windows-1252 text to out: converted to the terminal's character
// set when out is a terminal (a character it lacks shown as '?'), byte for
// byte otherwise. False when the text could not be written.
bool WriteText(std::FILE* out, std::string_view windows1252);

}  // namespace tralvo
