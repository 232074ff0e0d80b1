// Findings about the configured source: the lists as written, then a run's
// walk compared with what the lists ask for.
#include "discovery/source_check.hpp"

#include <algorithm>
#include <filesystem>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "common/platform.hpp"
#include "common/text.hpp"
#include "discovery/discovery.hpp"
#include "discovery/folder_reader.hpp"
#include "discovery/walk.hpp"

namespace corvanne {

namespace {

namespace fs = std::filesystem;

constexpr size_t kFirstFew = 3;  // files named in a passed-over finding

void Warn(Findings& findings, std::string text) { findings.push_back({Severity::kWarning, std::move(text)}); }
void Fail(Findings& findings, std::string text) { findings.push_back({Severity::kError, std::move(text)}); }

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

bool HasOuterBlank(std::string_view item) { return !item.empty() && (item.front() == ' ' || item.back() == ' '); }

// Findings on a list's separator. False when the items are not worth looking
// at: the list is empty, or an empty separator cuts it into empty items.
bool CheckSeparator(const char* list_key, const char* separator_key, std::string_view separator, std::string_view list,
                    const char* consequence, Findings& findings) {
  if (list.empty()) return false;
  if (separator.empty()) {
    Warn(findings, std::string(separator_key) + " is empty: " + list_key + " is cut at every character into " +
                       std::to_string(list.size() + 1) + " empty items, so " + consequence);
    return false;
  }
  if (separator.size() > 1) {
    Warn(findings, std::string(separator_key) + " " + Quoted(separator) + " has " + std::to_string(separator.size()) +
                       " characters: only the first is dropped between items, the others begin the next item");
  }
  return true;
}

void CheckItemBlanks(const char* list_key, const ItemList& items, const char* what, Findings& findings) {
  for (const std::string& item : items) {
    if (HasOuterBlank(item)) {
      Warn(findings, std::string(list_key) + ": item " + Quoted(item) +
                         " begins or ends with a blank; the blank is part of the " + what);
    }
  }
}

// Only the text after a file's last dot, trimmed, is compared with the
// items, so an item with blanks at its ends or a leading dot matches nothing.
void CheckExtensions(std::string_view extension_list, Findings& findings) {
  const std::string list = TrimBlanks(extension_list);
  if (list.empty()) return;
  ItemList items;
  SplitToCollection(",", list, items);
  // The list as meant: cut at every character people use between items,
  // each piece without its dots and blanks.
  std::string fixed;
  for (size_t at = 0; at < list.size();) {
    const size_t end = std::min(list.find_first_of(",; |", at), list.size());
    std::string piece = list.substr(at, end - at);
    piece.erase(0, piece.find_first_not_of('.'));
    if (!piece.empty()) fixed += (fixed.empty() ? "" : ",") + piece;
    at = end + 1;
  }
  for (const std::string& item : items) {
    const char* why = nullptr;
    if (item.find_first_of(";|") != std::string::npos) {
      why = " holds a separator other than \",\" (only \",\" separates items)";
    } else if (HasOuterBlank(item)) {
      why = " begins or ends with a blank";
    } else if (item.starts_with('.')) {
      why = " begins with a dot";
    } else {
      continue;
    }
    Warn(findings, "SOURCE_FILE_EXTENSIONS_COMMA_SEP_LIST: item " + Quoted(item) + why +
                       " and matches no file; write the list as " + fixed);
  }
}

// Only VBCRLF (any case) means a line break; anything else is cut at as
// written, so a line break spelt the way code writes it makes each file one row.
void CheckRowDelimiter(const std::string& delimiter, Findings& findings) {
  static const char* const kSpelt[] = {"VBLF", "VBCR", "VBNEWLINE", "\\N", "\\R\\N", "\\R", "CRLF", "LF", "CR",
                                       "CHR(10)", "CHR(13)", "CHR(13)+CHR(10)", "CHR(13) & CHR(10)"};
  const std::string word = TrimUpper(delimiter);
  for (const char* spelt : kSpelt) {
    if (word != spelt) continue;
    Warn(findings, "SOURCE_FILE_ROW_DELIMITER " + Quoted(delimiter) +
                       " is cut at as the text itself, not as a line break, so each file would be one row; write "
                       "VBCRLF (a line feed alone also ends a line)");
    return;
  }
}

void CheckListedFolders(const ItemList& written, const ItemList& resolved, Findings& findings) {
  for (size_t i = 0; i < resolved.size(); ++i) {
    if (written[i].empty()) continue;
    std::error_code error;
    const fs::file_status status = fs::status(resolved[i], error);
    if (status.type() == fs::file_type::not_found) {
      Warn(findings, "SOURCE_FOLDERS_LIST: folder " + Quoted(resolved[i]) + " does not exist");
    } else if (!error && status.type() != fs::file_type::directory) {
      Warn(findings, "SOURCE_FOLDERS_LIST: " + Quoted(resolved[i]) + " is not a folder");
    }
  }
}

// The folder part of a path as the walk spells it ("/src/a" of
// "/src/a/x.bas"; "/" of "/x.bas"): looked up for every walked file, so no
// copy is made.
std::string_view FolderOf(std::string_view path) {
  while (path.size() > 1 && path.back() == kPathSeparator) path.remove_suffix(1);
  const std::size_t cut = path.rfind(kPathSeparator);
  if (cut == std::string_view::npos) return {};
  const bool root = cut == 0 || (kPathSeparator == '\\' && cut == 2 && path[1] == ':');
  return path.substr(0, root ? cut + 1 : cut);
}

// Folders spelled as FolderOf spells the folder of a file in them; the
// views point into `folders`.
std::unordered_set<std::string_view> FolderKeys(const ItemList& folders, ItemList& keys) {
  keys.clear();
  for (std::string key : folders) {
    while (key.size() > 1 && key.back() == kPathSeparator) key.pop_back();
    keys.push_back(key + kPathSeparator + "x");
  }
  std::unordered_set<std::string_view> set;
  for (const std::string& key : keys) set.insert(FolderOf(key));
  return set;
}

// The folder's entries as read now; none when it is not there or cannot be
// read (the run's own walk says so).
FolderListing ListingOf(const std::string& folder) {
  FolderListing listing;
  try {
    if (ReadFolder(folder, listing)) return listing;
  } catch (const WalkError&) {
  }
  return {};
}

// With recursion on, a listed folder's own files are never searched: each
// listed folder is read once more (only they are) for the selected-type
// files lying directly in it. `selected` holds at least those of them a run
// selects.
void CheckPassedOver(const ResolvedSource& source, const FileFilter& filter,
                     const std::unordered_set<std::string>& selected, Findings& findings) {
  std::unordered_set<std::string> seen;
  for (const std::string& folder : source.folders) {
    if (folder.empty() || !seen.insert(folder).second) continue;
    FolderListing listing = ListingOf(folder);
    SortByName(listing);
    ItemList names;
    for (const std::string& name : listing.files) {
      const std::string path = ChildPath(folder, name);
      if (filter.Selects(path) && selected.count(path) == 0) names.push_back(name);
    }
    if (names.empty()) continue;
    std::string few;
    for (size_t i = 0; i < names.size() && i < kFirstFew; ++i) few += (i == 0 ? "" : ", ") + names[i];
    if (names.size() > kFirstFew) few += ", ...";
    Warn(findings, "SOURCE_FOLDERS_LIST: " + Quoted(folder) + " holds " + std::to_string(names.size()) +
                       (names.size() == 1 ? " file" : " files") +
                       " of a selected type directly, which a run passes over: with recursion on, only the folders "
                       "below a listed folder are searched (" +
                       few + ")");
  }
}

void CheckSingleFile(const std::string& path, Findings& findings) {
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (status.type() == fs::file_type::not_found) {
    Fail(findings, "SOURCE_TEXT_FILE_NAME_WITH_PATH: file " + Quoted(path) + " does not exist; its load would fail");
  } else if (!error && status.type() != fs::file_type::regular) {
    Fail(findings, "SOURCE_TEXT_FILE_NAME_WITH_PATH: " + Quoted(path) + " is not a file; its load would fail");
  }
}

}  // namespace

void CheckSourceLists(const SourceSettings& configured, const std::string& application_folder, Findings& findings) {
  const ResolvedSource source = ResolveSource(configured, application_folder);
  CheckRowDelimiter(configured.RowDelimiter, findings);
  if (IsSingleFileMode(configured)) {
    CheckSingleFile(source.single_file, findings);
    return;
  }
  if (!configured.FileNameWithPath.empty()) {
    Warn(findings, "SOURCE_TEXT_FILE_NAME_WITH_PATH is not used: SOURCE_FOLDERS_LIST is set, and folders win");
  }
  ItemList written;
  SplitToCollection(configured.FoldersSepChar, configured.FoldersList, written);
  if (CheckSeparator("SOURCE_FOLDERS_LIST", "SOURCE_FOLDERS_LIST_SEP_CHAR", configured.FoldersSepChar,
                     configured.FoldersList, "no folder is searched (a single folder needs a separator too)",
                     findings)) {
    CheckItemBlanks("SOURCE_FOLDERS_LIST", written, "folder name", findings);
    CheckListedFolders(written, source.folders, findings);
  }
  const ItemList written_exclusions = ExclusionItems(configured.ExclusionSepChar, configured.ExclusionList);
  if (CheckSeparator("SOURCE_FILES_EXCLUSION_LIST", "SOURCE_FILES_EXCLUSION_LIST_SEP_CHAR",
                     configured.ExclusionSepChar, configured.ExclusionList, "no file is excluded", findings)) {
    CheckItemBlanks("SOURCE_FILES_EXCLUSION_LIST", written_exclusions, "path", findings);
  }
  CheckExtensions(configured.FileExtensions, findings);
}

void CheckWalkedSource(const SourceSettings& configured, const std::string& application_folder,
                       const RunFileList& list, Findings& findings) {
  if (IsSingleFileMode(configured)) return;
  const ResolvedSource source = ResolveSource(configured, application_folder);
  const FileFilter run_filter(configured.FileExtensions, source.exclusions);
  if (!configured.AvoidRecursion) {
    // The few files of the list that lie directly in a listed folder (one
    // listed below another): the walk's list is looked at, never copied.
    ItemList keys;
    const std::unordered_set<std::string_view> listed = FolderKeys(source.folders, keys);
    std::unordered_set<std::string> selected;
    for (const std::string& path : list.files) {
      if (listed.count(FolderOf(path)) != 0) selected.insert(path);
    }
    CheckPassedOver(source, run_filter, selected, findings);
  }
  // An item matches a file when the walk searched the file's folder, its type
  // is selected and its folder holds that name, spelled exactly (letter
  // case too, where the file system ignores it): what the run passed over.
  std::unordered_map<std::string, std::unordered_set<std::string>> names;  // by folder, read once
  const bool exclusions_usable = !configured.ExclusionList.empty() && !configured.ExclusionSepChar.empty();
  const ItemList written_exclusions = ExclusionItems(configured.ExclusionSepChar, configured.ExclusionList);
  ItemList keys;
  const std::unordered_set<std::string_view> searched = FolderKeys(list.searched, keys);
  const FileFilter type_filter(configured.FileExtensions, {});
  for (size_t i = 0; exclusions_usable && i < source.exclusions.size(); ++i) {
    const std::string& item = source.exclusions[i];
    if (written_exclusions[i].empty()) continue;
    const std::string_view folder = FolderOf(item);
    if (searched.count(folder) != 0 && type_filter.Selects(item)) {
      auto [listed, fresh] = names.try_emplace(std::string(folder));
      if (fresh) {
        const FolderListing listing = ListingOf(listed->first);
        listed->second.insert(listing.files.begin(), listing.files.end());
      }
      const std::size_t skip = folder.size() + (folder.back() == kPathSeparator ? 0 : 1);
      if (listed->second.count(item.substr(std::min(skip, item.size()))) != 0) continue;
    }
    Warn(findings,
         "SOURCE_FILES_EXCLUSION_LIST: item " + Quoted(written_exclusions[i]) +
             " matches no file a run would select (paths are compared exactly, letter case included" +
             (written_exclusions[i] == item ? "" : "; looked for as " + Quoted(item)) + ")");
  }
  if (list.files.empty()) Warn(findings, "no file is selected: a run would load nothing");
}

void CheckSource(const SourceSettings& configured, const std::string& application_folder, Findings& findings) {
  CheckSourceLists(configured, application_folder, findings);
  if (IsSingleFileMode(configured)) return;
  // One walk as a run does it.
  NoProgress silent;
  RunFileList list;
  try {
    list = CollectRunFileList(configured, silent, application_folder);
  } catch (const WalkError& error) {
    Fail(findings, std::string(error.what()) + "; a run would stop there (exit status 2)");
    return;
  }
  CheckWalkedSource(configured, application_folder, list, findings);
}

}  // namespace corvanne
