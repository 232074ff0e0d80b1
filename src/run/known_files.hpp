// What a re-load run keeps of each file the table held before the walk. A
// tree of 200,000 files is held whole for the run, so each file costs a
// fixed record and the last part of its name, and each folder its name once.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "destination/file_state.hpp"

namespace corvanne {

class KnownFiles {
 public:
  struct Entry {
    std::string_view Leaf() const { return {leaf_data, leaf_size}; }

    const char* leaf_data = nullptr;  // the name after its folder, in the blocks of its KnownFiles
    uint32_t leaf_size = 0;
    uint32_t folder = 0;              // the name up to its last separator, in folders_
    bool recorded = false;            // it has a companion row (else only rows)
    bool seen = false;                // the walk listed it this run
    bool hashed = false;              // `hash` holds the recorded content hash
    int64_t size = -1;                // -1: no finished load recorded
    int64_t modified_time = 0;
    int64_t checked_time = 0;
    std::array<uint8_t, 16> hash = {};
  };

  KnownFiles() = default;
  KnownFiles(const KnownFiles&) = delete;  // entries point into the blocks
  KnownFiles& operator=(const KnownFiles&) = delete;

  // Keeps `state`, a companion row; a recorded hash that is not 32
  // lower-case hex digits is kept as none (the file is then hashed again).
  void AddRecorded(const FileState& state);
  // Keeps `name`, which has rows, unless a companion row of it was added
  // before the last Seal().
  void AddName(std::string_view name);
  // Makes what was added since the last call searchable.
  void Seal();
  void Clear();

  // The entry stored as `name`; nullptr when none (or not sealed yet).
  Entry* Find(std::string_view name);
  // In no order that means anything outside.
  const std::deque<Entry>& Entries() const { return entries_; }
  bool Empty() const { return entries_.empty(); }

  // The name `entry` is stored as.
  std::string NameOf(const Entry& entry) const;
  // `entry` as a companion row, for comparing with the file as it is now.
  FileState StateOf(const Entry& entry) const;

 private:
  // `text` copied into the blocks; stays where it is until Clear().
  const char* Keep(std::string_view text);
  // The entry `name` would be, without its record; folder is kNoFolder when
  // no name so far has that folder.
  Entry KeyOf(std::string_view name) const;
  // Adds `name`'s entry, its folder too when new.
  Entry& Add(std::string_view name);

  static constexpr uint32_t kNoFolder = UINT32_MAX;

  std::vector<std::unique_ptr<char[]>> blocks_;
  char* free_ = nullptr;    // the rest of the last block
  std::size_t room_ = 0;    // bytes at free_
  std::vector<std::string_view> folders_;                  // in the blocks, by number
  std::unordered_map<std::string_view, uint32_t> folder_numbers_;
  // Not a vector: growing one by doubling would hold it up to three times
  // over for a moment, beside the walk's list when --list reads it last.
  std::deque<Entry> entries_;
  std::size_t sealed_ = 0;  // entries_ up to here are in order (folder number, leaf)
};

}  // namespace corvanne
