// Any bytes as the configuration file: lookups by key, section and number
// never fail, never select a record beyond the field limits, and agree
// with the listing of the same file.
#include <cstdint>
#include <string>
#include <vector>

#include "config/config_reader.h"
#include "config/value_cipher.h"
#include "fuzz_check.h"

using namespace tralvo;

namespace {

void CheckLookup(const std::string& path, const std::string& section, const std::string& key,
                 int32_t number, const std::vector<ConfigRecord>& records) {
  ConfigEntry entry;
  entry.key = "left over";
  ReadConfigValue(entry, section, key, number, path);
  FUZZ_CHECK(entry.value.size() <= kMaxConfigPlainLength);
  FUZZ_CHECK(entry.section.size() < kConfigHeaderLineChars);
  FUZZ_CHECK(entry.key.size() <= kConfigFieldChars);

  // The lookup selects the first record the listing says may be selected.
  for (const ConfigRecord& record : records) {
    const ConfigEntry& f = record.fields;
    if (record.problem != RecordProblem::kNone ||
        !(f.section == section || f.key == key || f.number == number))
      continue;
    FUZZ_CHECK(entry.key == f.key && entry.section == f.section && entry.number == f.number);
    FUZZ_CHECK(entry.value == DecryptConfigValue(f.value));
    return;
  }
  FUZZ_CHECK(entry.key.empty() && entry.section.empty() && entry.value.empty() &&
             entry.number == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzzcheck::ScratchFile file;
  const std::string& path = file.Write(data, size);

  std::vector<ConfigRecord> records;
  FUZZ_CHECK(ReadConfigRecords(path, records) == SmallFileRead::kRead);
  // A record takes two lines of at least one byte each.
  FUZZ_CHECK(records.size() <= size / 2);

  CheckLookup(path, "", "DATABASE", 0, records);
  CheckLookup(path, "", "PASS", 0, records);
  CheckLookup(path, "Datenbank", "", 7, records);
  return 0;
}
