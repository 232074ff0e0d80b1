// A file's unit on PostgreSQL: what is sent when, and how a unit survives a
// refused row or a lost connection. In APPEND a unit costs two round trips:
// "BEGIN; COPY ...; COMMIT" answered, then the COPY (marker rows, lines,
// DONE row) ended and committed. A re-load adds one pipeline before (the
// take-out) and one after (the file's record and COMMIT).
#include <algorithm>
#include <iterator>
#include <utility>

#include "destination/postgres/pg_destination_impl.hpp"
#include "destination/identifier.hpp"

namespace corvanne {

PgStatement PgDestination::MarkerInsert(const LoadRequest& request, const std::string& row) const {
  const PgNames names = NamesOf(request);
  PgStatement insert{"INSERT INTO " + names.table + " (" + names.copy_list + ") VALUES ($1", {row}};
  if (!names.file.empty()) insert.values.emplace_back(request.file_name_value);
  if (!names.number.empty()) insert.values.emplace_back(std::nullopt);  // a marker row has no line
  if (!names.batch.empty()) insert.values.emplace_back(request.batch_code_value);
  for (std::size_t i = 2; i <= insert.values.size(); ++i) insert.sql += ", $" + std::to_string(i);
  if (!names.id.empty()) {
    // The file's row in the companion table is there before the unit's
    // first row: the unit made sure of it.
    insert.values.emplace_back(request.file_name_value);
    insert.sql += ", (SELECT FileId FROM " + names.companion + " WHERE FileName = $" +
                  std::to_string(insert.values.size()) + ")";
  }
  insert.sql += ")";
  return insert;
}

void PgDestination::AppendMarkerInserts(const LoadRequest& request, const std::vector<std::string>& rows,
                                        std::vector<PgStatement>& statements) const {
  std::transform(rows.begin(), rows.end(), std::back_inserter(statements),
                 [&](const std::string& row) { return MarkerInsert(request, row); });
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
  // The file's rows by the LineId range its record keeps (a look-up in the
  // primary key; the filter keeps it exact where other units' rows took
  // LineIds inside it), else, for rows of no range, by the file.
  const std::string filter = PgFileFilter(names);
  const std::string record = " FROM " + names.companion + " WHERE FileName = $1";
  statements.push_back({"DELETE FROM " + names.table + " WHERE LineId BETWEEN (SELECT FirstLineId" + record +
                            ") AND (SELECT LastLineId" + record + ") AND " + filter,
                        {file}});
  statements.push_back({"DELETE FROM " + names.table + " WHERE " + filter + " AND NOT EXISTS (SELECT 1" + record +
                            " AND FirstLineId IS NOT NULL)",
                        {file}});
  statements.push_back(
      {"UPDATE " + names.companion + " SET FirstLineId = NULL, LastLineId = NULL WHERE FileName = $1", {file}});
  return statements;
}

LoadResult PgDestination::BeginUnit(const LoadRequest& request) {
  RollbackUnit();
  LoadResult failure;
  if (!Connected(request, failure)) return failure;
  const std::string cause = PrepareTables(request);
  if (!cause.empty()) return Failed(request, Quoted(request.source_path) + ": " + cause);
  std::string file_id;
  PgFailure why;
  if (!request.columns.file_id.empty() && !FileIdOf(request, file_id, why)) {
    if (why.lost) Disconnect();
    return Failed(request, Quoted(request.source_path) + ": cannot find or make the file's row in " +
                               NamesOf(request).companion + ": " + why.message);
  }
  // Nothing else is sent yet: BEGIN and the take-out go with the first rows.
  unit_ = PgUnit{};
  unit_.request = request;
  unit_.file_id = file_id;
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

bool PgDestination::FileIdOf(const LoadRequest& request, std::string& id, PgFailure& why) {
  const auto known = file_ids_.find(request.file_name_value);
  if (known != file_ids_.end()) {
    id = known->second;
    return true;
  }
  // Committed at once, outside the unit: a row that records no finished
  // load, which a failed unit leaves as it is. The file's rows that an
  // APPEND adds lie outside any range it recorded.
  const std::string companion = NamesOf(request).companion;
  std::vector<std::vector<std::string>> rows;
  const std::string append_update = request.load_mode == LoadMode::kAppend
                                        ? "FirstLineId = NULL, LastLineId = NULL"
                                        : "FileName = EXCLUDED.FileName";
  if (!connection_.Query({"INSERT INTO " + companion + " (" + kCompanionColumns +
                              ") VALUES ($1, -1, 0, '', 0, '', 0) ON CONFLICT (FileName) DO UPDATE SET " +
                              append_update + " RETURNING FileId",
                          {request.file_name_value}},
                         rows, why)) {
    return false;
  }
  id = rows.at(0).at(0);
  file_ids_[request.file_name_value] = id;
  return true;
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

}  // namespace corvanne
