// Chooses the engine of a run from its configured name and builds the
// destination for it; engines not built into this program are refused here.
#include "destination/destination.hpp"

#include "common/text.hpp"
#include "destination/identifier.hpp"
#include "destination/sqlite/sqlite_destination.hpp"

#ifdef CORVANNE_HAVE_LIBPQ
#include "destination/postgres/pg_destination.hpp"
#endif

#ifdef CORVANNE_HAVE_ODBC
#include "destination/odbc/odbc_destination.hpp"
#endif

namespace corvanne {

bool ParseEngine(const std::string& configured, Engine& engine) {
  const std::string name = TrimUpper(configured);
  if (name.empty() || name == "SQLSERVER") {
    engine = Engine::kSqlServer;
  } else if (name == "SQLITE") {
    engine = Engine::kSqlite;
  } else if (name == "ODBC") {
    engine = Engine::kOdbc;
  } else if (name == "POSTGRESQL") {
    engine = Engine::kPostgres;
  } else {
    return false;
  }
  return true;
}

namespace {

LoadResult NoCompanion() {
  return LoadResult::Failed("Corvanne", "this destination keeps no record of the files it loaded");
}

}  // namespace

LoadResult LoadDestination::RecordFile(const LoadRequest& /*request*/, const FileState& /*state*/) {
  return NoCompanion();
}

LoadResult LoadDestination::ReadFileStates(const LoadRequest& /*request*/, const FileStateSink& /*each*/) {
  return NoCompanion();
}

LoadResult LoadDestination::ListFiles(const LoadRequest& /*request*/, const FileNameSink& /*each*/) {
  return NoCompanion();
}

LoadResult LoadDestination::ForgetFile(const LoadRequest& /*request*/) { return NoCompanion(); }

LoadResult LoadDestination::RefreshFileStates(const LoadRequest& /*request*/,
                                              const std::vector<FileState>& /*states*/) {
  return NoCompanion();
}

LoadResult LoadDestination::MakeDurable() { return LoadResult::Loaded(0); }

LoadResult LoadDestination::FindRowsContaining(const LoadRequest& /*request*/, const std::string& /*needle*/,
                                               std::vector<std::string>& /*rows*/) {
  return LoadResult::Failed("Corvanne", "this destination cannot be searched for rows");
}

std::string LoadNameProblem(const LoadRequest& request, const std::string& table) {
  const std::pair<const char*, const std::string*> names[] = {
      {"destination table", &table},
      {"destination column", &request.column_name},
      {"file name column", &request.columns.file_name},
      {"line number column", &request.columns.line_number},
      {"batch code column", &request.columns.batch_code},
      {"file id column", &request.columns.file_id},
  };
  for (const auto& [what, name] : names) {
    const bool optional = name != &table && name != &request.column_name;
    if (optional && name->empty()) continue;
    if (!IsIdentifier(*name)) {
      return "the " + std::string(what) + " name " + Quoted(*name) + " is not a valid identifier";
    }
  }
  if (request.load_mode != LoadMode::kAppend && request.columns.file_name.empty() &&
      request.columns.file_id.empty()) {
    return "a re-load (REPLACE or CHANGED) finds a file's earlier rows by the file name or file id column, and "
           "neither is configured";
  }
  return {};
}

std::unique_ptr<LoadDestination> MakeDestination(Engine engine, const std::string& application_folder,
                                                 std::string& error) {
  if (engine == Engine::kSqlite) return MakeSqliteDestination(application_folder);
  if (engine == Engine::kPostgres) {
#ifdef CORVANNE_HAVE_LIBPQ
    return MakePostgresDestination();
#else
    error = "the POSTGRESQL destination engine is not built into this program (it was built without libpq)";
    return nullptr;
#endif
  }
#ifdef CORVANNE_HAVE_ODBC
  static_cast<void>(error);
  return MakeOdbcDestination(engine);
#else
  error = std::string("the ") + (engine == Engine::kOdbc ? "ODBC" : "SQLSERVER") +
          " destination engine is not built into this program (it was built without ODBC)";
  return nullptr;
#endif
}

}  // namespace corvanne
