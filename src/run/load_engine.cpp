// The loads of a run as its plan describes them: requests, the destination
// of the run, units, and the two boxes of a failure. Which files to load is
// the export run's job.
#include "run/load_engine.hpp"

#include <cstdlib>
#include <utility>

#include "common/message_texts.hpp"
#include "common/text.hpp"
#include "run/completion_header.hpp"
#include "run/reload.hpp"

namespace corvanne {

std::string TranslateRowDelimiter(const SourceSettings& package_source) {
  if (TrimUpper(package_source.RowDelimiter) == "VBCRLF") return "\r\n";
  return package_source.RowDelimiter;
}

std::string DestinationObjectName(const DestinationSettings& destination) {
  return "[" + destination.DatabaseName + "].[dbo]." + destination.TableName;
}

std::vector<std::string> RunSettingsProblems(const AppState& state) {
  RunPlan plan;
  std::vector<std::string> problems;
  BuildRunPlan(state, plan, problems);
  return problems;
}

LoadRequest BuildLoadRequest(const SourceSettings& package_source, const DestinationSettings& destination,
                             const std::string& batch_code) {
  AppState state;
  state.ConfiguredSource = package_source;
  state.Destination = destination;
  state.Run.BatchCode = batch_code;
  RunPlan plan;
  std::vector<std::string> ignored;
  BuildRunPlan(state, plan, ignored);
  return RequestFor(plan, package_source.FileNameWithPath);
}

void ReportStepFailures(const LoadRequest& request, const LoadResult& result, Notifier& notifier) {
  if (result.ok) return;
  const std::string& name = request.file_name_value.empty() ? request.source_path : request.file_name_value;
  notifier.FileFailed(name, result.source + ": " + result.description);
  notifier.Show(texts::StepFailed(request.step_name, result.source, result.description));
  notifier.Show(texts::ErrorForFile(name));
}

FileUnit::~FileUnit() { Rollback(); }

FileUnit::FileUnit(FileUnit&& other) noexcept
    : engine_(std::exchange(other.engine_, nullptr)), request_(std::move(other.request_)) {}

FileUnit& FileUnit::operator=(FileUnit&& other) noexcept {
  if (this != &other) {
    Rollback();
    engine_ = std::exchange(other.engine_, nullptr);
    request_ = std::move(other.request_);
  }
  return *this;
}

LoadResult FileUnit::AddMarkerRow(const std::string& row) {
  if (engine_ == nullptr) return LoadResult::Failed("Corvanne", "no unit is open to take a marker row");
  // The file's own request, for this one row: no copy of it per marker.
  request_.row_text = row;
  LoadResult result = engine_->destination_->Load(request_);
  request_.row_text.reset();
  // A marker row never stands in the table without its partner.
  if (!result.ok) result.description += "; nothing of \"" + request_.file_name_value + "\" was kept";
  return engine_->Reported(request_, std::move(result));
}

LoadResult FileUnit::LoadLines() {
  if (engine_ == nullptr) return LoadResult::Failed("Corvanne", "no unit is open to take the file's lines");
  return engine_->Reported(request_, engine_->destination_->Load(request_));
}

LoadResult FileUnit::Record(const FileState& state) {
  if (engine_ == nullptr) return LoadResult::Failed("Corvanne", "no unit is open to record the file in");
  LoadResult result = engine_->destination_->RecordFile(request_, state);
  if (!result.ok) result.description += "; nothing of \"" + request_.file_name_value + "\" was kept";
  return engine_->Reported(request_, std::move(result));
}

LoadResult FileUnit::Commit() {
  if (engine_ == nullptr) return LoadResult::Failed("Corvanne", "no unit is open to be committed");
  LoadEngine* engine = std::exchange(engine_, nullptr);
  if (!engine->destination_) return LoadResult::Failed("Corvanne", "the destination was closed under the unit");
  LoadResult result = engine->destination_->CommitUnit();
  if (!result.ok && !result.markers_kept) {
    result.description += "; nothing of \"" + request_.file_name_value + "\" was kept";
  }
  return engine->Reported(request_, std::move(result));
}

void FileUnit::Rollback() {
  LoadEngine* engine = std::exchange(engine_, nullptr);
  if (engine != nullptr && engine->destination_) engine->destination_->RollbackUnit();
}

LoadEngine::LoadEngine(Notifier& notifier, std::string application_folder)
    : notifier_(notifier), application_folder_(std::move(application_folder)) {}

LoadEngine::~LoadEngine() { static_cast<void>(Close()); }

const RunPlan* LoadEngine::Plan(const AppState& state, std::string& error) {
  if (!plan_) {
    RunPlan plan;
    std::vector<std::string> problems;
    if (!BuildRunPlan(state, plan, problems)) {
      error = problems.front();
      return nullptr;
    }
    plan_ = std::move(plan);
  }
  return &*plan_;
}

const RunPlan* LoadEngine::NewPlan(const AppState& state, std::string& error) {
  plan_.reset();
  return Plan(state, error);
}

bool LoadEngine::Ready(const AppState& state, std::string& error) {
  if (Plan(state, error) == nullptr) return false;
  if (destination_) return true;
  // Start-up refuses these runs already; a window whose configuration was
  // edited since can still get here, and then the run says why.
  if (!plan_->engine_known) {
    error = "DESTINATION_ENGINE \"" + state.Destination.DestinationEngine +
            "\" names no destination engine (expected SQLSERVER, SQLITE, POSTGRESQL or ODBC)";
    return false;
  }
  destination_ = MakeDestination(plan_->engine, application_folder_, error);
  return destination_ != nullptr;
}

LoadResult LoadEngine::NoDestination(const std::string& error, const std::string& path) const {
  return LoadResult::Failed("Corvanne", error + "; \"" + path + "\" was not loaded");
}

LoadResult LoadEngine::Reported(const LoadRequest& request, LoadResult result) {
  ReportStepFailures(request, result, notifier_);
  return result;
}

LoadResult LoadEngine::Open(const AppState& state) {
  std::string error;
  if (!Ready(state, error)) return LoadResult::Failed("Corvanne", error);
  return destination_->Open(plan_->load);
}

LoadResult LoadEngine::Verify(const AppState& state) {
  std::string error;
  if (!Ready(state, error)) return LoadResult::Failed("Corvanne", error);
  return destination_->Verify(plan_->load);
}

FileUnit LoadEngine::BeginUnit(const AppState& state, const std::string& path, LoadResult& result) {
  std::string error;
  if (!Ready(state, error)) {
    result = NoDestination(error, path);
    result.description += "; nothing of \"" + path + "\" was loaded";
    result = ReportFailure(state, path, std::move(result));
    return {};
  }
  LoadRequest request = Request(path);
  result = destination_->BeginUnit(request);
  if (!result.ok) {
    result.description += "; nothing of \"" + request.file_name_value + "\" was loaded";
    ReportStepFailures(request, result, notifier_);
    return {};
  }
  return FileUnit(this, std::move(request));
}

LoadResult LoadEngine::LoadFile(const AppState& state, const std::string& path) {
  std::string error;
  if (!Ready(state, error)) return ReportFailure(state, path, NoDestination(error, path));
  const LoadRequest request = Request(path);
  return Reported(request, destination_->Load(request));
}

LoadResult LoadEngine::ReportFailure(const AppState& state, const std::string& path, LoadResult failure) {
  std::string error;
  if (Plan(state, error) != nullptr) return Reported(Request(path), std::move(failure));
  // Without a plan the file has no stored name yet: its path stands for it.
  LoadRequest request;
  request.source_path = path;
  return Reported(request, std::move(failure));
}

void LoadEngine::Warn(const std::string& text) {
  notifier_.Show(Message{text, kApplicationTitle, MessageIcon::kCritical});
}

uint64_t LoadEngine::ConnectionNumber() const { return destination_ ? destination_->ConnectionNumber() : 0; }

bool LoadEngine::FindDoneSerials(const AppState& state, std::set<int32_t>& serials) {
  std::string error;
  if (!Ready(state, error)) return false;
  const std::string batch = MakeTag("BATCH_CODE", state.Run.BatchCode);
  std::vector<std::string> rows;
  const LoadResult read = destination_->FindRowsContaining(plan_->load, batch, rows);
  if (!read.ok) {
    Warn("cannot tell which files of this run are in the table after the connection was lost: " + read.source +
         ": " + read.description);
    return false;
  }
  const std::string done = MakeTag("TASK_STATUS", "DONE");
  const std::string open = "<FILE_SERIAL_NUMBER>";
  for (const std::string& row : rows) {
    const std::size_t at = row.find(open);
    if (row.find(done) == std::string::npos || row.find(batch) == std::string::npos || at == std::string::npos) {
      continue;
    }
    serials.insert(std::atoi(row.c_str() + at + open.size()));
  }
  return true;
}

LoadResult LoadEngine::MakeDurable(const AppState& state) {
  std::string error;
  if (!Ready(state, error)) return LoadResult::Failed("Corvanne", error);
  return destination_->MakeDurable();
}

LoadResult LoadEngine::ReadFileStates(const AppState& state, const FileStateSink& each) {
  std::string error;
  if (!Ready(state, error)) return LoadResult::Failed("Corvanne", error);
  return destination_->ReadFileStates(plan_->load, each);
}

LoadResult LoadEngine::ListFiles(const AppState& state, const FileNameSink& each) {
  std::string error;
  LoadResult result = Ready(state, error) ? destination_->ListFiles(plan_->load, each)
                                          : LoadResult::Failed("Corvanne", error);
  if (!result.ok) {
    notifier_.Show(Message{"cannot find the files whose rows are in the table, no vanished file was deleted: " +
                               result.source + ": " + result.description,
                           kApplicationTitle, MessageIcon::kCritical});
  }
  return result;
}

LoadResult LoadEngine::ForgetFile(const AppState& state, const std::string& name) {
  std::string error;
  if (!Ready(state, error)) return ReportFailure(state, name, NoDestination(error, name));
  // A stored name is text already: it names itself.
  LoadRequest request = Request(name);
  request.file_name_value = name;
  return Reported(request, destination_->ForgetFile(request));
}

LoadResult LoadEngine::RefreshFileStates(const AppState& state, const std::vector<FileState>& states) {
  std::string error;
  if (!Ready(state, error)) return LoadResult::Failed("Corvanne", error);
  return destination_->RefreshFileStates(plan_->load, states);
}

void LoadEngine::UseDestination(std::unique_ptr<LoadDestination> destination) {
  destination_ = std::move(destination);
  injected_ = destination_ != nullptr;
}

LoadResult LoadEngine::Close() {
  plan_.reset();
  if (!destination_) return LoadResult::Loaded(0);
  LoadResult result = destination_->Close();
  // The next run reads the engine from its settings again, which the window
  // may have re-read meanwhile; a destination handed in stays.
  if (!injected_) destination_.reset();
  return result;
}

}  // namespace corvanne
