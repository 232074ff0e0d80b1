// The companion table of a SQLite destination: what was loaded of each file,
// and the statements that take a file's earlier rows out again. The caller
// holds the connection and the transaction.
#pragma once

#include <sqlite3.h>

#include <string>
#include <vector>

#include "destination/file_state.hpp"
#include "destination/load_request.hpp"

namespace corvanne {

// Creates the companion table of request.table_name when it is missing.
// Empty, or why not.
std::string SqliteCreateCompanion(sqlite3* db, const LoadRequest& request);

// Deletes the companion row of request.file_name_value, then every row of
// the table whose file-name column holds it. Empty, or why not.
std::string SqliteDeleteFile(sqlite3* db, const LoadRequest& request);

// Writes `state` as the companion row of state.file_name, replacing the one
// there. Empty, or why not.
std::string SqliteWriteFileState(sqlite3* db, const LoadRequest& request, const FileState& state);

// Gives every companion row to `each`; a missing companion table has none.
// Empty, or why not.
std::string SqliteReadFileStates(sqlite3* db, const LoadRequest& request, const FileStateSink& each);

// Gives `each` every file name that has rows in the table or a companion
// row, once. Empty, or why not.
std::string SqliteListFiles(sqlite3* db, const LoadRequest& request, const FileNameSink& each);

}  // namespace corvanne
