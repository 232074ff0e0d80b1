// The load engine on a corpus: the row splitter alone, the floor loop and
// the SQLite destination through LoadEngine, with their ratios.
// Usage: load_destination_bench CORPUS_DIR [--only-destination] [--rounds N]
#include <cstring>

#include "common/notifier.hpp"
#include "config/app_state.hpp"
#include "load_bench_support.hpp"
#include "source/line_reader.hpp"
#include "run/load_engine.hpp"

namespace corvanne::bench {
namespace {

Figures RunReader(const std::vector<std::string>& files) {
  Figures figures;
  const auto start = std::chrono::steady_clock::now();
  uint64_t bytes = 0;
  for (const std::string& path : files) {
    LineReader reader(path, "\r\n", 8000);
    if (!reader.Open()) throw std::runtime_error(reader.Error());
    std::string_view line;
    while (reader.Next(line)) bytes += line.size();
    if (!reader.Error().empty()) throw std::runtime_error(reader.Error());
    figures.lines += reader.LineNumber();
    ++figures.files;
  }
  figures.seconds = SecondsSince(start);
  if (bytes == 0) throw std::runtime_error("read nothing");
  return figures;
}

Figures RunDestination(const std::vector<std::string>& files, const fs::path& corpus) {
  const std::string db_path = (corpus / "destination.db").string();
  fs::remove(db_path);
  fs::remove(db_path + "-wal");
  fs::remove(db_path + "-shm");
  AppState state;
  state.Destination.DestinationEngine = "SQLITE";
  state.Destination.DatabaseName = "destination.db";
  state.Destination.TableName = "[SysCodeLines_Temp]";
  state.Destination.ColumnName = "MyCodeLine";
  state.ConfiguredSource.RowDelimiter = "VBCRLF";
  StreamNotifier notifier(std::cerr);
  LoadEngine engine(notifier, corpus.string());
  Figures figures;
  const auto start = std::chrono::steady_clock::now();
  for (const std::string& path : files) {
    const LoadResult result = engine.LoadFile(state, path);
    if (!result.ok) throw std::runtime_error(result.description);
    figures.lines += result.rows;
    ++figures.files;
  }
  engine.Close();
  figures.seconds = SecondsSince(start);
  return figures;
}

}  // namespace
}  // namespace corvanne::bench

int main(int argc, char** argv) {
  using namespace corvanne::bench;
  if (argc < 2) {
    std::cerr << "usage: load_destination_bench CORPUS_DIR [--only-destination] [--rounds N]\n";
    return 2;
  }
  const fs::path corpus = argv[1];
  bool only_destination = false;
  int rounds = 2;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--only-destination") == 0) only_destination = true;
    if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) rounds = std::max(1, std::atoi(argv[++i]));
  }
  try {
    const std::vector<std::string> files = CorpusFiles(corpus / "src");
    double best_reader = 1e30, best_floor = 1e30, best_destination = 1e30;
    for (int round = 0; round < rounds; ++round) {
      if (!only_destination) {
        const Figures reader = RunReader(files);
        Print("reader only (LineReader)", reader);
        best_reader = std::min(best_reader, reader.seconds);
        const Figures floor = RunFloor(files, (corpus / "floor.db").string());
        Print("floor", floor);
        best_floor = std::min(best_floor, floor.seconds);
      }
      const Figures destination = RunDestination(files, corpus);
      Print("destination (LoadEngine, SQLite)", destination);
      best_destination = std::min(best_destination, destination.seconds);
    }
    if (!only_destination) {
      std::printf("best of %d: destination / floor = %.3f, reader / floor = %.3f\n", rounds,
                  best_destination / best_floor, best_reader / best_floor);
    }
  } catch (const std::exception& error) {
    std::cerr << "load_destination_bench: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
