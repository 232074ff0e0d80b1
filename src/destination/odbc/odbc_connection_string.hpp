// Connection strings for the ODBC destinations, built and scrubbed as plain
// text so that they can be checked without a driver manager.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "destination/load_request.hpp"

namespace corvanne {

// The SQL Server drivers tried, in order, when none is configured.
inline const std::vector<std::string> kSqlServerDriverPreference = {
    "ODBC Driver 18 for SQL Server", "ODBC Driver 17 for SQL Server", "FreeTDS"};

// `value` as a connection-string attribute value: unchanged when it holds no
// ";", "{", "}" and no blank at either end; otherwise "{" value "}" with every
// "}" doubled.
std::string OdbcAttributeValue(std::string_view value);

// The driver for a SQL Server load: `configured` (trimmed) when not empty,
// else the first of kSqlServerDriverPreference that is in `installed`
// (compared exactly); empty when none is.
std::string ChooseSqlServerDriver(std::string_view configured, const std::vector<std::string>& installed);

// "Driver={driver};Server=..;Database=..;UID=..;PWD=..;APP=..;" (the login
// timeout is a connection attribute, not part of the string). Never a
// trusted connection. For FreeTDS a "host,port" server becomes
// Server=host;Port=port, as Microsoft's drivers read the comma form, and
// gets TDS_Version=7.4 so that a silent server fails within the timeout.
std::string SqlServerConnectionString(const LoadRequest& request, std::string_view driver);

// "DSN=server;UID=..;PWD=..;" for any ODBC data source; UID and PWD are left
// out when the user name is empty so that the data source's own login holds.
std::string DsnConnectionString(const LoadRequest& request);

// `text` with every appearance of `password` (as typed and as braced for a
// connection string) and of any "PWD=" value replaced by "****". Use on every
// text that may have seen a connection string or a driver's message.
std::string ScrubSecret(std::string text, std::string_view password);

}  // namespace corvanne
