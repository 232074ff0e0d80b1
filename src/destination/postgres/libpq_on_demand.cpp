// libpq, opened when a PostgreSQL destination is first used: the functions
// the engine calls, each passed on to the library's own.
#ifdef CORVANNE_LIBPQ_SONAME
#include "destination/postgres/libpq_on_demand.hpp"

#include <libpq-fe.h>

#include "common/library_on_demand.hpp"

namespace corvanne {

LibraryOnDemand& Libpq() {
  static LibraryOnDemand library(CORVANNE_LIBPQ_SONAME);
  return library;
}

}  // namespace corvanne

using corvanne::Libpq;

extern "C" {
CORVANNE_FORWARD(Libpq(), void, PQclear, (PGresult * res), (res))
CORVANNE_FORWARD(Libpq(), char*, PQcmdStatus, (PGresult * res), (res))
CORVANNE_FORWARD(Libpq(), PGconn*, PQconnectdbParams,
                 (const char* const* keywords, const char* const* values, int expand_dbname),
                 (keywords, values, expand_dbname))
CORVANNE_FORWARD(Libpq(), void, PQconninfoFree, (PQconninfoOption * options), (options))
CORVANNE_FORWARD(Libpq(), PQconninfoOption*, PQconninfoParse, (const char* conninfo, char** errmsg),
                 (conninfo, errmsg))
CORVANNE_FORWARD(Libpq(), int, PQenterPipelineMode, (PGconn * conn), (conn))
CORVANNE_FORWARD(Libpq(), char*, PQerrorMessage, (const PGconn* conn), (conn))
CORVANNE_FORWARD(Libpq(), PGresult*, PQexec, (PGconn * conn, const char* query), (conn, query))
CORVANNE_FORWARD(Libpq(), PGresult*, PQexecParams,
                 (PGconn * conn, const char* command, int n, const Oid* types, const char* const* values,
                  const int* lengths, const int* formats, int result_format),
                 (conn, command, n, types, values, lengths, formats, result_format))
CORVANNE_FORWARD(Libpq(), int, PQexitPipelineMode, (PGconn * conn), (conn))
CORVANNE_FORWARD(Libpq(), void, PQfinish, (PGconn * conn), (conn))
CORVANNE_FORWARD(Libpq(), void, PQfreemem, (void* ptr), (ptr))
CORVANNE_FORWARD(Libpq(), PGresult*, PQgetResult, (PGconn * conn), (conn))
CORVANNE_FORWARD(Libpq(), int, PQgetisnull, (const PGresult* res, int row, int field), (res, row, field))
CORVANNE_FORWARD(Libpq(), int, PQgetlength, (const PGresult* res, int row, int field), (res, row, field))
CORVANNE_FORWARD(Libpq(), char*, PQgetvalue, (const PGresult* res, int row, int field), (res, row, field))
CORVANNE_FORWARD(Libpq(), int, PQnfields, (const PGresult* res), (res))
CORVANNE_FORWARD(Libpq(), int, PQntuples, (const PGresult* res), (res))
CORVANNE_FORWARD(Libpq(), int, PQpipelineSync, (PGconn * conn), (conn))
CORVANNE_FORWARD(Libpq(), int, PQputCopyData, (PGconn * conn, const char* buffer, int bytes), (conn, buffer, bytes))
CORVANNE_FORWARD(Libpq(), int, PQputCopyEnd, (PGconn * conn, const char* errormsg), (conn, errormsg))
CORVANNE_FORWARD(Libpq(), char*, PQresultErrorField, (const PGresult* res, int code), (res, code))
CORVANNE_FORWARD(Libpq(), ExecStatusType, PQresultStatus, (const PGresult* res), (res))
CORVANNE_FORWARD(Libpq(), int, PQsendQuery, (PGconn * conn, const char* query), (conn, query))
CORVANNE_FORWARD(Libpq(), int, PQsendQueryParams,
                 (PGconn * conn, const char* command, int n, const Oid* types, const char* const* values,
                  const int* lengths, const int* formats, int result_format),
                 (conn, command, n, types, values, lengths, formats, result_format))
CORVANNE_FORWARD(Libpq(), int, PQsetSingleRowMode, (PGconn * conn), (conn))
CORVANNE_FORWARD(Libpq(), ConnStatusType, PQstatus, (const PGconn* conn), (conn))
}

#endif
