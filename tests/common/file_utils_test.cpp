// File services: sizes (64-bit, errors as boxes), extensions split over the
// whole name, and the one-line write, byte for byte.
#include "common/file_utils.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <tuple>

#include "common/message_texts.hpp"
#include "testing/temp_dir.hpp"

namespace corvanne {
namespace {

using testing::ReadBytes;
using testing::TempDir;

class FileUtilsTest : public ::testing::Test {
 protected:
  TempDir dir_;
  RecordingNotifier notifier_;
};

TEST_F(FileUtilsTest, SizeOfOrdinaryFiles) {
  EXPECT_EQ(GetFileSize(dir_.Write("empty.bas", ""), notifier_), 0);
  EXPECT_EQ(GetFileSize(dir_.Write("one.bas", "x"), notifier_), 1);
  EXPECT_EQ(GetFileSize(dir_.Write("crlf.bas", "a\r\nb\r\n"), notifier_), 6);
  EXPECT_TRUE(notifier_.messages.empty());
}

// Each box names the entry it is about: a run lists dangling links, pipes
// and devices with a selected extension, and the cause alone named no file.
TEST_F(FileUtilsTest, EntriesWithoutASizeShowTheStandardErrorBoxNamingThePath) {
  const std::string file = dir_.Write("plain.txt", "abc");
  const std::string fifo = dir_.Path("pipe.bas");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  const std::string dangling = dir_.Path("dangling.bas");
  std::filesystem::create_symlink(dir_.Path("nowhere.bas"), dangling);
  const std::vector<std::tuple<const char*, std::string, int, std::string>> cases = {
      {"missing file", dir_.Path("gone.bas"), ENOENT, "No such file or directory"},
      {"dangling link", dangling, ENOENT, "No such file or directory"},
      {"a folder", dir_.MakeDir("sub.bas"), EISDIR, "Is a directory"},
      {"a path through a file", file + "/inner.bas", ENOTDIR, "Not a directory"},
      {"a pipe", fifo, EOPNOTSUPP, "not a regular file"},
      {"a device", "/dev/null", EOPNOTSUPP, "not a regular file"},
  };
  for (const auto& [name, path, number, cause] : cases) {
    SCOPED_TRACE(name);
    notifier_.messages.clear();
    EXPECT_EQ(GetFileSize(path, notifier_), 0);
    ASSERT_EQ(notifier_.messages.size(), 1u);
    EXPECT_EQ(notifier_.messages[0].text,
              "Error No. " + std::to_string(number) + "\r\nDescription : \"" + path + "\": " + cause);
    EXPECT_EQ(notifier_.messages[0].title, "Corvanne");
    EXPECT_EQ(notifier_.messages[0].icon, MessageIcon::kNone);
  }
}

TEST_F(FileUtilsTest, SparseFileOfThreeGibibytesHasItsFullSize) {
  const std::string path = dir_.Path("big.bas");
  constexpr int64_t kSize = int64_t{3} << 30;
  {
    std::ofstream out(path, std::ios::binary);
  }
  std::filesystem::resize_file(path, static_cast<std::uintmax_t>(kSize));
  EXPECT_EQ(GetFileSize(path, notifier_), kSize);
  EXPECT_TRUE(notifier_.messages.empty());
}

TEST(GetExtensionTest, SplitsTheWholeNameAtTheLastDot) {
  const std::vector<std::tuple<const char*, std::string, std::string>> cases = {
      {"simple", "Form1.frm", "frm"},
      {"several dots", "a.b.c.BAS", "BAS"},
      {"no dot", "Makefile", "Makefile"},
      {"ends in dot", "name.", ""},
      {"only a dot", ".", ""},
      {"hidden file", ".profile", "profile"},
      {"dot in a folder name", "/src/v1.2/README", "2/README"},
      {"case kept", "/x/Module.CLs", "CLs"},
  };
  for (const auto& [name, input, expected] : cases) {
    SCOPED_TRACE(name);
    EXPECT_EQ(GetExtension(input), expected);
  }
}

TEST(ResolveFromTest, RelativePathsAreTakenFromTheFolder) {
  const std::vector<std::tuple<const char*, std::string, std::string, std::string>> cases = {
      {"relative", "/app", "src/a.bas", "/app/src/a.bas"},
      {"leading ./ dropped", "/app", "././src", "/app/src"},
      {"dot alone is the folder", "/app", ".", "/app"},
      {"parent step leaves the folder", "/app/conf", "../lib", "/app/lib"},
      {"step into and out of a folder", "/app", "src/../lib/./a.bas", "/app/lib/a.bas"},
      {"folder given with steps", "/app/x/..", "src", "/app/src"},
      {"trailing separator kept when written", "/app", "src/", "/app/src/"},
      {"above the root stays at the root", "/", "../a.txt", "/a.txt"},
      {"folder ending in a separator", "/", "a.txt", "/a.txt"},
      {"absolute unchanged", "/app", "/var/h.txt", "/var/h.txt"},
      {"empty path stays empty", "/app", "", ""},
      {"no folder: unchanged", "", "h.txt", "h.txt"},
      {"blanks are a name", "/app", "  ", "/app/  "},
  };
  for (const auto& [name, folder, path, expected] : cases) {
    SCOPED_TRACE(name);
    EXPECT_EQ(ResolveFrom(folder, path), expected);
  }
}

TEST_F(FileUtilsTest, WriteTruncatesOrAppendsWithCrLf) {
  std::string path = dir_.Write("head.txt", "old content that is longer\r\n");
  EXPECT_TRUE(WriteTextFile("new", path, false, dir_.path().string(), notifier_));
  EXPECT_EQ(ReadBytes(path), "new\r\n");
  WriteTextFile("second \xC3\xA9", path, true, dir_.path().string(), notifier_);
  EXPECT_EQ(ReadBytes(path), "new\r\nsecond \xC3\xA9\r\n");
  std::string fresh = dir_.Path("fresh.txt");
  WriteTextFile("", fresh, true, dir_.path().string(), notifier_);
  EXPECT_EQ(ReadBytes(fresh), "\r\n");
  EXPECT_TRUE(notifier_.messages.empty());
}

TEST_F(FileUtilsTest, EmptyNameWritesString1InTheApplicationFolder) {
  std::string name;
  WriteTextFile("line", name, false, dir_.path().string(), notifier_);
  EXPECT_EQ(name, dir_.path().string() + "/String1.txt");
  EXPECT_EQ(ReadBytes(name), "line\r\n");
  EXPECT_TRUE(notifier_.messages.empty());
}

TEST_F(FileUtilsTest, FailedWritesShowTheWriteBox) {
  const std::string file = dir_.Write("plain.txt", "abc");
  struct Case {
    const char* name;
    std::string target;
    const char* cause;  // named after the file
  };
  const std::vector<Case> cases = {
      {"missing folder", dir_.Path("no/such/folder/out.txt"), "No such file or directory"},
      {"a folder", dir_.MakeDir("folder"), "Is a directory"},
      {"path through a file", file + "/out.txt", "Not a directory"},
      // Opening succeeds; the bytes are lost only when they are flushed.
      {"disk full", "/dev/full", "No space left on device"},
  };
  for (const auto& [name, target, cause] : cases) {
    SCOPED_TRACE(name);
    for (bool append : {false, true}) {
      notifier_.messages.clear();
      std::string path = target;
      EXPECT_FALSE(WriteTextFile("text", path, append, dir_.path().string(), notifier_));
      EXPECT_EQ(path, target);
      ASSERT_EQ(notifier_.messages.size(), 1u);
      EXPECT_EQ(notifier_.messages[0], texts::WriteFailed(target, cause));
      EXPECT_EQ(notifier_.messages[0].text, "An error occurred writing to file... \"" + target + "\": " + cause);
    }
  }
}

TEST_F(FileUtilsTest, EmptyNameInMissingFolderHandsBackThePathAndShowsTheBox) {
  std::string name;
  WriteTextFile("line", name, false, dir_.Path("missing"), notifier_);
  EXPECT_EQ(name, dir_.Path("missing") + "/String1.txt");
  ASSERT_EQ(notifier_.messages.size(), 1u);
  EXPECT_EQ(notifier_.messages[0].text,
            "An error occurred writing to file... \"" + name + "\": No such file or directory");
}

}  // namespace
}  // namespace corvanne
