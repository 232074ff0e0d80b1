// A place that loads one file at a time, each load all or nothing, optionally
// several loads committed together. Implemented for SQLite and for ODBC.
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
  // Opens a group: the loads until EndGroup stay all-or-nothing each, but
  // are committed together, so none of them outlives a crash without the
  // others. By default each load keeps committing on its own.
  virtual void BeginGroup() {}
  // Commits the loads of the group. Failed: none of the group's loads was
  // kept (those reported ok included), and the result says why.
  virtual LoadResult EndGroup() { return {}; }
  // Closes the connection, committing a group still open; the next Load
  // opens it again.
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
