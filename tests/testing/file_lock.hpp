// An exclusive lock between test processes: the tests that stop and start
// the shared second PostgreSQL take turns, whichever executable runs them.
#pragma once

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <string>

namespace corvanne::testing {

// Holds an exclusive lock on `path` (created when missing) while alive;
// waits for it. Without a path (a missing server variable) it holds nothing.
class FileLock {
 public:
  explicit FileLock(const std::string& path) {
    if (path.empty()) return;
    fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);  // a server started meanwhile must not inherit it
    if (fd_ >= 0) flock(fd_, LOCK_EX);
  }
  ~FileLock() {
    if (fd_ >= 0) close(fd_);  // closing releases the lock
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  int fd_ = -1;
};

}  // namespace corvanne::testing
