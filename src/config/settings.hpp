// The three settings records that carry every run parameter, their readers
// from the configuration text, and the batch code of a run.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/platform.hpp"

namespace corvanne {

// The destination and its login. Every field trimmed of blanks.
struct DestinationSettings {
  std::string ServerName;        // SQL_SERVER_NAME; server, or ODBC data source name
  std::string DatabaseName;      // SQL_SERVER_DATABASE_NAME; SQLite: the database file
  std::string UserName;          // UNATTENDED_RUN_USER_NAME; CR and LF removed after trimming
  std::string Password;          // UNATTENDED_RUN_PASSWORD
  std::string TableName;         // DESTINATION_TABLE_NAME; default "[SysCodeLines_Temp]"
  std::string ColumnName;        // DESTINATION_COLUMN_NAME; default "MyCodeLine"
  std::string DestinationEngine; // DESTINATION_ENGINE; SQLSERVER, SQLITE, POSTGRESQL or ODBC (empty: SQLSERVER)
  std::string OdbcDriverName;    // ODBC_DRIVER_NAME; empty: the first SQL Server driver installed
  std::string FileNameColumnName;    // DESTINATION_FILE_NAME_COLUMN_NAME; empty: not written
  std::string LineNumberColumnName;  // DESTINATION_LINE_NUMBER_COLUMN_NAME; empty: not written
  std::string BatchCodeColumnName;   // DESTINATION_BATCH_CODE_COLUMN_NAME; empty: not written
  std::string FileIdColumnName;      // DESTINATION_FILE_ID_COLUMN_NAME; empty: not written
  std::string LoadMode;              // DESTINATION_LOAD_MODE; APPEND (empty), REPLACE or CHANGED
  bool DeleteVanishedFiles = false;  // DESTINATION_DELETE_VANISHED_FILES_YES_NO

  bool operator==(const DestinationSettings&) const = default;
};

// What to load and how to cut it into rows. No field is trimmed.
struct SourceSettings {
  std::string FileNameWithPath;  // SOURCE_TEXT_FILE_NAME_WITH_PATH; the file of the next load
  std::string FileExtensions;    // SOURCE_FILE_EXTENSIONS_COMMA_SEP_LIST; default "FRM,BAS,CLS"
  std::string FoldersSepChar;    // SOURCE_FOLDERS_LIST_SEP_CHAR
  std::string FoldersList;       // SOURCE_FOLDERS_LIST
  std::string ExclusionSepChar;  // SOURCE_FILES_EXCLUSION_LIST_SEP_CHAR
  std::string ExclusionList;     // SOURCE_FILES_EXCLUSION_LIST
  std::string RowDelimiter;      // SOURCE_FILE_ROW_DELIMITER; default "VBCRLF"
  bool AvoidRecursion = false;   // SOURCE_FOLDER_AVOID_RECURSION_YES_NO
  std::string CodePage;          // SOURCE_FILE_CODE_PAGE; empty: WINDOWS-1252 (meanings: ParseCodePage)
  std::string CodePagesByFolder;  // SOURCE_FILE_CODE_PAGES_BY_FOLDER: "folder=code page" items, FoldersSepChar between
  std::string CodePageFallback;   // SOURCE_FILE_CODE_PAGE_FALLBACK: AUTO's choice when unsure; empty: WINDOWS-1252
  std::string UndecodableBytes;   // SOURCE_FILE_UNDECODABLE_BYTES: REPLACE (empty) or FAIL

  bool operator==(const SourceSettings&) const = default;
};

// How the run behaves.
struct RunSettings {
  bool SkipCompletionHeaders = false;  // SKIP_COMPLETION_HEADERS_YES_NO
  std::string HeaderPrefix;            // COMPLETION_HEADER_PREFIX, as read
  std::string HeaderSuffix;            // COMPLETION_HEADER_SUFFIX, as read
  std::string HeaderTempFile;          // HEADER_TEMP_TEXT_FILE_NAME; default <app folder>/TempHeader.txt
  std::string LogFile;                 // LOG_TEXT_FILE_NAME; default <app folder>/RunLog.txt; never written
  bool Unattended = false;             // UNATTENDED_YES_NO
  std::string BatchCode;               // made by MakeBatchCode at each fill

  bool operator==(const RunSettings&) const = default;
};

// Set every field of the record from `config_text` (keys, processing and
// defaults as listed beside the fields). `application_folder` resolves the
// default file names.
void ReadDestinationSettings(DestinationSettings& record, std::string_view config_text);
void ReadSourceSettings(SourceSettings& record, std::string_view config_text);
void ReadRunSettings(RunSettings& record, std::string_view config_text, const std::string& application_folder);

// A new batch code: process number, "__", short date, "_", long time, with
// every "/", then blank, then ":" replaced by "_".
std::string MakeBatchCode();
// The same from a given process number and clock (MakeBatchCode() passes
// ProcessNumber() and CurrentDateTime()).
std::string MakeBatchCode(int32_t process_number, const DateTimeSource& clock);

// The batch code of a run that follows, in the same process, the run coded
// `previous`: MakeBatchCode(), or, when that is `previous` itself or
// `previous` with a "_N" counter (the same second), the code with the
// counter one up ("_2", "_3", ...). Two runs never share a code.
std::string NextBatchCode(const std::string& previous);

// True exactly when TrimUpper(value) is "YES".
bool IsYes(std::string_view value);

}  // namespace corvanne
