// The ODBC driver manager, opened when an ODBC destination is first used:
// the functions the engine calls, each passed on to the library's own.
#ifdef CORVANNE_ODBC_SONAME
#include "destination/odbc/odbc_on_demand.hpp"

#include <sql.h>
#include <sqlext.h>

namespace corvanne {

LibraryOnDemand& OdbcLibrary() {
  static LibraryOnDemand library(CORVANNE_ODBC_SONAME);
  return library;
}

}  // namespace corvanne

using corvanne::OdbcLibrary;

extern "C" {
CORVANNE_FORWARD(OdbcLibrary(), SQLRETURN, SQLAllocHandle, (SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output),
                 (type, input, output))
CORVANNE_FORWARD(OdbcLibrary(), SQLRETURN, SQLBindParameter,
                 (SQLHSTMT statement, SQLUSMALLINT number, SQLSMALLINT io, SQLSMALLINT c_type, SQLSMALLINT sql_type,
                  SQLULEN column_size, SQLSMALLINT digits, SQLPOINTER value, SQLLEN value_size, SQLLEN* length),
                 (statement, number, io, c_type, sql_type, column_size, digits, value, value_size, length))
CORVANNE_FORWARD(OdbcLibrary(), SQLRETURN, SQLDisconnect, (SQLHDBC connection), (connection))
CORVANNE_FORWARD(OdbcLibrary(), SQLRETURN, SQLDriverConnect,
                 (SQLHDBC connection, SQLHWND window, SQLCHAR* in, SQLSMALLINT in_length, SQLCHAR* out,
                  SQLSMALLINT out_size, SQLSMALLINT* out_length, SQLUSMALLINT completion),
                 (connection, window, in, in_length, out, out_size, out_length, completion))
CORVANNE_FORWARD(OdbcLibrary(), SQLRETURN, SQLDrivers,
                 (SQLHENV environment, SQLUSMALLINT direction, SQLCHAR* description, SQLSMALLINT description_size,
                  SQLSMALLINT* description_length, SQLCHAR* attributes, SQLSMALLINT attributes_size,
                  SQLSMALLINT* attributes_length),
                 (environment, direction, description, description_size, description_length, attributes,
                  attributes_size, attributes_length))
CORVANNE_FORWARD(OdbcLibrary(), SQLRETURN, SQLEndTran, (SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT completion),
                 (type, handle, completion))
CORVANNE_FORWARD(OdbcLibrary(), SQLRETURN, SQLExecDirect, (SQLHSTMT statement, SQLCHAR* text, SQLINTEGER length),
                 (statement, text, length))
CORVANNE_FORWARD(OdbcLibrary(), SQLRETURN, SQLExecute, (SQLHSTMT statement), (statement))
CORVANNE_FORWARD(OdbcLibrary(), SQLRETURN, SQLFetch, (SQLHSTMT statement), (statement))
CORVANNE_FORWARD(OdbcLibrary(), SQLRETURN, SQLFreeHandle, (SQLSMALLINT type, SQLHANDLE handle), (type, handle))
CORVANNE_FORWARD(OdbcLibrary(), SQLRETURN, SQLGetConnectAttr,
                 (SQLHDBC connection, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER size, SQLINTEGER* length),
                 (connection, attribute, value, size, length))
CORVANNE_FORWARD(OdbcLibrary(), SQLRETURN, SQLGetData,
                 (SQLHSTMT statement, SQLUSMALLINT column, SQLSMALLINT c_type, SQLPOINTER value, SQLLEN size,
                  SQLLEN* length),
                 (statement, column, c_type, value, size, length))
CORVANNE_FORWARD(OdbcLibrary(), SQLRETURN, SQLGetDiagRec,
                 (SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record, SQLCHAR* state, SQLINTEGER* native,
                  SQLCHAR* text, SQLSMALLINT size, SQLSMALLINT* length),
                 (type, handle, record, state, native, text, size, length))
CORVANNE_FORWARD(OdbcLibrary(), SQLRETURN, SQLGetInfo,
                 (SQLHDBC connection, SQLUSMALLINT info, SQLPOINTER value, SQLSMALLINT size, SQLSMALLINT* length),
                 (connection, info, value, size, length))
CORVANNE_FORWARD(OdbcLibrary(), SQLRETURN, SQLGetStmtAttr,
                 (SQLHSTMT statement, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER size, SQLINTEGER* length),
                 (statement, attribute, value, size, length))
CORVANNE_FORWARD(OdbcLibrary(), SQLRETURN, SQLPrepare, (SQLHSTMT statement, SQLCHAR* text, SQLINTEGER length),
                 (statement, text, length))
CORVANNE_FORWARD(OdbcLibrary(), SQLRETURN, SQLRowCount, (SQLHSTMT statement, SQLLEN* rows), (statement, rows))
CORVANNE_FORWARD(OdbcLibrary(), SQLRETURN, SQLSetConnectAttr,
                 (SQLHDBC connection, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER length),
                 (connection, attribute, value, length))
CORVANNE_FORWARD(OdbcLibrary(), SQLRETURN, SQLSetEnvAttr,
                 (SQLHENV environment, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER length),
                 (environment, attribute, value, length))
CORVANNE_FORWARD(OdbcLibrary(), SQLRETURN, SQLSetStmtAttr,
                 (SQLHSTMT statement, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER length),
                 (statement, attribute, value, length))
}

#endif
