// Code pages by folder; see code_page_choice.hpp. Folders are compared as
// whole path steps, so "/src/app" does not hold "/src/application/a.bas".
#include "run/code_page_choice.hpp"

#include <algorithm>
#include <filesystem>

#include "common/code_page.hpp"
#include "common/file_utils.hpp"
#include "common/platform.hpp"
#include "common/text.hpp"
#include "destination/load_request.hpp"
#include "discovery/discovery.hpp"
#include "source/line_reader.hpp"

namespace corvanne {

namespace {

constexpr const char* kByFolderKey = "SOURCE_FILE_CODE_PAGES_BY_FOLDER";

// `folder` spelled as the walk spells the files below it.
std::string NormalFolder(const std::string& application_folder, const std::string& folder) {
  const std::string base = application_folder.empty() ? application_folder
                                                        : TextFromPath(std::filesystem::absolute(PathFromText(application_folder)));
  std::string resolved = TextFromPath(PathFromText(ResolveFrom(base, folder)).lexically_normal());
  while (resolved.size() > 1 && (resolved.back() == '/' || resolved.back() == '\\')) resolved.pop_back();
  return resolved;
}

bool Holds(const std::string& folder, const std::string& path) {
  if (!path.starts_with(folder) || path.size() <= folder.size()) return false;
  const char next = path[folder.size()];
  return next == '/' || next == '\\' || folder.back() == '/' || folder.back() == '\\';
}

}  // namespace

std::vector<FolderCodePage> FolderCodePages(const SourceSettings& source, const std::string& application_folder,
                                            std::vector<std::string>* problems) {
  std::vector<FolderCodePage> folders;
  if (TrimBlanks(source.CodePagesByFolder).empty()) return folders;
  ItemList items;
  SplitToCollection(source.FoldersSepChar, source.CodePagesByFolder, items);
  for (const std::string& item : items) {
    if (TrimBlanks(item).empty()) continue;
    const std::size_t equals = item.rfind('=');
    const std::string folder = equals == std::string::npos ? std::string() : TrimBlanks(item.substr(0, equals));
    std::string error;
    CodePage parsed;
    if (folder.empty()) {
      error = std::string(kByFolderKey) + ": item \"" + item + "\" is not written as folder=code page";
    } else if (!ParseCodePage(item.substr(equals + 1), parsed, error, kByFolderKey)) {
      error += " (item \"" + item + "\")";
    }
    if (!error.empty()) {
      if (problems != nullptr) problems->push_back(error);
      continue;
    }
    folders.push_back({NormalFolder(application_folder, folder), TrimBlanks(item.substr(equals + 1))});
  }
  return folders;
}

std::ptrdiff_t FolderItemFor(const std::vector<FolderCodePage>& folders, const std::string& path) {
  std::ptrdiff_t best = -1;
  for (std::size_t i = 0; i < folders.size(); ++i) {
    const std::string& folder = folders[i].folder;
    if (Holds(folder, path) && (best < 0 || folder.size() > folders[static_cast<std::size_t>(best)].folder.size())) {
      best = static_cast<std::ptrdiff_t>(i);
    }
  }
  return best;
}

std::string CodePageValueForFile(const std::vector<FolderCodePage>& folders, const std::string& path,
                                 const std::string& run_value) {
  const std::ptrdiff_t item = FolderItemFor(folders, path);
  return item >= 0 ? folders[static_cast<std::size_t>(item)].code_page : run_value;
}

bool AnyAuto(const SourceSettings& source, const std::vector<FolderCodePage>& folders) {
  const auto is_auto = [](const std::string& value) { return TrimUpper(value) == kAuto; };
  return is_auto(source.CodePage) ||
         std::any_of(folders.begin(), folders.end(), [&](const FolderCodePage& item) { return is_auto(item.code_page); });
}

bool ChosenCodePage(const SourceSettings& source, const std::vector<FolderCodePage>& folders, const std::string& path,
                    std::string& chosen, std::string& error) {
  LineReader reader(path, "\r\n", kMaxLineChars,
                    SourceDecoding(CodePageValueForFile(folders, path, source.CodePage), source.CodePageFallback,
                                   source.UndecodableBytes));
  if (!reader.Open()) {
    error = reader.Error();
    return false;
  }
  chosen = reader.Encoding();
  return true;
}

std::vector<std::string> CodePageProblems(const SourceSettings& source, const std::string& application_folder) {
  std::vector<std::string> problems;
  std::string reason;
  CodePage code_page;
  if (!ParseCodePage(source.CodePage, code_page, reason)) problems.push_back(reason);
  if (!ParseCodePage(source.CodePageFallback, code_page, reason, "SOURCE_FILE_CODE_PAGE_FALLBACK", false)) {
    problems.push_back(reason);
  }
  UndecodableBytes policy = UndecodableBytes::kReplace;
  if (!ParseUndecodableBytes(source.UndecodableBytes, policy, reason)) problems.push_back(reason);
  FolderCodePages(source, application_folder, &problems);
  return problems;
}

}  // namespace corvanne
