// The settings records: defaults, flags, trimming, the user-name rule, the
// default file names, the fill order and the batch code.
#include "config/settings.hpp"

#include <gtest/gtest.h>

#include "config/app_state.hpp"
#include "config/config_file.hpp"

namespace corvanne {
namespace {

std::string Tag(const std::string& key, const std::string& value) { return "<" + key + ">" + value + "</" + key + ">"; }

class FixedClock : public DateTimeSource {
 public:
  FixedClock(std::string date, std::string time) : date_(std::move(date)), time_(std::move(time)) {}
  std::string ShortDate() const override { return date_; }
  std::string LongTime() const override { return time_; }

 private:
  std::string date_;
  std::string time_;
};

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override { SetDateTimeSource(&clock_); }
  void TearDown() override { SetDateTimeSource(nullptr); }

  FixedClock clock_{"7/14/2013", "1:02:01 PM"};
};

TEST_F(SettingsTest, EmptyConfigurationGivesEveryDefault) {
  AppState state;
  state.ConfigFilePath = "/opt/corvanne/MyConfig.xml";
  state.Destination.ServerName = "stale";
  state.ConfiguredSource.FoldersList = "stale";
  state.Run.HeaderPrefix = "stale";
  state.Run.Unattended = true;
  ParseSettings(state);

  DestinationSettings destination;
  destination.TableName = "[SysCodeLines_Temp]";
  destination.ColumnName = "MyCodeLine";
  EXPECT_EQ(state.Destination, destination);

  SourceSettings source;
  source.FileExtensions = "FRM,BAS,CLS";
  source.RowDelimiter = "VBCRLF";
  EXPECT_EQ(state.ConfiguredSource, source);
  EXPECT_EQ(state.PackageSource, source);

  EXPECT_FALSE(state.Run.SkipCompletionHeaders);
  EXPECT_EQ(state.Run.HeaderPrefix, "");
  EXPECT_EQ(state.Run.HeaderSuffix, "");
  EXPECT_EQ(state.Run.HeaderTempFile, "/opt/corvanne" + std::string(1, kPathSeparator) + "TempHeader.txt");
  EXPECT_EQ(state.Run.LogFile, "/opt/corvanne" + std::string(1, kPathSeparator) + "RunLog.txt");
  EXPECT_FALSE(state.Run.Unattended);
  EXPECT_EQ(state.Run.BatchCode, std::to_string(ProcessNumber()) + "__7_14_2013_1_02_01_PM");
}

TEST_F(SettingsTest, Utf16ConfigurationFindsNoKeyAndGivesDefaults) {
  std::string utf16 = "\xFF\xFE";
  for (char c : Tag("UNATTENDED_YES_NO", "YES") + Tag("DESTINATION_TABLE_NAME", "T")) {
    utf16 += c;
    utf16 += '\0';
  }
  AppState state;
  state.ConfigFilePath = "/app/MyConfig.xml";
  state.ConfigText = utf16;
  ParseSettings(state);
  EXPECT_FALSE(state.Run.Unattended);
  EXPECT_EQ(state.Destination.TableName, "[SysCodeLines_Temp]");
}

TEST_F(SettingsTest, EveryKeyIsReadWithItsProcessing) {
  const std::string text = "<Config>" + Tag("SQL_SERVER_NAME", " srv\\inst ") + Tag("SQL_SERVER_DATABASE_NAME", " Code ") +
                           Tag("UNATTENDED_RUN_USER_NAME", " loader ") + Tag("UNATTENDED_RUN_PASSWORD", " p w ") +
                           Tag("DESTINATION_TABLE_NAME", " Lines ") + Tag("DESTINATION_COLUMN_NAME", " [Line] ") +
                           Tag("DESTINATION_ENGINE", " sqlite ") + Tag("ODBC_DRIVER_NAME", " FreeTDS ") +
                           Tag("DESTINATION_LOAD_MODE", " changed ") + Tag("DESTINATION_FILE_ID_COLUMN_NAME", " Fid ") +
                           Tag("DESTINATION_DELETE_VANISHED_FILES_YES_NO", " Yes") +
                           Tag("SOURCE_TEXT_FILE_NAME_WITH_PATH", " /a/b.bas ") +
                           Tag("SOURCE_FILE_EXTENSIONS_COMMA_SEP_LIST", "frm, bas") +
                           Tag("SOURCE_FOLDERS_LIST_SEP_CHAR", ";") + Tag("SOURCE_FOLDERS_LIST", "/x;/y;") +
                           Tag("SOURCE_FILES_EXCLUSION_LIST_SEP_CHAR", "|") +
                           Tag("SOURCE_FILES_EXCLUSION_LIST", "/x/a.bas") + Tag("SOURCE_FILE_ROW_DELIMITER", " ~ ") +
                           Tag("SOURCE_FOLDER_AVOID_RECURSION_YES_NO", " yes ") +
                           Tag("SOURCE_FILE_CODE_PAGE", " big5 ") +
                           Tag("SOURCE_FILE_CODE_PAGES_BY_FOLDER", "/x=874;") +
                           Tag("SOURCE_FILE_CODE_PAGE_FALLBACK", " 1250") + Tag("SOURCE_FILE_UNDECODABLE_BYTES", "fail") +
                           Tag("SKIP_COMPLETION_HEADERS_YES_NO", "YES") + Tag("COMPLETION_HEADER_PREFIX", " -- ") +
                           Tag("COMPLETION_HEADER_SUFFIX", " ;") + Tag("HEADER_TEMP_TEXT_FILE_NAME", "/tmp/h.txt") +
                           Tag("LOG_TEXT_FILE_NAME", "/tmp/l.txt") + Tag("UNATTENDED_YES_NO", "Yes") + "</Config>";
  AppState state;
  state.ConfigFilePath = "/opt/MyConfig.xml";
  state.ConfigText = text;
  ParseSettings(state);

  EXPECT_EQ(state.Destination, (DestinationSettings{"srv\\inst", "Code", "loader", "p w", "Lines", "[Line]", "sqlite",
                                                    "FreeTDS", "", "", "", "Fid", "changed", true}));
  const SourceSettings source{" /a/b.bas ", "frm, bas", ";",        "/x;/y;", "|",   "/x/a.bas",
                              " ~ ",       true,       " big5 ", "/x=874;", " 1250", "fail"};
  EXPECT_EQ(state.ConfiguredSource, source);
  EXPECT_EQ(state.PackageSource, source);
  EXPECT_TRUE(state.Run.SkipCompletionHeaders);
  EXPECT_EQ(state.Run.HeaderPrefix, " -- ");
  EXPECT_EQ(state.Run.HeaderSuffix, " ;");
  EXPECT_EQ(state.Run.HeaderTempFile, "/tmp/h.txt");
  EXPECT_EQ(state.Run.LogFile, "/tmp/l.txt");
  EXPECT_TRUE(state.Run.Unattended);
}

TEST(IsYesTest, OnlyYesInAnyCaseWithBlanks) {
  const std::vector<std::pair<std::string, bool>> cases = {
      {"YES", true},  {"yes", true},   {" yEs  ", true}, {"Y", false},     {"TRUE", false},
      {"1", false},   {"", false},     {"YES!", false},  {"\tYES", false}, {"YES\r\n", false},
      {"Y E S", false}, {"NO", false},
  };
  for (const auto& [value, expected] : cases) {
    SCOPED_TRACE("'" + value + "'");
    EXPECT_EQ(IsYes(value), expected);
    SourceSettings source;
    ReadSourceSettings(source, Tag("SOURCE_FOLDER_AVOID_RECURSION_YES_NO", value));
    EXPECT_EQ(source.AvoidRecursion, expected);
  }
}

TEST(DestinationSettingsTest, TrimmingAndDefaults) {
  struct Case {
    const char* name;
    std::string key;
    std::string value;
    std::string DestinationSettings::*field;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"blank table name takes default", "DESTINATION_TABLE_NAME", "   ", &DestinationSettings::TableName,
       "[SysCodeLines_Temp]"},
      {"table name without brackets", "DESTINATION_TABLE_NAME", " Lines ", &DestinationSettings::TableName, "Lines"},
      {"blank column takes default", "DESTINATION_COLUMN_NAME", " ", &DestinationSettings::ColumnName, "MyCodeLine"},
      {"value on its own line keeps breaks", "SQL_SERVER_NAME", "\r\n  srv\r\n", &DestinationSettings::ServerName,
       "\r\n  srv\r\n"},
      {"tab is not a blank", "UNATTENDED_RUN_PASSWORD", "\tpw ", &DestinationSettings::Password, "\tpw"},
      {"user name: CR LF pairs go, blanks after them stay", "UNATTENDED_RUN_USER_NAME", "\r\n  name\r\n",
       &DestinationSettings::UserName, "  name"},
      {"user name: CR LF inside", "UNATTENDED_RUN_USER_NAME", " a\r\nb ", &DestinationSettings::UserName, "ab"},
      {"user name: lone CR and LF go too", "UNATTENDED_RUN_USER_NAME", "a\rb\nc", &DestinationSettings::UserName,
       "abc"},
      {"user name on its own line, Unix line ends", "UNATTENDED_RUN_USER_NAME", "\n  DAVE O'HARA\n",
       &DestinationSettings::UserName, "  DAVE O'HARA"},
      {"user name: only line breaks", "UNATTENDED_RUN_USER_NAME", "\r\n\r\n", &DestinationSettings::UserName, ""},
      {"engine trimmed, case kept", "DESTINATION_ENGINE", " Odbc ", &DestinationSettings::DestinationEngine, "Odbc"},
      {"driver trimmed", "ODBC_DRIVER_NAME", " ODBC Driver 18 for SQL Server ", &DestinationSettings::OdbcDriverName,
       "ODBC Driver 18 for SQL Server"},
      {"lower-case key not found", "sql_server_name", "srv", &DestinationSettings::ServerName, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DestinationSettings record;
    ReadDestinationSettings(record, Tag(c.key, c.value));
    EXPECT_EQ(record.*c.field, c.expected);
  }
}

TEST(SourceSettingsTest, NothingTrimmedDefaultsOnlyWhenEmpty) {
  SourceSettings record;
  ReadSourceSettings(record, Tag("SOURCE_FILE_EXTENSIONS_COMMA_SEP_LIST", "   ") +
                                 Tag("SOURCE_FILE_ROW_DELIMITER", "") + Tag("SOURCE_FOLDERS_LIST", "\r\n/x\r\n"));
  EXPECT_EQ(record.FileExtensions, "   ");
  EXPECT_EQ(record.RowDelimiter, "VBCRLF");
  EXPECT_EQ(record.FoldersList, "\r\n/x\r\n");
}

TEST(RunSettingsTest, DefaultFileNamesOnlyForEmptyOrExactUseDefault) {
  // The default names follow the folder with the platform's separator.
  const std::string in_app = "/app" + std::string(1, kPathSeparator);
  const std::vector<std::tuple<const char*, std::string, std::string>> cases = {
      {"missing", "", in_app + "TempHeader.txt"},
      {"exact USE_DEFAULT", Tag("HEADER_TEMP_TEXT_FILE_NAME", "USE_DEFAULT"), in_app + "TempHeader.txt"},
      {"empty value", Tag("HEADER_TEMP_TEXT_FILE_NAME", ""), in_app + "TempHeader.txt"},
      {"lower case", Tag("HEADER_TEMP_TEXT_FILE_NAME", "use_default"), "use_default"},
      {"blank before", Tag("HEADER_TEMP_TEXT_FILE_NAME", " USE_DEFAULT"), " USE_DEFAULT"},
      {"only blanks", Tag("HEADER_TEMP_TEXT_FILE_NAME", "  "), "  "},
      {"a path", Tag("HEADER_TEMP_TEXT_FILE_NAME", "/var/h.txt"), "/var/h.txt"},
  };
  for (const auto& [name, text, expected] : cases) {
    SCOPED_TRACE(name);
    RunSettings record;
    ReadRunSettings(record, text + Tag("LOG_TEXT_FILE_NAME", "USE_DEFAULT"), "/app");
    EXPECT_EQ(record.HeaderTempFile, expected);
    EXPECT_EQ(record.LogFile, in_app + "RunLog.txt");
  }
}

TEST(ApplicationFolderTest, IsTheFolderOfTheConfigFile) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"/opt/corvanne/MyConfig.xml", "/opt/corvanne"},
      {"/MyConfig.xml", ""},
      {"conf/My.xml", "conf"},
      {"MyConfig.xml", "."},
  };
  for (const auto& [path, expected] : cases) {
    SCOPED_TRACE(path);
    AppState state;
    state.ConfigFilePath = path;
    EXPECT_EQ(ApplicationFolder(state), expected);
  }
}

TEST(AppStateTest, ProcessStateStartsWithTheDefaultConfigPath) {
  EXPECT_EQ(DefaultConfigFilePath(), ExecutableFolder() + kPathSeparator + "MyConfig.xml");
  EXPECT_EQ(ProcessState().ConfigFilePath, DefaultConfigFilePath());
  EXPECT_EQ(GetConfigFilePath(ProcessState()), DefaultConfigFilePath());
}

TEST(MakeBatchCodeTest, ReplacesSlashBlankAndColon) {
  struct Case {
    const char* name;
    int32_t number;
    std::string date;
    std::string time;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"United States", 1234, "7/14/2013", "1:02:01 PM", "1234__7_14_2013_1_02_01_PM"},
      {"dots stay", 1234, "14.07.2013", "13:02:01", "1234__14.07.2013_13_02_01"},
      {"negative number", -5, "1/2/2000", "9:00:00 AM", "-5__1_2_2000_9_00_00_AM"},
      {"blanks inside the date", 7, "14 Jul 2013", "13:02", "7__14_Jul_2013_13_02"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(MakeBatchCode(c.number, FixedClock(c.date, c.time)), c.expected);
  }
}

TEST_F(SettingsTest, EachFillMakesABatchCodeFromTheCurrentClock) {
  RunSettings record;
  ReadRunSettings(record, "", "/app");
  const std::string first = record.BatchCode;
  ReadRunSettings(record, "", "/app");
  EXPECT_EQ(record.BatchCode, first);  // same second, same process
  FixedClock later("7/14/2013", "1:02:02 PM");
  SetDateTimeSource(&later);
  ReadRunSettings(record, "", "/app");
  EXPECT_EQ(record.BatchCode, std::to_string(ProcessNumber()) + "__7_14_2013_1_02_02_PM");
  EXPECT_EQ(MakeBatchCode(), record.BatchCode);
}

}  // namespace
}  // namespace corvanne
