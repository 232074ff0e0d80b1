// The folder walk and the file selection over lists already cut into items,
// with a memory of folder listings so that a run reads each folder once.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "discovery/discovery.hpp"
#include "discovery/folder_reader.hpp"

namespace corvanne {

// Folder listings read during one run, keyed by the folder's path as listed.
// The folder walk fills it; the file selection reuses what it finds there.
using ListingCache = std::unordered_map<std::string, FolderListing>;

// Decides, from its full path, whether a file is selected: not an exclusion
// item, and of a listed type (every type when the extension list is blank).
class FileFilter {
 public:
  // `extension_list` as configured (trimmed and upper-cased here, cut at ",");
  // `exclusions` the exclusion items, compared exactly with full paths.
  FileFilter(std::string_view extension_list, const ItemList& exclusions);

  // True when the file at `full_path` is selected.
  bool Selects(const std::string& full_path) const;

 private:
  bool every_type_ = false;                     // extension list blank: select all
  std::unordered_set<std::string> extensions_;  // upper-cased types that select
  std::unordered_set<std::string> exclusions_;  // full paths passed over
};

// The exclusion items of `exclusion_list` cut at `separator`; none when the
// list is empty.
ItemList ExclusionItems(std::string_view separator, std::string_view exclusion_list);

// Appends every folder below `folder` (not `folder` itself), depth-first,
// names in byte order. Real sub-folders are always walked; a folder link only
// when its target lies outside `folder`'s tree and has not been walked yet.
// Listings read go into `cache` when given. A missing folder adds nothing.
// Throws WalkError.
void WalkFoldersBelow(const std::string& folder, ItemList& result, ListingCache* cache);

// Appends the selected files directly in `folder`, names in byte order;
// takes the listing from `cache` when it holds one. False when there is no
// such folder (nothing appended). Throws WalkError.
bool WalkFiles(const std::string& folder, const FileFilter& filter, ItemList& result, const ListingCache* cache);

// CollectFolders over items already cut: `listed` as they are when not
// `recurse`, else the folders below each, each listed folder reported to
// `progress`; a folder link is followed only out of every listed folder's
// tree. Throws WalkError.
void CollectListedFolders(const ItemList& listed, bool recurse, ItemList& result, ProgressSink& progress,
                          ListingCache* cache);

// SelectFiles with a prepared filter, each folder reported to `progress`.
// Each folder that was there and listed goes into `searched` when given.
// Throws WalkError.
void SelectFilesWith(const ItemList& folders, const FileFilter& filter, ItemList& result, ProgressSink& progress,
                     const ListingCache* cache, ItemList* searched = nullptr);

// SelectFilesWith over listings all in `cache`, each let go once its
// folder's last place in `folders` is done: the listings of a big tree and
// its file list are never held whole together. Throws WalkError.
void SelectFilesReleasing(const ItemList& folders, const FileFilter& filter, ItemList& result, ProgressSink& progress,
                          ListingCache& cache, ItemList* searched);

// The configured source with its lists cut into items and relative paths
// taken from the application folder.
struct ResolvedSource {
  std::string single_file;  // SOURCE_TEXT_FILE_NAME_WITH_PATH, resolved
  ItemList folders;         // SOURCE_FOLDERS_LIST items, resolved
  ItemList exclusions;      // SOURCE_FILES_EXCLUSION_LIST items, resolved; none when the list is empty
};

// `configured` resolved against `application_folder` (made absolute first;
// empty: relative paths stay relative to the current folder).
ResolvedSource ResolveSource(const SourceSettings& configured, const std::string& application_folder);

// How the files of the resolved source are chosen.
struct FileSelection {
  bool single_file = false;  // the one configured file, no walk
  bool recurse = true;       // the folders below the listed ones, not they
  std::string extensions;    // SOURCE_FILE_EXTENSIONS_COMMA_SEP_LIST as configured
};

// The selection `configured` describes.
FileSelection SelectionOf(const SourceSettings& configured);

// CollectRunFileList over a source resolved already. Throws WalkError.
RunFileList CollectRunFileList(const ResolvedSource& source, const FileSelection& selection, ProgressSink& progress);

// The folder-mode file list: the folders to search below (or at) `listed`,
// then their files that `filter` selects. Each folder is read once; the
// listings stay in `cache` for the caller. The folders searched go into
// `searched` when given. Throws WalkError.
ItemList SelectListedFiles(const ItemList& listed, bool recurse, const FileFilter& filter, ProgressSink& progress,
                           ListingCache& cache, ItemList* searched = nullptr);

}  // namespace corvanne
