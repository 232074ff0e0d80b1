// Times the run's file list (folder walk and file selection) over a folder,
// without the program around it. Prints figures; asserts nothing.
// Usage: list_walk_bench FOLDER [REPEATS] [--print]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/progress.hpp"
#include "discovery/discovery.hpp"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FOLDER [REPEATS] [--print]\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[1];
  const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  const bool print = argc > 3 && std::string(argv[3]) == "--print";

  corvanne::SourceSettings source;
  source.FoldersList = folder;
  source.FoldersSepChar = ";";
  source.FileExtensions = "FRM,BAS,CLS";
  corvanne::NoProgress progress;  // reports cost nothing

  std::vector<double> millis;
  corvanne::ItemList files;
  try {
    for (int i = 0; i < repeats; ++i) {
      const auto start = std::chrono::steady_clock::now();
      files = corvanne::CollectRunFiles(source, progress);
      const auto stop = std::chrono::steady_clock::now();
      millis.push_back(std::chrono::duration<double, std::milli>(stop - start).count());
    }
  } catch (const corvanne::WalkError& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  if (print) {
    for (const std::string& file : files) std::printf("%s\n", file.c_str());
    return 0;
  }
  std::sort(millis.begin(), millis.end());
  std::printf("CollectRunFiles: %zu files, best %.1f ms, median %.1f ms over %d runs\n", files.size(), millis.front(),
              millis[millis.size() / 2], repeats);
  return 0;
}
