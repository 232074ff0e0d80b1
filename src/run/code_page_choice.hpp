// Which code page each source file of a run is read in: the item of
// SOURCE_FILE_CODE_PAGES_BY_FOLDER whose folder holds it, else
// SOURCE_FILE_CODE_PAGE; and what in those settings a run refuses.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "config/settings.hpp"

namespace corvanne {

// A folder and the code page of the files below it.
struct FolderCodePage {
  std::string folder;     // absolute, lexically normal, no separator at its end
  std::string code_page;  // as written, e.g. "950" or "AUTO"
};

// The items of SOURCE_FILE_CODE_PAGES_BY_FOLDER, split with
// SOURCE_FOLDERS_LIST_SEP_CHAR as the folder list is; each item is cut at
// its last "=" (a folder name may hold one, a code page never), the folder
// taken from `application_folder` as the listed folders are. Items that are
// empty or blank are skipped. `problems`, when given, receives one text per
// item that has no "=" or no folder, or whose code page is not known; such
// items are left out.
std::vector<FolderCodePage> FolderCodePages(const SourceSettings& source, const std::string& application_folder,
                                            std::vector<std::string>* problems = nullptr);

// The index of the item with the longest folder holding the file at `path`
// (absolute, as the walk gives it), or -1 when none holds it.
std::ptrdiff_t FolderItemFor(const std::vector<FolderCodePage>& folders, const std::string& path);

// The code page value for the file at `path` (absolute, as the walk gives
// it): that of the item with the longest folder holding the file, else `run_value`.
std::string CodePageValueForFile(const std::vector<FolderCodePage>& folders, const std::string& path,
                                 const std::string& run_value);

// True when some file of the run is read under AUTO: SOURCE_FILE_CODE_PAGE
// or a folder item is AUTO.
bool AnyAuto(const SourceSettings& source, const std::vector<FolderCodePage>& folders);

// What the file at `path` would be read as in a run ("UTF-8", "CP950",
// "UTF-16LE"...): its first block is read and decided on, as a load does.
// False with `error` naming the file when it cannot be read or decided.
bool ChosenCodePage(const SourceSettings& source, const std::vector<FolderCodePage>& folders, const std::string& path,
                    std::string& chosen, std::string& error);

// What a run refuses in the decoding settings, each naming the key and the
// value: SOURCE_FILE_CODE_PAGE, SOURCE_FILE_CODE_PAGE_FALLBACK,
// SOURCE_FILE_UNDECODABLE_BYTES and the folder items. Empty when all is well.
std::vector<std::string> CodePageProblems(const SourceSettings& source, const std::string& application_folder);

}  // namespace corvanne
