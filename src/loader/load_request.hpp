// What one load is, as a value: the file, how to cut it, where it goes and
// with which login; and what came of it.
#pragma once

#include <cstdint>
#include <string>

namespace corvanne {

inline constexpr const char* kApplicationName = "DTS  Import/Export Wizard";
inline constexpr const char* kStepName =
    "Copy Data from TEXT_FILE_NAME_GOES_HERE to PUT_DB_NAME_HERE.[dbo].PUT_DESTN_TABLE_NAME_HERE Step";
inline constexpr const char* kTaskName =
    "Copy Data from TEXT_FILE_NAME_GOES_HERE to PUT_DB_NAME_HERE.[dbo].PUT_DESTN_TABLE_NAME_HERE Task";
inline constexpr std::size_t kMaxLineBytes = 8000;
inline constexpr int kTimeoutSeconds = 60;

// Everything a destination needs for one load of one file.
struct LoadRequest {
  std::string source_path;              // the file to read
  std::string row_delimiter;            // from TranslateRowDelimiter ("\r\n" means any line break)
  std::size_t max_line_bytes = kMaxLineBytes;
  std::string code_page;                // SOURCE_FILE_CODE_PAGE as configured; empty means WINDOWS-1252
  std::string server;                   // server name, or ODBC data source name
  std::string database;                 // database name (SQLite: the database file)
  std::string user_name;                // SQL login; never a trusted connection
  std::string password;                 // never shown in any message
  std::string application_name = kApplicationName;
  int timeout_seconds = kTimeoutSeconds;
  std::string destination_object_name;  // "[" database "].[dbo]." table
  std::string table_name;               // as configured
  std::string column_name;              // as configured
  std::string odbc_driver_name;         // as configured (SQL Server engine)
  std::string step_name = kStepName;
  std::string task_name = kTaskName;

  bool operator==(const LoadRequest&) const = default;
};

// The outcome of one load. A failed load wrote nothing.
struct LoadResult {
  bool ok = true;
  int64_t rows = 0;          // rows inserted (0 when failed)
  std::string source;        // failed: what failed, e.g. "SQLite", "[unixODBC][Driver]..."
  std::string description;   // failed: the cause, naming file and line where there is one
};

}  // namespace corvanne
