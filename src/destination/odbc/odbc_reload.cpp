// Re-loads through ODBC: a file's earlier rows taken out in its unit, its
// record in the companion table, the files the table holds, and a file
// taken out on its own. See odbc_destination.hpp.
#include "destination/identifier.hpp"
#include "destination/odbc/odbc_connection_string.hpp"
#include "destination/odbc/odbc_destination_impl.hpp"

namespace corvanne {

namespace {

constexpr const char* kNoReason = "the driver gave no reason";

}  // namespace

OdbcReloadNames OdbcDestination::ReloadNames(const LoadRequest& request) const {
  const std::string companion = CompanionTableName(
      engine_ == Engine::kOdbc ? request.table_name : request.destination_object_name);
  const auto column = [this](const std::string& name) { return name.empty() ? name : ColumnSql(name); };
  return {TableSql(request), column(request.columns.file_name), column(request.columns.file_id),
          engine_ == Engine::kOdbc ? RequoteIdentifier(companion, connection_.IdentifierQuote())
                                   : QuoteIdentifier(companion, QuoteStyle::kBracket),
          companion_ranged_};
}

bool OdbcDestination::TakeOut(const LoadRequest& request, std::vector<OdbcDiagnostic>& why) {
  return OdbcTakeOutFile(connection_, ReloadNames(request), request.file_name_value,
                         request.load_mode != LoadMode::kAppend, unit_file_id_, why);
}

bool OdbcDestination::VerifyCompanion(const LoadRequest& request, const Target& target, LoadResult& failure) {
  const std::string companion = ReloadNames(request).companion;
  const std::string columns = std::string(kCompanionColumns) + (request.columns.file_id.empty() ? "" : ", FileId");
  const bool ok = connection_.Execute("SELECT " + columns + " FROM " + companion + " WHERE 1 = 0");
  const std::vector<OdbcDiagnostic> diagnostics = connection_.Diagnostics();
  connection_.Rollback();
  if (ok) return true;
  failure = Failed(request, target,
                   "the companion table " + companion + " that a re-load (REPLACE or CHANGED) or a file id column "
                   "keeps its record of each file in is missing or lacks a column of (" + columns +
                   "); create it as docs/odbc.md shows: " + FormatDiagnostics(diagnostics, kNoReason));
  return false;
}

bool OdbcDestination::Connected(const LoadRequest& request, Target& target, LoadResult& failure) {
  return ResolveTarget(request, target, failure) && EnsureConnected(request, target, failure);
}

LoadResult OdbcDestination::RecordFile(const LoadRequest& request, const FileState& state) {
  Target target;
  LoadResult failure;
  if (!ResolveTarget(request, target, failure)) return failure;
  if (!unit_open_ || !unit_lost_.empty() || !connection_.IsOpen()) {
    return Failed(request, target, Quoted(state.file_name) + ": no unit of the file is open to record it in");
  }
  std::vector<OdbcDiagnostic> why;
  if (!OdbcWriteFileState(connection_, ReloadNames(request), state, why)) {
    return Failed(request, target,
                  Quoted(state.file_name) + ": cannot record what was loaded: " + FormatDiagnostics(why, kNoReason));
  }
  return LoadResult::Loaded(0);
}

LoadResult OdbcDestination::ReadFileStates(const LoadRequest& request, const FileStateSink& each) {
  Target target;
  LoadResult failure;
  if (!Connected(request, target, failure)) return failure;
  std::vector<OdbcDiagnostic> why;
  const OdbcReloadNames names = ReloadNames(request);
  const bool ok = OdbcReadFileStates(connection_, names, each, why);
  connection_.Rollback();
  if (ok) return LoadResult::Loaded(0);
  return Failed(request, target,
                "cannot read what was loaded of each file from " + names.companion + ": " +
                    FormatDiagnostics(why, kNoReason));
}

LoadResult OdbcDestination::ListFiles(const LoadRequest& request, const FileNameSink& each) {
  Target target;
  LoadResult failure;
  if (!Connected(request, target, failure)) return failure;
  std::vector<OdbcDiagnostic> why;
  const bool ok = OdbcListFiles(connection_, ReloadNames(request), each, why);
  connection_.Rollback();
  if (ok) return LoadResult::Loaded(0);
  return Failed(request, target,
                "cannot list the files in " + TableSql(request) + ": " + FormatDiagnostics(why, kNoReason));
}

LoadResult OdbcDestination::ForgetFile(const LoadRequest& request) {
  Target target;
  LoadResult failure;
  if (!Connected(request, target, failure)) return failure;
  const std::string what = Quoted(request.file_name_value);
  if (unit_open_) return Failed(request, target, what + ": a unit is open");
  std::vector<OdbcDiagnostic> why;
  if (OdbcForgetFile(connection_, ReloadNames(request), request.file_name_value, why) && connection_.Commit()) {
    return LoadResult::Loaded(0);
  }
  if (why.empty()) why = connection_.Diagnostics();
  connection_.Rollback();
  return Failed(request, target, what + ": cannot delete the file's rows: " + FormatDiagnostics(why, kNoReason));
}

LoadResult OdbcDestination::RefreshFileStates(const LoadRequest& request, const std::vector<FileState>& states) {
  Target target;
  LoadResult failure;
  if (!Connected(request, target, failure)) return failure;
  if (unit_open_) return Failed(request, target, "a unit is open");
  const OdbcReloadNames names = ReloadNames(request);
  std::vector<OdbcDiagnostic> why;
  bool ok = true;
  for (auto state = states.begin(); ok && state != states.end(); ++state) {
    ok = OdbcRefreshFileState(connection_, names, *state, why);
  }
  if (ok && connection_.Commit()) return LoadResult::Loaded(0);
  if (why.empty()) why = connection_.Diagnostics();
  connection_.Rollback();
  return Failed(request, target, "cannot record the times of unchanged files: " + FormatDiagnostics(why, kNoReason));
}

LoadResult OdbcDestination::FindRowsContaining(const LoadRequest& request, const std::string& needle,
                                               std::vector<std::string>& rows) {
  Target target;
  LoadResult failure;
  if (!Connected(request, target, failure)) return failure;
  std::vector<OdbcDiagnostic> why;
  const bool ok = OdbcFindRows(connection_, TableSql(request), ColumnSql(request.column_name), needle, rows, why);
  connection_.Rollback();
  if (ok) return LoadResult::Loaded(0);
  return Failed(request, target, "cannot read the rows of " + TableSql(request) + ": " + FormatDiagnostics(why, kNoReason));
}

LoadResult OdbcDestination::MakeDurable() {
  if (!connection_.IsOpen() || connection_.MakeDurable()) return LoadResult::Loaded(0);
  return LoadResult::Failed(
      "ODBC", ScrubSecret("the server did not confirm that the loaded rows are on disk: " +
                              FormatDiagnostics(connection_.Diagnostics(), kNoReason),
                          password_));
}

}  // namespace corvanne
