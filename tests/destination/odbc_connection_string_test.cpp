// Connection strings, driver choice and password scrubbing of the ODBC
// destinations, checked as plain text.
#include <gtest/gtest.h>

#include "destination/odbc/odbc_connection_string.hpp"

namespace corvanne {
namespace {

LoadRequest Request(std::string server, std::string database, std::string user, std::string password) {
  LoadRequest request;
  request.server = std::move(server);
  request.database = std::move(database);
  request.user_name = std::move(user);
  request.password = std::move(password);
  return request;
}

TEST(OdbcConnectionStringTest, AttributeValuesAreBracedOnlyWhenNeeded) {
  struct Case {
    const char* name;
    const char* value;
    const char* expected;
  } cases[] = {
      {"plain", "secret", "secret"},
      {"empty", "", ""},
      {"semicolon", "a;b", "{a;b}"},
      {"opening brace", "a{b", "{a{b}"},
      {"closing brace doubled", "a}b", "{a}}b}"},
      {"all three", "x;{y}}", "{x;{y}}}}}"},
      {"leading blank kept", " pw", "{ pw}"},
      {"equals and blanks inside", "a = b", "a = b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(OdbcAttributeValue(c.value), c.expected);
  }
}

TEST(OdbcConnectionStringTest, SqlServerStringsCarryLoginDatabaseAndApplicationName) {
  struct Case {
    const char* name;
    LoadRequest request;
    const char* driver;
    const char* expected;
  } cases[] = {
      {"Microsoft driver", Request("db01\\SQL2019,1433", "Code", "loader", "pw"), "ODBC Driver 18 for SQL Server",
       "Driver={ODBC Driver 18 for SQL Server};Server=db01\\SQL2019,1433;Database=Code;UID=loader;PWD=pw;"
       "APP=DTS  Import/Export Wizard;"},
      {"password needing braces", Request("srv", "Code", "sa", "p;w}d"), "FreeTDS",
       "Driver={FreeTDS};Server=srv;TDS_Version=7.4;Database=Code;UID=sa;PWD={p;w}}d};"
       "APP=DTS  Import/Export Wizard;"},
      {"FreeTDS takes the port apart", Request("10.0.0.5,14330", "Code", "sa", ""), "FreeTDS",
       "Driver={FreeTDS};Server=10.0.0.5;Port=14330;TDS_Version=7.4;Database=Code;UID=sa;PWD=;"
       "APP=DTS  Import/Export Wizard;"},
      {"database with a brace", Request("srv", "My}Db", "u", "p"), "ODBC Driver 17 for SQL Server",
       "Driver={ODBC Driver 17 for SQL Server};Server=srv;Database={My}}Db};UID=u;PWD=p;"
       "APP=DTS  Import/Export Wizard;"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string text = SqlServerConnectionString(c.request, c.driver);
    EXPECT_EQ(text, c.expected);
    EXPECT_EQ(text.find("Trusted_Connection"), std::string::npos);
  }
}

TEST(OdbcConnectionStringTest, DsnStringsPassTheLoginOnlyWhenGiven) {
  EXPECT_EQ(DsnConnectionString(Request("CodePg", "ignored", "loader", "a;b")), "DSN=CodePg;UID=loader;PWD={a;b};");
  EXPECT_EQ(DsnConnectionString(Request("CodePg", "", "", "")), "DSN=CodePg;");
}

TEST(OdbcConnectionStringTest, DriverIsTheConfiguredOneOrTheFirstPreferredInstalled) {
  const std::vector<std::string> all = {"SQLite3", "FreeTDS", "ODBC Driver 17 for SQL Server",
                                        "ODBC Driver 18 for SQL Server"};
  struct Case {
    const char* name;
    const char* configured;
    std::vector<std::string> installed;
    const char* expected;
  } cases[] = {
      {"18 before 17 before FreeTDS, whatever the listing order", "", all, "ODBC Driver 18 for SQL Server"},
      {"17 when 18 is missing", "", {"FreeTDS", "ODBC Driver 17 for SQL Server"}, "ODBC Driver 17 for SQL Server"},
      {"FreeTDS last", "", {"PostgreSQL Unicode", "FreeTDS"}, "FreeTDS"},
      {"none of them", "", {"PostgreSQL Unicode", "SQLite3"}, ""},
      {"names compare exactly", "", {"freetds", "ODBC Driver 18 for SQL Server "}, ""},
      {"configured wins, even when not listed", " My Driver ", all, "My Driver"},
      {"blank configuration means none", "   ", {"FreeTDS"}, "FreeTDS"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ChooseSqlServerDriver(c.configured, c.installed), c.expected);
  }
}

TEST(OdbcConnectionStringTest, ScrubbingRemovesThePasswordInEveryForm) {
  struct Case {
    const char* name;
    const char* text;
    const char* password;
    const char* expected;
  } cases[] = {
      {"plain mention", "login failed for pw s3cret!", "s3cret!", "login failed for pw ****"},
      {"echoed connection string", "DSN=x;UID=u;PWD={a;b}}c};", "a;b}c", "DSN=x;UID=u;PWD=****;"},
      {"any PWD value, even another password", "Driver={X};pwd=other;APP=y", "mine", "Driver={X};pwd=****;APP=y"},
      {"PWD at the end", "UID=u;PWD=tail", "", "UID=u;PWD=****"},
      {"every occurrence", "ab ab ab", "ab", "**** **** ****"},
      {"nothing to hide", "Data source name not found", "", "Data source name not found"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string scrubbed = ScrubSecret(c.text, c.password);
    EXPECT_EQ(scrubbed, c.expected);
    if (*c.password != '\0') {
      EXPECT_EQ(scrubbed.find(c.password), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace corvanne
