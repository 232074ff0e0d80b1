// The configuration file: existence test, whole-file read, the read of the
// configuration with its FAILED status, and the tag search with its quirks.
#include "config/config_file.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#ifndef _WIN32
#include <unistd.h>
#endif

#include "common/message_texts.hpp"
#include "discovery/discovery.hpp"
#include "testing/encode.hpp"
#include "testing/temp_dir.hpp"

namespace corvanne {
namespace {

using testing::TempDir;

class ConfigFileTest : public ::testing::Test {
 protected:
  TempDir dir_;
  RecordingNotifier notifier_;
};

TEST_F(ConfigFileTest, CheckFileExistsAnswersWithoutBoxes) {
  const std::string file = dir_.Write("MyConfig.xml", "<A>1</A>");
  std::vector<std::tuple<const char*, std::string, bool>> cases = {
      {"a file", file, true},
      {"missing", dir_.Path("missing.xml"), false},
      {"a folder", dir_.MakeDir("folder.xml"), false},
      {"a path through a file", file + "/MyConfig.xml", false},
      {"empty path", "", false},
  };
#ifndef _WIN32  // links need a privilege on Windows, and Wine makes none
  std::filesystem::create_symlink(file, dir_.Path("link.xml"));
  std::filesystem::create_symlink(dir_.Path("nowhere"), dir_.Path("dangling.xml"));
  cases.emplace_back("a link to a file", dir_.Path("link.xml"), true);
  cases.emplace_back("a dangling link", dir_.Path("dangling.xml"), false);
#endif
  for (const auto& [name, path, expected] : cases) {
    SCOPED_TRACE(name);
    EXPECT_EQ(CheckFileExists(path, notifier_), expected);
  }
  EXPECT_TRUE(notifier_.messages.empty());
}

#ifndef _WIN32  // POSIX only
TEST_F(ConfigFileTest, CheckFileExistsReportsAFailedTest) {
  std::filesystem::create_symlink(dir_.Path("loop-b"), dir_.Path("loop-a"));
  std::filesystem::create_symlink(dir_.Path("loop-a"), dir_.Path("loop-b"));
  std::vector<std::tuple<const char*, std::string, int>> cases = {
      {"a name longer than allowed", dir_.Path(std::string(300, 'x')), ENAMETOOLONG},
      {"a link loop", dir_.Path("loop-a"), ELOOP},
  };
  if (geteuid() != 0) {  // root passes any folder permission
    const std::string locked = dir_.MakeDir("locked");
    dir_.Write("locked/MyConfig.xml", "");
    std::filesystem::permissions(locked, std::filesystem::perms::none);
    cases.emplace_back("a folder that cannot be searched", locked + "/MyConfig.xml", EACCES);
  }
  for (const auto& [name, path, number] : cases) {
    SCOPED_TRACE(name);
    notifier_.messages.clear();
    EXPECT_FALSE(CheckFileExists(path, notifier_));
    ASSERT_EQ(notifier_.messages.size(), 1u);
    EXPECT_EQ(notifier_.messages[0].text,
              "Error while checking whether file exists.. " + path + "Error No. " + std::to_string(number));
  }
}
#endif  // _WIN32

TEST_F(ConfigFileTest, ReadWholeFileKeepsEveryByte) {
  std::string bytes = "\xEF\xBB\xBF<A>\r\n x\t\n</A>";
  bytes += std::string("\0\xFF", 2);
  EXPECT_EQ(ReadWholeFile(dir_.Write("bytes.xml", bytes), notifier_), bytes);
  const std::string big(3'000'000, 'q');  // NOLINT(bugprone-string-constructor): meant to be big
  EXPECT_EQ(ReadWholeFile(dir_.Write("big.xml", big), notifier_), big);
  EXPECT_EQ(ReadWholeFile(dir_.Write("empty.xml", ""), notifier_), "");
  EXPECT_TRUE(notifier_.messages.empty());
}

#ifndef _WIN32  // POSIX only
TEST_F(ConfigFileTest, ReadWholeFileFailuresShowTheStandardBox) {
  const std::string file = dir_.Write("plain.xml", "abc");
  const std::vector<std::tuple<const char*, std::string, int>> cases = {
      {"missing", dir_.Path("missing.xml"), ENOENT},
      {"a folder", dir_.MakeDir("folder.xml"), EISDIR},
      {"a path through a file", file + "/x.xml", ENOTDIR},
  };
  for (const auto& [name, path, number] : cases) {
    SCOPED_TRACE(name);
    notifier_.messages.clear();
    EXPECT_EQ(ReadWholeFile(path, notifier_), "");
    ASSERT_EQ(notifier_.messages.size(), 1u);
    EXPECT_EQ(notifier_.messages[0], texts::StandardError(ErrorFromErrno(number), path));
  }
}
#endif  // _WIN32

#ifndef _WIN32  // POSIX only: the environment as POSIX sets it, other users, /proc
// A file that exists but cannot be read: chmod 000 for an ordinary user;
// root reads any such file, so there the process's own memory image stands in
// (a regular file whose read at offset 0 fails with EIO).
std::pair<std::string, int> UnreadableFile(const TempDir& dir) {
  if (geteuid() == 0) return {"/proc/self/mem", EIO};
  const std::string path = dir.Write("secret.xml", "<A>1</A>");
  std::filesystem::permissions(path, std::filesystem::perms::none);
  return {path, EACCES};
}

TEST_F(ConfigFileTest, UnreadableFileShowsTheStandardBox) {
  const auto [path, number] = UnreadableFile(dir_);
  EXPECT_EQ(ReadWholeFile(path, notifier_), "");
  ASSERT_EQ(notifier_.messages.size(), 1u);
  EXPECT_EQ(notifier_.messages[0], texts::StandardError(ErrorFromErrno(number), path));
}

TEST_F(ConfigFileTest, UnreadableConfigEmptiesTheTextWithoutFailedStatus) {
  AppState state;
  state.ConfigFilePath = UnreadableFile(dir_).first;
  state.ConfigText = "read earlier";
  std::string status;
  ReadConfigFile(state, notifier_, status);
  EXPECT_EQ(state.ConfigText, "");
  EXPECT_EQ(status, "");
  ASSERT_EQ(notifier_.messages.size(), 1u);
  EXPECT_EQ(notifier_.messages[0].text.rfind("Error No. ", 0), 0u);
}
#endif  // _WIN32

TEST_F(ConfigFileTest, ReadConfigFileFillsTheText) {
  AppState state;
  state.ConfigFilePath = dir_.Write("MyConfig.xml", "<UNATTENDED_YES_NO>Yes</UNATTENDED_YES_NO>");
  state.ConfigText = "old";
  std::string status;
  ReadConfigFile(state, notifier_, status);
  EXPECT_EQ(state.ConfigText, "<UNATTENDED_YES_NO>Yes</UNATTENDED_YES_NO>");
  EXPECT_EQ(status, "");
  EXPECT_TRUE(notifier_.messages.empty());

  dir_.Write("MyConfig.xml", "");
  ReadConfigFile(state, notifier_, status);
  EXPECT_EQ(state.ConfigText, "");
  EXPECT_EQ(status, "");
  EXPECT_TRUE(notifier_.messages.empty());
}

// Whatever the editor saved, the values are UTF-8 text, and a separator is
// one character whether it took one byte in the file or two.
TEST_F(ConfigFileTest, ReadConfigFileDecodesTheText) {
  const std::string text =
      "<SOURCE_FOLDERS_LIST>/src/Código§/src/Año</SOURCE_FOLDERS_LIST>"
      "<SOURCE_FOLDERS_LIST_SEP_CHAR>§</SOURCE_FOLDERS_LIST_SEP_CHAR>";
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"UTF-16 LE with its mark", "\xFF\xFE" + testing::Encode(text, "UTF-16LE")},
      {"UTF-16 BE with its mark", "\xFE\xFF" + testing::Encode(text, "UTF-16BE")},
      {"UTF-8 without a mark", text},
      {"Windows-1252", testing::Encode(text, "WINDOWS-1252")},
  };
  for (const auto& [name, bytes] : cases) {
    SCOPED_TRACE(name);
    AppState state;
    state.ConfigFilePath = dir_.Write("MyConfig.xml", bytes);
    std::string status;
    ReadConfigFile(state, notifier_, status);
    EXPECT_EQ(state.ConfigText, text);
    ParseSettings(state);
    ItemList folders;
    SplitToCollection(state.ConfiguredSource.FoldersSepChar, state.ConfiguredSource.FoldersList, folders);
    EXPECT_EQ(folders, (ItemList{"/src/Código", "/src/Año"}));
  }
  EXPECT_TRUE(notifier_.messages.empty());

  AppState state;
  state.ConfigFilePath = dir_.Write("MyConfig.xml", std::string("\xFF\xFE<\0A\0>", 7));
  state.ConfigText = "read earlier";
  std::string status;
  ReadConfigFile(state, notifier_, status);
  EXPECT_EQ(state.ConfigText, "");
  EXPECT_EQ(status, "");
  ASSERT_EQ(notifier_.messages.size(), 1u);
  EXPECT_EQ(notifier_.messages[0].text, "Unable to read config file " + state.ConfigFilePath +
                                            ": incomplete UTF-16LE character at byte offset 6, where the file ends "
                                            "(bytes 3E)");
}

TEST_F(ConfigFileTest, MissingConfigShowsItsMessageSetsFailedAndKeepsText) {
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"missing", dir_.Path("MyConfig.xml")},
      {"a folder", dir_.MakeDir("folder/MyConfig.xml")},
  };
  for (const auto& [name, path] : cases) {
    SCOPED_TRACE(name);
    AppState state;
    state.ConfigFilePath = path;
    state.ConfigText = "read earlier";
    std::string status = "untouched";
    notifier_.messages.clear();
    ReadConfigFile(state, notifier_, status);
    EXPECT_EQ(status, "FAILED");
    EXPECT_EQ(state.ConfigText, "read earlier");
    ASSERT_EQ(notifier_.messages.size(), 1u);
    EXPECT_EQ(notifier_.messages[0].text, "Unable to read config file... Expected here... " + path);
    EXPECT_EQ(notifier_.messages[0].title, "Corvanne");
  }
}

TEST(GetTagValueTest, Quirks) {
  struct Case {
    const char* name;
    std::string text;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"plain", "<K>v</K>", "v"},
      {"inside a root", "<Config>\r\n  <K>v</K>\r\n</Config>", "v"},
      {"several to a line", "<A>1</A><K>2</K><B>3</B>", "2"},
      {"nothing trimmed", "<K>  v \t</K>", "  v \t"},
      {"multi-line value", "<K>\r\n  line 1\r\n  line 2\r\n</K>", "\r\n  line 1\r\n  line 2\r\n"},
      {"first of two", "<K>one</K><K>two</K>", "one"},
      {"first opening, first closing", "<K>a<K>b</K>c</K>", "a<K>b"},
      {"empty value", "<K></K>", ""},
      {"missing", "<A>1</A>", ""},
      {"lower case key", "<k>v</k>", ""},
      {"no closing tag", "<K>v", ""},
      {"no opening tag", "v</K>", ""},
      {"closing before opening", "</K>x<K>v", ""},
      {"closing before a later pair", "</K><K>v</K>", ""},
      {"blank before >", "<K >v</K>", ""},
      {"attribute", "<K a=\"1\">v</K>", ""},
      {"inside a comment first", "<!-- <K>old</K> --><K>new</K>", "old"},
      {"entity kept", "<K>a &amp; b</K>", "a &amp; b"},
      {"longer key shares the prefix", "<KEY>x</KEY><K>v</K>", "v"},
      {"utf-16", std::string("<\0K\0>\0v\0<\0/\0K\0>\0", 16), ""},
      {"empty text", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(GetTagValue(c.text, "K"), c.expected);
  }
}

TEST(GetTagValueTest, HugeValueComesBackWhole) {
  const std::string value(10'000'000, 'v');  // NOLINT(bugprone-string-constructor): meant to be big
  const std::string text = "<A>1</A><K>" + value + "</K>";
  EXPECT_EQ(GetTagValue(text, "K"), value);
  EXPECT_EQ(GetTagValue(text, "A"), "1");
  EXPECT_EQ(GetTagValue(text, "B"), "");
}

}  // namespace
}  // namespace corvanne
