// What a re-load run keeps of each file the table held before the walk. A
// tree of 200,000 files is held whole for the run, so each file costs a
// fixed record and its name, stored once in shared blocks, and no more.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "destination/file_state.hpp"

namespace corvanne {

class KnownFiles {
 public:
  struct Entry {
    std::string_view Name() const { return {name_data, name_size}; }

    const char* name_data = nullptr;  // in the blocks of the KnownFiles that holds the entry
    uint32_t name_size = 0;
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
  const std::vector<Entry>& Entries() const { return entries_; }
  bool Empty() const { return entries_.empty(); }

  // `entry` as a companion row, for comparing with the file as it is now.
  static FileState StateOf(const Entry& entry);

 private:
  // `name` copied into the blocks; stays where it is until Clear().
  const char* Keep(std::string_view name);

  std::vector<std::unique_ptr<char[]>> blocks_;
  char* free_ = nullptr;    // the rest of the last block
  std::size_t room_ = 0;    // bytes at free_
  std::vector<Entry> entries_;
  std::size_t sealed_ = 0;  // entries_ up to here are in name order
};

}  // namespace corvanne
