// The embedded destination: rows go into a table of a SQLite database file
// that lives beside the configuration unless an absolute path is given.
#pragma once

#include <memory>
#include <string>

#include "destination/destination.hpp"

namespace corvanne {

// The database file that `database` names: "Corvanne.db" when empty; a
// relative path is taken from `application_folder`, an absolute one as is.
std::string SqliteDatabasePath(const std::string& database, const std::string& application_folder);

// A destination that loads into SqliteDatabasePath(request.database, ...).
// The database is opened on the first load, kept open between loads and
// closed (with everything loaded made durable) by Close() or destruction.
std::unique_ptr<LoadDestination> MakeSqliteDestination(const std::string& application_folder);

}  // namespace corvanne
