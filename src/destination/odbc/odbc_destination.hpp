// Loads through ODBC: SQL Server (connection string built from the settings)
// or any ODBC data source. Built only with unixODBC (or Windows ODBC).
#pragma once

#include <cstddef>
#include <memory>

#include "destination/destination.hpp"

namespace corvanne {

// How the ODBC destination talks to the driver.
struct OdbcOptions {
  std::size_t batch_rows = 500;            // lines per INSERT (at most 1000); 1 sends row by row
  std::size_t statements_per_execute = 1;  // INSERTs per round trip, as a parameter array
};

// A destination for Engine::kSqlServer or Engine::kOdbc. The connection is
// opened on the first load and kept for the run; a connection that dropped
// is opened again once and the load retried from its start. A connection
// that could not be opened is not tried again until Close(): the next loads
// fail at once with the same diagnostics, so a server that is down costs
// the login timeout once per run.
std::unique_ptr<LoadDestination> MakeOdbcDestination(Engine engine);
std::unique_ptr<LoadDestination> MakeOdbcDestination(Engine engine, const OdbcOptions& options);

}  // namespace corvanne
