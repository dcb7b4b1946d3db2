// Reads the booking file in one pass through a large buffer and hands it
// out line by line, each line at most kMaxLineLength bytes with its line
// end. A longer line comes out in pieces, each marked as not ending its
// line, so the caller can refuse the line whole instead of mistaking a
// fragment for a booking.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "shared/file_system.h"
#include "shared/side_thread.h"

namespace tralvo {

// The longest line a booking file may hold, its line end included.
inline constexpr size_t kMaxLineLength = 498;

enum class ReadResult {
  kPiece,  // piece holds the next bytes
  kEnd,    // the file is exhausted
  kError,  // the file could not be read
};

class BookingFileReader {
 public:
  BookingFileReader();
  ~BookingFileReader();
  BookingFileReader(const BookingFileReader&) = delete;
  BookingFileReader& operator=(const BookingFileReader&) = delete;

  // Opens the file for reading without any translation ("rb"). Only a
  // plain file is opened, without blocking; opened() tells why not.
  bool Open(const std::string& path);
  bool isOpen() const { return file_ != nullptr; }
  FileOpen opened() const { return opened_; }
  // The system's error when opening failed with FileOpen::kFailed.
  const SystemError& openError() const { return openError_; }
  const std::string& path() const { return path_; }
  void Close();

  // The file's length in bytes now.
  bool Size(int64_t& size);
  // Reads the bytes at offset into buffer, as many as it holds or the
  // file has there (got); false on a read error. A look beside the lines:
  // Restrict places the lines afterwards.
  bool ReadAt(int64_t offset, char* buffer, size_t size, size_t& got);
  // The system's error of the last Size or ReadAt that failed.
  const SystemError& lookError() const { return lookError_; }
  // From now on Next hands out the lines of the bytes [from, to) of the
  // file, as if it held nothing else: a part that a run takes on its own.
  bool Restrict(int64_t from, int64_t to);

  // The next piece of the file. A line ends after a line feed, after a
  // carriage return and line feed, or after a carriage return that no
  // line feed follows (so a file with carriage returns alone still yields
  // its lines), or at the end of the file. endsLine is false for a piece
  // of kMaxLineLength bytes that its line goes on after. Data read before
  // a read error is handed out first.
  ReadResult Next(std::string_view& piece, bool& endsLine);
  // Where in the file the piece Next handed out last ends.
  int64_t offset() const { return offset_; }
  // Whether the piece Next handed out last holds a zero byte: found on
  // the way to its line end, so that a caller who must look at such bytes
  // looks only when there are any.
  bool holdsZero() const { return holdsZero_; }

  // How reading a chunk of the file went: the bytes read, and whether the
  // file (or the part of it to be read) ended or failed after them.
  struct Chunk {
    size_t got = 0;
    bool ended = false;
    bool failed = false;
  };

 private:
  // Makes at least kMaxLineLength + 1 bytes available unless the file ends
  // (or fails) first.
  void Fill();
  // Starts reading the next chunk beside the lines handed out, into the
  // spare buffer.
  void ReadAhead();
  // Moves on to the chunk read ahead, the bytes not handed out yet before
  // it.
  void TakeChunk();
  // Stops reading ahead, before anything else uses the stream.
  void StopReadingAhead();

  std::FILE* file_ = nullptr;
  FileOpen opened_ = FileOpen::kFailed;
  SystemError openError_;
  SystemError lookError_;
  std::string path_;
  // The chunk lines are handed out from, and the one read ahead; each with
  // room before its bytes for the line a chunk ends in the middle of.
  std::vector<char> buffer_;
  std::vector<char> spare_;
  SideThread reading_;
  bool readingAhead_ = false;
  Chunk ahead_;
  size_t begin_ = 0;
  size_t end_ = 0;
  bool atEof_ = false;
  bool failed_ = false;
  // Bytes still to be read before the end of the part.
  int64_t left_ = INT64_MAX;
  int64_t offset_ = 0;
  bool holdsZero_ = false;
};

}  // namespace tralvo
