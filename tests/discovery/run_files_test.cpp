// The file list of a run: mode choice, paths relative to the application
// folder, one read per folder giving the same list, and the bundled example.
#include <gtest/gtest.h>

#include "config/settings.hpp"
#include "discovery/discovery.hpp"
#include "discovery_testing.hpp"

namespace corvanne {
namespace {

using testing::MakeTree;
using testing::RecordingDisplay;
using testing::Report;

class RunFilesTest : public ::testing::Test {
 protected:
  std::string P(std::string_view relative) const { return dir_.Path(relative); }

  static SourceSettings Folders(const std::string& list, const std::string& exclusions = "") {
    SourceSettings source;
    source.FileExtensions = "FRM,BAS,CLS";
    source.FoldersSepChar = ";";
    source.FoldersList = list;
    source.ExclusionSepChar = "|";
    source.ExclusionList = exclusions;
    return source;
  }

  testing::TempDir dir_;
  std::string batch_code_ = "B";
  RecordingDisplay display_;
  DisplayProgress progress_{display_, batch_code_};
};

TEST_F(RunFilesTest, ModeChoice) {
  struct Case {
    const char* name;
    std::string file;
    std::string folders;
    bool single;
  };
  const std::vector<Case> cases = {
      {"file only", "a.bas", "", true},
      {"both set: folders win", "a.bas", "src", false},
      {"blank folder list is not empty", "a.bas", " ", false},
      {"neither", "", "", false},
      {"blank file name is a file name", " ", "", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SourceSettings source;
    source.FileNameWithPath = c.file;
    source.FoldersList = c.folders;
    EXPECT_EQ(IsSingleFileMode(source), c.single);
  }
}

TEST_F(RunFilesTest, SingleFileIsTakenAsConfiguredWithoutLookingAtIt) {
  struct Case {
    const char* name;
    std::string file;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"relative to the application folder", "Forms/Main.frm", P("app/Forms/Main.frm")},
      {"leading ./ dropped", "./Main.frm", P("app/Main.frm")},
      {"absolute kept", testing::Rooted("/elsewhere/Main.frm"), testing::Rooted("/elsewhere/Main.frm")},
      {"missing file and any extension", "notes.txt", P("app/notes.txt")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SourceSettings source = Folders("");
    source.FileNameWithPath = c.file;
    EXPECT_EQ(CollectRunFiles(source, progress_, P("app")), ItemList{c.expected});
  }
  EXPECT_TRUE(display_.reports.empty());
}

TEST_F(RunFilesTest, RelativeItemsAreResolvedAgainstTheApplicationFolder) {
  MakeTree(dir_, {"app/src/Forms/a.frm", "app/src/Forms/skip.frm", "app/lib/Mods/m.bas", "app/lib/Mods/gone.bas",
                  "abs/Sub/z.cls"});
  const SourceSettings source =
      Folders("src;./lib;" + P("abs"), "src/Forms/skip.frm|" + P("app/lib/Mods/gone.bas") + "|src/Forms/a.FRM");
  EXPECT_EQ(CollectRunFiles(source, progress_, P("app")),
            (ItemList{P("app/src/Forms/a.frm"), P("app/lib/Mods/m.bas"), P("abs/Sub/z.cls")}));
  // Folder reports name the folders as walked: absolute.
  ASSERT_EQ(display_.reports.size(), 6u);
  EXPECT_EQ(display_.reports[1], (Report{3, 2, P("app/lib")}));
  EXPECT_EQ(display_.reports[3], (Report{3, 1, P("app/src/Forms")}));

  // Without an application folder, relative means relative to the current folder.
  const std::string cwd = std::filesystem::current_path().string();
  std::filesystem::current_path(P("app"));
  const ItemList from_cwd = CollectRunFiles(source, progress_);
  std::filesystem::current_path(cwd);
  // Only the exact texts compare: "./lib/..." is not the absolute item.
  EXPECT_EQ(from_cwd,
            (ItemList{testing::Native("src/Forms/a.frm"), testing::Native("./lib/Mods/gone.bas"),
                      testing::Native("./lib/Mods/m.bas"), P("abs/Sub/z.cls")}));
}

TEST_F(RunFilesTest, ReadingEachFolderOnceGivesTheSameListAsTheTwoSteps) {
  MakeTree(dir_, {"A/X/1.bas", "A/X/Y/2.frm", "A/X/Y/3.txt", "A/Z/4.cls", "A/top.bas", "B/5.bas", "B/C/6.bas",
                  "B/C/D/"});
  for (const bool avoid_recursion : {false, true}) {
    SCOPED_TRACE(avoid_recursion ? "recursion off" : "recursion on");
    SourceSettings source = Folders(P("A") + ";" + P("B") + ";;" + P("missing") + ";" + P("A/X") + ";" + P("A"),
                                    P("A/Z/4.cls"));
    source.AvoidRecursion = avoid_recursion;

    display_.reports.clear();
    ItemList folders;
    ItemList expected;
    CollectFolders(source.FoldersSepChar, source.FoldersList, !avoid_recursion, folders, progress_);
    SelectFiles(folders, source.FileExtensions, source.ExclusionList, source.ExclusionSepChar, expected, progress_);
    const std::vector<Report> expected_reports = display_.reports;

    display_.reports.clear();
    EXPECT_EQ(CollectRunFiles(source, progress_, P("elsewhere")), expected);
    EXPECT_EQ(display_.reports, expected_reports);
    EXPECT_FALSE(expected.empty());
  }
}

TEST_F(RunFilesTest, ExampleConfigurationSelectsTheExampleSources) {
  const std::string examples = std::string(CORVANNE_SOURCE_DIR) + "/examples";
  SourceSettings source;
  ReadSourceSettings(source, testing::ReadBytes(examples + "/MyConfig.xml"));
  ASSERT_FALSE(IsSingleFileMode(source));

  const std::vector<std::string> expected_relative = {
      "OrderDesk/Classes/clsCustomer.cls",
      "OrderDesk/Classes/clsOrder.cls",
      "OrderDesk/Classes/clsOrderLine.cls",
      "OrderDesk/Forms/frmCustomer.frm",
      "OrderDesk/Forms/frmMain.frm",
      "OrderDesk/Forms/frmOrder.frm",
      "OrderDesk/Modules/modDatabase.bas",
      "OrderDesk/Modules/modEmpty.bas",
      "OrderDesk/Modules/modGlobals.bas",
      "OrderDesk/Modules/modLog.bas",
      "OrderDesk/Reports/modDailyReport.bas",  // a folder's files before those of the folders below it
      "OrderDesk/Reports/Monthly/modMonthlyReport.bas",
      "SharedCode/Utilities/clsStringBuilder.cls",
      "SharedCode/Utilities/modText.bas",
  };
  ItemList expected;
  for (const std::string& relative : expected_relative) {
    expected.push_back(testing::Native(examples + "/" + relative));
  }
  const ItemList files = CollectRunFiles(source, progress_, examples);
  EXPECT_EQ(files, expected);

  // The sources are Windows text: every line ends in CR LF.
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    const std::string bytes = testing::ReadBytes(file);
    if (file.ends_with("modEmpty.bas")) {
      EXPECT_TRUE(bytes.empty());
      continue;
    }
    ASSERT_FALSE(bytes.empty());
    EXPECT_TRUE(bytes.ends_with("\r\n"));
    for (size_t at = bytes.find('\n'); at != std::string::npos; at = bytes.find('\n', at + 1)) {
      ASSERT_TRUE(at > 0 && bytes[at - 1] == '\r') << "bare line feed at byte " << at;
    }
  }
}

}  // namespace
}  // namespace corvanne
