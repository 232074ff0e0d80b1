// File services: sizes (64-bit, errors as boxes), extensions split over the
// whole name, and the one-line write, byte for byte.
#include "common/file_utils.hpp"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <tuple>

#include "common/message_texts.hpp"
#include "common/platform.hpp"
#include "testing/temp_dir.hpp"

namespace corvanne {
namespace {

using testing::Native;
using testing::Rooted;
using testing::ReadBytes;
using testing::TempDir;

class FileUtilsTest : public ::testing::Test {
 protected:
  TempDir dir_;
  RecordingNotifier notifier_;
};

TEST_F(FileUtilsTest, LookAtOrdinaryFilesGivesTheirSize) {
  for (const auto& [name, bytes] : std::vector<std::pair<const char*, std::string>>{
           {"empty.bas", ""}, {"one.bas", "x"}, {"crlf.bas", "a\r\nb\r\n"}}) {
    SCOPED_TRACE(name);
    const FileLook look = LookAtFile(dir_.Write(name, bytes));
    EXPECT_TRUE(look.IsRegular());
    EXPECT_EQ(look.size, static_cast<int64_t>(bytes.size()));
  }
}

#ifndef _WIN32  // POSIX only
// "Cannot tell" and "not a file" are kinds of their own, never a size of 0;
// each names its cause and the platform's number for it.
TEST_F(FileUtilsTest, LookAtEntriesWithoutASizeSaysWhy) {
  const std::string file = dir_.Write("plain.txt", "abc");
  const std::string fifo = dir_.Path("pipe.bas");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  const std::string dangling = dir_.Path("dangling.bas");
  std::filesystem::create_symlink(dir_.Path("nowhere.bas"), dangling);
  using Kind = FileLook::Kind;
  const std::vector<std::tuple<const char*, std::string, Kind, int, std::string>> cases = {
      {"missing file", dir_.Path("gone.bas"), Kind::kMissing, ENOENT, "No such file or directory"},
      {"dangling link", dangling, Kind::kMissing, ENOENT, "No such file or directory"},
      {"a folder", dir_.MakeDir("sub.bas"), Kind::kNotRegular, EISDIR, "Is a directory"},
      {"a path through a file", file + "/inner.bas", Kind::kMissing, ENOTDIR, "Not a directory"},
      {"a pipe", fifo, Kind::kNotRegular, EOPNOTSUPP, "a FIFO, not a regular file"},
      {"a device", "/dev/null", Kind::kNotRegular, EOPNOTSUPP, "a device, not a regular file"},
  };
  for (const auto& [name, path, kind, number, cause] : cases) {
    SCOPED_TRACE(name);
    const FileLook look = LookAtFile(path);
    EXPECT_EQ(look.kind, kind);
    EXPECT_EQ(look.error_number, number);
    EXPECT_EQ(look.cause, cause);
  }
}
#endif  // _WIN32

TEST_F(FileUtilsTest, SparseFileOfThreeGibibytesHasItsFullSize) {
  const std::string path = dir_.Path("big.bas");
  constexpr int64_t kSize = int64_t{3} << 30;
  {
    std::ofstream out(path, std::ios::binary);
  }
  std::filesystem::resize_file(path, static_cast<std::uintmax_t>(kSize));
  EXPECT_EQ(LookAtFile(path).size, kSize);
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

TEST(ResolveFromTest, PathsAreTakenFromTheFolderAndSpelledOnce) {
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
      {"absolute kept", "/app", "/var/h.txt", "/var/h.txt"},
      {"absolute, doubled separator", "/app", "/data/src//mirror", "/data/src/mirror"},
      {"absolute, dot step", "", "/data/src/./mirror", "/data/src/mirror"},
      {"absolute, step out and back", "/app", "/data/x/../src/mirror", "/data/src/mirror"},
      {"empty path stays empty", "/app", "", ""},
      {"no folder: unchanged", "", "h.txt", "h.txt"},
      {"blanks are a name", "/app", "  ", "/app/  "},
  };
  for (const auto& [name, folder, path, expected] : cases) {
    SCOPED_TRACE(name);
    EXPECT_EQ(ResolveFrom(Rooted(folder), Rooted(path)), Rooted(expected));
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

// The header file kept open for a run holds exactly its last line, however
// the lengths of the lines before it went.
TEST_F(FileUtilsTest, LineFileHoldsExactlyItsLastLine) {
  const std::string path = dir_.Write("head.txt", "what an earlier run left, longer than any line below\r\n");
  LineFile file;
  for (const char* line : {"BEGINS 1 long", "DONE 1", "BEGINS 2 longer still", "BEGINS 3 x", "DONE 3"}) {
    SCOPED_TRACE(line);
    ASSERT_TRUE(file.Write(line, path, notifier_));
    EXPECT_EQ(ReadBytes(path), std::string(line) + "\r\n");
  }
  EXPECT_TRUE(notifier_.messages.empty());
}

TEST_F(FileUtilsTest, EmptyNameWritesString1InTheApplicationFolder) {
  std::string name;
  WriteTextFile("line", name, false, dir_.path().string(), notifier_);
  EXPECT_EQ(name, dir_.Path("String1.txt"));
  EXPECT_EQ(ReadBytes(name), "line\r\n");
  EXPECT_TRUE(notifier_.messages.empty());
}

#ifndef _WIN32  // POSIX only
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
#endif  // _WIN32

TEST_F(FileUtilsTest, EmptyNameInMissingFolderHandsBackThePathAndShowsTheBox) {
  std::string name;
  WriteTextFile("line", name, false, dir_.Path("missing"), notifier_);
  EXPECT_EQ(name, dir_.Path("missing/String1.txt"));
  ASSERT_EQ(notifier_.messages.size(), 1u);
  EXPECT_EQ(notifier_.messages[0].text,
            "An error occurred writing to file... \"" + name + "\": No such file or directory");
}

}  // namespace
}  // namespace corvanne
