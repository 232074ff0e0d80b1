// Folder reading on Windows: FindFirstFileExW, whose entries carry their
// attributes, so that a walk costs no look per file. Names arrive as UTF-16
// and leave as UTF-8, whatever the ANSI code page; long paths go through
// WidePath.
#if defined(_WIN32) && !defined(CORVANNE_PORTABLE_FOLDER_READER)

#include <windows.h>

#include <string>

#include "common/platform.hpp"
#include "discovery/discovery.hpp"
#include "discovery/folder_reader.hpp"

namespace corvanne {

namespace {

// Closes the search on every way out.
class FolderSearch {
 public:
  explicit FolderSearch(HANDLE handle) : handle_(handle) {}
  ~FolderSearch() { FindClose(handle_); }
  FolderSearch(const FolderSearch&) = delete;
  FolderSearch& operator=(const FolderSearch&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;  // open, owned
};

[[noreturn]] void ThrowCannotList(const std::string& path, DWORD error) {
  throw WalkError("cannot list folder \"" + path + "\": " + ErrorFromWindows(error).description);
}

bool Missing(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_DIRECTORY ||
         error == ERROR_INVALID_NAME || error == ERROR_BAD_PATHNAME || error == ERROR_BAD_NETPATH;
}

// The folder's identity: its volume's serial number and its file index,
// which links and junctions share with their target. False when the folder
// cannot be opened to ask.
bool IdOf(const std::wstring& wide_path, FolderId& id, DWORD& error) {
  HANDLE handle = CreateFileW(wide_path.c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    error = GetLastError();
    return false;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  const bool got = GetFileInformationByHandle(handle, &info) != 0;
  error = got ? 0 : GetLastError();
  CloseHandle(handle);
  if (!got) return false;
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    error = ERROR_DIRECTORY;
    return false;
  }
  id = FolderId{info.dwVolumeSerialNumber, (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
  return true;
}

}  // namespace

bool ReadFolder(const std::string& path, FolderListing& listing) {
  listing = FolderListing{};
  if (path.empty()) return false;
  const std::wstring wide = WidePath(path);
  DWORD error = 0;
  if (!IdOf(wide, listing.id, error)) {
    if (Missing(error)) return false;
    ThrowCannotList(path, error);
  }
  std::wstring pattern = wide;
  if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/') pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW entry{};
  HANDLE handle = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr,
                                   FIND_FIRST_EX_LARGE_FETCH);
  if (handle == INVALID_HANDLE_VALUE) {
    error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return true;  // not even "." : an empty root
    if (Missing(error)) return false;
    ThrowCannotList(path, error);
  }
  FolderSearch search(handle);
  do {
    const wchar_t* raw = entry.cFileName;
    if (raw[0] == L'.' && (raw[1] == L'\0' || (raw[1] == L'.' && raw[2] == L'\0'))) continue;
    std::string name = TextFromWide(raw);
    const bool folder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool link = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
                      (entry.dwReserved0 == IO_REPARSE_TAG_SYMLINK || entry.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT);
    if (!folder) {
      listing.files.push_back(std::move(name));
      continue;
    }
    if (!link) {
      listing.folders.push_back(SubFolder{std::move(name), false, {}});
      continue;
    }
    // A link or junction to a folder: where it leads decides whether the
    // walk enters it; one that leads nowhere counts as a file, as elsewhere.
    FolderId target;
    DWORD ignored = 0;
    if (IdOf(WidePath(ChildPath(path, name)), target, ignored)) {
      listing.folders.push_back(SubFolder{std::move(name), true, target});
    } else {
      listing.files.push_back(std::move(name));
    }
  } while (FindNextFileW(search.get(), &entry) != 0);
  error = GetLastError();
  if (error != ERROR_NO_MORE_FILES) ThrowCannotList(path, error);
  SortByName(listing);
  return true;
}

}  // namespace corvanne

#endif
