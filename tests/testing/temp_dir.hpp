// Scratch folders and small file helpers shared by the test suites.
// Each test gets its own folder, removed when the fixture ends.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace corvanne::testing {

// A fresh folder under the system's temporary folder; removed (with all it
// holds, permissions restored first) when the object is destroyed.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // Full path of `relative` inside the folder, as text.
  std::string Path(std::string_view relative) const;
  // Writes `bytes` to `relative` exactly, creating parent folders; returns the full path.
  std::string Write(std::string_view relative, std::string_view bytes) const;
  // Creates the folder `relative` (and its parents); returns the full path.
  std::string MakeDir(std::string_view relative) const;

 private:
  std::filesystem::path path_;  // absolute, no trailing separator
};

// `path` written with '/' as the platform writes it: '\\' between the steps
// on Windows, as the program spells every path it shows or stores there.
std::string Native(std::string path);
// An absolute POSIX path ("/app/x") as an absolute path of the platform:
// Native, on drive C: on Windows. Other texts as Native.
std::string Rooted(const std::string& path);

// The whole content of a file as bytes; empty when it cannot be read.
std::string ReadBytes(const std::string& path);

}  // namespace corvanne::testing
