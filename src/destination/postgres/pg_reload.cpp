// Re-loads and durability on PostgreSQL: the file's record in its unit, the
// records and files the table holds, a file taken out on its own, the
// flush at the end, and the rows looked for after a lost connection.
#include <algorithm>
#include <charconv>
#include <iterator>
#include <string_view>

#include "common/text.hpp"
#include "destination/postgres/pg_destination_impl.hpp"
#include "destination/identifier.hpp"

namespace corvanne {

namespace {

int64_t NumberOf(std::string_view text) {
  int64_t value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

}  // namespace

LoadResult PgDestination::RecordFile(const LoadRequest& request, const FileState& state) {
  if (!unit_open_ || !unit_.lost.empty()) {
    return Failed(request, Quoted(state.file_name) + ": no unit of the file is open to record it in");
  }
  // Goes with the commit, after the file's rows. Units of the file queue on
  // its companion row and this one took the earlier rows out: the rows of
  // the file that it sees are its own, and their LineIds give the range.
  const PgNames names = NamesOf(request);
  unit_.trailing.push_back(
      {"INSERT INTO " + names.companion + " (" + kCompanionColumns +
           ", FirstLineId, LastLineId) SELECT $1::text, $2::bigint, $3::bigint, $4::text, $5::bigint, $6::text,"
           " $7::bigint, min(LineId), max(LineId) FROM " + names.table + " WHERE " + PgFileFilter(names) +
           " ON CONFLICT (FileName) DO UPDATE SET FileSize = EXCLUDED.FileSize,"
           " ModifiedTime = EXCLUDED.ModifiedTime, ContentHash = EXCLUDED.ContentHash, LineCount ="
           " EXCLUDED.LineCount, BatchCode = EXCLUDED.BatchCode, CheckedTime = EXCLUDED.CheckedTime,"
           " FirstLineId = EXCLUDED.FirstLineId, LastLineId = EXCLUDED.LastLineId",
       {state.file_name, std::to_string(state.size), std::to_string(state.modified_time), state.content_hash,
        std::to_string(state.line_count), state.batch_code, std::to_string(state.checked_time)}});
  return LoadResult::Loaded(0);
}

LoadResult PgDestination::ReadFileStates(const LoadRequest& request, const FileStateSink& each) {
  LoadResult failure;
  if (!Connected(request, failure)) return failure;
  const std::string companion = NamesOf(request).companion;
  PgFailure why;
  FileState state;
  const auto take = [&](const std::vector<std::string_view>& row) {
    state.file_name.assign(row.at(0));
    state.size = NumberOf(row.at(1));
    state.modified_time = NumberOf(row.at(2));
    state.content_hash.assign(row.at(3));
    state.line_count = NumberOf(row.at(4));
    state.batch_code.assign(row.at(5));
    state.checked_time = NumberOf(row.at(6));
    each(state);
  };
  if (!connection_.QueryEach({std::string("SELECT ") + kCompanionColumns + " FROM " + companion, {}}, take, why)) {
    return Failed(request, "cannot read what was loaded of each file from " + companion + ": " + why.message);
  }
  return LoadResult::Loaded(0);
}

LoadResult PgDestination::ListFiles(const LoadRequest& request, const FileNameSink& each) {
  LoadResult failure;
  if (!Connected(request, failure)) return failure;
  const PgNames quoted = NamesOf(request);
  PgFailure why;
  std::string name;
  const auto take = [&](const std::vector<std::string_view>& row) {
    name.assign(row.at(0));
    each(name);
  };
  std::string sql = "SELECT FileName FROM " + quoted.companion;
  if (!quoted.file.empty()) {
    sql = "SELECT " + quoted.file + " FROM " + quoted.table + " WHERE " + quoted.file + " IS NOT NULL UNION " + sql;
  }
  if (!connection_.QueryEach({sql, {}}, take, why)) {
    return Failed(request, "cannot list the files in " + quoted.table + ": " + why.message);
  }
  return LoadResult::Loaded(0);
}

LoadResult PgDestination::ForgetFile(const LoadRequest& request) {
  LoadResult failure;
  if (!Connected(request, failure)) return failure;
  const std::string what = Quoted(request.file_name_value);
  if (unit_open_) return Failed(request, what + ": a unit is open");
  if (const std::string cause = PrepareTables(request); !cause.empty()) return Failed(request, what + ": " + cause);
  const PgNames names = NamesOf(request);
  const std::string& file = request.file_name_value;
  PgFailure why;
  std::string status;
  file_ids_.erase(file);
  // The take-out of a re-load, then the record.
  PgUnit unit;
  unit.request = request;
  unit.request.load_mode = LoadMode::kReplace;
  std::vector<PgStatement> statements = Opening(unit);
  statements.push_back({"DELETE FROM " + names.companion + " WHERE FileName = $1", {file}});
  statements.push_back({"COMMIT", {}});
  if (connection_.Pipeline(statements, why, &status) && status == "COMMIT") {
    unflushed_ = true;
    return LoadResult::Loaded(0);
  }
  PgFailure ignored;
  if (!why.lost) connection_.Simple("ROLLBACK", ignored);
  return Failed(request, what + ": cannot delete the file's rows: " + why.message);
}

LoadResult PgDestination::RefreshFileStates(const LoadRequest& request, const std::vector<FileState>& states) {
  LoadResult failure;
  if (!Connected(request, failure)) return failure;
  if (unit_open_) return Failed(request, "a unit is open");
  const PgNames names = NamesOf(request);
  // One round trip for them all.
  std::vector<PgStatement> statements{{"BEGIN", {}}};
  for (const FileState& state : states) {
    statements.push_back({"UPDATE " + names.companion +
                              " SET ModifiedTime = $2, CheckedTime = $3 WHERE FileName = $1 AND FileSize = $4 AND"
                              " ContentHash = $5",
                          {state.file_name, std::to_string(state.modified_time), std::to_string(state.checked_time),
                           std::to_string(state.size), state.content_hash}});
  }
  statements.push_back({"COMMIT", {}});
  PgFailure why;
  std::string status;
  if (connection_.Pipeline(statements, why, &status) && status == "COMMIT") {
    unflushed_ = true;
    return LoadResult::Loaded(0);
  }
  PgFailure ignored;
  if (!why.lost) connection_.Simple("ROLLBACK", ignored);
  return Failed(request, "cannot record the times of unchanged files: " + why.message);
}

LoadResult PgDestination::FindRowsContaining(const LoadRequest& request, const std::string& needle,
                                             std::vector<std::string>& rows) {
  LoadResult failure;
  if (!Connected(request, failure)) return failure;
  const PgNames names = NamesOf(request);
  std::vector<std::vector<std::string>> found;
  PgFailure why;
  // strpos, not LIKE: the needle is matched as it is, wildcards and all.
  if (!connection_.Query({"SELECT " + names.line + " FROM " + names.table + " WHERE strpos(" + names.line +
                              ", $1) > 0",
                          {needle}},
                         found, why)) {
    return Failed(request, "cannot read the rows of " + names.table + ": " + why.message);
  }
  std::transform(found.begin(), found.end(), std::back_inserter(rows),
                 [](std::vector<std::string>& row) { return std::move(row.at(0)); });
  return LoadResult::Loaded(0);
}

LoadResult PgDestination::MakeDurable() {
  if (!connection_.IsOpen() || connection_.IsLost()) {
    if (!unflushed_ && !unflushed_lost_) return LoadResult::Loaded(0);
    return LoadResult::Failed(kPostgresSource,
                              "the connection was lost after commits that the server had not yet confirmed on disk");
  }
  if (!unflushed_ && !unflushed_lost_) return LoadResult::Loaded(0);
  // A synchronous commit flushes the log up to its own commit record, and
  // with it every earlier commit of every connection; but only a
  // transaction that wrote to the log waits for that (a mere transaction id
  // does not). Creating a temporary table writes catalog rows to the log.
  PgFailure why;
  const bool ok = connection_.Simple("SET synchronous_commit TO on", why) &&
                  connection_.Simple("CREATE TEMPORARY TABLE corvanne_durable (flushed integer) ON COMMIT DROP", why) &&
                  connection_.Simple("SET synchronous_commit TO off", why);
  if (!ok) {
    std::string text = "the server did not confirm that the loaded rows are on disk: " + why.message;
    if (!password_.empty()) text = ReplaceAll(text, password_, "****");
    return LoadResult::Failed(kPostgresSource, text);
  }
  unflushed_ = false;
  unflushed_lost_ = false;
  return LoadResult::Loaded(0);
}

}  // namespace corvanne
