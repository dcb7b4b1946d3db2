// The file floor: the file work of a cost-centre run and nothing else. It
// reads the booking file whole in 64 KiB reads, writes as many bytes as the
// run's cost-centre file holds in 64 KiB writes to a file it creates or
// empties, and syncs that file and its folder, as tralvo does before it
// reports success. What tralvo spends beyond it is its own work: start-up,
// the connection, splitting lines and building records.
//   tralvo-file-floor BOOKINGFILE TARGETFILE BYTES
// Exits 1 when a file cannot be read, written or synced.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

bool Fail(const char* what, const std::string& path) {
  std::perror((std::string(what) + " " + path).c_str());
  return false;
}

bool ReadWhole(const std::string& path, std::vector<char>& buffer) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Fail("open", path);
  ssize_t got = 0;
  while ((got = read(fd, buffer.data(), buffer.size())) > 0) {
  }
  close(fd);
  return got == 0 || Fail("read", path);
}

bool WriteAndSync(const std::string& path, std::vector<char>& buffer, size_t bytes) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return Fail("open", path);
  while (bytes > 0) {
    size_t size = bytes < buffer.size() ? bytes : buffer.size();
    ssize_t put = write(fd, buffer.data(), size);
    if (put <= 0) {
      close(fd);
      return Fail("write", path);
    }
    bytes -= static_cast<size_t>(put);
  }
  bool synced = fsync(fd) == 0;
  if (close(fd) != 0 || !synced) return Fail("sync", path);
  size_t slash = path.rfind('/');
  std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return Fail("open", folder);
  synced = fsync(dir) == 0;
  close(dir);
  return synced || Fail("sync", folder);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: tralvo-file-floor BOOKINGFILE TARGETFILE BYTES\n");
    return 2;
  }
  std::vector<char> buffer(64 * 1024, '0');
  size_t bytes = std::strtoull(argv[3], nullptr, 10);
  return ReadWhole(argv[1], buffer) && WriteAndSync(argv[2], buffer, bytes) ? 0 : 1;
}
