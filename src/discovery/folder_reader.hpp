// Reads the direct contents of one folder, sorted and split into sub-folders
// and files. The only place discovery talks to the operating system.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvanne {

// Identity of a folder on disk, the same whichever path or link leads to it.
struct FolderId {
  uint64_t device = 0;  // file system it lives on
  uint64_t inode = 0;   // its number within that file system

  bool operator==(const FolderId&) const = default;
};

// One direct sub-folder of a folder.
struct SubFolder {
  std::string name;      // name within the folder, as read
  bool is_link = false;  // reached through a symbolic link (or junction)
  FolderId target;       // identity of the folder the link leads to; set only when is_link
};

// The direct contents of one folder, names in byte order.
struct FolderListing {
  FolderId id;                     // identity of the folder itself
  std::vector<SubFolder> folders;  // sub-folders, links to folders included
  std::vector<std::string> files;  // every other entry: files, links to files, dangling links
};

// Reads the folder at `path` into `listing` (replaced whole). Returns false,
// leaving `listing` empty, when nothing is there or it is not a folder (an
// empty path included). Throws WalkError naming the folder and the cause when
// the folder is there but its contents cannot be listed.
bool ReadFolder(const std::string& path, FolderListing& listing);

// Puts the sub-folders and files of `listing` in byte order of their names:
// the platform's own order depends on the file system.
void SortByName(FolderListing& listing);

// `folder` + separator + `name`, without doubling a separator `folder`
// already ends in.
std::string ChildPath(const std::string& folder, const std::string& name);

}  // namespace corvanne
