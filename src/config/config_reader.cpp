// Reading the configuration file: its records, the selection of one by
// section, key or number, and the deciphering of the selected value.
#include "config/config_reader.h"

#include "config/secret.h"
#include "config/value_cipher.h"
#include "shared/int_text.h"

namespace tralvo {
namespace {

// Reads the configuration file's bytes the way a text-mode line read
// does: CR LF counts as one newline, and a line longer than the limit
// comes in pieces, each remainder being read as a line of its own.
class LineReader {
 public:
  explicit LineReader(std::string_view bytes) : rest_(bytes) {}

  // At most maxChars characters, up to and including a newline; false when
  // nothing was left.
  bool Read(std::string& line, std::size_t maxChars) {
    line.clear();
    while (line.size() < maxChars && !rest_.empty()) {
      char c = rest_[0];
      rest_.remove_prefix(1);
      if (c == '\r' && !rest_.empty() && rest_[0] == '\n') {
        c = '\n';
        rest_.remove_prefix(1);
      }
      line.push_back(c);
      if (c == '\n') break;
    }
    return !line.empty();
  }

 private:
  std::string_view rest_;
};

// The whole configuration file, when it is a plain file of a sensible
// size: a pipe, a device or a huge file would hold up the run or fill its
// memory before it ever connects.
class ConfigBytes {
 public:
  explicit ConfigBytes(const std::string& fileName, SystemError* error = nullptr)
      : state_(ReadSmallRegularFile(fileName, kMaxConfigFileBytes, bytes_, error)) {}
  ~ConfigBytes() { WipeSecret(bytes_); }
  ConfigBytes(const ConfigBytes&) = delete;
  ConfigBytes& operator=(const ConfigBytes&) = delete;

  SmallFileRead state() const { return state_; }
  bool usable() const { return state_ == SmallFileRead::kRead; }
  std::string_view bytes() const { return bytes_; }

 private:
  std::string bytes_;
  SmallFileRead state_;
};

// Splits a header line and an entry line into record fields.
ConfigRecord SplitRecord(const std::string& header, const std::string& entry) {
  ConfigRecord record;
  ConfigEntry& f = record.fields;

  int s1 = FindNthChar(header, ';', 1);
  int s2 = FindNthChar(header, ';', 2);
  CopySubstring(header, s1 + 1, s2 - s1 - 1, f.section);

  s1 = FindNthChar(entry, ';', 1);
  s2 = FindNthChar(entry, ';', 2);
  if (s1 < 0) {
    // Without any separator the line has no number field at all; taking
    // it as 0 would make it match every lookup by key.
    record.problem = RecordProblem::kNoSeparator;
    return record;
  }
  if (static_cast<std::size_t>(s1) > kConfigNumberChars) {
    // Cutting the field could turn a number into another (even into 0).
    record.problem = RecordProblem::kNumberTooLong;
    return record;
  }
  if (s1 > 0) {
    std::string number;
    CopySubstring(entry, 0, s1, number);
    f.number = TextToInt(number);
  }
  CopySubstring(entry, s1 + 1, s2 - s1 - 1, f.key);
  const int newline = FindNthChar(entry, '\n', 1);
  CopySubstring(entry, s2 + 1, newline - s2 - 1, f.value);
  // A cut key or value would be another key or a truncated secret.
  if (f.key.size() > kConfigFieldChars) {
    record.problem = RecordProblem::kKeyTooLong;
  } else if (f.value.size() > kConfigFieldChars) {
    record.problem = RecordProblem::kValueTooLong;
  }
  return record;
}

void ResetEntry(ConfigEntry& entry) {
  entry.number = 0;
  WipeSecret(entry.section);
  WipeSecret(entry.key);
  WipeSecret(entry.value);
}

}  // namespace

int FindNthChar(std::string_view text, char character, int n) noexcept {
  int found = -1;
  int seen = 0;
  for (std::size_t i = 0; i < text.size() && seen < n; ++i) {
    if (text[i] == character) {
      found = static_cast<int>(i);
      ++seen;
    }
  }
  return found;
}

void CopySubstring(std::string_view source, int start, int length, std::string& destination) {
  if (length < 0 || start < 0) return;
  const std::size_t from = static_cast<std::size_t>(start);
  if (from >= source.size()) {
    destination.clear();
    return;
  }
  const std::size_t count = length == 0 ? std::string_view::npos : static_cast<std::size_t>(length);
  destination.assign(source.substr(from, count));
}

void ReadConfigValue(ConfigEntry& entry, const std::string& section, const std::string& key,
                     std::int32_t number, const std::string& fileName,
                     SmallFileRead* fileState) noexcept {
  ResetEntry(entry);
  if (fileState) *fileState = SmallFileRead::kFailed;
  std::string header;
  std::string line;
  try {
    ConfigBytes file(fileName);
    if (fileState) *fileState = file.state();
    if (!file.usable()) return;
    LineReader reader(file.bytes());
    while (true) {
      reader.Read(header, kConfigHeaderLineChars);
      if (!reader.Read(line, kConfigEntryLineChars)) break;
      ConfigRecord record = SplitRecord(header, line);
      ConfigEntry& f = record.fields;
      const bool selected = record.problem == RecordProblem::kNone &&
                            (f.section == section || f.key == key || f.number == number);
      if (selected) {
        entry.number = f.number;
        entry.section = f.section;
        entry.key = f.key;
        entry.value = DecryptConfigValue(f.value);
      }
      ResetEntry(f);
      if (selected) break;
    }
  } catch (...) {
    // Only allocation can fail; the lookup then finds nothing.
    ResetEntry(entry);
  }
  WipeSecret(header);
  WipeSecret(line);
}

const char* RecordProblemText(RecordProblem problem) noexcept {
  switch (problem) {
    case RecordProblem::kNone:
      break;
    case RecordProblem::kNoSeparator:
      return "the entry line holds no ';'";
    case RecordProblem::kNumberTooLong:
      return "the number is longer than 11 characters";
    case RecordProblem::kKeyTooLong:
      return "the key is longer than 200 characters";
    case RecordProblem::kValueTooLong:
      return "the value is longer than 200 characters";
  }
  return "";
}

const char* ConfigFileProblem(SmallFileRead fileState) noexcept {
  switch (fileState) {
    case SmallFileRead::kRead:
      return nullptr;
    case SmallFileRead::kMissing:
      return "Konfigurationsdatei nicht gefunden";
    case SmallFileRead::kNotRegular:
      return "Konfigurationsdatei ist keine normale Datei";
    case SmallFileRead::kTooLarge:
      return "Konfigurationsdatei ist zu gross";
    case SmallFileRead::kFailed:
      break;
  }
  return "Konfigurationsdatei kann nicht gelesen werden";
}

SmallFileRead ReadConfigRecords(const std::string& fileName, std::vector<ConfigRecord>& records,
                                SystemError* error) noexcept {
  records.clear();
  try {
    ConfigBytes file(fileName, error);
    if (!file.usable()) return file.state();
    LineReader reader(file.bytes());
    std::string header;
    std::string line;
    while (true) {
      reader.Read(header, kConfigHeaderLineChars);
      if (!reader.Read(line, kConfigEntryLineChars)) break;
      records.push_back(SplitRecord(header, line));
    }
    return SmallFileRead::kRead;
  } catch (...) {
    records.clear();
    return SmallFileRead::kFailed;
  }
}

}  // namespace tralvo
