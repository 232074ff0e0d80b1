// The configured source looked at before a run: where its lists, folders and
// files would not give what the configuration seems to say. Loads nothing.
#pragma once

#include <string>

#include "config/findings.hpp"
#include "config/settings.hpp"
#include "discovery/discovery.hpp"

namespace corvanne {

// Appends the findings about `configured`, relative paths taken from
// `application_folder` as a run takes them. A row delimiter that spells a
// line break as text (vbLf, \n, ...) is a warning. Single-file mode: the configured
// file is missing or not a file (error). Folder mode, warnings: an empty or
// multi-character separator of a non-empty list, folder and exclusion items
// with blanks at their ends, extension items with blanks or a leading dot, a
// listed folder that does not exist or is no folder, files of a selected type
// directly in a listed folder that recursion passes over (count and first
// few), an exclusion item that matches no file, no file selected; a folder
// that cannot be listed is an error and ends the look at the files. Walks the
// folders as a run would; nothing is thrown.
void CheckSource(const SourceSettings& configured, const std::string& application_folder, Findings& findings);

// CheckSource in two halves, for a run that walks anyway: what the lists
// alone tell (before the run), then what its walk `list` (the run's
// CollectRunFileList for `configured`) tells. The second reads the listed
// folders once more, and looks at each exclusion item; nothing else.
void CheckSourceLists(const SourceSettings& configured, const std::string& application_folder, Findings& findings);
void CheckWalkedSource(const SourceSettings& configured, const std::string& application_folder,
                       const RunFileList& list, Findings& findings);

}  // namespace corvanne
