// The console on Windows. A program that reads a console as bytes gets the
// typed letters in the console's input code page (an OEM one such as 850
// as a rule), not in Windows-1252; read as UTF-16 (ReadConsoleW), the
// console hands over the characters themselves, whatever its code page,
// and WriteConsoleW shows them the same way.
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>

#include "shared/terminal.h"
#include "shared/windows_1252.h"

namespace tralvo {
namespace {

// The console behind a stream, or nullptr when it is none (a pipe, a
// file, or a character device such as NUL, which the C library takes for
// a terminal).
HANDLE ConsoleOf(std::FILE* stream) {
  const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  DWORD mode;
  return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) ? handle : nullptr;
}

// Turns echo off on a console for its lifetime.
class EchoOff {
 public:
  explicit EchoOff(HANDLE console) : console_(console) {
    if (GetConsoleMode(console_, &saved_)) {
      active_ = SetConsoleMode(console_, saved_ & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)) != 0;
    }
  }
  ~EchoOff() {
    if (active_) SetConsoleMode(console_, saved_);
  }
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;

 private:
  HANDLE console_;
  DWORD saved_ = 0;
  bool active_ = false;
};

// Reads the console to the end of a line, converting each character as it
// arrives, so the typed text is never held in a second form.
LineRead ReadConsoleLine(HANDLE console, std::size_t limit, std::string& line) {
  line.clear();
  line.reserve(limit);
  wchar_t buffer[128];
  bool any = false, ended = false, noCode = false, tooLong = false, failed = false;
  for (bool lineEnd = false; !lineEnd;) {
    DWORD got = 0;
    if (!ReadConsoleW(console, buffer, sizeof buffer / sizeof buffer[0], &got, nullptr)) {
      failed = true;
      break;
    }
    if (got == 0) break;
    for (DWORD i = 0; i < got && !lineEnd; ++i) {
      const char32_t unit = buffer[i];
      if (unit == L'\n') {
        lineEnd = true;
        continue;
      }
      // Ctrl+Z at the start of a line ends the input, as it does for the
      // C library reading a console.
      if (!any && unit == 0x1A) ended = true;
      any = true;
      // A surrogate is half of a character beyond U+FFFF, where
      // Windows-1252 has nothing.
      char byte;
      if ((unit >= 0xD800 && unit < 0xE000) || !UnicodeToWindows1252(unit, byte)) {
        noCode = true;
      } else if (line.size() < limit) {
        line.push_back(byte);
      } else {
        tooLong = true;
      }
    }
  }
  SecureZeroMemory(buffer, sizeof buffer);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (failed) return LineRead::kFailed;
  if (!any || ended) return LineRead::kEnd;
  if (tooLong) return LineRead::kTooLong;
  return noCode ? LineRead::kNoWindows1252 : LineRead::kRead;
}

}  // namespace

bool IsTerminal(std::FILE* stream) {
  return ConsoleOf(stream) != nullptr;
}

LineRead AskAtTerminal(std::FILE* in, std::FILE* err, const std::string& prompt, bool echo,
                       std::size_t limit, std::string& line) {
  const HANDLE console = ConsoleOf(in);
  LineRead status;
  {
    std::optional<EchoOff> quiet;
    if (!echo && console) quiet.emplace(console);
    std::fputs(prompt.c_str(), err);
    std::fflush(err);
    status = console ? ReadConsoleLine(console, limit, line) : ReadByteLine(in, limit, line);
  }
  // The line end typed was not echoed either.
  if (!echo) std::fputc('\n', err);
  return status;
}

bool WriteText(std::FILE* out, std::string_view windows1252) {
  const HANDLE console = ConsoleOf(out);
  if (!console) {
    return std::fwrite(windows1252.data(), 1, windows1252.size(), out) == windows1252.size();
  }
  // What the C library holds back for the console goes first.
  if (std::fflush(out) != 0) return false;
  std::wstring wide;
  wide.reserve(windows1252.size());
  for (char byte : windows1252) {
    wide += static_cast<wchar_t>(Windows1252ToUnicode(static_cast<unsigned char>(byte)));
  }
  for (std::size_t done = 0; done < wide.size();) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(wide.size() - done, 4096));
    if (!WriteConsoleW(console, wide.data() + done, chunk, &written, nullptr) || written == 0) {
      return false;
    }
    done += written;
  }
  return true;
}

}  // namespace tralvo
