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
  const fs::path given = PathFromText(path);
#ifdef _WIN32
  // Windows takes '/' too, but shows and stores '\\': one spelling per place.
  if (given.is_relative() && folder.empty()) return TextFromPath(fs::path(given).make_preferred());
#else
  if (given.is_relative() && folder.empty()) return path;
#endif
  // Lexical: "." and "x/.." steps and doubled separators go, so a stored
  // path names the place once and compares equal to the same place reached
  // by the walk, however the configuration spells it.
  fs::path resolved = (given.is_relative() ? PathFromText(folder) / given : given).lexically_normal();
  // "x/.." and "." leave a trailing separator the path itself did not have.
  if (resolved.has_relative_path() && !resolved.has_filename() && given.has_filename()) {
    resolved = resolved.parent_path();
  }
  return TextFromPath(resolved);
}

std::string GetExtension(const std::string& name) {
  const size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(dot + 1);
}

namespace {

// Keeps the first failure's errno; EIO when a short write set none.
void NoteFailure(int& failure) {
  if (failure == 0) failure = errno != 0 ? errno : EIO;
}

// Opens `file_name` in `mode`, writes the line and closes the file; 0, or
// the errno of the first failure when any byte may be missing. Buffered data
// reaches the disk only at fflush/fclose, so a full disk is reported there
// rather than at fwrite.
int WriteLine(const std::string& line, const std::string& file_name, const char* mode) {
  errno = 0;
  std::FILE* file = OpenFile(file_name, mode);
  if (file == nullptr) return errno != 0 ? errno : EIO;
  int failure = 0;
  if (std::fwrite(line.data(), 1, line.size(), file) != line.size()) NoteFailure(failure);
  if (std::fflush(file) != 0) NoteFailure(failure);
  if (std::fclose(file) != 0) NoteFailure(failure);
  return failure;
}

int AppendLine(const std::string& line, const std::string& file_name) { return WriteLine(line, file_name, "ab"); }

// Makes the file hold exactly `line`. It is overwritten in place and then cut
// to length rather than cut to zero first: a run rewrites its header file
// twice per source file, and cutting a file that holds data to zero makes
// ext4 force its blocks to disk at close (milliseconds a time); removing and
// creating it costs more system calls than this. The file keeps its owner
// and permissions, and afterwards holds the same bytes either way. Returns
// 0, or the errno of the first failure.
#ifndef _WIN32
// Makes the open file `fd` hold exactly `line`: written over from its start
// and then cut to length. 0, or the errno of the first failure.
// `length`: what the file holds (from an earlier call on the same open
// file), or nullptr when that is not known; updated.
int OverwriteWithLine(int fd, const std::string& line, std::size_t* length = nullptr) {
  int failure = 0;
  for (std::size_t done = 0; failure == 0 && done < line.size();) {
    errno = 0;
    const ssize_t wrote = ::pwrite(fd, line.data() + done, line.size() - done, static_cast<off_t>(done));
    if (wrote > 0) {
      done += static_cast<std::size_t>(wrote);
    } else if (wrote < 0 && errno == EINTR) {
      continue;
    } else {
      NoteFailure(failure);
    }
  }
  // A device or a pipe has no length to cut (EINVAL); a file must be cut,
  // unless the line covered all it held: a marker row is written per file.
  const bool cut = length == nullptr || line.size() < *length;
  if (failure == 0 && cut && ::ftruncate(fd, static_cast<off_t>(line.size())) != 0 && errno != EINVAL) {
    NoteFailure(failure);
  }
  if (length != nullptr) *length = failure == 0 ? line.size() : SIZE_MAX;
  return failure;
}
#endif

int ReplaceWithLine(const std::string& line, const std::string& file_name) {
#ifndef _WIN32
  errno = 0;
  const int fd = ::open(file_name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return errno != 0 ? errno : EIO;
  int failure = OverwriteWithLine(fd, line);
  if (::close(fd) != 0) NoteFailure(failure);
  return failure;
#else
  return WriteLine(line, file_name, "wb");
#endif
}

}  // namespace

bool WriteTextFile(const std::string& text, std::string& file_name, bool append,
                   const std::string& application_folder, Notifier& notifier) {
  if (file_name.empty()) {
    file_name = application_folder + kPathSeparator + "String1.txt";
  }
  const std::string line = text + "\r\n";
  const int failure = append ? AppendLine(line, file_name) : ReplaceWithLine(line, file_name);
  if (failure == 0) return true;
  notifier.Show(texts::WriteFailed(file_name, ErrorFromErrno(failure).description));
  return false;
}

LineFile::~LineFile() { Close(); }

void LineFile::Close() {
#ifndef _WIN32
  if (fd_ >= 0) ::close(fd_);
#endif
  fd_ = -1;
  open_name_.clear();
  length_ = SIZE_MAX;
}

bool LineFile::Write(const std::string& text, const std::string& file_name, Notifier& notifier) {
#ifndef _WIN32
  if (fd_ >= 0 && file_name != open_name_) Close();
  int failure = 0;
  if (fd_ < 0) {
    errno = 0;
    fd_ = ::open(file_name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ < 0) failure = errno != 0 ? errno : EIO;
    if (fd_ >= 0) open_name_ = file_name;
  }
  if (failure == 0) failure = OverwriteWithLine(fd_, text + "\r\n", &length_);
  if (failure == 0) return true;
  // Opened again at the next line: a folder made meanwhile, or space freed.
  Close();
  notifier.Show(texts::WriteFailed(file_name, ErrorFromErrno(failure).description));
  return false;
#else
  std::string name = file_name;
  return WriteTextFile(text, name, false, std::string(), notifier);
#endif
}

}  // namespace corvanne
