// Finding the part: one pass over the bytes fed before, then a look
// backwards from the file's end for its last line end.
#include "pipeline/part.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "input/booking_file_reader.h"
#include "pipeline/progress_file.h"

namespace tralvo {

namespace {

constexpr size_t kChunk = 1 << 20;

// Whether the file begins with the bytes [0, length) whose fingerprint is
// expected; fed then holds their fingerprint.
bool BeginsWith(BookingFileReader& bookings, int64_t length, uint64_t expected,
                std::vector<char>& buffer, Fingerprint& fed, bool& begins) {
  for (int64_t at = 0; at < length;) {
    const size_t want = static_cast<size_t>(std::min<int64_t>(length - at, kChunk));
    size_t got = 0;
    if (!bookings.ReadAt(at, buffer.data(), want, got)) return false;
    if (got != want) {
      begins = false;  // shorter now than a moment ago
      return true;
    }
    fed.Add(std::string_view(buffer.data(), got));
    at += static_cast<int64_t>(got);
  }
  begins = fed.Value() == expected;
  return true;
}

// Where the last line of [from, size) ends. A line ends after a line
// feed, or after a carriage return that a byte other than a line feed
// follows: a carriage return at the very end may still get its line feed.
bool LastLineEnd(BookingFileReader& bookings, int64_t from, int64_t size, std::vector<char>& buffer,
                 int64_t& end) {
  end = from;
  char after = '\0';  // the byte after the chunk; none at the file's end
  bool atFileEnd = true;
  for (int64_t chunkEnd = size; chunkEnd > from;) {
    const int64_t chunkStart = std::max<int64_t>(from, chunkEnd - static_cast<int64_t>(kChunk));
    const size_t want = static_cast<size_t>(chunkEnd - chunkStart);
    size_t got = 0;
    if (!bookings.ReadAt(chunkStart, buffer.data(), want, got)) return false;
    if (got != want) return LastLineEnd(bookings, from, chunkStart + got, buffer, end);
    for (size_t i = got; i-- > 0;) {
      const char byte = buffer[i];
      const bool lastByte = atFileEnd && i + 1 == got;
      if (byte == '\n' || (byte == '\r' && !lastByte && after != '\n')) {
        end = chunkStart + static_cast<int64_t>(i) + 1;
        return true;
      }
      after = byte;
    }
    atFileEnd = false;
    chunkEnd = chunkStart;
  }
  return true;
}

}  // namespace

bool FindPart(BookingFileReader& bookings, const Progress& progress, Part& part) {
  part = Part();
  int64_t size = 0;
  if (!bookings.Size(size)) return false;
  std::vector<char> buffer(kChunk);
  bool begins = false;
  if (progress.fed <= size) {
    if (!BeginsWith(bookings, progress.fed, progress.fedFingerprint, buffer, part.fed, begins))
      return false;
  }
  if (begins) {
    part.from = progress.fed;
  } else {
    part.newDelivery = true;
    part.fed = Fingerprint();
  }
  return LastLineEnd(bookings, part.from, size, buffer, part.to);
}

}  // namespace tralvo
