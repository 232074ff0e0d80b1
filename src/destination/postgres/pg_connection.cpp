// The libpq connection of the PostgreSQL destination; see pg_connection.hpp.
// Every value travels bound or as COPY data: SQL text holds names only.
#include "destination/postgres/pg_connection.hpp"

#include <algorithm>
#include <string_view>

#include "destination/postgres/libpq_on_demand.hpp"

namespace corvanne {

namespace {

// "host", "host:port" or "[v6 address]:port" cut into host and port.
void SplitHostPort(const std::string& server, std::string& host, std::string& port) {
  host = server;
  port.clear();
  if (!server.empty() && server.front() == '[') {
    const std::size_t close = server.find(']');
    if (close == std::string::npos) return;
    host = server.substr(1, close - 1);
    if (close + 1 < server.size() && server[close + 1] == ':') port = server.substr(close + 2);
    return;
  }
  const std::size_t colon = server.find(':');
  // A bare IPv6 address has several colons and no port.
  if (colon == std::string::npos || server.find(':', colon + 1) != std::string::npos) return;
  const std::string digits = server.substr(colon + 1);
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return;
  host = server.substr(0, colon);
  port = digits;
}

// The values of `statement` as libpq takes them: a NULL as a null pointer.
std::vector<const char*> ValuePointers(const PgStatement& statement) {
  std::vector<const char*> values(statement.values.size());
  std::transform(statement.values.begin(), statement.values.end(), values.begin(),
                 [](const std::optional<std::string>& value) { return value ? value->c_str() : nullptr; });
  return values;
}

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> PgConnectionParameters(const LoadRequest& request) {
  std::vector<std::pair<std::string, std::string>> parameters;
  if (request.server.find('=') != std::string::npos) {
    // Expanded by libpq as the first "dbname": a connection string, or
    // "service=name" from pg_service.conf.
    parameters.emplace_back("dbname", request.server);
  } else if (!request.server.empty()) {
    std::string host;
    std::string port;
    SplitHostPort(request.server, host, port);
    if (!host.empty()) parameters.emplace_back("host", host);
    if (!port.empty()) parameters.emplace_back("port", port);
  }
  if (!request.database.empty()) parameters.emplace_back("dbname", request.database);
  if (!request.user_name.empty()) parameters.emplace_back("user", request.user_name);
  if (!request.password.empty()) parameters.emplace_back("password", request.password);
  parameters.emplace_back("fallback_application_name", "Corvanne");
  parameters.emplace_back("connect_timeout", std::to_string(request.timeout_seconds));
  // Lines arrive decoded as UTF-8, whatever the server's own encoding.
  parameters.emplace_back("client_encoding", "UTF8");
  return parameters;
}

bool PgConnection::Open(const std::vector<std::pair<std::string, std::string>>& parameters, PgFailure& failure) {
  Close();
  std::vector<const char*> keywords;
  std::vector<const char*> values;
  bool expand = false;
  for (const auto& [keyword, value] : parameters) {
    expand = expand || (keywords.empty() && keyword == "dbname" && value.find('=') != std::string::npos);
    keywords.push_back(keyword.c_str());
    values.push_back(value.c_str());
  }
  keywords.push_back(nullptr);
  values.push_back(nullptr);
  if (std::string why; !LibpqAvailable(why)) {
    failure.message = why;
    failure.lost = true;
    return false;
  }
  conn_ = PQconnectdbParams(keywords.data(), values.data(), expand ? 1 : 0);
  if (conn_ != nullptr && PQstatus(conn_) == CONNECTION_OK) return true;
  failure.message = conn_ != nullptr ? Trimmed(PQerrorMessage(conn_)) : "libpq could not allocate a connection";
  failure.lost = true;
  Close();
  return false;
}

void PgConnection::Close() {
  if (conn_ != nullptr) PQfinish(conn_);
  conn_ = nullptr;
}

PgFailure PgConnection::FailureOf(const PGresult* result) const {
  PgFailure failure;
  const char* primary = result != nullptr ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
  if (primary != nullptr) {
    failure.message = primary;
    if (const char* detail = PQresultErrorField(result, PG_DIAG_MESSAGE_DETAIL)) failure.message += "; " + std::string(detail);
    if (const char* context = PQresultErrorField(result, PG_DIAG_CONTEXT)) failure.message += " (" + std::string(context) + ")";
    if (const char* state = PQresultErrorField(result, PG_DIAG_SQLSTATE)) failure.message += " [SQLSTATE " + std::string(state) + "]";
  } else {
    failure.message = conn_ != nullptr ? Trimmed(PQerrorMessage(conn_)) : "not connected";
    if (failure.message.empty()) failure.message = "the server gave no reason";
  }
  failure.lost = IsLost();
  return failure;
}

void PgConnection::Drain() {
  if (conn_ == nullptr) return;
  while (PGresult* result = PQgetResult(conn_)) {
    const ExecStatusType status = PQresultStatus(result);
    PQclear(result);
    if (status == PGRES_COPY_IN) PQputCopyEnd(conn_, "abandoned");
    if (IsLost()) break;
  }
}

bool PgConnection::Pipeline(const std::vector<PgStatement>& statements, PgFailure& failure, std::string* status) {
  if (conn_ == nullptr) {
    failure = {"not connected", true};
    return false;
  }
  if (PQenterPipelineMode(conn_) == 0) {
    failure = FailureOf(nullptr);
    return false;
  }
  std::size_t sent = 0;
  bool ok = true;
  for (const PgStatement& statement : statements) {
    const std::vector<const char*> values = ValuePointers(statement);
    if (PQsendQueryParams(conn_, statement.sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(),
                          nullptr, nullptr, 0) == 0) {
      failure = FailureOf(nullptr);
      ok = false;
      break;
    }
    ++sent;
  }
  const bool sync_sent = PQpipelineSync(conn_) != 0;
  if (!sync_sent && ok) {
    failure = FailureOf(nullptr);
    ok = false;
  }
  for (std::size_t i = 0; i < sent && !IsLost(); ++i) {
    while (PGresult* result = PQgetResult(conn_)) {
      const ExecStatusType state = PQresultStatus(result);
      if (state == PGRES_FATAL_ERROR && ok) {
        failure = FailureOf(result);
        ok = false;
      } else if (state != PGRES_PIPELINE_ABORTED && i + 1 == sent && status != nullptr) {
        *status = PQcmdStatus(result);
      }
      PQclear(result);
    }
  }
  // The sync's own result, then out of pipeline mode for the next COPY.
  // A NULL between results ends a query that was not counted (one whose
  // sending failed); two in a row mean nothing more is coming.
  for (int empty = 0; sync_sent && !IsLost() && empty < 2;) {
    PGresult* result = PQgetResult(conn_);
    if (result == nullptr) {
      ++empty;
      continue;
    }
    empty = 0;
    const bool synced = PQresultStatus(result) == PGRES_PIPELINE_SYNC;
    PQclear(result);
    if (synced) break;
  }
  if (!IsLost()) PQexitPipelineMode(conn_);
  if (ok && IsLost()) {
    failure = FailureOf(nullptr);
    ok = false;
  }
  if (!ok) failure.lost = failure.lost || IsLost();
  return ok;
}

bool PgConnection::Simple(const std::string& sql, PgFailure& failure) {
  if (conn_ == nullptr) {
    failure = {"not connected", true};
    return false;
  }
  PGresult* result = PQexec(conn_, sql.c_str());
  const ExecStatusType state = result != nullptr ? PQresultStatus(result) : PGRES_FATAL_ERROR;
  const bool ok = state == PGRES_COMMAND_OK || state == PGRES_TUPLES_OK;
  if (!ok) failure = FailureOf(result);
  PQclear(result);
  return ok;
}

bool PgConnection::Query(const PgStatement& statement, std::vector<std::vector<std::string>>& rows,
                         PgFailure& failure) {
  if (conn_ == nullptr) {
    failure = {"not connected", true};
    return false;
  }
  const std::vector<const char*> values = ValuePointers(statement);
  PGresult* result = PQexecParams(conn_, statement.sql.c_str(), static_cast<int>(values.size()), nullptr,
                                  values.data(), nullptr, nullptr, 0);
  const bool ok = result != nullptr && PQresultStatus(result) == PGRES_TUPLES_OK;
  if (!ok) {
    failure = FailureOf(result);
  } else {
    const int columns = PQnfields(result);
    for (int row = 0; row < PQntuples(result); ++row) {
      std::vector<std::string> values_of_row;
      for (int column = 0; column < columns; ++column) {
        values_of_row.emplace_back(PQgetvalue(result, row, column),
                                   static_cast<std::size_t>(PQgetlength(result, row, column)));
      }
      rows.push_back(std::move(values_of_row));
    }
  }
  PQclear(result);
  return ok;
}

bool PgConnection::QueryEach(const PgStatement& statement,
                             const std::function<void(const std::vector<std::string_view>&)>& each,
                             PgFailure& failure) {
  if (conn_ == nullptr) {
    failure = {"not connected", true};
    return false;
  }
  const std::vector<const char*> values = ValuePointers(statement);
  if (PQsendQueryParams(conn_, statement.sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(), nullptr,
                        nullptr, 0) == 0) {
    failure = FailureOf(nullptr);
    return false;
  }
  // Without single-row mode libpq gathers the whole result before the first
  // row can be read.
  PQsetSingleRowMode(conn_);
  bool ok = true;
  std::vector<std::string_view> row;
  // Read to the end whatever happens: the connection is usable only then.
  while (PGresult* result = PQgetResult(conn_)) {
    const ExecStatusType state = PQresultStatus(result);
    if (ok && (state == PGRES_SINGLE_TUPLE || state == PGRES_TUPLES_OK)) {
      // One row each, then none at the end; all of them at once should the
      // mode not have been taken.
      for (int tuple = 0; tuple < PQntuples(result); ++tuple) {
        row.clear();
        for (int column = 0; column < PQnfields(result); ++column) {
          row.emplace_back(PQgetvalue(result, tuple, column),
                           static_cast<std::size_t>(PQgetlength(result, tuple, column)));
        }
        each(row);
      }
    } else if (ok) {
      failure = FailureOf(result);
      ok = false;
    }
    PQclear(result);
  }
  if (ok && IsLost()) {
    failure = FailureOf(nullptr);
    ok = false;
  }
  return ok;
}

bool PgConnection::BeginCopy(const std::string& sql, PgFailure& failure) {
  if (conn_ == nullptr) {
    failure = {"not connected", true};
    return false;
  }
  if (PQsendQuery(conn_, sql.c_str()) == 0) {
    failure = FailureOf(nullptr);
    return false;
  }
  // Statements before the COPY in `sql` (a BEGIN) answer first.
  while (PGresult* result = PQgetResult(conn_)) {
    const ExecStatusType state = PQresultStatus(result);
    if (state == PGRES_COPY_IN) {
      PQclear(result);
      return true;
    }
    if (state == PGRES_FATAL_ERROR) {
      failure = FailureOf(result);
      PQclear(result);
      Drain();
      failure.lost = failure.lost || IsLost();
      return false;
    }
    PQclear(result);
  }
  failure = FailureOf(nullptr);
  return false;
}

bool PgConnection::PutCopy(const std::string& data, PgFailure& failure) {
  if (PQputCopyData(conn_, data.data(), static_cast<int>(data.size())) == 1) return true;
  failure = FailureOf(nullptr);
  failure.lost = true;  // libpq only refuses data when the link is broken
  return false;
}

bool PgConnection::EndCopy(const std::string& error, PgFailure& failure, std::string* status) {
  if (PQputCopyEnd(conn_, error.empty() ? nullptr : error.c_str()) != 1) {
    failure = FailureOf(nullptr);
    failure.lost = true;
    return false;
  }
  bool ok = false;
  bool answered = false;
  while (PGresult* result = PQgetResult(conn_)) {
    const ExecStatusType state = PQresultStatus(result);
    if (!answered) {
      answered = true;
      ok = state == PGRES_COMMAND_OK;
      if (!ok) failure = FailureOf(result);
    }
    if (status != nullptr) *status = PQcmdStatus(result);
    PQclear(result);
    if (IsLost()) break;
  }
  if (!answered) failure = FailureOf(nullptr);
  if (!ok) failure.lost = failure.lost || IsLost();
  return ok;
}

}  // namespace corvanne
