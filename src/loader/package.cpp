// One load as the settings describe it: the request, the destination of the
// run, and the two boxes of a failure. Which files to load is the run's job.
#include "loader/package.hpp"

#include <utility>

#include "common/message_texts.hpp"
#include "common/text.hpp"

namespace corvanne {

std::string TranslateRowDelimiter(const SourceSettings& package_source) {
  if (TrimUpper(package_source.RowDelimiter) == "VBCRLF") return "\r\n";
  return package_source.RowDelimiter;
}

std::string DestinationObjectName(const DestinationSettings& destination) {
  return "[" + destination.DatabaseName + "].[dbo]." + destination.TableName;
}

LoadRequest BuildLoadRequest(const SourceSettings& package_source, const DestinationSettings& destination) {
  LoadRequest request;
  request.source_path = package_source.FileNameWithPath;
  request.row_delimiter = TranslateRowDelimiter(package_source);
  request.server = destination.ServerName;
  request.database = destination.DatabaseName;
  request.user_name = destination.UserName;
  request.password = destination.Password;
  request.destination_object_name = DestinationObjectName(destination);
  request.table_name = destination.TableName;
  request.column_name = destination.ColumnName;
  request.odbc_driver_name = destination.OdbcDriverName;
  return request;
}

void ReportStepFailures(const LoadRequest& request, const LoadResult& result, Notifier& notifier) {
  if (result.ok) return;
  notifier.Show(texts::StepFailed(request.step_name, result.source, result.description));
  notifier.Show(texts::ErrorForFile(request.source_path));
}

LoadEngine::LoadEngine(Notifier& notifier, std::string application_folder)
    : notifier_(notifier), application_folder_(std::move(application_folder)) {}

LoadEngine::~LoadEngine() { Close(); }

bool LoadEngine::EnsureDestination(const AppState& state, std::string& error) {
  if (destination_) return true;
  // Start-up refuses these runs already; a window whose configuration was
  // edited since can still get here, and then every load says why.
  Engine engine = Engine::kSqlServer;
  if (!ParseEngine(state.Destination.DestinationEngine, engine)) {
    error = "DESTINATION_ENGINE \"" + state.Destination.DestinationEngine +
            "\" names no destination engine (expected SQLSERVER, SQLITE or ODBC)";
    return false;
  }
  destination_ = MakeDestination(engine, application_folder_, error);
  return destination_ != nullptr;
}

LoadResult LoadEngine::ExecuteLoadPackage(const AppState& state) {
  const LoadRequest request = BuildLoadRequest(state.PackageSource, state.Destination);
  LoadResult result;
  std::string error;
  if (EnsureDestination(state, error)) {
    result = destination_->Load(request);
  } else {
    result.ok = false;
    result.source = "Corvanne";
    result.description = error + "; \"" + request.source_path + "\" was not loaded";
  }
  ReportStepFailures(request, result, notifier_);
  return result;
}

void LoadEngine::BeginFileGroup(const AppState& state) {
  // Without a destination every load of the group fails and says why.
  std::string error;
  if (EnsureDestination(state, error)) destination_->BeginGroup();
}

LoadResult LoadEngine::EndFileGroup(const AppState& state, const SourceSettings& source) {
  if (!destination_) return {};
  LoadResult result = destination_->EndGroup();
  if (!result.ok) {
    const LoadRequest request = BuildLoadRequest(source, state.Destination);
    result.description += "; nothing of \"" + request.source_path + "\" was kept";
    ReportStepFailures(request, result, notifier_);
  }
  return result;
}

void LoadEngine::UseDestination(std::unique_ptr<LoadDestination> destination) {
  destination_ = std::move(destination);
  injected_ = destination_ != nullptr;
}

void LoadEngine::Close() {
  if (!destination_) return;
  destination_->Close();
  // The next run reads the engine from its settings again, which the window
  // may have re-read meanwhile; a destination handed in stays.
  if (!injected_) destination_.reset();
}

}  // namespace corvanne
