// Whether a file is as it was when it was last loaded: its size and time
// decide quickly, its content hash decides when they differ or cannot be
// trusted.
#pragma once

#include <cstdint>
#include <string>

#include "destination/file_state.hpp"

namespace corvanne {

// A file time this close to the moment it was read (or later) may hide an
// edit made in the same clock tick after the read: size and time alone
// cannot vouch for such a file, its hash must.
inline constexpr int64_t kUnreliableTimeNanoseconds = 2'000'000'000;

// True when size and time alone vouch for a file recorded with
// `recorded_size` and `recorded_time` at `checked_time`: both as recorded,
// and the time well before the record was made.
inline bool TimeVouches(int64_t recorded_size, int64_t recorded_time, int64_t checked_time, int64_t size,
                        int64_t time) {
  return recorded_size == size && recorded_time == time && recorded_time < checked_time - kUnreliableTimeNanoseconds;
}

// The XXH3-128 hash of the bytes of `path` as 32 lower-case hex digits.
// False with `error` set (naming the file) when it cannot be read.
bool HashFile(const std::string& path, std::string& hash, std::string& error);

// True when `now` (size and time from one look at now.file_name) is the
// content `known` records:
// same size and time recorded well after that time, or else the same hash.
// Fills now.content_hash when it had to hash. False when the file differs,
// when `known` records no finished load, or when the file cannot be read
// (then `error` is set).
bool IsAsRecorded(const FileState& known, FileState& now, std::string& error);

}  // namespace corvanne
