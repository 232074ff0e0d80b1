// A place that takes loads: each load all or nothing, and a source file's
// loads (its marker rows and its lines) committed together as one unit.
// Implemented for SQLite, for PostgreSQL (libpq) and for ODBC.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "destination/load_request.hpp"

namespace corvanne {

// Failures come back as results, never as exceptions. A destination holds
// one connection, opened on first use (and again when it dropped).
class LoadDestination {
 public:
  virtual ~LoadDestination() = default;
  // Connects and makes the destination ready for loads as `request`
  // describes them (SQLite: creates the table when missing). Loads nothing.
  virtual LoadResult Open(const LoadRequest& request) = 0;
  // Checks, without creating or loading anything, that the destination can
  // be reached and that its table has the configured columns. SQLite: a
  // missing database or table is fine (a load creates them).
  virtual LoadResult Verify(const LoadRequest& request) = 0;
  // Opens a unit: the loads until CommitUnit stay all or nothing each, but
  // are committed together, so none of them outlives a crash or a failure
  // without the others. `request` names the unit's file. In load modes
  // kReplace and kChanged the unit first takes the file's earlier rows
  // (found by request.file_name_value in the file-name column) and its
  // companion row out, holding what keeps another run's unit of the same
  // file waiting until this one ends: a reader sees the old rows or the new.
  virtual LoadResult BeginUnit(const LoadRequest& request) = 0;
  // Loads request.row_text, or every row of request.source_path, all or
  // nothing; inside a unit when one is open, else on its own.
  virtual LoadResult Load(const LoadRequest& request) = 0;
  // Commits the open unit. Failed: nothing of the unit was kept, unless
  // markers_kept says that its marker rows were (a destination that learns
  // only at the commit that the server refused the lines, in APPEND).
  virtual LoadResult CommitUnit() = 0;
  // Undoes the open unit, if any.
  virtual void RollbackUnit() = 0;
  // Inside the open unit: makes `state` the companion row of its file
  // (load modes kReplace and kChanged). Committed with the unit.
  virtual LoadResult RecordFile(const LoadRequest& request, const FileState& state);
  // Gives every companion row to `each`, in one query (SQLite: none when the
  // table or the database does not exist yet; nothing is created).
  virtual LoadResult ReadFileStates(const LoadRequest& request, const FileStateSink& each);
  // Gives `each`, once each, every file name that has rows in the table or
  // a companion row, in one query.
  virtual LoadResult ListFiles(const LoadRequest& request, const FileNameSink& each);
  // Outside any unit: deletes the rows and the companion row of
  // request.file_name_value in one transaction of its own.
  virtual LoadResult ForgetFile(const LoadRequest& request);
  // Outside any unit, in one transaction: sets the ModifiedTime and
  // CheckedTime of each state's companion row to the state's, where that
  // row still records the state's size and content hash (a row another run
  // recorded meanwhile is left as it is).
  virtual LoadResult RefreshFileStates(const LoadRequest& request, const std::vector<FileState>& states);
  // Makes every commit so far durable: once this succeeds, none of them is
  // lost if the server stops at once. Failed: some may not be on disk.
  virtual LoadResult MakeDurable();
  // Which connection commits go over: a number that changes when a lost
  // connection was replaced by a new one. A server that commits without
  // flushing may lose what the old one committed.
  virtual uint64_t ConnectionNumber() const { return 0; }
  // Appends to `rows` every row of the table whose line text contains
  // `needle` (compared exactly; the needle is bound, never put into SQL).
  virtual LoadResult FindRowsContaining(const LoadRequest& request, const std::string& needle,
                                        std::vector<std::string>& rows);
  // Rolls back an open unit (never commits it), makes what was committed
  // durable and closes the connection; the next call opens it again.
  // Failed: something reported loaded may not be on disk.
  virtual LoadResult Close() = 0;
};

enum class Engine { kSqlServer, kSqlite, kOdbc, kPostgres };

// The engine named by a DESTINATION_ENGINE value (compared after TrimUpper;
// empty means SQL Server); false when the value names none.
bool ParseEngine(const std::string& configured, Engine& engine);

// Why the names of `request` cannot go into SQL text, or empty: `table`
// (the table as the engine names it), the line column and each configured
// optional column must be identifiers, and a re-load (REPLACE, CHANGED)
// needs the file-name column. Names are checked, values are bound.
std::string LoadNameProblem(const LoadRequest& request, const std::string& table);

// A destination for `engine`. `application_folder` resolves a relative SQLite
// database path. Returns nullptr with `error` set when the engine is not
// built into this program.
std::unique_ptr<LoadDestination> MakeDestination(Engine engine, const std::string& application_folder,
                                                 std::string& error);

}  // namespace corvanne
