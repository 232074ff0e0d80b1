// File size, extension and one-line text write. Failures are shown through
// the caller's notifier and answered with a neutral result, never thrown.
#include "common/file_utils.hpp"

#include <cerrno>
#include <cstdio>
#include <filesystem>

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

// Writes the line and closes the file; false when any byte may be missing.
// Buffered data reaches the disk only at fflush/fclose, so a full disk is
// reported there rather than at fwrite.
//
// A file written anew is overwritten in place and then cut to length rather
// than cut to zero first: a run rewrites its header file twice per source
// file, and cutting a file that holds data makes ext4 force its blocks to
// disk at close (milliseconds a time); removing and creating it costs more
// system calls than this. The file keeps its owner and permissions, and
// afterwards holds the same bytes either way.
bool WriteLine(const std::string& text, const std::string& file_name, bool append) {
  std::FILE* file = std::fopen(file_name.c_str(), append ? "ab" : "r+b");
  if (file == nullptr && !append) file = std::fopen(file_name.c_str(), "wb");
  if (file == nullptr) return false;
  const std::string line = text + "\r\n";
  bool ok = std::fwrite(line.data(), 1, line.size(), file) == line.size();
  ok = std::fflush(file) == 0 && ok;
  ok = std::fclose(file) == 0 && ok;
  if (!ok || append) return ok;
  std::error_code error;
  if (!fs::is_regular_file(fs::path(file_name), error)) return !error;  // a device has no length to cut
  fs::resize_file(fs::path(file_name), line.size(), error);
  return !error;
}

}  // namespace

bool WriteTextFile(const std::string& text, std::string& file_name, bool append,
                   const std::string& application_folder, Notifier& notifier) {
  if (file_name.empty()) {
    file_name = application_folder + kPathSeparator + "String1.txt";
  }
  if (WriteLine(text, file_name, append)) return true;
  notifier.Show(texts::WriteFailed());
  return false;
}

}  // namespace corvanne
