// The folder walk and the file selection over real folders: order, the
// listed folders themselves, missing folders, progress reports, the filter.
#include <gtest/gtest.h>

#include "discovery/discovery.hpp"
#include "discovery_testing.hpp"

namespace corvanne {
namespace {

using testing::MakeTree;
using testing::RecordingDisplay;
using testing::Report;

class WalkTest : public ::testing::Test {
 protected:
  std::string P(std::string_view relative) const { return dir_.Path(relative); }

  testing::TempDir dir_;
  std::string batch_code_ = "B1";
  RecordingDisplay display_;
  DisplayProgress progress_{display_, batch_code_};
};

TEST_F(WalkTest, RecursionOffTakesTheListedItemsAsTheyAre) {
  dir_.MakeDir("A/X");
  ItemList result;
  const std::string list = P("A") + ";" + P("missing") + ";;" + P("A") + ";";
  CollectFolders(";", list, false, result, progress_);
  EXPECT_EQ(result, (ItemList{P("A"), P("missing"), "", P("A"), ""}));
  EXPECT_TRUE(display_.reports.empty());
}

TEST_F(WalkTest, RecursionOnListsTheFoldersBelowDepthFirstInByteOrder) {
  MakeTree(dir_, {"A/Z/", "A/X/Y/", "A/X/file.bas", "A/a/", "A/B/", "A/top.bas", "A/\xC3\x84rger/"});
  ItemList result;
  CollectFolders(";", P("A"), true, result, progress_);
  EXPECT_EQ(result, (ItemList{P("A/B"), P("A/X"), P("A/X/Y"), P("A/Z"), P("A/a"), P("A/\xC3\x84rger")}));
  EXPECT_EQ(display_.reports, (std::vector<Report>{{1, 1, P("A")}}));
}

TEST_F(WalkTest, RecursionOnCasesOfTheListedFolders) {
  MakeTree(dir_, {"A/X/Y/", "A/Z/", "Flat/only.bas", "Trail/S/"});
  struct Case {
    const char* name;
    std::string separator;
    std::string list;
    ItemList expected;
    std::vector<Report> reports;
  };
  const std::vector<Case> cases = {
      {"folder without sub-folders adds nothing", ";", P("Flat"), {}, {{1, 1, P("Flat")}}},
      {"missing folder adds nothing", ";", P("missing"), {}, {{1, 1, P("missing")}}},
      {"a file is not a folder", ";", P("Flat/only.bas"), {}, {{1, 1, P("Flat/only.bas")}}},
      {"empty list: one report, nothing added", ";", "", {}, {{1, 1, ""}}},
      {"repeated and nested listed folders repeat entries",
       "|",
       P("A/X") + "|" + P("A") + "|" + P("A/X"),
       {P("A/X/Y"), P("A/X"), P("A/X/Y"), P("A/Z"), P("A/X/Y")},
       {{3, 1, P("A/X")}, {3, 2, P("A")}, {3, 3, P("A/X")}}},
      {"trailing separator in a folder is not doubled", ";", P("Trail") + "/", {P("Trail") + "/S"}, {{1, 1, P("Trail") + "/"}}},
      {"empty separator: only empty items", "", "abc", {}, {{4, 1, ""}, {4, 2, ""}, {4, 3, ""}, {4, 4, ""}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    display_.reports.clear();
    ItemList result;
    CollectFolders(c.separator, c.list, true, result, progress_);
    EXPECT_EQ(result, c.expected);
    EXPECT_EQ(display_.reports, c.reports);
  }
}

TEST_F(WalkTest, WalkFolderModes) {
  MakeTree(dir_, {"A/S/", "A/one.frm", "A/two.txt"});
  struct Case {
    const char* mode;
    ItemList expected;
  };
  const std::vector<Case> cases = {
      {"", {P("A/S")}},
      {"FOLDERS", {P("A/S")}},
      {"  folders ", {P("A/S")}},
      {"FILES", {P("A/one.frm")}},
      {" Files", {P("A/one.frm")}},
      {"FILE", {}},
      {"\tFILES", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("mode '") + c.mode + "'");
    ItemList result;
    WalkFolder(P("A"), c.mode, "", "", "FRM", result);
    EXPECT_EQ(result, c.expected);
  }
}

TEST_F(WalkTest, SelectFilesByExtension) {
#ifdef _WIN32
  // Windows drops a trailing dot from a name: no name ends in one there.
  const std::string odd = "S/Odd";
  const ItemList ending_in_dot = {P("S/Form1.frm")};
#else
  const std::string odd = "S/Odd.";
  const ItemList ending_in_dot = {P("S/Form1.frm"), P(odd)};
#endif
  MakeTree(dir_, {"S/Form1.frm", "S/MODULE1.BAS", "S/Class1.Cls", "S/Project1.vbp", "S/README", odd,
                  "S/archive.tar.bas", "S/Sub/deep.frm"});
  struct Case {
    const char* name;
    std::string extensions;
    ItemList expected;
  };
  const std::vector<Case> cases = {
      {"usual list, any case", "FRM,BAS,CLS",
       {P("S/Class1.Cls"), P("S/Form1.frm"), P("S/MODULE1.BAS"), P("S/archive.tar.bas")}},
      {"lower-case list", "frm,bas,cls",
       {P("S/Class1.Cls"), P("S/Form1.frm"), P("S/MODULE1.BAS"), P("S/archive.tar.bas")}},
      {"blanks around the whole list are trimmed", "  FRM,CLS  ", {P("S/Class1.Cls"), P("S/Form1.frm")}},
      {"a blank inside the list counts", "FRM, BAS", {P("S/Form1.frm")}},
      {"trailing comma selects names ending in a dot", "FRM,", ending_in_dot},
      {"blank list selects every file", "   ",
       {P("S/Class1.Cls"), P("S/Form1.frm"), P("S/MODULE1.BAS"), P(odd), P("S/Project1.vbp"), P("S/README"),
        P("S/archive.tar.bas")}},
      {"dotted name only matches after its last dot", "TAR", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ItemList result;
    SelectFiles({P("S")}, c.extensions, "", "|", result, progress_);
    EXPECT_EQ(result, c.expected);
  }
}

TEST_F(WalkTest, SelectFilesPassesOverExclusionsExactly) {
  MakeTree(dir_, {"S/Form1.frm", "S/Old.bas", "S/New.bas"});
  struct Case {
    const char* name;
    std::string exclusions;
    std::string separator;
    ItemList expected;
  };
  const ItemList all = {P("S/Form1.frm"), P("S/New.bas"), P("S/Old.bas")};
  const std::vector<Case> cases = {
      {"two full paths", P("S/Form1.frm") + "|" + P("S/Old.bas"), "|", {P("S/New.bas")}},
      {"one item without its separator", P("S/Old.bas"), "|", {P("S/Form1.frm"), P("S/New.bas")}},
      {"other case excludes nothing", P("S/form1.frm"), "|", all},
      {"bare name excludes nothing", "Old.bas", "|", all},
      {"blank after the separator excludes nothing", P("S/New.bas") + "| " + P("S/Old.bas"), "|",
       {P("S/Form1.frm"), P("S/Old.bas")}},
      {"empty separator excludes nothing", P("S/Old.bas"), "", all},
      {"empty list excludes nothing", "", "|", all},
      {"doubled folder separator excludes nothing", P("S") + "//Old.bas", "|", all},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ItemList result;
    SelectFiles({P("S")}, "FRM,BAS", c.exclusions, c.separator, result, progress_);
    EXPECT_EQ(result, c.expected);
  }
}

TEST_F(WalkTest, SelectFilesKeepsFolderOrderDuplicatesAndReportsEachFolder) {
  MakeTree(dir_, {"A/a.bas", "B/b.bas"});
  ItemList result;
  SelectFiles({P("B"), P("A"), "", P("missing"), P("B")}, "BAS", "", "", result, progress_);
  EXPECT_EQ(result, (ItemList{P("B/b.bas"), P("A/a.bas"), P("B/b.bas")}));
  EXPECT_EQ(display_.reports, (std::vector<Report>{{5, 1, P("B")}, {5, 2, P("A")}, {5, 3, ""}, {5, 4, P("missing")},
                                                   {5, 5, P("B")}}));
}

TEST_F(WalkTest, NamesAreTakenInByteOrder) {
  std::vector<std::string> names = {
      "zeta.bas", "a b.bas", "Alpha.bas", "a.bas", "\xC3\x84rger.bas", "_x.bas", "10.bas", "9.bas",
  };
#ifndef _WIN32
  names.push_back("a\"q\".bas");  // a quote is no part of a name on Windows
#endif
  for (const std::string& name : names) dir_.Write("S/" + name, "x");
  ItemList result;
  SelectFiles({P("S")}, "BAS", "", "", result, progress_);
  ItemList expected = {P("S/10.bas"), P("S/9.bas"), P("S/Alpha.bas"), P("S/_x.bas"), P("S/a b.bas"),
                       P("S/a.bas"), P("S/zeta.bas"), P("S/\xC3\x84rger.bas")};
#ifndef _WIN32
  expected.insert(expected.begin() + 5, P("S/a\"q\".bas"));
#endif
  EXPECT_EQ(result, expected);
}

}  // namespace
}  // namespace corvanne
