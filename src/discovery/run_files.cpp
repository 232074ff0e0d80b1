// The file list of one run: the single configured file, or the folder walk
// and file selection with paths taken relative to the application folder.
#include <filesystem>

#include "common/file_utils.hpp"
#include "common/platform.hpp"
#include "discovery/discovery.hpp"
#include "discovery/walk.hpp"

namespace corvanne {

namespace {

void ResolveAll(const std::string& base, ItemList& items) {
  for (std::string& item : items) item = ResolveFrom(base, item);
}

std::string AbsoluteFolder(const std::string& folder) {
  if (folder.empty()) return folder;
  return TextFromPath(std::filesystem::absolute(PathFromText(folder)));
}

}  // namespace

bool IsSingleFileMode(const SourceSettings& configured) {
  return !configured.FileNameWithPath.empty() && configured.FoldersList.empty();
}

ResolvedSource ResolveSource(const SourceSettings& configured, const std::string& application_folder) {
  const std::string base = AbsoluteFolder(application_folder);
  ResolvedSource resolved;
  resolved.single_file = ResolveFrom(base, configured.FileNameWithPath);
  SplitToCollection(configured.FoldersSepChar, configured.FoldersList, resolved.folders);
  ResolveAll(base, resolved.folders);
  resolved.exclusions = ExclusionItems(configured.ExclusionSepChar, configured.ExclusionList);
  ResolveAll(base, resolved.exclusions);
  return resolved;
}

ItemList SelectListedFiles(const ItemList& listed, bool recurse, const FileFilter& filter, ProgressSink& progress,
                           ListingCache& cache, ItemList* searched) {
  // The walk reads every folder below the listed ones; the selection then
  // takes their files from the same listings instead of reading them again.
  ItemList folders;
  CollectListedFolders(listed, recurse, folders, progress, &cache);
  ItemList files;
  SelectFilesWith(folders, filter, files, progress, &cache, searched);
  return files;
}

ItemList ListedFolders(const SourceSettings& configured, const std::string& application_folder) {
  if (IsSingleFileMode(configured)) return {};
  return ResolveSource(configured, application_folder).folders;
}

RunFileList CollectRunFileList(const ResolvedSource& source, const FileSelection& selection, ProgressSink& progress) {
  RunFileList list;
  if (selection.single_file) {
    list.files.push_back(source.single_file);
    return list;
  }
  const FileFilter filter(selection.extensions, source.exclusions);
  ListingCache cache;
  ItemList folders;
  CollectListedFolders(source.folders, selection.recurse, folders, progress, &cache);
  SelectFilesReleasing(folders, filter, list.files, progress, cache, &list.searched);
  list.listed = source.folders;
  return list;
}

FileSelection SelectionOf(const SourceSettings& configured) {
  return FileSelection{IsSingleFileMode(configured), !configured.AvoidRecursion, configured.FileExtensions};
}

RunFileList CollectRunFileList(const SourceSettings& configured, ProgressSink& progress,
                               const std::string& application_folder) {
  return CollectRunFileList(ResolveSource(configured, application_folder), SelectionOf(configured), progress);
}

ItemList CollectRunFiles(const SourceSettings& configured, ProgressSink& progress,
                         const std::string& application_folder) {
  return CollectRunFileList(configured, progress, application_folder).files;
}

ItemList CollectRunFiles(const SourceSettings& configured, ProgressSink& progress) {
  return CollectRunFiles(configured, progress, std::string());
}

}  // namespace corvanne
