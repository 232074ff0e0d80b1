// The file list of one run: the single configured file, or the folder walk
// and file selection with paths taken relative to the application folder.
#include <filesystem>

#include "common/file_utils.hpp"
#include "discovery/discovery.hpp"
#include "discovery/walk.hpp"

namespace corvanne {

namespace {

void ResolveAll(const std::string& base, ItemList& items) {
  for (std::string& item : items) item = ResolveFrom(base, item);
}

std::string AbsoluteFolder(const std::string& folder) {
  if (folder.empty()) return folder;
  return std::filesystem::absolute(folder).string();
}

}  // namespace

bool IsSingleFileMode(const SourceSettings& configured) {
  return !configured.FileNameWithPath.empty() && configured.FoldersList.empty();
}

ItemList CollectRunFiles(const SourceSettings& configured, const Progress& progress,
                         const std::string& application_folder) {
  const std::string base = AbsoluteFolder(application_folder);
  ItemList files;
  if (IsSingleFileMode(configured)) {
    files.push_back(ResolveFrom(base, configured.FileNameWithPath));
    return files;
  }

  const ItemList listed = ListedFolders(configured, application_folder);
  ItemList exclusions = ExclusionItems(configured.ExclusionSepChar, configured.ExclusionList);
  ResolveAll(base, exclusions);
  const FileFilter filter(configured.FileExtensions, exclusions);

  // The walk reads every folder below the listed ones; the selection then
  // takes their files from the same listings instead of reading them again.
  ListingCache cache;
  ItemList folders;
  CollectListedFolders(listed, !configured.AvoidRecursion, folders, progress, &cache);
  SelectFilesWith(folders, filter, files, progress, &cache);
  return files;
}

ItemList ListedFolders(const SourceSettings& configured, const std::string& application_folder) {
  ItemList listed;
  if (IsSingleFileMode(configured)) return listed;
  SplitToCollection(configured.FoldersSepChar, configured.FoldersList, listed);
  ResolveAll(AbsoluteFolder(application_folder), listed);
  return listed;
}

ItemList CollectRunFiles(const SourceSettings& configured, const Progress& progress) {
  return CollectRunFiles(configured, progress, std::string());
}

}  // namespace corvanne
