// The floor of loading: the same files and rows as a run, with the least
// work a loader can do; with --markers, also a run's two marker rows per
// file. Usage: load_floor_bench CORPUS_DIR [DB_PATH] [--markers].
#include "load_bench_support.hpp"

int main(int argc, char** argv) {
  using namespace corvanne::bench;
  if (argc < 2) {
    std::cerr << "usage: load_floor_bench CORPUS_DIR [DB_PATH]\n";
    return 2;
  }
  const fs::path corpus = argv[1];
  const bool markers = argc > 3 && std::string(argv[3]) == "--markers";
  const std::string db_path = argc > 2 ? argv[2] : (corpus / "floor.db").string();
  try {
    Print(markers ? "floor_markers" : "floor", RunFloor(CorpusFiles(corpus / "src"), db_path, markers));
  } catch (const std::exception& error) {
    std::cerr << "load_floor_bench: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
