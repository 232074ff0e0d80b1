// One libpq connection held across the loads of a run: how it is opened
// from the configured server, database and login, and the two ways
// statements travel (a pipeline of bound statements, and COPY).
#pragma once

#include <libpq-fe.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "destination/load_request.hpp"

namespace corvanne {

// A statement with its values, always bound (text format), never spliced.
struct PgStatement {
  std::string sql;
  std::vector<std::optional<std::string>> values;  // nullopt: NULL
};

// How a call to the server ended when it failed.
struct PgFailure {
  std::string message;    // the server's or libpq's message, with SQLSTATE when the server gave one
  bool lost = false;      // the connection is gone: nothing more can be sent on it
};

// The libpq keywords and values for `request`: SQL_SERVER_NAME as host or
// host:port, or as a connection string or service when it holds "=";
// the database, the login (the password only when one is configured, so that
// PGPASSWORD and .pgpass keep working), UTF-8 on the wire. Later entries
// override what an expanded connection string says.
std::vector<std::pair<std::string, std::string>> PgConnectionParameters(const LoadRequest& request);

class PgConnection {
 public:
  PgConnection() = default;
  ~PgConnection() { Close(); }
  PgConnection(const PgConnection&) = delete;
  PgConnection& operator=(const PgConnection&) = delete;

  // Connects with `parameters`; false with `failure` set (closed then).
  bool Open(const std::vector<std::pair<std::string, std::string>>& parameters, PgFailure& failure);
  // Disconnects; whatever transaction is open is rolled back by the server.
  void Close();
  bool IsOpen() const { return conn_ != nullptr; }
  bool IsLost() const { return conn_ == nullptr || PQstatus(conn_) == CONNECTION_BAD; }

  // Sends `statements` in one pipeline and waits once for all their results.
  // False with `failure` naming the first statement that failed (those after
  // it were not run). `status` gets the command tag of the last statement
  // (for a COMMIT: "COMMIT", or "ROLLBACK" when the transaction had failed).
  bool Pipeline(const std::vector<PgStatement>& statements, PgFailure& failure, std::string* status = nullptr);
  // Runs `sql` (names only, no values: several statements allowed) and
  // waits for it; false with `failure` set.
  bool Simple(const std::string& sql, PgFailure& failure);
  // Runs one bound query and returns its rows (text; a NULL as empty);
  // false with `failure` set.
  bool Query(const PgStatement& statement, std::vector<std::vector<std::string>>& rows, PgFailure& failure);
  // As Query, each row given to `each` as soon as it arrives and let go
  // after: a big result is never held whole, by libpq or here. The values
  // live until `each` returns. Rows given before a failure stay given.
  bool QueryEach(const PgStatement& statement, const std::function<void(const std::vector<std::string_view>&)>& each,
                 PgFailure& failure);

  // Sends `sql`, which ends with a COPY ... FROM STDIN, and waits until the
  // server takes data. False with `failure` set.
  bool BeginCopy(const std::string& sql, PgFailure& failure);
  // Queues `data` of the open COPY (libpq sends when its buffer fills).
  bool PutCopy(const std::string& data, PgFailure& failure);
  // Ends the COPY: with `error` empty it is finished and the server's
  // verdict waited for; else the server is told to abandon it, which fails
  // the transaction. False with `failure` set (always when abandoned).
  // `status` gets the command tag of the query's last statement.
  bool EndCopy(const std::string& error, PgFailure& failure, std::string* status = nullptr);

 private:
  // The failure a result or the connection tells of.
  PgFailure FailureOf(const PGresult* result) const;
  // Reads and drops every result up to the end of the current query.
  void Drain();

  PGconn* conn_ = nullptr;
};

}  // namespace corvanne
