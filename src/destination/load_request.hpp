// What one load is, as a value: the rows (a file, or one row given as text),
// how to cut them, where they go and with which login; and what came of it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "destination/file_state.hpp"

namespace corvanne {

inline constexpr const char* kApplicationName = "DTS  Import/Export Wizard";
inline constexpr const char* kStepName =
    "Copy Data from TEXT_FILE_NAME_GOES_HERE to PUT_DB_NAME_HERE.[dbo].PUT_DESTN_TABLE_NAME_HERE Step";
inline constexpr const char* kTaskName =
    "Copy Data from TEXT_FILE_NAME_GOES_HERE to PUT_DB_NAME_HERE.[dbo].PUT_DESTN_TABLE_NAME_HERE Task";
inline constexpr std::size_t kMaxLineChars = 8000;  // a line's limit, in characters (bytes under BYTES)
inline constexpr int kTimeoutSeconds = 60;

// The optional columns that let a row say where it comes from. An empty name
// means the column is not written.
struct RowColumns {
  std::string file_name;    // the source file's path, on its lines and its marker rows
  std::string line_number;  // the line's number in its file, from 1; NULL on marker rows
  std::string batch_code;   // the run's batch code, on every row
  std::string file_id;      // the integer FileId of the file's companion row, on every row

  bool operator==(const RowColumns&) const = default;
};

// Everything a destination needs for one load.
struct LoadRequest {
  std::string source_path;              // the file to read (or the file a text row belongs to)
  std::optional<std::string> row_text;  // set: load exactly this one row instead of reading source_path
  std::string row_delimiter;            // from TranslateRowDelimiter ("\r\n" means any line break)
  std::size_t max_line_chars = kMaxLineChars;
  std::string code_page;                // SOURCE_FILE_CODE_PAGE as configured, or the file's folder's; empty: WINDOWS-1252
  std::string code_page_fallback;       // SOURCE_FILE_CODE_PAGE_FALLBACK as configured; empty: WINDOWS-1252
  std::string undecodable_bytes;        // SOURCE_FILE_UNDECODABLE_BYTES as configured; empty: REPLACE
  std::string server;                   // server name, or ODBC data source name
  std::string database;                 // database name (SQLite: the database file)
  std::string user_name;                // SQL login; never a trusted connection
  std::string password;                 // never shown in any message
  std::string application_name = kApplicationName;
  int timeout_seconds = kTimeoutSeconds;
  std::string destination_object_name;  // "[" database "].[dbo]." table
  std::string table_name;               // as configured
  std::string column_name;              // as configured
  RowColumns columns;                   // optional columns, as configured
  std::string file_name_value;          // value of the file-name column (the source file, also for marker rows)
  std::string batch_code_value;         // value of the batch-code column
  LoadMode load_mode = LoadMode::kAppend;  // kReplace, kChanged: a unit first takes the file's earlier rows out
  std::string odbc_driver_name;         // as configured (SQL Server engine)
  std::string step_name = kStepName;
  std::string task_name = kTaskName;

  bool operator==(const LoadRequest&) const = default;
};

// The outcome of one load or of a destination call. A failure unless built
// by Loaded(): a forgotten assignment can never read as success.
struct LoadResult {
  bool ok = false;
  int64_t rows = 0;          // rows inserted (0 when failed)
  std::string source;        // failed: what failed, e.g. "SQLite", "[unixODBC][Driver]..."
  std::string description;   // failed: the cause, naming file and line where there is one; a passed
                             // Verify: what a run would do that may not be meant, if anything
  std::string encoding;      // loaded from a file: what it was read as ("UTF-8", "WINDOWS-1252", "BYTES", ...)
  std::string detected_code_page;  // the detector's guess for a file read in the code page; "" when not examined
  int64_t replaced = 0;            // loaded under REPLACE: bad byte sequences stored as U+FFFD
  int64_t first_replaced_line = 0;      // the line of the first of them
  uint64_t first_replaced_offset = 0;   // its byte offset in the file
  bool markers_kept = false;       // a failed commit that kept the unit's marker rows (APPEND), not its lines

  // A success that inserted `rows` rows.
  static LoadResult Loaded(int64_t rows) {
    LoadResult result;
    result.ok = true;
    result.rows = rows;
    return result;
  }
  // A failure of `source` for `description`; nothing of it was kept.
  static LoadResult Failed(std::string source, std::string description) {
    LoadResult result;
    result.source = std::move(source);
    result.description = std::move(description);
    return result;
  }
};

}  // namespace corvanne
