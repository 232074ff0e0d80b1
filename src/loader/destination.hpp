// A place that loads one file at a time in one transaction. Implemented for
// SQLite and for ODBC (SQL Server and any data source).
#pragma once

#include <memory>
#include <string>

#include "loader/load_request.hpp"

namespace corvanne {

class LoadDestination {
 public:
  virtual ~LoadDestination() = default;
  // Loads every row of request.source_path in one transaction: all rows or
  // none. Opens the connection on first use (and again when it dropped);
  // failures come back in the result, never as exceptions.
  virtual LoadResult Load(const LoadRequest& request) = 0;
  // Closes the connection; the next Load opens it again.
  virtual void Close() = 0;
};

enum class Engine { kSqlServer, kSqlite, kOdbc };

// The engine named by a DESTINATION_ENGINE value (compared after TrimUpper;
// empty means SQL Server); false when the value names none.
bool ParseEngine(const std::string& configured, Engine& engine);

// A destination for `engine`. `application_folder` resolves a relative SQLite
// database path. Returns nullptr with `error` set when the engine is not
// built into this program.
std::unique_ptr<LoadDestination> MakeDestination(Engine engine, const std::string& application_folder,
                                                 std::string& error);

}  // namespace corvanne
