// Paths as users write them: folders and files named in any script, paths
// longer than Windows' classic limit, and on Windows drive letters, '/' and
// '\' alike, and the long-path form of local and UNC paths.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/platform.hpp"
#include "common/text.hpp"
#include "run/binary_runner.hpp"
#include "testing/temp_dir.hpp"

namespace corvanne {
namespace {

using testing::Brief;
using testing::ConfigText;
using testing::ReadColumn;
using testing::RunBinary;
using Rows = std::vector<std::string>;

class PathsEndToEndTest : public ::testing::Test {
 protected:
  // Loads `folders` (as configured) into out.db; the rows as Brief gives them.
  Rows Load(const std::string& folders) {
    dir_.Write("MyConfig.xml", ConfigText({{"DESTINATION_ENGINE", "SQLITE"},
                                           {"SQL_SERVER_DATABASE_NAME", "out.db"},
                                           {"SOURCE_FOLDERS_LIST", folders},
                                           {"SOURCE_FOLDERS_LIST_SEP_CHAR", ";"},
                                           {"DESTINATION_FILE_NAME_COLUMN_NAME", "FileName"},
                                           {"UNATTENDED_YES_NO", "YES"}}));
    const testing::Outcome outcome = RunBinary(dir_, {"--config", "MyConfig.xml"});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    Rows rows;
    for (const std::string& row : ReadColumn(dir_.Path("out.db"))) rows.push_back(Brief(row));
    return rows;
  }

  testing::TempDir dir_;
};

// Chinese and Thai folders and files: found, read, and named in the rows as
// the file system names them (the marker rows upper-case what has a case).
TEST_F(PathsEndToEndTest, NamesInAnyScriptAreFoundAndStored) {
  dir_.Write("src/中文/檢查.bas", "' 中\r\n");
  dir_.Write("src/ไทย/ลูกค้า.cls", "' ก\r\n");
  const std::string chinese = dir_.Path("src/中文/檢查.bas");
  const std::string thai = dir_.Path("src/ไทย/ลูกค้า.cls");
  EXPECT_EQ(Load("src"), (Rows{"BEGINS 1 " + TrimUpper(thai), "' ก", "DONE 1 " + TrimUpper(thai),
                              "BEGINS 2 " + TrimUpper(chinese), "' 中", "DONE 2 " + TrimUpper(chinese)}));
  EXPECT_EQ(ReadColumn(dir_.Path("out.db"), "SELECT DISTINCT FileName FROM SysCodeLines_Temp ORDER BY LineId"),
            (Rows{thai, chinese}));
}

// A path past 260 characters: Windows takes it only in its long form.
TEST_F(PathsEndToEndTest, PathLongerThanTheClassicLimitLoads) {
  std::string deep = "src";
  while (dir_.Path(deep).size() < 300) deep += "/folder_with_a_rather_long_name";
  const std::string file = dir_.Write(deep + "/Module1.bas", "Sub A()\r\nEnd Sub\r\n");
  ASSERT_GT(file.size(), 300u);
  EXPECT_EQ(Load("src"), (Rows{"BEGINS 1 " + TrimUpper(file), "Sub A()", "End Sub", "DONE 1 " + TrimUpper(file)}));
}

#ifdef _WIN32
// The configuration may write a drive's path with '/' or '\'; the rows
// always name the file as Windows writes it.
TEST_F(PathsEndToEndTest, DrivePathsWithEitherSeparatorNameTheFileOnce) {
  const std::string file = dir_.Write("src/a/A.bas", "x\r\n");
  std::string forward = dir_.Path("src");
  std::replace(forward.begin(), forward.end(), '\\', '/');
  ASSERT_EQ(forward.substr(1, 2), ":/");
  EXPECT_EQ(Load(forward), (Rows{"BEGINS 1 " + TrimUpper(file), "x", "DONE 1 " + TrimUpper(file)}));
  EXPECT_EQ(Load(dir_.Path("src") + "\\"),
            (Rows{"BEGINS 1 " + TrimUpper(file), "x", "DONE 1 " + TrimUpper(file), "BEGINS 1 " + TrimUpper(file),
                  "x", "DONE 1 " + TrimUpper(file)}));
}

TEST(WidePathTest, LongPathsTakeTheLongFormLocalAndUnc) {
  const std::string long_name(260, 'x');
  const std::vector<std::pair<std::string, std::wstring>> cases = {
      {"C:\\src\\a.bas", L"C:\\src\\a.bas"},
      {"C:/src/" + long_name, L"\\\\?\\C:\\src\\" + std::wstring(260, L'x')},
      {"C:\\src\\.\\x\\..\\" + long_name, L"\\\\?\\C:\\src\\" + std::wstring(260, L'x')},
      {"\\\\server\\share\\" + long_name, L"\\\\?\\UNC\\server\\share\\" + std::wstring(260, L'x')},
      {"\\\\?\\C:\\" + long_name, L"\\\\?\\C:\\" + std::wstring(260, L'x')},
      {"relative\\" + long_name, WideFromText("relative\\" + long_name)},
  };
  for (const auto& [path, expected] : cases) {
    SCOPED_TRACE(path.substr(0, 20));
    EXPECT_EQ(WidePath(path), expected);
  }
}
#endif

}  // namespace
}  // namespace corvanne
