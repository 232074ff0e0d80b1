// The PostgreSQL destination, natively through libpq: no DSN, lines sent
// as COPY data, a file's unit in as few round trips as the protocol allows.
#pragma once

#include <memory>

#include "destination/destination.hpp"

namespace corvanne {

// A destination that loads into the PostgreSQL server that each request
// names (SQL_SERVER_NAME, SQL_SERVER_DATABASE_NAME, the login). The table
// ("schema.table" or "table", "[ ]" taken as "\" \"") is created when
// missing, with the optional columns, their index and, for the load modes
// REPLACE and CHANGED, the companion table. Commits are asynchronous until
// MakeDurable or Close.
std::unique_ptr<LoadDestination> MakePostgresDestination();

}  // namespace corvanne
