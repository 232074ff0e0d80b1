// Chooses the engine of a run from its configured name and builds the
// destination for it; engines not built into this program are refused here.
#include "loader/destination.hpp"

#include "common/text.hpp"
#include "loader/sqlite_destination.hpp"

#ifdef CORVANNE_HAVE_ODBC
#include "loader/odbc_destination.hpp"
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

LoadResult LoadDestination::ReadFileStates(const LoadRequest& /*request*/, std::vector<FileState>& /*states*/) {
  return NoCompanion();
}

LoadResult LoadDestination::ListFiles(const LoadRequest& /*request*/, std::vector<std::string>& /*names*/) {
  return NoCompanion();
}

LoadResult LoadDestination::ForgetFile(const LoadRequest& /*request*/) { return NoCompanion(); }

LoadResult LoadDestination::MakeDurable() { return LoadResult::Loaded(0); }

LoadResult LoadDestination::FindRowsContaining(const LoadRequest& /*request*/, const std::string& /*needle*/,
                                               std::vector<std::string>& /*rows*/) {
  return LoadResult::Failed("Corvanne", "this destination cannot be searched for rows");
}

std::unique_ptr<LoadDestination> MakeDestination(Engine engine, const std::string& application_folder,
                                                 std::string& error) {
  if (engine == Engine::kSqlite) return MakeSqliteDestination(application_folder);
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
