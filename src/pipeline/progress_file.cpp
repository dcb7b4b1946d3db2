// The progress file: a header naming the terminal, then two slots that
// take turns, each a line of named values and a check.
#include "pipeline/progress_file.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "export/status_file.h"
#include "shared/fingerprint.h"

namespace tralvo {

namespace {

constexpr const char* kMagic = "tralvo-run progress 1\n";
constexpr size_t kSlotSize = 512;
// Larger than any file of this kind; a larger one is not one.
constexpr size_t kMaxFileSize = 4096;
constexpr const char* kCheckKey = " check=";

const char* const kStepNames = "prd";  // pending, ready, done

// The header: what the file is, and whose. The terminal is named by its
// file stem and the fingerprint of the whole id, which tells two ids
// apart whose stems were shortened alike.
std::string Header(std::string_view terminal) {
  char fingerprint[24];
  std::snprintf(fingerprint, sizeof fingerprint, " %016" PRIX64 "\n", FingerprintOf(terminal));
  return std::string(kMagic) + "terminal " + TerminalFileStem(terminal) + fingerprint;
}

bool ReadNumber(std::string_view text, int64_t& value) {
  if (text.empty() || text.size() > 18) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

bool ReadHex(std::string_view text, uint64_t& value) {
  if (text.size() != 16) return false;
  value = 0;
  for (char c : text) {
    int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (digit < 0) return false;
    value = value << 4 | static_cast<uint64_t>(digit);
  }
  return true;
}

// Takes "key=" and the value up to the next blank off the front of text.
bool TakeField(std::string_view& text, const char* key, std::string_view& value) {
  const size_t keyLength = std::strlen(key);
  if (text.compare(0, keyLength, key) != 0 || text.size() <= keyLength || text[keyLength] != '=')
    return false;
  text.remove_prefix(keyLength + 1);
  const size_t end = text.find(' ');
  value = text.substr(0, end);
  text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  return true;
}

bool TakeNumber(std::string_view& text, const char* key, int64_t& number) {
  std::string_view value;
  return TakeField(text, key, value) && ReadNumber(value, number);
}

bool TakeFlag(std::string_view& text, const char* key, bool& flag) {
  int64_t number;
  if (!TakeNumber(text, key, number) || number > 1) return false;
  flag = number == 1;
  return true;
}

}  // namespace

bool Progress::HoldsRecords() const {
  for (int64_t length : lengths)
    if (length > 0) return true;
  return false;
}

Progress NewProgress() {
  Progress progress;
  progress.fedFingerprint = Fingerprint().Value();
  return progress;
}

std::string FormatProgressSlot(const Progress& p) {
  char steps[kWorkFileCount + 1];
  for (int i = 0; i < kWorkFileCount; ++i) steps[i] = kStepNames[static_cast<int>(p.steps[i])];
  steps[kWorkFileCount] = '\0';
  char text[kSlotSize];
  int length = std::snprintf(text, sizeof text,
                             "seq=%" PRIu64 " fed=%" PRId64 " fingerprint=%016" PRIX64
                             " running=%d handover=%d stamp=%" PRId64 " steps=%s",
                             p.sequence, p.fed, p.fedFingerprint, p.running ? 1 : 0,
                             p.handingOver ? 1 : 0, p.stamp, steps);
  std::string slot(text, static_cast<size_t>(length));
  for (int i = 0; i < kWorkFileCount; ++i)
    slot.append(" ")
        .append(WorkFileWord(static_cast<WorkFile>(i)))
        .append("=")
        .append(std::to_string(p.lengths[i]));
  std::snprintf(text, sizeof text, "%s%016" PRIX64, kCheckKey, FingerprintOf(slot));
  slot += text;
  slot.resize(kSlotSize - 1, ' ');
  return slot + "\n";
}

bool ParseProgressSlot(std::string_view slot, Progress& progress) {
  if (slot.size() != kSlotSize || slot.back() != '\n') return false;
  slot.remove_suffix(1);
  while (!slot.empty() && slot.back() == ' ') slot.remove_suffix(1);
  const size_t checkAt = slot.rfind(kCheckKey);
  uint64_t check;
  if (checkAt == std::string_view::npos ||
      !ReadHex(slot.substr(checkAt + std::strlen(kCheckKey)), check) ||
      check != FingerprintOf(slot.substr(0, checkAt)))
    return false;
  std::string_view text = slot.substr(0, checkAt + 1);
  Progress p;
  int64_t sequence;
  std::string_view value;
  if (!TakeNumber(text, "seq", sequence) || !TakeNumber(text, "fed", p.fed) ||
      !TakeField(text, "fingerprint", value) || !ReadHex(value, p.fedFingerprint) ||
      !TakeFlag(text, "running", p.running) || !TakeFlag(text, "handover", p.handingOver) ||
      !TakeNumber(text, "stamp", p.stamp) || !TakeField(text, "steps", value) ||
      value.size() != kWorkFileCount)
    return false;
  p.sequence = static_cast<uint64_t>(sequence);
  for (int i = 0; i < kWorkFileCount; ++i) {
    const char* step = std::strchr(kStepNames, value[i]);
    if (!step || value[i] == '\0') return false;
    p.steps[i] = static_cast<HandOverStep>(step - kStepNames);
    if (!TakeNumber(text, WorkFileWord(static_cast<WorkFile>(i)), p.lengths[i])) return false;
  }
  if (!text.empty()) return false;
  progress = p;
  return true;
}

ProgressLoad ProgressFile::Load(const std::string& path, std::string_view terminal,
                                Progress& progress) {
  std::string bytes;
  switch (ReadSmallRegularFile(path, kMaxFileSize, bytes, &error_)) {
    case SmallFileRead::kRead:
      break;
    case SmallFileRead::kMissing:
      return ProgressLoad::kMissing;
    case SmallFileRead::kNotRegular:
    case SmallFileRead::kTooLarge:
      return ProgressLoad::kDamaged;
    case SmallFileRead::kFailed:
      return ProgressLoad::kFailed;
  }
  const std::string header = Header(terminal);
  const size_t magic = std::strlen(kMagic);
  if (bytes.size() != header.size() + 2 * kSlotSize) {
    // Another terminal's header may be longer or shorter than this one's.
    if (bytes.compare(0, magic, kMagic) == 0 && bytes.size() > magic &&
        bytes.compare(0, header.size(), header) != 0 &&
        bytes.find('\n', magic) != std::string::npos)
      return ProgressLoad::kOtherTerminal;
    return ProgressLoad::kDamaged;
  }
  if (bytes.compare(0, magic, kMagic) != 0) return ProgressLoad::kDamaged;
  if (bytes.compare(0, header.size(), header) != 0) return ProgressLoad::kOtherTerminal;
  Progress slots[2];
  bool whole[2];
  for (int i = 0; i < 2; ++i)
    whole[i] = ParseProgressSlot(
        std::string_view(bytes).substr(header.size() + i * kSlotSize, kSlotSize), slots[i]);
  if (!whole[0] && !whole[1]) return ProgressLoad::kDamaged;
  const int latest = !whole[0] ? 1 : !whole[1] ? 0 : slots[1].sequence > slots[0].sequence ? 1 : 0;
  if (file_.OpenForUpdate(path) != FileOpen::kOpened) {
    error_ = file_.error();
    return ProgressLoad::kFailed;
  }
  slotsAt_ = static_cast<int64_t>(header.size());
  progress = slots[latest];
  return ProgressLoad::kLoaded;
}

bool ProgressFile::Create(const std::string& path, std::string_view terminal,
                          const Progress& progress) {
  file_.Close();
  Progress older = progress;
  older.sequence = progress.sequence == 0 ? 0 : progress.sequence - 1;
  // The slot the next Save writes holds the older copy.
  const bool firstIsLatest = progress.sequence % 2 == 0;
  const std::string bytes = Header(terminal) +
                            FormatProgressSlot(firstIsLatest ? progress : older) +
                            FormatProgressSlot(firstIsLatest ? older : progress);
  if (!ReplaceWhole(path, path + ".new", bytes, Readers::kOwner, &error_)) return false;
  slotsAt_ = static_cast<int64_t>(bytes.size() - 2 * kSlotSize);
  if (file_.OpenForUpdate(path) == FileOpen::kOpened) return true;
  error_ = file_.error();
  return false;
}

bool ProgressFile::Save(Progress& progress, bool sync) {
  ++progress.sequence;
  const int64_t slot = slotsAt_ + static_cast<int64_t>(progress.sequence % 2 * kSlotSize);
  if (file_.WriteAt(slot, FormatProgressSlot(progress)) && (!sync || file_.Sync())) return true;
  error_ = file_.error();
  return false;
}

}  // namespace tralvo
