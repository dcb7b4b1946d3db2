// The terminal on POSIX systems: the terminal's character set is the one
// of the environment's locale (LANG, LC_ALL, LC_CTYPE), as the programs
// that run in it assume. The locale is consulted through a locale object of
// its own: the process keeps the "C" locale, so nothing else in it (the
// database driver of the check least of all) behaves differently for
// having asked.
#include <langinfo.h>
#include <locale.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <optional>

#include "shared/terminal.h"
#include "shared/windows_1252.h"

namespace tralvo {
namespace {

// What mbrtowc gives is taken as a Unicode character.
#ifndef __STDC_ISO_10646__
#error "wchar_t must hold Unicode characters"
#endif

constexpr char32_t kNoCharacter = 0xFFFFFFFF;

struct TerminalCharset {
  enum class Kind { kUtf8, kSingleByte, kOther } kind = Kind::kOther;
  // For a single-byte set: the character of each byte, or kNoCharacter.
  char32_t byteCharacter[256];
};

TerminalCharset ReadCharset() {
  TerminalCharset charset;
  for (char32_t& c : charset.byteCharacter) c = kNoCharacter;
  // A locale the system does not have leaves a program in "C", as
  // setlocale would.
  locale_t locale = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
  if (!locale) locale = newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(nullptr));
  if (!locale) return charset;
  if (std::strcmp(nl_langinfo_l(CODESET, locale), "UTF-8") == 0) {
    charset.kind = TerminalCharset::Kind::kUtf8;
  } else {
    const locale_t previous = uselocale(locale);
    if (MB_CUR_MAX == 1) {
      charset.kind = TerminalCharset::Kind::kSingleByte;
      for (unsigned byte = 0; byte < 256; ++byte) {
        std::mbstate_t state{};
        wchar_t character;
        const char c = static_cast<char>(byte);
        const std::size_t used = std::mbrtowc(&character, &c, 1, &state);
        if (used <= 1) charset.byteCharacter[byte] = static_cast<char32_t>(character);
      }
    }
    uselocale(previous);
  }
  freelocale(locale);
  return charset;
}

const TerminalCharset& Charset() {
  static const TerminalCharset charset = ReadCharset();
  return charset;
}

// Converts a line typed in the terminal's character set to Windows-1252,
// in place: no character takes more bytes in Windows-1252 than it did.
LineRead TypedToWindows1252(std::string& line) {
  const TerminalCharset& charset = Charset();
  std::size_t to = 0;
  std::size_t from = 0;
  while (from < line.size()) {
    const unsigned char byte = static_cast<unsigned char>(line[from]);
    char32_t character = byte;
    if (charset.kind == TerminalCharset::Kind::kUtf8) {
      if (!NextUtf8(line, from, character)) return LineRead::kNotInCharset;
    } else {
      ++from;
      if (charset.kind == TerminalCharset::Kind::kSingleByte) {
        character = charset.byteCharacter[byte];
        if (character == kNoCharacter) return LineRead::kNotInCharset;
      } else if (byte >= 0x80) {
        return LineRead::kCharsetUnknown;
      }
    }
    if (!UnicodeToWindows1252(character, line[to++])) return LineRead::kNoWindows1252;
  }
  line.resize(to);
  return LineRead::kRead;
}

// Turns echo off on a terminal for its lifetime.
class EchoOff {
 public:
  explicit EchoOff(int fd) : fd_(fd) {
    if (tcgetattr(fd_, &saved_) == 0) {
      termios quiet = saved_;
      quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
      active_ = tcsetattr(fd_, TCSANOW, &quiet) == 0;
    }
  }
  ~EchoOff() {
    if (active_) tcsetattr(fd_, TCSANOW, &saved_);
  }
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;

 private:
  int fd_;
  bool active_ = false;
  termios saved_{};
};

}  // namespace

bool IsTerminal(std::FILE* stream) {
  return isatty(fileno(stream)) != 0;
}

LineRead AskAtTerminal(std::FILE* in, std::FILE* err, const std::string& prompt, bool echo,
                       std::size_t limit, std::string& line) {
  LineRead status;
  {
    std::optional<EchoOff> quiet;
    if (!echo) quiet.emplace(fileno(in));
    std::fputs(prompt.c_str(), err);
    std::fflush(err);
    status = ReadByteLine(in, limit, line);
  }
  // The line end typed was not echoed either.
  if (!echo) std::fputc('\n', err);
  return status == LineRead::kRead ? TypedToWindows1252(line) : status;
}

bool WriteText(std::FILE* out, std::string_view windows1252) {
  if (!IsTerminal(out)) {
    return std::fwrite(windows1252.data(), 1, windows1252.size(), out) == windows1252.size();
  }
  const TerminalCharset& charset = Charset();
  std::string shown;
  if (charset.kind == TerminalCharset::Kind::kUtf8) {
    shown = Windows1252ToUtf8(windows1252);
  } else {
    shown.reserve(windows1252.size());
    for (char byte : windows1252) {
      const char32_t character = Windows1252ToUnicode(static_cast<unsigned char>(byte));
      char mine = '?';
      if (character < 0x80) {
        mine = static_cast<char>(character);
      } else if (charset.kind == TerminalCharset::Kind::kSingleByte) {
        for (unsigned b = 0x80; b < 256; ++b) {
          if (charset.byteCharacter[b] == character) mine = static_cast<char>(b);
        }
      }
      shown += mine;
    }
  }
  return std::fwrite(shown.data(), 1, shown.size(), out) == shown.size();
}

}  // namespace tralvo
