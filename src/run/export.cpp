// The export run: the file list in run order, each file between its BEGINS
// and DONE rows, and the counts that decide the exit status.
#include "run/export.hpp"

#include <algorithm>
#include <filesystem>
#include <limits>
#include <optional>
#include <set>
#include <tuple>

#include "common/file_utils.hpp"
#include "common/message_texts.hpp"
#include "common/platform.hpp"
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
// cannot be reached is one error, not one per file. A re-load reads what the
// table holds here, before the walk: a file that another run records while
// this one walks is never taken for vanished.
void OpenDestination(RunContext& context) {
  const LoadResult opened = context.engine.Open(context.state);
  if (!opened.ok) throw DestinationError(opened.source + ": " + opened.description);
  // Without knowing what was loaded, a re-load could only load everything
  // again or miss changes: it does not start.
  std::string error;
  if (context.reload != nullptr && !context.reload->Start(error)) throw DestinationError(error);
}

// The stored name of the file at `path`: its one identity in every table.
std::string NameOf(RunContext& context, const std::string& path) {
  std::string error;
  const RunPlan* plan = context.plan != nullptr ? context.plan : context.engine.Plan(context.state, error);
  return plan != nullptr ? FileNameText(path, *plan) : path;
}

// A file that cannot be looked at, or that is no regular file, fails with
// the standard error box: its rows and its record stay as they are, so the
// next run tries it again. Unknown is never taken for empty.
void FailUnlooked(RunContext& context, const std::string& name, const FileLook& look) {
  ++context.counts.failed_loads;
  ++context.counts.files_failed;
  context.notifier.Show(texts::StandardError(PlatformError{look.error_number, look.cause}, name));
}

// Loads the file unless a re-load finds it, stored as `name`, as last loaded.
void ExportIfNeeded(RunContext& context, const std::string& path, const std::string& name, int32_t serial,
                    const FileLook& look) {
  if (context.reload != nullptr && look.IsRegular() && !context.reload->DecideLoad(path, name, look)) {
    ++context.counts.files_unchanged;
    return;
  }
  ExportOneFile(context, path, serial, look);
}

// Takes back the counts of a file that was counted as loaded.
void Uncount(RunContext& context, const UnconfirmedFile& file) {
  --context.counts.files_loaded;
  context.counts.lines -= file.rows;
  if (file.replaced) --context.counts.files_replaced;
  auto found = context.counts.encodings.find(*file.encoding);
  if (found != context.counts.encodings.end() && --found->second == 0) context.counts.encodings.erase(found);
}

// After the destination lost its connection, the files committed on the
// old one may have gone with it (an asynchronous commit that the server had
// not yet flushed when it stopped). Each is looked for by its DONE row; a
// missing one is loaded again, and counted by how that goes.
void ConfirmAfterLostConnection(RunContext& context) {
  const uint64_t now = context.engine.ConnectionNumber();
  const auto in_doubt = [now](const UnconfirmedFile& file) { return file.connection != now; };
  // Called after every file: connection numbers only grow and files are
  // appended as committed, so the first file tells whether any is in doubt
  // (a scan of them all made a run of many files quadratic).
  if (context.unconfirmed.empty() || !in_doubt(context.unconfirmed.front())) return;
  std::set<int32_t> done;
  const bool looked = !context.state.Run.SkipCompletionHeaders && context.engine.FindDoneSerials(context.state, done);
  std::vector<UnconfirmedFile> again;
  for (UnconfirmedFile& file : context.unconfirmed) {
    if (!in_doubt(file)) continue;
    if (looked && done.count(file.serial) != 0) {
      file.connection = now;  // on the server; the flush at the end covers it
      continue;
    }
    Uncount(context, file);
    again.push_back(file);
  }
  std::erase_if(context.unconfirmed, in_doubt);
  for (const UnconfirmedFile& file : again) {
    if (looked) {
      ExportOneFile(context, *file.path, file.serial, LookAtFile(*file.path));
    } else {
      ++context.counts.failed_loads;
      ++context.counts.files_failed;
      context.engine.ReportFailure(context.state, *file.path,
                                   LoadResult::Failed("Corvanne", "the connection was lost after \"" +
                                                                      NameOf(context, *file.path) +
                                                                      "\" was committed, and whether the server "
                                                                      "kept it cannot be told"));
    }
  }
}

// Exit 0 means on disk: the destination flushes what it committed, and a
// file whose commit cannot be confirmed is not counted as loaded.
void ConfirmDurable(RunContext& context) {
  ConfirmAfterLostConnection(context);
  const LoadResult flushed = context.engine.MakeDurable(context.state);
  if (flushed.ok) {
    context.unconfirmed.clear();
    return;
  }
  for (const UnconfirmedFile& file : context.unconfirmed) {
    Uncount(context, file);
    ++context.counts.files_failed;
  }
  ++context.counts.failed_loads;
  context.engine.Warn(flushed.source + ": " + flushed.description + "; " +
                      std::to_string(context.unconfirmed.size()) +
                      " files counted as loaded are counted as failed, as they may not be on disk");
  context.unconfirmed.clear();
}

void RunSingleFile(RunContext& context) {
  context.counts.files_listed = 1;
  // No size test here: a missing or empty configured file still gets its
  // two markers, and its failed load is reported. A relative name is taken
  // from the application folder, as in folder mode.
  const std::string& path = context.plan->source.single_file;
  OpenDestination(context);
  context.progress.FilesListed(1, /*single_file=*/true);
  context.progress.FileStarted(1, 1, path);
  ExportIfNeeded(context, path, NameOf(context, path), 1, LookAtFile(path));
  if (context.reload != nullptr) context.reload->RecordUnchanged(true);
  context.progress.FileDone(context.counts);
  ConfirmDurable(context);
}

// A listed folder that is not there (unmounted, misspelt) contributes no
// file; counted, so that the exit status can tell a scheduler.
void CountListedFolders(RunContext& context) {
  for (const std::string& folder : context.plan->source.folders) {
    if (folder.empty()) continue;
    ++context.counts.folders_listed;
    std::error_code error;
    if (std::filesystem::status(folder, error).type() == std::filesystem::file_type::not_found) {
      ++context.counts.folders_missing;
    }
  }
}

void RunFolders(RunContext& context) {
  CountListedFolders(context);
  // A re-load reads the table before the walk; other runs open after it,
  // and only when there is a file to load.
  if (context.reload != nullptr) OpenDestination(context);
  const RunFileList list = CollectRunFileList(context.plan->source, context.plan->selection, context.progress);
  if (context.walked) context.walked(list);
  const int32_t total = ClampTo32(list.files.size());
  context.counts.files_listed = total;
  if (total > 0 && context.reload == nullptr) OpenDestination(context);
  context.progress.FilesListed(total, /*single_file=*/false);
  FileLooker looker;

  for (int32_t index = 1; index <= total; ++index) {
    const std::string& path = list.files[static_cast<std::size_t>(index - 1)];
    context.progress.FileStarted(index, total, path);
    const std::string name = NameOf(context, path);
    if (context.reload != nullptr) context.reload->Saw(name);
    const FileLook look = looker.Look(path);
    if (!look.IsRegular()) {
      FailUnlooked(context, name, look);
    } else if (look.size > 0) {
      ExportIfNeeded(context, path, name, index, look);
    } else {
      // The index is used up all the same: later files keep their serials.
      ++context.counts.files_passed_over;
      // A mirrored file that is empty now has no lines to show.
      if (context.reload != nullptr && context.reload->ForgetEmptied(name)) {
        ++context.counts.files_deleted;
      }
    }
    if (context.reload != nullptr) context.reload->RecordUnchanged(false);
    ConfirmAfterLostConnection(context);
    context.progress.FileDone(context.counts);
  }
  if (context.reload != nullptr) {
    context.reload->RecordUnchanged(true);
    context.counts.files_deleted += context.reload->DeleteVanished(list, context.counts.failed_loads);
  }
  // While the list (which the unconfirmed files point into) is still there.
  if (context.engine.IsOpen()) ConfirmDurable(context);
}

}  // namespace

void RunExport(RunContext& context) {
  context.counts = RunCounts{};
  context.header_path.clear();
  context.unconfirmed.clear();
  // The settings as this run uses them, parsed once: the run does not see
  // a configuration changed under it.
  std::string error;
  const RunPlan* plan = context.engine.NewPlan(context.state, error);
  if (plan == nullptr) throw DestinationError(error);
  context.plan = plan;
  std::optional<Reload> reload;
  if (plan->load_mode != LoadMode::kAppend) reload.emplace(context.engine, context.state, *plan);
  context.reload = reload ? &*reload : nullptr;
  try {
    if (plan->selection.single_file) {
      RunSingleFile(context);
    } else {
      RunFolders(context);
    }
  } catch (...) {
    context.reload = nullptr;
    context.plan = nullptr;
    context.header_file.Close();
    throw;
  }
  context.reload = nullptr;
  context.plan = nullptr;
  context.header_file.Close();
  context.progress.RunFinished(context.counts);
}

void ExportOneFile(RunContext& context, const std::string& path, int32_t serial, const FileLook& look) {
  // One unit for the file and its markers: a run cut short, or a failure on
  // the way, leaves a file whole between them or not at all, and saves two
  // commits per file. The unit rolls back on every return before its commit.
  LoadResult begun;
  FileUnit unit = context.engine.BeginUnit(context.state, path, begun);
  if (!unit.IsOpen()) {
    ++context.counts.failed_loads;
    ++context.counts.files_failed;
    return;
  }
  const std::string& name = unit.Name();
  if (!LoadCompletionHeader(context, unit, name, serial, "BEGINS")) {
    ++context.counts.files_failed;
    return;
  }
  // A FIFO, socket or device would hold the run up for ever, or feed it
  // without end: it is refused without being opened.
  const LoadResult result =
      look.kind == FileLook::Kind::kNotRegular
          ? context.engine.ReportFailure(
                context.state, path,
                LoadResult::Failed("Source file", "cannot open source file \"" + name + "\": " + look.cause))
          : unit.LoadLines();
  if (!result.ok) {
    ++context.counts.failed_loads;
    if (context.reload != nullptr) {
      // A mirrored file keeps its old version: a reader sees the old rows or
      // the new, never neither.
      ++context.counts.files_failed;
      return;
    }
  }
  // Also after a failed load: the DONE row closes the file's place in the table.
  if (!LoadCompletionHeader(context, unit, name, serial, "DONE")) {
    ++context.counts.files_failed;
    return;
  }
  if (result.ok && context.reload != nullptr && !context.reload->Record(unit, name, result.rows)) {
    ++context.counts.failed_loads;
    ++context.counts.files_failed;
    return;
  }
  const LoadResult committed = unit.Commit();
  if (!committed.ok) {
    // Its rows never reached the table: the file is not counted as loaded.
    ++context.counts.failed_loads;
    ++context.counts.files_failed;
  } else if (result.ok) {
    ++context.counts.files_loaded;
    context.counts.lines += result.rows;
    const std::string folder = TextFromPath(PathFromText(path).parent_path());
    const auto encoding =
        context.counts.encodings.try_emplace({result.encoding, result.detected_code_page, folder}, 0).first;
    ++encoding->second;
    if (result.replaced > 0) {
      ++context.counts.files_replaced;
      context.progress.FileWarning(texts::ReplacedBytes(name, result.encoding, result.replaced,
                                                        result.first_replaced_line, result.first_replaced_offset));
    }
    context.unconfirmed.push_back(
        {&path, serial, result.replaced > 0, result.rows, &encoding->first, context.engine.ConnectionNumber()});
  } else {
    ++context.counts.files_failed;
  }
}

}  // namespace corvanne
