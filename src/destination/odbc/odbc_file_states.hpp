// The companion table of an ODBC destination, and the statements that take
// a file's earlier rows out: parameters bound, inside the caller's open
// transaction (autocommit is off); nothing here commits.
#pragma once

#include <string>
#include <vector>

#include "destination/file_state.hpp"
#include "destination/odbc/odbc_connection.hpp"

namespace corvanne {

// The names the statements use, quoted as the server wants them.
struct OdbcReloadNames {
  std::string table;        // the destination table
  std::string file_column;  // its file-name column
  std::string companion;    // the companion table
};

// Makes the companion row of `file` one that records no finished load,
// inserting it when missing, and so holds it (locked) until the transaction
// ends: another run's unit of the same file waits here. Then deletes the
// file's rows. False with `why` set; the transaction must then be rolled
// back. A row inserted by a run that committed meanwhile is retried for.
bool OdbcTakeOutFile(OdbcConnection& connection, const OdbcReloadNames& names, const std::string& file,
                     std::vector<OdbcDiagnostic>& why);

// Writes `state` into the companion row of state.file_name (inserting it
// when missing). False with `why` set.
bool OdbcWriteFileState(OdbcConnection& connection, const OdbcReloadNames& names, const FileState& state,
                        std::vector<OdbcDiagnostic>& why);

// Deletes the companion row of `file`, then the file's rows. False with
// `why` set.
bool OdbcForgetFile(OdbcConnection& connection, const OdbcReloadNames& names, const std::string& file,
                    std::vector<OdbcDiagnostic>& why);

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
