// Reading ahead: a thread of its own reads the next chunk of a file while
// the caller works on the one before, so that the system's copying of the
// file's bytes costs the run no time of its own.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <thread>

namespace tralvo {

// How reading one chunk went: the bytes read, and whether the file (or the
// part of it to be read) ended or failed after them.
struct Chunk {
  size_t got = 0;
  bool ended = false;
  bool failed = false;
};

class ReadAhead {
 public:
  ReadAhead() = default;
  // Stops the thread, after a read it is in the middle of.
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // Starts reading file from where it stands, at most left bytes in all,
  // into room bytes at into. Nothing else may touch the stream until the
  // object is gone. False when no thread could be started.
  bool Start(std::FILE* file, int64_t left, char* into, size_t room);
  // Waits for the chunk asked for last.
  Chunk Take();
  // Asks for the next chunk, into room bytes at into, which the caller
  // leaves alone until it has taken the chunk.
  void Ask(char* into, size_t room);

 private:
  void Read();

  std::FILE* file_ = nullptr;
  int64_t left_ = 0;
  std::mutex lock_;
  std::condition_variable changed_;
  char* into_ = nullptr;
  size_t room_ = 0;
  bool asked_ = false;
  bool ready_ = false;
  bool quit_ = false;
  Chunk chunk_;
  std::thread thread_;
};

}  // namespace tralvo
