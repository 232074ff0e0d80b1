// Turns the configured folder and file lists into the ordered list of files
// a run loads. Walks and selects; loads nothing.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "common/progress.hpp"
#include "config/settings.hpp"

namespace corvanne {

// Ordered list of text items: appended to only, duplicates kept, never sorted.
using ItemList = std::vector<std::string>;

// A folder whose contents cannot be listed. Ends the run; what() names the
// folder and the cause, e.g. `cannot list folder "/src/a": Permission denied`.
class WalkError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Appends the items of `list_text` cut at `separator` (see the cutting rule:
// items not trimmed, a trailing separator gives an empty last item, an empty
// separator is found at position 1, only one character of it is skipped; a
// character is a code point of the UTF-8 text).
void SplitToCollection(std::string_view separator, std::string_view list_text, ItemList& target);

// True when `text` equals one item of `list_text` cut at `separator`, exactly.
bool IsInList(std::string_view text, std::string_view list_text, std::string_view separator);

// Fills `result` with the folders to search: the listed folders themselves
// when `recurse` is false; every folder below them (not they) when true,
// depth-first, names in byte order, reporting each listed folder to
// `progress`. Throws WalkError.
void CollectFolders(std::string_view separator, std::string_view list_text, bool recurse, ItemList& result,
                    ProgressSink& progress);

// Looks into one folder. Mode "FOLDERS" (or empty) appends every folder
// below it; "FILES" appends its selected files; any other mode adds nothing.
// A missing folder adds nothing. Throws WalkError.
void WalkFolder(const std::string& folder, std::string_view mode, std::string_view exclusion_separator,
                std::string_view exclusion_list, std::string_view extension_list, ItemList& result);

// Appends the selected files of every folder of `folders`, reporting each
// folder to `progress`. Throws WalkError.
void SelectFiles(const ItemList& folders, std::string_view extension_list, std::string_view exclusion_list,
                 std::string_view exclusion_separator, ItemList& result, ProgressSink& progress);

// True when a run loads the one configured file: FileNameWithPath not empty
// and FoldersList empty (exactly empty; blanks are not empty).
bool IsSingleFileMode(const SourceSettings& configured);

// The file list of a run in run order: in folder mode CollectFolders (recurse
// unless AvoidRecursion) then SelectFiles; in single-file mode the one file.
// Empty files are included. Relative folder items, exclusion items and the
// single file are taken relative to `application_folder` (the configuration
// file's folder; made absolute first), so every listed path is absolute; an
// empty `application_folder` leaves them relative to the current folder.
// Each folder is read once per run. Throws WalkError.
ItemList CollectRunFiles(const SourceSettings& configured, ProgressSink& progress,
                         const std::string& application_folder);

// A run's file list with what the walk learned on the way, for the rules
// that decide whether a recorded file is gone.
struct RunFileList {
  ItemList files;     // in run order (the single file in single-file mode)
  ItemList listed;    // folder mode: the listed folders, resolved
  ItemList searched;  // folder mode: every folder whose files were selected, each listed without error
};

// CollectRunFiles with the listed and searched folders. Throws WalkError.
RunFileList CollectRunFileList(const SourceSettings& configured, ProgressSink& progress,
                               const std::string& application_folder);

// The listed folders of folder mode, each taken relative to
// `application_folder` as CollectRunFiles takes them; empty in single-file
// mode.
ItemList ListedFolders(const SourceSettings& configured, const std::string& application_folder);

// As above with relative paths left relative to the current folder.
ItemList CollectRunFiles(const SourceSettings& configured, ProgressSink& progress);

}  // namespace corvanne
