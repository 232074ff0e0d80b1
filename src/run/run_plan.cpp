// Builds the run plan from the settings; see run_plan.hpp.
#include "run/run_plan.hpp"

#include "common/text.hpp"
#include "common/text_decoding.hpp"
#include "common/utf8.hpp"
#include "run/load_engine.hpp"
#include "run/reload.hpp"

namespace corvanne {

bool BuildRunPlan(const AppState& state, RunPlan& plan, std::vector<std::string>& problems) {
  const std::size_t before = problems.size();
  // An unknown engine is the destination's own finding: a destination
  // handed in (tests) needs none.
  plan.engine_known = ParseEngine(state.Destination.DestinationEngine, plan.engine);
  std::string reason;
  if (!ParseCodePage(state.ConfiguredSource.CodePage, plan.code_page, reason)) problems.push_back(reason);
  if (!CheckLoadMode(state.Destination, plan.load_mode, reason)) problems.push_back(reason);
  // SQL Server is the default engine, so a configuration that names only its
  // folders ends here; saying so beats a bracketed name that is no table.
  const DestinationSettings& wanted = state.Destination;
  if (plan.engine_known && plan.engine == Engine::kSqlServer) {
    const char* empty = wanted.ServerName.empty()     ? "SQL_SERVER_NAME"
                        : wanted.DatabaseName.empty() ? "SQL_SERVER_DATABASE_NAME"
                                                      : nullptr;
    if (empty != nullptr) {
      problems.push_back(std::string("no SQL Server ") + (wanted.ServerName.empty() ? "" : "database ") +
                         "is configured: " + empty + " is empty and DESTINATION_ENGINE " +
                         (wanted.DestinationEngine.empty() ? "is not set, so SQLSERVER is used" : "is SQLSERVER") +
                         " (to load into a SQLite file with no server, set DESTINATION_ENGINE to SQLITE; "
                         "corvanne --init FILE writes such a configuration)");
    }
  }

  const SourceSettings& source = state.ConfiguredSource;
  plan.source = ResolveSource(source, ApplicationFolder(state));
  plan.selection = SelectionOf(source);
  const DestinationSettings& destination = state.Destination;
  LoadRequest& request = plan.load;
  request = LoadRequest{};
  request.row_delimiter = TrimUpper(source.RowDelimiter) == "VBCRLF" ? "\r\n" : source.RowDelimiter;
  request.code_page = source.CodePage;
  request.server = destination.ServerName;
  request.database = destination.DatabaseName;
  request.user_name = destination.UserName;
  request.password = destination.Password;
  request.destination_object_name = DestinationObjectName(destination);
  request.table_name = destination.TableName;
  request.column_name = destination.ColumnName;
  request.columns = {destination.FileNameColumnName, destination.LineNumberColumnName,
                     destination.BatchCodeColumnName};
  request.batch_code_value = state.Run.BatchCode;
  request.load_mode = plan.load_mode;
  request.odbc_driver_name = destination.OdbcDriverName;
  return problems.size() == before;
}

std::string FileNameText(const std::string& path, const CodePage& code_page) {
  if (IsValidUtf8(path) || code_page.kind == CodePageKind::kBytes) return path;
  const DecodedText decoded = DecodeText(path, code_page);
  return decoded.ok ? decoded.text : path;
}

LoadRequest RequestFor(const RunPlan& plan, const std::string& path) {
  LoadRequest request = plan.load;
  request.source_path = path;
  request.file_name_value = FileNameText(path, plan.code_page);
  return request;
}

}  // namespace corvanne
