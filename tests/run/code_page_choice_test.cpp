// Which folder item gives a file its code page: the longest folder that
// holds it, compared by whole steps, whatever the spelling of the item.
#include "run/code_page_choice.hpp"

#include <gtest/gtest.h>

#include "testing/temp_dir.hpp"

namespace corvanne {
namespace {

TEST(CodePageChoiceTest, LongestFolderWins) {
  SourceSettings source;
  source.FoldersSepChar = ";";
  source.CodePagesByFolder = "/src=950; /src/th/ = 874 ;/src/th/../thai=1250;legacy=AUTO;;/a=b=936";
  std::vector<std::string> problems;
  const std::vector<FolderCodePage> folders = FolderCodePages(source, testing::Rooted("/app"), &problems);
  EXPECT_EQ(problems, std::vector<std::string>{});
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"/src/a.bas", "950"},         {"/src/th/a.bas", "874"},   {"/src/th/deep/a.bas", "874"},
      {"/src/thai/a.bas", "1250"},   {"/src/thx/a.bas", "950"},  {"/srcs/a.bas", "run"},
      {"/app/legacy/a.bas", "AUTO"}, {"/a=b/c.bas", "936"},     {"/other/a.bas", "run"},
  };
  for (const auto& [path, expected] : cases) {
    SCOPED_TRACE(path);
    EXPECT_EQ(CodePageValueForFile(folders, testing::Rooted(path), "run"), expected);
  }
  source.CodePagesByFolder = "big5;/x=klingon";
  problems.clear();
  EXPECT_TRUE(FolderCodePages(source, "/app", &problems).empty());
  EXPECT_EQ(problems, (std::vector<std::string>{
                          "SOURCE_FILE_CODE_PAGES_BY_FOLDER: item \"big5\" is not written as folder=code page",
                          "SOURCE_FILE_CODE_PAGES_BY_FOLDER \"klingon\" is not a code page this system knows (a "
                          "name such as WINDOWS-1252, BIG5 or CP932, a Windows code page number, UTF-8, AUTO or "
                          "BYTES) (item \"/x=klingon\")"}));
}

}  // namespace
}  // namespace corvanne
