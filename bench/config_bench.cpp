// Figures for reading a large configuration file: the whole-file read, the
// settings fill over it (every key searched again), and upper-casing.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "common/text.hpp"
#include "config/config_file.hpp"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

void Print(const char* what, double megabytes, double seconds) {
  std::printf("%-40s %8.1f MB %9.2f ms %9.0f MB/s\n", what, megabytes, seconds * 1e3, megabytes / seconds);
}

}  // namespace

int main() {
  using namespace corvanne;
  const auto folder = std::filesystem::temp_directory_path() / "corvanne-config-bench";
  std::filesystem::create_directories(folder);
  const std::string path = (folder / "MyConfig.xml").string();
  // A 10 MB value standing before the keys, so that every search crosses it.
  const std::string big(std::size_t{10} << 20, 'v');  // NOLINT(bugprone-string-constructor)
  {
    std::ofstream out(path, std::ios::binary);
    out << "<Config><SOURCE_FOLDERS_LIST>" << big << "</SOURCE_FOLDERS_LIST>\r\n"
        << "<UNATTENDED_YES_NO>yes</UNATTENDED_YES_NO></Config>\r\n";
  }
  const double megabytes = static_cast<double>(std::filesystem::file_size(path)) / (1 << 20);
  RecordingNotifier notifier;
  AppState state;
  state.ConfigFilePath = path;

  auto start = Clock::now();
  std::string status;
  ReadConfigFile(state, notifier, status);
  Print("ReadConfigFile", megabytes, Seconds(start));

  start = Clock::now();
  ParseSettings(state);
  Print("ParseSettings (about 25 key searches)", megabytes, Seconds(start));

  start = Clock::now();
  const std::string value = GetTagValue(state.ConfigText, "UNATTENDED_YES_NO");
  Print("GetTagValue past a 10 MB value", megabytes, Seconds(start));

  std::string mixed;
  while (mixed.size() < big.size()) mixed += "abc \xC3\xA9t\xC3\xA9 \xCE\xB1\xCE\xB2 xyz;";
  start = Clock::now();
  const std::string upper = TrimUpper(mixed);
  Print("TrimUpper, mixed ASCII and UTF-8", static_cast<double>(mixed.size()) / (1 << 20), Seconds(start));

  start = Clock::now();
  const std::string upper_ascii = TrimUpper(big);
  Print("TrimUpper, ASCII", static_cast<double>(big.size()) / (1 << 20), Seconds(start));

  std::filesystem::remove_all(folder);
  const bool sane = notifier.messages.empty() && state.Run.Unattended && value == "yes" &&
                    state.ConfiguredSource.FoldersList.size() == big.size() && upper.size() == mixed.size() &&
                    upper_ascii.size() == big.size();
  if (!sane) {
    std::cerr << "config_bench: unexpected results\n";
    return 1;
  }
  return 0;
}
