// The export run: the file list in run order, each file between its BEGINS
// and DONE rows, and the counts that decide the exit status.
#include "run/export.hpp"

#include <filesystem>
#include <limits>
#include <optional>

#include "common/file_utils.hpp"
#include "common/message_texts.hpp"
#include "discovery/discovery.hpp"
#include "run/code_page_choice.hpp"
#include "run/completion_header.hpp"
#include "run/load_engine.hpp"
#include "run/reload.hpp"

namespace corvanne {

namespace {

// Progress and serial numbers are 32-bit; a list longer than that is not a
// real case, but it must not wrap into negative numbers.
int32_t ClampTo32(std::size_t value) {
  constexpr auto kMax = static_cast<std::size_t>(std::numeric_limits<int32_t>::max());
  return static_cast<int32_t>(value < kMax ? value : kMax);
}

// Opens the destination once before the first file: a destination that
// cannot be reached is one error, not one per file.
void OpenDestination(RunContext& context) {
  const LoadResult opened = context.engine.Open(context.state);
  if (!opened.ok) throw DestinationError(opened.source + ": " + opened.description);
  // Without knowing what was loaded, a re-load could only load everything
  // again or miss changes: it does not start.
  std::string error;
  if (context.reload != nullptr && !context.reload->Start(error)) throw DestinationError(error);
}

// Loads the file unless a re-load finds it as last loaded.
void ExportIfNeeded(RunContext& context, SourceSettings& record, int32_t serial) {
  if (context.reload != nullptr && !context.reload->NeedsLoad(record.FileNameWithPath)) {
    ++context.counts.files_unchanged;
    return;
  }
  ExportOneFile(context, record, serial);
}

void RunSingleFile(RunContext& context, const SourceSettings& configured) {
  context.counts.files_listed = 1;
  // No size test here: a missing or empty configured file still gets its
  // two markers, and its failed load is reported. A relative name is taken
  // from the application folder, as in folder mode.
  SourceSettings record = configured;
  record.FileNameWithPath =
      CollectRunFiles(configured, context.progress, ApplicationFolder(context.state)).front();
  record.CodePage = CodePageValueForFile(FolderCodePages(configured, ApplicationFolder(context.state)),
                                         record.FileNameWithPath, configured.CodePage);
  OpenDestination(context);
  context.progress.FilesListed(1, /*single_file=*/true);
  context.progress.FileStarted(1, 1, record.FileNameWithPath);
  ExportIfNeeded(context, record, 1);
  context.progress.FileDone(context.counts);
}

void RunFolders(RunContext& context, const SourceSettings& configured) {
  const ItemList files = CollectRunFiles(configured, context.progress, ApplicationFolder(context.state));
  const int32_t total = ClampTo32(files.size());
  context.counts.files_listed = total;
  // A re-load with no file left may still have vanished files to take out.
  if (total > 0 || context.reload != nullptr) OpenDestination(context);
  context.progress.FilesListed(total, /*single_file=*/false);

  const std::vector<FolderCodePage> folder_code_pages = FolderCodePages(configured, ApplicationFolder(context.state));
  SourceSettings record;
  for (int32_t index = 1; index <= total; ++index) {
    const std::string& path = files[static_cast<std::size_t>(index - 1)];
    record = configured;
    record.FileNameWithPath = path;
    record.CodePage = CodePageValueForFile(folder_code_pages, path, configured.CodePage);
    context.progress.FileStarted(index, total, path);
    // A re-load reads size and time in one look; the size alone otherwise,
    // and again when the look failed, so that the reason is reported.
    const int64_t looked = context.reload != nullptr ? context.reload->Look(path) : -1;
    if ((looked >= 0 ? looked : GetFileSize(path, context.notifier)) > 0) {
      ExportIfNeeded(context, record, index);
    } else {
      // The index is used up all the same: later files keep their serials.
      ++context.counts.files_passed_over;
      // A mirrored file that is empty now has no lines to show.
      if (context.reload != nullptr && context.reload->Emptied(path)) ++context.counts.files_deleted;
    }
    context.progress.FileDone(context.counts);
  }
  if (context.reload != nullptr) {
    context.counts.files_deleted += context.reload->DeleteVanished(configured, files, context.counts.failed_loads);
  }
}

}  // namespace

void RunExport(RunContext& context) {
  context.counts = RunCounts{};
  // A copy: the run must not see a configuration changed under it.
  const SourceSettings configured = context.state.ConfiguredSource;
  LoadMode mode = LoadMode::kAppend;
  std::optional<Reload> reload;
  if (ParseLoadMode(context.state.Destination.LoadMode, mode) && mode != LoadMode::kAppend) {
    reload.emplace(context.engine, context.state, mode);
  }
  context.reload = reload ? &*reload : nullptr;
  try {
    if (IsSingleFileMode(configured)) {
      RunSingleFile(context, configured);
    } else {
      RunFolders(context, configured);
    }
  } catch (...) {
    context.reload = nullptr;
    throw;
  }
  context.reload = nullptr;
  context.progress.RunFinished(context.counts);
}

void ExportOneFile(RunContext& context, SourceSettings& source, int32_t serial) {
  // One unit for the file and its markers: a run cut short, or a failure on
  // the way, leaves a file whole between them or not at all, and saves two
  // commits per file. Every return before the commit rolls it back.
  UnitGuard unit(context.engine);
  if (!unit.Begin(context.state, source).ok) {
    ++context.counts.failed_loads;
    ++context.counts.files_failed;
    return;
  }
  if (!LoadCompletionHeader(context, source, serial, "BEGINS")) {
    ++context.counts.files_failed;
    return;
  }
  context.state.PackageSource = source;
  const LoadResult result = context.engine.ExecuteLoadPackage(context.state);
  if (!result.ok) ++context.counts.failed_loads;
  // Also after a failed load: the DONE row closes the file's place in the table.
  if (!LoadCompletionHeader(context, source, serial, "DONE")) {
    ++context.counts.files_failed;
    return;
  }
  if (result.ok && context.reload != nullptr && !context.reload->Record(source, result.rows)) {
    ++context.counts.failed_loads;
    ++context.counts.files_failed;
    return;
  }
  const LoadResult committed = unit.Commit(context.state, source);
  if (!committed.ok) {
    // Its rows never reached the table: the file is not counted as loaded.
    ++context.counts.failed_loads;
    ++context.counts.files_failed;
  } else if (result.ok) {
    ++context.counts.files_loaded;
    context.counts.lines += result.rows;
    const std::string folder = std::filesystem::path(source.FileNameWithPath).parent_path().string();
    ++context.counts.encodings[{result.encoding, result.detected_code_page, folder}];
    if (result.replaced > 0) {
      ++context.counts.files_replaced;
      context.progress.FileWarning(texts::ReplacedBytes(PathAsText(source.FileNameWithPath, source.CodePage,
                                                                   source.CodePageFallback),
                                                        result.encoding, result.replaced, result.first_replaced_line,
                                                        result.first_replaced_offset));
    }
  } else {
    ++context.counts.files_failed;
  }
}

}  // namespace corvanne
