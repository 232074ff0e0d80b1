// The ODBC destination's class, shared by the two files that define it:
// loads and units (odbc_destination.cpp), re-loads (odbc_reload.cpp).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "destination/destination.hpp"
#include "destination/odbc/odbc_batch_insert.hpp"
#include "destination/odbc/odbc_connection.hpp"
#include "destination/odbc/odbc_destination.hpp"
#include "destination/odbc/odbc_file_states.hpp"

namespace corvanne {

// How one attempt at a load ended, beyond its result.
struct OdbcLoadAttempt {
  LoadResult result;
  bool connection_lost = false;  // the server went away before the commit was asked for
};

// A destination for SQL Server or any ODBC data source; see odbc_destination.hpp.
class OdbcDestination final : public LoadDestination {
 public:
  OdbcDestination(Engine engine, OdbcOptions options) : engine_(engine), options_(options) {}
  ~OdbcDestination() override { static_cast<void>(Close()); }
  OdbcDestination(const OdbcDestination&) = delete;
  OdbcDestination& operator=(const OdbcDestination&) = delete;

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
  // Where the load goes: the connection string and the name users know it by.
  struct Target {
    std::string connection_string;  // holds the password: never shown
    std::string label;              // e.g. ODBC data source "Pg"
  };

  bool ResolveTarget(const LoadRequest& request, Target& target, LoadResult& failure);
  bool CheckNames(const LoadRequest& request, const Target& target, LoadResult& failure) const;
  bool EnsureConnected(const LoadRequest& request, const Target& target, LoadResult& failure);
  // The destination object and a column as they stand in the SQL text.
  std::string TableSql(const LoadRequest& request) const;
  std::string ColumnSql(const std::string& name) const;
  // When only configured optional columns are missing from the table: the
  // ALTER TABLE statements that add them, after "; to add ...: ". Empty
  // otherwise. Asks the server one column at a time; changes nothing.
  std::string AddColumnAdvice(const LoadRequest& request);
  // "INSERT INTO t (c, ...) VALUES ", to be followed by the rows' placeholders.
  std::string InsertPrefix(const LoadRequest& request) const;
  OdbcLoadAttempt LoadOnce(const LoadRequest& request, const Target& target);
  // Inside a unit: takes back the load in progress and nothing before it,
  // to its savepoint when `savepoint`. Else the unit is rolled back and its
  // earlier loads sent again; false (the unit lost) when that fails.
  bool UndoLoad(const Target& target, bool savepoint);
  // Sends the unit's earlier loads again on a fresh transaction; false with
  // unit_lost_ set when one fails.
  bool ReplayUnit(const Target& target);
  // The names of the re-load statements, quoted for the connected server.
  OdbcReloadNames ReloadNames(const LoadRequest& request) const;
  // Re-loads: takes the unit's file's earlier rows out inside the unit's
  // transaction (again after a replay). False with `why` set.
  bool TakeOut(const LoadRequest& request, std::vector<OdbcDiagnostic>& why);
  // Checks that the companion table can be read; false with `failure` set.
  bool VerifyCompanion(const LoadRequest& request, const Target& target, LoadResult& failure);
  // Connects for a re-load call outside the loads; false with `failure` set.
  bool Connected(const LoadRequest& request, Target& target, LoadResult& failure);
  void Disconnect();
  LoadResult Failed(const LoadRequest& request, const Target& target, const std::string& description) const;

  Engine engine_;
  OdbcOptions options_;
  OdbcHandle env_;                                // allocated on first use
  OdbcConnection connection_;                     // open between loads of a run
  std::unique_ptr<OdbcBatchInsert> insert_;       // the loads' insert on connection_, its statements kept
  bool feeding_ = false;                          // insert_ is taking a load's rows
  std::string connected_to_;                      // connection string of the open connection
  uint64_t connections_ = 0;                      // connections opened so far: a new one after a loss
  std::string failed_to_;                         // connection string that could not connect this run
  std::vector<OdbcDiagnostic> failed_diagnostics_;  // and why
  bool unit_open_ = false;                        // between BeginUnit and CommitUnit/RollbackUnit
  std::vector<LoadRequest> unit_loads_;           // the open unit's loads that succeeded, in order
  std::string unit_file_;                         // the open unit's file
  LoadRequest unit_request_;                      // the open unit's BeginUnit request
  std::string unit_lost_;                         // why the open unit's transaction is gone, or empty
  int64_t unit_file_id_ = 0;                      // the open unit's FileId, 0: none
  bool companion_ranged_ = false;                 // the companion table keeps LineId ranges (asked per connection)
  std::string password_;                          // of the last request, scrubbed from every text
};

}  // namespace corvanne
