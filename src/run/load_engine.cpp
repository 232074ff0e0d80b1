// The loads of a run as the settings describe them: requests, the
// destination of the run, units, and the two boxes of a failure. Which
// files to load is the export run's job.
#include "run/load_engine.hpp"

#include <utility>

#include "common/code_page.hpp"
#include "common/message_texts.hpp"
#include "common/text_decoding.hpp"
#include "common/utf8.hpp"
#include "common/text.hpp"
#include "run/code_page_choice.hpp"
#include "run/reload.hpp"

namespace corvanne {

std::string TranslateRowDelimiter(const SourceSettings& package_source) {
  if (TrimUpper(package_source.RowDelimiter) == "VBCRLF") return "\r\n";
  return package_source.RowDelimiter;
}

std::string DestinationObjectName(const DestinationSettings& destination) {
  return "[" + destination.DatabaseName + "].[dbo]." + destination.TableName;
}

std::string PathAsText(const std::string& path, const std::string& code_page, const std::string& fallback) {
  CodePage parsed;
  std::string error;
  if (!ParseCodePage(code_page, parsed, error)) return path;
  if (parsed.kind == CodePageKind::kAuto && !ParseCodePage(fallback, parsed, error, {}, false)) return path;
  return FileNameAsText(path, parsed);
}

LoadRequest BuildLoadRequest(const SourceSettings& package_source, const DestinationSettings& destination,
                             const std::string& batch_code) {
  LoadRequest request;
  request.source_path = package_source.FileNameWithPath;
  request.row_delimiter = TranslateRowDelimiter(package_source);
  request.code_page = package_source.CodePage;
  request.code_page_fallback = package_source.CodePageFallback;
  request.undecodable_bytes = package_source.UndecodableBytes;
  request.server = destination.ServerName;
  request.database = destination.DatabaseName;
  request.user_name = destination.UserName;
  request.password = destination.Password;
  request.destination_object_name = DestinationObjectName(destination);
  request.table_name = destination.TableName;
  request.column_name = destination.ColumnName;
  request.columns = {destination.FileNameColumnName, destination.LineNumberColumnName,
                     destination.BatchCodeColumnName};
  request.file_name_value =
      PathAsText(package_source.FileNameWithPath, package_source.CodePage, package_source.CodePageFallback);
  request.batch_code_value = batch_code;
  request.odbc_driver_name = destination.OdbcDriverName;
  // An unknown mode never gets this far: start-up and Open refuse it.
  if (!ParseLoadMode(destination.LoadMode, request.load_mode)) request.load_mode = LoadMode::kAppend;
  return request;
}

void ReportStepFailures(const LoadRequest& request, const LoadResult& result, Notifier& notifier) {
  if (result.ok) return;
  notifier.Show(texts::StepFailed(request.step_name, result.source, result.description));
  notifier.Show(texts::ErrorForFile(request.source_path));
}

LoadEngine::LoadEngine(Notifier& notifier, std::string application_folder)
    : notifier_(notifier), application_folder_(std::move(application_folder)) {}

LoadEngine::~LoadEngine() { static_cast<void>(Close()); }

bool LoadEngine::EnsureDestination(const AppState& state, std::string& error) {
  if (destination_) return true;
  // Start-up refuses these runs already; a window whose configuration was
  // edited since can still get here, and then the run says why.
  Engine engine = Engine::kSqlServer;
  if (!ParseEngine(state.Destination.DestinationEngine, engine)) {
    error = "DESTINATION_ENGINE \"" + state.Destination.DestinationEngine +
            "\" names no destination engine (expected SQLSERVER, SQLITE or ODBC)";
    return false;
  }
  destination_ = MakeDestination(engine, application_folder_, error);
  return destination_ != nullptr;
}

LoadRequest LoadEngine::Request(const AppState& state, const SourceSettings& source) const {
  return BuildLoadRequest(source, state.Destination, state.Run.BatchCode);
}

LoadResult LoadEngine::NoDestination(const std::string& error, const std::string& path) const {
  return LoadResult::Failed("Corvanne", error + "; \"" + path + "\" was not loaded");
}

std::vector<std::string> RunSettingsProblems(const AppState& state) {
  std::vector<std::string> problems = CodePageProblems(state.ConfiguredSource, ApplicationFolder(state));
  std::string reason;
  LoadMode mode = LoadMode::kAppend;
  if (!CheckLoadMode(state.Destination, mode, reason)) problems.push_back(reason);
  return problems;
}

LoadResult LoadEngine::Open(const AppState& state) {
  // Such settings would fail every load alike.
  const std::vector<std::string> problems = RunSettingsProblems(state);
  if (!problems.empty()) return LoadResult::Failed("Corvanne", problems.front());
  std::string error;
  if (!EnsureDestination(state, error)) return LoadResult::Failed("Corvanne", error);
  return destination_->Open(Request(state, state.ConfiguredSource));
}

LoadResult LoadEngine::Verify(const AppState& state) {
  std::string error;
  if (!EnsureDestination(state, error)) return LoadResult::Failed("Corvanne", error);
  return destination_->Verify(Request(state, state.ConfiguredSource));
}

LoadResult LoadEngine::BeginUnit(const AppState& state, const SourceSettings& source) {
  const LoadRequest request = Request(state, source);
  std::string error;
  LoadResult result = EnsureDestination(state, error) ? destination_->BeginUnit(request)
                                                      : NoDestination(error, request.source_path);
  unit_open_ = result.ok;
  if (!result.ok) result.description += "; nothing of \"" + request.source_path + "\" was loaded";
  ReportStepFailures(request, result, notifier_);
  return result;
}

LoadResult LoadEngine::ExecuteLoadPackage(const AppState& state) {
  const LoadRequest request = Request(state, state.PackageSource);
  std::string error;
  LoadResult result =
      EnsureDestination(state, error) ? destination_->Load(request) : NoDestination(error, request.source_path);
  ReportStepFailures(request, result, notifier_);
  return result;
}

LoadResult LoadEngine::LoadMarkerRow(const AppState& state, const SourceSettings& source, const std::string& row) {
  LoadRequest request = Request(state, source);
  request.row_text = row;
  std::string error;
  LoadResult result =
      EnsureDestination(state, error) ? destination_->Load(request) : NoDestination(error, request.source_path);
  // A marker row never stands in the table without its partner.
  if (!result.ok && unit_open_) result.description += "; nothing of \"" + request.source_path + "\" was kept";
  ReportStepFailures(request, result, notifier_);
  return result;
}

LoadResult LoadEngine::CommitUnit(const AppState& state, const SourceSettings& source) {
  if (!destination_ || !unit_open_) return LoadResult::Failed("Corvanne", "no unit is open to be committed");
  unit_open_ = false;
  LoadResult result = destination_->CommitUnit();
  if (!result.ok) {
    const LoadRequest request = Request(state, source);
    result.description += "; nothing of \"" + request.source_path + "\" was kept";
    ReportStepFailures(request, result, notifier_);
  }
  return result;
}

void LoadEngine::RollbackUnit() {
  if (destination_ && unit_open_) destination_->RollbackUnit();
  unit_open_ = false;
}

LoadResult LoadEngine::ReadFileStates(const AppState& state, std::vector<FileState>& states) {
  std::string error;
  if (!EnsureDestination(state, error)) return LoadResult::Failed("Corvanne", error);
  return destination_->ReadFileStates(Request(state, state.ConfiguredSource), states);
}

LoadResult LoadEngine::ListFiles(const AppState& state, std::vector<std::string>& names) {
  std::string error;
  LoadResult result = EnsureDestination(state, error)
                                ? destination_->ListFiles(Request(state, state.ConfiguredSource), names)
                                : LoadResult::Failed("Corvanne", error);
  if (!result.ok) {
    notifier_.Show(Message{"cannot find the files whose rows are in the table, no vanished file was deleted: " +
                               result.source + ": " + result.description,
                           kApplicationTitle, MessageIcon::kCritical});
  }
  return result;
}

LoadResult LoadEngine::RecordFile(const AppState& state, const SourceSettings& source, const FileState& file) {
  const LoadRequest request = Request(state, source);
  std::string error;
  LoadResult result = EnsureDestination(state, error) ? destination_->RecordFile(request, file)
                                                      : NoDestination(error, request.source_path);
  if (!result.ok) result.description += "; nothing of \"" + request.source_path + "\" was kept";
  ReportStepFailures(request, result, notifier_);
  return result;
}

LoadResult LoadEngine::ForgetFile(const AppState& state, const std::string& path) {
  SourceSettings source = state.ConfiguredSource;
  source.FileNameWithPath = path;
  const LoadRequest request = Request(state, source);
  std::string error;
  LoadResult result =
      EnsureDestination(state, error) ? destination_->ForgetFile(request) : NoDestination(error, path);
  ReportStepFailures(request, result, notifier_);
  return result;
}

void LoadEngine::UseDestination(std::unique_ptr<LoadDestination> destination) {
  destination_ = std::move(destination);
  injected_ = destination_ != nullptr;
}

LoadResult LoadEngine::Close() {
  unit_open_ = false;
  if (!destination_) return LoadResult::Loaded(0);
  LoadResult result = destination_->Close();
  // The next run reads the engine from its settings again, which the window
  // may have re-read meanwhile; a destination handed in stays.
  if (!injected_) destination_.reset();
  return result;
}

}  // namespace corvanne
