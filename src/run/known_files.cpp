// The compact record of a re-load run's known files; see known_files.hpp.
#include "run/known_files.hpp"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace corvanne {

namespace {

// Big enough that the blocks cost nothing beside the names; small enough
// that a table of a few files stays small.
constexpr std::size_t kBlockSize = 64 * 1024;
constexpr char kHexDigits[] = "0123456789abcdef";

int HexValue(char digit) {
  if (digit >= '0' && digit <= '9') return digit - '0';
  if (digit >= 'a' && digit <= 'f') return digit - 'a' + 10;
  return -1;  // upper case too: hashes are only ever written in lower case
}

bool ParseHash(const std::string& hex, std::array<uint8_t, 16>& hash) {
  if (hex.size() != 2 * hash.size()) return false;
  for (std::size_t i = 0; i < hash.size(); ++i) {
    const int high = HexValue(hex[2 * i]);
    const int low = HexValue(hex[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    hash[i] = static_cast<uint8_t>(high * 16 + low);
  }
  return true;
}

bool NameBefore(const KnownFiles::Entry& a, const KnownFiles::Entry& b) {
  // Of two entries of one name the recorded one comes first and stays.
  const int order = a.Name().compare(b.Name());
  return order < 0 || (order == 0 && a.recorded && !b.recorded);
}

}  // namespace

const char* KnownFiles::Keep(std::string_view name) {
  if (name.size() > UINT32_MAX) throw std::length_error("file name too long");
  if (name.size() > room_) {
    const std::size_t size = std::max(kBlockSize, name.size());
    blocks_.push_back(std::make_unique<char[]>(size));
    free_ = blocks_.back().get();
    room_ = size;
  }
  char* kept = free_;
  if (!name.empty()) std::memcpy(kept, name.data(), name.size());
  free_ += name.size();
  room_ -= name.size();
  return kept;
}

void KnownFiles::AddRecorded(const FileState& state) {
  Entry entry;
  entry.name_data = Keep(state.file_name);
  entry.name_size = static_cast<uint32_t>(state.file_name.size());
  entry.recorded = true;
  entry.size = state.size;
  entry.modified_time = state.modified_time;
  entry.checked_time = state.checked_time;
  entry.hashed = ParseHash(state.content_hash, entry.hash);
  entries_.push_back(entry);
}

void KnownFiles::AddName(std::string_view name) {
  const auto sealed_end = entries_.begin() + static_cast<std::ptrdiff_t>(sealed_);
  const auto at = std::lower_bound(entries_.begin(), sealed_end, name,
                                   [](const Entry& entry, std::string_view key) { return entry.Name() < key; });
  if (at != sealed_end && at->Name() == name) return;
  Entry entry;
  entry.name_data = Keep(name);
  entry.name_size = static_cast<uint32_t>(name.size());
  entries_.push_back(entry);
}

void KnownFiles::Seal() {
  std::sort(entries_.begin(), entries_.end(), NameBefore);
  const auto last = std::unique(entries_.begin(), entries_.end(),
                                [](const Entry& a, const Entry& b) { return a.Name() == b.Name(); });
  entries_.erase(last, entries_.end());
  // Held for the whole run, beside the walk's list: the growth room goes.
  entries_.shrink_to_fit();
  sealed_ = entries_.size();
}

void KnownFiles::Clear() {
  entries_.clear();
  blocks_.clear();
  free_ = nullptr;
  room_ = 0;
  sealed_ = 0;
}

KnownFiles::Entry* KnownFiles::Find(std::string_view name) {
  const auto sealed_end = entries_.begin() + static_cast<std::ptrdiff_t>(sealed_);
  const auto at = std::lower_bound(entries_.begin(), sealed_end, name,
                                   [](const Entry& entry, std::string_view key) { return entry.Name() < key; });
  return at != sealed_end && at->Name() == name ? &*at : nullptr;
}

FileState KnownFiles::StateOf(const Entry& entry) {
  FileState state;
  state.file_name = std::string(entry.Name());
  state.size = entry.size;
  state.modified_time = entry.modified_time;
  state.checked_time = entry.checked_time;
  if (entry.hashed) {
    state.content_hash.reserve(2 * entry.hash.size());
    for (const uint8_t byte : entry.hash) {
      state.content_hash += kHexDigits[byte >> 4];
      state.content_hash += kHexDigits[byte & 0x0f];
    }
  }
  return state;
}

}  // namespace corvanne
