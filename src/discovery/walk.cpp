// The recursive folder walk and the selection of files in each folder.
// Listing a folder is folder_reader's job; the run composes the two steps.
#include "discovery/walk.hpp"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "common/file_utils.hpp"
#include "common/platform.hpp"
#include "common/text.hpp"

namespace corvanne {

namespace {

namespace fs = std::filesystem;

// A real path with '/' between its steps, so that trees compare the same
// whichever separator the platform writes.
std::string GenericText(const fs::path& path) {
  std::string text = TextFromPath(path);
#ifdef _WIN32
  std::replace(text.begin(), text.end(), '\\', '/');
#endif
  return text;
}

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

// The walk below the listed folders. Every real sub-folder is entered, so a
// folder is never lost because a link to it came first in name order. A
// folder link is entered only when it leads out of the listed folders'
// trees (inside them its target is walked as a real folder anyway) and to a
// folder this walk has not entered yet, which also ends any loop of links.
class FolderWalk {
 public:
  FolderWalk(const ItemList& listed, ListingCache* cache) : cache_(cache) {
    for (const std::string& folder : listed) {
      std::error_code error;
      const fs::path real = folder.empty() ? fs::path() : fs::canonical(PathFromText(folder), error);
      if (!error && !real.empty()) trees_.push_back(GenericText(real));
    }
  }

  // Appends the folders below `folder` (not it), depth-first, names in byte
  // order. Throws WalkError.
  void AppendBelow(const std::string& folder, ItemList& result) {
    FolderListing& listing = ListingFor(folder);
    if (!ReadFolder(folder, listing)) return;
    VisitedFolders walked{listing.id};
    std::vector<FolderId> ancestors{listing.id};
    AppendChildren(folder, listing, walked, ancestors, result);
  }

 private:
  FolderListing& ListingFor(const std::string& path) { return cache_ != nullptr ? (*cache_)[path] : local_; }

  bool InsideTrees(const std::string& link_path) const {
    std::error_code error;
    const std::string real = GenericText(fs::canonical(PathFromText(link_path), error));
    if (error) return false;
    return std::any_of(trees_.begin(), trees_.end(), [&real](const std::string& tree) {
      return real.starts_with(tree) &&
             (real.size() == tree.size() || tree.back() == '/' || real[tree.size()] == '/');
    });
  }

  void AppendChildren(const std::string& folder, const FolderListing& listing, VisitedFolders& walked,
                      std::vector<FolderId>& ancestors, ItemList& result) {
    for (const SubFolder& sub : listing.folders) {
      std::string path = ChildPath(folder, sub.name);
      if (sub.is_link && (walked.count(sub.target) != 0 || InsideTrees(path))) continue;
      FolderListing local;
      FolderListing& child = cache_ != nullptr ? (*cache_)[path] : local;
      if (!ReadFolder(path, child)) continue;  // gone since its parent was read
      // A real folder that is its own ancestor (a bind mount) would never end.
      if (std::find(ancestors.begin(), ancestors.end(), child.id) != ancestors.end()) continue;
      walked.insert(child.id);
      result.push_back(path);
      ancestors.push_back(child.id);
      AppendChildren(path, child, walked, ancestors, result);
      ancestors.pop_back();
    }
  }

  std::vector<std::string> trees_;  // real paths of the listed folders, '/'-separated
  ListingCache* cache_;             // listings read, when the caller keeps them
  FolderListing local_;             // the listed folder's listing when not kept
};

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
  FolderWalk(ItemList{folder}, cache).AppendBelow(folder, result);
}

bool WalkFiles(const std::string& folder, const FileFilter& filter, ItemList& result, const ListingCache* cache) {
  const FolderListing* listing = nullptr;
  if (cache != nullptr) {
    const auto found = cache->find(folder);
    if (found != cache->end()) listing = &found->second;
  }
  FolderListing local;
  if (listing == nullptr) {
    if (!ReadFolder(folder, local)) return false;
    listing = &local;
  }
  for (const std::string& name : listing->files) {
    std::string path = ChildPath(folder, name);
    if (filter.Selects(path)) result.push_back(std::move(path));
  }
  return true;
}

void CollectListedFolders(const ItemList& listed, bool recurse, ItemList& result, ProgressSink& progress,
                          ListingCache* cache) {
  if (!recurse) {
    result.insert(result.end(), listed.begin(), listed.end());
    return;
  }
  FolderWalk walk(listed, cache);
  const int32_t total = ReportCount(listed.size());
  for (size_t i = 0; i < listed.size(); ++i) {
    progress.FolderStarted(ReportCount(i + 1), total, listed[i]);
    walk.AppendBelow(listed[i], result);
  }
}

void SelectFilesWith(const ItemList& folders, const FileFilter& filter, ItemList& result, ProgressSink& progress,
                     const ListingCache* cache, ItemList* searched) {
  const int32_t total = ReportCount(folders.size());
  for (size_t i = 0; i < folders.size(); ++i) {
    progress.FolderStarted(ReportCount(i + 1), total, folders[i]);
    if (WalkFiles(folders[i], filter, result, cache) && searched != nullptr) searched->push_back(folders[i]);
  }
}

void SelectFilesReleasing(const ItemList& folders, const FileFilter& filter, ItemList& result, ProgressSink& progress,
                          ListingCache& cache, ItemList* searched) {
  // A folder below two listed folders comes twice; its listing must last.
  std::unordered_map<std::string_view, std::size_t> left;
  std::size_t most = result.size();
  for (const std::string& folder : folders) {
    const auto listing = cache.find(folder);
    ++left[folder];
    if (listing != cache.end()) most += listing->second.files.size();
  }
  // Room for every file at once: growing by doubling would hold the list
  // twice for a moment, and up to twice its room for the whole run.
  result.reserve(most);
  const int32_t total = ReportCount(folders.size());
  for (size_t i = 0; i < folders.size(); ++i) {
    progress.FolderStarted(ReportCount(i + 1), total, folders[i]);
    if (WalkFiles(folders[i], filter, result, &cache) && searched != nullptr) searched->push_back(folders[i]);
    if (--left[folders[i]] == 0) cache.erase(folders[i]);
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
