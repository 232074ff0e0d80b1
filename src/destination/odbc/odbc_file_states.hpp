// The companion table of an ODBC destination, and the statements that take
// a file's earlier rows out: parameters bound, inside the caller's open
// transaction (autocommit is off); nothing here commits.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "destination/file_state.hpp"
#include "destination/odbc/odbc_connection.hpp"

namespace corvanne {

// The names the statements use, quoted as the server wants them.
struct OdbcReloadNames {
  std::string table;        // the destination table
  std::string file_column;  // its file-name column, or empty
  std::string id_column;    // its file-id column, or empty
  std::string companion;    // the companion table
  bool ranged = false;      // the companion table has FirstLineId and LastLineId
};

// Makes the companion row of `file` one that records no finished load,
// inserting it when missing, and so holds it (locked) until the transaction
// ends: another run's unit of the same file waits here. With `take_out`
// (a re-load) then deletes the file's rows: by the LineId range its row
// keeps, else by the file. Sets `file_id` to the row's FileId (0 when the
// companion table has none). False with `why` set; the transaction must
// then be rolled back. A row inserted by a run that committed meanwhile is
// retried for.
bool OdbcTakeOutFile(OdbcConnection& connection, const OdbcReloadNames& names, const std::string& file,
                     bool take_out, int64_t& file_id, std::vector<OdbcDiagnostic>& why);

// Writes `state` into the companion row of state.file_name (inserting it
// when missing), with the LineId range of the file's rows where the
// companion table keeps one. False with `why` set.
bool OdbcWriteFileState(OdbcConnection& connection, const OdbcReloadNames& names, const FileState& state,
                        std::vector<OdbcDiagnostic>& why);

// Sets the times of the companion row of state.file_name to the state's,
// when it records the state's size and hash. False with `why` set.
bool OdbcRefreshFileState(OdbcConnection& connection, const OdbcReloadNames& names, const FileState& state,
                          std::vector<OdbcDiagnostic>& why);

// Deletes the file's rows, as OdbcTakeOutFile finds them, then its
// companion row. False with `why` set.
bool OdbcForgetFile(OdbcConnection& connection, const OdbcReloadNames& names, const std::string& file,
                    std::vector<OdbcDiagnostic>& why);

// An APPEND without a file id: what it adds lies outside every recorded
// range, so none is trusted any more. False with `why` set.
bool OdbcForgetRanges(OdbcConnection& connection, const OdbcReloadNames& names, std::vector<OdbcDiagnostic>& why);

// Gives every companion row to `each`, in one query. False with `why` set.
bool OdbcReadFileStates(OdbcConnection& connection, const OdbcReloadNames& names, const FileStateSink& each,
                        std::vector<OdbcDiagnostic>& why);

// Gives `each`, once each, the file names in the table and in the companion
// table. False with `why` set.
bool OdbcListFiles(OdbcConnection& connection, const OdbcReloadNames& names, const FileNameSink& each,
                   std::vector<OdbcDiagnostic>& why);

// Appends each value of `column` in `table` (both as they stand in SQL)
// that contains `needle`, bound as a parameter. False with `why` set.
bool OdbcFindRows(OdbcConnection& connection, const std::string& table, const std::string& column,
                  const std::string& needle, std::vector<std::string>& rows, std::vector<OdbcDiagnostic>& why);

}  // namespace corvanne
