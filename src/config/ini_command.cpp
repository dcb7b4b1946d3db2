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
#include "shared/terminal.h"

namespace tralvo {
namespace {

// Longer input lines are refused rather than held without bound.
constexpr std::size_t kMaxInputLine = 4096;

// One line of a value: typed at a terminal after its prompt, and then
// converted to Windows-1252; from a pipe or a file, the bytes it holds.
LineRead ReadValueLine(std::FILE* in, std::FILE* err, const std::string& prompt, bool echo,
                       std::string& line) {
  WipeSecret(line);
  return IsTerminal(in) ? AskAtTerminal(in, err, prompt, echo, kMaxInputLine, line)
                        : ReadByteLine(in, kMaxInputLine, line);
}

// Says why no value was read for prompt.
void ReportLineProblem(std::FILE* err, const char* prompt, LineRead status) {
  const char* why = "";
  switch (status) {
    case LineRead::kRead:
      return;
    case LineRead::kEnd:
      why = "no value on standard input";
      break;
    case LineRead::kTooLong:
      why = "the input line is too long";
      break;
    case LineRead::kNoWindows1252:
      why =
          "a typed character is not one of Windows-1252, the only characters the "
          "configuration holds";
      break;
    case LineRead::kNotInCharset:
      why =
          "the typed text is not valid in the terminal's character set; set the locale "
          "(LANG, LC_ALL) to the one the terminal uses, or pipe the value in as "
          "Windows-1252 bytes";
      break;
    case LineRead::kCharsetUnknown:
      why =
          "letters beyond ASCII cannot be read in this locale, whose character set is "
          "neither UTF-8 nor a single-byte one; use a UTF-8 locale, or pipe the value in "
          "as Windows-1252 bytes";
      break;
    case LineRead::kFailed:
      why = "the terminal cannot be read";
      break;
  }
  std::fprintf(err, "tralvo-ini: %s: %s\n", prompt, why);
}

// Reads one value, prompting with echo as asked when in is a terminal.
bool AskValue(std::FILE* in, std::FILE* err, const char* prompt, bool secret, std::string& value) {
  const LineRead status = ReadValueLine(in, err, std::string(prompt) + ": ", !secret, value);
  if (status == LineRead::kRead) return true;
  WipeSecret(value);
  ReportLineProblem(err, prompt, status);
  return false;
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
  const bool written = WriteText(out, value) && WriteText(out, "\n");
  WipeSecret(value);
  WipeSecret(stored);
  return written ? kIniOk : kIniFailed;
}

// Asks for the setting key until the answer is one the file can store.
// At a terminal a refused answer is said at once and asked again; from a
// pipe the command stops at once, since asking again would shift every
// later answer onto the wrong question. With a default (value as it
// comes in), an empty answer or the end of the input keeps it.
bool AskSetting(std::FILE* in, std::FILE* err, const char* key, bool secret, bool withDefault,
                std::string& value) {
  const std::string prompt = std::string(key) + (withDefault ? " [" + value + "]: " : ": ");
  for (;;) {
    std::string line;
    const LineRead status = ReadValueLine(in, err, prompt, !secret, line);
    if (withDefault && (status == LineRead::kEnd || (status == LineRead::kRead && line.empty())))
      return true;
    // A typed character the file cannot hold, or too long a line, is an
    // answer to give again; the other problems are the terminal's.
    const bool refused = status == LineRead::kNoWindows1252 || status == LineRead::kTooLong;
    if (status != LineRead::kRead) {
      ReportLineProblem(err, key, status);
      if (refused && IsTerminal(in)) continue;
      return false;
    }
    const std::string problem = SettingProblem(key, line);
    if (problem.empty()) {
      WipeSecret(value);
      value = std::move(line);
      return true;
    }
    WipeSecret(line);
    std::fprintf(err, "tralvo-ini: %s: %s\n", key, problem.c_str());
    if (!IsTerminal(in)) return false;
  }
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
  const bool complete = AskSetting(in, err, "LOGIN", false, false, settings.login) &&
                        AskSetting(in, err, "PASS", true, false, settings.password) &&
                        AskSetting(in, err, "DB_SYSTEM", false, false, settings.dbSystem) &&
                        AskSetting(in, err, "DATABASE", false, false, settings.database) &&
                        AskSetting(in, err, kLoginTimeoutKey, false, true, settings.loginTimeout) &&
                        AskSetting(in, err, kQueryTimeoutKey, false, true, settings.queryTimeout) &&
                        AskSetting(in, err, kStatusDirKey, false, true, settings.statusDir);
  int status = kIniFailed;
  if (complete) {
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
  // The records' texts are Windows-1252 and are converted for a terminal;
  // the path above is the system's own and is written as it is.
  int index = 1;
  bool written = true;
  for (ConfigRecord& record : records) {
    ConfigEntry& f = record.fields;
    std::string line = "record " + std::to_string(index++) + ": number " +
                       std::to_string(f.number) + ", section \"" + Printable(f.section) +
                       "\", key \"" + Printable(f.key) + "\"";
    if (record.problem != RecordProblem::kNone) {
      line += std::string(", ignored: ") + RecordProblemText(record.problem);
    } else {
      std::string value = DecryptConfigValue(f.value);
      line += ", value " + (f.key == "PASS" ? "********" : "\"" + Printable(value) + "\"");
      if (f.number == 0 || f.section.empty()) {
        line += " (chosen by every lookup: number 0 or empty section)";
      }
      WipeSecret(value);
    }
    line += '\n';
    written = WriteText(out, line) && written;
    WipeSecret(f.value);
  }
  return written ? kIniOk : kIniFailed;
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
