// The booking file reader: large reads, lines cut out of the buffer in
// place, so no line costs a system call or an allocation of its own.
#include "input/booking_file_reader.h"

#include <cstring>
#include <new>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace tralvo {

namespace {

// A chunk: large enough that handing chunks over between the threads costs
// little, small enough to stay in the cache. Before it, room for the line
// the chunk before ended in the middle of.
constexpr size_t kChunkSize = 256 * 1024;
constexpr size_t kCarry = kMaxLineLength + 1;
constexpr size_t kBufferSize = kCarry + kChunkSize;

// The first line feed or carriage return among count bytes, or count, and
// whether a zero byte comes before it: one pass for all of them, 16 bytes
// at a time where the machine can.
size_t FirstLineEnd(const char* bytes, size_t count, bool& zeroBefore) {
  size_t i = 0;
  bool zero = false;
#ifdef __SSE2__
  const __m128i lineFeed = _mm_set1_epi8('\n');
  const __m128i carriageReturn = _mm_set1_epi8('\r');
  const __m128i zeroByte = _mm_setzero_si128();
  for (; i + 16 <= count; i += 16) {
    __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
    unsigned ends = static_cast<unsigned>(_mm_movemask_epi8(
        _mm_or_si128(_mm_cmpeq_epi8(chunk, lineFeed), _mm_cmpeq_epi8(chunk, carriageReturn))));
    unsigned zeros = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, zeroByte)));
    if (ends != 0) {
      unsigned end = static_cast<unsigned>(__builtin_ctz(ends));
      zeroBefore = zero || (zeros & ((1u << end) - 1)) != 0;
      return i + end;
    }
    zero = zero || zeros != 0;
  }
#endif
  for (; i < count && bytes[i] != '\n' && bytes[i] != '\r'; ++i) zero = zero || bytes[i] == '\0';
  zeroBefore = zero;
  return i;
}

// Reads into room bytes at into, from where the stream stands, at most
// left bytes (which it counts down), whole unless the file ends or fails
// first: so every chunk but the last of a file is full.
BookingFileReader::Chunk ReadChunk(std::FILE* file, char* into, size_t room, int64_t& left) {
  const bool last = static_cast<uint64_t>(left) <= room;
  if (last) room = static_cast<size_t>(left);
  BookingFileReader::Chunk chunk;
  while (chunk.got < room) {
    const size_t got = std::fread(into + chunk.got, 1, room - chunk.got, file);
    chunk.got += got;
    if (got == 0) {
      if (std::ferror(file))
        chunk.failed = true;
      else
        chunk.ended = true;
      break;
    }
  }
  if (last && chunk.got == room) chunk.ended = true;
  left -= static_cast<int64_t>(chunk.got);
  return chunk;
}

}  // namespace

BookingFileReader::BookingFileReader() : buffer_(kBufferSize) {}

BookingFileReader::~BookingFileReader() {
  Close();
}

bool BookingFileReader::Open(const std::string& path) {
  Close();
  path_ = path;
  // A folder, a pipe, a socket or a device is a booking file that cannot
  // be opened: a pipe would block the run before it connects, an endless
  // device would keep it reading for good.
  file_ = OpenReadStream(path, opened_, openError_);
  // The reader's buffer is the only one: each read goes from the file
  // straight into it, not through the stream's small buffer in pieces.
  if (file_) std::setvbuf(file_, nullptr, _IONBF, 0);
  begin_ = end_ = 0;
  atEof_ = failed_ = false;
  left_ = INT64_MAX;
  offset_ = 0;
  return file_ != nullptr;
}

bool BookingFileReader::Size(int64_t& size) {
  if (file_ && StreamLength(file_, size)) return true;
  lookError_ = SystemError::Last();
  return false;
}

bool BookingFileReader::ReadAt(int64_t offset, char* buffer, size_t size, size_t& got) {
  StopReadingAhead();
  got = 0;
  if (file_ && SeekStream(file_, offset)) {
    got = std::fread(buffer, 1, size, file_);
    if (got == size || !std::ferror(file_)) return true;
  }
  lookError_ = SystemError::Last();
  return false;
}

bool BookingFileReader::Restrict(int64_t from, int64_t to) {
  StopReadingAhead();
  if (!file_ || from > to || !SeekStream(file_, from)) return false;
  begin_ = end_ = 0;
  atEof_ = failed_ = false;
  left_ = to - from;
  offset_ = from;
  return true;
}

void BookingFileReader::Close() {
  StopReadingAhead();
  if (file_) std::fclose(file_);
  file_ = nullptr;
}

void BookingFileReader::Fill() {
  if (end_ - begin_ > kMaxLineLength || atEof_ || failed_ || !file_) return;
  if (readingAhead_) return TakeChunk();
  std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
  end_ -= begin_;
  begin_ = 0;
  const Chunk chunk = ReadChunk(file_, buffer_.data() + end_, buffer_.size() - end_, left_);
  end_ += chunk.got;
  failed_ = chunk.failed;
  atEof_ = chunk.ended;
  // A file that goes on beyond its first buffer is read ahead from here.
  if (atEof_ || failed_) return;
  try {
    spare_.resize(kBufferSize);
  } catch (const std::bad_alloc&) {
    return;  // read here, as before
  }
  readingAhead_ = true;
  ReadAhead();
}

void BookingFileReader::ReadAhead() {
  char* into = spare_.data() + kCarry;
  // The thread counts the part's bytes down; nothing else reads them
  // until the chunk is taken.
  reading_.Start([this, into] { ahead_ = ReadChunk(file_, into, kChunkSize, left_); });
}

void BookingFileReader::TakeChunk() {
  reading_.Wait();
  const size_t carried = end_ - begin_;
  std::memcpy(spare_.data() + kCarry - carried, buffer_.data() + begin_, carried);
  buffer_.swap(spare_);
  begin_ = kCarry - carried;
  end_ = kCarry + ahead_.got;
  failed_ = ahead_.failed;
  atEof_ = ahead_.ended;
  if (atEof_ || failed_)
    readingAhead_ = false;
  else
    ReadAhead();
}

void BookingFileReader::StopReadingAhead() {
  reading_.Wait();
  readingAhead_ = false;
}

ReadResult BookingFileReader::Next(std::string_view& piece, bool& endsLine) {
  if (end_ - begin_ <= kMaxLineLength) Fill();
  size_t available = end_ - begin_;
  if (available == 0) return failed_ ? ReadResult::kError : ReadResult::kEnd;

  const char* start = buffer_.data() + begin_;
  size_t limit = available < kMaxLineLength ? available : kMaxLineLength;
  size_t length = FirstLineEnd(start, limit, holdsZero_);

  if (length < limit) {
    // A line feed, or a carriage return with or without a line feed after
    // it; Fill guarantees the byte after a carriage return is in the buffer
    // unless the file ends there.
    bool crlf = start[length] == '\r' && length + 1 < available && start[length + 1] == '\n';
    length += crlf ? 2 : 1;
    endsLine = length <= kMaxLineLength;
    if (!endsLine) length = kMaxLineLength;
  } else {
    // No line end within the limit: the rest of the file when it is that
    // short, otherwise the first piece of an overlong line.
    endsLine = available <= kMaxLineLength;
    length = limit;
  }
  piece = std::string_view(start, length);
  begin_ += length;
  offset_ += static_cast<int64_t>(length);
  return ReadResult::kPiece;
}

}  // namespace tralvo
