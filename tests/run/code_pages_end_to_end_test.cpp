// A tree of Western, Big5 and Thai files loads in one run, by per-folder code
// pages and by AUTO: the rows read back are the codec's text (samples
// written by iconv), file names included, and the closing line counts the
// files per code page.
#include <gtest/gtest.h>

#include <regex>

#include "run/binary_runner.hpp"
#include "testing/encode.hpp"

namespace corvanne {
namespace {

using testing::Brief;
using testing::ConfigText;
using testing::Encode;
using Rows = std::vector<std::string>;

class CodePagesEndToEndTest : public ::testing::Test {
 protected:
  // Writes `lines` in `encoding` to `relative` (its name given as bytes);
  // appends the BEGINS row, the lines and the DONE row a load of it stores.
  void Write(const std::string& relative, const std::string& shown_name, const Rows& lines, const char* encoding,
             Rows& expected) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    dir_.Write(relative, Encode(text, encoding));
    const std::string serial = std::to_string(++files_);
    // Marker rows hold the name upper-cased.
    std::string name = dir_.Path(shown_name);
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    expected.push_back("BEGINS " + serial + " " + name);
    expected.insert(expected.end(), lines.begin(), lines.end());
    expected.push_back("DONE " + serial + " " + name);
  }

  testing::TempDir dir_;
  int files_ = 0;  // files written for the current run
};

TEST_F(CodePagesEndToEndTest, ThreeScriptsLoadInOneRun) {
  const Rows western = {"' Año fiscal: “cambio” — 25 €", "MsgBox \"Atención, señal\""};
  Rows chinese;
  Rows thai;
  for (int i = 0; i < 6; ++i) {
    chinese.push_back("' 檢查客戶資料，這是一個測試程式的功能說明 " + std::to_string(i));
    thai.push_back("' ตรวจสอบข้อมูลลูกค้า บันทึกข้อมูลเรียบร้อยแล้ว " + std::to_string(i));
  }
  struct Case {
    const char* name;
    std::map<std::string, std::string> settings;
    std::string big5_name;  // as bytes; "中文.bas" in Big5, or in UTF-8 under AUTO (whose names go by the fallback)
  };
  const std::vector<Case> cases = {
      {"per-folder items",
       {{"SOURCE_FILE_CODE_PAGE", "1252"}, {"SOURCE_FILE_CODE_PAGES_BY_FOLDER", "src/big5=950;./src/thai/=874"}},
#ifdef _WIN32
       "中文.bas"},  // Windows names are Unicode: no name is in a code page there
#else
       "\xA4\xA4\xA4\xE5.bas"},
#endif
      {"AUTO", {{"SOURCE_FILE_CODE_PAGE", "AUTO"}}, "中文.bas"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(dir_.Path("src"));
    std::filesystem::remove(dir_.Path("out.db"));
    Rows expected;
    files_ = 0;
    Write("src/big5/" + c.big5_name, "src/big5/中文.bas", chinese, "BIG5", expected);
    Write("src/thai/t.bas", "src/thai/t.bas", thai, "WINDOWS-874", expected);
    Write("src/west/w.bas", "src/west/w.bas", western, "WINDOWS-1252", expected);
    std::map<std::string, std::string> settings = {
        {"DESTINATION_ENGINE", "SQLITE"},      {"SQL_SERVER_DATABASE_NAME", "out.db"},
        {"SOURCE_FOLDERS_LIST", "src"},         {"SOURCE_FOLDERS_LIST_SEP_CHAR", ";"},
        {"UNATTENDED_YES_NO", "YES"},
    };
    settings.insert(c.settings.begin(), c.settings.end());
    dir_.Write("MyConfig.xml", ConfigText(settings));

    // --list names each file's choice where AUTO chooses, and only there.
    const testing::Outcome list = testing::RunBinary(dir_, {"--config", "MyConfig.xml", "--list"});
    const std::string choice = c.settings.count("SOURCE_FILE_CODE_PAGES_BY_FOLDER") == 0 ? "\tCP950" : "";
    EXPECT_EQ(list.out.substr(0, list.out.find('\n')), dir_.Path("src/big5/" + c.big5_name) + choice);

    const testing::Outcome outcome = testing::RunBinary(dir_, {"--config", "MyConfig.xml"});

    EXPECT_EQ(outcome.status, 0) << outcome.err;
    Rows rows;
    for (const std::string& row : testing::ReadColumn(dir_.Path("out.db"))) rows.push_back(Brief(row));
    EXPECT_EQ(rows, expected);
    EXPECT_TRUE(std::regex_search(outcome.err, std::regex("corvanne: 3 files loaded \\(1 CP950"
                                                          ", 1 WINDOWS-1252, 1 WINDOWS-874\\), 0 passed over, 0 "
                                                          "failed, 14 lines in")))
        << outcome.err;
  }
}

// A Big5 file with a stray Latin-1 byte loads, the byte stored as U+FFFD,
// with a warning and the count in the closing line; exit 0. Under FAIL it
// fails, naming line and offset, as before.
TEST_F(CodePagesEndToEndTest, StrayByteIsReplacedLoudlyOrFails) {
  const std::string path = dir_.Write("src/big5/a.bas", Encode("' 檢查\r\nx = \"", "BIG5") + "\xE9\"\r\n");
  for (const std::string rule : {"", "FAIL"}) {
    SCOPED_TRACE(rule);
    std::filesystem::remove(dir_.Path("out.db"));
    dir_.Write("MyConfig.xml", ConfigText({{"DESTINATION_ENGINE", "SQLITE"},
                                           {"SQL_SERVER_DATABASE_NAME", "out.db"},
                                           {"SOURCE_FOLDERS_LIST", "src"},
                                           {"SOURCE_FOLDERS_LIST_SEP_CHAR", ";"},
                                           {"SOURCE_FILE_CODE_PAGE", "950"},
                                           {"SOURCE_FILE_UNDECODABLE_BYTES", rule},
                                           {"SKIP_COMPLETION_HEADERS_YES_NO", "YES"},
                                           {"UNATTENDED_YES_NO", "YES"}}));

    const testing::Outcome outcome = testing::RunBinary(dir_, {"--config", "MyConfig.xml"});

    if (rule.empty()) {
      EXPECT_EQ(outcome.status, 0) << outcome.err;
      EXPECT_EQ(testing::ReadColumn(dir_.Path("out.db")), (Rows{"' 檢查", "x = \"\uFFFD\""}));
      EXPECT_NE(outcome.err.find("corvanne: warning: \"" + path +
                                 "\" line 2: 1 byte sequence not valid in CP950 was stored as U+FFFD, the first at "
                                 "byte offset 13\n"),
                std::string::npos)
          << outcome.err;
      EXPECT_NE(outcome.err.find("1 file loaded (1 CP950), 1 with bytes stored as U+FFFD, 0 passed over"),
                std::string::npos)
          << outcome.err;
    } else {
      EXPECT_EQ(outcome.status, 1) << outcome.err;
      EXPECT_EQ(testing::ReadColumn(dir_.Path("out.db")), Rows{});
      EXPECT_NE(outcome.err.find("\"" + path + "\" line 2: not valid CP950 at byte offset 13 (bytes E9 22 0D 0A)"),
                std::string::npos)
          << outcome.err;
    }
  }
}

}  // namespace
}  // namespace corvanne
