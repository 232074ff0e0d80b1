// Scratch folders for tests; see temp_dir.hpp.
#include "testing/temp_dir.hpp"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "common/platform.hpp"

namespace corvanne::testing {

namespace fs = std::filesystem;

TempDir::TempDir() {
#ifdef _WIN32
  // No mkdtemp: a random name, taken only when create_directory made it.
  std::random_device seed;
  std::mt19937_64 random(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path candidate = fs::temp_directory_path() / ("corvanne-test-" + std::to_string(random() % 1000000000));
    std::error_code error;
    if (fs::create_directory(candidate, error) && !error) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
#else
  std::string pattern = (fs::temp_directory_path() / "corvanne-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot create a temporary folder");
  }
  path_ = pattern;
#endif
}

TempDir::~TempDir() {
  std::error_code ec;
  // Tests make folders unreadable on purpose; give them back before removal.
  for (auto it = fs::recursive_directory_iterator(path_, fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

std::string TempDir::Path(std::string_view relative) const {
  return TextFromPath((path_ / PathFromText(relative)).make_preferred());
}

std::string TempDir::Write(std::string_view relative, std::string_view bytes) const {
  fs::path full = (path_ / PathFromText(relative)).make_preferred();
  fs::create_directories(full.parent_path());
  std::ofstream out(full, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return TextFromPath(full);
}

std::string TempDir::MakeDir(std::string_view relative) const {
  fs::path full = (path_ / PathFromText(relative)).make_preferred();
  fs::create_directories(full);
  return TextFromPath(full);
}

std::string Native(std::string path) {
#ifdef _WIN32
  std::replace(path.begin(), path.end(), '/', '\\');
#endif
  return path;
}

std::string Rooted(const std::string& path) {
#ifdef _WIN32
  if (!path.empty() && path.front() == '/') return "C:" + Native(path);
#endif
  return Native(path);
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(PathFromText(path), std::ios::binary);
  std::ostringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

}  // namespace corvanne::testing
