// Folder reading on POSIX systems: opendir/readdir with the entry type that
// readdir reports, so that a walk costs no stat per file.
#if !defined(_WIN32) && !defined(CORVANNE_PORTABLE_FOLDER_READER)

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <system_error>

#include "discovery/discovery.hpp"
#include "discovery/folder_reader.hpp"

namespace corvanne {

namespace {

// Closes the folder stream on every way out.
class FolderStream {
 public:
  explicit FolderStream(DIR* dir) : dir_(dir) {}
  ~FolderStream() { closedir(dir_); }
  FolderStream(const FolderStream&) = delete;
  FolderStream& operator=(const FolderStream&) = delete;
  DIR* get() const { return dir_; }

 private:
  DIR* dir_;  // open, owned
};

[[noreturn]] void ThrowCannotList(const std::string& path, int error) {
  throw WalkError("cannot list folder \"" + path + "\": " + std::generic_category().message(error));
}

FolderId IdOf(const struct stat& info) {
  return FolderId{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
}

// Sorts one entry whose type readdir did not settle (a link, or a file
// system that reports no types) into `listing`. An entry gone since readdir
// is dropped; a link that leads nowhere counts as a file.
void ClassifyByStat(int folder_fd, std::string&& name, bool known_link, FolderListing& listing) {
  struct stat info {};
  if (!known_link) {
    if (fstatat(folder_fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return;
    if (S_ISDIR(info.st_mode)) {
      listing.folders.push_back(SubFolder{std::move(name), false, {}});
      return;
    }
    if (!S_ISLNK(info.st_mode)) {
      listing.files.push_back(std::move(name));
      return;
    }
  }
  if (fstatat(folder_fd, name.c_str(), &info, 0) == 0 && S_ISDIR(info.st_mode)) {
    listing.folders.push_back(SubFolder{std::move(name), true, IdOf(info)});
  } else {
    listing.files.push_back(std::move(name));
  }
}

}  // namespace

bool ReadFolder(const std::string& path, FolderListing& listing) {
  listing = FolderListing{};
  DIR* dir = path.empty() ? nullptr : opendir(path.c_str());
  if (dir == nullptr) {
    // Nothing there, or not a folder: the folder does not exist.
    if (path.empty() || errno == ENOENT || errno == ENOTDIR) return false;
    ThrowCannotList(path, errno);
  }
  FolderStream stream(dir);
  const int folder_fd = dirfd(dir);
  struct stat self {};
  if (fstat(folder_fd, &self) != 0) ThrowCannotList(path, errno);
  listing.id = IdOf(self);

  for (;;) {
    errno = 0;
    const dirent* entry = readdir(dir);
    if (entry == nullptr) {
      if (errno != 0) ThrowCannotList(path, errno);
      break;
    }
    const char* raw = entry->d_name;
    if (raw[0] == '.' && (raw[1] == '\0' || (raw[1] == '.' && raw[2] == '\0'))) continue;
    std::string name(raw);
    switch (entry->d_type) {
      case DT_DIR:
        listing.folders.push_back(SubFolder{std::move(name), false, {}});
        break;
      case DT_LNK:
        ClassifyByStat(folder_fd, std::move(name), true, listing);
        break;
      case DT_UNKNOWN:
        ClassifyByStat(folder_fd, std::move(name), false, listing);
        break;
      default:
        listing.files.push_back(std::move(name));
        break;
    }
  }
  SortByName(listing);
  return true;
}

}  // namespace corvanne

#endif
