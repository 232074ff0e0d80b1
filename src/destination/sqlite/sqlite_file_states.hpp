// The companion table of a SQLite destination: each file's id, what was
// loaded of it, and the statements that take a file's earlier rows out
// again. The caller holds the connection and the transaction.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <vector>

#include "destination/file_state.hpp"
#include "destination/load_request.hpp"

namespace corvanne {

// Creates the companion table of request.table_name and its view when they
// are missing; a companion table made before files had ids gets them (each
// file keeps its row). Empty, or why not.
std::string SqliteCreateCompanion(sqlite3* db, const LoadRequest& request);

// An APPEND without a file id column: the rows it adds lie outside every
// range the companion table (if there is one) records, so no range is
// trusted any more. Empty, or why not.
std::string SqliteForgetRanges(sqlite3* db, const LoadRequest& request);

// Whether the table may hold rows that no companion row's LineId range
// covers (rows of an APPEND load, or of a version that kept no ranges):
// only then must a file without a range be looked for row by row. Telling
// costs a count over the whole table, so it is worked out when a delete
// first needs it, and kept for the connection.
struct UnrangedRows {
  bool known = false;
  bool value = false;
};

// A file's companion row as SqliteOpenFile left it.
struct OpenedFile {
  int64_t id = 0;          // its FileId
  bool stale = false;      // it still records an earlier load: SqliteMarkNotCurrent
                           // must say otherwise unless the file is recorded anew
  bool expect_new = true;  // in: guess that the file has no row (kept from file to file)
};

// Opens the file's place for a unit: finds the file's companion row, or
// inserts one that records no finished load, and sets file.id to its
// FileId. In a re-load the file's earlier rows go first: by their recorded
// LineId range, else, when `unranged` says some rows have none, by the
// file's column. A found row is not changed (see OpenedFile::stale). The
// guess in file.expect_new only orders the statements. Empty, or why not.
std::string SqliteOpenFile(sqlite3* db, const LoadRequest& request, UnrangedRows& unranged, OpenedFile& file);

// Makes the companion row `file_id` record no finished load and no LineId
// range: the file's rows are not known to be current, or lie outside any
// range. Empty, or why not.
std::string SqliteMarkNotCurrent(sqlite3* db, const LoadRequest& request, int64_t file_id);

// SqliteWriteFileState for a file whose row SqliteOpenFile found or made as
// `file_id`, inside the same transaction: updated by its id. Empty, or why not.
std::string SqliteRecordOpenedFile(sqlite3* db, const LoadRequest& request, const FileState& state, int64_t file_id,
                                   int64_t first, int64_t last);

// Deletes the companion row of request.file_name_value and the file's rows,
// as SqliteOpenFile finds them. Empty, or why not.
std::string SqliteDeleteFile(sqlite3* db, const LoadRequest& request, UnrangedRows& unranged);

// Sets the times of the companion row of state.file_name to the state's,
// when it records the state's size and hash. Empty, or why not.
std::string SqliteRefreshFileState(sqlite3* db, const LoadRequest& request, const FileState& state);

// Writes `state` into the companion row of state.file_name, with the LineId
// range [first, last] that holds all of the file's rows (0: none known).
// Empty, or why not.
std::string SqliteWriteFileState(sqlite3* db, const LoadRequest& request, const FileState& state, int64_t first,
                                 int64_t last);

// Gives every companion row to `each`; a missing companion table has none.
// Empty, or why not.
std::string SqliteReadFileStates(sqlite3* db, const LoadRequest& request, const FileStateSink& each);

// Gives `each` every file name that has rows in the table or a companion
// row, once. Empty, or why not.
std::string SqliteListFiles(sqlite3* db, const LoadRequest& request, const FileNameSink& each);

}  // namespace corvanne
