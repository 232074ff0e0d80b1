// The end-of-run code page hint: which runs get one, what it suggests, and
// its exact text.
#include "source/code_page_hint.hpp"

#include <gtest/gtest.h>

#include "testing/temp_dir.hpp"

#include <vector>

namespace corvanne {
namespace {

using testing::Rooted;

class CodePageHintTest : public ::testing::Test {};

TEST_F(CodePageHintTest, OnlyAnotherScriptOnSeveralFilesMakesAHint) {
  struct Case {
    const char* name;
    std::vector<EncodingCount> counts;
    std::string suggested;  // "" when no hint
  };
  const std::vector<Case> cases = {
      {"Western guesses in a Western run",
       {{"WINDOWS-1252", "ISO-8859-1", 900}, {"WINDOWS-1252", "WINDOWS-1250", 60}, {"WINDOWS-1252", "ISO-8859-2", 40},
        {"WINDOWS-1252", "VISCII", 20}, {"WINDOWS-1252", "", 1000}, {"UTF-8", "", 3000}},
       ""},
      {"Big5 read as Windows-1252", {{"WINDOWS-1252", "BIG5", 1210}, {"WINDOWS-1252", "", 4}}, "CP950"},
      {"GBK", {{"WINDOWS-1252", "GB18030", 30}, {"WINDOWS-1252", "WINDOWS-1252", 3}}, "GB18030"},
      {"Shift_JIS", {{"WINDOWS-1252", "SHIFT_JIS", 12}}, "CP932"},
      {"Thai", {{"WINDOWS-1252", "TIS-620", 5}}, "WINDOWS-874"},
      {"Cyrillic", {{"WINDOWS-1252", "WINDOWS-1251", 7}, {"WINDOWS-1252", "KOI8-R", 2}}, "WINDOWS-1251"},
      {"Korean", {{"WINDOWS-1252", "EUC-KR", 4}}, "CP949"},
      {"Western files in a Big5 run", {{"BIG5", "WINDOWS-1252", 40}, {"BIG5", "BIG5", 10}}, "WINDOWS-1252"},
      {"two files are not several", {{"WINDOWS-1252", "BIG5", 2}}, ""},
      {"a few in a big project", {{"WINDOWS-1252", "BIG5", 9}, {"WINDOWS-1252", "", 91}}, ""},
      {"the script with most files", {{"WINDOWS-1252", "BIG5", 10}, {"WINDOWS-1252", "SHIFT_JIS", 20}}, "CP932"},
      {"guesses on Unicode files do not count", {{"UTF-8", "BIG5", 50}, {"UTF-16LE", "BIG5", 50}}, ""},
      {"the right code page", {{"CP950", "BIG5", 50}}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CodePageHint hint = DecideCodePageHint(c.counts);
    EXPECT_EQ(hint.show, !c.suggested.empty());
    if (hint.show) {
      EXPECT_EQ(hint.suggested, c.suggested);
    }
  }
}

// When the foreign files share a folder that holds no other file of their
// code page, the hint names a per-folder item; else the run's code page.
TEST_F(CodePageHintTest, Text) {
  struct Case {
    const char* name;
    std::vector<EncodingCount> counts;
    std::string text;
  };
  const std::vector<Case> cases = {
      {"scattered",
       {{"WINDOWS-1252", "BIG5", 1200, "/src/a"}, {"WINDOWS-1252", "BIG5", 10, "/src/b"},
        {"WINDOWS-1252", "ISO-8859-1", 4, "/src/b"}, {"UTF-8", "", 3291, "/src/c"}},
       "Note: 1,210 of the 1,214 files read as WINDOWS-1252 look like BIG5 text. If that is their code page, set "
       "SOURCE_FILE_CODE_PAGE to CP950 and run again."},
      {"one folder",
       {{"WINDOWS-1252", "TIS-620", 500, Rooted("/src/th/forms")},
        {"WINDOWS-1252", "TIS-620", 62, Rooted("/src/th/mods")},
        {"WINDOWS-1252", "", 1558, Rooted("/src/thin")},
        {"UTF-8", "", 10, Rooted("/src/th")}},
       "Note: 562 of the 2,120 files read as WINDOWS-1252 look like TIS-620 text, all of them in \"" +
           Rooted("/src/th") + "\". If that is their code page, add the item " + Rooted("/src/th") +
           "=WINDOWS-874 to SOURCE_FILE_CODE_PAGES_BY_FOLDER and run again."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CodePageHintText(DecideCodePageHint(c.counts)), c.text);
  }
}

}  // namespace
}  // namespace corvanne
