// Reading the configuration file: its records, the selection of one by
// section, key or number, and the deciphering of the selected value.
#include "config/config_reader.h"

#include <cstdio>

#include "config/secret.h"
#include "config/value_cipher.h"
#include "shared/int_text.h"

namespace tralvo {
namespace {

// Reads the configuration file the way a text-mode line read does: CR LF
// counts as one newline, and a line longer than the limit comes in pieces,
// each remainder being read as a line of its own.
class LineReader {
 public:
  explicit LineReader(const std::string& fileName) : file_(std::fopen(fileName.c_str(), "rb")) {}
  ~LineReader() {
    if (file_) std::fclose(file_);
  }
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  bool IsOpen() const { return file_ != nullptr; }
  bool Failed() const { return file_ != nullptr && std::ferror(file_) != 0; }

  // At most maxChars characters, up to and including a newline; false when
  // nothing could be read.
  bool Read(std::string& line, std::size_t maxChars) {
    line.clear();
    while (line.size() < maxChars) {
      int c = std::getc(file_);
      if (c == EOF) break;
      if (c == '\r') {
        const int next = std::getc(file_);
        if (next == '\n') {
          c = '\n';
        } else if (next != EOF) {
          std::ungetc(next, file_);
        }
      }
      line.push_back(static_cast<char>(c));
      if (c == '\n') break;
    }
    return !line.empty();
  }

 private:
  std::FILE* file_;
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
    record.problem = "the entry line holds no ';'";
    return record;
  }
  if (static_cast<std::size_t>(s1) > kConfigNumberChars) {
    // Cutting the field could turn a number into another (even into 0).
    record.problem = "the number is longer than 11 characters";
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
    record.problem = "the key is longer than 200 characters";
  } else if (f.value.size() > kConfigFieldChars) {
    record.problem = "the value is longer than 200 characters";
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
                     std::int32_t number, const std::string& fileName) noexcept {
  ResetEntry(entry);
  std::string header;
  std::string line;
  try {
    LineReader reader(fileName);
    if (!reader.IsOpen()) return;
    while (true) {
      reader.Read(header, kConfigHeaderLineChars);
      if (!reader.Read(line, kConfigEntryLineChars)) break;
      ConfigRecord record = SplitRecord(header, line);
      ConfigEntry& f = record.fields;
      const bool selected =
          record.problem == nullptr && (f.section == section || f.key == key || f.number == number);
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

bool ReadConfigRecords(const std::string& fileName, std::vector<ConfigRecord>& records) noexcept {
  records.clear();
  try {
    LineReader reader(fileName);
    if (!reader.IsOpen()) return false;
    std::string header;
    std::string line;
    while (true) {
      reader.Read(header, kConfigHeaderLineChars);
      if (!reader.Read(line, kConfigEntryLineChars)) break;
      records.push_back(SplitRecord(header, line));
    }
    return !reader.Failed();
  } catch (...) {
    records.clear();
    return false;
  }
}

}  // namespace tralvo
