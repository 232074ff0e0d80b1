// When a file counts as unchanged: size and time recorded well after the
// time, or else the same hash.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/platform.hpp"
#include "run/file_fingerprint.hpp"
#include "testing/temp_dir.hpp"

namespace corvanne {
namespace {

TEST(FileFingerprintTest, SizeAndTimeDecideOnlyWhenTheyCanBeTrusted) {
  testing::TempDir dir;
  const std::string path = dir.Write("a.bas", "x = 1\r\n");
  const FileLook look = LookAtFile(path);
  ASSERT_TRUE(look.IsRegular()) << look.cause;
  FileState now{path, look.size, look.modified_ns, "", 0, "", 0};
  std::string error;
  EXPECT_EQ(now.size, 7);
  std::string hash;
  ASSERT_TRUE(HashFile(path, hash, error));
  EXPECT_EQ(hash.size(), 32u);
  const int64_t later = now.modified_time + 10 * kUnreliableTimeNanoseconds;
  const std::string other_hash(32, '0');

  struct Case {
    const char* name;
    FileState known;
    bool unchanged;
  } cases[] = {
      {"same size and old time: the hash is not read", {path, 7, now.modified_time, other_hash, 1, "b", later}, true},
      {"same size and time, read in the same second: the hash decides",
       {path, 7, now.modified_time, other_hash, 1, "b", now.modified_time}, false},
      {"time differs, same bytes", {path, 7, now.modified_time - 5, hash, 1, "b", later}, true},
      {"time differs, other bytes", {path, 7, now.modified_time - 5, other_hash, 1, "b", later}, false},
      {"size differs", {path, 8, now.modified_time, hash, 1, "b", later}, false},
      {"a load that did not finish", {path, -1, now.modified_time, "", 0, "", later}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FileState fresh = now;
    EXPECT_EQ(IsAsRecorded(c.known, fresh, error), c.unchanged);
  }
  std::filesystem::remove(path);
  EXPECT_EQ(LookAtFile(path).kind, FileLook::Kind::kMissing);
}

}  // namespace
}  // namespace corvanne
