// File size, extension and one-line text write. Failures are shown through
// the caller's notifier and answered with a neutral result, never thrown.
#include "common/file_utils.hpp"

#include <cerrno>
#include <cstdio>
#include <filesystem>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "common/message_texts.hpp"
#include "common/platform.hpp"

namespace corvanne {

namespace fs = std::filesystem;

int64_t GetFileSize(const std::string& path, Notifier& notifier) {
  std::error_code error;
  const std::uintmax_t size = fs::file_size(fs::path(path), error);
  if (error) {
    notifier.Show(texts::StandardError(ErrorFromCode(error)));
    return 0;
  }
  return static_cast<int64_t>(size);
}

std::string GetExtension(const std::string& name) {
  const size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(dot + 1);
}

namespace {

// Before a file is written anew: removes a plain file that has no other name,
// so that the write makes a fresh file instead of cutting the old one. Cutting
// a file that holds data makes ext4 push the old blocks to disk at close
// (auto_da_alloc), which costs milliseconds per call when the marker rows of
// a run rewrite the header file thousands of times. Links, devices and files
// with several names are left alone and cut as before.
void ReleaseOldContent(const std::string& file_name) {
#ifndef _WIN32
  struct stat info {};
  if (::lstat(file_name.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_nlink == 1 && info.st_size > 0) {
    ::unlink(file_name.c_str());  // on failure the open below cuts the file instead
  }
#else
  (void)file_name;
#endif
}

// Writes the line and closes the file; false when any byte may be missing.
// Buffered data reaches the disk only at fflush/fclose, so a full disk is
// reported there rather than at fwrite.
bool WriteLine(const std::string& text, const std::string& file_name, bool append) {
  if (!append) ReleaseOldContent(file_name);
  std::FILE* file = std::fopen(file_name.c_str(), append ? "ab" : "wb");
  if (file == nullptr) return false;
  const std::string line = text + "\r\n";
  bool ok = std::fwrite(line.data(), 1, line.size(), file) == line.size();
  ok = std::fflush(file) == 0 && ok;
  ok = std::fclose(file) == 0 && ok;
  return ok;
}

}  // namespace

void WriteTextFile(const std::string& text, std::string& file_name, bool append,
                   const std::string& application_folder, Notifier& notifier) {
  if (file_name.empty()) {
    file_name = application_folder + kPathSeparator + "String1.txt";
  }
  if (!WriteLine(text, file_name, append)) {
    notifier.Show(texts::WriteFailed());
  }
}

}  // namespace corvanne
