// Loads through ODBC: SQL Server (connection string built from the settings)
// or any ODBC data source. Built only with unixODBC (or Windows ODBC).
#pragma once

#include <memory>

#include "loader/destination.hpp"

namespace corvanne {

// A destination for Engine::kSqlServer or Engine::kOdbc.
std::unique_ptr<LoadDestination> MakeOdbcDestination(Engine engine);

}  // namespace corvanne
