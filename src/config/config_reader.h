// The configuration file: records of two lines each, a header line whose
// text between its first two ';' is the section, and an entry line
// "number;key;value" whose value is the stored (enciphered) setting.
//
// A lookup selects the first record whose section equals the requested
// section, OR whose key equals the requested key, OR whose number equals
// the requested number. Callers that look up by key alone pass an empty
// section and number 0, so a file meant for them gives every record a
// non-empty section and a number other than 0.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "shared/file_system.h"

namespace tralvo {

// Field limits of a record; a record exceeding one is never selected.
inline constexpr std::size_t kConfigHeaderLineChars = 199;  // newline included
inline constexpr std::size_t kConfigEntryLineChars = 399;   // newline included
inline constexpr std::size_t kConfigNumberChars = 11;
inline constexpr std::size_t kConfigFieldChars = 200;  // key, value (stored and plain)
// A real configuration file is under 1 KiB; anything beyond this, and
// anything that is not a plain file, reads as no settings at all.
inline constexpr std::size_t kMaxConfigFileBytes = 64 * 1024;

struct ConfigEntry {
  std::int32_t number = 0;
  std::string section;
  std::string key;
  std::string value;
};

// 0-based position of the n-th occurrence of character in text; the last
// occurrence when there are fewer than n; -1 when there is none (or n < 1).
int FindNthChar(std::string_view text, char character, int n) noexcept;

// destination = length characters of source from start. A length of 0
// means the rest of source; a negative length leaves destination as it is.
// Never reads outside source: the copy ends with the source.
void CopySubstring(std::string_view source, int start, int length, std::string& destination);

// Fills entry with the first selected record of the file, its value
// deciphered; leaves it reset (number 0, texts empty) when the file cannot
// be read, is no plain file of at most kMaxConfigFileBytes, or holds no
// selected record. The file is read afresh each call. The previous content
// of entry is wiped first. *fileState, when given, tells whether the file
// could be read and why not.
void ReadConfigValue(ConfigEntry& entry, const std::string& section, const std::string& key,
                     std::int32_t number, const std::string& fileName,
                     SmallFileRead* fileState = nullptr) noexcept;

// Why a configuration file gave no settings, in German for the operator's
// console; nullptr when it could be read.
const char* ConfigFileProblem(SmallFileRead fileState) noexcept;

// Why a lookup never selects a record.
enum class RecordProblem {
  kNone,           // a lookup may select it
  kNoSeparator,    // the entry line has no number field at all
  kNumberTooLong,  // a cut number could read as another, even as 0
  kKeyTooLong,     // a cut key would be another key
  kValueTooLong,   // a cut value would be a truncated secret
};

// What tralvo-ini tells of a problem; the empty text for kNone.
const char* RecordProblemText(RecordProblem problem) noexcept;

// One record as the reader sees it, for listing a file: the fields split as
// for a lookup, the value still in its stored form.
struct ConfigRecord {
  ConfigEntry fields;
  RecordProblem problem = RecordProblem::kNone;
};

// Every record of the file in order (an unpaired last line is no record),
// read under the same rules as a lookup. Anything but SmallFileRead::kRead
// leaves records empty: the file is missing, no plain file, larger than
// kMaxConfigFileBytes, or cannot be read (or memory ran out); error, when
// given, receives the system's error of a file that cannot be read.
SmallFileRead ReadConfigRecords(const std::string& fileName, std::vector<ConfigRecord>& records,
                                SystemError* error = nullptr) noexcept;

}  // namespace tralvo
