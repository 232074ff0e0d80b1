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

// Opens the file's place for a unit: makes its companion row one that
// records no finished load (inserting it when missing) and sets `file_id`
// to its FileId. In a re-load the file's earlier rows go first: by their
// recorded LineId range, else, when `unranged` says some rows have none, by
// the file's column. Empty, or why not.
std::string SqliteOpenFile(sqlite3* db, const LoadRequest& request, UnrangedRows& unranged, int64_t& file_id);

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
