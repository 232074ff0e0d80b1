// The compact record of the files a re-load run knows: one entry per name
// (the companion row winning over a name that only has rows), the hash
// kept exactly, and names that outgrow a block kept whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "run/known_files.hpp"

namespace corvanne {
namespace {

FileState Row(const std::string& name, const std::string& hash) {
  FileState state;
  state.file_name = name;
  state.size = 7;
  state.modified_time = 11;
  state.checked_time = 13;
  state.content_hash = hash;
  return state;
}

TEST(KnownFilesTest, OneEntryPerNameAndTheRecordedOneWins) {
  KnownFiles known;
  known.AddRecorded(Row("/t/b.bas", ""));
  known.AddRecorded(Row("/t/a.bas", ""));
  known.Seal();
  // Names the table holds, read after the rows: doubles of recorded names,
  // a new one twice, and one that sorts between.
  for (const char* name : {"/t/a.bas", "/t/c.bas", "/t/b.bas", "/t/c.bas", "/t/ab.bas", "", "/t/s/a.bas", "a.bas",
                           "C:\\t\\a.bas"}) {
    known.AddName(name);
  }
  known.Seal();

  std::vector<std::string> names;
  for (const KnownFiles::Entry& entry : known.Entries()) names.push_back(known.NameOf(entry));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"", "/t/a.bas", "/t/ab.bas", "/t/b.bas", "/t/c.bas", "/t/s/a.bas",
                                             "C:\\t\\a.bas", "a.bas"}));
  const struct {
    const char* name;
    bool found;
    bool recorded;
  } cases[] = {{"/t/a.bas", true, true},    {"/t/b.bas", true, true},      {"/t/c.bas", true, false},
               {"/t/ab.bas", true, false},  {"", true, false},             {"/t/a.ba", false, false},
               {"/t/s/a.bas", true, false}, {"a.bas", true, false},        {"C:\\t\\a.bas", true, false},
               {"/u/a.bas", false, false},  {"/t/", false, false},         {"/t/s", false, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const KnownFiles::Entry* entry = known.Find(c.name);
    ASSERT_EQ(entry != nullptr, c.found);
    if (entry != nullptr) {
      EXPECT_EQ(entry->recorded, c.recorded);
    }
  }
  known.Find("/t/c.bas")->seen = true;
  EXPECT_TRUE(known.Find("/t/c.bas")->seen);
  known.Clear();
  EXPECT_TRUE(known.Empty());
  EXPECT_EQ(known.Find("/t/a.bas"), nullptr);
}

TEST(KnownFilesTest, TheRecordedStateComesBackAsItWasRead) {
  const std::string hash = "0123456789abcdef00ff7f80a5c3e1d9";
  const struct {
    std::string stored;
    std::string back;  // a hash this run could not have written is none: the file is hashed again
  } cases[] = {{hash, hash},
               {"", ""},
               {"0123456789ABCDEF00FF7F80A5C3E1D9", ""},
               {hash.substr(1), ""},
               {hash + "0", ""},
               {"0123456789abcdeg00ff7f80a5c3e1d9", ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stored);
    KnownFiles known;
    known.AddRecorded(Row("/t/a.bas", c.stored));
    known.Seal();
    const FileState back = known.StateOf(*known.Find("/t/a.bas"));
    EXPECT_EQ(back, (FileState{"/t/a.bas", 7, 11, c.back, 0, "", 13}));
  }
}

TEST(KnownFilesTest, NamesKeepTheirTextAcrossManyBlocks) {
  KnownFiles known;
  std::vector<std::string> names;
  // Longer than a block, and enough short ones to fill several.
  names.push_back("/t/" + std::string(100000, 'x') + ".bas");
  names.push_back("/t/" + std::string(70000, 'y') + "/f.bas");
  for (int i = 0; i < 20000; ++i) names.push_back("/t/folder" + std::to_string(i % 97) + "/f" + std::to_string(i));
  for (const std::string& name : names) known.AddRecorded(Row(name, ""));
  known.Seal();
  ASSERT_EQ(known.Entries().size(), names.size());
  for (const std::string& name : names) {
    const KnownFiles::Entry* entry = known.Find(name);
    ASSERT_NE(entry, nullptr) << name.substr(0, 40);
    EXPECT_EQ(known.NameOf(*entry), name);
  }
}

}  // namespace
}  // namespace corvanne
