// Folder reading through std::filesystem, for a system with neither opendir
// nor FindFirstFile. Slower than the others; the same observable results.
#if defined(CORVANNE_PORTABLE_FOLDER_READER)

#include <filesystem>
#include <functional>
#include <system_error>

#include "discovery/discovery.hpp"
#include "discovery/folder_reader.hpp"

namespace corvanne {

namespace {

namespace fs = std::filesystem;

[[noreturn]] void ThrowCannotList(const std::string& path, const std::error_code& error) {
  throw WalkError("cannot list folder \"" + path + "\": " + error.message());
}

// std::filesystem tells no file numbers; the canonical path names a folder
// as uniquely, whichever link leads to it.
FolderId IdOf(const fs::path& folder) {
  std::error_code error;
  const std::string canonical = fs::canonical(folder, error).generic_string();
  if (error) return FolderId{};
  return FolderId{canonical.size(), std::hash<std::string>{}(canonical)};
}

bool Missing(const std::error_code& error) {
  return error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory;
}

}  // namespace

bool ReadFolder(const std::string& path, FolderListing& listing) {
  listing = FolderListing{};
  if (path.empty()) return false;
  const fs::path folder(path);
  std::error_code error;
  if (!fs::is_directory(folder, error)) {
    if (error && !Missing(error)) ThrowCannotList(path, error);
    return false;
  }
  listing.id = IdOf(folder);
  fs::directory_iterator entry(folder, error);
  if (error) ThrowCannotList(path, error);
  for (; entry != fs::directory_iterator(); entry.increment(error)) {
    std::string name = entry->path().filename().string();
    std::error_code ignored;  // an entry gone or unreadable is not a folder
    if (entry->is_directory(ignored)) {
      const bool is_link = entry->is_symlink(ignored);
      listing.folders.push_back(SubFolder{std::move(name), is_link, is_link ? IdOf(entry->path()) : FolderId{}});
    } else {
      listing.files.push_back(std::move(name));
    }
  }
  if (error) ThrowCannotList(path, error);
  SortByName(listing);
  return true;
}

}  // namespace corvanne

#endif
