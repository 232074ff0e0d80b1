// Marker rows: the tag syntax, the eight tags in order, prefix and suffix
// kept exactly, values upper-cased without touching the caller's settings.
#include "run/completion_header.hpp"

#include <gtest/gtest.h>

#include "run/run_test_support.hpp"

namespace corvanne {
namespace {

using testing::FixedClock;

TEST(MakeTagTest, TrimsBlanksAndUpperCasesKeyAndValue) {
  struct Case {
    const char* name;
    std::string key, value, expected;
  };
  const std::vector<Case> cases = {
      {"plain", "TASK_STATUS", "BEGINS", "<TASK_STATUS>BEGINS</TASK_STATUS>"},
      {"lower case and blanks", " file_type ", "  frm ", "<FILE_TYPE>FRM</FILE_TYPE>"},
      {"inner blanks kept", "USER_NAME", " a b ", "<USER_NAME>A B</USER_NAME>"},
      {"tabs are not blanks", "K", "\tv\t", "<K>\tV\t</K>"},
      {"empty value", "FILE_TYPE", "", "<FILE_TYPE></FILE_TYPE>"},
      {"non-ASCII kept whole", "FILE_NAME", "/src/ü.frm", "<FILE_NAME>/SRC/Ü.FRM</FILE_NAME>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(MakeTag(c.key, c.value), c.expected);
  }
}

TEST(CompletionHeaderTest, BuildsPrefixEightTagsSuffix) {
  FixedClock clock;
  SetDateTimeSource(&clock);
  struct Case {
    const char* name;
    std::string prefix, suffix, user, path, status;
    int32_t serial;
    std::string expected;
  };
  const std::string batch = "<BATCH_CODE>1234__7_14_2013_1_02_01_PM</BATCH_CODE>";
  const std::string task = "<TASK_NAME>EXPORT_TEXT_LINE_TO_SQL_TABLE</TASK_NAME>";
  const std::string user = "<USER_NAME>LOADER</USER_NAME>";
  const std::string when = "<DATE_TIME>7/14/2013 1:02:05 PM</DATE_TIME>";
  const std::vector<Case> cases = {
      {"the worked example", "", "", "LOADER", "C:\\SRC\\FORM1.FRM", "BEGINS", 3,
       "<TASK_STATUS>BEGINS</TASK_STATUS><TASK_NAME>EXPORT_TEXT_LINE_TO_SQL_TABLE</TASK_NAME>"
       "<BATCH_CODE>1234__7_14_2013_1_02_01_PM</BATCH_CODE><FILE_TYPE>FRM</FILE_TYPE>"
       "<USER_NAME>LOADER</USER_NAME><FILE_SERIAL_NUMBER>3</FILE_SERIAL_NUMBER>"
       "<DATE_TIME>7/14/2013 1:02:05 PM</DATE_TIME><FILE_NAME>C:\\SRC\\FORM1.FRM</FILE_NAME>"},
      {"lower-case path upper-cased", "", "", " loader ", "/src/form1.frm", "DONE", 3,
       "<TASK_STATUS>DONE</TASK_STATUS>" + task + batch + "<FILE_TYPE>FRM</FILE_TYPE>" + user +
           "<FILE_SERIAL_NUMBER>3</FILE_SERIAL_NUMBER>" + when + "<FILE_NAME>/SRC/FORM1.FRM</FILE_NAME>"},
      {"no dot: the whole path is the type", "", "", " loader ", "/src/Makefile", "BEGINS", 1,
       "<TASK_STATUS>BEGINS</TASK_STATUS>" + task + batch + "<FILE_TYPE>/SRC/MAKEFILE</FILE_TYPE>" + user +
           "<FILE_SERIAL_NUMBER>1</FILE_SERIAL_NUMBER>" + when + "<FILE_NAME>/SRC/MAKEFILE</FILE_NAME>"},
      {"dot only in the folder", "", "", " loader ", "C:\\MY.DIR\\MAKEFILE", "BEGINS", 1,
       "<TASK_STATUS>BEGINS</TASK_STATUS>" + task + batch + "<FILE_TYPE>DIR\\MAKEFILE</FILE_TYPE>" + user +
           "<FILE_SERIAL_NUMBER>1</FILE_SERIAL_NUMBER>" + when + "<FILE_NAME>C:\\MY.DIR\\MAKEFILE</FILE_NAME>"},
      {"prefix and suffix exactly as configured", "  -- pre ", " post\t", " loader ", "/a.bas", "BEGINS", 1,
       "  -- pre <TASK_STATUS>BEGINS</TASK_STATUS>" + task + batch + "<FILE_TYPE>BAS</FILE_TYPE>" + user +
           "<FILE_SERIAL_NUMBER>1</FILE_SERIAL_NUMBER>" + when + "<FILE_NAME>/A.BAS</FILE_NAME> post\t"},
      {"serial 12: two digits, no padding", "", "", " loader ", "/a.cls", "DONE", 12,
       "<TASK_STATUS>DONE</TASK_STATUS>" + task + batch + "<FILE_TYPE>CLS</FILE_TYPE>" + user +
           "<FILE_SERIAL_NUMBER>12</FILE_SERIAL_NUMBER>" + when + "<FILE_NAME>/A.CLS</FILE_NAME>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunSettings run;
    run.HeaderPrefix = c.prefix;
    run.HeaderSuffix = c.suffix;
    run.BatchCode = "1234__7_14_2013_1_02_01_PM";
    SourceSettings source;
    source.FileNameWithPath = c.path;
    DestinationSettings destination;
    destination.UserName = c.user;
    const SourceSettings source_before = source;
    const DestinationSettings destination_before = destination;
    EXPECT_EQ(BuildCompletionHeader(run, source, destination, c.serial, c.status), c.expected);
    EXPECT_EQ(source, source_before);
    EXPECT_EQ(destination, destination_before);
  }
  SetDateTimeSource(nullptr);
}

// The clock is read when the row is built, not once per run.
TEST(CompletionHeaderTest, ReadsTheClockForEachRow) {
  struct Ticking : DateTimeSource {
    mutable int calls = 0;
    std::string ShortDate() const override { return "7/14/2013"; }
    std::string LongTime() const override { return "1:02:0" + std::to_string(++calls) + " PM"; }
  } clock;
  SetDateTimeSource(&clock);
  const RunSettings run;
  SourceSettings source;
  source.FileNameWithPath = "/a.frm";
  const std::string first = BuildCompletionHeader(run, source, {}, 1, "BEGINS");
  const std::string second = BuildCompletionHeader(run, source, {}, 1, "DONE");
  SetDateTimeSource(nullptr);
  EXPECT_NE(first.find("<DATE_TIME>7/14/2013 1:02:01 PM</DATE_TIME>"), std::string::npos);
  EXPECT_NE(second.find("<DATE_TIME>7/14/2013 1:02:02 PM</DATE_TIME>"), std::string::npos);
}

}  // namespace
}  // namespace corvanne
