// The ODBC destination: SQL Server and any ODBC data source. One connection
// per run, one transaction and prepared multi-row INSERTs per load.
#include "loader/odbc_destination.hpp"

#include <algorithm>
#include <utility>

#include "loader/identifier.hpp"
#include "loader/line_reader.hpp"
#include "loader/odbc_batch_insert.hpp"
#include "loader/odbc_connection.hpp"
#include "loader/odbc_connection_string.hpp"

namespace corvanne {

namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// How one attempt at a load ended, beyond its result.
struct Attempt {
  LoadResult result;
  bool connection_lost = false;  // the server went away before the commit was asked for
};

class OdbcDestination final : public LoadDestination {
 public:
  OdbcDestination(Engine engine, OdbcOptions options) : engine_(engine), options_(options) {}
  ~OdbcDestination() override { Close(); }

  LoadResult Load(const LoadRequest& request) override;
  void Close() override;

 private:
  // Where the load goes: the connection string and the name users know it by.
  struct Target {
    std::string connection_string;  // holds the password: never shown
    std::string label;              // e.g. ODBC data source "Pg"
  };

  bool ResolveTarget(const LoadRequest& request, Target& target, LoadResult& failure);
  bool CheckNames(const LoadRequest& request, const Target& target, LoadResult& failure) const;
  bool EnsureConnected(const LoadRequest& request, const Target& target, LoadResult& failure);
  // The destination object as it stands in the SQL text.
  std::string TableSql(const LoadRequest& request) const;
  // "INSERT INTO t (c) VALUES ", to be followed by the rows' placeholders.
  std::string InsertPrefix(const LoadRequest& request) const;
  Attempt LoadOnce(const LoadRequest& request, const Target& target);
  LoadResult Failed(const LoadRequest& request, const Target& target, const std::string& description) const;

  Engine engine_;
  OdbcOptions options_;
  OdbcHandle env_;                                // allocated on first use
  OdbcConnection connection_;                     // open between loads of a run
  std::string connected_to_;                      // connection string of the open connection
  std::string failed_to_;                         // connection string that could not connect this run
  std::vector<OdbcDiagnostic> failed_diagnostics_;  // and why
};

LoadResult OdbcDestination::Failed(const LoadRequest& request, const Target& target,
                                   const std::string& description) const {
  LoadResult result;
  result.ok = false;
  result.rows = 0;
  result.source = ScrubSecret(target.label, request.password);
  result.description = ScrubSecret(description, request.password);
  return result;
}

bool OdbcDestination::ResolveTarget(const LoadRequest& request, Target& target, LoadResult& failure) {
  if (!env_.Valid()) env_ = MakeOdbcEnvironment();
  target.label = engine_ == Engine::kOdbc
                     ? "ODBC data source " + Quoted(request.server)
                     : "SQL Server " + Quoted(request.server) + ", database " + Quoted(request.database);
  if (!env_.Valid()) {
    failure = Failed(request, target, Quoted(request.source_path) + ": the ODBC driver manager is not available");
    return false;
  }
  if (engine_ == Engine::kOdbc) {
    target.connection_string = DsnConnectionString(request);
    return true;
  }
  const std::string driver = ChooseSqlServerDriver(request.odbc_driver_name, InstalledDrivers(env_.Get()));
  if (driver.empty()) {
    std::string tried;
    for (const std::string& name : kSqlServerDriverPreference) tried += (tried.empty() ? "" : ", ") + Quoted(name);
    failure = Failed(request, target,
                     Quoted(request.source_path) + ": no SQL Server ODBC driver is installed (looked for " + tried +
                         "; ODBC_DRIVER_NAME can name another)");
    return false;
  }
  target.label += ", ODBC driver " + Quoted(driver);
  target.connection_string = SqlServerConnectionString(request, driver);
  return true;
}

bool OdbcDestination::CheckNames(const LoadRequest& request, const Target& target, LoadResult& failure) const {
  // Names go into SQL text, so they must be names and nothing more.
  const std::pair<const char*, const std::string*> names[] = {
      {"destination table", engine_ == Engine::kOdbc ? &request.table_name : &request.destination_object_name},
      {"destination column", &request.column_name},
  };
  for (const auto& [what, name] : names) {
    if (!IsIdentifier(*name)) {
      failure = Failed(request, target,
                       Quoted(request.source_path) + ": the " + what + " name " + Quoted(*name) +
                           " is not a valid identifier; nothing was sent to the server");
      return false;
    }
  }
  return true;
}

bool OdbcDestination::EnsureConnected(const LoadRequest& request, const Target& target, LoadResult& failure) {
  if (connection_.IsOpen() && connected_to_ == target.connection_string) return true;
  const auto fail = [&](const std::vector<OdbcDiagnostic>& diagnostics) {
    failure = Failed(request, target,
                     Quoted(request.source_path) + ": cannot connect: " +
                         FormatDiagnostics(diagnostics, "the driver gave no reason"));
    return false;
  };
  // A server that refused or did not answer once in this run is not asked
  // again: every later load would wait out the same timeout.
  if (failed_to_ == target.connection_string) return fail(failed_diagnostics_);
  connection_.Close();
  connected_to_.clear();
  if (!connection_.Open(env_.Get(), target.connection_string, request.timeout_seconds)) {
    failed_to_ = target.connection_string;
    failed_diagnostics_ = connection_.Diagnostics();
    return fail(failed_diagnostics_);
  }
  connected_to_ = target.connection_string;
  return true;
}

std::string OdbcDestination::TableSql(const LoadRequest& request) const {
  if (engine_ == Engine::kOdbc) return RequoteIdentifier(request.table_name, connection_.IdentifierQuote());
  return request.destination_object_name;
}

std::string OdbcDestination::InsertPrefix(const LoadRequest& request) const {
  const std::string column = engine_ == Engine::kOdbc
                                 ? RequoteIdentifier(request.column_name, connection_.IdentifierQuote())
                                 : request.column_name;
  return "INSERT INTO " + TableSql(request) + " (" + column + ") VALUES ";
}

Attempt OdbcDestination::LoadOnce(const LoadRequest& request, const Target& target) {
  Attempt attempt;
  LineReader reader(request.source_path, request.row_delimiter, request.max_line_bytes);
  if (!reader.Open()) {
    attempt.result = Failed(request, target, reader.Error());
    return attempt;
  }
  if (!EnsureConnected(request, target, attempt.result)) return attempt;

  const auto insert_failed = [&](const OdbcInsertFailure& why) {
    attempt.connection_lost = IsConnectionLost(why.diagnostics) || connection_.IsDead();
    std::string where = Quoted(request.source_path);
    if (why.failed_line > 0) {
      where += " line " + std::to_string(why.failed_line);
    } else if (why.first_line > 0) {
      where += " lines " + std::to_string(why.first_line) + " to " + std::to_string(why.last_line);
    }
    attempt.result = Failed(request, target,
                            where + ": cannot " + why.what + " into " + TableSql(request) + ": " +
                                FormatDiagnostics(why.diagnostics, "the driver gave no reason"));
    return attempt;
  };

  // From here a transaction is open: every exit but a successful commit
  // rolls it back.
  OdbcTransaction transaction(connection_);
  const OdbcInsertShape shape{options_.batch_rows, options_.statements_per_execute,
                              std::min<std::size_t>(request.max_line_bytes, 8000)};
  OdbcBatchInsert insert(connection_, InsertPrefix(request), shape);
  std::string_view line;
  int64_t rows = 0;
  while (reader.Next(line)) {
    if (!insert.Add(line, reader.LineNumber())) return insert_failed(insert.Failure());
    ++rows;
  }
  if (!reader.Error().empty()) {
    attempt.result = Failed(request, target, reader.Error());
    return attempt;
  }
  if (!insert.Flush()) return insert_failed(insert.Failure());
  if (!transaction.Commit()) {
    // The server may or may not have committed before the link broke, so the
    // load is not tried again: that could write the file twice.
    attempt.result = Failed(request, target,
                            Quoted(request.source_path) + ": cannot commit " + std::to_string(rows) +
                                " rows (if the connection broke, they may or may not be in the table): " +
                                FormatDiagnostics(connection_.Diagnostics(), "the driver gave no reason"));
    if (IsConnectionLost(connection_.Diagnostics()) || connection_.IsDead()) {
      connection_.Close();
      connected_to_.clear();
    }
    return attempt;
  }
  attempt.result.rows = rows;
  return attempt;
}

LoadResult OdbcDestination::Load(const LoadRequest& request) {
  Target target;
  LoadResult failure;
  if (!ResolveTarget(request, target, failure) || !CheckNames(request, target, failure)) return failure;
  Attempt attempt = LoadOnce(request, target);
  if (attempt.connection_lost) {
    // The load was rolled back with the connection, so it can start over
    // once on a new connection without writing anything twice.
    connection_.Close();
    connected_to_.clear();
    attempt = LoadOnce(request, target);
    if (attempt.connection_lost) {
      connection_.Close();
      connected_to_.clear();
    }
  }
  return attempt.result;
}

void OdbcDestination::Close() {
  connection_.Close();
  connected_to_.clear();
  failed_to_.clear();
  failed_diagnostics_.clear();
}

}  // namespace

std::unique_ptr<LoadDestination> MakeOdbcDestination(Engine engine) { return MakeOdbcDestination(engine, {}); }

std::unique_ptr<LoadDestination> MakeOdbcDestination(Engine engine, const OdbcOptions& options) {
  return std::make_unique<OdbcDestination>(engine, options);
}

}  // namespace corvanne
