// The PostgreSQL destination's class, shared by the files that define it:
// connection, tables and units (pg_destination.cpp), the COPY of a load
// (pg_copy.cpp), re-loads and durability (pg_reload.cpp).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "destination/postgres/pg_connection.hpp"
#include "destination/postgres/pg_destination.hpp"

namespace corvanne {

inline constexpr const char* kPostgresSource = "PostgreSQL";

// The names the statements use, quoted as PostgreSQL wants them.
struct PgNames {
  std::string table;       // the destination table
  std::string line;        // the line column
  std::string file;        // the file-name column, or empty
  std::string number;      // the line-number column, or empty
  std::string batch;       // the batch-code column, or empty
  std::string id;          // the file-id column, or empty
  std::string companion;   // the companion table
  std::string view;        // the view that joins rows to their file's name
  std::string index;       // the index on file and line (a bare or quoted name in the table's schema)
  std::string id_index;    // the index on file id and line, likewise
  std::string copy_list;   // "line, file, number, batch, id" as COPY and INSERT list them
};

// The condition that a row of `names.table` is the file whose name is bound
// as $1: by its name and, with a file-id column, by the id the companion
// table gives the name (rows may carry either).
std::string PgFileFilter(const PgNames& names);

// One source file's unit as it stands: what of it the server has, and what
// is still to be sent. Everything needed to send the unit again on a new
// connection is here.
struct PgUnit {
  LoadRequest request;                 // BeginUnit's request
  std::string file_id;                 // the file's FileId as text, with a file-id column; else empty
  std::vector<std::string> leading;    // marker rows before the lines (the BEGINS row)
  bool leading_sent = false;           // `leading` went in the lines' COPY that the server took
  bool lines_tried = false;            // the lines were loaded, successfully or not
  bool lines_ok = false;               // and the server took them
  bool copy_open = false;              // APPEND: the lines' COPY stays open for the rows after them
  std::vector<std::string> copied;     // marker rows after the lines that went into the open COPY
  std::vector<PgStatement> trailing;   // queued after the lines: marker rows, the file's record
  std::string last_marker;             // the unit's last marker row: found on the server, the unit committed
  bool begun = false;                  // BEGIN (and the take-out) reached the server
  bool failed = false;                 // the server's transaction is in error: start it again at the commit
  std::string lost;                    // why the unit cannot be committed any more, or empty
};

class PgDestination final : public LoadDestination {
 public:
  PgDestination() = default;
  ~PgDestination() override { static_cast<void>(Close()); }
  PgDestination(const PgDestination&) = delete;
  PgDestination& operator=(const PgDestination&) = delete;

  LoadResult Open(const LoadRequest& request) override;
  LoadResult Verify(const LoadRequest& request) override;
  LoadResult BeginUnit(const LoadRequest& request) override;
  LoadResult Load(const LoadRequest& request) override;
  LoadResult CommitUnit() override;
  void RollbackUnit() override;
  LoadResult RecordFile(const LoadRequest& request, const FileState& state) override;
  LoadResult ReadFileStates(const LoadRequest& request, const FileStateSink& each) override;
  LoadResult ListFiles(const LoadRequest& request, const FileNameSink& each) override;
  LoadResult ForgetFile(const LoadRequest& request) override;
  LoadResult RefreshFileStates(const LoadRequest& request, const std::vector<FileState>& states) override;
  LoadResult MakeDurable() override;
  uint64_t ConnectionNumber() const override { return connections_; }
  LoadResult FindRowsContaining(const LoadRequest& request, const std::string& needle,
                                std::vector<std::string>& rows) override;
  LoadResult Close() override;

 private:
  // Connected to the server `request` names, with commits asynchronous;
  // false with `failure` set. Checks the names first.
  bool Connected(const LoadRequest& request, LoadResult& failure);
  // Creates the table, its optional columns and index, and the companion
  // table, where missing (once per connection). Empty, or why not.
  std::string PrepareTables(const LoadRequest& request);
  void Disconnect();
  // The names of `request`, quoted.
  PgNames NamesOf(const LoadRequest& request) const;
  // "PostgreSQL server ..., database ...": what a message names.
  std::string Label(const LoadRequest& request) const;
  LoadResult Failed(const LoadRequest& request, const std::string& description) const;
  // The statements that open the unit's transaction: BEGIN and, in a
  // re-load, the take-out of the file's earlier rows.
  std::vector<PgStatement> Opening(const PgUnit& unit) const;
  // Sends the unit's lines (with its leading marker rows) as one COPY. With
  // `keep_open` (APPEND) the COPY and its COMMIT were sent as one query and
  // the COPY is left open for the rows after the lines: the server's verdict
  // on the lines comes at the commit. Failed: the lines are not in; `lost`
  // tells whether the connection went.
  LoadResult CopyLines(PgUnit& unit, bool keep_open, bool& lost);
  // Adds `row` (a marker row) to the unit's open COPY; false with `failure` set.
  bool AddToOpenCopy(PgUnit& unit, const std::string& row, PgFailure& failure);
  // Ends the open COPY and with it the unit's query, COMMIT included.
  // False with `failure` set; `refused` when the server refused the rows
  // (the transaction is then to be rolled back).
  bool EndOpenCopy(PgUnit& unit, PgFailure& failure, bool& refused);
  // The INSERT of marker row `row` of `request`'s file.
  PgStatement MarkerInsert(const LoadRequest& request, const std::string& row) const;
  // Appends the INSERT of each of `rows` to `statements`.
  void AppendMarkerInserts(const LoadRequest& request, const std::vector<std::string>& rows,
                           std::vector<PgStatement>& statements) const;
  // Sends what is left of the unit and COMMIT, in one pipeline.
  bool SendCommit(PgUnit& unit, PgFailure& failure);
  // After a lost connection: connects again and sends the whole unit again
  // (the lines read anew) up to, without, its commit. False with `why` set.
  bool Resend(PgUnit& unit, std::string& why);
  // A load outside any unit: a unit of its own.
  LoadResult LoadAlone(const LoadRequest& request);
  // The FileId of `request`'s file, its companion row made when missing;
  // kept for the connection. False with `why` set.
  bool FileIdOf(const LoadRequest& request, std::string& id, PgFailure& why);

  PgConnection connection_;          // open between loads of a run
  std::string connected_to_;         // the parameters (with the password) it was opened with
  uint64_t connections_ = 0;         // connections opened so far: a new one after a loss
  std::string failed_to_;            // parameters that could not connect this run
  std::string failed_why_;           // and why
  std::string prepared_for_;         // the table whose shape PrepareTables made sure of on this connection
  bool unflushed_ = false;           // a commit since the last flush
  bool unflushed_lost_ = false;      // a connection with such commits was lost
  bool unit_open_ = false;           // between BeginUnit and CommitUnit/RollbackUnit
  PgUnit unit_;                      // the open unit
  std::map<std::string, std::string> file_ids_;  // FileId by file name, on this connection
  std::string password_;             // of the last request, scrubbed from every text
};

}  // namespace corvanne
