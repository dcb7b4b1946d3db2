// The booking file reader: large reads, lines cut out of the buffer in
// place, so no line costs a system call or an allocation of its own.
#include "input/booking_file_reader.h"

#include <cstring>

namespace tralvo {

namespace {
constexpr size_t kBufferSize = 1 << 16;
}

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
  begin_ = end_ = 0;
  atEof_ = failed_ = false;
  left_ = INT64_MAX;
  offset_ = 0;
  return file_ != nullptr;
}

bool BookingFileReader::Size(int64_t& size) const {
  return file_ && StreamLength(file_, size);
}

bool BookingFileReader::ReadAt(int64_t offset, char* buffer, size_t size, size_t& got) {
  got = 0;
  if (!file_ || !SeekStream(file_, offset)) return false;
  got = std::fread(buffer, 1, size, file_);
  return got == size || !std::ferror(file_);
}

bool BookingFileReader::Restrict(int64_t from, int64_t to) {
  if (!file_ || from > to || !SeekStream(file_, from)) return false;
  begin_ = end_ = 0;
  atEof_ = failed_ = false;
  left_ = to - from;
  offset_ = from;
  return true;
}

void BookingFileReader::Close() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
}

void BookingFileReader::Fill() {
  if (end_ - begin_ > kMaxLineLength || atEof_ || failed_ || !file_) return;
  std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
  end_ -= begin_;
  begin_ = 0;
  while (end_ <= kMaxLineLength && !atEof_ && !failed_) {
    size_t want = buffer_.size() - end_;
    if (static_cast<uint64_t>(left_) < want) want = static_cast<size_t>(left_);
    size_t got = want == 0 ? 0 : std::fread(buffer_.data() + end_, 1, want, file_);
    end_ += got;
    left_ -= static_cast<int64_t>(got);
    if (got == 0) {
      if (want > 0 && std::ferror(file_))
        failed_ = true;
      else
        atEof_ = true;
    }
  }
}

ReadResult BookingFileReader::Next(std::string_view& piece, bool& endsLine) {
  Fill();
  size_t available = end_ - begin_;
  if (available == 0) return failed_ ? ReadResult::kError : ReadResult::kEnd;

  const char* start = buffer_.data() + begin_;
  size_t limit = available < kMaxLineLength ? available : kMaxLineLength;
  // The first line feed or carriage return, whichever comes first.
  const void* lineFeed = std::memchr(start, '\n', limit);
  size_t length =
      lineFeed ? static_cast<size_t>(static_cast<const char*>(lineFeed) - start) : limit;
  if (const void* cr = std::memchr(start, '\r', length))
    length = static_cast<size_t>(static_cast<const char*>(cr) - start);

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
