// The ODBC destination: SQL Server and any ODBC data source. One connection
// per run; a source file's loads share one transaction, a load of several
// statements a savepoint in it; prepared multi-row INSERTs, kept per connection.
#include "destination/odbc/odbc_destination.hpp"

#include <algorithm>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "common/code_page.hpp"
#include "destination/odbc/odbc_on_demand.hpp"
#include "common/text.hpp"
#include "destination/identifier.hpp"
#include "destination/odbc/odbc_batch_insert.hpp"
#include "destination/odbc/odbc_connection.hpp"
#include "destination/odbc/odbc_connection_string.hpp"
#include "destination/odbc/odbc_destination_impl.hpp"

namespace corvanne {

namespace {

// The file a message is about, or nothing when the call is for no file.
std::string Where(const LoadRequest& request) {
  return request.source_path.empty() ? std::string() : Quoted(request.source_path) + ": ";
}

}  // namespace

LoadResult OdbcDestination::Failed(const LoadRequest& request, const Target& target,
                                   const std::string& description) const {
  return LoadResult::Failed(ScrubSecret(target.label, request.password),
                            ScrubSecret(description, request.password));
}

bool OdbcDestination::ResolveTarget(const LoadRequest& request, Target& target, LoadResult& failure) {
  password_ = request.password;
  target.label = engine_ == Engine::kOdbc
                     ? "ODBC data source " + Quoted(request.server)
                     : "SQL Server " + Quoted(request.server) + ", database " + Quoted(request.database);
  if (std::string why; !OdbcAvailable(why)) {
    failure = Failed(request, target, Where(request) + "the ODBC driver manager is not available: " + why);
    return false;
  }
  if (!env_.Valid()) env_ = MakeOdbcEnvironment();
  if (!env_.Valid()) {
    failure = Failed(request, target, Where(request) + "the ODBC driver manager is not available");
    return false;
  }
  if (engine_ == Engine::kOdbc) {
    target.connection_string = DsnConnectionString(request);
    return CheckNames(request, target, failure);
  }
  const std::string driver = ChooseSqlServerDriver(request.odbc_driver_name, InstalledDrivers(env_.Get()));
  if (driver.empty()) {
    std::string tried;
    for (const std::string& name : kSqlServerDriverPreference) tried += (tried.empty() ? "" : ", ") + Quoted(name);
    failure = Failed(request, target,
                     Where(request) + "no SQL Server ODBC driver is installed (looked for " + tried +
                         "; ODBC_DRIVER_NAME can name another)");
    return false;
  }
  target.label += ", ODBC driver " + Quoted(driver);
  target.connection_string = SqlServerConnectionString(request, driver);
  return CheckNames(request, target, failure);
}

bool OdbcDestination::CheckNames(const LoadRequest& request, const Target& target, LoadResult& failure) const {
  // Names go into SQL text, so they must be names and nothing more.
  const std::string problem =
      LoadNameProblem(request, engine_ == Engine::kOdbc ? request.table_name : request.destination_object_name);
  if (problem.empty()) return true;
  failure = Failed(request, target, Where(request) + problem + "; nothing was sent to the server");
  return false;
}

bool OdbcDestination::EnsureConnected(const LoadRequest& request, const Target& target, LoadResult& failure) {
  if (connection_.IsOpen() && connected_to_ == target.connection_string) return true;
  const auto fail = [&](const std::vector<OdbcDiagnostic>& diagnostics) {
    failure = Failed(request, target,
                     Where(request) + "cannot connect: " +
                         FormatDiagnostics(diagnostics, "the driver gave no reason"));
    return false;
  };
  // A server that refused or did not answer once in this run is not asked
  // again: every later load would wait out the same timeout.
  if (failed_to_ == target.connection_string) return fail(failed_diagnostics_);
  Disconnect();
  if (!connection_.Open(env_.Get(), target.connection_string, request.timeout_seconds)) {
    failed_to_ = target.connection_string;
    failed_diagnostics_ = connection_.Diagnostics();
    return fail(failed_diagnostics_);
  }
  connected_to_ = target.connection_string;
  ++connections_;
  // Whether the companion table keeps ranges decides how a file's rows are
  // found; asked alone, as a failed query spoils a transaction on some servers.
  companion_ranged_ = connection_.Execute("SELECT FirstLineId, LastLineId FROM " + ReloadNames(request).companion +
                                          " WHERE 1 = 0");
  connection_.Rollback();
  return true;
}

std::string OdbcDestination::TableSql(const LoadRequest& request) const {
  if (engine_ == Engine::kOdbc) return RequoteIdentifier(request.table_name, connection_.IdentifierQuote());
  // Every part bracketed: a table called Order or User is a name too.
  return QuoteIdentifier(request.destination_object_name, QuoteStyle::kBracket);
}

std::string OdbcDestination::ColumnSql(const std::string& name) const {
  if (engine_ == Engine::kOdbc) return RequoteIdentifier(name, connection_.IdentifierQuote());
  return QuoteIdentifier(name, QuoteStyle::kBracket);
}

std::string OdbcDestination::InsertPrefix(const LoadRequest& request) const {
  std::string columns = ColumnSql(request.column_name);
  for (const std::string* name : {&request.columns.file_name, &request.columns.line_number,
                                  &request.columns.batch_code, &request.columns.file_id}) {
    if (!name->empty()) columns += ", " + ColumnSql(*name);
  }
  return "INSERT INTO " + TableSql(request) + " (" + columns + ") VALUES ";
}

OdbcLoadAttempt OdbcDestination::LoadOnce(const LoadRequest& request, const Target& target) {
  OdbcLoadAttempt attempt;
  if (!EnsureConnected(request, target, attempt.result)) return attempt;
  const std::string what = request.row_text ? "a marker row of " + Quoted(request.source_path)
                                            : Quoted(request.source_path);
  const auto describe = [&](const std::string& where, const std::string& cause,
                            const std::vector<OdbcDiagnostic>& diagnostics) {
    attempt.connection_lost = IsConnectionLost(diagnostics) || connection_.IsDead();
    attempt.result = Failed(request, target,
                            where + ": " + cause + ": " + FormatDiagnostics(diagnostics, "the driver gave no reason"));
    return attempt;
  };

  // From here a transaction is open: every exit but a successful commit
  // takes the load back. Inside a unit, a load of more than one chunk of
  // rows is marked by a savepoint where the server has them, so that it can
  // be taken back alone; a shorter load (a marker row, a small file) goes
  // without, which saves a round trip per file: if it fails, the unit is
  // rolled back and its earlier loads (the BEGINS row) sent again.
  OdbcTransaction transaction(connection_);
  if (unit_open_) transaction.Release();  // the unit's transaction outlives the load
  bool marked = false;                    // the load's savepoint is set
  std::function<bool()> mark;
  if (unit_open_ && connection_.Savepoints() != SavepointDialect::kNone) {
    mark = [&]() { return marked = connection_.SetSavepoint(); };
  }
  // Takes back what the load sent so far and keeps the load open, so that
  // the insert can send its rows again another way.
  const auto undo = [&]() {
    if (!unit_open_) {
      connection_.Rollback();
      return true;
    }
    if (marked) return connection_.RollbackToSavepoint();
    connection_.Rollback();
    return ReplayUnit(target);
  };
  const OdbcInsertShape shape{options_.batch_rows, options_.statements_per_execute,
                              std::min<std::size_t>(request.max_line_chars, 8000)};
  // Decoded text goes as wide characters, so the driver and the server
  // convert it to the column's type; under BYTES the bytes go as they are.
  const OdbcRowColumns columns{!request.columns.file_name.empty(), !request.columns.line_number.empty(),
                               !request.columns.batch_code.empty(), TrimUpper(request.code_page) != kBytes,
                               !request.columns.file_id.empty()};
  int64_t file_id = unit_file_id_;
  if (!unit_open_ && columns.file_id) {
    // A load of its own adds rows beside any the file has.
    std::vector<OdbcDiagnostic> why;
    if (!OdbcTakeOutFile(connection_, ReloadNames(request), request.file_name_value, false, file_id, why)) {
      return describe(what, "cannot find or make the file's row in " + ReloadNames(request).companion, why);
    }
  }
  const std::string prefix = InsertPrefix(request);
  // A load sent again while another is being fed (the replay of a unit)
  // gets an insert of its own: the kept one is in the middle of its rows.
  std::unique_ptr<OdbcBatchInsert> own;
  if (feeding_) {
    own = std::make_unique<OdbcBatchInsert>(connection_, prefix, shape, columns);
  } else if (!insert_ || !insert_->Fits(prefix, shape, columns)) {
    insert_ = std::make_unique<OdbcBatchInsert>(connection_, prefix, shape, columns);
  }
  OdbcBatchInsert& insert = own ? *own : *insert_;
  insert.BeginLoad(request.file_name_value, request.batch_code_value, file_id, undo, mark);
  const bool outer_feeding = std::exchange(feeding_, true);
  const FeedOutcome fed = FeedRows(request, insert);
  feeding_ = outer_feeding;
  if (fed.stop != FeedOutcome::Stop::kDone) {
    // Copied first: sending the unit's loads again reuses the insert.
    const OdbcInsertFailure why = insert.Failure();
    const bool lost = fed.stop == FeedOutcome::Stop::kSink &&
                      (IsConnectionLost(why.diagnostics) || connection_.IsDead());
    // A lost connection took the whole transaction with it; Load() decides.
    if (unit_open_ && !lost) UndoLoad(target, marked);
    if (fed.stop == FeedOutcome::Stop::kSource) {
      attempt.result = Failed(request, target, fed.source_error);
      return attempt;
    }
    std::string where = what;
    if (why.failed_line > 0) {
      where += " line " + std::to_string(why.failed_line);
    } else if (why.first_line > 0) {
      where += " lines " + std::to_string(why.first_line) + " to " + std::to_string(why.last_line);
    }
    return describe(where, "cannot " + why.what + " into " + TableSql(request), why.diagnostics);
  }
  if (unit_open_) {
    // The savepoint is left for the commit to end: releasing it would cost
    // one more round trip per file, and a later load's savepoint of the
    // same name hides it.
    attempt.result = LoadedFrom(fed);
    return attempt;
  }
  if (!transaction.Commit()) {
    // The server may or may not have committed before the link broke, so the
    // load is not tried again: that could write the file twice.
    attempt.result = Failed(request, target,
                            what + ": cannot commit " + std::to_string(fed.rows) +
                                " rows (if the connection broke, they may or may not be in the table): " +
                                FormatDiagnostics(connection_.Diagnostics(), "the driver gave no reason"));
    if (IsConnectionLost(connection_.Diagnostics()) || connection_.IsDead()) Disconnect();
    return attempt;
  }
  attempt.result = LoadedFrom(fed);
  return attempt;
}

bool OdbcDestination::UndoLoad(const Target& target, bool savepoint) {
  if (!unit_lost_.empty()) return false;
  if (savepoint && connection_.RollbackToSavepoint()) {
    connection_.ReleaseSavepoint();
    return true;
  }
  connection_.Rollback();
  return ReplayUnit(target);
}

bool OdbcDestination::ReplayUnit(const Target& target) {
  // Replayed loads go in as the unit's own, without savepoints of their own
  // being needed: a failure here loses the unit.
  const std::vector<LoadRequest> loads = std::move(unit_loads_);
  unit_loads_.clear();
  std::vector<OdbcDiagnostic> why;
  if (UsesCompanion(unit_request_) && !TakeOut(unit_request_, why)) {
    unit_lost_ = "the earlier rows of " + Quoted(unit_file_) + " could not be taken out again: " +
                 FormatDiagnostics(why, "the driver gave no reason");
    return false;
  }
  for (const LoadRequest& earlier : loads) {
    const OdbcLoadAttempt again = LoadOnce(earlier, target);
    if (!again.result.ok) {
      unit_lost_ = "the loads of " + Quoted(unit_file_) + " before the failed one could not be sent again: " +
                   again.result.description;
      return false;
    }
    unit_loads_.push_back(earlier);
  }
  return true;
}

LoadResult OdbcDestination::Open(const LoadRequest& request) {
  // A table or column that is not there fails every load alike: better
  // one error before the first file than one per file.
  LoadResult verified = Verify(request);
  if (!verified.ok || UsesCompanion(request) || !companion_ranged_) return verified;
  Target target;
  LoadResult failure;
  if (!ResolveTarget(request, target, failure)) return failure;
  std::vector<OdbcDiagnostic> why;
  if (OdbcForgetRanges(connection_, ReloadNames(request), why) && connection_.Commit()) return verified;
  if (why.empty()) why = connection_.Diagnostics();
  connection_.Rollback();
  return Failed(request, target,
                "cannot mark the ranges in " + ReloadNames(request).companion +
                    " as no longer holding all of their files' rows: " +
                    FormatDiagnostics(why, "the driver gave no reason"));
}

std::string OdbcDestination::AddColumnAdvice(const LoadRequest& request) {
  // Each query alone: which of the names the table lacks. A failed query
  // spoils the transaction on some servers, so each is rolled back.
  const auto readable = [&](const std::string& column) {
    const bool ok = connection_.Execute("SELECT " + column + " FROM " + TableSql(request) + " WHERE 1 = 0");
    connection_.Rollback();
    return ok;
  };
  if (!readable(ColumnSql(request.column_name))) return {};
  // Corvanne makes no table on a server; the types are those docs/odbc.md gives.
  const bool sql_server = engine_ == Engine::kSqlServer;
  const std::pair<const std::string*, const char*> optional[] = {
      {&request.columns.file_name, sql_server ? "nvarchar(1024)" : "varchar(1024)"},
      {&request.columns.line_number, sql_server ? "int" : "integer"},
      {&request.columns.batch_code, "varchar(64)"}, {&request.columns.file_id, "bigint"}};
  std::string advice;
  for (const auto& [name, type] : optional) {
    if (name->empty() || readable(ColumnSql(*name))) continue;
    advice += (advice.empty() ? "" : "; ") + std::string("ALTER TABLE ") + TableSql(request) + " ADD " +
              ColumnSql(*name) + " " + type;
  }
  return advice.empty() ? std::string() : "; to add the missing optional columns, run: " + advice;
}

LoadResult OdbcDestination::Verify(const LoadRequest& request) {
  Target target;
  LoadResult failure;
  if (!ResolveTarget(request, target, failure) || !EnsureConnected(request, target, failure)) return failure;
  std::string columns = ColumnSql(request.column_name);
  for (const std::string* name : {&request.columns.file_name, &request.columns.line_number,
                                  &request.columns.batch_code, &request.columns.file_id}) {
    if (!name->empty()) columns += ", " + ColumnSql(*name);
  }
  // Some drivers only ask the server at execute time; no row comes back.
  const bool ok = connection_.Execute("SELECT " + columns + " FROM " + TableSql(request) + " WHERE 1 = 0");
  const std::vector<OdbcDiagnostic> diagnostics = connection_.Diagnostics();
  connection_.Rollback();
  if (!ok) {
    return Failed(request, target,
                  "the table " + TableSql(request) + " with the columns " + columns + " cannot be read: " +
                      FormatDiagnostics(diagnostics, "the driver gave no reason") + AddColumnAdvice(request));
  }
  if (UsesCompanion(request) && !VerifyCompanion(request, target, failure)) return failure;
  return LoadResult::Loaded(0);
}

LoadResult OdbcDestination::BeginUnit(const LoadRequest& request) {
  RollbackUnit();
  Target target;
  LoadResult failure;
  if (!ResolveTarget(request, target, failure) || !EnsureConnected(request, target, failure)) return failure;
  // Autocommit is off: the unit's transaction starts with its first statement.
  unit_file_id_ = 0;
  if (UsesCompanion(request)) {
    std::vector<OdbcDiagnostic> why;
    if (!TakeOut(request, why)) {
      connection_.Rollback();
      if (IsConnectionLost(why) || connection_.IsDead()) Disconnect();
      return Failed(request, target,
                    Where(request) + "cannot take out the file's earlier rows: " +
                        FormatDiagnostics(why, "the driver gave no reason"));
    }
  }
  unit_open_ = true;
  unit_request_ = request;
  unit_file_ = request.source_path;
  unit_lost_.clear();
  unit_loads_.clear();
  return LoadResult::Loaded(0);
}

LoadResult OdbcDestination::Load(const LoadRequest& request) {
  Target target;
  LoadResult failure;
  if (!ResolveTarget(request, target, failure)) return failure;
  if (unit_open_ && !unit_lost_.empty()) {
    return Failed(request, target,
                  Quoted(request.source_path) + ": not loaded, the file's unit was already rolled back: " +
                      unit_lost_);
  }
  OdbcLoadAttempt attempt = LoadOnce(request, target);
  if (attempt.connection_lost) {
    // The transaction went with the connection, so the load (and the unit's
    // earlier loads) can start over once on a new connection without
    // writing anything twice.
    Disconnect();
    if (!unit_open_ || (EnsureConnected(request, target, failure) && ReplayUnit(target))) {
      attempt = LoadOnce(request, target);
    } else if (unit_lost_.empty()) {
      unit_lost_ = "the connection was lost";
    }
    if (attempt.connection_lost) Disconnect();
  }
  if (unit_open_) {
    if (attempt.result.ok) {
      unit_loads_.push_back(request);
    } else if (attempt.connection_lost && unit_lost_.empty()) {
      unit_lost_ = "the connection was lost: " + attempt.result.description;
    }
  }
  return attempt.result;
}

LoadResult OdbcDestination::CommitUnit() {
  if (!unit_open_) return LoadResult::Failed("ODBC", "no unit is open to be committed");
  unit_open_ = false;
  unit_loads_.clear();
  const std::string file = std::exchange(unit_file_, {});
  if (!unit_lost_.empty()) {
    connection_.Rollback();
    return LoadResult::Failed("ODBC", ScrubSecret(std::exchange(unit_lost_, {}), password_));
  }
  if (connection_.IsOpen() && connection_.Commit()) return LoadResult::Loaded(0);
  const std::vector<OdbcDiagnostic> diagnostics = connection_.Diagnostics();
  const bool lost = !connection_.IsOpen() || IsConnectionLost(diagnostics) || connection_.IsDead();
  if (lost) {
    Disconnect();
  } else {
    connection_.Rollback();
  }
  return LoadResult::Failed(
      "ODBC", ScrubSecret(Quoted(file) + (lost ? ": the connection broke at the commit of the file's rows (they may "
                                                 "or may not be in the table): "
                                               : ": the file's rows could not be committed, none of them was kept: ") +
                              FormatDiagnostics(diagnostics, "the driver gave no reason"),
                          password_));
}

void OdbcDestination::RollbackUnit() {
  if (!unit_open_) return;
  unit_open_ = false;
  unit_loads_.clear();
  unit_file_.clear();
  unit_lost_.clear();
  connection_.Rollback();
}

void OdbcDestination::Disconnect() {
  insert_.reset();  // its statements go before their connection
  connection_.Close();
  connected_to_.clear();
}

LoadResult OdbcDestination::Close() {
  // An unfinished unit is never committed by accident.
  RollbackUnit();
  LoadResult result = MakeDurable();
  Disconnect();
  failed_to_.clear();
  failed_diagnostics_.clear();
  return result;
}

std::unique_ptr<LoadDestination> MakeOdbcDestination(Engine engine) { return MakeOdbcDestination(engine, {}); }

std::unique_ptr<LoadDestination> MakeOdbcDestination(Engine engine, const OdbcOptions& options) {
  return std::make_unique<OdbcDestination>(engine, options);
}

}  // namespace corvanne
