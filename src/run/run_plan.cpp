// Builds the run plan from the settings; see run_plan.hpp.
#include "run/run_plan.hpp"

#include <iterator>

#include "common/text.hpp"
#include "common/text_decoding.hpp"
#include "run/load_engine.hpp"
#include "run/reload.hpp"

namespace corvanne {

bool BuildRunPlan(const AppState& state, RunPlan& plan, std::vector<std::string>& problems) {
  const std::size_t before = problems.size();
  // An unknown engine is the destination's own finding: a destination
  // handed in (tests) needs none.
  plan.engine_known = ParseEngine(state.Destination.DestinationEngine, plan.engine);
  const std::string application_folder = ApplicationFolder(state);
  std::vector<std::string> code_page_problems = CodePageProblems(state.ConfiguredSource, application_folder);
  problems.insert(problems.end(), std::make_move_iterator(code_page_problems.begin()),
                  std::make_move_iterator(code_page_problems.end()));
  std::string reason;
  if (!ParseCodePage(state.ConfiguredSource.CodePage, plan.code_page, reason)) plan.code_page = CodePage{};
  CodePage fallback;
  if (!ParseCodePage(state.ConfiguredSource.CodePageFallback, fallback, reason, "SOURCE_FILE_CODE_PAGE_FALLBACK",
                     false)) {
    fallback = CodePage{};
  }
  // A name is needed before its file is read: under AUTO it is decoded with
  // the fallback.
  const auto for_names = [&fallback](const CodePage& code_page) {
    return code_page.kind == CodePageKind::kAuto ? fallback : code_page;
  };
  plan.names = for_names(plan.code_page);
  plan.folder_code_pages = FolderCodePages(state.ConfiguredSource, application_folder);
  plan.folder_names.clear();
  for (const FolderCodePage& item : plan.folder_code_pages) {
    CodePage code_page;
    if (!ParseCodePage(item.code_page, code_page, reason)) code_page = plan.code_page;
    plan.folder_names.push_back(for_names(code_page));
  }
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
  request.code_page_fallback = source.CodePageFallback;
  request.undecodable_bytes = source.UndecodableBytes;
  request.server = destination.ServerName;
  request.database = destination.DatabaseName;
  request.user_name = destination.UserName;
  request.password = destination.Password;
  request.destination_object_name = DestinationObjectName(destination);
  request.table_name = destination.TableName;
  request.column_name = destination.ColumnName;
  request.columns = {destination.FileNameColumnName, destination.LineNumberColumnName,
                     destination.BatchCodeColumnName, destination.FileIdColumnName};
  request.batch_code_value = state.Run.BatchCode;
  request.load_mode = plan.load_mode;
  request.odbc_driver_name = destination.OdbcDriverName;
  return problems.size() == before;
}

std::string FileNameText(const std::string& path, const RunPlan& plan) {
  // The folder item that holds the file decides, as it does for its content.
  const std::ptrdiff_t item = FolderItemFor(plan.folder_code_pages, path);
  return FileNameAsText(path, item >= 0 ? plan.folder_names[static_cast<std::size_t>(item)] : plan.names);
}

LoadRequest RequestFor(const RunPlan& plan, const std::string& path) {
  LoadRequest request = plan.load;
  request.source_path = path;
  request.code_page = CodePageValueForFile(plan.folder_code_pages, path, plan.load.code_page);
  request.file_name_value = FileNameText(path, plan);
  return request;
}

}  // namespace corvanne
