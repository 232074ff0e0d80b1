// Extension, path resolution and one-line text write. Failures are shown through
// the caller's notifier and answered with a neutral result, never thrown.
#include "common/file_utils.hpp"

#include <cerrno>
#include <cstdio>
#include <filesystem>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include "common/message_texts.hpp"
#include "common/platform.hpp"

namespace corvanne {

namespace fs = std::filesystem;

std::string ResolveFrom(const std::string& folder, const std::string& path) {
  if (path.empty()) return path;
  const fs::path given(path);
  if (given.is_relative() && folder.empty()) return path;
  // Lexical: "." and "x/.." steps and doubled separators go, so a stored
  // path names the place once and compares equal to the same place reached
  // by the walk, however the configuration spells it.
  fs::path resolved = (given.is_relative() ? fs::path(folder) / given : given).lexically_normal();
  // "x/.." and "." leave a trailing separator the path itself did not have.
  if (resolved.has_relative_path() && !resolved.has_filename() && given.has_filename()) {
    resolved = resolved.parent_path();
  }
  return resolved.string();
}

std::string GetExtension(const std::string& name) {
  const size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(dot + 1);
}

namespace {

// Writes the line and closes the file; false when any byte may be missing.
// Buffered data reaches the disk only at fflush/fclose, so a full disk is
// reported there rather than at fwrite.
bool AppendLine(const std::string& line, const std::string& file_name) {
  std::FILE* file = std::fopen(file_name.c_str(), "ab");
  if (file == nullptr) return false;
  bool ok = std::fwrite(line.data(), 1, line.size(), file) == line.size();
  ok = std::fflush(file) == 0 && ok;
  ok = std::fclose(file) == 0 && ok;
  return ok;
}

// Makes the file hold exactly `line`. It is overwritten in place and then cut
// to length rather than cut to zero first: a run rewrites its header file
// twice per source file, and cutting a file that holds data to zero makes
// ext4 force its blocks to disk at close (milliseconds a time); removing and
// creating it costs more system calls than this. The file keeps its owner
// and permissions, and afterwards holds the same bytes either way.
bool ReplaceWithLine(const std::string& line, const std::string& file_name) {
#ifndef _WIN32
  const int fd = ::open(file_name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool ok = true;
  for (std::size_t done = 0; ok && done < line.size();) {
    const ssize_t wrote = ::write(fd, line.data() + done, line.size() - done);
    if (wrote > 0) {
      done += static_cast<std::size_t>(wrote);
    } else if (wrote < 0 && errno == EINTR) {
      continue;
    } else {
      ok = false;
    }
  }
  // A device or a pipe has no length to cut (EINVAL); a file must be cut.
  if (ok && ::ftruncate(fd, static_cast<off_t>(line.size())) != 0 && errno != EINVAL) ok = false;
  if (::close(fd) != 0) ok = false;
  return ok;
#else
  std::FILE* file = std::fopen(file_name.c_str(), "wb");
  if (file == nullptr) return false;
  bool ok = std::fwrite(line.data(), 1, line.size(), file) == line.size();
  ok = std::fflush(file) == 0 && ok;
  ok = std::fclose(file) == 0 && ok;
  return ok;
#endif
}

}  // namespace

bool WriteTextFile(const std::string& text, std::string& file_name, bool append,
                   const std::string& application_folder, Notifier& notifier) {
  if (file_name.empty()) {
    file_name = application_folder + kPathSeparator + "String1.txt";
  }
  const std::string line = text + "\r\n";
  if (append ? AppendLine(line, file_name) : ReplaceWithLine(line, file_name)) return true;
  notifier.Show(texts::WriteFailed());
  return false;
}

}  // namespace corvanne
