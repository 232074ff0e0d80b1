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

// By folder number, then by the rest of the name; of two entries of one
// name the recorded one comes first and stays.
bool Before(const KnownFiles::Entry& a, const KnownFiles::Entry& b) {
  if (a.folder != b.folder) return a.folder < b.folder;
  const int order = a.Leaf().compare(b.Leaf());
  return order < 0 || (order == 0 && a.recorded && !b.recorded);
}

bool KeyBefore(const KnownFiles::Entry& a, const KnownFiles::Entry& b) {
  return a.folder != b.folder ? a.folder < b.folder : a.Leaf() < b.Leaf();
}

bool SameName(const KnownFiles::Entry& a, const KnownFiles::Entry& b) {
  return a.folder == b.folder && a.Leaf() == b.Leaf();
}

// Where `name`'s folder ends: after its last separator of either kind (any
// cut would do, as long as every name is cut alike).
std::size_t FolderEnd(std::string_view name) {
  const std::size_t separator = name.find_last_of("/\\");
  return separator == std::string_view::npos ? 0 : separator + 1;
}

}  // namespace

const char* KnownFiles::Keep(std::string_view text) {
  if (text.size() > UINT32_MAX) throw std::length_error("file name too long");
  if (text.size() > room_) {
    const std::size_t size = std::max(kBlockSize, text.size());
    blocks_.push_back(std::make_unique<char[]>(size));
    free_ = blocks_.back().get();
    room_ = size;
  }
  char* kept = free_;
  if (!text.empty()) std::memcpy(kept, text.data(), text.size());
  free_ += text.size();
  room_ -= text.size();
  return kept;
}

KnownFiles::Entry KnownFiles::KeyOf(std::string_view name) const {
  const std::size_t cut = FolderEnd(name);
  Entry key;
  const auto folder = folder_numbers_.find(name.substr(0, cut));
  key.folder = folder == folder_numbers_.end() ? kNoFolder : folder->second;
  key.leaf_data = name.data() + cut;
  key.leaf_size = static_cast<uint32_t>(name.size() - cut);
  return key;
}

KnownFiles::Entry& KnownFiles::Add(std::string_view name) {
  Entry entry = KeyOf(name);
  if (entry.folder == kNoFolder) {
    const std::string_view folder(Keep(name.substr(0, FolderEnd(name))), FolderEnd(name));
    entry.folder = static_cast<uint32_t>(folders_.size());
    folders_.push_back(folder);
    folder_numbers_.emplace(folder, entry.folder);
  }
  entry.leaf_data = Keep(entry.Leaf());
  return entries_.emplace_back(entry);
}

void KnownFiles::AddRecorded(const FileState& state) {
  Entry& entry = Add(state.file_name);
  entry.recorded = true;
  entry.size = state.size;
  entry.modified_time = state.modified_time;
  entry.checked_time = state.checked_time;
  entry.hashed = ParseHash(state.content_hash, entry.hash);
}

void KnownFiles::AddName(std::string_view name) {
  if (Find(name) == nullptr) Add(name);
}

void KnownFiles::Seal() {
  std::sort(entries_.begin(), entries_.end(), Before);
  entries_.erase(std::unique(entries_.begin(), entries_.end(), SameName), entries_.end());
  sealed_ = entries_.size();
}

void KnownFiles::Clear() {
  entries_.clear();
  folders_.clear();
  folder_numbers_.clear();
  blocks_.clear();
  free_ = nullptr;
  room_ = 0;
  sealed_ = 0;
}

KnownFiles::Entry* KnownFiles::Find(std::string_view name) {
  const Entry key = KeyOf(name);
  if (key.folder == kNoFolder) return nullptr;
  const auto sealed_end = entries_.begin() + static_cast<std::ptrdiff_t>(sealed_);
  const auto at = std::lower_bound(entries_.begin(), sealed_end, key, KeyBefore);
  return at != sealed_end && SameName(*at, key) ? &*at : nullptr;
}

std::string KnownFiles::NameOf(const Entry& entry) const {
  std::string name(folders_.at(entry.folder));
  name += entry.Leaf();
  return name;
}

FileState KnownFiles::StateOf(const Entry& entry) const {
  FileState state;
  state.file_name = NameOf(entry);
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
