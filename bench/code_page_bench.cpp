// What decoding costs and what the detector guesses, on the code page corpus
// of corpus_gen: LineReader over 5,000 modules with the default code page
// (Windows-1252 by ICU's table) against BYTES (same process, each round
// reading it both ways), then the guesses, the hint and what AUTO reads each
// sample folder's files as.
// Usage: code_page_bench CODEPAGES_DIR [--rounds N] (any corpus of corpus_gen
// times; only the code page corpus has samples)
#include <time.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>

#include "load_bench_support.hpp"
#include "source/code_page_detector.hpp"
#include "source/code_page_hint.hpp"
#include "source/line_reader.hpp"

namespace corvanne::bench {
namespace {

using Tally = std::map<std::pair<std::string, std::string>, int64_t>;  // (read as, guessed) -> files

struct Reading {
  Figures figures;
  Tally seen;  // filled when asked for
};

// Reads every file with `code_page`; with `tally`, counts files per encoding
// read and guess.
Reading ReadAll(const std::vector<std::string>& files, const std::string& code_page, bool tally) {
  Reading reading;
  Figures& figures = reading.figures;
  uint64_t bytes = 0;
  const auto start = std::chrono::steady_clock::now();
  for (const std::string& path : files) {
    LineReader reader(path, "\r\n", 8000, code_page);
    if (!reader.Open()) throw std::runtime_error(reader.Error());
    std::string_view line;
    while (reader.Next(line)) bytes += line.size();
    if (!reader.Error().empty()) throw std::runtime_error(reader.Error());
    // The run asks every file for its guess, for the hint; so does the timing.
    std::string guess = reader.DetectedCodePage();
    if (tally) ++reading.seen[{reader.Encoding(), std::move(guess)}];
    figures.lines += reader.LineNumber();
    ++figures.files;
  }
  figures.seconds = SecondsSince(start);
  if (bytes == 0) throw std::runtime_error("read nothing");
  return reading;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// CPU seconds of this process: on a machine shared with others, wall time
// mostly measures them.
double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void TimeDecoding(const fs::path& corpus, int rounds) {
  const std::vector<std::string> files = CorpusFiles(corpus / "src");
  // The first reading also warms the page cache.
  for (const auto& [key, count] : ReadAll(files, "", true).seen) {
    std::printf("  read as %-13s guessed %-14s %5lld files\n", key.first.c_str(),
                key.second.empty() ? "(not examined)" : key.second.c_str(), static_cast<long long>(count));
  }
  // Each round reads the corpus both ways, back to back; the ratio of a
  // round is immune to what the machine does between rounds.
  std::vector<double> wall_ratios;
  std::vector<double> cpu_ratios;
  std::vector<double> decoded_cpu;
  std::vector<double> raw_cpu;
  Figures last;
  for (int round = 0; round < rounds; ++round) {
    double cpu = CpuSeconds();
    last = ReadAll(files, "", false).figures;
    decoded_cpu.push_back(CpuSeconds() - cpu);
    cpu = CpuSeconds();
    const Figures raw = ReadAll(files, "BYTES", false).figures;
    raw_cpu.push_back(CpuSeconds() - cpu);
    wall_ratios.push_back(last.seconds / raw.seconds);
    cpu_ratios.push_back(decoded_cpu.back() / raw_cpu.back());
  }
  const double lines = static_cast<double>(last.lines);
  std::printf("LineReader over %lld files, %lld lines, %d rounds (medians):\n", static_cast<long long>(last.files),
              static_cast<long long>(last.lines), rounds);
  std::printf("  default code page %.0f lines/s, BYTES %.0f lines/s (CPU time)\n", lines / Median(decoded_cpu),
              lines / Median(raw_cpu));
  std::printf("  ratio default / BYTES: %.3f CPU time, %.3f wall time\n", Median(cpu_ratios), Median(wall_ratios));
}

void ShowGuesses(const fs::path& corpus) {
  if (!fs::exists(corpus / "samples")) return;  // the large corpus, for instance, has none
  for (const char* folder : {"western", "big5", "gbk", "shift_jis", "thai"}) {
    std::vector<std::string> files;
    std::transform(fs::directory_iterator(corpus / "samples" / folder), fs::directory_iterator(),
                   std::back_inserter(files), [](const fs::directory_entry& entry) { return entry.path().string(); });
    const Tally seen = ReadAll(files, "", true).seen;
    std::vector<EncodingCount> counts;
    std::printf("%s (%zu files, SOURCE_FILE_CODE_PAGE default):", folder, files.size());
    for (const auto& [key, count] : seen) {
      counts.push_back({key.first, key.second, count, folder});
      std::printf(" %s/%s %lld;", key.first.c_str(), key.second.empty() ? "-" : key.second.c_str(),
                  static_cast<long long>(count));
    }
    const CodePageHint hint = DecideCodePageHint(counts);
    std::printf("\n  %s\n", hint.show ? CodePageHintText(hint).c_str() : "no hint");
    // The detector's own guesses on every file, Western text included, as if
    // nothing were left out.
    std::map<std::string, int64_t> raw;
    for (const std::string& path : files) {
      std::ifstream in(path, std::ios::binary);
      const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      CodePageDetector detector("");
      detector.Feed(bytes);
      ++raw[detector.Guess()];
    }
    std::printf("  every file to the detector:");
    for (const auto& [guess, count] : raw) std::printf(" %s %lld;", guess.c_str(), static_cast<long long>(count));
    std::printf("\n  AUTO reads them as:");
    for (const auto& [key, count] : ReadAll(files, "AUTO", true).seen) {
      std::printf(" %s %lld;", key.first.c_str(), static_cast<long long>(count));
    }
    std::printf("\n");
  }
}

}  // namespace
}  // namespace corvanne::bench

int main(int argc, char** argv) {
  using namespace corvanne::bench;
  if (argc < 2) {
    std::cerr << "usage: code_page_bench CODEPAGES_DIR [--rounds N]\n";
    return 2;
  }
  const int rounds = argc > 3 && std::strcmp(argv[2], "--rounds") == 0 ? std::atoi(argv[3]) : 21;
  try {
    TimeDecoding(argv[1], std::max(rounds, 1));
    ShowGuesses(argv[1]);
  } catch (const std::exception& error) {
    std::cerr << "code_page_bench: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
