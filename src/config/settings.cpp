// The three settings readers, with their processing and defaults, and the
// batch code. Each reader sets every field, so nothing survives a refill.
#include "config/settings.hpp"

#include <algorithm>

#include "common/platform.hpp"
#include "common/text.hpp"
#include "config/config_file.hpp"

namespace corvanne {

namespace {

// Trimmed value of `key`, or `fallback` when that is empty.
std::string Trimmed(std::string_view text, std::string_view key, std::string_view fallback = {}) {
  std::string value = TrimBlanks(GetTagValue(text, key));
  return value.empty() ? std::string(fallback) : value;
}

// Value of `key` as written, or `fallback` when it is empty.
std::string AsRead(std::string_view text, std::string_view key, std::string_view fallback = {}) {
  std::string value = GetTagValue(text, key);
  return value.empty() ? std::string(fallback) : value;
}

// `text` without its CR and LF characters, paired or alone.
std::string RemoveLineBreaks(std::string text) {
  std::erase_if(text, [](char ch) { return ch == '\r' || ch == '\n'; });
  return text;
}

// A file name that defaults to `default_name` in the application folder when
// empty or exactly "USE_DEFAULT" (case and blanks count).
std::string FileName(std::string_view text, std::string_view key, const std::string& application_folder,
                     const char* default_name) {
  std::string value = GetTagValue(text, key);
  if (value.empty() || value == "USE_DEFAULT") return application_folder + kPathSeparator + default_name;
  return value;
}

}  // namespace

void ReadDestinationSettings(DestinationSettings& record, std::string_view config_text) {
  record.ServerName = Trimmed(config_text, "SQL_SERVER_NAME");
  record.DatabaseName = Trimmed(config_text, "SQL_SERVER_DATABASE_NAME");
  // Line breaks of every platform go: a name written on its own line in a
  // file with Unix line ends must not carry them into the marker rows.
  record.UserName = RemoveLineBreaks(Trimmed(config_text, "UNATTENDED_RUN_USER_NAME"));
  record.Password = Trimmed(config_text, "UNATTENDED_RUN_PASSWORD");
  record.TableName = Trimmed(config_text, "DESTINATION_TABLE_NAME", "[SysCodeLines_Temp]");
  record.ColumnName = Trimmed(config_text, "DESTINATION_COLUMN_NAME", "MyCodeLine");
  record.DestinationEngine = Trimmed(config_text, "DESTINATION_ENGINE");
  record.OdbcDriverName = Trimmed(config_text, "ODBC_DRIVER_NAME");
  record.FileNameColumnName = Trimmed(config_text, "DESTINATION_FILE_NAME_COLUMN_NAME");
  record.LineNumberColumnName = Trimmed(config_text, "DESTINATION_LINE_NUMBER_COLUMN_NAME");
  record.BatchCodeColumnName = Trimmed(config_text, "DESTINATION_BATCH_CODE_COLUMN_NAME");
  record.FileIdColumnName = Trimmed(config_text, "DESTINATION_FILE_ID_COLUMN_NAME");
  record.LoadMode = Trimmed(config_text, "DESTINATION_LOAD_MODE");
  record.DeleteVanishedFiles = IsYes(GetTagValue(config_text, "DESTINATION_DELETE_VANISHED_FILES_YES_NO"));
}

void ReadSourceSettings(SourceSettings& record, std::string_view config_text) {
  record.FileNameWithPath = AsRead(config_text, "SOURCE_TEXT_FILE_NAME_WITH_PATH");
  record.FileExtensions = AsRead(config_text, "SOURCE_FILE_EXTENSIONS_COMMA_SEP_LIST", "FRM,BAS,CLS");
  record.FoldersSepChar = AsRead(config_text, "SOURCE_FOLDERS_LIST_SEP_CHAR");
  record.FoldersList = AsRead(config_text, "SOURCE_FOLDERS_LIST");
  record.ExclusionSepChar = AsRead(config_text, "SOURCE_FILES_EXCLUSION_LIST_SEP_CHAR");
  record.ExclusionList = AsRead(config_text, "SOURCE_FILES_EXCLUSION_LIST");
  record.RowDelimiter = AsRead(config_text, "SOURCE_FILE_ROW_DELIMITER", "VBCRLF");
  record.AvoidRecursion = IsYes(GetTagValue(config_text, "SOURCE_FOLDER_AVOID_RECURSION_YES_NO"));
  record.CodePage = AsRead(config_text, "SOURCE_FILE_CODE_PAGE");
  record.CodePagesByFolder = AsRead(config_text, "SOURCE_FILE_CODE_PAGES_BY_FOLDER");
  record.CodePageFallback = AsRead(config_text, "SOURCE_FILE_CODE_PAGE_FALLBACK");
  record.UndecodableBytes = AsRead(config_text, "SOURCE_FILE_UNDECODABLE_BYTES");
}

void ReadRunSettings(RunSettings& record, std::string_view config_text, const std::string& application_folder) {
  record.SkipCompletionHeaders = IsYes(GetTagValue(config_text, "SKIP_COMPLETION_HEADERS_YES_NO"));
  record.HeaderPrefix = AsRead(config_text, "COMPLETION_HEADER_PREFIX");
  record.HeaderSuffix = AsRead(config_text, "COMPLETION_HEADER_SUFFIX");
  record.HeaderTempFile = FileName(config_text, "HEADER_TEMP_TEXT_FILE_NAME", application_folder, "TempHeader.txt");
  record.LogFile = FileName(config_text, "LOG_TEXT_FILE_NAME", application_folder, "RunLog.txt");
  record.Unattended = IsYes(GetTagValue(config_text, "UNATTENDED_YES_NO"));
  record.BatchCode = MakeBatchCode();
}

std::string MakeBatchCode(int32_t process_number, const DateTimeSource& clock) {
  std::string code = std::to_string(process_number) + "__" + clock.ShortDate() + "_" + clock.LongTime();
  code = ReplaceAll(code, "/", "_");
  code = ReplaceAll(code, " ", "_");
  return ReplaceAll(code, ":", "_");
}

std::string MakeBatchCode() { return MakeBatchCode(ProcessNumber(), CurrentDateTime()); }

std::string NextBatchCode(const std::string& previous) {
  const std::string code = MakeBatchCode();
  if (previous == code) return code + "_2";
  const std::string prefix = code + "_";
  if (previous.starts_with(prefix)) {
    const std::string counter = previous.substr(prefix.size());
    const bool digits = !counter.empty() && counter.size() < 9 &&
                        std::all_of(counter.begin(), counter.end(), [](char ch) { return ch >= '0' && ch <= '9'; });
    if (digits) return prefix + std::to_string(std::stoi(counter) + 1);
  }
  return code;
}

bool IsYes(std::string_view value) { return TrimUpper(value) == "YES"; }

}  // namespace corvanne
