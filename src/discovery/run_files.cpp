// The file list of one run: the single configured file, or the folder walk
// and file selection with paths taken relative to the application folder.
#include <filesystem>

#include "discovery/discovery.hpp"
#include "discovery/walk.hpp"

namespace corvanne {

namespace {

// `item` taken relative to `base` when it is a relative path; leading "./"
// steps are dropped so that "./Forms" and "Forms" name the same folder text.
// Empty items stay empty: they name nothing.
std::string Resolve(const std::string& base, const std::string& item) {
  if (base.empty() || item.empty() || !std::filesystem::path(item).is_relative()) return item;
  std::string_view rest = item;
  while (rest.size() >= 2 && rest[0] == '.' && (rest[1] == '/' || rest[1] == '\\')) rest.remove_prefix(2);
  if (rest == ".") rest = {};
  std::string resolved = base;
  if (!rest.empty()) resolved = ChildPath(base, std::string(rest));
  return resolved;
}

void ResolveAll(const std::string& base, ItemList& items) {
  for (std::string& item : items) item = Resolve(base, item);
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
    files.push_back(Resolve(base, configured.FileNameWithPath));
    return files;
  }

  ItemList listed;
  SplitToCollection(configured.FoldersSepChar, configured.FoldersList, listed);
  ResolveAll(base, listed);
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

ItemList CollectRunFiles(const SourceSettings& configured, const Progress& progress) {
  return CollectRunFiles(configured, progress, std::string());
}

}  // namespace corvanne
