// The PostgreSQL destination: connection, tables, and a file's unit. In
// APPEND a unit costs two round trips: "BEGIN; COPY ...; COMMIT" answered,
// then the COPY (marker rows, lines, DONE row) ended and committed. A
// re-load adds one pipeline before (the take-out) and one after (the
// file's record and COMMIT).
#include <algorithm>
#include <iterator>
#include <utility>

#include "common/text.hpp"
#include "destination/postgres/pg_destination_impl.hpp"
#include "loader/identifier.hpp"

namespace corvanne {

namespace {

// The file a message is about, or nothing when the call is for no file.
std::string Where(const LoadRequest& request) {
  return request.source_path.empty() ? std::string() : Quoted(request.source_path) + ": ";
}

// The values of `request`'s connection as one text: a change of any of them
// means another connection.
std::string ParametersKey(const std::vector<std::pair<std::string, std::string>>& parameters) {
  std::string key;
  for (const auto& [keyword, value] : parameters) key += keyword + '\x1f' + value + '\x1e';
  return key;
}

// The new table's column types: a line of up to 8000 characters, a path of
// any length.
std::string ColumnDefinitions(const PgNames& names) {
  std::string definitions = "LineId bigserial PRIMARY KEY, " + names.line + " text";
  if (!names.file.empty()) definitions += ", " + names.file + " text";
  if (!names.number.empty()) definitions += ", " + names.number + " integer";
  if (!names.batch.empty()) definitions += ", " + names.batch + " text";
  return definitions;
}

}  // namespace

std::string PgDestination::Label(const LoadRequest& request) const {
  std::string server = request.server;
  if (server.find('=') != std::string::npos) {
    // A connection string may hold a password: only its host, port or
    // service name is shown.
    server.clear();
    char* error = nullptr;
    if (PQconninfoOption* options = PQconninfoParse(request.server.c_str(), &error)) {
      for (PQconninfoOption* option = options; option->keyword != nullptr; ++option) {
        const std::string keyword = option->keyword;
        if (option->val == nullptr || (keyword != "host" && keyword != "port" && keyword != "service")) continue;
        server += (server.empty() ? "" : " ") + keyword + "=" + option->val;
      }
      PQconninfoFree(options);
    }
    PQfreemem(error);
  }
  std::string label = "PostgreSQL server " + Quoted(server.empty() ? "(libpq's default)" : server);
  if (!request.database.empty()) label += ", database " + Quoted(request.database);
  return label;
}

LoadResult PgDestination::Failed(const LoadRequest& request, const std::string& description) const {
  const auto scrub = [this](std::string text) {
    return password_.empty() ? text : ReplaceAll(text, password_, "****");
  };
  return LoadResult::Failed(scrub(Label(request)), scrub(description));
}

PgStatement PgDestination::MarkerInsert(const LoadRequest& request, const std::string& row) const {
  const PgNames names = NamesOf(request);
  PgStatement insert{"INSERT INTO " + names.table + " (" + names.copy_list + ") VALUES ($1", {row}};
  if (!names.file.empty()) insert.values.emplace_back(request.file_name_value);
  if (!names.number.empty()) insert.values.emplace_back(std::nullopt);  // a marker row has no line
  if (!names.batch.empty()) insert.values.emplace_back(request.batch_code_value);
  for (std::size_t i = 2; i <= insert.values.size(); ++i) insert.sql += ", $" + std::to_string(i);
  insert.sql += ")";
  return insert;
}

void PgDestination::AppendMarkerInserts(const LoadRequest& request, const std::vector<std::string>& rows,
                                        std::vector<PgStatement>& statements) const {
  std::transform(rows.begin(), rows.end(), std::back_inserter(statements),
                 [&](const std::string& row) { return MarkerInsert(request, row); });
}

PgNames PgDestination::NamesOf(const LoadRequest& request) const {
  PgNames names;
  const auto quoted = [](const std::string& name) { return name.empty() ? name : RequoteIdentifier(name, "\""); };
  names.table = quoted(request.table_name);
  names.line = quoted(request.column_name);
  names.file = quoted(request.columns.file_name);
  names.number = quoted(request.columns.line_number);
  names.batch = quoted(request.columns.batch_code);
  names.companion = quoted(CompanionTableName(request.table_name));
  const std::vector<std::string> parts = IdentifierParts(request.table_name);
  if (!parts.empty()) {
    const std::string index = parts.back() + "_file_line";
    // Quoted when the table is, so that both fold (or keep their case) alike.
    const char last = request.table_name.back();
    names.index = last == ']' || last == '"' ? QuoteIdentifierPart(index, QuoteStyle::kDoubleQuote) : index;
  }
  names.copy_list = names.line;
  for (const std::string* column : {&names.file, &names.number, &names.batch}) {
    if (!column->empty()) names.copy_list += ", " + *column;
  }
  return names;
}

bool PgDestination::Connected(const LoadRequest& request, LoadResult& failure) {
  password_ = request.password;
  const std::string problem = LoadNameProblem(request, request.table_name);
  if (!problem.empty()) {
    failure = Failed(request, Where(request) + problem);
    return false;
  }
  const auto parameters = PgConnectionParameters(request);
  const std::string key = ParametersKey(parameters);
  if (connection_.IsOpen() && connected_to_ == key && !connection_.IsLost()) return true;
  // A server that refused once in this run is not asked again: every later
  // file would wait out the same timeout.
  if (failed_to_ == key) {
    failure = Failed(request, Where(request) + "cannot connect: " + failed_why_);
    return false;
  }
  Disconnect();
  PgFailure why;
  if (!connection_.Open(parameters, why)) {
    failed_to_ = key;
    failed_why_ = why.message;
    failure = Failed(request, Where(request) + "cannot connect: " + why.message);
    return false;
  }
  ++connections_;
  connected_to_ = key;
  // Commits no longer wait for the disk each; MakeDurable flushes them all
  // at once. A failed load is still rolled back as always.
  if (!connection_.Simple("SET synchronous_commit TO off", why)) {
    Disconnect();
    failure = Failed(request, Where(request) + "cannot set up the session: " + why.message);
    return false;
  }
  return true;
}

void PgDestination::Disconnect() {
  if (unflushed_) unflushed_lost_ = true;
  unflushed_ = false;
  connection_.Close();
  connected_to_.clear();
  prepared_for_.clear();
}

std::string PgDestination::PrepareTables(const LoadRequest& request) {
  const PgNames names = NamesOf(request);
  const bool reload = request.load_mode != LoadMode::kAppend;
  const std::string key = names.table + '\x1f' + names.copy_list + (reload ? "\x1fR" : "");
  if (prepared_for_ == key) return {};
  PgFailure why;
  std::vector<std::vector<std::string>> found;
  if (!connection_.Query({"SELECT to_regclass($1) IS NOT NULL, to_regclass($2) IS NOT NULL",
                          {names.table, names.companion}},
                         found, why)) {
    return "cannot look for the table " + names.table + ": " + why.message;
  }
  const bool table_there = found.at(0).at(0) == "t";
  const bool companion_there = found.at(0).at(1) == "t";
  std::string sql;
  if (!table_there) {
    sql = "CREATE TABLE IF NOT EXISTS " + names.table + " (" + ColumnDefinitions(names) + ");";
    if (!names.file.empty()) {
      sql += "CREATE INDEX IF NOT EXISTS " + names.index + " ON " + names.table + " (" + names.file +
             (names.number.empty() ? "" : ", " + names.number) + ");";
    }
  } else if (!connection_.Simple("SELECT " + names.copy_list + " FROM " + names.table + " WHERE false", why)) {
    // An optional column configured after the table was made is added: its
    // earlier rows hold NULL there, as marker rows do in the line column.
    const std::pair<const std::string*, const char*> optional[] = {
        {&names.file, "text"}, {&names.number, "integer"}, {&names.batch, "text"}};
    for (const auto& [column, type] : optional) {
      if (!column->empty()) sql += "ALTER TABLE " + names.table + " ADD COLUMN IF NOT EXISTS " + *column + " " + type + ";";
    }
  }
  if (reload && !companion_there) {
    sql += "CREATE TABLE IF NOT EXISTS " + names.companion +
           " (FileName text PRIMARY KEY, FileSize bigint, ModifiedTime bigint, ContentHash varchar(32),"
           " LineCount bigint, BatchCode varchar(100), CheckedTime bigint);";
  }
  if (!sql.empty() && !connection_.Simple(sql, why)) {
    return "cannot create the table " + names.table + " or what belongs to it: " + why.message;
  }
  prepared_for_ = key;
  return {};
}

LoadResult PgDestination::Open(const LoadRequest& request) {
  LoadResult failure;
  if (!Connected(request, failure)) return failure;
  const std::string cause = PrepareTables(request);
  if (!cause.empty()) return Failed(request, cause);
  return LoadResult::Loaded(0);
}

LoadResult PgDestination::Verify(const LoadRequest& request) {
  LoadResult failure;
  if (!Connected(request, failure)) return failure;
  const PgNames names = NamesOf(request);
  PgFailure why;
  std::vector<std::vector<std::string>> found;
  if (!connection_.Query({"SELECT to_regclass($1) IS NOT NULL, to_regclass($2) IS NOT NULL",
                          {names.table, names.companion}},
                         found, why)) {
    return Failed(request, "cannot look for the table " + names.table + ": " + why.message);
  }
  LoadResult verified = LoadResult::Loaded(0);
  if (found.at(0).at(0) != "t") {
    verified.description = "the table " + names.table + " does not exist yet; a run creates it";
    return verified;
  }
  if (!connection_.Simple("SELECT " + names.line + " FROM " + names.table + " WHERE false", why)) {
    return Failed(request, "the table " + names.table + " has no column " + names.line + ": " + why.message);
  }
  if (!connection_.Simple("SELECT " + names.copy_list + " FROM " + names.table + " WHERE false", why)) {
    verified.description = "the table " + names.table + " lacks an optional column of " + names.copy_list +
                           "; a run adds it (" + why.message + ")";
  }
  if (request.load_mode != LoadMode::kAppend && found.at(0).at(1) == "t" &&
      !connection_.Simple(std::string("SELECT ") + kCompanionColumns + " FROM " + names.companion + " WHERE false",
                          why)) {
    return Failed(request, "the companion table " + names.companion + " lacks a column of (" + kCompanionColumns +
                               "): " + why.message);
  }
  return verified;
}

std::vector<PgStatement> PgDestination::Opening(const PgUnit& unit) const {
  std::vector<PgStatement> statements{{"BEGIN", {}}};
  if (unit.request.load_mode == LoadMode::kAppend) return statements;
  const PgNames names = NamesOf(unit.request);
  const std::string& file = unit.request.file_name_value;
  // The companion row first, so that two units of one file queue on it and
  // the second deletes what the first inserted: never both copies, never
  // neither.
  statements.push_back({"INSERT INTO " + names.companion + " (" + kCompanionColumns +
                            ") VALUES ($1, -1, 0, '', 0, '', 0)"
                            " ON CONFLICT (FileName) DO UPDATE SET FileSize = -1, ContentHash = ''",
                        {file}});
  statements.push_back({"DELETE FROM " + names.table + " WHERE " + names.file + " = $1", {file}});
  return statements;
}

LoadResult PgDestination::BeginUnit(const LoadRequest& request) {
  RollbackUnit();
  LoadResult failure;
  if (!Connected(request, failure)) return failure;
  const std::string cause = PrepareTables(request);
  if (!cause.empty()) return Failed(request, Where(request) + cause);
  // Nothing is sent yet: BEGIN and the take-out go with the first rows.
  unit_ = PgUnit{};
  unit_.request = request;
  unit_open_ = true;
  return LoadResult::Loaded(0);
}

LoadResult PgDestination::Load(const LoadRequest& request) {
  if (!unit_open_) return LoadAlone(request);
  if (!unit_.lost.empty()) {
    return Failed(request, Quoted(request.source_path) + ": not loaded, the file's unit was already lost: " +
                               unit_.lost);
  }
  if (request.row_text) {
    // A marker row before the lines goes as their COPY's first row; one
    // after them into the COPY while it is open, else with the commit.
    if (unit_.copy_open) {
      PgFailure failure;
      if (!AddToOpenCopy(unit_, *request.row_text, failure)) {
        Disconnect();
        unit_.lost = "the connection was lost: " + failure.message;
        return Failed(request, Quoted(request.source_path) + ": cannot send a marker row: " + failure.message);
      }
    } else if (!unit_.lines_tried) {
      unit_.leading.push_back(*request.row_text);
    } else {
      unit_.trailing.push_back(MarkerInsert(request, *request.row_text));
    }
    unit_.last_marker = *request.row_text;
    return LoadResult::Loaded(1);
  }
  bool lost = false;
  LoadResult result = CopyLines(unit_, true, lost);
  if (lost) {
    // The transaction went with the connection: the unit starts over once
    // on a new one without writing anything twice.
    Disconnect();
    LoadResult failure;
    if (Connected(unit_.request, failure)) {
      unit_.begun = false;
      unit_.failed = false;
      unit_.leading_sent = false;
      result = CopyLines(unit_, true, lost);
    } else {
      result = failure;
      lost = true;
    }
    if (lost) {
      Disconnect();
      unit_.lost = "the connection was lost: " + result.description;
    }
  }
  return result;
}

LoadResult PgDestination::LoadAlone(const LoadRequest& request) {
  LoadRequest alone = request;
  alone.load_mode = LoadMode::kAppend;  // no earlier rows to take out: a load of its own
  LoadResult begun = BeginUnit(alone);
  if (!begun.ok) return begun;
  LoadResult result = Load(alone);
  if (!result.ok) {
    RollbackUnit();
    return result;
  }
  const LoadResult committed = CommitUnit();
  return committed.ok ? result : committed;
}

bool PgDestination::SendCommit(PgUnit& unit, PgFailure& failure) {
  std::vector<PgStatement> statements;
  if (unit.failed) {
    // The lines' COPY failed: the transaction starts again with the marker
    // rows alone, in the same round trip as the commit.
    statements.push_back({"ROLLBACK", {}});
    unit.begun = false;
  }
  if (!unit.begun) {
    const std::vector<PgStatement> opening = Opening(unit);
    statements.insert(statements.end(), opening.begin(), opening.end());
  }
  if (!unit.leading_sent) {
    AppendMarkerInserts(unit.request, unit.leading, statements);
  }
  statements.insert(statements.end(), unit.trailing.begin(), unit.trailing.end());
  statements.push_back({"COMMIT", {}});
  std::string status;
  if (!connection_.Pipeline(statements, failure, &status)) return false;
  if (status == "COMMIT") return true;
  failure.message = "the server rolled the transaction back (" + status + ")";
  return false;
}

LoadResult PgDestination::CommitUnit() {
  if (!unit_open_) return LoadResult::Failed(kPostgresSource, "no unit is open to be committed");
  unit_open_ = false;
  PgUnit unit = std::exchange(unit_, PgUnit{});
  const LoadRequest& request = unit.request;
  if (!unit.lost.empty()) return Failed(request, Quoted(request.source_path) + ": " + unit.lost);
  PgFailure failure;
  bool refused = false;
  if (unit.copy_open ? EndOpenCopy(unit, failure, refused) : SendCommit(unit, failure)) {
    unflushed_ = true;
    return LoadResult::Loaded(0);
  }
  if (refused) {
    // The server refused a row of the COPY, which held the whole unit: the
    // marker rows go again alone, and the file counts as failed.
    unit.failed = true;
    unit.leading_sent = false;
    AppendMarkerInserts(request, std::exchange(unit.copied, {}), unit.trailing);
    PgFailure again;
    if (!SendCommit(unit, again)) {
      failure = again;
    } else {
      unflushed_ = true;
      LoadResult result = Failed(request, Quoted(request.source_path) +
                                              ": the server refused the file's lines, which were left out; its "
                                              "marker rows were kept: " + failure.message);
      result.markers_kept = true;
      return result;
    }
  }
  if (!failure.lost) {
    PgFailure ignored;
    connection_.Simple("ROLLBACK", ignored);
    return Failed(request, Quoted(request.source_path) +
                               ": the file's rows could not be committed, none of them was kept: " + failure.message);
  }
  // The link broke around the COMMIT: whether the server committed shows in
  // the table, by the unit's last marker row, which no other unit writes.
  std::string why = failure.message;
  Disconnect();
  LoadResult reconnected;
  if (!unit.last_marker.empty() && Connected(request, reconnected)) {
    std::vector<std::string> rows;
    const LoadResult looked = FindRowsContaining(request, unit.last_marker, rows);
    if (looked.ok) {
      for (const std::string& row : rows) {
        if (row != unit.last_marker) continue;
        unflushed_ = true;
        return LoadResult::Loaded(0);
      }
      if (Resend(unit, why) && SendCommit(unit, failure)) {
        unflushed_ = true;
        return LoadResult::Loaded(0);
      }
      if (why.empty()) why = failure.message;
    }
  }
  Disconnect();
  return Failed(request, Quoted(request.source_path) +
                             ": the connection broke at the commit of the file's rows (they may or may not be in the "
                             "table): " + why);
}

bool PgDestination::Resend(PgUnit& unit, std::string& why) {
  unit.begun = false;
  unit.failed = false;
  unit.leading_sent = false;
  unit.copy_open = false;
  // The rows that went into the COPY after the lines go with the commit now.
  std::vector<PgStatement> trailing;
  AppendMarkerInserts(unit.request, std::exchange(unit.copied, {}), trailing);
  unit.trailing.insert(unit.trailing.begin(), trailing.begin(), trailing.end());
  if (!unit.lines_ok) return true;  // the marker rows go with the commit
  bool lost = false;
  const LoadResult copied = CopyLines(unit, false, lost);
  if (copied.ok) return true;
  why = copied.description;
  return false;
}

void PgDestination::RollbackUnit() {
  if (!unit_open_) return;
  unit_open_ = false;
  const bool begun = unit_.begun;
  const bool copy_open = unit_.copy_open;
  unit_ = PgUnit{};
  if (!begun || !connection_.IsOpen() || connection_.IsLost()) return;
  PgFailure ignored;
  // Abandoning the COPY also stops the COMMIT that follows it in its query.
  if (copy_open) connection_.EndCopy("the file's unit was rolled back", ignored);
  connection_.Simple("ROLLBACK", ignored);
}

LoadResult PgDestination::Close() {
  // An unfinished unit is never committed by accident.
  RollbackUnit();
  LoadResult result = MakeDurable();
  Disconnect();
  unflushed_lost_ = false;
  failed_to_.clear();
  failed_why_.clear();
  return result;
}

std::unique_ptr<LoadDestination> MakePostgresDestination() { return std::make_unique<PgDestination>(); }

}  // namespace corvanne
