// The walk where the file system is unusual: folder links (loops, links out
// of the tree), links to files, and folders whose contents cannot be listed.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

#include "discovery/discovery.hpp"
#include "discovery_testing.hpp"

namespace corvanne {
namespace {

namespace fs = std::filesystem;
using testing::MakeTree;

class WalkEdgeTest : public ::testing::Test {
 protected:
  std::string P(std::string_view relative) const { return dir_.Path(relative); }

  // Collects the run's files below `listed` with recursion on.
  ItemList RunFiles(const std::string& listed) const {
    SourceSettings source;
    source.FoldersSepChar = ";";
    source.FoldersList = listed;
    source.FileExtensions = "BAS";
    return CollectRunFiles(source, progress_);
  }

  testing::TempDir dir_;
  mutable NoProgress progress_;
};

TEST_F(WalkEdgeTest, FolderLinkBackIntoTheWalkIsNeitherListedNorEntered) {
  MakeTree(dir_, {"A/X/x.bas", "A/Z/z.bas", "Out/Deep/o.bas"});
  fs::create_directory_symlink(P("A"), P("A/X/back"));      // loops to the listed folder
  fs::create_directory_symlink(P("A/X"), P("A/Z/sibling"));  // to a folder already walked
  fs::create_directory_symlink(P("Out"), P("A/Z/out"));      // leaves the tree: walked like a folder
  fs::create_directory_symlink(P("Out"), P("A/Z/out2"));     // same outside folder again: passed over

  ItemList folders;
  CollectFolders(";", P("A"), true, folders, progress_);
  EXPECT_EQ(folders, (ItemList{P("A/X"), P("A/Z"), P("A/Z/out"), P("A/Z/out/Deep")}));

  EXPECT_EQ(RunFiles(P("A")), (ItemList{P("A/X/x.bas"), P("A/Z/z.bas"), P("A/Z/out/Deep/o.bas")}));
}

// A real folder is walked whatever links lead to it, and a link into any of
// the listed trees is never followed: its target is walked by its own path.
TEST_F(WalkEdgeTest, RealFoldersAreWalkedAndLinksIntoTheListedTreesAreNot) {
  MakeTree(dir_, {"A/X/x.bas", "C/S/c.bas", "Out/o.bas"});
  fs::create_directory_symlink(P("A/X"), P("A/B"));     // before "X" in byte order: X is walked all the same
  fs::create_directory_symlink(P("A/X"), P("A/link"));  // after "X"
  fs::create_directory_symlink(P("C/S"), P("A/toC"));   // into the other listed tree
  fs::create_directory_symlink(P("Out"), P("C/out"));   // out of both trees: followed
  ItemList folders;
  CollectFolders(";", P("A") + ";" + P("C"), true, folders, progress_);
  EXPECT_EQ(folders, (ItemList{P("A/X"), P("C/S"), P("C/out")}));
  // A folder listed twice is walked twice, as any repeated entry, links included.
  EXPECT_EQ(RunFiles(P("C") + ";" + P("C")),
            (ItemList{P("C/S/c.bas"), P("C/out/o.bas"), P("C/S/c.bas"), P("C/out/o.bas")}));
}

TEST_F(WalkEdgeTest, LinksToFilesAreFilesAndDanglingLinksAreListed) {
  MakeTree(dir_, {"A/S/real.bas", "Elsewhere/target.bas"});
  fs::create_symlink(P("Elsewhere/target.bas"), P("A/S/linked.bas"));
  fs::create_symlink(P("nowhere.bas"), P("A/S/dangling.bas"));
  fs::create_symlink(P("Elsewhere"), P("A/S/folder.bas"));  // a folder, whatever its name
  // A dangling link is listed so that the run reports it cannot be read
  // rather than leaving it out without a word.
  EXPECT_EQ(RunFiles(P("A")), (ItemList{P("A/S/dangling.bas"), P("A/S/linked.bas"), P("A/S/real.bas"),
                                        P("A/S/folder.bas/target.bas")}));
}

// Creates a chain of folders below `root` whose full path grows beyond what
// the system accepts in one path; removes it again on destruction.
class TooDeepChain {
 public:
  explicit TooDeepChain(const std::string& root) : root_(root) {
    int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY);
    while (fd >= 0 && depth_ * (kName.size() + 1) + root.size() < PATH_MAX + kName.size()) {
      mkdirat(fd, kName.c_str(), 0755);
      const int next = openat(fd, kName.c_str(), O_RDONLY | O_DIRECTORY);
      close(fd);
      fd = next;
      ++depth_;
    }
    if (fd >= 0) close(fd);
  }
  ~TooDeepChain() { RemoveBelow(open(root_.c_str(), O_RDONLY | O_DIRECTORY), depth_); }
  TooDeepChain(const TooDeepChain&) = delete;
  TooDeepChain& operator=(const TooDeepChain&) = delete;

  static inline const std::string kName = std::string(200, 'd');

 private:
  static void RemoveBelow(int fd, size_t depth) {
    if (fd < 0) return;
    if (depth > 1) RemoveBelow(openat(fd, kName.c_str(), O_RDONLY | O_DIRECTORY), depth - 1);
    unlinkat(fd, kName.c_str(), AT_REMOVEDIR);
    close(fd);
  }

  std::string root_;
  size_t depth_ = 0;
};

TEST_F(WalkEdgeTest, FolderTooDeepToListEndsTheWalkNamingFolderAndCause) {
  const std::string root = dir_.MakeDir("Deep");
  TooDeepChain chain(root);
  ItemList folders;
  try {
    CollectFolders(";", root, true, folders, progress_);
    FAIL() << "the walk went on past a folder it could not list";
  } catch (const WalkError& error) {
    const std::string what = error.what();
    EXPECT_EQ(what.rfind("cannot list folder \"" + root + "/" + TooDeepChain::kName + "/", 0), 0u) << what;
    EXPECT_NE(what.find("\": File name too long"), std::string::npos) << what;
  }
  EXPECT_FALSE(folders.empty());  // what came before the failure was walked
}

// Runs `walk` in a child process that, when started as root, first gives
// up root's right to read every folder (it becomes "nobody"). Returns what
// the walk threw, "no error", or a note on what went wrong.
std::string WalkErrorUnprivileged(const std::function<void()>& walk) {
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) return "pipe failed";
  const pid_t child = fork();
  if (child == 0) {
    close(pipe_fds[0]);
    std::string seen = "no error";
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
      seen = "cannot leave root";
    } else {
      try {
        walk();
      } catch (const WalkError& error) {
        seen = error.what();
      } catch (...) {
        seen = "another exception";
      }
    }
    const ssize_t written = write(pipe_fds[1], seen.data(), seen.size());
    _exit(written == static_cast<ssize_t>(seen.size()) ? 0 : 1);
  }
  close(pipe_fds[1]);
  std::string seen;
  char buffer[512];
  for (ssize_t got; (got = read(pipe_fds[0], buffer, sizeof buffer)) > 0;) seen.append(buffer, got);
  close(pipe_fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return seen;
}

TEST_F(WalkEdgeTest, UnreadableFolderEndsTheWalkNamingFolderAndCause) {
  MakeTree(dir_, {"A/Locked/x.bas", "A/Open/y.bas"});
  // Whoever runs the walk may pass through to the locked folder.
  fs::permissions(dir_.path(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
  for (const char* open_folder : {"A", "A/Open"}) {
    fs::permissions(P(open_folder), fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
  }
  fs::permissions(P("A/Locked"), fs::perms::none);
  const std::string expected = "cannot list folder \"" + P("A/Locked") + "\": Permission denied";

  EXPECT_EQ(WalkErrorUnprivileged([this] { RunFiles(P("A")); }), expected);
  EXPECT_EQ(WalkErrorUnprivileged([this] {
              ItemList selected;
              WalkFolder(P("A/Locked"), "FILES", "", "", "BAS", selected);
            }),
            expected);
  EXPECT_EQ(WalkErrorUnprivileged([this] {
              ItemList selected;
              SelectFiles({P("A/Open"), P("A/Locked")}, "BAS", "", "", selected, progress_);
            }),
            expected);
}

}  // namespace
}  // namespace corvanne
