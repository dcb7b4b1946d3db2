// The configuration verbs of tralvo-ini: reading values from a terminal
// without echo, converting them, writing and listing configuration files.
#include "config/ini_command.h"

#include <cstring>
#include <string>
#include <vector>

#include "config/config_file_writer.h"
#include "config/config_reader.h"
#include "config/secret.h"
#include "config/value_cipher.h"
#include "shared/file_system.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <termios.h>
#include <unistd.h>
#endif

namespace tralvo {
namespace {

// Longer input lines are refused rather than held without bound.
constexpr std::size_t kMaxInputLine = 4096;

bool IsTerminal(std::FILE* stream) {
#ifdef _WIN32
  return _isatty(_fileno(stream)) != 0;
#else
  return isatty(fileno(stream)) != 0;
#endif
}

// Turns echo off on a terminal for its lifetime.
class EchoOff {
 public:
  explicit EchoOff(std::FILE* stream) {
#ifdef _WIN32
    handle_ = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    if (GetConsoleMode(handle_, &saved_)) {
      active_ = SetConsoleMode(handle_, saved_ & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)) != 0;
    }
#else
    fd_ = fileno(stream);
    if (tcgetattr(fd_, &saved_) == 0) {
      termios quiet = saved_;
      quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
      active_ = tcsetattr(fd_, TCSANOW, &quiet) == 0;
    }
#endif
  }
  ~EchoOff() {
    if (!active_) return;
#ifdef _WIN32
    SetConsoleMode(handle_, saved_);
#else
    tcsetattr(fd_, TCSANOW, &saved_);
#endif
  }
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;

 private:
  bool active_ = false;
#ifdef _WIN32
  HANDLE handle_;
  DWORD saved_ = 0;
#else
  int fd_;
  termios saved_{};
#endif
};

enum class LineStatus { kRead, kEnd, kTooLong };

// One line without its line end (LF or CR LF). kEnd when the stream holds
// nothing more.
LineStatus ReadInputLine(std::FILE* in, std::string& line) {
  WipeSecret(line);
  bool any = false;
  bool tooLong = false;
  int c;
  while ((c = std::getc(in)) != EOF) {
    any = true;
    if (c == '\n') break;
    if (line.size() < kMaxInputLine) {
      line.push_back(static_cast<char>(c));
    } else {
      tooLong = true;
    }
  }
  if (!any) return LineStatus::kEnd;
  if (!line.empty() && line.back() == '\r' && c == '\n') line.pop_back();
  return tooLong ? LineStatus::kTooLong : LineStatus::kRead;
}

// Reads one value, prompting with echo as asked when in is a terminal.
bool AskValue(std::FILE* in, std::FILE* err, const char* prompt, bool secret, std::string& value) {
  const bool terminal = IsTerminal(in);
  LineStatus status;
  if (terminal) {
    std::fprintf(err, "%s: ", prompt);
    std::fflush(err);
    if (secret) {
      EchoOff quiet(in);
      status = ReadInputLine(in, value);
      std::fputc('\n', err);
    } else {
      status = ReadInputLine(in, value);
    }
  } else {
    status = ReadInputLine(in, value);
  }
  if (status == LineStatus::kEnd) {
    std::fprintf(err, "tralvo-ini: no value for %s on standard input\n", prompt);
    return false;
  }
  if (status == LineStatus::kTooLong) {
    std::fprintf(err, "tralvo-ini: %s: the input line is too long\n", prompt);
    WipeSecret(value);
    return false;
  }
  return true;
}

// Shows text with line ends and other control bytes escaped; bytes from
// 0x80 up are Windows-1252 characters and pass unchanged.
std::string Printable(const std::string& text) {
  std::string out;
  for (char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c < 0x20 || c == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      out += escaped;
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else {
      out += ch;
    }
  }
  return out;
}

int Encode(std::FILE* in, std::FILE* out, std::FILE* err) {
  std::string value;
  if (!AskValue(in, err, "value", true, value)) return kIniFailed;
  if (ValueProblem problem = ConfigValueProblem(value); problem != ValueProblem::kNone) {
    std::fprintf(err, "tralvo-ini: %s\n", ValueProblemText(problem));
    WipeSecret(value);
    return kIniFailed;
  }
  std::string stored = EncryptConfigValue(value);
  WipeSecret(value);
  std::fprintf(out, "%s\n", stored.c_str());
  WipeSecret(stored);
  return kIniOk;
}

int Decode(std::FILE* in, std::FILE* out, std::FILE* err) {
  std::string stored;
  if (!AskValue(in, err, "stored value", false, stored)) return kIniFailed;
  if (ValueProblem problem = StoredValueProblem(stored); problem != ValueProblem::kNone) {
    std::fprintf(err, "tralvo-ini: %s\n", ValueProblemText(problem));
    WipeSecret(stored);
    return kIniFailed;
  }
  std::string value = DecryptConfigValue(stored);
  std::fwrite(value.data(), 1, value.size(), out);
  std::fputc('\n', out);
  WipeSecret(value);
  WipeSecret(stored);
  return kIniOk;
}

// Reads an optional value that has a default: an empty line, or the end
// of the input, keeps value as it is. False for a line that is too long.
bool AskOptional(std::FILE* in, std::FILE* err, const char* prompt, std::string& value) {
  std::string line;
  if (IsTerminal(in)) {
    std::fprintf(err, "%s [%s]: ", prompt, value.c_str());
    std::fflush(err);
  }
  LineStatus status = ReadInputLine(in, line);
  if (status == LineStatus::kTooLong) {
    std::fprintf(err, "tralvo-ini: %s: the input line is too long\n", prompt);
    return false;
  }
  if (status == LineStatus::kRead && !line.empty()) value = line;
  return true;
}

// Whoever can read the configuration can decode its password.
void WarnIfReadableByOthers(const char* path, std::FILE* err) {
  bool readable = false;
  if (ReadableByOthers(path, readable) && readable) {
    std::fprintf(err,
                 "tralvo-ini: warning: %s is readable by other users; anyone who can read it "
                 "has the password\n",
                 path);
  }
}

int Write(const char* path, std::FILE* in, std::FILE* err) {
  ConfigSettings settings;
  const bool complete = AskValue(in, err, "LOGIN", false, settings.login) &&
                        AskValue(in, err, "PASS", true, settings.password) &&
                        AskValue(in, err, "DB_SYSTEM", false, settings.dbSystem) &&
                        AskValue(in, err, "DATABASE", false, settings.database) &&
                        AskOptional(in, err, kLoginTimeoutKey, settings.loginTimeout) &&
                        AskOptional(in, err, kQueryTimeoutKey, settings.queryTimeout) &&
                        AskOptional(in, err, kStatusDirKey, settings.statusDir);
  int status = kIniFailed;
  if (complete) {
    if (settings.database.empty() || settings.database.size() > 40) {
      std::fprintf(err,
                   "tralvo-ini: warning: a DATABASE value that is empty or longer than 40 "
                   "characters leaves the data source name empty\n");
    }
    const ConfigWriteResult result = WriteConfigFile(path, settings);
    if (result.ok()) {
      status = kIniOk;
      WarnIfReadableByOthers(path, err);
    } else {
      std::fprintf(err, "tralvo-ini: %s\n", ConfigWriteMessage(result, path).c_str());
    }
  }
  WipeConfigSettings(settings);
  return status;
}

int Show(const char* path, std::FILE* out, std::FILE* err) {
  std::vector<ConfigRecord> records;
  if (ReadConfigRecords(path, records) != SmallFileRead::kRead) {
    std::fprintf(err, "tralvo-ini: cannot read %s\n", path);
    return kIniFailed;
  }
  WarnIfReadableByOthers(path, err);
  if (records.empty()) std::fprintf(out, "%s: no records\n", path);
  int index = 1;
  for (ConfigRecord& record : records) {
    ConfigEntry& f = record.fields;
    std::fprintf(out, "record %d: number %ld, section \"%s\", key \"%s\"", index++,
                 static_cast<long>(f.number), Printable(f.section).c_str(),
                 Printable(f.key).c_str());
    if (record.problem != RecordProblem::kNone) {
      std::fprintf(out, ", ignored: %s\n", RecordProblemText(record.problem));
    } else {
      std::string value = DecryptConfigValue(f.value);
      const std::string shown = f.key == "PASS" ? "********" : "\"" + Printable(value) + "\"";
      std::fprintf(out, ", value %s", shown.c_str());
      if (f.number == 0 || f.section.empty()) {
        std::fprintf(out, " (chosen by every lookup: number 0 or empty section)");
      }
      std::fputc('\n', out);
      WipeSecret(value);
    }
    WipeSecret(f.value);
  }
  return kIniOk;
}

// Verbs answer for themselves: nothing thrown inside one leaves it.
template <typename Verb>
int Guarded(std::FILE* err, Verb verb) noexcept {
  try {
    return verb();
  } catch (...) {
    std::fputs("tralvo-ini: out of memory\n", err);
    return kIniFailed;
  }
}

}  // namespace

int IniEncode(std::FILE* in, std::FILE* out, std::FILE* err) noexcept {
  return Guarded(err, [&] { return Encode(in, out, err); });
}

int IniDecode(std::FILE* in, std::FILE* out, std::FILE* err) noexcept {
  return Guarded(err, [&] { return Decode(in, out, err); });
}

int IniWrite(const char* path, std::FILE* in, std::FILE* err) noexcept {
  return Guarded(err, [&] { return Write(path, in, err); });
}

int IniShow(const char* path, std::FILE* out, std::FILE* err) noexcept {
  return Guarded(err, [&] { return Show(path, out, err); });
}

}  // namespace tralvo
