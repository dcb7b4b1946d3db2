// The read-ahead thread and its hand-over of chunks, one at a time.
#include "input/read_ahead.h"

#include "shared/stop_requests.h"

namespace tralvo {

ReadAhead::~ReadAhead() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> hold(lock_);
    quit_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

bool ReadAhead::Start(std::FILE* file, int64_t left, char* into, size_t room) {
  file_ = file;
  left_ = left;
  Ask(into, room);
  thread_ = StartQuietThread([this] { Read(); });
  return thread_.joinable();
}

void ReadAhead::Ask(char* into, size_t room) {
  {
    std::lock_guard<std::mutex> hold(lock_);
    into_ = into;
    room_ = room;
    asked_ = true;
    ready_ = false;
  }
  changed_.notify_all();
}

Chunk ReadAhead::Take() {
  std::unique_lock<std::mutex> hold(lock_);
  changed_.wait(hold, [this] { return ready_; });
  ready_ = false;
  return chunk_;
}

void ReadAhead::Read() {
  for (;;) {
    char* into;
    size_t room;
    bool last;  // the part to be read ends with this chunk
    {
      std::unique_lock<std::mutex> hold(lock_);
      changed_.wait(hold, [this] { return asked_ || quit_; });
      if (quit_) return;
      asked_ = false;
      into = into_;
      room = static_cast<uint64_t>(left_) < room_ ? static_cast<size_t>(left_) : room_;
      last = static_cast<uint64_t>(left_) <= room_;
    }
    // A chunk is read whole unless the file ends or fails first, so that
    // every chunk but the last is full.
    Chunk chunk;
    while (chunk.got < room) {
      size_t got = std::fread(into + chunk.got, 1, room - chunk.got, file_);
      chunk.got += got;
      if (got == 0) {
        if (std::ferror(file_))
          chunk.failed = true;
        else
          chunk.ended = true;
        break;
      }
    }
    if (last && chunk.got == room) chunk.ended = true;
    {
      std::lock_guard<std::mutex> hold(lock_);
      left_ -= static_cast<int64_t>(chunk.got);
      chunk_ = chunk;
      ready_ = true;
    }
    changed_.notify_all();
  }
}

}  // namespace tralvo
