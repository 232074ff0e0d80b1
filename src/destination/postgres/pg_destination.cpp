// The PostgreSQL destination: the connection, the names, the tables made
// when missing, and --check. Units are in pg_unit.cpp.
#include <utility>

#include "common/text.hpp"
#include "destination/postgres/libpq_on_demand.hpp"
#include "destination/postgres/pg_destination_impl.hpp"
#include "destination/identifier.hpp"

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
  if (!names.id.empty()) definitions += ", " + names.id + " bigint";
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
    std::string why;
    if (PQconninfoOption* options = LibpqAvailable(why) ? PQconninfoParse(request.server.c_str(), &error) : nullptr) {
      for (PQconninfoOption* option = options; option->keyword != nullptr; ++option) {
        const std::string keyword = option->keyword;
        if (option->val == nullptr || (keyword != "host" && keyword != "port" && keyword != "service")) continue;
        server += (server.empty() ? "" : " ") + keyword + "=" + option->val;
      }
      PQconninfoFree(options);
    }
    if (error != nullptr) PQfreemem(error);
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

PgNames PgDestination::NamesOf(const LoadRequest& request) const {
  PgNames names;
  const auto quoted = [](const std::string& name) { return name.empty() ? name : RequoteIdentifier(name, "\""); };
  names.table = quoted(request.table_name);
  names.line = quoted(request.column_name);
  names.file = quoted(request.columns.file_name);
  names.number = quoted(request.columns.line_number);
  names.batch = quoted(request.columns.batch_code);
  names.id = quoted(request.columns.file_id);
  names.companion = quoted(CompanionTableName(request.table_name));
  names.view = quoted(CompanionViewName(request.table_name));
  const std::vector<std::string> parts = IdentifierParts(request.table_name);
  if (!parts.empty()) {
    // Quoted when the table is, so that both fold (or keep their case) alike.
    const char last = request.table_name.back();
    const auto index_name = [&](const std::string& index) {
      return last == ']' || last == '"' ? QuoteIdentifierPart(index, QuoteStyle::kDoubleQuote) : index;
    };
    names.index = index_name(parts.back() + "_file_line");
    names.id_index = index_name(parts.back() + "_file_id_line");
  }
  names.copy_list = names.line;
  for (const std::string* column : {&names.file, &names.number, &names.batch, &names.id}) {
    if (!column->empty()) names.copy_list += ", " + *column;
  }
  return names;
}

bool PgDestination::Connected(const LoadRequest& request, LoadResult& failure) {
  password_ = request.password;
  const std::string problem = LoadNameProblem(request, request.table_name);
  if (!problem.empty()) {
    failure = Failed(request, Where(request) + problem + "; nothing was sent to the server");
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
  file_ids_.clear();
}

std::string PgFileFilter(const PgNames& names) {
  std::string by_name = names.file.empty() ? std::string() : names.file + " = $1";
  if (names.id.empty()) return by_name;
  std::string by_id = names.id + " = (SELECT FileId FROM " + names.companion + " WHERE FileName = $1)";
  return by_name.empty() ? by_id : "(" + by_id + " OR " + by_name + ")";
}

std::string PgDestination::PrepareTables(const LoadRequest& request) {
  const PgNames names = NamesOf(request);
  const bool companion = UsesCompanion(request);
  const std::string key = names.table + '\x1f' + names.copy_list + '\x1f' +
                          std::to_string(static_cast<int>(request.load_mode));
  if (prepared_for_ == key) return {};
  for (int attempt = 1;; ++attempt) {
    PgFailure why;
    std::vector<std::vector<std::string>> found;
    if (!connection_.Query({"SELECT to_regclass($1) IS NOT NULL, to_regclass($2) IS NOT NULL, to_regclass($3) IS NOT NULL",
                            {names.table, names.companion, names.view}},
                           found, why)) {
      return "cannot look for the table " + names.table + ": " + why.message;
    }
    const bool table_there = found.at(0).at(0) == "t";
    const bool companion_there = found.at(0).at(1) == "t";
    const bool view_there = found.at(0).at(2) == "t";
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
          {&names.file, "text"}, {&names.number, "integer"}, {&names.batch, "text"}, {&names.id, "bigint"}};
      for (const auto& [column, type] : optional) {
        if (!column->empty()) sql += "ALTER TABLE " + names.table + " ADD COLUMN IF NOT EXISTS " + *column + " " + type + ";";
      }
    }
    if (!names.id.empty() && !sql.empty()) {
      // Only with the table or its file-id column new: on an existing table
      // the statement would wait for every loader's transaction.
      sql += "CREATE INDEX IF NOT EXISTS " + names.id_index + " ON " + names.table + " (" + names.id +
             (names.number.empty() ? "" : ", " + names.number) + ");";
    }
    // A companion table of a version before file ids gets them; its rows keep
    // no LineId range (NULL), so their rows are found by the file.
    const bool ranged = companion_there && connection_.Simple("SELECT FileId, FirstLineId, LastLineId FROM " +
                                                                  names.companion + " WHERE false",
                                                              why);
    if (companion && !companion_there) {
      sql += "CREATE TABLE IF NOT EXISTS " + names.companion +
             " (FileId bigint GENERATED BY DEFAULT AS IDENTITY UNIQUE, FileName text PRIMARY KEY, FileSize bigint,"
             " ModifiedTime bigint, ContentHash varchar(32), LineCount bigint, BatchCode varchar(100),"
             " CheckedTime bigint, FirstLineId bigint, LastLineId bigint);";
    } else if (companion && !ranged) {
      sql += "ALTER TABLE " + names.companion +
             " ADD COLUMN IF NOT EXISTS FileId bigint GENERATED BY DEFAULT AS IDENTITY UNIQUE,"
             " ADD COLUMN IF NOT EXISTS FirstLineId bigint, ADD COLUMN IF NOT EXISTS LastLineId bigint;";
    } else if (!companion && ranged) {
      // What this run appends lies outside every recorded range.
      sql += "UPDATE " + names.companion + " SET FirstLineId = NULL, LastLineId = NULL WHERE FirstLineId IS NOT NULL;";
    }
    if (companion && !view_there) {
      // "Line N of file F" as a one-liner, whichever column says where a row
      // comes from.
      const std::string name_column = names.file.empty() ? std::string("FileName") : names.file;
      sql += "CREATE VIEW " + names.view + " AS SELECT t.LineId AS LineId, " +
             (names.id.empty() ? "t." + name_column : "f.FileName AS " + name_column);
      for (const std::string* column : {&names.number, &names.batch}) {
        if (!column->empty()) sql += ", t." + *column;
      }
      sql += ", t." + names.line + " FROM " + names.table + " AS t";
      if (!names.id.empty()) sql += " LEFT JOIN " + names.companion + " AS f ON f.FileId = t." + names.id;
      sql += ";";
    }
    if (sql.empty() || connection_.Simple(sql, why)) break;
    // Another run made one of them between the look and the creation (IF NOT
    // EXISTS does not wait for it): look again, the statements were undone.
    const bool raced = why.message.find("[SQLSTATE 42P07]") != std::string::npos ||
                       why.message.find("[SQLSTATE 23505]") != std::string::npos;
    if (!raced || attempt == 3) {
      return "cannot create the table " + names.table + " or what belongs to it: " + why.message;
    }
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
  if (UsesCompanion(request) && found.at(0).at(1) == "t" &&
      !connection_.Simple(std::string("SELECT ") + kCompanionColumns + " FROM " + names.companion + " WHERE false",
                          why)) {
    return Failed(request, "the companion table " + names.companion + " lacks a column of (" + kCompanionColumns +
                               "): " + why.message);
  }
  return verified;
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
