// The load modes by name and the companion table's name beside the table's.
#include <gtest/gtest.h>

#include "destination/file_state.hpp"

namespace corvanne {
namespace {

TEST(FileStateTest, LoadModesByName) {
  struct Case {
    const char* value;
    bool known;
    LoadMode mode;
  } cases[] = {
      {"", true, LoadMode::kAppend},          {"USE_DEFAULT", true, LoadMode::kAppend},
      {" append ", true, LoadMode::kAppend},  {"Replace", true, LoadMode::kReplace},
      {"CHANGED", true, LoadMode::kChanged},  {"CHANGE", false, LoadMode::kAppend},
      {"\tCHANGED", false, LoadMode::kAppend},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    LoadMode mode = LoadMode::kAppend;
    EXPECT_EQ(ParseLoadMode(c.value, mode), c.known);
    if (c.known) {
      EXPECT_EQ(mode, c.mode);
    }
  }
}

TEST(FileStateTest, CompanionTableKeepsSchemaAndQuoting) {
  struct Case {
    const char* table;
    const char* companion;
  } cases[] = {
      {"[SysCodeLines_Temp]", "[SysCodeLines_Temp_Files]"},
      {"Lines", "Lines_Files"},
      {"main.Lines", "main.Lines_Files"},
      {"[My Db].[dbo].[a]]b]", "[My Db].[dbo].[a]]b_Files]"},
      {"\"Odd\"\"Name\"", "\"Odd\"\"Name_Files\""},
      {"[Code].[dbo].Lines", "[Code].[dbo].Lines_Files"},
      {"Lines; DROP TABLE x", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.table);
    EXPECT_EQ(CompanionTableName(c.table), c.companion);
  }
}

}  // namespace
}  // namespace corvanne
