// File sizes, times and content hashes for re-loads; see file_fingerprint.hpp.
#include "run/file_fingerprint.hpp"

#include <xxhash.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <vector>

#include "common/platform.hpp"

namespace corvanne {

namespace {

struct HashStateDeleter {
  void operator()(XXH3_state_t* state) const { XXH3_freeState(state); }
};

std::string Hex(const XXH128_hash_t& hash) {
  char text[33];
  std::snprintf(text, sizeof text, "%016llx%016llx", static_cast<unsigned long long>(hash.high64),
                static_cast<unsigned long long>(hash.low64));
  return text;
}

}  // namespace

bool HashFile(const std::string& path, std::string& hash, std::string& error) {
  std::ifstream in(PathFromText(path), std::ios::binary);
  const std::unique_ptr<XXH3_state_t, HashStateDeleter> state(XXH3_createState());
  if (!in || state == nullptr || XXH3_128bits_reset(state.get()) != XXH_OK) {
    error = "cannot open \"" + path + "\" to compare it with what was loaded";
    return false;
  }
  std::vector<char> buffer(1 << 16);
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    const auto got = static_cast<std::size_t>(in.gcount());
    if (got > 0 && XXH3_128bits_update(state.get(), buffer.data(), got) != XXH_OK) break;
  }
  if (!in.eof()) {
    error = "cannot read \"" + path + "\" to compare it with what was loaded";
    return false;
  }
  hash = Hex(XXH3_128bits_digest(state.get()));
  return true;
}

bool IsAsRecorded(const FileState& known, FileState& now, std::string& error) {
  if (known.size < 0 || known.content_hash.empty()) return false;
  if (known.size != now.size) return false;
  if (TimeVouches(known.size, known.modified_time, known.checked_time, now.size, now.modified_time)) return true;
  if (now.content_hash.empty() && !HashFile(now.file_name, now.content_hash, error)) return false;
  return now.content_hash == known.content_hash;
}

}  // namespace corvanne
