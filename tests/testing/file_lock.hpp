// An exclusive lock between test processes: the tests that stop and start
// the shared second PostgreSQL take turns, whichever executable runs them.
#pragma once

#ifdef _WIN32
#include <windows.h>

#include "common/platform.hpp"
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

#include <string>

namespace corvanne::testing {

// Holds an exclusive lock on `path` (created when missing) while alive;
// waits for it. Without a path (a missing server variable) it holds nothing.
class FileLock {
 public:
  explicit FileLock(const std::string& path) {
    if (path.empty()) return;
#ifdef _WIN32
    handle_ = CreateFileW(WidePath(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    OVERLAPPED whole{};
    if (handle_ != INVALID_HANDLE_VALUE) LockFileEx(handle_, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &whole);
#else
    fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);  // a server started meanwhile must not inherit it
    if (fd_ >= 0) flock(fd_, LOCK_EX);
#endif
  }
  ~FileLock() {
#ifdef _WIN32
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
#else
    if (fd_ >= 0) close(fd_);  // closing releases the lock
#endif
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
#ifdef _WIN32
  HANDLE handle_ = INVALID_HANDLE_VALUE;
#else
  int fd_ = -1;
#endif
};

}  // namespace corvanne::testing
