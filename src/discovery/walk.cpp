// The recursive folder walk and the selection of files in each folder.
// Listing a folder is folder_reader's job; the run composes the two steps.
#include "discovery/walk.hpp"

#include <algorithm>
#include <cstdint>

#include "common/file_utils.hpp"
#include "common/platform.hpp"
#include "common/text.hpp"

namespace corvanne {

namespace {

bool EndsInSeparator(const std::string& folder) {
  if (folder.empty()) return false;
  const char last = folder.back();
  return last == '/' || last == kPathSeparator;
}

// Identities of the folders one walk has entered.
struct FolderIdHash {
  size_t operator()(const FolderId& id) const noexcept {
    return std::hash<uint64_t>{}(id.inode) ^ (std::hash<uint64_t>{}(id.device) << 1);
  }
};
using VisitedFolders = std::unordered_set<FolderId, FolderIdHash>;

// Appends the folders below `folder`, whose listing has just been read, each
// followed by the folders below it. A folder this walk has already been in,
// through a link or by its own path, is passed over: a link back up the tree
// would never end, and any second visit would list the same files again.
void AppendFoldersBelow(const std::string& folder, const FolderListing& listing, VisitedFolders& visited,
                        ItemList& result, ListingCache* cache) {
  for (const SubFolder& sub : listing.folders) {
    if (sub.is_link && visited.count(sub.target) != 0) continue;
    std::string path = ChildPath(folder, sub.name);
    FolderListing local;
    FolderListing& child = cache != nullptr ? (*cache)[path] : local;
    if (!ReadFolder(path, child)) continue;  // gone since its parent was read
    if (!visited.insert(child.id).second) continue;
    result.push_back(path);
    AppendFoldersBelow(path, child, visited, result, cache);
  }
}

int32_t ReportCount(size_t count) {
  return count > INT32_MAX ? INT32_MAX : static_cast<int32_t>(count);
}

}  // namespace

void SortByName(FolderListing& listing) {
  std::sort(listing.folders.begin(), listing.folders.end(),
            [](const SubFolder& a, const SubFolder& b) { return a.name < b.name; });
  std::sort(listing.files.begin(), listing.files.end());
}

std::string ChildPath(const std::string& folder, const std::string& name) {
  std::string path;
  path.reserve(folder.size() + 1 + name.size());
  path += folder;
  if (!EndsInSeparator(folder)) path += kPathSeparator;
  path += name;
  return path;
}

FileFilter::FileFilter(std::string_view extension_list, const ItemList& exclusions)
    : exclusions_(exclusions.begin(), exclusions.end()) {
  const std::string types = TrimUpper(extension_list);
  every_type_ = types.empty();
  ItemList items;
  if (!every_type_) SplitToCollection(",", types, items);
  extensions_.insert(items.begin(), items.end());
}

bool FileFilter::Selects(const std::string& full_path) const {
  if (!exclusions_.empty() && exclusions_.count(full_path) != 0) return false;
  if (every_type_) return true;
  return extensions_.count(TrimUpper(GetExtension(full_path))) != 0;
}

ItemList ExclusionItems(std::string_view separator, std::string_view exclusion_list) {
  ItemList items;
  if (!exclusion_list.empty()) SplitToCollection(separator, exclusion_list, items);
  return items;
}

void WalkFoldersBelow(const std::string& folder, ItemList& result, ListingCache* cache) {
  FolderListing local;
  FolderListing& listing = cache != nullptr ? (*cache)[folder] : local;
  if (!ReadFolder(folder, listing)) return;
  VisitedFolders visited{listing.id};
  AppendFoldersBelow(folder, listing, visited, result, cache);
}

void WalkFiles(const std::string& folder, const FileFilter& filter, ItemList& result, const ListingCache* cache) {
  const FolderListing* listing = nullptr;
  if (cache != nullptr) {
    const auto found = cache->find(folder);
    if (found != cache->end()) listing = &found->second;
  }
  FolderListing local;
  if (listing == nullptr) {
    if (!ReadFolder(folder, local)) return;
    listing = &local;
  }
  for (const std::string& name : listing->files) {
    std::string path = ChildPath(folder, name);
    if (filter.Selects(path)) result.push_back(std::move(path));
  }
}

void CollectListedFolders(const ItemList& listed, bool recurse, ItemList& result, ProgressSink& progress,
                          ListingCache* cache) {
  if (!recurse) {
    result.insert(result.end(), listed.begin(), listed.end());
    return;
  }
  const int32_t total = ReportCount(listed.size());
  for (size_t i = 0; i < listed.size(); ++i) {
    progress.FolderStarted(ReportCount(i + 1), total, listed[i]);
    WalkFoldersBelow(listed[i], result, cache);
  }
}

void SelectFilesWith(const ItemList& folders, const FileFilter& filter, ItemList& result, ProgressSink& progress,
                     const ListingCache* cache) {
  const int32_t total = ReportCount(folders.size());
  for (size_t i = 0; i < folders.size(); ++i) {
    progress.FolderStarted(ReportCount(i + 1), total, folders[i]);
    WalkFiles(folders[i], filter, result, cache);
  }
}

void CollectFolders(std::string_view separator, std::string_view list_text, bool recurse, ItemList& result,
                    ProgressSink& progress) {
  ItemList listed;
  SplitToCollection(separator, list_text, listed);
  CollectListedFolders(listed, recurse, result, progress, nullptr);
}

void WalkFolder(const std::string& folder, std::string_view mode, std::string_view exclusion_separator,
                std::string_view exclusion_list, std::string_view extension_list, ItemList& result) {
  std::string walk_mode = TrimUpper(mode);
  if (walk_mode.empty()) walk_mode = "FOLDERS";
  if (walk_mode == "FOLDERS") {
    WalkFoldersBelow(folder, result, nullptr);
  } else if (walk_mode == "FILES") {
    const FileFilter filter(extension_list, ExclusionItems(exclusion_separator, exclusion_list));
    WalkFiles(folder, filter, result, nullptr);
  }
}

void SelectFiles(const ItemList& folders, std::string_view extension_list, std::string_view exclusion_list,
                 std::string_view exclusion_separator, ItemList& result, ProgressSink& progress) {
  const FileFilter filter(extension_list, ExclusionItems(exclusion_separator, exclusion_list));
  SelectFilesWith(folders, filter, result, progress, nullptr);
}

}  // namespace corvanne
